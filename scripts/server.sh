#!/usr/bin/env bash
# Builds yanzhou-server and starts it on 127.0.0.1:${PORT:-8080} with an
# example database (build/example-service/yanzhou-server.sqlite: news, a
# version, a small ranks table and two months of trend history), made on the
# first run and kept afterwards.
#   scripts/server.sh            build, prepare the example, serve
#   scripts/server.sh --prepare  build and prepare the example only
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh yanzhou-server >/dev/null
server="$PWD/build/yanzhou-server"
dir="$PWD/build/example-service"
db="$dir/yanzhou-server.sqlite"
if [ ! -f "$db" ]; then
  mkdir -p "$dir"
  "$server" version set 200912230 --db "$db"
  "$server" news add "砚舟站长工具服务上线" "http://127.0.0.1:${PORT:-8080}/" --db "$db" >/dev/null
  "$server" news add "登记域名，查看百度收录趋势" "http://127.0.0.1:${PORT:-8080}/adddomain" --db "$db" >/dev/null
  {
    printf '#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\n'
    printf '1\t3.9e7\t2\t0.0031\tcom.baidu\n2\t3.8e7\t1\t0.0040\tcom.qq\n'
    printf '3\t3.7e7\t5\t0.0012\tcn.com.sina\n150\t2.1e7\t900\t1.1e-5\tcom.example\n'
  } | "$server" ranks import - --db "$db" 2>/dev/null
  count=120000
  for i in $(seq 60 -1 0); do
    count=$((count + (RANDOM % 4000) - 1500))
    "$server" history add www.example.com "$(date -u -d "-$i days" +%F)" "$count" --db "$db"
  done
  "$server" domains add www.example.com --db "$db"
  echo "example database: $db" >&2
fi
[ "${1:-}" = --prepare ] && exit 0
echo "serving on http://127.0.0.1:${PORT:-8080}/ (Ctrl-C stops)" >&2
exec "$server" serve --listen "127.0.0.1:${PORT:-8080}" --admin-listen "127.0.0.1:$((${PORT:-8080} + 1))" --db "$db"
