// Small helpers shared by the set, operation and error conversions.
#pragma once

#include <cstdint>

#include "vrcore/stf.h"

namespace vrops {

// Adds a code on top of the list; returns 1 for `return Fail(...)`.
inline int Fail(STF_List *status, uint32_t code) {
    STF_AddStatus(status, code, 0);
    return 1;
}

// Runs a release step with a status list of its own, so that the codes
// gathered so far stay in the caller's list. Without memory for a list of
// its own the step runs on the caller's list and the top code is put back.
template <class F>
void Quiet(STF_List *status, F &&step) {
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

} // namespace vrops
