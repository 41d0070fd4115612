#!/bin/sh
# In private network, UTS and mount namespaces with a NIS domain: the tests
# of the first filter without a port mapper, then with an rpcbind of their own.
#   onc_env.sh <test program> <filter without port mapper> <filter with one>
set -u
ip link set lo up && domainname vrtest.invalid && mount -t tmpfs tmpfs /run || exit 90
# The RPC library keeps a few bytes of rpcbind's replies (see onc_lsan.supp).
export ONC_INSIDE=1 ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0" \
  LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/onc_lsan.supp"
"$1" --gtest_filter="$2" || exit 1
mkdir -p /run/rpcbind && { rpcbind -f & pid=$!; }
trap 'kill $pid; wait' EXIT
for i in $(seq 1 50); do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.1; done
"$1" --gtest_filter="$3"
