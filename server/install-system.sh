#!/bin/sh
# Puts the network server daemon, the helper's service-manager and
# device-access programs, the driver package and the polkit policy where
# the system's fixed paths (platform/Paths.h) expect them.
#   install-system.sh DAEMON SERVICE DRIVER_LOAD WRITE_RULE POLICY
# with DESTDIR (when set) put before every path.
set -eu
root="${DESTDIR:-}" daemon="$1" service="$2" driver="$3" writerule="$4" policy="$5"
install -d -m 0755 "$root/usr/local/bin" "$root/usr/libexec/tindrel22" "$root/usr/lib/tindrel22/driver" \
    "$root/usr/share/tindrel22networkserver/html" "$root/etc/tindrel22networkserver"
install -m 0755 "$daemon" "$root/usr/local/bin/tindrel22networkserver"
install -m 0755 "$service" "$root/usr/libexec/tindrel22/tindrel22-service"
install -m 0755 "$driver" "$root/usr/libexec/tindrel22/tindrel22-driver-load"
"$writerule" > "$root/usr/lib/tindrel22/driver/70-tindrel22.rules.new"
chmod 0644 "$root/usr/lib/tindrel22/driver/70-tindrel22.rules.new"
mv "$root/usr/lib/tindrel22/driver/70-tindrel22.rules.new" "$root/usr/lib/tindrel22/driver/70-tindrel22.rules"
if [ -d "$root/usr/share/polkit-1/actions" ] || [ -n "$root" ]; then
    install -d -m 0755 "$root/usr/share/polkit-1/actions"
    install -m 0644 "$policy" "$root/usr/share/polkit-1/actions/com.tindrels.raisetool.policy"
fi
