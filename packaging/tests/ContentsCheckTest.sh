#!/bin/sh
# The package file-list check accepts a complete list and rejects one with a
# file missing, a build-tree file, a path outside /usr or raiseTool without
# its set-user-ID bit. With a built package (argument 2), checks its list too.
set -eu
check="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
good="$work/good.txt"
{
    for f in bin/tindrelcontrolpanel bin/tindrelexample bin/tindrel bin/tindrelsim \
        libexec/tindrel22/tindrel22-service libexec/tindrel22/tindrel22-driver-load \
        lib/tindrel22/tindrel22networkserver lib/tindrel-control-panel/libtindrel22.so; do echo "-rwxr-xr-x ./usr/$f"; done
    echo "-rwsr-xr-x ./usr/libexec/tindrelcontrolpanel/raiseTool"
    for f in lib/tindrel22/driver/70-tindrel22.rules lib/systemd/system/tindrel22networkserver.service \
        share/polkit-1/actions/com.tindrels.raisetool.policy share/applications/com.tindrels.controlpanel.desktop \
        share/metainfo/com.tindrels.controlpanel.metainfo.xml share/icons/hicolor/scalable/apps/com.tindrels.controlpanel.svg \
        share/doc/tindrel-control-panel/copyright share/doc/tindrel-control-panel/changelog.gz \
        share/man/man1/tindrelcontrolpanel.1.gz share/man/man1/tindrelexample.1.gz share/man/man1/tindrel.1.gz \
        share/man/man1/tindrelsim.1.gz share/man/man8/tindrel22networkserver.8.gz share/man/man8/raiseTool.8.gz \
        share/tindrelcontrolpanel/firmware/TDR2006_112.bin.rc4 share/tindrelcontrolpanel/pictures/TDR2006_0.png; do
        echo "-rw-r--r-- ./usr/$f"
    done
    for s in 16 24 32 48 64 128 256 512; do
        echo "-rw-r--r-- ./usr/share/icons/hicolor/${s}x${s}/apps/com.tindrels.controlpanel.png"
    done
    echo "drwxr-xr-x ./usr/"
    echo "drwxr-xr-x ./"
} > "$good"
"$check" "$good" || { echo "a complete list was rejected"; exit 1; }
expect_reject() {
    if "$check" "$work/bad.txt" 2>/dev/null; then echo "accepted: $1"; exit 1; fi
}
grep -v 'bin/tindrelsim$' "$good" > "$work/bad.txt"; expect_reject "a missing program"
grep -v 'pictures/' "$good" > "$work/bad.txt"; expect_reject "no pictures"
sed 's/^-rwsr-xr-x/-rwxr-xr-x/' "$good" > "$work/bad.txt"; expect_reject "raiseTool without set-user-ID"
{ cat "$good"; echo "-rw-r--r-- ./usr/share/tindrelcontrolpanel/CMakeFiles/x.o"; } > "$work/bad.txt"
expect_reject "a build-tree file"
{ cat "$good"; echo "-rwxr-xr-x ./usr/local/bin/tindrel22networkserver"; } > "$work/bad.txt"
expect_reject "a file in /usr/local"
{ cat "$good"; echo "-rw-r--r-- ./etc/tindrel22networkserver/tindrel22networkserver.pc"; } > "$work/bad.txt"
expect_reject "a file outside /usr"
if [ -n "${2:-}" ] && ls "$2"/tindrel-control-panel_*.deb >/dev/null 2>&1; then
    dpkg-deb -c "$2"/tindrel-control-panel_*.deb | awk '{ print $1, $6 }' > "$work/real.txt"
    "$check" "$work/real.txt"
fi
