#!/usr/bin/env bash
# PNG decode figures, repeatable: builds the release preset, runs the benchmark with
# repetitions (medians), the first-decode timer in fresh processes, instruction counts of
# pngdecode against libpng_decode under callgrind, and peak memory from /usr/bin/time -v.
# Usage: bench/png/run.sh [BUILD_DIR]   (default build/release, the release preset's folder)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/release}
if [ "$build" = build/release ]; then
  cmake --preset release >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLAUNCHER_BENCH=ON >/dev/null
fi
cmake --build "$build" --target png_bench png_first_decode libpng_decode pngdecode -j2

art=resources/artwork.png
echo "=== Google Benchmark, medians of 15 repetitions"
"$build/bench/png/png_bench" --benchmark_repetitions=15 --benchmark_report_aggregates_only=true \
  --benchmark_format=console 2>/dev/null | tee /tmp/png_bench.$$ | grep -E '_median'
awk '/_median/ { t[$1] = $4 } END {
  printf "ours/libpng %.2f  ours/spng %.2f  ours/inflate %.2f   (CPU time)\n",
    t["Ours_median"] / t["Libpng_median"], t["Ours_median"] / t["Spng_median"], t["Ours_median"] / t["InflateOnly_median"] }' /tmp/png_bench.$$
rm -f /tmp/png_bench.$$

echo "=== first decode in a fresh process against warm ones"
for _ in 1 2 3 4 5; do "$build/bench/png/png_first_decode"; done

if [ -f "$art" ] && command -v valgrind >/dev/null; then
  echo "=== instructions (callgrind), whole process decoding $art"
  for prog in "$build/tools/pngdecode/pngdecode" "$build/bench/png/libpng_decode"; do
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$prog" "$art" 2>&1 >/dev/null |
      awk -v p="$(basename "$prog")" '/refs:/ { gsub(",", "", $4); printf "%-14s %s instructions\n", p, $4 }'
  done
fi
if [ -f "$art" ] && [ -x /usr/bin/time ]; then
  echo "=== peak resident memory (includes the file read and the PAM written)"
  for prog in "$build/tools/pngdecode/pngdecode" "$build/bench/png/libpng_decode"; do
    /usr/bin/time -v "$prog" "$art" 2>&1 >/dev/null | awk -v p="$(basename "$prog")" '/Maximum resident/ { printf "%-14s %s KiB\n", p, $6 }'
  done
fi
