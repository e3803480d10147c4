#!/usr/bin/env bash
# Runs the Windows build from its zip under Wine on a private Xvfb and checks
# what a Windows user meets: a missing file and an invalid setting each end
# it with status 1 and their message in stderr.txt (ISO-8859-1, CR LF, as
# SDL's entry point writes standard error in text mode); a valid file opens
# a window whose caption becomes "N FPS" and that shows the trails; closing
# the window and Escape each end it with status 0 and leave no stderr.txt.
# Then flimmerwerk.scr as Windows runs a screensaver, with the settings
# dialog played by SAVER_HOST (saver_host.c): after "/p N" and "/p:N" the
# dialog's monitor shows the trails on white in the configured colours,
# changing, and the saver ends within a second of the monitor's
# destruction; "/p" with no such window ends with status 1 and its message;
# "/c" copies the flimmer.ini beside the saver into the user's application
# data and opens it in Notepad, and the user's file with other colours is
# what the saver shows from then on; "/s" fills the screen, survives a
# 3-pixel pointer move and ends on a key, a mouse click and a long move. A
# saver uses at most a quarter of a core.
# Usage: wine_test.sh ZIP SEND_CLOSE SAVER_HOST
# Status 0 passed, 1 failed, 77 skipped (Wine or the X tools missing;
# scripts/test-windows installs them).
set -u
if [ $# -ne 3 ]; then
  echo "usage: $0 ZIP SEND_CLOSE SAVER_HOST" >&2
  exit 2
fi
ZIP=$(realpath "$1")
SEND_CLOSE=$2
HOST=$(realpath "$3")
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
# configuration (a name in that folder), or PROGRAM with its arguments;
# sets PROGRAM_PID.
RUN=0
PROGRAM=flimmerwerk.exe
start_program() {
  RUN=$((RUN + 1))
  rm -f "$APP/stderr.txt" "$APP/stdout.txt"
  (cd "$APP" && exec wine "$PROGRAM" "$@") >"$WORK_DIR/wine$RUN.log" 2>&1 &
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

# The screensaver: the same program under another name.
PROGRAM=flimmerwerk.scr
[ -f "$APP/$PROGRAM" ] || fail "no $PROGRAM in $ZIP"
cp "$HOST" "$APP/saver_host.exe" || fail "cannot copy $HOST"
# The settings beside the saver: 320 x 240, red and blue.
bouncing_ini "$APP/flimmer.ini" 320 240 10 rot:60:60:5:1 blau:260:180:5:3
USER_INI=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -ipath '*/AppData/Roaming' | head -n 1)/Flimmerwerk/flimmer.ini
ROOT=$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
# A paced saver stays well below this; one drawing as fast as it can
# takes most of a core.
CPU_LIMIT=25

# Two pictures of the window a second apart, WIDTH x HEIGHT: both showing
# the trails of the given ramps on white (picture_shows_ramps: 2 groups
# of 5, trails of 10), and not the same.
PICTURES=0
check_changing() {
  local window=$1 name=$2 width=$3 height=$4 i file verdict
  shift 4
  PICTURES=$((PICTURES + 1))
  for i in 1 2; do
    [ "$i" -eq 1 ] || sleep 1
    file=$WORK_DIR/picture$PICTURES-$i.png
    screenshot "$window" "$file" || fail "$name: no picture of window $window"
    verdict=$(picture_shows_ramps "$file" "$width" "$height" 10 100 "$@") || fail "$name: $verdict"
  done
  ! cmp -s "$WORK_DIR/picture$PICTURES-1.png" "$file" || fail "$name: the picture does not change"
  note "$name: $verdict changing"
}

saver_pid() { SAVER_PID=$(pgrep -f 'flimmerwerk\.scr /p' | head -n 1) && [ -n "$SAVER_PID" ]; }

check_cpu() {
  local percent
  percent=$(cpu_percent "$SAVER_PID" 3) || fail "$1: cannot read the saver's processor time"
  [ "$percent" -le "$CPU_LIMIT" ] || fail "$1: the saver uses $percent % of a core"
  note "$1: the saver uses $percent % of a core"
}

# The settings dialog's preview with "/p N" or "/p:N" (STYLE space or
# colon), showing the given ramps.
check_preview() {
  local style=$1 name="preview /p ($1)" window
  shift
  rm -f "$APP/stderr.txt"
  (cd "$APP" && exec wine saver_host.exe flimmerwerk.scr "$style" 14) >"$WORK_DIR/host.log" 2>&1 &
  PROGRAM_PID=$!
  wait_until 60 saver_pid || fail "$name: no saver started: $(cat "$WORK_DIR/host.log")"
  window=$(xdotool search --onlyvisible --name '^Vorschau$' | head -n 1)
  [ -n "$window" ] || fail "$name: no window Vorschau"
  sleep 1
  check_changing "$window" "$name" 320 240 "$@"
  check_cpu "$name"
  wait_until 30 ended "$PROGRAM_PID" || fail "$name: the host still runs"
  wait "$PROGRAM_PID" || fail "$name: $(tr -d '\r' <"$WORK_DIR/host.log")"
  PROGRAM_PID=""
  note "$name: $(tr -d '\r' <"$WORK_DIR/host.log" | tail -n 1)"
}

RED=1 GREEN=2 BLUE=3 MAGENTA=5

check_preview space $RED $BLUE
start_program /p 123456789
expect_end 60 "/p 123456789" 1 $'Das Fenster 123456789 f\xFCr den Bildschirmschoner gibt es nicht.\r\n'

# The settings: the user's own copy, in Notepad.
[ ! -e "$USER_INI" ] || fail "$USER_INI exists before /c"
start_program /c
expect_end 60 "/c" 0 ""
cmp -s "$APP/flimmer.ini" "$USER_INI" || fail "/c: $USER_INI is not a copy of the flimmer.ini beside the saver"
notepad() { xdotool search --onlyvisible --name '^flimmer\.ini - Notepad$' >/dev/null 2>&1; }
wait_until 30 notepad || fail "/c: no Notepad window on flimmer.ini"
note "/c: $USER_INI copied and open in Notepad"
# Out of the pictures to come.
kill "$(xdotool getwindowpid "$(xdotool search --onlyvisible --name '^flimmer\.ini - Notepad$')")"

bouncing_ini "$USER_INI" 320 240 10 gruen:60:60:5:2 magenta:260:180:5:5
check_preview colon $GREEN $MAGENTA

# Full screen, with the pointer resting at (500, 400); each run ends on
# another sign of the user. Wine takes seconds to leave full screen
# without a window manager.
for wake in "key a" "click 1" "mousemove 900 700"; do
  xdotool mousemove 500 400 || fail "xdotool mousemove"
  start_program /s
  SAVER_PID=$PROGRAM_PID
  wait_until 60 white_at "$ROOT" 1000 10 || fail "/s: the screen does not turn white"
  if [ "$wake" = "key a" ]; then
    check_changing "$ROOT" "/s" 1024 768 $GREEN $MAGENTA
    check_cpu "/s"
    xdotool mousemove_relative 3 3 || fail "xdotool mousemove_relative"
    sleep 1
    check_changing "$ROOT" "/s, moved by 3 pixels" 1024 768 $GREEN $MAGENTA
  fi
  # shellcheck disable=SC2086 # the words are xdotool's
  xdotool $wake || fail "xdotool $wake"
  expect_end 20 "/s and $wake" 0 ""
done

note "PASSED"
