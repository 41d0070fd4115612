// Environment 0 ("ONC"): servers, printers and queues are printer records
// of the printer name service, each carrying one DPA address record. A
// dynamic record names the PTS program; the object's real program is asked
// of the PTS service on the record's host.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "nameservice/ns_internal.h"
#include "nameservice/onc_addr.h"
#include "nameservice/pns_internal.h"
#include "nameservice/pts_client.h"
#include "system/config.h"
#include "vrcore/nsp.h"

namespace vrcore::nameservice {

namespace {

using onc::Address;

constexpr const char kPgrKey[] = "Software\\Halvane\\Tessaril\\pgr";
// What "ntfy" objects describe: this program, called under this number.
constexpr int32_t kNotifyProgram = 105005;
constexpr size_t kMaxHost = 32;

struct Onc {
    std::string domain; // the NIS default domain
    std::mutex lock;    // every put of a record
};
Onc g_onc;

struct RecordFree {
    void operator()(ns_printer_t *p) const { ns_printer_destroy(p); }
};
using Record = std::unique_ptr<ns_printer_t, RecordFree>;

// The services asked, in order: the printers database's configured ones,
// else "etc", "nis", "xfn"; at most three.
std::vector<const char *> Services() {
    int codes[4] = {};
    std::vector<const char *> out;
    if (ns_get_svc_order("printers", 4, codes) == 0)
        for (int i = 0; i < 3 && codes[i]; ++i)
            if (const char *s = ns_get_svc_string(codes[i])) out.push_back(s);
    if (out.empty()) out = {"etc", "nis", "xfn"};
    return out;
}

std::string HostName() {
    char buf[HOST_NAME_MAX + 1] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) return {};
    return buf;
}

bool DomainOk(const char *domain) { return !domain || g_onc.domain == domain; }

// A printer record of a name with the address under a class's key.
struct Located {
    Record rec;
    const char *service = nullptr;
    const char *key = nullptr;
    Address addr;
    bool has_addr = false;
};

// The first record of the name in the services (or in `only`), with its
// parsed address when it has one.
void Find(const char *name, int32_t cls, const char *only, Located &out) {
    out.key = onc::KeyOfClass(cls);
    for (const char *svc : only ? std::vector<const char *>{only} : Services()) {
        out.rec.reset(ns_printer_get_name(name, svc));
        if (!out.rec) continue;
        out.service = svc;
        const char *v =
            out.key ? static_cast<const char *>(ns_get_value(out.key, out.rec.get())) : nullptr;
        out.has_addr = v && onc::ParseAddress(v, out.addr);
        return;
    }
}

// The address of an object, its program resolved through the PTS service
// when the record is dynamic (asked under the object's own name for server
// records, its server's name otherwise). 15 when there is none.
int ReadAddress(const char *name, int32_t cls, Located &out) {
    Find(name, cls, nullptr, out);
    if (!out.has_addr) return NS_E_NOTFOUND;
    if (out.addr.dynamic) {
        pts::Binding b;
        bool server = std::strcmp(out.key, "saddr") == 0;
        if (!pts::Lookup(out.addr.host, server ? name : out.addr.server, b)) return NS_E_NOTFOUND;
        out.addr.program = b.program;
        out.addr.version = b.version;
    }
    return NS_OK;
}

int32_t ServerClassOf(int32_t cls) {
    switch (cls) {
    case NS_CLASS_LP:
    case NS_CLASS_SPOOLER:
    case NS_CLASS_QUEUE: return NS_CLASS_SPOOLER;
    case NS_CLASS_PP:
    case NS_CLASS_SUPERV: return NS_CLASS_SUPERV;
    case NS_CLASS_NTFY: return NS_CLASS_NTFY;
    default: return NS_CLASS_ANY_SVR;
    }
}

bool Dup(char *&dst, std::string_view s) { return (dst = DupString(s)) != nullptr; }

int OncGetObject(NS_Object *obj, const char *domain) {
    if (!DomainOk(domain)) return NS_E_DOMAIN;
    bool ok = Dup(obj->onc.nisDomain, g_onc.domain);
    if (obj->objClass == NS_CLASS_NTFY) {
        obj->serverClass = NS_CLASS_NTFY;
        obj->onc.program = kNotifyProgram;
        obj->onc.version = 1;
        obj->onc.auth = NS_AUTH_SYS;
        ok = ok && Dup(obj->serverName, obj->name) && Dup(obj->onc.host, HostName());
        return ok ? NS_OK : NS_E_NOMEM;
    }
    if (obj->objClass > NS_CLASS_NTFY) return NS_E_ENV;
    Located at;
    if (int rc = ReadAddress(obj->name, obj->objClass, at)) return rc;
    obj->objClass = at.addr.cls;
    obj->serverClass = ServerClassOf(at.addr.cls);
    obj->onc.program = at.addr.program;
    obj->onc.version = at.addr.version;
    obj->onc.auth = at.addr.auth;
    obj->onc.dynamic = at.addr.dynamic;
    ok = ok && Dup(obj->serverName, at.addr.server) && Dup(obj->onc.host, at.addr.host) &&
         Dup(obj->onc.addrKey, at.key) && Dup(obj->onc.source, at.service);
    return ok ? NS_OK : NS_E_NOMEM;
}

int OncGetEach(const Identity &id, NS_Object **out) {
    NS_Object *obj = NewObject();
    if (!obj || !(obj->name = DupString(id.name))) {
        NS_FreeObject(obj);
        return NS_E_NOMEM;
    }
    obj->objClass = id.cls;
    if (int rc = OncGetObject(obj, nullptr)) {
        NS_FreeObject(obj);
        return rc;
    }
    *out = obj;
    return NS_OK;
}

// Sets a text attribute of a record (null unsets it). False when memory is
// short.
bool SetText(ns_printer_t *rec, const char *key, const char *text) {
    char *v = nullptr;
    if (text && !(v = strdup(text))) return false;
    if (ns_set_value(key, v, rec) == 0) return true;
    std::free(v);
    return false;
}

int Put(const ns_printer_t *rec) {
    std::lock_guard<std::mutex> g(g_onc.lock);
    return ns_printer_put(rec) == 0 ? NS_OK : NS_E_SYSTEM;
}

int32_t Register(const std::string &name, int32_t program, int32_t version) {
    pts::Binding b;
    pts::Lookup("localhost", name, b); // what is there now, if anything
    if (!pts::SetName(b.object, name)) return pts::kBadName;
    b.object.type = pts::kObjectType;
    b.program = program;
    b.version = version;
    return pts::Add(b);
}

int RemoveAddress(const NS_Object *obj) {
    Located at;
    Find(obj->name, obj->objClass, nullptr, at);
    if (!at.has_addr) return NS_E_NOTFOUND;
    if ((obj->objClass == NS_CLASS_LP && !SetText(at.rec.get(), "spooling-type", nullptr)) ||
        !SetText(at.rec.get(), at.key, nullptr))
        return NS_E_NOMEM;
    if (Put(at.rec.get())) return NS_E_SYSTEM;
    // An entry the PTS service no longer has is as good as deleted.
    int32_t st = at.addr.dynamic && std::strcmp(at.key, "saddr") == 0 ? pts::Delete(obj->name) : 0;
    return st == 0 || st == pts::kNotFound ? NS_OK : NS_E_SYSTEM;
}

int OncCreateObject(const NS_Object *obj, bool force, uint32_t *flags) {
    if (obj->objClass == NS_CLASS_NTFY) return NS_OK;
    if (obj->objClass < 0 || obj->objClass > NS_CLASS_NTFY) return NS_E_CLASS;
    if (!onc::ValidObjectName(obj->name)) return NS_E_NAME;
    Address want;
    want.host = obj->onc.host && *obj->onc.host ? obj->onc.host : HostName();
    if (want.host.empty() || want.host.size() > kMaxHost ||
        want.host.find(',') != std::string::npos)
        return NS_E_OBJECT;
    want.program = obj->onc.program;
    want.version = obj->onc.version;
    want.auth = obj->onc.auth >= 0 && obj->onc.auth <= NS_AUTH_KERB ? obj->onc.auth : 0;
    want.cls = obj->objClass;
    want.server = obj->serverName && *obj->serverName ? obj->serverName : obj->name;
    want.dynamic = obj->onc.dynamic ? 1 : 0;
    if (want.server.find(',') != std::string::npos) return NS_E_OBJECT;

    if (force) {
        int rc = RemoveAddress(obj);
        if (rc == NS_OK && flags)
            *flags |= NS_FLAG_REPLACED;
        else if (rc != NS_E_NOTFOUND)
            return rc;
    }
    const char *source = obj->onc.source && *obj->onc.source ? obj->onc.source : nullptr;
    Located at;
    Find(obj->name, obj->objClass, source, at);
    const char *service = source ? source : at.rec ? at.service : Services().front();
    bool saddr = std::strcmp(onc::KeyOfClass(obj->objClass), "saddr") == 0;

    if (at.has_addr && at.addr.dynamic) {
        // A dynamic registration stays; the same server from the same host
        // only refreshes its program.
        if (at.addr.cls != onc::StoredClass(want.cls) || at.addr.auth != want.auth ||
            at.addr.host != want.host || at.addr.server != want.server)
            return NS_E_EXISTS;
        return saddr ? Register(obj->name, want.program, want.version) : NS_OK;
    }
    bool registered = false;
    if (want.dynamic || std::strcmp(service, "etc") == 0) {
        if (saddr) {
            if (int32_t st = Register(obj->name, want.program, want.version)) return st;
            registered = true;
        }
        want.program = onc::kPtsProgram;
        want.dynamic = 1;
    }
    if (!at.rec) {
        char *name = strdup(obj->name);
        at.rec.reset(name ? ns_printer_create(name, nullptr, const_cast<char *>(service), nullptr)
                          : nullptr);
        if (!at.rec) {
            std::free(name);
            return NS_E_NOMEM;
        }
    }
    std::string text = onc::FormatAddress(want);
    int rc = NS_OK;
    if (!SetText(at.rec.get(), at.key, text.c_str()) ||
        (obj->objClass == NS_CLASS_LP && !SetText(at.rec.get(), "spooling-type", "dpa")))
        rc = NS_E_NOMEM;
    if (rc == NS_OK) rc = Put(at.rec.get());
    if (rc != NS_OK && registered) pts::Delete(obj->name);
    return rc;
}

int OncUnsupported() { return NS_E_ENV; }

int OncDeleteObject(const NS_Object *obj, uint32_t *) { return RemoveAddress(obj); }

bool ClassMatches(int32_t want, int32_t found) {
    if (want == NS_CLASS_ANY_PRN) return found == NS_CLASS_LP || found == NS_CLASS_PP;
    if (want == NS_CLASS_ANY_SVR) return found == NS_CLASS_SPOOLER || found == NS_CLASS_SUPERV;
    return want == found;
}

int OncListObjects(int32_t cls, const char *domain, std::vector<Identity> &out) {
    if (!DomainOk(domain)) return NS_E_DOMAIN;
    const char *key = onc::KeyOfClass(cls);
    if (cls == NS_CLASS_NTFY || !key) return NS_E_CLASS;
    for (const char *svc : Services()) {
        ns_printer_t **list = ns_printer_get_list(svc);
        for (size_t i = 0; list && list[i]; ++i) {
            Record rec(list[i]);
            const char *v = static_cast<const char *>(ns_get_value(key, rec.get()));
            Address a;
            if (v && onc::ParseAddress(v, a) && ClassMatches(cls, a.cls))
                out.push_back(Identity{a.cls, rec->name, g_onc.domain});
        }
        std::free(list);
    }
    return out.empty() ? NS_E_NOTFOUND : NS_OK;
}

int OncSameHost(const NS_Object *obj, int32_t *same) {
    *same = obj->onc.host && HostName() == obj->onc.host ? 1 : 0;
    return NS_OK;
}

int OncSameServer(const NS_Object *obj, int32_t *same) {
    const State &st = Shared();
    *same = obj->serverClass == st.self_class && st.self_name == obj->serverName ? 1 : 0;
    return NS_OK;
}

int OncDomainBegin(std::vector<std::string> &names) {
    names.push_back(g_onc.domain);
    return NS_OK;
}

int OncDomainNext(NS_DomainListRec *h, char **name) {
    if (h->cursor >= h->names.size()) return NS_E_END;
    *name = DupString(h->names[h->cursor++]);
    return *name ? NS_OK : NS_E_NOMEM;
}

int OncDomainEnd(NS_DomainListRec *) { return NS_OK; }

// A timeout setting: a positive number of seconds no larger than a day,
// else the default.
int Seconds(const char *name, int dflt) {
    uint32_t v = system::cfg::Registry().GetDword(kPgrKey, name, static_cast<uint32_t>(dflt));
    return v > 0 && v <= 86400 ? static_cast<int>(v) : dflt;
}

int OncInit() {
    std::string domain;
    if (!pns::NisDefaultDomain(domain)) return NS_E_ENV;
    g_onc.domain = domain;
    pts::ClientStart(Seconds("PtsCallTimeout", 20), Seconds("PtsCacheTimeout", 60));
    State &st = Shared();
    st.env[NS_ENV_ONC].default_domain = domain;
    st.env[NS_ENV_ONC].has_default = true;
    return NS_OK;
}

int OncTerm() {
    pts::ClientStop();
    g_onc.domain.clear();
    return NS_OK;
}

void OncFreeList(std::vector<Identity> &v) { std::vector<Identity>().swap(v); }

// Operations that throw report short memory as their result.
template <auto F, class... A> int Guarded(A... a) {
    try {
        return F(a...);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

} // namespace

const EnvOps kOncOps = {
    Guarded<OncGetObject, NS_Object *, const char *>,
    Guarded<OncGetEach, const Identity &, NS_Object **>,
    Guarded<OncCreateObject, const NS_Object *, bool, uint32_t *>,
    [](const NS_Object *, NS_Object *const *, bool, uint32_t *) { return OncUnsupported(); },
    [](const char *, NS_Object *const *, const char *, bool, uint32_t *) {
        return OncUnsupported();
    },
    Guarded<OncDeleteObject, const NS_Object *, uint32_t *>,
    Guarded<OncListObjects, int32_t, const char *, std::vector<Identity> &>,
    [](int32_t, const char *, const char *, std::vector<Identity> &) { return OncUnsupported(); },
    Guarded<OncSameHost, const NS_Object *, int32_t *>,
    Guarded<OncSameServer, const NS_Object *, int32_t *>,
    Guarded<OncDomainBegin, std::vector<std::string> &>,
    OncDomainNext,
    OncDomainEnd,
    Guarded<OncInit>,
    OncTerm,
    OncFreeList,
};

} // namespace vrcore::nameservice
