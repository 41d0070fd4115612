#!/usr/bin/env bash
# Installs what is needed, builds vrcore and runs the main example.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVRCORE_TESTS=OFF >/dev/null
cmake --build "$build" --target status_chain
"$build/examples/status_chain"
