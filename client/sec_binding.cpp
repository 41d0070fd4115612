// The binding's authentication, recorded on the binding record.
#include "client/sec_binding.h"

namespace vrcore::client {

uint32_t SetBindingAuth(void *binding, uint32_t level, uint32_t service) {
    auto *auth = static_cast<BindingAuth *>(binding);
    if (!auth) return kRpcInvalidBinding;
    if (auth->magic != kBindingAuthMagic) return kRpcWrongKindOfBinding;
    auth->level = level;
    auth->service = service;
    return kRpcOk;
}

} // namespace vrcore::client
