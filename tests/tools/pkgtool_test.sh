#!/usr/bin/env bash
# End-to-end tests of mkpkg and pkgtool.
#
#   pkgtool_test.sh MKPKG PKGTOOL [STUB]
#
# STUB is the setup program that packages are appended to; without it a small
# stand-in holding the patch block is made. Packages come from mkpkg (the demo
# project and projects written here) and from independent_writer.py, which
# shares no code with mkpkg. Each package is listed, verified, extracted and
# dumped, and compared with what it must hold; then damaged copies (truncated,
# bytes changed, volumes missing or cut short) must be refused with exit code
# 1, or read correctly where the damage touches nothing that is read, without
# a crash or sanitizer report and without writing outside the -o folder.
#
# Environment: PYTHON (default python3); PKGTOOL_TEST_FLIPS, the number of
# changed bytes tried in each package's file-data region (default 120);
# KEEP_WORK=1 keeps the work folder.
set -uo pipefail

if [[ $# -lt 2 || $# -gt 3 ]]; then
  echo "usage: $0 MKPKG PKGTOOL [STUB]" >&2
  exit 2
fi
mkpkg=$(realpath "$1")
pkgtool=$(realpath "$2")
stub_arg=${3:-}
python=${PYTHON:-python3}
flips=${PKGTOOL_TEST_FLIPS:-120}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
check="$here/pkgcheck.py"

work=$(mktemp -d "${TMPDIR:-/tmp}/pkgtool-test.XXXXXX")
cleanup() { [[ ${KEEP_WORK:-0} == 1 ]] && echo "work folder kept: $work" || rm -rf "$work"; }
trap cleanup EXIT

# A sanitizer report must not pass for an ordinary exit code 1.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}exitcode=86"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1:halt_on_error=1:exitcode=87"

passed=0
failed=0
ok() { passed=$((passed + 1)); }
bad() {
  failed=$((failed + 1))
  echo "FAIL: $*" >&2
}

# run CMD...: runs a command with its output in $work/cap.out and cap.err; the
# exit code is in $rc. A crash (signal, sanitizer report) is a failure by itself.
rc=0
err_text=
run() {
  "$@" >"$work/cap.out" 2>"$work/cap.err"
  rc=$?
  err_text=
  [[ -s $work/cap.err ]] && IFS= read -r -d '' err_text <"$work/cap.err"
  if ((rc >= 128 || rc == 86 || rc == 87)) || [[ $err_text == *Sanitizer* || $err_text == *"runtime error:"* ]]; then
    bad "crash (exit $rc): $*"
    sed 's/^/    /' "$work/cap.err" | head -20 >&2
    rc=crash
  fi
}

# want LABEL ACTUAL ALLOWED...
want() {
  local label=$1 actual=$2
  shift 2
  local a
  for a in "$@"; do
    if [[ $actual == "$a" ]]; then
      ok
      return 0
    fi
  done
  bad "$label: exit $actual, expected ${*// / or }"
  sed 's/^/    /' "$work/cap.err" | head -5 >&2
  return 1
}

# expect LABEL CONDITION...: the condition (a command) must succeed.
expect() {
  local label=$1
  shift
  if "$@"; then ok; else bad "$label"; fi
}

stderr_has() { grep -qE -- "$1" "$work/cap.err"; }

# ---------------------------------------------------------------------------
# The stub

if [[ -n $stub_arg ]]; then
  stub=$(realpath "$stub_arg")
else
  stub=$work/stub.exe
  {
    printf 'MZ'
    head -c 1500 /dev/zero | tr '\0' 'S'
    printf 'QzvR\x29\x48\x00\x00\x00\x00'
    head -c 2500 /dev/zero | tr '\0' 'T'
  } >"$stub"
fi
echo "stub: $stub ($(stat -c %s "$stub") bytes)"

files=$work/files
"$python" "$check" make-files "$files" || { echo "cannot make the test files" >&2; exit 1; }

verify_leftovers_before=$(find /tmp -maxdepth 1 -name 'pkgtool-verify-*' 2>/dev/null | wc -l)

# ---------------------------------------------------------------------------
# Reading a good package completely

# read_package LABEL PKGDIR MANIFEST: list, verify, extract (all components and
# each one alone) and dump, each compared with the manifest.
read_package() {
  local label=$1 dir=$2 manifest=$3 setup=$2/SETUP.EXE results=$work/results
  rm -rf "$results"
  mkdir -p "$results"
  run "$pkgtool" list "$setup"
  want "$label: list" "$rc" 0
  cp "$work/cap.out" "$results/list.txt"
  run "$pkgtool" verify "$setup"
  want "$label: verify" "$rc" 0
  expect "$label: verify reports no failure" grep -qE '^[0-9]+ files verified, 0 failed' "$work/cap.out"
  run "$pkgtool" extract "$setup" -o "$results/all"
  want "$label: extract" "$rc" 0
  local components c
  components=$(grep -cE '^component [0-9]+:' "$results/list.txt")
  for ((c = 0; c < components; c++)); do
    run "$pkgtool" extract "$setup" -o "$results/c$c" --component "$c"
    want "$label: extract --component $c" "$rc" 0
  done
  run "$pkgtool" dump "$setup"
  want "$label: dump" "$rc" 0
  cp "$work/cap.out" "$results/dump.txt"
  expect "$label: list shows every entry, extract reproduces every file (all components and each alone), dump shows the strings and lists" \
    "$python" "$check" package "$manifest" "$results"
}

# ---------------------------------------------------------------------------
# Damaged copies

shopt -s nullglob dotglob
# probe DIR LABEL: list, verify and extract of the package in DIR; exit codes
# in rl, rv, rx. Extract must write nothing outside its -o folder.
probe() {
  local dir=$1 label=$2
  local -a before=("$dir"/*) after
  run "$pkgtool" list "$dir/SETUP.EXE"
  rl=$rc
  run "$pkgtool" verify "$dir/SETUP.EXE"
  rv=$rc
  verify_err=${err_text:0:2000}
  run "$pkgtool" extract "$dir/SETUP.EXE" -o "$dir/out"
  rx=$rc
  after=("$dir"/*)
  local -A known=(["$dir/out"]=1)
  local f
  for f in "${before[@]}"; do known[$f]=1; done
  for f in "${after[@]}"; do
    [[ -n ${known[$f]:-} ]] || bad "$label: extract wrote outside its folder: $f"
  done
}

# same_tree EXPECTED DIR LABEL EXCLUDES...: DIR/out equals EXPECTED.
same_tree() {
  local expected=$1 dir=$2 label=$3
  shift 3
  if diff -rq "$@" "$expected" "$dir/out" >"$work/diff.txt" 2>&1; then
    ok
  else
    bad "$label: extracted files differ: $(head -3 "$work/diff.txt" | tr '\n' ' ')"
  fi
}

# damage_suite LABEL PKGDIR EXPECTED_TREE MANIFEST: see `pkgcheck.py damage`
# for the kinds of damage and what each must give.
damage_suite() {
  local label=$1 pkg=$2 expected=$3 manifest=$4 cases=$work/damage
  rm -rf "$cases"
  if ! "$python" "$check" damage "$pkg" "$cases" --manifest "$manifest" --flips "$flips"; then
    bad "$label: cannot make damaged copies"
    return
  fi
  local -a exclude=()
  local name id kind what dir count=0
  while IFS= read -r name; do exclude+=(-x "$name"); done <"$cases/unchecked.txt"
  while IFS=$'\t' read -r id kind what; do
    dir=$cases/$id
    what="$label: $what"
    probe "$dir" "$what"
    case $kind in
      cut | block)
        want "$what: list" "$rl" 1
        want "$what: verify" "$rv" 1
        want "$what: extract" "$rx" 1
        ;;
      volume)
        want "$what: list" "$rl" 0
        want "$what: verify" "$rv" 1
        want "$what: extract" "$rx" 1
        ;;
      stub | tag)
        want "$what: list" "$rl" 0
        want "$what: verify" "$rv" 0
        want "$what: extract" "$rx" 0 && same_tree "$expected" "$dir" "$what"
        ;;
      record)
        want "$what: list" "$rl" 0 1
        want "$what: verify" "$rv" 0 1
        want "$what: extract" "$rx" 0 1
        if [[ $rl == 1 ]] && [[ $rv != 1 || $rx != 1 ]]; then
          bad "$what: list refuses the package but verify ($rv) or extract ($rx) does not"
        fi
        ;;
      region)
        want "$what: list" "$rl" 0
        want "$what: verify" "$rv" 0 1
        if [[ $rx != "$rv" ]]; then
          bad "$what: verify exits $rv but extract $rx"
        elif [[ $rv == 0 ]]; then
          same_tree "$expected" "$dir" "$what" "${exclude[@]}"
        elif [[ $verify_err =~ (^|$'\n')FAILED\ component\ [0-9]+\ file\ [0-9]+ ]]; then
          ok
        else
          bad "$what: verify fails without naming the file: ${verify_err:0:200}"
        fi
        ;;
    esac
    rm -rf "$dir"
    count=$((count + 1))
  done <"$cases/cases.txt"
  local -a left=("$cases"/*)
  expect "$label: nothing written beside the damaged copies (${left[*]##*/})" test "${#left[@]}" -eq 2
  echo "$label: $count damaged copies tried"
}

# ---------------------------------------------------------------------------
# 1. The independent writer's package

ind=$work/ind
mkdir -p "$ind/pkg"
if "$python" "$here/independent_writer.py" --stub "$stub" --out "$ind/pkg/SETUP.EXE" \
  --expected "$ind/expected" --manifest "$ind/manifest.json"; then
  ok
  read_package "independent package" "$ind/pkg" "$ind/manifest.json"
  run "$pkgtool" list "$ind/pkg/SETUP.EXE"
  expect "independent package: list marks the patch and its base" \
    grep -q 'bin\\tool.exe  (patch of component 0 file 1)' "$work/cap.out"
  expect "independent package: list shows the source-placed entry" \
    grep -qE '^ +12 +4321 +0  install  source .*manual\.pdf$' "$work/cap.out"
  expect "independent package: list shows a component without a file list" \
    grep -q '^component 2: (none), choice "Nothing", folder (none), 0 files$' "$work/cap.out"
  run "$pkgtool" verify "$ind/pkg/SETUP.EXE"
  expect "independent package: verify counts the files" \
    grep -qx '17 files verified, 0 failed, 1 taken from the source folder' "$work/cap.out"
  damage_suite "independent package" "$ind/pkg" "$ind/expected" "$ind/manifest.json"
else
  bad "independent_writer.py failed"
fi

# An entry whose name climbs out of the destination folder.
hostile=$work/hostile
mkdir -p "$hostile/pkg" "$hostile/run"
if "$python" "$here/independent_writer.py" --stub "$stub" --out "$hostile/pkg/SETUP.EXE" \
  --hostile >/dev/null; then
  run "$pkgtool" extract "$hostile/pkg/SETUP.EXE" -o "$hostile/run/out"
  want "hostile name: extract" "$rc" 1
  expect "hostile name: extract names the entry" stderr_has 'escaped\.txt.*leaves the destination'
  expect "hostile name: nothing written beside the folder" \
    test -z "$(find "$hostile" -name escaped.txt)"
  run "$pkgtool" extract "$hostile/pkg/SETUP.EXE" -o "$hostile/run/out2" --component 1
  want "hostile name: a clean component still extracts" "$rc" 0
else
  bad "independent_writer.py --hostile failed"
fi

# Deep destination folders: paths longer than the setup's own 260-byte paths
# are normal on a build machine. Extraction must work there, and must not put
# even a temporary file outside the folder.
deep=$work/deep
for d in $(seq -w 0 60); do deep+=/d$d; done
# Here the 260th character falls after the dot of a folder name.
deep_dotted=$work/dotted
while ((${#deep_dotted} < 225)); do deep_dotted+=/ddd; done
deep_dotted+=/x.$(head -c 40 /dev/zero | tr '\0' n)/out
if [[ -d $ind/expected ]] && ((${#deep_dotted} > 260)); then
  mkdir -p "$deep" "$deep_dotted"
  run "$pkgtool" extract "$ind/pkg/SETUP.EXE" -o "$deep/out"
  want "extract into a folder of ${#deep} characters" "$rc" 0 &&
    expect "extract into a deep folder reproduces every file" diff -rq "$ind/expected" "$deep/out"
  if command -v strace >/dev/null; then
    # LeakSanitizer cannot run under ptrace.
    run env ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" strace -f -qq -e trace=openat,creat -o "$work/strace.txt" \
      "$pkgtool" extract "$ind/pkg/SETUP.EXE" -o "$deep_dotted"
    want "extract into a folder of ${#deep_dotted} characters with a dot" "$rc" 0
    outside=$(grep -E 'O_CREAT|creat\(' "$work/strace.txt" | grep -v "\"$deep_dotted/" |
      sed -E 's/^[^"]*"([^"]*)".*/\1/' | sort -u | head -3)
    expect "extract creates no file outside its folder: ${outside//$deep_dotted/-o}" test -z "$outside"
  fi
fi

# ---------------------------------------------------------------------------
# 2. mkpkg: the demo project

# The demo takes the built-in uninstaller; here it gets an image of its own
# (the built-in one is tested in section 3), so that what every entry holds
# can be told from the project alone.
demo=$work/demo
mkdir -p "$demo/pkg" "$demo/project"
cp -r "$repo/examples/demo/files" "$demo/project/"
printf 'MZ an uninstaller image of the test' >"$demo/project/uninstall-image.bin"
"$python" - "$repo/examples/demo/project.json" "$demo/project/project.json" <<'EOF'
import json, sys
project = json.load(open(sys.argv[1]))
project["uninstaller"] = "uninstall-image.bin"
json.dump(project, open(sys.argv[2], "w"), indent=1)
EOF
run "$mkpkg" "$demo/project/project.json" --stub "$stub" -o "$demo/pkg/SETUP.EXE"
if want "demo: mkpkg" "$rc" 0; then
  expect "demo: volume files written" test -f "$demo/pkg/SETUP.D01"
  "$python" "$check" from-project "$demo/project/project.json" "$demo/manifest.json" \
    --expected "$demo/expected"
  read_package "demo" "$demo/pkg" "$demo/manifest.json"
  damage_suite "demo" "$demo/pkg" "$demo/expected" "$demo/manifest.json"
fi

# ---------------------------------------------------------------------------
# 3. mkpkg: projects written here

proj=$work/projects
mkdir -p "$proj"
cp "$files"/* "$proj/"

# build NAME: builds $proj/NAME.json into $work/NAME/SETUP.EXE;
# the region size from mkpkg's report is in $region_size.
region_size=0
build() {
  local name=$1
  rm -rf "${work:?}/$name"
  mkdir -p "$work/$name"
  run "$mkpkg" "$proj/$name.json" --stub "$stub" -o "$work/$name/SETUP.EXE"
  region_size=$(sed -nE 's/.* ([0-9]+) bytes of file data.*/\1/p' "$work/cap.out")
  [[ $rc == 0 ]]
}

# stored_size PKG COMPONENT INDEX: the entry's stored size from pkgtool list.
stored_size() {
  "$pkgtool" list "$1" | awk -v c="$2" -v i="$3" '
    /^component / { comp = $2; sub(":", "", comp); next }
    comp == c && $1 == i { print $3 }'
}

# Several volumes, files at the 16-bit size limits, an empty file.
cat >"$proj/volumes.json" <<'EOF'
{
  "title": "Volumes",
  "volumeSize": 30000,
  "components": [
    {"displayName": "Volumes", "files": [
      {"source": "noise65537.bin"},
      {"source": "empty.bin"},
      {"source": "noise65535.bin", "name": "sub\\dir\\noise65535.bin"},
      {"source": "one.bin"},
      {"source": "noise65536.bin", "folder": "windows"},
      {"source": "text30000.txt", "folder": "system", "name": "x\\y\\text.txt"},
      {"source": "text4095.txt", "folder": "fonts"}
    ]},
    {"displayName": "Second", "files": [
      {"source": "noise20000.bin", "times": {"lastWrite": "2004-02-29T23:59:58Z"}}
    ]}
  ]
}
EOF
if build volumes; then
  ok
  volume_files=("$work/volumes"/SETUP.D[0-9][0-9])
  count=${#volume_files[@]}
  expect "volumes: at least four volume files ($count)" test "$count" -ge 4
  total=0
  for f in "$work/volumes"/SETUP.D*; do
    size=$(stat -c %s "$f")
    expect "volumes: $(basename "$f") ($size bytes) within the volume size" test "$size" -le 30000
    total=$((total + size - 4))
  done
  layout=$("$python" "$check" layout "$work/volumes/SETUP.EXE")
  read -r _ _ _ _ l0 _ <<<"${layout%%$'\n'*}"
  expect "volumes: setup file and volumes hold the whole region ($l0 + $total = $region_size)" \
    test $((l0 + total)) -eq "$region_size"
  # A component without a choice label offers its display name.
  expect "volumes: the choice label defaults to the display name" \
    grep -q 'component 1: "Second", choice "Second"' <("$pkgtool" list "$work/volumes/SETUP.EXE")
  "$python" "$check" from-project "$proj/volumes.json" "$work/volumes.manifest"
  read_package "volumes" "$work/volumes" "$work/volumes.manifest"
else
  bad "volumes: mkpkg exit $rc: $(head -3 "$work/cap.err")"
fi

# A rebuild with fewer volumes removes the volumes left over.
cat >"$proj/small.json" <<'EOF'
{"components": [{"files": [{"source": "one.bin"}]}]}
EOF
run "$mkpkg" "$proj/small.json" --stub "$stub" -o "$work/volumes/SETUP.EXE"
want "rebuild without volumes" "$rc" 0
expect "rebuild without volumes removes the old volume files" \
  test -z "$(find "$work/volumes" -name 'SETUP.D*')"

# Data that starts exactly at the end of the setup file: the first build
# without volumes gives the sizes, the second puts the volume boundary right
# after the first file's data.
cat >"$proj/boundary.json" <<'EOF'
{"components": [{"files": [
  {"source": "a5000.txt"}, {"source": "b3000.bin"}, {"source": "c2000.txt"}]}]}
EOF
if build boundary; then
  whole=$(stat -c %s "$work/boundary/SETUP.EXE")
  head_size=$((whole - region_size))
  first=$(stored_size "$work/boundary/SETUP.EXE" 0 0)
  volume_size=$((head_size + first))
  sed "s/{\"components\"/{\"volumeSize\": $volume_size, \"components\"/" "$proj/boundary.json" \
    >"$proj/boundary2.json"
  if build boundary2; then
    expect "boundary: the setup file is exactly the volume size" \
      test "$(stat -c %s "$work/boundary2/SETUP.EXE")" -eq "$volume_size"
    expect "boundary: one volume file" test "$(ls "$work/boundary2" | wc -l)" -eq 2
    expect "boundary: the volume holds the data from the second file on" \
      cmp -s <(tail -c +$((head_size + first + 1)) "$work/boundary/SETUP.EXE") \
      <(tail -c +5 "$work/boundary2/SETUP.D01")
    "$python" "$check" from-project "$proj/boundary2.json" "$work/boundary.manifest"
    read_package "boundary" "$work/boundary2" "$work/boundary.manifest"
  else
    bad "boundary: second mkpkg exit $rc: $(head -3 "$work/cap.err")"
  fi
else
  bad "boundary: mkpkg exit $rc: $(head -3 "$work/cap.err")"
fi

# Identical contents are stored once: the region is as large as with one copy.
cat >"$proj/shared.json" <<'EOF'
{"components": [
  {"files": [{"source": "shared30000.bin", "name": "a.bin"}, {"source": "c2000.txt"},
             {"source": "shared30000.bin", "name": "b.bin"}]},
  {"files": [{"source": "shared30000.bin", "name": "c.bin", "folder": "windows"}]}]}
EOF
cat >"$proj/single.json" <<'EOF'
{"components": [{"files": [{"source": "shared30000.bin", "name": "a.bin"}, {"source": "c2000.txt"}]}]}
EOF
if build single; then
  single_region=$region_size
  if build shared; then
    expect "shared: region of three copies ($region_size) equals region of one ($single_region)" \
      test "$region_size" -eq "$single_region"
    a=$(stored_size "$work/shared/SETUP.EXE" 0 0)
    b=$(stored_size "$work/shared/SETUP.EXE" 0 2)
    c=$(stored_size "$work/shared/SETUP.EXE" 1 0)
    t=$(stored_size "$work/shared/SETUP.EXE" 0 1)
    expect "shared: region is one copy plus the text ($a + $t = $region_size)" \
      test $((a + t)) -eq "$region_size"
    expect "shared: every copy has the same stored size ($a $b $c)" test "$a" = "$b" -a "$a" = "$c"
    expect "shared: mkpkg reports the shared files" grep -q '2 files stored, 2 shared' "$work/cap.out"
    "$python" "$check" from-project "$proj/shared.json" "$work/shared.manifest"
    read_package "shared" "$work/shared" "$work/shared.manifest"
  else
    bad "shared: mkpkg exit $rc"
  fi
else
  bad "single: mkpkg exit $rc"
fi

# A start record, zlib streams, a patch and an uninstaller without data. A
# package with a start record is accepted without the size check: cut inside
# its region, it still lists, but its data fails.
cat >"$proj/start.json" <<'EOF'
{
  "start": {"page": 4, "component": 1},
  "compression": {"compressor": "zlib", "level": 1},
  "uninstaller": "uninstall-image.bin",
  "strings": {"6": {"0": "Caf\u00e9 Setup", "28": "Insert disk %d"}},
  "components": [
    {"displayName": "Base", "files": [{"source": "base.bin", "times": "source"},
                                      {"name": "unins.exe", "uninstaller": true}]},
    {"displayName": "Newer", "files": [
      {"source": "newer.bin", "name": "base.bin", "patchFrom": {"component": 0, "name": "base.bin"}},
      {"source": "text30000.txt"}],
     "ini": [{"file": "#Windows#\\x.ini", "section": "S", "key": "K", "value": "V"}]}
  ]
}
EOF
if build start; then
  ok
  "$python" "$check" from-project "$proj/start.json" "$work/start.manifest"
  read_package "start record" "$work/start" "$work/start.manifest"
  run "$pkgtool" dump "$work/start/SETUP.EXE"
  expect "start record: dump shows the start page" grep -q '^start: page 4 only, component 1$' "$work/cap.out"
  size=$(stat -c %s "$work/start/SETUP.EXE")
  mkdir -p "$work/start-cut"
  head -c $((size - 100)) "$work/start/SETUP.EXE" >"$work/start-cut/SETUP.EXE"
  probe "$work/start-cut" "start record: cut inside the region"
  want "start record: list of a package cut inside its region" "$rl" 0
  want "start record: verify of a package cut inside its region" "$rv" 1
  want "start record: extract of a package cut inside its region" "$rx" 1
else
  bad "start: mkpkg exit $rc: $(head -3 "$work/cap.err")"
fi

# ---------------------------------------------------------------------------
# 4. mkpkg refuses bad projects, names the problem and writes nothing

# holds FILE TEXT: FILE exists and holds the line TEXT.
holds() { [[ -f $1 ]] && cmp -s "$1" <(echo "$2"); }

# refuse NAME PATTERN [MKPKG-OPTION...]: $proj/NAME.json must fail with exit 1
# and a message matching PATTERN, leave an empty folder empty and older output
# unchanged.
refuse() {
  local name=$1 pattern=$2 dir=$work/refuse-$1
  local options=("${@:3}")
  rm -rf "$dir"
  mkdir -p "$dir/empty" "$dir/old"
  run "$mkpkg" "$proj/$name.json" --stub "$stub" "${options[@]}" -o "$dir/empty/SETUP.EXE"
  want "mkpkg $name" "$rc" 1 || return
  expect "mkpkg $name: message names the problem (/$pattern/): $(head -c 300 "$work/cap.err")" \
    stderr_has "$pattern"
  expect "mkpkg $name: nothing written ($(ls -A "$dir/empty" | tr '\n' ' '))" \
    test -z "$(ls -A "$dir/empty")"
  echo "older setup" >"$dir/old/SETUP.EXE"
  echo "older volume" >"$dir/old/SETUP.D01"
  run "$mkpkg" "$proj/$name.json" --stub "$stub" "${options[@]}" -o "$dir/old/SETUP.EXE"
  want "mkpkg $name over older output" "$rc" 1
  expect "mkpkg $name: older setup file unchanged" holds "$dir/old/SETUP.EXE" "older setup"
  expect "mkpkg $name: older volume file unchanged" holds "$dir/old/SETUP.D01" "older volume"
  expect "mkpkg $name: no other file left ($(ls -A "$dir/old" | tr '\n' ' '))" \
    test "$(ls -A "$dir/old" | wc -l)" -eq 2
}

cat >"$proj/missing-source.json" <<'EOF'
{"volumeSize": 5000, "components": [{"files": [{"source": "one.bin"}, {"source": "no-such-file.bin"}]}]}
EOF
refuse missing-source 'components\[0\]\.files\[1\]\.source: cannot read .*no-such-file\.bin'

{
  printf '{"components": ['
  for _ in 1 2 3 4 5 6; do printf '{"files": [{"source": "one.bin"}]}, '; done
  printf '{"files": [{"source": "one.bin"}]}]}\n'
} >"$proj/seven.json"
refuse seven 'at most 6 components'

printf '{"title": "%s", "components": [{"files": [{"source": "one.bin"}]}]}\n' \
  "$(head -c 1100 /dev/zero | tr '\0' 'x')" >"$proj/long-title.json"
refuse long-title 'title: text too long'

printf '{"components": [{"files": [{"source": "one.bin", "name": "%s"}]}]}\n' \
  "$(head -c 300 /dev/zero | tr '\0' 'n')" >"$proj/long-name.json"
refuse long-name 'files\[0\]\.name: text too long'

printf '{"strings": {"6": {"28": "%s"}}, "components": [{"files": [{"source": "one.bin"}]}]}\n' \
  "$(head -c 190 /dev/zero | tr '\0' 'd')" >"$proj/long-prompt.json"
refuse long-prompt '28: text too long'

cat >"$proj/patch-name.json" <<'EOF'
{"components": [{"files": [{"source": "base.bin"}]},
  {"files": [{"source": "newer.bin", "patchFrom": {"component": 0, "name": "ghost.bin"}}]}]}
EOF
refuse patch-name 'no earlier file named "ghost\.bin"'

cat >"$proj/patch-index.json" <<'EOF'
{"components": [{"files": [{"source": "base.bin"}]},
  {"files": [{"source": "newer.bin", "patchFrom": {"component": 0, "file": 5}}]}]}
EOF
refuse patch-index 'base \(component 0, file 5\) is missing'

cat >"$proj/unknown-top.json" <<'EOF'
{"colour": "blue", "components": [{"files": [{"source": "one.bin"}]}]}
EOF
refuse unknown-top 'unknown field "colour"'

cat >"$proj/unknown-file.json" <<'EOF'
{"components": [{"files": [{"source": "one.bin", "sauce": true}]}]}
EOF
refuse unknown-file 'unknown-file\.json:1:[0-9]+: components\[0\]\.files\[0\]: unknown field "sauce" \(did you mean "source"\?\)'

cat >"$proj/bad-json.json" <<'EOF'
{"components": [{"files": [{"source": "one.bin"}]}
EOF
refuse bad-json 'bad-json\.json:2:1: not valid JSON'

# Errors point at the field: file, line and column, then its path.
cat >"$proj/at-field.json" <<'EOF'
{"components": [{"files": [{"source": "one.bin",
                            "folder": "nowhere"}]}]}
EOF
refuse at-field 'at-field\.json:2:39: components\[0\]\.files\[0\]\.folder: unknown value "nowhere"'
cat >"$proj/choice-number.json" <<'EOF'
{"components": [{"files": [{"source": "one.bin", "folder": 9}]}]}
EOF
refuse choice-number 'files\[0\]\.folder: out of range \(0 to 3\)'
cat >"$proj/registry-without-data.json" <<'EOF'
{"components": [{"files": [{"source": "one.bin"}],
  "registry": [{"root": "HKLM", "key": "Software\\X"}]}]}
EOF
refuse registry-without-data 'registry-without-data\.json:2:16: components\[0\]\.registry\[0\]: needs "data"'

cat >"$proj/tiny-volume.json" <<'EOF'
{"volumeSize": 100, "components": [{"files": [{"source": "one.bin"}]}]}
EOF
refuse tiny-volume 'volumeSize: out of range'

# Without an image of its own a project gets the built-in uninstaller: it
# must be found, lie in the destination folder's root, and its texts must
# have numbers it knows.
cat >"$proj/no-image.json" <<'EOF'
{"components": [{"files": [{"name": "unins.exe", "uninstaller": true}]}]}
EOF
refuse no-image "cannot read $work/none/uninstall.exe" --uninstaller "$work/none/uninstall.exe"
echo "MZ built-in uninstaller" >"$proj/builtin.exe"
cat >"$proj/builtin-below.json" <<'EOF'
{"components": [{"files": [{"name": "bin\\unins.exe", "uninstaller": true}]}]}
EOF
refuse builtin-below 'files\[0\] \(bin.unins.exe\): the built-in uninstaller must lie in the destination folder' \
  --uninstaller "$proj/builtin.exe"
cat >"$proj/builtin-text.json" <<'EOF'
{"uninstallerStrings": {"14": "?"}, "components": [{"files": [{"name": "u.exe", "uninstaller": true}]}]}
EOF
refuse builtin-text 'uninstallerStrings\.14: no uninstaller text has this number' \
  --uninstaller "$proj/builtin.exe"

# Built in, the uninstaller is the image, then its texts (the defaults, with
# the project's replacement) in a record of their own, then the end record.
# The output goes into folders that do not exist yet: mkpkg makes them.
cat >"$proj/builtin.json" <<'EOF'
{"uninstallerStrings": {"0": "Remove Demo"},
 "components": [{"files": [{"name": "unins.exe", "uninstaller": true}]}]}
EOF
run "$mkpkg" "$proj/builtin.json" --stub "$stub" --uninstaller "$proj/builtin.exe" \
  -o "$work/builtin/new/folder/SETUP.EXE"
want "mkpkg builtin, into new folders" "$rc" 0
run "$pkgtool" extract "$work/builtin/new/folder/SETUP.EXE" -o "$work/builtin/out"
want "pkgtool extract builtin" "$rc" 0
expect "the built-in uninstaller: its image, its texts, the end record" "$python" - \
  "$work/builtin/out/0/unins.exe" "$proj/builtin.exe" <<'EOF'
import struct, sys
data, image = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
assert data.startswith(image), "the image is not first"
kind, flags, length = struct.unpack_from("<HHI", data, len(image))
texts = data[len(image) + 10:len(image) + 8 + length].split(b"\0")
assert (kind, flags) == (0x1250, 0) and struct.unpack_from("<H", data, len(image) + 8)[0] == 14
assert texts[0] == b"Remove Demo" and texts[1].startswith(b"Do you want to remove %s"), texts
assert data[len(image) + 8 + length:] == b"\x7f\x7f" + bytes(6), "no end record after the texts"
EOF

cat >"$proj/not-ansi.json" <<'EOF'
{"components": [{"displayName": "\u4e2d", "files": [{"source": "one.bin"}]}]}
EOF
refuse not-ansi 'displayName: text cannot be written in the 8-bit character set'

# The setup shows no page itself: a page template must be a visible child.
cat >"$proj/hidden-page.json" <<'EOF'
{"dialogs": {"9": {"style": ["WS_CHILD", "DS_CONTROL"]}},
 "components": [{"files": [{"source": "one.bin"}]}]}
EOF
refuse hidden-page 'dialogs\.9: .*lacks WS_VISIBLE'

# A name that leaves the destination folder would make a package that the
# setup installs outside its folder and pkgtool refuses to extract.
cat >"$proj/escaping-name.json" <<'EOF'
{"components": [{"files": [{"source": "one.bin", "name": "..\\outside.bin"}]}]}
EOF
refuse escaping-name 'files\[0\]\.name'

# mkpkg init on a tree of a few hundred files in nested folders: the project
# builds at once, and verify and extract give the tree back byte for byte.
tree="$work/init/Tree Product"
"$python" - "$tree" <<'EOF'
import os, random, sys
r = random.Random(19)
for i in range(300):
    folder = os.path.join(sys.argv[1], *[f"d{r.randint(0, 5)}" for _ in range(r.randint(0, 4))])
    os.makedirs(folder, exist_ok=True)
    data = r.randbytes(r.randint(0, 4000)) if i % 3 else (f"line {i}\r\n" * r.randint(1, 300)).encode()
    with open(os.path.join(folder, f"f{i}.{r.choice(['txt', 'dll', 'bin'])}"), "wb") as f:
        f.write(data)
EOF
run "$mkpkg" init "$tree"
want "mkpkg init" "$rc" 0
run "$mkpkg" init "$tree"
want "mkpkg init over a project" "$rc" 1
expect "mkpkg init over a project: says so" stderr_has 'a project is there already; --force'
run "$mkpkg" init "$tree" --force
want "mkpkg init --force" "$rc" 0
run "$mkpkg" "$tree/project.json" --stub "$stub" --uninstaller "$proj/builtin.exe" -o "$work/init/out/SETUP.EXE"
want "mkpkg of the init project" "$rc" 0
expect "mkpkg of the init project: 300 files and the uninstaller" grep -q ' 301 files stored' "$work/cap.out"
run "$pkgtool" verify "$work/init/out/SETUP.EXE"
want "pkgtool verify of the init project" "$rc" 0
run "$pkgtool" extract "$work/init/out/SETUP.EXE" -o "$work/init/x"
want "pkgtool extract of the init project" "$rc" 0
rm -f "$work/init/x/0/unins.exe" "$work/init/x/0/uninstall.exe"
expect "init project: extract gives the tree back" diff -r -x project.json "$tree" "$work/init/x/0"

# Pattern entries: into and exclude, and what is refused.
mkdir -p "$proj/pat/bin/sub" "$proj/pat/doc"
echo a >"$proj/pat/bin/a.dll"; echo b >"$proj/pat/bin/sub/b.dll"; echo p >"$proj/pat/bin/sub/b.pdb"
echo r >"$proj/pat/doc/r.txt"
cat >"$proj/patterns.json" <<'EOF'
{"components": [{"files": [{"name": "u.exe", "uninstaller": true},
  {"source": "pat/bin/**/*", "into": "lib", "exclude": ["**/*.pdb"]},
  {"source": "pat/d?c/*.txt", "placement": "keep"}]}]}
EOF
run "$mkpkg" "$proj/patterns.json" --stub "$stub" --uninstaller "$proj/builtin.exe" -o "$work/patterns/SETUP.EXE"
want "mkpkg patterns" "$rc" 0
run "$pkgtool" list "$work/patterns/SETUP.EXE"
expect "patterns: the matches, named and ordered ($(tr '\n' '|' <"$work/cap.out"))" "$python" - "$work/cap.out" <<'EOF'
import sys
rows = [line.split() for line in open(sys.argv[1]) if line.startswith(" ")]
assert [r[-1] for r in rows] == ["u.exe", "lib\\a.dll", "lib\\sub\\b.dll", "doc\\r.txt"], rows
assert rows[3][4] == "keep", rows[3]
EOF
cat >"$proj/pattern-none.json" <<'EOF'
{"components": [{"files": [{"source": "pat/**/*.exe"}]}]}
EOF
refuse pattern-none 'components\[0\]\.files\[0\]\.source: the pattern "pat/\*\*/\*\.exe" matches no file'
cat >"$proj/pattern-climbs.json" <<'EOF'
{"components": [{"files": [{"source": "pat/../../*"}]}]}
EOF
refuse pattern-climbs 'source: a pattern lies inside the project.s folder'
cat >"$proj/pattern-name.json" <<'EOF'
{"components": [{"files": [{"source": "pat/*/*", "name": "x"}]}]}
EOF
refuse pattern-name 'name: a pattern entry names its files itself'
cat >"$proj/into-alone.json" <<'EOF'
{"components": [{"files": [{"source": "one.bin", "into": "x"}]}]}
EOF
refuse into-alone 'files\[0\]: "into" and "exclude" belong to a pattern entry'

# Warnings: what the setup would do oddly. Each names its field; the package
# is still built, and --strict refuses it with nothing written.
printf 'MZ no version here' >"$proj/plain.exe"
warn_case() {
  local name=$1 pattern=$2 json=$3 dir=$work/warn-$1
  printf '%s\n' "$json" >"$proj/warn-$name.json"
  mkdir -p "$dir"
  run "$mkpkg" "$proj/warn-$name.json" --stub "$stub" --uninstaller "$proj/builtin.exe" -o "$dir/SETUP.EXE"
  want "mkpkg warns ($name)" "$rc" 0
  expect "mkpkg warns ($name): /warning: $pattern/: $(head -c 300 "$work/cap.err")" stderr_has "warning: $pattern"
  run "$mkpkg" "$proj/warn-$name.json" --stub "$stub" --uninstaller "$proj/builtin.exe" --strict \
    -o "$dir/strict/SETUP.EXE"
  want "mkpkg --strict ($name)" "$rc" 1
  expect "mkpkg --strict ($name): the warning as an error" stderr_has "error: $pattern"
  expect "mkpkg --strict ($name): nothing written" test ! -e "$dir/strict"
}
uninst='{"name": "u.exe", "uninstaller": true}'
warn_case source-shortcut 'components\[0\]\.files\[1\]\.desktop: the shortcut points at "doc.pdf"' \
  "{\"components\": [{\"files\": [$uninst, {\"name\": \"doc.pdf\", \"placement\": \"source\", \"desktop\": {\"name\": \"Doc\"}}]}]}"
warn_case role 'components\[0\]\.files\[1\]\.role: "one.bin" is not a program' \
  "{\"components\": [{\"files\": [$uninst, {\"source\": \"one.bin\", \"role\": \"program\"}]}]}"
warn_case version 'components\[0\]\.files\[1\]\.checkVersion: .*plain.exe has no version information' \
  "{\"components\": [{\"files\": [$uninst, {\"source\": \"plain.exe\", \"checkVersion\": true, \"version\": {\"file\": \"1.0.0.0\"}}]}]}"
warn_case same-name 'components\[1\]\.displayName: "tool" is also the name of components\[0\]' \
  "{\"components\": [{\"displayName\": \"Tool\", \"files\": [$uninst]}, {\"displayName\": \"tool\", \"files\": [$uninst]}]}"
warn_case no-uninstaller 'components: no component has an uninstaller entry' \
  '{"components": [{"files": [{"source": "one.bin"}]}]}'

# A stub without the patch block, and an output folder that cannot be made
# (a missing one is made: see the built-in uninstaller above).
head -c 3000 /dev/zero >"$work/no-block.exe"
mkdir -p "$work/noblock"
run "$mkpkg" "$proj/small.json" --stub "$work/no-block.exe" -o "$work/noblock/SETUP.EXE"
want "mkpkg with a stub without patch block" "$rc" 1
expect "mkpkg with a stub without patch block: says so" stderr_has 'patch block'
expect "mkpkg with a stub without patch block: nothing written" test -z "$(ls -A "$work/noblock")"
echo "a file" >"$work/plain-file"
run "$mkpkg" "$proj/small.json" --stub "$stub" -o "$work/plain-file/sub/SETUP.EXE"
want "mkpkg into a folder below a file" "$rc" 1
expect "mkpkg into a folder below a file: says so" stderr_has 'plain-file(/sub)?: cannot make the output.s folder'
expect "mkpkg into a folder below a file: the file stays" holds "$work/plain-file" "a file"
run "$mkpkg"
want "mkpkg without arguments" "$rc" 2
run "$mkpkg" "$proj/small.json" --stub "$stub"
want "mkpkg without -o" "$rc" 2

# ---------------------------------------------------------------------------
# 5. pkgtool usage errors

good=$work/shared/SETUP.EXE
[[ -f $good ]] || good=$ind/pkg/SETUP.EXE
mkdir -p "$work/usage"
run "$pkgtool"
want "pkgtool without arguments" "$rc" 2
run "$pkgtool" frobnicate "$good"
want "pkgtool with an unknown command" "$rc" 2
run "$pkgtool" extract "$good"
want "pkgtool extract without -o" "$rc" 2
run "$pkgtool" extract "$good" -o
want "pkgtool extract with -o and no folder" "$rc" 2
run "$pkgtool" list
want "pkgtool list without a file" "$rc" 2
run "$pkgtool" list "$good" "$good"
want "pkgtool list with two files" "$rc" 2
run "$pkgtool" list "$good" --component 0
want "pkgtool list with --component" "$rc" 2
run "$pkgtool" verify "$good" --bogus
want "pkgtool with an unknown option" "$rc" 2
for bad_component in abc "" 1x 0x1 1.0; do
  run "$pkgtool" extract "$good" -o "$work/usage/out" --component "$bad_component"
  want "pkgtool extract --component '$bad_component'" "$rc" 2
done
run "$pkgtool" extract "$good" -o "$work/usage/out" --component
want "pkgtool extract --component without a number" "$rc" 2
# Numbers that name no component: refused, nothing written.
for bad_component in 7 -1 2147483648 4294967296 18446744073709551617; do
  rm -rf "$work/usage/out"
  run "$pkgtool" extract "$good" -o "$work/usage/out" --component "$bad_component"
  want "pkgtool extract --component $bad_component" "$rc" 1 2
  expect "pkgtool extract --component $bad_component writes nothing" \
    test -z "$(find "$work/usage/out" -type f 2>/dev/null)"
done
run "$pkgtool" list "$work/no-such-file.exe"
want "pkgtool list of a missing file" "$rc" 1
run "$pkgtool" list "$work/no-block.exe"
want "pkgtool list of a file without patch block" "$rc" 1
run "$pkgtool" list "$stub"
want "pkgtool list of a stub without package" "$rc" 1
expect "pkgtool list of a stub without package: says so" stderr_has 'carries no package|no stub patch block'

# ---------------------------------------------------------------------------
# 6. Hostile packages, written byte by byte by hostile_packages.py

hp=$work/hostile-packages
"$python" "$here/hostile_packages.py" --stub "$stub" --out "$hp" || bad "hostile_packages.py failed"
# case | command | exit | pattern in its output (stdout and stderr)
while IFS='|' read -r case command code pattern; do
  [[ -z $case || $case == \#* ]] && continue
  [[ $command == extract ]] && rm -rf "$hp/$case/out" && set -- -o "$hp/$case/out" || set --
  run timeout 120 "$pkgtool" "$command" "$hp/$case/SETUP.EXE" "$@"
  want "hostile $case: $command" "$rc" "$code"
  [[ -z $pattern ]] || expect "hostile $case: $command says /$pattern/: $(head -c 300 "$work/cap.err")" \
    grep -qE -- "$pattern" "$work/cap.out" "$work/cap.err"
done <<'ROWS'
# An entry's data must come to its fileSize, whatever its checksum says.
size16|verify|1|FAILED component 0 file 0 "zeros\.bin": its data comes to more than its fileSize of 16 bytes
size16|extract|1|"zeros\.bin": its data comes to more than its fileSize of 16
shared16|verify|1|^0 files verified, 16 failed
declared-huge|verify|1|"abc\.txt": its data comes to 3 bytes, not its fileSize of 4294967280
patch-long|verify|1|"new\.bin": its data comes to more than its fileSize of 10
patch-long|extract|1|more than its fileSize of 10
# A record that decodes to 512 MiB: refused, not allocated.
bomb-record|list|1|damaged
# Two entries on one extract path: refused unless one folder, one name.
clash|extract|1|file 1 "w\.ini": lands on the same path, \{windows\}/w\.ini, as component 0 file 0
same-folder|extract|0|
# Names: escaped wherever printed; too long for Windows, or as long as the host allows.
control-names|list|0|esc\\x1B\[31mred\.txt *$
control-names|extract|0|
long-names|extract|1|the name is 304 bytes long.*longer than Windows allows \(259\)
ROWS
expect "hostile size16: nothing left of the refused file" test -z "$(find "$hp/size16/out" -type f)"
expect "hostile same-folder: the later entry wins" grep -q later "$hp/same-folder/out/0/w.ini"
expect "hostile long-names: a 255-byte name without an extension is extracted" \
  test -f "$hp/long-names/out/0/$(head -c 255 /dev/zero | tr '\0' m)"
run "$pkgtool" list "$hp/control-names/SETUP.EXE"
expect "hostile control-names: list prints no control byte, one line per entry" \
  test "$(tr -d '\n[:print:]' <"$work/cap.out" | wc -c) $(wc -l <"$work/cap.out")" = "0 4"
if [[ -x /usr/bin/time ]]; then
  /usr/bin/time -f %M -o "$work/peak.txt" "$pkgtool" list "$hp/bomb-record/SETUP.EXE" >/dev/null 2>&1
  peak=$(tail -1 "$work/peak.txt")
  expect "hostile bomb-record: list peaks at $peak KB, under 200 MB" test "$peak" -lt 204800
fi
# A volume that is a named pipe counts as missing, and is named.
rm -f "$hp/volume-only/SETUP.D01" && mkfifo "$hp/volume-only/SETUP.D01"
run timeout 60 "$pkgtool" verify "$hp/volume-only/SETUP.EXE"
want "hostile volume-only: verify with a pipe for a volume" "$rc" 1
expect "hostile volume-only: names the volume" stderr_has 'volume .*SETUP\.D01 is missing'
# Links planted where the setup would put its temporary, and at the target.
mkdir -p "$hp/plain/out/0" "$hp/outside"
echo "keep" >"$hp/outside/kept.txt"
ln -s "$hp/outside/created.txt" "$hp/plain/out/0/x.\$\$A"
ln -s "$hp/outside/kept.txt" "$hp/plain/out/0/x.txt"
run "$pkgtool" extract "$hp/plain/SETUP.EXE" -o "$hp/plain/out"
want "planted links: extract" "$rc" 0
expect "planted links: neither followed, no scratch folder left" test ! -e "$hp/outside/created.txt" -a \
  -f "$hp/plain/out/0/x.txt" -a ! -L "$hp/plain/out/0/x.txt" -a "$(cat "$hp/outside/kept.txt")" = keep -a \
  -z "$(find "$hp/plain/out" -name '.pkgtool-*')"

# ---------------------------------------------------------------------------
# 7. Hostile projects: names and pictures Windows or the setup cannot take,
# sources that are no files, outputs that are inputs

bmp() {  # bmp FILE WIDTH HEIGHT BITS COMPRESSION INFOSIZE CUT: a BMP image
  "$python" -c 'import struct, sys
path, (w, h, bits, comp, info, cut) = sys.argv[1], map(int, sys.argv[2:])
table, pixels = (4 << bits if bits <= 8 else 0), (abs(w) * bits + 31) // 32 * 4 * abs(h)
data = b"BM" + struct.pack("<IHHIIiiHHIIiiII", 54 + table + pixels, 0, 0, 54 + table, info, w, h, 1,
                           bits, comp, pixels, 0, 0, 0, 0) + bytes(table + pixels)
open(path, "wb").write(data[:len(data) - cut])' "$@"
}
bmp "$proj/good.bmp" 16 8 8 0 40 0
bmp "$proj/topdown.bmp" 16 -8 24 0 40 0
bmp "$proj/twelve.bmp" 16 8 12 0 40 0
bmp "$proj/rle.bmp" 16 8 8 1 40 0
bmp "$proj/core.bmp" 16 8 24 0 12 0
bmp "$proj/cut.bmp" 16 8 24 0 40 10
printf 'GIF89a not a bitmap' >"$proj/notbmp.bmp"
mkfifo "$proj/pipe.bin"
truncate -s 4294967297 "$proj/sparse.bin"
mkdir -p "$proj/folder.bin"
# name | JSON of the project's fields | message
while IFS='|' read -r name body pattern; do
  printf '{%s}\n' "$body" >"$proj/$name.json"
  refuse "$name" "$pattern"
done <<'ROWS'
device-con|"components": [{"files": [{"source": "one.bin", "name": "con"}]}]|"con" uses "con", a device name Windows reserves
device-aux|"components": [{"files": [{"source": "one.bin", "name": "aux.txt"}]}]|uses "aux\.txt", a device name
device-folder|"components": [{"files": [{"source": "one.bin", "name": "nul\\x.txt"}]}]|uses "nul", a device name
device-com|"components": [{"files": [{"source": "one.bin", "name": "COM1.log"}]}]|uses "COM1\.log", a device name
control-01|"components": [{"files": [{"source": "one.bin", "name": "a\u0001b"}]}]|control character 0x01
control-tab|"components": [{"files": [{"source": "one.bin", "name": "tab\there"}]}]|control character 0x09
bmp-not|"wizardBitmap": "notbmp.bmp", "components": [{"files": [{"source": "one.bin"}]}]|wizardBitmap: not a BMP file
bmp-topdown|"backgroundBitmap": "topdown.bmp", "components": [{"files": [{"source": "one.bin"}]}]|backgroundBitmap: width 16 and height -8
bmp-depth|"wizardBitmap": "twelve.bmp", "components": [{"files": [{"source": "one.bin"}]}]|12 bits per pixel
bmp-rle|"wizardBitmap": "rle.bmp", "components": [{"files": [{"source": "one.bin"}]}]|compression 1
bmp-core|"wizardBitmap": "core.bmp", "components": [{"files": [{"source": "one.bin"}]}]|info header is 12 bytes
bmp-cut|"wizardBitmap": "cut.bmp", "components": [{"files": [{"source": "one.bin"}]}]|needs 438 bytes; the file has 428
source-pipe|"components": [{"files": [{"source": "pipe.bin"}]}]|cannot read .*pipe\.bin: it is a named pipe, not a file
source-device|"components": [{"files": [{"source": "/dev/zero", "name": "z"}]}]|cannot read /dev/zero: it is a device
source-sparse|"components": [{"files": [{"source": "sparse.bin"}]}]|file too large: .*sparse\.bin \(4294967297 bytes
ROWS
rm -f "$proj/pipe.bin" "$proj/sparse.bin"
printf '{"wizardBitmap": "good.bmp", "components": [{"files": [{"source": "one.bin"}]}]}\n' >"$proj/good-bmp.json"
build good-bmp
want "a drawable picture is taken" "$rc" 0

# Outputs that are inputs, however named: refused, every input unchanged.
io=$work/io
mkdir -p "$io/sub"
cp "$stub" "$io/stub.exe"
cp "$files/one.bin" "$io/one.bin"
ln "$io/one.bin" "$io/hard.bin"
printf '{"components": [{"files": [{"source": "one.bin"}]}]}\n' >"$io/p.json"
cp -a "$io" "$work/io-before"
for out in "$io/stub.exe" "$io/p.json" "$io/sub/../one.bin" "$io/hard.bin"; do
  run "$mkpkg" "$io/p.json" --stub "$io/stub.exe" -o "$out"
  want "mkpkg -o $out (an input)" "$rc" 1
  expect "mkpkg -o $out: says so" stderr_has 'would replace one of the inputs'
  expect "mkpkg -o $out: every input unchanged, nothing added" diff -r "$work/io-before" "$io"
done

# All or nothing: a volume that cannot be written leaves the earlier build.
atomic=$work/atomic
mkdir -p "$atomic/SETUP.D02"
echo "older setup" >"$atomic/SETUP.EXE"
echo "older volume" >"$atomic/SETUP.D01"
run "$mkpkg" "$proj/volumes.json" --stub "$stub" -o "$atomic/SETUP.EXE"
want "mkpkg with a folder named like volume 2" "$rc" 1
expect "mkpkg with a folder named like volume 2: says so" stderr_has 'SETUP\.D02: cannot write: a folder has that name'
expect "mkpkg with a folder named like volume 2: earlier build kept, no temporary left ($(ls -A "$atomic" | tr '\n' ' '))" \
  test "$(cat "$atomic/SETUP.EXE" "$atomic/SETUP.D01" | tr '\n' ' ')$(ls -A "$atomic" | wc -l)" = "older setup older volume 3"
mkdir -p "$work/as-volume"
run "$mkpkg" "$proj/volumes.json" --stub "$stub" -o "$work/as-volume/SETUP.D01"
want "mkpkg -o SETUP.D01" "$rc" 1
expect "mkpkg -o SETUP.D01: says why, writes nothing" test -z "$(ls -A "$work/as-volume")" -a -n "$(grep "a volume's extension" "$work/cap.err")"
# A link at the old fixed temporary name is not followed.
links=$work/links
mkdir -p "$links"
echo "victim" >"$links/victim.txt"
ln -s "$links/victim.txt" "$links/SETUP.EXE.mkpkg-tmp"
run "$mkpkg" "$proj/small.json" --stub "$stub" -o "$links/SETUP.EXE"
want "mkpkg beside a planted link" "$rc" 0
expect "mkpkg beside a planted link: the link's target unchanged" holds "$links/victim.txt" "victim"
# Earlier volumes beyond the new build are removed, and the output says so.
run "$mkpkg" "$proj/volumes.json" --stub "$stub" -o "$links/SETUP.EXE"
run "$mkpkg" "$proj/small.json" --stub "$stub" -o "$links/SETUP.EXE"
expect "mkpkg names the old volumes it removes" grep -q 'SETUP\.D01: removed, a volume of an earlier build' "$work/cap.out"

# ---------------------------------------------------------------------------
# 8. As a user runs the tools: help, version, the stub found without --stub,
# a project or stub that is a folder

for tool in "$mkpkg" "$pkgtool"; do
  run "$tool" --help
  want "$(basename "$tool") --help" "$rc" 0 && expect "$(basename "$tool") --help prints usage" grep -q '^usage: ' "$work/cap.out"
  run "$tool" --version
  want "$(basename "$tool") --version" "$rc" 0 && expect "$(basename "$tool") --version" grep -qE "^$(basename "$tool") [0-9]+\.[0-9]+" "$work/cap.out"
done
inst=$work/prefix
mkdir -p "$inst/bin" "$inst/share/setup" "$work/beside" "$work/alone"
cp "$mkpkg" "$inst/bin/mkpkg" && cp "$stub" "$inst/share/setup/setup.exe"
cp "$mkpkg" "$work/beside/mkpkg" && cp "$stub" "$work/beside/setup.exe"
cp "$mkpkg" "$work/alone/mkpkg"
while IFS='|' read -r label tool extra code; do
  # shellcheck disable=SC2086
  run "$tool" "$proj/small.json" $extra -o "$work/found.exe"
  want "mkpkg $label" "$rc" "$code"
done <<ROWS
installed, without --stub|$inst/bin/mkpkg||0
beside its stub, without --stub|$work/beside/mkpkg||0
installed, --stub overrides|$inst/bin/mkpkg|--stub $work/no-block.exe|1
with no stub to find|$work/alone/mkpkg||2
ROWS
for args in "$proj --stub $stub" "$proj/small.json --stub $proj"; do
  # shellcheck disable=SC2086
  run "$mkpkg" $args -o "$work/x.exe"
  want "mkpkg $args (a folder)" "$rc" 1 && expect "mkpkg $args: names the folder" stderr_has "cannot read $proj: it is a folder"
done

verify_leftovers_after=$(find /tmp -maxdepth 1 -name 'pkgtool-verify-*' 2>/dev/null | wc -l)
expect "verify leaves no scratch folders behind" test "$verify_leftovers_after" -le "$verify_leftovers_before"

echo "tools_end_to_end: $passed passed, $failed failed"
((failed == 0))
