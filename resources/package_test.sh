#!/usr/bin/env bash
# Makes the .deb from a build folder and checks what a distribution and a user need: lintian
# accepts it, it depends on Qt, it holds the program and both manual pages, which read without a
# warning and name the version built, as do the newest entries of the changelog and the metainfo.
set -euo pipefail
export LC_ALL=C.UTF-8  # the manual pages hold the window's Japanese texts
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL $*"; exit 1; }
(cd "$scratch" && cpack -G DEB --config "$1/CPackConfig.cmake" >/dev/null)
deb=$(echo "$scratch"/mivo_*.deb)
said=$(TMPDIR=$scratch lintian --fail-on error "$deb" 2>&1) ||
  fail "lintian: $(grep -E '^E: ' <<<"$said" || echo "$said")"
# Mivo has no homepage, and AppStream 1.0 warns of every component without one, which fails the
# package's metainfo for lintian. The metainfo test accepts that warning, and no other.
problems=$(grep -E '^[EW]: ' <<<"$said" | grep -v '^W: mivo: appstream-metadata-validation-failed ') &&
  fail "lintian: $problems"
[[ $(dpkg-deb -f "$deb" Depends) == *libqt6widgets6* ]] || fail "no dependencies"
version=$(dpkg-deb -f "$deb" Version)
[ "$(dpkg-parsechangelog -l "$here/debian/changelog" -S Version)" = "$version" ] ||
  fail "the changelog's newest entry is not $version"
grep -m1 '<release ' "$here/org.mivo.Mivo.metainfo.xml" | grep -qF "\"$version\"" ||
  fail "the metainfo's newest release is not $version"
dpkg-deb -x "$deb" "$scratch/root"
[ -x "$scratch/root/usr/bin/mivo" ] || fail "no program"
for page in "$scratch"/root/usr/share/man/{,ja/}man1/mivo.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) && [ -z "$warnings" ] ||
    fail "${page#$scratch/root}: $warnings"
  zgrep -qF "\"Mivo $version\"" "$page" || fail "${page#$scratch/root} is not for $version"
done
echo "PASS lintian, dependencies, program, manual pages and version"
