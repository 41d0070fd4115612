// Internal interface of the B-tree database: page layout, the handle and
// its page cache, the tree routines and the checker.
#pragma once

#include "system/seam.h"
#include "vrcore/vrbm.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace vrcore::btree {

constexpr unsigned kPageSize = 1024;
constexpr unsigned kMaxEntries = 32;
constexpr unsigned kHeaderSize = 76;  // flags, last, nodeId, used, parent, itemOffset[32]
constexpr unsigned kChildOffset = 76; // childNode[33] of inner and root nodes
constexpr unsigned kInnerArea = 144;  // entry area of inner and root nodes
constexpr unsigned kInnerAreaSize = 880;
constexpr unsigned kLeafArea = 76;
constexpr unsigned kLeafAreaSize = 948;
constexpr unsigned kMaxPool = 124;     // buffers of a pool sized at open
constexpr unsigned kWriterPool = 8192; // buffers a writer's pool may grow to
constexpr unsigned kMaxPageNo = 0xFFFF;
constexpr unsigned kMaxDepth = 24; // far beyond what 65536 pages can build

enum NodeType : unsigned { kRoot = 0, kInner = 1, kLeaf = 2 };

inline uint16_t Get16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
inline void Put16(uint8_t *p, unsigned v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline uint32_t Get32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void Put32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}

// Field access on a raw page image.
struct Page {
    uint8_t *b;
    unsigned Type() const { return (Get32(b) >> 2) & 0x3F; }
    unsigned Last() const { return Get16(b + 4); } // validated pages: 0..32
    unsigned Id() const { return Get16(b + 6); }
    unsigned Used() const { return Get16(b + 8); }
    unsigned Parent() const { return Get16(b + 10); } // lastNodeId in page 0
    unsigned Offset(unsigned i) const { return Get16(b + 12 + 2 * i); }
    unsigned Child(unsigned i) const { return Get16(b + kChildOffset + 2 * i); }
    bool IsLeaf() const { return Type() == kLeaf; }
    uint8_t *Area() const { return b + (IsLeaf() ? kLeafArea : kInnerArea); }
    unsigned AreaSize() const { return IsLeaf() ? kLeafAreaSize : kInnerAreaSize; }
    // Key of entry i (validated pages only).
    const uint8_t *Key(unsigned i, unsigned *len) const {
        const uint8_t *e = Area() + Offset(i);
        *len = Get16(e);
        return e + 2;
    }
    const uint8_t *Data(unsigned i, unsigned *len) const {
        unsigned kl;
        const uint8_t *k = Key(i, &kl);
        const uint8_t *d = k + kl + (kl & 1);
        *len = Get16(d);
        return d + 2;
    }
    void SetType(unsigned t) { Put32(b, (Get32(b) & ~0xFCu) | (t << 2)); }
    void SetLast(unsigned v) { Put16(b + 4, v); }
    void SetId(unsigned v) { Put16(b + 6, v); }
    void SetUsed(unsigned v) { Put16(b + 8, v); }
    void SetParent(unsigned v) { Put16(b + 10, v); }
    void SetOffset(unsigned i, unsigned v) { Put16(b + 12 + 2 * i, v); }
    void SetChild(unsigned i, unsigned v) { Put16(b + kChildOffset + 2 * i, v); }
    bool Dirty() const { return (Get32(b) & 3) != 0; }
    void SetDirty() { Put32(b, (Get32(b) & ~3u) | 1u); }
    void ResetDirty() { Put32(b, Get32(b) & ~3u); }
};

inline unsigned RecordSize(unsigned len) { return 2 + len + (len & 1); }

// Checks that a page image is a node that can be trusted: its own number,
// a node type fitting its place, entries packed and within the area, key
// and item lengths within the limits. Returns nullptr or the fault.
const char *ValidatePage(const uint8_t *image, unsigned page_no);

// The memory of handles, pools, page copies and match lists, and every
// file access of the module, pass the test seam.
namespace seam = vrcore::system::seam;
inline void *Alloc(size_t n) { return system::seam::Alloc(system::seam::Module::Btree, n); }
inline void Free(void *p) { system::seam::Release(system::seam::Module::Btree, p); }

// Without durability a write-back writes the pages in place without a
// journal and without syncing (the benchmark's baseline only).
void SetDurability(bool on);

// Saved page images of the write operation in progress.
struct UndoEntry {
    uint16_t page;
    uint8_t image[kPageSize];
};

// Modified pages, held in memory until the next write-back: a two-level
// table indexed by page number.
constexpr unsigned kDirtyBlock = 256;
struct DirtyTable {
    uint8_t **block[(kMaxPageNo + 1) / kDirtyBlock];
    unsigned count;
};

// The pool of clean page buffers: an index by page number and a list of
// the buffers from the most to the least recently used. The pool of a
// handle that writes grows on demand up to kWriterPool buffers: it is the
// only writer of the file, so nothing it holds goes stale. Any other pool
// keeps the size it opened with, and sees another process's write-backs
// page by page.
constexpr uint16_t kNoBuffer = 0xFFFF;
struct PoolBuffer {
    uint8_t *image;
    uint16_t page; // 0: empty
    uint16_t newer, older;
};
struct Pool {
    unsigned count = 0, limit = 0; // buffers held, and allowed
    PoolBuffer *buf = nullptr;
    uint16_t mru = kNoBuffer, lru = kNoBuffer;
    uint16_t *index = nullptr; // open addressing by page: buffer + 1, 0 free
    unsigned mask = 0;
    uint8_t *chunk[16] = {}; // the buffers' memory
    unsigned chunks = 0;
};

} // namespace vrcore::btree

struct VRBM_Db {
    uint32_t magic;
    int fd;
    int32_t flags;
    uint8_t page0[vrcore::btree::kPageSize];
    vrcore::btree::Pool pool;
    std::mutex lock;
    // Undo log of the running store or delete.
    vrcore::btree::UndoEntry *undo;
    unsigned undo_len, undo_cap;
    bool in_operation;
    unsigned last_at_start; // lastNodeId when the operation began
    vrcore::btree::DirtyTable dirty;
    // Checker's view of an unfinished write-back: the dirty table holds
    // the journal's images, the file ends at readLimit.
    bool rolled_in_memory;
    uint64_t read_limit;
    std::string file, journal_file; // native paths
};

namespace vrcore::btree {

constexpr uint32_t kMagic = 0x5652424Du;

bool Writable(const VRBM_Db *db);
// The page image, or nullptr (with the reason in *err) when the file could
// not be read or the page is not a valid node.
uint8_t *FetchPage(VRBM_Db *db, unsigned page_no, uint32_t *err);
// Makes a page writable within the running operation (journals it first).
// Returns nullptr (and sets *err) on failure.
uint8_t *ChangePage(VRBM_Db *db, unsigned page_no, uint32_t *err);
// Allocates a new page of the type under the parent; 0 and *err on failure.
unsigned GetNewPage(VRBM_Db *db, unsigned type, unsigned parent, uint32_t *err);
// Sets up a pool of count buffers that may grow to limit, and reads page 0
// and up to count further pages of a file of `pages` pages.
bool InitializeBufferPool(VRBM_Db *db, unsigned count, unsigned limit, unsigned pages);
void ReleaseBufferPool(VRBM_Db *db);
bool ReadImage(VRBM_Db *db, uint8_t *image, unsigned page_no);

// The dirty table: the page's modified copy or nullptr; a new zeroed
// copy (nullptr when out of memory); dropping one; dropping all.
uint8_t *DirtyFind(const VRBM_Db *db, unsigned page_no);
uint8_t *DirtyAdd(VRBM_Db *db, unsigned page_no);
void DirtyDrop(VRBM_Db *db, unsigned page_no);
void DirtyClear(VRBM_Db *db);

// Writes every modified page to the file, all or nothing across crashes:
// the original images go to the journal first. False when the pages could
// not all be written (the file is then as it was, or the next opener puts
// it back).
bool WriteBack(VRBM_Db *db);

// The journal beside a database file.
enum class JournalState { kNone, kIncomplete, kValid, kUnreadable };
struct JournalInfo {
    JournalState state = JournalState::kNone;
    uint64_t size = 0;  // the file's size before the write-back
    unsigned pages = 0; // original images it holds
};
// Reads and verifies a journal; with visit, hands each image of a valid
// one to it (a false return stops and makes the result kUnreadable).
JournalInfo ReadJournal(const std::string &path,
                        bool (*visit)(void *ctx, unsigned page, const uint8_t *image) = nullptr,
                        void *ctx = nullptr);
// How an opener treats a journal left by an unfinished write-back.
enum class Recovery { kRollBack, kInMemory };
// VRBM_open with the choice of recovery; *found receives the journal seen.
VRBM_Db *OpenDb(const char *path, int32_t flags, int32_t whole, Recovery how, JournalInfo *found);
// Makes a freshly opened descriptor ready to read: waits (bounded) for a
// write-back in progress, rolls back or removes what a dead one left and
// returns 0 holding a lock of lockType on db->fd, or an errno value.
int Settle(VRBM_Db *db, Recovery how, JournalInfo *found, short lock_type);
// A handle that writes holds a shared flock on its file while it is open;
// compaction takes it exclusively. Takes it on db->fd (waiting at most as
// long as for a write-back) and makes sure the descriptor still is the
// file of that name, opening it again with oflags when compaction replaced
// it meanwhile. 0 or an errno value (EAGAIN: held beyond the wait).
int HoldForWriting(VRBM_Db *db, int oflags);
// Lock of the whole file with a bounded wait; Unlock drops it.
bool LockWait(int fd, short type);
void Unlock(int fd);

// Starts and ends a store or delete: a failed operation is undone.
uint32_t BeginOperation(VRBM_Db *db);
void EndOperation(VRBM_Db *db, bool failed);

// Exact comparison of a search key with a stored key: <0, 0, >0.
// Eight bytes at a time as big-endian words, whose order is the bytes'.
inline int CompareKeys(const uint8_t *a, unsigned al, const uint8_t *b, unsigned bl) {
    unsigned n = al < bl ? al : bl, i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x == y) continue;
        if constexpr (std::endian::native == std::endian::little) {
            x = __builtin_bswap64(x);
            y = __builtin_bswap64(y);
        }
        return x < y ? -1 : 1;
    }
    for (; i < n; i++)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return al < bl ? -1 : al > bl ? 1 : 0;
}

// The first entry of a validated page whose key is not below the search
// key (Last() when there is none), by halving: a page's keys ascend.
// *equal tells whether that entry holds the key itself.
inline unsigned LowerBound(const Page &pg, const uint8_t *key, unsigned kl, bool *equal) {
    const uint8_t *area = pg.Area();
    unsigned lo = 0, hi = pg.Last();
    int at_hi = 1; // comparison with the entry at hi
    while (lo < hi) {
        unsigned mid = (lo + hi) / 2;
        const uint8_t *e = area + pg.Offset(mid);
        int c = CompareKeys(key, kl, e + 2, Get16(e));
        if (c > 0) {
            lo = mid + 1;
        } else {
            hi = mid;
            at_hi = c;
        }
    }
    *equal = lo < pg.Last() && at_hi == 0;
    return lo;
}

// Tree operations (the caller holds the handle's lock).
uint32_t AddItem(VRBM_Db *db, const uint8_t *key, unsigned kl, const uint8_t *data, unsigned dl,
                 bool replace);
uint32_t RemoveItem(VRBM_Db *db, const uint8_t *key, unsigned kl);

// Position of a search: page and index (0xFFFF: none).
struct Position {
    unsigned page;
    unsigned index;
};
// Exact search; *err is set for a corrupt or unreadable file.
Position Search(VRBM_Db *db, const uint8_t *key, unsigned kl, uint32_t *err);

// Calls visit(key, key length, data, data length) for every item in key
// order until it returns false. Returns 0 or the fault met on the way.
uint32_t ForEach(VRBM_Db *db,
                 bool (*visit)(void *ctx, const uint8_t *key, unsigned kl, const uint8_t *data,
                               unsigned dl),
                 void *ctx);

// The checker: verifies every invariant of the file behind an open handle
// and returns an empty string or a description of the first fault.
// With dump, a listing of every reachable node is appended to *dump.
std::string CheckTree(VRBM_Db *db, std::string *dump = nullptr, unsigned long *items = nullptr);
// The checking tool: checks "<path>.dbm" as it is, or, when a write-back
// was left unfinished, as it is once rolled back (with repair the roll
// back is written first). Appends the report to *out; returns the exit
// status (0 valid, 1 a fault, 2 cannot be opened).
int CheckFile(const std::string &path, bool dump, bool repair, std::string *out);
// Offline compaction of "<path>.dbm": refused while a writer has the file
// open; an unfinished write-back is rolled back first; a file with a fault
// is left alone. The reachable pages are renumbered level by level in key
// order into a new file that is synced, checked and renamed over the old
// one, so a crash at any instant leaves the old file or the new one.
// Appends the report to *out; returns the exit status (0 compacted or
// nothing to reclaim, 1 a fault was found, 2 cannot be opened or
// written, 3 a writer has the file open).
int CompactFile(const std::string &path, std::string *out);

} // namespace vrcore::btree
