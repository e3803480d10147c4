# Settings for the Debian package, `cpack -G DEB` in the build directory.
# Included from the top-level CMakeLists.txt right before include(CPack),
# which reads them from that scope.

set(CPACK_PACKAGE_NAME "flimmerwerk")
set(CPACK_PACKAGE_VENDOR "The Flimmerwerk developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "coloured particles dragging fading trails over a white field")
set(CPACK_GENERATOR "DEB")

set(CPACK_DEBIAN_PACKAGE_NAME "flimmerwerk")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The address is a placeholder until the project has a mailing list; a
# packager sets their own with -DFLIMMER_PACKAGE_MAINTAINER="Name <address>".
set(FLIMMER_PACKAGE_MAINTAINER "The Flimmerwerk developers <flimmerwerk@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FLIMMER_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/flimmerwerk/flimmerwerk")
# A program to watch for fun: section games, its binary in /usr/games and
# its manual page in section 6 (see FLIMMER_INSTALL_BINDIR).
set(CPACK_DEBIAN_PACKAGE_SECTION "games")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The summary above is the synopsis line; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A small animation: groups of particles wander over a white window or the
whole screen, each dragging a trail that fades from a saturated colour
into the background. Sizes, speeds, trail lengths, colours and the
behaviour at the borders are set in a simple configuration file; several
examples are included.")
# A Debian package lives under /usr, whatever CMAKE_INSTALL_PREFIX says.
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
# dpkg-shlibdeps works out the runtime libraries, SDL 1.2 among them:
# libsdl1.2debian (>= 1.2.15). Where SDL 1.2 is sdl12-compat, its package
# libsdl1.2-compat-shim provides libsdl1.2debian (= 1.2.15-1), which meets
# that as it is.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
