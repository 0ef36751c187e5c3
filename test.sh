#!/usr/bin/env bash
# Builds every configuration and runs every test.
#
# Order: the native build first (its artwork generator draws the bitmaps
# that the Windows builds embed), then the 32-bit Windows deliverables and
# their 64-bit twins, then the tests: the native ones (with the static checks
# of the Windows files), the 64-bit twins under wine64, and the sanitizer
# build last.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-packages.sh
jobs="$(nproc)"

configure_and_build() {
  cmake --preset "$1" -G Ninja
  cmake --build --preset "$1" -j "$jobs"
}

configure_and_build default
configure_and_build mingw32
configure_and_build mingw64
ctest --preset default -j "$jobs"
ctest --preset mingw64 -j "$jobs"
configure_and_build asan
ctest --preset asan -j "$jobs"
