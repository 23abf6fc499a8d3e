#!/usr/bin/env bash
# The main job: builds everything, builds the example package with mkpkg
# (two components, a patch, INI/registry/file-patch lists, volume files),
# lists, verifies and extracts it with pkgtool and compares every extracted
# file with its source, then runs setup.exe under Wine through every page of
# its wizard and shows what it installed, then uninstalls it quietly and shows
# that the machine is as before but for what the uninstaller leaves by design
# (tests/e2e/demo.py).
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
# The built-in uninstaller, followed by its texts.
cmp -n "$(stat -c %s build/win32/uninstall.exe)" build/win32/uninstall.exe "$out/extracted/0/uninstall.exe"
echo "  the built-in uninstaller: $out/extracted/0/uninstall.exe"
compare "$files/app-v2.exe" "$out/extracted/1/app.exe"
compare "$files/license.txt" "$out/extracted/1/docs/license.txt"

echo "== setup.exe under Wine"
# demo.py builds the package anew around the setup.exe this machine's Wine can
# run (i686, or its x86_64 twin), drives the wizard and prints the result.
# Exit 77: no Wine can run here; it has printed why, and the step is skipped.
code=0
python3 tests/e2e/demo.py --build build || code=$?
if [ "$code" -eq 77 ]; then
  echo "== the Wine step was skipped (reason above)"
elif [ "$code" -ne 0 ]; then
  exit "$code"
fi
