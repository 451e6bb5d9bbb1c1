#!/usr/bin/env bash
# Load on the back-end, measured with wrk on loopback: "/user/info" (reads) and durable
# "/trans/save-nums" (one committed transaction per request) at 1, 4, 16 and 64 concurrent
# clients. Installs wrk and curl when missing (scripts/setup.sh bench); the back-end runs on a
# free port with a database in a temporary folder.
#   tests/bench/backend_wrk.sh [SECONDS_PER_RUN]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-5}"
scripts/setup.sh bench
cmake --build build --target velmora-backend >/dev/null

work=$(mktemp -d)
backend_pid=""
cleanup() {
  [[ -n "$backend_pid" ]] && kill -TERM "$backend_pid" 2>/dev/null && wait "$backend_pid" || true
  rm -rf "$work"
}
trap cleanup EXIT

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

phone=13000000000
curl -sf -X POST -H 'Content-Type: application/json' -d "{\"phone\":\"$phone\"}" \
  "$url/sms/send/code" >/dev/null
code=$(grep -o "手机 $phone 的验证码: [0-9]*" "$work/backend.log" | tail -1 | awk '{print $NF}')
token=$(curl -sf -X POST -H 'Content-Type: application/json' \
  -d "{\"phone\":\"$phone\",\"code\":\"$code\"}" "$url/login/sms" |
  sed -n 's/.*"accessToken":"\([0-9a-f]*\)".*/\1/p')
[[ -n "$token" ]] || { echo "sign-in failed" >&2; exit 1; }

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

measure() { # label clients wrk-args...
  local label=$1 clients=$2
  shift 2
  local threads=$((clients < 2 ? 1 : 2))
  local out
  out=$(wrk -t"$threads" -c"$clients" -d"${seconds}s" --latency -H "Access-Token: $token" "$@")
  local rps p50 p99 errors
  rps=$(awk '/Requests\/sec/ {print $2}' <<<"$out")
  p50=$(awk '$1 == "50%" {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$out")
  errors=$(grep -E "Non-2xx|Socket errors" <<<"$out" | tr '\n' ' ' || true)
  printf "%-16s %4d clients  %9s req/s  p50 %8s  p99 %8s  %s\n" "$label" "$clients" "$rps" \
    "$p50" "$p99" "$errors"
}

charged_before=$(curl -sf -H "Access-Token: $token" "$url/user/info" |
  sed -n 's/.*"freeNums":\([0-9]*\).*/\1/p')
for clients in 1 4 16 64; do
  measure "/user/info" "$clients" "$url/user/info"
done
for clients in 1 4 16 64; do
  measure "/trans/save-nums" "$clients" -H 'Content-Type: application/json' \
    -s "$work/charge.lua" "$url/trans/save-nums" -- "c$clients"
done
charged_after=$(curl -sf -H "Access-Token: $token" "$url/user/info" |
  sed -n 's/.*"freeNums":\([0-9]*\).*/\1/p')
echo "charges committed: $((charged_before - charged_after))"
