#!/usr/bin/env bash
# Configures and builds Pelmora into build/ (or the directory given as PELMORA_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${PELMORA_BUILD_DIR:-build}"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${PELMORA_BUILD_TYPE:-RelWithDebInfo}" "$@"
cmake --build "$build_dir" -j "$(nproc)"
