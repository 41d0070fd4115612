// Caches of the services' entries, the reader-writer lock that guards each,
// and the lookups through the services.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <strings.h>
#include <vector>

#include "nameservice/pns_internal.h"
#include "system/guard.h"
#include "system/vr_assert.h"
#include "vrcore/log.h"

namespace vrcore::nameservice::pns {

// ---- Reader-writer lock ---------------------------------------------------

RwLock::RwLock() {
    THR_InitMutex(&mutex_);
    THR_InitCondition(&readers_cv_);
    THR_InitCondition(&writers_cv_);
}

RwLock::~RwLock() {
    THR_TermCondition(&writers_cv_);
    THR_TermCondition(&readers_cv_);
    THR_TermMutex(&mutex_);
}

// Readers wait while a writer holds the lock or any writer waits.
void RwLock::LockShared() {
    THR_LockMutex(&mutex_);
    while (readers_ < 0 || waiting_writers_ > 0) THR_WaitForCondition(&readers_cv_, &mutex_);
    ++readers_;
    THR_UnlockMutex(&mutex_);
}

void RwLock::Lock() {
    THR_LockMutex(&mutex_);
    ++waiting_writers_;
    while (readers_ != 0) THR_WaitForCondition(&writers_cv_, &mutex_);
    --waiting_writers_;
    readers_ = -1;
    THR_UnlockMutex(&mutex_);
}

// With the mutex held: when no reader remains, one waiting writer goes on;
// with no writer waiting, every waiting reader does.
void RwLock::Release() {
    if (readers_ == 0) {
        if (waiting_writers_ > 0)
            THR_SignalCondition(&writers_cv_);
        else
            THR_BroadcastCondition(&readers_cv_);
    }
}

void RwLock::UnlockShared() {
    THR_LockMutex(&mutex_);
    VR_ASSERT(readers_ > 0); // a reader holds it
    if (readers_ > 0) --readers_;
    Release();
    THR_UnlockMutex(&mutex_);
}

void RwLock::Unlock() {
    THR_LockMutex(&mutex_);
    VR_ASSERT(readers_ == -1); // the writer holds it
    readers_ = 0;
    Release();
    THR_UnlockMutex(&mutex_);
}

namespace {

struct SharedHold {
    explicit SharedHold(RwLock &l) : l_(l) { l_.LockShared(); }
    ~SharedHold() { l_.UnlockShared(); }
    RwLock &l_;
};
struct WriteHold {
    explicit WriteHold(RwLock &l) : l_(l) { l_.Lock(); }
    ~WriteHold() { l_.Unlock(); }
    RwLock &l_;
};

// ---- Caches -------------------------------------------------------------

// The raw entries of one source and a sorted index of their names.
struct Cache {
    RwLock lock;
    bool loaded = false;
    std::vector<std::string> entries;
    std::vector<std::pair<std::string, size_t>> index;

    void BuildIndex(bool user_form) {
        index.clear();
        Entry e;
        for (size_t i = 0; i < entries.size(); ++i) {
            bool ok = user_form ? ParseUserEntry(entries[i], e) : ParsePrintersEntry(entries[i], e);
            if (!ok) continue;
            for (auto &n : e.names) index.emplace_back(std::move(n), i);
        }
        // Stable: of two entries with one name, the first in the source wins.
        std::stable_sort(index.begin(), index.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
    }

    // The entry text of a name, or false.
    bool Find(std::string_view name, std::string &out) const {
        auto it = std::lower_bound(index.begin(), index.end(), name,
                                   [](const auto &a, std::string_view n) { return a.first < n; });
        if (it == index.end() || it->first != name) return false;
        out = entries[it->second];
        return true;
    }
};

struct FileCache : Cache {
    bool user_form = false;
    std::string path;
    FileStamp stamp;

    // Whether the file differs from what was loaded. A file whose status
    // cannot be read is left as loaded.
    bool Changed(const std::string &p) const {
        if (!loaded || p != path) return true;
        FileStamp now;
        if (!CurrentStamp(p, now)) return false;
        return !(now == stamp);
    }
    void Reload(const std::string &p) {
        std::string bytes;
        FileStamp st;
        if (!ReadFileLocked(p, bytes, st)) return; // keep what was loaded
        entries = user_form ? SplitUserText(bytes) : SplitPrintersText(bytes);
        path = p;
        stamp = st;
        loaded = true;
        BuildIndex(user_form);
    }
};

int g_nis_max_age = 180;

struct NisCache : Cache {
    std::string domain, map;
    std::chrono::steady_clock::time_point when;

    bool Changed(const std::string &d, const std::string &m) const {
        if (!loaded || strcasecmp(d.c_str(), domain.c_str()) != 0 ||
            strcasecmp(m.c_str(), map.c_str()) != 0)
            return true;
        return std::chrono::steady_clock::now() - when > std::chrono::seconds(g_nis_max_age);
    }
    void Reload(const std::string &d, const std::string &m) {
        std::vector<std::string> got;
        // A failed load counts as an empty map until the cache ages out.
        if (!NisReadMap(d, m, got)) got.clear();
        std::sort(got.begin(), got.end());
        got.erase(std::unique(got.begin(), got.end()), got.end());
        entries = std::move(got);
        domain = d;
        map = m;
        when = std::chrono::steady_clock::now();
        loaded = true;
        BuildIndex(false);
    }
};

struct Caches {
    FileCache user, etc;
    NisCache nis;
};
Caches *g_caches = nullptr;
THR_OnceFlag g_once = THR_ONCE_INIT;

void MakeCaches() {
    g_caches = new (std::nothrow) Caches;
    if (g_caches) g_caches->user.user_form = true;
}

Caches *SharedCaches() {
    uint32_t rc = THR_Once(&g_once, MakeCaches);
    if (rc != 0) {
        LOG_CondMessage(5, "ns_cache", __LINE__, "THR_Once failed code=%d", int(rc));
        return nullptr;
    }
    return g_caches;
}

// Brings a file cache up to date: asks under the read lock, and again under
// the write lock before reloading.
void Refresh(FileCache &c, const std::string &path) {
    bool changed;
    {
        SharedHold h(c.lock);
        changed = c.Changed(path);
    }
    if (!changed) return;
    WriteHold h(c.lock);
    if (c.Changed(path)) c.Reload(path);
}

// The NIS cache up to date; false when there is no NIS domain.
bool RefreshNis(NisCache &c) {
    std::string domain;
    if (!NisDefaultDomain(domain)) return false;
    bool changed;
    {
        SharedHold h(c.lock);
        changed = c.Changed(domain, kNisMap);
    }
    if (changed) {
        WriteHold h(c.lock);
        if (c.Changed(domain, kNisMap)) c.Reload(domain, kNisMap);
    }
    return true;
}

// Which cache serves a service, with the file path for the file services.
Cache *CacheFor(std::string_view service, bool &user_form, const char *&source) {
    Caches *cs = SharedCaches();
    if (!cs) return nullptr;
    if (service == "user") {
        Refresh(cs->user, UserFilePath());
        user_form = true;
        source = "user";
        return &cs->user;
    }
    if (service == "etc") {
        Refresh(cs->etc, EtcFilePath());
        user_form = false;
        source = "etc";
        return &cs->etc;
    }
    if (service == "nis") {
        if (!RefreshNis(cs->nis)) return nullptr;
        user_form = false;
        source = "nis";
        return &cs->nis;
    }
    return nullptr;
}

ns_printer_t *Convert(const std::string &text, const char *source, bool user_form) {
    Entry e;
    if (!(user_form ? ParseUserEntry(text, e) : ParsePrintersEntry(text, e))) return nullptr;
    return RecordFromEntry(e, source, user_form);
}

} // namespace

void SetNisMaxAge(int seconds) { g_nis_max_age = seconds; }

ns_printer_t *ServiceGetName(std::string_view service, std::string_view name) {
    bool user_form = false;
    const char *source = nullptr;
    Cache *c = CacheFor(service, user_form, source);
    if (!c) return nullptr;
    std::string text;
    {
        SharedHold h(c->lock);
        if (!c->Find(name, text)) return nullptr;
    }
    // Converted outside the lock: a "list" value looks further names up.
    return Convert(text, source, user_form);
}

bool ServiceGetList(std::string_view service, ns_printer_t ***list) {
    bool user_form = false;
    const char *source = nullptr;
    Cache *c = CacheFor(service, user_form, source);
    if (!c) return true;
    std::vector<std::string> texts;
    {
        SharedHold h(c->lock);
        texts = c->entries;
    }
    for (const auto &t : texts) {
        ns_printer_t *p = Convert(t, source, user_form);
        if (!p) continue; // ignored entries, and short memory (checked below)
        void **grown = list_append(reinterpret_cast<void **>(*list), p);
        if (!grown) {
            ns_printer_destroy(p);
            return false;
        }
        *list = reinterpret_cast<ns_printer_t **>(grown);
    }
    return true;
}

int ServicePut(std::string_view service, const ns_printer_t *p) {
    if (service == "nis") return NisPut(p);
    bool user = service == "user";
    if (!user && service != "etc") return -1;
    Caches *cs = SharedCaches();
    if (!cs) return -1;
    FileCache &c = user ? cs->user : cs->etc;
    std::string path = user ? UserFilePath() : EtcFilePath();
    WriteHold h(c.lock);
    return PutFile(path, p, user);
}

} // namespace vrcore::nameservice::pns

using namespace vrcore::nameservice::pns;

namespace {
constexpr const char *kOrder[] = {"user", "etc", "nis", "nisplus"};

// "server:printer[:extension]" as a record of source "posix".
ns_printer_t *DirectAddress(const char *name) {
    std::string_view s = name;
    size_t c1 = s.find(':');
    std::string server(s.substr(0, c1));
    std::string_view rest = s.substr(c1 + 1);
    size_t c2 = rest.find(':');
    std::string printer(rest.substr(0, c2));
    std::string ext =
        c2 == std::string_view::npos ? std::string() : std::string(rest.substr(c2 + 1));
    if (server.empty()) return nullptr;
    char *n = GiveStrdup(name);
    ns_printer_t *p =
        n ? ns_printer_create(n, nullptr, const_cast<char *>("posix"), nullptr) : nullptr;
    if (!p) {
        GiveFree(n);
        return nullptr;
    }
    ns_bsd_addr_t *a = MakeBsdAddr(server, printer.empty() ? nullptr : printer.c_str(),
                                   ext.empty() ? nullptr : ext.c_str(), nullptr);
    if (!a || ns_set_value("bsdaddr", a, p) != 0) {
        GiveFree(a);
        ns_printer_destroy(p);
        return nullptr;
    }
    return p;
}
} // namespace

VR_EXPORT ns_printer_t *ns_printer_get_name(const char *name, const char *service) try {
    if (!name || !*name) return nullptr;
    try {
        if (std::strchr(name, ':')) return DirectAddress(name);
        if (service) return ServiceGetName(service, name);
        for (const char *svc : kOrder)
            if (ns_printer_t *p = ServiceGetName(svc, name)) return p;
    } catch (...) {}
    return nullptr;
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT ns_printer_t **ns_printer_get_list(const char *service) try {
    ns_printer_t **list = nullptr;
    try {
        bool ok = true;
        if (service) {
            ok = ServiceGetList(service, &list);
        } else {
            for (const char *svc : kOrder)
                if (!(ok = ServiceGetList(svc, &list))) break;
        }
        if (ok) return list;
    } catch (...) {}
    FreeRecords(list);
    return nullptr;
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT int ns_printer_put(const ns_printer_t *printer) try {
    if (!printer || !printer->source || !printer->name) return -1;
    try {
        return ServicePut(printer->source, printer);
    } catch (...) {
        return -1;
    }
}
VR_CATCH_RETURN(-1)
