# Runs while installing (see dist/CMakeLists.txt): writes the description
# xscreensaver's settings read, with the installed examples' directory as
# the package or `cmake --install --prefix` puts it, never DESTDIR.
#
# Expects FLIMMER_DIST_DIR, FLIMMER_WORK_DIR, FLIMMER_EXAMPLEDIR and
# FLIMMER_SAVER_CONFIGDIR, the last two relative to the prefix or absolute.

foreach(name EXAMPLEDIR SAVER_CONFIGDIR)
  set(dir "${FLIMMER_${name}}")
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  get_filename_component(FLIMMER_${name} "${dir}" ABSOLUTE)
endforeach()

# The directory goes into XML attribute values.
set(examples "${FLIMMER_EXAMPLEDIR}")
string(REPLACE "&" "&amp;" examples "${examples}")
string(REPLACE "<" "&lt;" examples "${examples}")
string(REPLACE "\"" "&quot;" examples "${examples}")
set(FLIMMER_SAVER_EXAMPLES "${examples}")

string(MD5 tag "$ENV{DESTDIR}|${CMAKE_INSTALL_PREFIX}")
set(work "${FLIMMER_WORK_DIR}/${tag}")
configure_file("${FLIMMER_DIST_DIR}/flimmerwerk.xml.in" "${work}/flimmerwerk.xml" @ONLY)
file(INSTALL DESTINATION "${FLIMMER_SAVER_CONFIGDIR}" TYPE FILE FILES "${work}/flimmerwerk.xml")
file(REMOVE_RECURSE "${work}")
