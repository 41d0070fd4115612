// The page cache of a database handle: page 0 lives in the handle, every
// other page passes through a small pool of 1024-byte buffers evicted by
// age. A page that is changed leaves the pool for the dirty table, where
// it stays until the next write-back: nothing is written in place between
// write-backs. Also the validation of page images read from the file and
// the undo log that makes a store or delete all-or-nothing.
#include "btree/vrbm_internal.h"

#include "system/guard.h"
#include "system/vr_assert.h"
#include "vrcore/fa.h"
#include "vrcore/log.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace vrcore::btree {

const char *ValidatePage(const uint8_t *image, unsigned page_no) {
    Page pg{const_cast<uint8_t *>(image)};
    unsigned type = pg.Type();
    if (page_no == 0 ? type != kRoot : type != kInner && type != kLeaf) return "bad node type";
    if (pg.Id() != page_no) return "page number does not match its position";
    unsigned last = pg.Last();
    if (last > kMaxEntries) return "entry count out of range";
    unsigned used = pg.Used(), area = pg.AreaSize();
    if (used > area) return "used bytes exceed the entry area";
    const uint8_t *base = pg.Area();
    unsigned off = 0;
    const uint8_t *prev_key = nullptr;
    unsigned prev_len = 0;
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
        if (prev_key && CompareKeys(prev_key, prev_len, base + off + 2, kl) >= 0)
            return "keys out of order";
        prev_key = base + off + 2;
        prev_len = kl;
        off += size;
    }
    if (off != used) return "used bytes do not match the entries";
    return nullptr;
}

bool Writable(const VRBM_Db *db) {
    unsigned acc = db->flags & VRBM_ACCMODE;
    return acc == VRBM_WRONLY || acc == VRBM_RDWR;
}

uint8_t *DirtyFind(const VRBM_Db *db, unsigned page_no) {
    uint8_t **blk = db->dirty.block[page_no / kDirtyBlock];
    return blk ? blk[page_no % kDirtyBlock] : nullptr;
}

// A block of the table whose pages are all gone is released.
static void ReleaseIfEmpty(VRBM_Db *db, unsigned page_no) {
    uint8_t **&blk = db->dirty.block[page_no / kDirtyBlock];
    for (unsigned i = 0; i < kDirtyBlock; i++)
        if (blk[i]) return;
    Free(blk);
    blk = nullptr;
}

uint8_t *DirtyAdd(VRBM_Db *db, unsigned page_no) {
    uint8_t **&blk = db->dirty.block[page_no / kDirtyBlock];
    if (!blk) {
        blk = static_cast<uint8_t **>(Alloc(sizeof(uint8_t *) * kDirtyBlock));
        if (!blk) return nullptr;
        std::memset(blk, 0, sizeof(uint8_t *) * kDirtyBlock);
    }
    VR_ASSERT(!blk[page_no % kDirtyBlock]); // a second copy would hide the first
    auto *p = static_cast<uint8_t *>(Alloc(kPageSize));
    if (!p) {
        ReleaseIfEmpty(db, page_no);
        return nullptr;
    }
    std::memset(p, 0, kPageSize);
    blk[page_no % kDirtyBlock] = p;
    db->dirty.count++;
    return p;
}

void DirtyDrop(VRBM_Db *db, unsigned page_no) {
    uint8_t **blk = db->dirty.block[page_no / kDirtyBlock];
    if (!blk || !blk[page_no % kDirtyBlock]) return;
    VR_ASSERT(db->dirty.count > 0);
    Free(blk[page_no % kDirtyBlock]);
    blk[page_no % kDirtyBlock] = nullptr;
    db->dirty.count--;
    ReleaseIfEmpty(db, page_no);
}

void DirtyClear(VRBM_Db *db) {
    for (uint8_t **&blk : db->dirty.block) {
        if (!blk) continue;
        for (unsigned i = 0; i < kDirtyBlock; i++) Free(blk[i]);
        Free(blk);
        blk = nullptr;
    }
    db->dirty.count = 0;
}

bool ReadImage(VRBM_Db *db, uint8_t *image, unsigned page_no) {
    if (db->rolled_in_memory) { // the file as the journal would leave it
        if (const uint8_t *o = DirtyFind(db, page_no)) {
            std::memcpy(image, o, kPageSize);
            return true;
        }
        if ((uint64_t(page_no) + 1) * kPageSize > db->read_limit) return false;
    }
    ssize_t n =
        system::seam::CurrentIo().pread(db->fd, image, kPageSize, off_t(page_no) * kPageSize);
    return n == ssize_t(kPageSize);
}

namespace {

unsigned Home(const Pool &p, unsigned page_no) { return (page_no * 0x9E3779B1u >> 16) & p.mask; }

uint16_t Find(const Pool &p, unsigned page_no) {
    for (unsigned i = Home(p, page_no);; i = (i + 1) & p.mask) {
        unsigned v = p.index[i];
        if (v == 0) return kNoBuffer;
        if (p.buf[v - 1].page == page_no) return uint16_t(v - 1);
    }
}

void Index(Pool &p, uint16_t b) {
    unsigned i = Home(p, p.buf[b].page);
    while (p.index[i]) i = (i + 1) & p.mask;
    p.index[i] = uint16_t(b + 1);
}

// Removes buffer b's page from the index, moving later entries of its
// probe run back so that no search stops short of them.
void Unindex(Pool &p, uint16_t b) {
    unsigned i = Home(p, p.buf[b].page);
    while (p.index[i] != b + 1) i = (i + 1) & p.mask;
    for (unsigned j = (i + 1) & p.mask; p.index[j]; j = (j + 1) & p.mask) {
        unsigned h = Home(p, p.buf[p.index[j] - 1].page);
        // The entry at j may move to i unless its home lies in (i, j].
        bool stays = i <= j ? (h > i && h <= j) : (h > i || h <= j);
        if (stays) continue;
        p.index[i] = p.index[j];
        i = j;
    }
    p.index[i] = 0;
}

void Unlink(Pool &p, uint16_t b) {
    PoolBuffer &x = p.buf[b];
    (x.newer == kNoBuffer ? p.mru : p.buf[x.newer].older) = x.older;
    (x.older == kNoBuffer ? p.lru : p.buf[x.older].newer) = x.newer;
}

void LinkFirst(Pool &p, uint16_t b) {
    p.buf[b].newer = kNoBuffer;
    p.buf[b].older = p.mru;
    (p.mru == kNoBuffer ? p.lru : p.buf[p.mru].newer) = b;
    p.mru = b;
}

void LinkLast(Pool &p, uint16_t b) {
    p.buf[b].older = kNoBuffer;
    p.buf[b].newer = p.lru;
    (p.lru == kNoBuffer ? p.mru : p.buf[p.lru].older) = b;
    p.lru = b;
}

// Empties a buffer: it becomes the first to be reused.
void Empty(Pool &p, uint16_t b) {
    if (p.buf[b].page) Unindex(p, b);
    p.buf[b].page = 0;
    Unlink(p, b);
    LinkLast(p, b);
}

// Adds `more` empty buffers at the reuse end of the list and rebuilds the
// index at its new size. False (and the pool unchanged) without memory.
bool Grow(Pool &p, unsigned more) {
    if (p.chunks == sizeof p.chunk / sizeof p.chunk[0]) return false;
    unsigned n = p.count + more, slots = 4;
    while (slots < 2 * n) slots *= 2;
    auto *chunk = static_cast<uint8_t *>(Alloc(size_t(more) * kPageSize));
    auto *buf = static_cast<PoolBuffer *>(Alloc(sizeof(PoolBuffer) * n));
    auto *index = static_cast<uint16_t *>(Alloc(sizeof(uint16_t) * slots));
    if (!chunk || !buf || !index) {
        Free(chunk);
        Free(buf);
        Free(index);
        return false;
    }
    if (p.count) std::memcpy(buf, p.buf, sizeof(PoolBuffer) * p.count);
    Free(p.buf);
    Free(p.index);
    p.buf = buf;
    p.index = index;
    p.mask = slots - 1;
    p.chunk[p.chunks++] = chunk;
    std::memset(index, 0, sizeof(uint16_t) * slots);
    for (unsigned b = 0; b < p.count; b++)
        if (buf[b].page) Index(p, uint16_t(b));
    for (unsigned i = 0; i < more; i++) {
        uint16_t b = uint16_t(p.count + i);
        buf[b].image = chunk + size_t(i) * kPageSize;
        buf[b].page = 0;
        std::memset(buf[b].image, 0, kHeaderSize);
        LinkLast(p, b);
    }
    p.count = n;
    return true;
}

} // namespace

void ReleaseBufferPool(VRBM_Db *db) {
    Pool &p = db->pool;
    for (unsigned i = 0; i < p.chunks; i++) Free(p.chunk[i]);
    Free(p.buf);
    Free(p.index);
    p = Pool{};
}

// Finds or loads the buffer of a page: a changed page from the dirty
// table, any other through the pool, whose buffers are all clean. A miss
// takes an empty buffer, grows the pool while it may, or reuses the least
// recently used buffer.
static uint8_t *Slot(VRBM_Db *db, unsigned page_no, uint32_t *err) {
    if (page_no == 0) return db->page0;
    if (db->dirty.count && !db->rolled_in_memory)
        if (uint8_t *d = DirtyFind(db, page_no)) return d;
    Pool &p = db->pool;
    uint16_t b = Find(p, page_no);
    if (b != kNoBuffer) {
        if (b != p.mru) {
            Unlink(p, b);
            LinkFirst(p, b);
        }
        return p.buf[b].image;
    }
    VR_ASSERT(p.count > 0);
    if (p.buf[p.lru].page && p.count < p.limit) {
        unsigned more = p.count < p.limit - p.count ? p.count : p.limit - p.count;
        Grow(p, more); // without memory the pool keeps its size
    }
    b = p.lru;
    Empty(p, b); // the buffer holds nothing until it is filled
    uint8_t *image = p.buf[b].image;
    if (!ReadImage(db, image, page_no)) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: failed to read page %u\n", page_no);
        *err = VRBM_E_IO;
        return nullptr;
    }
    if (const char *why = ValidatePage(image, page_no)) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: page %u is corrupt: %s\n", page_no, why);
        *err = VRBM_E_CORRUPT;
        return nullptr;
    }
    Page{image}.ResetDirty();
    p.buf[b].page = uint16_t(page_no);
    Index(p, b);
    Unlink(p, b);
    LinkFirst(p, b);
    return image;
}

uint8_t *FetchPage(VRBM_Db *db, unsigned page_no, uint32_t *err) {
    if (page_no > Page{db->page0}.Parent()) { // beyond the allocated pages
        *err = VRBM_E_CORRUPT;
        return nullptr;
    }
    return Slot(db, page_no, err);
}

static bool Saved(const VRBM_Db *db, unsigned page_no) {
    for (unsigned i = 0; i < db->undo_len; i++)
        if (db->undo[i].page == page_no) return true;
    return false;
}

static bool Save(VRBM_Db *db, unsigned page_no, const uint8_t *image, uint32_t *err) {
    if (db->undo_len == db->undo_cap) {
        unsigned cap = db->undo_cap ? db->undo_cap * 2 : 16;
        auto *u = static_cast<UndoEntry *>(Alloc(sizeof(UndoEntry) * cap));
        if (!u) {
            *err = VRBM_E_NOMEM;
            return false;
        }
        if (db->undo_len) std::memcpy(u, db->undo, sizeof(UndoEntry) * db->undo_len);
        Free(db->undo);
        db->undo = u;
        db->undo_cap = cap;
    }
    VR_ASSERT(db->undo_len < db->undo_cap);
    db->undo[db->undo_len].page = uint16_t(page_no);
    std::memcpy(db->undo[db->undo_len].image, image, kPageSize);
    db->undo_len++;
    return true;
}

uint8_t *ChangePage(VRBM_Db *db, unsigned page_no, uint32_t *err) {
    if (system::seam::Fails(system::seam::Point::PageChange, page_no)) {
        *err = VRBM_E_IO;
        return nullptr;
    }
    if (page_no > Page{db->page0}.Parent()) {
        *err = VRBM_E_CORRUPT;
        return nullptr;
    }
    uint8_t *held = page_no == 0 ? db->page0 : DirtyFind(db, page_no);
    uint8_t *b = held ? held : Slot(db, page_no, err);
    if (!b) {
        if (!*err) *err = VRBM_E_CORRUPT;
        return nullptr;
    }
    if (db->in_operation && (page_no == 0 || page_no <= db->last_at_start) && !Saved(db, page_no) &&
        !Save(db, page_no, b, err))
        return nullptr;
    if (!held) { // the clean copy in the pool makes way for the changed one
        uint8_t *copy = DirtyAdd(db, page_no);
        if (!copy) {
            *err = VRBM_E_NOMEM;
            return nullptr;
        }
        std::memcpy(copy, b, kPageSize);
        uint16_t slot = Find(db->pool, page_no);
        VR_ASSERT(slot != kNoBuffer && db->pool.buf[slot].image == b);
        Empty(db->pool, slot);
        b = copy;
    }
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
    VR_ASSERT(!DirtyFind(db, n)); // a page past the last one holds nothing yet
    uint8_t *b = DirtyAdd(db, n);
    if (!b) {
        *err = VRBM_E_NOMEM;
        return 0;
    }
    Page pg{b};
    pg.SetId(n);
    pg.SetType(type);
    pg.SetParent(parent);
    pg.SetDirty();
    Page{db->page0}.SetParent(n);
    return n;
}

uint32_t BeginOperation(VRBM_Db *db) {
    db->in_operation = true;
    db->undo_len = 0;
    db->last_at_start = Page{db->page0}.Parent();
    return 0;
}

void EndOperation(VRBM_Db *db, bool failed) {
    db->in_operation = false;
    if (failed) {
        unsigned reached = Page{db->page0}.Parent();
        for (unsigned i = 0; i < db->undo_len; i++) {
            const UndoEntry &e = db->undo[i];
            uint8_t *b = e.page == 0 ? db->page0 : DirtyFind(db, e.page);
            if (!b) continue; // never copied, so never changed
            std::memcpy(b, e.image, kPageSize);
            // A page that was clean before is the file's again.
            if (e.page != 0 && !Page{b}.Dirty()) DirtyDrop(db, e.page);
        }
        // Pages allocated by the failed operation are forgotten.
        for (unsigned n = Page{db->page0}.Parent() + 1; n <= reached; n++) DirtyDrop(db, n);
    }
    db->undo_len = 0;
}

bool InitializeBufferPool(VRBM_Db *db, unsigned count, unsigned limit, unsigned pages) {
    VR_ASSERT(count >= 1 && count <= limit && limit <= kWriterPool);
    Pool &p = db->pool;
    p.limit = limit;
    if (!Grow(p, count)) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: malloc failed in InitializeBufferPool\n");
        return false;
    }
    if (pages == 0) return true;
    if (!ReadImage(db, db->page0, 0)) {
        LOG_CondMessage(5, "vrbm", __LINE__,
                        "VRBM: InitializeBufferPool(), failed read the file\n");
        return false;
    }
    if (const char *why = ValidatePage(db->page0, 0)) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: page 0 is corrupt: %s\n", why);
        return false;
    }
    Page{db->page0}.ResetDirty();
    unsigned last_node = Page{db->page0}.Parent();
    unsigned preload = pages - 1 < count ? pages - 1 : count;
    if (preload > last_node) preload = last_node;
    // Buffer i takes page i + 1; the first ones count as the most recent.
    for (unsigned i = preload; i-- > 0;) {
        uint16_t b = uint16_t(i);
        uint8_t *image = p.buf[b].image;
        if (!ReadImage(db, image, i + 1)) {
            LOG_CondMessage(5, "vrbm", __LINE__,
                            "VRBM: InitializeBufferPool(), failed read the file\n");
            return false;
        }
        // A page that is not a valid node is left out; it is reported
        // when the tree reaches it.
        if (ValidatePage(image, i + 1)) {
            std::memset(image, 0, kHeaderSize);
            continue;
        }
        Page{image}.ResetDirty();
        p.buf[b].page = uint16_t(i + 1);
        Index(p, b);
        Unlink(p, b);
        LinkFirst(p, b);
    }
    return true;
}

} // namespace vrcore::btree

using namespace vrcore::btree;

static void Release(VRBM_Db *db) {
    if (db->fd >= 0) vrcore::system::seam::CurrentIo().close(db->fd);
    ReleaseBufferPool(db);
    Free(db->undo);
    DirtyClear(db);
    db->~VRBM_Db();
    Free(db);
}

// Releases a handle that could not be opened; errno tells why.
static VRBM_Db *Refuse(VRBM_Db *db, int err) {
    if (db) Release(db);
    errno = err;
    return nullptr;
}

namespace vrcore::btree {

VRBM_Db *OpenDb(const char *path, int32_t flags, int32_t whole_file, Recovery how,
                JournalInfo *found) {
    if (!path) return Refuse(nullptr, EINVAL);
    flags |= VRBM_BINARY;
    unsigned acc = flags & VRBM_ACCMODE;
    bool create = (flags & VRBM_CREAT) != 0;
    if (create) { // a created database is always open for reading and writing
        flags = (flags & ~VRBM_ACCMODE) | VRBM_RDWR;
        acc = VRBM_RDWR;
    }
    if (acc == VRBM_WRONLY || acc == 3) return Refuse(nullptr, EINVAL);
    void *mem = Alloc(sizeof(VRBM_Db));
    if (!mem) {
        LOG_CondMessage(5, "vrbm", __LINE__, "!!!!! VRBM: malloc failed in OpenDB\n");
        return Refuse(nullptr, ENOMEM);
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
        return Refuse(db, ENOMEM);
    }
    // The portable notation ("C|/dir") becomes the native one.
    char *native = nullptr;
    size_t native_len = 0;
    if (FA_ConvertFilePath(file.c_str(), file.size() + 1, &native, &native_len) != 0) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: FA_ConvertFilePath() failed !!\n");
        return Refuse(db, EINVAL);
    }
    try {
        db->file = native;
        db->journal_file = db->file + "-journal";
    } catch (...) {
        FA_FreeFilePath(native);
        return Refuse(db, ENOMEM);
    }
    FA_FreeFilePath(native);
    const system::seam::Io &io = system::seam::CurrentIo();
    int oflags = (acc == VRBM_RDWR ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK;
    db->fd = io.open(db->file.c_str(), oflags | (create ? O_CREAT : 0), 0666);
    struct stat st;
    if (db->fd < 0 || io.fstat(db->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int e = db->fd < 0 ? errno : EINVAL;
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: cannot open %s (errno %d)\n", db->file.c_str(),
                        e);
        return Refuse(db, e);
    }
    if (acc == VRBM_RDWR)
        if (int e = HoldForWriting(db, oflags | (create ? O_CREAT : 0))) {
            LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: %s cannot be held for writing (errno %d)\n",
                            db->file.c_str(), e);
            return Refuse(db, e);
        }
    // Whatever a dead writer left is settled first; the locks keep out a
    // write-back of another process while page 0 and the preload are read.
    if (int e = Settle(db, how, found, create ? F_WRLCK : F_RDLCK)) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: %s: %s\n", db->file.c_str(),
                        e == EAGAIN ? "locked by a write-back beyond the wait"
                                    : "an unfinished write-back cannot be rolled back");
        return Refuse(db, e);
    }
    unsigned count = 10, limit = kWriterPool, pages = 0;
    if (create) {
        if (io.ftruncate(db->fd, 0) != 0) {
            int e = errno;
            Unlock(db->fd);
            return Refuse(db, e);
        }
    } else {
        if (io.fstat(db->fd, &st) != 0) st.st_size = 0;
        uint64_t size = db->rolled_in_memory ? db->read_limit : uint64_t(st.st_size);
        uint64_t pg = (size + kPageSize - 1) / kPageSize;
        if (pg > uint64_t(kMaxPageNo) + 1) pg = uint64_t(kMaxPageNo) + 1;
        pages = unsigned(pg);
        if (acc == VRBM_RDONLY && whole_file == 1) {
            if (pages > kMaxPool) {
                LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: %s is too large to load whole\n",
                                db->file.c_str());
                Unlock(db->fd);
                return Refuse(db, EFBIG);
            }
            count = limit = pages ? pages : 1;
        } else if (acc == VRBM_RDONLY) {
            count = limit = 1;
        }
    }
    bool ready = InitializeBufferPool(db, count, limit, pages);
    Unlock(db->fd);
    if (!ready) return Refuse(db, db->pool.count ? EIO : ENOMEM);
    if (create) Page{db->page0}.SetDirty(); // the empty root is written at close
    if (acc == VRBM_RDWR) {                 // room to undo a typical change
        db->undo = static_cast<UndoEntry *>(Alloc(sizeof(UndoEntry) * 8));
        if (!db->undo) return Refuse(db, ENOMEM);
        db->undo_cap = 8;
    }
    return db;
}

} // namespace vrcore::btree

extern "C" VR_EXPORT VRBM_Db *VRBM_open(const char *path, int32_t flags, int32_t mode,
                                        int32_t whole_file) try {
    (void)mode;
    LOG_CondFuncTrace("VRBM_open()", "vrbm", __LINE__, 1, nullptr);
    return OpenDb(path, flags, whole_file, Recovery::kRollBack, nullptr);
}
VR_CATCH_ERRNO(nullptr)

extern "C" VR_EXPORT uint32_t VRBM_sync(VRBM_Db *db) try {
    if (!db || db->magic != kMagic) return VRBM_E_BADHANDLE;
    std::lock_guard<std::mutex> g(db->lock);
    if ((db->flags & VRBM_ACCMODE) != VRBM_RDWR) return VRBM_E_READONLY;
    return WriteBack(db) ? 0 : VRBM_E_IO;
}
VR_CATCH_CODE(VRBM_E_NOMEM, VRBM_E_INTERNAL)

extern "C" VR_EXPORT void VRBM_close(VRBM_Db *db) try {
    LOG_CondFuncTrace("VRBM_close()", "vrbm", __LINE__, 1, nullptr);
    if (!db || db->magic != kMagic) return;
    {
        std::lock_guard<std::mutex> g(db->lock);
        if (!WriteBack(db))
            LOG_CondMessage(5, "vrbm", __LINE__,
                            "VRBM: %s: the changes of this session could not be written\n",
                            db->file.c_str());
        if (db->fd >= 0 && vrcore::system::seam::CurrentIo().close(db->fd) != 0)
            LOG_CondMessage(5, "vrbm", __LINE__, "!!!!! VRBM: Error in closing database file\n");
        db->fd = -1;
        db->magic = 0;
    }
    Release(db);
}
VR_CATCH_VOID
