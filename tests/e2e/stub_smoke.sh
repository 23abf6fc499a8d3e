#!/usr/bin/env bash
# Runs the stub without a package under Wine: it must exit with -1 at once.
set -euo pipefail
stub="$1"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=wine_env.sh
source "$here/wine_env.sh"
wine_require
set +e
wine_run "$stub"
code=$?
set -e
if [ "$code" -ne 255 ]; then
  echo "setup.exe without a package exited with $code, expected -1 (255)" >&2
  exit 1
fi
echo "setup.exe without a package exits with -1"
