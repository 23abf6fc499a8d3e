#!/usr/bin/env bash
# The stub, with the whole engine and wizard in it, stays under 64 KiB and
# imports nothing beyond Windows' own libraries.
set -euo pipefail
stub="$1"
size=$(stat -c %s "$stub")
if [ "$size" -ge 65536 ]; then
  echo "setup.exe is $size bytes, 64 KiB or more" >&2
  exit 1
fi
if command -v i686-w64-mingw32-objdump >/dev/null; then
  extra=$(i686-w64-mingw32-objdump -p "$stub" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' |
          grep -vxE 'ADVAPI32.DLL|COMDLG32.DLL|GDI32.DLL|KERNEL32.DLL|MSVCRT.DLL|OLE32.DLL|SHELL32.DLL|USER32.DLL|VERSION.DLL' || true)
  if [ -n "$extra" ]; then
    echo "setup.exe imports $extra" >&2
    exit 1
  fi
fi
echo "setup.exe: $size bytes"
