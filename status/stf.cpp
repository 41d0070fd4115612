// Status lists: creation, chaining, entries with typed arguments.

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "system/guard.h"
#include "status/stf_internal.h"
#include "system/vr_assert.h"
#include "system/seam.h"

namespace vrcore::status {
namespace {

inline uint8_t *Base(STF_List *l) { return reinterpret_cast<uint8_t *>(l); }
inline const uint8_t *Base(const STF_List *l) { return reinterpret_cast<const uint8_t *>(l); }
inline ListHeader *Hdr(STF_List *l) { return reinterpret_cast<ListHeader *>(l); }
inline const ListHeader *Hdr(const STF_List *l) { return reinterpret_cast<const ListHeader *>(l); }
// An entry lies wholly inside the block's entry area.
inline bool InArea(const STF_List *l, uint32_t off) {
    return off >= Hdr(l)->area_start && off + sizeof(EntryHeader) <= Hdr(l)->block_size;
}
inline EntryHeader *Entry(STF_List *l, uint32_t off) {
    VR_ASSERT(InArea(l, off));
    return reinterpret_cast<EntryHeader *>(Base(l) + off);
}
inline const EntryHeader *Entry(const STF_List *l, uint32_t off) {
    VR_ASSERT(InArea(l, off));
    return reinterpret_cast<const EntryHeader *>(Base(l) + off);
}

inline bool IsStatic(const STF_List *l) { return (Hdr(l)->flags & kListFlagStatic) != 0; }

// Offset where the newest entry's argument data begins (the lowest byte in
// use), or the end of the block when the list is empty.
uint32_t UsedFloor(const STF_List *l) {
    const ListHeader *h = Hdr(l);
    if (h->head == 0) return h->block_size;
    const EntryHeader *e = Entry(l, h->head);
    return h->head - e->arg_bytes;
}

// Highest 8-byte-aligned offset at which 28 bytes end at or below `limit`.
inline uint32_t PlaceBelow(uint32_t limit) {
    return (limit - static_cast<uint32_t>(sizeof(EntryHeader))) & ~7u;
}

// The fallback list: one static entry, code "not enough memory".
struct alignas(8) FallbackBlock {
    ListHeader header;
    uint8_t pad[8];
    EntryHeader entry;
    uint8_t tail[3];
};
static_assert(sizeof(FallbackBlock) >= 71);

const FallbackBlock kFallback = {
    {40, 1, static_cast<uint16_t>(kListFlagStatic), 71, 32, 0, nullptr, nullptr},
    {},
    {0, STF_KIND_STATUS, STF_S_NOMEM, STF_ENTRY_STATIC, 0, 0, 0},
    {},
};

// One argument group read from the variable arguments.
struct Group {
    uint32_t kind = 0;
    uint32_t code = 0;
    int32_t count = 0;
    int kept = 0;          // records read into `args` (at most nine)
    bool too_many = false; // more than nine were given
    uint32_t bytes = 0;    // records plus referenced data of kept arguments
    STF_ArgRecord args[STF_MAX_ARGS]{};
};

// Reads `g.count` arguments. Returns false on an argument of unknown type.
bool ReadArgs(Group &g, va_list &ap) {
    for (int32_t i = 0; i < g.count; ++i) {
        STF_ArgRecord r{};
        r.type = static_cast<uint32_t>(va_arg(ap, int));
        switch (r.type) {
        case STF_ARG_CHAR:
            r.length = 1;
            r.value.c = static_cast<char>(va_arg(ap, int));
            break;
        case STF_ARG_INT:
            r.length = 4;
            r.value.i = va_arg(ap, int32_t);
            break;
        case STF_ARG_DOUBLE:
            r.length = 8;
            r.value.d = va_arg(ap, double);
            break;
        case STF_ARG_STRING: {
            const char *s = va_arg(ap, const char *);
            r.value.p = s;
            // A null string is recorded as an absent value of length 0.
            r.length = s ? static_cast<uint32_t>(std::strlen(s) + 1) : 0;
            if (r.length > 0xFFFF) r.length = 0xFFFF + 1; // cannot fit any block
            break;
        }
        case STF_ARG_COUNTED: {
            int len = va_arg(ap, int);
            const void *p = va_arg(ap, const void *);
            r.value.p = p;
            r.length = (p && len > 0) ? static_cast<uint32_t>(len) : 0;
            if (r.length > 0xFFFF) r.length = 0xFFFF + 1;
            break;
        }
        default: return false;
        }
        if (g.kept < STF_MAX_ARGS) {
            g.args[g.kept++] = r;
            g.bytes += 16;
            if (r.type & 0x8000) g.bytes += r.length;
        } else {
            g.too_many = true;
        }
    }
    return true;
}

// Drops the arguments of the newest entries until 28 bytes are free, then
// moves the entries whose arguments went up against the entries above them.
void DiscardArguments(STF_List *l) {
    ListHeader *h = Hdr(l);
    const uint32_t start = h->area_start;
    // Collect the chain newest first.
    uint32_t chain[kMaxEntries + 1];
    uint32_t n = 0;
    for (uint32_t off = h->head; off != 0 && n <= kMaxEntries; off = Entry(l, off)->next)
        chain[n++] = off;
    // Discard newest first until the room that compaction would give is enough.
    uint32_t k = 0;
    for (; k < n; ++k) {
        EntryHeader *e = Entry(l, chain[k]);
        e->flags |= STF_ENTRY_ARGS_LOST;
        e->arg_count = -1;
        e->args = 0;
        e->arg_bytes = 0;
        // Floor after compaction of entries 0..k: below the data of entry k+1.
        uint32_t limit =
            (k + 1 < n) ? chain[k + 1] - Entry(l, chain[k + 1])->arg_bytes : h->block_size;
        for (uint32_t j = k + 1; j-- > 0;) limit = PlaceBelow(limit);
        if (limit >= start + sizeof(EntryHeader)) break;
    }
    VR_ASSERT(n > 0); // a full list holds entries
    if (k == n) k = n - 1;
    // Re-place entries k..0 (oldest of the stripped ones first) upward.
    uint32_t limit = (k + 1 < n) ? chain[k + 1] - Entry(l, chain[k + 1])->arg_bytes : h->block_size;
    uint32_t older = (k + 1 < n) ? chain[k + 1] : 0;
    for (uint32_t j = k + 1; j-- > 0;) {
        uint32_t at = PlaceBelow(limit);
        VR_ASSERT(at >= start);
        EntryHeader tmp;
        std::memcpy(&tmp, Entry(l, chain[j]), sizeof tmp);
        tmp.next = older;
        std::memcpy(Entry(l, at), &tmp, sizeof tmp);
        older = at;
        limit = at;
    }
    h->head = older;
}

// Adds one entry; the arguments were read already.
void AddEntry(STF_List *l, const Group &g) {
    ListHeader *h = Hdr(l);
    if (g.kind == STF_KIND_STATUS && g.code == 0) {
        h->head = 0;
        return;
    }
    const uint32_t start = h->area_start;
    auto room = [&] { return UsedFloor(l) >= start + sizeof(EntryHeader) ? true : false; };
    if (!room()) {
        if (EntryCount(l) >= h->max_entries) {
            h->head = Entry(l, h->head)->next; // the newest entry gives way
        } else {
            DiscardArguments(l);
        }
    }
    const uint32_t at = PlaceBelow(UsedFloor(l));
    // The new entry goes below everything in use and above the header.
    VR_ASSERT(at >= start && at + sizeof(EntryHeader) <= UsedFloor(l));
    EntryHeader *e = Entry(l, at);
    e->next = h->head;
    e->kind = g.kind;
    e->code = g.code;
    e->flags = 0;
    e->arg_count = g.count;
    e->args = 0;
    e->arg_bytes = 0;
    h->head = at;

    const bool fits = at - start >= g.bytes && !g.too_many;
    if (!fits) {
        e->flags |= STF_ENTRY_ARGS_LOST;
        e->arg_count = -1;
        return;
    }
    if (g.count < 1) return;
    uint32_t rec = at - 16u * static_cast<uint32_t>(g.kept);
    uint32_t data = rec;
    auto *records = reinterpret_cast<STF_ArgRecord *>(Base(l) + rec);
    for (int i = 0; i < g.kept; ++i) {
        STF_ArgRecord r = g.args[i];
        if (r.type & 0x8000) {
            data -= r.length;
            if (r.length) std::memcpy(Base(l) + data, r.value.p, r.length);
            r.value.p = r.length ? Base(l) + data : nullptr;
        }
        std::memcpy(&records[i], &r, sizeof r);
    }
    VR_ASSERT(data >= start); // the copied arguments stay inside the area
    e->args = rec;
    e->arg_bytes = g.bytes;
}

// Reads one group of an environment chain. False at the end of the chain
// (kind 0) and on an argument of unknown type, which sets `bad`.
bool ReadGroup(Group &g, va_list &ap, bool &bad) {
    g = Group{};
    g.kind = static_cast<uint32_t>(va_arg(ap, int));
    if (g.kind == 0) return false;
    g.code = va_arg(ap, uint32_t);
    g.count = va_arg(ap, int32_t);
    if (ReadArgs(g, ap)) return true;
    bad = true;
    return false;
}

// Entries without arguments that an empty list has room for.
uint32_t Slots(const STF_List *l) {
    const ListHeader *h = Hdr(l);
    return (PlaceBelow(h->block_size) - h->area_start) / 32 + 1;
}

// Adds the entries of an environment chain, its last group (the oldest
// cause) first. A group that clears the list makes the groups after it
// moot: the list is cleared and the chain ends there. Of a chain longer
// than the list has room for, the oldest groups are kept; the newest
// causes, just below the main entry, would give way to it anyway.
// False, and nothing added, on an argument of unknown type anywhere.
bool AddChain(STF_List *l, va_list &ap) {
    uint32_t n = 0;
    bool clears = false, bad = false;
    Group g;
    va_list scan;
    va_copy(scan, ap);
    while (ReadGroup(g, scan, bad)) {
        if (clears) continue;
        if (g.kind == STF_KIND_STATUS && g.code == 0)
            clears = true;
        else
            ++n;
    }
    va_end(scan);
    if (bad) return false;
    if (clears) Hdr(l)->head = 0;

    // The kept groups are read forward in runs, marking where each run
    // starts, and added run by run from the last, each from its end.
    constexpr uint32_t kRun = 32;
    constexpr uint32_t kMaxRuns = (kMaxEntries + 1 + kRun - 1) / kRun;
    const uint32_t keep = n < Slots(l) - 1 ? n : Slots(l) - 1;
    for (uint32_t i = keep; i < n; ++i) ReadGroup(g, ap, bad);
    const uint32_t runs = (keep + kRun - 1) / kRun;
    va_list marks[kMaxRuns];
    for (uint32_t r = 0; r < runs; ++r) {
        va_copy(marks[r], ap);
        for (uint32_t i = r * kRun; i < keep && i < (r + 1) * kRun; ++i) ReadGroup(g, ap, bad);
    }
    Group run[kRun];
    for (uint32_t r = runs; r-- > 0;) {
        uint32_t m = 0;
        while (m < kRun && r * kRun + m < keep) ReadGroup(run[m++], marks[r], bad);
        va_end(marks[r]);
        while (m-- > 0) AddEntry(l, run[m]);
    }
    return true;
}

// Reads a main group and, when `chained`, its environment chain, then adds
// the entries: the chain's first, the main entry last.
void AddGroups(STF_List *l, uint32_t code, int32_t count, va_list &ap, bool chained) {
    Group g;
    g.kind = STF_KIND_STATUS;
    g.code = code;
    g.count = count;
    if (!ReadArgs(g, ap)) return;
    if (chained && !AddChain(l, ap)) return;
    AddEntry(l, g);
}

} // namespace

STF_List *FallbackList() {
    return reinterpret_cast<STF_List *>(const_cast<FallbackBlock *>(&kFallback));
}

uint32_t EntryCount(const STF_List *l) {
    uint32_t n = 0;
    if (!l) return 0;
    for (uint32_t off = Hdr(l)->head; off != 0; off = Entry(l, off)->next) ++n;
    return n;
}

uint32_t FreeSpace(const STF_List *l) { return UsedFloor(l) - Hdr(l)->area_start; }
STF_List *Subordinate(const STF_List *l) { return Hdr(l)->subordinate; }
STF_List *Parent(const STF_List *l) { return Hdr(l)->parent; }

} // namespace vrcore::status

using namespace vrcore::status;

extern "C" {

void *_STF__Malloc(size_t size, uint32_t) {
    return vrcore::system::seam::Alloc(vrcore::system::seam::Module::Status, size);
}

void _STF__Free(void *p) { vrcore::system::seam::Release(vrcore::system::seam::Module::Status, p); }

VR_EXPORT STF_List *STF_CreateList(STF_List *parent) try {
    return STF_CreateListExplicit(parent, 0, 0);
}
VR_CATCH_RETURN(FallbackList())

VR_EXPORT STF_List *STF_CreateListExplicit(STF_List *parent, uint32_t max_entries,
                                           uint32_t block_size) try {
    uint32_t max = max_entries;
    if (max_entries == 0 && block_size == 0)
        max = kDefaultMax;
    else if (max == 0)
        max = 1;
    if (max > kMaxEntries) max = kMaxEntries;
    uint32_t size = block_size == 0 ? kDefaultBlock : block_size;
    if (size < kMinBlock) size = kMinBlock;
    if (size < max * 32 + 39) size = max * 32 + 39;
    if (size > kMaxBlock) size = kMaxBlock;
    VR_ASSERT(max >= 1 && max <= kMaxEntries && size >= kMinBlock && size >= max * 32 + 39);

    void *block = _STF__Malloc(size, kTagListBlock);
    if (!block) return FallbackList();
    std::memset(block, 0, sizeof(ListHeader));
    auto *l = static_cast<STF_List *>(block);
    ListHeader *h = Hdr(l);
    h->max_entries = static_cast<uint16_t>(max);
    h->block_size = size;
    h->area_start = 32;
    if (parent && !IsStatic(parent) && Hdr(parent)->subordinate == nullptr) {
        Hdr(parent)->subordinate = l;
        h->parent = parent;
    }
    return l;
}
VR_CATCH_RETURN(FallbackList())

VR_EXPORT void STF_DeleteList(STF_List *list) try {
    if (!list) return;
    if (Hdr(list)->subordinate) STF_DeleteList(Hdr(list)->subordinate);
    if (IsStatic(list)) return;
    if (STF_List *p = Hdr(list)->parent) Hdr(p)->subordinate = Hdr(list)->subordinate;
    _STF__Free(list);
}
VR_CATCH_VOID

VR_EXPORT STF_List *STF_ClearStatus(STF_List *list) try {
    if (list && !IsStatic(list)) Hdr(list)->head = 0;
    return list;
}
VR_CATCH_RETURN(list)

VR_EXPORT uint32_t STF_GetStatus(const STF_List *list) try {
    if (!list) return STF_S_NULLLIST;
    const ListHeader *h = Hdr(list);
    return h->head ? Entry(list, h->head)->code : 0;
}
VR_CATCH_RETURN(STF_S_INTERNAL)

VR_EXPORT void STF_AddStatus(STF_List *list, uint32_t code, int32_t arg_count, ...) try {
    if (!list || IsStatic(list)) return;
    va_list ap;
    va_start(ap, arg_count);
    AddGroups(list, code, arg_count, ap, false);
    va_end(ap);
}
VR_CATCH_VOID

VR_EXPORT void STF_AddEnvStatus(STF_List *list, uint32_t code, int32_t arg_count, ...) try {
    if (!list || IsStatic(list)) return;
    va_list ap;
    va_start(ap, arg_count);
    AddGroups(list, code, arg_count, ap, true);
    va_end(ap);
}
VR_CATCH_VOID

VR_EXPORT void STF_AddEnvStatusByArray(STF_List *list, uint32_t, const void *) try {
    STF_AddStatus(list, STF_S_NOTSUPP, 0);
}
VR_CATCH_VOID

VR_EXPORT void STF_ConvertErrno(STF_List *list, int error_number, const char *text) try {
    STF_AddEnvStatus(list, STF_S_SYSERR, 2, STF_ARG_INT, error_number, STF_ARG_STRING, text,
                     STF_KIND_ERRNO, static_cast<uint32_t>(error_number), 0, 0);
}
VR_CATCH_VOID

VR_EXPORT uint32_t STF_GetObjectInfo(const STF_List *list, uint32_t index,
                                     STF_ObjectInfo *info) try {
    if (!list) return STF_S_NULLLIST;
    if (index == 0) return STF_S_NOENTRY;
    uint32_t off = Hdr(list)->head;
    for (uint32_t i = 1; off != 0 && i < index; ++i) off = Entry(list, off)->next;
    if (off == 0) return STF_S_NOENTRY;
    const EntryHeader *e = Entry(list, off);
    if (info) {
        info->kind = e->kind;
        info->code = e->code;
        info->flags = e->flags;
        info->arg_count = e->arg_count;
        info->args =
            e->args ? reinterpret_cast<const STF_ArgRecord *>(Base(list) + e->args) : nullptr;
    }
    return 0;
}
VR_CATCH_CODE(STF_S_NOMEM, STF_S_INTERNAL)

} // extern "C"
