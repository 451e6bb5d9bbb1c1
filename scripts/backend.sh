#!/usr/bin/env bash
# Sets up the machine, builds, and runs the back-end alone in the foreground (Ctrl+C stops it).
# Options go to velmora-backend, for example:
#   scripts/backend.sh --config my-backend.json
#   scripts/backend.sh --port 9000 --database /tmp/try.db
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
scripts/build.sh default
exec build/backend/velmora-backend "$@"
