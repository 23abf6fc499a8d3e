#!/usr/bin/env bash
# Extraction speed: `pkgtool extract` of a package and an install of it by the
# install engine (install_bench: the unattended run on the host, as the
# setup's progress page drives it) against `tar -xzf` of the same files, timed
# in the same run, reported as ratios.
#
#   bench/extract_bench.sh [--mkpkg PATH] [--pkgtool PATH] [--installer PATH] [--stub PATH]
#                          [--runs N] [--big-mb N]
#
# Defaults: build/release/tools/mkpkg/mkpkg, build/release/tools/pkgtool/pkgtool,
# build/release/bench/install_bench (skipped when missing) and
# build/win32/setup.exe (a stand-in stub is made when it is missing).
#
# The corpus is a few thousand files, tens of MB, taken from this machine:
# documentation (/usr/share/doc), C headers (/usr/include) and shared
# libraries (/usr/lib/x86_64-linux-gnu). File lists are sorted in the C locale,
# only regular files with plain names are taken, each root contributes up to a
# fixed number of files and bytes, so the corpus is the same on every run of a
# given machine. The package has one component and is compressed with zlib at
# level 6, the level `tar -czf` gets from gzip, so both sides decode the same
# kind of stream from the same library settings: the ratio measures the
# decoder, the container and the file writing.
#
# Before the timing, mkpkg's peak memory is measured on a project of
# --big-mb MB (default 300, 0 to skip) of 10 MB files.
#
# Each extracts (or installs) into a new empty folder, N times (default 5); the best
# time counts. With hyperfine installed it does the timing. Every result is
# compared with the corpus byte for byte before anything is reported.
set -euo pipefail
export LC_ALL=C

root=$(cd "$(dirname "$0")/.." && pwd)
mkpkg=$root/build/release/tools/mkpkg/mkpkg
pkgtool=$root/build/release/tools/pkgtool/pkgtool
installer=$root/build/release/bench/install_bench
stub=$root/build/win32/setup.exe
runs=5
big_mb=300
while [[ $# -gt 0 ]]; do
  case $1 in
    --mkpkg) mkpkg=$2; shift 2 ;;
    --pkgtool) pkgtool=$2; shift 2 ;;
    --installer) installer=$2; shift 2 ;;
    --stub) stub=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --big-mb) big_mb=$2; shift 2 ;;
    *) echo "usage: $0 [--mkpkg PATH] [--pkgtool PATH] [--installer PATH] [--stub PATH] [--runs N] [--big-mb N]" >&2; exit 2 ;;
  esac
done
for tool in "$mkpkg" "$pkgtool"; do
  [[ -x $tool ]] || { echo "missing $tool (build first, or name it)" >&2; exit 2; }
done

# In memory when the machine has a RAM file system: the disk's write-back of
# one run's files would otherwise land on the next run, whichever tool it is,
# and the timings would measure the disk's queue rather than the tools.
scratch=${TMPDIR:-/tmp}
[[ -z ${TMPDIR:-} && -d /dev/shm && -w /dev/shm ]] && scratch=/dev/shm
work=$(mktemp -d "$scratch/extract-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [[ ! -f $stub ]]; then
  stub=$work/stub.exe
  { printf 'MZ'; head -c 4000 /dev/zero; printf 'QzvR\x29\x48\x00\x00\x00\x00'; } >"$stub"
fi

# take ROOT TAG MAX_FILES MAX_BYTES FIND-PREDICATES...: copies files of ROOT
# into corpus/TAG/ until either cap is reached.
corpus=$work/corpus
file_cap=$((2 * 1024 * 1024))
take() {
  local from=$1 tag=$2 max_files=$3 max_bytes=$4 files=0 bytes=0 rel size
  shift 4
  [[ -d $from ]] || return 0
  while IFS=$'\t' read -r -d '' rel size; do
    # Plain names only: they go into the package as they are.
    [[ $rel =~ ^[A-Za-z0-9._+/-]+$ && ${#rel} -le 180 ]] || continue
    [[ -r $from/$rel ]] || continue
    ((size <= file_cap && bytes + size <= max_bytes)) || continue
    mkdir -p "$corpus/$tag/$(dirname "$rel")"
    cp -- "$from/$rel" "$corpus/$tag/$rel"
    files=$((files + 1))
    bytes=$((bytes + size))
    ((files < max_files)) || break
  done < <(cd "$from" && find . -type f "$@" -printf '%P\t%s\0' | sort -z)
  echo "  $tag: $files files, $bytes bytes from $from"
}
echo "corpus:"
take /usr/share/doc doc 2000 $((12 * 1024 * 1024)) ! -name '*.gz'
take /usr/include include 2500 $((14 * 1024 * 1024)) -name '*.h'
take /usr/lib/x86_64-linux-gnu lib 300 $((16 * 1024 * 1024)) -name '*.so*'
count=$(find "$corpus" -type f | wc -l)
total=$(find "$corpus" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
echo "  total: $count files, $total bytes"

# The project: every file of the corpus in one component.
project=$work/project.json
{
  printf '{"compression": {"compressor": "zlib", "level": 6},\n "components": [{"files": [\n'
  (cd "$work" && find corpus -type f | sort) | awk '{
    name = substr($0, 8); gsub("/", "\\\\\\\\", name)
    printf "%s  {\"source\": \"%s\", \"name\": \"%s\"}", (NR > 1 ? ",\n" : ""), $0, name
  }'
  printf '\n]}]}\n'
} >"$project"

mkdir -p "$work/pkg"
"$mkpkg" "$project" --stub "$stub" -o "$work/pkg/SETUP.EXE" >/dev/null

# mkpkg's peak memory for a project of a few hundred MB: files of 10 MB made
# of the corpus's libraries, each with its own first line so that none is
# stored once for several.
if [[ $big_mb -gt 0 && -x /usr/bin/time ]]; then
  mkdir -p "$work/big"
  piece=$work/big-piece
  # head stops reading at 10 MB; cat ends on the broken pipe.
  (find "$corpus/lib" "$corpus/include" -type f -print0 | sort -z | xargs -0 cat 2>/dev/null || true) |
    head -c $((10 << 20)) >"$piece"
  {
    printf '{"compression": {"compressor": "zlib", "level": 6},\n "components": [{"files": [\n'
    for ((k = 1; k * 10 <= big_mb; k++)); do
      { echo "file $k"; cat "$piece"; } >"$work/big/f$k.bin"
      printf '%s  {"source": "big/f%d.bin"}' "$( ((k > 1)) && echo ',')" "$k"
    done
    printf '\n]}]}\n'
  } >"$work/big.json"
  big_total=$(du -cb "$work/big" | tail -1 | cut -f1)
  big_largest=$(find "$work/big" -type f -printf '%s\n' | sort -n | tail -1)
  mkdir -p "$work/big-pkg"
  /usr/bin/time -f %M -o "$work/big-peak.txt" "$mkpkg" "$work/big.json" --stub "$stub" -o "$work/big-pkg/SETUP.EXE" >/dev/null
  big_peak=$(tail -1 "$work/big-peak.txt")
  rm -rf "$work/big" "$work/big-pkg" "$piece"
  awk -v p="$big_peak" -v t="$big_total" -v l="$big_largest" 'BEGIN {
    printf "mkpkg peak memory: %.1f MB for a project of %.1f MB (largest source %.1f MB)\n", p / 1024, t / 1048576, l / 1048576
  }'
fi
tar -czf "$work/corpus.tar.gz" -C "$corpus" .
echo "package: $(stat -c %s "$work/pkg/SETUP.EXE") bytes; tar.gz: $(stat -c %s "$work/corpus.tar.gz") bytes"

pkg_cmd="'$pkgtool' extract '$work/pkg/SETUP.EXE' -o '$work/out-pkg' --component 0 2>/dev/null"
tar_cmd="tar -xzf '$work/corpus.tar.gz' -C '$work/out-tar'"
ins_cmd="'$installer' '$work/pkg/SETUP.EXE' '$work/out-ins'"
pkg_prepare="rm -rf '$work/out-pkg'"
tar_prepare="rm -rf '$work/out-tar' && mkdir '$work/out-tar'"
ins_prepare="rm -rf '$work/out-ins'"
names=(pkgtool tar)
[[ -x $installer ]] && names+=(ins)

# timed COMMAND: prints the command's run time in nanoseconds.
timed() {
  local start end
  start=$(date +%s%N)
  eval "$1" || { echo "failed: $1" >&2; exit 1; }
  end=$(date +%s%N)
  echo $((end - start))
}

declare -A best
if command -v hyperfine >/dev/null; then
  args=()
  for n in "${names[@]}"; do
    key=${n/pkgtool/pkg}
    cmd=${key}_cmd prep=${key}_prepare
    args+=(--prepare "${!prep}" -n "$n" "${!cmd}")
  done
  hyperfine --runs "$runs" --export-json "$work/times.json" "${args[@]}" >&2
  while read -r n ns; do best[$n]=$ns; done < <(python3 -c 'import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(r["command"], int(min(r["times"]) * 1e9))' "$work/times.json")
else
  # Interleaved, so that all see the same machine.
  for ((i = 0; i < runs; i++)); do
    for n in "${names[@]}"; do
      key=${n/pkgtool/pkg}
      cmd=${key}_cmd prep=${key}_prepare
      eval "${!prep}"
      t=$(timed "${!cmd}")
      [[ -z ${best[$n]:-} || $t -lt ${best[$n]} ]] && best[$n]=$t
    done
  done
fi

# Every result must be the corpus itself.
diff -r "$corpus" "$work/out-pkg" >/dev/null || { echo "pkgtool extract differs from the corpus" >&2; exit 1; }
diff -r "$corpus" "$work/out-tar" >/dev/null || { echo "tar -xzf differs from the corpus" >&2; exit 1; }
if [[ -n ${best[ins]:-} ]]; then
  diff -r "$corpus" "$work/out-ins" >/dev/null || { echo "the install differs from the corpus" >&2; exit 1; }
fi

awk -v p="${best[pkgtool]}" -v t="${best[tar]}" -v i="${best[ins]:-0}" -v n="$runs" 'BEGIN {
  printf "pkgtool extract: %.3f s (best of %d)\n", p / 1e9, n
  printf "tar -xzf:        %.3f s (best of %d)\n", t / 1e9, n
  if (i > 0) printf "engine install:  %.3f s (best of %d)\n", i / 1e9, n
  printf "ratio pkgtool/tar: %.2f\n", p / t
  if (i > 0) {
    printf "ratio install/pkgtool: %.2f\n", i / p
    printf "ratio install/tar: %.2f\n", i / t
  }
}'
