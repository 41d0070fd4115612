// Look-ups of a registered queue: from vrpgrd over loopback (one client,
// and eight each on its own connection), and from the local store in this
// process as local-file mode reads it.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "nameservice/ns_store.h"
#include "rpc/idl_pgr.h"
#include "rpc/rpc_status.h"
#include "rpc/stubs.h"
#include "tests/support/loopback.h"

namespace {

using namespace vrcore;
namespace pgr = rpc::pgr;

const char kDomain[] = "BENCH";

// A store holding a spooler and its queue, and a name server on it.
struct Fixture {
    std::string dir;
    uint16_t port = 0;
    pid_t pid = -1;
    Fixture() {
        char tmpl[] = "/tmp/pgr_bench.XXXXXX";
        dir = mkdtemp(tmpl);
        nameservice::Store store;
        const std::string server("S"), domain(kDomain), host("h");
        nameservice::Entry spooler, queue;
        spooler.name = queue.server_name = server;
        spooler.domain = queue.domain = queue.server_domain = domain;
        spooler.bindings.push_back("u@ncacn_ip_tcp:h");
        spooler.host = host;
        queue.name = std::string(1, 'Q');
        queue.server_class = NS_CLASS_SPOOLER;
        uint32_t flags = 0;
        if (store.Init(dir) || store.Create(NS_CLASS_SPOOLER, spooler, false, &flags) ||
            store.Create(NS_CLASS_QUEUE, queue, false, &flags))
            std::abort();
        store.Term();
        close(vrtest::LoopbackSocket(port));
        std::string log = dir;
        log.append("/log");
        if ((pid = fork()) == 0) {
            setenv("VRCORE_REGISTRY", "/nonexistent", 1); // no endpoint mapper to register with
            execl(VRCORE_BINARY_DIR "/servers/vrpgrd/vrpgrd", "vrpgrd", "--domain", kDomain,
                  "--port", std::to_string(port).c_str(), "--address", "127.0.0.1", "--store",
                  dir.c_str(), "--log", log.c_str(), nullptr);
            _exit(127);
        }
        for (int i = 0; i < 200; ++i, usleep(10000))
            if (int s = vrtest::ConnectLoopback(port); s >= 0) {
                close(s);
                break;
            }
    }
    ~Fixture() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        std::string rm = "rm -rf '";
        if (std::system(rm.append(dir).append("'").c_str()) != 0) std::abort();
    }
};

Fixture &Shared() {
    static Fixture f;
    return f;
}

pgr::IdentityIn Queue() { return {{NS_CLASS_QUEUE, (char *)"Q", (char *)kDomain}}; }

void BM_ServerLookup(benchmark::State &state) {
    rpc::ClientConnection c("127.0.0.1", Shared().port, pgr::kInterface.id);
    pgr::IdentityIn in = Queue();
    for (auto _ : state) {
        rpc::ndr::Arena arena;
        pgr::GetObjectOut out{};
        if (rpc::CallProcedure(c, pgr::kInterface, pgr::kGetObject, nullptr, &in, &out, &arena) !=
                rpc::kOk ||
            out.result != NS_OK)
            state.SkipWithError("look-up failed");
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_LocalFileLookup(benchmark::State &state) {
    nameservice::Store store;
    store.Init(Shared().dir);
    for (auto _ : state) {
        nameservice::Found f;
        if (store.Get({NS_CLASS_QUEUE, "Q", kDomain}, f) != NS_OK) state.SkipWithError("failed");
    }
    store.Term();
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_ServerLookup)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(BM_LocalFileLookup)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK_MAIN();
