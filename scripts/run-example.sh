#!/usr/bin/env bash
# Installs what is needed, builds vrcore and runs the main example.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVRCORE_TESTS=OFF \
  -DVRCORE_BENCH=OFF -DVRCORE_FUZZ=OFF -DVRCORE_SANITIZE=OFF -DVRCORE_TSAN=OFF >/dev/null
cmake --build "$build" --target status_chain
# The catalogs built into the build tree, not the installed ones.
NLSPATH="$build/nls/%N" "$build/examples/status_chain"
