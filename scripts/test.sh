#!/usr/bin/env bash
# Installs what is missing, builds Pelmora, smoke-runs each fuzz target of the mail format
# library (PELMORA_FUZZ_SECONDS, default 20; 0 skips it) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
fuzz_seconds="${PELMORA_FUZZ_SECONDS:-20}"
if [ "$fuzz_seconds" -gt 0 ]; then
    bash scripts/fuzz.sh "$fuzz_seconds"
fi
export QT_QPA_PLATFORM=offscreen
cd build
ctest --output-on-failure -j "$(nproc)" --timeout 600
