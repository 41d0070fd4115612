#!/bin/sh
# In private network, UTS and mount namespaces with a NIS domain: the tests
# of the first filter without a port mapper, then with an rpcbind of their own.
#   onc_env.sh <test program> <filter without port mapper> <filter with one>
set -u
ip link set lo up && domainname vrtest.invalid && mount -t tmpfs tmpfs /run || exit 90
export ONC_INSIDE=1
"$1" --gtest_filter="$2" || exit 1
mkdir -p /run/rpcbind && { rpcbind -f & pid=$!; }
trap 'kill $pid; wait' EXIT
for i in $(seq 1 50); do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.1; done
"$1" --gtest_filter="$3"
