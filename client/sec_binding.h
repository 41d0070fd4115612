// The binding side of the DCE/RPC credentials: the one call the
// credentials make on a binding object, which the RPC runtime provides.
// Until that runtime lands, the call records the request on the binding
// record below.
#pragma once

#include <cstdint>

namespace vrcore::client {

// Authentication levels and service of a binding.
inline constexpr uint32_t kAuthnLevelNone = 1;
inline constexpr uint32_t kAuthnLevelConnect = 2;
inline constexpr uint32_t kAuthnServiceWinNt = 10;

// Answers of the runtime.
inline constexpr uint32_t kRpcOk = 0;
inline constexpr uint32_t kRpcWrongKindOfBinding = 1701;
inline constexpr uint32_t kRpcInvalidBinding = 1702;

// What a binding holds of its authentication.
struct BindingAuth {
    uint32_t magic;
    uint32_t level;
    uint32_t service;
};
inline constexpr uint32_t kBindingAuthMagic = 0x42415554; // "BAUT"

// Sets the authentication of the binding (no principal name, the default
// identity, no authorisation service); kRpcOk or the runtime's answer.
uint32_t SetBindingAuth(void *binding, uint32_t level, uint32_t service);

} // namespace vrcore::client
