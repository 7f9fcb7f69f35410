#!/usr/bin/env bash
# tests/scripts/ctest-retry-test.sh SCRIPTS_DIR
# scripts/ctest-retry.sh on a project of three tests: one that passes, one
# that fails only the first time, one that always fails. The summary must
# name the second alone as retried, and the run must fail because of the third.
set -euo pipefail
retry="$1/ctest-retry.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/CMakeLists.txt" <<PROJECT
cmake_minimum_required(VERSION 3.25)
project(retry NONE)
enable_testing()
add_test(NAME steady COMMAND true)
add_test(NAME flaky COMMAND sh -c "test -e $work/ran || { touch $work/ran; exit 1; }")
add_test(NAME broken COMMAND false)
PROJECT
cmake -S "$work" -B "$work/build" >/dev/null

status=0
"$retry" "$work/build" >"$work/out.txt" 2>&1 || status=$?
fail() {
    echo "$1" >&2
    cat "$work/out.txt" >&2
    exit 1
}
[ "$status" -ne 0 ] || fail "a test that failed twice did not fail the run"
grep -qx "Passed when run again, after failing once: flaky" "$work/out.txt" ||
    fail "the summary does not name exactly the retried test"
[ "$(tail -n 1 "$work/out.txt")" = "67% tests passed, 1 tests failed out of 3" ] ||
    fail "the run does not end with ctest's closing line"

# Without a failure: no retry named, success.
sed -i '/NAME broken/d' "$work/CMakeLists.txt"
cmake -S "$work" -B "$work/build" >/dev/null
"$retry" "$work/build" >"$work/out.txt" 2>&1 || fail "a passing run failed"
grep -qx "No test needed a second run." "$work/out.txt" || fail "a retry was named where none happened"
echo "ctest-retry.sh names the retried tests"
