# shellcheck shell=bash
# Sourced by tests/wine/run_all.sh and scripts/demo.sh (from the repository's root): where the
# helper programs of tests/wine come from. CMake builds them (tests/wine/CMakeLists.txt), in the
# cross build for the architecture of the Orvastell.exe they run beside: the recorder stands in
# for the 32-bit system folder's regsvr32, the planted library must be one the agent could load,
# and a 32-bit Windows runs no 64-bit program at all.
#
# The build tree: ORV_TOOLS_BUILD_DIR when set; else the tree the agent was built in, when that
# tree builds the tests; else the preset's tree, build/mingw for x86_64 and build/mingw-x86-tests
# for i686 (configured from the preset when it is missing).

# shellcheck source=../../scripts/arch32.sh
. scripts/arch32.sh
# shellcheck source=../../scripts/presets.sh
. scripts/presets.sh

# orv_helper_tree ARCH AGENT: prints the build tree that has (or will have) the helper programs.
orv_helper_tree() {
  local arch="$1" agent="$2" tree
  if [[ -n "${ORV_TOOLS_BUILD_DIR:-}" ]]; then
    echo "$ORV_TOOLS_BUILD_DIR"
    return
  fi
  tree="$(cd "$(dirname "$agent")" && pwd)"
  if [[ "$tree" == */src/win32 ]]; then
    tree="${tree%/src/win32}"
    if grep -qx 'ORV_BUILD_TESTS:BOOL=ON' "$tree/CMakeCache.txt" 2>/dev/null; then
      echo "$tree"
      return
    fi
  fi
  orv_preset_dir "$(orv_test_preset "$arch")"
}

# orv_helper_programs ARCH AGENT TARGET...: brings the CMake targets TARGET... of tests/wine up to
# date and prints the absolute path of the folder that holds them. Fails, with CMake's output,
# when they do not build, and when they are not programs for ARCH.
orv_helper_programs() {
  local arch="$1" agent="$2" tree preset log target file
  shift 2
  tree="$(orv_helper_tree "$arch" "$agent")"
  preset="$(orv_test_preset "$arch")"
  log="$(mktemp /tmp/orv-helpers.XXXXXX)"
  if { [[ -f "$tree/CMakeCache.txt" ]] || cmake --preset "$preset" -B "$tree"; } >"$log" 2>&1 &&
    cmake --build "$tree" -j 2 --target "$@" >>"$log" 2>&1; then
    rm -f "$log"
  else
    cat "$log" >&2
    rm -f "$log"
    echo "the helper programs ($*) do not build in $tree" >&2
    return 1
  fi
  tree="$(cd "$tree" && pwd)"
  for target in "$@"; do
    file="$tree/tests/wine/$target.exe"
    [[ -f "$file" ]] || file="$tree/tests/wine/$target.dll"
    if [[ "$(orv_pe_arch "$file")" != "$arch" ]]; then
      echo "$file is not a program for $arch, as the agent is: $tree builds for another architecture" >&2
      return 1
    fi
  done
  echo "$tree/tests/wine"
}
