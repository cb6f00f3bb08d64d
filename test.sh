#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test:
# unit tests optimised and under AddressSanitizer + UndefinedBehaviorSanitizer,
# then each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")"

FUZZ_SECONDS=${FUZZ_SECONDS:-30}

tools/install-deps.sh

for preset in release debug; do
  echo "=== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== $preset: tests"
  ctest --preset "$preset" -j2
done

echo "=== fuzz: build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in build/fuzz/fuzz/fuzz-*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "=== fuzz: $name for ${FUZZ_SECONDS}s"
  "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 "$corpus" "fuzz/seeds/$name" 2>&1 |
    grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|Done' || true
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "fuzz target $name found a fault" >&2; exit 1; }
done
echo "=== all tests passed"
