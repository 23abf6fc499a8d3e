#!/usr/bin/env bash
# Builds setup.exe (cross, 32-bit Windows; and its x86_64 twin for the
# end-to-end tests) and the native tools, tests and
# benchmarks (release). Prints the stub's size.
set -euo pipefail
cd "$(dirname "$0")/.."

# The toolchain is fixed when a cross build is first configured. win32 holds
# setup.exe as shipped; win64 its x86_64 twin, a test vehicle for machines
# that cannot start 32-bit programs (never shipped).
for target in win32:mingw-i686 win64:mingw-x86_64; do
  folder="build/${target%%:*}"
  toolchain=()
  [ -f "$folder/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="cmake/${target#*:}.cmake")
  cmake -S . -B "$folder" -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$folder"
done
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DSETUP_STUB="$PWD/build/win32/setup.exe" -DSETUP_UNINSTALLER="$PWD/build/win32/uninstall.exe" >/dev/null
cmake --build build/release
echo "setup.exe: $(stat -c %s build/win32/setup.exe) bytes (x86_64 twin: $(stat -c %s build/win64/setup.exe))"
echo "uninstall.exe: $(stat -c %s build/win32/uninstall.exe) bytes (x86_64 twin: $(stat -c %s build/win64/uninstall.exe))"
