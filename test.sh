#!/usr/bin/env bash
# Builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh
for preset in default asan; do
  cmake --preset "$preset" -G Ninja
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset" -j "$(nproc)"
done
