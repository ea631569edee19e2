#!/usr/bin/env bash
# Makes the .deb from a build folder and checks it as a distribution would: lintian, the manual
# pages as man renders them, and exactly the files that a desktop needs.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(echo "$scratch"/mivo_1.00_*.deb)
said=$(lintian --fail-on error,warning "$deb" 2>&1) || { echo "FAIL lintian: $said"; exit 1; }
[[ $(dpkg-deb -f "$deb" Depends) == *libqt6widgets6* ]] || { echo "FAIL no dependencies"; exit 1; }
dpkg-deb -x "$deb" "$scratch/root"
cd "$scratch/root"
for page in usr/share/man/man1/mivo.1.gz usr/share/man/ja/man1/mivo.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "FAIL $page: $warnings"; exit 1; }
done
diff - <(find . -type f | sort) <<'EOF_FILES' && echo "PASS lintian, manual pages and files"
./usr/bin/mivo
./usr/share/applications/org.mivo.Mivo.desktop
./usr/share/doc/mivo/changelog.gz
./usr/share/doc/mivo/copyright
./usr/share/icons/hicolor/128x128/apps/mivo.png
./usr/share/icons/hicolor/16x16/apps/mivo.png
./usr/share/icons/hicolor/256x256/apps/mivo.png
./usr/share/icons/hicolor/32x32/apps/mivo.png
./usr/share/icons/hicolor/48x48/apps/mivo.png
./usr/share/icons/hicolor/64x64/apps/mivo.png
./usr/share/man/ja/man1/mivo.1.gz
./usr/share/man/man1/mivo.1.gz
./usr/share/metainfo/org.mivo.Mivo.metainfo.xml
EOF_FILES
