#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test: a Release build,
# a Debug build with AddressSanitizer and UndefinedBehaviorSanitizer, and the
# fuzz targets for a bounded number of runs each.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$root/scripts/install-deps.sh"
# The sources are formatted as .clang-format says.
bash "$root/scripts/check-format.sh"
bash "$root/scripts/start-services.sh"

# Every option a suite depends on is passed explicitly: a build directory
# configured earlier (by run-example.sh, or by hand) keeps its cache, and a
# stale VRCORE_TESTS=OFF there would otherwise leave the suite empty.
suite_options=(-DVRCORE_TESTS=ON -DVRCORE_BENCH=OFF -DVRCORE_FUZZ=OFF)

run_suite() { # name, extra cmake args...
  local name=$1; shift
  local build="$root/build/$name"
  local t0=$SECONDS
  cmake -S "$root" -B "$build" -G Ninja "${suite_options[@]}" "$@" >/dev/null
  cmake --build "$build" -j "$jobs"
  (cd "$build" && ctest --output-on-failure --no-tests=error -j "$jobs" --timeout 600)
  echo "== $name: $((SECONDS - t0)) s"
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite release -DCMAKE_BUILD_TYPE=Release -DVRCORE_SANITIZE=OFF -DVRCORE_TSAN=OFF \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
# Names follow the rules of .clang-tidy (read from the release build's
# compile commands).
bash "$root/scripts/check-naming.sh" "$root/build/release"
run_suite asan -DCMAKE_BUILD_TYPE=Debug -DVRCORE_SANITIZE=ON -DVRCORE_TSAN=OFF

# ThreadSanitizer: the threading, logging, event-message and registry
# tests, under their own label.
t0=$SECONDS
cmake -S "$root" -B "$root/build/tsan" -G Ninja "${suite_options[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DVRCORE_SANITIZE=OFF -DVRCORE_TSAN=ON >/dev/null
cmake --build "$root/build/tsan" -j "$jobs" --target vrtest_threads vrtest_log vrtest_events vrtest_oidreg
(cd "$root/build/tsan" && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest -L tsan --output-on-failure --no-tests=error -j "$jobs" --timeout 600)
echo "== tsan: $((SECONDS - t0)) s"

# Fuzz targets: bounded runs over the checked-in seed corpora.
bash "$root/scripts/run-fuzz.sh" "${FUZZ_RUNS:-20000}"
