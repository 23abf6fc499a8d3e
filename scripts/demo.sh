#!/usr/bin/env bash
# The main job: builds everything, builds the example package with mkpkg
# (two components, a patch, INI/registry/file-patch lists, volume files),
# lists, verifies and extracts it with pkgtool and compares every extracted
# file with its source, then lets setup.exe load the package under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh
./scripts/build.sh

mkpkg=build/release/tools/mkpkg/mkpkg
pkgtool=build/release/tools/pkgtool/pkgtool
files=examples/demo/files
out=build/demo
rm -rf "$out"
mkdir -p "$out/package"

echo "== mkpkg"
"$mkpkg" examples/demo/project.json --stub build/win32/setup.exe -o "$out/package/SETUP.EXE"
ls -l "$out/package"
echo "== pkgtool list"
"$pkgtool" list "$out/package/SETUP.EXE"
echo "== pkgtool verify"
"$pkgtool" verify "$out/package/SETUP.EXE"
echo "== pkgtool extract"
"$pkgtool" extract "$out/package/SETUP.EXE" -o "$out/extracted"
compare() {
  cmp "$1" "$2"
  echo "  same: $2"
}
compare "$files/app.exe" "$out/extracted/0/app.exe"
compare "$files/readme.txt" "$out/extracted/0/docs/readme.txt"
compare "$files/license.txt" "$out/extracted/0/docs/license.txt"
compare "$files/settings.ini" "$out/extracted/0/settings.ini"
compare "$files/shared.dll" "$out/extracted/0/{system}/exshared.dll"
compare "$files/example.ttf" "$out/extracted/0/{fonts}/example.ttf"
cat "$files/uninstall.exe" "$files/uninstall-data.bin" > "$out/uninstall.expected"
compare "$out/uninstall.expected" "$out/extracted/0/uninstall.exe"
compare "$files/app-v2.exe" "$out/extracted/1/app.exe"
compare "$files/license.txt" "$out/extracted/1/docs/license.txt"

echo "== setup.exe under Wine"
# A machine that cannot run 32-bit programs skips this step (exit 77) and says so.
for step in "tests/e2e/stub_smoke.sh build/win32/setup.exe" \
            "tests/e2e/stub_loads_package.sh build/win32/setup.exe $mkpkg examples/demo/project.json"; do
  code=0
  $step || code=$?
  [ "$code" -eq 0 ] || [ "$code" -eq 77 ] || exit "$code"
done
