#!/usr/bin/env bash
# Sets up the machine, builds, and runs the program. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
scripts/build.sh default
exec build/tools/velmora-cli "$@"
