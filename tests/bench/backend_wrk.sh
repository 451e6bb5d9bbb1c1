#!/usr/bin/env bash
# Load on the back-end, measured with wrk on loopback: "/user/info" (reads) and durable
# "/trans/save-nums" (one committed transaction per request) at 16 and 64 concurrent clients, on
# SQLite (one instance, the embedded default) and on PostgreSQL (two instances behind HAProxy, as
# scripts/backend-cluster.sh starts them), side by side. Installs wrk, curl, PostgreSQL and
# HAProxy when missing (scripts/setup.sh bench); everything runs in temporary folders on free
# ports.
# The requests take turns among ACCOUNTS signed-in accounts (default 16, as many users as
# clients); ACCOUNTS=1 puts every charge on one account row.
#   tests/bench/backend_wrk.sh [SECONDS_PER_RUN] [sqlite|postgres|both]
#   CLIENTS="1 4 16 64" ACCOUNTS=1 tests/bench/backend_wrk.sh   other clients and accounts
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-5}"
stores="${2:-both}"
clients_list="${CLIENTS:-16 64}"
accounts="${ACCOUNTS:-16}"
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
    grep -qs "cluster ready" "$work/cluster.out" && break
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

# Signs $accounts phones in through $url; their tokens go to $work/tokens, one a line.
sign_in() {
  local i phone code token
  : >"$work/tokens"
  for i in $(seq "$accounts"); do
    phone=$((13000000000 + i))
    code=""
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
    [[ -n "$token" ]] || { echo "sign-in of $phone failed" >&2; exit 1; }
    echo "$token" >>"$work/tokens"
  done
}

# Requests take turns among the accounts' tokens; each wrk thread numbers its own charges, so
# every charge is a new one.
cat >"$work/requests.lua" <<'LUA'
local threads = 0
function setup(thread)
  threads = threads + 1
  thread:set("id", threads)
end
function init(args)
  path = args[1]
  run = args[2]
  tokens = {}
  for line in io.lines(args[3]) do
    tokens[#tokens + 1] = line
  end
  n = id
end
function request()
  n = n + 1
  local token = tokens[n % #tokens + 1]
  if run == nil or run == "" then
    return wrk.format("GET", path, {["Access-Token"] = token})
  end
  return wrk.format("POST", path, {["Access-Token"] = token, ["Content-Type"] = "application/json"},
    '{"logId":"' .. run .. "-" .. id .. "-" .. n .. '","ocrTime":100,"transTime":80}')
end
LUA

measure() { # store path clients run
  local store=$1 label=$2 clients=$3 run=$4
  local threads=$((clients < 2 ? 1 : 2))
  local out
  out=$(wrk -t"$threads" -c"$clients" -d"${seconds}s" --latency -s "$work/requests.lua" "$url" \
    -- "$label" "$run" "$work/tokens")
  local rps p50 p99 errors
  rps=$(awk '/Requests\/sec/ {print $2}' <<<"$out")
  p50=$(awk '$1 == "50%" {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$out")
  errors=$(grep -E "Non-2xx|Socket errors" <<<"$out" | tr '\n' ' ' || true)
  printf "%-22s %-16s %4d clients  %9s req/s  p50 %8s  p99 %8s  %s\n" "$store" "$label" \
    "$clients" "$rps" "$p50" "$p99" "$errors"
}

# Translations left on all the accounts together.
left() {
  local token total=0 n
  while read -r token; do
    n=$(curl -sf -H "Access-Token: $token" "$url/user/info" |
      sed -n 's/.*"freeNums":\([0-9]*\).*/\1/p')
    total=$((total + n))
  done <"$work/tokens"
  echo "$total"
}

run_store() { # store
  local store=$1 before after clients
  sign_in
  before=$(left)
  for clients in $clients_list; do
    measure "$store" "/user/info" "$clients" ""
  done
  for clients in $clients_list; do
    measure "$store" "/trans/save-nums" "$clients" "c$clients"
  done
  after=$(left)
  echo "$store: $accounts accounts, charges committed: $((before - after))"
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
