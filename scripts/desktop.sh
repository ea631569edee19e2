# A private desktop for the scripts and tests that show windows: an Xvfb or a headless sway of its
# own, and on request a session bus, the accessibility bus, openbox and ibus with mozc. All it
# starts is stopped by its process id, and its folder removed, however the caller ends (EXIT, INT,
# TERM, HUP); a service that does not come up in time fails the caller with one line naming it.
desktop_pids=()
desktop_folder=$(mktemp -d "${TMPDIR:-/tmp}/mivo-desktop.XXXXXX")
chmod 755 "$desktop_folder"  # an unprivileged user's home lies in it: see run_unprivileged
export XDG_RUNTIME_DIR=$desktop_folder/runtime  # or Qt makes one in /tmp that outlives us
# And the settings and data of what runs there, the desktops' own included.
export XDG_CONFIG_HOME=$desktop_folder/config XDG_DATA_HOME=$desktop_folder/data XDG_CACHE_HOME=$desktop_folder/cache
mkdir -m 700 "$XDG_RUNTIME_DIR"

stop_desktop() {
  trap '' INT TERM HUP  # a second signal must not cut this short
  local i
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do kill "${desktop_pids[i]}" 2>/dev/null || true; done
  for _ in $(seq 200); do kill -0 "${desktop_pids[@]}" 2>/dev/null || break; sleep 0.05; done
  kill -9 "${desktop_pids[@]}" 2>/dev/null || true
  # Then what they started in turn, as a desktop's shell and its bus do, known by the desktop's
  # runtime folder in their environment.
  local signal left
  for signal in TERM KILL; do
    left=$(grep -lzx "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3 | grep -vx $$ || true)
    [ -z "$left" ] || { kill -$signal $left 2>/dev/null || true; sleep 0.2; }
  done
  # Last, when nothing that was started can start Wine again.
  [ -z "${desktop_wine:-}" ] || WINEPREFIX=$desktop_wine wineserver -k 2>/dev/null || true
  rm -rf "$desktop_folder"
}
trap stop_desktop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

did_not_come_up() {
  echo "FAIL $1 did not come up" >&2
  exit 1
}

# Waits up to ten seconds for the command to succeed, or fails naming what did not come up.
wait_until() {
  local what=$1
  shift
  for _ in $(seq 200); do "$@" >/dev/null 2>&1 && return 0; sleep 0.05; done
  did_not_come_up "$what"
}

# Runs a command in the background, where a signal to the caller can stop it, and waits for it.
run_stoppable() {
  "$@" &
  desktop_pids+=($!)
  wait $!
}

# Xvfb on a free display (SCREEN as in -screen 0).
start_xvfb() {
  Xvfb -displayfd 3 -noreset -screen 0 "$1" 3>"$desktop_folder/display" 2>/dev/null &
  desktop_pids+=($!)
  wait_until Xvfb test -s "$desktop_folder/display"
  export DISPLAY=:$(cat "$desktop_folder/display")
  wait_until Xvfb xdpyinfo
}

# A headless sway (the Wayland compositor of the wlroots family), with one virtual keyboard kept
# for the whole session: the seat has a keyboard only while some client provides one, and Qt
# deactivates the window when the last goes. sway refuses to run as root: see run_unprivileged.
start_sway() {
  printf 'output HEADLESS-1 resolution %s\nxwayland disable\n' "$1" >"$desktop_folder/sway.conf"
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$desktop_folder/sway.conf" >"$desktop_folder/sway.log" 2>&1 &
  desktop_pids+=($!)
  wait_until sway test -S "$XDG_RUNTIME_DIR/wayland-1"
  wait_until sway compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock"
  export SWAYSOCK WAYLAND_DISPLAY=wayland-1 QT_QPA_PLATFORM=wayland
  SWAYSOCK=$(echo "$XDG_RUNTIME_DIR"/sway-ipc.*.sock)
  unset DISPLAY
  wtype -s 86400000 &
  desktop_pids+=($!)
}

# mozc's server, started here, since one started by an input method would outlive the desktop, and
# it hides its environment, by which the desktop knows what is its own; as ibus runs it, mozc starts
# in Japanese input. It refuses to run as root: see run_unprivileged.
start_mozc() {
  mkdir -p "$XDG_CONFIG_HOME/mozc"
  printf 'engines { name: "mozc-jp" longname: "Mozc" layout: "default" rank: 80 }\n%s\n' \
    'active_on_launch: True' >"$XDG_CONFIG_HOME/mozc/ibus_config.textproto"
  /usr/lib/mozc/mozc_server &
  desktop_pids+=($!)
}

# ibus with mozc, for the programs started with QT_IM_MODULE=ibus.
start_input_method() {
  start_mozc
  ibus-daemon --panel=disable --config=/usr/libexec/ibus-memconf --replace --xim >/dev/null 2>&1 &
  desktop_pids+=($!)
  # Setting the engine fails while no window has an input context, but it is kept.
  wait_until "ibus with mozc" eval 'ibus engine mozc-jp; [ "$(ibus engine)" = mozc-jp ]'
  export IBUS_ADDRESS  # where it is, whichever display the caller names later
  IBUS_ADDRESS=$(ibus address)
}

# Runs the command as an unprivileged user with a home of its own, if the caller is root.
run_unprivileged() {
  if [ "$(id -u)" -ne 0 ]; then "$@"; return; fi
  local home=$desktop_folder/home
  mkdir -m 700 "$home"
  chown nobody:nogroup "$home"
  run_stoppable setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$home" TMPDIR="$home" "$@"
}

# A session bus of its own, or Qt starts one that outlives the caller.
start_session_bus() {
  eval "$(dbus-launch --sh-syntax)"
  [ -n "${DBUS_SESSION_BUS_PID:-}" ] || did_not_come_up "the session bus"
  desktop_pids+=("$DBUS_SESSION_BUS_PID")
}

# The accessibility bus, on which the tests read the window as a screen reader does.
start_atspi() {
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  desktop_pids+=($!)
  wait_until "the accessibility bus" dbus-send --session --print-reply --dest=org.a11y.Bus \
    /org/a11y/bus org.a11y.Bus.GetAddress
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
}

# Wine in a prefix of its own (PREFIX, made once) that draws through this X server, with the
# Japanese UI fonts mapped to IPAGothic and the display's DPI (MIVO_DPI, else 96); its windows are
# framed by the window manager with "managed", else by Wine itself. Stopped with the desktop.
use_wine_on_x() {
  export WINEPREFIX
  WINEPREFIX=$(realpath -m "$1")
  desktop_wine=$WINEPREFIX
  source "$(dirname "${BASH_SOURCE[0]}")/wine.sh"
  keep_wine_server_in "$desktop_folder/wineserver"
  if [ ! -f "$WINEPREFIX/.mivo-ready" ]; then
    "$wine" wineboot --init >/dev/null 2>&1
    { printf 'REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\n'
      for font in "MS UI Gothic" "MS Gothic" "MS PGothic" "Meiryo" "Meiryo UI" "Yu Gothic UI"; do
        printf '"%s"="IPAGothic"\n' "$font"
      done
      printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n' "${MIVO_DPI:-96}"
      [ "${2:-}" = managed ] || printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
    } >"$WINEPREFIX/mivo.reg"
    "$wine" regedit "$WINEPREFIX/mivo.reg" >/dev/null 2>&1
    wineserver -w
    cp /usr/share/wine/fonts/tahoma*.ttf /usr/share/wine/fonts/marlett.ttf \
      "$WINEPREFIX/drive_c/windows/Fonts/"
    touch "$WINEPREFIX/.mivo-ready"
  fi
  wineserver --persistent >/dev/null 2>&1  # once, not with every program that the caller runs
}

start_window_manager() {
  openbox >/dev/null 2>&1 &
  window_manager_pid=$!
  desktop_pids+=($!)
  # A window mapped while the window manager is still starting may never be shown.
  wait_until openbox eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
}

# GNOME Shell on Wayland, headless (SIZE as WxH), as a user's session starts it, with ibus and mozc as
# the user's input source; pipewire for its remote desktop, through which the stories type and point;
# an extension of ours that puts it in its unsafe mode, where it tells where its windows are; and a
# second session bus as its system bus, without which it does not start.
start_gnome() {
  local version extension=$XDG_DATA_HOME/gnome-shell/extensions/stories@mivo.invalid
  version=$(gnome-shell --version | grep -o '[0-9]\+' | head -n 1)
  mkdir -p "$extension"
  printf '{"uuid": "stories@mivo.invalid", "name": "Mivo stories", "description": "%s", "shell-version": ["%s"]}\n' \
    "Unsafe mode, for the stories" "$version" >"$extension/metadata.json"
  if [ "$version" -ge 45 ]; then  # an ES module since GNOME 45
    echo 'export default class { enable() { global.context.unsafe_mode = true; } disable() {} }'
  else
    echo 'function init() { return { enable() { global.context.unsafe_mode = true; }, disable() {} }; }'
  fi >"$extension/extension.js"
  start_mozc
  gsettings set org.gnome.shell enabled-extensions "['stories@mivo.invalid']"
  gsettings set org.gnome.desktop.input-sources sources "[('ibus', 'mozc-jp')]"
  dbus-daemon --session --nofork --print-address=3 3>"$desktop_folder/system-bus" &
  desktop_pids+=($!)
  wait_until "the system bus" test -s "$desktop_folder/system-bus"
  DBUS_SYSTEM_BUS_ADDRESS=$(cat "$desktop_folder/system-bus")
  export DBUS_SYSTEM_BUS_ADDRESS XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland
  pipewire >/dev/null 2>&1 &
  desktop_pids+=($!)
  gnome-shell --headless --wayland --no-x11 --virtual-monitor "$1" --wayland-display=wayland-gnome \
    >"$desktop_folder/gnome-shell.log" 2>&1 &
  desktop_pids+=($!)
  wait_until "GNOME Shell" gnome_shell_says '!Main.layoutManager._startingUp' true
  # It opens its overview once started, which keeps the keys from the windows.
  wait_until "GNOME Shell's desktop" gnome_shell_says 'Main.overview.hide(), Main.overview.visible' false
  export WAYLAND_DISPLAY=wayland-gnome QT_QPA_PLATFORM=wayland
  unset DISPLAY
  # As gnome-session does: else the portal answers nothing, and Qt 6.8 draws no close button.
  dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE
  wait_until "ibus with mozc" eval '[ "$(ibus engine)" = mozc-jp ]'
  export IBUS_ADDRESS
  IBUS_ADDRESS=$(ibus address)
}

# Whether GNOME Shell's script evaluates to that.
gnome_shell_says() {
  [ "$(gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m org.gnome.Shell.Eval "$1")" = "(true, '$2')" ]
}

# KWin on Wayland, headless (SIZE as WxH), as Plasma runs it: with its Breeze frames, and fcitx5 with
# mozc, started by KWin as its input method, which the stories switch on when they compose
# (fcitx5-remote -o); its fake input, through which the stories type and point, is open to any client,
# as KDE's own tests run it.
start_kwin() {
  start_mozc
  mkdir -p "$XDG_CONFIG_HOME/fcitx5"
  printf '[Wayland]\nInputMethod=/usr/share/applications/org.fcitx.Fcitx5.desktop\n' >"$XDG_CONFIG_HOME/kwinrc"
  printf '%s\n' '[Groups/0]' 'Name=Default' 'Default Layout=us' 'DefaultIM=mozc' '[Groups/0/Items/0]' \
    'Name=keyboard-us' '[Groups/0/Items/1]' 'Name=mozc' '[GroupOrder]' '0=Default' >"$XDG_CONFIG_HOME/fcitx5/profile"
  # Debian 12's kwin_wayland carries a file capability (cap_sys_resource) that these machines do not
  # grant, and cannot be started; a copy carries none.
  cp "$(command -v kwin_wayland)" "$desktop_folder/kwin_wayland"
  KWIN_XKB_DEFAULT_KEYMAP=true XKB_DEFAULT_LAYOUT=us KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 \
    "$desktop_folder/kwin_wayland" --virtual --no-lockscreen --no-global-shortcuts --no-kactivities \
    --width "${1%x*}" --height "${1#*x}" --socket wayland-kde \
    >"$desktop_folder/kwin.log" 2>&1 &
  desktop_pids+=($!)
  wait_until KWin test -S "$XDG_RUNTIME_DIR/wayland-kde"
  export WAYLAND_DISPLAY=wayland-kde QT_QPA_PLATFORM=wayland XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland
  unset DISPLAY
  # Asked sooner, the session bus would start an fcitx5 of its own, which is not KWin's input method.
  wait_until "fcitx5" eval 'gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
    -m org.freedesktop.DBus.NameHasOwner org.fcitx.Fcitx5 | grep -q true'
}
