#!/usr/bin/env bash
# Installs the MSI under Wine as a user would, without administrator rights; checks the program,
# its Start-menu shortcut and its entry among the installed programs; starts the program, which
# runs only if it needs nothing beside Windows; uninstalls it, and checks that nothing of it is
# left.   Usage: installer_test.sh MSI VERSION
set -euo pipefail
wine_run=$(cd "$(dirname "$0")/../scripts" && pwd)/wine-run
export WINEPREFIX=${WINEPREFIX:-$(dirname "$1")/wine}
user=$WINEPREFIX/drive_c/users/$(id -un)
folder=$user/AppData/Local/Programs/Mivo
shortcut="$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Mivo.lnk"
fail() { echo "FAIL $*"; exit 1; }
registered() { grep -q "$1" "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg"; }
"$wine_run" msiexec /x "Z:$1" /qn || true  # what an earlier run may have left
"$wine_run" msiexec /i "Z:$1" /qn || fail "msiexec /i"
[ -f "$folder/Mivo.exe" ] || fail "no $folder/Mivo.exe"
python3 -c 'import sys; sys.exit("消費税計算機".encode("utf-16-le") not in open(sys.argv[1], "rb").read())' \
  "$shortcut" || fail "no shortcut Mivo.lnk with the comment 消費税計算機"
for value in '"DisplayName"="Mivo"' "\"DisplayVersion\"=\"$2\"" '"ProductIcon"=".*mivo.ico"'; do
  registered "$value" || fail "no $value among the installed programs"
done
status=0 && timeout 5 "$wine_run" "$folder/Mivo.exe" || status=$?
[ $status -eq 124 ] || fail "the program ended at once, with status $status"
"$wine_run" msiexec /x "Z:$1" /qn || fail "msiexec /x"
[ ! -e "$folder" ] && [ ! -e "$shortcut" ] || fail "files left behind"
! registered '"DisplayName"="Mivo"' && ! registered 'Software\\\\Mivo' || fail "registry entries left"
echo "PASS installed, started and uninstalled"
