// BSD print addresses of printers, the default printer, and the service
// order of the configuration file "nsswitch.cnf".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <strings.h>

#include "nameservice/pns_internal.h"
#include "system/guard.h"
#include "system/config.h"

using namespace vrcore::nameservice::pns;

namespace {

const char *Env(const char *name) {
    const char *v = std::getenv(name);
    return v && *v ? v : nullptr;
}

void FreeAddrs(ns_bsd_addr_t **list) {
    FreeList<ns_bsd_addr_t>(list, [](ns_bsd_addr_t *a) { GiveFree(a); });
}

bool SameAddr(const ns_bsd_addr_t *a, const ns_bsd_addr_t *b) {
    auto eq = [](const char *x, const char *y) {
        return (!x && !y) || (x && y && std::strcmp(x, y) == 0);
    };
    return eq(a->server, b->server) && eq(a->printer, b->printer);
}

// The address of a record: its "bsdaddr" (through indirections), the
// printer defaulting to the record's name, `pname` attached.
ns_bsd_addr_t *AddrOf(ns_printer_t *p, const char *pname) {
    auto *a = static_cast<ns_bsd_addr_t *>(ns_get_value("bsdaddr", p));
    if (!a || !a->server) return nullptr;
    return MakeBsdAddr(a->server, a->printer ? a->printer : p->name, a->extension, pname);
}

// Appends unless an equal address is there; false when memory is short.
bool AddUnique(ns_bsd_addr_t ***list, ns_bsd_addr_t *a) {
    if (*list)
        for (size_t i = 0; (*list)[i]; ++i)
            if (SameAddr((*list)[i], a)) {
                GiveFree(a);
                return true;
            }
    void **grown = list_append(reinterpret_cast<void **>(*list), a);
    if (!grown) {
        GiveFree(a);
        return false;
    }
    *list = reinterpret_cast<ns_bsd_addr_t **>(grown);
    return true;
}

// The addresses of a list of records, "_all" left out; null for none.
bool AddrsOf(ns_printer_t **recs, ns_bsd_addr_t ***out) {
    if (!recs) return true;
    for (size_t i = 0; recs[i]; ++i) {
        if (std::strcmp(recs[i]->name, "_all") == 0) continue;
        ns_bsd_addr_t *a = AddrOf(recs[i], recs[i]->name);
        if (a && !AddUnique(out, a)) return false;
    }
    return true;
}

ns_bsd_addr_t **ListOfService(const char *service) {
    ns_printer_t **recs = ns_printer_get_list(service);
    ns_bsd_addr_t **out = nullptr;
    bool ok = AddrsOf(recs, &out);
    FreeRecords(recs);
    if (!ok) {
        FreeAddrs(out);
        return nullptr;
    }
    return out;
}

// One process-wide cursor over a list built at the first call.
struct Cursor {
    ns_bsd_addr_t **list = nullptr;
    size_t next = 0;

    ns_bsd_addr_t *Step(ns_bsd_addr_t **(*build)()) {
        if (!list) {
            list = build();
            next = 0;
            if (!list) return nullptr;
        }
        while (list[next]) {
            ns_bsd_addr_t *a = list[next++];
            if (a->pname && std::strcmp(a->pname, "_all") == 0) continue;
            if (ns_bsd_addr_t *copy = CopyBsdAddr(a, a->pname)) return copy;
        }
        FreeAddrs(list);
        list = nullptr;
        next = 0;
        return nullptr;
    }
};
Cursor g_all_cursor, g_user_cursor, g_nis_cursor;

const struct {
    const char *word;
    int code;
} kServices[] = {{"compat", NS_SVC_COMPAT},   {"dns", NS_SVC_DNS}, {"files", NS_SVC_ETC},
                 {"nisplus", NS_SVC_NISPLUS}, {"nis", NS_SVC_NIS}, {"printcap", NS_SVC_PRINTCAP},
                 {"user", NS_SVC_USER},       {"xfn", NS_SVC_XFN}};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Parses the words after the database's ":". 0, or -2.
int ParseOrder(std::string_view s, int max, int *codes) {
    int n = 0;
    size_t i = 0;
    auto skip = [&] {
        while (i < s.size() && IsBlank(s[i])) ++i;
    };
    auto word = [&] {
        size_t b = i;
        while (i < s.size() && !IsBlank(s[i]) && s[i] != '\n' && s[i] != '[' && s[i] != ']' &&
               s[i] != '=')
            ++i;
        return s.substr(b, i - b);
    };
    while (true) {
        skip();
        if (i >= s.size() || s[i] == '\n') break;
        if (s[i] == '[') {
            // One or more "STATUS=action" criteria, then "]".
            ++i;
            bool any = false, stop = false;
            while (true) {
                skip();
                if (i < s.size() && s[i] == ']' && any) {
                    ++i;
                    break;
                }
                std::string_view status = word();
                if (status != "SUCCESS" && status != "UNAVAIL" && status != "NOTFOUND" &&
                    status != "TRYAGAIN")
                    return -2;
                skip();
                if (i >= s.size() || s[i] != '=') return -2;
                ++i;
                skip();
                std::string_view action = word();
                if (action == "return")
                    stop = true;
                else if (action != "continue")
                    return -2;
                any = true;
            }
            if (stop) break;
            continue;
        }
        std::string_view w = word();
        int code = 0;
        for (const auto &svc : kServices)
            if (w == svc.word) {
                code = svc.code;
                break;
            }
        if (code == 0) return -2;
        if (n < max - 1) codes[n++] = code;
    }
    codes[n] = 0;
    return 0;
}

} // namespace

VR_EXPORT const char *ns_get_svc_string(int code) try {
    static const char *const names[] = {"user",    "printcap", "etc",    "nis",
                                        "nisplus", "xfn",      "compat", "dns"};
    return code >= 1 && code <= 8 ? names[code - 1] : nullptr;
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT int ns_get_svc_order(const char *database, int max, int *codes) try {
    if (!database || !*database || max < 1 || !codes) return -1;
    codes[0] = 0;
    try {
        std::string path = vrcore::system::cfg::Windir() + "/nsswitch.cnf";
        FILE *f = std::fopen(path.c_str(), "re");
        if (!f) return -1;
        std::string_view db = database;
        char *line = nullptr;
        size_t cap = 0;
        int rc = 1;
        while (getline(&line, &cap, f) > 0) {
            std::string_view l = line;
            while (!l.empty() && IsBlank(l.front())) l.remove_prefix(1);
            if (l.empty() || l.front() == '#' || l.front() == '\n') continue;
            if (l.substr(0, db.size()) != db) continue;
            l.remove_prefix(db.size());
            while (!l.empty() && IsBlank(l.front())) l.remove_prefix(1);
            if (l.empty() || l.front() != ':') continue; // a longer name
            rc = ParseOrder(l.substr(1), max, codes);
            if (rc != 0) codes[0] = 0;
            break;
        }
        std::free(line);
        std::fclose(f);
        return rc;
    } catch (...) {
        return -1;
    }
}
VR_CATCH_RETURN(-1)

VR_EXPORT ns_bsd_addr_t *ns_bsd_addr_get_name(const char *name) try {
    ns_printer_t *p = ns_printer_get_name(name, nullptr);
    if (!p) return nullptr;
    ns_bsd_addr_t *a = AddrOf(p, name);
    ns_printer_destroy(p);
    return a;
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT ns_bsd_addr_t **ns_bsd_addr_get_list(void) try { return ListOfService(nullptr); }
VR_CATCH_RETURN(nullptr)

VR_EXPORT ns_bsd_addr_t *ns_bsd_addr_get_default(void) try {
    const char *name = Env("PRINTER");
    if (!name) name = Env("LPDEST");
    return ns_bsd_addr_get_name(name ? name : "_default");
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT ns_bsd_addr_t **ns_bsd_addr_get_all(void) try {
    ns_bsd_addr_t **out = nullptr;
    bool ok = true;
    if (ns_bsd_addr_t *d = ns_bsd_addr_get_default()) ok = AddUnique(&out, d);
    ns_printer_t *all = ok ? ns_printer_get_name("_all", nullptr) : nullptr;
    if (all) {
        auto **names = static_cast<char **>(ns_get_value("all", all));
        for (size_t i = 0; ok && names && names[i]; ++i)
            if (ns_bsd_addr_t *a = ns_bsd_addr_get_name(names[i])) ok = AddUnique(&out, a);
        ns_printer_destroy(all);
    } else if (ok) {
        ns_printer_t **recs = ns_printer_get_list(nullptr);
        ok = AddrsOf(recs, &out);
        FreeRecords(recs);
    }
    if (!ok) {
        FreeAddrs(out);
        return nullptr;
    }
    return out;
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT ns_bsd_addr_t *ns_bsd_addr_get_all_once(void) try {
    return g_all_cursor.Step(ns_bsd_addr_get_all);
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT ns_bsd_addr_t *ns_bsd_addr_user_get_list_once(void) try {
    return g_user_cursor.Step([] { return ListOfService("user"); });
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT ns_bsd_addr_t *ns_bsd_addr_nis_get_list_once(void) try {
    return g_nis_cursor.Step([] { return ListOfService("nis"); });
}
VR_CATCH_RETURN(nullptr)
