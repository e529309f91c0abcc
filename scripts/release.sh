#!/usr/bin/env bash
# Makes the release: the shipped 32-bit Orvastell.exe, built afresh with the release preset
# (mingw-x86) and checked by tests/release/check_exe.sh, in one folder, dist/Orvastell-<version>/,
# with SHA256SUMS of everything in it and RELEASE.txt (the version, the address and checksums built
# in, the compiler, the source commit and the signature).
#
# The release settings come from the environment, and the command refuses to run without any of
# them: ORV_DOWNLOAD_URL (the runtime cabinet's https:// address), ORV_DOWNLOAD_SHA256 (its
# SHA-256), ORV_CONTROL_SHA256 (the SHA-256s of MSINET.OCX and MSINET.oca, comma-separated) and
# ORV_PACKAGE_SHA256 (the SHA-256 of the ACCESSRT.MSI the product ships).
#
# Signing (Authenticode, SHA-256, with osslsigncode), when ORV_SIGN_PKCS12 names a PKCS#12 file
# with the code-signing certificate and its key: ORV_SIGN_PASSWORD_FILE names the file that holds
# its password (never on a command line); ORV_SIGN_TIMESTAMP_URL, optional, a time-stamp server;
# ORV_SIGN_CA_FILE, optional, the authorities the signature is verified against after signing (by
# default the system's). Without ORV_SIGN_PKCS12 the program is left unsigned, and one line says so.
#
# The same sources give the same bytes: the link writes no time stamp, and SOURCE_DATE_EPOCH (by
# default the commit's time) is fixed for anything that would write a date. RELEASE.txt gives the
# SHA-256 of the program as built, before signing, to compare a rebuild with.
#
# For the test command only: ORV_RELEASE_BUILD_DIR moves the build tree (default build/mingw-x86),
# ORV_DIST_DIR the folder the release folder is made in (default dist), and ORV_RELEASE_TEST=1 says
# that the settings are test values (an address on a test host; RELEASE.txt then says it is not
# for users).
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null

settings=(ORV_DOWNLOAD_URL ORV_DOWNLOAD_SHA256 ORV_CONTROL_SHA256 ORV_PACKAGE_SHA256)
unset_settings=()
for name in "${settings[@]}"; do
  [[ -n "${!name:-}" ]] || unset_settings+=("$name")
done
if ((${#unset_settings[@]})); then
  echo "release: not set: ${unset_settings[*]}. A release names the files it accepts; set all of" \
    "${settings[*]} in the environment (README, \"The runtime's address and checksum\")." >&2
  exit 1
fi
if [[ -n "${ORV_SIGN_PKCS12:-}" ]]; then
  [[ -f "$ORV_SIGN_PKCS12" ]] || { echo "release: ORV_SIGN_PKCS12: no file $ORV_SIGN_PKCS12" >&2; exit 1; }
  [[ -n "${ORV_SIGN_PASSWORD_FILE:-}" && -f "$ORV_SIGN_PASSWORD_FILE" ]] ||
    { echo "release: ORV_SIGN_PASSWORD_FILE must name the file with the certificate's password" >&2; exit 1; }
  command -v osslsigncode >/dev/null || { echo "release: osslsigncode is not installed (scripts/setup.sh)" >&2; exit 1; }
fi

version="$(sed -nE 's/^project\(Orvastell VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)"
[[ -n "$version" ]] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
commit="unknown (not a git checkout)"
if head="$(git rev-parse -q --verify HEAD 2>/dev/null)"; then
  commit="$head"
  [[ -z "$(git status --porcelain --untracked-files=no)" ]] || commit="$commit, with uncommitted changes"
  : "${SOURCE_DATE_EPOCH:=$(git log -1 --format=%ct)}"
fi
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-0}"

# shellcheck source=presets.sh
. scripts/presets.sh
build="${ORV_RELEASE_BUILD_DIR:-$(orv_preset_dir mingw-x86)}"
out="${ORV_DIST_DIR:-dist}/Orvastell-$version"
log="$(mktemp /tmp/orv-release.XXXXXX)"
trap 'rm -f "$log"' EXIT

echo "release: building Orvastell $version in $build"
# Afresh: nothing of an earlier configuration of that folder (another address, a test value) stays.
if ! cmake --preset mingw-x86 -B "$build" --fresh -DORV_DOWNLOAD_URL="$ORV_DOWNLOAD_URL" \
  -DORV_DOWNLOAD_SHA256="$ORV_DOWNLOAD_SHA256" -DORV_CONTROL_SHA256="$ORV_CONTROL_SHA256" \
  -DORV_PACKAGE_SHA256="$ORV_PACKAGE_SHA256" >"$log" 2>&1 ||
  ! cmake --build "$build" -j 2 --target Orvastell >>"$log" 2>&1; then
  cat "$log" >&2
  echo "release: the build failed" >&2
  exit 1
fi
built="$(orv_agent_in "$build")"
check_args=()
[[ "${ORV_RELEASE_TEST:-}" == 1 ]] && check_args=(--test-build)
bash tests/release/check_exe.sh "${check_args[@]}" "$built"

rm -rf "$out"
mkdir -p "$out"
if [[ -n "${ORV_SIGN_PKCS12:-}" ]]; then
  timestamp=()
  [[ -n "${ORV_SIGN_TIMESTAMP_URL:-}" ]] && timestamp=(-ts "$ORV_SIGN_TIMESTAMP_URL")
  if ! osslsigncode sign -pkcs12 "$ORV_SIGN_PKCS12" -readpass "$ORV_SIGN_PASSWORD_FILE" -h sha256 \
    -n "Orvastell application agent" "${timestamp[@]}" -in "$built" -out "$out/Orvastell.exe" >"$log" 2>&1; then
    cat "$log" >&2
    echo "release: signing failed" >&2
    exit 1
  fi
  ca=()
  [[ -n "${ORV_SIGN_CA_FILE:-}" ]] && ca=(-CAfile "$ORV_SIGN_CA_FILE")
  if ! osslsigncode verify -in "$out/Orvastell.exe" "${ca[@]}" >"$log" 2>&1; then
    cat "$log" >&2
    echo "release: the signature does not verify" >&2
    exit 1
  fi
  # The signer as the signature names it: the first subject and issuer after "Signer #0".
  signer="$(awk '/Signer #0:/ { s = 1 } s && /Subject:/ && !subj { sub(/^[ \t]*Subject: */, ""); subj = $0 }
                 s && /Issuer :/ && !iss { sub(/^[ \t]*Issuer : */, ""); iss = $0 }
                 END { print subj " (issued by " iss ")" }' "$log")"
  stamped="none"
  [[ -n "${ORV_SIGN_TIMESTAMP_URL:-}" ]] && stamped="$ORV_SIGN_TIMESTAMP_URL"
  signature="Authenticode, SHA-256, verified after signing; signer: $signer; time-stamp: $stamped"
  # The settings must still be readable in the signed file.
  bash tests/release/check_exe.sh "${check_args[@]}" "$out/Orvastell.exe" >/dev/null
else
  cp "$built" "$out/Orvastell.exe"
  signature="none: unsigned (no ORV_SIGN_PKCS12 given)"
  echo "release: Orvastell.exe is unsigned (no code-signing certificate given: ORV_SIGN_PKCS12)"
fi

package_version() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo unknown; }
compiler="$(i686-w64-mingw32-g++-posix --version | head -n 1), Debian package g++-mingw-w64-i686-posix $(package_version g++-mingw-w64-i686-posix)"
linker="$(i686-w64-mingw32-ld --version | head -n 1), Debian package binutils-mingw-w64-i686 $(package_version binutils-mingw-w64-i686)"
{
  echo "Orvastell application agent $version"
  [[ "${ORV_RELEASE_TEST:-}" == 1 ]] && echo "A TEST BUILD, with the test command's values: not for users."
  echo
  echo "Program:           Orvastell.exe, 32-bit Windows (i686), release preset mingw-x86"
  echo "As built:          SHA-256 $(sha256sum "$built" | cut -c1-64) (before signing; a rebuild of the same sources gives these bytes)"
  echo "Signature:         $signature"
  echo "Source commit:     $commit"
  echo "Compiler:          $compiler"
  echo "Linker:            $linker"
  echo "SOURCE_DATE_EPOCH: $SOURCE_DATE_EPOCH"
  echo
  echo "Built in:"
  for name in "${settings[@]}"; do echo "  $name=${!name}"; done
} >"$out/RELEASE.txt"
(cd "$out" && sha256sum Orvastell.exe RELEASE.txt >SHA256SUMS)
echo "release: $out (Orvastell.exe $(sha256sum "$out/Orvastell.exe" | cut -c1-64))"
