#!/usr/bin/env bash
# Runs the client benchmark against the test server (over ONC RPC and
# DCE/RPC), each run inside
# private network and mount namespaces with an rpcbind of its own
# (tests/client/onc_env.sh; needs root, unshare and rpcbind), and prints
# the median wall and CPU time of each benchmark over the runs, the
# ratios the benchmark is judged by, and the wall and CPU time of each
# whole run (client, server and rpcbind).
#   bash scripts/run-onc-bench.sh [build directory (build/dev)] [runs (3)]
# The build needs -DVRCORE_BENCH=ON and the targets onc_bench and
# vrtest_odp_server. Each benchmark runs for BENCHMARK_MIN_TIME seconds
# (default 2: the loopback round trip is noisy on a busy machine).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/dev}" && pwd)
runs=${2:-3}
for f in "$build/bench/onc_bench" "$build/tests/client/vrtest_odp_server"; do
  [ -x "$f" ] || { echo "missing $f (build onc_bench and vrtest_odp_server)" >&2; exit 2; }
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
exec /usr/bin/python3 - "$root" "$build" "$runs" "$out" <<'EOF'
import json, os, resource, statistics, subprocess, sys, time

root, build, runs, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
program = str(0x20271029)
results = {}  # benchmark name: [(wall ns, cpu ns) per run]
for run in range(runs):
    path = f"{out}/run{run}.json"
    env = dict(os.environ, BENCHMARK_OUT=path, BENCHMARK_OUT_FORMAT="json")
    env.setdefault("BENCHMARK_MIN_TIME", "2")
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.monotonic()
    log = f"{out}/run{run}.log"
    rc = subprocess.run(["unshare", "--net", "--mount", "--propagation", "private", "/bin/sh",
                         f"{root}/tests/client/onc_env.sh", f"{build}/bench/onc_bench",
                         f"{build}/tests/client/vrtest_odp_server", program, "1", "-", "4100"],
                        env=env, stdout=subprocess.DEVNULL, stderr=open(log, "w")).returncode
    if rc != 0:
        sys.exit(f"run {run + 1} failed ({rc}):\n" + open(log).read())
    wall = time.monotonic() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    print(f"run {run + 1}: wall {wall:.1f} s, cpu {cpu:.1f} s")
    with open(path) as f:
        for b in json.load(f)["benchmarks"]:
            scale = {"ns": 1, "us": 1e3, "ms": 1e6}[b["time_unit"]]
            results.setdefault(b["name"], []).append(
                (b["real_time"] * scale, b["cpu_time"] * scale, b.get("items_per_second", 0),
                 b.get("server_cpu_us", 0) * 1e3))

def median(name, i):
    return statistics.median(r[i] for r in results[name])

print(f"\nmedians over {runs} runs{'':19}wall (us)  client cpu  server cpu   calls/s")
for name in results:
    calls = median(name, 2)
    print(f"{name:45} {median(name, 0) / 1e3:9.1f} {median(name, 1) / 1e3:11.1f}"
          + (f" {median(name, 3) / 1e3:11.1f} {calls:9.0f}" if calls else ""))
print()
for threads in (1, 2, 8):
    call = f"BM_CreateJobCall/real_time/threads:{threads}"
    null = f"BM_NullCallPlusLocalCodec/real_time/threads:{threads}"
    cpu = lambda name: median(name, 1) + median(name, 3)
    print(f"job submission / (null call + local codec), {threads} thread(s): wall "
          f"{median(call, 0) / median(null, 0):.2f}x, cpu {cpu(call) / cpu(null):.2f}x (goal <= 1.2)")
    dce = f"BM_CreateJobCallDce/real_time/threads:{threads}"
    print(f"job submission, DCE/RPC / ONC RPC, {threads} thread(s): wall "
          f"{median(dce, 0) / median(call, 0):.2f}x, cpu {cpu(dce) / cpu(call):.2f}x (goal <= 1.0)")
for what in ("Encode", "Decode"):
    print(f"{what} 1 MiB, xdr_array of xdr_char / bulk: "
          f"{median(f'BM_{what}XdrArrayOfChar', 0) / median(f'BM_{what}Bulk', 0):.1f}x (goal >= 5)")
EOF
