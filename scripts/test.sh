#!/usr/bin/env bash
# Runs every test of the project: the core's unit tests natively, then the 32-bit release build
# (warnings are errors) and a check of its file, then the cross-built unit and backend tests under
# Wine in a scratch prefix, then the end-to-end tests of Orvastell.exe, then the unit tests under
# the sanitizers and the bounded fuzzing.
# Installs what it needs on a fresh Debian machine. Needs no terminal and no display.
#
# ORV_LINUX_BUILD_DIR and ORV_MINGW_BUILD_DIR move the two build trees away from the presets'
# build/linux and build/mingw.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
exec </dev/null

bash scripts/setup.sh

linux_dir="${ORV_LINUX_BUILD_DIR:-build/linux}"
mingw_dir="${ORV_MINGW_BUILD_DIR:-build/mingw}"
jobs=2
failed=()

echo "== Native build and unit tests (${linux_dir})"
cmake --preset linux -B "${linux_dir}" >/dev/null
cmake --build "${linux_dir}" -j "${jobs}"
ctest --test-dir "${linux_dir}" --output-on-failure -j "${jobs}" || failed+=("native unit tests")

echo "== Cross build for Windows (${mingw_dir})"
cmake --preset mingw -B "${mingw_dir}" >/dev/null
cmake --build "${mingw_dir}" -j "${jobs}"

echo "== Release build for 32-bit Windows (build/mingw-x86, warnings are errors)"
# It cannot run here (this kernel runs no 32-bit programs), so it is built and its file checked.
cmake --preset mingw-x86 >/dev/null
if cmake --build --preset mingw-x86; then
  bash tests/release/check_exe.sh build/mingw-x86/src/platform/win32/Orvastell.exe || failed+=("32-bit release check")
else
  failed+=("32-bit release build")
fi

echo "== Cross-built tests under Wine"
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
ctest --test-dir "${mingw_dir}" --output-on-failure --timeout 600 || failed+=("cross-built tests under Wine")

if [[ -f tests/wine/run_all.sh ]]; then
  echo "== Orvastell.exe under Wine"
  ORV_EXE="${root}/${mingw_dir#"${root}"/}/src/platform/win32/Orvastell.exe" bash tests/wine/run_all.sh || failed+=("Orvastell.exe under Wine")
fi

echo "== Sanitizer run of the unit tests and the bounded fuzzing"
bash scripts/robustness.sh || failed+=("sanitizers and fuzzing")

if ((${#failed[@]})); then
  printf '== FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "== All tests passed"
