# Cross build for 32-bit Windows with mingw-w64 (posix thread model): the Orvastell.exe that is
# shipped. Nothing built here runs on a machine whose kernel runs no 32-bit programs, so no
# emulator is set.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ORV_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
