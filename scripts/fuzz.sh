#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang++, address and undefined-behaviour sanitizers)
# and runs each one for the given number of seconds, one after the other.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default 20 seconds, every fuzz/fuzz_*.cpp target
#
# Seeds come from fuzz/seeds/<target>/; inputs the fuzzer finds interesting collect in
# fuzz/corpus-run/<target>/ (not kept in git). An input that crashes a target or breaks one of
# its checks is saved as <build dir>/findings/<target>-crash-... (or -leak-, -timeout-, -oom-)
# and the script exits with status 1 after running the remaining targets. Needs clang and
# libclang-rt-14-dev. PELMORA_FUZZ_BUILD_DIR overrides the build directory (build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-20}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
    exit 2
fi
shift $(( $# > 0 ? 1 : 0 ))

for tool in clang clang++ cmake ninja; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "fuzz.sh: $tool is missing" \
            "(apt-get install clang libclang-rt-14-dev cmake ninja-build)" >&2
        exit 2
    fi
done

build_dir="${PELMORA_FUZZ_BUILD_DIR:-build-fuzz}"
CC=clang CXX=clang++ cmake -S fuzz -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >/dev/null
cmake --build "$build_dir" -j 2

if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for source in fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

mkdir -p "$build_dir/findings"
status=0
summary=()
for target in "${targets[@]}"; do
    binary="$build_dir/$target"
    if [ ! -x "$binary" ]; then
        echo "fuzz.sh: no target $target" >&2
        status=1
        continue
    fi
    mkdir -p "fuzz/corpus-run/$target" "fuzz/seeds/$target"
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536
             -print_final_stats=1 -artifact_prefix="$build_dir/findings/$target-")
    [ "$target" = fuzz_message ] && options+=(-dict=fuzz/mime.dict)
    echo "== $target: $seconds s"
    log="$build_dir/$target.log"
    if "$binary" "${options[@]}" "fuzz/corpus-run/$target" "fuzz/seeds/$target" >"$log" 2>&1; then
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
        summary+=("$target: ${seconds} s, ${runs:-?} runs, no finding")
    else
        status=1
        tail -n 40 "$log"
        artifact=$(sed -n 's/.*Test unit written to \([^ ]*\).*/\1/p' "$log" | tail -n 1)
        summary+=("$target: FINDING ${artifact:-(see $log)}")
    fi
done

echo
printf '%s\n' "${summary[@]}"
exit "$status"
