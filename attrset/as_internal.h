// Internal view of attribute sets: the records behind handles, sets,
// attributes and values, the registry of live handle records, and the
// building blocks the AS_ functions share. Tests include it to corrupt
// records on purpose and to reach the limits.
#pragma once

#include <cstdint>
#include <type_traits>

#include "vrcore/as.h"

namespace vrcore::attrset {

inline constexpr uint32_t kHandleMagic = 0x41532D00u;
inline constexpr uint32_t kSetMagic = 0x41532D01u;
inline constexpr uint32_t kAttrMagic = 0x41532D02u;
inline constexpr uint32_t kValueMagic = 0x41532D03u;

inline constexpr uint32_t kSetHandle = 0;
inline constexpr uint32_t kAttrHandle = 1;
inline constexpr uint32_t kValueHandle = 2;

// Counts (attributes, values, users) must stay below this.
inline constexpr uint32_t kCountLimit = 0xFFFFFFFFu;

// A set of this many attributes or more looks attributes up through an
// index by identifier; smaller sets are searched along their list.
inline constexpr uint32_t kIndexFrom = 8;
// The most identifiers an index holds; a set beyond it cannot grow.
inline constexpr uint32_t kIndexLimit = 0x40000000u;
// Slots per page of the index table. A page stays under 1 KiB: blocks of
// that size or more make the C library's allocator gather up its small
// free blocks, which slows every allocation after it (a copy of a large
// set makes thousands). The directory of a table of up to 2,048 slots is
// under 1 KiB too.
inline constexpr uint32_t kIndexPageShift = 5;
inline constexpr uint32_t kIndexPage = 1u << kIndexPageShift;

} // namespace vrcore::attrset

// The handle record. Its address is the handle callers hold.
struct AS__HandleRecord {
    uint32_t magic;     // kHandleMagic; 0 once freed
    uint32_t users;     // references held by callers; 0: the object's own
    uint32_t type;      // kSetHandle, kAttrHandle or kValueHandle
    uint32_t obj_magic; // magic of the designated object; 0 when stale
    void *obj;          // the object; null when stale
    GENU_FreeFn free_fn;
    AS__HandleRecord *reg_next; // chain of the live-handle registry
};

namespace vrcore::attrset {

using Handle = AS__HandleRecord;
struct Attr;
struct Value;

// One identifier of the index: its attributes in set order, chained
// through Attr::id_next and Attr::id_prev. A slot with count 0 is free.
struct IndexSlot {
    GENU_ShortOID id;
    uint32_t count;
    Attr *first;
    Attr *last;
};

struct Set {
    uint32_t magic;
    uint32_t allow_dups; // 0 or 1
    Handle *handle;
    uint32_t count;
    Attr *first;
    Attr *last;
    GENU_AllocFn alloc;
    GENU_FreeFn free;
    // The index by identifier (null below kIndexFrom attributes): an open
    // table of index_cap slots (a power of two), index_used of them taken,
    // never more than half, cut in pages of kIndexPage slots (the
    // directory holds the pages in order). It lives in the set's own
    // allocator.
    IndexSlot **index;
    uint32_t index_cap;
    uint32_t index_used;
};

struct Attr {
    uint32_t magic;
    Set *set;
    Handle *handle;
    GENU_ShortOID id;
    uint32_t type;
    int32_t modop;
    void *chars;
    uint32_t chars_size;
    Attr *next;
    Attr *prev;
    uint32_t count;
    Value *first;
    Value *last;
    Attr *id_next; // the set's attributes of the same identifier, while indexed
    Attr *id_prev;
};

struct Value {
    uint32_t magic;
    Attr *attr;
    Handle *handle;
    Value *next;
    Value *prev;
    void *value;
    GENU_CopyFn copy;
    GENU_DeleteFn del;
};

// A private chain of value objects, built before it is spliced into an
// attribute so that a failure leaves the attribute untouched.
struct Chain {
    Value *first = nullptr;
    Value *last = nullptr;
    uint32_t count = 0;
};

// ---- registry of live handle records ----
void RegistryAdd(Handle *h);
void RegistryRemove(Handle *h);
bool RegistryHas(const void *p);
size_t RegistrySize();

// ---- status ----
void Add(STF_List *st, uint32_t code);
inline int Fail(STF_List *st, uint32_t code) {
    Add(st, code);
    return 1;
}
inline uint32_t ArgCode(int pos) { return AS_S_BADARG1 + static_cast<uint32_t>(pos - 1); }

// ---- validation ----
// A registered, live handle record of the type with at least one user,
// designating an object or stale (not yet checked which).
bool RecordOk(const Handle *h, uint32_t type);
// Checks handle h of the given type at argument position pos. which: 0 for
// a single-handle operation, 1 or 2 for the first or second handle of a
// two-handle operation (adds AS_S_STALE1/2 over a stale handle).
bool CheckHandle(STF_List *st, Handle *h, uint32_t type, int pos, int which = 0);
bool SetOk(const Set *s);
bool AttrOk(const Attr *a);
bool ValueOk(const Value *v);
// Object checks adding AS_S_CORRUPT, and AS_S_CORRUPT1/2 on top for which 1/2.
bool CheckSet(STF_List *st, const Set *s, int which = 0);
bool CheckAttr(STF_List *st, const Attr *a, int which = 0);
bool CheckValue(STF_List *st, const Value *v);
// Handle check plus object check in one.
Set *GetSet(STF_List *st, Handle *h, int pos, int which = 0);
Attr *GetAttr(STF_List *st, Handle *h, int pos, int which = 0);
Value *GetValue(STF_List *st, Handle *h, int pos);
bool AllocatorOk(const GENU_Allocator *a);
bool DescriptorOk(const GENU_ValueDescriptor *d);

// ---- handles ----
// One more user for a handle given to a caller (AS_S_TOOMANYUSERS at the limit).
bool Publish(STF_List *st, Handle *h);
// Releases a caller's reference: frees the record when stale and last.
void Release(Handle *h);
// The object's handle when the object goes: freed without users, else stale.
void DropObjectHandle(Handle *h);
void FreeHandle(Handle *h);

// ---- objects ----
GENU_Allocator AllocatorOf(const Set *s);
Set *NewSet(GENU_AllocFn alloc, GENU_FreeFn free, uint32_t allow_dups);
Attr *NewAttr(Set *s, GENU_ShortOID id, uint32_t type);
Value *NewValue(Set *s, void *value, GENU_CopyFn copy, GENU_DeleteFn del);
// Links an attribute at the end of a set. The index may need room first:
// when it cannot be had, nothing changes and false is returned (the caller
// reports AS_S_NOMEM). This is the last step of every addition that can fail.
bool AppendAttr(Set *s, Attr *a);
void UnlinkAttr(Set *s, Attr *a);
void Splice(Attr *a, Chain &c);
void ChainAppend(Chain &c, Value *v);

// Lookup by identifier (first match, or exactly one in a set allowing
// duplicates). Adds AS_S_NOATTR / AS_S_MULTIPLE on failure.
Attr *Lookup(STF_List *st, const Set *s, GENU_ShortOID id);
// The same for a set given by handle at argument position 1.
Attr *ById(STF_List *st, Handle *set, GENU_ShortOID id);
Attr *FindFirstWithId(const Set *s, GENU_ShortOID id);

// ---- index by identifier (as_index.cpp) ----
// Room for `more` attributes beyond the present ones: builds the index
// when the set reaches kIndexFrom, grows it at half full. False when the
// allocation fails; the set and its index are then unchanged.
bool IndexReserve(Set *s, uint32_t more = 1);
void IndexInsert(Set *s, Attr *a); // a is the set's last attribute
void IndexRemove(Set *s, Attr *a);
// The slot of an identifier, or null.
const IndexSlot *IndexFind(const Set *s, GENU_ShortOID id);
void IndexFree(Set *s);

// Deletes one value through its delete function, then its object.
bool DeleteValue(STF_List *st, Attr *a, Value *v);
// Deletes values first to last; stops at a failing delete function
// (AS_S_DELETEFAILED).
bool DeleteAllValues(STF_List *st, Attr *a);
// Deletes the values, then unlinks and frees the attribute.
bool DeleteAttr(STF_List *st, Set *s, Attr *a);
// Deletes every attribute; stops at a failing delete function.
bool ClearSet(STF_List *st, Set *s);

// Frees value objects of a chain without touching the values.
void FreeChainObjects(Set *s, Chain &c);
// Forced deletion: values deleted (failures remembered, not stopping),
// objects and handles freed whatever their users. Returns false when a
// delete function failed.
bool ForceFreeChain(STF_List *st, Set *s, Chain &c);
bool ForceFreeAttr(STF_List *st, Set *s, Attr *a);
bool ForceFreeSet(STF_List *st, Set *s);

// Deep copies of values into a chain with dest's allocator (AS_S_COPYFAILED,
// AS_S_NOMEM); the chain is empty after a failure.
bool CopyValues(STF_List *st, Set *dest, const Attr *src, Chain &out);
// A deep copy of an attribute, not yet linked into dest; null on failure.
Attr *CopyAttrObj(STF_List *st, Set *dest, const Attr *src);

// Moves a caller's attribute or value handle to the next (previous)
// object: the neighbour's handle gains the caller's reference, the current
// one loses it (the object's own record stays even at 0 users). At the end
// end_code is reported and the handle is left as it was.
template <typename Obj, typename Out> int
StepHandle(STF_List *st, Handle **ph, Out *out, bool forward, Out Obj::*field, uint32_t end_code) {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!ph) return Fail(st, AS_S_BADARG1);
    Obj *o = nullptr;
    if constexpr (std::is_same_v<Obj, Attr>)
        o = GetAttr(st, *ph, 1);
    else
        o = GetValue(st, *ph, 1);
    if (!o) return 1;
    Obj *n = forward ? o->next : o->prev;
    if (!n) return Fail(st, end_code);
    if (!Publish(st, n->handle)) return 1;
    --o->handle->users;
    *ph = n->handle;
    if (out) *out = n->*field;
    return 0;
}

} // namespace vrcore::attrset

// Common entry of every AS_ function: a null status list ends the call,
// otherwise the list is cleared.
#define AS_ENTER(st)                                                                               \
    do {                                                                                           \
        if (!(st)) return 1;                                                                       \
        STF_ClearStatus(st);                                                                       \
    } while (0)
