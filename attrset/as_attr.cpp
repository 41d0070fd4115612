// Attribute sets: adding, copying, finding, iterating and deleting
// attributes, and an attribute's own properties.
#include <cstring>

#include "attrset/as_internal.h"
#include "system/guard.h"

using namespace vrcore::attrset;

namespace {

// Appends a deep copy of src to dest after the destination checks.
int CopyInto(STF_List *st, Set *dest, const Attr *src, Handle **out) {
    Attr *na = CopyAttrObj(st, dest, src);
    if (!na) return 1;
    if (!AppendAttr(dest, na)) {
        ForceFreeAttr(st, dest, na);
        return Fail(st, AS_S_NOMEM);
    }
    if (out) {
        Publish(st, na->handle); // a new handle: cannot be at the limit
        *out = na->handle;
    }
    return 0;
}

// Room and duplicate checks of a destination set for identifier id.
bool DestAccepts(STF_List *st, const Set *dest, GENU_ShortOID id) {
    if (dest->count >= kCountLimit - 1) {
        Add(st, AS_S_SETFULL);
        return false;
    }
    if (!dest->allow_dups && FindFirstWithId(dest, id)) {
        Add(st, AS_S_PRESENT);
        return false;
    }
    return true;
}

// The getters: a property of the attribute named by set handle and
// identifier (out variable third) or by attribute handle.
template <typename T, typename F>
int GetById(STF_List *st, Handle *set, GENU_ShortOID id, T *out, F field) {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG3);
    Attr *a = ById(st, set, id);
    if (!a) return 1;
    *out = field(a);
    return 0;
}

template <typename T, typename F>
int GetByHandle(STF_List *st, Handle *attr, T *out, F field, uint32_t out_code = AS_S_BADARG2) {
    AS_ENTER(st);
    if (!out) return Fail(st, out_code);
    Attr *a = GetAttr(st, attr, 1);
    if (!a) return 1;
    *out = field(a);
    return 0;
}

int SetChars(STF_List *st, Attr *a, const void *data, uint32_t size) {
    Set *s = a->set;
    void *block = nullptr;
    if (size) {
        block = s->alloc(size);
        if (!block) return Fail(st, AS_S_NOMEM);
        std::memcpy(block, data, size);
    }
    if (a->chars) s->free(a->chars);
    a->chars = block;
    a->chars_size = size;
    return 0;
}

int GetChars(STF_List *st, const Attr *a, void **data, uint32_t *size, GENU_AllocFn fn) {
    if (!a->chars_size) {
        *data = nullptr;
        *size = 0;
        return 0;
    }
    void *copy = (fn ? fn : GENU__CoveredMalloc)(a->chars_size);
    if (!copy) return Fail(st, AS_S_NOMEM);
    std::memcpy(copy, a->chars, a->chars_size);
    *data = copy;
    *size = a->chars_size;
    return 0;
}

bool ModOpOk(int32_t op) { return op >= -1 && op <= 3; }

} // namespace

extern "C" {

VR_EXPORT int AS_AddAttr(STF_List *st, AS_SetHandle set, GENU_ShortOID id, uint32_t type,
                         AS_AttrHandle *out) try {
    AS_ENTER(st);
    Set *s = GetSet(st, set, 1);
    if (!s || !DestAccepts(st, s, id)) return 1;
    Attr *a = NewAttr(s, id, type);
    if (!a) return Fail(st, AS_S_NOMEM);
    if (!AppendAttr(s, a)) {
        ForceFreeAttr(st, s, a);
        return Fail(st, AS_S_NOMEM);
    }
    if (out) {
        Publish(st, a->handle);
        *out = a->handle;
    }
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_CopyAttr(STF_List *st, AS_SetHandle dest, AS_SetHandle src, GENU_ShortOID id,
                          AS_AttrHandle *out) try {
    AS_ENTER(st);
    if (!CheckHandle(st, dest, kSetHandle, 1, 1) || !CheckHandle(st, src, kSetHandle, 2, 2))
        return 1;
    auto *d = static_cast<Set *>(dest->obj);
    auto *s = static_cast<Set *>(src->obj);
    if (!CheckSet(st, d, 1) || !CheckSet(st, s, 2) || !DestAccepts(st, d, id)) return 1;
    Attr *a = Lookup(st, s, id);
    return a ? CopyInto(st, d, a, out) : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_CopyAttrR(STF_List *st, AS_SetHandle dest, AS_AttrHandle src,
                           AS_AttrHandle *out) try {
    AS_ENTER(st);
    if (!CheckHandle(st, dest, kSetHandle, 1, 1) || !CheckHandle(st, src, kAttrHandle, 2, 2))
        return 1;
    auto *d = static_cast<Set *>(dest->obj);
    auto *a = static_cast<Attr *>(src->obj);
    if (!CheckSet(st, d, 1) || !CheckAttr(st, a, 2) || !DestAccepts(st, d, a->id)) return 1;
    return CopyInto(st, d, a, out);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_DeleteAttr(STF_List *st, AS_SetHandle set, GENU_ShortOID id) try {
    AS_ENTER(st);
    Attr *a = ById(st, set, id);
    return a && DeleteAttr(st, a->set, a) ? 0 : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_DeleteAttrR(STF_List *st, AS_AttrHandle *pa) try {
    AS_ENTER(st);
    if (!pa) return Fail(st, AS_S_BADARG1);
    Attr *a = GetAttr(st, *pa, 1);
    if (!a) return 1;
    Handle *h = a->handle;
    if (!DeleteAttr(st, a->set, a)) return 1;
    Release(h);
    *pa = AS_nullAttrHandle;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_FindAttr(STF_List *st, AS_SetHandle set, GENU_ShortOID id,
                          AS_AttrHandle *out) try {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG3);
    Attr *a = ById(st, set, id);
    if (!a || !Publish(st, a->handle)) return 1;
    *out = a->handle;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_FindFirstAttr(STF_List *st, AS_SetHandle set, AS_AttrHandle *out,
                               GENU_ShortOID *id_out) try {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG2);
    Set *s = GetSet(st, set, 1);
    if (!s) return 1;
    if (!s->first) return Fail(st, AS_S_NOATTR);
    if (!Publish(st, s->first->handle)) return 1;
    *out = s->first->handle;
    if (id_out) *id_out = s->first->id;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_FindNextAttrR(STF_List *st, AS_AttrHandle *pa, GENU_ShortOID *id_out) try {
    return StepHandle(st, pa, id_out, true, &Attr::id, AS_S_NOMOREATTRS);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_FindPrevAttrR(STF_List *st, AS_AttrHandle *pa, GENU_ShortOID *id_out) try {
    return StepHandle(st, pa, id_out, false, &Attr::id, AS_S_NOMOREATTRS);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrIDR(STF_List *st, AS_AttrHandle attr, GENU_ShortOID *id_out) try {
    return GetByHandle(st, attr, id_out, [](const Attr *a) { return a->id; });
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrSetR(STF_List *st, AS_AttrHandle attr, AS_SetHandle *out) try {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG2);
    Attr *a = GetAttr(st, attr, 1);
    if (!a || !CheckSet(st, a->set) || !Publish(st, a->set->handle)) return 1;
    *out = a->set->handle;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_IsAttrPresent(STF_List *st, AS_SetHandle set, GENU_ShortOID id, int *result) try {
    AS_ENTER(st);
    if (!result) return Fail(st, AS_S_BADARG3);
    Set *s = GetSet(st, set, 1);
    if (!s) return 1;
    *result = FindFirstWithId(s, id) != nullptr;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrValType(STF_List *st, AS_SetHandle set, GENU_ShortOID id,
                                uint32_t *out) try {
    return GetById(st, set, id, out, [](const Attr *a) { return a->type; });
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrValTypeR(STF_List *st, AS_AttrHandle attr, uint32_t *out) try {
    return GetByHandle(st, attr, out, [](const Attr *a) { return a->type; });
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrValCount(STF_List *st, AS_SetHandle set, GENU_ShortOID id,
                                 uint32_t *out) try {
    return GetById(st, set, id, out, [](const Attr *a) { return a->count; });
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

// A missing count variable is reported as the third argument here, as this
// function always has.
VR_EXPORT int AS_GetAttrValCountR(STF_List *st, AS_AttrHandle attr, uint32_t *out) try {
    return GetByHandle(
        st, attr, out, [](const Attr *a) { return a->count; }, AS_S_BADARG3);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrModifyOp(STF_List *st, AS_SetHandle set, GENU_ShortOID id,
                                 int32_t *out) try {
    return GetById(st, set, id, out, [](const Attr *a) { return a->modop; });
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrModifyOpR(STF_List *st, AS_AttrHandle attr, int32_t *out) try {
    return GetByHandle(st, attr, out, [](const Attr *a) { return a->modop; });
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_SetAttrModifyOp(STF_List *st, AS_SetHandle set, GENU_ShortOID id, int32_t op) try {
    AS_ENTER(st);
    if (!ModOpOk(op)) return Fail(st, AS_S_BADARG3);
    Attr *a = ById(st, set, id);
    if (!a) return 1;
    a->modop = op;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_SetAttrModifyOpR(STF_List *st, AS_AttrHandle attr, int32_t op) try {
    AS_ENTER(st);
    if (!ModOpOk(op)) return Fail(st, AS_S_BADARG2);
    Attr *a = GetAttr(st, attr, 1);
    if (!a) return 1;
    a->modop = op;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_SetAttrCharacteristics(STF_List *st, AS_SetHandle set, GENU_ShortOID id,
                                        const void *data, uint32_t size) try {
    AS_ENTER(st);
    if (!data) return Fail(st, AS_S_BADARG3);
    Attr *a = ById(st, set, id);
    return a ? SetChars(st, a, data, size) : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_SetAttrCharacteristicsR(STF_List *st, AS_AttrHandle attr, const void *data,
                                         uint32_t size) try {
    AS_ENTER(st);
    if (!data) return Fail(st, AS_S_BADARG2);
    Attr *a = GetAttr(st, attr, 1);
    return a ? SetChars(st, a, data, size) : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrCharacteristics(STF_List *st, AS_SetHandle set, GENU_ShortOID id,
                                        void **data, uint32_t *size, GENU_AllocFn fn) try {
    AS_ENTER(st);
    if (!data) return Fail(st, AS_S_BADARG3);
    if (!size) return Fail(st, AS_S_BADARG4);
    Attr *a = ById(st, set, id);
    return a ? GetChars(st, a, data, size, fn) : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrCharacteristicsR(STF_List *st, AS_AttrHandle attr, void **data,
                                         uint32_t *size, GENU_AllocFn fn) try {
    AS_ENTER(st);
    if (!data) return Fail(st, AS_S_BADARG2);
    if (!size) return Fail(st, AS_S_BADARG3);
    Attr *a = GetAttr(st, attr, 1);
    return a ? GetChars(st, a, data, size, fn) : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

} // extern "C"
