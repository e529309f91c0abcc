#!/usr/bin/env bash
# The robustness checks: the unit tests (fault injection included) under AddressSanitizer and
# UndefinedBehaviorSanitizer, then every fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan
ctest --preset linux-asan -j2
bash scripts/fuzz.sh
