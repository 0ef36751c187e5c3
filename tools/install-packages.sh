#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libbenchmark-dev
  libcairo2-dev libpng-dev libgif-dev fonts-dejavu-core
  # The x86 emulator that runs the 32-bit deliverables, and the fuzzer.
  libunicorn-dev clang libclang-rt-14-dev
  # The Windows builds: cross compilers for the 32-bit deliverables and
  # their 64-bit twins, and wine64 to run the twins (no 32-bit wine: this
  # machine runs no 32-bit x86 code).
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
)
missing=()
for package in "${packages[@]}" "$@"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
