#!/usr/bin/env bash
# Starts the built program on a private X display, sees its main window, starts a
# second instance beside it (both must run), and ends both by their process ids.
set -u
exe=$1
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config HOME=$work
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1 DORVANTIS_WEB_HOST=127.0.0.1:9
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "smoke: $*" >&2; exit 1; }

Xvfb -displayfd 3 -screen 0 1280x800x24 -dpi 96 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$work/display")

windows() { xwininfo -root -tree 2>/dev/null | grep -c '"KELMARO - Dorvantis"'; }
wait_windows() {
  for _ in $(seq 300); do [ "$(windows)" -ge "$1" ] && return 0; sleep 0.1; done
  return 1
}

"$exe" >"$work/first.log" 2>&1 &
pids+=($!)
first=$!
wait_windows 1 || { cat "$work/first.log" >&2; fail "no main window titled 'KELMARO - Dorvantis'"; }
flock -n -x "$XDG_RUNTIME_DIR/KELMARO_Dorvantis.mutex" true && fail "the named mutex is not held while the program runs"

"$exe" >"$work/second.log" 2>&1 &
pids+=($!)
wait_windows 2 || { cat "$work/second.log" >&2; fail "a second instance did not open its own window"; }
kill -0 "$first" || fail "the first instance ended when the second started"
echo "smoke: main window seen; a second instance opened its own window"
