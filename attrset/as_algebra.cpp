// Attribute sets: operations building a new set from existing ones (copy,
// concatenation, overlay, selection by identifiers). The sources are never
// changed; the new set and its temporary lists use the allocator given to
// the operation, and a failure leaves nothing behind.
#include <algorithm>
#include <cstring>

#include "attrset/as_internal.h"
#include "system/guard.h"

using namespace vrcore::attrset;

namespace {

struct Alloc {
    GENU_AllocFn alloc;
    GENU_FreeFn free;
    explicit Alloc(const GENU_Allocator *a)
        : alloc(a ? a->alloc : GENU__CoveredMalloc), free(a ? a->free : GENU__CoveredFree) {}
};

// A temporary array freed on every path.
template <typename T> struct Temp {
    const Alloc &al;
    T *p = nullptr;
    Temp(const Alloc &a) : al(a) {}
    ~Temp() {
        if (p) al.free(p);
    }
    bool Get(size_t n) {
        if (n == 0) return true;
        p = static_cast<T *>(al.alloc(n * sizeof(T)));
        return p != nullptr;
    }
};

// Appends a deep copy of a to n.
bool Take(STF_List *st, Set *n, const Attr *a) {
    if (n->count >= kCountLimit - 1) {
        Add(st, AS_S_SETFULL);
        return false;
    }
    Attr *c = CopyAttrObj(st, n, a);
    if (!c) return false;
    if (!AppendAttr(n, c)) {
        ForceFreeAttr(st, n, c);
        Add(st, AS_S_NOMEM);
        return false;
    }
    return true;
}

// The empty result set, its index sized for the attributes to come (null:
// out of memory).
Set *NewResult(STF_List *st, const Alloc &al, uint32_t allow_dups, uint64_t expected) {
    Set *n = NewSet(al.alloc, al.free, allow_dups);
    if (n && !IndexReserve(n, static_cast<uint32_t>(std::min<uint64_t>(expected, kIndexLimit)))) {
        ForceFreeSet(st, n);
        n = nullptr;
    }
    return n;
}

// Publishes a complete new set, or removes a partial one.
int Finish(STF_List *st, Set *n, bool ok, Handle **out) {
    if (!ok) {
        ForceFreeSet(st, n);
        return 1;
    }
    n->handle->users = 1;
    *out = n->handle;
    return 0;
}

// The identifiers of a set, sorted, into ids (room for s->count).
void SortedIds(const Set *s, GENU_ShortOID *ids) {
    size_t i = 0;
    for (const Attr *a = s->first; a; a = a->next) ids[i++] = a->id;
    std::sort(ids, ids + s->count);
}

bool HasRepeats(const GENU_ShortOID *ids, size_t n) {
    return std::adjacent_find(ids, ids + n) != ids + n;
}

bool Shares(const GENU_ShortOID *a, size_t na, const GENU_ShortOID *b, size_t nb) {
    size_t i = 0, j = 0;
    while (i < na && j < nb) {
        if (a[i] == b[j]) return true;
        if (a[i] < b[j])
            ++i;
        else
            ++j;
    }
    return false;
}

// Validation shared by AS_Append and AS_Overlay.
bool CheckPair(STF_List *st, Handle **out, Handle *h1, Handle *h2, const GENU_Allocator *al,
               Set **s1, Set **s2) {
    if (!out) {
        Add(st, AS_S_BADARG1);
        return false;
    }
    if (!CheckHandle(st, h1, kSetHandle, 2, 1) || !CheckHandle(st, h2, kSetHandle, 3, 2))
        return false;
    *s1 = static_cast<Set *>(h1->obj);
    *s2 = static_cast<Set *>(h2->obj);
    if (!CheckSet(st, *s1, 1) || !CheckSet(st, *s2, 2)) return false;
    if (!AllocatorOk(al)) {
        Add(st, AS_S_BADARG4);
        return false;
    }
    return true;
}

int Select(STF_List *st, Handle **out, Handle *src, const AS_IdentifierList *ids,
           const GENU_Allocator *allocator, bool all_required) {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG1);
    if (!ids || (ids->count && !ids->ids)) return Fail(st, AS_S_BADARG3);
    if (!AllocatorOk(allocator)) return Fail(st, AS_S_BADARG4);
    Set *s = GetSet(st, src, 2);
    if (!s) return 1;
    Alloc al(allocator);

    // The distinct identifiers asked for, ascending.
    Temp<GENU_ShortOID> sorted(al);
    if (!sorted.Get(ids->count)) return Fail(st, AS_S_NOMEM);
    size_t left = ids->count;
    if (left) {
        std::memcpy(sorted.p, ids->ids, left * sizeof(GENU_ShortOID));
        std::sort(sorted.p, sorted.p + left);
        left = static_cast<size_t>(std::unique(sorted.p, sorted.p + left) - sorted.p);
    }

    // The first attribute of each identifier, in set order.
    Temp<const Attr *> match(al);
    size_t matched = 0;
    if (left && s->count) {
        if (!match.Get(left)) return Fail(st, AS_S_NOMEM);
        for (const Attr *a = s->first; a && left; a = a->next) {
            GENU_ShortOID *end = sorted.p + left;
            GENU_ShortOID *at = std::lower_bound(sorted.p, end, a->id);
            if (at == end || *at != a->id) continue;
            std::memmove(at, at + 1, static_cast<size_t>(end - at - 1) * sizeof(GENU_ShortOID));
            --left;
            match.p[matched++] = a;
        }
    }
    if (all_required && left) return Fail(st, AS_S_NOATTR);

    Set *n = NewResult(st, al, s->allow_dups, matched);
    if (!n) return Fail(st, AS_S_NOMEM);
    bool ok = true;
    for (size_t i = 0; ok && i < matched; ++i) ok = Take(st, n, match.p[i]);
    return Finish(st, n, ok, out);
}

} // namespace

extern "C" {

VR_EXPORT int AS_Copy(STF_List *st, AS_SetHandle *out, AS_SetHandle src,
                      const GENU_Allocator *allocator) try {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG1);
    if (!AllocatorOk(allocator)) return Fail(st, AS_S_BADARG3);
    Set *s = GetSet(st, src, 2);
    if (!s) return 1;
    Alloc al(allocator);
    Set *n = NewResult(st, al, s->allow_dups, s->count);
    if (!n) return Fail(st, AS_S_NOMEM);
    bool ok = true;
    for (const Attr *a = s->first; ok && a; a = a->next) ok = Take(st, n, a);
    return Finish(st, n, ok, out);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_Append(STF_List *st, AS_SetHandle *out, AS_SetHandle first, AS_SetHandle second,
                        const GENU_Allocator *allocator, int allow_duplicates) try {
    AS_ENTER(st);
    Set *s1, *s2;
    if (!CheckPair(st, out, first, second, allocator, &s1, &s2)) return 1;
    Alloc al(allocator);
    if (!allow_duplicates) {
        Temp<GENU_ShortOID> ids(al);
        if (!ids.Get(size_t{s1->count} + s2->count)) return Fail(st, AS_S_NOMEM);
        GENU_ShortOID *a = ids.p, *b = ids.p + s1->count;
        if (a) {
            SortedIds(s1, a);
            SortedIds(s2, b);
        }
        // A set that does not allow duplicates is taken to hold none.
        if ((s1->allow_dups && HasRepeats(a, s1->count)) ||
            (s2->allow_dups && HasRepeats(b, s2->count)) || Shares(a, s1->count, b, s2->count))
            return Fail(st, AS_S_PRESENT);
    }
    Set *n = NewResult(st, al, s1->allow_dups, uint64_t{s1->count} + s2->count);
    if (!n) return Fail(st, AS_S_NOMEM);
    bool ok = true;
    for (const Attr *a = s1->first; ok && a; a = a->next) ok = Take(st, n, a);
    for (const Attr *a = s2->first; ok && a; a = a->next) ok = Take(st, n, a);
    return Finish(st, n, ok, out);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_Overlay(STF_List *st, AS_SetHandle *out, AS_SetHandle base, AS_SetHandle overlay,
                         const GENU_Allocator *allocator) try {
    AS_ENTER(st);
    Set *sb, *so;
    if (!CheckPair(st, out, base, overlay, allocator, &sb, &so)) return 1;
    Alloc al(allocator);
    Temp<GENU_ShortOID> ids(al);
    if (!ids.Get(size_t{sb->count} + so->count)) return Fail(st, AS_S_NOMEM);
    GENU_ShortOID *a = ids.p, *b = ids.p + sb->count;
    if (a) {
        SortedIds(sb, a);
        SortedIds(so, b);
    }
    if ((sb->allow_dups && HasRepeats(a, sb->count)) ||
        (so->allow_dups && HasRepeats(b, so->count)))
        return Fail(st, AS_S_PRESENT);
    Set *n = NewResult(st, al, 0, uint64_t{sb->count} + so->count);
    if (!n) return Fail(st, AS_S_NOMEM);
    bool ok = true;
    for (const Attr *x = sb->first; ok && x; x = x->next)
        if (!std::binary_search(b, b + so->count, x->id)) ok = Take(st, n, x);
    for (const Attr *x = so->first; ok && x; x = x->next) ok = Take(st, n, x);
    return Finish(st, n, ok, out);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_Intersect(STF_List *st, AS_SetHandle *out, AS_SetHandle src,
                           const AS_IdentifierList *ids, const GENU_Allocator *allocator) try {
    return Select(st, out, src, ids, allocator, false);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_Subset(STF_List *st, AS_SetHandle *out, AS_SetHandle src,
                        const AS_IdentifierList *ids, const GENU_Allocator *allocator) try {
    return Select(st, out, src, ids, allocator, true);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

} // extern "C"
