#!/usr/bin/env bash
# Regenerates docs/screenshot.png: the program on the bundled flimmer.ini in
# a real window on a private Xvfb, photographed after it has run for a while.
# Not part of the tests.
# Usage: tests/x11/screenshot.sh [FLIMMERWERK [OUTPUT.png [SECONDS]]]
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT_DIR=$(cd "$HERE/../.." && pwd)
PROGRAM=${1:-$ROOT_DIR/build/flimmerwerk}
OUTPUT=${2:-$ROOT_DIR/docs/screenshot.png}
RUN_SECONDS=${3:-1.5}
. "$HERE/xvfb_lib.sh"

[ -x "$PROGRAM" ] || fail "$PROGRAM is not built"
if tool=$(missing_x_tool); then
  fail "$tool is not installed (scripts/deps installs it)"
fi
WORK_DIR=$(mktemp -d "${TMPDIR:-/tmp}/flimmer-shot.XXXXXX") || exit 1
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

export SDL_VIDEODRIVER=x11
start_xvfb
"$PROGRAM" "$ROOT_DIR/flimmer.ini" >"$WORK_DIR/out" 2>"$WORK_DIR/err" &
PROGRAM_PID=$!

find_window() {
  WID=$(xdotool search --onlyvisible --name '^(Flimmerwerk|[0-9]+ FPS)$' 2>/dev/null | head -n 1)
  [ -n "$WID" ] || ! alive "$PROGRAM_PID"
}
wait_until 20 find_window || fail "no window within 20 s"
alive "$PROGRAM_PID" || fail "the program ended early: $(cat "$WORK_DIR/err")"
sleep "$RUN_SECONDS"
mkdir -p "$(dirname "$OUTPUT")"
screenshot "$WID" "$OUTPUT" || fail "screenshot failed"
note "saved $OUTPUT ($(/usr/bin/convert "$OUTPUT" -format '%wx%h' info:)), caption '$(window_text "$WID" WM_NAME)'"

xdotool mousemove --window "$WID" 5 5 key Escape 2>/dev/null
wait_until 5 ended "$PROGRAM_PID" || fail "the program did not end on Escape"
wait "$PROGRAM_PID" || fail "the program ended with status $?"
PROGRAM_PID=""
