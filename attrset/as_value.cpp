// Attribute sets: adding, replacing, copying, reading, iterating and
// deleting the values of attributes.
//
// Every add and replace builds its new value objects in a private chain
// first; the attribute (or a newly made attribute) is changed only once
// every object exists, so a failure leaves the set exactly as it was.
#include "attrset/as_internal.h"
#include "system/guard.h"

using namespace vrcore::attrset;

namespace {

// What one add or replace call asks for.
struct Request {
    uint32_t type;
    void *const *values;
    uint32_t n;
    const GENU_ValueDescriptor *desc;
    bool replace;
};

bool ListOk(const AS_ValueList *l) { return l && (l->count == 0 || l->values); }

// Checks an existing attribute against the request: value type, room for
// the values, and room for one more user when its handle is to be given.
bool Admits(STF_List *st, const Attr *a, const Request &rq, bool publish) {
    if (a->type != rq.type) {
        Add(st, AS_S_WRONGTYPE);
        return false;
    }
    uint64_t after = rq.replace ? rq.n : uint64_t{a->count} + rq.n;
    if (after >= kCountLimit) {
        Add(st, AS_S_ATTRFULL);
        return false;
    }
    if (publish && a->handle->users >= kCountLimit - 1) {
        Add(st, AS_S_TOOMANYUSERS);
        return false;
    }
    return true;
}

// Builds the value objects of a request into a chain (AS_S_NOMEM; nothing
// left on failure).
bool BuildChain(STF_List *st, Set *s, const Request &rq, Chain &c) {
    for (uint32_t i = 0; i < rq.n; ++i) {
        Value *v = NewValue(s, rq.values[i], rq.desc->copy, rq.desc->del);
        if (!v) {
            FreeChainObjects(s, c);
            Add(st, AS_S_NOMEM);
            return false;
        }
        ChainAppend(c, v);
    }
    return true;
}

// Replaces the old values of an existing attribute (replace requests) and
// appends the chain. On a failing delete the chain's objects are freed
// again; the caller keeps its values.
bool Commit(STF_List *st, Set *s, Attr *a, Chain &c, bool replace) {
    if (replace && !DeleteAllValues(st, a)) {
        FreeChainObjects(s, c);
        return false;
    }
    Splice(a, c);
    return true;
}

// The forms naming the attribute by set handle and identifier.
int AddById(STF_List *st, Handle *set, GENU_ShortOID id, const Request &rq, Handle **out) {
    Set *s = GetSet(st, set, 1);
    if (!s) return 1;
    Attr *a = Lookup(st, s, id);
    if (!a) {
        if (STF_GetStatus(st) != AS_S_NOATTR) return 1;
        STF_ClearStatus(st);
        if (rq.n >= kCountLimit) return Fail(st, AS_S_ATTRFULL);
        if (s->count >= kCountLimit - 1) return Fail(st, AS_S_SETFULL);
        Attr *na = NewAttr(s, id, rq.type);
        if (!na) return Fail(st, AS_S_NOMEM);
        Chain c;
        if (!BuildChain(st, s, rq, c)) {
            ForceFreeAttr(st, s, na);
            return 1;
        }
        if (!AppendAttr(s, na)) { // the caller keeps its values
            FreeChainObjects(s, c);
            ForceFreeAttr(st, s, na);
            return Fail(st, AS_S_NOMEM);
        }
        Splice(na, c);
        a = na;
    } else {
        if (!Admits(st, a, rq, out != nullptr)) return 1;
        Chain c;
        if (!BuildChain(st, s, rq, c) || !Commit(st, s, a, c, rq.replace)) return 1;
    }
    if (out) {
        Publish(st, a->handle); // room was checked above
        *out = a->handle;
    }
    return 0;
}

// The "R" forms naming the attribute by handle.
int AddByHandle(STF_List *st, Handle *attr, const Request &rq) {
    Attr *a = GetAttr(st, attr, 1);
    if (!a || !CheckSet(st, a->set) || !Admits(st, a, rq, false)) return 1;
    Chain c;
    return BuildChain(st, a->set, rq, c) && Commit(st, a->set, a, c, rq.replace) ? 0 : 1;
}

int AddOneById(STF_List *st, Handle *set, GENU_ShortOID id, uint32_t type, void *value,
               const GENU_ValueDescriptor *desc, Handle **out, bool replace) {
    AS_ENTER(st);
    if (!DescriptorOk(desc)) return Fail(st, AS_S_BADARG5);
    return AddById(st, set, id, Request{type, &value, 1, desc, replace}, out);
}

int AddListById(STF_List *st, Handle *set, GENU_ShortOID id, uint32_t type,
                const AS_ValueList *list, const GENU_ValueDescriptor *desc, Handle **out,
                bool replace) {
    AS_ENTER(st);
    if (!ListOk(list)) return Fail(st, AS_S_BADARG4);
    if (!DescriptorOk(desc)) return Fail(st, AS_S_BADARG5);
    return AddById(st, set, id, Request{type, list->values, list->count, desc, replace}, out);
}

int AddOneByHandle(STF_List *st, Handle *attr, uint32_t type, void *value,
                   const GENU_ValueDescriptor *desc, bool replace) {
    AS_ENTER(st);
    if (!DescriptorOk(desc)) return Fail(st, AS_S_BADARG4);
    return AddByHandle(st, attr, Request{type, &value, 1, desc, replace});
}

int AddListByHandle(STF_List *st, Handle *attr, uint32_t type, const AS_ValueList *list,
                    const GENU_ValueDescriptor *desc, bool replace) {
    AS_ENTER(st);
    if (!ListOk(list)) return Fail(st, AS_S_BADARG3);
    if (!DescriptorOk(desc)) return Fail(st, AS_S_BADARG4);
    return AddByHandle(st, attr, Request{type, list->values, list->count, desc, replace});
}

// The "M" forms: the set receives a copy made with its own allocator; the
// copy is deleted again when the plain form fails.
template <typename Plain> int AddCopy(STF_List *st, Handle *h, uint32_t handle_type,
                                      const void *value, const GENU_ValueDescriptor *desc,
                                      int desc_pos, Plain plain) {
    AS_ENTER(st);
    Set *s = nullptr;
    if (handle_type == kSetHandle) {
        s = GetSet(st, h, 1);
    } else if (Attr *a = GetAttr(st, h, 1)) {
        s = CheckSet(st, a->set) ? a->set : nullptr;
    }
    if (!s) return 1;
    if (!DescriptorOk(desc)) return Fail(st, ArgCode(desc_pos));
    GENU_Allocator al = AllocatorOf(s);
    void *copy = nullptr;
    if (desc->copy(st, &copy, value, &al) != 0) return Fail(st, AS_S_COPYFAILED);
    if (plain(copy) == 0) return 0;
    desc->del(st, copy, &al);
    return 1;
}

// Appends deep copies of src's values to dest.
int CopyValsInto(STF_List *st, Attr *dest, const Attr *src) {
    if (dest->type != src->type) return Fail(st, AS_S_WRONGTYPE);
    if (!src->count) return 0;
    if (uint64_t{dest->count} + src->count >= kCountLimit) return Fail(st, AS_S_ATTRFULL);
    Chain c;
    if (!CopyValues(st, dest->set, src, c)) return 1;
    Splice(dest, c);
    return 0;
}

int FirstValue(STF_List *st, Attr *a, Handle **out, void **value) {
    if (!a->first) return Fail(st, AS_S_NOVALUES);
    if (!Publish(st, a->first->handle)) return 1;
    *out = a->first->handle;
    if (value) *value = a->first->value;
    return 0;
}

int ValueList(STF_List *st, const Attr *a, AS_ValueList *out, GENU_AllocFn fn) {
    if (!a->count) {
        *out = AS_ValueList{0, nullptr};
        return 0;
    }
    auto **arr = static_cast<void **>((fn ? fn : GENU__CoveredMalloc)(a->count * sizeof(void *)));
    if (!arr) return Fail(st, AS_S_NOMEM);
    uint32_t i = 0;
    for (const Value *v = a->first; v; v = v->next) arr[i++] = v->value;
    *out = AS_ValueList{a->count, arr};
    return 0;
}

} // namespace

extern "C" {

VR_EXPORT int AS_AddAttrVal(STF_List *st, AS_SetHandle set, GENU_ShortOID id, uint32_t type,
                            void *value, const GENU_ValueDescriptor *desc, AS_AttrHandle *out) try {
    return AddOneById(st, set, id, type, value, desc, out, false);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_AddAttrValM(STF_List *st, AS_SetHandle set, GENU_ShortOID id, uint32_t type,
                             const void *value, const GENU_ValueDescriptor *desc,
                             AS_AttrHandle *out) try {
    return AddCopy(st, set, kSetHandle, value, desc, 5,
                   [&](void *copy) { return AS_AddAttrVal(st, set, id, type, copy, desc, out); });
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_AddAttrValR(STF_List *st, AS_AttrHandle attr, uint32_t type, void *value,
                             const GENU_ValueDescriptor *desc) try {
    return AddOneByHandle(st, attr, type, value, desc, false);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_AddAttrValMR(STF_List *st, AS_AttrHandle attr, uint32_t type, const void *value,
                              const GENU_ValueDescriptor *desc) try {
    return AddCopy(st, attr, kAttrHandle, value, desc, 4,
                   [&](void *copy) { return AS_AddAttrValR(st, attr, type, copy, desc); });
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_AddAttrValList(STF_List *st, AS_SetHandle set, GENU_ShortOID id, uint32_t type,
                                const AS_ValueList *list, const GENU_ValueDescriptor *desc,
                                AS_AttrHandle *out) try {
    return AddListById(st, set, id, type, list, desc, out, false);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_AddAttrValListR(STF_List *st, AS_AttrHandle attr, uint32_t type,
                                 const AS_ValueList *list, const GENU_ValueDescriptor *desc) try {
    return AddListByHandle(st, attr, type, list, desc, false);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_ReplaceAllAttrVals(STF_List *st, AS_SetHandle set, GENU_ShortOID id, uint32_t type,
                                    void *value, const GENU_ValueDescriptor *desc,
                                    AS_AttrHandle *out) try {
    return AddOneById(st, set, id, type, value, desc, out, true);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_ReplaceAllAttrValsM(STF_List *st, AS_SetHandle set, GENU_ShortOID id,
                                     uint32_t type, const void *value,
                                     const GENU_ValueDescriptor *desc, AS_AttrHandle *out) try {
    return AddCopy(st, set, kSetHandle, value, desc, 5, [&](void *copy) {
        return AS_ReplaceAllAttrVals(st, set, id, type, copy, desc, out);
    });
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_ReplaceAllAttrValsR(STF_List *st, AS_AttrHandle attr, uint32_t type, void *value,
                                     const GENU_ValueDescriptor *desc) try {
    return AddOneByHandle(st, attr, type, value, desc, true);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_ReplaceAllAttrValsMR(STF_List *st, AS_AttrHandle attr, uint32_t type,
                                      const void *value, const GENU_ValueDescriptor *desc) try {
    return AddCopy(st, attr, kAttrHandle, value, desc, 4,
                   [&](void *copy) { return AS_ReplaceAllAttrValsR(st, attr, type, copy, desc); });
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_ReplaceAllAttrValsWithList(STF_List *st, AS_SetHandle set, GENU_ShortOID id,
                                            uint32_t type, const AS_ValueList *list,
                                            const GENU_ValueDescriptor *desc,
                                            AS_AttrHandle *out) try {
    return AddListById(st, set, id, type, list, desc, out, true);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_ReplaceAllAttrValsWithListR(STF_List *st, AS_AttrHandle attr, uint32_t type,
                                             const AS_ValueList *list,
                                             const GENU_ValueDescriptor *desc) try {
    return AddListByHandle(st, attr, type, list, desc, true);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

// The new descriptor is checked too: a value stored with an incomplete
// descriptor could never be copied or deleted.
VR_EXPORT int AS_ReplaceAttrValVR(STF_List *st, AS_AttrValHandle val, uint32_t type, void *value,
                                  const GENU_ValueDescriptor *desc) try {
    AS_ENTER(st);
    if (!DescriptorOk(desc)) return Fail(st, AS_S_BADARG4);
    Value *v = GetValue(st, val, 1);
    if (!v) return 1;
    Attr *a = v->attr;
    if (!CheckAttr(st, a) || !CheckSet(st, a->set)) return 1;
    if (a->type != type) return Fail(st, AS_S_WRONGTYPE);
    GENU_Allocator al = AllocatorOf(a->set);
    if (v->del(st, v->value, &al) != 0) return Fail(st, AS_S_DELETEFAILED);
    v->value = value;
    v->copy = desc->copy;
    v->del = desc->del;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_CopyAttrVals(STF_List *st, AS_AttrHandle dest, AS_SetHandle src,
                              GENU_ShortOID id) try {
    AS_ENTER(st);
    if (!CheckHandle(st, dest, kAttrHandle, 1, 1) || !CheckHandle(st, src, kSetHandle, 2, 2))
        return 1;
    auto *d = static_cast<Attr *>(dest->obj);
    auto *s = static_cast<Set *>(src->obj);
    if (!CheckAttr(st, d, 1) || !CheckSet(st, d->set, 1) || !CheckSet(st, s, 2)) return 1;
    Attr *a = Lookup(st, s, id);
    return a ? CopyValsInto(st, d, a) : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_CopyAttrValsR(STF_List *st, AS_AttrHandle dest, AS_AttrHandle src) try {
    AS_ENTER(st);
    if (!CheckHandle(st, dest, kAttrHandle, 1, 1) || !CheckHandle(st, src, kAttrHandle, 2, 2))
        return 1;
    auto *d = static_cast<Attr *>(dest->obj);
    auto *a = static_cast<Attr *>(src->obj);
    if (!CheckAttr(st, d, 1) || !CheckSet(st, d->set, 1) || !CheckAttr(st, a, 2)) return 1;
    return CopyValsInto(st, d, a);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_DeleteAllAttrVals(STF_List *st, AS_SetHandle set, GENU_ShortOID id) try {
    AS_ENTER(st);
    Attr *a = ById(st, set, id);
    return a && DeleteAllValues(st, a) ? 0 : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_DeleteAllAttrValsR(STF_List *st, AS_AttrHandle attr) try {
    AS_ENTER(st);
    Attr *a = GetAttr(st, attr, 1);
    return a && DeleteAllValues(st, a) ? 0 : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_DeleteAttrValVR(STF_List *st, AS_AttrValHandle *pv) try {
    AS_ENTER(st);
    if (!pv) return Fail(st, AS_S_BADARG1);
    Value *v = GetValue(st, *pv, 1);
    if (!v || !CheckAttr(st, v->attr)) return 1;
    Handle *h = v->handle;
    if (!DeleteValue(st, v->attr, v)) return 1;
    Release(h);
    *pv = AS_nullAttrValHandle;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_FindFirstAttrVal(STF_List *st, AS_SetHandle set, GENU_ShortOID id,
                                  AS_AttrValHandle *out, void **value) try {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG3);
    Attr *a = ById(st, set, id);
    return a ? FirstValue(st, a, out, value) : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_FindFirstAttrValR(STF_List *st, AS_AttrHandle attr, AS_AttrValHandle *out,
                                   void **value) try {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG2);
    Attr *a = GetAttr(st, attr, 1);
    return a ? FirstValue(st, a, out, value) : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_FindNextAttrValVR(STF_List *st, AS_AttrValHandle *pv, void **value) try {
    return StepHandle(st, pv, value, true, &Value::value, AS_S_NOMOREVALUES);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_FindPrevAttrValVR(STF_List *st, AS_AttrValHandle *pv, void **value) try {
    return StepHandle(st, pv, value, false, &Value::value, AS_S_NOMOREVALUES);
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrVal(STF_List *st, AS_SetHandle set, GENU_ShortOID id, void **value) try {
    AS_ENTER(st);
    if (!value) return Fail(st, AS_S_BADARG3);
    Attr *a = ById(st, set, id);
    if (!a) return 1;
    if (!a->first) return Fail(st, AS_S_NOVALUES);
    *value = a->first->value;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrValR(STF_List *st, AS_AttrHandle attr, void **value) try {
    AS_ENTER(st);
    if (!value) return Fail(st, AS_S_BADARG2);
    Attr *a = GetAttr(st, attr, 1);
    if (!a) return 1;
    if (!a->first) return Fail(st, AS_S_NOVALUES);
    *value = a->first->value;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrValVR(STF_List *st, AS_AttrValHandle val, void **value) try {
    AS_ENTER(st);
    if (!value) return Fail(st, AS_S_BADARG2);
    Value *v = GetValue(st, val, 1);
    if (!v) return 1;
    *value = v->value;
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrValList(STF_List *st, AS_SetHandle set, GENU_ShortOID id, AS_ValueList *out,
                                GENU_AllocFn fn) try {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG3);
    Attr *a = ById(st, set, id);
    return a ? ValueList(st, a, out, fn) : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrValListR(STF_List *st, AS_AttrHandle attr, AS_ValueList *out,
                                 GENU_AllocFn fn) try {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG2);
    Attr *a = GetAttr(st, attr, 1);
    return a ? ValueList(st, a, out, fn) : 1;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

VR_EXPORT int AS_GetAttrValDescriptorVR(STF_List *st, AS_AttrValHandle val,
                                        GENU_ValueDescriptor *out) try {
    AS_ENTER(st);
    if (!out) return Fail(st, AS_S_BADARG2);
    Value *v = GetValue(st, val, 1);
    if (!v) return 1;
    *out = GENU_ValueDescriptor{v->copy, v->del};
    return 0;
}
VR_CATCH_STATUS(st, AS_S_NOMEM, AS_S_INTERNAL)

} // extern "C"
