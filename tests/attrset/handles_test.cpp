// Handle discipline: sharing, releasing, stale and invalid handles, corrupt
// objects and the limits.
#include <cstdlib>
#include <cstring>

#include "as_test_util.h"

using namespace astest;
using vr::as::Attr;
using vr::as::Set;

namespace {
const std::vector<uint32_t> kBadArg1{AS_S_BADARG1, AS_S_BADHANDLE};
}

TEST(AttrSetHandles, CreateValidatesArgumentsAndCreatesNothingOnFailure) {
    Status st;
    long live = vrtest::FailAlloc::Live();
    size_t regs = vr::as::RegistrySize();
    EXPECT_EQ(AS_Create(nullptr, nullptr, nullptr, 0), 1);
    EXPECT_EQ(AS_Create(st, nullptr, nullptr, 0), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG1);
    AS_SetHandle h = nullptr;
    GENU_Allocator half{vrtest::FailMalloc, nullptr};
    EXPECT_EQ(AS_Create(st, &h, &half, 0), 1);
    EXPECT_EQ(st.Codes(), std::vector<uint32_t>{AS_S_BADARG2});
    EXPECT_EQ(h, nullptr);
    vrtest::SweepFailures([&] { return AS_Create(st, &h, &kFailAlloc, 1) == 0; },
                          [&] { EXPECT_EQ(st.Top(), AS_S_NOMEM); });
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(AS_Destroy(st, &h), 0);
    EXPECT_EQ(h, AS_nullSetHandle);
    EXPECT_EQ(vrtest::FailAlloc::Live(), live);
    EXPECT_EQ(vr::as::RegistrySize(), regs);

    // The default allocator when none is given.
    ASSERT_EQ(AS_Create(st, &h, nullptr, 0), 0);
    GENU_Allocator got{};
    EXPECT_EQ(AS_GetAllocator(st, h, &got), 0);
    EXPECT_EQ(got.alloc, GENU__CoveredMalloc);
    EXPECT_EQ(got.free, GENU__CoveredFree);
    EXPECT_EQ(AS_Destroy(st, &h), 0);
}

TEST(AttrSetHandles, SharedHandleBecomesStaleAndIsFreedByItsLastUser) {
    Status st;
    AS_SetHandle h = nullptr, copy = nullptr;
    ASSERT_EQ(AS_Create(st, &h, &kFailAlloc, 0), 0);
    long live_with_set = vrtest::FailAlloc::Live();
    ASSERT_EQ(AS_CopySetHandle(st, h, &copy), 0);
    EXPECT_EQ(copy, h);
    ASSERT_EQ(AS_Destroy(st, &h), 0);
    EXPECT_EQ(h, nullptr);
    // Only the handle record is left.
    EXPECT_EQ(vrtest::FailAlloc::Live(), live_with_set - 1);

    uint32_t n;
    int empty;
    AS_SetHandle out;
    EXPECT_EQ(AS_GetCount(st, copy, &n), 1);
    EXPECT_EQ(st.Codes(), std::vector<uint32_t>{AS_S_STALE});
    EXPECT_EQ(AS_IsEmpty(st, copy, &empty), 1);
    EXPECT_EQ(st.Top(), AS_S_STALE);
    EXPECT_EQ(AS_CopySetHandle(st, copy, &out), 1);
    EXPECT_EQ(st.Top(), AS_S_STALE);
    EXPECT_EQ(AS_AddAttr(st, copy, 1, kIntType, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_STALE);
    AS_SetHandle copy2 = copy;
    EXPECT_EQ(AS_Destroy(st, &copy2), 1);
    EXPECT_EQ(st.Top(), AS_S_STALE);

    EXPECT_EQ(AS_FreeSetHandle(st, &copy), 0);
    EXPECT_EQ(copy, AS_nullSetHandle);
    EXPECT_EQ(vrtest::FailAlloc::Live(), live_with_set - 2);
    // The freed record is no handle any more.
    EXPECT_EQ(AS_FreeSetHandle(st, &copy2), 1);
    EXPECT_EQ(st.Codes(), kBadArg1);
}

TEST(AttrSetHandles, InvalidHandlesAreReportedNeverTrusted) {
    Status st;
    TestSet set;
    AS_AttrHandle attr = nullptr;
    ASSERT_EQ(AS_AddAttr(st, set, 5, kIntType, &attr), 0);
    uint32_t n;

    // The wrong kind of handle, both ways.
    EXPECT_EQ(AS_GetCount(st, attr, &n), 1);
    EXPECT_EQ(st.Codes(), kBadArg1);
    EXPECT_EQ(AS_GetAttrValCountR(st, set, &n), 1);
    EXPECT_EQ(st.Codes(), kBadArg1);
    AS_SetHandle as_set = attr;
    EXPECT_EQ(AS_FreeSetHandle(st, &as_set), 1);
    EXPECT_EQ(st.Codes(), kBadArg1);

    // Pointers that never were handles: null, stack, heap garbage, a copy of
    // a real record (right magic, wrong address), an object's address.
    alignas(16) unsigned char junk[64];
    std::memset(junk, 0xA5, sizeof junk);
    AS__HandleRecord forged = *set.h;
    void *heap = std::malloc(64);
    std::memset(heap, 0, 64);
    for (AS_SetHandle bogus : {static_cast<AS_SetHandle>(nullptr),
                               reinterpret_cast<AS_SetHandle>(junk), &forged,
                               static_cast<AS_SetHandle>(heap),
                               static_cast<AS_SetHandle>(set.h->obj)}) {
        EXPECT_EQ(AS_GetCount(st, bogus, &n), 1);
        EXPECT_EQ(st.Codes(), kBadArg1);
        AS_SetHandle b = bogus;
        EXPECT_EQ(AS_Destroy(st, &b), 1);
        EXPECT_EQ(st.Top(), AS_S_BADARG1);
        EXPECT_EQ(AS_FreeSetHandle(st, &b), 1);
        EXPECT_EQ(st.Top(), AS_S_BADARG1);
        // Two-handle operations report the position of the bad handle.
        EXPECT_EQ(AS_CopyAttr(st, set, bogus, 5, nullptr), 1);
        EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_BADARG2, AS_S_BADHANDLE}));
    }
    std::free(heap);

    // A handle whose last user let go while the attribute lives: invalid to
    // callers, yet the attribute is intact and can be found again.
    ASSERT_EQ(AS_FreeAttrHandle(st, &attr), 0);
    EXPECT_EQ(attr, AS_nullAttrHandle);
    AS_AttrHandle dropped = static_cast<Set *>(set.h->obj)->first->handle;
    GENU_ShortOID id;
    EXPECT_EQ(AS_GetAttrIDR(st, dropped, &id), 1);
    EXPECT_EQ(st.Codes(), kBadArg1);
    ASSERT_EQ(AS_FindAttr(st, set, 5, &attr), 0);
    EXPECT_EQ(attr, dropped);
    EXPECT_EQ(AS_GetAttrIDR(st, attr, &id), 0);
    EXPECT_EQ(id, 5u);
    EXPECT_EQ(AS_FreeAttrHandle(st, &attr), 0);

    // Null pointers to handle variables.
    EXPECT_EQ(AS_Destroy(st, nullptr), 1);
    EXPECT_EQ(st.Codes(), std::vector<uint32_t>{AS_S_BADARG1});
    EXPECT_EQ(AS_FreeAttrValHandle(st, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG1);
    EXPECT_EQ(AS_CopySetHandle(st, set, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG2);
}

TEST(AttrSetHandles, DeletedAttributeAndValueLeaveStaleHandles) {
    Status st;
    TestSet set;
    AS_AttrHandle attr = nullptr, attr2 = nullptr;
    ASSERT_EQ(AS_AddAttrVal(st, set, 3, kIntType, MakeInt(30), &kIntDesc, &attr), 0);
    ASSERT_EQ(AS_CopyAttrHandle(st, attr, &attr2), 0);
    AS_AttrValHandle val = nullptr;
    ASSERT_EQ(AS_FindFirstAttrValR(st, attr, &val, nullptr), 0);

    ASSERT_EQ(AS_DeleteAttrR(st, &attr), 0);
    EXPECT_EQ(attr, nullptr);
    GENU_ShortOID id;
    EXPECT_EQ(AS_GetAttrIDR(st, attr2, &id), 1);
    EXPECT_EQ(st.Codes(), std::vector<uint32_t>{AS_S_STALE});
    void *v;
    EXPECT_EQ(AS_GetAttrValVR(st, val, &v), 1);
    EXPECT_EQ(st.Codes(), std::vector<uint32_t>{AS_S_STALE});
    // Two-handle operations name the stale one.
    EXPECT_EQ(AS_CopyAttrR(st, set, attr2, nullptr), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_STALE2, AS_S_STALE}));
    EXPECT_EQ(AS_CopyAttrValsR(st, attr2, attr2), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_STALE1, AS_S_STALE}));
    EXPECT_EQ(AS_FreeAttrHandle(st, &attr2), 0);
    EXPECT_EQ(AS_FreeAttrValHandle(st, &val), 0);
    EXPECT_EQ(IntSyntax::live, 0);
}

TEST(AttrSetHandles, StaleDestinationOfTwoSetOperation) {
    Status st;
    TestSet src;
    src.Add(1, 10);
    AS_SetHandle dest = nullptr, keep = nullptr;
    ASSERT_EQ(AS_Create(st, &dest, &kFailAlloc, 0), 0);
    ASSERT_EQ(AS_CopySetHandle(st, dest, &keep), 0);
    ASSERT_EQ(AS_Destroy(st, &dest), 0);
    EXPECT_EQ(AS_CopyAttr(st, keep, src, 1, nullptr), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_STALE1, AS_S_STALE}));
    AS_SetHandle out = nullptr;
    EXPECT_EQ(AS_Append(st, &out, src, keep, nullptr, 0), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_STALE2, AS_S_STALE}));
    EXPECT_EQ(AS_FreeSetHandle(st, &keep), 0);
}

TEST(AttrSetHandles, CorruptObjectsAreReported) {
    Status st;
    TestSet set, other;
    set.Add(1, 10);
    other.Add(2, 20);
    auto *s = static_cast<Set *>(set.h->obj);
    Attr *a = s->first;
    uint32_t n;

    s->allow_dups = 2;
    EXPECT_EQ(AS_GetCount(st, set, &n), 1);
    EXPECT_EQ(st.Codes(), std::vector<uint32_t>{AS_S_CORRUPT});
    EXPECT_EQ(AS_CopyAttr(st, other, set, 1, nullptr), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_CORRUPT2, AS_S_CORRUPT}));
    AS_SetHandle out = nullptr;
    EXPECT_EQ(AS_Overlay(st, &out, set, other, nullptr), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_CORRUPT1, AS_S_CORRUPT}));
    s->allow_dups = 0;

    s->last = nullptr;
    EXPECT_EQ(AS_GetCount(st, set, &n), 1);
    EXPECT_EQ(st.Top(), AS_S_CORRUPT);
    s->last = a;

    a->modop = 4;
    EXPECT_EQ(AS_GetAttrModifyOp(st, set, 1, nullptr), 1); // argument first
    EXPECT_EQ(st.Top(), AS_S_BADARG3);
    AS_AttrHandle ah = nullptr;
    ASSERT_EQ(AS_FindAttr(st, set, 1, &ah), 0);
    int32_t op;
    EXPECT_EQ(AS_GetAttrModifyOpR(st, ah, &op), 1);
    EXPECT_EQ(st.Top(), AS_S_CORRUPT);
    a->modop = 0;
    a->chars_size = 3;
    EXPECT_EQ(AS_GetAttrModifyOpR(st, ah, &op), 1);
    EXPECT_EQ(st.Top(), AS_S_CORRUPT);
    a->chars_size = 0;

    AS_AttrValHandle vh = nullptr;
    ASSERT_EQ(AS_FindFirstAttrValR(st, ah, &vh, nullptr), 0);
    GENU_DeleteFn del = a->first->del;
    a->first->del = nullptr;
    void *v;
    EXPECT_EQ(AS_GetAttrValVR(st, vh, &v), 1);
    EXPECT_EQ(st.Top(), AS_S_CORRUPT);
    a->first->del = del;
    EXPECT_EQ(AS_GetAttrValVR(st, vh, &v), 0);
    EXPECT_EQ(AS_FreeAttrValHandle(st, &vh), 0);
    EXPECT_EQ(AS_FreeAttrHandle(st, &ah), 0);
}

TEST(AttrSetHandles, CountLimits) {
    Status st;
    TestSet set;
    AS_AttrHandle ah = nullptr, out = nullptr;
    ASSERT_EQ(AS_AddAttrVal(st, set, 1, kIntType, MakeInt(1), &kIntDesc, &ah), 0);
    Attr *a = static_cast<Attr *>(ah->obj);

    ah->users = vr::as::kCountLimit - 1;
    EXPECT_EQ(AS_CopyAttrHandle(st, ah, &out), 1);
    EXPECT_EQ(st.Top(), AS_S_TOOMANYUSERS);
    int *v = MakeInt(2);
    EXPECT_EQ(AS_AddAttrVal(st, set, 1, kIntType, v, &kIntDesc, &out), 1);
    EXPECT_EQ(st.Top(), AS_S_TOOMANYUSERS);
    EXPECT_EQ(a->count, 1u);
    ah->users = 1;

    a->count = vr::as::kCountLimit - 1; // one value present as far as links go
    EXPECT_EQ(AS_AddAttrValR(st, ah, kIntType, v, &kIntDesc), 1);
    EXPECT_EQ(st.Top(), AS_S_ATTRFULL);
    a->count = 1;
    FreeInt(v);

    auto *s = static_cast<Set *>(set.h->obj);
    s->count = vr::as::kCountLimit - 1;
    EXPECT_EQ(AS_AddAttr(st, set, 2, kIntType, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_SETFULL);
    s->count = 1;
    EXPECT_EQ(AS_FreeAttrHandle(st, &ah), 0);
}
