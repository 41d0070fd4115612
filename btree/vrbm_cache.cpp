// The page cache of a database handle: page 0 lives in the handle, every
// other page passes through a small pool of 1024-byte buffers evicted by
// age. Also the validation of page images read from the file and the undo
// journal that makes a store or delete all-or-nothing.
#include "btree/vrbm_internal.h"

#include "vrcore/fa.h"
#include "vrcore/log.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace vrbm {

namespace {
std::atomic<FaultHook> g_hook{nullptr};
std::atomic<void *> g_hookCtx{nullptr};
std::atomic<void *(*)(size_t)> g_alloc{nullptr};
std::atomic<void (*)(void *)> g_free{nullptr};
thread_local bool t_noFaults = false;
} // namespace

void SetFaultHook(FaultHook hook, void *ctx) {
    g_hookCtx = ctx;
    g_hook = hook;
}

bool Fault(FaultPoint point, unsigned page) {
    FaultHook h = g_hook.load();
    return h && !t_noFaults && h(g_hookCtx.load(), point, page) != 0;
}

void SetAllocator(void *(*alloc)(size_t), void (*release)(void *)) {
    g_alloc = alloc;
    g_free = release;
}
void *Alloc(size_t n) {
    auto a = g_alloc.load();
    return a ? a(n) : std::malloc(n);
}
void Free(void *p) {
    auto f = g_free.load();
    if (f)
        f(p);
    else
        std::free(p);
}

const char *ValidatePage(const uint8_t *image, unsigned pageNo) {
    Page pg{const_cast<uint8_t *>(image)};
    unsigned type = pg.Type();
    if (pageNo == 0 ? type != kRoot : type != kInner && type != kLeaf) return "bad node type";
    if (pg.Id() != pageNo) return "page number does not match its position";
    unsigned last = pg.Last();
    if (last > kMaxEntries) return "entry count out of range";
    unsigned used = pg.Used(), area = pg.AreaSize();
    if (used > area) return "used bytes exceed the entry area";
    const uint8_t *base = pg.Area();
    unsigned off = 0;
    const uint8_t *prevKey = nullptr;
    unsigned prevLen = 0;
    for (unsigned i = 0; i < last; i++) {
        if (pg.Offset(i) != off) return "entry offsets are not packed";
        if (off + 2 > used) return "entry beyond the used bytes";
        unsigned kl = Get16(base + off);
        if (kl > VRBM_MAX_KEY) return "key too long";
        unsigned size = RecordSize(kl);
        if (pg.IsLeaf()) {
            if (off + size + 2 > used) return "item beyond the used bytes";
            unsigned dl = Get16(base + off + size);
            if (kl + dl > VRBM_MAX_ITEM) return "item too long";
            size += RecordSize(dl);
        }
        if (off + size > used) return "entry beyond the used bytes";
        if (prevKey && CompareKeys(prevKey, prevLen, base + off + 2, kl) >= 0)
            return "keys out of order";
        prevKey = base + off + 2;
        prevLen = kl;
        off += size;
    }
    if (off != used) return "used bytes do not match the entries";
    return nullptr;
}

bool Writable(const VRBM_Db *db) {
    unsigned acc = db->flags & VRBM_ACCMODE;
    return acc == VRBM_WRONLY || acc == VRBM_RDWR;
}

static bool WriteImage(VRBM_Db *db, const uint8_t *image, unsigned pageNo) {
    if (Fault(FaultPoint::kFileWrite, pageNo)) return false;
    ssize_t n = pwrite(db->fd, image, kPageSize, off_t(pageNo) * kPageSize);
    return n == ssize_t(kPageSize);
}

static bool ReadImage(VRBM_Db *db, uint8_t *image, unsigned pageNo) {
    if (Fault(FaultPoint::kFileRead, pageNo)) return false;
    ssize_t n = pread(db->fd, image, kPageSize, off_t(pageNo) * kPageSize);
    return n == ssize_t(kPageSize);
}

// Finds or loads the buffer of a page. With fresh the page is not read:
// the buffer is handed out for the caller to fill.
static uint8_t *Slot(VRBM_Db *db, unsigned pageNo, bool fresh, uint32_t *err) {
    if (pageNo == 0) return db->page0;
    unsigned victim = 0, hit = db->count;
    for (unsigned i = 0; i < db->count; i++) {
        if (db->age[i] < 255 && Page{db->buf[i]}.Id() == pageNo) {
            if (db->age[i] == 0) return db->buf[i];
            hit = i;
            break;
        }
        if (db->age[i] > db->age[victim]) victim = i;
    }
    if (hit < db->count) victim = hit;
    unsigned vage = db->age[victim];
    for (unsigned i = 0; i < db->count; i++)
        if (db->age[i] < vage) db->age[i]++;
    uint8_t *b = db->buf[victim];
    if (hit == db->count) {
        Page v{b};
        if (vage != 255 && v.Dirty() && Writable(db)) {
            if (!WriteImage(db, b, v.Id())) {
                LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: failed to write page %u\n", v.Id());
                *err = VRBM_E_IO;
                return nullptr;
            }
        }
        db->age[victim] = 255; // the buffer holds nothing until it is filled
        if (fresh) {
            std::memset(b, 0, kPageSize);
            Page{b}.SetId(pageNo);
        } else {
            if (!ReadImage(db, b, pageNo)) {
                LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: failed to read page %u\n", pageNo);
                *err = VRBM_E_IO;
                return nullptr;
            }
            if (const char *why = ValidatePage(b, pageNo)) {
                LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: page %u is corrupt: %s\n", pageNo, why);
                *err = VRBM_E_CORRUPT;
                return nullptr;
            }
            Page{b}.ResetDirty();
        }
    }
    db->age[victim] = 0;
    return b;
}

uint8_t *FetchPage(VRBM_Db *db, unsigned pageNo, uint32_t *err) {
    if (pageNo > Page{db->page0}.Parent()) { // beyond the allocated pages
        *err = VRBM_E_CORRUPT;
        return nullptr;
    }
    return Slot(db, pageNo, false, err);
}

uint8_t *CachedNode(VRBM_Db *db, unsigned pageNo) {
    uint32_t err = 0;
    return FetchPage(db, pageNo, &err);
}

static bool Journaled(const VRBM_Db *db, unsigned pageNo) {
    for (unsigned i = 0; i < db->journalLen; i++)
        if (db->journal[i].page == pageNo) return true;
    return false;
}

static bool Journal(VRBM_Db *db, unsigned pageNo, const uint8_t *image, uint32_t *err) {
    if (db->journalLen == db->journalCap) {
        unsigned cap = db->journalCap ? db->journalCap * 2 : 16;
        auto *j = static_cast<JournalEntry *>(Alloc(sizeof(JournalEntry) * cap));
        if (!j) {
            *err = VRBM_E_NOMEM;
            return false;
        }
        if (db->journalLen) std::memcpy(j, db->journal, sizeof(JournalEntry) * db->journalLen);
        Free(db->journal);
        db->journal = j;
        db->journalCap = cap;
    }
    db->journal[db->journalLen].page = uint16_t(pageNo);
    std::memcpy(db->journal[db->journalLen].image, image, kPageSize);
    db->journalLen++;
    return true;
}

uint8_t *ChangePage(VRBM_Db *db, unsigned pageNo, uint32_t *err) {
    if (Fault(FaultPoint::kPageChange, pageNo)) {
        *err = VRBM_E_IO;
        return nullptr;
    }
    uint8_t *b = pageNo > Page{db->page0}.Parent() ? nullptr : Slot(db, pageNo, false, err);
    if (!b) {
        if (!*err) *err = VRBM_E_CORRUPT;
        return nullptr;
    }
    if (db->inOperation && (pageNo == 0 || pageNo <= db->lastAtStart) && !Journaled(db, pageNo) &&
        !Journal(db, pageNo, b, err))
        return nullptr;
    Page{b}.SetDirty();
    return b;
}

unsigned GetNewPage(VRBM_Db *db, unsigned type, unsigned parent, uint32_t *err) {
    unsigned n = Page{db->page0}.Parent() + 1;
    if (n > kMaxPageNo) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: no page number left for a new page\n");
        *err = VRBM_E_NOROOM;
        return 0;
    }
    uint8_t *p0 = ChangePage(db, 0, err);
    if (!p0) return 0;
    uint8_t *b = Slot(db, n, true, err);
    if (!b) return 0;
    Page pg{b};
    pg.SetType(type);
    pg.SetParent(parent);
    pg.SetDirty();
    Page{db->page0}.SetParent(n);
    return n;
}

// The journal block is kept from one operation to the next.
static void ReleaseJournal(VRBM_Db *db) { db->journalLen = 0; }

uint32_t BeginOperation(VRBM_Db *db) {
    db->inOperation = true;
    db->journalLen = 0;
    db->lastAtStart = Page{db->page0}.Parent();
    return 0;
}

void EndOperation(VRBM_Db *db, bool failed) {
    db->inOperation = false;
    if (!failed) {
        ReleaseJournal(db);
        return;
    }
    t_noFaults = true;
    for (unsigned i = 0; i < db->journalLen; i++) {
        const JournalEntry &e = db->journal[i];
        uint32_t err = 0;
        uint8_t *b = Slot(db, e.page, true, &err);
        if (!b) {
            LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: could not restore page %u\n", e.page);
            continue;
        }
        std::memcpy(b, e.image, kPageSize);
        Page{b}.SetDirty();
    }
    // Pages allocated by the failed operation are forgotten.
    unsigned lastNode = Page{db->page0}.Parent();
    for (unsigned i = 0; i < db->count; i++)
        if (db->age[i] < 255 && Page{db->buf[i]}.Id() > lastNode) {
            db->age[i] = 255;
            Page{db->buf[i]}.ResetDirty();
        }
    t_noFaults = false;
    ReleaseJournal(db);
}

bool InitializeBufferPool(VRBM_Db *db, unsigned count, unsigned pages) {
    db->pool = static_cast<uint8_t *>(Alloc(size_t(count) * kPageSize));
    if (!db->pool) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: malloc failed in InitializeBufferPool\n");
        return false;
    }
    db->count = uint8_t(count);
    for (unsigned i = 0; i < count; i++) {
        db->buf[i] = db->pool + size_t(i) * kPageSize;
        db->age[i] = 255;
        std::memset(db->buf[i], 0, kHeaderSize);
    }
    if (pages == 0) return true;
    if (!ReadImage(db, db->page0, 0)) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: InitializeBufferPool(), failed read the file\n");
        return false;
    }
    if (const char *why = ValidatePage(db->page0, 0)) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: page 0 is corrupt: %s\n", why);
        return false;
    }
    Page{db->page0}.ResetDirty();
    unsigned lastNode = Page{db->page0}.Parent();
    unsigned preload = pages - 1 < count ? pages - 1 : count;
    if (preload > lastNode) preload = lastNode;
    for (unsigned i = 0; i < preload; i++) {
        uint8_t *b = db->buf[i];
        if (!ReadImage(db, b, i + 1)) {
            LOG_CondMessage(5, "vrbm", __LINE__,
                            "VRBM: InitializeBufferPool(), failed read the file\n");
            return false;
        }
        // A page that is not a valid node is left out; it is reported
        // when the tree reaches it.
        if (ValidatePage(b, i + 1)) {
            std::memset(b, 0, kHeaderSize);
            continue;
        }
        Page{b}.ResetDirty();
        db->age[i] = uint8_t(i);
    }
    return true;
}

void FlushBuffers(VRBM_Db *db) {
    if (!Writable(db)) return;
    Page p0{db->page0};
    if (p0.Dirty()) {
        p0.ResetDirty();
        if (!WriteImage(db, db->page0, 0)) {
            p0.SetDirty();
            LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: failed to write page 0\n");
            return;
        }
    }
    for (unsigned i = 0; i < db->count; i++) {
        Page pg{db->buf[i]};
        if (db->age[i] == 255 || !pg.Dirty()) continue;
        pg.ResetDirty();
        if (!WriteImage(db, db->buf[i], pg.Id())) {
            pg.SetDirty();
            LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: failed to write page %u\n", pg.Id());
            return;
        }
    }
}

} // namespace vrbm

using namespace vrbm;

static void Release(VRBM_Db *db) {
    if (db->fd >= 0) close(db->fd);
    Free(db->pool);
    Free(db->journal);
    db->~VRBM_Db();
    Free(db);
}

extern "C" VR_EXPORT VRBM_Db *VRBM_open(const char *path, int32_t flags, int32_t mode,
                                        int32_t whole_file) {
    (void)mode;
    LOG_CondFuncTrace("VRBM_open()", "vrbm", __LINE__, 1, nullptr);
    if (!path) return nullptr;
    flags |= VRBM_BINARY;
    unsigned acc = flags & VRBM_ACCMODE;
    bool create = (flags & VRBM_CREAT) != 0;
    if (create) { // a created database is always open for reading and writing
        flags = (flags & ~VRBM_ACCMODE) | VRBM_RDWR;
        acc = VRBM_RDWR;
    }
    if (acc == VRBM_WRONLY || acc == 3) return nullptr;
    void *mem = Alloc(sizeof(VRBM_Db));
    if (!mem) {
        LOG_CondMessage(5, "vrbm", __LINE__, "!!!!! VRBM: malloc failed in OpenDB\n");
        return nullptr;
    }
    auto *db = new (mem) VRBM_Db();
    db->magic = kMagic;
    db->fd = -1;
    db->flags = flags;
    std::memset(db->page0, 0, kPageSize);
    std::string file;
    try {
        file = path;
        file += ".dbm";
    } catch (...) {
        LOG_CondMessage(5, "vrbm", __LINE__, "!!!!! VRBM: malloc failed in OpenDB\n");
        Release(db);
        return nullptr;
    }
    // The portable notation ("C|/dir") becomes the native one.
    char *native = nullptr;
    size_t nativeLen = 0;
    if (FA_ConvertFilePath(file.c_str(), file.size() + 1, &native, &nativeLen) != 0) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: FA_ConvertFilePath() failed !!\n");
        Release(db);
        return nullptr;
    }
    try {
        file = native;
    } catch (...) {
        FA_FreeFilePath(native);
        Release(db);
        return nullptr;
    }
    FA_FreeFilePath(native);
    unsigned count = 10, pages = 0;
    if (create) {
        db->fd = open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        Page{db->page0}.SetDirty(); // the empty root is written at close
    } else {
        struct stat st;
        if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            Release(db);
            return nullptr;
        }
        off_t pg = (st.st_size + kPageSize - 1) / kPageSize;
        if (pg > off_t(kMaxPageNo) + 1) pg = off_t(kMaxPageNo) + 1;
        pages = unsigned(pg);
        if (acc == VRBM_RDONLY && whole_file == 1) {
            if (pages > kMaxPool) {
                LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: %s is too large to load whole\n",
                                file.c_str());
                Release(db);
                return nullptr;
            }
            count = pages ? pages : 1;
        } else if (acc == VRBM_RDONLY) {
            count = 1;
        }
        db->fd = open(file.c_str(), (acc == VRBM_RDWR ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    }
    if (db->fd < 0) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: cannot open %s (errno %d)\n", file.c_str(),
                        errno);
        Release(db);
        return nullptr;
    }
    if (!InitializeBufferPool(db, count, pages)) {
        Release(db);
        return nullptr;
    }
    if (create) Page{db->page0}.SetDirty();
    if (acc == VRBM_RDWR) { // room to undo a typical change
        db->journal = static_cast<JournalEntry *>(Alloc(sizeof(JournalEntry) * 8));
        if (!db->journal) {
            Release(db);
            return nullptr;
        }
        db->journalCap = 8;
    }
    return db;
}

extern "C" VR_EXPORT void VRBM_close(VRBM_Db *db) {
    LOG_CondFuncTrace("VRBM_close()", "vrbm", __LINE__, 1, nullptr);
    if (!db || db->magic != kMagic) return;
    {
        std::lock_guard<std::mutex> g(db->lock);
        FlushBuffers(db);
        if (db->fd >= 0 && close(db->fd) != 0)
            LOG_CondMessage(5, "vrbm", __LINE__, "!!!!! VRBM: Error in closing database file\n");
        db->fd = -1;
        db->magic = 0;
    }
    Release(db);
}
