#!/usr/bin/env bash
# Inspects the Debian package (its dependencies, files, lintian), then lives
# through an operator's cycle on this machine: install an older build, run
# the service as the unit does, upgrade to this one with the settings edited,
# remove, purge; each state is checked. Prints the transcript.
set -euo pipefail
deb="$(realpath "$1")"
fail() { echo "FAIL: $*"; exit 1; }
step() { echo "== $*"; }
scripts_dir="$(cd "$(dirname "$0")/../scripts" && pwd)"
"$scripts_dir/install-packages.sh" lintian curl >/dev/null

version="$(dpkg-deb -f "$deb" Version)"
[ "$(dpkg-deb -f "$deb" Package)" = yanzhou ] || fail "package name"
[[ "$(basename "$deb")" == "yanzhou_${version}_amd64.deb" ]] || fail "file name does not carry the version"
depends="$(dpkg-deb -f "$deb" Depends)"
for needed in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 qt6-qpa-plugins qt6-translations-l10n \
    fonts-wqy-zenhei libqt6sql6-sqlite adduser; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
files="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for path in ./usr/bin/yanzhou ./usr/bin/yanzhou-cli ./usr/bin/yanzhou-server \
    ./lib/systemd/system/yanzhou-server.service ./etc/default/yanzhou-server \
    ./usr/share/man/man1/yanzhou-server.1.gz ./usr/share/applications/net.yanzhou.webmastertool.desktop \
    ./usr/share/metainfo/net.yanzhou.webmastertool.metainfo.xml \
    ./usr/share/icons/hicolor/48x48/apps/net.yanzhou.webmastertool.png \
    ./usr/share/icons/hicolor/scalable/apps/net.yanzhou.webmastertool.svg \
    ./usr/share/man/man1/yanzhou.1.gz ./usr/share/man/man1/yanzhou-cli.1.gz \
    ./usr/share/doc/yanzhou/copyright ./usr/share/doc/yanzhou/changelog.gz \
    ./usr/share/yanzhou/rules-keys/yanzhou-vendor.pub ./usr/share/yanzhou/rules/current-engines.json; do
  grep -qx "$path" <<<"$files" || fail "$path not in the package"
done
! grep -q '^\./usr/bin/tst_\|bench_\|setting.dat' <<<"$files" || fail "test or benchmark files in the package"
# The manual page names the paths the package uses.
for named in /lib/systemd/system/yanzhou-server.service /etc/default/yanzhou-server \
    /var/lib/yanzhou-server/yanzhou-server.sqlite; do
  # grep reads it all: -q would stop at the first match and, under pipefail,
  # fail the pipeline on the writers' SIGPIPE.
  dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/man/man1/yanzhou-server.1.gz | zcat | sed 's/\\-/-/g' \
    | grep -F "$named" >/dev/null || fail "the manual page does not name $named"
done
# Debian's own checker: no error may remain (warnings are shown, not fatal).
lintian_out="$(lintian --allow-root "$deb" 2>&1 || true)"
echo "$lintian_out"
! grep -q '^E: ' <<<"$lintian_out" || fail "lintian reports errors"

# --- the operator's cycle ---------------------------------------------------
work="$(mktemp -d)"
served=""
cleanup() {
  [ -n "$served" ] && kill "$served" 2>/dev/null || true
  apt-get purge -y -qq yanzhou >/dev/null 2>&1 || true
  rm -rf "$work" /var/backups/yanzhou-server
}
trap cleanup EXIT
apt-get purge -y -qq yanzhou >/dev/null 2>&1 || true
# The "previous build": the same files under a lower version.
dpkg-deb -R "$deb" "$work/old"
sed -i "s/^Version: .*/Version: $((version - 1))/" "$work/old/DEBIAN/control"
dpkg-deb -b --root-owner-group "$work/old" "$work/old.deb" >/dev/null
wants=/etc/systemd/system/multi-user.target.wants/yanzhou-server.service
as_service=(runuser -u yanzhou-server --)

step "install $((version - 1))"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$work/old.deb" 2>&1 | tail -3
[ "$(dpkg-query -W -f='${Version} ${Status}' yanzhou)" = "$((version - 1)) install ok installed" ] || fail "not installed"
getent passwd yanzhou-server | grep -q ':/var/lib/yanzhou-server:' || fail "no system user"
[ "$(stat -c %U /var/lib/yanzhou-server)" = yanzhou-server ] || fail "state directory not the user's"
[ -L "$wants" ] || fail "the service is not enabled"
grep -q 'deb-systemd-invoke $_dh_action' /var/lib/dpkg/info/yanzhou.postinst || fail "not started on install"
grep -q "deb-systemd-invoke stop" /var/lib/dpkg/info/yanzhou.prerm || fail "not stopped on removal"
ls -l "$wants"

step "the vendor's rules key, trusted by the installed clients"
cmp /usr/share/yanzhou/rules-keys/yanzhou-vendor.pub "$scripts_dir/../packaging/rules-keys/yanzhou-vendor.pub" || fail "not the repository's key"
HOME="$work" XDG_CONFIG_HOME="$work/config" yanzhou-cli rules status | tee "$work/status"
grep -q "受信任的公钥：/usr/share/yanzhou/rules-keys/yanzhou-vendor.pub" "$work/status" || fail "rules status does not name the vendor's key"

step "the rules for today's engines, installed and accepted"
mkdir -p "$work/pages" && echo '[]' >"$work/pages/index.json"
yanzhou-cli rules check /usr/share/yanzhou/rules/current-engines.json --pages "$work/pages" || fail "the installed rules set is refused"
cmp /usr/share/yanzhou/rules/current-engines.json "$scripts_dir/../rules/current-engines.json" || fail "not the repository's rules set"

step "operator commands as the service's user, on the package's database"
"${as_service[@]}" yanzhou-server version show 2>&1 | tee "$work/show" && fail "reading a missing database succeeded"
grep -q "no database at /var/lib/yanzhou-server/yanzhou-server.sqlite" "$work/show" || fail "the missing file is not named"
[ ! -e /var/lib/yanzhou-server/yanzhou-server.sqlite ] || fail "a reading command made the database"
printf '1\t1\t1\t1\tcom.example\n' | "${as_service[@]}" yanzhou-server ranks import -
"${as_service[@]}" yanzhou-server version set "$((version - 1))"
[ "$("${as_service[@]}" yanzhou-server version show)" = "$((version - 1))" ] || fail "version not stored"
[ "$(stat -c %U /var/lib/yanzhou-server/yanzhou-server.sqlite)" = yanzhou-server ] || fail "database not the user's"

step "root without --db is told which database the service uses"
( cd "$work" && yanzhou-server version show ) 2>"$work/root" && fail "root without --db was not refused"
cat "$work/root"
grep -q "/var/lib/yanzhou-server/yanzhou-server.sqlite" "$work/root" && grep -q "runuser -u yanzhou-server" "$work/root" \
  || fail "the refusal does not name the service's database and user"
[ ! -e "$work/yanzhou-server.sqlite" ] || fail "root made a database in the current directory"

step "settings kept private, the unit a notifying, reloadable daemon"
[ "$(stat -c '%a %U %G' /etc/default/yanzhou-server)" = "640 root yanzhou-server" ] || fail "settings file mode $(stat -c '%a %U %G' /etc/default/yanzhou-server)"
unit=/lib/systemd/system/yanzhou-server.service
grep -qx 'Type=notify' "$unit" || fail "the unit is not Type=notify"
grep -qx 'AmbientCapabilities=CAP_NET_BIND_SERVICE' "$unit" || fail "the unit cannot bind low ports"
grep -q '^ExecReload=.*-HUP' "$unit" || fail "the unit has no reload"
[ -d /var/backups/yanzhou-server ] && [ "$(stat -c %U /var/backups/yanzhou-server)" = yanzhou-server ] || fail "no backups directory"

step "the service as its unit starts it"
# ExecStart with the settings file's values, free ports instead of the defaults.
unit=/lib/systemd/system/yanzhou-server.service
grep -qx 'EnvironmentFile=-/etc/default/yanzhou-server' "$unit" || fail "the unit does not read the settings"
grep -qx 'User=yanzhou-server' "$unit" || fail "the unit does not run as the service user"
exec_start="$(sed -n 's/^ExecStart=//p' "$unit")"
# shellcheck disable=SC1091
( set -a; . /etc/default/yanzhou-server; YANZHOU_OPTIONS="--listen 127.0.0.1:0 --admin-listen 127.0.0.1:0 --no-collect"
  cmd="${exec_start//\$\{YANZHOU_DB\}/$YANZHOU_DB}"; cmd="${cmd//\$YANZHOU_OPTIONS/$YANZHOU_OPTIONS}"
  cd /var/lib/yanzhou-server && exec "${as_service[@]}" env QT_QPA_PLATFORM=offscreen $cmd ) 2>"$work/log" &
served=$!
for _ in $(seq 100); do grep -q "listening on" "$work/log" && break; sleep 0.1; done
cat "$work/log"
grep -q "QStandardPaths\|QSql" "$work/log" && fail "Qt noise in the log"
port="$(grep -o 'listening on 127.0.0.1:[0-9]*' "$work/log" | cut -d: -f2)"
admin="$(grep -o 'metrics on 127.0.0.1:[0-9]*' "$work/log" | cut -d: -f2)"
[ "$(curl -s "http://127.0.0.1:$port/yzupdate/?ver=1")" = "$((version - 1))" ] || fail "the service does not answer"
[ "$(curl -s "http://127.0.0.1:$admin/healthz")" = ok ] || fail "not healthy"
[ "$(curl -s "http://127.0.0.1:$admin/readyz")" = ok ] || fail "not ready"
pkill -HUP -x yanzhou-server || fail "no service to reload"
for _ in $(seq 50); do grep -q "reloaded on SIGHUP" "$work/log" && break; sleep 0.1; done
grep -q "reloaded on SIGHUP" "$work/log" || fail "SIGHUP did not reload"
[ "$(curl -s "http://127.0.0.1:$port/yzupdate/?ver=1")" = "$((version - 1))" ] || fail "the service did not survive SIGHUP"
pkill -TERM -x yanzhou-server
wait "$served" 2>/dev/null || true; served=""
grep -q "stopping on SIGTERM" "$work/log" && grep -q "stopped" "$work/log" || fail "SIGTERM was no graceful stop"
[ ! -s /var/lib/yanzhou-server/yanzhou-server.sqlite-wal ] || fail "the write-ahead log was not checkpointed"

step "upgrade to $version, the settings edited"
echo "# edited by the operator" >>/etc/default/yanzhou-server
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -o Dpkg::Options::=--force-confold \
  "$deb" 2>&1 | tail -3
[ "$(dpkg-query -W -f='${Version}' yanzhou)" = "$version" ] || fail "not upgraded"
grep -q "edited by the operator" /etc/default/yanzhou-server || fail "the operator's settings were replaced"
[ "$("${as_service[@]}" yanzhou-server version show)" = "$((version - 1))" ] || fail "the database was lost"
[ -L "$wants" ] || fail "no longer enabled"
yanzhou-cli --version | grep -qx "yanzhou-cli $version" || fail "the programs' version is not the package's"

step "a backup where the guide puts it"
"${as_service[@]}" yanzhou-server backup /var/backups/yanzhou-server/before-purge.sqlite || fail "no backup where the guide says"

step "remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq yanzhou 2>&1 | tail -2
[ "$(dpkg-query -W -f='${Status}' yanzhou)" = "deinstall ok config-files" ] || fail "not removed"
[ ! -e /usr/bin/yanzhou-server ] || fail "program left after removal"
[ -f /etc/default/yanzhou-server ] || fail "settings lost on removal"
[ -f /var/lib/yanzhou-server/yanzhou-server.sqlite ] || fail "data lost on removal"

step "purge"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq yanzhou 2>&1 | tail -2
[ -f /var/backups/yanzhou-server/before-purge.sqlite ] || fail "purge deleted the backups"
rm -rf /var/backups/yanzhou-server
! dpkg-query -W yanzhou >/dev/null 2>&1 || [ -z "$(dpkg-query -W -f='${Status}' yanzhou | grep -v not-installed)" ] \
  || fail "not purged"
[ ! -e /etc/default/yanzhou-server ] || fail "settings left after purge"
[ ! -e /var/lib/yanzhou-server ] || fail "state left after purge"
[ ! -e "$wants" ] && [ ! -L "$wants" ] || fail "enable link left after purge"
echo "package check passed: $(basename "$deb")"
