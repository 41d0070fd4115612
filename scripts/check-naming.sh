#!/usr/bin/env bash
# Fails when a name in the C++ sources breaks the naming rules of
# .clang-tidy (CONTRIBUTING.md, "Names"). Takes a configured build
# directory that has compile_commands.json. The exported C interface in
# include/ keeps its own spelling and is not checked; the names it exports
# are held by the export check (tests/c_api/exports.txt).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: check-naming.sh <build-dir>}
dirs='attrset|btree|encoding|events|messages|nameservice|oid|status|syntax|system|transfer|client|rpc|tests|tools|servers|fuzz|bench|examples'
log=$(mktemp)
if ! run-clang-tidy -p "$build" -quiet -j "$(nproc)" -header-filter="$root/($dirs)/" \
    -extra-arg=-Wno-unknown-warning-option "$root/($dirs)/" >"$log" 2>&1 ||
  grep -q "warning: invalid case style" "$log"; then
  sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -A2 "warning:\|error:" | head -n 40
  rm -f "$log"
  echo "names: see .clang-tidy and CONTRIBUTING.md"
  exit 1
fi
rm -f "$log"
echo "names: ok"
