#!/usr/bin/env bash
# Installs the build tree into temporary prefixes -- a plain one and one
# with a blank in its name -- and checks the result: what lands where, the
# desktop entry (validated, and started the way a menu starts it: from /),
# the AppStream metadata belonging to it, the manual page (compressed, no
# warnings from groff or mandoc, names the installed examples), the
# copyright file and changelog, and, in the plain prefix, every installed
# example run by the installed program.
#
# Usage: install_test.sh BUILD_DIR SOURCE_DIR PROBE_LIBRARY
# Status 0 passed, 1 failed, 77 skipped (a tool it needs is missing).
set -uo pipefail
export SDL_VIDEODRIVER=dummy  # whatever runs here stays off any screen

. "$(dirname "$0")/package_test_lib.sh"
package_test_start "$1" "$2" install desktop-file-validate appstreamcli groff mandoc gzip timeout cmp
probe=$3
version=$(sed -n 's/^project(flimmerwerk VERSION \([0-9.]*\) .*/\1/p' "$source/CMakeLists.txt")

# Runs the program with the given arguments from / under the dummy video
# driver for twenty frames, then the test probe presses Escape. It must
# have said nothing and end with status 0.
run_briefly() {
  local what=$1
  shift
  (cd / && SDL_VIDEODRIVER=dummy LD_PRELOAD="$probe" PROBE_QUIT_AFTER=20 \
    ASAN_OPTIONS=verify_asan_link_order=0 timeout -k 5 60 "$@" \
    >"$tmp/run.out" 2>"$tmp/run.err")
  local status=$?
  [ "$status" -eq 0 ] || fail "$what: exit status $status"
  [ ! -s "$tmp/run.err" ] || fail "$what: wrote to stderr: $(cat -v "$tmp/run.err")"
}

check_prefix() {
  local prefix=$1 run_examples=$2
  echo "== install to '$prefix'"
  if ! cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
    cat "$tmp/install.log" >&2
    fail "cmake --install into '$prefix'"
    return
  fi

  local bin="$prefix/games/flimmerwerk"
  local share="$prefix/share/flimmerwerk"
  local desktop="$prefix/share/applications/$ID.desktop"
  local metainfo="$prefix/share/metainfo/$ID.metainfo.xml"
  local icon="$prefix/share/icons/hicolor/scalable/apps/flimmerwerk.svg"
  local man="$prefix/share/man/man6/flimmerwerk.6.gz"
  local doc="$prefix/share/doc/flimmerwerk"

  local file
  while read -r file; do
    [ -f "$prefix/$file" ] || fail "missing $prefix/$file"
  done < <(installed_files)
  [ -x "$bin" ] || fail "$bin is not executable"
  grep -q '<svg' "$icon" 2>/dev/null || fail "no SVG icon at $icon"

  # Exactly the bundled configuration and the examples, nothing else.
  local expected actual
  expected=$( (echo flimmer.ini; cd "$source/examples" && ls -- *.ini) | sort)
  actual=$(cd "$share" 2>/dev/null && ls -A | sort)
  [ "$expected" = "$actual" ] || fail "examples in $share: got [$actual], expected [$expected]"
  local name
  for name in $expected; do
    if [ "$name" = flimmer.ini ]; then
      cmp -s "$source/flimmer.ini" "$share/$name" || fail "$share/$name differs from the source"
    else
      cmp -s "$source/examples/$name" "$share/$name" || fail "$share/$name differs from the source"
    fi
  done

  # The desktop entry.
  if [ ! -f "$desktop" ]; then
    fail "no desktop entry $desktop"
  else
    check_desktop_entry "$desktop"
    grep -qx 'Icon=flimmerwerk' "$desktop" || fail "the entry does not name the installed icon"
    # The Exec value: string escapes first (only \\ can occur), then the
    # quoting, whose rules are those of the shell's double quotes.
    local exec_line
    exec_line=$(sed -n 's/^Exec=//p' "$desktop" | head -n 1)
    exec_line=${exec_line//\\\\/\\}
    exec_line=${exec_line//%%/%}
    eval "set -- $exec_line"
    [ $# -eq 2 ] || fail "Exec should name the program and one file: $exec_line"
    [ "${1-}" = "$bin" ] || fail "Exec program '${1-}', expected '$bin'"
    [ "${2-}" = "$share/flimmer.ini" ] || fail "Exec file '${2-}', expected '$share/flimmer.ini'"
    [ $# -eq 2 ] && run_briefly "desktop entry" "$@"
  fi

  # The AppStream metadata, for the desktop entry installed beside it.
  if [ ! -f "$metainfo" ]; then
    fail "no AppStream metadata $metainfo"
  else
    appstreamcli validate --no-net "$metainfo" >"$tmp/appstream.out" 2>&1 ||
      fail "appstreamcli validate: $(cat "$tmp/appstream.out")"
    grep -qF "<launchable type=\"desktop-id\">$ID.desktop</launchable>" "$metainfo" ||
      fail "the metadata does not launch $ID.desktop"
    grep -qF "<release version=\"$version\"" "$metainfo" ||
      fail "the metadata lists no release $version"
  fi

  # The manual page, compressed as Debian wants it (no name, no time stamp).
  if [ ! -f "$man" ]; then
    fail "no manual page $man"
  else
    local groff_out mandoc_out text
    gzip -dc "$man" >"$tmp/flimmerwerk.6" || fail "$man is not gzip"
    [ "$(od -An -tx1 -j3 -N5 "$man" | tr -d ' ')" = 0000000000 ] ||
      fail "$man keeps a name or a time stamp (not gzip -n)"
    groff_out=$(groff -man -ww -z "$tmp/flimmerwerk.6" 2>&1)
    [ -z "$groff_out" ] || fail "groff -man -ww -z: $groff_out"
    mandoc_out=$(mandoc -T lint "$man" 2>&1)
    [ -z "$mandoc_out" ] || fail "mandoc -T lint: $mandoc_out"
    ! grep -n '@[A-Z_]*@' "$tmp/flimmerwerk.6" || fail "placeholders left in $man"
    text=$(groff -man -Tascii -rLL=250n -rHY=0 -P-cbou "$tmp/flimmerwerk.6" 2>/dev/null)
    grep -qF -- "$share" <<<"$text" || fail "the manual page does not name $share"
    for name in $expected; do
      grep -qF -- "$name" <<<"$text" || fail "the manual page does not mention $name"
    done
  fi

  # The copyright file carries the licence word for word, in the layout of
  # a machine-readable copyright file; the changelog's newest entry is
  # this version.
  if [ ! -f "$doc/copyright" ]; then
    fail "no copyright file in $doc"
  else
    local license
    license=$(sed -n '/^License: Expat$/,$p' "$doc/copyright" | tail -n +2 | sed 's/^ //; s/^\.$//')
    [ "$license" = "$(sed -n '/^Permission is hereby granted/,$p' "$source/LICENSE")" ] ||
      fail "the licence in $doc/copyright differs from LICENSE"
  fi
  [[ "$(gzip -dc "$doc/changelog.gz" 2>/dev/null)" == "flimmerwerk ($version) "* ]] ||
    fail "$doc/changelog.gz does not start with version $version"
  # Built as a screensaver: the display mode beside xscreensaver's, and a
  # description whose every file, the default and each choice, is installed.
  local hack="$prefix/libexec/xscreensaver/flimmerwerk"
  local saver="$prefix/share/xscreensaver/config/flimmerwerk.xml"
  if [ -e "$hack" ]; then
    cmp -s "$bin" "$hack" || fail "$hack is not the installed program"
    local choices=0 file
    while IFS= read -r file; do
      choices=$((choices + 1))
      [ -f "$file" ] || fail "$saver offers '$file', which is not installed"
    done < <(sed -n 's/.* arg\(-set\)\{0,1\}="\([^"]*\)".*/\2/p' "$saver" 2>/dev/null)
    [ "$choices" -gt 0 ] || fail "no configuration to choose in $saver"
  fi

  # Every installed example, run by the installed program; once is enough.
  if [ "$run_examples" = yes ]; then
    for name in $expected; do
      run_briefly "$name" "$bin" "$share/$name"
    done
  fi
}

check_prefix "$tmp/usr" yes
check_prefix "$tmp/with blank/usr" no

package_test_end "install tree OK"
