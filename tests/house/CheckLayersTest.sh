#!/usr/bin/env bash
# scripts/check-layers.py against small trees: a clean one passes, and each
# kind of breach is found on its own.
#   CheckLayersTest.sh SOURCE-DIR
set -euo pipefail
check="$1/scripts/check-layers.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A tree with the given extra file (path, then its text) on top of a clean base.
tree() {
  rm -rf "$work/t" && mkdir -p "$work/t"/{comm,model,views,app} && cd "$work/t"
  git init -q .
  printf '#pragma once\n' >comm/Trans.h
  printf '#pragma once\n#include <cstdint>\n' >comm/ModbusFrame.h
  printf '#pragma once\n#include "comm/Trans.h"\n' >model/TR5.h
  printf '#include "model/TR5.h"\n#include <QWidget>\n' >views/Tabela.cpp
  printf '#include "views/Tabela.h"\n' >app/Main.cpp
  printf '#pragma once\n' >views/Tabela.h
  if [ $# -eq 2 ]; then mkdir -p "$(dirname "$1")" && printf '%s\n' "$2" >"$1"; fi
  git add -A
}

expect() {  # expect PASS|FAIL what
  local got
  if python3 "$check" "$work/t" >"$work/out" 2>&1; then got=PASS; else got=FAIL; fi
  if [ "$got" != "$1" ]; then
    echo "wrong: $2: expected $1, got $got"; cat "$work/out"; failures=$((failures + 1))
  else
    echo "ok: $2"
  fi
}

tree;                                                         expect PASS "a tree whose includes run downward"
tree views/Harm.cpp '#include "app/Main.h"';                   expect FAIL "a view including the main window"
tree model/Csv.cpp '#include <QString>';                       expect FAIL "Qt in the model"
tree comm/ModbusFrame.cpp '#include "comm/Trans.h"';           expect FAIL "framing including the port class"
tree comm/Trans.cpp '#include "ModbusFrame.h"';                expect FAIL "an include not qualified by folder"
tree comm/trans.h '#pragma once';                              expect FAIL "two names differing only in case"
[ $failures -eq 0 ]
