#!/usr/bin/env bash
# Holds the C++ lines a change touches to the house style (.clang-format).
# Lines nobody touched are left as they are.
#   check-format.sh [BASE]   BASE: the commit the change starts from; by
#   default where this branch left origin/main, or the last commit when the
#   branch is origin/main itself (a fresh clone).
set -euo pipefail
cd "$(dirname "$0")/.."
FORMAT=$(command -v clang-format-14 || command -v clang-format || true)
GIT_FORMAT=$(command -v git-clang-format-14 || command -v git-clang-format || true)
if [ -z "$FORMAT" ] || [ -z "$GIT_FORMAT" ]; then
  echo "check-format: clang-format is missing (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
base=${1:-}
if [ -z "$base" ]; then
  if git rev-parse -q --verify origin/main >/dev/null && \
     [ "$(git merge-base HEAD origin/main)" != "$(git rev-parse HEAD)" ]; then
    base=$(git merge-base HEAD origin/main)
  elif git rev-parse -q --verify HEAD~1 >/dev/null; then
    base=HEAD~1
  else
    echo "check-format: one commit only, nothing to compare"; exit 0
  fi
fi
out=$("$GIT_FORMAT" --binary "$FORMAT" --diff --extensions cpp,h "$base" -- . 2>&1) || true
case "$out" in
  ""|"no modified files to format"|"clang-format did not modify any files")
    echo "check-format: the lines changed since $(git rev-parse --short "$base") keep the house style";;
  *)
    echo "$out"
    echo "check-format: the lines above, changed since $(git rev-parse --short "$base"), are not in the house style;"
    echo "  fix them with: git clang-format-14 $base"
    exit 1;;
esac
