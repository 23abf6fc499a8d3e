#!/usr/bin/env bash
# setup.exe under Wine reads a package written by mkpkg with the real file
# calls: one cut inside its record stream is refused without a message
# (exit -1). A complete package now opens the wizard, which waits for a
# person; the driver that clicks through it is still to come.
set -euo pipefail
stub="$1"
mkpkg="$2"
project="$3"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=wine_env.sh
source "$here/wine_env.sh"
wine_require
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$mkpkg" "$project" --stub "$stub" -o "$work/SETUP.EXE" >/dev/null

set +e
stub_size=$(stat -c %s "$stub")
head -c $((stub_size + 100)) "$work/SETUP.EXE" > "$work/CUT.EXE"
wine_run "$work/CUT.EXE"
cut=$?
set -e

fail=0
if [ "$cut" -ne 255 ]; then echo "package cut in its records: exit $cut, expected -1 (255)" >&2; fail=1; fi
[ "$fail" -eq 0 ] && echo "setup.exe refuses a package cut in its records"
exit "$fail"
