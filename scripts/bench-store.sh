#!/usr/bin/env bash
# Message store benchmark: builds bench/store (Release), writes the inputs and measures, in
# the same run and on the same files:
#   - listing a 100,000-row folder from its index (a 155 MB "tree.lst") against
#     `cat tree.lst > /dev/null` (wall time, warm cache, best of 5; target <= 2x), and the
#     listing's peak memory against the file size (target <= 1.5x);
#   - sorting those 100,000 rows by date;
#   - rebuilding a folder of 10,000 message files (a realistic mix: plain text, text with
#     HTML, attachments of 20-120 KB) against `mu index` and `notmuch new` on a Maildir holding
#     the same files (messages per second; targets >= 4x and >= 10x);
#   - state change, move and delete of 1,000 and 10,000 selected rows (time per row should
#     stay flat: every operation writes each index once).
#
#   scripts/bench-store.sh [--regenerate]
#
# PELMORA_BENCH_BUILD_DIR (build-bench-store) and PELMORA_BENCH_DATA (bench/out/store) override
# the directories. Needs libbenchmark-dev, maildir-utils, notmuch and GNU time.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${PELMORA_BENCH_BUILD_DIR:-build-bench-store}"
data="${PELMORA_BENCH_DATA:-bench/out/store}"
regenerate=0
[ "${1:-}" = "--regenerate" ] && regenerate=1

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_BUILD_BENCH=ON \
    -DPELMORA_BUILD_TESTS=OFF -DPELMORA_BUILD_UI=OFF -DCMAKE_CXX_FLAGS=-Wno-restrict >/dev/null
cmake --build "$build_dir" --target store_bench -j2 | grep -v "^\[" || true
[ -x "$build_dir/bench/store/store_bench" ] || { echo "store_bench did not build" >&2; exit 1; }
bench="$build_dir/bench/store/store_bench"

now() { date +%s.%N; }
# Wall seconds of a command, best of 5.
best_of_5() {
    local best=""
    for _ in 1 2 3 4 5; do
        local start end took
        start=$(now)
        "$@" >/dev/null
        end=$(now)
        took=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$took < $best" | bc -l)" = 1 ]; then best=$took; fi
    done
    echo "$best"
}
verdict() { if [ "$(echo "$1" | bc -l)" = 1 ]; then echo "met"; else echo "NOT met"; fi; }

mkdir -p "$data"
data="$(cd "$data" && pwd)"

# --- Listing from the index ---
if [ $regenerate = 1 ] || [ ! -f "$data/index/tree.lst" ]; then
    rm -rf "$data/index"
    "$bench" gen-index "$data/index" 100000
fi
index="$data/index/tree.lst"
size=$(stat -c %s "$index")
cat "$index" >/dev/null # warm the cache
t_cat=$(best_of_5 cat "$index")
t_list=$(best_of_5 "$bench" list-index "$data/index")
peak_kb=$(/usr/bin/time -f %M "$bench" list-index "$data/index" 2>&1 >/dev/null | tail -1)
ratio=$(echo "$t_list / $t_cat" | bc -l)
mem_ratio=$(echo "$peak_kb * 1024 / $size" | bc -l)
printf 'index: %d rows, %.1f MB\n' 100000 "$(echo "$size / 1000000" | bc -l)"
printf 'list from index: %.3f s, cat: %.3f s, ratio %.2f (target <= 2): %s\n' \
    "$t_list" "$t_cat" "$ratio" "$(verdict "$ratio <= 2")"
printf 'list peak memory: %.1f MB = %.2f x file (target <= 1.5): %s\n' \
    "$(echo "$peak_kb / 1024" | bc -l)" "$mem_ratio" "$(verdict "$mem_ratio <= 1.5")"
"$bench" sort-index "$data/index" | awk '$1 == "sort-by-date" { printf "sort 100,000 rows by date: %.3f s\n", $2 }'

# --- Rebuilding from message files ---
if [ $regenerate = 1 ] || [ ! -d "$data/home/Projects/1000/inbox" ]; then
    rm -rf "$data/home" "$data/maildir"
    "$bench" gen-mail "$data/home" "$data/maildir" 10000
fi
cat "$data/home/Projects/1000/inbox/"*.eml >/dev/null # warm the cache
messages=$(find "$data/maildir/cur" -type f | wc -l)
start=$(now)
ours_inner=$("$bench" rebuild "$data/home" | awk '$1 == "rebuild" { print $2 }')
end=$(now)
t_ours=$(echo "$end - $start" | bc -l)

rm -rf "$data/mu"
mu init --muhome="$data/mu" --maildir="$data/maildir" >/dev/null
start=$(now)
mu index --muhome="$data/mu" --quiet >/dev/null 2>&1 || mu index --muhome="$data/mu" >/dev/null
end=$(now)
t_mu=$(echo "$end - $start" | bc -l)

rm -rf "$data/maildir/.notmuch"
cfg="$data/notmuch-config"
printf '[database]\npath=%s\n[new]\ntags=unread;inbox;\n[user]\nname=Bench\nprimary_email=bench@example.org\n' \
    "$data/maildir" >"$cfg"
start=$(now)
notmuch --config="$cfg" new --quiet >/dev/null 2>&1
end=$(now)
t_nm=$(echo "$end - $start" | bc -l)
rm -rf "$data/maildir/.notmuch"

rate() { echo "$messages / $1" | bc -l; }
r_ours=$(rate "$t_ours")
r_mu=$(rate "$t_mu")
r_nm=$(rate "$t_nm")
printf 'rebuild %d files: %.2f s (%.2f s inside), %.0f msg/s\n' "$messages" "$t_ours" "$ours_inner" "$r_ours"
printf 'mu index: %.2f s, %.0f msg/s; ratio %.2f (target >= 4): %s\n' "$t_mu" "$r_mu" \
    "$(echo "$r_ours / $r_mu" | bc -l)" "$(verdict "$r_ours / $r_mu >= 4")"
printf 'notmuch new: %.2f s, %.0f msg/s; ratio %.2f (target >= 10): %s\n' "$t_nm" "$r_nm" \
    "$(echo "$r_ours / $r_nm" | bc -l)" "$(verdict "$r_ours / $r_nm >= 10")"

# --- Operations on many rows ---
for n in 1000 10000; do
    rm -rf "$data/ops"
    mkdir -p "$data/ops"
    "$bench" ops "$data/ops" "$n" | awk -v n="$n" \
        '{ printf "%s of %d rows: %.3f s (%.1f us per row)\n", $1, n, $2, 1e6 * $2 / n }'
done
rm -rf "$data/ops"
