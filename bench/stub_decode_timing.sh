#!/usr/bin/env bash
# The stub's own build of the stream decoder, timed under Wine on the corpus:
#
#   bench/stub_decode_timing.sh [DECODE_TIMING_EXE...]
#
# decode_bench saves the corpus's transcoded streams, then each given
# decode_timing.exe (default: build/win32/decode_timing.exe, made by
# scripts/build.sh) decodes them and prints MB/s. Give the builds of two
# revisions to see what a change to the decoder gains, in the same run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=wine_env.sh
source "$root/bench/wine_env.sh"
wine_require

streams="$(mktemp -d)"
trap 'rm -rf "$streams"' EXIT
"$root/build/release/bench/decode_bench" "${SETUP_BENCH_CORPUS:-$root/bench/corpus}" \
  --repeat 1 --save-streams "$streams" >/dev/null
[ "$#" -gt 0 ] || set -- "$root/build/win32/decode_timing.exe"
for exe in "$@"; do
  echo "== $exe"
  wine_run "$exe" --repeat 5 "$streams"/*.stream
done
