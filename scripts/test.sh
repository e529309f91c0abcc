#!/usr/bin/env bash
# Runs every test of the project: a test of set-up itself against stand-ins of apt-get and dpkg,
# the core's unit tests natively, then the 32-bit release build with test values (warnings are
# errors, in build/release-test) and a check of its file, then the cross-built unit and backend
# tests under Wine in a scratch prefix, then the end-to-end tests of Orvastell.exe, then the unit
# tests under the sanitizers and the bounded fuzzing.
#
# Where this machine's kernel runs 32-bit programs and scripts/setup.sh could install the 32-bit
# half of Wine, the 32-bit program, as the release build makes it, is tested as well: its unit and
# backend tests (ctest runs them through Wine) and every end-to-end scenario under a 64-bit
# Windows (a 32-bit process, with the registry and file-system redirection users have), and the
# launch, provisioning and download scenarios once more under a 32-bit Windows. ORV_NO_32BIT=1
# leaves it out. The first line says which builds the end-to-end scenarios run against and, when
# the 32-bit one is left out, why; set-up's own output follows it.
# Installs what it needs on a fresh Debian machine. Needs no terminal and no display.
#
# ORV_LINUX_BUILD_DIR and ORV_MINGW_BUILD_DIR move the two build trees away from the presets'
# build/linux and build/mingw.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
exec </dev/null

# Set-up's output follows the first line, which says which builds are tested and, when the 32-bit
# one is left out, why (set-up's own reason when it tried to install the 32-bit Wine and could
# not).
setup_log="$(mktemp /tmp/orv-setup-log.XXXXXX)"
setup_status=0
bash scripts/setup.sh >"$setup_log" 2>&1 || setup_status=$?
# shellcheck source=scripts/arch32.sh
. scripts/arch32.sh
run32=0
if orv_32bit_ready; then run32=1; fi
setup_32bit="$(sed -n 's/^32-bit Wine: not installed (\(.*\))$/\1/p' "$setup_log" | tail -n 1)"

# shellcheck source=scripts/presets.sh
. scripts/presets.sh
linux_dir="${ORV_LINUX_BUILD_DIR:-$(orv_preset_dir linux)}"
mingw_dir="${ORV_MINGW_BUILD_DIR:-$(orv_preset_dir "$(orv_test_preset x86_64)")}"
x86_preset="$(orv_test_preset i686)"
x86_dir="$(orv_preset_dir "$x86_preset")"
shipped_dir="$(orv_preset_dir mingw-x86)"
# The release preset's configuration with the test values, in a folder of its own: build/mingw-x86
# is left to the program that is shipped, which must never be configured with them.
release_dir=build/release-test
jobs=2
failed=()
# The shipped program's folder is never written here; one that was not there at the start must not
# be there at the end.
release_folder_was_there=0
[[ -e "$shipped_dir" ]] && release_folder_was_there=1

if ((run32)); then
  echo "== End-to-end scenarios run against: the 32-bit build ($x86_dir) under a 64-bit and a 32-bit Windows, and the 64-bit build ($mingw_dir)"
else
  echo "== End-to-end scenarios run against: the 64-bit build ($mingw_dir) alone; the 32-bit build is left out: ${setup_32bit:-$ORV_32BIT_REASON}"
fi
sed 's/^/   /' "$setup_log"
rm -f "$setup_log"
if ((setup_status)); then
  echo "== FAILED: set-up (status $setup_status)"
  exit 1
fi

echo "== Set-up when the 32-bit Wine cannot be had (stand-ins for apt-get and dpkg)"
bash tests/setup/setup_test.sh || failed+=("set-up without the 32-bit Wine")

echo "== Native build and unit tests (${linux_dir})"
cmake --preset linux -B "${linux_dir}" >/dev/null
cmake --build "${linux_dir}" -j "${jobs}"
ctest --test-dir "${linux_dir}" --output-on-failure -j "${jobs}" || failed+=("native unit tests")

echo "== Cross build for Windows (${mingw_dir})"
cmake --preset mingw -B "${mingw_dir}" >/dev/null
cmake --build "${mingw_dir}" -j "${jobs}"

echo "== The release (scripts/release.sh) with the test values, in ${release_dir} (warnings are errors)"
# The release preset refuses to configure without the files it accepts named; here it is given
# test values: the address of the test server's HTTPS host and the checksums of the cabinet, of the
# transfer control and companion, and of the installer package that the end-to-end tests use
# (written by the cross build). Its file is checked here; where 32-bit programs run, a scenario
# downloads with it.
release_exe="$(orv_agent_in "$release_dir")"
test_files="$(dirname "$(orv_agent_in "$mingw_dir")")"
sha256_of() { sha256sum "$1" | cut -c1-64; }
if cmake --preset mingw-x86 -B build/mingw-x86-unnamed >build/release-unnamed.log 2>&1 ||
  ! grep -q "ORV_CONTROL_SHA256 is not set" build/release-unnamed.log ||
  ! grep -q "ORV_PACKAGE_SHA256 is not set" build/release-unnamed.log; then
  failed+=("the release preset configured without the files it accepts")
fi
rm -rf build/mingw-x86-unnamed build/release-unnamed.log
release_settings=(
  ORV_DOWNLOAD_URL=https://orvastell.test/downloads/runtime/ACCESSRT.CAB
  ORV_DOWNLOAD_SHA256="$(sha256_of "$test_files/e2e-cabinet.bin")"
  ORV_CONTROL_SHA256="$(sha256_of "$test_files/e2e-control.ocx"),$(sha256_of "$test_files/e2e-control.oca")"
  ORV_PACKAGE_SHA256="$(sha256_of "$test_files/e2e-package.msi")"
)
if env "${release_settings[@]}" ORV_RELEASE_TEST=1 ORV_RELEASE_BUILD_DIR="$release_dir" ORV_DIST_DIR="$release_dir/dist" \
  bash scripts/release.sh; then
  # Told nothing, the check refuses this program: it downloads from a test host.
  if bash tests/release/check_exe.sh "$release_exe" >build/release-check.log 2>&1 ||
    ! grep -q "reserved for tests" build/release-check.log; then
    failed+=("the release check passed a program that downloads from a test host")
  fi
  # The check itself refuses a program that carries a plain address, or no checksums.
  for change in 's|ORV_DOWNLOAD_URL=https://|ORV_DOWNLOAD_URL=http://o|' 's|ORV_DOWNLOAD_SHA256=[0-9a-f]|ORV_DOWNLOAD_SHA256=-|' \
    's|ORV_PACKAGE_SHA256=[0-9a-f]|ORV_PACKAGE_SHA256=-|' 's|ORV_CONTROL_SHA256=[0-9a-f]|ORV_CONTROL_SHA256=-|'; do
    LC_ALL=C sed "$change" "$release_exe" >build/release-changed.exe
    if bash tests/release/check_exe.sh --test-build build/release-changed.exe >/dev/null; then
      failed+=("the release check passed a program changed by $change")
    fi
  done
  rm -f build/release-changed.exe build/release-check.log
  echo "== The release folder; the same sources built again elsewhere; signed with a throwaway certificate"
  bash tests/release/release_test.sh "$release_dir"/dist/Orvastell-* "${release_settings[@]}" ||
    failed+=("the release: folder, reproducible build, signature")
else
  failed+=("32-bit release build")
  release_exe=""
fi

if ((run32)); then
  echo "== The 32-bit program and its tests, as the release build makes them (${x86_dir})"
  cmake --preset "$x86_preset" >/dev/null
  cmake --build --preset "$x86_preset" || failed+=("32-bit test build")
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

agent64="${root}/$(orv_agent_in "${mingw_dir#"${root}"/}")"
agent32="${root}/$(orv_agent_in "$x86_dir")"
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

if ((!release_folder_was_there)) && [[ -e "$shipped_dir" ]]; then
  failed+=("the test command wrote $shipped_dir, the folder of the program that is shipped")
fi

if ((${#failed[@]})); then
  printf '== FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "== All tests passed"
