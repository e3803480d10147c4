#!/usr/bin/env bash
# Runs flimmerwerk as a display mode of the real xscreensaver daemon on a
# private Xvfb and checks: an id that names no window ends the program with
# its message and status 1; once the daemon starts it, the program runs
# with XSCREENSAVER_WINDOW on the SDL 1.2 of this environment and fills the
# screen-sized saver window with the white field and the configured
# colours, using at most a quarter of a core; after the daemon
# deactivates, the program is gone within 3 s, the daemon has logged no X
# error and nothing is left running.
# Usage: saver_test.sh FLIMMERWERK SDL_LIBRARY
# Status 0 passed, 1 failed, 77 skipped (no xscreensaver or X tools here).
set -u
if [ $# -ne 2 ]; then
  echo "usage: $0 FLIMMERWERK SDL_LIBRARY" >&2
  exit 2
fi
PROGRAM=$1
. "$(dirname "$0")/xvfb_lib.sh"
LIBRARY=$($2) || fail "$2 cannot tell which SDL runs here"
note "SDL: $LIBRARY"

if tool=$(missing_x_tool); then
  echo "SKIPPED: $tool is not installed (scripts/deps test installs it)"
  exit 77
fi
for tool in xscreensaver xscreensaver-command setpriv; do
  command -v "$tool" >/dev/null 2>&1 ||
    { echo "SKIPPED: $tool is not installed (scripts/test-screensaver installs it)"; exit 77; }
done

WORK_DIR=$(mktemp -d "${TMPDIR:-/tmp}/flimmer-saver.XXXXXX") || exit 1
DAEMON_PID=""
HACK=$WORK_DIR/flimmerwerk
stop_daemon() {
  if [ -n "$DAEMON_PID" ] && alive "$DAEMON_PID"; then
    kill -TERM "$DAEMON_PID" 2>/dev/null
    wait_until 5 ended "$DAEMON_PID" || kill -KILL "$DAEMON_PID" 2>/dev/null
  fi
}
# The daemon's own children end with it; a program it started that
# outlives it would be found here and killed.
left_running() { pgrep -f -x "$HACK .*" 2>/dev/null; }
cleanup_saver() {
  stop_daemon
  local pid
  for pid in $(left_running); do kill -KILL "$pid" 2>/dev/null; done
  cleanup
}
trap cleanup_saver EXIT
trap 'exit 1' INT TERM HUP

# A field of 320 x 240 in the file; on the 1024 x 768 screen the red group
# starts at (128, 96) and the blue one at (960, 704), far outside the
# file's own field.
bouncing_ini "$WORK_DIR/test.ini" 320 240 10 rot:40:30:10:1 blau:300:220:10:3
SCREEN_SIZE=1024x768

export SDL_VIDEODRIVER=x11
start_xvfb

# An id that names no window: the program's message and status 1, at once.
XSCREENSAVER_WINDOW=0x1fffffff timeout 20 "$PROGRAM" "$WORK_DIR/test.ini" \
  >"$WORK_DIR/bad.out" 2>"$WORK_DIR/bad.err"
status=$?
[ "$status" -eq 1 ] || fail "window 0x1fffffff: status $status, not 1"
printf 'Das Fenster 0x1fffffff f\xFCr den Bildschirmschoner gibt es nicht.\n' >"$WORK_DIR/bad.expected"
cmp -s "$WORK_DIR/bad.err" "$WORK_DIR/bad.expected" ||
  fail "window 0x1fffffff: standard error is '$(cat "$WORK_DIR/bad.err")'"
[ ! -s "$WORK_DIR/bad.out" ] || fail "window 0x1fffffff: standard output '$(cat "$WORK_DIR/bad.out")'"
note "an id that names no window ends the program with its message and status 1"

# The daemon refuses to start display modes as root: run it as nobody, with
# a private home that lists Flimmerwerk as its only mode. The program is
# copied there so that nobody can run it wherever the build tree lies.
cp "$PROGRAM" "$HACK" || fail "cannot copy $PROGRAM"
cat >"$WORK_DIR/.xscreensaver" <<EOF
mode: one
selected: 0
timeout: 1:00:00
lock: False
splash: False
fade: False
unfade: False
programs: \\
  $HACK $WORK_DIR/test.ini \\n\\
EOF
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown -R nobody:nogroup "$WORK_DIR" || fail "cannot hand $WORK_DIR to nobody"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
as_saver_user() { HOME=$WORK_DIR "${as_user[@]}" "$@"; }
command_daemon() {
  as_saver_user xscreensaver-command "$@" >>"$WORK_DIR/command.log" 2>&1 ||
    fail "xscreensaver-command $* failed: $(cat "$WORK_DIR/command.log")"
}

as_saver_user xscreensaver --no-splash --verbose --log "$WORK_DIR/daemon.log" \
  >"$WORK_DIR/daemon.out" 2>&1 &
DAEMON_PID=$!
daemon_answers() { as_saver_user xscreensaver-command -version >/dev/null 2>&1; }
wait_until 20 daemon_answers || fail "xscreensaver does not answer: $(tail -n 5 "$WORK_DIR/daemon.out")"

command_daemon -select 1
HACK_PID=""
hack_started() {
  HACK_PID=$(left_running | head -n 1)
  [ -n "$HACK_PID" ]
}
wait_until 20 hack_started || fail "the daemon started no Flimmerwerk: $(tail -n 5 "$WORK_DIR/daemon.log")"
WID=$(tr '\0' '\n' <"/proc/$HACK_PID/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')
[ -n "$WID" ] || fail "Flimmerwerk (pid $HACK_PID) runs without XSCREENSAVER_WINDOW"
note "Flimmerwerk runs as pid $HACK_PID in the saver window $WID"

# It runs on the SDL this environment names.
if [[ $LIBRARY == sdl12-compat* ]]; then
  grep -q '/sdl12-compat/libSDL-1\.2\.so' "/proc/$HACK_PID/maps" ||
    fail "the daemon started Flimmerwerk on another SDL than sdl12-compat"
else
  ! grep -q '/sdl12-compat/' "/proc/$HACK_PID/maps" ||
    fail "the daemon started Flimmerwerk on sdl12-compat, not the classic SDL"
fi

# The saver window covers the screen, and so does the white field: a frame
# smaller than the window would leave the daemon's black around it.
wait_until 20 white_at "$WID" 1000 10 ||
  fail "the saver window is not white 20 s after the start: $(tail -n 5 "$WORK_DIR/daemon.out")"
sleep 1
alive "$HACK_PID" || fail "Flimmerwerk ended in the saver window: $(tail -n 5 "$WORK_DIR/daemon.out")"
screenshot "$WID" "$WORK_DIR/saver.png" || fail "cannot take a picture of window $WID"
# Every pixel is white or a shade of the red or the blue ramp, with both
# pure head colours, and the trails cover at most 20 x 10 pixels.
picture_shows_ramps "$WORK_DIR/saver.png" "${SCREEN_SIZE%x*}" "${SCREEN_SIZE#*x}" 10 200 1 3 \
  >"$WORK_DIR/picture.txt" || fail "saver window: $(cat "$WORK_DIR/picture.txt")"
note "saver window: $SCREEN_SIZE, $(tail -n 1 "$WORK_DIR/picture.txt")"
# The blue group starts outside the file's 320 x 240: its trails are drawn
# where the window's field puts them.
/usr/bin/convert "$WORK_DIR/saver.png" -crop 704x768+320+0 +repage -depth 8 \
  -format %c histogram:info:- | grep -qv '(255,255,255)' ||
  fail "nothing is drawn outside the file's own 320 x 240 field"

# Paced, the saver takes a small share of a core; drawing as fast as it
# could, most of one.
percent=$(cpu_percent "$HACK_PID" 3) || fail "cannot read the processor time of Flimmerwerk"
[ "$percent" -le 25 ] || fail "Flimmerwerk uses $percent % of a core as a saver"
note "Flimmerwerk uses $percent % of a core"

command_daemon -deactivate
wait_until 3 ended "$HACK_PID" || fail "Flimmerwerk still runs 3 s after the daemon deactivated"
note "Flimmerwerk ended within 3 s of the deactivation"
sleep 0.5
if grep -Ei 'X error|BadWindow|BadDrawable|X_[A-Z][A-Za-z]+' \
  "$WORK_DIR/daemon.log" "$WORK_DIR/daemon.out" >"$WORK_DIR/x_errors"; then
  fail "X errors in the daemon's log: $(head -n 5 "$WORK_DIR/x_errors")"
fi
stop_daemon
DAEMON_PID=""
rest=$(left_running)
[ -z "$rest" ] || fail "still running after the daemon ended: $rest"
note "PASSED"
