// Small helpers shared by the set, operation and error conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vrcore/genu.h"

#include "vrcore/stf.h"

namespace vrcore::encoding {

// Adds a code on top of the list; returns 1 for `return Fail(...)`.
inline int Fail(STF_List *status, uint32_t code) {
    STF_AddStatus(status, code, 0);
    return 1;
}

// Runs a release step with a status list of its own, so that the codes
// gathered so far stay in the caller's list. Without memory for a list of
// its own the step runs on the caller's list and the top code is put back.
template <class F> void Quiet(STF_List *status, F &&step) {
    if (STF_List *scratch = STF_CreateList(nullptr)) {
        step(scratch);
        STF_DeleteList(scratch);
        return;
    }
    uint32_t top = STF_GetStatus(status);
    step(status);
    STF_ClearStatus(status);
    if (top) STF_AddStatus(status, top, 0);
}

// A zero-filled block from the thread context's allocator.
inline void *CtxZero(size_t n) {
    void *p = _GENU__MyMalloc(n);
    if (p) memset(p, 0, n);
    return p;
}

// A zero-filled block from the plain heap.
inline void *HeapZero(size_t n) {
    void *p = GENU__CoveredMalloc(n);
    if (p) memset(p, 0, n);
    return p;
}

// A heap copy, made by `copy`, of a value unpacked from one complete
// encoding of `type`; the unpacked value is released. Failure adds `code`.
template <class T, class Copy> int Unpacked(STF_List *st, const GENU_Buffer &b, uint32_t type,
                                            T *out, Copy &&copy, uint32_t code) {
    void *value = nullptr;
    GENU_ValueDescriptor d{};
    if (ODP_UnpackAV(st, b.length, b.value, type, &value, &d)) return Fail(st, code);
    int rc = copy(st, out, static_cast<const T *>(value));
    Quiet(st, [&](STF_List *q) { d.del(q, value, &genu_ossAllocator[0]); });
    return rc ? Fail(st, code) : 0;
}

} // namespace vrcore::encoding
