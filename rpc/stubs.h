// Typed calls over the runtime: the stub engine's descriptions joined to
// the connections. A client calls a procedure with its parameter
// structures; a server serves an interface with one handler per procedure.
#pragma once

#include <cstdint>

#include "rpc/ndr_stub.h"
#include "rpc/runtime.h"

namespace vrcore::rpc {

// Calls `opnum` of `iface`: the in parameters from `in_args`, the out
// parameters decoded into `out_args` (what they point to lives in
// `arena`). Returns kOk, a status of the connection, kProcnumOutOfRange for
// an operation the description does not have, or a marshalling status.
uint32_t CallProcedure(ClientConnection &connection, const ndr::Interface &iface, uint16_t opnum,
                       const Uuid *object, const void *in_args, void *out_args, ndr::Arena *arena);

// Serves one procedure: the decoded in parameters, the out parameters to
// fill (zeroed; what they point to may live in `arena`, which lives until
// the response is marshalled). Returns kOk, or a fault status to send.
using Handler = uint32_t (*)(void *ctx, const Uuid *object, const void *in_args, void *out_args,
                             ndr::Arena *arena);

// An interface served by handlers, one per procedure of the description in
// its order (a null handler faults as an operation out of range). Must
// outlive the server.
struct StubServer {
    const ndr::Interface *iface;
    const Handler *handlers;
    void *ctx = nullptr;
};

// What a server's AddInterface takes to serve `stubs`.
ServedInterface Serve(const StubServer *stubs);

} // namespace vrcore::rpc
