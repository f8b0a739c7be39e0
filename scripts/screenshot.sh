#!/usr/bin/env bash
# Takes pictures of the window under Xvfb into docs/: at first start, after a
# successful set-up with the development agent, the same in a dark palette, and
# the uninstall confirmation.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
mkdir -p docs
bundle="$PWD/build/stage/Tervan Halden Beta/Halden Setup"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/Projects/shop-app" "$home/.vscode/extensions/tervan.halden-0.9.0"
shoot() { HOME="$home" xvfb-run -a -s "-screen 0 1280x900x24" build/halden-screenshot --bundle "$bundle" "$@"; }
shoot --output docs/window-start.png
shoot --output docs/window-start-dark.png --dark
shoot --output docs/window-after-setup.png --set-up "$home/Projects/shop-app"
rm -rf "$home/Library"
shoot --output docs/window-after-setup-dark.png --dark --set-up "$home/Projects/shop-app"
# The uninstall confirmation, from a per-user install folder.
mkdir -p "$home/Applications"
cp -r "build/stage/Tervan Halden Beta" "$home/Applications/"
HOME="$home" xvfb-run -a -s "-screen 0 1280x900x24" build/halden-screenshot \
  --bundle "$home/Applications/Tervan Halden Beta/Halden Setup" --output docs/uninstall-confirmation.png --uninstall-alert
