#!/usr/bin/env bash
# `cmake --install` lays out the program for the desktop: the executable with its
# license beside it, a command on the PATH, the desktop entry and the icon.
set -u
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null || { echo "install failed" >&2; exit 1; }
status=0
for f in usr/libexec/dorvantis/dorvantis usr/libexec/dorvantis/license.txt usr/bin/dorvantis \
         usr/share/applications/dorvantis.desktop usr/share/icons/hicolor/scalable/apps/dorvantis.svg; do
  [ -e "$dest/$f" ] || { echo "missing after install: /$f" >&2; status=1; }
done
[ "$(readlink "$dest/usr/bin/dorvantis")" = "../libexec/dorvantis/dorvantis" ] || { echo "bin/dorvantis does not point at the program" >&2; status=1; }
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$dest/usr/share/applications/dorvantis.desktop" || status=1
fi
[ $status -eq 0 ] && echo "install: executable, license, desktop entry and icon in place"
exit $status
