# giflib for the Windows build, as GIF::GIF: Debian's source package of the
# installed libgif-dev's version, Debian's patches applied, fetched once into
# the build folder by scripts/fetch-debian-source.sh (TUMELIN_GIFLIB_SOURCE
# names another tree) and compiled as a static library, so tumelin-host.exe
# needs no DLL of it.
set(TUMELIN_GIFLIB_SOURCE "" CACHE PATH "giflib's source tree for the Windows build (empty: fetch Debian's)")
if(NOT EXISTS "${TUMELIN_GIFLIB_SOURCE}/gif_lib.h")
  execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/fetch-debian-source.sh libgif-dev
                          ${CMAKE_BINARY_DIR}/third_party
                  OUTPUT_VARIABLE fetched OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "tumelin-host.exe needs giflib's Debian source, which could not be fetched (above)")
  endif()
  set(TUMELIN_GIFLIB_SOURCE ${fetched} CACHE PATH "giflib's source tree for the Windows build (empty: fetch Debian's)"
      FORCE)
endif()

# the library's own list of sources, from its Makefile
file(READ ${TUMELIN_GIFLIB_SOURCE}/Makefile makefile)
string(REPLACE "\\\n" " " makefile "${makefile}")
string(REGEX MATCH "\nSOURCES[ \t]*=[^\n]*" sources "${makefile}")
string(REGEX REPLACE "^\nSOURCES[ \t]*=" "" sources "${sources}")
separate_arguments(sources UNIX_COMMAND "${sources}")
list(TRANSFORM sources PREPEND ${TUMELIN_GIFLIB_SOURCE}/)
if(NOT sources)
  message(FATAL_ERROR "no SOURCES in ${TUMELIN_GIFLIB_SOURCE}/Makefile")
endif()

add_library(tumelin_giflib STATIC ${sources})
target_include_directories(tumelin_giflib SYSTEM PUBLIC ${TUMELIN_GIFLIB_SOURCE})
# third-party code: its warnings are not ours
target_compile_options(tumelin_giflib PRIVATE -w)
set_target_properties(tumelin_giflib PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
add_library(GIF::GIF ALIAS tumelin_giflib)
set(GIF_FOUND TRUE)
