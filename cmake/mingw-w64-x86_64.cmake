# Cross build for 64-bit Windows with mingw-w64 (posix thread model), tests run under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORV_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Test executables (and anything else ctest runs) go through the 64-bit Wine.
find_program(ORV_WINE NAMES wine wine64 PATHS /usr/lib/wine /usr/bin)
if(ORV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ORV_WINE})
endif()
