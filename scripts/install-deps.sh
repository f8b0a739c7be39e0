#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the fuzzers need, when
# any is missing. Run as root (or through sudo) on Debian 12 or 13: every name
# here is the same on both, down to a minimal system made by debootstrap.
set -euo pipefail

packages=(
  g++ cmake make pkg-config git
  qt6-base-dev libxcb1-dev libplist-dev nlohmann-json3-dev libicu-dev libglib2.0-dev
  qt6-base-private-dev libwayland-dev # a maximize request withdrawn on Wayland, through Qt's native interface
  xvfb xauth fonts-dejavu-core fonts-noto-mono
  e2fsprogs       # chattr, for the tests' locked install folders
  librapidcheck-dev # generated sequences in the tests, shrunk when one fails
  clang-format-19 # the layout check: one version, so both releases agree on the layout
)
# The desktop tests: the accessibility bus and its reader, a session bus, a window manager, and the tools that
# read and drive windows (xprop; xdotool).
packages+=(at-spi2-core libatspi2.0-dev dbus-daemon dbus-bin openbox x11-utils xdotool)
# The screen reader whose speech the journey reads (orca), and the terminal its debug file is written to (script).
packages+=(orca bsdutils)
# The program under Wayland, where Qt draws the title bar: a compositor (weston) and Qt's Wayland platform.
packages+=(weston qt6-wayland)
if [[ "${1:-}" == "--fuzz" ]]; then
  packages+=(clang libclang-rt-dev) # the runtime of the default clang, whichever it is
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
