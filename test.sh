#!/usr/bin/env bash
# Installs what is missing, builds every configuration, checks that every include stays within
# the link graph and runs every test:
# unit tests optimised and under AddressSanitizer + UndefinedBehaviorSanitizer, the
# capture tests under ThreadSanitizer, then each fuzz target for a bounded time.
# The capture and end-to-end tests need root; without it they skip and say so.
set -euo pipefail
cd "$(dirname "$0")"

FUZZ_SECONDS=${FUZZ_SECONDS:-30}

tools/install-deps.sh

for preset in release debug; do
  echo "=== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  if [ "$preset" = release ]; then
    echo "=== release: every include within the link graph"
    tools/check_include_edges.py build/release
  fi
  echo "=== $preset: tests"
  ctest --preset "$preset" -j2
done

# The receive thread and its frame ring are the one place two threads meet.
echo "=== tsan: capture"
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target capture_tests
ctest --preset tsan -R '^capture\.'

echo "=== fuzz: build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in $(find build/fuzz/fuzz -type f -name 'fuzz-*' -perm -u+x | sort); do
  name=$(basename "$target")
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "=== fuzz: $name for ${FUZZ_SECONDS}s"
  log="build/fuzz/$name.log"
  if ! "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 "$corpus" "fuzz/seeds/$name" >"$log" 2>&1; then
    tail -40 "$log"
    echo "fuzz target $name found a fault (crash input saved beside it)" >&2
    exit 1
  fi
  grep -E 'stat::number_of_executed_units' "$log" || true
done
echo "=== all tests passed"
