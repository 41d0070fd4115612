// The NS_ functions: argument checks, the environment table and dispatch
// to an environment's operations.
#include <cstdlib>
#include <cstring>
#include <new>

#include "nameservice/ns_internal.h"
#include "system/guard.h"
#include "system/vr_assert.h"
#include "vrcore/log.h"

using namespace vrcore::nameservice;

NS_BindingVector *NS_msrpc_binding_vector = nullptr;
void *NS_msrpc_if_handle = nullptr;
void *NS_dce_binding_vector = nullptr;
void *NS_dce_if_handle = nullptr;

namespace {

NS_EnvList g_env_list = {0, {0, 0, 0}};

#define NS_TRACE(...)                                                                              \
    do {                                                                                           \
        if (Shared().trace) LOG_CondMessage(6, __FILE__, __LINE__, __VA_ARGS__);                   \
    } while (0)

bool ValidEnv(int32_t env) { return env == NS_ENV_ONC || env == NS_ENV_MSRPC; }

// The environment for a request: the domain handle's, or the default.
int PickEnv(NS_DomainHandle dom, EnvSlot *&slot, const char *&domain) {
    int32_t env = NS_ENV_DEFAULT;
    domain = nullptr;
    if (dom) {
        if (dom->magic != kDomainMagic) return NS_E_HANDLE;
        env = dom->env;
        domain = dom->name;
    }
    if (!ValidEnv(env) || !Shared().env[env].available) return NS_E_ENV;
    slot = &Shared().env[env];
    return NS_OK;
}

int ObjectEnv(const NS_Object *obj, EnvSlot *&slot) {
    int32_t env = obj->env;
    if (!ValidEnv(env) || !Shared().env[env].available) return NS_E_ENV;
    slot = &Shared().env[env];
    return NS_OK;
}

bool MembersValid(NS_Object *const *members, int &rc) {
    if (!members || !members[0]) {
        rc = NS_E_NOMEMBERS;
        return false;
    }
    return true;
}

// The start of every registration: out flags cleared, then initialisation.
int32_t WriteBegin(uint32_t *flags) {
    if (flags) *flags = 0;
    return Shared().initialised ? NS_OK : NS_E_NOTINIT;
}

// An object given to a registration: present and named.
int32_t CheckNamed(const NS_Object *object) {
    if (!object) return NS_E_OBJECT;
    return object->name && *object->name ? NS_OK : NS_E_NAME;
}

// Registrations go to environment 2, except objects of environment 0 that
// name a host or a program number: those go to environment 0. (A zeroed
// object, whose environment field reads 0 as well, keeps going to 2.)
const EnvOps *Writer(const NS_Object *object = nullptr) {
    bool onc = object && object->env == NS_ENV_ONC &&
               ((object->onc.host && *object->onc.host) || object->onc.program != 0);
    const EnvSlot &slot = Shared().env[onc ? NS_ENV_ONC : NS_ENV_MSRPC];
    return slot.available ? slot.ops : nullptr;
}

void FreeStrings(char **v, int32_t n) {
    if (!v) return;
    for (int32_t i = 0; i < n; ++i) Release(v[i]);
    Release(v);
}

// A new list filled by fill(ops, entries) of the environment.
template <class Fill> int ListBegin(EnvSlot *slot, int32_t env, NS_ListHandle *list, Fill &&fill) {
    NS_ListRec *rec = new (std::nothrow) NS_ListRec{kListMagic, env, {}, 0};
    if (!rec) return NS_E_NOMEM;
    int rc = fill(slot->ops, rec->entries);
    if (rc != NS_OK) {
        rec->magic = 0;
        delete rec;
        return rc;
    }
    *list = rec;
    return NS_OK;
}

} // namespace

namespace vrcore::nameservice {

State &Shared() {
    static State s;
    return s;
}

void *Zalloc(size_t n) {
    void *p = system::seam::Alloc(system::seam::Module::NameService, n);
    if (p) std::memset(p, 0, n);
    return p;
}

void Release(void *p) {
    if (p) system::seam::Release(system::seam::Module::NameService, p);
}

NS_Object *NewObject() { return static_cast<NS_Object *>(Zalloc(sizeof(NS_Object))); }

char *DupString(std::string_view s) {
    char *p =
        static_cast<char *>(system::seam::Alloc(system::seam::Module::NameService, s.size() + 1));
    if (p) {
        std::memcpy(p, s.data(), s.size());
        p[s.size()] = '\0';
    }
    return p;
}

} // namespace vrcore::nameservice

extern "C" {

VR_EXPORT int32_t NS_Init(const char *self_name, int32_t self_class) try {
    State &st = Shared();
    st.trace = std::getenv("NS_TRACE") != nullptr;
    if (st.initialised) {
        if (self_class != st.self_class) return NS_E_CLASS;
        if (self_class == NS_CLASS_NONE) return NS_OK;
        if (!self_name) return NS_E_NAME;
        return st.self_name == self_name ? NS_OK : NS_E_NAME;
    }
    if (self_class != NS_CLASS_SPOOLER && self_class != NS_CLASS_SUPERV &&
        self_class != NS_CLASS_NTFY && self_class != NS_CLASS_NONE)
        return NS_E_CLASS;
    try {
        st.self_name.clear();
        if (self_class != NS_CLASS_NONE) {
            if (!self_name || !*self_name) return NS_E_NAME;
            st.self_name = self_name;
        }
        st.self_class = self_class;
        for (auto &e : st.env) e = EnvSlot{};
        st.env[NS_ENV_ONC].name = "ONC";
        st.env[NS_ENV_ONC].ops = &kOncOps;
        st.env[NS_ENV_MSRPC].name = "MSRPC";
        st.env[NS_ENV_MSRPC].ops = &kMsrpcOps;
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
    g_env_list.count = 0;
    for (int32_t env : {NS_ENV_ONC, NS_ENV_MSRPC}) {
        EnvSlot &slot = st.env[env];
        int rc = slot.ops->init();
        if (rc != NS_OK) {
            NS_TRACE("name service environment %s unavailable (%d)", slot.name, rc);
            if (env == NS_ENV_ONC) continue;
            for (auto &e : st.env)
                if (e.available) {
                    e.ops->term();
                    e.available = false;
                }
            g_env_list.count = 0;
            st.self_name.clear();
            st.self_class = NS_CLASS_NONE;
            return rc;
        }
        slot.available = true;
        g_env_list.env[g_env_list.count++] = env;
    }
    st.initialised = true;
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_Term(void) try {
    State &st = Shared();
    if (!st.initialised) return NS_E_NOTINIT;
    for (auto &e : st.env)
        if (e.available) {
            e.ops->term();
            e.available = false;
        }
    st.self_name.clear();
    st.self_class = NS_CLASS_NONE;
    st.initialised = false;
    g_env_list.count = 0;
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_CreateObject(const NS_Object *object, int32_t overwrite, uint32_t *flags) try {
    if (int32_t rc = WriteBegin(flags)) return rc;
    if (Shared().self_class == NS_CLASS_NONE) return NS_E_NOTPERMITTED;
    if (int32_t rc = CheckNamed(object)) return rc;
    switch (object->objClass) {
    case NS_CLASS_LP:
    case NS_CLASS_QUEUE:
        if (object->serverClass != NS_CLASS_SPOOLER) return NS_E_CLASS;
        break;
    case NS_CLASS_PP:
        if (object->serverClass != NS_CLASS_SUPERV) return NS_E_CLASS;
        break;
    case NS_CLASS_SPOOLER:
    case NS_CLASS_SUPERV:
    case NS_CLASS_NTFY: break;
    default: return NS_E_CLASS;
    }
    const EnvOps *ops = Writer(object);
    return ops ? ops->create_object(object, overwrite != 0, flags) : NS_E_ENV;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_CreateBackup(const NS_Object *object, NS_Object *const *members,
                                  int32_t overwrite, uint32_t *flags) try {
    if (int32_t rc = WriteBegin(flags)) return rc;
    if (int32_t rc = CheckNamed(object)) return rc;
    if (object->objClass != NS_CLASS_LP) return NS_E_CLASS;
    int rc = NS_OK;
    if (!MembersValid(members, rc)) return rc;
    for (NS_Object *const *m = members; *m; ++m)
        if ((*m)->objClass != NS_CLASS_LP) return NS_E_CLASS;
    const EnvOps *ops = Writer();
    return ops ? ops->create_backup(object, members, overwrite != 0, flags) : NS_E_ENV;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_CreateGroup(const char *group_name, NS_Object *const *members,
                                 NS_DomainHandle domain, int32_t overwrite, uint32_t *flags) try {
    if (int32_t rc = WriteBegin(flags)) return rc;
    if (!group_name || !*group_name) return NS_E_NAME;
    int rc = NS_OK;
    if (!MembersValid(members, rc)) return rc;
    if (domain && domain->magic != kDomainMagic) return NS_E_HANDLE;
    const EnvOps *ops = Writer();
    return ops ? ops->create_group(group_name, members, domain ? domain->name : nullptr,
                                   overwrite != 0, flags)
               : NS_E_ENV;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_DeleteObject(const NS_Object *object, uint32_t *flags) try {
    if (int32_t rc = WriteBegin(flags)) return rc;
    if (int32_t rc = CheckNamed(object)) return rc;
    const EnvOps *ops = Writer(object);
    return ops ? ops->delete_object(object, flags) : NS_E_ENV;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_GetObject(int32_t obj_class, const char *name, NS_DomainHandle domain,
                               NS_Object **object) try {
    if (!Shared().initialised) return NS_E_NOTINIT;
    EnvSlot *slot = nullptr;
    const char *dom = nullptr;
    if (int rc = PickEnv(domain, slot, dom)) return rc;
    if (!name || !*name) return NS_E_NAME;
    if (obj_class < 0 || obj_class > 9) return NS_E_CLASS;
    if (!object) return NS_E_OBJECT;
    NS_Object *obj = NewObject();
    if (!obj || !(obj->name = DupString(name))) {
        NS_FreeObject(obj);
        return NS_E_NOMEM;
    }
    obj->objClass = obj_class;
    int rc = slot->ops->get_object(obj, dom);
    if (rc != NS_OK) {
        NS_FreeObject(obj);
        return rc;
    }
    obj->env = static_cast<int32_t>(slot - Shared().env);
    *object = obj;
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_ListObjectBegin(int32_t obj_class, NS_DomainHandle domain,
                                     NS_ListHandle *list) try {
    if (!Shared().initialised) return NS_E_NOTINIT;
    EnvSlot *slot = nullptr;
    const char *dom = nullptr;
    if (int rc = PickEnv(domain, slot, dom)) return rc;
    if (obj_class < 0 || obj_class > 9) return NS_E_CLASS;
    if (!list) return NS_E_HANDLE;
    return ListBegin(slot, static_cast<int32_t>(slot - Shared().env), list,
                     [&](const EnvOps *ops, std::vector<Identity> &v) {
                         return ops->list_objects(obj_class, dom, v);
                     });
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

static int32_t MembersBegin(const NS_Object *object, int32_t list_class, NS_ListHandle *list) {
    EnvSlot *slot = nullptr;
    if (int rc = ObjectEnv(object, slot)) return rc;
    if (!object->name || !*object->name) return NS_E_NAME;
    if (!list) return NS_E_HANDLE;
    return ListBegin(slot, object->env, list, [&](const EnvOps *ops, std::vector<Identity> &v) {
        return ops->list_members(list_class, object->name, object->msrpc.domain, v);
    });
}

VR_EXPORT int32_t NS_ListBackupPrtBegin(const NS_Object *object, NS_ListHandle *list) try {
    if (!Shared().initialised) return NS_E_NOTINIT;
    if (!object) return NS_E_OBJECT;
    if (object->objClass != NS_CLASS_LP && object->objClass != NS_CLASS_BACKUP) return NS_E_CLASS;
    return MembersBegin(object, NS_CLASS_BACKUP, list);
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_ListGroupMbrBegin(const NS_Object *object, NS_ListHandle *list) try {
    if (!Shared().initialised) return NS_E_NOTINIT;
    if (!object) return NS_E_OBJECT;
    if (object->objClass != NS_CLASS_GROUP) return NS_E_CLASS;
    return MembersBegin(object, NS_CLASS_GROUP, list);
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_ListNext(NS_ListHandle list, NS_Object **object) try {
    if (!list || list->magic != kListMagic) return NS_E_HANDLE;
    if (!Shared().initialised) return NS_E_NOTINIT;
    if (!object) return NS_E_OBJECT;
    // A list record keeps the environment it was made in and a cursor
    // within its entries.
    VR_ASSERT(ValidEnv(list->env) && list->cursor <= list->entries.size());
    EnvSlot &slot = Shared().env[list->env];
    if (!slot.available) return NS_E_ENV;
    while (list->cursor < list->entries.size()) {
        const Identity &id = list->entries[list->cursor++];
        NS_Object *obj = nullptr;
        int rc = slot.ops->get_each(id, &obj);
        if (rc == NS_E_NOTFOUND || rc == NS_E_NOSERVER) continue; // gone since the list was made
        if (rc != NS_OK) return rc;
        obj->env = list->env;
        *object = obj;
        return NS_OK;
    }
    return NS_E_END;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_ListEnd(NS_ListHandle list) try {
    if (!list) return NS_OK;
    if (list->magic != kListMagic) return NS_E_HANDLE;
    VR_ASSERT(ValidEnv(list->env));
    EnvSlot &slot = Shared().env[list->env];
    if (slot.ops) slot.ops->free_list(list->entries);
    list->magic = 0;
    delete list;
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

static int32_t SameCheck(const NS_Object *object, EnvSlot *&slot) {
    if (!Shared().initialised) return NS_E_NOTINIT;
    if (!object) return NS_E_OBJECT;
    if (int rc = ObjectEnv(object, slot)) return rc;
    if (!object->name || !object->serverName) return NS_E_NAME;
    switch (object->objClass) {
    case NS_CLASS_LP:
    case NS_CLASS_PP:
    case NS_CLASS_SPOOLER:
    case NS_CLASS_SUPERV:
    case NS_CLASS_QUEUE:
    case NS_CLASS_NTFY: return NS_OK;
    default: return NS_E_CLASS;
    }
}

VR_EXPORT int32_t NS_IsSameHost(const NS_Object *object, int32_t *same) try {
    EnvSlot *slot = nullptr;
    if (int rc = SameCheck(object, slot)) return rc;
    int32_t dummy = 0;
    if (!same) same = &dummy;
    *same = 0;
    return slot->ops->same_host(object, same);
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_IsSameServer(const NS_Object *object, int32_t *same) try {
    EnvSlot *slot = nullptr;
    if (int rc = SameCheck(object, slot)) return rc;
    if (Shared().self_class == NS_CLASS_NONE) return NS_E_NOTPERMITTED;
    int32_t dummy = 0;
    if (!same) same = &dummy;
    *same = 0;
    return slot->ops->same_server(object, same);
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_CreateDomainHandle(NS_DomainHandle *handle) try {
    if (!Shared().initialised) return NS_E_NOTINIT;
    if (!handle) return NS_E_HANDLE;
    NS_DomainRec *h = new (std::nothrow) NS_DomainRec{kDomainMagic, NS_ENV_MSRPC, nullptr};
    if (!h) return NS_E_NOMEM;
    *handle = h;
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_SetDomain(int32_t env, const char *name, NS_DomainHandle handle) try {
    if (!Shared().initialised) return NS_E_NOTINIT;
    if (!handle || handle->magic != kDomainMagic) return NS_E_HANDLE;
    if (!ValidEnv(env) || !Shared().env[env].available) return NS_E_ENV;
    char *copy = nullptr;
    if (name && !(copy = DupString(name))) return NS_E_NOMEM;
    Release(handle->name);
    handle->name = copy;
    handle->env = env;
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_GetDomain(int32_t env, NS_DomainHandle handle, char **name) try {
    if (!Shared().initialised) return NS_E_NOTINIT;
    if (!handle || handle->magic != kDomainMagic || handle->env != env) return NS_E_HANDLE;
    if (!ValidEnv(env) || !Shared().env[env].available) return NS_E_ENV;
    if (!name) return NS_E_OBJECT;
    const EnvSlot &slot = Shared().env[env];
    *name = nullptr;
    if (handle->name)
        *name = DupString(handle->name);
    else if (slot.has_default)
        *name = DupString(slot.default_domain);
    else
        return NS_OK;
    return *name ? NS_OK : NS_E_NOMEM;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_FreeDomainHandle(NS_DomainHandle handle) try {
    if (!handle) return NS_OK;
    if (handle->magic != kDomainMagic) return NS_E_HANDLE;
    Release(handle->name);
    handle->magic = 0;
    delete handle;
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_ListDomainBegin(int32_t env, NS_DomainListHandle *handle) try {
    if (!Shared().initialised) return NS_E_NOTINIT;
    if (!ValidEnv(env) || !Shared().env[env].available) return NS_E_ENV;
    if (!handle) return NS_E_HANDLE;
    NS_DomainListRec *h = new (std::nothrow) NS_DomainListRec{kDomListMagic, env, {}, 0, false};
    if (!h) return NS_E_NOMEM;
    int rc = Shared().env[env].ops->domain_begin(h->names);
    if (rc != NS_OK) {
        h->magic = 0;
        delete h;
        return rc;
    }
    *handle = h;
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_ListDomainNext(NS_DomainListHandle handle, char **name) try {
    if (!handle || handle->magic != kDomListMagic) return NS_E_HANDLE;
    if (!Shared().initialised) return NS_E_NOTINIT;
    if (!name) return NS_E_OBJECT;
    VR_ASSERT(ValidEnv(handle->env) && handle->cursor <= handle->names.size());
    const EnvSlot &slot = Shared().env[handle->env];
    if (!slot.available) return NS_E_ENV;
    return slot.ops->domain_next(handle, name);
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_ListDomainEnd(NS_DomainListHandle handle) try {
    if (!handle) return NS_OK;
    if (handle->magic != kDomListMagic) return NS_E_HANDLE;
    VR_ASSERT(ValidEnv(handle->env));
    const EnvSlot &slot = Shared().env[handle->env];
    if (slot.ops) slot.ops->domain_end(handle);
    handle->magic = 0;
    delete handle;
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_CopyObject(NS_Object **copy, const NS_Object *o) try {
    if (!copy || !o || !o->name || !o->serverName) return NS_E_OBJECT;
    switch (o->env) {
    case NS_ENV_ONC:
        if (!o->onc.host) return NS_E_OBJECT;
        break;
    case NS_ENV_DCE:
        if (!o->dce.reserved1 || !o->dce.reserved2) return NS_E_OBJECT;
        break;
    case NS_ENV_MSRPC:
        if (!o->msrpc.domain || o->msrpc.nBindings < 0 ||
            (o->msrpc.nBindings > 0 && !o->msrpc.bindings))
            return NS_E_OBJECT;
        break;
    default: return NS_E_OBJECT;
    }
    NS_Object *c = NewObject();
    if (!c) return NS_E_NOMEM;
    bool ok = true;
    auto dup = [&](char *&dst, const char *src) {
        if (src && ok && !(dst = DupString(src))) ok = false;
    };
    c->env = o->env;
    c->objClass = o->objClass;
    c->serverClass = o->serverClass;
    dup(c->name, o->name);
    dup(c->serverName, o->serverName);
    if (o->env == NS_ENV_ONC) {
        c->onc = o->onc;
        c->onc.host = c->onc.addrKey = c->onc.source = c->onc.nisDomain = nullptr;
        dup(c->onc.host, o->onc.host);
        dup(c->onc.addrKey, o->onc.addrKey);
        dup(c->onc.source, o->onc.source);
        dup(c->onc.nisDomain, o->onc.nisDomain);
    } else if (o->env == NS_ENV_DCE) {
        dup(c->dce.reserved1, o->dce.reserved1);
        dup(c->dce.reserved2, o->dce.reserved2);
    } else {
        c->msrpc.info = o->msrpc.info;
        dup(c->msrpc.domain, o->msrpc.domain);
        if (ok && o->msrpc.nBindings > 0) {
            c->msrpc.bindings = static_cast<char **>(
                Zalloc(static_cast<size_t>(o->msrpc.nBindings) * sizeof(char *)));
            if (!c->msrpc.bindings)
                ok = false;
            else
                c->msrpc.nBindings = o->msrpc.nBindings;
            for (int32_t i = 0; ok && i < o->msrpc.nBindings; ++i)
                dup(c->msrpc.bindings[i], o->msrpc.bindings[i]);
        }
    }
    if (!ok) {
        NS_FreeObject(c);
        return NS_E_NOMEM;
    }
    *copy = c;
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_FreeObject(NS_Object *o) try {
    if (!o) return NS_OK;
    Release(o->name);
    Release(o->serverName);
    Release(o->onc.host);
    Release(o->onc.addrKey);
    Release(o->onc.source);
    Release(o->onc.nisDomain);
    Release(o->dce.reserved1);
    Release(o->dce.reserved2);
    FreeStrings(o->msrpc.bindings, o->msrpc.nBindings);
    Release(o->msrpc.domain);
    Release(o);
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT int32_t NS_FreeString(char *string) try {
    Release(string);
    return NS_OK;
}
VR_CATCH_CODE(NS_E_NOMEM, NS_E_INTERNAL)

VR_EXPORT NS_EnvList *NS_ListSupportedEnv(void) try { return &g_env_list; }
VR_CATCH_RETURN(nullptr)

} // extern "C"
