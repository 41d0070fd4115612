// A status list for one test, deleted at its end.
#pragma once

#include <cstdint>
#include <vector>

#include "vrcore/stf.h"

namespace vrtest {

struct StatusList {
    STF_List *list = STF_CreateList(nullptr);
    StatusList() = default;
    StatusList(const StatusList &) = delete;
    StatusList &operator=(const StatusList &) = delete;
    ~StatusList() { STF_DeleteList(list); }
    operator STF_List *() const { return list; }
    uint32_t Code() const { return STF_GetStatus(list); }
    // Every code, newest first.
    std::vector<uint32_t> Codes() const {
        std::vector<uint32_t> out;
        STF_ObjectInfo info;
        for (uint32_t i = 1; STF_GetObjectInfo(list, i, &info) == 0; ++i) out.push_back(info.code);
        return out;
    }
    // The list emptied, for calls that add to a list without clearing it.
    STF_List *Fresh() const { return STF_ClearStatus(list); }
    // The top code, or every code, of a call that failed (rc 1); ~0 or none otherwise.
    uint32_t Failed(int rc) const { return rc == 1 ? Code() : 0xFFFFFFFFu; }
    std::vector<uint32_t> FailedCodes(int rc) const {
        return rc == 1 ? Codes() : std::vector<uint32_t>{};
    }
};

} // namespace vrtest
