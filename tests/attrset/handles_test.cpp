// Handle discipline: stale, invalid and shared handles, corrupt objects, limits.
#include <cstring>
#include <thread>

#include "as_test_util.h"

using namespace astest;
using vrcore::attrset::Attr;
using vrcore::attrset::Set;

static const Codes kBadArg1{AS_S_BADARG1, AS_S_BADHANDLE};

TEST(AttrSetHandles, SharedHandlesGoStaleAndAreFreedByTheirLastUser) {
    Status st;
    AS_SetHandle h = nullptr, copy = nullptr;
    long blocks = vrtest::FailAlloc::Live();
    ASSERT_EQ(AS_Create(st, &h, &kFailAlloc, 0), 0);
    ASSERT_EQ(AS_CopySetHandle(st, h, &copy), 0);
    AS_AttrHandle attr = nullptr, attr2 = nullptr;
    AS_AttrValHandle val = nullptr;
    ASSERT_EQ(AS_AddAttrVal(st, h, 3, kIntType, MakeInt(30), &kIntDesc, &attr), 0);
    ASSERT_EQ(AS_CopyAttrHandle(st, attr, &attr2) + AS_FindFirstAttrValR(st, attr, &val, nullptr),
              0);
    EXPECT_TRUE(!AS_DeleteAttrR(st, &attr) && attr == AS_nullAttrHandle);
    GENU_ShortOID id;
    void *v;
    uint32_t n;
    EXPECT_EQ(st.FailedCodes(AS_GetAttrIDR(st, attr2, &id)), Codes{AS_S_STALE});
    EXPECT_EQ(st.FailedCodes(AS_GetAttrValVR(st, val, &v)), Codes{AS_S_STALE});
    EXPECT_EQ(st.FailedCodes(AS_CopyAttrR(st, h, attr2, nullptr)),
              (Codes{AS_S_STALE2, AS_S_STALE}));
    EXPECT_TRUE(!AS_Destroy(st, &h) && h == AS_nullSetHandle);
    EXPECT_EQ(st.FailedCodes(AS_GetCount(st, copy, &n)), Codes{AS_S_STALE});
    EXPECT_EQ(st.FailedCodes(AS_CopyAttr(st, copy, copy, 1, nullptr)),
              (Codes{AS_S_STALE1, AS_S_STALE}));
    AS_SetHandle again = copy;
    EXPECT_EQ(st.Failed(AS_Destroy(st, &again)), AS_S_STALE);

    // Freeing a stale handle succeeds; the freed record is no handle any more.
    EXPECT_EQ(st.FailedCodes(AS_FreeSetHandle(st, &attr2)), kBadArg1); // wrong kind
    const AS_Handle freed[] = {copy, attr2, val};
    EXPECT_EQ(AS_FreeSetHandle(st, &copy) + AS_FreeAttrHandle(st, &attr2) +
                  AS_FreeAttrValHandle(st, &val),
              0);
    EXPECT_TRUE(!copy && !val);
    for (AS_Handle f : freed) EXPECT_EQ(st.FailedCodes(AS_FreeAttrHandle(st, &f)), kBadArg1);
    EXPECT_EQ(vrtest::FailAlloc::Live(), blocks);
}

TEST(AttrSetHandles, InvalidHandlesAreReportedWithoutBeingTrusted) {
    Status st;
    TestSet set;
    AS_AttrHandle attr = nullptr;
    ASSERT_EQ(AS_AddAttr(st, set, 5, kIntType, &attr), 0);
    uint32_t n;
    EXPECT_EQ(st.FailedCodes(AS_GetCount(st, attr, &n)), kBadArg1); // wrong kind

    // Never handles: null, a copy of a real record, stack bytes, an object's address.
    unsigned char junk[64];
    std::memset(junk, 0xA5, sizeof junk);
    AS__HandleRecord forged = *set.h;
    for (AS_SetHandle bogus :
         {static_cast<AS_SetHandle>(nullptr), &forged, reinterpret_cast<AS_SetHandle>(junk),
          static_cast<AS_SetHandle>(set.h->obj)}) {
        EXPECT_EQ(st.FailedCodes(AS_GetCount(st, bogus, &n)), kBadArg1);
        AS_SetHandle b = bogus;
        EXPECT_EQ(st.FailedCodes(AS_FreeSetHandle(st, &b)), kBadArg1);
        EXPECT_EQ(st.FailedCodes(AS_CopyAttr(st, set, bogus, 5, nullptr)),
                  (Codes{AS_S_BADARG2, AS_S_BADHANDLE}));
    }

    // A record whose last user let go is invalid, yet the attribute is found again.
    AS_AttrHandle dropped = attr;
    ASSERT_EQ(AS_FreeAttrHandle(st, &attr), 0);
    GENU_ShortOID id;
    EXPECT_EQ(st.FailedCodes(AS_GetAttrIDR(st, dropped, &id)), kBadArg1);
    EXPECT_TRUE(!AS_FindAttr(st, set, 5, &attr) && attr == dropped);
    EXPECT_EQ(AS_FreeAttrHandle(st, &attr), 0);
}

TEST(AttrSetHandles, CorruptObjectsAndLimits) {
    Status st;
    TestSet set, other;
    AS_AttrHandle ah = nullptr, out = nullptr;
    ASSERT_EQ(AS_AddAttrVal(st, set, 1, kIntType, MakeInt(1), &kIntDesc, &ah), 0);
    auto *s = static_cast<Set *>(set.h->obj);
    auto *a = static_cast<Attr *>(ah->obj);
    uint32_t n;
    int32_t op;
    s->allow_dups = 2;
    EXPECT_EQ(st.FailedCodes(AS_GetCount(st, set, &n)), Codes{AS_S_CORRUPT});
    EXPECT_EQ(st.FailedCodes(AS_CopyAttr(st, other, set, 1, nullptr)),
              (Codes{AS_S_CORRUPT2, AS_S_CORRUPT}));
    s->allow_dups = 0;
    a->chars_size = 3;
    EXPECT_EQ(st.Failed(AS_GetAttrModifyOpR(st, ah, &op)), AS_S_CORRUPT);
    a->chars_size = 0;

    ah->users = vrcore::attrset::kCountLimit - 1;
    EXPECT_EQ(st.Failed(AS_CopyAttrHandle(st, ah, &out)), AS_S_TOOMANYUSERS);
    ah->users = 1;
    int *v = MakeInt(2);
    a->count = vrcore::attrset::kCountLimit - 1; // the links still hold one value
    EXPECT_EQ(st.Failed(AS_AddAttrValR(st, ah, kIntType, v, &kIntDesc)), AS_S_ATTRFULL);
    a->count = 1;
    s->count = vrcore::attrset::kCountLimit - 1;
    EXPECT_EQ(st.Failed(AS_AddAttr(st, set, 2, kIntType, nullptr)), AS_S_SETFULL);
    s->count = 1;
    EXPECT_EQ(Read(set), (Content{{1, {1}}}));
    FreeInt(v);
    EXPECT_EQ(AS_FreeAttrHandle(st, &ah), 0);
}

// The handle registry is shared by every thread.
TEST(AttrSetHandles, SeparateSetsInSeparateThreads) {
    size_t regs = vrcore::attrset::RegistrySize();
    auto work = [](int seed) {
        Status st;
        for (int round = 0; round < 50; ++round) {
            AS_SetHandle h = nullptr, c = nullptr;
            ASSERT_EQ(AS_Create(st, &h, nullptr, 0), 0);
            for (int i = 0; i < 40; ++i) {
                int v = seed + i;
                ASSERT_EQ(AS_AddAttrValM(st, h, static_cast<GENU_ShortOID>(i + 1), kIntType, &v,
                                         &kIntDesc, nullptr),
                          0);
            }
            void *v = nullptr;
            ASSERT_EQ(AS_Copy(st, &c, h, nullptr), 0);
            ASSERT_EQ(AS_Destroy(st, &h), 0);
            ASSERT_EQ(AS_GetAttrVal(st, c, 40, &v), 0);
            ASSERT_EQ(*static_cast<int *>(v), seed + 39);
            ASSERT_EQ(AS_Destroy(st, &c), 0);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back(work, t * 1000);
    for (auto &t : threads) t.join();
    EXPECT_EQ(vrcore::attrset::RegistrySize(), regs);
}
