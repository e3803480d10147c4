# shellcheck shell=bash
# Shared by install_test.sh and deb_test.sh: the arguments, the tools they
# need, a work directory, the count of failed checks, and what an
# installation holds. Source it; it sets nothing up by itself.

# package_test_start BUILD_DIR SOURCE_DIR NAME TOOL...: sets build and
# source (absolute) and tmp (a work directory removed at exit); exits with
# 77 (skipped) where a tool is missing.
package_test_start() {
  build=$(cd "$1" && pwd) || exit 1
  source=$(cd "$2" && pwd) || exit 1
  local name=$3 tool
  shift 3
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIPPED: $tool is not installed (scripts/deps test installs it)"
      exit 77
    fi
  done
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/flimmer_$name.XXXXXX") || exit 1
  trap 'rm -rf "$tmp"' EXIT
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Ends the test: status 1 where a check failed, else says what passed.
package_test_end() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "$1"
}

ID=io.github.flimmerwerk.Flimmerwerk

# The files an installation holds, relative to its prefix: the program,
# the desktop entry, the AppStream metadata, the icon, the manual page,
# the copyright file, the changelog, the bundled configuration and every
# example.
installed_files() {
  printf '%s\n' games/flimmerwerk "share/applications/$ID.desktop" \
    "share/metainfo/$ID.metainfo.xml" share/icons/hicolor/scalable/apps/flimmerwerk.svg \
    share/man/man6/flimmerwerk.6.gz share/doc/flimmerwerk/copyright \
    share/doc/flimmerwerk/changelog.gz share/flimmerwerk/flimmer.ini
  local example
  for example in "$source"/examples/*.ini; do
    echo "share/flimmerwerk/$(basename "$example")"
  done
}

# desktop-file-validate has nothing to say about the entry.
check_desktop_entry() {
  local output
  output=$(desktop-file-validate "$1" 2>&1) && [ -z "$output" ] ||
    fail "desktop-file-validate: $output"
}
