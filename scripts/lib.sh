# Shared by the scripts and CI: install the Debian packages that are missing, then configure and
# build a preset.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Debian packages the program needs to build, with its unit tests as every build has them, and to
# show its window.
BUILD_PACKAGES=(g++ cmake ninja-build libgtest-dev qt6-base-dev qt6-wayland qt6-translations-l10n
  fonts-ipafont-gothic)
# And those its tests need: the stories run the program on its own X server and window manager,
# driven by xdotool; on its own headless sway, driven by wtype and a mouse of the player's own; on
# GNOME Shell, driven through its remote desktop (pipewire); and on KWin, driven through its fake
# input, with fcitx5: each with its own D-Bus session, AT-SPI bus and mozc; the identity tests
# validate the desktop files, check the program's hardening, and build and check the Debian package.
TEST_PACKAGES=(googletest xvfb x11-utils x11-xserver-utils openbox xdotool dbus-x11 dbus-bin dbus-daemon
  at-spi2-core python3-pyatspi libglib2.0-bin imagemagick sway wtype grim ibus ibus-mozc
  gnome-shell dconf-service pipewire kwin-wayland kwin-style-breeze fcitx5 fcitx5-mozc fcitx5-frontend-qt6
  desktop-file-utils appstream dpkg-dev file lintian man-db devscripts)
# And those that make Mivo.exe and run its tests under Wine.
WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest
  wine64 wine fonts-wine wixl msitools faketime python3)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the packages among "$@" that are not installed yet; quick when none is missing.
need_packages() {
  local missing=()
  for package in "$@"; do
    [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" = "install ok installed" ] ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing ${missing[*]}" >&2
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures the given preset (once, or again when given cache settings) and builds it.
build() {
  local preset=$1
  shift
  if [ $# -gt 0 ] || [ ! -f "build/$preset/CMakeCache.txt" ]; then cmake --preset "$preset" "$@"; fi
  cmake --build --preset "$preset"
}
