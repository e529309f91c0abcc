#!/usr/bin/env bash
# Runs every test of the project: the core's unit tests natively, then the 32-bit release build
# (warnings are errors) and a check of its file, then the cross-built unit and backend tests under
# Wine in a scratch prefix, then the end-to-end tests of Orvastell.exe, then the unit tests under
# the sanitizers and the bounded fuzzing.
#
# Where this machine's kernel runs 32-bit programs (scripts/setup.sh then installs the 32-bit half
# of Wine), the 32-bit program, as the release build makes it, is tested as well: its unit and
# backend tests and every end-to-end scenario under a 64-bit Windows (a 32-bit process, with the
# registry and file-system redirection users have), and the launch, provisioning and download
# scenarios once more under a 32-bit Windows. ORV_NO_32BIT=1 leaves it out. The first line says which
# builds the end-to-end scenarios run against.
# Installs what it needs on a fresh Debian machine. Needs no terminal and no display.
#
# ORV_LINUX_BUILD_DIR and ORV_MINGW_BUILD_DIR move the two build trees away from the presets'
# build/linux and build/mingw.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
exec </dev/null

bash scripts/setup.sh
# shellcheck source=scripts/arch32.sh
. scripts/arch32.sh
run32=0
if orv_32bit_ready; then run32=1; fi

linux_dir="${ORV_LINUX_BUILD_DIR:-build/linux}"
mingw_dir="${ORV_MINGW_BUILD_DIR:-build/mingw}"
x86_dir=build/mingw-x86-tests
jobs=2
failed=()

if ((run32)); then
  echo "== End-to-end scenarios run against: the 32-bit build ($x86_dir) under a 64-bit and a 32-bit Windows, and the 64-bit build ($mingw_dir)"
else
  echo "== End-to-end scenarios run against: the 64-bit build ($mingw_dir) alone; the 32-bit build is left out: $ORV_32BIT_REASON"
fi

echo "== Native build and unit tests (${linux_dir})"
cmake --preset linux -B "${linux_dir}" >/dev/null
cmake --build "${linux_dir}" -j "${jobs}"
ctest --test-dir "${linux_dir}" --output-on-failure -j "${jobs}" || failed+=("native unit tests")

echo "== Cross build for Windows (${mingw_dir})"
cmake --preset mingw -B "${mingw_dir}" >/dev/null
cmake --build "${mingw_dir}" -j "${jobs}"

echo "== Release build for 32-bit Windows (build/mingw-x86, warnings are errors)"
# The release preset refuses to configure without the files it accepts named; here it is given
# test values: the address of the test server's HTTPS host and the checksums of the cabinet, the
# installer package, and the transfer control and companion that the end-to-end tests use
# (written by the cross build).
# Its file is checked here; where 32-bit programs run, a scenario downloads with it.
release_exe=build/mingw-x86/src/platform/win32/Orvastell.exe
test_files="${mingw_dir}/src/platform/win32"
sha256_of() { sha256sum "$1" | cut -c1-64; }
if cmake --preset mingw-x86 -B build/mingw-x86-unnamed >build/release-unnamed.log 2>&1 ||
  ! grep -q "ORV_CONTROL_SHA256 is not set" build/release-unnamed.log ||
  ! grep -q "ORV_PACKAGE_SHA256 is not set" build/release-unnamed.log; then
  failed+=("the release preset configured without the files it accepts")
fi
rm -rf build/mingw-x86-unnamed
cmake --preset mingw-x86 -DORV_DOWNLOAD_URL=https://orvastell.test/downloads/runtime/ACCESSRT.CAB \
  -DORV_DOWNLOAD_SHA256="$(sha256_of "$test_files/e2e-cabinet.bin")" \
  -DORV_PACKAGE_SHA256="$(sha256_of "$test_files/e2e-package.msi")" \
  -DORV_CONTROL_SHA256="$(sha256_of "$test_files/e2e-control.ocx"),$(sha256_of "$test_files/e2e-control.oca")" >/dev/null
if cmake --build --preset mingw-x86; then
  bash tests/release/check_exe.sh "$release_exe" || failed+=("32-bit release check")
  # The check itself refuses a program that carries a plain address, or no checksums.
  for change in 's|ORV_DOWNLOAD_URL=https://|ORV_DOWNLOAD_URL=http://o|' 's|ORV_DOWNLOAD_SHA256=[0-9a-f]|ORV_DOWNLOAD_SHA256=-|' \
    's|ORV_PACKAGE_SHA256=[0-9a-f]|ORV_PACKAGE_SHA256=-|' 's|ORV_CONTROL_SHA256=[0-9a-f]|ORV_CONTROL_SHA256=-|'; do
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

if ((run32)); then
  echo "== The 32-bit program and its tests, as the release build makes them (${x86_dir})"
  cmake --preset mingw-x86-tests >/dev/null
  cmake --build --preset mingw-x86-tests || failed+=("32-bit test build")
fi

echo "== Cross-built tests under Wine (64-bit)"
(
  # shellcheck source=scripts/wine-env.sh
  source scripts/wine-env.sh
  ctest --test-dir "${mingw_dir}" --output-on-failure --timeout 600
) || failed+=("cross-built tests under Wine (64-bit)")
if ((run32)); then
  echo "== Cross-built tests under Wine (32-bit, on a 64-bit Windows)"
  (
    # shellcheck source=scripts/wine-env.sh
    source scripts/wine-env.sh
    ctest --test-dir "${x86_dir}" --output-on-failure --timeout 600
  ) || failed+=("cross-built tests under Wine (32-bit)")
fi

agent64="${root}/${mingw_dir#"${root}"/}/src/platform/win32/Orvastell.exe"
agent32="${root}/${x86_dir}/src/platform/win32/Orvastell.exe"
if ((run32)); then
  echo "== The 32-bit Orvastell.exe under Wine, on a 64-bit Windows"
  ORV_EXE="$agent32" ORV_ARTEFACTS=build/artefacts/x86 ORV_RELEASE_EXE="${release_exe:+$root/$release_exe}" bash tests/wine/run_all.sh || failed+=("32-bit Orvastell.exe on a 64-bit Windows")
  echo "== The 32-bit Orvastell.exe under Wine, on a 32-bit Windows (launch, provisioning, download)"
  ORV_EXE="$agent32" ORV_ARTEFACTS=build/artefacts/x86-win32 ORV_WINEARCH=win32 ORV_E2E_ONLY='^(launch|provision|download)_' bash tests/wine/run_all.sh \
    || failed+=("32-bit Orvastell.exe on a 32-bit Windows")
fi
echo "== The 64-bit Orvastell.exe under Wine"
ORV_EXE="$agent64" ORV_RELEASE_EXE="${release_exe:+$root/$release_exe}" bash tests/wine/run_all.sh || failed+=("64-bit Orvastell.exe under Wine")

echo "== Sanitizer run of the unit tests and the bounded fuzzing"
bash scripts/robustness.sh || failed+=("sanitizers and fuzzing")

if ((${#failed[@]})); then
  printf '== FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "== All tests passed"
