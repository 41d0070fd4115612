// The DCE/RPC transport: a binding to the request interface of the server
// named by the first TCP string binding of its name-service entry, one call
// of operation 0 per request; and the exported stub of that operation with
// its memory routines and interface handles.
#include <arpa/inet.h>
#include <netdb.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "client/binding.h"
#include "client/ping_cache.h"
#include "rpc/binding.h"
#include "rpc/idl_dpa.h"
#include "rpc/rpc_status.h"
#include "rpc/string_binding.h"
#include "system/guard.h"
#include "vrcore/log.h"
#include "vrcore/sec.h"

namespace vrcore::client {
namespace {

namespace dpa = rpc::dpa;

constexpr const char *kSource = "c_supprt.msrpc";

// One call of the request operation: the status of the call ("exception",
// kOk when it completed) with the out parameters in `arena`.
uint32_t Transfer(rpc::Binding *binding, uint16_t operation, uint32_t length,
                  const unsigned char *bytes, dpa::TransferOut *out, rpc::ndr::Arena *arena) {
    dpa::Packet packet{length, const_cast<unsigned char *>(bytes)};
    dpa::TransferIn in{operation, &packet};
    *out = dpa::TransferOut{};
    return binding->Call(dpa::kInterface, dpa::kTransferRequest, &in, out, arena);
}

// The status code of a call that did not complete, and of a server's
// non-zero status.
uint32_t ExceptionCode(uint32_t status) {
    switch (status) {
    case rpc::kAccessDenied: return ODP_S_ACCESS;
    case rpc::kServerTooBusy:
    case rpc::kCallCancelled: return ODP_S_TIMEOUT;
    case rpc::kEndpointNotRegistered: return ODP_S_NOBINDING;
    default: return ODP_S_COMM;
    }
}
uint32_t RemoteCode(uint32_t status) {
    switch (status) {
    case rpc::kAccessDenied: return ODP_S_ACCESS;
    case rpc::kCallCancelled: return ODP_S_TIMEOUT;
    default: return ODP_S_COMM;
    }
}

// What a reply keeps alive until it is freed: the decoded packets.
struct DceReply {
    rpc::ndr::Arena arena;
};

class DceTransport final : public Transport {
  public:
    explicit DceTransport(std::unique_ptr<rpc::Binding> binding) : binding_(std::move(binding)) {}

    uint32_t Call(int32_t operation, const unsigned char *request, uint32_t length,
                  Reply *reply) override {
        *reply = Reply{};
        auto *kept = new (std::nothrow) DceReply;
        if (!kept) return ODP_S_NOMEM;
        dpa::TransferOut out;
        uint32_t status = Transfer(binding_.get(), static_cast<uint16_t>(operation), length,
                                   request, &out, &kept->arena);
        if (status != rpc::kOk) {
            LOG_CondMessage(5, kSource, __LINE__,
                            "$$$$->clnt_transfer_request() fail reason is %d\n",
                            static_cast<int>(status));
            delete kept;
            return ExceptionCode(status);
        }
        if (out.status != 0) {
            LOG_CondMessage(5, kSource, __LINE__, "$$$->res.remoteStatus != RPC_S_OK error No.%d\n",
                            static_cast<int>(out.status));
            delete kept;
            return RemoteCode(out.status);
        }
        reply->error_kind = out.error_kind;
        if (out.result) {
            reply->result = out.result->bytes;
            reply->result_length = out.result->length;
        }
        if (out.error) {
            reply->error = out.error->bytes;
            reply->error_length = out.error->length;
        }
        reply->owner = kept;
        return 0;
    }

    void FreeReply(Reply *reply) override {
        delete static_cast<DceReply *>(reply->owner);
        *reply = Reply{};
    }

    uint32_t SetTimeout(uint32_t seconds) override {
        binding_->SetTimeout(seconds);
        return 0;
    }

    uint32_t GetTimeout(uint32_t *seconds) override {
        *seconds = binding_->TimeoutSeconds();
        return 0;
    }

  private:
    std::unique_ptr<rpc::Binding> binding_;
};

// The IPv4 address of the binding's host (network byte order), or false
// when it cannot be known: the reachability check is then skipped.
bool HostAddress(const char *text, uint32_t *address) {
    rpc::StringBinding parts;
    uint32_t status = rpc::ParseStringBinding(text, &parts);
    if (status != rpc::kOk) {
        LOG_CondMessage(5, kSource, __LINE__, "RpcStringBindingParse: %d\n",
                        static_cast<int>(status));
        return false;
    }
    LOG_CondMessage(6, kSource, __LINE__, "will ping to %s\n", parts.network_address.c_str());
    in_addr_t a = inet_addr(parts.network_address.c_str());
    if (a != INADDR_NONE) {
        *address = a;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo *found = nullptr;
    int rc = getaddrinfo(parts.network_address.c_str(), nullptr, &hints, &found);
    if (rc != 0 || !found) {
        LOG_CondMessage(5, kSource, __LINE__, "gethostbyname: %d\n", rc);
        return false;
    }
    *address = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return true;
}

// Whether the host may be reached: a cached state, else a ping (recorded).
bool Reachable(uint32_t address) {
    PingCache &cache = ProcessPingCache();
    uint32_t state = 0;
    if (cache.Lookup(address, &state)) return state == kPingReachable;
    if (Ping(address, cache.Settings()) == 0) {
        LOG_CondMessage(5, kSource, __LINE__, "0x%x ping timed out\n", ntohl(address));
        cache.Record(address, kPingUnreachable);
        return false;
    }
    cache.Record(address, kPingReachable);
    return true;
}

// The binding of the text with its endpoint for the request interface, or
// null (the ping cache told when the host did not answer).
std::unique_ptr<rpc::Binding> Resolve(const char *text, bool known, uint32_t address) {
    LOG_CondMessage(6, kSource, __LINE__, "try to EpResoleve\n");
    std::unique_ptr<rpc::Binding> binding;
    uint32_t status = rpc::Binding::FromString(text, &binding);
    if (status != rpc::kOk) {
        LOG_CondMessage(5, kSource, __LINE__, "RpcBindingFromStringBinding: %d\n",
                        static_cast<int>(status));
        return nullptr;
    }
    binding->SetTimeout(CancelTimeout());
    status = binding->ResolveEndpoint(dpa::kInterface.id);
    if (status != rpc::kOk) {
        if (known && status == rpc::kServerUnavailable)
            ProcessPingCache().Record(address, kPingUnreachable);
        LOG_CondMessage(5, kSource, __LINE__, "RpcEpResolveBinding: %d\n",
                        static_cast<int>(status));
        return nullptr;
    }
    if (known) ProcessPingCache().Record(address, kPingReachable);
    return binding;
}

// The level of the credentials: connect level within the caller's domain
// (or when it is unknown), else the entry's level for foreign callers.
int32_t CredentialLevel(const NS_Object &server) {
    std::string domain;
    if (!CallerDomain(&domain) ||
        strcasecmp(domain.c_str(), server.msrpc.domain ? server.msrpc.domain : "") == 0)
        return SEC_LEVEL_CONNECT;
    return server.msrpc.info;
}

uint32_t AttachCredentials(const NS_Object &server, bool as_server, rpc::Binding *binding) {
    if (as_server) {
        uint32_t answer = Security().add_credential(SEC_TYPE_DCE_ALT, SEC_LEVEL_CONNECT, binding);
        if (answer == 0) return 0;
        LOG_CondMessage(5, kSource, __LINE__,
                        "ODP__MakeClientHandle, SEC_AddCredential_S failed, type= %d, errno=%u\n",
                        SEC_TYPE_DCE_ALT, answer);
        return answer == ODP_S_NOTSUPPORTED ? ODP_S_NOTSUPPORTED : ODP_S_CREDENTIALS;
    }
    int32_t answer = SEC_AddCredential_C(SEC_TYPE_DCE, CredentialLevel(server), binding);
    if (answer == SEC_OK) return 0;
    LOG_CondMessage(5, kSource, __LINE__,
                    "ODP__MakeClientHandle, SEC_AddCredential_C failed, type= %d, errno=%d\n",
                    SEC_TYPE_DCE, answer);
    return ODP_S_CREDENTIALS;
}

} // namespace

uint32_t BindDce(const NS_Object &server, bool as_server, std::unique_ptr<Transport> *out) {
    out->reset();
    for (int32_t i = 0; i < server.msrpc.nBindings && server.msrpc.bindings; ++i)
        LOG_CondMessage(6, kSource, __LINE__, "ODP_Initialize: binding = %s\n",
                        server.msrpc.bindings[i] ? server.msrpc.bindings[i] : "");
    LOG_CondMessage(6, kSource, __LINE__, "ODP_Initialize: domain = %s\n",
                    server.msrpc.domain ? server.msrpc.domain : "");
    LOG_CondMessage(6, kSource, __LINE__,
                    "ODP_Initialize: connecting from thread %d, for object %s",
                    static_cast<int>(gettid()), server.name ? server.name : "");
    const char *tcp = nullptr;
    for (int32_t i = 0; i < server.msrpc.nBindings && server.msrpc.bindings && !tcp; ++i)
        if (server.msrpc.bindings[i] && strstr(server.msrpc.bindings[i], "ncacn_ip_tcp"))
            tcp = server.msrpc.bindings[i];
    if (!tcp) {
        LOG_CondMessage(5, kSource, __LINE__,
                        "ODP_Initialize: server cannot support TCP transport protocol.\n");
        return ODP_S_NOBINDING;
    }
    uint32_t address = 0;
    bool known = false;
    if (as_server) {
        LOG_CondMessage(6, kSource, __LINE__, "I'm server so skip ping\n");
    } else {
        known = HostAddress(tcp, &address);
        if (known && !Reachable(address)) known = false, tcp = nullptr;
    }
    std::unique_ptr<rpc::Binding> binding = tcp ? Resolve(tcp, known, address) : nullptr;
    if (!binding) {
        LOG_CondMessage(5, kSource, __LINE__,
                        "ODP_Initialize: cannot create client binding handle\n");
        return ODP_S_NOBINDING;
    }
    if (uint32_t code = AttachCredentials(server, as_server, binding.get())) return code;
    *out = std::make_unique<DceTransport>(std::move(binding));
    LOG_CondMessage(6, kSource, __LINE__, "ODP_Initialize: connected okay!\n");
    return 0;
}

} // namespace vrcore::client

using namespace vrcore::client;
namespace rpc = vrcore::rpc;

extern "C" {

VR_EXPORT extern void *const clnt_dpa_if_v1_0_c_ifspec =
    const_cast<rpc::ndr::Interface *>(&rpc::dpa::kInterface);
VR_EXPORT extern void *const dpa_if_v1_0_c_ifspec =
    const_cast<rpc::ndr::Interface *>(&rpc::dpa::kInterface);

VR_EXPORT void *ODP_MIDL_user_allocate(size_t size) try { return malloc(size ? size : 1); }
VR_CATCH_RETURN(nullptr)

VR_EXPORT void ODP_MIDL_user_free(void *p) try { free(p); }
VR_CATCH_VOID

VR_EXPORT int clnt_transfer_request(void *binding, uint16_t operation,
                                    const ODP_RequestPacket *request, ODP_RequestPacket **result,
                                    ODP_RequestPacket **error, uint16_t *error_kind,
                                    uint32_t *remote_status) try {
    rpc::Binding *b = nullptr;
    if (uint32_t status = rpc::Binding::Lookup(binding, &b)) return static_cast<int>(status);
    if (!request || !result || !error || !error_kind || !remote_status)
        return static_cast<int>(rpc::kNullRefPointer);
    *result = *error = nullptr;
    rpc::ndr::Arena arena;
    rpc::dpa::TransferOut out;
    uint32_t status = Transfer(b, operation, request->length, request->bytes, &out, &arena);
    if (status != rpc::kOk) return static_cast<int>(status);
    // The out packets in blocks of the caller's memory routines, one each
    // (a packet the server sent as both comes out as two copies).
    auto copy = [](const rpc::dpa::Packet *p) -> ODP_RequestPacket * {
        if (!p) return nullptr;
        auto *c = static_cast<ODP_RequestPacket *>(
            ODP_MIDL_user_allocate(sizeof(ODP_RequestPacket) + p->length));
        if (!c) return nullptr;
        c->length = p->length;
        if (p->length) memcpy(c->bytes, p->bytes, p->length);
        return c;
    };
    *result = copy(out.result);
    *error = copy(out.error);
    if ((out.result && !*result) || (out.error && !*error)) {
        ODP_MIDL_user_free(*result);
        ODP_MIDL_user_free(*error);
        *result = *error = nullptr;
        return static_cast<int>(rpc::kOutOfMemory);
    }
    *error_kind = out.error_kind;
    *remote_status = out.status;
    return 0;
}
VR_CATCH_RETURN(static_cast<int>(rpc::kOutOfMemory))

} // extern "C"
