# Cross toolchain: Debian's mingw-w64 i686 compilers (posix thread model, so
# std::thread is there), test programs run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_OBJDUMP i686-w64-mingw32-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest and the build's own checks start every .exe through wine, by way of
# scripts/run-32bit.sh: directly where the kernel runs 32-bit programs, in an
# emulated machine where it does not; quietly, and without the prompts for
# the .NET and HTML runtimes.
find_program(TUMELIN_WINE wine REQUIRED)
find_program(TUMELIN_WINEBOOT wineboot REQUIRED)
get_filename_component(TUMELIN_RUN_32BIT ${CMAKE_CURRENT_LIST_DIR}/../scripts/run-32bit.sh ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR bash ${TUMELIN_RUN_32BIT} ${TUMELIN_WINE})
