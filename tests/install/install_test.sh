#!/bin/sh
# install_test.sh CMAKE BUILD_DIR CONSUMER_SOURCE CC EXTRA_FLAGS
set -eu
cmake="$1"; build="$2"; src="$3"; cc="$4"; flags="$5"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
for f in include/vrcore/vrcfg.h include/vrcore/stf.h include/vrcore/oid.h bin/vrreg bin/vroid; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
[ "$(stat -c %a "$prefix/var/vrcore/lock")" = 1777 ] || { echo "lock directory mode"; exit 1; }
pc=$(find "$prefix" -name vrcore.pc)
config=$(find "$prefix" -name vrcoreConfig.cmake)
lib=$(find "$prefix" -name 'libvrcore.so*' | head -n 1)
[ -n "$pc" ] && [ -n "$config" ] && [ -n "$lib" ] || { echo "missing pc, config or library"; exit 1; }
libdir=$(dirname "$lib")

export TS_ROOT="$prefix"
unset VRCORE_REGISTRY windir

# 1. pkg-config
export PKG_CONFIG_PATH="$(dirname "$pc")"
# shellcheck disable=SC2046,SC2086
"$cc" -std=c11 -Wall -Wextra -Werror $flags $(pkg-config --cflags vrcore) "$src/main.c" \
  -o "$work/consumer_pc" $(pkg-config --libs vrcore) -Wl,-rpath,"$libdir"
"$work/consumer_pc"

# 2. find_package
"$cmake" -S "$src" -B "$work/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
"$cmake" --build "$work/build" >/dev/null
"$work/build/consumer"

# The installed tool reads what the consumer wrote.
[ "$("$prefix/bin/vrreg" get 'Software\Halvane\Tessaril\odp' PingTry)" = 4 ] || { echo "vrreg"; exit 1; }
[ -f "$prefix/etc/vrcore/registry.reg" ] || { echo "registry not under the root"; exit 1; }
# The installed registry tool makes a registry that it can read back.
"$prefix/bin/vroid" create "$work/oids" >/dev/null
"$prefix/bin/vroid" lookup "$work/oids" id-val-code-set-utf-8 | grep -q dynamic || { echo "vroid"; exit 1; }
echo "install: ok"
