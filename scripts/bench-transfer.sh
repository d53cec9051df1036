#!/usr/bin/env bash
# Transfer benchmark: builds bench/processing (Release) and measures whole transfer runs
# beside peer programs, in one run and on the same data:
#   - retrieving 1,000 messages (about 200 MB, mostly small, some medium and a few large with
#     base64 attachments) from a local Dovecot into a fresh data home, deleting on the server,
#     against fetchmail --bsmtp (one file; target <= 1.0x), getmail6 into a Maildir and
#     fetchmail with a per-message --mda (ratios); each side gets the same freshly filled
#     mailbox;
#   - the same retrieve into an inbox that already holds 50,000 rows, against the empty inbox
#     (target <= 1.2x);
#   - sending 500 queued messages of one project to a local aiosmtpd sink against Python's
#     smtplib over one connection (target <= 1.0x) and msmtp, one process per message.
#
#   scripts/bench-transfer.sh [--quick] [--only retrieve|send] [--rounds N] [--ours-only]
#
# Each line is the best of 3 rounds (retrieve) or 5 rounds (send; msmtp once); --quick runs one
# round, --ours-only skips the peers (for profiling). Takes about 5 minutes; the data
# directory needs about 4 GB while it runs.
#
# PELMORA_BENCH_BUILD_DIR (build-bench-transfer) and PELMORA_BENCH_DATA (bench/out/transfer)
# override the directories. Needs what `scripts/install-deps.sh --bench` installs.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${PELMORA_BENCH_BUILD_DIR:-build-bench-transfer}"
data="${PELMORA_BENCH_DATA:-bench/out/transfer}"

for tool in fetchmail getmail msmtp dovecot; do
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
    -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_UI=OFF -DCMAKE_CXX_FLAGS=-Wno-restrict >/dev/null
cmake --build "$build_dir" --target pelmora_bench_transfer -j2 | grep -v "^\[" || true
bench="$build_dir/bench/processing/pelmora_bench_transfer"
[ -x "$bench" ] || { echo "pelmora_bench_transfer did not build" >&2; exit 1; }

mkdir -p "$data"
data="$(cd "$data" && pwd)"
status=0
"$bench" "$data" "$@" || status=$?
if [ $status = 0 ]; then
    rm -rf "$data"
else
    echo "a measurement failed; the peers' logs are in $data" >&2
fi
exit $status
