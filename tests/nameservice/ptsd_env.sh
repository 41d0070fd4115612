#!/bin/sh
# Inside private network and mount namespaces: the loopback with a second
# address 10.77.9.1 (a caller not on this host's loopback), an rpcbind of its
# own on a private /run (never -w), then the tests named by the filter.
#   ptsd_env.sh <test program> <gtest filter>
{ ip link set lo up && ip addr add 10.77.9.1/32 dev lo && mount -t tmpfs tmpfs /run &&
  mkdir -p /run/rpcbind; } || { echo "ptsd_env: cannot set up the namespace" >&2; exit 90; }
rpcbind -f & rpcbind_pid=$!
trap 'kill $rpcbind_pid; wait' EXIT
for _ in $(seq 1 50); do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.1; done
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0" \
LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/onc_lsan.supp" \
  "$1" --gtest_filter="$2"
