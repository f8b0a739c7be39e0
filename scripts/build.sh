#!/usr/bin/env bash
# Configures and builds into a build folder, warnings as errors, and stages the install folder
# there through the install rules: scripts/build.sh [BUILD_DIR] [CMAKE_ARGS…]
# The staged install folder lands in BUILD_DIR/stage/Tervan Halden Beta.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALDEN_WERROR=ON "$@" >/dev/null
cmake --build "$build_dir" -j2
rm -rf "$build_dir/stage"
cmake --install "$build_dir" --prefix "$build_dir/stage" >/dev/null
