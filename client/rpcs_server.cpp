// The request interface served over DCE/RPC for a server program: the
// runtime's server with the interface's stubs, each request handed to the
// program's handler as the packets the client stub sends, its endpoint
// registration and the string bindings that name it.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "rpc/epm_client.h"
#include "rpc/idl_dpa.h"
#include "rpc/rpc_auth.h"
#include "rpc/rpc_status.h"
#include "rpc/stubs.h"
#include "system/guard.h"
#include "vrcore/log.h"
#include "vrcore/rpcs.h"

namespace rpc = vrcore::rpc;

struct RPCS_Server {
    static constexpr uint32_t kMagic = 0x52504353; // "RPCS"
    uint32_t magic = kMagic;
    RPCS_RequestHandler handler = nullptr;
    void *context = nullptr;
    std::string address; // "" for every address
    rpc::Handler handlers[1] = {};
    rpc::StubServer stubs{};
    std::unique_ptr<rpc::Server> server;
    std::vector<rpc::Uuid> registered; // objects registered with the mapper
};

namespace vrcore::client {
namespace {

constexpr const char *kSource = "rpcs_server";
constexpr uint32_t kDefaultConnections = 64;

bool Valid(const RPCS_Server *s) { return s && s->magic == RPCS_Server::kMagic; }

// Packets of the handler's memory routines.
struct PacketFree {
    void operator()(ODP_RequestPacket *p) const { ODP_MIDL_user_free(p); }
};
using PacketPtr = std::unique_ptr<ODP_RequestPacket, PacketFree>;

// The call's description for the handler; its strings live as long as it.
struct Call {
    char address[INET_ADDRSTRLEN] = "";
    std::string user, domain, object;
    RPCS_CallInfo info{};

    explicit Call(const rpc::Uuid *called) {
        info.client_address = address;
        if (const rpc::CallInfo *c = rpc::CurrentCall()) {
            inet_ntop(AF_INET, c->peer_address, address, sizeof address);
            info.client_port = c->peer_port;
            // The authenticated peer is "DOMAIN\user", the domain possibly
            // empty; an anonymous logon has no user.
            size_t slash = c->user.find('\\');
            user = slash == std::string::npos ? c->user : c->user.substr(slash + 1);
            domain = slash == std::string::npos ? "" : c->user.substr(0, slash);
        }
        if (!user.empty()) {
            info.user = user.c_str();
            info.domain = domain.empty() ? nullptr : domain.c_str();
            info.auth_level = rpc::kAuthLevelConnect;
        }
        if (called && !called->IsNil()) {
            object = rpc::FormatUuid(*called);
            info.object = object.c_str();
        }
    }
};

// The request operation: the handler's reply copied into the out
// parameters, its packets freed whatever happens.
uint32_t Transfer(void *ctx, const rpc::Uuid *object, const void *in_args, void *out_args,
                  rpc::ndr::Arena *arena) {
    auto *s = static_cast<RPCS_Server *>(ctx);
    const auto *in = static_cast<const rpc::dpa::TransferIn *>(in_args);
    auto *out = static_cast<rpc::dpa::TransferOut *>(out_args);
    RPCS_Reply reply{};
    PacketPtr result, error;
    try {
        Call call(object);
        size_t length = in->request->length;
        PacketPtr request(static_cast<ODP_RequestPacket *>(
            ODP_MIDL_user_allocate(sizeof(ODP_RequestPacket) + length)));
        if (!request) return rpc::kOutOfMemory;
        request->length = uint32_t(length);
        if (length) memcpy(request->bytes, in->request->bytes, length);
        uint32_t status = s->handler(s->context, &call.info, in->operation, request.get(), &reply);
        result.reset(reply.result);
        if (reply.error != reply.result) error.reset(reply.error);
        if (status != rpc::kOk) return status;
        auto put = [arena](const ODP_RequestPacket *p) -> rpc::dpa::Packet * {
            if (!p) return nullptr;
            auto *k = static_cast<rpc::dpa::Packet *>(arena->Alloc(sizeof(rpc::dpa::Packet)));
            k->length = p->length;
            k->bytes = static_cast<uint8_t *>(arena->Alloc(p->length ? p->length : 1));
            if (p->length) memcpy(k->bytes, p->bytes, p->length);
            return k;
        };
        out->result = put(reply.result);
        out->error = reply.error == reply.result ? out->result : put(reply.error);
        out->error_kind = reply.error_kind;
        out->status = reply.status;
        return rpc::kOk;
    } catch (const std::bad_alloc &) {
        LOG_CondMessage(5, kSource, __LINE__, "no memory for the reply of operation %d\n",
                        int(in->operation));
        return rpc::kOutOfMemory;
    }
}

// The server's NTLM: the user file's users, anonymous logons where
// authentication is optional; without a file only anonymous ones.
uint32_t Security(const RPCS_Config &config, rpc::SecurityFactory *out) {
    std::string path = config.user_file ? config.user_file : rpc::DefaultUserFile();
    rpc::NtlmServerOptions options;
    options.allow_anonymous = !config.require_auth;
    if (!path.empty()) return rpc::ServerNtlm(path, options, out);
    if (config.require_auth) {
        LOG_CondMessage(2, kSource, __LINE__,
                        "authentication is required and no user file is named\n");
        return rpc::kFileNotFound;
    }
    auto none = std::make_shared<const rpc::NtlmUserTable>();
    *out = [none, options]() -> std::unique_ptr<rpc::SecurityContext> {
        return std::make_unique<rpc::NtlmServerContext>(none, options);
    };
    return rpc::kOk;
}

// The host's IPv4 addresses on interfaces that are up, loopback last.
std::vector<std::string> HostAddresses() {
    std::vector<std::string> found, loopback;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs *i = list; i; i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP))
                continue;
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(i->ifa_addr)->sin_addr, text,
                      sizeof text);
            (i->ifa_flags & IFF_LOOPBACK ? loopback : found).push_back(text);
        }
        freeifaddrs(list);
    }
    if (found.empty()) found = loopback.empty() ? std::vector<std::string>{"127.0.0.1"} : loopback;
    return found;
}

} // namespace
} // namespace vrcore::client

using namespace vrcore::client;

extern "C" {

VR_EXPORT int RPCS_Start(const RPCS_Config *config, RPCS_RequestHandler handler, void *context,
                         RPCS_Server **server) try {
    in_addr any{};
    if (!config || !handler || !server ||
        (config->address && inet_pton(AF_INET, config->address, &any) != 1))
        return RPCS_S_INVALID_PARAMETER;
    rpc::ServerOptions options;
    options.require_auth = config->require_auth != 0;
    options.max_connections =
        config->max_connections ? config->max_connections : kDefaultConnections;
    if (uint32_t rc = Security(*config, &options.security)) return int(rc);
    auto s = std::make_unique<RPCS_Server>();
    s->handler = handler;
    s->context = context;
    s->address = config->address ? config->address : "";
    s->handlers[0] = Transfer;
    s->stubs = rpc::StubServer{&rpc::dpa::kInterface, s->handlers, s.get()};
    s->server = std::make_unique<rpc::Server>(std::move(options));
    s->server->AddInterface(rpc::Serve(&s->stubs));
    if (uint32_t rc = s->server->Listen(s->address, config->port)) return int(rc);
    LOG_CondMessage(6, kSource, __LINE__, "serving the request interface at %s port %u\n",
                    s->address.empty() ? "every address" : s->address.c_str(),
                    unsigned(s->server->Port()));
    *server = s.release();
    return RPCS_S_OK;
}
VR_CATCH_CODE(RPCS_S_NO_MEMORY, RPCS_S_INTERNAL)

VR_EXPORT uint16_t RPCS_Port(const RPCS_Server *server) try {
    return Valid(server) ? server->server->Port() : 0;
}
VR_CATCH_RETURN(0)

VR_EXPORT int RPCS_RegisterEndpoint(RPCS_Server *server, const char *object_uuid) try {
    rpc::Uuid object;
    if (!Valid(server) || (object_uuid && !rpc::ParseUuid(object_uuid, &object)))
        return RPCS_S_INVALID_PARAMETER;
    if (uint32_t rc =
            rpc::RegisterEndpoint(rpc::dpa::kInterface.id, &object, server->server->Port(), ""))
        return int(rc);
    for (const rpc::Uuid &u : server->registered)
        if (u == object) return RPCS_S_OK;
    server->registered.push_back(object);
    return RPCS_S_OK;
}
VR_CATCH_CODE(RPCS_S_NO_MEMORY, RPCS_S_INTERNAL)

VR_EXPORT int RPCS_StringBindings(const RPCS_Server *server, char ***bindings,
                                  uint32_t *count) try {
    if (!Valid(server) || !bindings || !count) return RPCS_S_INVALID_PARAMETER;
    std::vector<std::string> hosts = server->address.empty() || server->address == "0.0.0.0"
                                         ? HostAddresses()
                                         : std::vector<std::string>{server->address};
    auto **list = static_cast<char **>(calloc(hosts.size(), sizeof(char *)));
    if (!list) return RPCS_S_NO_MEMORY;
    for (size_t i = 0; i < hosts.size(); ++i) {
        std::string text =
            "ncacn_ip_tcp:" + hosts[i] + "[" + std::to_string(server->server->Port()) + "]";
        if (!(list[i] = strdup(text.c_str()))) {
            RPCS_FreeStrings(list, uint32_t(i));
            return RPCS_S_NO_MEMORY;
        }
    }
    *bindings = list;
    *count = uint32_t(hosts.size());
    return RPCS_S_OK;
}
VR_CATCH_CODE(RPCS_S_NO_MEMORY, RPCS_S_INTERNAL)

VR_EXPORT void RPCS_FreeStrings(char **strings, uint32_t count) try {
    for (uint32_t i = 0; strings && i < count; ++i) free(strings[i]);
    free(strings);
}
VR_CATCH_VOID

VR_EXPORT int RPCS_Stop(RPCS_Server *server) try {
    if (!Valid(server)) return RPCS_S_INVALID_PARAMETER;
    std::unique_ptr<RPCS_Server> s(server);
    for (const rpc::Uuid &object : s->registered) {
        if (uint32_t rc =
                rpc::UnregisterEndpoint(rpc::dpa::kInterface.id, &object, s->server->Port())) {
            LOG_CondMessage(5, kSource, __LINE__, "the endpoint of %s stays registered: %u\n",
                            rpc::FormatUuid(object).c_str(), unsigned(rc));
        }
    }
    s->server->Stop();
    s->magic = 0;
    LOG_CondMessage(6, kSource, __LINE__, "the request interface is no longer served\n");
    return RPCS_S_OK;
}
VR_CATCH_CODE(RPCS_S_NO_MEMORY, RPCS_S_INTERNAL)

} // extern "C"
