#!/usr/bin/env bash
# A private, headless KDE Plasma desktop for tests of its GlobalShortcuts portal: its own session bus, KWin
# (virtual backend, one 1920x1080 output; its global shortcuts service, kglobalaccel, runs inside it),
# xdg-desktop-portal-kde and xdg-desktop-portal with KDE's backend and no other.
#
#   kde-session.sh run command [args...]  brings a desktop up, runs the command in it, takes it down
#   kde-session.sh up DIR                 brings one up in DIR (made if missing) and writes DIR/env
#   kde-session.sh down DIR               takes the one in DIR down
#
# DIR/env holds the variables a client needs (WAYLAND_DISPLAY, XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS,
# XDG_SESSION_TYPE, XDG_CURRENT_DESKTOP=KDE and ZELQ_KDE_DIR=DIR). KWin's screen cast sends no pictures on
# a machine without a GPU, so this desktop serves the shortcut tests only.
#
# `run` hands the command ZELQ_WAYLAND_UNAVAILABLE=<why> when the desktop cannot start, so that a test
# can skip with that reason; under CI (CI=true) a desktop that cannot start fails instead.
set -uo pipefail

. "$(dirname "$0")/desktop-services.sh"

kwin=/usr/bin/kwin_wayland
xdpk=/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde

up() {
  prepare_desktop "$1" "$kwin" "$xdpk" || return 1
  unset DISPLAY SWAYSOCK WAYLAND_DISPLAY
  export HOME=$dir/home XDG_RUNTIME_DIR=$run XDG_CONFIG_HOME=$dir/config XDG_DATA_HOME=$dir/data \
    XDG_CACHE_HOME=$dir/cache XDG_CURRENT_DESKTOP=KDE XDG_SESSION_DESKTOP=KDE KDE_FULL_SESSION=true \
    KDE_SESSION_VERSION=5 XDG_SESSION_TYPE=wayland DBUS_SESSION_BUS_ADDRESS=unix:path=$run/bus
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
  own_portals kde kde || return 1
  start_bus || return 1
  # The installed KWin carries the file capability cap_sys_resource, which a container without it cannot
  # exec (EPERM); a plain copy has none and runs.
  cp "$kwin" "$dir/kwin_wayland"
  start kwin "$dir/kwin_wayland" --virtual --width 1920 --height 1080 --socket wayland-0 --no-lockscreen
  waitfor 30 KWin test -S "$run/wayland-0" || return 1
  export WAYLAND_DISPLAY=wayland-0
  waitfor 20 kglobalaccel bus_has org.kde.kglobalaccel || return 1
  QT_QPA_PLATFORM=wayland start portal-kde "$xdpk"
  waitfor 20 xdg-desktop-portal-kde bus_has org.freedesktop.impl.portal.desktop.kde || return 1
  start_portals || return 1
  printf '%s\n' "WAYLAND_DISPLAY=wayland-0" "XDG_RUNTIME_DIR=$run" "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS" \
    "XDG_SESSION_TYPE=wayland" "XDG_CURRENT_DESKTOP=KDE" "ZELQ_KDE_DIR=$dir" >"$dir/env"
}

desktop_main kde "the headless KDE desktop could not start (see scripts/kde-session.sh)" 2,15p "$@"
