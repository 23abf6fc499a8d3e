#!/usr/bin/env bash
# Builds setup.exe (cross, 32-bit Windows) and the native tools, tests and
# benchmarks (release). Prints the stub's size.
set -euo pipefail
cd "$(dirname "$0")/.."

# The toolchain is fixed when the cross build is first configured.
toolchain=()
[ -f build/win32/CMakeCache.txt ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)
cmake -S . -B build/win32 -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build build/win32
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DSETUP_STUB="$PWD/build/win32/setup.exe" >/dev/null
cmake --build build/release
echo "setup.exe: $(stat -c %s build/win32/setup.exe) bytes"
