#!/usr/bin/env bash
# scripts/ctest-retry.sh BUILD_DIR [CTEST_OPTION]...
# Runs ctest in BUILD_DIR, running a test that fails once more, and ends with
# the tests that passed only the second time and ctest's closing line. The
# exit status is ctest's: it fails when a test fails twice. ctest's own
# summary names only the tests that failed twice, and a flaky test would go
# unnoticed.
set -euo pipefail
build=$1
shift
output="$build/ctest-output.txt"
status=0
ctest --test-dir "$build" --repeat until-pass:2 "$@" 2>&1 | tee "$output" || status=$?

# "N/M Test #K: NAME ....***Failed" (or ***Timeout, ***Exception...) for
# every failed run; those that failed for good are listed at the end.
failed=$(sed -n '/^The following tests FAILED:/,$ s/^[[:space:]]*[0-9]* - \([^ ]*\) (.*$/\1/p' "$output")
retried=$(sed -n 's/^.*Test *#[0-9]*: \([^ ]*\) \.*\*\*\*.*$/\1/p' "$output" | sort -u |
    grep -vxF -f <(printf '%s\n' $failed) || true)
echo
if [ -n "$retried" ]; then
    echo "Passed when run again, after failing once:" $retried
else
    echo "No test needed a second run."
fi
grep -E '^[0-9]+% tests passed' "$output" | tail -n 1 || true
exit "$status"
