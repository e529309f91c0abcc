#!/usr/bin/env bash
# Installs the project's build and test tools with apt-get; quiet and quick when all is there.
#
# The 32-bit half of Wine (wine32:i386) is installed only where this machine's kernel runs 32-bit
# programs: there it runs the shipped 32-bit Orvastell.exe as a 32-bit process on a 64-bit
# Windows. Where the kernel runs none, installing it would break the 64-bit Wine (its launcher
# would prefer a 32-bit loader that cannot start), so it is left out and only the 64-bit build
# runs. ORV_NO_32BIT=1 leaves it out in any case (it is not removed where it is installed).
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
  clang libclang-rt-14-dev libfuzzer-14-dev         # the fuzz targets (libFuzzer and the sanitizers)
)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
export DEBIAN_FRONTEND=noninteractive
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" </dev/null >/dev/null
fi

# shellcheck source=scripts/arch32.sh
. scripts/arch32.sh
if orv_32bit_wanted; then
  if ! dpkg -s wine32:i386 >/dev/null 2>&1; then
    echo "Installing: wine32:i386 (this kernel runs 32-bit programs)"
    dpkg --add-architecture i386
    apt-get update -qq
    apt-get install -y -qq wine32:i386 </dev/null >/dev/null
  fi
else
  echo "32-bit Wine: not installed ($ORV_32BIT_REASON)"
fi
