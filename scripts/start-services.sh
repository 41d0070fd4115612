#!/usr/bin/env bash
# Starts the services tests need, on loopback only: each script in
# scripts/services.d/ starts one and is idempotent.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
shopt -s nullglob
for s in "$here"/services.d/*.sh; do
  bash "$s"
done
