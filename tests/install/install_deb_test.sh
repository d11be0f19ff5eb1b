#!/usr/bin/env bash
# The .deb as a user meets it: lintian finds no error in it; it installs; its menu entry validates and
# starts the program on this X server; closing the window writes the settings into the user's
# configuration folder, not beside the installed executable; it removes cleanly.
# Needs root to install; skipped (77) otherwise, and when the package is already installed on this
# machine, which this test must not replace or remove.
#   install_deb_test.sh <source folder> <build folder> <application id>
set -euo pipefail
src=$1 build=$2 id=$3
package=zelq-screenrec
fail() { echo "FAIL: $*" >&2; exit 1; }
installed() { dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; }

[ "$(id -u)" -eq 0 ] || { echo "installing a package needs root: skipped"; exit 77; }
# Several checkouts on one machine run this test; one package can be installed at a time.
exec 9>/tmp/zelq-deb-test.lock
flock 9
if installed; then echo "$package is installed on this machine already: skipped"; exit 77; fi

deb=$("$src/scripts/make-deb.sh" "$build")
lintian --fail-on error "$deb" || fail "lintian reports errors"

# dpkg refuses at once while another dpkg or apt runs; wait for it.
dpkg_waiting() {
  local out
  for _ in $(seq 120); do
    if out=$(dpkg "$@" 2>&1); then return 0; fi
    grep -q "lock" <<<"$out" || { echo "$out" >&2; return 1; }
    sleep 1
  done
  echo "$out" >&2
  return 1
}

work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  installed && dpkg_waiting -r "$package"
  rm -rf "$work"
}
trap cleanup EXIT
dpkg_waiting -i "$deb" || fail "dpkg -i failed"

entry=/usr/share/applications/$id.desktop
desktop-file-validate "$entry" || fail "the installed entry does not validate"
# Started as the menu starts it: the entry's command, found on the PATH.
command=$(sed -n 's/^Exec=//p' "$entry")
export HOME=$work/home XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME"
(cd "$work" && exec $command) &
pid=$!
window=
for _ in $(seq 200); do
  window=$(xdotool search --onlyvisible --name '^ZELQ屏幕录像助手1\.2$' 2>/dev/null | head -n1) || true
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "the installed program shows no window"

# Closed as a user closes it: Alt+F4, through the window manager. A window just mapped may not have the
# focus yet when the key arrives, so the user tries again.
for _ in $(seq 5); do
  xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4 2>/dev/null || true
  for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break 2; sleep 0.1; done
done
kill -0 "$pid" 2>/dev/null && fail "the program did not end when its window was closed"
wait "$pid" || fail "the program ended with status $?"
pid=

settings=$XDG_CONFIG_HOME/zelq-screenrec/defualt.ini
[ -f "$settings" ] || fail "no settings in $settings"
grep -qx "IsFirtRunSoftware=0" "$settings" || fail "the settings were not written at exit"
[ ! -e /usr/bin/defualt.ini ] || fail "the installed copy wrote beside its executable"

dpkg_waiting -r "$package" || fail "dpkg -r failed"
installed && fail "still installed after dpkg -r"
for f in /usr/bin/zelq-screenrec "$entry" "/usr/share/metainfo/$id.metainfo.xml"; do
  [ ! -e "$f" ] || fail "$f is left after removal"
done
echo "the package installs, starts from its menu entry, keeps the settings per user and removes cleanly"
