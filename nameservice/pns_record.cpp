// Printer records and their attributes: values by key, text forms, and the
// search of a value through a record's indirections.
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "nameservice/pns_internal.h"
#include "system/fileio.h"
#include "system/guard.h"

namespace vrcore::nameservice::pns {
namespace {

using system::fileio::TrimBlanks;

constexpr int kMaxDepth = 16;

// Lookups made while converting "list" values nest; this bounds them.
thread_local int t_convert_depth = 0;

// Names of a comma-separated text, blanks around each dropped.
template <class F> void EachName(std::string_view text, F &&f) {
    while (!text.empty()) {
        size_t c = text.find(',');
        std::string_view tok = text.substr(0, c);
        tok = TrimBlanks(tok);
        if (!tok.empty()) f(tok);
        if (c == std::string_view::npos) break;
        text.remove_prefix(c + 1);
    }
}

void FreeNames(char **names) {
    FreeList<char>(names, [](char *n) { GiveFree(n); });
}

// Releases a list of pairs with their keys and values.
void FreePairs(ns_kvp_t **pairs) {
    if (!pairs) return;
    for (size_t i = 0; pairs[i]; ++i) {
        FreeValue(pairs[i]->key ? pairs[i]->key : "", pairs[i]->value);
        GiveFree(pairs[i]->key);
        GiveFree(pairs[i]);
    }
    GiveFree(pairs);
}

ns_kvp_t *FindPair(const ns_printer_t *p, std::string_view key) {
    if (!p->attributes) return nullptr;
    for (size_t i = 0; p->attributes[i]; ++i)
        if (p->attributes[i]->key && key == p->attributes[i]->key) return p->attributes[i];
    return nullptr;
}

// The value converted from a text; `ok` false when memory is short.
void *ValueFromText(std::string_view key, std::string_view text, bool &ok) {
    ok = true;
    switch (KindOfKey(key)) {
    case KeyKind::String: {
        char *s = GiveStrdup(text);
        ok = s != nullptr;
        return s;
    }
    case KeyKind::BsdAddr: {
        std::string_view server = text.substr(0, text.find(','));
        server = TrimBlanks(server);
        if (server.empty()) return nullptr; // no server: no address
        ns_bsd_addr_t *a = BsdAddrFromText(text);
        ok = a != nullptr;
        return a;
    }
    case KeyKind::Names: {
        char **names = nullptr;
        EachName(text, [&](std::string_view n) {
            if (!ok) return;
            char *s = GiveStrdup(n);
            char **grown =
                s ? reinterpret_cast<char **>(list_append(reinterpret_cast<void **>(names), s))
                  : nullptr;
            if (!grown) {
                GiveFree(s);
                ok = false;
                return;
            }
            names = grown;
        });
        if (!ok) {
            FreeNames(names);
            return nullptr;
        }
        return names;
    }
    case KeyKind::Records: {
        ns_printer_t **list = nullptr;
        if (t_convert_depth >= kMaxDepth) return nullptr;
        ++t_convert_depth;
        EachName(text, [&](std::string_view n) {
            if (!ok) return;
            std::string name(n);
            ns_printer_t *r = ns_printer_get_name(name.c_str(), nullptr);
            if (!r) return; // names that lead nowhere are left out
            auto **grown =
                reinterpret_cast<ns_printer_t **>(list_append(reinterpret_cast<void **>(list), r));
            if (!grown) {
                ns_printer_destroy(r);
                ok = false;
                return;
            }
            list = grown;
        });
        --t_convert_depth;
        if (!ok) {
            FreeRecords(list);
            return nullptr;
        }
        return list;
    }
    }
    return nullptr;
}

// Keeps a record found while following indirections with the record that
// led to it, so values found in it stay valid as long as that record.
bool KeepFound(ns_printer_t *owner, ns_printer_t *found) {
    void **grown = list_append(static_cast<void **>(owner->reserved), found);
    if (!grown) return false;
    owner->reserved = grown;
    return true;
}

void *Search(std::string_view key, ns_printer_t *p, ns_printer_t *owner, int depth) {
    if (!p || depth > kMaxDepth) return nullptr;
    if (ns_kvp_t *kv = FindPair(p, key); kv && kv->value) return kv->value;
    if (!p->attributes) return nullptr;
    auto follow = [&](const char *name) -> void * {
        ns_printer_t *r = ns_printer_get_name(name, nullptr);
        if (!r) return nullptr;
        if (!KeepFound(owner, r)) {
            ns_printer_destroy(r);
            return nullptr;
        }
        return Search(key, r, owner, depth + 1);
    };
    for (size_t i = 0; p->attributes[i]; ++i) {
        ns_kvp_t *kv = p->attributes[i];
        if (!kv->key || !kv->value) continue;
        std::string_view k = kv->key;
        if (k == "all" || k == "group") {
            auto **names = static_cast<char **>(kv->value);
            for (size_t j = 0; names[j]; ++j)
                if (void *v = follow(names[j])) return v;
        } else if (k == "list") {
            auto **recs = static_cast<ns_printer_t **>(kv->value);
            for (size_t j = 0; recs[j]; ++j)
                if (void *v = Search(key, recs[j], owner, depth + 1)) return v;
        } else if (k == "use") {
            if (void *v = follow(static_cast<char *>(kv->value))) return v;
        }
    }
    return nullptr;
}

} // namespace

KeyKind KindOfKey(std::string_view key) {
    if (key == "bsdaddr") return KeyKind::BsdAddr;
    if (key == "all" || key == "group") return KeyKind::Names;
    if (key == "list") return KeyKind::Records;
    return KeyKind::String;
}

void FreeValue(std::string_view key, void *value) {
    if (!value) return;
    switch (KindOfKey(key)) {
    case KeyKind::Names: FreeNames(static_cast<char **>(value)); break;
    case KeyKind::Records: FreeRecords(static_cast<ns_printer_t **>(value)); break;
    default: GiveFree(value); // strings, and bsd addresses (one block)
    }
}

ns_bsd_addr_t *MakeBsdAddr(std::string_view server, const char *printer, const char *extension,
                           const char *pname) {
    size_t np = printer ? std::strlen(printer) + 1 : 0;
    size_t ne = extension ? std::strlen(extension) + 1 : 0;
    size_t nn = pname ? std::strlen(pname) + 1 : 0;
    size_t total = sizeof(ns_bsd_addr_t) + server.size() + 1 + np + ne + nn;
    auto *a = static_cast<ns_bsd_addr_t *>(GiveAlloc(total));
    if (!a) return nullptr;
    char *at = reinterpret_cast<char *>(a + 1);
    auto put = [&](const char *s, size_t n) -> char * {
        char *d = at;
        std::memcpy(d, s, n);
        at += n;
        return d;
    };
    a->server = at;
    std::memcpy(at, server.data(), server.size());
    at[server.size()] = '\0';
    at += server.size() + 1;
    a->printer = printer ? put(printer, np) : nullptr;
    a->extension = extension ? put(extension, ne) : nullptr;
    a->pname = pname ? put(pname, nn) : nullptr;
    return a;
}

ns_bsd_addr_t *BsdAddrFromText(std::string_view text) {
    std::string_view parts[3];
    int n = 0;
    while (n < 3) {
        size_t c = n < 2 ? text.find(',') : std::string_view::npos;
        parts[n] = text.substr(0, c);
        parts[n] = TrimBlanks(parts[n]);
        ++n;
        if (c == std::string_view::npos) break;
        text.remove_prefix(c + 1);
    }
    if (parts[0].empty()) return nullptr;
    std::string printer(parts[1]), ext(parts[2]);
    return MakeBsdAddr(parts[0], printer.empty() ? nullptr : printer.c_str(),
                       ext.empty() ? nullptr : ext.c_str(), nullptr);
}

ns_bsd_addr_t *CopyBsdAddr(const ns_bsd_addr_t *a, const char *pname) {
    if (!a || !a->server) return nullptr;
    return MakeBsdAddr(a->server, a->printer, a->extension, pname);
}

bool ValueText(std::string_view key, const void *value, std::string &out) {
    out.clear();
    if (!value) return true;
    try {
        switch (KindOfKey(key)) {
        case KeyKind::String: out = static_cast<const char *>(value); break;
        case KeyKind::BsdAddr: {
            auto *a = static_cast<const ns_bsd_addr_t *>(value);
            out = a->server ? a->server : "";
            if (a->printer || a->extension) out.append(",").append(a->printer ? a->printer : "");
            if (a->extension) out.append(",").append(a->extension);
            break;
        }
        case KeyKind::Names: {
            auto *const *names = static_cast<char *const *>(value);
            for (size_t i = 0; names[i]; ++i) out.append(i ? "," : "").append(names[i]);
            break;
        }
        case KeyKind::Records: {
            auto *const *recs = static_cast<ns_printer_t *const *>(value);
            for (size_t i = 0; recs[i]; ++i)
                out.append(i ? "," : "").append(recs[i]->name ? recs[i]->name : "");
            break;
        }
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

std::string CanonicalValue(std::string_view key, std::string_view text) {
    std::string out;
    switch (KindOfKey(key)) {
    case KeyKind::Names:
    case KeyKind::Records:
        EachName(text, [&](std::string_view n) { out.append(out.empty() ? "" : ",").append(n); });
        return out;
    case KeyKind::BsdAddr:
        if (ns_bsd_addr_t *a = BsdAddrFromText(text)) {
            bool ok = ValueText(key, a, out);
            GiveFree(a);
            if (ok) return out;
        }
        return std::string(text);
    default: return std::string(text);
    }
}

ns_printer_t *RecordFromEntry(const Entry &e, const char *source, bool user_form) {
    if (e.names.empty()) return nullptr;
    char *name = GiveStrdup(e.names[0]);
    char **aliases = nullptr;
    bool ok = name != nullptr;
    for (size_t i = 1; ok && i < e.names.size(); ++i) {
        char *s = GiveStrdup(e.names[i]);
        char **grown =
            s ? reinterpret_cast<char **>(list_append(reinterpret_cast<void **>(aliases), s))
              : nullptr;
        if (!grown) {
            GiveFree(s);
            ok = false;
        } else {
            aliases = grown;
        }
    }
    ns_printer_t *p =
        ok ? ns_printer_create(name, aliases, const_cast<char *>(source), nullptr) : nullptr;
    if (!p) {
        GiveFree(name);
        FreeNames(aliases);
        return nullptr;
    }
    for (const auto &[key, text] : e.fields) {
        std::string k = user_form ? (e.names[0] == "_all" ? "all" : "use") : key;
        if (ns_set_value_from_string(k.c_str(), text.c_str(), p) != 0) {
            ns_printer_destroy(p);
            return nullptr;
        }
    }
    return p;
}

void FreeRecords(ns_printer_t **list) { FreeList(list, ns_printer_destroy); }

} // namespace vrcore::nameservice::pns

using namespace vrcore::nameservice::pns;

VR_EXPORT ns_printer_t *ns_printer_create(char *name, char **aliases, char *source,
                                          ns_kvp_t **attributes) try {
    if (!name) return nullptr;
    auto *p = static_cast<ns_printer_t *>(GiveAlloc(sizeof(ns_printer_t)));
    if (!p) return nullptr;
    p->name = name;
    p->aliases = aliases;
    p->source = source;
    p->attributes = attributes;
    p->reserved = nullptr;
    return p;
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT void ns_printer_destroy(ns_printer_t *p) try {
    if (!p) return;
    FreePairs(p->attributes);
    FreeNames(p->aliases);
    GiveFree(p->name);
    if (auto **kept = static_cast<ns_printer_t **>(p->reserved)) FreeRecords(kept);
    GiveFree(p);
}
VR_CATCH_VOID

VR_EXPORT void *ns_get_value(const char *key, ns_printer_t *printer) try {
    if (!key || !printer) return nullptr;
    try {
        return Search(key, printer, printer, 0);
    } catch (...) {
        return nullptr;
    }
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT char *ns_get_value_string(const char *key, ns_printer_t *printer) try {
    void *v = ns_get_value(key, printer);
    if (!v) return nullptr;
    std::string text;
    if (!ValueText(key, v, text)) return nullptr;
    return GiveStrdup(text);
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT int ns_set_value(const char *key, void *value, ns_printer_t *printer) try {
    if (!printer) return -1;
    if (!key) {
        FreePairs(printer->attributes);
        printer->attributes = nullptr;
        return 0;
    }
    if (ns_kvp_t *kv = FindPair(printer, key)) {
        if (kv->value != value) FreeValue(key, kv->value);
        kv->value = value;
        return 0;
    }
    if (!value) return 0; // unsetting an absent attribute changes nothing
    auto *kv = static_cast<ns_kvp_t *>(GiveAlloc(sizeof(ns_kvp_t)));
    char *k = kv ? GiveStrdup(key) : nullptr;
    void **grown = k ? list_append(reinterpret_cast<void **>(printer->attributes), kv) : nullptr;
    if (!grown) {
        GiveFree(k);
        GiveFree(kv);
        return -1;
    }
    kv->key = k;
    kv->value = value;
    printer->attributes = reinterpret_cast<ns_kvp_t **>(grown);
    return 0;
}
VR_CATCH_RETURN(-1)

VR_EXPORT int ns_set_value_from_string(const char *key, const char *text,
                                       ns_printer_t *printer) try {
    if (!printer) return -1;
    if (!key) return ns_set_value(nullptr, nullptr, printer);
    try {
        bool ok = true;
        void *v = (text && *text) ? ValueFromText(key, text, ok) : nullptr;
        if (!ok) return -1;
        if (ns_set_value(key, v, printer) != 0) {
            FreeValue(key, v);
            return -1;
        }
        return 0;
    } catch (...) {
        return -1;
    }
}
VR_CATCH_RETURN(-1)
