// Environment 2 ("MSRPC"). In local-file mode every operation goes to the
// local store; otherwise to the domain's name server, called over RPC.
#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <new>

#include "nameservice/ns_host.h"
#include "nameservice/ns_internal.h"
#include "nameservice/pgr_client.h"
#include "rpc/idl_pgr.h"
#include "rpc/rpc_status.h"
#include "rpc/stubs.h"
#include "rpc/string_binding.h"
#include "system/guard.h"
#include "vrcore/log.h"

namespace vrcore::nameservice {

namespace {

struct Msrpc {
    std::string local_domain;
    std::string epuuid;
    std::string server_domain; // the name server's domain
    bool local_file = false;
    Store store;
    std::unique_ptr<pgr::Client> client;
};
Msrpc g_ms;

void Reset() {
    g_ms.local_domain.clear();
    g_ms.epuuid.clear();
    g_ms.server_domain.clear();
    g_ms.local_file = false;
    g_ms.client.reset();
}

std::string DomainOrLocal(const char *d) { return d && *d ? std::string(d) : g_ms.local_domain; }

// A registered binding: the endpoint object identifier, "@", and the
// string binding without its endpoint (and without any identifier it had).
std::string RegisteredBinding(std::string_view b) {
    size_t at = b.find('@');
    size_t colon = b.find(':');
    if (at != std::string_view::npos && (colon == std::string_view::npos || at < colon))
        b.remove_prefix(at + 1);
    b = b.substr(0, b.find('['));
    std::string out = g_ms.epuuid;
    out.append("@").append(b);
    return out;
}

// ---- Calls of the name server ----------------------------------------------

namespace wire = rpc::pgr;

char *Text(const std::string &s) { return const_cast<char *>(s.c_str()); }

wire::Identity Wire(const Identity &id) {
    return wire::Identity{static_cast<uint16_t>(id.cls), Text(id.name), Text(id.domain)};
}

// Calls procedure `op` through the client (searching a server, retrying):
// the procedure's result, the call's rpc status, or 18.
template <class In, class Out>
int Remote(pgr::Client &client, uint16_t op, const In &in, Out &out, rpc::ndr::Arena &arena) {
    uint32_t st = client.Run([&](rpc::ClientConnection &c) {
        arena.Clear();
        out = Out{};
        return rpc::CallProcedure(c, wire::kInterface, op, nullptr, &in, &out, &arena);
    });
    return st == rpc::kOk ? static_cast<int>(out.result) : static_cast<int>(st);
}
template <class In, class Out> int Remote(uint16_t op, const In &in, Out &out, rpc::ndr::Arena &a) {
    return Remote(*g_ms.client, op, in, out, a);
}

std::string Str(const char *s) { return s ? std::string(s) : std::string(); }

int RemoteGet(const Identity &id, Found &f) {
    wire::IdentityIn in{Wire(id)};
    wire::GetObjectOut out{};
    rpc::ndr::Arena arena;
    if (int rc = Remote(wire::kGetObject, in, out, arena)) return rc;
    f.id = Identity{out.found_class, id.name, id.domain};
    f.server_class = out.server.object_class;
    f.server_name = Str(out.server.name);
    f.info = out.info;
    for (uint32_t i = 0; i < out.bindings.count && out.bindings.strings; ++i)
        f.bindings.push_back(Str(out.bindings.strings[i]));
    return NS_OK;
}

// Create object with its server and members; bit 4 of *flags when the
// server replaced an entry.
int RemoteCreate(const Entry &e, int32_t cls, bool force, uint32_t *flags) {
    std::vector<char *> bindings;
    for (const auto &b : e.bindings) bindings.push_back(Text(b));
    std::vector<wire::Identity> members;
    for (const auto &m : e.members) members.push_back(Wire(m));
    wire::CreateIn in{};
    in.id = wire::Identity{static_cast<uint16_t>(cls), Text(e.name), Text(e.domain)};
    in.server = wire::Identity{static_cast<uint16_t>(e.server_class), Text(e.server_name),
                               Text(e.server_domain)};
    in.force = force ? 1 : 0;
    in.info = wire::ServerInfo{static_cast<uint32_t>(bindings.size()),
                               bindings.empty() ? nullptr : bindings.data(),
                               e.host.empty() ? nullptr : Text(e.host), e.info};
    in.members = wire::IdentityList{static_cast<uint32_t>(members.size()),
                                    members.empty() ? nullptr : members.data()};
    wire::CreateOut out{};
    rpc::ndr::Arena arena;
    int rc = Remote(wire::kCreateObject, in, out, arena);
    if (rc == NS_OK && out.replaced && flags) *flags |= 4;
    return rc;
}

int RemoteList(const Identity &id, std::vector<Identity> &v) {
    wire::IdentityIn in{Wire(id)};
    wire::IdentityListOut out{};
    rpc::ndr::Arena arena;
    if (int rc = Remote(wire::kListObjects, in, out, arena)) return rc;
    v.clear();
    for (uint32_t i = 0; i < out.list.count && out.list.items; ++i) {
        const wire::Identity &it = out.list.items[i];
        v.push_back(Identity{it.object_class, Str(it.name), Str(it.domain)});
    }
    return NS_OK;
}

int RemoteString(uint16_t op, pgr::Client &client, const wire::IdentityIn *id,
                 const std::string &domain, std::string &text) {
    wire::StringOut out{};
    rpc::ndr::Arena arena;
    int rc;
    if (id) {
        rc = Remote(client, op, *id, out, arena);
    } else if (op == wire::kGetDomain) {
        rc = Remote(client, op, wire::NoIn{}, out, arena);
    } else {
        wire::DomainIn in{Text(domain)};
        rc = Remote(client, op, in, out, arena);
    }
    if (rc == NS_OK) text = Str(out.text);
    return rc;
}

// Finds the name server: a handle on which get domain completes. A server
// program whose server serves another domain asks it (hello) for the
// server of the local domain, and keeps that one.
int FindServer(bool client_program) {
    auto &c = *g_ms.client;
    if (int rc = RemoteString(wire::kGetDomain, c, nullptr, {}, g_ms.server_domain)) return rc;
    if (client_program || SameDomain(g_ms.server_domain, g_ms.local_domain)) return NS_OK;
    std::string host;
    if (int rc = RemoteString(wire::kHello, c, nullptr, g_ms.local_domain, host)) return rc;
    auto h = c.Bind(host);
    if (!h) return NS_E_UNREACHABLE;
    c.MakeCurrent(h, false);
    pgr::WriteServerAddress(host);
    return RemoteString(wire::kGetDomain, c, nullptr, {}, g_ms.server_domain);
}

// ---- Each operation on the store or the name server -------------------------

int GetFound(const Identity &id, Found &f) {
    return g_ms.local_file ? g_ms.store.Get(id, f) : RemoteGet(id, f);
}

int CreateEntry(int32_t cls, const Entry &e, bool force, uint32_t *flags) {
    return g_ms.local_file ? g_ms.store.Create(cls, e, force, flags)
                           : RemoteCreate(e, cls, force, flags);
}

int RemoveEntry(const Identity &id) {
    if (g_ms.local_file) return g_ms.store.Remove(id);
    wire::IdentityIn in{Wire(id)};
    wire::ResultOut out{};
    rpc::ndr::Arena arena;
    return Remote(wire::kDeleteObject, in, out, arena);
}

int GetHostOf(const Identity &id, std::string &host) {
    if (g_ms.local_file) return g_ms.store.GetHost(id, host);
    wire::IdentityIn in{Wire(id)};
    return RemoteString(wire::kGetHost, *g_ms.client, &in, {}, host);
}

int ListDomains(std::vector<std::string> &names) {
    if (g_ms.local_file) return g_ms.store.ListDomains(names);
    wire::DomainIn in{Text(g_ms.server_domain)};
    wire::StringListOut out{};
    rpc::ndr::Arena arena;
    if (int rc = Remote(wire::kListDomains, in, out, arena)) return rc;
    for (uint32_t i = 0; i < out.list.count && out.list.strings; ++i)
        names.push_back(Str(out.list.strings[i]));
    return NS_OK;
}

int MsInit() {
    State &st = Shared();
    Reset();
    if (st.self_class != NS_CLASS_NONE) {
        const char *u = std::getenv("MSRPC_EPUUID");
        if (!u || !*u) return NS_E_NOTINIT;
        g_ms.epuuid = u;
    }
    if (host::LocalDomain(g_ms.local_domain) != 0 || g_ms.local_domain.empty()) return NS_E_SYSTEM;
    g_ms.local_file = host::LocalFileEnabled();
    if (g_ms.local_file) {
        if (int rc = g_ms.store.Init(host::StoreDir())) return rc;
    } else {
        g_ms.client = std::make_unique<pgr::Client>();
        g_ms.client->Start();
        // A search whose calls all failed found no name server either.
        if (int rc = FindServer(st.self_class == NS_CLASS_NONE)) {
            Reset();
            return rc > NS_E_INTERNAL ? NS_E_UNREACHABLE : rc;
        }
    }
    st.env[NS_ENV_MSRPC].default_domain = g_ms.local_domain;
    st.env[NS_ENV_MSRPC].has_default = true;
    return NS_OK;
}

int MsTerm() {
    if (g_ms.local_file) g_ms.store.Term();
    Reset();
    return NS_OK;
}

int MsGetObject(NS_Object *obj, const char *domain) {
    Found f;
    int rc = GetFound(Identity{obj->objClass, obj->name, DomainOrLocal(domain)}, f);
    if (rc) return rc;
    return FillObject(obj, f);
}

int MsGetEach(const Identity &id, NS_Object **out) {
    NS_Object *obj = NewObject();
    if (!obj || !(obj->name = DupString(id.name))) {
        NS_FreeObject(obj);
        return NS_E_NOMEM;
    }
    obj->objClass = id.cls;
    int rc = MsGetObject(obj, id.domain.c_str());
    if (rc) {
        NS_FreeObject(obj);
        return rc;
    }
    *out = obj;
    return NS_OK;
}

int MsCreateObject(const NS_Object *obj, bool force, uint32_t *flags) {
    const NS_BindingVector *bv = NS_msrpc_binding_vector;
    if (!bv || bv->count == 0 || !bv->bindings) return NS_E_NOTPERMITTED;
    try {
        Entry e;
        e.name = obj->name;
        e.domain = DomainOrLocal(obj->msrpc.domain);
        switch (HandlerOf(obj->objClass)) {
        case Handler::Server:
            if (g_ms.epuuid.empty()) return NS_E_NOTPERMITTED;
            for (uint32_t i = 0; i < bv->count; ++i)
                if (bv->bindings[i]) e.bindings.push_back(RegisteredBinding(bv->bindings[i]));
            if (host::ComputerName(e.host) != 0) return NS_E_SYSTEM;
            if (e.host.size() > 15) e.host.resize(15);
            e.info = static_cast<uint32_t>(obj->msrpc.info);
            break;
        case Handler::Association:
            if (!obj->serverName || !*obj->serverName) return NS_E_OBJECT;
            e.server_class = obj->serverClass;
            e.server_name = obj->serverName;
            e.server_domain = e.domain;
            break;
        default: return NS_E_CLASS;
        }
        return CreateEntry(obj->objClass, e, force, flags);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int CreateMembers(int32_t cls, const char *name, const char *domain, NS_Object *const *members,
                  bool force, uint32_t *flags) {
    try {
        Entry e;
        e.name = name;
        e.domain = DomainOrLocal(domain);
        for (NS_Object *const *m = members; *m; ++m) {
            if (!(*m)->name) return NS_E_NAME;
            e.members.push_back(
                Identity{(*m)->objClass, (*m)->name, DomainOrLocal((*m)->msrpc.domain)});
        }
        return CreateEntry(cls, e, force, flags);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int MsCreateBackup(const NS_Object *obj, NS_Object *const *members, bool force, uint32_t *flags) {
    return CreateMembers(NS_CLASS_BACKUP, obj->name, obj->msrpc.domain, members, force, flags);
}

int MsCreateGroup(const char *name, NS_Object *const *members, const char *domain, bool force,
                  uint32_t *flags) {
    return CreateMembers(NS_CLASS_GROUP, name, domain, members, force, flags);
}

int MsDeleteObject(const NS_Object *obj, uint32_t *) {
    try {
        return RemoveEntry(Identity{obj->objClass, obj->name, DomainOrLocal(obj->msrpc.domain)});
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int MsListObjects(int32_t cls, const char *domain, std::vector<Identity> &out) {
    try {
        if (g_ms.local_file) return g_ms.store.List(cls, DomainOrLocal(domain), out);
        return RemoteList(Identity{cls, "", DomainOrLocal(domain)}, out);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int MsListMembers(int32_t cls, const char *name, const char *domain, std::vector<Identity> &out) {
    try {
        Identity id{cls, name, DomainOrLocal(domain)};
        return g_ms.local_file ? g_ms.store.ListMembers(id, out) : RemoteList(id, out);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int MsSameHost(const NS_Object *obj, int32_t *same) {
    try {
        std::string domain = DomainOrLocal(obj->msrpc.domain);
        if (!SameDomain(domain, g_ms.local_domain)) return NS_OK;
        std::string host, me;
        if (int rc = GetHostOf(Identity{obj->objClass, obj->name, domain}, host)) return rc;
        if (host::ComputerName(me) != 0) return NS_E_SYSTEM;
        if (me.size() > 15) me.resize(15);
        *same = SameDomain(host, me) ? 1 : 0;
        return NS_OK;
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int MsSameServer(const NS_Object *obj, int32_t *same) {
    try {
        if (obj->msrpc.domain && !SameDomain(obj->msrpc.domain, g_ms.local_domain)) return NS_OK;
        const State &st = Shared();
        Found f;
        if (int rc = GetFound(Identity{st.self_class, st.self_name, g_ms.local_domain}, f))
            return rc;
        *same = obj->serverClass == f.server_class && f.server_name == obj->serverName ? 1 : 0;
        return NS_OK;
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int MsDomainBegin(std::vector<std::string> &names) {
    try {
        return ListDomains(names);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

// The store's domains, then the local domain unless it was among them.
int MsDomainNext(NS_DomainListRec *h, char **name) {
    const std::string *next = nullptr;
    if (h->cursor < h->names.size()) {
        next = &h->names[h->cursor++];
    } else if (!h->local_done) {
        h->local_done = true;
        bool seen = false;
        for (const auto &n : h->names) seen = seen || SameDomain(n, g_ms.local_domain);
        if (!seen) next = &g_ms.local_domain;
    }
    if (!next) return NS_E_END;
    *name = DupString(*next);
    return *name ? NS_OK : NS_E_NOMEM;
}

int MsDomainEnd(NS_DomainListRec *) { return NS_OK; }

void FreeEntries(std::vector<Identity> &v) { std::vector<Identity>().swap(v); }

} // namespace

int FillObject(NS_Object *obj, const Found &f) {
    obj->objClass = f.id.cls;
    if (HandlerOf(f.id.cls) != Handler::Group) {
        if (obj->serverName) {
            if (obj->serverClass != f.server_class || !SameDomain(obj->serverName, f.server_name))
                return NS_E_NOTFOUND;
        } else {
            obj->serverClass = f.server_class;
            if (!(obj->serverName = DupString(f.server_name))) return NS_E_NOMEM;
        }
    }
    Release(obj->msrpc.domain);
    if (!(obj->msrpc.domain = DupString(f.id.domain))) return NS_E_NOMEM;
    obj->msrpc.info = static_cast<int32_t>(f.info);
    if (!f.bindings.empty()) {
        obj->msrpc.bindings = static_cast<char **>(Zalloc(f.bindings.size() * sizeof(char *)));
        if (!obj->msrpc.bindings) return NS_E_NOMEM;
        obj->msrpc.nBindings = static_cast<int32_t>(f.bindings.size());
        for (size_t i = 0; i < f.bindings.size(); ++i)
            if (!(obj->msrpc.bindings[i] = DupString(f.bindings[i]))) return NS_E_NOMEM;
    }
    return NS_OK;
}

const EnvOps kMsrpcOps = {MsGetObject,   MsGetEach,      MsCreateObject, MsCreateBackup,
                          MsCreateGroup, MsDeleteObject, MsListObjects,  MsListMembers,
                          MsSameHost,    MsSameServer,   MsDomainBegin,  MsDomainNext,
                          MsDomainEnd,   MsInit,         MsTerm,         FreeEntries};

} // namespace vrcore::nameservice

namespace vrcore::nameservice {
namespace {

// Get domain on one handle only (no search).
int DomainOn(pgr::Client &c, pgr::Handle &h, std::string &domain) {
    wire::StringOut out{};
    const wire::NoIn in{};
    rpc::ndr::Arena arena;
    uint32_t st = c.CallOn(h, [&](rpc::ClientConnection &conn) {
        arena.Clear();
        out = wire::StringOut{};
        return rpc::CallProcedure(conn, wire::kInterface, wire::kGetDomain, nullptr, &in, &out,
                                  &arena);
    });
    if (st != rpc::kOk) return static_cast<int>(st);
    if (out.result) return static_cast<int>(out.result);
    domain = Str(out.text);
    return NS_OK;
}

// The host of the current name server; a temporary client's search finds
// one when the name service is not initialised.
int LocatePgr(std::string &host) {
    std::shared_ptr<pgr::Handle> h;
    if (Shared().initialised) {
        if (g_ms.client) h = g_ms.client->Current();
    } else {
        pgr::Client c;
        c.Start();
        std::string domain;
        if (RemoteString(wire::kGetDomain, c, nullptr, {}, domain) == NS_OK) h = c.Current();
    }
    if (!h) return NS_E_UNREACHABLE;
    in_addr a{};
    if (inet_pton(AF_INET, h->host.c_str(), &a) != 1) {
        host = h->host;
        return NS_OK;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr = a;
    char name[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<sockaddr *>(&sa), sizeof sa, name, sizeof name, nullptr, 0,
                    NI_NAMEREQD) != 0)
        return NS_E_SYSTEM;
    host = name;
    return NS_OK;
}

int CheckPgr(const char *host) {
    std::string local, domain;
    if (host::LocalDomain(local) != 0 || local.empty()) return NS_E_SYSTEM;
    pgr::Client c;
    c.Start();
    auto h = c.Bind(host);
    if (!h) return NS_E_UNREACHABLE;
    if (int rc = DomainOn(c, *h, domain)) return rc;
    return SameDomain(domain, local) ? NS_OK : NS_E_DOMAIN;
}

} // namespace
} // namespace vrcore::nameservice

extern "C" {

VR_EXPORT int32_t NS_LocatePGR(char **host) try {
    if (!host) return NS_E_NAME;
    *host = nullptr;
    std::string name;
    if (int rc = vrcore::nameservice::LocatePgr(name)) return rc;
    *host = vrcore::nameservice::DupString(name);
    return *host ? NS_OK : NS_E_NOMEM;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_CheckPGR(const char *host) try {
    return host && *host ? vrcore::nameservice::CheckPgr(host) : NS_E_NAME;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

} // extern "C"
