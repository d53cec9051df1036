#!/usr/bin/env bash
# Installs what is missing, builds Pelmora and starts it. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec ./build/src/app/pelmora "$@"
