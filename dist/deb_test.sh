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

. "$(dirname "$0")/package_test_lib.sh"
package_test_start "$1" "$2" deb cpack dpkg-deb dpkg-shlibdeps file desktop-file-validate

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
while read -r file; do
  grep -qx -- "./usr/$file" <<<"$paths" || fail "missing /usr/$file"
done < <(installed_files)
grep -Eq '^-rwxr-xr-x .* \./usr/games/flimmerwerk$' <<<"$listing" || fail "/usr/games/flimmerwerk is not executable"

# What a menu would start once the package is installed.
dpkg-deb -x "$deb" "$tmp/root" || fail "dpkg-deb -x"
desktop="$tmp/root/usr/share/applications/$ID.desktop"
if [ -f "$desktop" ]; then
  grep -qx 'Exec=/usr/games/flimmerwerk /usr/share/flimmerwerk/flimmer.ini' "$desktop" ||
    fail "desktop entry: $(grep '^Exec=' "$desktop")"
  check_desktop_entry "$desktop"
fi
man="$tmp/root/usr/share/man/man6/flimmerwerk.6.gz"
[ ! -f "$man" ] || grep -qF '/usr/share/flimmerwerk' <<<"$(gzip -dc "$man")" ||
  fail "manual page does not name /usr/share/flimmerwerk"

package_test_end "Debian package OK"
