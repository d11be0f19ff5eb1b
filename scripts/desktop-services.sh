# Sourced by the scripts that bring up a private desktop for tests (wayland-session.sh, kde-session.sh):
# services started and logged in $dir, waited for, and taken down again; `run_desktop` runs a command in a
# desktop of its own. The sourcing script defines up DIR, which starts the services and writes DIR/env.

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
      echo "desktop: $what did not come up (logs in $dir/logs)" >&2
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

# prepare_desktop DIR TOOL...: makes DIR (absolute from then on, in $dir, with its runtime folder $run,
# logs and home) for a desktop that needs these programs; false when one is missing or a desktop already
# runs there.
prepare_desktop() {
  dir=$1
  shift
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  if [ -s "$dir/pids" ]; then
    echo "desktop: a desktop already runs in $dir" >&2
    return 1
  fi
  local tool
  for tool in dbus-daemon gdbus /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-permission-store "$@"; do
    command -v "$tool" >/dev/null || { echo "desktop: $tool is missing (scripts/install-deps.sh)" >&2; return 1; }
  done
  run=$dir/run
  install -d -m 0700 "$run"
  mkdir -p "$dir/logs" "$dir/home"
  : >"$dir/pids"
}

# start_bus: the desktop's own session bus at $run/bus (DBUS_SESSION_BUS_ADDRESS must name it).
start_bus() {
  cat >"$dir/bus.conf" <<X
<busconfig><type>session</type><listen>unix:path=$run/bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
X
  start dbus dbus-daemon --config-file="$dir/bus.conf" --nofork --nopidfile
  waitfor 10 "the session bus" test -S "$run/bus"
}

# start_portals: the permission store and xdg-desktop-portal, once the desktop's own backend is up.
start_portals() {
  start permission-store /usr/libexec/xdg-permission-store --replace
  waitfor 10 xdg-permission-store bus_has org.freedesktop.impl.portal.PermissionStore || return 1
  start portal /usr/libexec/xdg-desktop-portal
  waitfor 10 xdg-desktop-portal bus_has org.freedesktop.portal.Desktop
}

# desktop_main NAME WHY USAGE-LINES up|down|run ...: the scripts' command line (see their heads).
desktop_main() {
  local name=$1 why=$2 usage=$3
  shift 3
  case "${1:-}" in
  up) up "$2" ;;
  down) down "$2" ;;
  run)
    shift
    run_desktop "$name" "$why" "$@"
    ;;
  *)
    sed -n "$usage" "$0" >&2
    exit 2
    ;;
  esac
}

# own_portals DESKTOP BACKEND...: the portal backends this desktop uses, and no other (the first is the
# default). xdg-desktop-portal picks a backend per interface among the installed ones and, where none is
# meant for the current desktop, falls back to any (KDE's GlobalShortcuts on sway, which cannot work
# without KDE): what a desktop offers would depend on what else the machine has. Version 1.16 (Debian 12)
# reads the backends only from XDG_DESKTOP_PORTAL_DIR; later versions choose by DESKTOP-portals.conf.
# Needs dir and XDG_CONFIG_HOME set.
own_portals() {
  local desktop=$1 folder=$dir/portals conf=$XDG_CONFIG_HOME/xdg-desktop-portal b
  shift
  mkdir -p "$folder" "$conf"
  printf '%s\n' '[preferred]' "default=$1" >"$conf/$desktop-portals.conf"
  for b in "$@"; do
    cp "/usr/share/xdg-desktop-portal/portals/$b.portal" "$folder/" ||
      { echo "desktop: the $b portal backend is missing (scripts/install-deps.sh)" >&2; return 1; }
  done
  export XDG_DESKTOP_PORTAL_DIR=$folder
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
  [ -z "$left" ] || echo "desktop: had to kill$left" >&2
}

# run_desktop NAME WHY command...: brings a desktop up in a folder of its own, runs the command in it with
# DIR/env's variables, and takes it down. Where it cannot start, the command is handed
# ZELQ_WAYLAND_UNAVAILABLE=WHY, so that a test can skip with that reason; under CI (CI=true) that fails.
run_desktop() {
  local name=$1 why=$2
  shift 2
  dir=$(mktemp -d "/tmp/zelq-$name.XXXXXX")
  trap 'down "$dir"; rm -rf "$dir"' EXIT
  if ( up "$dir" ); then
    set -a
    . "$dir/env"
    set +a
  else
    if [ "${CI:-}" = true ]; then
      echo "$name: the desktop must start under CI; logs:" >&2
      tail -n 20 "$dir"/logs/*.log >&2
      exit 1
    fi
    export ZELQ_WAYLAND_UNAVAILABLE="$why"
    # Without the desktop's Xwayland there may be no display at all: the command must still start, to say so.
    [ -n "${DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen
  fi
  "$@"
  local status=$?
  # The desktop's logs go with its folder: a command that failed shows their ends first.
  if [ $status -ne 0 ] && [ -d "$dir/logs" ]; then
    echo "$name: the command failed ($status); the desktop's logs end:" >&2
    tail -n 8 "$dir"/logs/*.log >&2
  fi
  return $status
}
