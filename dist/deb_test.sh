#!/usr/bin/env bash
# Builds the Debian package from the build tree into a temporary directory
# and checks its control fields (name, section, maintainer with an address,
# the SDL 1.2 runtime among the dependencies) and its contents: everything
# under /usr, the program in /usr/games, the desktop entry pointing there,
# the AppStream metadata, the compressed manual page, the copyright file,
# the changelog, the icon and every example. Debian's own tools on the
# package (lintian, hardening-check, installing it) are scripts/test-package.
#
# Usage: deb_test.sh BUILD_DIR SOURCE_DIR
# Status 0 passed, 1 failed, 77 skipped (a tool it needs is missing).
set -uo pipefail

build=$(cd "$1" && pwd) || exit 1
source=$(cd "$2" && pwd) || exit 1
for tool in cpack dpkg-deb dpkg-shlibdeps file desktop-file-validate; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIPPED: $tool is not installed (scripts/deps test installs it)"
    exit 77
  fi
done
tmp=$(mktemp -d "${TMPDIR:-/tmp}/flimmer_deb.XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if ! (cd "$build" && cpack -G DEB -B "$tmp/out" --config "$build/CPackConfig.cmake") \
    >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  echo "FAIL: cpack -G DEB" >&2
  exit 1
fi
shopt -s nullglob
debs=("$tmp"/out/*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  cat "$tmp/cpack.log" >&2
  echo "FAIL: expected one .deb, got ${#debs[@]}" >&2
  exit 1
fi
deb=${debs[0]}
echo "== $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = flimmerwerk ] || fail "Package: $(field Package)"
[ "$(field Section)" = games ] || fail "Section: $(field Section)"
grep -Eq '^[^<>]+ <[^@<> ]+@[^@<> ]+\.[a-z]+>$' <<<"$(field Maintainer)" ||
  fail "Maintainer is not 'Name <address>': $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
echo "Depends: $depends"
grep -Eq '(^|, )libsdl1\.2debian( |,|$)' <<<"$depends" || fail "Depends lacks libsdl1.2debian: $depends"

# The listing's last column is the path, "./usr/...".
listing=$(dpkg-deb -c "$deb") || fail "dpkg-deb -c"
paths=$(awk '{print $6}' <<<"$listing")
outside=$(grep -v '^\./usr/' <<<"$paths" | grep -vx '\./')
[ -z "$outside" ] || fail "outside /usr: $outside"
has() { grep -qx -- "./usr/$1" <<<"$paths" || fail "missing /usr/$1"; }
id=io.github.flimmerwerk.Flimmerwerk
has games/flimmerwerk
grep -Eq '^-rwxr-xr-x .* \./usr/games/flimmerwerk$' <<<"$listing" || fail "/usr/games/flimmerwerk is not executable"
has share/applications/$id.desktop
has share/metainfo/$id.metainfo.xml
has share/man/man6/flimmerwerk.6.gz
has share/doc/flimmerwerk/copyright
has share/doc/flimmerwerk/changelog.gz
has share/icons/hicolor/scalable/apps/flimmerwerk.svg
has share/flimmerwerk/flimmer.ini
for example in "$source"/examples/*.ini; do
  has "share/flimmerwerk/$(basename "$example")"
done

# What a menu would start once the package is installed.
dpkg-deb -x "$deb" "$tmp/root" || fail "dpkg-deb -x"
desktop="$tmp/root/usr/share/applications/$id.desktop"
if [ -f "$desktop" ]; then
  grep -qx 'Exec=/usr/games/flimmerwerk /usr/share/flimmerwerk/flimmer.ini' "$desktop" ||
    fail "desktop entry: $(grep '^Exec=' "$desktop")"
  output=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$output" ] ||
    fail "desktop-file-validate: $output"
fi
man="$tmp/root/usr/share/man/man6/flimmerwerk.6.gz"
[ ! -f "$man" ] || grep -qF '/usr/share/flimmerwerk' <<<"$(gzip -dc "$man")" ||
  fail "manual page does not name /usr/share/flimmerwerk"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "Debian package OK"
