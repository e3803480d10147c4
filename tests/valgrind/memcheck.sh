#!/usr/bin/env bash
# Runs the built program under valgrind's memcheck on the configurations
# beside this script and on one that tries the reader's corners, 300
# frames each, ended by the preloaded probe with an Escape key press.
# Fails on any invalid access, use of uninitialised memory or definitely
# lost block, on a status other than 0, or on an unexpected word on
# standard error. Exits 77 (skipped) when valgrind is not installed.
# On sdl12-compat (as SDL_LIBRARY tells), the library's own leak is
# suppressed by sdl12-compat.supp beside this script.
#
#   memcheck.sh PROGRAM PROBE CONFIG_DIR SDL_LIBRARY
set -uo pipefail

program=$1
probe=$2
configs=$3
library=$($4) || exit 1
frames=300

if ! command -v valgrind >/dev/null 2>&1; then
  echo "valgrind is not installed: skipped"
  exit 77
fi

suppressions=()
echo "SDL: $library"
case $library in
  sdl12-compat*) suppressions=(--suppressions="$(dirname "$0")/sdl12-compat.supp") ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/flimmer_memcheck_XXXXXX")
trap 'rm -rf "$work"' EXIT

# CRLF line ends, an entry before the first header, a comment, a repeated
# key and section, a NUL byte in a value and a line far longer than any
# field. The word each repeat earns is expected on standard error.
long=$(printf '%*s' 5000 '' | tr ' ' 'w')
{
  printf 'vorher=1\r\n# Kommentar\r\n[FLIM]\r\nbreite=80\r\nbreite=81\r\nhoehe=60\r\n'
  printf 'schweiflaenge=9\0zehn\r\nrichtungen=2\r\nfarbtiefe=0\r\nfullscreen=0\r\n'
  printf 'zuf_richtungswechsel=1\r\nconst_geschw=0\r\n[g]\r\nx=5\r\ny=5\r\nanz=6\r\nfarbe=4\r\n'
  printf '[g]\r\nlang=%s\r\n[%s]\r\nx=70\r\ny=50\r\nanz=4\r\nfarbe=2' "$long" "$long"
} >"$work/reader.ini"
reader_err=$(printf 'Wert breite bereits vorhanden! Es wurde kein neuer angelegt!\nSchl\374ssel g bereits vorhanden! Es wurde kein neuer angelegt!')

failures=0
fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}

check() {
  local name=$1 config=$2 expected_err=$3
  local vglog="$work/$name.valgrind" err="$work/$name.err" probelog="$work/$name.probe"
  local status
  SDL_VIDEODRIVER=dummy LD_PRELOAD="$probe" PROBE_QUIT_AFTER=$frames PROBE_LOG="$probelog" \
    valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
    --track-origins=yes "${suppressions[@]}" --log-file="$vglog" \
    "$program" "$config" 2>"$err" >/dev/null </dev/null
  status=$?
  echo "== $name: status $status"
  [ "$status" -eq 0 ] || fail "$name" "status $status (99: memcheck found errors)"
  grep -q 'ERROR SUMMARY: 0 errors' "$vglog" || fail "$name" "memcheck reports errors"
  if grep -q 'definitely lost: [1-9]' "$vglog"; then fail "$name" "memory definitely lost"; fi
  [ "$(cat "$err")" = "$expected_err" ] || fail "$name" "unexpected standard error: $(head -c 500 "$err")"
  # The probe asks the program to end after the last frame; that frame is
  # drawn too.
  grep -q "^SDL_Quit .* flips=$((frames + 1))\$" "$probelog" ||
    fail "$name" "did not draw $((frames + 1)) frames: $(tail -n 1 "$probelog")"
  if [ "$failures" -gt 0 ]; then
    sed -n '/ERROR SUMMARY\|Invalid\|uninitialised\|definitely/,+12p' "$vglog" | head -n 60
  fi
}

for config in "$configs"/*.ini; do
  check "$(basename "$config" .ini)" "$config" ""
done
check reader "$work/reader.ini" "$reader_err"

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "memcheck: all runs clean"
