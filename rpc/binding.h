// A binding handle: what a client holds to call one server. It is made from
// a string binding and keeps the object UUID, the host and the endpoint (a
// TCP port, or empty until the host's endpoint mapper names one), the
// authentication asked for and the time-out of every call. Its connection
// is its own, opened on the first call and opened again after the server
// dropped it. One thread uses a binding at a time.
//
// A binding travels through C interfaces as an opaque pointer; Lookup
// tells a live binding from anything else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "rpc/ndr.h"
#include "rpc/ndr_stub.h"
#include "rpc/runtime.h"
#include "rpc/security.h"
#include "rpc/uuid.h"

namespace vrcore::rpc {

// The authentication service of SetAuthInfo: NTLM.
inline constexpr uint32_t kAuthnWinNt = 10;

class Binding {
  public:
    // A binding of "[uuid@]ncacn_ip_tcp:host[endpoint,options]" (options
    // are ignored). kOk; the statuses of ParseStringBinding, of which
    // kProtseqNotSupported for another protocol sequence; kInvalidStringBinding
    // for an empty host.
    static uint32_t FromString(std::string_view text, std::unique_ptr<Binding> *out);
    ~Binding();
    Binding(const Binding &) = delete;
    Binding &operator=(const Binding &) = delete;

    // The live binding behind an opaque pointer: kOk and *out; kInvalidBinding
    // for a null pointer; kWrongKindOfBinding for a pointer that is not a
    // live binding.
    static uint32_t Lookup(const void *handle, Binding **out);

    // Authentication of the binds to come: level kAuthLevelNone or
    // kAuthLevelConnect; at connect level `service` must be kAuthnWinNt,
    // which authenticates as the default identity (the authentication file
    // the configuration names, else an anonymous logon). kOk;
    // kUnknownAuthnLevel, kUnknownAuthnService (nothing changes); the
    // status of reading the authentication file.
    uint32_t SetAuthInfo(uint32_t level, uint32_t service);
    uint32_t AuthLevel() const { return auth_level_; }
    // The time-out of every call from now on (at least one second).
    void SetTimeout(uint32_t seconds);
    uint32_t TimeoutSeconds() const { return timeout_s_; }

    // Makes sure the binding has an endpoint for `iface`: an explicit one
    // is kept; an empty one is asked of the endpoint mapper of the host,
    // for the object and the interface. kOk, or the mapper's status
    // (kEndpointNotRegistered, kServerUnavailable, ...).
    uint32_t ResolveEndpoint(const SyntaxId &iface);

    // Calls `opnum` of `iface` on the binding's object (see CallProcedure);
    // an empty endpoint is resolved first. The connection is made on first
    // use and made again for another interface or after SetAuthInfo or
    // SetTimeout. An endpoint the mapper named is forgotten when its server
    // cannot be reached (kServerUnavailable), and asked for again.
    uint32_t Call(const ndr::Interface &iface, uint16_t opnum, const void *in_args, void *out_args,
                  ndr::Arena *arena);

    const Uuid &Object() const { return object_; }
    const std::string &Host() const { return host_; }
    const std::string &Endpoint() const { return endpoint_; }

  private:
    Binding() = default;

    Uuid object_;
    std::string host_;
    std::string endpoint_;
    bool resolved_ = false; // endpoint_ came from the endpoint mapper
    uint32_t timeout_s_ = 120;
    uint32_t auth_level_ = kAuthLevelNone;
    SecurityFactory security_;
    std::unique_ptr<ClientConnection> connection_;
    SyntaxId connected_; // the interface of connection_
};

} // namespace vrcore::rpc
