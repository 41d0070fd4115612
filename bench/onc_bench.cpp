// A 1 MiB request through the bulk packet routine of the ONC records
// against the RPC library's xdr_array of xdr_char, encoding and decoding,
// in memory. Both must put the same bytes on the wire; the program stops
// if they do not.
//
// Run inside tests/client/onc_env.sh (which starts rpcbind and the test
// server and sets ODP_TEST_PROGRAM), it also measures a job submission
// with a 20-attribute job set against a null call plus the same encoding
// and decoding done locally, with 1, 2 and 8 client threads, each on a
// handle of its own, and the server's processor time per call beside the
// client's; and the same submission over DCE/RPC when the test server also
// serves it at port 4100 (its third argument).
// scripts/run-onc-bench.sh runs it so, several times, and prints the
// medians and the ratios; one run by hand:
//   unshare --net --mount --propagation private /bin/sh tests/client/onc_env.sh
//     build/dev/bench/onc_bench build/dev/tests/client/vrtest_odp_server 539430953 1 -
//     4100
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <rpc/rpc.h>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "vrcore/as.h"
#include "vrcore/genu.h"
#include "vrcore/odpcli.h"

namespace {

constexpr size_t kBytes = 1 << 20;

template <class F> xdrproc_t Proc(F *f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

std::vector<char> &Request() {
    static std::vector<char> r = [] {
        std::vector<char> v(kBytes);
        for (size_t i = 0; i < kBytes; ++i) v[i] = static_cast<char>(i * 131 + (i >> 9));
        return v;
    }();
    return r;
}

size_t EncodeBulk(std::vector<char> &wire) {
    XDR x;
    xdrmem_create(&x, wire.data(), u_int(wire.size()), XDR_ENCODE);
    ODP_argument_t a{0, {u_int(kBytes), Request().data()}};
    if (!xdr_ODP_argument_t(&x, &a)) abort();
    return xdr_getpos(&x);
}

size_t EncodeReference(std::vector<char> &wire) {
    XDR x;
    xdrmem_create(&x, wire.data(), u_int(wire.size()), XDR_ENCODE);
    int op = 0;
    char *p = Request().data(); // xdr_char writes each byte back: a writable copy
    u_int n = u_int(kBytes);
    if (!xdr_int(&x, &op) || !xdr_array(&x, &p, &n, ~0u, 1, Proc(xdr_char))) abort();
    return xdr_getpos(&x);
}

std::vector<char> &Wire() {
    static std::vector<char> w = [] {
        std::vector<char> a(8 + 4 * kBytes), b(a.size());
        if (EncodeBulk(a) != a.size() || EncodeReference(b) != b.size() || a != b) {
            fprintf(stderr, "the two routines disagree on the wire bytes\n");
            abort();
        }
        return a;
    }();
    return w;
}

void BM_EncodeBulk(benchmark::State &state) {
    std::vector<char> wire(Wire().size());
    for (auto _ : state) benchmark::DoNotOptimize(EncodeBulk(wire));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

void BM_EncodeXdrArrayOfChar(benchmark::State &state) {
    std::vector<char> wire(Wire().size());
    for (auto _ : state) benchmark::DoNotOptimize(EncodeReference(wire));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

void BM_DecodeBulk(benchmark::State &state) {
    std::vector<char> &wire = Wire();
    for (auto _ : state) {
        XDR x;
        xdrmem_create(&x, wire.data(), u_int(wire.size()), XDR_DECODE);
        ODP_argument_t a{};
        if (!xdr_ODP_argument_t(&x, &a) || memcmp(a.request.encodePacket_val, Request().data(), 64))
            abort();
        xdr_free(Proc(xdr_ODP_argument_t), reinterpret_cast<char *>(&a));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

void BM_DecodeXdrArrayOfChar(benchmark::State &state) {
    std::vector<char> &wire = Wire();
    for (auto _ : state) {
        XDR x;
        xdrmem_create(&x, wire.data(), u_int(wire.size()), XDR_DECODE);
        int op = 0;
        char *p = nullptr;
        u_int n = 0;
        if (!xdr_int(&x, &op) || !xdr_array(&x, &p, &n, ~0u, 1, Proc(xdr_char))) abort();
        free(p);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

// ---- Against the test server ----------------------------------------------

constexpr u_long kVersion = 1;

[[noreturn]] void Die(const char *why) {
    fprintf(stderr, "onc_bench: %s\n", why);
    abort();
}

u_long Program() {
    const char *p = getenv("ODP_TEST_PROGRAM");
    return p ? strtoul(p, nullptr, 0) : 0;
}

// A job set of 20 cardinal attributes.
AS_SetHandle JobSet() {
    STF_List *st = STF_CreateList(nullptr);
    AS_SetHandle set = AS_nullSetHandle;
    AS_Create(st, &set, nullptr, 0);
    uint32_t n = 0, value = 3;
    for (GENU_ShortOID id = 1; id < 1092 && n < 20; ++id) {
        int32_t type = -1;
        if (strncmp(GENU_ShortOIDToAscii(id), "id-att-", 7) || GENU_AttrIdToType(st, id, &type) ||
            type != 1)
            continue;
        if (AS_AddAttrValM(st, set, id, 1, &value, GENU_AVT2Descriptor(1), nullptr) == 0) ++n;
    }
    STF_DeleteList(st);
    if (n != 20) Die("fewer than 20 cardinal attributes");
    return set;
}

// Appends a line to the test server's script (its control procedure, 2).
void ScriptServer(const std::string &line) {
    CLIENT *c = clnt_create("127.0.0.1", Program(), kVersion, "tcp");
    ODP_argument_t a{0, {u_int(line.size()), const_cast<char *>(line.data())}};
    ODP_result_t r{};
    timeval wait{5, 0};
    if (!c || clnt_call(c, 2, Proc(xdr_ODP_argument_t), reinterpret_cast<char *>(&a),
                        Proc(xdr_ODP_result_t), reinterpret_cast<char *>(&r), wait) != RPC_SUCCESS)
        Die("the control call failed");
    xdr_free(Proc(xdr_ODP_result_t), reinterpret_cast<char *>(&r));
    clnt_destroy(c);
}

// The processor time the test server has used, in microseconds (from its
// process status: user and system clock ticks, fields 14 and 15).
double ServerCpu() {
    const char *pid = getenv("ODP_TEST_SERVER_PID");
    std::ifstream in(std::string("/proc/") + (pid ? pid : "0") + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {}), field;
    std::istringstream rest(text.substr(text.rfind(')') + 2)); // after the command name
    double ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
        if (i >= 14) ticks += std::stod(field);
    if (!pid || text.empty()) Die("no status of the test server");
    return ticks * 1e6 / double(sysconf(_SC_CLK_TCK));
}

enum class Via { kLocal, kOnc, kDce };

// Binds the calling thread: to the test server over ONC RPC or DCE/RPC, or
// local-only.
bool BindThread(Via via) {
    NS_Object o{};
    o.env = via == Via::kDce ? NS_ENV_MSRPC : NS_ENV_ONC;
    o.serverClass = NS_CLASS_SPOOLER;
    o.name = o.serverName = const_cast<char *>(via == Via::kLocal ? "" : "spool-1");
    o.onc.host = const_cast<char *>("127.0.0.1");
    o.onc.program = static_cast<int32_t>(Program());
    o.onc.version = kVersion;
    char *binding = const_cast<char *>("ncacn_ip_tcp:127.0.0.1[4100]");
    o.msrpc.nBindings = 1, o.msrpc.bindings = &binding, o.msrpc.domain = const_cast<char *>("");
    STF_List *st = STF_CreateList(nullptr);
    bool ok = ODP_Initialize2(st, &o) == 0;
    STF_DeleteList(st);
    return ok;
}

// One job submission; aborts unless it succeeds.
void Submit(STF_List *st, const GEN_SimpleName &printer, AS_SetHandle set) {
    ODP_PrintResult *r = nullptr;
    ERDPA_ErrorResult *e = nullptr;
    if (ODP_CreateJob_C(st, &printer, nullptr, &set, nullptr, nullptr, &r, &e) || r || e)
        fprintf(stderr, "code %x\n", STF_GetStatus(st)), Die("the submission failed");
}

// The whole call to the server (ONC RPC or DCE/RPC); else a null call plus
// the same submission encoded and decoded locally.
void RunSubmissions(benchmark::State &state, Via via) {
    bool remote = via != Via::kLocal;
    if (!Program()) {
        state.SkipWithError("needs the test server (run inside onc_env.sh)");
        return;
    }
    STF_List *st = STF_CreateList(nullptr);
    AS_SetHandle set = JobSet();
    GEN_SimpleName printer{};
    GENU_MakeEmbeddedSimpleName(st, &printer, "prn-1", nullptr);
    CLIENT *null_client = remote ? nullptr : clnt_create("127.0.0.1", Program(), kVersion, "tcp");
    if (!BindThread(via) || (!remote && !null_client)) Die("cannot bind");
    timeval wait{25, 0};
    double server_before = state.thread_index() == 0 ? ServerCpu() : 0;
    for (auto _ : state) {
        if (!remote && clnt_call(null_client, NULLPROC, Proc(xdr_void), nullptr, Proc(xdr_void),
                                 nullptr, wait) != RPC_SUCCESS)
            Die("the null call failed");
        Submit(st, printer, set);
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    // The server's share of a call (all threads' calls, measured by the first).
    if (state.thread_index() == 0)
        state.counters["server_cpu_us"] =
            benchmark::Counter(ServerCpu() - server_before, benchmark::Counter::kAvgIterations);
    if (null_client) clnt_destroy(null_client);
    ODP_Terminate(st);
    AS_Destroy(st, &set);
    STF_DeleteList(st);
}

void BM_CreateJobCall(benchmark::State &state) { RunSubmissions(state, Via::kOnc); }
void BM_CreateJobCallDce(benchmark::State &state) { RunSubmissions(state, Via::kDce); }
void BM_NullCallPlusLocalCodec(benchmark::State &state) { RunSubmissions(state, Via::kLocal); }

BENCHMARK(BM_CreateJobCall)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();
BENCHMARK(BM_CreateJobCallDce)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();
BENCHMARK(BM_NullCallPlusLocalCodec)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();

BENCHMARK(BM_EncodeBulk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodeXdrArrayOfChar)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeBulk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeXdrArrayOfChar)->Unit(benchmark::kMicrosecond);

} // namespace

// Extra arguments (the test filter onc_env.sh passes) are ignored.
int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    // Every request from now on is answered with an empty result.
    if (Program()) ScriptServer("default reply 0 - -");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
