#!/usr/bin/env bash
# Load on the back-end, measured with wrk on loopback: "/user/info" (reads) and durable
# "/trans/save-nums" (one committed transaction per request) at 16 and 64 concurrent clients, on
# SQLite (one instance, the embedded default) and on PostgreSQL (two instances behind HAProxy, as
# scripts/backend-cluster.sh starts them), side by side. Installs wrk, curl, PostgreSQL and
# HAProxy when missing (scripts/setup.sh bench); everything runs in temporary folders on free
# ports.
#   tests/bench/backend_wrk.sh [SECONDS_PER_RUN] [sqlite|postgres|both]
#   CLIENTS="1 4 16 64" tests/bench/backend_wrk.sh   other numbers of clients
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-5}"
stores="${2:-both}"
clients_list="${CLIENTS:-16 64}"
scripts/setup.sh bench
cmake --build build --target velmora-backend >/dev/null

work=$(mktemp -d)
backend_pid=""
cluster_pid=""
cleanup() {
  [[ -n "$backend_pid" ]] && kill -TERM "$backend_pid" 2>/dev/null && wait "$backend_pid" || true
  [[ -n "$cluster_pid" ]] && kill -TERM "$cluster_pid" 2>/dev/null && wait "$cluster_pid" || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  local p
  for p in $(shuf -i 20000-60000 -n 100); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
      echo "$p"
      return
    fi
  done
  return 1
}

# Sets $url and $logs: one instance on SQLite.
start_sqlite() {
  cat >"$work/backend.json" <<JSON
{ "listen": {"port": 0}, "database": "bench.db", "threads": 96,
  "quota": {"free_daily": 1000000} }
JSON
  build/backend/velmora-backend --config "$work/backend.json" --port-file "$work/port" \
    2>"$work/backend.log" >/dev/null &
  backend_pid=$!
  for _ in $(seq 100); do [[ -s "$work/port" ]] && break; sleep 0.1; done
  [[ -s "$work/port" ]] || { cat "$work/backend.log" >&2; exit 1; }
  url="http://127.0.0.1:$(cat "$work/port")"
  logs=("$work/backend.log")
}

stop_sqlite() {
  kill -TERM "$backend_pid" && wait "$backend_pid" || true
  backend_pid=""
}

# Sets $url and $logs: two instances on PostgreSQL behind HAProxy.
start_postgres() {
  local port
  port=$(free_port)
  scripts/backend-cluster.sh --port "$port" --free-daily 1000000 >"$work/cluster.out" 2>&1 &
  cluster_pid=$!
  for _ in $(seq 600); do
    grep -q "cluster ready" "$work/cluster.out" && break
    kill -0 "$cluster_pid" 2>/dev/null || break
    sleep 0.2
  done
  grep -q "cluster ready" "$work/cluster.out" || { cat "$work/cluster.out" >&2; exit 1; }
  url="http://127.0.0.1:$port"
  mapfile -t logs < <(sed -n 's/^instance [0-9]*: .*, log \(.*\)$/\1/p' "$work/cluster.out")
}

stop_postgres() {
  kill -TERM "$cluster_pid" && wait "$cluster_pid" || true
  cluster_pid=""
}

# Signs a phone in through $url; sets $token.
sign_in() {
  local phone=13000000000 code=""
  curl -sf -X POST -H 'Content-Type: application/json' -d "{\"phone\":\"$phone\"}" \
    "$url/sms/send/code" >/dev/null
  for _ in $(seq 50); do
    code=$(cat "${logs[@]}" | grep -o "手机 $phone 的验证码: [0-9]*" | tail -1 | awk '{print $NF}')
    [[ -n "$code" ]] && break
    sleep 0.1
  done
  token=$(curl -sf -X POST -H 'Content-Type: application/json' \
    -d "{\"phone\":\"$phone\",\"code\":\"$code\"}" "$url/login/sms" |
    sed -n 's/.*"accessToken":"\([0-9a-f]*\)".*/\1/p')
  [[ -n "$token" ]] || { echo "sign-in failed" >&2; exit 1; }
}

# Each wrk thread numbers its own charges, so every request is a new one.
cat >"$work/charge.lua" <<'LUA'
local threads = 0
function setup(thread)
  threads = threads + 1
  thread:set("id", threads)
end
function init(args)
  run = args[1]
  n = 0
end
function request()
  n = n + 1
  return wrk.format("POST", nil, nil,
    '{"logId":"' .. run .. "-" .. id .. "-" .. n .. '","ocrTime":100,"transTime":80}')
end
LUA

measure() { # store label clients wrk-args...
  local store=$1 label=$2 clients=$3
  shift 3
  local threads=$((clients < 2 ? 1 : 2))
  local out
  out=$(wrk -t"$threads" -c"$clients" -d"${seconds}s" --latency -H "Access-Token: $token" "$@")
  local rps p50 p99 errors
  rps=$(awk '/Requests\/sec/ {print $2}' <<<"$out")
  p50=$(awk '$1 == "50%" {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$out")
  errors=$(grep -E "Non-2xx|Socket errors" <<<"$out" | tr '\n' ' ' || true)
  printf "%-22s %-16s %4d clients  %9s req/s  p50 %8s  p99 %8s  %s\n" "$store" "$label" \
    "$clients" "$rps" "$p50" "$p99" "$errors"
}

free_nums() {
  curl -sf -H "Access-Token: $token" "$url/user/info" | sed -n 's/.*"freeNums":\([0-9]*\).*/\1/p'
}

run_store() { # store
  local store=$1 before after clients
  sign_in
  before=$(free_nums)
  for clients in $clients_list; do
    measure "$store" "/user/info" "$clients" "$url/user/info"
  done
  for clients in $clients_list; do
    measure "$store" "/trans/save-nums" "$clients" -H 'Content-Type: application/json' \
      -s "$work/charge.lua" "$url/trans/save-nums" -- "c$clients"
  done
  after=$(free_nums)
  echo "$store: charges committed: $((before - after))"
}

if [[ "$stores" == sqlite || "$stores" == both ]]; then
  start_sqlite
  run_store "SQLite, 1 instance"
  stop_sqlite
fi
if [[ "$stores" == postgres || "$stores" == both ]]; then
  start_postgres
  run_store "PostgreSQL, 2 + HAProxy"
  stop_postgres
fi
