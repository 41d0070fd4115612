// Binding a thread to a server: the process settings, the security table,
// the thread's client handle and its connection over ONC RPC or DCE/RPC.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <rpc/rpc.h>
#include <strings.h>
#include <unistd.h>

#include "client/binding.h"
#include "system/guard.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"
#include "vrcore/sec.h"

extern "C" {
VR_EXPORT int32_t ODP__serverType = 0;
VR_EXPORT int32_t ODP__ossdbg = 0;
}

namespace vrcore::client {
namespace {

constexpr const char *kOnc = "c_supprt.onc";
constexpr const char *kDce = "c_supprt.msrpc";
constexpr int32_t kNeverBoundClass = 7;
constexpr uint32_t kDefaultCancelSeconds = 120;

uint32_t No() { return ODP_S_NOTSUPPORTED; }
uint32_t NoCredential(int32_t, int32_t, void *) { return ODP_S_NOTSUPPORTED; }
uint32_t NoCheck(const GEN_SimpleName *, AS_SetHandle) { return ODP_S_NOTSUPPORTED; }
uint32_t NoBegin(void *) { return ODP_S_NOTSUPPORTED; }
uint32_t NoContext(const GEN_SimpleName *, int32_t, void **, int32_t *) {
    return ODP_S_NOTSUPPORTED;
}
uint32_t NoAbort(const GEN_SimpleName *) { return ODP_S_NOTSUPPORTED; }
uint32_t NoHandshake(const GEN_SimpleName *, const ODP_SecurityToken *) {
    return ODP_S_NOTSUPPORTED;
}
const ODP_SecurityTable kDefaultSecurity = {No, No, NoCredential, NoCheck, No,          No, NoBegin,
                                            No, No, NoContext,    NoAbort, NoHandshake, No};
ODP_SecurityTable g_security = kDefaultSecurity;

std::once_flag g_env_once;

struct Slot {
    std::unique_ptr<ClientHandle> handle; // released when the thread ends
};
thread_local Slot t_slot;

// The caller's domain, fetched once it is known (DCE/RPC credential level).
std::mutex g_domain_mutex;
char g_domain[1024];
bool g_domain_known = false;

std::string Name(const char *s) { return s ? s : ""; }
bool Same(const char *a, const char *b) { return strcasecmp(a ? a : "", b ? b : "") == 0; }

// The simple name's text (form 7 of an object identification), or false.
bool NameText(STF_List *status, const GEN_SimpleName &name, std::string *out) {
    char *text = nullptr;
    if (GENU_ExtractSimpleName(status, &text, &name, nullptr)) return false;
    *out = text;
    GENU__CoveredFree(text);
    return true;
}

uint32_t OncCredentials(void *, CLIENT *client) {
    if (ActingAsServer()) {
        uint32_t answer = g_security.add_credential(3, 1, client);
        if (answer == 0) return 0;
        LOG_CondMessage(5, kOnc, __LINE__,
                        "ODP__MakeClientHandle, SEC_AddCredential_S failed, type= %d, errno=%u\n",
                        3, answer);
        return answer == ODP_S_NOTSUPPORTED ? ODP_S_NOTSUPPORTED : ODP_S_CREDENTIALS;
    }
    if (SEC_AddCredential_C(SEC_TYPE_ONC, SEC_LEVEL_ONC_SYS, client) == SEC_OK) return 0;
    LOG_CondMessage(5, kOnc, __LINE__,
                    "ODP__MakeClientHandle, SEC_AddCredential_C failed, type= %d, errno=%d\n", 0,
                    0);
    return ODP_S_CREDENTIALS;
}

uint32_t ConnectOnc(ClientHandle *h) {
    const NS_Object &o = *h->server;
    LOG_CondMessage(6, kOnc, __LINE__, "ODP_Initialize: progNo = %d\n", o.onc.program);
    LOG_CondMessage(6, kOnc, __LINE__, "ODP_Initialize: version = %d\n", o.onc.version);
    LOG_CondMessage(6, kOnc, __LINE__,
                    "ODP_Initialize: connecting to host %s, from thread %d, for object %s",
                    Name(o.onc.host).c_str(), static_cast<int>(gettid()), Name(o.name).c_str());
    OncTarget target{o.onc.host, static_cast<uint32_t>(o.onc.program),
                     static_cast<uint32_t>(o.onc.version), OncCredentials, nullptr};
    uint32_t code = BindOnc(target, &h->transport);
    if (code == 0) LOG_CondMessage(6, kOnc, __LINE__, "ODP_Initialize: connected okay!\n");
    return code;
}

uint32_t ConnectDce(ClientHandle *h) {
    return BindDce(*h->server, ActingAsServer(), &h->transport);
}

// Whether the thread's handle already serves the record (ODP_Initialize2).
bool AlreadyBound(const ClientHandle *h, const NS_Object &want) {
    if (!h || !h->server || h->broken || (h->transport && !h->transport->Alive())) return false;
    const NS_Object &have = *h->server;
    if (have.serverClass == kNeverBoundClass || have.serverClass != want.serverClass) return false;
    if (want.env == NS_ENV_ONC)
        return have.env != NS_ENV_MSRPC && have.onc.program == want.onc.program &&
               Same(have.serverName, want.serverName);
    if (have.env == NS_ENV_ONC || !Same(have.serverName, want.serverName) ||
        !Same(have.msrpc.domain, want.msrpc.domain) || have.msrpc.nBindings != want.msrpc.nBindings)
        return false;
    for (int32_t i = 0; i < have.msrpc.nBindings; ++i)
        if (strcmp(have.msrpc.bindings[i], want.msrpc.bindings[i]) != 0) return false;
    return true;
}

// Whether the thread's handle already serves the name (ODP_Initialize).
bool SameServerName(const ClientHandle *h, int32_t object_type, const GEN_ObjectIdent &name) {
    if (!h || !h->server || h->server->env == NS_ENV_ONC) return false;
    const NS_Object &o = *h->server;
    if (o.serverClass == kNeverBoundClass || o.serverClass != object_type) return false;
    if (name.choice != GEN_OBJID_SIMPLE_NAME) {
        LOG_CondMessage(5, kDce, __LINE__, "ODP__SameServerName: Bad serverName type\n");
        return false;
    }
    StatusScratch scratch;
    std::string text;
    return NameText(scratch, name.u.simple_name, &text) &&
           (Same(text.c_str(), o.serverName) || Same(text.c_str(), o.name));
}

int Fail(STF_List *status, uint32_t code) {
    STF_AddStatus(status, code, 0);
    return 1;
}

// Binds a new handle to the server (null: local-only) and stores it.
int Install(STF_List *status, NS_Object *server) {
    auto h = std::make_unique<ClientHandle>();
    h->server = server;
    if (!server) {
        LOG_CondMessage(6, kDce, __LINE__, "ODP_Initialize: local only\n");
    } else {
        h->mode = server->env == NS_ENV_ONC ? kModeOnc : kModeDce;
        uint32_t code = h->mode == kModeOnc ? ConnectOnc(h.get()) : ConnectDce(h.get());
        if (code) return Fail(status, code);
    }
    t_slot.handle = std::move(h);
    return 0;
}

int Unbind(STF_List *status) {
    if (!t_slot.handle) return 0;
    if (ODP_Terminate(status)) return Fail(status, ODP_S_SLOT);
    return 0;
}

} // namespace

StatusScratch::StatusScratch() : list_(STF_CreateList(nullptr)) {}
StatusScratch::~StatusScratch() { STF_DeleteList(list_); }

ClientHandle::~ClientHandle() {
    transport.reset();
    if (server) NS_FreeObject(server);
}

ClientHandle *CurrentHandle() { return t_slot.handle.get(); }

uint32_t Reconnect(ClientHandle *h) {
    h->transport.reset();
    uint32_t code = h->mode == kModeOnc ? ConnectOnc(h) : ConnectDce(h);
    h->broken = code != 0;
    return code;
}

bool ActingAsServer() {
    return ODP__serverType == ODP_SERVER_TYPE || ODP__serverType == ODP_SERVER_TYPE_SECURE;
}

const ODP_SecurityTable &Security() { return g_security; }

void AddSecurityCode(STF_List *status, uint32_t answer) {
    switch (answer) {
    case 100: answer = ODP_S_SLOT; break;
    case 101: answer = ODP_S_SECURITY; break;
    case 102: answer = ODP_S_NOMEM; break;
    case 109:
    case 110: answer = ODP_S_BADARG; break;
    default: break;
    }
    STF_AddStatus(status, answer, 0);
}

uint32_t CancelTimeoutFrom(const char *rpc_timeout, const char *long_time) {
    int value = rpc_timeout ? atoi(rpc_timeout) : long_time ? 3600 : 0;
    return value > 5 ? static_cast<uint32_t>(value) : kDefaultCancelSeconds;
}

uint32_t CancelTimeout() {
    static const uint32_t seconds =
        CancelTimeoutFrom(getenv("ENV_ODP_RPC_TIMEOUT"), getenv("ODP_LONGTIME"));
    return seconds;
}

bool CallerDomain(std::string *out) {
    std::lock_guard<std::mutex> lock(g_domain_mutex);
    if (!g_domain_known) {
        NS_DomainHandle handle = nullptr;
        char *text = nullptr;
        if (NS_CreateDomainHandle(&handle) == NS_OK) {
            if (NS_GetDomain(NS_ENV_MSRPC, handle, &text) == NS_OK && text) {
                strncpy(g_domain, text, sizeof g_domain - 1);
                g_domain_known = true;
                NS_FreeString(text);
            }
            NS_FreeDomainHandle(handle);
        }
    }
    if (g_domain_known) *out = g_domain;
    return g_domain_known;
}

int PeerServerName(STF_List *status, GEN_SimpleName *name) {
    ClientHandle *h = CurrentHandle();
    if (!h || !h->server) return Fail(status, ODP_S_BADARG);
    return GENU_MakeEmbeddedSimpleName(status, name, h->server->serverName, nullptr);
}

int AssociatedServer(STF_List *status, int32_t object_type, const GEN_SimpleName &name,
                     GEN_SimpleName *server) {
    std::string text;
    if (!NameText(status, name, &text)) return 1;
    NS_Object *o = nullptr;
    if (NS_GetObject(object_type, text.c_str(), nullptr, &o) != NS_OK || !o)
        return Fail(status, ODP_S_NOTFOUND);
    int rc = GENU_MakeEmbeddedSimpleName(status, server, o->serverName, nullptr);
    NS_FreeObject(o);
    return rc;
}

} // namespace vrcore::client

using namespace vrcore::client;

extern "C" {

VR_EXPORT uint32_t ODP_ServerInit(int32_t server_type, const ODP_SecurityTable *table) try {
    if (server_type != ODP_SERVER_TYPE && server_type != ODP_SERVER_TYPE_SECURE)
        return ODP_S_BADARG;
    ODP__serverType = server_type;
    g_security = table ? *table : kDefaultSecurity;
    SetEnvFlags();
    return 0;
} catch (...) {
    return ODP_S_NOMEM;
}

VR_EXPORT void SetEnvFlags(void) try {
    std::call_once(g_env_once, [] {
        LOG_Init(nullptr, nullptr);
        ODP__ossdbg = getenv("ODP_OSSDBG") ? 2 : 0;
        ODP__printPDU = getenv("ODP_PRTPDU") ? 1 : 0;
    });
}
VR_CATCH_VOID

VR_EXPORT int ODP_Initialize(STF_List *status, int32_t object_type,
                             GEN_ObjectIdent server_name) try {
    STF_ClearStatus(status);
    SetEnvFlags();
    if (SameServerName(CurrentHandle(), object_type, server_name)) return 0;
    if (Unbind(status)) return 1;
    if (server_name.choice != GEN_OBJID_SIMPLE_NAME) {
        LOG_CondMessage(5, "c_supprt.msrpc", __LINE__,
                        "ODP__MakeClientHandle: Bad serverName type\n");
        return Fail(status, ODP_S_BADNAME);
    }
    std::string text;
    if (!NameText(status, server_name.u.simple_name, &text)) return Fail(status, ODP_S_BADNAME);
    if (text.empty()) return Install(status, nullptr);
    NS_Object *o = nullptr;
    int32_t rc = NS_GetObject(object_type, text.c_str(), nullptr, &o);
    if (rc == NS_E_NOTINIT) {
        LOG_CondMessage(5, "c_supprt.msrpc", __LINE__, "Not initialized NS interface \n");
        return Fail(status, ODP_S_NSINIT);
    }
    if (rc != NS_OK || !o) {
        LOG_CondMessage(5, "c_supprt.msrpc", __LINE__,
                        "NS_GetObject() failed: Entry %s not found in Name Service\n",
                        text.c_str());
        return Fail(status, ODP_S_NOTFOUND);
    }
    // Bound by name over DCE/RPC only: an ONC entry has no string bindings.
    if (o->env == NS_ENV_ONC) {
        NS_FreeObject(o);
        LOG_CondMessage(5, "c_supprt.msrpc", __LINE__,
                        "ODP_Initialize: server cannot support TCP transport protocol.\n");
        return Fail(status, ODP_S_NOBINDING);
    }
    return Install(status, o);
}
VR_CATCH_STATUS(status, ODP_S_NOMEM, ODP_S_COMM)

VR_EXPORT int ODP_Initialize2(STF_List *status, const NS_Object *server) try {
    STF_ClearStatus(status);
    SetEnvFlags();
    if (!server) return Fail(status, ODP_S_BADARG);
    if (AlreadyBound(CurrentHandle(), *server)) return 0;
    if (Unbind(status)) return 1;
    if (!server->name || !*server->name) return Install(status, nullptr);
    NS_Object *copy = nullptr;
    if (NS_CopyObject(&copy, server) != NS_OK || !copy) return Fail(status, ODP_S_NOMEM);
    return Install(status, copy);
}
VR_CATCH_STATUS(status, ODP_S_NOMEM, ODP_S_COMM)

VR_EXPORT int ODP_Terminate(STF_List *status) try {
    STF_ClearStatus(status);
    t_slot.handle.reset();
    return 0;
}
VR_CATCH_STATUS(status, ODP_S_NOMEM, ODP_S_COMM)

VR_EXPORT int ODP_ClientControl(STF_List *status, int32_t request, const int32_t *value) try {
    STF_ClearStatus(status);
    ClientHandle *h = CurrentHandle();
    if (!h) return Fail(status, ODP_S_BADARG);
    if (request == 0) return Fail(status, ODP_S_TIMEOUTREAD);
    if (request != ODP_CONTROL_TIMEOUT || !value || *value < 1) return Fail(status, ODP_S_BADARG);
    // DCE/RPC: the binding's cancel time-out; ONC RPC: the client's call
    // time-out, which may fail.
    if (h->transport && h->transport->SetTimeout(static_cast<uint32_t>(*value))) {
        LOG_CondMessage(5, kOnc, __LINE__, "CLSET_TIMEOUT failed");
        return Fail(status, ODP_S_TIMEOUTCTL);
    }
    return 0;
}
VR_CATCH_STATUS(status, ODP_S_NOMEM, ODP_S_COMM)

} // extern "C"
