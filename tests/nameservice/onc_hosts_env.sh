#!/bin/sh
# Runs inside private network and mount namespaces: two hosts of their own,
# "hosta" (10.77.3.1) and "hostb" (10.77.3.2), joined by a veth pair. Each
# host is a process holding its own network, UTS and mount namespaces: its
# host name, the NIS domain "vronc.invalid", a private /run with an rpcbind
# of its own (never -w) and a private /etc/hosts naming both hosts. One
# printers file, shared by both, stands for the shared "etc" source. Host A
# runs the PTS service and the test DPA server (over TCP, at the program
# given); then the spooler's tests run on A, and the client's on B.
#   onc_hosts_env.sh <test program> <scratch dir> <binary dir> <DPA program>
set -u
prog=$1 dir=$2 bin=$3 number=$4
fail() { echo "onc_hosts_env: $*" >&2; exit 90; }
pids=""
cleanup() { for p in $pids; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; }
trap cleanup EXIT
ip link set lo up || fail "cannot bring up the loopback"
mount -t tmpfs tmpfs /run || fail "cannot mount a private /run"

printf '127.0.0.1 localhost\n10.77.3.1 hosta\n10.77.3.2 hostb\n' >"$dir/hosts"
mkdir -p "$dir/win" && printf 'printers: etc\n' >"$dir/win/nsswitch.cnf"
printf '[Software\\Halvane\\Tessaril\\pgr]\n"PtsCallTimeout"=dword:00000002\n' >"$dir/registry.reg"
: >"$dir/printers.conf"
{ ip netns add A && ip netns add B && ip link add vA netns A type veth peer name vB netns B &&
  ip -n A addr add 10.77.3.1/24 dev vA && ip -n B addr add 10.77.3.2/24 dev vB &&
  ip -n A link set lo up && ip -n A link set vA up && ip -n B link set lo up &&
  ip -n B link set vB up; } ||
  fail "cannot set up the hosts' network"

for h in A B; do
  name=$(echo "host$h" | tr AB ab)
  ip netns exec $h unshare --uts --mount --propagation private /bin/sh -c "
    hostname $name && domainname vronc.invalid && mount -t tmpfs tmpfs /run &&
    mkdir -p /run/rpcbind && mount --bind '$dir/hosts' /etc/hosts && : >'$dir/up$h' &&
    exec sleep 600" &
  pids="$pids $!"
  eval "on$h='nsenter -t $! -n -u -m --'"
  for _ in $(seq 1 50); do [ -e "$dir/up$h" ] && break; sleep 0.1; done
  [ -e "$dir/up$h" ] || fail "host $h did not come up"
done
# shellcheck disable=SC2154 # onA and onB are set above
for on in "$onA" "$onB"; do
  $on rpcbind -f & pids="$pids $!" rpcbind=$!
  [ "$on" = "$onA" ] && rpcbindA=$rpcbind
  for _ in $(seq 1 50); do $on rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.1; done
  $on rpcinfo -p 127.0.0.1 >/dev/null 2>&1 || fail "rpcbind did not start"
done
$onA "$bin/servers/vrptsd/vrptsd" --state-dir "$dir/pts" --log stderr 2>"$dir/ptsd.log" &
pids="$pids $!"
$onA "$bin/tests/client/vrtest_odp_server" "$number" 1 & pids="$pids $!"
for p in "-u 127.0.0.1 105004 1" "-t 127.0.0.1 $number 1"; do
  for _ in $(seq 1 50); do $onA rpcinfo $p >/dev/null 2>&1 && break; sleep 0.1; done
  $onA rpcinfo $p >/dev/null 2>&1 || fail "no server answers rpcinfo $p on A: $(cat "$dir/ptsd.log")"
done

# Leak checking leaves out what the RPC library keeps of rpcbind's replies
# (the library has no frame pointers: a leak's stack is found slowly).
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0" \
  LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/onc_lsan.supp"
export ONC_HOSTS_ENV=1 ODP_TEST_PROGRAM=$number PRINTERS_CONF=$dir/printers.conf windir=$dir/win \
  VRCORE_REGISTRY=$dir/registry.reg NS_MS_LF=1 ONC_RPCBIND_A=$rpcbindA \
  MSRPC_EPUUID=6f1c2a10-0000-4000-8000-000000000001
$onA "$prog" --gtest_filter='OncSpoolerHostInside.*' || fail "the spooler's tests failed"
$onB "$prog" --gtest_filter='OncClientHostInside.*' || fail "the client's tests failed"
