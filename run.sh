#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and runs Vorlane.
#   ./run.sh        the gateway, with Vorlane.ini and Vorlane.log beside the binary
#   ./run.sh demo   the gateway on loopback, fed by the traffic generator
#   ./run.sh demo iec450  the same with standard datagrams (token and TAG blocks)
#   ./run.sh package  the Debian package build/vorlane_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")"

usage() {
  echo "usage: ./run.sh [demo [header8|iec450]|package]" >&2
  exit 2
}
mode=${1:-gateway}
format=${2:-header8}
case "$mode" in
  gateway|package) [ $# -le 1 ] || usage ;;
  demo) [ $# -le 2 ] || usage ;;
  *) usage ;;
esac
case "$format" in
  header8|iec450) ;;
  *) usage ;;
esac

tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

if [ "$mode" = package ]; then
  rm -rf build/package
  cpack --config build/release/CPackConfig.cmake -B build/package
  mv build/package/vorlane_*.deb build/
  ls build/vorlane_*.deb
  exit 0
fi

# getcap lives in /usr/sbin, which is not on an ordinary user's PATH.
getcap=$(command -v getcap || echo /usr/sbin/getcap)
has_capture_capabilities() {
  local caps
  caps=$("$getcap" "$1" 2>/dev/null) || return 1
  [[ $caps == *cap_net_raw* ]]
}

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if [ "$mode" = demo ]; then
    echo "The demo captures on loopback and sends through a raw socket: it needs root, so it asks sudo."
    as_root=(sudo)
  elif ! has_capture_capabilities build/release/app/vorlane; then
    echo "Capturing packets needs root or the capability cap_net_raw on"
    echo "build/release/app/vorlane (see README); asking sudo to run it as root."
    as_root=(sudo)
  fi
fi

if [ "$mode" = gateway ]; then
  exec "${as_root[@]}" build/release/app/vorlane
fi

# The demo runs in a scratch directory of its own: the program keeps its settings and its log
# beside the executable, so it gets a copy there with a loopback configuration.
demo=build/demo
mkdir -p "$demo"
cp build/release/app/vorlane "$demo/vorlane"
cat > "$demo/Vorlane.ini" <<'INI'
[Vorlane]
input_ip=127.0.0.1
output_ip=127.0.0.1
first_output_port=14001
max_log_lines=1024
locked=0
[QXInput]
input_0_port=10021
input_0_src_ip=127.0.0.10
input_0_dest_ip=127.0.0.1
input_1_port=10021
input_1_src_ip=127.0.0.11
input_1_dest_ip=127.0.0.1
INI
if [ "$format" = iec450 ]; then
  printf 'input_0_format=iec450\ninput_1_format=iec450\n' >> "$demo/Vorlane.ini"
fi

pids=()
cleanup() {
  for pid in "${pids[@]}"; do "${as_root[@]}" kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

"${as_root[@]}" "$demo/vorlane" &
pids+=($!)
sleep 4
"${as_root[@]}" build/release/tools/vorlane-sim --rate 20 --format "$format" &
pids+=($!)

cat <<MSG

Vorlane runs on loopback, fed by vorlane-sim from junction boxes 127.0.0.10 and 127.0.0.11
($format datagrams).
Watch the served sentences with
    nc 127.0.0.1 14001     (junction box 1)
    nc 127.0.0.1 14002     (junction box 2)
and the counts with
    curl -s 127.0.0.1:14080/metrics    (or http://127.0.0.1:14080/ in a browser)
Settings and log: $demo/Vorlane.ini, $demo/Vorlane.log. Press Ctrl-C to stop.

MSG
wait "${pids[0]}"
