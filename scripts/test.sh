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
# The release preset refuses to configure without the files it accepts named; here it is given
# test values: the address of the test server's HTTPS host and the checksums of the cabinet and of
# the transfer control and companion that the end-to-end tests serve (written by the cross build).
# It cannot run here (this kernel runs no 32-bit programs), so it is built and its file checked.
release_exe=build/mingw-x86/src/platform/win32/Orvastell.exe
test_files="${mingw_dir}/src/platform/win32"
sha256_of() { sha256sum "$1" | cut -c1-64; }
if cmake --preset mingw-x86 -B build/mingw-x86-unnamed >build/release-unnamed.log 2>&1 ||
  ! grep -q "ORV_CONTROL_SHA256 is not set" build/release-unnamed.log; then
  failed+=("the release preset configured without the files it accepts")
fi
rm -rf build/mingw-x86-unnamed
cmake --preset mingw-x86 -DORV_DOWNLOAD_URL=https://orvastell.test/downloads/runtime/ACCESSRT.CAB \
  -DORV_DOWNLOAD_SHA256="$(sha256_of "$test_files/e2e-cabinet.bin")" \
  -DORV_CONTROL_SHA256="$(sha256_of "$test_files/e2e-control.ocx"),$(sha256_of "$test_files/e2e-control.oca")" >/dev/null
if cmake --build --preset mingw-x86; then
  bash tests/release/check_exe.sh "$release_exe" || failed+=("32-bit release check")
  # The check itself refuses a program that carries a plain address, or no checksums.
  for change in 's|ORV_DOWNLOAD_URL=https://|ORV_DOWNLOAD_URL=http://o|' 's|ORV_DOWNLOAD_SHA256=[0-9a-f]|ORV_DOWNLOAD_SHA256=-|' \
    's|ORV_CONTROL_SHA256=[0-9a-f]|ORV_CONTROL_SHA256=-|'; do
    LC_ALL=C sed "$change" "$release_exe" >build/release-changed.exe
    if bash tests/release/check_exe.sh build/release-changed.exe >/dev/null; then
      failed+=("the release check passed a program changed by $change")
    fi
  done
  rm -f build/release-changed.exe
else
  failed+=("32-bit release build")
  release_exe=""
fi

echo "== Cross-built tests under Wine"
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
ctest --test-dir "${mingw_dir}" --output-on-failure --timeout 600 || failed+=("cross-built tests under Wine")

if [[ -f tests/wine/run_all.sh ]]; then
  echo "== Orvastell.exe under Wine"
  ORV_EXE="${root}/${mingw_dir#"${root}"/}/src/platform/win32/Orvastell.exe" ORV_RELEASE_EXE="${release_exe:+$root/$release_exe}" \
    bash tests/wine/run_all.sh || failed+=("Orvastell.exe under Wine")
fi

echo "== Sanitizer run of the unit tests and the bounded fuzzing"
bash scripts/robustness.sh || failed+=("sanitizers and fuzzing")

if ((${#failed[@]})); then
  printf '== FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "== All tests passed"
