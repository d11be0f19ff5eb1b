#!/usr/bin/env bash
# Builds the screen-cast portal of wlroots desktops (xdg-desktop-portal-wlr) from Debian's own source with
# one change, for the headless Wayland desktop the tests run (scripts/wayland-session.sh).
#
# Why: Debian's build refuses to cast on a machine without a GPU ("unable to receive a valid format from
# wlr_screencopy"): it insists on a DMA-BUF format that sway's software renderer never offers.
# xdpw-shm-only.patch asks for DMA-BUF only where a GBM device exists, so the cast comes from shared
# memory. Desktops with a GPU, and the GNOME and KDE portals, do not need any of this.
#
# Idempotent and cached: the build is kept in $ZELQ_XDPW_CACHE and redone only when the source version
# or the patch changes. The binary goes to $ZELQ_XDPW_BIN. Run by scripts/install-deps.sh (as root or
# through sudo, since it adds a deb-src line and build packages).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=${ZELQ_XDPW_CACHE:-/var/cache/zelq-screenrec/xdpw}
bin=${ZELQ_XDPW_BIN:-/usr/local/libexec/zelq-screenrec/xdg-desktop-portal-wlr}
patch_file="$here/xdpw-shm-only.patch"

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

version=$(dpkg-query -W -f='${Version}' xdg-desktop-portal-wlr 2>/dev/null || true)
[ -n "$version" ] || { echo "build-xdpw: xdg-desktop-portal-wlr is not installed" >&2; exit 1; }
stamp="$version $(sha256sum "$patch_file" | cut -d' ' -f1)"
if [ -x "$bin" ] && [ "$(cat "$cache/stamp" 2>/dev/null)" = "$stamp" ]; then
  exit 0
fi
echo "Building the shared-memory xdg-desktop-portal-wlr $version"

# Debian's source needs a deb-src line for the release this machine runs.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
# Signed by the same key as the binary lines: apt refuses one source with two different Signed-By.
srclist=/etc/apt/sources.list.d/zelq-screenrec-src.sources
if ! grep -rqs "^deb-src .* $codename " /etc/apt/sources.list /etc/apt/sources.list.d/*.list &&
   ! grep -rqs "^Types:.*deb-src" /etc/apt/sources.list.d/*.sources; then
  printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' "Suites: $codename" 'Components: main' \
    'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' | "${sudo_cmd[@]}" tee "$srclist" >/dev/null
  "${sudo_cmd[@]}" apt-get update -qq
fi

"${sudo_cmd[@]}" mkdir -p "$cache"
"${sudo_cmd[@]}" chown "$(id -u):$(id -g)" "$cache"
work=$(mktemp -d "$cache/build.XXXXXX")
trap 'rm -rf "$work"' EXIT
# apt fetches as its own user (_apt), which must be able to write here.
chmod 0755 "$work"
(cd "$work" && apt-get source -qq --download-only "xdg-desktop-portal-wlr=$version" >/dev/null &&
  dpkg-source -x --no-check ./*.dsc src >/dev/null)
patch -d "$work/src" -p1 <"$patch_file"
# Only the executable is needed: no man page (scdoc), no systemd unit.
meson setup "$work/build" "$work/src" --buildtype=release -Dman-pages=disabled -Dsd-bus-provider=libsystemd >/dev/null
ninja -C "$work/build" -j2 >/dev/null
"${sudo_cmd[@]}" install -D -m 0755 "$work/build/xdg-desktop-portal-wlr" "$bin"
echo "$stamp" >"$cache/stamp"
echo "Installed $bin"
