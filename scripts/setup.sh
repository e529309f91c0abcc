#!/usr/bin/env bash
# Installs the project's build and test tools with apt-get; quiet and quick when all is there.
set -euo pipefail
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
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" </dev/null >/dev/null
fi
