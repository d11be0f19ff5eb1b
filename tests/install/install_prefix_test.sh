#!/usr/bin/env bash
# cmake --install into a fresh prefix: every file the desktop needs, in its place, accepted by the
# desktop's own validators; the installed program answers --version and --help without a display.
#   install_prefix_test.sh <build folder> <application id>
set -euo pipefail
build=$1 id=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

entry=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
for f in bin/zelq-screenrec "${entry#"$prefix/"}" "${metainfo#"$prefix/"}" \
         share/icons/hicolor/scalable/apps/$id.svg share/doc/zelq-screenrec/copyright; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
for size in 48 128 256; do
  got=$(identify -format '%wx%h' "$prefix/share/icons/hicolor/${size}x$size/apps/$id.png")
  [ "$got" = "${size}x$size" ] || fail "the ${size}px icon is $got"
done

remarks=$(desktop-file-validate "$entry") || fail "desktop-file-validate: $remarks"
[ -z "$remarks" ] || fail "desktop-file-validate: $remarks"
appstreamcli validate --no-net "$metainfo"
# What the validators cannot know: the entry starts the installed program and shows the installed icon.
grep -qx "Exec=zelq-screenrec" "$entry" || fail "Exec does not name the installed program"
grep -qx "Icon=$id" "$entry" || fail "Icon does not name the installed icon"
grep -qx "Name=ZELQ屏幕录像助手" "$entry" || fail "wrong Name"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "metainfo launches another entry"

version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/zelq-screenrec" --version)
[ "$version" = "ZELQ屏幕录像助手 1.2" ] || fail "--version printed '$version'"
help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/zelq-screenrec" --help)
for option in --help --version; do
  grep -q -- "$option" <<<"$help" || fail "--help does not list $option"
done
echo "installed to a prefix: files in place, validators satisfied, --version and --help answer"
