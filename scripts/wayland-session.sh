#!/usr/bin/env bash
# A private, headless Wayland desktop for tests: its own session bus, PipeWire with WirePlumber, sway
# (software rendering, one 1920x1080 output, its own Xwayland), the screen-cast portal of wlroots desktops
# (built by scripts/build-xdpw.sh) and xdg-desktop-portal, plus a terminal that scrolls without end so
# that the screen keeps changing.
#
#   wayland-session.sh run command [args...]  brings a desktop up, runs the command in it, takes it down
#   wayland-session.sh up DIR                 brings one up in DIR (made if missing) and writes DIR/env
#   wayland-session.sh down DIR               takes the one in DIR down
#
# DIR/env holds the variables a client needs (WAYLAND_DISPLAY, DISPLAY of the Xwayland, XDG_RUNTIME_DIR,
# DBUS_SESSION_BUS_ADDRESS, SWAYSOCK, XDG_SESSION_TYPE, and ZELQ_WAYLAND_DIR=DIR), one KEY=value a line;
# DIR/pids names each service's process. Everything lives in DIR,
# so several desktops (and other private servers) run side by side.
#
# ZELQ_WAYLAND_SCALE=2 scales the output by 2 (a high-density monitor: the desktop, and Xwayland with it,
# is 960x540, the monitor's picture 1920x1080). The desktop's portal backends are its own, whatever else
# the machine has installed; ZELQ_WAYLAND_SHORTCUTS=kde adds KDE's GlobalShortcuts backend (see portals()).
#
# `run` hands the command ZELQ_WAYLAND_UNAVAILABLE=<why> when the desktop cannot start, so that a test
# can skip with that reason; under CI (CI=true) a desktop that cannot start fails instead.
set -uo pipefail

xdpw=${ZELQ_XDPW_BIN:-/usr/local/libexec/zelq-screenrec/xdg-desktop-portal-wlr}

. "$(dirname "$0")/desktop-services.sh"

# portals: sway's own portal backend, and no other (own_portals). ZELQ_WAYLAND_SHORTCUTS=kde offers KDE's
# GlobalShortcuts backend as well, as a sway user who has KDE's portal installed gets it: offered, but it
# never binds a key here.
portals() {
  own_portals sway wlr || return 1
  case "${ZELQ_WAYLAND_SHORTCUTS:-}" in
  "") ;;
  kde)
    local kde=/usr/share/xdg-desktop-portal/portals/kde.portal
    [ -f "$kde" ] || { echo "wayland-session: xdg-desktop-portal-kde is missing (scripts/install-deps.sh)" >&2; return 1; }
    { echo '[portal]'; grep '^DBusName=' "$kde"
      echo 'Interfaces=org.freedesktop.impl.portal.GlobalShortcuts'; echo 'UseIn=sway'; } >"$XDG_DESKTOP_PORTAL_DIR/kde.portal"
    echo 'org.freedesktop.impl.portal.GlobalShortcuts=kde' >>"$XDG_CONFIG_HOME/xdg-desktop-portal/sway-portals.conf"
    ;;
  *) echo "wayland-session: ZELQ_WAYLAND_SHORTCUTS=$ZELQ_WAYLAND_SHORTCUTS is not known" >&2; return 1 ;;
  esac
}

up() {
  prepare_desktop "$1" sway Xwayland pipewire wireplumber foot "$xdpw" || return 1
  # The services' own environment: nothing of the caller's desktop may leak in (a stale SWAYSOCK stops
  # sway from making its own socket; a DISPLAY would make sway's Xwayland a client of another server).
  unset DISPLAY SWAYSOCK WAYLAND_DISPLAY
  export HOME=$dir/home XDG_RUNTIME_DIR=$run XDG_CONFIG_HOME=$dir/config XDG_CURRENT_DESKTOP=sway \
    XDG_SESSION_TYPE=wayland DBUS_SESSION_BUS_ADDRESS=unix:path=$run/bus
  mkdir -p "$XDG_CONFIG_HOME"
  portals || return 1
  # Xwayland is started at once (force), not at the first X client, so its display can be handed out.
  printf '%s\n' 'xwayland force' "output HEADLESS-1 resolution 1920x1080 position 0 0 scale ${ZELQ_WAYLAND_SCALE:-1}" 'default_border none' \
    "exec echo \$DISPLAY >$dir/xdisplay" >"$dir/sway.config"
  # chooser_type=none: the first output is cast without asking anyone to choose.
  printf '%s\n' '[screencast]' 'output_name=HEADLESS-1' 'chooser_type=none' >"$dir/xdpw.config"
  start_bus || return 1
  start pipewire pipewire
  waitfor 10 pipewire test -S "$run/pipewire-0" || return 1
  start wireplumber wireplumber
  # sway refuses to run as root: as root it runs in a user namespace where we are an ordinary user.
  local asUser=()
  if [ "$(id -u)" -eq 0 ]; then asUser=(unshare --user --map-user=1000 --map-group=1000); fi
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=1 \
    start sway "${asUser[@]}" sway -c "$dir/sway.config"
  waitfor 20 sway sh -c "ls $run/sway-ipc.*.sock && test -S $run/wayland-1" || return 1
  export SWAYSOCK WAYLAND_DISPLAY=wayland-1
  SWAYSOCK=$(ls "$run"/sway-ipc.*.sock)
  waitfor 20 Xwayland sh -c "test -s $dir/xdisplay && xdpyinfo -display \$(cat $dir/xdisplay)" || return 1
  start xdpw "$xdpw" -c "$dir/xdpw.config"
  waitfor 10 xdg-desktop-portal-wlr bus_has org.freedesktop.impl.portal.desktop.wlr || return 1
  start_portals || return 1
  # A test holds the screen still by making the file DIR/pause, and lets it scroll again by removing it;
  # DIR/paused says the terminal has printed its last line (on a loaded machine a line may come late).
  start foot foot sh -c "i=0; while :; do if [ -e '$dir/pause' ]; then touch '$dir/paused'; sleep 0.05; continue; fi; rm -f '$dir/paused'; i=\$((i+1)); echo \"line \$i \$(date +%T.%N) abcdefghijklmnopqrstuvwxyz\"; sleep 0.01; done"
  waitfor 20 "the terminal" sh -c "swaymsg -t get_tree | grep -q '\"app_id\": \"foot\"'" || return 1
  printf '%s\n' "WAYLAND_DISPLAY=wayland-1" "DISPLAY=$(cat "$dir/xdisplay")" "XDG_RUNTIME_DIR=$run" \
    "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS" "SWAYSOCK=$SWAYSOCK" "XDG_SESSION_TYPE=wayland" \
    "XDG_CURRENT_DESKTOP=sway" "ZELQ_WAYLAND_DIR=$dir" >"$dir/env"
}

desktop_main wayland "the headless Wayland desktop could not start (see scripts/wayland-session.sh)" 2,18p "$@"
