#!/usr/bin/env bash
# Installs what is missing, builds, stages the install folder and starts the
# staged program (under a virtual display when there is no display).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build
program="build/stage/Tervan Halden Beta/Halden Setup/halden-setup"
echo "Staged: build/stage/Tervan Halden Beta"
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec "$program"
fi
echo "No display: starting under Xvfb (close it with Ctrl-C)."
exec xvfb-run -a -s "-screen 0 1280x900x24" "$program"
