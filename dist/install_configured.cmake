# Runs while installing (see dist/CMakeLists.txt), so that the desktop entry
# and the manual page name the directories actually installed to: the
# prefix given to `cmake --install --prefix`, or the one of the Debian
# package, never the staging directory (DESTDIR).
#
# Also writes the files a Debian package must have in its documentation
# directory (the copyright file, with the licence from LICENSE, and the
# changelog) and compresses them and the manual page the way Debian does
# (gzip -9n: no name, no time stamp, so the bytes depend on the text alone).
#
# Expects FLIMMER_DIST_DIR (this directory), FLIMMER_LICENSE (the top-level
# LICENSE), FLIMMER_WORK_DIR (scratch space in the build tree),
# FLIMMER_VERSION, and the install directories FLIMMER_BINDIR,
# FLIMMER_EXAMPLEDIR, FLIMMER_APPDIR, FLIMMER_MAN6DIR and FLIMMER_DOCDIR as
# GNUInstallDirs gives them: relative to the prefix, or absolute.

function(flimmer_full_path dir out)
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  get_filename_component(dir "${dir}" ABSOLUTE)  # drops doubled slashes
  set(${out} "${dir}" PARENT_SCOPE)
endfunction()

# One argument of a desktop entry's Exec key. Plain paths stay as they are;
# others are quoted, with the characters that are special inside quotes
# escaped. The backslashes are then doubled once more, as in every string
# value of a desktop entry, and a percent sign is written twice.
function(flimmer_exec_argument path out)
  set(argument "${path}")
  if(argument MATCHES "[^-A-Za-z0-9_./+,:@=]")
    string(REPLACE "\\" "\\\\" argument "${argument}")
    string(REPLACE "\"" "\\\"" argument "${argument}")
    string(REPLACE "`" "\\`" argument "${argument}")
    string(REPLACE "$" "\\$" argument "${argument}")
    set(argument "\"${argument}\"")
    string(REPLACE "\\" "\\\\" argument "${argument}")
  endif()
  string(REPLACE "%" "%%" argument "${argument}")
  set(${out} "${argument}" PARENT_SCOPE)
endfunction()

flimmer_full_path("${FLIMMER_BINDIR}" bindir)
flimmer_full_path("${FLIMMER_EXAMPLEDIR}" exampledir)
flimmer_full_path("${FLIMMER_APPDIR}" appdir)
flimmer_full_path("${FLIMMER_MAN6DIR}" man6dir)
flimmer_full_path("${FLIMMER_DOCDIR}" docdir)

# A menu launch has no useful working directory, so the entry names the
# installed default configuration by its full path.
flimmer_exec_argument("${bindir}/flimmerwerk" program)
flimmer_exec_argument("${exampledir}/flimmer.ini" configuration)
set(FLIMMER_DESKTOP_EXEC "${program} ${configuration}")

# In roff text a backslash starts an escape and a plain hyphen may be set
# as a typographic one.
string(REPLACE "\\" "\\e" FLIMMER_EXAMPLE_DIR "${exampledir}")
string(REPLACE "-" "\\-" FLIMMER_EXAMPLE_DIR "${FLIMMER_EXAMPLE_DIR}")

# Installs to different places may run at the same time (the tests do), so
# each gets scratch space of its own.
string(MD5 tag "$ENV{DESTDIR}|${CMAKE_INSTALL_PREFIX}")
set(work "${FLIMMER_WORK_DIR}/${tag}")
set(desktop_id io.github.flimmerwerk.Flimmerwerk)
configure_file("${FLIMMER_DIST_DIR}/${desktop_id}.desktop.in" "${work}/${desktop_id}.desktop" @ONLY)
configure_file("${FLIMMER_DIST_DIR}/flimmerwerk.6.in" "${work}/flimmerwerk.6" @ONLY)

# The copyright file carries the licence as the body of its License
# paragraph: the text of LICENSE from its first sentence on, each line
# indented by one blank and each empty line written as " .".
file(READ "${FLIMMER_LICENSE}" license)
string(FIND "${license}" "Permission is hereby granted" start)
if(start LESS 0)
  message(FATAL_ERROR "${FLIMMER_LICENSE} does not hold the licence text the copyright file expects")
endif()
string(SUBSTRING "${license}" ${start} -1 license)
string(STRIP "${license}" license)
string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
set(FLIMMER_LICENSE_TEXT " ${license}")
configure_file("${FLIMMER_DIST_DIR}/copyright.in" "${work}/copyright" @ONLY)

function(flimmer_gzip file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${file} failed")
  endif()
endfunction()
configure_file("${FLIMMER_DIST_DIR}/changelog" "${work}/changelog" COPYONLY)
flimmer_gzip("${work}/changelog")
flimmer_gzip("${work}/flimmerwerk.6")

# file(INSTALL) honours DESTDIR and records the files in the install manifest.
file(INSTALL DESTINATION "${appdir}" TYPE FILE FILES "${work}/${desktop_id}.desktop")
file(INSTALL DESTINATION "${man6dir}" TYPE FILE FILES "${work}/flimmerwerk.6.gz")
file(INSTALL DESTINATION "${docdir}" TYPE FILE FILES "${work}/copyright" "${work}/changelog.gz")
file(REMOVE_RECURSE "${work}")
