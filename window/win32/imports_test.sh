#!/usr/bin/env bash
# Mivo.exe imports Windows system DLLs only: it runs from a zip, with nothing installed beside it.
set -euo pipefail
imports=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort)
echo "imports: $(tr '\n' ' ' <<<"$imports")"
others=$(grep -vxE 'KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMCTL32.DLL|MSVCRT.DLL|ADVAPI32.DLL' \
  <<<"$imports" || true)
[ -z "$others" ] || { echo "FAIL not a system DLL: $others"; exit 1; }
echo "PASS only system DLLs"
