#!/usr/bin/env bash
# Installs what is missing, checks the layout of the C++ files, builds and runs
# every test, headless.
# With CI=true (or --all) it also runs the suite under AddressSanitizer and
# UndefinedBehaviorSanitizer and each fuzzer for 60 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

all=false
if [[ "${CI:-}" == "true" || "${1:-}" == "--all" ]]; then all=true; fi

if $all; then bash scripts/install-deps.sh --fuzz; else bash scripts/install-deps.sh; fi
export QT_QPA_PLATFORM=offscreen

echo "== Layout of the C++ files (clang-format-19)"
if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-19 --dry-run --Werror; then
  echo "Not laid out as .clang-format says: run clang-format-19 -i on the files above." >&2
  exit 1
fi

bash scripts/build.sh build
(cd build && ctest --output-on-failure -j2 --timeout 300 | tee ctest.log)

if $all; then
  echo "== The suite under AddressSanitizer and UndefinedBehaviorSanitizer"
  bash scripts/build.sh build-sanitize -DHALDEN_SANITIZE=ON -DHALDEN_BENCH=OFF
  (cd build-sanitize && \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    LSAN_OPTIONS=suppressions="$PWD/../tests/lsan-suppressions.txt":print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j2 --timeout 600)
  echo "== Fuzzing"
  bash scripts/fuzz.sh 60
fi

# One closing line for whoever reads the end of the output.
summary=$(grep -E '^[0-9]+% tests passed' build/ctest.log | tail -n 1)
total=$(sed -E 's/.* out of ([0-9]+)$/\1/' <<<"$summary")
failed=$(sed -E 's/.*, ([0-9]+) tests failed.*/\1/' <<<"$summary")
echo "ctest: $((total - failed)) passed, $failed failed"
