#!/usr/bin/env bash
# Builds the fuzz targets with clang in build/fuzz and runs each for a bounded time from its seed
# corpus in fuzz/corpus/<target>. Fails on any crash, sanitizer report or broken property.
# FUZZ_SECONDS sets the time per target (default 10); new inputs go to build/fuzz/corpus, so the
# committed seeds stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-10}"
build=build/fuzz
targets=(fuzz_ini fuzz_split fuzz_time fuzz_registry fuzz_readsetting fuzz_transfer_rules)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DORV_BUILD_TESTS=OFF -DORV_BUILD_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

failed=()
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  artifacts="$build/artifacts/$t/"
  mkdir -p "$work" "$artifacts"
  echo "== $t (${seconds}s)"
  if ! ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1" \
       UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
       "$build/fuzz/$t" -max_total_time="$seconds" -print_final_stats=0 -max_len=4096 \
         -timeout=10 -rss_limit_mb=1024 -artifact_prefix="$artifacts" \
         "$work" "fuzz/corpus/$t" >"$build/$t.log" 2>&1; then
    tail -n 40 "$build/$t.log"
    failed+=("$t")
  else
    grep -E "^(#[0-9]+ +DONE|Done)" "$build/$t.log" | tail -n 1 || true
  fi
done

if ((${#failed[@]})); then
  echo "Fuzzing found faults in: ${failed[*]} (inputs under $build/artifacts)" >&2
  exit 1
fi
echo "All fuzz targets ran clean."
