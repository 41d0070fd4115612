// The request interface of the print servers: one procedure that carries
// an operation's encoded argument and brings back its encoded result or
// error.
#pragma once

#include <cstdint>

#include "rpc/ndr_stub.h"

namespace vrcore::rpc::dpa {

// A request packet: `length` bytes of BER (argument, result or error).
struct Packet {
    uint32_t length;
    uint8_t *bytes;
};

inline constexpr uint16_t kTransferRequest = 0;

struct TransferIn {
    uint16_t operation; // the operation number (a 16-bit enumeration)
    Packet *request;    // never null
};

struct TransferOut {
    Packet *result; // either may be null; both point at one packet when
    Packet *error;  // the server made them the same
    uint16_t error_kind;
    uint32_t status; // the server's status of the call, 0 for success
};

extern const ndr::Interface kInterface; // 003f553e-fd5d-1bdf-8b74-10005aa872c0 v1.0

} // namespace vrcore::rpc::dpa
