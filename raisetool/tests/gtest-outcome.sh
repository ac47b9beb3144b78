#!/bin/sh
# Runs a GoogleTest program and gives its outcome in CTest's terms: 0 when
# tests ran and every one passed, 77 (skipped) when any was skipped and none
# failed, 1 when no test ran at all, otherwise the program's own status (a
# status of 77 from the program itself counts as a failure, not a skip).
# The program's output is passed through as it comes.
#   gtest-outcome.sh PROGRAM [ARGUMENTS...]
set -u
out=$(mktemp) || exit 1
trap 'rm -f "$out" "$out.status"' EXIT
{
    "$@" 2>&1
    echo $? >"$out.status"
} | tee "$out"
status=$(cat "$out.status" 2>/dev/null) || status=1
case "$status" in
    0) ;;
    77) echo "FAIL: the test program itself exited with 77"; exit 1 ;;
    *) exit "$status" ;;
esac
if grep -q '^\[  SKIPPED \] [0-9]* tests\{0,1\}, listed below' "$out"; then
    echo "SKIP: not every test ran (the skipped ones and why are above)"
    exit 77
fi
if ! grep -q '^\[  PASSED  \] [1-9][0-9]* tests\{0,1\}\.' "$out"; then
    echo "FAIL: no test ran"
    exit 1
fi
exit 0
