// The registry's files: initialisation with the lock file, handles and
// their locales, and the busy protocol that gives one thread at a time the
// use of a file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <new>

#include "oid/registry_internal.h"
#include "system/guard.h"
#include "system/vr_assert.h"
#include "system/fileio.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace vrcore::oid {
namespace {

constexpr const char *kSrc = "oid";

// Process-wide state of the registry. One mutex guards it all, with the
// busy flags of the shared files; the condition is signalled whenever a
// file stops being busy.
struct State {
    std::mutex mu;
    std::condition_variable cv;
    bool initialised = false;
    uint64_t generation = 0;
    std::string dir; // with a trailing '/'
    int mode = 0;
    int lock_fd = -1;
    bool own_genu = false;
    std::map<std::string, std::unique_ptr<SharedFile>> files;
    std::set<OID_Db *> handles;
};
State &S() {
    static State *s = new State; // never destroyed: handles may outlive main
    return *s;
}

std::string WithSlash(const char *dir) {
    std::string d(dir);
    if (d.empty() || d.back() != '/') d += '/';
    return d;
}

// Opens a registry file (or finds it open). Callers hold S().mu.
SharedFile *OpenShared(const std::string &name, bool quiet) {
    State &s = S();
    auto it = s.files.find(name);
    if (it != s.files.end()) return it->second.get();
    std::string path = s.dir + name;
    bool rw = s.mode == OID_READWRITE;
    VRBM_Db *db = VRBM_open(path.c_str(), rw ? VRBM_RDWR : VRBM_RDONLY, rw ? 0666 : 0444, 0);
    if (!db) {
        if (!quiet)
            LOG_CondMessage(5, kSrc, __LINE__, "OID: Failed to open oid db = %s\n", path.c_str());
        return nullptr;
    }
    auto f = std::make_unique<SharedFile>();
    f->name = name;
    f->db = db;
    SharedFile *raw = f.get();
    s.files.emplace(name, std::move(f));
    return raw;
}

bool IsDefaultLocale(const std::string &l) { return l == "C" || l == "POSIX" || l == "en_US"; }

// A locale name that can name a file in the directory.
bool SafeLocale(const std::string &l) {
    if (l.empty() || l.size() > OID_MAX_LOCALE || l[0] == '.') return false;
    for (unsigned char c : l)
        if (c == '/' || c < 0x20 || c == 0x7F) return false;
    return true;
}

// Opens the locale file of a handle: the file named after the locale (or
// after its language and territory), else the default one.
uint32_t OpenLocale(STF_List *st, OID_Db *h) {
    std::string want = h->locale;
    if (want.empty()) {
        const char *cur = std::setlocale(LC_MESSAGES, nullptr);
        want = cur && *cur ? cur : "C";
    }
    SharedFile *f = nullptr;
    if (!IsDefaultLocale(want)) {
        std::string base = want.substr(0, want.find_first_of(".@"));
        for (const std::string &cand : {want, base}) {
            if (IsDefaultLocale(cand) || !SafeLocale(cand)) break;
            if ((f = OpenShared(cand, true))) break;
        }
        if (!f) LOG_CondMessage(6, kSrc, __LINE__, "OID: unknown locale.  Using default locale\n");
    }
    if (!f) f = OpenShared(kDefaultLocaleFile, true);
    if (!f) {
        LOG_CondMessage(5, kSrc, __LINE__, "OID: Failed to open default locale file\n");
        return Fail(st, OID_S_NODEFLOCALE);
    }
    h->loc = f;
    return 0;
}

bool ValidHandle(OID_Db *h) {
    if (!h || !S().handles.count(h)) return false;
    VR_ASSERT(h->magic == kHandleMagic); // a registered handle is open until it leaves the set
    return h->magic == kHandleMagic;
}

uint32_t CheckLocaleArg(STF_List *st, const char *locale) {
    if (!locale) return 0;
    if (!*locale) {
        LOG_CondMessage(5, kSrc, __LINE__, "OID: Bad locale\n");
        return Fail(st, OID_S_BADLOCALE);
    }
    if (std::strlen(locale) > OID_MAX_LOCALE) return Fail(st, OID_S_BADLOCALE);
    return 0;
}

} // namespace

bool ResolvedLocale(OID_Db *h, std::string &out) {
    State &s = S();
    std::lock_guard lk(s.mu);
    if (!ValidHandle(h) || !h->loc || !s.initialised || h->generation != s.generation) return false;
    out.assign(h->loc->name);
    return true;
}

uint32_t Fail(STF_List *st, uint32_t code) {
    if (st) STF_AddStatus(st, code, 0);
    return code;
}

FileUse::FileUse(STF_List *st, OID_Db *h, unsigned files) {
    State &s = S();
    std::unique_lock lk(s.mu);
    if (!ValidHandle(h)) {
        rc_ = Fail(st, OID_S_NULLHANDLE);
        return;
    }
    for (;;) {
        if (!s.initialised || h->generation != s.generation) {
            LOG_CondMessage(5, kSrc, __LINE__, "OID database not initialized!!\n");
            rc_ = Fail(st, OID_S_NOTINIT);
            return;
        }
        // Files are opened on first use; a handle keeps them.
        if ((files & kMain) && !h->main && !(h->main = OpenShared(kMainFile, false))) {
            rc_ = Fail(st, OID_S_BADPATH);
            return;
        }
        if ((files & kLink) && !h->link && !(h->link = OpenShared(kLinkFile, false))) {
            rc_ = Fail(st, OID_S_BADPATH);
            return;
        }
        if ((files & kLocale) && !h->loc && (rc_ = OpenLocale(st, h)) != 0) return;
        SharedFile *want[3] = {(files & kMain) ? h->main : nullptr,
                               (files & kLocale) ? h->loc : nullptr,
                               (files & kLink) ? h->link : nullptr};
        bool free = true;
        for (SharedFile *f : want)
            if (f && f->busy) free = false;
        if (free) {
            for (int i = 0; i < 3; i++) {
                files_[i] = want[i];
                if (want[i]) want[i]->busy = true;
            }
            break;
        }
        s.cv.wait(lk);
        if (!ValidHandle(h)) {
            rc_ = Fail(st, OID_S_NULLHANDLE);
            return;
        }
    }
    main_ = files_[0] ? files_[0]->db : nullptr;
    loc_ = files_[1] ? files_[1]->db : nullptr;
    link_ = files_[2] ? files_[2]->db : nullptr;
    if (files_[1]) {
        try {
            loc_name = files_[1]->name;
        } catch (const std::bad_alloc &) {
            loc_name.clear(); // the caches are skipped without a locale key
        }
    }
    writable_ = s.mode == OID_READWRITE;
}

FileUse::~FileUse() {
    if (!files_[0] && !files_[1] && !files_[2]) return;
    State &s = S();
    {
        std::lock_guard lk(s.mu);
        for (SharedFile *f : files_) {
            VR_ASSERT(!f || f->busy); // held by this use alone
            if (f) f->busy = false;
        }
    }
    s.cv.notify_all();
}

} // namespace vrcore::oid

using namespace vrcore::oid;

extern "C" {

VR_EXPORT uint32_t OID_Init(STF_List *st, const char *directory, int32_t mode) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    State &s = S();
    std::lock_guard lk(s.mu);
    if (s.initialised) {
        LOG_CondMessage(5, kSrc, __LINE__, "OID DB already initialized!!!");
        return Fail(st, OID_S_INITIALISED);
    }
    if (mode != OID_READONLY && mode != OID_READWRITE) {
        LOG_CondMessage(5, kSrc, __LINE__, "Invalid mode. mode = %u", static_cast<unsigned>(mode));
        return Fail(st, OID_S_BADMODE);
    }
    if (!directory || !*directory) {
        LOG_CondMessage(5, kSrc, __LINE__, "OID: Path is bad\n");
        return Fail(st, OID_S_BADPATH);
    }
    std::string dir, lock_path;
    try {
        dir = WithSlash(directory);
        lock_path = dir + kLockFile;
    } catch (const std::bad_alloc &) {
        return Fail(st, OID_S_NOMEM);
    }
    if (lock_path.size() >= PATH_MAX) return Fail(st, OID_S_LOCKPATH);
    const vrcore::system::seam::Io &io = vrcore::system::seam::CurrentIo();
    struct stat sb;
    if (io.stat(lock_path.c_str(), &sb) != 0 && errno == ENOENT) return Fail(st, OID_S_NOLOCKFILE);
    int fd = io.open(lock_path.c_str(), (mode == OID_READWRITE ? O_RDWR : O_RDONLY) | O_CLOEXEC, 0);
    if (fd < 0) {
        LOG_CondMessage(5, kSrc, __LINE__, "Cannot open lock file %s, errno = %u\n",
                        lock_path.c_str(), static_cast<unsigned>(errno));
        return Fail(st, OID_S_LOCK);
    }
    // A lock of the open file description: it stays with this descriptor
    // whatever else the process opens and closes. Other processes are
    // waited for.
    if (int rc = vrcore::system::fileio::Lock(fd, vrcore::system::seam::LockKind::Ofd,
                                              mode == OID_READWRITE
                                                  ? vrcore::system::seam::LockMode::Exclusive
                                                  : vrcore::system::seam::LockMode::Shared,
                                              -1)) {
        LOG_CondMessage(5, kSrc, __LINE__, "Cannot lock DB, errno = %u\n",
                        static_cast<unsigned>(rc));
        io.close(fd);
        return Fail(st, OID_S_LOCK);
    }
    LOG_CondMessage(6, kSrc, __LINE__, mode == OID_READWRITE ? "write lock\n" : "read lock\n");
    bool own_genu = false;
    if (!GENU_GetCvrtHandle()) {
        STF_List *sub = STF_CreateList(nullptr);
        int grc = sub ? GENU_Init(sub, directory, mode) : 1;
        if (sub) STF_DeleteList(sub);
        if (grc != 0) {
            LOG_CondMessage(5, kSrc, __LINE__, "GENU_Init() failed");
            io.close(fd);
            return Fail(st, OID_S_NOCVRT);
        }
        own_genu = true;
    }
    const char *nc = std::getenv("OID_NO_CACHE");
    SetCachesEnabled(nc == nullptr);
    CacheClearAll();
    s.dir = std::move(dir);
    s.mode = mode;
    s.lock_fd = fd;
    s.own_genu = own_genu;
    s.generation++;
    s.initialised = true;
    return 0;
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT void OID_Term(void) try {
    State &s = S();
    std::unique_lock lk(s.mu);
    if (!s.initialised) return;
    s.initialised = false; // new uses fail from here on
    // Wait for operations in progress to finish with their files.
    s.cv.wait(lk, [&] {
        for (auto &[name, f] : s.files)
            if (f->busy) return false;
        return true;
    });
    for (auto &[name, f] : s.files) VRBM_close(f->db);
    s.files.clear();
    for (OID_Db *h : s.handles) h->main = h->link = h->loc = nullptr;
    bool own_genu = s.own_genu;
    s.own_genu = false;
    CacheClearAll();
    int lock_fd = s.lock_fd;
    s.lock_fd = -1;
    s.dir.clear();
    lk.unlock();
    s.cv.notify_all();
    // Outside the registry's mutex (the conversions take their own lock),
    // but before the lock file is let go: another process may only read
    // the dynamic identifier database once it is written back.
    if (own_genu) GENU_Term();
    if (lock_fd >= 0) vrcore::system::seam::CurrentIo().close(lock_fd); // releases the lock
}
VR_CATCH_VOID

VR_EXPORT uint32_t OID_OpenDb(STF_List *st, const char *directory, const char *locale, int32_t mode,
                              OID_Db **out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!out) return Fail(st, OID_S_INVALID);
    *out = nullptr;
    if (uint32_t rc = CheckLocaleArg(st, locale)) return rc;
    if (!directory || !*directory) {
        LOG_CondMessage(5, kSrc, __LINE__, "OID: Path is bad\n");
        return Fail(st, OID_S_BADPATH);
    }
    State &s = S();
    std::lock_guard lk(s.mu);
    if (!s.initialised) {
        LOG_CondMessage(5, kSrc, __LINE__, "OID database not initialized!!");
        return Fail(st, OID_S_NOTINIT);
    }
    try {
        if (WithSlash(directory) != s.dir) {
            LOG_CondMessage(5, kSrc, __LINE__, "OID database paths are inconsistent!!");
            return Fail(st, OID_S_PATHDIFF);
        }
        if (mode != s.mode) {
            LOG_CondMessage(5, kSrc, __LINE__, "OID database open modes are inconsistent!!");
            return Fail(st, OID_S_MODEDIFF);
        }
        auto h = std::make_unique<OID_Db>();
        h->magic = kHandleMagic;
        h->generation = s.generation;
        h->locale = locale ? locale : "";
        s.handles.insert(h.get());
        *out = h.release();
    } catch (const std::bad_alloc &) {
        LOG_CondMessage(5, kSrc, __LINE__, "OID: malloc failed\n");
        return Fail(st, OID_S_NOMEM);
    }
    return 0;
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_SetLocale(STF_List *st, OID_Db *h, const char *locale) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (uint32_t rc = CheckLocaleArg(st, locale)) return rc;
    State &s = S();
    std::unique_lock lk(s.mu);
    if (!ValidHandle(h)) return Fail(st, OID_S_NULLHANDLE);
    // Wait until no operation of any handle uses the current locale file,
    // so the handle's file does not change under one of its own.
    s.cv.wait(lk, [&] { return !ValidHandle(h) || !h->loc || !h->loc->busy; });
    if (!ValidHandle(h)) return Fail(st, OID_S_NULLHANDLE);
    try {
        h->locale = locale ? locale : "";
    } catch (const std::bad_alloc &) {
        return Fail(st, OID_S_NOMEM);
    }
    h->loc = nullptr; // reopened (or found open) at the next use
    if (!s.initialised || h->generation != s.generation) return 0;
    return OpenLocale(st, h);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_CloseDb(STF_List *st, OID_Db *h) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    State &s = S();
    std::unique_lock lk(s.mu);
    if (!ValidHandle(h)) return Fail(st, OID_S_NULLHANDLE);
    s.handles.erase(h);
    h->magic = 0;
    lk.unlock();
    s.cv.notify_all();
    delete h;
    return 0;
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

} // extern "C"
