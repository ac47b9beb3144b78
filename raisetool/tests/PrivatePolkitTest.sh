#!/bin/sh
# What the private polkit runs report to CTest: a test program that passes
# gives 0, one that skips a test gives 77, one that fails (even with a test
# skipped) or runs no test fails, and a program exiting 77 by itself fails.
# As root where private-polkit.sh can set up its namespace, the same through
# that script, with a set-up command whose files and whatever the tests
# write to /usr, /run and /var/log stay inside the namespace.
#   PrivatePolkitTest.sh GTEST_OUTCOME_SCRIPT PRIVATE_POLKIT_SCRIPT POLICY_FILE
set -u
outcome="$1" private="$2" policy="$3"
work=$(mktemp -d /tmp/tindrel-outcome-XXXXXX) || exit 1
chmod 755 "$work"
probe="tindrel-private-probe-$$"
trap 'rm -rf "$work"; rm -f "/usr/local/bin/$probe" "/run/$probe" "/var/log/$probe"' EXIT
problems=0
fail() { echo "FAIL: $*"; problems=$((problems + 1)); }

# Stand-ins for a test program: what GoogleTest prints, and its status.
fake() {
    cat >"$work/$1" <<EOF
#!/bin/sh
echo "marker: $1 ran"
[ "\${TINDREL_PROBE_CHECK:-}" = "" ] || [ -f "/usr/local/bin/\$TINDREL_PROBE_CHECK" ] || { echo "the set-up command's file is missing"; exit 1; }
[ "\${TINDREL_PROBE_CHECK:-}" = "" ] || { : >"/run/\$TINDREL_PROBE_CHECK" && : >"/var/log/\$TINDREL_PROBE_CHECK"; } || exit 1
$2
EOF
    chmod 755 "$work/$1"
}
fake passes 'echo "[  PASSED  ] 2 tests."; exit 0'
fake skips 'echo "[  PASSED  ] 1 test."; echo "[  SKIPPED ] 1 test, listed below:"; echo "[  SKIPPED ] Polkit.Flow"; exit 0'
fake fails 'echo "[  PASSED  ] 1 test."; echo "[  SKIPPED ] 1 test, listed below:"; echo "[  FAILED  ] 1 test, listed below:"; exit 1'
fake none 'echo "[  PASSED  ] 0 tests."; exit 0'
fake odd 'exit 77'

expect() {
    want="$1" name="$2"
    shift 2
    "$@" >"$work/out" 2>&1
    got=$?
    [ "$got" -eq "$want" ] || { fail "$name gave $got, not $want"; sed 's/^/  | /' "$work/out"; }
}
expect 0 "a passing program" sh "$outcome" "$work/passes"
expect 77 "a program with a skipped test" sh "$outcome" "$work/skips"
expect 1 "a failing program" sh "$outcome" "$work/fails"
expect 1 "a program that ran no test" sh "$outcome" "$work/none"
expect 1 "a program exiting 77" sh "$outcome" "$work/odd"
grep -q "marker: odd ran" "$work/out" || fail "the program's output is not passed through"

# Through the namespace: the set-up must get as far as the program.
sh "$private" "$work/passes" "$policy" true >"$work/out" 2>&1
if ! grep -q "marker: passes ran" "$work/out"; then
    [ $problems -eq 0 ] || exit 1
    echo "SKIP: private-polkit.sh cannot set up here:"
    cat "$work/out"
    exit 77
fi
expect 0 "a passing program in the namespace" sh "$private" "$work/passes" "$policy"
expect 77 "a program with a skipped test in the namespace" sh "$private" "$work/skips" "$policy"
expect 1 "a failing program in the namespace" sh "$private" "$work/fails" "$policy"
export TINDREL_PROBE_CHECK="$probe"
expect 0 "a program using the privately installed file" \
    sh "$private" "$work/passes" "$policy" sh -c "echo probe >/usr/local/bin/$probe"
unset TINDREL_PROBE_CHECK
for place in /usr/local/bin /run /var/log; do
    [ ! -e "$place/$probe" ] || fail "$place/$probe was left outside the namespace"
done
expect 1 "a failing set-up command" sh "$private" "$work/passes" "$policy" false
[ $problems -eq 0 ]
