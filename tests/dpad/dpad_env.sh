#!/bin/sh
# Runs the named tests inside private network and mount namespaces with the
# loopback up, an rpcbind of their own on a private /run and the endpoint
# mapper on port 135.
#   dpad_env.sh <test program> <gtest filter> <endpoint mapper program>
set -u
prog=$1 filter=$2 mapper=$3
pids=""
trap 'for p in $pids; do kill "$p" 2>/dev/null; done; wait 2>/dev/null' EXIT
fail() { echo "dpad_env: $*" >&2; exit 90; }
ip link set lo up || fail "cannot bring up the loopback"
mount -t tmpfs tmpfs /run || fail "cannot mount a private /run"
mkdir -p /run/rpcbind
chown _rpc /run/rpcbind 2>/dev/null || true
rpcbind -f & pids="$pids $!"
"$mapper" --port 135 --address 127.0.0.1 & pids="$pids $!"
for i in $(seq 1 50); do ss -ltn | grep -q '127.0.0.1:135 ' && break; sleep 0.1; done
for i in $(seq 1 50); do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.1; done
rpcinfo -p 127.0.0.1 >/dev/null 2>&1 || fail "rpcbind did not start"
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0" \
LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/../client/onc_lsan.supp" \
DPAD_INSIDE=1 "$prog" --gtest_filter="$filter"
