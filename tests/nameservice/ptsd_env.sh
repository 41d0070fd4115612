#!/bin/sh
# Runs inside private network and mount namespaces: the loopback with a
# second address 10.77.9.1 (a caller that is not this host's loopback), an
# rpcbind of its own on a private /run (never -w), then the tests named by
# the filter, which start vrptsd themselves.
#   ptsd_env.sh <test program> <gtest filter>
set -u
fail() { echo "ptsd_env: $*" >&2; exit 90; }
ip link set lo up && ip addr add 10.77.9.1/32 dev lo || fail "cannot set up the loopback"
mount -t tmpfs tmpfs /run || fail "cannot mount a private /run"
mkdir -p /run/rpcbind && { chown _rpc /run/rpcbind 2>/dev/null || true; }
rpcbind -f & rpcbind_pid=$!
trap 'kill $rpcbind_pid; wait' EXIT
for _ in $(seq 1 50); do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.1; done
"$1" --gtest_filter="$2"
