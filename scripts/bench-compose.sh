#!/usr/bin/env bash
# Message window benchmark: builds bench/compose (Release) and times, as one-shot processes,
# opening a 20 MB message with 200 attachments, an HTML body and embedded pictures in the
# view window (the pictures written into the window's private directory), and saving a new
# message with a 20 MB attachment into drafts, each beside Python's email package parsing the
# same message (`email.message_from_bytes`), in alternating order. Every run of ours is
# checked first (200 attachments and the pictures found; the saved file read back by Python
# and its attachment's bytes compared). Prints the inputs' sizes, the median and spread of
# wall and CPU times of both sides and both ratios (target <= 2.0x).
#
#   scripts/bench-compose.sh [--rounds N (5)] [--set 1|2 (both)]
#
# Set 2 has another seed and shape: attachments of very different sizes, some of them
# quoted-printable text, and a longer HTML body.
# PELMORA_BENCH_BUILD_DIR (build-bench-transfer) and PELMORA_BENCH_DATA (bench/out/compose)
# override the directories.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${PELMORA_BENCH_BUILD_DIR:-build-bench-transfer}"
data="${PELMORA_BENCH_DATA:-bench/out/compose}"
rounds=5
sets=(1 2)
while [ $# -gt 0 ]; do
    case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --set) sets=("$2"); shift 2 ;;
    *) echo "usage: $0 [--rounds N] [--set 1|2]" >&2; exit 2 ;;
    esac
done

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_BENCH=ON \
    -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_UI=ON "-DCMAKE_CXX_FLAGS=-Wno-restrict -g" >/dev/null
cmake --build "$build_dir" --target compose_once -j2 | grep -v "^\[" || true
program="$(pwd)/$build_dir/bench/compose/compose_once"
[ -x "$program" ] || { echo "$program did not build" >&2; exit 1; }

mkdir -p "$data"
data="$(cd "$data" && pwd)"
status=0
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
for set in "${sets[@]}"; do
    inputs="$data/set$set"
    home="$data/home$set"
    rm -rf "$home"
    /usr/bin/python3 bench/compose/compose_compare.py generate "$inputs" "$set"
    "$program" prepare "$home"
    echo "== set $set: view.eml $(stat -c %s "$inputs/view.eml") bytes," \
        "attachment.bin $(stat -c %s "$inputs/attachment.bin") bytes," \
        "attachment.eml $(stat -c %s "$inputs/attachment.eml") bytes"
    /usr/bin/python3 bench/compose/compose_compare.py compare "$rounds" "$program" "$home" \
        "$inputs" || status=1
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
[ $status = 0 ] && rm -rf "$data"
exit $status
