#!/usr/bin/env bash
# Installs what is missing, checks the layout of the C++ files, builds every configuration, checks
# that every include stays within the link graph and runs every test:
# unit tests optimised and under AddressSanitizer + UndefinedBehaviorSanitizer, the
# capture tests under ThreadSanitizer, then each fuzz target for a bounded time.
# The capture and end-to-end tests need root; without it they skip and say so. The end lists
# every skipped test with its reason.
set -euo pipefail
cd "$(dirname "$0")"

FUZZ_SECONDS=${FUZZ_SECONDS:-30}

# Chromium (about 100 MB with what it needs) loads the status page once, headless; only the tests
# need it, so run.sh leaves it out.
tools/install-deps.sh chromium

echo "=== format"
tools/check-format.sh

# The decimal conversion is checked under a decimal-comma locale. It is generated into a folder
# of the build tree, so the machine's own locale set stays as it is.
locales=$PWD/build/locale
if [ ! -e "$locales/de_DE.UTF-8/LC_NUMERIC" ]; then
  mkdir -p "$locales"
  localedef -i de_DE -f UTF-8 "$locales/de_DE.UTF-8" >/dev/null 2>&1 || [ -e "$locales/de_DE.UTF-8/LC_NUMERIC" ]
fi
export LOCPATH=$locales

# Each ctest run leaves a JUnit report; the skipped test cases and the text after gtest's
# "Skipped" line (or a script's "Skipped: ") are the reasons.
reports=()
list_skips() {
  awk '
    function unescape(t) {
      gsub(/&quot;/, "\"", t); gsub(/&apos;/, "\047", t); gsub(/&lt;/, "<", t); gsub(/&gt;/, ">", t)
      gsub(/&amp;/, "\\&", t); return t
    }
    /<testcase / { match($0, /name="[^"]*"/); name = substr($0, RSTART + 6, RLENGTH - 7); skipped = 0; reason = "" }
    /<skipped/ { skipped = 1 }
    { line = $0; sub(/^[ \t]*<system-out>/, "", line) }
    take { if (reason == "") reason = line; take = 0 }
    skipped && line ~ /: Skipped$/ { take = 1 }
    skipped && line ~ /^Skipped: / && reason == "" { reason = substr(line, 10) }
    /<\/testcase>/ && skipped { printf "  %s: %s\n", unescape(name), unescape(reason); skipped = 0 }
  ' "$@"
}

for preset in release asan; do
  echo "=== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  if [ "$preset" = release ]; then
    echo "=== release: every include within the link graph"
    tools/check_include_edges.py build/release
  fi
  echo "=== $preset: tests"
  reports+=("build/$preset/junit.xml")
  ctest --preset "$preset" -j2 --output-junit junit.xml
done

# The receive thread and its frame ring are the one place two threads meet.
echo "=== tsan: capture"
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target capture_tests
reports+=(build/tsan/junit.xml)
ctest --preset tsan -R '^capture\.' --output-junit junit.xml

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
for report in "${reports[@]}"; do
  skips=$(list_skips "$report")
  [ -z "$skips" ] || printf 'Skipped in %s:\n%s\n' "$(basename "$(dirname "$report")")" "$skips"
done
