#!/bin/sh
# Installs the build into a temporary prefix and checks what a desktop finds there:
# the program and its schema, the desktop entry and the AppStream metainfo (both
# accepted by their validators), the runner's systemd units, and the icon at every size in the hicolor theme.
# Usage: install_test.sh BUILD_DIR
set -eu
build=$1
id=example.lanqi.vela
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$tmp/p" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "install"; }
p=$tmp/p
[ -x "$p/bin/vela" ] || fail "no executable bin/vela"
cmp -s "$p/share/vela/schema.sql" "$(dirname "$0")/../../resources/schema.sql" || fail "schema not in share/vela"
[ ! -e "$p/bin/vela.sdb" ] || fail "a database was installed beside the program"
[ -x "$p/bin/vela-cli" ] || fail "no executable bin/vela-cli"

# The runner's user services and timer, as systemd reads them.
units=$p/lib/systemd/user
for unit in vela-cli.service vela-cli.timer vela-serve.service; do
    [ -f "$units/$unit" ] || fail "no $unit in lib/systemd/user"
done
echo "systemd-analyze verify:"
systemd-analyze verify "$units/vela-cli.service" "$units/vela-cli.timer" "$units/vela-serve.service" ||
    fail "systemd refuses the runner's units"
# A user's manager cannot wait for the network, and no service needs it: a check without
# one fails and is tried again, and the web view listens on loopback.
! grep -l "network-online" "$units"/*.service || fail "a user service waits for network-online.target"

echo "desktop-file-validate:"
desktop-file-validate "$p/share/applications/$id.desktop" || fail "desktop entry refused"
grep -q "^Icon=$id\$" "$p/share/applications/$id.desktop" || fail "desktop entry names another icon"
echo "appstreamcli validate --no-net:"
appstreamcli validate --no-net "$p/share/metainfo/$id.metainfo.xml" || fail "metainfo refused"

# Each PNG has the size of its folder: width and height are bytes 16-23 of the file.
for size in 16 32 48 128; do
    png=$p/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ -f "$png" ] || fail "no ${size}px icon"
    dims=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')
    [ "$dims" = "0 0 0 $size 0 0 0 $size" ] || fail "${size}px icon measures '$dims'"
done
grep -q '<svg' "$p/share/icons/hicolor/scalable/apps/$id.svg" || fail "no scalable icon"
echo "installed layout ok"
