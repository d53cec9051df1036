#!/usr/bin/env bash
# Message store benchmark: builds bench/store (Release), writes the inputs and measures, in
# the same run and on the same files, for two input sets (bench/store/store_inputs.h: set 1,
# 100,000 inbox rows and 10,000 mixed message files; set 2, another seed and shape: 60,000
# sent-folder rows with long subjects and many recipients, 1,500 large message files with
# many attachments):
#   - listing a folder from its index ("tree.lst") against `cat tree.lst` (target <= 2x),
#     and the listing's peak memory against the file size (target <= 1.5x);
#   - sorting the listed rows by date;
#   - rebuilding a folder from its message files against `mu index` and `notmuch new` on a
#     Maildir holding the same files (targets: >= 4x and >= 10x as fast);
#   - state change, move and delete of many selected rows (time per row should stay flat:
#     every operation writes each index once).
# Sides alternate round by round; every run is checked (rows listed, dates in order, rows
# rebuilt and messages indexed against the files, files and index rows after the operations)
# before it counts. Prints the inputs' sizes and, per measure, the median and spread
# (min-max) of wall and CPU times of each side and both ratios.
#
#   scripts/bench-store.sh [--rounds N (5)] [--set 1|2] [--only list|sort|rebuild|ops]
#                          [--regenerate]
#
# PELMORA_BENCH_BUILD_DIR (build-bench-store) and PELMORA_BENCH_DATA (bench/out/store) override
# the directories; the inputs stay there between runs (about 1.2 GB). Needs libbenchmark-dev,
# maildir-utils and notmuch (scripts/install-deps.sh --bench).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${PELMORA_BENCH_BUILD_DIR:-build-bench-store}"
data="${PELMORA_BENCH_DATA:-bench/out/store}"

for tool in mu notmuch python3; do
    command -v "$tool" >/dev/null || {
        echo "$tool is missing: run scripts/install-deps.sh --bench" >&2
        exit 1
    }
done

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_BENCH=ON \
    -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_UI=OFF -DCMAKE_CXX_FLAGS=-Wno-restrict >/dev/null
cmake --build "$build_dir" --target store_bench -j2 | grep -v "^\[" || true
bench="$build_dir/bench/store/store_bench"
[ -x "$bench" ] || { echo "store_bench did not build" >&2; exit 1; }

mkdir -p "$data"
exec python3 bench/store/store_compare.py "$bench" "$data" "$@"
