#!/usr/bin/env bash
# Installs what is missing, builds Pelmora and runs every test, then a short smoke run of
# each fuzz target of the mail format library (PELMORA_FUZZ_SECONDS, default 20; 0 skips it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
(cd build && ctest --output-on-failure -j "$(nproc)" --timeout 600)
fuzz_seconds="${PELMORA_FUZZ_SECONDS:-20}"
if [ "$fuzz_seconds" -gt 0 ]; then
    bash scripts/fuzz.sh "$fuzz_seconds"
fi
