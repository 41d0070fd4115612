// Look-ups of the PTS service (vrptsd) over UDP on the loopback, in items
// per second: one get call per iteration on a client made once (beside a
// null call); the library's look-up with the cache time 0 (the service
// asked every time, through the client the library keeps for the host);
// and the library's look-up answered from its cache.
// Items per second are by wall time.
//
// Started as it is, the program runs itself again inside private network
// and mount namespaces with an rpcbind and a vrptsd of their own (needs
// root, unshare and rpcbind; otherwise every benchmark is skipped with the
// reason). Figures, the median of three runs:
//   build/dev/bench/pts_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_inside.h"

#include "nameservice/pts_client.h"

namespace {

namespace pts = vrcore::nameservice::pts;

const char kName[] = "bench-spool";

// Runs rpcbind and vrptsd ($0 is the daemon), then the program ($@)
// marked as inside.
const char kInside[] = R"(set -u
ip link set lo up && mount -t tmpfs tmpfs /run && mkdir -p /run/rpcbind || exit 90
rpcbind -f & r=$!
for _ in $(seq 1 50); do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && break; sleep 0.1; done
d=$(mktemp -d)
"$0" --state-dir "$d" --log stderr 2>/dev/null & p=$!
for _ in $(seq 1 50); do rpcinfo -u 127.0.0.1 105004 1 >/dev/null 2>&1 && break; sleep 0.1; done
PTS_BENCH_INSIDE=1 "$@"; rc=$?
kill $p $r; wait; rm -rf "$d"; exit $rc)";

using vrbench::Unavailable;

void RunInside(int argc, char **argv) {
    vrbench::ExecInside("PTS_BENCH_INSIDE", kInside, VRCORE_BINARY_DIR "/servers/vrptsd/vrptsd",
                        "command -v rpcbind", "needs rpcbind", argc, argv);
}

bool Ready(benchmark::State &state) {
    if (Unavailable().empty()) return true;
    state.SkipWithError(Unavailable().c_str());
    return false;
}

// Procedure 0 (the null call) beside get: what the service's own work adds.
void Calls(benchmark::State &state, rpcproc_t proc) {
    if (!Ready(state)) return;
    CLIENT *c = clnt_create("127.0.0.1", pts::kProgram, pts::kVersion, "udp");
    if (!c) return state.SkipWithError("no client");
    pts::ObjectName in;
    pts::SetName(in, kName);
    timeval wait{5, 0};
    for (auto _ : state) {
        pts::Binding b;
        b.program = int32_t(pts::kProgram);
        if (clnt_call(c, proc, proc ? pts::Proc(pts::XdrObjectName) : pts::Proc(xdr_void),
                      reinterpret_cast<char *>(&in),
                      proc ? pts::Proc(pts::XdrBinding) : pts::Proc(xdr_void),
                      reinterpret_cast<char *>(&b), wait) != RPC_SUCCESS ||
            b.program != int32_t(pts::kProgram)) {
            state.SkipWithError("call failed");
            break;
        }
    }
    clnt_destroy(c);
    state.SetItemsProcessed(state.iterations());
}
void BM_PtsNullCall(benchmark::State &state) { Calls(state, 0); }
void BM_PtsGetCall(benchmark::State &state) { Calls(state, pts::kGet); }
BENCHMARK(BM_PtsNullCall)->UseRealTime();
BENCHMARK(BM_PtsGetCall)->UseRealTime();

void Lookups(benchmark::State &state, int cache_seconds) {
    if (!Ready(state)) return;
    pts::ClientStart(5, cache_seconds);
    for (auto _ : state) {
        pts::Binding b;
        if (!pts::Lookup("localhost", kName, b)) {
            state.SkipWithError("look-up failed");
            break;
        }
    }
    pts::ClientStop();
    state.SetItemsProcessed(state.iterations());
}
void BM_PtsLookupUncached(benchmark::State &state) { Lookups(state, 0); }
void BM_PtsLookupCached(benchmark::State &state) { Lookups(state, 60); }
BENCHMARK(BM_PtsLookupUncached)->UseRealTime();
BENCHMARK(BM_PtsLookupCached)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    RunInside(argc, argv);
    benchmark::Initialize(&argc, argv);
    // The bound name: the service's own program, which stays registered.
    pts::Binding b;
    pts::SetName(b.object, kName);
    b.program = int32_t(pts::kProgram), b.version = int32_t(pts::kVersion);
    if (Unavailable().empty() && pts::Add(b) != 0) Unavailable() = "the PTS service refused add";
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
