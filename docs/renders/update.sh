#!/usr/bin/env bash
# Redraws the pictures in this folder with gaugehost from a build's bin
# folder (default: build/default/bin), after renders.gh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/../.." && pwd)
bin=$(cd "${1:-$source/build/default/bin}" && pwd)
cd "$bin"
sed -e "s|@OUT@|$here|g" -e "s|@SOURCE@|$source|g" "$here/renders.gh" | ./gaugehost run - >/dev/null
echo "pictures written to $here"
