#!/usr/bin/env bash
# Sets up the machine, builds, and starts the program on the user's display. Arguments are
# ignored by the program (it has no command-line options).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
scripts/build.sh default
exec build/velmora-translator "$@"
