#!/usr/bin/env bash
# tools/fuzz.sh [seconds] [driver...]: builds the libFuzzer drivers with clang
# (address and undefined-behaviour sanitizers on) in build-fuzz/ and fuzzes
# each one (every driver when none is named) for that long (default 60 s),
# starting from its seed corpus. Findings land in build-fuzz/findings/<driver>/;
# the committed corpus is never changed. Prints "<driver>: runs N, findings K"
# per driver and exits 1 when any driver found something.
# FUZZ_JOBS drivers run at once (default 2) and the build uses BUILD_JOBS
# compilers (default 4): the machine is usually shared.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
secs=${1:-60}
shift || true
BUILD=${BUILD:-build-fuzz}
FUZZ_JOBS=${FUZZ_JOBS:-2}
BUILD_JOBS=${BUILD_JOBS:-4}
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is not installed (apt-get install clang libclang-rt-dev libomp-dev)" >&2
  exit 2
fi
./tools/deps.sh
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOREL_FUZZ=ON -DVOREL_TESTS=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$BUILD" -j"$BUILD_JOBS" --target fuzzers >/dev/null

drivers=("$@")
if [ ${#drivers[@]} -eq 0 ]; then
  for fz in "$BUILD"/fuzz/*_fuzzer; do drivers+=("$(basename "$fz" _fuzzer)"); done
fi

# One driver: its log, then the summary line in its work folder.
fuzz_one() {
  local name=$1
  # Absolute paths: a driver may change its working folder.
  local work="$root/$BUILD/fuzz-work/$name"
  local found="$root/$BUILD/findings/$name"
  rm -rf "$work" "$found"
  mkdir -p "$work/new" "$found"
  "$root/$BUILD/fuzz/${name}_fuzzer" "$work/new" "$root/fuzz/corpus/$name" -max_total_time="$secs" \
    -timeout=20 -rss_limit_mb=4096 -artifact_prefix="$found/" -print_final_stats=1 >"$work/log" 2>&1 || true
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$' || echo 0)
  # A slow unit (over 10 s, under the timeout) is reported, not a finding.
  local slow
  slow=$(find "$found" -type f -name 'slow-unit-*' | wc -l)
  echo "$name: runs ${runs:-0}, slow units $slow, findings $(find "$found" -type f ! -name 'slow-unit-*' | wc -l)" \
    >"$work/summary"
}

running=0
for name in "${drivers[@]}"; do
  if [ ! -x "$BUILD/fuzz/${name}_fuzzer" ]; then
    echo "fuzz: no driver $name" >&2
    exit 2
  fi
  fuzz_one "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$FUZZ_JOBS" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

total=0
for name in "${drivers[@]}"; do
  line=$(cat "$root/$BUILD/fuzz-work/$name/summary" 2>/dev/null || echo "$name: did not run, findings 1")
  echo "$line"
  total=$((total + ${line##* }))
done
[ "$total" -eq 0 ]
