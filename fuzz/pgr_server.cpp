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
#include "rpc/pdu.h"
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

    std::vector<uint8_t> in, out;
    pdu::Pdu bind;
    bind.type = pdu::Type::kBind;
    bind.contexts.push_back({0, pgr::kInterface.id, {pdu::Ndr20()}});
    pdu::Pdu request;
    request.call_id = 1;
    request.opnum = data[0] % 9; // one past the last procedure
    request.stub = data + 1;
    request.stub_size = size - 1;
    request.alloc_hint = uint32_t(size - 1);
    if (pdu::Encode(bind, &in) != kOk || pdu::Encode(request, &in) != kOk) return 0;
    if (!session.Receive(in.data(), in.size(), 0, &out)) abort();

    // The bind_ack, then the answer to the call.
    size_t at = 0, n = 0;
    pdu::Pdu answer;
    for (int k = 0; k < 2; ++k, at += n)
        if (at + pdu::kHeaderSize > out.size() ||
            pdu::PeekLength(out.data() + at, 1 << 16, &n) != kOk ||
            pdu::Decode(out.data() + at, n, 1 << 16, &answer) != kOk)
            abort();
    if (answer.type != pdu::Type::kResponse && answer.type != pdu::Type::kFault) abort();
    return 0;
}
