#!/usr/bin/env bash
# Builds and runs the whole test suite: a normal build (g++, warnings as errors), a
# sanitizer build (clang, AddressSanitizer + UndefinedBehaviorSanitizer) with the fuzz
# targets, a ThreadSanitizer build (clang) of only the test programs labelled "tsan" running
# only those tests, and a short run of every fuzz target from its seed corpus.
#   FUZZ_SECONDS  seconds per fuzz target (default 10)
#   JOBS          parallel build jobs (default: number of cores)
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh || exit 1
jobs=${JOBS:-$(nproc)}
fuzz_seconds=${FUZZ_SECONDS:-10}
status=0
summary=""

run_suite() {  # name build-dir cmake-args...
  local name=$1 dir=$2
  shift 2
  echo "=== $name build"
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null || { status=1; summary+="$name: configure failed"$'\n'; return 1; }
  if ! cmake --build "$dir" -j "$jobs"; then
    status=1; summary+="$name: build failed"$'\n'; return 1
  fi
  echo "=== $name tests"
  local log="$dir/ctest.log"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600) 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  summary+="$name: $(grep -E 'tests passed|tests failed' "$log" | tail -n 1)"$'\n'
}

run_suite "normal (g++)" build/test-gcc -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELT_WERROR=ON \
  -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc -DVELT_BENCH=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite "sanitizers (clang asan+ubsan)" build/test-asan -DCMAKE_BUILD_TYPE=Debug -DVELT_WERROR=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DVELT_SANITIZE=ON -DVELT_FUZZ=ON \
  -DVELT_BENCH=OFF

echo "=== ThreadSanitizer build (tests labelled tsan)"
tsan_dir=build/test-tsan
if cmake -S . -B "$tsan_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELT_WERROR=ON \
     -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DVELT_TSAN=ON -DVELT_BENCH=OFF \
     >/dev/null && cmake --build "$tsan_dir" -j "$jobs" --target velt_tsan_tests; then
  (cd "$tsan_dir" && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L tsan \
     --timeout 600) 2>&1 | tee "$tsan_dir/ctest.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  summary+="threads (clang tsan): $(grep -E 'tests passed|tests failed' "$tsan_dir/ctest.log" | tail -n 1)"$'\n'
else
  status=1
  summary+="threads (clang tsan): build failed"$'\n'
fi

echo "=== fuzz smoke runs (${fuzz_seconds}s each)"
for entry in build/test-asan/fuzz/*.entry; do
  [ -e "$entry" ] || continue
  read -r binary corpus < "$entry"
  name=$(basename "$binary")
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null
  if "$binary" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -print_final_stats=0 \
       -artifact_prefix="build/test-asan/fuzz/$name-" "$work" >"build/test-asan/fuzz/$name.log" 2>&1; then
    summary+="fuzz $name: ok"$'\n'
  else
    status=1
    summary+="fuzz $name: FAILED (see build/test-asan/fuzz/$name.log)"$'\n'
    tail -n 30 "build/test-asan/fuzz/$name.log"
  fi
  rm -rf "$work"
done

echo
echo "=== summary"
printf '%s' "$summary"
exit $status
