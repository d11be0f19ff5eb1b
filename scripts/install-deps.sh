#!/usr/bin/env bash
# Installs the Debian 12 packages the program, its tests and its benches need.
# Idempotent: only packages that are missing are installed, so a second run is quick.
# With --program (scripts/run.sh, scripts/package.sh) the private Wayland desktop and sound server of the
# tests are left out: a user who only builds and runs the program gets no compositor, no extra source
# line in apt's lists and no portal backend built on the machine.
set -euo pipefail
program_only=false
if [ "${1:-}" = "--program" ]; then program_only=true; fi

packages=(
  # build
  cmake ninja-build g++ pkg-config git
  # toolkit and browser
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libgl-dev ccache
  # video
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libswresample-dev libavfilter-dev
  # screen and keys
  libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-keysyms1-dev libxcb-damage0-dev libxcb-shape0-dev
  # monitors side by side and a desktop scale (xrandr --setmonitor, xrdb Xft.dpi) in the end-to-end tests
  x11-xserver-utils
  # tests, benches and looking at the program
  libgtest-dev libgmock-dev libbenchmark-dev xvfb openbox xdotool ffmpeg x11-utils imagemagick xterm
  # Chinese text on screen, and Qt's own texts (file dialogs, questions, context menus) in Chinese
  fonts-wqy-zenhei qt6-translations-l10n
  # checks of the desktop entries (menu and autostart), the metainfo and the .deb
  desktop-file-utils appstream lintian
  # Wayland: the ScreenCast portal's PipeWire stream; sound: libpulse talks to PulseAudio and to
  # PipeWire's PulseAudio interface
  libpipewire-0.3-dev libpulse-dev
)
if ! $program_only; then
  packages+=(
    # the player bench's peer: mpv playing the same files into a window of the panel's size
    mpv
    # a headless Wayland desktop for the Wayland tests (scripts/wayland-session.sh); the rest builds the
    # patched portal backend (scripts/build-xdpw.sh)
    sway xwayland pipewire pipewire-bin wireplumber xdg-desktop-portal
    xdg-desktop-portal-wlr dbus libglib2.0-bin foot grim dpkg-dev patch
    meson libdrm-dev libinih-dev libgbm-dev libwayland-dev wayland-protocols libsystemd-dev
    # other desktops' portal backends, as many machines have them: the test desktop must choose only its
    # own, and KDE's offers sway a shortcut portal that binds nothing (tests/wayland, foreign_shortcuts)
    xdg-desktop-portal-kde xdg-desktop-portal-gnome
    # a headless KDE Plasma for the tests of its shortcut portal (scripts/kde-session.sh): KWin, with
    # the global shortcut service inside it, and Qt 5's Wayland platform for KDE's portal backend
    kwin-wayland qtwayland5
    # a headless GNOME for the Wayland tests (scripts/gnome-session.sh): mutter with its Xwayland, and
    # the accessibility bus through which the tests answer GNOME's screen-share question as a person
    # would (scripts/gnome-answer.py, in Debian's Python)
    mutter at-spi2-core gir1.2-atspi-2.0 python3-gi
    # a file system that hangs on demand (FUSE, in Debian's Python), for the listing of a recordings
    # folder that does not answer (tests/app/heldfs.py)
    python3-fuse
    # the sound tests' private PipeWire (scripts/sound-session.sh) on its own D-Bus session bus, set up
    # with pactl
    pipewire-pulse pulseaudio-utils dbus-daemon
    # a peer recorder beside ffmpeg in the recording benches (bench/rates, bench/program)
    simplescreenrecorder
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The screen-cast portal backend that casts without a GPU, for the tests (cached: quick when built).
if ! $program_only; then
  "$(dirname "$0")/build-xdpw.sh"
fi
