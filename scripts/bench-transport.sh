#!/usr/bin/env bash
# Builds and runs the transport benchmark: POP3 and SMTP against a local Dovecot and aiosmtpd,
# each beside Python's poplib/smtplib on the same data in the same run (ratios printed), and
# the CPU time of an idle 30-second wait. Pass --quick for one short round.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PELMORA_BENCH_BUILD:-$root/build-bench}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_BENCH=ON \
    -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_UI=OFF ${PELMORA_BENCH_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" --target pelmora_bench_transport -j2
"$build/bench/transport/pelmora_bench_transport" "$@"
