#!/usr/bin/env bash
# The program with file capabilities, started by an account without them as any local user could
# start it: a plugin offered through Qt's variables, through its command-line options, through a
# qt.conf beside the program or in the program's own folder is never loaded. An ordinary Qt
# program started the same way shows that each offer works where nothing refuses it. The right
# to capture stays with the capture helper: the program's own process holds no capability while
# data reaches a display, the vnc platform is refused, and a killed helper is reported and
# replaced. Started through the service manager's sockets, the same program still serves on them.
#   privileged_start_test.sh PROGRAM PLUGIN PLUGIN_HOST QT_PLUGIN_FOLDER SIMULATOR SENTENCES
# Exits 77 with "Skipped: <reason>" where it cannot run.
set -euo pipefail

skip() { echo "Skipped: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "needs root to set file capabilities and to start the program as another account"
for tool in setcap setpriv unshare timeout ip; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

program=$1 plugin=$2 host=$3 qt_plugins=$4 simulator=$5 sentences=$6
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
nobody=65534
mkdir -p "$scratch/bin" "$scratch/plugins" "$scratch/platforms"
cp "$program" "$scratch/bin/vorlane"
cp "$host" "$scratch/bin/host"
# The offered plugin: in the folder QT_PLUGIN_PATH names, in the one QT_QPA_PLATFORM_PLUGIN_PATH
# and -platformpluginpath name, in the one a qt.conf beside the program names (beside Qt's own
# platform plugins, so that a program can start from there), and in the program's folder.
mkdir -p "$scratch/conf/plugins"
ln -s "$qt_plugins/platforms" "$scratch/conf/plugins/platforms"
printf '[Paths]\nPrefix=%s\nPlugins=plugins\n' "$scratch/conf" >"$scratch/bin/qt.conf"
for folder in bin plugins platforms conf/plugins; do
  mkdir "$scratch/$folder/generic"
  cp "$plugin" "$scratch/$folder/generic/"
  chmod 777 "$scratch/$folder/generic"
done
chown "$nobody:$nobody" "$scratch/bin"

# In a network namespace of its own, so that its ports meet nobody else's.
start() {
  timeout --preserve-status -s TERM 4 unshare --net \
    setpriv --reuid "$nobody" --regid "$nobody" --clear-groups --inh-caps=-all \
    env -i QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$scratch/plugins" \
    QT_QPA_PLATFORM_PLUGIN_PATH="$scratch/platforms" QT_QPA_GENERIC_PLUGINS=vorlanetest \
    "$scratch/bin/$1" -plugin vorlanetest -platformpluginpath "$scratch/platforms" \
    >"$scratch/output" 2>&1 || true
}
marks() { find "$scratch" -name loaded -printf '%P\n' | sort | tr '\n' ' '; }
# Offers are taken in this order; each is put aside in turn to show the next.
expect_host_loads_from() {
  start host
  [ "$(marks)" = "$1/generic/loaded " ] ||
    { cat "$scratch/output"; fail "an ordinary Qt program loaded the plugin from: $(marks)(not $1)"; }
  rm "$scratch/$1/generic/loaded"
  mv "$scratch/$1/generic" "$scratch/$1/aside"
}

expect_host_loads_from plugins
expect_host_loads_from conf/plugins
expect_host_loads_from bin
for folder in bin plugins conf/plugins; do mv "$scratch/$folder/aside" "$scratch/$folder/generic"; done

setcap cap_net_raw=ep "$scratch/bin/vorlane"
start vorlane
grep -q "starting" "$scratch/output" || { cat "$scratch/output"; fail "the program did not start"; }
[ -z "$(marks)" ] || fail "with capabilities, the caller's plugin was loaded from: $(marks)"

# Capturing on loopback in a namespace of its own, fed by the simulator (as root, for its raw
# socket) and read as a display would. Whatever happens, the program, and with it the helper,
# and the simulator are killed on the way out.
printf '[Vorlane]\ninput_ip=127.0.0.1\noutput_ip=127.0.0.1\nfirst_output_port=14001\n[QXInput]\n%s\n' \
  "input_0_src_ip=127.0.0.10
input_1_src_ip=127.0.0.11
input_0_dest_ip=127.0.0.1
input_1_dest_ip=127.0.0.1" >"$scratch/bin/Vorlane.ini"
chown "$nobody:$nobody" "$scratch/bin/Vorlane.ini"
cat >"$scratch/split.sh" <<'SPLIT'
set -u
bin=$1 simulator=$2 sentences=$3 nobody=$4 log=$5
fail() { echo "FAIL: $*" >&2; cat "$log" >&2; exit 1; }
ip link set lo up
cd "$bin"
setpriv --reuid "$nobody" --regid "$nobody" --clear-groups --inh-caps=-all \
  env -i QT_QPA_PLATFORM=vnc ./vorlane >"$log" 2>&1 &
program=$!
"$simulator" --file "$sentences" --rate 50 >/dev/null 2>&1 &
feeder=$!
trap 'kill -9 $program $feeder 2>/dev/null; wait 2>/dev/null' EXIT
trap 'exit 1' TERM INT
connected() { [ "$(grep -c '^Input connected' "$log")" -ge "$1" ]; }
wait_until() { for _ in $(seq 1 "$1"); do "${@:2}" && return 0; sleep 0.5; done; return 1; }
display_gets_sentences() { timeout 3 bash -c 'exec 3<>/dev/tcp/127.0.0.1/14001; cat <&3' | grep -q '^[$!]'; }
children_of() { cat "/proc/$1/task/$1/children"; }

wait_until 30 connected 1 || fail "capture did not start"
display_gets_sentences || fail "no sentence reached the display"
for set in CapEff CapPrm CapAmb; do
  grep -qx "$set:	0000000000000000" "/proc/$program/status" || fail "the program holds capabilities: $(grep Cap "/proc/$program/status")"
done
# One helper per LAN, the first for LAN A.
for helper in $(children_of "$program"); do
  worker=$(children_of "$helper" | tr -d ' ')
  grep -qx "CapEff:	0000000000002000" "/proc/$worker/status" || fail "a helper holds other than cap_net_raw: $(grep Cap "/proc/$worker/status")"
done
read -r helper _ < <(children_of "$program")
worker=$(children_of "$helper" | tr -d ' ')
grep -q "QT_QPA_PLATFORM=vnc refused" "$log" || fail "the vnc platform was not refused"
! awk '$4 == "0A" && $2 ~ /:170C$/' "/proc/$program/net/tcp" "/proc/$program/net/tcp6" | grep -q . ||
  fail "something listens on port 5900"

kill -9 "$worker"
wait_until 10 grep -q "QXE-RECV-113: Capture helper ended by signal 9" "$log" || fail "the killed helper was not reported"
wait_until 60 connected 2 || fail "capture did not come back after the helper was killed"
display_gets_sentences || fail "no sentence reached the display after the helper came back"
SPLIT
timeout --preserve-status -s TERM 90 unshare --net bash "$scratch/split.sh" "$scratch/bin" "$simulator" \
  "$sentences" "$nobody" "$scratch/split.log" || fail "the capture helper check failed"

# The service manager's sockets survive the cleaning: started through them, the program with
# capabilities serves on the passed sockets instead of trying to listen on ports already taken.
# The program is killed on the way out, or it would go on in the namespace it keeps alive.
command -v systemd-socket-activate >/dev/null || skip "systemd-socket-activate is not installed"
rm -f "$scratch/bin/qt.conf"
timeout --preserve-status -s TERM 6 unshare --net bash -c '
  ip link set lo up
  setpriv --reuid '"$nobody"' --regid '"$nobody"' --clear-groups --inh-caps=-all \
    systemd-socket-activate -l 0.0.0.0:14001 -l 0.0.0.0:14002 -E QT_QPA_PLATFORM=offscreen \
    "$1" >"$2" 2>&1 &
  trap "kill -9 $! 2>/dev/null; wait" EXIT
  trap "exit 1" TERM
  sleep 1
  exec 3<>/dev/tcp/127.0.0.1/14001
  sleep 4' activated "$scratch/bin/vorlane" "$scratch/activated" >/dev/null 2>&1 || true
grep -q "starting" "$scratch/activated" || { cat "$scratch/activated"; fail "the program was not started through its sockets"; }
! grep -E "QXE-20[05]" "$scratch/activated" || fail "with capabilities, the passed sockets were not taken"
