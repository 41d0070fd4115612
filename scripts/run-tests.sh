#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test: a Release build
# (with the benchmark programs, each run once briefly so that they keep
# building and working), a Debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer, and the fuzz targets for a bounded number of
# runs each.
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

# Every benchmark program of a build, each benchmark run for a token time:
# a smoke run that the programs still build, start and finish, not a timing.
smoke_benchmarks() { # build directory
  local t0=$SECONDS failed=0 ran=0 prog log
  log=$(mktemp)
  for prog in "$1"/bench/*_bench; do
    [ -x "$prog" ] || continue
    ran=$((ran + 1))
    if ! timeout 300 "$prog" --benchmark_min_time=0.001 >"$log" 2>&1; then
      echo "benchmark smoke run failed: $prog"
      tail -n 20 "$log"
      failed=1
    fi
  done
  rm -f "$log"
  [ "$ran" -gt 0 ] || { echo "no benchmark programs in $1/bench"; failed=1; }
  echo "== benchmarks: $ran programs, $((SECONDS - t0)) s"
  return "$failed"
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite release -DCMAKE_BUILD_TYPE=Release -DVRCORE_SANITIZE=OFF -DVRCORE_TSAN=OFF \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DVRCORE_BENCH=ON
smoke_benchmarks "$root/build/release"
# Names follow the rules of .clang-tidy (read from the release build's
# compile commands).
bash "$root/scripts/check-naming.sh" "$root/build/release"
# The README's first command: the print session and the C example, on the
# programs just built.
t0=$SECONDS
bash "$root/scripts/run-example.sh" >"$root/build/example.log" 2>&1 || { cat "$root/build/example.log"; exit 1; }
grep -q "servers stopped (exit status 0)" "$root/build/example.log"
echo "== example: $((SECONDS - t0)) s"
run_suite asan -DCMAKE_BUILD_TYPE=Debug -DVRCORE_SANITIZE=ON -DVRCORE_TSAN=OFF

# ThreadSanitizer: the threading, logging, event-message, registry and RPC
# tests, under their own label.
t0=$SECONDS
cmake -S "$root" -B "$root/build/tsan" -G Ninja "${suite_options[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DVRCORE_SANITIZE=OFF -DVRCORE_TSAN=ON >/dev/null
cmake --build "$root/build/tsan" -j "$jobs" --target vrtest_threads vrtest_log vrtest_events vrtest_oidreg \
  vrtest_rpc
(cd "$root/build/tsan" && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest -L tsan --output-on-failure --no-tests=error -j "$jobs" --timeout 600)
echo "== tsan: $((SECONDS - t0)) s"

# Fuzz targets: bounded runs over the checked-in seed corpora.
bash "$root/scripts/run-fuzz.sh" "${FUZZ_RUNS:-20000}"
