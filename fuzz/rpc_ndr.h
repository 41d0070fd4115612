// Shared body of the stub-data fuzz targets: the first byte chooses the
// procedure (low bits), the direction (bit 6: the out parameters) and the
// integer order (bit 7: big-endian); the rest is stub data. What decodes
// must encode, and its encoding must decode and encode to the same bytes.
// Every decoded value is handed to `inspect` (tower or binding parsers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "rpc/ndr_stub.h"
#include "rpc/rpc_status.h"

namespace fuzzndr {

using namespace vrcore::rpc;

template <class Inspect>
void Run(const ndr::Interface &iface, const uint8_t *data, size_t size, Inspect inspect) {
    if (size < 1) return;
    const ndr::Procedure &proc = iface.procedures[(data[0] & 0x3f) % iface.procedures.size()];
    bool out = data[0] & 0x40;
    uint8_t drep = data[0] & 0x80 ? ndr::kDrepBigEndian : ndr::kDrepLittleEndian;
    std::span<const uint8_t> wire(data + 1, size - 1);
    alignas(16) uint8_t args[256], again[256];
    ndr::Arena arena;
    uint32_t st = out ? ndr::UnmarshalResponse(proc, wire, drep, args, &arena)
                      : ndr::UnmarshalRequest(proc, wire, drep, args, &arena);
    // Decoded values never take more room than a fixed multiple of the bytes.
    if (arena.Used() > 64 * size + 4096) abort();
    if (st != kOk) {
        if (st != kBadStubData) abort();
        return;
    }
    inspect(proc, out, args);
    std::vector<uint8_t> first, second;
    st = out ? ndr::MarshalResponse(proc, args, &first) : ndr::MarshalRequest(proc, args, &first);
    if (st != kOk) abort();
    ndr::Arena arena2;
    st = out ? ndr::UnmarshalResponse(proc, first, ndr::kDrepLittleEndian, again, &arena2)
             : ndr::UnmarshalRequest(proc, first, ndr::kDrepLittleEndian, again, &arena2);
    if (st != kOk) abort();
    st = out ? ndr::MarshalResponse(proc, again, &second)
             : ndr::MarshalRequest(proc, again, &second);
    if (st != kOk || first != second) abort();
}

} // namespace fuzzndr
