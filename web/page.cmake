# The web page: the program compiled with Emscripten and its own SDL 1.2
# into one self-contained flimmerwerk.html (scripts/web). The page shell
# (web/shell.html) gets flimmer.ini and the examples as plain text; the
# program reads whatever the visitor runs from the page's file system.

file(GLOB FLIMMER_WEB_EXAMPLES CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/examples/*.ini")
set(FLIMMER_INI_FILES "")
foreach(path "${PROJECT_SOURCE_DIR}/flimmer.ini" ${FLIMMER_WEB_EXAMPLES})
  file(RELATIVE_PATH name "${PROJECT_SOURCE_DIR}" "${path}")
  file(READ "${path}" text)
  if(text MATCHES "</")
    message(FATAL_ERROR "${name} cannot go into a script element: it contains \"</\"")
  endif()
  string(APPEND FLIMMER_INI_FILES
         "<script type=\"text/plain\" class=\"ini-file\" data-name=\"${name}\">${text}</script>\n")
endforeach()
# The program's icon, as a data address: the page asks no server for one.
file(READ "${PROJECT_SOURCE_DIR}/dist/flimmerwerk.svg" FLIMMER_ICON)
foreach(pair "%;%25" "#;%23" "\";%22" "<;%3C" ">;%3E" "\n;%0A")
  list(GET pair 0 from)
  list(GET pair 1 to)
  string(REPLACE "${from}" "${to}" FLIMMER_ICON "${FLIMMER_ICON}")
endforeach()
set(FLIMMER_SHELL "${CMAKE_CURRENT_BINARY_DIR}/shell.html")
configure_file(web/shell.html "${FLIMMER_SHELL}" @ONLY)

add_executable(flimmerwerk app/main.cpp)
target_link_libraries(flimmerwerk PRIVATE flimmer)
set_target_properties(flimmerwerk PROPERTIES SUFFIX ".html"
  LINK_DEPENDS "${FLIMMER_SHELL};${PROJECT_SOURCE_DIR}/web/module.js")
target_link_options(flimmerwerk PRIVATE
  # One file that opens from disk: script and WebAssembly inside the page.
  -sSINGLE_FILE=1
  # Debian's emcc 3.1.6 crashes in its HTML minifier.
  -sMINIFY_HTML=0
  "--shell-file=${FLIMMER_SHELL}"
  "--pre-js=${PROJECT_SOURCE_DIR}/web/module.js"
  -sENVIRONMENT=web
  # A fresh program for every start: the page calls createFlimmerwerk().
  -sMODULARIZE=1
  -sEXPORT_NAME=createFlimmerwerk
  -sEXPORTED_RUNTIME_METHODS=FS
  # The main loop never returns to the browser; it waits for the next
  # animation frame with its stack put aside.
  -sASYNCIFY=1
  # exit() and the end of main report the status to the page.
  -sEXIT_RUNTIME=1
  # Memory grows as the configuration asks, up to a fixed limit; beyond it
  # an allocation fails and the program says so, as on a full desktop
  # (web/test_page.py reads the limit from here).
  -sALLOW_MEMORY_GROWTH=1
  -sMAXIMUM_MEMORY=1024MB
  -sABORTING_MALLOC=0
  # The program catches a failed allocation of its particle lists.
  -sDISABLE_EXCEPTION_CATCHING=0
)
target_compile_options(flimmer PRIVATE -sDISABLE_EXCEPTION_CATCHING=0)
# WebAssembly's 128-bit vectors, which every current engine runs: the
# compiler's vectoriser then copies the cells' colours into the picture
# four pixels at a time, as on the desktop.
target_compile_options(flimmer PRIVATE -msimd128)
target_compile_options(flimmerwerk PRIVATE -msimd128)
