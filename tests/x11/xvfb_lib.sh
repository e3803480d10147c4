# shellcheck shell=bash
# Shared by the real-window, Wine and screensaver tests and the screenshot
# script: a private Xvfb, bounded waits, cleanup and the tests'
# configuration files. Source it; it sets nothing up by itself.

XVFB_PID=""
PROGRAM_PID=""
WORK_DIR=""

note() { printf '%s\n' "$*"; }
fail() {
  printf 'FAIL: %s\n' "$*" >&2
  exit 1
}

# wait_until SECONDS COMMAND...: polls COMMAND every 50 ms; false on timeout.
wait_until() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  while ! "$@"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.05
  done
}

# True while the process runs (a zombie does not count).
alive() {
  local state
  state=$(awk '/^State:/ { print $2 }' "/proc/$1/status" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

ended() { ! alive "$1"; }

# Kills what is still running and removes the work directory, however the
# script ends.
cleanup() {
  if [ -n "$PROGRAM_PID" ] && alive "$PROGRAM_PID"; then
    { kill -KILL "$PROGRAM_PID" && wait "$PROGRAM_PID"; } 2>/dev/null
  fi
  if [ -n "${GATE_PID:-}" ] && alive "$GATE_PID"; then
    { kill -KILL "$GATE_PID" && wait "$GATE_PID"; } 2>/dev/null
  fi
  if [ -n "$XVFB_PID" ] && alive "$XVFB_PID"; then
    kill -TERM "$XVFB_PID" 2>/dev/null
    wait_until 5 ended "$XVFB_PID" || kill -KILL "$XVFB_PID" 2>/dev/null
  fi
  [ -n "$WORK_DIR" ] && rm -rf "$WORK_DIR"
}

# Tools a real-window run needs; status 1 names the first one missing.
missing_x_tool() {
  local tool
  for tool in Xvfb xdotool xprop xwininfo xwd; do
    command -v "$tool" >/dev/null 2>&1 || { printf '%s\n' "$tool"; return 0; }
  done
  # Named by its full path: another convert may come first on PATH.
  [ -x /usr/bin/convert ] || { printf '/usr/bin/convert\n'; return 0; }
  return 1
}

x_ready() { xprop -root >/dev/null 2>&1; }

# Starts Xvfb on a display it picks itself (-displayfd) and exports DISPLAY
# once the server answers.
start_xvfb() {
  local number_file=$WORK_DIR/display
  : >"$number_file"
  # -noreset: else the server resets when its last client leaves, and SDL,
  # which connects twice in a row as it starts, fails now and then.
  Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp \
    3>"$number_file" >"$WORK_DIR/xvfb.log" 2>&1 &
  XVFB_PID=$!
  wait_until 20 test -s "$number_file" ||
    fail "Xvfb reported no display number: $(tail -n 5 "$WORK_DIR/xvfb.log")"
  DISPLAY=":$(head -n 1 "$number_file")"
  export DISPLAY
  wait_until 20 x_ready || fail "Xvfb on $DISPLAY does not answer"
  note "Xvfb runs on $DISPLAY"
}

# True when the window's pixel at X,Y is white: a program that fills the
# window white has drawn its first frame.
white_at() {
  screenshot "$1" "$WORK_DIR/white_at.png" &&
    /usr/bin/convert "$WORK_DIR/white_at.png" -crop "1x1+$2+$3" -format '%[hex:p{0,0}]' info: |
    grep -q '^FFFFFF'
}

# The share of one core, in whole percent, that the process uses in user
# and system time over the next SECONDS.
cpu_percent() {
  local pid=$1 seconds=$2 before after
  # The fields after the command's name, which may hold spaces.
  before=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | awk '{ print $12 + $13 }')
  sleep "$seconds"
  after=$(sed 's/.*) //' "/proc/$pid/stat" 2>/dev/null | awk '{ print $12 + $13 }')
  [ -n "$before" ] && [ -n "$after" ] || return 1
  echo $(((after - before) * 100 / ($(getconf CLK_TCK) * seconds)))
}

# The value of a text property of a window, e.g. window_text WID WM_NAME.
window_text() {
  xprop -id "$1" "$2" 2>/dev/null | sed -n "s/^$2([A-Z0-9_]*) = \"\\(.*\\)\"\$/\\1/p"
}

# Saves a picture of the window as PNG.
screenshot() {
  xwd -id "$1" -silent | /usr/bin/convert xwd:- -alpha off png:"$2"
}

# Writes a configuration file for a field of WIDTH x HEIGHT with trails of
# TRAIL, velocity range 2, windowed, no random turns, reflecting at the
# borders so that every particle stays in the picture, and one group for
# each NAME:X:Y:COUNT:COLOUR.
bouncing_ini() {
  local file=$1 width=$2 height=$3 trail=$4 group name x y count colour
  shift 4
  {
    printf '[FLIM]\nbreite=%s\nhoehe=%s\nschweiflaenge=%s\nrichtungen=2\n' "$width" "$height" "$trail"
    printf 'farbtiefe=0\nfullscreen=0\nzuf_richtungswechsel=0\nconst_geschw=1\n'
    for group in "$@"; do
      IFS=: read -r name x y count colour <<<"$group"
      printf '[%s]\nx=%s\ny=%s\nanz=%s\nfarbe=%s\n' "$name" "$x" "$y" "$count" "$colour"
    done
  } >"$file"
}

# The program's facts, read back from its source (tests/program_facts).
PROGRAM_FACTS=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/program_facts
# The caption before the first frame rate; patterns for a caption with a
# rate, and for either caption.
TITLE=$("$PROGRAM_FACTS" title)
RATE_PATTERN="^$("$PROGRAM_FACTS" caption)\$"
CAPTION_PATTERN="^($TITLE|$("$PROGRAM_FACTS" caption))\$"

# picture_shows_ramps PNG WIDTH HEIGHT TRAIL MOST RAMP...: the screenshot
# has the size WIDTH x HEIGHT, a white background, at most MOST coloured
# pixels, only shades of the ramps named (numbers, as a group's farbe),
# and of each of them the pure head colour and at least one paler shade.
# Says what it counted; false where the picture is wrong.
picture_shows_ramps() {
  local png=$1 width=$2 height=$3 trail=$4 most=$5 size
  shift 5
  size=$(/usr/bin/convert "$png" -format '%wx%h' info:) || { note "cannot read $png"; return 1; }
  [ "$size" = "${width}x$height" ] || { note "the picture is $size, not ${width}x$height"; return 1; }
  /usr/bin/convert "$png" -depth 8 -format %c histogram:info:- >"$png.histogram" ||
    { note "cannot count the colours of $png"; return 1; }
  "$PROGRAM_FACTS" shades "$trail" >"$png.shades" || return 1
  awk -v ramps="$*" -v most="$most" -v total=$((width * height)) '
    FILENAME == ARGV[1] {
      r = FNR - 1
      if (index(" " ramps " ", " " r " ")) {
        wanted[r] = 1
        for (i = 1; i <= NF; ++i) if (!($i in shade)) { shade[$i] = r; level[$i] = i - 1 }
      }
      next
    }
    {
      count = $1; sub(/:$/, "", count)
      if (!match($0, /\([0-9]+,[0-9]+,[0-9]+\)/)) { print "unreadable histogram line: " $0; bad = 1; next }
      c = substr($0, RSTART + 1, RLENGTH - 2)
      seen += count
      if (c == "255,255,255") { white += count; next }
      coloured += count
      if (!(c in shade)) { printf "foreign colour (%s) in %d pixels\n", c, count; bad = 1; next }
      if (level[c] == 0) pure[shade[c]] = 1; else pale[shade[c]] = 1
    }
    END {
      if (seen != total) { printf "histogram covers %d pixels, not %d\n", seen, total; bad = 1 }
      if (coloured == 0) { print "no coloured pixel at all"; bad = 1 }
      if (coloured > most) { printf "%d coloured pixels, more than the %d trail points\n", coloured, most; bad = 1 }
      for (r in wanted) {
        if (!pure[r]) { printf "no pure head of ramp %d\n", r; bad = 1 }
        if (!pale[r]) { printf "no paler point of ramp %d\n", r; bad = 1 }
      }
      printf "white %d, coloured %d\n", white, coloured
      exit bad
    }' "$png.shades" "$png.histogram" | tr '\n' ';'
  return "${PIPESTATUS[0]}"
}
