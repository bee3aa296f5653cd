#!/usr/bin/env bash
# Builds the 64-bit program, its tests and the demo installation in build/, and the 32-bit program in build-i686/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64.cmake >/dev/null
cmake --build build -j"$jobs"
cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake >/dev/null
cmake --build build-i686 -j"$jobs"
