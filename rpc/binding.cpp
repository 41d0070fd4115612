#include "rpc/binding.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "rpc/rpc_auth.h"
#include "rpc/epm_client.h"
#include "rpc/rpc_status.h"
#include "rpc/security.h"
#include "rpc/string_binding.h"
#include "rpc/stubs.h"

namespace vrcore::rpc {
namespace {

// The live bindings, so that a pointer handed through C can be checked
// without reading what it points to.
std::mutex g_live_mutex;
std::unordered_set<const void *> &Live() {
    static auto *live = new std::unordered_set<const void *>;
    return *live;
}

// A time-out in seconds as the runtime's milliseconds (an int).
int Milliseconds(uint32_t seconds) {
    return int(std::min<uint64_t>(uint64_t(seconds) * 1000, 0x7fffffff));
}

} // namespace

uint32_t Binding::FromString(std::string_view text, std::unique_ptr<Binding> *out) {
    StringBinding parts;
    if (uint32_t status = ParseStringBinding(text, &parts)) return status;
    if (parts.network_address.empty()) return kInvalidStringBinding;
    std::unique_ptr<Binding> b(new Binding);
    if (!parts.object_uuid.empty() && !ParseUuid(parts.object_uuid, &b->object_))
        return kInvalidStringUuid;
    b->host_ = std::move(parts.network_address);
    b->endpoint_ = std::move(parts.endpoint);
    {
        std::lock_guard<std::mutex> lock(g_live_mutex);
        Live().insert(b.get());
    }
    *out = std::move(b);
    return kOk;
}

Binding::~Binding() {
    std::lock_guard<std::mutex> lock(g_live_mutex);
    Live().erase(this);
}

uint32_t Binding::Lookup(const void *handle, Binding **out) {
    if (!handle) return kInvalidBinding;
    std::lock_guard<std::mutex> lock(g_live_mutex);
    if (!Live().count(handle)) return kWrongKindOfBinding;
    *out = static_cast<Binding *>(const_cast<void *>(handle));
    return kOk;
}

uint32_t Binding::SetAuthInfo(uint32_t level, uint32_t service) {
    SecurityFactory security;
    if (level == kAuthLevelConnect) {
        if (service != kAuthnWinNt) return kUnknownAuthnService;
        if (uint32_t status = DefaultClientSecurity(&security)) return status;
    } else if (level != kAuthLevelNone) {
        return kUnknownAuthnLevel;
    }
    security_ = std::move(security);
    auth_level_ = level;
    connection_.reset();
    return kOk;
}

void Binding::SetTimeout(uint32_t seconds) {
    seconds = seconds ? seconds : 1;
    if (seconds == timeout_s_) return;
    timeout_s_ = seconds;
    connection_.reset();
}

uint32_t Binding::ResolveEndpoint(const SyntaxId &iface) {
    if (!endpoint_.empty()) return kOk;
    uint16_t port = 0;
    const Uuid *object = object_.IsNil() ? nullptr : &object_;
    uint32_t status = rpc::ResolveEndpoint(host_, iface, object, Milliseconds(timeout_s_), &port);
    if (status != kOk) return status;
    endpoint_ = std::to_string(port);
    resolved_ = true;
    return kOk;
}

uint32_t Binding::Call(const ndr::Interface &iface, uint16_t opnum, const void *in_args,
                       void *out_args, ndr::Arena *arena) {
    if (!connection_ || !(connected_ == iface.id)) {
        connection_.reset();
        if (uint32_t status = ResolveEndpoint(iface.id)) return status;
        ClientOptions options;
        options.timeout_ms = Milliseconds(timeout_s_);
        options.security = security_;
        connection_ = std::make_unique<ClientConnection>(
            host_, uint16_t(std::strtoul(endpoint_.c_str(), nullptr, 10)), iface.id,
            std::move(options));
        connected_ = iface.id;
    }
    uint32_t status = CallProcedure(*connection_, iface, opnum,
                                    object_.IsNil() ? nullptr : &object_, in_args, out_args, arena);
    // A server that is gone may come back at another port: a resolved
    // endpoint is asked for again on the next call.
    if (status == kServerUnavailable && resolved_) {
        connection_.reset();
        endpoint_.clear();
        resolved_ = false;
    }
    return status;
}

} // namespace vrcore::rpc
