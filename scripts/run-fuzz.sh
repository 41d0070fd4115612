#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded
# number of executions from its seed corpus (argument: runs, default 20000).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-20000}
build="$root/build/fuzz"
shopt -s nullglob
targets=("$root"/fuzz/*.cpp)
if [ ${#targets[@]} -eq 0 ]; then echo "no fuzz targets"; exit 0; fi
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVRCORE_FUZZ=ON -DVRCORE_TESTS=OFF -DVRCORE_BENCH=OFF -DVRCORE_SANITIZE=OFF -DVRCORE_TSAN=OFF >/dev/null
# Only the fuzz targets: the shared library does not link with the fuzzer's
# sanitizer runtime (undefined references are refused there).
names=()
for src in "${targets[@]}"; do names+=("$(basename "$src" .cpp)"); done
cmake --build "$build" -j "$(nproc)" --target "${names[@]}"
for src in "${targets[@]}"; do
  name=$(basename "$src" .cpp)
  corpus="$root/fuzz/corpus/$name"
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
  echo "== fuzz $name ($runs runs)"
  rc=0
  (cd "$work" && "$build/fuzz/$name" -runs="$runs" -max_total_time=300 -timeout=10 \
      -rss_limit_mb=2048 "$work" >"$work.log" 2>&1) || rc=$?
  tail -n 3 "$work.log"
  if [ "$rc" -ne 0 ]; then tail -n 60 "$work.log"; echo "fuzz target $name failed"; exit 1; fi
  rm -rf "$work" "$work.log"
done
