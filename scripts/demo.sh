#!/usr/bin/env bash
# The main job: builds everything, compresses a sample set of files into the
# package's stream format and decodes every stream again with the setup's own
# decoder, comparing the bytes; then runs setup.exe under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh
./scripts/build.sh

samples=(/usr/share/common-licenses /usr/include/zlib.h /usr/bin/cmake /usr/bin/bash)
echo "== libdeflate level 12"
build/release/tools/streamtool check "${samples[@]}"
echo "== zlib level 9"
build/release/tools/streamtool check --zlib --level 9 "${samples[@]}"
echo "== setup.exe under Wine"
tests/e2e/stub_smoke.sh build/win32/setup.exe
