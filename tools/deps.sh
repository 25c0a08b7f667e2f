#!/usr/bin/env bash
# Installs the Debian packages the build needs, where they are missing.
set -euo pipefail
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
[ -d /usr/local/cuda/include/cccl/thrust ] || [ -d /usr/include/thrust ] || need+=(libthrust-dev)
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -q && $SUDO apt-get install -y -q "${need[@]}"
fi
