#!/usr/bin/env bash
# The shipped Prometheus rules: promtool accepts them, their unit tests pass,
# and every alert of the rules file has a unit test that expects it to fire.
#   PrometheusRulesTest.sh RULES-DIR      (exit 77: promtool is not installed)
set -euo pipefail
dir="$1"
rules="$dir/kavrel-rules.yml"
tests="$dir/kavrel-rules.test.yml"
if ! command -v promtool >/dev/null; then
  echo "SKIPPED: promtool is not installed (Debian package prometheus)"
  exit 77
fi
failures=0

promtool check rules "$rules" || failures=$((failures + 1))
(cd "$dir" && promtool test rules "$(basename "$tests")") || failures=$((failures + 1))

# The alerts of a rules file that no test of the test file expects to fire:
# an alert_rule_test for it whose expected alerts are listed (exp_labels).
untested() {
  local name
  for name in $(sed -n 's/^ *- alert: *\([A-Za-z0-9_]*\).*/\1/p' "$1"); do
    awk -v name="$name" '
      /alertname:/ { current = $2 }
      /exp_labels:/ && current == name { found = 1 }
      END { exit !found }' "$2" || echo "$name"
  done
}
missing=$(untested "$rules" "$tests")
if [ -n "$missing" ]; then
  echo "FAILED: alerts without a unit test that fires them: $missing"
  failures=$((failures + 1))
fi
# The same look must find an alert added without a test.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$rules" "$work/rules.yml"
printf '      - alert: KavrelInventedAlert\n        expr: vector(1)\n' >>"$work/rules.yml"
if [ "$(untested "$work/rules.yml" "$tests")" != KavrelInventedAlert ]; then
  echo "FAILED: an alert without a test went unnoticed"
  failures=$((failures + 1))
fi

[ $failures -eq 0 ] && echo "rules: ok"
exit $((failures != 0))
