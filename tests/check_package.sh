#!/usr/bin/env bash
# Inspects the Debian package: its dependencies, its file list, and that apt
# would install it here.
set -euo pipefail
deb="$1"
fail() { echo "FAIL: $*"; exit 1; }
depends="$(dpkg-deb -f "$deb" Depends)"
for needed in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 qt6-qpa-plugins qt6-translations-l10n fonts-wqy-zenhei libqt6sql6-sqlite; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = yanzhou ] || fail "package name"
files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for path in ./usr/bin/yanzhou ./usr/bin/yanzhou-cli ./usr/bin/yanzhou-server \
    ./usr/lib/systemd/system/yanzhou-server.service ./usr/share/man/man1/yanzhou-server.1.gz \
    ./usr/share/applications/net.yanzhou.webmastertool.desktop \
    ./usr/share/metainfo/net.yanzhou.webmastertool.metainfo.xml \
    ./usr/share/icons/hicolor/48x48/apps/net.yanzhou.webmastertool.png \
    ./usr/share/icons/hicolor/scalable/apps/net.yanzhou.webmastertool.svg \
    ./usr/share/man/man1/yanzhou.1.gz ./usr/share/man/man1/yanzhou-cli.1.gz \
    ./usr/share/doc/yanzhou/copyright ./usr/share/doc/yanzhou/changelog.gz; do
  grep -qx "$path" <<<"$files" || fail "$path not in the package"
done
! grep -q '^\./usr/bin/tst_\|bench_\|setting.dat' <<<"$files" || fail "test or benchmark files in the package"
# Debian's own checker: no error may remain (warnings are shown, not fatal).
scripts_dir="$(dirname "$0")/../scripts"
"$scripts_dir/install-packages.sh" lintian >/dev/null
lintian_out="$(lintian --allow-root "$deb" 2>&1 || true)"
echo "$lintian_out"
! grep -q '^E: ' <<<"$lintian_out" || fail "lintian reports errors"
apt-get install --simulate --no-install-recommends "$(realpath "$deb")" >/dev/null || fail "apt would not install it"
echo "package check passed: $(basename "$deb")"
