#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and runs Vorlane.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

exec build/release/tools/vorlane-check "$@" data/sample-sentences.txt
