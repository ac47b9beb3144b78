#!/bin/sh
# Runs the Polkit end-to-end suite against a real polkit daemon on a private
# system bus: inside a private mount namespace, /run/dbus, /etc (so the tests
# may write the panel's own files there) and the polkit action directory are
# replaced by private copies, a system dbus-daemon and polkitd are started
# there, and the only local rules grant the raiseTool actions and pkexec to
# the user "daemon", and to the user "sys" the user action outright but
# everything else only on its own password. Nothing outside the namespace is
# touched.
#   private-polkit.sh E2E_TEST_BINARY POLICY_FILE [SET_UP_COMMAND...]
# With a set-up command, /usr is covered by a private writable layer and
# /run and /var/log by empty private ones, and the command is run there
# before the tests: it may install the programs just built at the system's
# paths, or take installed ones away, and nothing it or the tests write
# there reaches the real system.
# Exit status 77 means the set-up is not possible here or a test was
# skipped (the test is skipped); a failing test fails.
set -u
here=$(cd "$(dirname "$0")" && pwd)
bin="$1"
policy="$2"
shift 2
skip() { echo "SKIP: $*"; exit 77; }

if [ -z "${TINDREL_PRIVATE_NS:-}" ]; then
    [ "$(id -u)" -eq 0 ] || skip "needs root"
    for tool in unshare dbus-daemon dbus-send /usr/lib/polkit-1/polkitd; do
        command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing"
    done
    getent passwd polkitd >/dev/null || skip "no polkitd user"
    getent passwd daemon >/dev/null || skip "no daemon user"
    unshare -m --propagation private true 2>/dev/null || skip "cannot create a mount namespace"
    TINDREL_PRIVATE_NS=1 exec unshare -m --propagation private "$0" "$bin" "$policy" "$@"
fi

# From here on we are inside the private mount namespace.
work=$(mktemp -d /tmp/tindrel-polkit-XXXXXX) || skip "no temporary directory"
dbus_pid=""
polkit_pid=""
cleanup() {
    [ -n "$polkit_pid" ] && kill "$polkit_pid" 2>/dev/null && wait "$polkit_pid" 2>/dev/null
    [ -n "$dbus_pid" ] && kill "$dbus_pid" 2>/dev/null && wait "$dbus_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
mkdir -p "$work/run-dbus" "$work/actions"
cp -a /etc "$work/etc" || skip "cannot copy /etc"
rm -rf "$work/etc/polkit-1/rules.d" "$work/etc/tindrel22networkserver"
mkdir -p "$work/etc/polkit-1/rules.d" "$work/etc/systemd/system"
cp /usr/share/polkit-1/actions/* "$work/actions/" 2>/dev/null
cp "$policy" "$work/actions/"
cat > "$work/etc/polkit-1/rules.d/10-tindrel-test.rules" <<'RULES'
polkit.addRule(function(action, subject) {
    var ours = action.id.indexOf("com.tindrels.raisetool.") == 0 || action.id == "org.freedesktop.policykit.exec";
    if (subject.user == "daemon" && ours)
        return polkit.Result.YES;
    if (subject.user == "sys" && ours)
        return action.id == "com.tindrels.raisetool.user" ? polkit.Result.YES : polkit.Result.AUTH_SELF_KEEP;
});
RULES
chmod -R a+rX "$work"
mount --bind "$work/etc" /etc || skip "cannot mount a private /etc"
if [ $# -gt 0 ]; then
    mkdir -p "$work/usr-upper" "$work/usr-work" "$work/log"
    mount -t overlay overlay -o "lowerdir=/usr,upperdir=$work/usr-upper,workdir=$work/usr-work" /usr ||
        skip "cannot lay a private layer over /usr"
    mount -t tmpfs -o mode=0755 tmpfs /run || skip "cannot mount a private /run"
    mount --bind "$work/log" /var/log || skip "cannot mount a private /var/log"
    (unset DESTDIR; "$@") || { echo "FAIL: the set-up command failed: $*"; exit 1; }
    export TINDREL_E2E_PRIVATE_INSTALL=1
fi
[ -d /run/dbus ] || mkdir -p /run/dbus || skip "cannot create /run/dbus"
mount --bind "$work/run-dbus" /run/dbus || skip "cannot mount /run/dbus"
mount --bind "$work/actions" /usr/share/polkit-1/actions || skip "cannot mount the action directory"

# Both daemons stay children of this shell so that it reaps them.
dbus-daemon --system --nofork --print-address >"$work/bus-address" 2>"$work/dbus.log" &
dbus_pid=$!
i=0
while [ ! -s "$work/bus-address" ] && [ $i -lt 100 ]; do
    kill -0 "$dbus_pid" 2>/dev/null || break
    sleep 0.1
    i=$((i + 1))
done
[ -s "$work/bus-address" ] || { cat "$work/dbus.log"; skip "dbus-daemon did not start"; }
# polkitd changes to its own user once it has started.
/usr/lib/polkit-1/polkitd >"$work/polkitd.log" 2>&1 &
polkit_pid=$!

# Wait (up to 10 s) for polkitd to own its name on the bus.
owned=no
i=0
while [ $i -lt 100 ]; do
    if dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2>/dev/null | grep -q 'boolean true'; then
        owned=yes
        break
    fi
    kill -0 "$polkit_pid" 2>/dev/null || break
    sleep 0.1
    i=$((i + 1))
done
if [ "$owned" != yes ]; then
    cat "$work/polkitd.log"
    skip "polkitd did not come up on the private bus"
fi

TINDREL_E2E_POLKIT=1 TINDREL_E2E_PRIVATE_ETC=1 sh "$here/gtest-outcome.sh" "$bin" --gtest_filter='Polkit.*'
status=$?
[ $status -eq 0 ] || [ $status -eq 77 ] || cat "$work/polkitd.log"
exit $status
