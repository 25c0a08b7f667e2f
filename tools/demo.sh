#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the demo scene:
# a block of liquid solved by the CPU solver, the same kind of block solved by
# the GPU solver program (its CPU back-end where no GPU is present), and a
# dam-break splash meshed by the surface mesher. Files land in demo-out/.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
OUT=${OUT:-demo-out}
./tools/deps.sh
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release
cmake --build "$BUILD" -j"$(nproc)"
rm -rf "$OUT"
mkdir -p "$OUT"
bench="$BUILD/bench/vorel-bench"
"$bench" solver --particles 20000 --frames 10 --out "$OUT/cpu_cache"
"$bench" gpu-solver --particles 20000 --frames 10 --out "$OUT/gpu_cache"
"$bench" mesher --particles 20000 --out "$OUT/mesh"
echo "demo: particle frames in $OUT/cpu_cache and $OUT/gpu_cache, surface mesh in $OUT/mesh"
