#!/usr/bin/env bash
# A program we ship stays under its size budget (the stub, with the whole
# engine and wizard in it: 64 KiB; the uninstaller: 32 KiB, given as LIMIT)
# and imports nothing beyond Windows' own libraries.
#
#   stub_size.sh PROGRAM [LIMIT]
set -euo pipefail
stub="$1"
limit="${2:-65536}"
size=$(stat -c %s "$stub")
if [ "$size" -ge "$limit" ]; then
  echo "$(basename "$stub") is $size bytes, $limit or more" >&2
  exit 1
fi
if command -v i686-w64-mingw32-objdump >/dev/null; then
  extra=$(i686-w64-mingw32-objdump -p "$stub" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' |
          grep -vxE 'ADVAPI32.DLL|COMDLG32.DLL|GDI32.DLL|KERNEL32.DLL|MSVCRT.DLL|OLE32.DLL|SHELL32.DLL|USER32.DLL|VERSION.DLL' || true)
  if [ -n "$extra" ]; then
    echo "$(basename "$stub") imports $extra" >&2
    exit 1
  fi
fi
echo "$(basename "$stub"): $size bytes"
