#!/usr/bin/env bash
# Builds the corpus of the decode benchmark: about 40 MB of text and machine
# code taken from the files of a Debian machine.
#
#   bench/make_corpus.sh [DIR]      (default DIR: bench/corpus next to this script)
#
# The corpus is four concatenated blobs of about 10 MB each, one per kind of
# content, rather than thousands of separate files:
#   text.blob       licence texts and uncompressed documentation
#   headers.blob    C and C++ headers
#   programs.blob   ELF executables
#   libraries.blob  ELF shared libraries
# Each blob is compressed and decoded as one stream, so the benchmark measures
# the decoders' steady-state speed on each kind of content, with the per-call
# set-up costs (which differ between the three decoders and would dominate for
# tiny files) kept out of the figures; per-kind blobs also show where a decoder
# is weak (literal-heavy text against match-heavy code). The benchmark takes
# every regular, non-hidden file in DIR as one stream, so a directory of
# separate files works as a corpus too.
#
# The result is deterministic for a given machine: file lists are sorted in
# the C locale, only regular readable files are taken (symbolic links and
# anything missing are skipped), each file contributes at most a fixed number
# of bytes, and a blob stops at the first file that would take it past its
# cap (that file contributes only the bytes that still fit). The files taken
# are listed in DIR/.manifest.
set -euo pipefail
export LC_ALL=C

script_dir=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$script_dir/corpus"}

blob_cap=$((10 * 1024 * 1024))  # bytes per blob
file_cap=$((512 * 1024))        # bytes taken from any one file

mkdir -p "$out"
out=$(cd "$out" && pwd)
manifest="$out/.manifest"
: >"$manifest"

# Candidate files under the given roots (missing roots skipped), regular files
# only, sorted. Extra arguments are `find` predicates.
list_files() {
  local roots=()
  while [[ $# -gt 0 && $1 != -- ]]; do
    [[ -d $1 ]] && roots+=("$1")
    shift
  done
  [[ $# -gt 0 ]] && shift
  [[ ${#roots[@]} -eq 0 ]] && return 0
  find "${roots[@]}" -type f "$@" -print0 2>/dev/null | sort -z
}

is_text() { grep -Iq . "$1" 2>/dev/null; }

is_elf() {
  local magic
  magic=$(head -c 4 "$1" 2>/dev/null | tr -d '\0') || return 1
  [[ $magic == $'\177ELF' ]]
}

# make_blob NAME FILTER ROOT... -- FIND-PREDICATES...
# Appends the files that pass FILTER to DIR/NAME until the blob holds blob_cap
# bytes.
make_blob() {
  local name=$1 filter=$2
  shift 2
  local blob="$out/$name" tmp="$out/.$name.tmp" size=0 file take count=0
  : >"$tmp"
  while IFS= read -r -d '' file; do
    [[ -r $file ]] || continue
    "$filter" "$file" || continue
    take=$(stat -L -c %s -- "$file" 2>/dev/null) || continue
    [[ $take -gt 0 ]] || continue
    ((take > file_cap)) && take=$file_cap
    ((take > blob_cap - size)) && take=$((blob_cap - size))
    head -c "$take" -- "$file" >>"$tmp" || continue
    # A file that shrank while being read: count what was really appended.
    take=$(($(stat -c %s -- "$tmp") - size))
    size=$((size + take))
    count=$((count + 1))
    printf '%s\t%d\t%s\n' "$name" "$take" "$file" >>"$manifest"
    ((size >= blob_cap)) && break
  done < <(list_files "$@")
  mv -f "$tmp" "$blob"
  printf '%-16s %9d bytes from %d files\n' "$name" "$size" "$count"
}

make_blob text.blob is_text \
  /usr/share/common-licenses /usr/share/doc -- ! -name '*.gz' ! -name '*.bz2' ! -name '*.xz'
make_blob headers.blob is_text /usr/include -- \( -name '*.h' -o -name '*.hpp' -o -name '*.hh' \)
make_blob programs.blob is_elf /usr/bin --
make_blob libraries.blob is_elf /usr/lib/x86_64-linux-gnu -- -name '*.so*'

total=0
for f in "$out"/*.blob; do total=$((total + $(stat -c %s "$f"))); done
echo "corpus: $out ($total bytes)"
