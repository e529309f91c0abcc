# The fakes' sources, by name: one file per platform service, and the platform of them all. The
# unit tests (tests/CMakeLists.txt) and the fuzz targets (fuzz/CMakeLists.txt) both compile them.
set(ORV_FAKE_SOURCES
  FakeClock.cpp FakeFileSystem.cpp FakeHash.cpp FakeLocale.cpp FakeMessageBox.cpp FakeProcess.cpp FakeProfile.cpp
  FakeRegistry.cpp FakeShell.cpp FakeTransfer.cpp FakeWindows.cpp Fakes.cpp)
list(TRANSFORM ORV_FAKE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
