// The DCE/RPC transport's place behind the transport interface. The DCE/RPC
// runtime is not part of the library yet, so no binding can be made.
#include "client/transport.h"

namespace vrcore::client {

uint32_t BindDce(const NS_Object &, bool, std::unique_ptr<Transport> *out) {
    out->reset();
    return ODP_S_NOBINDING;
}

} // namespace vrcore::client
