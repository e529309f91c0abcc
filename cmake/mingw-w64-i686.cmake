# Cross build for 32-bit Windows with mingw-w64 (posix thread model): the Orvastell.exe that is
# shipped.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ORV_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Test executables (and anything else ctest runs) go through Wine's launcher, which runs a 32-bit
# program with the 32-bit loader of wine32:i386. Where that half of Wine is missing (or the kernel
# runs no 32-bit programs) the launcher cannot run them, and scripts/test.sh does not run this
# build's tests.
find_program(ORV_WINE NAMES wine PATHS /usr/bin)
if(ORV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORV_WINE})
endif()
