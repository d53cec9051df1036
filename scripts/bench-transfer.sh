#!/usr/bin/env bash
# Transfer benchmark: builds the pelmora program and bench/processing (Release) and times the
# real program ("pelmora --collect --account 1", started as a child process the way a timer
# starts it) beside peer programs, in one run, on the same data, in alternating order:
#   - retrieving a mailbox from a local Dovecot into a fresh data home, deleting on the
#     server, against fetchmail --bsmtp (one file; target <= 1.0x); every run's stored
#     messages are compared byte for byte with the mailbox before it counts; then the same
#     into an inbox that already holds 50,000 rows, against the empty inbox (target <= 1.2x);
#   - sending 500 queued messages of one project to a local aiosmtpd sink (with --send-only,
#     the run of "Send Mail for this Account") against Python's smtplib over one connection
#     (target <= 1.0x); the messages the sink received are counted before a run counts.
# Two input sets (bench/processing/transfer_mail.h): set 1, 1,000 mostly small messages of
# about 200 MB and 500 outgoing ones; set 2, another seed and shape with one very large
# message of many base64 attachments and one of thousands of small parts, sending with AUTH.
# Prints the inputs' sizes and, per measure, the median and spread of wall and CPU times of
# both sides and both ratios.
#
#   scripts/bench-transfer.sh [--rounds N (5)] [--only retrieve|send] [--set 1|2]
#                             [--all-peers] [--ours-only]
#
# --all-peers adds getmail6, fetchmail with a per-message MDA and msmtp (once each, no target);
# --ours-only skips the peers (for profiling; the build keeps debug information so that perf
# can name where the time goes). The data directory needs about 4 GB while it
# runs.
#
# PELMORA_BENCH_BUILD_DIR (build-bench-transfer) and PELMORA_BENCH_DATA (bench/out/transfer)
# override the directories. Needs what `scripts/install-deps.sh --bench` installs.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${PELMORA_BENCH_BUILD_DIR:-build-bench-transfer}"
data="${PELMORA_BENCH_DATA:-bench/out/transfer}"

for tool in fetchmail dovecot; do
    command -v "$tool" >/dev/null || {
        echo "$tool is missing: run scripts/install-deps.sh --bench" >&2
        exit 1
    }
done
/usr/bin/python3 -c "import aiosmtpd" 2>/dev/null || {
    echo "python3-aiosmtpd is missing: run scripts/install-deps.sh --bench" >&2
    exit 1
}

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_BENCH=ON \
    -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_UI=ON "-DCMAKE_CXX_FLAGS=-Wno-restrict -g" >/dev/null
cmake --build "$build_dir" --target pelmora pelmora_bench_transfer -j2 | grep -v "^\[" || true
bench="$build_dir/bench/processing/pelmora_bench_transfer"
program="$build_dir/src/app/pelmora"
for built in "$bench" "$program"; do
    [ -x "$built" ] || { echo "$built did not build" >&2; exit 1; }
done

mkdir -p "$data"
data="$(cd "$data" && pwd)"
status=0
"$bench" "$data" --program "$program" "$@" || status=$?
if [ $status = 0 ]; then
    rm -rf "$data"
else
    echo "a measurement failed; the logs are in $data" >&2
fi
exit $status
