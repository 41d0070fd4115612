// The endpoint mapper's client: the port of a server's interface on a host,
// found by asking the host's endpoint mapper, and the registration of a
// local server's endpoint with the mapper of this host.
#pragma once

#include <cstdint>
#include <string>

#include "rpc/uuid.h"

namespace vrcore::rpc {

// The mapper's TCP port: the registry dword "EndpointMapperPort" under
// "Software\Halvane\Tessaril\odp", 135 when absent (or 0 or above 65535).
uint32_t MapperPort();

// Asks the mapper of `host` for the endpoint of `iface` (over NDR,
// connection-oriented, TCP/IP), of `object` when not null. The first
// answered tower's port in *port. kOk; kEndpointNotRegistered when the
// mapper has no such entry; kServerUnavailable when the mapper cannot be
// reached; another status of the call or kProtocolError for an answer that
// holds no readable tower.
uint32_t ResolveEndpoint(const std::string &host, const SyntaxId &iface, const Uuid *object,
                         int timeout_ms, uint16_t *port);

// Registers (replacing an entry of the same interface and object) or
// removes the endpoint `port` of `iface` and `object` (null: the nil
// object) with the mapper of this host (127.0.0.1 at MapperPort()). kOk,
// a status of the call, or the mapper's status (kEndpointNotRegistered for
// a removal of what is not registered, kAccessDenied when the mapper
// refuses the change).
uint32_t RegisterEndpoint(const SyntaxId &iface, const Uuid *object, uint16_t port,
                          const std::string &annotation, int timeout_ms = 10000);
uint32_t UnregisterEndpoint(const SyntaxId &iface, const Uuid *object, uint16_t port,
                            int timeout_ms = 10000);

} // namespace vrcore::rpc
