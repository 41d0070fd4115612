// Requests over DCE/RPC, the endpoint mapper and the name service.
#include "dpad_dce.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "vrcore/log.h"
#include "vrcore/ns.h"

namespace vrcore::dpad {

namespace {

constexpr const char *kSource = "vrdpad";

ODP_RequestPacket *Packet(const std::vector<char> &bytes) {
    if (bytes.empty()) return nullptr;
    auto *p = static_cast<ODP_RequestPacket *>(
        ODP_MIDL_user_allocate(sizeof(ODP_RequestPacket) + bytes.size()));
    if (!p) return nullptr;
    p->length = uint32_t(bytes.size());
    std::memcpy(p->bytes, bytes.data(), bytes.size());
    return p;
}

uint32_t Handle(void *context, const RPCS_CallInfo *call, uint16_t operation,
                const ODP_RequestPacket *request, RPCS_Reply *reply) {
    auto *gate = static_cast<Gate *>(context);
    Reply r;
    {
        std::lock_guard<std::mutex> hold(gate->lock);
        r = gate->service->Handle(operation, request ? request->bytes : nullptr,
                                  request ? request->length : 0, call->user);
    }
    LOG_CondMessage(8, kSource, __LINE__, "operation %u from %s (%s)\n", operation,
                    call->client_address, call->user ? call->user : "anonymous");
    uint64_t one = 1;
    if (gate->wake_fd >= 0 && ::write(gate->wake_fd, &one, sizeof one) < 0) {}
    reply->result = Packet(r.result);
    reply->error = Packet(r.error);
    reply->error_kind = uint16_t(r.kind);
    if ((!r.result.empty() && !reply->result) || (!r.error.empty() && !reply->error))
        return RPCS_S_NO_MEMORY;
    return 0;
}

NS_Object Object(int32_t cls, const std::string &name, const Config &config) {
    NS_Object o{};
    o.env = NS_ENV_MSRPC, o.objClass = cls, o.name = const_cast<char *>(name.c_str());
    if (cls != NS_CLASS_SPOOLER)
        o.serverClass = NS_CLASS_SPOOLER, o.serverName = const_cast<char *>(config.name.c_str());
    return o;
}

} // namespace

bool StartDce(const Config &config, Gate *gate, RPCS_Server **server, std::string *why) {
    *server = nullptr;
    if (!config.dce) return true;
    RPCS_Config rc{};
    rc.address = config.address.empty() ? nullptr : config.address.c_str();
    rc.port = config.dce_port;
    rc.user_file = config.users.empty() ? nullptr : config.users.c_str();
    rc.require_auth = config.require_auth;
    if (int st = RPCS_Start(&rc, Handle, gate, server)) {
        *why = "cannot serve DCE/RPC on port " + std::to_string(config.dce_port) + " (status " +
               std::to_string(st) + ")";
        return false;
    }
    return true;
}

void RegisterDce(const Config &config, RPCS_Server *server) {
    if (!server) return;
    const char *object = std::getenv("MSRPC_EPUUID");
    if (int st = RPCS_RegisterEndpoint(server, object))
        LOG_CondMessage(2, kSource, __LINE__,
                        "cannot register with the endpoint mapper (status %d); clients must be "
                        "given port %u\n",
                        st, RPCS_Port(server));
    if (config.name_service == "none") return;
    char **bindings = nullptr;
    uint32_t count = 0;
    if (RPCS_StringBindings(server, &bindings, &count) != 0) return;
    static NS_BindingVector vector;
    vector = {count, bindings};
    NS_msrpc_binding_vector = &vector;
    int32_t rc = NS_Init(config.name.c_str(), NS_CLASS_SPOOLER);
    std::vector<NS_Object> objects = {Object(NS_CLASS_SPOOLER, config.name, config)};
    for (const Printer &p : config.printers) {
        objects.push_back(Object(NS_CLASS_LP, p.name, config));
        objects.push_back(Object(NS_CLASS_QUEUE, p.name, config));
    }
    for (const NS_Object &o : objects)
        if (rc == NS_OK && (rc = NS_CreateObject(&o, 1, nullptr)) != NS_OK)
            LOG_CondMessage(2, kSource, __LINE__, "cannot register %s in the name service (%d)\n",
                            o.name, rc);
    if (rc == NS_E_SYSTEM)
        LOG_CondMessage(2, kSource, __LINE__,
                        "the name service is not available (%d): this host's domain is unknown "
                        "or its name-service files failed; a host without a NIS or DNS domain "
                        "needs one set: vrreg set Software/Halvane/Tessaril LanGroup NAME\n",
                        rc);
    else if (rc != NS_OK)
        LOG_CondMessage(2, kSource, __LINE__, "the name service is not available (%d)\n", rc);
}

void StopDce(const Config &config, RPCS_Server *server) {
    if (!server) return;
    if (config.name_service != "none") {
        NS_Term();
        if (NS_msrpc_binding_vector) {
            RPCS_FreeStrings(NS_msrpc_binding_vector->bindings, NS_msrpc_binding_vector->count);
            NS_msrpc_binding_vector = nullptr;
        }
    }
    RPCS_Stop(server);
}

} // namespace vrcore::dpad
