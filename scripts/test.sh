#!/usr/bin/env bash
# Runs every test of the project. Installs what it needs on a fresh Debian machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux
ctest --preset linux
