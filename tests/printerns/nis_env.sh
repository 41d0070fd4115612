#!/bin/sh
# Runs inside private network, UTS and mount namespaces: brings up the
# loopback, a NIS domain of its own, rpcbind, ypserv with a printers map
# built by makedbm and ypbind, then the tests named by the filter.
#   nis_env.sh <test program> <scratch dir> <gtest filter>
set -u
prog=$1 dir=$2 filter=$3
domain=vrtest.invalid
pids=""
cleanup() { for p in $pids; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; }
trap cleanup EXIT
fail() { echo "nis_env: $*" >&2; exit 90; }

ip link set lo up || fail "cannot bring up the loopback"
domainname "$domain" || fail "cannot set the NIS domain"
mount -t tmpfs tmpfs /run || fail "cannot mount a private /run"
mkdir -p /run/rpcbind
mount -t tmpfs tmpfs /var/yp 2>/dev/null || { mkdir -p "$dir/yp" && mount --bind "$dir/yp" /var/yp; } \
  || fail "cannot mount a private /var/yp"
mkdir -p "/var/yp/$domain" /var/yp/binding

printf '%s\n' \
  'nis1 nis1|nisalias:bsdaddr=nsrv,nq:note=from-nis:' \
  'nisalias nis1|nisalias:bsdaddr=nsrv,nq:note=from-nis:' \
  'nis2 nis2:use=nis1:' \
  | /usr/lib/yp/makedbm -m nismaster - "/var/yp/$domain/printers.conf.byname" \
  || fail "makedbm failed"

rpcbind -f & pids="$pids $!"
for i in 1 2 3 4 5 6 7 8 9 10; do rpcinfo -p >/dev/null 2>&1 && break; sleep 0.2; done
ypserv -d >"$dir/ypserv.log" 2>&1 & ypserv_pid=$!; pids="$pids $ypserv_pid"
for i in 1 2 3 4 5 6 7 8 9 10; do rpcinfo -u localhost ypserv >/dev/null 2>&1 && break; sleep 0.2; done
echo "domain $domain server 127.0.0.1" >"$dir/yp.conf"
ypbind -f "$dir/yp.conf" -n >"$dir/ypbind.log" 2>&1 & pids="$pids $!"
b=/var/yp/binding/$domain
for i in $(seq 1 50); do [ -s "$b.3" ] || [ -s "$b.2" ] && break; sleep 0.2; done
[ -e "$b.3" ] || [ -e "$b.2" ] || fail "ypbind did not bind"

# Leak checking leaves out what the NIS client library keeps of failed
# bindings (the tests stop the server on purpose).
LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/nis_lsan.supp" \
PNS_NIS_INSIDE=1 PNS_YPSERV_PID=$ypserv_pid "$prog" --gtest_filter="$filter"
