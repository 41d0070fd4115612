#!/bin/sh
# Runs inside private network and mount namespaces: brings up the
# loopback, an rpcbind of its own on a private /run (never -w: it would
# bring back registrations of servers that are gone), the endpoint mapper on
# port 135 when one is named, the test DPA server (with the server arguments
# given), then the tests named by the filter.
#   onc_env.sh <test program> <server program> <RPC program> <version> <gtest filter>
#              [<server arguments> [<endpoint mapper program>]]
set -u
prog=$1 server=$2 number=$3 version=$4 filter=$5 args=${6:-} mapper=${7:-}
pids=""
cleanup() { for p in $pids; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; }
trap cleanup EXIT
fail() { echo "onc_env: $*" >&2; exit 90; }

ip link set lo up || fail "cannot bring up the loopback"
mount -t tmpfs tmpfs /run || fail "cannot mount a private /run"
mkdir -p /run/rpcbind
chown _rpc /run/rpcbind 2>/dev/null || true
rpcbind -f & pids="$pids $!"
for i in $(seq 1 50); do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.1; done
rpcinfo -p 127.0.0.1 >/dev/null 2>&1 || fail "rpcbind did not start"
if [ -n "$mapper" ]; then
  "$mapper" --port 135 --address 127.0.0.1 & pids="$pids $!"
  for i in $(seq 1 50); do ss -ltn | grep -q '127.0.0.1:135 ' && break; sleep 0.1; done
fi
# shellcheck disable=SC2086 # the server arguments are words
"$server" "$number" "$version" $args & pids="$pids $!" server_pid=$!
for i in $(seq 1 50); do rpcinfo -t 127.0.0.1 "$number" "$version" >/dev/null 2>&1 && break; sleep 0.1; done
rpcinfo -t 127.0.0.1 "$number" "$version" >/dev/null 2>&1 || fail "the test server did not register"

# (The library has no frame pointers: a leak's stack is found slowly.)
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0" \
LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/onc_lsan.supp" \
ODP_TEST_PROGRAM=$number ODP_TEST_VERSION=$version ODP_TEST_SERVER_PID=$server_pid "$prog" --gtest_filter="$filter"
