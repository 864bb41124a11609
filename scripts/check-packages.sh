#!/usr/bin/env bash
# Checks the Debian packages of a build (made first by scripts/package.sh):
# what they hold, lintian's verdict (errors fail; warnings are listed),
# systemd's verdict on the units, and an installation into an empty root
# folder with `dpkg --root`, which runs no maintainer script (the packages
# have none) and leaves the host system alone.
#   scripts/check-packages.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: check-packages.sh BUILD_DIR}" && pwd)
"$here/scripts/package.sh" "$build" >/dev/null
program=$(ls "$build"/packages/corvala_*.deb)
server=$(ls "$build"/packages/corvala-server_*.deb)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "check-packages: $*" >&2; failed=1; }

# ---- contents
expect() {  # package path...
  local deb=$1; shift
  dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|' > "$work/contents"
  for path in "$@"; do
    grep -qx -- "$path" "$work/contents" || fail "$(basename "$deb") lacks $path"
  done
}
expect "$program" /usr/lib/corvala/cr /usr/lib/corvala/engine/rt.so /usr/lib/corvala/crsystem /usr/bin/corvala \
  /usr/bin/corvala-headless /usr/share/applications/corvala.desktop \
  /usr/share/icons/hicolor/scalable/apps/corvala.svg /usr/lib/systemd/user/corvala-headless.service \
  /lib/systemd/system/corvala-headless@.service /usr/share/doc/corvala/copyright
expect "$server" /usr/bin/crsignal /usr/bin/crweb /lib/systemd/system/crsignal.service \
  /lib/systemd/system/crweb.service /etc/default/crsignal /etc/default/crweb /etc/corvala-server/ \
  /usr/share/corvala-server/web/eula/ /usr/share/doc/corvala-server/copyright \
  /usr/share/doc/corvala-server/README.selfhosting
dpkg-deb --field "$program" Depends | grep -q 'gstreamer1.0-plugins-bad' || fail "corvala does not depend on the engine's plugins"
dpkg-deb --field "$program" Depends | grep -q 'libQt6Widgets\|libqt6widgets6' || fail "corvala's library dependencies are missing"
for conffile in /etc/default/crsignal /etc/default/crweb; do
  dpkg-deb --ctrl-tarfile "$server" | tar -xO ./conffiles | grep -qx "$conffile" || fail "$conffile is not a conffile"
done

# ---- lintian: errors fail, everything else is shown
if command -v lintian >/dev/null; then
  lintian --no-tag-display-limit "$program" "$server" > "$work/lintian" 2>&1 || true
  grep -E '^(W|I|N):' "$work/lintian" | sort | uniq -c | sed 's/^/check-packages: lintian /' || true
  if grep -q '^E:' "$work/lintian"; then
    grep '^E:' "$work/lintian" >&2
    fail "lintian reports errors"
  fi
else
  fail "lintian is not installed"
fi

# ---- the units, with the programs they name where the packages put them
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: > "$root/var/lib/dpkg/status"
: > "$root/var/lib/dpkg/available"
for deb in "$program" "$server"; do
  dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless --log=/dev/null \
    -i "$deb" > "$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "$(basename "$deb") does not install"; }
done
for path in /usr/lib/corvala/cr /usr/bin/crsignal /usr/bin/crweb /usr/bin/corvala-headless; do
  [ -x "$root$path" ] || fail "$path is not installed as a program"
done
[ "$(readlink -f "$root/usr/bin/corvala")" = "$root/usr/lib/corvala/cr" ] || fail "/usr/bin/corvala does not lead to the program"
# The installed programs find their libraries on this system and run.
for program in /usr/bin/crsignal /usr/bin/crweb; do
  "$root$program" --help >/dev/null 2>&1 || fail "the installed $program does not run"
done
set +e
"$root/usr/lib/corvala/crsystem" >/dev/null 2>&1; [ $? = 2 ] || fail "the installed crsystem does not run"
"$root/usr/bin/corvala-headless" --size tiny >/dev/null 2>&1; [ $? = 2 ] || fail "the installed corvala-headless does not run"
set -e
status=$(dpkg --root="$root" -s corvala corvala-server 2>/dev/null | grep -c '^Status: install ok installed' || true)
[ "$status" = 2 ] || fail "dpkg does not list both packages as installed"

# systemd-analyze checks the units against this system's programs: the units
# name /usr/bin/..., so they are checked in copies that name the installed ones.
units=$work/units
mkdir -p "$units"
for unit in "$root"/lib/systemd/system/*.service "$root"/usr/lib/systemd/user/*.service; do
  name=$(basename "$unit")
  sed "s|/usr/bin/|$root/usr/bin/|g" "$unit" > "$units/${name/@/@test}"
  sed -i "s|^User=%i|User=root|" "$units/${name/@/@test}"
done
if ! (cd "$units" && SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no ./*.service) > "$work/verify" 2>&1; then
  cat "$work/verify" >&2
  fail "systemd-analyze rejects a unit"
elif [ -s "$work/verify" ]; then
  sed 's/^/check-packages: systemd-analyze /' "$work/verify"
fi

[ "$failed" = 0 ] && echo "check-packages: both packages hold what they must, install and their units verify"
exit "$failed"
