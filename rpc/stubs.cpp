#include "rpc/stubs.h"

#include "rpc/ndr.h"
#include "rpc/pdu.h"
#include "rpc/rpc_status.h"

namespace vrcore::rpc {
namespace {

// The fault for stub data that cannot be read (nca_s_fault_ndr).
constexpr uint32_t kFaultBadStubData = 0x000006f7u;

uint32_t DispatchStubs(void *ctx, uint16_t opnum, const Uuid *object, const uint8_t *in, size_t n,
                       std::vector<uint8_t> *out) {
    const auto *stubs = static_cast<const StubServer *>(ctx);
    const ndr::Procedure *proc = stubs->iface->Find(opnum);
    size_t index = proc ? static_cast<size_t>(proc - stubs->iface->procedures.data()) : 0;
    if (!proc || !stubs->handlers[index]) return pdu::kNcaOpRangeError;
    ndr::Arena arena;
    void *in_args = arena.Alloc(proc->in_size ? proc->in_size : 1);
    void *out_args = arena.Alloc(proc->out_size ? proc->out_size : 1);
    if (!in_args || !out_args) return kOutOfMemory;
    uint32_t status =
        ndr::UnmarshalRequest(*proc, {in, n}, ndr::kDrepLittleEndian, in_args, &arena);
    if (status == kBadStubData) return kFaultBadStubData;
    if (status != kOk) return status;
    status = stubs->handlers[index](stubs->ctx, object, in_args, out_args, &arena);
    if (status != kOk) return status;
    return ndr::MarshalResponse(*proc, out_args, out);
}

} // namespace

uint32_t CallProcedure(ClientConnection &connection, const ndr::Interface &iface, uint16_t opnum,
                       const Uuid *object, const void *in_args, void *out_args, ndr::Arena *arena) {
    const ndr::Procedure *proc = iface.Find(opnum);
    if (!proc) return kProcnumOutOfRange;
    std::vector<uint8_t> request;
    uint32_t status = ndr::MarshalRequest(*proc, in_args, &request);
    if (status != kOk) return status;
    std::vector<uint8_t> response;
    status = connection.Call(opnum, object, request, &response);
    if (status != kOk) return status;
    return ndr::UnmarshalResponse(*proc, response, ndr::kDrepLittleEndian, out_args, arena);
}

ServedInterface Serve(const StubServer *stubs) {
    ServedInterface served;
    served.id = stubs->iface->id;
    uint16_t count = 0;
    for (const ndr::Procedure &p : stubs->iface->procedures)
        if (p.opnum >= count) count = static_cast<uint16_t>(p.opnum + 1);
    served.operation_count = count;
    served.dispatch = DispatchStubs;
    served.ctx = const_cast<StubServer *>(stubs);
    return served;
}

} // namespace vrcore::rpc
