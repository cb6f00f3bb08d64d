#!/usr/bin/env bash
# Checks that the project's C++ files are laid out as .clang-format says: every difference is
# printed and the script exits 1. Without arguments it checks every .cpp and .h outside build/;
# with arguments, those files only. A rule table that reads better aligned by hand opts out
# with "// clang-format off" ... "// clang-format on".
set -euo pipefail
cd "$(dirname "$0")/.."

if (($#)); then
  files=("$@")
else
  mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
clang-format --dry-run -Werror "${files[@]}"
