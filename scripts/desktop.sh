# A private desktop for the scripts and tests that show windows: an Xvfb of its own, and on
# request a session bus and openbox. Everything started here is stopped when the caller exits.
desktop_pids=()
desktop_display_file=$(mktemp)
desktop_folders=()  # removed with the desktop

stop_desktop() {
  local pid
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do kill "${desktop_pids[i]}" 2>/dev/null || true; done
  for pid in "${desktop_pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$desktop_display_file" "${desktop_folders[@]}"
}
trap stop_desktop EXIT

# Starts Xvfb on a free display (SCREEN as in -screen 0), and waits until it takes clients.
start_xvfb() {
  Xvfb -displayfd 3 -noreset -screen 0 "$1" 3>"$desktop_display_file" 2>/dev/null &
  desktop_pids+=($!)
  for _ in $(seq 100); do [ -s "$desktop_display_file" ] && break; sleep 0.05; done
  export DISPLAY=:$(cat "$desktop_display_file")
  for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
}

# A headless sway (the Wayland compositor of the wlroots family) in a runtime folder of its own,
# with one virtual keyboard kept for the whole session: the seat has a keyboard only while some
# client provides one, and Qt deactivates the window when the last goes. sway refuses to run as
# root: see run_unprivileged.
start_sway() {
  export XDG_RUNTIME_DIR
  XDG_RUNTIME_DIR=$(mktemp -d)
  desktop_folders+=("$XDG_RUNTIME_DIR")
  printf 'output HEADLESS-1 resolution %s\nxwayland disable\n' "$1" >"$XDG_RUNTIME_DIR/sway.conf"
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$XDG_RUNTIME_DIR/sway.conf" >"$XDG_RUNTIME_DIR/sway.log" 2>&1 &
  desktop_pids+=($!)
  for _ in $(seq 100); do ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock >/dev/null 2>&1 && break; sleep 0.05; done
  export SWAYSOCK WAYLAND_DISPLAY=wayland-1 QT_QPA_PLATFORM=wayland
  SWAYSOCK=$(echo "$XDG_RUNTIME_DIR"/sway-ipc.*.sock)
  unset DISPLAY
  wtype -s 86400000 &
  desktop_pids+=($!)
}

# ibus with mozc, which starts in Japanese input, for the programs started with QT_IM_MODULE=ibus.
# Its settings live in a folder of their own. mozc refuses to run as root: see run_unprivileged.
start_input_method() {
  export XDG_CONFIG_HOME
  XDG_CONFIG_HOME=$(mktemp -d)
  desktop_folders+=("$XDG_CONFIG_HOME")
  mkdir "$XDG_CONFIG_HOME/mozc"
  printf 'engines { name: "mozc-jp" longname: "Mozc" layout: "default" rank: 80 }\n%s\n' \
    'active_on_launch: True' >"$XDG_CONFIG_HOME/mozc/ibus_config.textproto"
  /usr/lib/mozc/mozc_server &
  desktop_pids+=($!)
  ibus-daemon --panel=disable --config=/usr/libexec/ibus-memconf --replace --xim >/dev/null 2>&1 &
  desktop_pids+=($!)
  for _ in $(seq 100); do ibus engine mozc-jp 2>/dev/null && break; sleep 0.05; done
  export IBUS_ADDRESS  # where it is, whichever display the caller names later
  IBUS_ADDRESS=$(ibus address)
}

# Runs the command as an unprivileged user with a home of its own, if the caller is root.
run_unprivileged() {
  if [ "$(id -u)" -ne 0 ]; then "$@"; return; fi
  local home
  home=$(mktemp -d)
  desktop_folders+=("$home")
  chown nobody:nogroup "$home"
  setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$home" "$@"
}

# A session bus of its own, or Qt starts one that outlives the caller.
start_session_bus() {
  eval "$(dbus-launch --sh-syntax)"
  desktop_pids+=("$DBUS_SESSION_BUS_PID")
}

# The accessibility bus, on which the tests read the window as a screen reader does.
start_atspi() {
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  desktop_pids+=($!)
  export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
}

start_window_manager() {
  openbox >/dev/null 2>&1 &
  window_manager_pid=$!
  desktop_pids+=($!)
  # A window mapped while the window manager is still starting may never be shown.
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.05
  done
}
