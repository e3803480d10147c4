#!/usr/bin/env bash
# Runs the Windows build from its zip under Wine on a private Xvfb and checks
# what a Windows user meets: a missing file and an invalid setting each end
# it with status 1 and their message in stderr.txt (ISO-8859-1, CR LF, as
# SDL's entry point writes standard error in text mode); a valid file opens
# a window whose caption becomes "N FPS" and that shows the trails; closing
# the window and Escape each end it with status 0 and leave no stderr.txt.
# Usage: wine_test.sh ZIP SEND_CLOSE
# Status 0 passed, 1 failed, 77 skipped (Wine or the X tools missing;
# scripts/test-windows installs them).
set -u
if [ $# -ne 2 ]; then
  echo "usage: $0 ZIP SEND_CLOSE" >&2
  exit 2
fi
ZIP=$(realpath "$1")
SEND_CLOSE=$2
. "$(dirname "$0")/../x11/xvfb_lib.sh"

for tool in wine wineboot wineserver unzip; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
if tool=$(missing_x_tool); then
  echo "SKIPPED: $tool is not installed"
  exit 77
fi

WORK_DIR=$(mktemp -d "${TMPDIR:-/tmp}/flimmer-wine.XXXXXX") || exit 1
# A private Wine prefix, without the prompts for Wine's .NET and HTML
# engines and without menu entries for the desktop. Wine's server keeps its
# socket in the temporary directory and Wine writes into the home folder:
# both are ours too, so that nothing is left behind.
mkdir "$WORK_DIR/tmp" "$WORK_DIR/home" || exit 1
export WINEPREFIX=$WORK_DIR/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export TMPDIR=$WORK_DIR/tmp HOME=$WORK_DIR/home
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
stop_wine() {
  [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
  cleanup
}
trap stop_wine EXIT
trap 'exit 1' INT TERM HUP

unzip -q "$ZIP" -d "$WORK_DIR/unpacked" || fail "cannot unpack $ZIP"
APP=$(dirname "$(find "$WORK_DIR/unpacked" -name flimmerwerk.exe | head -n 1)")
[ -f "$APP/SDL.dll" ] || fail "no SDL.dll beside flimmerwerk.exe in $ZIP"

# -noreset (in start_xvfb): a server reset would fail SDL's connections at start.
start_xvfb
wineboot -i >"$WORK_DIR/wineboot.log" 2>&1 || fail "wineboot failed: $(tail -n 5 "$WORK_DIR/wineboot.log")"

# Starts the program in its folder, as a double click does, on the given
# configuration (a name in that folder); sets PROGRAM_PID.
RUN=0
start_program() {
  RUN=$((RUN + 1))
  rm -f "$APP/stderr.txt" "$APP/stdout.txt"
  (cd "$APP" && exec wine flimmerwerk.exe "$1") >"$WORK_DIR/wine$RUN.log" 2>&1 &
  PROGRAM_PID=$!
}

# Waits for the program to end; checks its status and what SDL left in
# stderr.txt (a file of exactly EXPECTED, or none when that is empty).
expect_end() {
  local seconds=$1 what=$2 expected_status=$3 expected_err=$4 status
  wait_until "$seconds" ended "$PROGRAM_PID" || fail "run $RUN: still running $seconds s after $what"
  wait "$PROGRAM_PID"
  status=$?
  PROGRAM_PID=""
  [ "$status" -eq "$expected_status" ] ||
    fail "run $RUN: status $status after $what, not $expected_status: $(cat "$APP/stderr.txt" 2>/dev/null)"
  if [ -z "$expected_err" ]; then
    [ ! -e "$APP/stderr.txt" ] || fail "run $RUN: stderr.txt left after $what: $(od -c "$APP/stderr.txt" | head)"
  else
    [ -f "$APP/stderr.txt" ] || fail "run $RUN: no stderr.txt after $what"
    printf '%s' "$expected_err" >"$WORK_DIR/expected"
    cmp -s "$WORK_DIR/expected" "$APP/stderr.txt" ||
      fail "run $RUN: stderr.txt after $what holds $(od -c "$APP/stderr.txt" | head -n 5)"
  fi
  [ ! -e "$APP/stdout.txt" ] || fail "run $RUN: stdout.txt left after $what"
  note "run $RUN: status $status after $what, stderr.txt as expected"
}

# Run 1: a file that is not there.
start_program fehlt.ini
expect_end 60 "a missing file" 1 $'Ini-Datei fehlt.ini konnte nicht gefunden werden!\r\n'

# 320 x 240, a red and a blue group, reflecting at the borders.
bouncing_ini "$APP/test.ini" 320 240 10 rot:60:60:5:1 blau:260:180:5:3

# Run 2: the same file with a setting out of range.
sed 's/^breite=.*/breite=0/' "$APP/test.ini" >"$APP/ungueltig.ini"
start_program ungueltig.ini
expect_end 60 "an invalid setting" 1 $'Ung\xFCltiger Wert f\xFCr breite: 0\r\n'

# Starts the program on test.ini and waits for its window to show the frame
# rate in its caption; sets WID.
start_window() {
  start_program test.ini
  find_window() {
    WID=$(xdotool search --onlyvisible --name "$RATE_PATTERN" 2>/dev/null | head -n 1)
    [ -n "$WID" ] || ended "$PROGRAM_PID"
  }
  wait_until 60 find_window || fail "run $RUN: no window captioned 'N FPS' within 60 s"
  alive "$PROGRAM_PID" || fail "run $RUN: ended early: $(cat "$APP/stderr.txt" 2>/dev/null)"
  note "run $RUN: window $WID, caption '$(window_text "$WID" WM_NAME)'"
}

# Run 3: the picture, then Escape.
start_window
sleep 0.5
screenshot "$WID" "$WORK_DIR/window.png" || fail "screenshot of $WID failed"
# A white field with the trails of the red and the blue group on it.
verdict=$(picture_shows_ramps "$WORK_DIR/window.png" 320 240 10 100 1 3)
status=$?
note "run $RUN: picture: $verdict"
[ "$status" -eq 0 ] || fail "run $RUN: the window does not show the trails on white"
xdotool mousemove --window "$WID" 5 5 key Escape || fail "xdotool key Escape"
expect_end 20 "Escape" 0 ""

# Run 4: a window manager's close request.
start_window
"$SEND_CLOSE" "$WID" || fail "send_close failed"
expect_end 20 "a close request (WM_DELETE_WINDOW)" 0 ""

note "PASSED"
