#!/usr/bin/env bash
# Load on the service as a public server sees it: wrk, 64 connections for
# ${DURATION:-30} s each, against the trend picture (cached), the news answer
# and the rank answer, on SQLite and on PostgreSQL; and the same bytes served
# as static files by nginx as the anchor. Then both again with as many HTTP
# threads and nginx workers as the machine has cores. Prints requests/s and
# p99 latency.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh wrk nginx-light curl python3 postgresql
scripts/setup.sh yanzhou-server >/dev/null
duration="${DURATION:-30}"
server="$PWD/build/yanzhou-server"
work=$(mktemp -d)
chmod 755 "$work" # nginx workers read the anchor files as another user
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
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
declare -A result

run_backend() {
  local label="$1" db="$2" threads="${3:-1}" port
  port=$(free_port)
  "$server" serve --no-collect --no-access-log --listen "127.0.0.1:$port" --admin-listen 127.0.0.1:0 --db "$db" \
    --http-threads "$threads" 2>/dev/null &
  pids+=($!)
  wait_up "http://127.0.0.1:$port/yzupdate/"
  # The anchor's files: exactly the bytes the service answers.
  mkdir -p "$work/www/yzclientthumb" "$work/www/yztool/n" "$work/www/pr"
  curl -fs "http://127.0.0.1:$port${paths[0]}" -o "$work/www/yzclientthumb/www.example.com_bd1.jpg"
  curl -fs "http://127.0.0.1:$port${paths[1]}" -o "$work/www/yztool/n/index.html"
  curl -fs "http://127.0.0.1:$port${paths[2]}" -o "$work/www/pr/index.html"
  for i in 0 1 2; do
    result["$label ${names[$i]}"]=$(measure "http://127.0.0.1:$port${paths[$i]}")
  done
  kill "${pids[-1]}"
}

prepare "$work/bench.sqlite"
run_backend SQLite "$work/bench.sqlite"

pg_status=0
scripts/with-postgres.sh bash -c '
  psql "$YZ_TEST_POSTGRES/postgres" -qc "create database yzbench" >/dev/null
  echo "$YZ_TEST_POSTGRES/yzbench" > "'"$work"'/pg-url"
  sleep infinity' &
pg_wrapper=$!
for _ in $(seq 100); do [ -s "$work/pg-url" ] && break; sleep 0.2; done
pg_url=$(cat "$work/pg-url")
prepare "$pg_url"
run_backend PostgreSQL "$pg_url"
pkill -P "$pg_wrapper" sleep 2>/dev/null || true # ends the PostgreSQL wrapper
wait "$pg_wrapper" 2>/dev/null || pg_status=$?

# nginx serving the anchor's files with `workers` processes.
run_nginx() {
  local label="$1" workers="$2" nginx_port
  nginx_port=$(free_port)
  cat > "$work/nginx.conf" <<CONF
worker_processes $workers;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log off;
  types { image/jpeg jpg; text/plain html; }
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
    location /yztool/n/ { try_files /yztool/n/index.html =404; }
    location /pr/ { try_files /pr/index.html =404; }
  }
}
CONF
  nginx -c "$work/nginx.conf" -p "$work"
  wait_up "http://127.0.0.1:$nginx_port${paths[1]}"
  for i in 0 1 2; do
    result["$label ${names[$i]}"]=$(measure "http://127.0.0.1:$nginx_port${paths[$i]}")
  done
  kill "$(cat "$work/nginx.pid")"
  for _ in $(seq 50); do [ -e "$work/nginx.pid" ] || break; sleep 0.1; done
}

cores=$(nproc)
run_nginx nginx 1
run_backend "SQLite×$cores" "$work/bench.sqlite" "$cores"
run_nginx "nginx×$cores" "$cores"

printf '| answer | backend | requests/s | p99 ms | nginx requests/s | ratio | target |\n|---|---|---|---|---|---|---|\n'
for label in SQLite PostgreSQL "SQLite×$cores"; do
  anchor=nginx
  [ "$label" = "SQLite×$cores" ] && anchor="nginx×$cores"
  for i in 0 1 2; do
    read -r rps p99 <<<"${result["$label ${names[$i]}"]}"
    read -r nrps _ <<<"${result["$anchor ${names[$i]}"]}"
    ratio=$(awk -v a="$rps" -v b="$nrps" 'BEGIN {printf "%.2f", a / b}')
    target="≥ 0.5, p99 < 20 ms"
    [ "$label" = "SQLite×$cores" ] && target="≥ 1.0 × $anchor, p99 < 20 ms"
    [ "$i" = 2 ] && target="(reported)"
    printf '| %s | %s | %s | %s | %s | %s | %s |\n' "${names[$i]}" "$label" "$rps" "$p99" "$nrps" "$ratio" "$target"
  done
done
