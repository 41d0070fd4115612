#!/bin/sh
# Runs inside private network and mount namespaces: two hosts of their own
# (namespaces A and B, 10.77.1.2 and 10.77.2.2, reached from here over veth
# pairs), each with an endpoint mapper on port 135 and the name server of
# its domain (DOMA, DOMB) that knows the other's; then the tests named by
# the filter.
#   domains_env.sh <test program> <binary dir> <gtest filter>
set -u
prog=$1 bin=$2 filter=$3
fail() { echo "domains_env: $*" >&2; exit 90; }
cleanup() {
  for p in $(ip netns pids A 2>/dev/null) $(ip netns pids B 2>/dev/null); do kill "$p"; done
  wait 2>/dev/null
}
trap cleanup EXIT
ip link set lo up || fail "cannot bring up the loopback"
mount -t tmpfs tmpfs /run || fail "cannot mount a private /run"
work=/run/domains
mkdir -p "$work" && : >"$work/registry.reg"
export VRCORE_REGISTRY="$work/registry.reg"

host() { # <name> <subnet> <other name> <other subnet>
  { ip netns add "$1" && ip link add "v$1" type veth peer name eth0 netns "$1" &&
    ip addr add "10.77.$2.1/24" dev "v$1" && ip link set "v$1" up &&
    ip -n "$1" addr add "10.77.$2.2/24" dev eth0 && ip -n "$1" link set eth0 up &&
    ip -n "$1" link set lo up; } || fail "cannot set up host $1"
  ip netns exec "$1" "$bin/servers/vrepmd/vrepmd" --port 135 --log stderr 2>"$work/epm$1" &
  for _ in $(seq 1 50); do ip netns exec "$1" ss -ltn | grep -q ':135 ' && break; sleep 0.1; done
  ip netns exec "$1" "$bin/servers/vrpgrd/vrpgrd" --domain "DOM$1" --port 7000 \
    --peer "DOM$3=10.77.$4.2" --store "$work/store$1" --log stderr 2>"$work/pgrd$1" &
  for _ in $(seq 1 50); do grep -q 'listens on port' "$work/pgrd$1" && return; sleep 0.1; done
  fail "the name server of $1 did not start: $(cat "$work/epm$1" "$work/pgrd$1")"
}
host A 1 B 2
host B 2 A 1
VRCORE_DOMAINS_ENV=1 "$prog" --gtest_filter="$filter"
