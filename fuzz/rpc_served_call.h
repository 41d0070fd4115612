// One hostile call to a served interface: a connection's state is bound to
// the interface and given a request whose first byte chooses the operation
// (up to one past the last) and whose stub data is the rest. The session
// must stay open and answer the bind and then the call, with a response or
// a fault. Shared by the fuzz targets of the server programs' interfaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "rpc/pdu.h"
#include "rpc/rpc_status.h"
#include "rpc/runtime.h"

namespace vrfuzz {

inline void CallServed(vrcore::rpc::ServerSession &session, const vrcore::rpc::SyntaxId &iface,
                       uint16_t operations, const uint8_t *data, size_t size) {
    namespace pdu = vrcore::rpc::pdu;
    using vrcore::rpc::kOk;
    std::vector<uint8_t> in, out;
    pdu::Pdu bind;
    bind.type = pdu::Type::kBind;
    bind.contexts.push_back({0, iface, {pdu::Ndr20()}});
    pdu::Pdu request;
    request.call_id = 1;
    request.opnum = uint16_t(data[0] % (operations + 1));
    request.stub = data + 1;
    request.stub_size = size - 1;
    request.alloc_hint = uint32_t(size - 1);
    if (pdu::Encode(bind, &in) != kOk || pdu::Encode(request, &in) != kOk) return;
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
}

} // namespace vrfuzz
