// Environment 2 ("MSRPC"). In local-file mode every operation goes to the
// local store; the central name server's client is not part of this
// build, so outside local-file mode the environment reports that no name
// server is reachable.
#include <cstdlib>
#include <cstring>
#include <new>

#include "nameservice/ns_host.h"
#include "nameservice/ns_internal.h"
#include "system/guard.h"
#include "vrcore/log.h"

namespace vrcore::nameservice {

namespace {

struct Msrpc {
    std::string local_domain;
    std::string epuuid;
    bool local_file = false;
    Store store;
};
Msrpc g_ms;

void Reset() {
    g_ms.local_domain.clear();
    g_ms.epuuid.clear();
    g_ms.local_file = false;
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
    if (!g_ms.local_file) return NS_E_UNREACHABLE;
    if (int rc = g_ms.store.Init(host::StoreDir())) return rc;
    st.env[NS_ENV_MSRPC].default_domain = g_ms.local_domain;
    st.env[NS_ENV_MSRPC].has_default = true;
    return NS_OK;
}

int MsTerm() {
    g_ms.store.Term();
    Reset();
    return NS_OK;
}

int MsGetObject(NS_Object *obj, const char *domain) {
    Found f;
    int rc = g_ms.store.Get(Identity{obj->objClass, obj->name, DomainOrLocal(domain)}, f);
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
        return g_ms.store.Create(obj->objClass, e, force, flags);
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
        return g_ms.store.Create(cls, e, force, flags);
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
        return g_ms.store.Remove(
            Identity{obj->objClass, obj->name, DomainOrLocal(obj->msrpc.domain)});
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int MsListObjects(int32_t cls, const char *domain, std::vector<Identity> &out) {
    try {
        return g_ms.store.List(cls, DomainOrLocal(domain), out);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int MsListMembers(int32_t cls, const char *name, const char *domain, std::vector<Identity> &out) {
    try {
        return g_ms.store.ListMembers(Identity{cls, name, DomainOrLocal(domain)}, out);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int MsSameHost(const NS_Object *obj, int32_t *same) {
    try {
        std::string domain = DomainOrLocal(obj->msrpc.domain);
        if (!SameDomain(domain, g_ms.local_domain)) return NS_OK;
        std::string host, me;
        if (int rc = g_ms.store.GetHost(Identity{obj->objClass, obj->name, domain}, host))
            return rc;
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
        if (int rc = g_ms.store.Get(Identity{st.self_class, st.self_name, g_ms.local_domain}, f))
            return rc;
        *same = obj->serverClass == f.server_class && f.server_name == obj->serverName ? 1 : 0;
        return NS_OK;
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int MsDomainBegin(std::vector<std::string> &names) {
    try {
        return g_ms.store.ListDomains(names);
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

// Environment 0 is not part of this build: it never becomes available.
int OncUnavailable() { return NS_E_ENV; }

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

const EnvOps kOncOps = {
    [](NS_Object *, const char *) { return OncUnavailable(); },
    [](const Identity &, NS_Object **) { return OncUnavailable(); },
    [](const NS_Object *, bool, uint32_t *) { return OncUnavailable(); },
    [](const NS_Object *, NS_Object *const *, bool, uint32_t *) { return OncUnavailable(); },
    [](const char *, NS_Object *const *, const char *, bool, uint32_t *) {
        return OncUnavailable();
    },
    [](const NS_Object *, uint32_t *) { return OncUnavailable(); },
    [](int32_t, const char *, std::vector<Identity> &) { return OncUnavailable(); },
    [](int32_t, const char *, const char *, std::vector<Identity> &) { return OncUnavailable(); },
    [](const NS_Object *, int32_t *) { return OncUnavailable(); },
    [](const NS_Object *, int32_t *) { return OncUnavailable(); },
    [](std::vector<std::string> &) { return OncUnavailable(); },
    [](NS_DomainListRec *, char **) { return OncUnavailable(); },
    [](NS_DomainListRec *) { return OncUnavailable(); },
    OncUnavailable,
    OncUnavailable,
    FreeEntries,
};

} // namespace vrcore::nameservice

extern "C" {

// The central name server's client is not part of this build: there is
// no name server to locate or check.
VR_EXPORT int32_t NS_LocatePGR(char **host) try {
    if (host) *host = nullptr;
    return NS_E_UNREACHABLE;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_CheckPGR(const char *host) try { return host ? NS_E_UNREACHABLE : NS_E_NAME; }
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

} // extern "C"
