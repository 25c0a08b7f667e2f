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
# The main job: the Vorel plug-in in vorel-host pours liquid into a bowl with
# "GO!" (scenes/pour.vhs). The scene gets its own host, registry, runtime and
# temporary folders; its cache lands in $OUT/main_pour/tmp/Vorel.
main="$(cd "$OUT" && pwd)/main_pour"
build_abs="$(cd "$BUILD" && pwd)"
root="$PWD"
mkdir -p "$main/host" "$main/config" "$main/run" "$main/tmp"
chmod 700 "$main/run"
(cd "$main" && VOREL_HOST_ROOT="$main/host" XDG_CONFIG_HOME="$main/config" XDG_RUNTIME_DIR="$main/run" \
  TMPDIR="$main/tmp" OMP_WAIT_POLICY="${OMP_WAIT_POLICY:-passive}" \
  "$build_abs/host/vorel-host" --plugins "$build_abs/plugins" "$root/scenes/pour.vhs")
# The cache baker replays the main job's cache (its stored surface of frame 24).
(cd "$main" && VOREL_HOST_ROOT="$main/host" XDG_CONFIG_HOME="$main/config" TMPDIR="$main/tmp" \
  VOREL_DEMO_CACHE="$main/tmp/Vorel/pour_aux001" \
  "$build_abs/host/vorel-host" --plugins "$build_abs/plugins" "$root/tools/baker_demo.vhs")
bench="$BUILD/bench/vorel-bench"
"$bench" solver --particles 20000 --frames 10 --out "$OUT/cpu_cache"
"$bench" gpu-solver --particles 20000 --frames 10 --out "$OUT/gpu_cache"
"$bench" mesher --particles 20000 --out "$OUT/mesh"
# The GPU route: vorel-host loads the front-end, which starts the solver
# program on a pouring source and meshes two of its frames. The scene gets its
# own registry, runtime and temporary folders (its cache lands in tmp/Vorel).
pour="$(cd "$OUT" && pwd)/gpu_pour"
mkdir -p "$pour/host" "$pour/config" "$pour/run" "$pour/tmp"
chmod 700 "$pour/run"
(cd "$pour" && VOREL_HOST_ROOT="$pour/host" XDG_CONFIG_HOME="$pour/config" XDG_RUNTIME_DIR="$pour/run" \
  TMPDIR="$pour/tmp" VOREL_BINARY_DIR="$build_abs" \
  "$build_abs/host/vorel-host" --plugins "$build_abs/plugins" "$root/tools/gpu_pour_demo.vhs" |
  grep -v -E '^(Processing frame|Last processed|Particles -|Elapsed)')
echo "demo: main job in $main: surfaces pour_f000/024/047.obj, scene pour.vsc, cache frames and"
echo "      surface meshes in $main/tmp/Vorel/pour_aux001, the baker's replays of frame 24 in"
echo "      $main/baked_f024.obj and baked_generated_f024.obj;"
echo "      particle frames in $OUT/cpu_cache and $OUT/gpu_cache, surface mesh in $OUT/mesh,"
echo "      GPU route: frames in $pour/tmp/Vorel/caches/default, surfaces in $pour/gpu_pour_*.obj"
