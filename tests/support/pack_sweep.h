// Packs and unpacks one value under every failing allocation in turn.
#pragma once

#include <gtest/gtest.h>

#include "encoding/ber_world.h"
#include "failalloc.h"
#include "vrcore/genu.h"
#include "vrcore/stf.h"

namespace vrtest {

// While it lives, the thread's encoding context draws from the failing allocator.
struct FailingContext {
    vrcore::ber::World *w = static_cast<vrcore::ber::World *>(GENU_GetWorld());
    void *(*alloc)(size_t) = w->alloc;
    void (*free)(void *) = w->free;
    FailingContext() { w->alloc = FailMalloc, w->free = FailFree; }
    ~FailingContext() { w->alloc = alloc, w->free = free; }
    FailingContext(const FailingContext &) = delete;
    FailingContext &operator=(const FailingContext &) = delete;
};

// Inside a FailingContext: a failed pack leaves {0, null}, a failed unpack no value.
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
