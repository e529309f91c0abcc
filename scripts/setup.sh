#!/usr/bin/env bash
# Installs the project's build and test tools with apt-get; quiet and quick when all is there.
#
# First the tools every machine needs, the 64-bit Wine among them: installed and then checked,
# and a failure there ends set-up. Then, only where this machine's kernel runs 32-bit programs,
# the 32-bit half of Wine (wine32:i386), which runs the shipped 32-bit Orvastell.exe as a 32-bit
# process on a 64-bit Windows. That half is optional: whatever goes wrong with it (adding the
# architecture, reading its package index, planning or making the install) is said in one line,
# "32-bit Wine: ...", and set-up goes on and succeeds without it. It is never installed when
# apt's plan for it would remove a package (a mirror out of sync, or without the security suite,
# has been seen to plan the removal of wine64), and when set-up added the i386 architecture
# itself and the install did not happen, the architecture is removed again, so that the
# machine's later apt-get update calls work as before. Where the kernel runs no 32-bit programs
# it is not tried at all (its launcher would prefer a 32-bit loader that cannot start).
# ORV_NO_32BIT=1 leaves it out in any case (it is not removed where it is installed).
#
# Every run prints exactly one line that begins with "32-bit Wine: "; scripts/test.sh shows it.
# ORV_APT_RETRY_PAUSE sets the pause (seconds, default 10) before a failed apt-get update is
# tried once more. tests/setup/setup_test.sh runs this script against stand-ins for apt-get and
# dpkg; ORV_SETUP_TEST_32BIT_KERNEL=1, for that test alone, makes it take the 32-bit path on a
# kernel that runs no 32-bit programs.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(
  cmake ninja-build g++ libgtest-dev googletest   # native build and GoogleTest (sources too, for mingw)
  g++-mingw-w64-x86-64-posix                       # cross build of Orvastell.exe (64-bit, tested under Wine)
  g++-mingw-w64-i686-posix                         # the shipped 32-bit Orvastell.exe
  wine wine64                                      # runs the cross-built programs
  xvfb xauth                                       # an X display for Wine when there is none
  imagemagick                                      # screenshots of the windows and boxes
  python3                                          # the tests' local HTTP server and the icon script
  openssl                                          # the certificates of the tests' HTTPS server
  osslsigncode                                     # Authenticode signatures of the release (scripts/release.sh)
  clang libclang-rt-14-dev libfuzzer-14-dev         # the fuzz targets (libFuzzer and the sanitizers)
)
export DEBIAN_FRONTEND=noninteractive
retry_pause="${ORV_APT_RETRY_PAUSE:-10}"

# apt_update LOG: apt-get update, once more after a pause when it fails; its output in LOG.
apt_update() {
  apt-get update -qq >"$1" 2>&1 </dev/null && return 0
  sleep "$retry_pause"
  apt-get update -qq >"$1" 2>&1 </dev/null
}
# first_error LOG: apt's first error line, without its "E: " and its mirror's address.
first_error() {
  local line
  line="$(grep -m1 '^E: ' "$1" || grep -m1 . "$1" || true)"
  line="${line#E: }"
  line="${line% \[IP: *\]}"
  echo "${line:-no reason given}"
}
# missing_packages: the packages of the list that are not installed (a package removed with its
# configuration files kept is known to dpkg, but not installed).
missing_packages() {
  local installed p
  installed=" $(dpkg-query -W -f='${db:Status-Abbrev}${Package}\n' "${packages[@]}" 2>/dev/null |
    sed -n 's/^ii *//p' | tr '\n' ' ')"
  for p in "${packages[@]}"; do
    [[ "$installed" == *" $p "* ]] || echo "$p"
  done
}

# ------------------------------------------------------------------ what every machine needs

log="$(mktemp /tmp/orv-setup.XXXXXX)"
trap 'rm -f "$log"' EXIT
mapfile -t missing < <(missing_packages)
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if ! apt_update "$log"; then
    # The lists apt already has may be enough; the install says so if they are not.
    echo "apt-get update failed twice ($(first_error "$log")); installing from the package lists at hand"
  fi
  if ! apt-get install -y -qq "${missing[@]}" </dev/null >"$log" 2>&1; then
    cat "$log" >&2
    echo "setup: the tools could not be installed: $(first_error "$log")" >&2
    exit 1
  fi
fi
mapfile -t missing < <(missing_packages)
if ((${#missing[@]})); then
  echo "setup: still not installed: ${missing[*]}" >&2
  exit 1
fi
if ! /usr/lib/wine/wine64 --version >/dev/null 2>&1 </dev/null; then
  echo "setup: the 64-bit Wine (/usr/lib/wine/wine64) does not start" >&2
  exit 1
fi

# ------------------------------------------------------------------ the 32-bit Wine, optional

# shellcheck source=scripts/arch32.sh
. scripts/arch32.sh
# The reason the 32-bit Wine is not installed, or empty once it is.
why_not=""
added_i386=0
install_32bit_wine() {
  local removed
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if ! dpkg --add-architecture i386 >"$log" 2>&1; then
      why_not="the i386 architecture could not be added: $(first_error "$log")"
      return
    fi
    added_i386=1
  fi
  if ! apt_update "$log"; then
    why_not="the package index for i386 could not be read: $(first_error "$log")"
    return
  fi
  # The plan first: an install that would take anything away is not made.
  if ! apt-get install -s -y wine32:i386 </dev/null >"$log" 2>&1; then
    why_not="apt-get could not plan its installation: $(first_error "$log")"
    return
  fi
  removed="$(sed -nE 's/^Remv ([^ ]+).*/\1/p' "$log" | tr '\n' ' ')"
  if [[ -n "$removed" ]]; then
    why_not="installing it would remove ${removed% }"
    return
  fi
  if ! apt-get install -y -qq wine32:i386 </dev/null >"$log" 2>&1; then
    why_not="its installation failed: $(first_error "$log")"
    return
  fi
  if ! orv_package_installed wine32:i386; then
    why_not="apt-get installed it, but dpkg does not list it"
  fi
}

if [[ "${ORV_SETUP_TEST_32BIT_KERNEL:-}" == 1 && "${ORV_NO_32BIT:-}" != 1 ]] || orv_32bit_wanted; then
  if orv_package_installed wine32:i386; then
    echo "32-bit Wine: installed"
  else
    install_32bit_wine
    if [[ -z "$why_not" ]]; then
      echo "32-bit Wine: installed now (this kernel runs 32-bit programs)"
    else
      if ((added_i386)) && ! dpkg --remove-architecture i386 >/dev/null 2>&1; then
        why_not="$why_not; the i386 architecture it added could not be removed again"
      fi
      echo "32-bit Wine: not installed ($why_not)"
    fi
  fi
else
  echo "32-bit Wine: not installed ($ORV_32BIT_REASON)"
fi
