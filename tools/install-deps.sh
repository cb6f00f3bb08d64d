#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, and only those
# that are missing, so a second run costs a few milliseconds. Packages named as arguments are
# installed with them (./test.sh adds the browser that loads the status page).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  qt6-base-dev libpcap-dev
  # The status listener's test reads /metrics with a real exposition-format parser.
  python3-prometheus-client
  netcat-openbsd libcap2-bin iproute2
  fonts-liberation xvfb xauth
  libsystemd-dev
  locales
  dpkg-dev file systemd
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "error: need root (or sudo) to install ${missing[*]}" >&2; exit 2; }
    echo "Installing ${missing[*]} needs root; asking sudo."
    sudo_cmd=(sudo)
  else
    echo "Installing: ${missing[*]}"
  fi
  # sudo resets the environment, so the variable travels through env; apt's chatter goes to a
  # log that is shown only when something fails.
  log=$(mktemp)
  if ! "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive sh -c \
      'apt-get update -qq && apt-get install -y -qq --no-install-recommends "$@"' apt "${missing[@]}" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    echo "error: installing ${missing[*]} failed" >&2
    exit 1
  fi
  rm -f "$log"
fi
