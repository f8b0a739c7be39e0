#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/install-deps.sh --fuzz
CC=clang CXX=clang++ bash scripts/build.sh build-fuzz -DHALDEN_FUZZ=ON -DBUILD_TESTING=OFF -DHALDEN_BENCH=OFF
for target in fuzz-launch-agent-plist fuzz-agent-output fuzz-agent-event-differential; do
  corpus=$(mktemp -d)
  cp fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  echo "== $target for ${seconds}s"
  build-fuzz/fuzz/"$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 "$corpus" fuzz/corpus/"$target" 2>&1 | tail -n 12
  rm -rf "$corpus"
done
