// Connect-level authentication of an association: the exchange of tokens
// carried in the bind, bind_ack and auth3 packets. The runtime calls a
// context; the NTLM module provides the client and server contexts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrcore::rpc {

// Authentication types and levels as the packets carry them.
inline constexpr uint8_t kAuthTypeNone = 0;
inline constexpr uint8_t kAuthTypeNtlm = 10;
inline constexpr uint8_t kAuthLevelNone = 1;
inline constexpr uint8_t kAuthLevelConnect = 2;

class SecurityContext {
  public:
    virtual ~SecurityContext() = default;
    // One step of the exchange. A client is first stepped with no input and
    // answers the token of its bind; then with the server's token (from the
    // bind_ack) and answers the token of its auth3, and is done. A server is
    // stepped with the client's bind token and answers the bind_ack's token;
    // then with the auth3 token, answers nothing and is done.
    // Returns kOk, or kAccessDenied (refused credentials, a malformed
    // token), kOutOfMemory.
    virtual uint32_t Step(const std::vector<uint8_t> &in, std::vector<uint8_t> *out) = 0;
    virtual bool Done() const = 0;
    // Server side, once done: the authenticated user ("DOMAIN\user", or ""
    // for an anonymous logon).
    virtual std::string Peer() const = 0;
};

} // namespace vrcore::rpc
