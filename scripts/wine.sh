# Wine as the scripts and tests run it: Debian's loader, quiet, and without the Mono and Gecko
# installers that a new prefix would otherwise wait for.
wine=/usr/lib/wine/wine64
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="

# Debian's Wine keeps its server's folder (a socket and a lock per prefix) under TMPDIR, or under
# /tmp, where it outlives every run, at the path that the prefix's file "wineserver" gives
# relative to that; and Wine 10 aborts whenever TMPDIR is set. So TMPDIR goes, and the file names
# FOLDER, which Wine makes, private, when it first runs in the prefix (WINEPREFIX).
keep_wine_server_in() {
  unset TMPDIR
  local file=$WINEPREFIX/wineserver folder
  folder=$(realpath -m --relative-to=/tmp "$1")
  [ "$(cat "$file" 2>/dev/null)" = "$folder" ] && return
  mkdir -p "$WINEPREFIX"
  rm -f "$file"
  printf %s "$folder" >"$file"
  chmod 400 "$file"  # or Wine takes it for a stale one and picks a folder of /tmp
}
