#!/usr/bin/env bash
# Makes the .deb from a build folder, reads its metadata and unpacks it, to check that every file
# lands where a desktop finds it and that nothing else is in it.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(echo "$scratch"/mivo_1.00_*.deb)
info=$(dpkg-deb -I "$deb")
failed=0
check() {
  if eval "$1"; then echo "PASS $2"; else echo "FAIL $2"; failed=1; fi
}
check 'grep -q "^ Package: mivo$" <<<"$info"' "package name"
check 'grep -q "^ Version: 1.00$" <<<"$info"' "version"
check 'grep -q "^ Depends: .*libqt6widgets6" <<<"$info"' "dependencies computed from the binary"
check 'grep -q "^ Depends: .*fonts-ipafont-gothic" <<<"$info"' "a Japanese font"

dpkg-deb -x "$deb" "$scratch/root"
expected=$(printf '%s\n' ./usr/bin/mivo ./usr/share/applications/org.mivo.Mivo.desktop \
  ./usr/share/metainfo/org.mivo.Mivo.metainfo.xml \
  ./usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/mivo.png | sort)
found=$(cd "$scratch/root" && find . -type f | sort)
check '[ "$found" = "$expected" ]' "files: $(tr '\n' ' ' <<<"$found")"
check '[ -x "$scratch/root/usr/bin/mivo" ]' "the program is executable"
exit $failed
