#!/usr/bin/env bash
# Builds the modules and the host, then runs the demonstration of all gauges.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh
cmake --preset default -G Ninja >/dev/null
cmake --build --preset default -j "$(nproc)"
cd build/default/bin
./gaugehost run ../../../examples/demo.gh
