// Attribute sets: the index by identifier that large sets keep beside their
// list. The list stays the one order of the set; the index only answers
// "which attributes carry this identifier", first to last in set order, so
// every lookup gives what a walk along the list would give.
//
// The table is open addressing with linear probing; a removed slot is
// filled by shifting the following slots of its run back, so no tombstones
// build up. The table is held in pages under a directory; its memory comes
// from the set's allocator and is always obtained before anything changes.
#include <cstring>

#include "attrset/as_internal.h"
#include "system/vr_assert.h"

namespace vrcore::attrset {

namespace {

constexpr uint32_t kPageMask = kIndexPage - 1;

IndexSlot &At(IndexSlot *const *pages, uint32_t i) {
    return pages[i >> kIndexPageShift][i & kPageMask];
}

uint32_t HomeOf(GENU_ShortOID id, uint32_t cap) {
    // Identifiers are often dense small numbers: spread them.
    return static_cast<uint32_t>((uint64_t{id} * 0x9E3779B97F4A7C15u) >> 32) & (cap - 1);
}

// The position of id's slot, or of the free slot where it would go.
uint32_t Probe(IndexSlot *const *pages, uint32_t cap, GENU_ShortOID id) {
    for (uint32_t i = HomeOf(id, cap);; i = (i + 1) & (cap - 1)) {
        const IndexSlot &slot = At(pages, i);
        if (slot.count == 0 || slot.id == id) return i;
    }
}

void Link(IndexSlot *slot, Attr *a) {
    if (slot->count == 0) {
        slot->id = a->id;
        slot->first = a;
        a->id_prev = nullptr;
    } else {
        slot->last->id_next = a;
        a->id_prev = slot->last;
    }
    a->id_next = nullptr;
    slot->last = a;
    ++slot->count;
}

uint32_t PagesOf(uint32_t cap) { return cap > kIndexPage ? cap >> kIndexPageShift : 1; }

void FreeTable(Set *s, IndexSlot **pages, uint32_t npages) {
    for (uint32_t i = 0; i < npages && pages[i]; ++i) s->free(pages[i]);
    s->free(pages);
}

// A new table of cap slots holding every attribute of s; the old one is
// given back. False (nothing changed) when an allocation fails.
bool Rebuild(Set *s, uint32_t cap) {
    const uint32_t npages = PagesOf(cap);
    const size_t page_bytes = sizeof(IndexSlot) * (cap < kIndexPage ? cap : kIndexPage);
    auto **pages = static_cast<IndexSlot **>(s->alloc(sizeof(IndexSlot *) * npages));
    if (!pages) return false;
    std::memset(static_cast<void *>(pages), 0, sizeof(IndexSlot *) * npages);
    for (uint32_t i = 0; i < npages; ++i) {
        pages[i] = static_cast<IndexSlot *>(s->alloc(page_bytes));
        if (!pages[i]) {
            FreeTable(s, pages, npages);
            return false;
        }
        std::memset(static_cast<void *>(pages[i]), 0, page_bytes);
    }
    uint32_t used = 0;
    for (Attr *a = s->first; a; a = a->next) {
        IndexSlot &slot = At(pages, Probe(pages, cap, a->id));
        used += slot.count == 0;
        Link(&slot, a);
    }
    if (s->index) FreeTable(s, s->index, PagesOf(s->index_cap));
    s->index = pages;
    s->index_cap = cap;
    s->index_used = used;
    return true;
}

} // namespace

bool IndexReserve(Set *s, uint32_t more) {
    uint64_t want = uint64_t{s->index ? s->index_used : s->count} + more;
    if (s->index ? want <= s->index_cap / 2 : s->count + uint64_t{more} < kIndexFrom) return true;
    if (want > kIndexLimit) return false;
    uint32_t cap = s->index ? s->index_cap * 2 : 16;
    while (cap / 2 < want) cap *= 2;
    return Rebuild(s, cap);
}

void IndexInsert(Set *s, Attr *a) {
    VR_ASSERT(s->index_used < s->index_cap / 2 || IndexFind(s, a->id));
    IndexSlot &slot = At(s->index, Probe(s->index, s->index_cap, a->id));
    s->index_used += slot.count == 0;
    Link(&slot, a);
}

void IndexRemove(Set *s, Attr *a) {
    const uint32_t mask = s->index_cap - 1;
    uint32_t hole = Probe(s->index, s->index_cap, a->id);
    IndexSlot *slot = &At(s->index, hole);
    VR_ASSERT(slot->count > 0 && slot->id == a->id);
    (a->id_prev ? a->id_prev->id_next : slot->first) = a->id_next;
    (a->id_next ? a->id_next->id_prev : slot->last) = a->id_prev;
    a->id_next = a->id_prev = nullptr;
    if (--slot->count > 0) return;
    // Close the gap: a later slot of the run moves back when its home does
    // not lie cyclically within (hole, slot].
    --s->index_used;
    for (uint32_t i = (hole + 1) & mask; At(s->index, i).count != 0; i = (i + 1) & mask) {
        IndexSlot &next = At(s->index, i);
        uint32_t home = HomeOf(next.id, s->index_cap);
        if (((i - home) & mask) >= ((i - hole) & mask)) {
            At(s->index, hole) = next;
            next.count = 0;
            hole = i;
        }
    }
    At(s->index, hole).count = 0;
}

const IndexSlot *IndexFind(const Set *s, GENU_ShortOID id) {
    const IndexSlot &slot = At(s->index, Probe(s->index, s->index_cap, id));
    return slot.count ? &slot : nullptr;
}

void IndexFree(Set *s) {
    if (s->index) FreeTable(s, s->index, PagesOf(s->index_cap));
    s->index = nullptr;
    s->index_cap = s->index_used = 0;
}

} // namespace vrcore::attrset
