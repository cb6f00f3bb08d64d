#!/usr/bin/env bash
# The program with file capabilities, started by an account without them as any local user could
# start it: a plugin offered through Qt's variables, through its command-line options, through a
# qt.conf beside the program or in the program's own folder is never loaded. An ordinary Qt
# program started the same way shows that each offer works where nothing refuses it. Started
# through the service manager's sockets, the same program still serves on them.
#   privileged_start_test.sh PROGRAM PLUGIN PLUGIN_HOST QT_PLUGIN_FOLDER
# Exits 77 with "Skipped: <reason>" where it cannot run.
set -euo pipefail

skip() { echo "Skipped: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "needs root to set file capabilities and to start the program as another account"
for tool in setcap setpriv unshare timeout; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

program=$1 plugin=$2 host=$3 qt_plugins=$4
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

# The service manager's sockets survive the cleaning: started through them, the program with
# capabilities serves on the passed sockets instead of trying to listen on ports already taken.
command -v systemd-socket-activate >/dev/null || skip "systemd-socket-activate is not installed"
rm -f "$scratch/bin/qt.conf"
timeout --preserve-status -s TERM 6 unshare --net bash -c '
  ip link set lo up
  setpriv --reuid '"$nobody"' --regid '"$nobody"' --clear-groups --inh-caps=-all \
    systemd-socket-activate -l 0.0.0.0:14001 -l 0.0.0.0:14002 -E QT_QPA_PLATFORM=offscreen \
    "$1" >"$2" 2>&1 &
  sleep 1
  exec 3<>/dev/tcp/127.0.0.1/14001
  sleep 4' activated "$scratch/bin/vorlane" "$scratch/activated" >/dev/null 2>&1 || true
grep -q "starting" "$scratch/activated" || { cat "$scratch/activated"; fail "the program was not started through its sockets"; }
! grep -E "QXE-20[05]" "$scratch/activated" || fail "with capabilities, the passed sockets were not taken"
