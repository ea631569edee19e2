#!/usr/bin/env bash
# What Windows sees of Mivo.exe as the build made it: icons that are what their pixel maps make; a
# version record in Japanese (language 0x411, code page 1200) with the version being built, in
# numbers and in text, and its Japanese comment intact; and the flags that have Windows place it at
# a random address and never run its data.   Usage: resources_test.sh WINDRES EXE VERSION
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
python3 "$here/icon/make_icons.py" "$scratch/icons"
for made in "$scratch"/icons/*; do cmp "$made" "$here/icon/${made##*/}"; done
record=$("$1" -J coff -i "$2" -O rc | sed -n '/^LANGUAGE/h; /VERSIONINFO/,$H; ${x; p}')
IFS=. read -r major minor <<<"$3"
comment=$(python3 -c 'print("".join(f"\\x{ord(c):x}" for c in "消費税計算機"))')
for expected in "LANGUAGE 17, 1" "FILEVERSION $major, $((10#$minor)), 0, 0" \
    "VALUE \"FileVersion\", \"$3\"" "VALUE \"ProductVersion\", \"$3\"" \
    "VALUE \"Comments\", L\"$comment\"" 'VALUE "Translation", 0x411, 1200'; do
  grep -qF "$expected" <<<"$record" || { echo "FAIL no $expected in the version record:"; echo "$record"; exit 1; }
done
flags=$("${1%windres}objdump" -p "$2" | sed -n '/^DllCharacteristics/,/^Size/p')
for flag in DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT; do
  grep -q $flag <<<"$flags" || { echo "FAIL no $flag among $flags"; exit 1; }
done
echo "PASS icons, version record and security flags"
