#!/usr/bin/env bash
# Fails when a C or C++ source of the tree is not formatted as .clang-format
# says. With --fix, formats them in place instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files '*.c' '*.h' '*.cpp' | grep -v '^fuzz/corpus/')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/vrcore-format.$$; then
  head -n 40 /tmp/vrcore-format.$$
  rm -f /tmp/vrcore-format.$$
  echo "unformatted sources: run 'bash scripts/check-format.sh --fix'"
  exit 1
fi
rm -f /tmp/vrcore-format.$$
echo "formatting: ok (${#files[@]} files)"
