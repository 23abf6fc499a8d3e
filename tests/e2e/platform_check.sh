#!/usr/bin/env bash
# Runs platform_check.exe under Wine, first as Windows NT and then with the
# prefix set to Windows 98, and checks what it printed and what it left: the
# expanded folders, the registry value (also through `wine reg query`), the
# INI file, the folders made, the stored case, the delayed move (NT) or the
# WININIT.INI lines (98), and the uninstaller started with "/X" and waited for
# without spinning.
set -euo pipefail
check="$1"
here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=wine_env.sh
source "$here/wine_env.sh"
wine_require
wine_prepare

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_line() {  # output, regular expression
  grep -Eq -- "$2" <<<"$1" || { echo "$1" >&2; fail "no line matching: $2"; }
}

drive_c="$WINEPREFIX/drive_c"
# One wineserver for the whole check: a new one acts as a restart and would
# carry out the replacements before they are looked at.
wineserver -p 60 || true
# The prefix goes back to its own Windows version whatever happens.
cleanup() {
  wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT

run_family() {  # nt|98
  local family="$1" root="C:\\check-$1" dir="$drive_c/check-$1"
  rm -rf "$dir"; mkdir -p "$dir"
  local out
  out="$(wine_display wine "$check" "$family" "$root" 2>/dev/null | tr -d '\r')"
  echo "$out"
  expect_line "$out" "^family=$family$"
  expect_line "$out" '^windows=C:\\windows$'
  expect_line "$out" '^system=C:\\windows\\system32$|^system=C:\\windows\\system$'
  expect_line "$out" '^programfiles=C:\\Program Files$'
  expect_line "$out" '^registry=C:\\Registry Check$'
  wine_display wine reg query 'HKCU\Software\SetupCheck' /v Folder 2>/dev/null | tr -d '\r' |
    grep -q 'C:\\Registry Check' || fail "wine reg query does not see the value"
  expect_line "$out" '^ini=Value written=1 flushed=0$'
  grep -q '^Key=Value' "$dir/check.ini" || fail "check.ini holds no Key=Value"
  expect_line "$out" '^folders=0$'
  [ -d "$dir/Made/One/Two" ] || fail "MakePathFolders made no Made\\One\\Two"
  expect_line "$out" "^canonical=C:\\\\check-$family\\\\Mixed Case Folder$"
  expect_line "$out" '^replace=1 delete1=1 delete2=1$'
  expect_line "$out" '^version_signature=feef04bd$'
  expect_line "$out" '^link=0$'
  [ -s "$dir/Check.lnk" ] || fail "no shell link file"
  expect_line "$out" '^child_command="[A-Za-z]:\\.*platform_check.exe" /X 2000$'
  expect_line "$out" '^process=ended exit=3 '
  # The wait sleeps: two seconds of waiting cost well under half a second of CPU.
  local cpu
  cpu="$(sed -n 's/^process=.* cpu_ms=\([0-9]*\).*/\1/p' <<<"$out")"
  [ "$cpu" -lt 500 ] || fail "the wait for the uninstaller used ${cpu} ms of CPU"
}

# WININIT.INI as Windows names it, in whatever case it was written.
wininit_file() { find "$drive_c/windows" -maxdepth 1 -iname wininit.ini | head -n 1; }

# Windows NT: a delayed move in the registry, WININIT.INI untouched.
f="$(wininit_file)"; [ -z "$f" ] || rm -f "$f"
run_family nt
pending="$(wine_display wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' \
  /v PendingFileRenameOperations 2>/dev/null | tr -d '\r')"
grep -qi 'check-nt\\TARGET.$$A' <<<"$pending" || fail "no delayed move: $pending"
[ -z "$(wininit_file)" ] || fail "WININIT.INI written on NT"

# Windows 98: the [Rename] lines of one replacement and two deletions.
wine_display wine reg add 'HKCU\Software\Wine' /v Version /d win98 /f >/dev/null 2>&1
run_family 98
wine_display wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1 || true
f="$(wininit_file)"; [ -n "$f" ] || fail "no WININIT.INI on Windows 98"
wininit="$(tr -d '\r' <"$f")"
echo "$wininit"
grep -q '^\[Rename\]$' <<<"$wininit" || fail "no [Rename] section"
grep -Eiq '^C:\\[^=]*\\TARGET\.DLL=C:\\[^=]*\\TARGET\.\$\$A$' <<<"$wininit" || fail "no replacement line"
[ "$(grep -Eic '^NUL=C:\\[^=]*\\GONE[12].TMP$' <<<"$wininit")" -eq 2 ] || fail "not two NUL= lines"
grep -q '^xyz=' <<<"$wininit" && fail "a placeholder line is left"
echo "platform check passed on NT and Windows 98"
