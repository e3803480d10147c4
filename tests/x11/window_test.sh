#!/usr/bin/env bash
# Runs flimmerwerk in a real X window on a private Xvfb and checks what a user
# sees: the caption at start and after the first frames, the picture, that
# other keys leave it running, and that Escape and a window manager's close
# request both end it with status 0, also when it was started without
# standard output and error, and that then neither of their descriptor
# numbers goes to the display connection.
# Usage: window_test.sh FLIMMERWERK SEND_CLOSE MAP_GATE SDL_LIBRARY
# Status 0 passed, 1 failed, 77 skipped (no X tools on this machine).
set -u
if [ $# -ne 4 ]; then
  echo "usage: $0 FLIMMERWERK SEND_CLOSE MAP_GATE SDL_LIBRARY" >&2
  exit 2
fi
# Absolute paths: the program runs in the work directory.
PROGRAM=$(readlink -f -- "$1")
SEND_CLOSE=$(readlink -f -- "$2")
MAP_GATE=$(readlink -f -- "$3")
. "$(dirname "$0")/xvfb_lib.sh"
LIBRARY=$("$(readlink -f -- "$4")") || fail "$4 cannot tell which SDL runs here"
note "SDL: $LIBRARY"

# The icon title is set with the caption. sdl12-compat gives windows no
# icon title at all, so there an empty one is right; the classic library
# always sets it.
no_icon_title() { [[ $LIBRARY == sdl12-compat* ]] && [ -z "$1" ]; }

if tool=$(missing_x_tool); then
  echo "SKIPPED: $tool is not installed (scripts/deps test installs it)"
  exit 77
fi

WORK_DIR=$(mktemp -d "${TMPDIR:-/tmp}/flimmer-x11.XXXXXX") || exit 1
GATE_PID=""
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# 320 x 240, four groups in four corners, trails of ten, reflecting at the
# borders so every particle stays in the picture.
WIDTH=320
HEIGHT=240
TRAIL=10
PER_GROUP=5
bouncing_ini "$WORK_DIR/test.ini" "$WIDTH" "$HEIGHT" "$TRAIL" rot:40:30:$PER_GROUP:1 \
  gruen:280:30:$PER_GROUP:2 blau:40:210:$PER_GROUP:3 cyan:280:210:$PER_GROUP:6
RAMPS="1 2 3 6"
GROUP_COUNT=4

export SDL_VIDEODRIVER=x11
# -noreset (in start_xvfb): a server reset would fail SDL's connections at start.
start_xvfb

# Starts the program on $CONFIG (with standard output and error closed when
# $CLOSED is set) with the map gate in front of its window and checks the
# caption while the window is held back: SDL waits for its window to be
# mapped before the first frame, so what is read is the caption before any
# frame. Sets WID; the program runs when it returns.
RUN=0
CONFIG=test.ini
CLOSED=""
start_program() {
  RUN=$((RUN + 1))
  local gate_in=$WORK_DIR/gate$RUN.in gate_out=$WORK_DIR/gate$RUN.out
  mkfifo "$gate_in" || fail "mkfifo"
  : >"$gate_out"
  exec 7<>"$gate_in"
  "$MAP_GATE" 20 <"$gate_in" >"$gate_out" 2>"$WORK_DIR/gate$RUN.err" &
  GATE_PID=$!
  wait_until 20 grep -qx ready "$gate_out" ||
    fail "map gate not ready: $(cat "$WORK_DIR/gate$RUN.err")"

  (cd "$WORK_DIR" && if [ -n "$CLOSED" ]; then exec "$PROGRAM" "$CONFIG" >&- 2>&-; fi &&
    exec "$PROGRAM" "$CONFIG") >"$WORK_DIR/out$RUN" 2>"$WORK_DIR/err$RUN" &
  PROGRAM_PID=$!
  gate_has_window() {
    [ "$(wc -l <"$gate_out")" -ge 2 ] || ! alive "$PROGRAM_PID" || stream_taken >/dev/null
  }
  wait_until 20 gate_has_window || fail "run $RUN: no window asked to be mapped within 20 s"
  check_streams
  alive "$PROGRAM_PID" ||
    fail "run $RUN: program ended before its window appeared: $(cat "$WORK_DIR/err$RUN")"
  WID=$(sed -n 2p "$gate_out")

  local name icon
  name=$(window_text "$WID" WM_NAME)
  icon=$(window_text "$WID" WM_ICON_NAME)
  note "run $RUN: window $WID appears as WM_NAME '$name', WM_ICON_NAME '$icon'"
  [ "$name" = "$TITLE" ] || fail "run $RUN: caption at start is '$name', not '$TITLE'"
  [ "$icon" = "$TITLE" ] || no_icon_title "$icon" ||
    fail "run $RUN: icon name at start is '$icon', not '$TITLE'"

  echo map >&7
  exec 7>&-
  wait_until 20 ended "$GATE_PID" || fail "run $RUN: map gate hangs"
  wait "$GATE_PID" || fail "run $RUN: map gate failed: $(cat "$WORK_DIR/gate$RUN.err")"
  GATE_PID=""

  # sdl12-compat replaces the window that first asked to be mapped with a
  # new one; follow the program to it by its caption. The classic library
  # keeps its one window.
  if [[ $LIBRARY == sdl12-compat* ]]; then
    window_shown() {
      WID=$(xdotool search --onlyvisible --name "$CAPTION_PATTERN" 2>/dev/null | head -n 1)
      [ -n "$WID" ]
    }
    wait_until 20 window_shown || fail "run $RUN: no visible window within 20 s"
  fi

  # After ten frames the caption shows the frame rate.
  fps_shown() {
    local icon
    icon=$(window_text "$WID" WM_ICON_NAME)
    [[ $(window_text "$WID" WM_NAME) =~ $RATE_PATTERN ]] &&
      { [[ $icon =~ $RATE_PATTERN ]] || no_icon_title "$icon"; }
  }
  wait_until 20 fps_shown ||
    fail "run $RUN: caption is '$(window_text "$WID" WM_NAME)' / '$(window_text "$WID" WM_ICON_NAME)' after 20 s, no rate"
  note "run $RUN: caption now '$(window_text "$WID" WM_NAME)'"
  check_streams
}

# Started without standard output and error, the program must keep those
# descriptor numbers from whatever it opens next: SDL's display connection
# would get them, and with them the program's messages, which the X server
# takes for requests. Prints what holds descriptor 1 or 2 when that is
# anything but /dev/null (closed is fine too). Only once the program runs:
# before, its descriptors are the starting shell's.
stream_taken() {
  local fd target
  [ -n "$CLOSED" ] || return 1
  [ "$(readlink "/proc/$PROGRAM_PID/exe" 2>/dev/null)" = "$PROGRAM" ] || return 1
  for fd in 1 2; do
    target=$(readlink "/proc/$PROGRAM_PID/fd/$fd" 2>/dev/null) || continue
    [ "$target" = /dev/null ] || {
      printf 'descriptor %s is %s\n' "$fd" "$target"
      return 0
    }
  done
  return 1
}

check_streams() {
  local taken
  if taken=$(stream_taken); then
    fail "run $RUN: started without standard output and error, the program's $taken"
  fi
}

# Waits up to SECONDS for the program to end; it must end with status 0,
# write nothing on standard output and on standard error exactly $EXPECTED_ERR.
EXPECTED_ERR=""
expect_clean_end() {
  local seconds=$1 what=$2 status
  check_streams
  wait_until "$seconds" ended "$PROGRAM_PID" ||
    fail "run $RUN: still running $seconds s after $what"
  wait "$PROGRAM_PID"
  status=$?
  PROGRAM_PID=""
  [ "$status" -eq 0 ] || fail "run $RUN: status $status after $what: $(cat "$WORK_DIR/err$RUN")"
  local err
  err=$(cat "$WORK_DIR/err$RUN" && printf x)
  err=${err%x}
  [ "$err" = "$EXPECTED_ERR" ] ||
    fail "run $RUN: standard error is $(printf %q "$err"), not $(printf %q "$EXPECTED_ERR")"
  [ ! -s "$WORK_DIR/out$RUN" ] || fail "run $RUN: unexpected standard output: $(cat "$WORK_DIR/out$RUN")"
  note "run $RUN: ended with status 0 after $what"
}

# Gives the program a second; it must still be running after what $1 says.
still_running() {
  sleep 1
  alive "$PROGRAM_PID" || {
    wait "$PROGRAM_PID"
    fail "run $RUN: ended (status $?) after $1"
  }
  note "run $RUN: still running after $1"
}

# Checks a screenshot (picture_shows_ramps) of the configured scene.
check_picture() {
  local verdict
  verdict=$(picture_shows_ramps "$1" "$WIDTH" "$HEIGHT" "$TRAIL" $((GROUP_COUNT * PER_GROUP * TRAIL)) $RAMPS)
  local status=$?
  note "picture: $verdict"
  [ "$status" -eq 0 ] || fail "the window shows the wrong picture (see above)"
}

# Run 1: picture, harmless keys, then Escape.
start_program
screenshot "$WID" "$WORK_DIR/window.png" || fail "screenshot of $WID failed"
check_picture "$WORK_DIR/window.png"

# No window manager here. The root window gets the focus, so the keys of the
# XTEST extension go to the window under the pointer, like a user's.
ROOT=$(xwininfo -root | awk '/Window id:/ { print $4 }')
xdotool windowfocus "$ROOT" || fail "cannot focus the root window"
# Escape goes down outside the window and comes up inside it: the window sees
# the release of a key it never saw pressed. The screen's far corner is
# outside the window wherever the library puts it (sdl12-compat centres it).
xdotool mousemove 1023 767 || fail "cannot move the pointer"
xdotool keydown Escape || fail "xdotool keydown Escape"
xdotool mousemove --window "$WID" 5 5 || fail "cannot move the pointer into the window"
xdotool keyup Escape || fail "xdotool keyup Escape"
still_running "releasing Escape"
# Another key, pressed and released in the window the same way as the
# Escape that ends the run below.
xdotool key space || fail "xdotool key space"
still_running "pressing space"
xdotool key Escape || fail "xdotool key Escape"
expect_clean_end 5 "Escape"

# Run 2: a window manager's close request, on a file that earns a message
# after SDL has opened its display connection.
{ cat "$WORK_DIR/test.ini"; echo farbe=6; } >"$WORK_DIR/repeated.ini"
REPEATED_MESSAGE=$'Wert farbe bereits vorhanden! Es wurde kein neuer angelegt!\n'
CONFIG=repeated.ini start_program
"$SEND_CLOSE" "$WID" || fail "send_close failed"
EXPECTED_ERR=$REPEATED_MESSAGE \
  expect_clean_end 5 "a close request (WM_DELETE_WINDOW)"

# Run 3: the same, started without standard output and error, as a launcher
# may start it. The message is lost; the display connection must not get
# it, nor either descriptor number (checked all along the run).
CONFIG=repeated.ini CLOSED=yes start_program
"$SEND_CLOSE" "$WID" || fail "send_close failed"
CLOSED=yes expect_clean_end 5 "a close request, started without standard output and error"

note "PASSED"
