#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the demo scene.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
./tools/deps.sh
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release
cmake --build "$BUILD" -j"$(nproc)"
if [ -x "$BUILD/host/vorel-host" ] && [ -f demo/demo.vhs ]; then
  "$BUILD/host/vorel-host" --plugins "$BUILD/plugins" demo/demo.vhs
else
  "$BUILD/bench/vorel-bench"
fi
