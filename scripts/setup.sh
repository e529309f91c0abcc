#!/usr/bin/env bash
# Installs the project's build and test tools with apt-get; quiet and quick when all is there.
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
