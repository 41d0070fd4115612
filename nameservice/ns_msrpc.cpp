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

void reset() {
    g_ms.local_domain.clear();
    g_ms.epuuid.clear();
    g_ms.local_file = false;
}

std::string domain_or_local(const char *d) { return d && *d ? std::string(d) : g_ms.local_domain; }

// A registered binding: the endpoint object identifier, "@", and the
// string binding without its endpoint (and without any identifier it had).
std::string registered_binding(std::string_view b) {
    size_t at = b.find('@');
    size_t colon = b.find(':');
    if (at != std::string_view::npos && (colon == std::string_view::npos || at < colon))
        b.remove_prefix(at + 1);
    b = b.substr(0, b.find('['));
    std::string out = g_ms.epuuid;
    out.append("@").append(b);
    return out;
}

int ms_init() {
    State &st = state();
    reset();
    if (st.self_class != NS_CLASS_NONE) {
        const char *u = std::getenv("MSRPC_EPUUID");
        if (!u || !*u) return NS_E_NOTINIT;
        g_ms.epuuid = u;
    }
    if (host::local_domain(g_ms.local_domain) != 0 || g_ms.local_domain.empty()) return NS_E_SYSTEM;
    g_ms.local_file = host::local_file_enabled();
    if (!g_ms.local_file) return NS_E_UNREACHABLE;
    if (int rc = g_ms.store.init(host::store_dir())) return rc;
    st.env[NS_ENV_MSRPC].default_domain = g_ms.local_domain;
    st.env[NS_ENV_MSRPC].has_default = true;
    return NS_OK;
}

int ms_term() {
    g_ms.store.term();
    reset();
    return NS_OK;
}

int ms_get_object(NS_Object *obj, const char *domain) {
    Found f;
    int rc = g_ms.store.get(Identity{obj->objClass, obj->name, domain_or_local(domain)}, f);
    if (rc) return rc;
    return fill_object(obj, f);
}

int ms_get_each(const Identity &id, NS_Object **out) {
    NS_Object *obj = new_object();
    if (!obj || !(obj->name = dup_string(id.name))) {
        NS_FreeObject(obj);
        return NS_E_NOMEM;
    }
    obj->objClass = id.cls;
    int rc = ms_get_object(obj, id.domain.c_str());
    if (rc) {
        NS_FreeObject(obj);
        return rc;
    }
    *out = obj;
    return NS_OK;
}

int ms_create_object(const NS_Object *obj, bool force, uint32_t *flags) {
    const NS_BindingVector *bv = NS_msrpc_binding_vector;
    if (!bv || bv->count == 0 || !bv->bindings) return NS_E_NOTPERMITTED;
    try {
        Entry e;
        e.name = obj->name;
        e.domain = domain_or_local(obj->msrpc.domain);
        switch (handler_of(obj->objClass)) {
        case Handler::Server:
            if (g_ms.epuuid.empty()) return NS_E_NOTPERMITTED;
            for (uint32_t i = 0; i < bv->count; ++i)
                if (bv->bindings[i]) e.bindings.push_back(registered_binding(bv->bindings[i]));
            if (host::computer_name(e.host) != 0) return NS_E_SYSTEM;
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
        return g_ms.store.create(obj->objClass, e, force, flags);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int create_members(int32_t cls, const char *name, const char *domain, NS_Object *const *members,
                   bool force, uint32_t *flags) {
    try {
        Entry e;
        e.name = name;
        e.domain = domain_or_local(domain);
        for (NS_Object *const *m = members; *m; ++m) {
            if (!(*m)->name) return NS_E_NAME;
            e.members.push_back(
                Identity{(*m)->objClass, (*m)->name, domain_or_local((*m)->msrpc.domain)});
        }
        return g_ms.store.create(cls, e, force, flags);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int ms_create_backup(const NS_Object *obj, NS_Object *const *members, bool force, uint32_t *flags) {
    return create_members(NS_CLASS_BACKUP, obj->name, obj->msrpc.domain, members, force, flags);
}

int ms_create_group(const char *name, NS_Object *const *members, const char *domain, bool force,
                    uint32_t *flags) {
    return create_members(NS_CLASS_GROUP, name, domain, members, force, flags);
}

int ms_delete_object(const NS_Object *obj, uint32_t *) {
    try {
        return g_ms.store.remove(
            Identity{obj->objClass, obj->name, domain_or_local(obj->msrpc.domain)});
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int ms_list_objects(int32_t cls, const char *domain, std::vector<Identity> &out) {
    try {
        return g_ms.store.list(cls, domain_or_local(domain), out);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int ms_list_members(int32_t cls, const char *name, const char *domain, std::vector<Identity> &out) {
    try {
        return g_ms.store.list_members(Identity{cls, name, domain_or_local(domain)}, out);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int ms_same_host(const NS_Object *obj, int32_t *same) {
    try {
        std::string domain = domain_or_local(obj->msrpc.domain);
        if (!same_domain(domain, g_ms.local_domain)) return NS_OK;
        std::string host, me;
        if (int rc = g_ms.store.get_host(Identity{obj->objClass, obj->name, domain}, host))
            return rc;
        if (host::computer_name(me) != 0) return NS_E_SYSTEM;
        if (me.size() > 15) me.resize(15);
        *same = same_domain(host, me) ? 1 : 0;
        return NS_OK;
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int ms_same_server(const NS_Object *obj, int32_t *same) {
    try {
        if (obj->msrpc.domain && !same_domain(obj->msrpc.domain, g_ms.local_domain)) return NS_OK;
        const State &st = state();
        Found f;
        if (int rc = g_ms.store.get(Identity{st.self_class, st.self_name, g_ms.local_domain}, f))
            return rc;
        *same = obj->serverClass == f.server_class && f.server_name == obj->serverName ? 1 : 0;
        return NS_OK;
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int ms_domain_begin(std::vector<std::string> &names) {
    try {
        return g_ms.store.list_domains(names);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

// The store's domains, then the local domain unless it was among them.
int ms_domain_next(NS_DomainListRec *h, char **name) {
    const std::string *next = nullptr;
    if (h->cursor < h->names.size()) {
        next = &h->names[h->cursor++];
    } else if (!h->local_done) {
        h->local_done = true;
        bool seen = false;
        for (const auto &n : h->names) seen = seen || same_domain(n, g_ms.local_domain);
        if (!seen) next = &g_ms.local_domain;
    }
    if (!next) return NS_E_END;
    *name = dup_string(*next);
    return *name ? NS_OK : NS_E_NOMEM;
}

int ms_domain_end(NS_DomainListRec *) { return NS_OK; }

void free_entries(std::vector<Identity> &v) { std::vector<Identity>().swap(v); }

// Environment 0 is not part of this build: it never becomes available.
int onc_unavailable() { return NS_E_ENV; }

} // namespace

int fill_object(NS_Object *obj, const Found &f) {
    obj->objClass = f.id.cls;
    if (handler_of(f.id.cls) != Handler::Group) {
        if (obj->serverName) {
            if (obj->serverClass != f.server_class || !same_domain(obj->serverName, f.server_name))
                return NS_E_NOTFOUND;
        } else {
            obj->serverClass = f.server_class;
            if (!(obj->serverName = dup_string(f.server_name))) return NS_E_NOMEM;
        }
    }
    release(obj->msrpc.domain);
    if (!(obj->msrpc.domain = dup_string(f.id.domain))) return NS_E_NOMEM;
    obj->msrpc.info = static_cast<int32_t>(f.info);
    if (!f.bindings.empty()) {
        obj->msrpc.bindings = static_cast<char **>(zalloc(f.bindings.size() * sizeof(char *)));
        if (!obj->msrpc.bindings) return NS_E_NOMEM;
        obj->msrpc.nBindings = static_cast<int32_t>(f.bindings.size());
        for (size_t i = 0; i < f.bindings.size(); ++i)
            if (!(obj->msrpc.bindings[i] = dup_string(f.bindings[i]))) return NS_E_NOMEM;
    }
    return NS_OK;
}

const EnvOps kMsrpcOps = {ms_get_object,   ms_get_each,      ms_create_object, ms_create_backup,
                          ms_create_group, ms_delete_object, ms_list_objects,  ms_list_members,
                          ms_same_host,    ms_same_server,   ms_domain_begin,  ms_domain_next,
                          ms_domain_end,   ms_init,          ms_term,          free_entries};

const EnvOps kOncOps = {
    [](NS_Object *, const char *) { return onc_unavailable(); },
    [](const Identity &, NS_Object **) { return onc_unavailable(); },
    [](const NS_Object *, bool, uint32_t *) { return onc_unavailable(); },
    [](const NS_Object *, NS_Object *const *, bool, uint32_t *) { return onc_unavailable(); },
    [](const char *, NS_Object *const *, const char *, bool, uint32_t *) {
        return onc_unavailable();
    },
    [](const NS_Object *, uint32_t *) { return onc_unavailable(); },
    [](int32_t, const char *, std::vector<Identity> &) { return onc_unavailable(); },
    [](int32_t, const char *, const char *, std::vector<Identity> &) { return onc_unavailable(); },
    [](const NS_Object *, int32_t *) { return onc_unavailable(); },
    [](const NS_Object *, int32_t *) { return onc_unavailable(); },
    [](std::vector<std::string> &) { return onc_unavailable(); },
    [](NS_DomainListRec *, char **) { return onc_unavailable(); },
    [](NS_DomainListRec *) { return onc_unavailable(); },
    onc_unavailable,
    onc_unavailable,
    free_entries,
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
