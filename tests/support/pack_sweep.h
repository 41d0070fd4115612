// Packs and unpacks one value under every failing allocation in turn: a
// failed pack leaves {0, null}, a failed unpack a null value, and the
// failing allocator's count of live blocks shows nothing left behind.
// The caller points the thread context's hooks at the failing allocator.
#pragma once

#include <gtest/gtest.h>

#include "failalloc.h"
#include "vrcore/genu.h"
#include "vrcore/stf.h"

namespace vrtest {

inline void SweepPackUnpack(STF_List *st, uint32_t type, const void *value) {
    GENU_Buffer enc{};
    SweepFailures(
        [&] {
            GENU_Buffer b{};
            if (ODP_PackAV(st, type, value, &b)) {
                EXPECT_EQ(b.value, nullptr) << type;
                EXPECT_EQ(b.length, 0u) << type;
                EXPECT_NE(STF_GetStatus(st), 0u) << type;
                return false;
            }
            enc = b;
            return true;
        },
        [] {});
    ASSERT_NE(enc.value, nullptr) << type;
    SweepFailures(
        [&] {
            void *out = nullptr;
            GENU_ValueDescriptor d{};
            if (ODP_UnpackAV(st, enc.length, enc.value, type, &out, &d)) {
                EXPECT_EQ(out, nullptr) << type;
                return false;
            }
            d.del(st, out, &genu_ossAllocator[0]);
            return true;
        },
        [] {});
    _GENU__MyFree(enc.value);
}

} // namespace vrtest
