// Hostile calls of the name server: the first byte chooses the procedure,
// the rest is its stub data, carried by one bound connection to a name
// server kept across inputs, over a store in a scratch directory. Every
// call must be answered by a response or a fault.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "nameservice/pgr_server.h"
#include "rpc_served_call.h"
#include "rpc/rpc_status.h"

namespace {

using namespace vrcore::rpc;
namespace ns = vrcore::nameservice;

struct Fixture {
    ns::Store store;
    std::unique_ptr<ns::PgrServer> server;
    std::vector<ServedInterface> served;
    ServerOptions options;
    Fixture() {
        char dir[] = "/tmp/pgr_server_fuzz.XXXXXX";
        if (!mkdtemp(dir) || store.Init(dir) != 0) abort();
        server = std::make_unique<ns::PgrServer>(
            &store, ns::PgrServerConfig{"westlab", {{"north", "10.0.0.9"}}, false});
        served.push_back(server->Served());
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 4000) return 0; // one fragment
    static Fixture f;
    ServerSession session(&f.served, &f.options, "1135");

    vrfuzz::CallServed(session, pgr::kInterface.id, uint16_t(pgr::kInterface.procedures.size()),
                       data, size);
    return 0;
}
