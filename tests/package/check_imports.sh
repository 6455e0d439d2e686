#!/usr/bin/env bash
# updater.exe must run on a bare Windows: every DLL it imports must be one that every
# Windows has. A MinGW runtime or zlib DLL here would mean the static link broke.
set -euo pipefail
exe=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
allowed='^(kernel32|user32|gdi32|comctl32|shell32|shlwapi|ole32|oleaut32|winhttp|advapi32|msvcrt)\.dll$'
mapfile -t dlls < <("$objdump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}')
[ ${#dlls[@]} -gt 0 ] || { echo "no imports read from $exe" >&2; exit 1; }
status=0
for dll in "${dlls[@]}"; do
  if [[ $dll =~ $allowed ]]; then echo "ok      $dll"; else echo "foreign $dll"; status=1; fi
done
echo "$(stat -c %s "$exe") bytes"
exit $status
