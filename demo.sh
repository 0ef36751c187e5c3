#!/usr/bin/env bash
# Builds the modules and the host, then flies the demonstration over the
# default panel and writes its pictures, animation and index.html to
# demo-output/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh
cmake --preset default -G Ninja >/dev/null
cmake --build --preset default -j "$(nproc)"
build/default/bin/gaugehost demo "${1:-$PWD/demo-output}"
