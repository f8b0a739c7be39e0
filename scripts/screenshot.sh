#!/usr/bin/env bash
# Takes pictures of the window under Xvfb into docs/, as the program shows it
# with the desktop font at 9 and 11 points: at first start and after a
# successful set-up with the development agent, in a light and a dark palette;
# and, at 11 points, the uninstall confirmation and the notice that ends it.
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
for points in 9 11; do
  for look in light dark; do
    flags=(--points "$points")
    [[ $look == dark ]] && flags+=(--dark)
    rm -rf "$home/Library"
    shoot "${flags[@]}" --output "docs/window-start-${points}pt-$look.png"
    shoot "${flags[@]}" --output "docs/window-after-setup-${points}pt-$look.png" --set-up "$home/Projects/shop-app"
  done
done
# The uninstall confirmation, from a per-user install folder, and the final notice.
mkdir -p "$home/Applications"
cp -r "build/stage/Tervan Halden Beta" "$home/Applications/"
for alert in uninstall-alert final-alert; do
  name=${alert/uninstall-alert/uninstall-confirmation}
  HOME="$home" xvfb-run -a -s "-screen 0 1280x900x24" build/halden-screenshot --points 11 \
    --bundle "$home/Applications/Tervan Halden Beta/Halden Setup" --output "docs/${name/final-alert/uninstall-finished}-11pt.png" "--$alert"
done
