#!/usr/bin/env bash
# The server's load on PostgreSQL: a throw-away cluster, two veltrina-server processes on it, and
# veltrina-load spreading its users over both. Its scenarios join those of SQLite in the bench's
# figures, each marked with its store.
#   tools/server-bench-pg.sh <folder of veltrina-server and veltrina-load> <server.json> [seconds]
set -euo pipefail
bin="$(cd "$1" && pwd)"
out="$2"
seconds="${3:-40}"
pg="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)"
if [ -z "$pg" ]; then
  echo "server-bench: PostgreSQL is not installed (tools/setup.sh installs it)" >&2
  exit 1
fi
work="$(mktemp -d /tmp/veltrina-pg-bench.XXXXXX)"
owner=()
if [ "$(id -u)" = 0 ]; then  # PostgreSQL refuses to run as root
  chown nobody "$work"
  owner=(runuser -u nobody --)
fi
servers=()
cleanup() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  "${owner[@]}" "$pg/pg_ctl" -D "$work/db" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
"${owner[@]}" "$pg/initdb" -D "$work/db" -U veltrina --auth=trust -E UTF8 --no-locale >/dev/null
"${owner[@]}" "$pg/pg_ctl" -D "$work/db" -l "$work/db.log" -w -t 30 \
  -o "-k $work -p $port -c listen_addresses= -c max_connections=100" start >/dev/null

# One scenario on a fresh database (sign-in limits are counted in it) with two fresh processes:
# the load tool's team of 200 users in channels of 20, with its password; cheap hashes, as the
# load tool's own servers use (the sign-in storm of the SQLite run measures argon2id).
scenario() {
  local name="$1"; shift
  local db="postgresql://veltrina@/$name?host=$work&port=$port" urls=() listen i
  "${owner[@]}" "$pg/createdb" -h "$work" -p "$port" -U veltrina "$name"
  mkdir -p "$work/$name"
  echo load-password | VELTRINA_CHEAP_HASHES=1 "$bin/veltrina-server" admin --data "$work/$name" --database "$db" \
    seed-load load 200 20 >/dev/null
  servers=()
  for i in 1 2; do
    VELTRINA_CHEAP_HASHES=1 "$bin/veltrina-server" --listen 127.0.0.1:0 --data "$work/$name" --database "$db" \
      2>"$work/$name-server$i.log" &
    servers+=($!)
    listen=""
    for _ in $(seq 300); do
      listen="$(grep -o ' on 127\.0\.0\.1:[0-9]*' "$work/$name-server$i.log" | head -1 || true)"
      [ -n "$listen" ] && break
      sleep 0.1
    done
    [ -n "$listen" ] || { echo "server-bench: server $i did not start:" >&2; cat "$work/$name-server$i.log" >&2; exit 1; }
    urls+=(--url "http://127.0.0.1:${listen##*:}")
  done
  "$bin/veltrina-load" "${urls[@]}" --pid "${servers[0]}" --users 200 --active 200 --channel 20 --name "$name" \
    --out "$work/$name.json" "$@" || echo "server-bench: $name was not clean (or its ramp ended past its limit)"
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait "${servers[@]}" 2>/dev/null || true
  servers=()
}
scenario pg2_a_200_active --rate 20 --seconds "$seconds"
scenario pg2_c_ramp --ramp 50,100,250,500,750,1000 --seconds "$((seconds / 2))" --stop-p99-ms 1000

python3 - "$out" "$work/pg2_a_200_active.json" "$work/pg2_c_ramp.json" <<'EOF'
import json, os, sys
out, parts = sys.argv[1], sys.argv[2:]
rows = json.load(open(out)) if os.path.exists(out) else []
for row in rows:
    row.setdefault("store", "sqlite")
    row.setdefault("processes", 1)
for part in parts:
    for row in json.load(open(part)):
        row["store"], row["processes"] = "postgresql", 2
        rows.append(row)
os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
with open(out, "w") as f:
    json.dump(rows, f, indent=2)
    f.write("\n")
EOF
echo "server-bench: PostgreSQL with two processes added to $out"
