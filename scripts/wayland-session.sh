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

# A zombie still answers kill -0: a process counts as alive only when its state is not Z.
alive() {
  local s
  s=$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null) && [ "$s" != Z ]
}
descendants() {
  local c
  for c in $(ps -o pid= --ppid "$1" 2>/dev/null); do
    echo "$c"
    descendants "$c"
  done
}
# waitfor SECONDS what command...: polls until the command succeeds.
waitfor() {
  local limit=$(($1 * 20)) what=$2 i=0
  shift 2
  until "$@" >/dev/null 2>&1; do
    sleep 0.05
    i=$((i + 1))
    if [ $i -gt $limit ]; then
      echo "wayland-session: $what did not come up (logs in $dir/logs)" >&2
      return 1
    fi
  done
}
bus_has() {
  gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
    -m org.freedesktop.DBus.NameHasOwner "$1" | grep -q true
}
# start NAME command...: a service of the desktop, its output in logs/NAME.log, its pid remembered.
start() {
  local name=$1
  shift
  "$@" >"$dir/logs/$name.log" 2>&1 </dev/null &
  echo "$name $!" >>"$dir/pids"
}

# portals DIR: the portal backends this desktop uses, and no other. xdg-desktop-portal picks a backend per
# interface among the installed ones and, where none is meant for the current desktop, falls back to any
# (KDE's GlobalShortcuts, which cannot work without KDE): what the desktop offers would depend on what else
# the machine has. Version 1.16 (Debian 12) reads the backends only from XDG_DESKTOP_PORTAL_DIR; later
# versions choose by DIR/config/xdg-desktop-portal/sway-portals.conf.
# ZELQ_WAYLAND_SHORTCUTS=kde offers KDE's GlobalShortcuts backend as well, as a sway user who has KDE's
# portal installed gets it: offered, but it never binds a key here.
portals() {
  local folder=$1/portals system=/usr/share/xdg-desktop-portal/portals
  mkdir -p "$folder" "$XDG_CONFIG_HOME/xdg-desktop-portal"
  cp "$system/wlr.portal" "$folder/" || return 1
  printf '%s\n' '[preferred]' 'default=wlr' >"$XDG_CONFIG_HOME/xdg-desktop-portal/sway-portals.conf"
  case "${ZELQ_WAYLAND_SHORTCUTS:-}" in
  "") ;;
  kde)
    [ -f "$system/kde.portal" ] || { echo "wayland-session: xdg-desktop-portal-kde is missing (scripts/install-deps.sh)" >&2; return 1; }
    { echo '[portal]'; grep '^DBusName=' "$system/kde.portal"
      echo 'Interfaces=org.freedesktop.impl.portal.GlobalShortcuts'; echo 'UseIn=sway'; } >"$folder/kde.portal"
    printf '%s\n' 'org.freedesktop.impl.portal.GlobalShortcuts=kde' >>"$XDG_CONFIG_HOME/xdg-desktop-portal/sway-portals.conf"
    ;;
  *) echo "wayland-session: ZELQ_WAYLAND_SHORTCUTS=$ZELQ_WAYLAND_SHORTCUTS is not known" >&2; return 1 ;;
  esac
  export XDG_DESKTOP_PORTAL_DIR=$folder
}

up() {
  dir=$1
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  if [ -s "$dir/pids" ]; then
    echo "wayland-session: a desktop already runs in $dir" >&2
    return 1
  fi
  for tool in sway Xwayland pipewire wireplumber dbus-daemon gdbus foot /usr/libexec/xdg-desktop-portal \
      /usr/libexec/xdg-permission-store "$xdpw"; do
    command -v "$tool" >/dev/null || { echo "wayland-session: $tool is missing (scripts/install-deps.sh)" >&2; return 1; }
  done
  local run=$dir/run
  install -d -m 0700 "$run"
  mkdir -p "$dir/logs" "$dir/home"
  : >"$dir/pids"
  # The services' own environment: nothing of the caller's desktop may leak in (a stale SWAYSOCK stops
  # sway from making its own socket; a DISPLAY would make sway's Xwayland a client of another server).
  unset DISPLAY SWAYSOCK WAYLAND_DISPLAY
  export HOME=$dir/home XDG_RUNTIME_DIR=$run XDG_CONFIG_HOME=$dir/config XDG_CURRENT_DESKTOP=sway \
    XDG_SESSION_TYPE=wayland DBUS_SESSION_BUS_ADDRESS=unix:path=$run/bus
  mkdir -p "$XDG_CONFIG_HOME"
  portals "$dir" || return 1
  # Xwayland is started at once (force), not at the first X client, so its display can be handed out.
  printf '%s\n' 'xwayland force' "output HEADLESS-1 resolution 1920x1080 position 0 0 scale ${ZELQ_WAYLAND_SCALE:-1}" 'default_border none' \
    "exec echo \$DISPLAY >$dir/xdisplay" >"$dir/sway.config"
  # chooser_type=none: the first output is cast without asking anyone to choose.
  printf '%s\n' '[screencast]' 'output_name=HEADLESS-1' 'chooser_type=none' >"$dir/xdpw.config"
  cat >"$dir/bus.conf" <<X
<busconfig><type>session</type><listen>unix:path=$run/bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
X
  start dbus dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile
  waitfor 10 "the session bus" test -S "$run/bus" || return 1
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
  start permission-store /usr/libexec/xdg-permission-store --replace
  waitfor 10 xdg-permission-store bus_has org.freedesktop.impl.portal.PermissionStore || return 1
  start portal /usr/libexec/xdg-desktop-portal
  waitfor 10 xdg-desktop-portal bus_has org.freedesktop.portal.Desktop || return 1
  # A test holds the screen still by making the file DIR/pause, and lets it scroll again by removing it.
  start foot foot sh -c "i=0; while :; do if [ -e '$dir/pause' ]; then sleep 0.05; continue; fi; i=\$((i+1)); echo \"line \$i \$(date +%T.%N) abcdefghijklmnopqrstuvwxyz\"; sleep 0.01; done"
  waitfor 20 "the terminal" sh -c "swaymsg -t get_tree | grep -q '\"app_id\": \"foot\"'" || return 1
  printf '%s\n' "WAYLAND_DISPLAY=wayland-1" "DISPLAY=$(cat "$dir/xdisplay")" "XDG_RUNTIME_DIR=$run" \
    "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS" "SWAYSOCK=$SWAYSOCK" "XDG_SESSION_TYPE=wayland" \
    "XDG_CURRENT_DESKTOP=sway" "ZELQ_WAYLAND_DIR=$dir" >"$dir/env"
}

down() {
  dir=$1
  [ -s "$dir/pids" ] || return 0
  local name pid kids="" i left=""
  while read -r name pid; do kids="$kids $(descendants "$pid")"; done <"$dir/pids"
  # Last started first: clients go before the servers they talk to.
  while read -r name pid; do
    alive "$pid" || continue
    kill -TERM "$pid" 2>/dev/null
    for i in $(seq 60); do alive "$pid" || break; sleep 0.05; done
    alive "$pid" && kill -KILL "$pid" 2>/dev/null
  done < <(tac "$dir/pids")
  for pid in $kids; do alive "$pid" && kill -KILL "$pid" 2>/dev/null && left="$left $pid"; done
  : >"$dir/pids"
  rm -rf "$dir/run" "$dir/env" "$dir/xdisplay"
  [ -z "$left" ] || echo "wayland-session: had to kill$left" >&2
}

case "${1:-}" in
up) up "$2" ;;
down) down "$2" ;;
run)
  shift
  dir=$(mktemp -d /tmp/zelq-wayland.XXXXXX)
  trap 'down "$dir"; rm -rf "$dir"' EXIT
  if ( up "$dir" ); then
    set -a
    . "$dir/env"
    set +a
  else
    if [ "${CI:-}" = true ]; then
      echo "wayland-session: the Wayland desktop must start under CI; logs:" >&2
      tail -n 20 "$dir"/logs/*.log >&2
      exit 1
    fi
    export ZELQ_WAYLAND_UNAVAILABLE="the headless Wayland desktop could not start (see scripts/wayland-session.sh)"
    # Without the desktop's Xwayland there may be no display at all: the command must still start, to say so.
    [ -n "${DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen
  fi
  "$@"
  ;;
*)
  sed -n '2,18p' "$0" >&2
  exit 2
  ;;
esac
