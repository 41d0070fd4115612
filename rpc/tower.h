// Protocol towers of connection-oriented RPC over TCP/IP, the form in
// which the endpoint mapper keeps and hands out endpoints. Five floors,
// each a left-hand side (protocol identifier and data) and a right-hand
// side (related data), both with 16-bit little-endian lengths: the
// interface (identifier and major version; minor version), the transfer
// syntax (likewise), the RPC protocol (0x0b; its minor version), the TCP
// port (0x07; big-endian) and the IPv4 address (0x09; 4 bytes in network
// order).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "rpc/uuid.h"

namespace vrcore::rpc {

struct TcpTower {
    SyntaxId interface;
    SyntaxId transfer; // NDR 2.0 as a rule
    uint16_t protocol_minor = 0;
    uint16_t port = 0;       // host order
    uint8_t address[4] = {}; // network order; 0.0.0.0 in a query
};

// The NDR 2.0 transfer syntax 8a885d04-1ceb-11c9-9fe8-08002b104860 v2.
extern const SyntaxId kNdrSyntax;

std::vector<uint8_t> EncodeTower(const TcpTower &tower);
// Reads a tower of at least the five floors above (further floors are
// ignored). kOk; kProtseqNotSupported for a well-formed tower of another
// protocol (other floor identifiers); kBadStubData for anything malformed
// (a length that runs past the end, a floor of the wrong size).
uint32_t DecodeTower(std::span<const uint8_t> bytes, TcpTower *out);

} // namespace vrcore::rpc
