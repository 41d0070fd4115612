// Identifiers of interfaces, transfer syntaxes and objects: 16 bytes in the
// form DCE/RPC carries them with little-endian data representation (the
// first three fields little-endian, the last eight bytes as they stand).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vrcore::rpc {

struct Uuid {
    uint8_t bytes[16] = {};
    bool IsNil() const;
    friend bool operator==(const Uuid &, const Uuid &) = default;
};

// An interface or transfer syntax with its version.
struct SyntaxId {
    Uuid uuid;
    uint16_t major = 0;
    uint16_t minor = 0;
    friend bool operator==(const SyntaxId &, const SyntaxId &) = default;
};

// Reads "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (either case); false for
// anything else, *out unchanged.
bool ParseUuid(std::string_view text, Uuid *out);
// The lower-case text form.
std::string FormatUuid(const Uuid &uuid);
// A fresh random (version 4) identifier.
Uuid NewUuid();

} // namespace vrcore::rpc
