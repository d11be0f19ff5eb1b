#!/usr/bin/env bash
# A private, headless GNOME desktop for tests: its own session bus with the accessibility bus, PipeWire
# with WirePlumber, mutter (headless, one 1920x1080 virtual monitor, Xwayland), GNOME's portal backend and
# xdg-desktop-portal with it and no other, plus an answerer that says "Share" to GNOME's screen-share
# question through the accessibility bus, as a person would.
#
#   gnome-session.sh run command [args...]  brings a desktop up, runs the command in it, takes it down
#   gnome-session.sh up DIR                 brings one up in DIR (made if missing) and writes DIR/env
#   gnome-session.sh down DIR               takes the one in DIR down
#
# DIR/env holds the variables a client needs (WAYLAND_DISPLAY, DISPLAY and XAUTHORITY of the Xwayland,
# XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS, XDG_SESSION_TYPE, XDG_CURRENT_DESKTOP=GNOME and
# ZELQ_WAYLAND_DIR=DIR). While DIR/hold exists the answerer leaves the question open; DIR/asking exists
# while the question is on the screen.
#
# mutter gives its Xwayland the first free X display, which another X server of the machine may be taking
# at the same moment: `run` therefore brings the desktop up, and runs the command, in a mount and network
# namespace of their own with a /tmp of their own (X displays are files in /tmp and sockets named in the
# network namespace). `up` takes the next free display beside the others.
#
# `run` hands the command ZELQ_WAYLAND_UNAVAILABLE=<why> when the desktop cannot start, so that a test
# can skip with that reason; under CI (CI=true) a desktop that cannot start fails instead.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
. "$here/desktop-services.sh"

xdpg=/usr/libexec/xdg-desktop-portal-gnome
a11y=/usr/libexec/at-spi-bus-launcher

# The X display of mutter's Xwayland: the lock file that names mutter's process.
xwayland_display() {
  local lock
  for lock in /tmp/.X*-lock; do
    [ "$(tr -d ' \n\0' <"$lock" 2>/dev/null)" = "$1" ] || continue
    lock=${lock#/tmp/.X}
    echo ":${lock%-lock}"
    return 0
  done
  return 1
}

up() {
  if [ -n "${ZELQ_GNOME_NO_NAMESPACE:-}" ]; then
    echo "gnome-session: no namespace of its own could be made (unshare --mount --net)" >&2
    return 1
  fi
  prepare_desktop "$1" mutter Xwayland pipewire wireplumber /usr/bin/python3 xdpyinfo "$xdpg" "$a11y" || return 1
  unset DISPLAY SWAYSOCK WAYLAND_DISPLAY XAUTHORITY
  export HOME=$dir/home XDG_RUNTIME_DIR=$run XDG_CONFIG_HOME=$dir/config XDG_DATA_HOME=$dir/data \
    XDG_CACHE_HOME=$dir/cache XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_DESKTOP=gnome XDG_SESSION_TYPE=wayland \
    DBUS_SESSION_BUS_ADDRESS=unix:path=$run/bus
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
  own_portals gnome gnome || return 1
  start_bus || return 1
  start pipewire pipewire
  waitfor 10 pipewire test -S "$run/pipewire-0" || return 1
  start wireplumber wireplumber
  # GNOME's question is a GTK window; the answerer reaches it through the accessibility bus.
  start a11y "$a11y" --launch-immediately
  waitfor 10 "the accessibility bus" bus_has org.a11y.Bus || return 1
  start mutter mutter --headless --wayland --virtual-monitor 1920x1080 --wayland-display wayland-0
  waitfor 30 mutter bus_has org.gnome.Mutter.ScreenCast || return 1
  export WAYLAND_DISPLAY=wayland-0
  # mutter reserves the X display at once and starts Xwayland for the first X client: xdpyinfo is that
  # client, so the display answers before the desktop counts as up.
  local mutterPid xdisplay auth
  mutterPid=$(sed -n 's/^mutter //p' "$dir/pids")
  waitfor 10 "mutter's X display" xwayland_display "$mutterPid" || return 1
  xdisplay=$(xwayland_display "$mutterPid")
  auth=$(ls "$run"/.mutter-Xwaylandauth.* 2>/dev/null | head -n 1)
  waitfor 30 Xwayland env DISPLAY="$xdisplay" XAUTHORITY="$auth" xdpyinfo || return 1
  start portal-gnome "$xdpg"
  waitfor 20 xdg-desktop-portal-gnome bus_has org.freedesktop.impl.portal.desktop.gnome || return 1
  start_portals || return 1
  start answerer /usr/bin/python3 "$here/gnome-answer.py" "$dir"
  printf '%s\n' "WAYLAND_DISPLAY=wayland-0" "DISPLAY=$xdisplay" "XAUTHORITY=$auth" "XDG_RUNTIME_DIR=$run" \
    "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS" "XDG_SESSION_TYPE=wayland" \
    "XDG_CURRENT_DESKTOP=GNOME" "ZELQ_WAYLAND_DIR=$dir" >"$dir/env"
}

case "${1:-}" in
run)
  # The desktop and the command keep their files in the namespace's /tmp, gone with it.
  # Someone other than root makes them inside a user namespace of their own, where they are root.
  ns=(unshare --mount --net --propagation private)
  [ "$(id -u)" -eq 0 ] || ns=(unshare --user --map-root-user --mount --net --propagation private)
  if [ -z "${ZELQ_GNOME_NAMESPACE:-}" ]; then
    if "${ns[@]}" true 2>/dev/null; then
      # A project that lives under /tmp itself (a clone there, as CI may make) is carried into the new
      # /tmp: it is opened before the new /tmp hides it, then bound back at its own path.
      project=$(cd "$here/.." && pwd)
      exec env ZELQ_GNOME_NAMESPACE=1 ZELQ_GNOME_PROJECT="$project" "${ns[@]}" -- bash -c '
        exec 9<"$ZELQ_GNOME_PROJECT" &&
        mount -t tmpfs -o mode=1777 tmpfs /tmp && install -d -m 1777 /tmp/.X11-unix &&
        case $ZELQ_GNOME_PROJECT in
          /tmp/*) mkdir -p "$ZELQ_GNOME_PROJECT" && mount --no-canonicalize --bind /proc/self/fd/9 "$ZELQ_GNOME_PROJECT" ;;
        esac && exec 9<&- && exec "$0" "$@"' "$0" "$@"
    fi
    export ZELQ_GNOME_NO_NAMESPACE=1
  fi
  # The caller's X display is out of reach in the namespace: a command left without the desktop must
  # start without any display, to skip and say why.
  unset DISPLAY
  ;;
esac
desktop_main gnome "the headless GNOME desktop could not start (see scripts/gnome-session.sh)" 2,22p "$@"
