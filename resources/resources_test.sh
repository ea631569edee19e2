#!/usr/bin/env bash
# The program's identity as it is built: the icons are what their pixel maps make, and the
# compiled version record and icon group, read back by windres, hold exactly what Windows shows.
# Usage: resources_test.sh WINDRES
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
python3 "$here/icon/make_icons.py" "$scratch/icons"
for made in "$scratch"/icons/*; do cmp "$made" "$here/icon/${made##*/}"; done
(cd "$here" && "$1" -O res mivo.rc -o "$scratch/mivo.res")
"$1" -i "$scratch/mivo.res" -O rc | grep -E '^LANGUAGE|Element|VERSION|VALUE' | sed 's/\t.*//' >"$scratch/found"
diff - "$scratch/found" <<'EOF_EXPECTED' && echo "PASS icons, icon group and version record"
LANGUAGE 17, 1
    "\040\040\002\000", 1, 1, 0x130L, 1,
    "\040\040\020\000", 1, 4, 0x2e8L, 2,
    "\020\020\020\000", 1, 4, 0x128L, 3
1 VERSIONINFO
 FILEVERSION 1, 0, 0, 0
 PRODUCTVERSION 1, 0, 0, 0
      VALUE "Comments", L"\x6d88\x8cbb\x7a0e\x8a08\x7b97\x6a5f"
      VALUE "FileVersion", "1.00"
      VALUE "InternalName", "Mivo"
      VALUE "OriginalFilename", "Mivo.exe"
      VALUE "ProductName", "Mivo"
      VALUE "ProductVersion", "1.00"
    VALUE "Translation", 0x411, 1200
EOF_EXPECTED
