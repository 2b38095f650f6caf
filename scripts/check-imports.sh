#!/usr/bin/env bash
# Passes when the exe imports system DLLs only: it is one statically linked
# file that needs nothing beside it.
#   check-imports.sh OBJDUMP EXE
set -euo pipefail
objdump=$1
exe=$2
system="ADVAPI32 COMCTL32 COMDLG32 GDI32 KERNEL32 MSVCRT SHELL32 USER32 VERSION WS2_32"
status=0
for dll in $("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
  name=$(basename "${dll^^}" .DLL)
  if [[ " $system " == *" $name "* ]]; then
    echo "imports $dll"
  else
    echo "imports $dll, which is not a system DLL" >&2
    status=1
  fi
done
echo "size $(stat -c %s "$exe") bytes"
exit $status
