#!/usr/bin/env bash
# The Debian package as dpkg and systemd would see it:
#   package_test.sh build DEB_DIR CPACK_CONFIG   makes the package once for the checks below
#   package_test.sh contents DEB GOLDEN          file list with owners and modes, dependencies
#   package_test.sh scripts DEB                  postinst/postrm in a throw-away root folder
#   package_test.sh unit DEB                     systemd-analyze verify on the installed units
# A check that cannot run here says "Skipped: <reason>" and exits 77.
set -euo pipefail

skip() { echo "Skipped: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

build() {
  local out=$1 config=$2
  rm -rf "$out"
  cpack --config "$config" -B "$out" >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack failed"; }
  ls "$out"/vorlane_*_amd64.deb >/dev/null
}

contents() {
  local deb=$1 golden=$2
  # Sizes and dates change with every build; paths, owners and modes are what dpkg installs.
  dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' >"$scratch/contents"
  diff -u "$golden" "$scratch/contents" || fail "package contents differ from $golden"
  local depends recommends
  depends=$(dpkg-deb -f "$deb" Depends)
  recommends=$(dpkg-deb -f "$deb" Recommends)
  # libpcap is bound at run time, so only the explicit entry brings it; the others show that
  # dpkg-shlibdeps ran.
  for needed in libpcap0.8 libcap2-bin libqt6core6 libqt6widgets6 libsystemd0; do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
  done
  [ "$recommends" = fonts-liberation ] || fail "Recommends is '$recommends'"
  # The menu entry is written at install time and must name the packaged program.
  dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/applications/vorlane.desktop |
    grep -qx 'Exec=/opt/vorlane/bin/vorlane' || fail "the desktop entry does not start /opt/vorlane/bin/vorlane"
}

scripts() {
  local deb=$1
  [ "$(id -u)" -eq 0 ] || skip "needs root to create an account, change owners and set capabilities"
  local root=$scratch/root control=$scratch/control bin=$scratch/root/opt/vorlane/bin
  dpkg-deb -x "$deb" "$root"
  dpkg-deb -e "$deb" "$control"
  chmod 755 "$scratch" "$root"
  mkdir -p "$root/etc"
  printf 'root:x:0:0:root:/root:/bin/sh\n' >"$root/etc/passwd"
  printf 'root:x:0:\n' >"$root/etc/group"
  printf 'root:*:19000:0:99999:7:::\n' >"$root/etc/shadow"
  printf 'root:*::\n' >"$root/etc/gshadow"

  DPKG_ROOT=$root "$control/postinst" configure
  # Configuring again, as an upgrade does, must not add a second account.
  DPKG_ROOT=$root "$control/postinst" configure
  [ "$(grep -c '^vorlane:' "$root/etc/passwd")" -eq 1 ] || fail "not exactly one account vorlane"
  local uid gid
  IFS=: read -r _ _ uid gid _ _ shell <<<"$(grep '^vorlane:' "$root/etc/passwd")"
  ((uid < 1000)) || fail "vorlane is not a system account (uid $uid)"
  [ "$shell" = /usr/sbin/nologin ] || fail "vorlane can log in ($shell)"
  [ "$(stat -c '%a %u %g' "$bin")" = "3775 0 $gid" ] || fail "program folder is $(stat -c '%a %u %g' "$bin")"
  [[ $(getcap "$bin/vorlane") == *cap_net_admin,cap_net_raw=ep ]] || fail "capabilities: $(getcap "$bin/vorlane")"

  # The service account writes its settings and log beside the program but cannot replace it.
  as_vorlane() { setpriv --reuid "$uid" --regid "$gid" --clear-groups "$@"; }
  as_vorlane sh -c "echo '[Vorlane]' >'$bin/Vorlane.ini' && echo started >'$bin/Vorlane.log'" ||
    fail "vorlane cannot write beside the program"
  as_vorlane mv "$bin/Vorlane.log" "$bin/Vorlane.log.tmp" && as_vorlane mv "$bin/Vorlane.log.tmp" "$bin/Vorlane.log" ||
    fail "vorlane cannot replace its own log"
  if as_vorlane mv "$bin/vorlane" "$bin/replaced" 2>/dev/null; then fail "vorlane can replace the program"; fi

  # dpkg deletes the package's own files before postrm; the settings and the log stay.
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }' | while read -r file; do rm "$root$file"; done
  DPKG_ROOT=$root "$control/postrm" remove
  [ -f "$bin/Vorlane.ini" ] && [ -f "$bin/Vorlane.log" ] || fail "remove deleted the settings or the log"
  DPKG_ROOT=$root "$control/postrm" purge
  [ ! -e "$root/opt/vorlane" ] || fail "purge left $(find "$root/opt/vorlane")"
}

unit() {
  local deb=$1
  command -v systemd-analyze >/dev/null || skip "systemd-analyze is not installed"
  [ "$(id -u)" -eq 0 ] || skip "needs root to show the packaged /opt/vorlane at its place in a mount namespace"
  local root=$scratch/root
  dpkg-deb -x "$deb" "$root"
  # The verifier checks that ExecStart exists, so the packaged program is mounted where the unit
  # expects it, visible to this check only. Unknown keys are only warnings: any output fails.
  unshare --mount sh -c "mount --bind '$root/opt' /opt &&
    systemd-analyze verify '$root/lib/systemd/system/vorlane.service' '$root/lib/systemd/system/vorlane.socket'" >"$scratch/verify" 2>&1 ||
    { cat "$scratch/verify"; fail "systemd-analyze verify failed"; }
  [ ! -s "$scratch/verify" ] || { cat "$scratch/verify"; fail "systemd-analyze verify complained"; }
}

check=$1
shift
"$check" "$@"
