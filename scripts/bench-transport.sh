#!/usr/bin/env bash
# Builds and runs the transport benchmark: POP3 and SMTP against a local Dovecot and aiosmtpd,
# each beside Python's poplib/smtplib on the same data in the same run, on two input sets
# (bench/transport/transport_inputs.h: set 1, 1,000 mixed messages, one of 50 MB and 500 to
# send; set 2, another seed and shape: 400 messages with base64 attachments, a 30 MB message
# of 300 attachments and one of 20,000 parts, 200 to send with AUTH), and the CPU time of an
# idle 30-second wait. The sides alternate round by round; every run's messages are checked
# against what the server was given or stored before it counts. Prints the inputs' sizes
# and, per measure, the median and spread (min-max) of wall and CPU times of both sides and
# both ratios (ours / peer).
#
#   scripts/bench-transport.sh [--rounds N (5)] [--set 1|2] [--only pop3|smtp|idle] [--quick]
#
# --quick: one round and a 5-second idle wait. PELMORA_BENCH_BUILD_DIR (build-bench-transport)
# overrides the build directory. Needs what `scripts/install-deps.sh --bench` installs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PELMORA_BENCH_BUILD_DIR:-${PELMORA_BENCH_BUILD:-$root/build-bench-transport}}"

command -v dovecot >/dev/null || {
    echo "dovecot is missing: run scripts/install-deps.sh --bench" >&2
    exit 1
}
/usr/bin/python3 -c "import aiosmtpd" 2>/dev/null || {
    echo "python3-aiosmtpd is missing: run scripts/install-deps.sh --bench" >&2
    exit 1
}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_BENCH=ON \
    -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_UI=OFF -DCMAKE_CXX_FLAGS=-Wno-restrict \
    ${PELMORA_BENCH_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --target pelmora_bench_transport -j2 | grep -v "^\[" || true
[ -x "$build/bench/transport/pelmora_bench_transport" ] || {
    echo "pelmora_bench_transport did not build" >&2
    exit 1
}
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
"$build/bench/transport/pelmora_bench_transport" "$@" || status=$?
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
