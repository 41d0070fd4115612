// Attribute sets: creation, destruction and the set-level functions, and
// the sharing and release of handles.
#include "attrset/as_internal.h"
#include "system/guard.h"

using namespace vrcore::attrset;

namespace {

int CopyHandle(STF_List *st, Handle *h, Handle **out, uint32_t type) {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG2);
    if (!CheckHandle(st, h, type, 1)) return 1;
    bool ok = type == kSetHandle    ? CheckSet(st, static_cast<Set *>(h->obj))
              : type == kAttrHandle ? CheckAttr(st, static_cast<Attr *>(h->obj))
                                    : CheckValue(st, static_cast<Value *>(h->obj));
    if (!ok || !Publish(st, h)) return 1;
    *out = h;
    return 0;
}

// Releases one reference. A stale handle may be freed this way; it is the
// only thing a stale handle is good for.
int FreeHandleRef(STF_List *st, Handle **ph, uint32_t type) {
    AS_ENTER(st);
    if (!ph) return Fail(st, AS_S_BADARG1);
    if (!RecordOk(*ph, type)) {
        Add(st, AS_S_BADHANDLE);
        return Fail(st, AS_S_BADARG1);
    }
    Release(*ph);
    *ph = nullptr;
    return 0;
}

} // namespace

extern "C" {

VR_EXPORT int AS_Create(STF_List *st, AS_SetHandle *out, const GENU_Allocator *allocator,
                        int allow_duplicates) try {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG1);
    if (!AllocatorOk(allocator)) return Fail(st, AS_S_BADARG2);
    GENU_AllocFn alloc = allocator ? allocator->alloc : GENU__CoveredMalloc;
    GENU_FreeFn free = allocator ? allocator->free : GENU__CoveredFree;
    Set *s = NewSet(alloc, free, allow_duplicates ? 1 : 0);
    if (!s) return Fail(st, AS_S_NOMEM);
    s->handle->users = 1;
    *out = s->handle;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_Destroy(STF_List *st, AS_SetHandle *ps) try {
    AS_ENTER(st);
    if (!ps) return Fail(st, AS_S_BADARG1);
    Set *s = GetSet(st, *ps, 1);
    if (!s || !ClearSet(st, s)) return 1;
    Handle *h = s->handle;
    h->obj = nullptr;
    h->obj_magic = 0;
    IndexFree(s);
    s->magic = 0;
    s->free(s);
    Release(h);
    *ps = AS_nullSetHandle;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_Clear(STF_List *st, AS_SetHandle set) try {
    AS_ENTER(st);
    Set *s = GetSet(st, set, 1);
    return s && ClearSet(st, s) ? 0 : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_IsEmpty(STF_List *st, AS_SetHandle set, int *result) try {
    AS_ENTER(st);
    if (!result) return Fail(st, AS_S_BADARG2);
    Set *s = GetSet(st, set, 1);
    if (!s) return 1;
    *result = s->count == 0;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetCount(STF_List *st, AS_SetHandle set, uint32_t *count) try {
    AS_ENTER(st);
    if (!count) return Fail(st, AS_S_BADARG2);
    Set *s = GetSet(st, set, 1);
    if (!s) return 1;
    *count = s->count;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAllocator(STF_List *st, AS_SetHandle set, GENU_Allocator *allocator) try {
    AS_ENTER(st);
    if (!allocator) return Fail(st, AS_S_BADARG2);
    Set *s = GetSet(st, set, 1);
    if (!s) return 1;
    *allocator = AllocatorOf(s);
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_AllowDuplicates(STF_List *st, AS_SetHandle set) try {
    AS_ENTER(st);
    Set *s = GetSet(st, set, 1);
    if (!s) return 1;
    s->allow_dups = 1;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_DisallowDuplicates(STF_List *st, AS_SetHandle set) try {
    AS_ENTER(st);
    Set *s = GetSet(st, set, 1);
    if (!s) return 1;
    s->allow_dups = 0;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_CopySetHandle(STF_List *st, AS_SetHandle h, AS_SetHandle *out) try {
    return CopyHandle(st, h, out, kSetHandle);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)
VR_EXPORT int AS_CopyAttrHandle(STF_List *st, AS_AttrHandle h, AS_AttrHandle *out) try {
    return CopyHandle(st, h, out, kAttrHandle);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)
VR_EXPORT int AS_CopyAttrValHandle(STF_List *st, AS_AttrValHandle h, AS_AttrValHandle *out) try {
    return CopyHandle(st, h, out, kValueHandle);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_FreeSetHandle(STF_List *st, AS_SetHandle *h) try {
    return FreeHandleRef(st, h, kSetHandle);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)
VR_EXPORT int AS_FreeAttrHandle(STF_List *st, AS_AttrHandle *h) try {
    return FreeHandleRef(st, h, kAttrHandle);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)
VR_EXPORT int AS_FreeAttrValHandle(STF_List *st, AS_AttrValHandle *h) try {
    return FreeHandleRef(st, h, kValueHandle);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

} // extern "C"
