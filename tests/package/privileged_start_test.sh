#!/usr/bin/env bash
# The program with file capabilities, started by an account without them as any local user could
# start it: a plugin offered through Qt's variables, through its command-line options or in the
# program's own folder is never loaded. An ordinary Qt program started the same way shows that
# the offer works where nothing refuses it.
#   privileged_start_test.sh PROGRAM PLUGIN PLUGIN_HOST
# Exits 77 with "Skipped: <reason>" where it cannot run.
set -euo pipefail

skip() { echo "Skipped: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "needs root to set file capabilities and to start the program as another account"
for tool in setcap setpriv unshare timeout; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

program=$1 plugin=$2 host=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
nobody=65534
mkdir -p "$scratch/bin" "$scratch/plugins" "$scratch/platforms"
cp "$program" "$scratch/bin/vorlane"
cp "$host" "$scratch/bin/host"
# The offered plugin: in the folder QT_PLUGIN_PATH names, in the one QT_QPA_PLATFORM_PLUGIN_PATH
# and -platformpluginpath name, and in the program's folder.
for folder in bin plugins platforms; do
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

# The first folder that offers it wins: the variable's, then the program's own.
start host
[ "$(marks)" = "plugins/generic/loaded " ] ||
  { cat "$scratch/output"; fail "an ordinary Qt program loaded the plugin from: $(marks)"; }
mv "$scratch/plugins/generic" "$scratch/plugins/aside"
start host
[ "$(marks)" = "bin/generic/loaded plugins/aside/loaded " ] ||
  { cat "$scratch/output"; fail "an ordinary Qt program loaded the plugin from: $(marks)"; }
mv "$scratch/plugins/aside" "$scratch/plugins/generic"
rm -f "$scratch"/*/generic/loaded

setcap cap_net_raw=ep "$scratch/bin/vorlane"
start vorlane
grep -q "starting" "$scratch/output" || { cat "$scratch/output"; fail "the program did not start"; }
[ -z "$(marks)" ] || fail "with capabilities, the caller's plugin was loaded from: $(marks)"
