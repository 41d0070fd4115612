// Attribute sets: the registry of live handle records, validation of
// handles and objects, and the object building blocks shared by the AS_
// functions.
//
// Handles are addresses of handle records. A caller may hand back any
// pointer, so before a record is read its address is looked up in a
// process-wide registry of live handle records: a pointer that was never a
// handle record, or whose record has been freed, is reported as invalid
// without being dereferenced. The registry is an intrusive hash table
// (each record carries its chain link), so registering a record never
// allocates and never fails; the bucket array grows from the process heap
// when it can and simply keeps longer chains when it cannot. One mutex
// guards it, since separate sets may live in separate threads.
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "attrset/as_internal.h"
#include "system/vr_assert.h"
#include "vrcore/log.h"

// The null handles (declared extern in the public header).
const AS_SetHandle AS_nullSetHandle = nullptr;
const AS_AttrHandle AS_nullAttrHandle = nullptr;
const AS_AttrValHandle AS_nullAttrValHandle = nullptr;

namespace vrcore::attrset {

static_assert(sizeof(AS_ValueList) == 16);
static_assert(sizeof(AS_IdentifierList) == 16);

// ---- registry --------------------------------------------------------

namespace {

constexpr size_t kInitialBuckets = 1024;
std::mutex g_mu;
Handle *g_initial[kInitialBuckets];
Handle **g_buckets = g_initial;
size_t g_nbuckets = kInitialBuckets; // a power of two
size_t g_count = 0;

size_t BucketOf(const void *p, size_t n) {
    uint64_t x = reinterpret_cast<uintptr_t>(p);
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return static_cast<size_t>(x) & (n - 1);
}

void GrowLocked() {
    size_t n = g_nbuckets * 4;
    auto **nb = static_cast<Handle **>(std::calloc(n, sizeof(Handle *)));
    if (!nb) return; // longer chains, still correct
    for (size_t i = 0; i < g_nbuckets; ++i) {
        for (Handle *h = g_buckets[i]; h;) {
            Handle *next = h->reg_next;
            size_t b = BucketOf(h, n);
            h->reg_next = nb[b];
            nb[b] = h;
            h = next;
        }
    }
    if (g_buckets != g_initial) std::free(g_buckets);
    g_buckets = nb;
    g_nbuckets = n;
}

} // namespace

void RegistryAdd(Handle *h) {
    std::lock_guard<std::mutex> lock(g_mu);
    if (g_count >= g_nbuckets * 2) GrowLocked();
    size_t b = BucketOf(h, g_nbuckets);
    VR_ASSERT(h->magic == kHandleMagic && !h->reg_next && g_buckets[b] != h);
    h->reg_next = g_buckets[b];
    g_buckets[b] = h;
    ++g_count;
}

void RegistryRemove(Handle *h) {
    std::lock_guard<std::mutex> lock(g_mu);
    for (Handle **pp = &g_buckets[BucketOf(h, g_nbuckets)]; *pp; pp = &(*pp)->reg_next) {
        if (*pp == h) {
            VR_ASSERT(g_count > 0);
            *pp = h->reg_next;
            h->reg_next = nullptr;
            --g_count;
            return;
        }
    }
    VR_ASSERT(false && "a handle record removed that is not registered");
}

bool RegistryHas(const void *p) {
    std::lock_guard<std::mutex> lock(g_mu);
    for (Handle *h = g_buckets[BucketOf(p, g_nbuckets)]; h; h = h->reg_next)
        if (h == p) return true;
    return false;
}

size_t RegistrySize() {
    std::lock_guard<std::mutex> lock(g_mu);
    return g_count;
}

// ---- validation ------------------------------------------------------

void Add(STF_List *st, uint32_t code) { STF_AddStatus(st, code, 0); }

bool RecordOk(const Handle *h, uint32_t type) {
    return h && RegistryHas(h) && h->magic == kHandleMagic && h->users != 0 && h->free_fn &&
           h->type == type && !h->obj == !h->obj_magic;
}

bool CheckHandle(STF_List *st, Handle *h, uint32_t type, int pos, int which) {
    if (!RecordOk(h, type)) {
        Add(st, AS_S_BADHANDLE);
        Add(st, ArgCode(pos));
        return false;
    }
    // A live record's object is live: it is cleared before the object goes.
    if (!h->obj || *static_cast<const uint32_t *>(h->obj) != h->obj_magic) {
        Add(st, AS_S_STALE);
        if (which) Add(st, which == 1 ? AS_S_STALE1 : AS_S_STALE2);
        return false;
    }
    return true;
}

bool SetOk(const Set *s) {
    if (s->magic != kSetMagic || s->allow_dups > 1 || !s->alloc || !s->free || !s->handle ||
        s->handle->obj != s)
        return false;
    if (!s->index != !s->index_cap || s->index_used > s->index_cap / 2) return false;
    if (s->count == 0) return !s->first && !s->last;
    return s->first && s->last && (s->count != 1 || s->first == s->last);
}

bool AttrOk(const Attr *a) {
    if (a->magic != kAttrMagic || !a->set || a->modop < -1 || a->modop > 3 ||
        (a->chars_size && !a->chars) || !a->handle || a->handle->obj != a)
        return false;
    if (a->count == 0) return !a->first && !a->last;
    return a->first && a->last && (a->count != 1 || a->first == a->last);
}

bool ValueOk(const Value *v) {
    return v->magic == kValueMagic && v->attr && v->copy && v->del && v->handle &&
           v->handle->obj == v;
}

static bool Corrupt(STF_List *st, const void *obj, int which) {
    LOG_CondMessage(5, __FILE__, __LINE__, "attribute set: corrupt object at %p", obj);
    Add(st, AS_S_CORRUPT);
    if (which) Add(st, which == 1 ? AS_S_CORRUPT1 : AS_S_CORRUPT2);
    return false;
}

bool CheckSet(STF_List *st, const Set *s, int which) {
    return SetOk(s) ? true : Corrupt(st, s, which);
}
bool CheckAttr(STF_List *st, const Attr *a, int which) {
    return AttrOk(a) ? true : Corrupt(st, a, which);
}
bool CheckValue(STF_List *st, const Value *v) { return ValueOk(v) ? true : Corrupt(st, v, 0); }

Set *GetSet(STF_List *st, Handle *h, int pos, int which) {
    if (!CheckHandle(st, h, kSetHandle, pos, which)) return nullptr;
    auto *s = static_cast<Set *>(h->obj);
    return CheckSet(st, s, which) ? s : nullptr;
}

Attr *GetAttr(STF_List *st, Handle *h, int pos, int which) {
    if (!CheckHandle(st, h, kAttrHandle, pos, which)) return nullptr;
    auto *a = static_cast<Attr *>(h->obj);
    return CheckAttr(st, a, which) ? a : nullptr;
}

Value *GetValue(STF_List *st, Handle *h, int pos) {
    if (!CheckHandle(st, h, kValueHandle, pos)) return nullptr;
    auto *v = static_cast<Value *>(h->obj);
    return CheckValue(st, v) ? v : nullptr;
}

bool AllocatorOk(const GENU_Allocator *a) { return !a || (a->alloc && a->free); }
bool DescriptorOk(const GENU_ValueDescriptor *d) { return d && d->copy && d->del; }

// ---- handles ---------------------------------------------------------

bool Publish(STF_List *st, Handle *h) {
    if (h->users >= kCountLimit - 1) {
        Add(st, AS_S_TOOMANYUSERS);
        return false;
    }
    ++h->users;
    return true;
}

void FreeHandle(Handle *h) {
    VR_ASSERT(h->magic == kHandleMagic); // freed once only
    RegistryRemove(h);
    GENU_FreeFn f = h->free_fn;
    h->magic = 0;
    h->obj = nullptr;
    h->obj_magic = 0;
    f(h);
}

void Release(Handle *h) {
    VR_ASSERT(h->magic == kHandleMagic && h->users != 0);
    if (h->users > 1) {
        --h->users;
    } else if (!h->obj) {
        FreeHandle(h);
    } else {
        h->users = 0;
    }
}

void DropObjectHandle(Handle *h) {
    if (h->users == 0) {
        FreeHandle(h);
    } else {
        h->obj = nullptr;
        h->obj_magic = 0;
    }
}

static Handle *NewHandle(GENU_AllocFn alloc, GENU_FreeFn free, uint32_t type) {
    auto *h = static_cast<Handle *>(alloc(sizeof(Handle)));
    if (!h) return nullptr;
    *h = Handle{kHandleMagic, 0, type, 0, nullptr, free, nullptr};
    RegistryAdd(h);
    return h;
}

static void Bind(Handle *h, void *obj) {
    VR_ASSERT(h->magic == kHandleMagic && !h->obj);
    h->obj = obj;
    h->obj_magic = *static_cast<const uint32_t *>(obj);
}

// ---- objects ---------------------------------------------------------

GENU_Allocator AllocatorOf(const Set *s) { return GENU_Allocator{s->alloc, s->free}; }

Set *NewSet(GENU_AllocFn alloc, GENU_FreeFn free, uint32_t allow_dups) {
    Handle *h = NewHandle(alloc, free, kSetHandle);
    if (!h) return nullptr;
    auto *s = static_cast<Set *>(alloc(sizeof(Set)));
    if (!s) {
        FreeHandle(h);
        return nullptr;
    }
    *s = Set{kSetMagic, allow_dups, h, 0, nullptr, nullptr, alloc, free, nullptr, 0, 0};
    Bind(h, s);
    return s;
}

Attr *NewAttr(Set *s, GENU_ShortOID id, uint32_t type) {
    Handle *h = NewHandle(s->alloc, s->free, kAttrHandle);
    if (!h) return nullptr;
    auto *a = static_cast<Attr *>(s->alloc(sizeof(Attr)));
    if (!a) {
        FreeHandle(h);
        return nullptr;
    }
    *a = Attr{kAttrMagic, s,       h, id,      type,    0,       nullptr, 0,
              nullptr,    nullptr, 0, nullptr, nullptr, nullptr, nullptr};
    Bind(h, a);
    return a;
}

Value *NewValue(Set *s, void *value, GENU_CopyFn copy, GENU_DeleteFn del) {
    Handle *h = NewHandle(s->alloc, s->free, kValueHandle);
    if (!h) return nullptr;
    auto *v = static_cast<Value *>(s->alloc(sizeof(Value)));
    if (!v) {
        FreeHandle(h);
        return nullptr;
    }
    *v = Value{kValueMagic, nullptr, h, nullptr, nullptr, value, copy, del};
    Bind(h, v);
    return v;
}

bool AppendAttr(Set *s, Attr *a) {
    VR_ASSERT(s->count < kCountLimit && !a->next && !a->prev);
    if (!IndexReserve(s)) return false;
    a->set = s;
    a->next = nullptr;
    a->prev = s->last;
    if (s->last)
        s->last->next = a;
    else
        s->first = a;
    s->last = a;
    ++s->count;
    if (s->index) IndexInsert(s, a);
    return true;
}

void UnlinkAttr(Set *s, Attr *a) {
    VR_ASSERT(s->count > 0 && a->set == s);
    if (s->index) IndexRemove(s, a);
    (a->prev ? a->prev->next : s->first) = a->next;
    (a->next ? a->next->prev : s->last) = a->prev;
    a->next = a->prev = nullptr;
    if (--s->count == 0) IndexFree(s);
}

void ChainAppend(Chain &c, Value *v) {
    v->next = nullptr;
    v->prev = c.last;
    if (c.last)
        c.last->next = v;
    else
        c.first = v;
    c.last = v;
    ++c.count;
}

void Splice(Attr *a, Chain &c) {
    if (!c.first) return;
    VR_ASSERT(c.count <= kCountLimit - 1 - a->count);
    for (Value *v = c.first; v; v = v->next) v->attr = a;
    c.first->prev = a->last;
    if (a->last)
        a->last->next = c.first;
    else
        a->first = c.first;
    a->last = c.last;
    a->count += c.count;
    c = Chain{};
}

Attr *FindFirstWithId(const Set *s, GENU_ShortOID id) {
    if (s->index) {
        const IndexSlot *slot = IndexFind(s, id);
        return slot ? slot->first : nullptr;
    }
    for (Attr *a = s->first; a; a = a->next)
        if (a->id == id) return a;
    return nullptr;
}

Attr *Lookup(STF_List *st, const Set *s, GENU_ShortOID id) {
    Attr *found = nullptr;
    if (!s->allow_dups) {
        found = FindFirstWithId(s, id);
    } else if (s->index) {
        const IndexSlot *slot = IndexFind(s, id);
        if (slot && slot->count > 1) {
            Add(st, AS_S_MULTIPLE);
            return nullptr;
        }
        found = slot ? slot->first : nullptr;
    } else {
        for (Attr *a = s->first; a; a = a->next) {
            if (a->id != id) continue;
            if (found) {
                Add(st, AS_S_MULTIPLE);
                return nullptr;
            }
            found = a;
        }
    }
    if (!found) Add(st, AS_S_NOATTR);
    return found;
}

Attr *ById(STF_List *st, Handle *set, GENU_ShortOID id) {
    Set *s = GetSet(st, set, 1);
    return s ? Lookup(st, s, id) : nullptr;
}

// ---- deletion --------------------------------------------------------

static void FreeValueObject(Set *s, Value *v, bool force) {
    if (force)
        FreeHandle(v->handle);
    else
        DropObjectHandle(v->handle);
    v->magic = 0;
    s->free(v);
}

static void FreeAttrObject(Set *s, Attr *a, bool force) {
    if (force)
        FreeHandle(a->handle);
    else
        DropObjectHandle(a->handle);
    if (a->chars) s->free(a->chars);
    a->magic = 0;
    s->free(a);
}

bool DeleteValue(STF_List *st, Attr *a, Value *v) {
    Set *s = a->set;
    GENU_Allocator al = AllocatorOf(s);
    if (v->del(st, v->value, &al) != 0) {
        LOG_CondMessage(5, __FILE__, __LINE__, "attribute set: delete of value %p failed",
                        v->value);
        Add(st, AS_S_DELETEFAILED);
        return false;
    }
    VR_ASSERT(a->count > 0 && v->attr == a);
    (v->prev ? v->prev->next : a->first) = v->next;
    (v->next ? v->next->prev : a->last) = v->prev;
    --a->count;
    FreeValueObject(s, v, false);
    return true;
}

bool DeleteAllValues(STF_List *st, Attr *a) {
    while (a->first)
        if (!DeleteValue(st, a, a->first)) return false;
    return true;
}

bool DeleteAttr(STF_List *st, Set *s, Attr *a) {
    if (!DeleteAllValues(st, a)) return false;
    UnlinkAttr(s, a);
    FreeAttrObject(s, a, false);
    return true;
}

bool ClearSet(STF_List *st, Set *s) {
    // Without its index a set is searched along its list; the next addition
    // builds it again should a failing delete function leave attributes.
    IndexFree(s);
    while (s->first)
        if (!DeleteAttr(st, s, s->first)) return false;
    return true;
}

void FreeChainObjects(Set *s, Chain &c) {
    for (Value *v = c.first; v;) {
        Value *next = v->next;
        FreeValueObject(s, v, true);
        v = next;
    }
    c = Chain{};
}

bool ForceFreeChain(STF_List *st, Set *s, Chain &c) {
    GENU_Allocator al = AllocatorOf(s);
    bool ok = true;
    for (Value *v = c.first; v;) {
        Value *next = v->next;
        if (v->del(st, v->value, &al) != 0) ok = false;
        FreeValueObject(s, v, true);
        v = next;
    }
    c = Chain{};
    return ok;
}

bool ForceFreeAttr(STF_List *st, Set *s, Attr *a) {
    Chain c{a->first, a->last, a->count};
    bool ok = ForceFreeChain(st, s, c);
    FreeAttrObject(s, a, true);
    return ok;
}

bool ForceFreeSet(STF_List *st, Set *s) {
    bool ok = true;
    for (Attr *a = s->first; a;) {
        Attr *next = a->next;
        ok = ForceFreeAttr(st, s, a) && ok;
        a = next;
    }
    FreeHandle(s->handle);
    IndexFree(s);
    s->magic = 0;
    s->free(s);
    return ok;
}

// ---- copies ----------------------------------------------------------

bool CopyValues(STF_List *st, Set *dest, const Attr *src, Chain &out) {
    GENU_Allocator al = AllocatorOf(dest);
    for (const Value *v = src->first; v; v = v->next) {
        Value *nv = NewValue(dest, nullptr, v->copy, v->del);
        if (!nv) {
            ForceFreeChain(st, dest, out);
            Add(st, AS_S_NOMEM);
            return false;
        }
        if (v->copy(st, &nv->value, v->value, &al) != 0) {
            Chain one;
            ChainAppend(one, nv);
            FreeChainObjects(dest, one);
            ForceFreeChain(st, dest, out);
            Add(st, AS_S_COPYFAILED);
            return false;
        }
        ChainAppend(out, nv);
    }
    return true;
}

Attr *CopyAttrObj(STF_List *st, Set *dest, const Attr *src) {
    Attr *na = NewAttr(dest, src->id, src->type);
    if (!na) {
        Add(st, AS_S_NOMEM);
        return nullptr;
    }
    na->modop = src->modop;
    Chain c;
    if (!CopyValues(st, dest, src, c)) {
        ForceFreeAttr(st, dest, na);
        return nullptr;
    }
    Splice(na, c);
    if (src->chars_size) {
        na->chars = dest->alloc(src->chars_size);
        if (!na->chars) {
            ForceFreeAttr(st, dest, na);
            Add(st, AS_S_NOMEM);
            return nullptr;
        }
        std::memcpy(na->chars, src->chars, src->chars_size);
        na->chars_size = src->chars_size;
    }
    return na;
}

} // namespace vrcore::attrset
