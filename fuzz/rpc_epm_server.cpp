// Hostile calls of the endpoint mapper by a caller on this host: the first
// byte chooses the operation, the rest is its stub data, carried by one
// bound connection to a mapper kept across inputs (with a small table, so
// that it fills). Every call must be answered by a response or a fault,
// and the table never grows past its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "rpc/epm_server.h"
#include "rpc/pdu.h"
#include "rpc/rpc_status.h"

namespace {

using namespace vrcore::rpc;

constexpr size_t kMaxEntries = 16;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 4000) return 0; // one fragment
    static epm::Mapper mapper(kMaxEntries);
    static std::vector<ServedInterface> served{mapper.Served()};
    static ServerOptions options;
    ServerSession session(&served, &options, "135");
    CallInfo loopback;
    loopback.peer_address[0] = loopback.local_address[0] = 127;
    loopback.peer_address[3] = loopback.local_address[3] = 1;
    session.SetAddresses(loopback);

    std::vector<uint8_t> in, out;
    pdu::Pdu bind;
    bind.type = pdu::Type::kBind;
    bind.contexts.push_back({0, epm::kInterface.id, {pdu::Ndr20()}});
    pdu::Pdu request;
    request.call_id = 1;
    request.opnum = data[0] % 5; // one past the last operation
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
    if (mapper.Size() > kMaxEntries) abort();
    return 0;
}
