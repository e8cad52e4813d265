#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks what lands there: both
# programs, the service and its unit, the desktop entry and the metainfo (each validated), the icon in
# every hicolor size, the manual page.
set -euo pipefail
build="$1"
dest="$(mktemp -d)"
trap 'rm -rf "$dest"' EXIT
DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
root="$dest/usr"
id=net.yanzhou.webmastertool
fail() { echo "FAIL: $*"; exit 1; }

for program in yanzhou yanzhou-cli yanzhou-server; do
  [ -x "$root/bin/$program" ] || fail "$program not installed"
done
"$root/bin/yanzhou-cli" --version | grep -qx "yanzhou-cli $(sed -n '1s/^yanzhou (\([0-9]*\)).*/\1/p' "$(dirname "$0")/../debian/changelog")" \
  || fail "installed yanzhou-cli does not run or has another version than the package"

cmp "$root/share/yanzhou/rules-keys/yanzhou-vendor.pub" "$(dirname "$0")/../packaging/rules-keys/yanzhou-vendor.pub" \
  || fail "the vendor's public rules key is not installed"
cmp "$root/share/yanzhou/rules/current-engines.json" "$(dirname "$0")/../rules/current-engines.json" \
  || fail "the rules for today's engines are not installed"

desktop="$root/share/applications/$id.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
desktop-file-validate "$desktop" | grep -v ': hint: ' && fail "desktop entry not valid" || true
grep -qx 'Exec=yanzhou' "$desktop" || fail "desktop entry does not start yanzhou"
grep -qx "Icon=$id" "$desktop" || fail "desktop entry names another icon"
grep -q '^Name\[zh_CN\]=砚舟站长工具$' "$desktop" || fail "no Chinese name"

appstreamcli validate --no-net "$root/share/metainfo/$id.metainfo.xml" >/dev/null || fail "metainfo not valid"

for size in 16 32 48 128 256; do
  icon="$root/share/icons/hicolor/${size}x${size}/apps/$id.png"
  file "$icon" | grep -q "PNG image data, $size x $size" || fail "icon $size missing or of the wrong size"
done
grep -q '<svg' "$root/share/icons/hicolor/scalable/apps/$id.svg" || fail "no scalable icon"

zcat "$root/share/man/man1/yanzhou-cli.1.gz" | grep '^\.TH YANZHOU-CLI 1' >/dev/null || fail "no manual page"
zcat "$root/share/man/man1/yanzhou-server.1.gz" | grep '^\.TH YANZHOU-SERVER 1' >/dev/null || fail "no manual page of the service"
unit="$(find "$dest" -name yanzhou-server.service)"
[ -n "$unit" ] || fail "no systemd unit"
grep -qx 'ExecStart=/usr/bin/yanzhou-server serve .*' "$unit" || fail "the unit does not start the service"
grep -qx 'User=yanzhou-server' "$unit" && grep -qx 'StateDirectory=yanzhou-server' "$unit" || fail "the unit runs as root or keeps no state"
"$root/bin/yanzhou-server" domains add example.com --db "$dest/probe.sqlite" || fail "installed yanzhou-server does not run"
"$root/bin/yanzhou-server" version show --db "$dest/probe.sqlite" | grep -qx "$("$root/bin/yanzhou-cli" --version | cut -d' ' -f2)" \
  || fail "installed yanzhou-server does not answer"
echo "install check passed"
