#!/usr/bin/env bash
# Installs what is needed, builds vrcore and runs a print session on this host:
# the endpoint mapper and the print server on the loopback with a scratch root
# under the build directory, a document submitted with vrprint, the jobs
# listed, the printed file shown, the servers stopped. Then the C example.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build="$root/build/release"
echo "building vrcore (Release) in $build ..."
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVRCORE_TESTS=OFF \
  -DVRCORE_BENCH=OFF -DVRCORE_FUZZ=OFF -DVRCORE_SANITIZE=OFF -DVRCORE_TSAN=OFF >/dev/null
if ! cmake --build "$build" --target vrepmd vrdpad vrprint status_chain >"$build/example-build.log" 2>&1; then
  tail -n 40 "$build/example-build.log"
  exit 1
fi
vrepmd="$build/servers/vrepmd/vrepmd"
vrdpad="$build/servers/vrdpad/vrdpad"
export PATH="$build/tools/vrprint:$PATH"

# The scratch root: configuration, registry file, name-service files, the
# server's jobs and what it prints. A run cut short may have left its servers
# running: they are stopped by their recorded ids, if they are still ours.
scratch="$build/example"
for f in "$scratch"/*.pid; do
  [ -f "$f" ] || continue
  pid=$(cat "$f")
  case "$(readlink "/proc/$pid/exe" 2>/dev/null)" in
  "$vrepmd" | "$vrdpad")
    kill "$pid" 2>/dev/null || true
    for i in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    ;;
  esac
done
rm -rf "$scratch"
mkdir -p "$scratch/etc"
export windir="$scratch/etc" VRCORE_REGISTRY="$scratch/registry.reg" NLSPATH="$build/nls/%N"
unset PRINTER VRPRINT_SERVER MSRPC_EPUUID NS_MS_LF LOG_FILE_PATH LOG_SEVERITY

# The endpoint mapper's port: 135 when this is root and it is free, else a free
# one that the registry's EndpointMapperPort gives every program.
port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=135
if [ "$(id -u)" -ne 0 ] || ! port_free 135; then
  port=11135
  while ! port_free "$port"; do
    port=$((port + 1))
    [ "$port" -lt 11235 ] || { echo "no free port for the endpoint mapper" >&2; exit 1; }
  done
fi
# A host without a NIS or DNS domain has no domain for the name service:
# the registry names one.
{
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril]\n"LanGroup"="EXAMPLE"\n'
  [ "$port" -eq 135 ] ||
    printf '\n[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril\\odp]\n"EndpointMapperPort"=dword:%08x\n' "$port"
} >"$VRCORE_REGISTRY"

pids=()
show_logs() {
  for log in "$scratch"/*.log; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 20 "$log"; }
  done
}
stop_servers() {
  local rc=0 i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${pids[i]}" 2>/dev/null || continue
    wait "${pids[i]}" || rc=$?
  done
  pids=()
  rm -f "$scratch"/*.pid
  return "$rc"
}
trap 'rc=$?; stop_servers || true; [ "$rc" -eq 0 ] || show_logs' EXIT
start() { # NAME PROGRAM ARGS...
  local name=$1
  shift
  "$@" >>"$scratch/$name.log" 2>&1 &
  pids+=($!)
  echo $! >"$scratch/$name.pid"
}
wait_for() { # WHAT COMMAND...: at most 10 s
  local what=$1 i
  shift
  for i in $(seq 1 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "$what did not come up" >&2
  return 1
}
run() {
  echo "\$ $*"
  "$@"
}

start vrepmd "$vrepmd" --port "$port" --address 127.0.0.1
wait_for "the endpoint mapper" eval '! port_free "$port"'
start vrdpad "$vrdpad" --dce-port 0 --address 127.0.0.1 --root "$scratch/dpad" --name example
wait_for "the print server" vrprint printers

echo
echo "== A print session: vrepmd on 127.0.0.1:$port, vrdpad with its root in $scratch/dpad"
cd "$scratch"
printf 'Hello from vrcore.\nThis document travelled over DCE/RPC to the print server,\n' >hello.txt
printf 'which wrote it into its printer'"'"'s directory.\n' >>hello.txt
run vrprint printers
run vrprint submit hello.txt
wait_for "the printed file" eval 'ls "$scratch"/dpad/printed/1-* '
run vrprint jobs
printed=$(ls "$scratch"/dpad/printed/1-*)
echo "printed: $printed"
run head -n 3 "$printed"
stop_servers
echo "servers stopped (exit status 0)"

echo
echo "== The C interface: a status list rendered through the message catalogs"
# The catalogs built into the build tree, not the installed ones.
"$build/examples/status_chain"
