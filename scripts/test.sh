#!/usr/bin/env bash
# Builds everything and runs every test: unit tests, tool tests and the Wine
# tests of setup.exe (release build), then the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer with the fuzz corpora
# replayed (clang build).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh
jobs=$(nproc)

./scripts/build.sh

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DSETUP_SANITIZE=ON -DSETUP_FUZZ=ON -DSETUP_BENCH=OFF >/dev/null
cmake --build build/sanitize

ctest --test-dir build/release --output-on-failure -j "$jobs"
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
