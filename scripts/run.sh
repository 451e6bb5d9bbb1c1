#!/usr/bin/env bash
# Sets up the machine, builds, and starts the program on the user's display. Arguments are
# ignored by the program (it has no command-line options).
#
# When the program's back-end is the built-in local address and nothing listens there, the
# local back-end is started first (its log, sign-in codes included, goes to this terminal and
# to build/backend/velmora-backend.log) and stopped when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
scripts/build.sh default

local_url="http://127.0.0.1:8731"

# The back-end address the program will use: "backend"."url" of build/velmora-services.json,
# or the built-in one.
configured_url() {
  local file=build/velmora-services.json url=""
  if [[ -f "$file" ]]; then
    url=$(tr -d ' \t\r\n' <"$file" | sed -n 's/.*"backend":{[^}]*"url":"\([^"]*\)".*/\1/p')
  fi
  url="${url:-$local_url}"
  echo "${url%/}"
}

listening() {
  (exec 3<>/dev/tcp/127.0.0.1/8731) 2>/dev/null
}

backend_pid=""
stop_backend() {
  if [[ -n "$backend_pid" ]] && kill -0 "$backend_pid" 2>/dev/null; then
    kill -TERM "$backend_pid" 2>/dev/null || true
    wait "$backend_pid" 2>/dev/null || true
  fi
}

if [[ "$(configured_url)" == "$local_url" ]] && ! listening; then
  port_file=$(mktemp)
  rm -f "$port_file"
  build/backend/velmora-backend --port-file "$port_file" \
    --log-file build/backend/velmora-backend.log &
  backend_pid=$!
  trap stop_backend EXIT
  for _ in $(seq 100); do
    [[ -s "$port_file" ]] && break
    if ! kill -0 "$backend_pid" 2>/dev/null; then
      echo "run.sh: the local back-end did not start (see above); the program runs without it" >&2
      backend_pid=""
      break
    fi
    sleep 0.1
  done
  rm -f "$port_file"
  [[ -n "$backend_pid" ]] && echo "run.sh: local back-end on $local_url (pid $backend_pid)"
fi

status=0
build/velmora-translator "$@" || status=$?
exit "$status"
