#!/usr/bin/env bash
# Mail format benchmark: builds the benchmark programs (Release), writes the inputs, runs
# Pelmora's benchmark and then, in the same run and on the same files, the peers:
#   - GMime 3 (bench/mime/peer_gmime.c) parsing and decoding the corpus and the large message;
#   - coreutils `base64 -d` on the 200 MiB base64 input (also the yardstick for
#     quoted-printable decoding of 200 MiB of everyday text);
#   - peak memory (/usr/bin/time -v) of parsing and decoding the 50 MiB message.
# Prints each throughput, each ratio and whether it meets its target. Throughputs are bytes
# per CPU second of the measured process (user + system), so that the other work on a shared
# machine does not distort the ratios; the peak memory is that of a single run.
#
#   scripts/bench-mime.sh [--regenerate]
#
# PELMORA_BENCH_BUILD_DIR (build-bench) and PELMORA_BENCH_DATA (bench/out/mime) override the
# directories. Needs libbenchmark-dev, libgmime-3.0-dev, coreutils and GNU time.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${PELMORA_BENCH_BUILD_DIR:-build-bench}"
data_dir="${PELMORA_BENCH_DATA:-bench/out/mime}"
regenerate=0
[ "${1:-}" = "--regenerate" ] && regenerate=1

# g++ 12 at -O3 reports a false -Wrestrict inside std::string concatenation (GCC bug 105329),
# which -Werror would turn into a failed build.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_BENCH=ON \
    -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_UI=OFF -DCMAKE_CXX_FLAGS=-Wno-restrict >/dev/null
targets=(mime_bench mime_corpus_gen mime_parse_once)
have_gmime=0
if pkg-config --exists gmime-3.0 2>/dev/null; then
    targets+=(peer_gmime)
    have_gmime=1
else
    echo "bench-mime.sh: GMime 3 missing (apt-get install libgmime-3.0-dev); its ratios are skipped" >&2
fi
cmake --build "$build_dir" -j 2 --target "${targets[@]}"
bin="$build_dir/bench/mime"

if [ "$regenerate" = 1 ] || [ ! -f "$data_dir/qp.txt" ] || [ ! -f "$data_dir/large.eml" ]; then
    rm -rf "$data_dir"
    "$bin/mime_corpus_gen" "$data_dir" --messages 2000 --large-mib 50 --codec-mib 200
fi
corpus_bytes=$(cat "$data_dir"/corpus/*.eml | wc -c)
large_bytes=$(stat -c %s "$data_dir/large.eml")
base64_bytes=$(stat -c %s "$data_dir/base64.txt")
qp_bytes=$(stat -c %s "$data_dir/qp.txt")

# Each benchmark runs in a process of its own that holds only its input, as the peer does.
echo "== Pelmora (median of 5 repetitions)"
pelmora_mbps() {
    local json="$build_dir/mime_bench_$1.json"
    "$bin/mime_bench" --data="$data_dir" --benchmark_filter="^$1\$" --benchmark_repetitions=5 \
        --benchmark_min_time=1 --benchmark_report_aggregates_only=true \
        --benchmark_out="$json" --benchmark_out_format=json >&2
    /usr/bin/python3 - "$json" "$1" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
median = [r for r in runs if r.get("aggregate_name") == "median"][0]
print(f"{median['bytes_per_second'] / 1e6:.1f}")
PY
}
p_corpus=$(pelmora_mbps CorpusParseMapDecode)
p_large=$(pelmora_mbps LargeParseMapDecode)
p_base64=$(pelmora_mbps Base64BodyDecode)
p_qp=$(pelmora_mbps QuotedPrintableDecode)

g_corpus="" g_large=""
if [ "$have_gmime" = 1 ]; then
    echo "== GMime (median of 7 passes)"
    line=$("$bin/peer_gmime" --repeat 7 "$data_dir/corpus"); echo "corpus: $line"
    g_corpus=$(sed 's/.*mbps=//' <<<"$line")
    line=$("$bin/peer_gmime" --repeat 7 "$data_dir/large.eml"); echo "large.eml: $line"
    g_large=$(sed 's/.*mbps=//' <<<"$line")
fi

echo "== coreutils base64 -d (median of 5, CPU seconds)"
median_seconds() {
    /usr/bin/python3 - "$@" <<'PY'
import resource, subprocess, sys
def used():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime
times = []
for _ in range(5):
    with open(sys.argv[1], "rb") as src, open("/dev/null", "wb") as sink:
        start = used()
        subprocess.run(sys.argv[2:], stdin=src, stdout=sink, check=True)
        times.append(used() - start)
print(f"{sorted(times)[2]:.4f}")
PY
}
b_seconds=$(median_seconds "$data_dir/base64.txt" base64 -d)
c_base64=$(awk -v b="$base64_bytes" -v s="$b_seconds" 'BEGIN { printf "%.1f", b / 1e6 / s }')
echo "base64.txt: $b_seconds s, $c_base64 MB/s"

echo "== Peak memory (/usr/bin/time -v, maximum resident set size)"
peak_kib() {
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': *' '/Maximum resident set size/ { print $2 }'
}
rss_load=$(peak_kib "$bin/mime_parse_once" "$data_dir/large.eml")
rss_text=$(peak_kib "$bin/mime_parse_once" --text "$data_dir/large.eml")
rss_gmime=""
[ "$have_gmime" = 1 ] && rss_gmime=$(peak_kib "$bin/peer_gmime" --repeat 1 "$data_dir/large.eml")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
verdict() { awk -v r="$1" -v t="$2" -v d="$3" 'BEGIN {
    if (r == "n/a") print "n/a"; else if ((d == "min" && r + 0 >= t) || (d == "max" && r + 0 <= t)) print "met"; else print "MISSED" }'; }
row() { printf '%-44s %10s %10s %8s  %-8s %s\n' "$@"; }

echo
echo "== Summary (MB = 10^6 bytes)"
printf 'inputs: corpus %s bytes in %s files, large.eml %s, base64.txt %s, qp.txt %s\n' \
    "$corpus_bytes" "$(ls "$data_dir/corpus" | wc -l)" "$large_bytes" "$base64_bytes" "$qp_bytes"
row "measure" "Pelmora" "peer" "ratio" "target" "verdict"
if [ "$have_gmime" = 1 ]; then
    r=$(ratio "$p_corpus" "$g_corpus")
    row "corpus parse+map+decode MB/s vs GMime" "$p_corpus" "$g_corpus" "$r" ">=1.5" "$(verdict "$r" 1.5 min)"
    r=$(ratio "$p_large" "$g_large")
    row "50 MiB message parse+map+decode MB/s vs GMime" "$p_large" "$g_large" "$r" ">=1.5" "$(verdict "$r" 1.5 min)"
fi
r=$(ratio "$p_base64" "$c_base64")
row "base64 decode MB/s vs base64 -d" "$p_base64" "$c_base64" "$r" ">=2" "$(verdict "$r" 2 min)"
r=$(ratio "$p_qp" "$c_base64")
row "quoted-printable decode MB/s vs base64 -d" "$p_qp" "$c_base64" "$r" ">=1" "$(verdict "$r" 1 min)"
rss_bytes=$(( rss_load * 1024 ))
r=$(ratio "$rss_bytes" "$large_bytes")
row "peak RSS, 50 MiB message (file load) x size" "${rss_load}K" "${rss_gmime:-?}K" "$r" "<=3" "$(verdict "$r" 3 max)"
rss_bytes=$(( rss_text * 1024 ))
r=$(ratio "$rss_bytes" "$large_bytes")
row "peak RSS, 50 MiB message (in memory) x size" "${rss_text}K" "${rss_gmime:-?}K" "$r" "<=3" "$(verdict "$r" 3 max)"
