#!/usr/bin/env bash
# tools/fuzz.sh [seconds]: builds the libFuzzer drivers with clang (address and
# undefined-behaviour sanitizers on) in build-fuzz/ and fuzzes each one for
# that long (default 60 s), starting from its seed corpus. Findings land in
# build-fuzz/findings/<driver>/; the committed corpus is never changed. Prints
# "<driver>: runs N, findings K" per driver and exits 1 when any driver found
# something.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
secs=${1:-60}
BUILD=${BUILD:-build-fuzz}
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is not installed (apt-get install clang libclang-rt-dev libomp-dev)" >&2
  exit 2
fi
./tools/deps.sh
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOREL_FUZZ=ON -DVOREL_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target fuzzers >/dev/null
total=0
for fz in "$BUILD"/fuzz/*_fuzzer; do
  name=$(basename "$fz" _fuzzer)
  # Absolute paths: a driver may change its working folder.
  work="$root/$BUILD/fuzz-work/$name"
  found="$root/$BUILD/findings/$name"
  rm -rf "$work"
  mkdir -p "$work" "$found"
  log="$work/log"
  "$fz" "$work" "$root/fuzz/corpus/$name" -max_total_time="$secs" -timeout=20 -rss_limit_mb=4096 \
    -artifact_prefix="$found/" -print_final_stats=1 >"$log" 2>&1 || true
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  n=$(find "$found" -type f | wc -l)
  total=$((total + n))
  echo "$name: runs ${runs:-0}, findings $n"
done
[ "$total" -eq 0 ]
