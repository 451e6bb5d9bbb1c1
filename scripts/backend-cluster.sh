#!/usr/bin/env bash
# Several back-end instances on one machine, for trying the deployment: a PostgreSQL cluster in a
# temporary folder (owned by an unprivileged user), velmora-backend instances on it and HAProxy
# in front. Runs in the foreground; Ctrl+C (or SIGTERM) stops everything it started and removes
# the folder.
#   scripts/backend-cluster.sh [--port N] [--instances N] [--free-daily N]
#     --port N        where HAProxy listens on 127.0.0.1 (default 8731, the program's back-end)
#     --instances N   back-end instances (default 2)
#     --free-daily N  free translations per account and day (default 10)
set -euo pipefail
cd "$(dirname "$0")/.."

port=8731
instances=2
free_daily=10
while (($#)); do
  case "$1" in
    --port) port=$2; shift 2 ;;
    --instances) instances=$2; shift 2 ;;
    --free-daily) free_daily=$2; shift 2 ;;
    *) echo "usage: $0 [--port N] [--instances N] [--free-daily N]" >&2; exit 2 ;;
  esac
done
[[ "$port" =~ ^[0-9]+$ && "$instances" =~ ^[0-9]+$ && "$free_daily" =~ ^[0-9]+$ ]] && ((instances >= 1 && instances <= 16)) ||
  { echo "--port, --instances (1 to 16) and --free-daily take numbers" >&2; exit 2; }

scripts/setup.sh cluster
[[ -d build ]] || cmake --preset default >/dev/null
cmake --build build --target velmora-backend >/dev/null
backend=$PWD/build/backend/velmora-backend
pgbin=/usr/lib/postgresql/15/bin

# A loopback port nobody answers on.
free_port() {
  local p
  for p in $(shuf -i 20000-60000 -n 100); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
      echo "$p"
      return
    fi
  done
  echo "no free port found" >&2
  return 1
}

if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "127.0.0.1:$port is taken; stop what listens there or pass --port" >&2
  exit 1
fi

work=$(mktemp -d /tmp/velmora-cluster-XXXXXX)
chmod 711 "$work"
owner=()
if (($(id -u) == 0)); then
  # PostgreSQL refuses to run as root: the cluster belongs to an unprivileged user.
  user=postgres
  id -u "$user" >/dev/null 2>&1 || user=nobody
  owner=(runuser -u "$user" --)
fi
mkdir "$work/pg"
((${#owner[@]})) && chown "$user" "$work/pg"
chmod 700 "$work/pg"

pids=()
pg_started=""
cleanup() {
  trap - INT TERM EXIT
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [[ -n "$pg_started" ]]; then
    "${owner[@]}" "$pgbin/pg_ctl" -D "$work/pg/data" -m fast -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
  echo "cluster stopped"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

pg_port=$(free_port)
"${owner[@]}" "$pgbin/initdb" -D "$work/pg/data" -A trust -U postgres -E UTF8 --locale=C \
  >"$work/initdb.log" 2>&1 || { cat "$work/initdb.log" >&2; exit 1; }
# Durable commits stay on; the connections are the instances' pools plus a margin.
"${owner[@]}" "$pgbin/pg_ctl" -D "$work/pg/data" -w -l "$work/pg/server.log" \
  -o "-p $pg_port -k $work/pg -c listen_addresses=127.0.0.1 -c max_connections=$((instances * 16 + 20))" \
  start >/dev/null || { cat "$work/pg/server.log" >&2; exit 1; }
pg_started=1
"$pgbin/createdb" -h 127.0.0.1 -p "$pg_port" -U postgres velmora
url="postgresql://postgres@127.0.0.1:$pg_port/velmora"

servers=""
for i in $(seq "$instances"); do
  dir="$work/instance$i"
  mkdir "$dir"
  # Every instance the same but for its own port: links and payment addresses name the
  # balancer, and the client address is the one the balancer adds. A request thread per
  # database connection: more threads would only wait for one.
  cat >"$dir/backend.json" <<JSON
{ "listen": {"host": "127.0.0.1", "port": 0}, "database": "$url",
  "public_url": "http://127.0.0.1:$port", "trust_forwarded_for": true, "threads": 8,
  "quota": {"free_daily": $free_daily} }
JSON
  "$backend" --config "$dir/backend.json" --port-file "$dir/port" --log-file "$dir/backend.log" \
    2>/dev/null >/dev/null &
  pids+=($!)
  for _ in $(seq 100); do [[ -s "$dir/port" ]] && break; sleep 0.1; done
  [[ -s "$dir/port" ]] || { cat "$dir/backend.log" >&2; exit 1; }
  servers+="  server instance$i 127.0.0.1:$(cat "$dir/port") check inter 2s"$'\n'
done

# The balancer's own bounds come first: a whole request within 5 s, headers within the buffer
# (16 KiB) and 100 lines, a body of at most 128 KiB; a body without a length (chunked, which the
# program never sends) is refused like an oversized one.
cat >"$work/haproxy.cfg" <<CFG
global
  maxconn 2000
  # One thread: on a machine of a few cores shared with the instances and the database, more
  # threads only wake each other.
  nbthread 1
  tune.bufsize 16384
  tune.http.maxhdr 100
defaults
  mode http
  option forwardfor
  option http-keep-alive
  timeout connect 2s
  timeout http-request 5s
  timeout http-keep-alive 10s
  timeout client 30s
  timeout server 30s
frontend velmora
  bind 127.0.0.1:$port
  http-request deny deny_status 413 if { req.hdr_val(content-length) gt 131072 }
  http-request deny deny_status 413 if { req.hdr(transfer-encoding) -m found }
  default_backend instances
backend instances
  balance roundrobin
  option httpchk GET /healthz
$servers
CFG
haproxy -c -q -f "$work/haproxy.cfg"
haproxy -db -f "$work/haproxy.cfg" 2>"$work/haproxy.log" &
pids+=($!)
for _ in $(seq 50); do curl -sf -o /dev/null "http://127.0.0.1:$port/healthz" && break; sleep 0.1; done
curl -sf -o /dev/null "http://127.0.0.1:$port/healthz" || { cat "$work/haproxy.log" >&2; exit 1; }

echo "PostgreSQL: $url (folder $work/pg)"
for i in $(seq "$instances"); do
  echo "instance $i: http://127.0.0.1:$(cat "$work/instance$i/port"), log $work/instance$i/backend.log"
done
echo "cluster ready: http://127.0.0.1:$port (HAProxy); Ctrl+C stops it"
# Until a signal (Ctrl+C reaches the instances and HAProxy too), or until a part of it ends.
wait -n "${pids[@]}" || true
echo "stopping the cluster" >&2
