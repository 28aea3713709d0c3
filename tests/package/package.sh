#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks what a user installs: its
# control fields, every file in it, lintian, the AppStream and desktop entries, and the
# unpacked program and manual page.
# Usage: package.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

# A scratch output folder: the package of the build tree itself is left alone.
if ! (cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1); then
  tail -30 "$scratch/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
debs=("$scratch"/out/dorvantis_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: expected one dorvantis_*.deb, got: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}

# Control fields.
field() { dpkg-deb --field "$deb" "$1"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$(field Package)" = dorvantis ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version '$(field Version)' is not the project version '$version'"
[ "$(basename "$deb")" = "dorvantis_${version}_$(dpkg --print-architecture).deb" ] || fail "file name $(basename "$deb")"
depends=$(field Depends)
for d in libcups2 fonts-dejavu-core libqt6webenginewidgets6 libqt6widgets6 libcurl4; do
  grep -Eq "(^|, )$d( |,|$)" <<<"$depends" || fail "Depends lacks $d: $depends"
done
for r in fonts-noto-core fonts-noto-cjk; do
  grep -Eq "(^|, )$r( |,|$)" <<<"$(field Recommends)" || fail "Recommends lacks $r: $(field Recommends)"
  if grep -Eq "(^|, )$r( |,|$)" <<<"$depends"; then fail "Depends needs no $r: $depends"; fi
done
[ "$(field Maintainer)" = "KELMARO <support@kelmaro.example>" ] || fail "Maintainer '$(field Maintainer)'"
for f in Section Priority Homepage; do [ -n "$(field $f)" ] || fail "no $f"; done
[ "$(field Description | wc -l)" -eq 3 ] || fail "Description is not a synopsis and two lines: $(field Description)"

# Every file, with the program's command a link to the real executable.
dpkg-deb --contents "$deb" | awk '{ p = $6; sub(/^\./, "", p); print substr($1, 1, 1), p, $8 }' >"$scratch/contents"
for f in /usr/libexec/dorvantis/dorvantis /usr/libexec/dorvantis/license.txt \
         /usr/share/applications/dorvantis.desktop \
         /usr/share/icons/hicolor/scalable/apps/dorvantis.svg \
         /usr/share/icons/hicolor/48x48/apps/dorvantis.png \
         /usr/share/icons/hicolor/256x256/apps/dorvantis.png \
         /usr/share/metainfo/example.kelmaro.dorvantis.metainfo.xml \
         /usr/share/man/man1/dorvantis.1.gz \
         /usr/share/doc/dorvantis/copyright /usr/share/doc/dorvantis/changelog.gz \
         /usr/share/lintian/overrides/dorvantis; do
  grep -q "^- $f \$" "$scratch/contents" || fail "no file $f in the package"
done
grep -q "^l /usr/bin/dorvantis ../libexec/dorvantis/dorvantis\$" "$scratch/contents" ||
  fail "/usr/bin/dorvantis is not a link to ../libexec/dorvantis/dorvantis"
# Nothing outside /usr, and no stray build files.
if grep -v '^d ' "$scratch/contents" | grep -Ev ' /usr/(bin|libexec/dorvantis|share/(applications|icons|metainfo|man|doc|lintian))/'; then
  fail "unexpected files in the package (above)"
fi

# lintian: what it reports stays visible; errors and warnings fail (the few that
# cannot apply to a package built from a checkout are overridden, each with its reason).
echo "== lintian"
lintian --fail-on error,warning "$deb" 2>&1 | grep -v 'running with root privileges' | tee "$scratch/lintian.log"
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "lintian"

root=$scratch/root
dpkg -x "$deb" "$root" || { echo "FAIL: dpkg -x" >&2; exit 1; }

echo "== appstreamcli validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/example.kelmaro.dorvantis.metainfo.xml" || fail "appstreamcli validate"
grep -q '<release version="[0-9.]*"' "$root/usr/share/metainfo/example.kelmaro.dorvantis.metainfo.xml" || fail "metainfo has no release"
desktop-file-validate "$root/usr/share/applications/dorvantis.desktop" || fail "desktop-file-validate"
for size in 48 256; do
  file "$root/usr/share/icons/hicolor/${size}x${size}/apps/dorvantis.png" | grep -q "PNG image data, $size x $size," ||
    fail "icon ${size}x${size} is not a PNG of that size"
done

# The unpacked program runs from its own files with the system's Qt, with no display.
echo "== dorvantis --version"
home=$scratch/home
mkdir -p "$home/run" && chmod 700 "$home/run"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen HOME="$home" XDG_CONFIG_HOME="$home/config" \
        XDG_RUNTIME_DIR="$home/run" timeout 30 "$root/usr/bin/dorvantis" --version 2>&1)
rc=$?
echo "$out"
[ $rc -eq 0 ] || fail "dorvantis --version exited $rc"
short=$(cut -d. -f1,2 <<<"$version")
grep -Eq "^[Dd]orvantis $short(\.|\$)" <<<"$out" || fail "--version does not say 'dorvantis $short'"
[ ! -e "$home/config" ] || fail "--version wrote settings"
help=$(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_RUNTIME_DIR="$home/run" timeout 30 "$root/usr/bin/dorvantis" --help 2>&1)
rc=$?
[ $rc -eq 0 ] && grep -q -- "--version" <<<"$help" || fail "dorvantis --help with no display exited $rc: $help"

echo "== man -l dorvantis.1.gz"
page=$(MANWIDTH=80 man --warnings -l -P cat "$root/usr/share/man/man1/dorvantis.1.gz" 2>"$scratch/man.err")
[ -s "$scratch/man.err" ] && { cat "$scratch/man.err" >&2; fail "man reports problems in the manual page"; }
for heading in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES ENVIRONMENT; do
  grep -q "^$heading\$" <<<"$page" || fail "manual page has no section $heading"
done
for word in --print-all --version registry.json CUPS_SERVER DORVANTIS_WEB_HOST QTWEBENGINE_DISABLE_SANDBOX; do
  grep -q -- "$word" <<<"$page" || fail "manual page does not mention $word"
done

[ $status -eq 0 ] && echo "package: $(basename "$deb") built, its files, lintian, AppStream, desktop entry, --version and manual page check out"
exit $status
