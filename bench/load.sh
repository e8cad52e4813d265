#!/usr/bin/env bash
# Load on the service as a public server sees it: wrk, 64 connections for
# ${DURATION:-12} s each, against the trend picture (cached), the news answer
# and the rank answer, on SQLite and on PostgreSQL, with one HTTP thread and
# with as many as the machine has cores; the same bytes served as static
# files by nginx, with one worker and with a worker per core, are the anchor.
# Every server runs for the whole benchmark and each measurement is taken
# right after its anchor's, ${ROUNDS:-3} rounds over; a shared machine's
# speed drifts by tens of per cent within minutes, so a ratio is only worth
# its two runs side by side. Prints the medians, and p99 latency at its worst.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh wrk nginx-light curl python3 postgresql
scripts/setup.sh yanzhou-server >/dev/null
duration="${DURATION:-12}"
rounds="${ROUNDS:-3}"
server="$PWD/build/yanzhou-server"
work=$(mktemp -d)
chmod 755 "$work" # nginx workers read the anchor files as another user
pids=()
pg_wrapper=
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for f in "$work"/nginx-*.pid; do [ -e "$f" ] && kill "$(cat "$f")" 2>/dev/null; done
  if [ -n "$pg_wrapper" ]; then pkill -P "$pg_wrapper" sleep 2>/dev/null || true; wait "$pg_wrapper" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
wait_up() { for _ in $(seq 100); do curl -fs "$1" >/dev/null && return 0; sleep 0.1; done; echo "not up: $1" >&2; return 1; }

# The example data: news, ranks and 60 days of history for one domain.
prepare() {
  local db="$1"
  "$server" news add "砚舟站长工具服务上线" "http://127.0.0.1/" --db "$db" >/dev/null
  "$server" news add "登记域名，查看百度收录趋势" "http://127.0.0.1/adddomain" --db "$db" >/dev/null
  printf '1\t1\t1\t1\tcom.example\n' | "$server" ranks import - --db "$db" 2>/dev/null
  for i in $(seq 60 -1 0); do
    "$server" history add www.example.com "$(date -u -d "-$i days" +%F)" $((100000 + i * 37)) --db "$db"
  done
}

# One wrk run: "requests/s p99-ms".
measure() {
  wrk -t2 -c64 -d"${duration}s" --latency "$1" | awk '
    /Requests\/sec/ {rps=$2}
    /^ +99%/ {v=$2; if (v ~ /us$/) {sub(/us/,"",v); v/=1000} else if (v ~ /ms$/) {sub(/ms/,"",v)} else if (v ~ /s$/) {sub(/s/,"",v); v*=1000}; p99=v}
    END {printf "%.0f %.2f", rps, p99}'
}

paths=("/yzclientthumb/www.example.com_bd1.jpg" "/yztool/n/?ver=200912230" "/pr/?dm=www.example.com")
names=("trend picture" "news" "rank")
declare -A port

# The service on `db` with `threads` HTTP threads, under the name `label`.
start_service() {
  local label="$1" db="$2" threads="$3" p
  p=$(free_port)
  "$server" serve --no-collect --no-access-log --listen "127.0.0.1:$p" --admin-listen 127.0.0.1:0 --db "$db" \
    --http-threads "$threads" 2>/dev/null &
  pids+=($!)
  wait_up "http://127.0.0.1:$p/yzupdate/"
  for path in "${paths[@]}"; do curl -fs "http://127.0.0.1:$p$path" >/dev/null; done # drawn and cached once
  port["$label"]=$p
}

# nginx serving the anchor's files with `workers` processes.
start_nginx() {
  local label="$1" workers="$2" p
  p=$(free_port)
  cat > "$work/nginx-$workers.conf" <<CONF
worker_processes $workers;
pid $work/nginx-$workers.pid;
error_log $work/nginx-$workers-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  types { image/jpeg jpg; text/plain html; }
  server {
    listen 127.0.0.1:$p;
    root $work/www;
    location /yztool/n/ { try_files /yztool/n/index.html =404; }
    location /pr/ { try_files /pr/index.html =404; }
  }
}
CONF
  nginx -c "$work/nginx-$workers.conf" -p "$work"
  wait_up "http://127.0.0.1:$p${paths[1]}"
  port["$label"]=$p
}

prepare "$work/bench.sqlite"
scripts/with-postgres.sh bash -c '
  psql "$YZ_TEST_POSTGRES/postgres" -qc "create database yzbench" >/dev/null
  echo "$YZ_TEST_POSTGRES/yzbench" > "'"$work"'/pg-url"
  sleep infinity' &
pg_wrapper=$!
for _ in $(seq 100); do [ -s "$work/pg-url" ] && break; sleep 0.2; done
pg_url=$(cat "$work/pg-url")
prepare "$pg_url"

cores=$(nproc)
start_service SQLite "$work/bench.sqlite" 1
start_service PostgreSQL "$pg_url" 1
start_service "SQLite×$cores" "$work/bench.sqlite" "$cores"
# The anchor's files: exactly the bytes the service answers.
mkdir -p "$work/www/yzclientthumb" "$work/www/yztool/n" "$work/www/pr"
base="http://127.0.0.1:${port[SQLite]}"
curl -fs "$base${paths[0]}" -o "$work/www/yzclientthumb/www.example.com_bd1.jpg"
curl -fs "$base${paths[1]}" -o "$work/www/yztool/n/index.html"
curl -fs "$base${paths[2]}" -o "$work/www/pr/index.html"
start_nginx nginx 1
start_nginx "nginx×$cores" "$cores"

labels=(SQLite PostgreSQL "SQLite×$cores")
anchor_of() { if [ "$1" = "SQLite×$cores" ]; then echo "nginx×$cores"; else echo nginx; fi; }
# Per measurement a line "label answer rps p99 anchor-rps".
for _ in $(seq "$rounds"); do
  for i in 0 1 2; do
    for label in "${labels[@]}"; do
      anchor=$(anchor_of "$label")
      read -r nrps _ <<<"$(measure "http://127.0.0.1:${port[$anchor]}${paths[$i]}")"
      read -r rps p99 <<<"$(measure "http://127.0.0.1:${port[$label]}${paths[$i]}")"
      echo "$label|$i|$rps|$p99|$nrps" >> "$work/runs"
    done
  done
done

median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
printf '| answer | backend | requests/s | p99 ms (worst) | nginx requests/s | ratio (median of %s) | target |\n' "$rounds"
printf '|---|---|---|---|---|---|---|\n'
for label in "${labels[@]}"; do
  for i in 0 1 2; do
    rows=$(awk -F'|' -v l="$label" -v i="$i" '$1 == l && $2 == i' "$work/runs")
    rps=$(cut -d'|' -f3 <<<"$rows" | median)
    p99=$(cut -d'|' -f4 <<<"$rows" | sort -g | tail -1)
    nrps=$(cut -d'|' -f5 <<<"$rows" | median)
    ratio=$(awk -F'|' '{printf "%.4f\n", $3 / $5}' <<<"$rows" | median)
    target="≥ 0.5, p99 < 20 ms"
    [ "$label" = "SQLite×$cores" ] && target="≥ 1.0 × $(anchor_of "$label"), p99 < 20 ms"
    [ "$i" = 2 ] && target="(reported)"
    printf '| %s | %s | %.0f | %s | %.0f | %.2f | %s |\n' "${names[$i]}" "$label" "$rps" "$p99" "$nrps" "$ratio" "$target"
  done
done
