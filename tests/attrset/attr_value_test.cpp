// Attributes and values: lookup with and without duplicates, iteration,
// properties, characteristics, value ownership, replacement and deletion.
#include <cstring>

#include "as_test_util.h"

using namespace astest;

namespace {

Content C(std::initializer_list<std::pair<GENU_ShortOID, std::vector<int>>> l) {
    return Content(l);
}

} // namespace

TEST(AttrSetAttributes, DuplicatesAndLookup) {
    Status st;
    TestSet dups(1), plain(0);
    ASSERT_EQ(AS_AddAttr(st, dups, 4, kIntType, nullptr), 0);
    ASSERT_EQ(AS_AddAttr(st, dups, 4, kIntType, nullptr), 0);
    AS_AttrHandle h = nullptr;
    EXPECT_EQ(AS_FindAttr(st, dups, 4, &h), 1);
    EXPECT_EQ(st.Top(), AS_S_MULTIPLE);
    int present = 0;
    EXPECT_EQ(AS_IsAttrPresent(st, dups, 4, &present), 0);
    EXPECT_EQ(present, 1);
    int *v = MakeInt(1);
    EXPECT_EQ(AS_AddAttrVal(st, dups, 4, kIntType, v, &kIntDesc, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_MULTIPLE);
    FreeInt(v);
    // Iteration still reaches both.
    GENU_ShortOID id = 0;
    ASSERT_EQ(AS_FindFirstAttr(st, dups, &h, &id), 0);
    EXPECT_EQ(AS_FindNextAttrR(st, &h, &id), 0);
    EXPECT_EQ(id, 4u);
    AS_AttrHandle last = h;
    EXPECT_EQ(AS_FindNextAttrR(st, &h, &id), 1);
    EXPECT_EQ(st.Top(), AS_S_NOMOREATTRS);
    EXPECT_EQ(h, last);
    EXPECT_EQ(AS_FindPrevAttrR(st, &h, &id), 0);
    EXPECT_EQ(AS_FindPrevAttrR(st, &h, &id), 1);
    EXPECT_EQ(st.Top(), AS_S_NOMOREATTRS);
    // Stepping moved the one reference along: releasing it once is enough.
    EXPECT_EQ(AS_FreeAttrHandle(st, &h), 0);
    EXPECT_EQ(AS_FreeAttrHandle(st, &last), 1);

    // Once duplicates are disallowed, lookups answer with the first.
    ASSERT_EQ(AS_DisallowDuplicates(st, dups), 0);
    ASSERT_EQ(AS_FindAttr(st, dups, 4, &h), 0);
    EXPECT_EQ(AS_FreeAttrHandle(st, &h), 0);
    EXPECT_EQ(AS_AddAttr(st, dups, 4, kIntType, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_PRESENT);

    plain.Add(9, 90);
    EXPECT_EQ(AS_AddAttr(st, plain, 9, kIntType, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_PRESENT);
    EXPECT_EQ(AS_CopyAttr(st, plain, plain, 9, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_PRESENT);
    EXPECT_EQ(AS_FindAttr(st, plain, 10, &h), 1);
    EXPECT_EQ(st.Top(), AS_S_NOATTR);
    TestSet empty;
    EXPECT_EQ(AS_FindFirstAttr(st, empty, &h, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_NOATTR);
    int e = -1;
    EXPECT_EQ(AS_IsEmpty(st, empty, &e), 0);
    EXPECT_EQ(e, 1);
    EXPECT_EQ(AS_IsEmpty(st, plain, &e), 0);
    EXPECT_EQ(e, 0);
}

TEST(AttrSetAttributes, PropertiesAndCharacteristics) {
    Status st;
    TestSet set;
    AS_AttrHandle h = nullptr;
    ASSERT_EQ(AS_AddAttr(st, set, 2, kOtherType, &h), 0);
    int32_t op = 9;
    EXPECT_EQ(AS_GetAttrModifyOp(st, set, 2, &op), 0);
    EXPECT_EQ(op, 0);
    EXPECT_EQ(AS_SetAttrModifyOp(st, set, 2, 4), 1);
    EXPECT_EQ(st.Codes(), std::vector<uint32_t>{AS_S_BADARG3});
    EXPECT_EQ(AS_SetAttrModifyOpR(st, h, -2), 1);
    EXPECT_EQ(st.Codes(), std::vector<uint32_t>{AS_S_BADARG2});
    EXPECT_EQ(AS_SetAttrModifyOp(st, set, 2, -1), 0);
    EXPECT_EQ(AS_GetAttrModifyOpR(st, h, &op), 0);
    EXPECT_EQ(op, -1);
    uint32_t type = 0;
    EXPECT_EQ(AS_GetAttrValTypeR(st, h, &type), 0);
    EXPECT_EQ(type, kOtherType);
    AS_SetHandle owner = nullptr;
    ASSERT_EQ(AS_GetAttrSetR(st, h, &owner), 0);
    EXPECT_EQ(owner, set.h);
    EXPECT_EQ(AS_FreeSetHandle(st, &owner), 0);

    void *data = reinterpret_cast<void *>(1);
    uint32_t size = 7;
    EXPECT_EQ(AS_GetAttrCharacteristics(st, set, 2, &data, &size, nullptr), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(AS_GetAttrCharacteristicsR(st, h, &data, nullptr, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG3);
    EXPECT_EQ(AS_SetAttrCharacteristics(st, set, 2, nullptr, 3), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG3);

    long live = vrtest::FailAlloc::Live();
    vrtest::SweepFailures([&] { return AS_SetAttrCharacteristicsR(st, h, "abc", 3) == 0; },
                          [&] { EXPECT_EQ(st.Top(), AS_S_NOMEM); });
    EXPECT_EQ(vrtest::FailAlloc::Live(), live + 1);
    // Replacing keeps the old block when the new one cannot be had.
    vrtest::FailAlloc::Arm(1);
    EXPECT_EQ(AS_SetAttrCharacteristics(st, set, 2, "wxyz", 4), 1);
    vrtest::FailAlloc::Disarm();
    ASSERT_EQ(AS_GetAttrCharacteristicsR(st, h, &data, &size, vrtest::FailMalloc), 0);
    ASSERT_EQ(size, 3u);
    EXPECT_EQ(std::memcmp(data, "abc", 3), 0);
    vrtest::FailFree(data);
    // Size 0 removes it.
    EXPECT_EQ(AS_SetAttrCharacteristicsR(st, h, "", 0), 0);
    EXPECT_EQ(vrtest::FailAlloc::Live(), live);
    EXPECT_EQ(AS_FreeAttrHandle(st, &h), 0);
}

TEST(AttrSetValues, AddingCreatesAndChecksTheAttribute) {
    Status st;
    TestSet set;
    AS_AttrHandle h = nullptr;
    ASSERT_EQ(AS_AddAttrVal(st, set, 1, kIntType, MakeInt(10), &kIntDesc, &h), 0);
    int *other = MakeInt(11);
    EXPECT_EQ(AS_AddAttrVal(st, set, 1, kOtherType, other, &kIntDesc, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_WRONGTYPE);
    EXPECT_EQ(AS_AddAttrValR(st, h, kOtherType, other, &kIntDesc), 1);
    EXPECT_EQ(st.Top(), AS_S_WRONGTYPE);
    GENU_ValueDescriptor half{IntCopy, nullptr};
    EXPECT_EQ(AS_AddAttrVal(st, set, 1, kIntType, other, &half, nullptr), 1);
    EXPECT_EQ(st.Codes(), std::vector<uint32_t>{AS_S_BADARG5});
    EXPECT_EQ(AS_AddAttrValR(st, h, kIntType, other, nullptr), 1);
    EXPECT_EQ(st.Codes(), std::vector<uint32_t>{AS_S_BADARG4});
    // Descriptor checks come before the handle check, except for copies.
    EXPECT_EQ(AS_AddAttrVal(st, nullptr, 1, kIntType, other, nullptr, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG5);
    EXPECT_EQ(AS_AddAttrValM(st, nullptr, 1, kIntType, other, nullptr, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG1);
    FreeInt(other);

    AS_ValueList list{2, nullptr};
    EXPECT_EQ(AS_AddAttrValList(st, set, 2, kIntType, &list, &kIntDesc, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG4);
    EXPECT_EQ(AS_AddAttrValListR(st, h, kIntType, nullptr, &kIntDesc), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG3);
    list.count = 0;
    ASSERT_EQ(AS_AddAttrValList(st, set, 2, kOtherType, &list, &kIntDesc, nullptr), 0);
    uint32_t n = 9;
    EXPECT_EQ(AS_GetAttrValCount(st, set, 2, &n), 0);
    EXPECT_EQ(n, 0u);
    void *v;
    EXPECT_EQ(AS_GetAttrVal(st, set, 2, &v), 1);
    EXPECT_EQ(st.Top(), AS_S_NOVALUES);
    AS_ValueList got{5, reinterpret_cast<void **>(1)};
    EXPECT_EQ(AS_GetAttrValList(st, set, 2, &got, nullptr), 0);
    EXPECT_EQ(got.count, 0u);
    EXPECT_EQ(got.values, nullptr);

    int *three[3] = {MakeInt(12), MakeInt(13), MakeInt(14)};
    AS_ValueList l3{3, reinterpret_cast<void **>(three)};
    ASSERT_EQ(AS_AddAttrValListR(st, h, kIntType, &l3, &kIntDesc), 0);
    ASSERT_EQ(AS_GetAttrValListR(st, h, &got, vrtest::FailMalloc), 0);
    ASSERT_EQ(got.count, 4u);
    EXPECT_EQ(*static_cast<int *>(got.values[0]), 10);
    EXPECT_EQ(got.values[3], three[2]);
    vrtest::FailFree(got.values);
    EXPECT_EQ(Read(set), C({{1, {10, 12, 13, 14}}, {2, {}}}));
    EXPECT_EQ(AS_FreeAttrHandle(st, &h), 0);
}

TEST(AttrSetValues, CopiedValuesAreOwnedByTheSet) {
    Status st;
    TestSet set;
    int mine = 42;
    AS_AttrHandle h = nullptr;
    ASSERT_EQ(AS_AddAttrValM(st, set, 1, kIntType, &mine, &kIntDesc, &h), 0);
    ASSERT_EQ(AS_AddAttrValMR(st, h, kIntType, &mine, &kIntDesc), 0);
    mine = 0;
    EXPECT_EQ(Read(set), C({{1, {42, 42}}}));
    // A copy the plain form refuses is deleted again.
    long live = IntSyntax::live;
    EXPECT_EQ(AS_AddAttrValMR(st, h, kOtherType, &mine, &kIntDesc), 1);
    EXPECT_EQ(st.Top(), AS_S_WRONGTYPE);
    EXPECT_EQ(IntSyntax::live, live);
    // A copy that fails is reported on top of the copy function's codes.
    IntSyntax::fail_copy = 1;
    EXPECT_EQ(AS_ReplaceAllAttrValsM(st, set, 1, kIntType, &mine, &kIntDesc, nullptr), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_COPYFAILED, kCopyFailCode}));
    EXPECT_EQ(Read(set), C({{1, {42, 42}}}));
    ASSERT_EQ(AS_ReplaceAllAttrValsMR(st, h, kIntType, &mine, &kIntDesc), 0);
    EXPECT_EQ(Read(set), C({{1, {0}}}));
    EXPECT_EQ(AS_FreeAttrHandle(st, &h), 0);
}

TEST(AttrSetValues, ReplaceAndDeleteGoThroughDeleteFunctions) {
    Status st;
    TestSet set;
    AS_AttrHandle h = nullptr;
    int *three[3] = {MakeInt(1), MakeInt(2), MakeInt(3)};
    AS_ValueList l3{3, reinterpret_cast<void **>(three)};
    ASSERT_EQ(AS_AddAttrValList(st, set, 1, kIntType, &l3, &kIntDesc, &h), 0);
    IntSyntax::Reset();
    ASSERT_EQ(AS_ReplaceAllAttrVals(st, set, 1, kIntType, MakeInt(4), &kIntDesc, nullptr), 0);
    EXPECT_EQ(IntSyntax::deletes, 3);
    EXPECT_EQ(Read(set), C({{1, {4}}}));

    // A failing delete stops the replacement: deleted values stay deleted,
    // the new ones are not added, the caller keeps them.
    int *two[2] = {MakeInt(5), MakeInt(6)};
    AS_ValueList l2{2, reinterpret_cast<void **>(two)};
    ASSERT_EQ(AS_AddAttrValListR(st, h, kIntType, &l2, &kIntDesc), 0); // 4 5 6
    int *nv = MakeInt(7);
    IntSyntax::fail_delete = 2;
    EXPECT_EQ(AS_ReplaceAllAttrValsR(st, h, kIntType, nv, &kIntDesc), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_DELETEFAILED, kDeleteFailCode}));
    EXPECT_EQ(Read(set), C({{1, {5, 6}}}));
    ExpectConsistent(set);

    // In-place replacement keeps the value handle and position.
    AS_AttrValHandle vh = nullptr;
    ASSERT_EQ(AS_FindFirstAttrVal(st, set, 1, &vh, nullptr), 0);
    ASSERT_EQ(AS_FindNextAttrValVR(st, &vh, nullptr), 0);
    EXPECT_EQ(AS_ReplaceAttrValVR(st, vh, kOtherType, nv, &kIntDesc), 1);
    EXPECT_EQ(st.Top(), AS_S_WRONGTYPE);
    EXPECT_EQ(AS_ReplaceAttrValVR(st, vh, kIntType, nv, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG4);
    IntSyntax::fail_delete = 1;
    EXPECT_EQ(AS_ReplaceAttrValVR(st, vh, kIntType, nv, &kIntDesc), 1);
    EXPECT_EQ(st.Top(), AS_S_DELETEFAILED);
    ASSERT_EQ(AS_ReplaceAttrValVR(st, vh, kIntType, nv, &kIntDesc), 0);
    EXPECT_EQ(Read(set), C({{1, {5, 7}}}));
    void *v;
    EXPECT_EQ(AS_FindNextAttrValVR(st, &vh, &v), 1);
    EXPECT_EQ(st.Top(), AS_S_NOMOREVALUES);
    ASSERT_EQ(AS_FindPrevAttrValVR(st, &vh, &v), 0);
    EXPECT_EQ(*static_cast<int *>(v), 5);
    GENU_ValueDescriptor d{};
    EXPECT_EQ(AS_GetAttrValDescriptorVR(st, vh, &d), 0);
    EXPECT_EQ(d.del, IntDelete);

    // Deleting a value: failure changes nothing; success nulls the handle.
    IntSyntax::fail_delete = 1;
    EXPECT_EQ(AS_DeleteAttrValVR(st, &vh), 1);
    EXPECT_EQ(Read(set), C({{1, {5, 7}}}));
    ASSERT_EQ(AS_DeleteAttrValVR(st, &vh), 0);
    EXPECT_EQ(vh, AS_nullAttrValHandle);
    ASSERT_EQ(AS_FindFirstAttrValR(st, h, &vh, nullptr), 0);
    ASSERT_EQ(AS_DeleteAttrValVR(st, &vh), 0);
    uint32_t n = 9;
    EXPECT_EQ(AS_GetAttrValCountR(st, h, &n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(AS_GetAttrValR(st, h, &v), 1);
    EXPECT_EQ(st.Top(), AS_S_NOVALUES);
    EXPECT_EQ(AS_FreeAttrHandle(st, &h), 0);
}

TEST(AttrSetValues, DeletionsStopAtAFailingDeleteFunction) {
    Status st;
    TestSet set;
    for (int i = 0; i < 3; ++i) set.Add(1, i);
    set.Add(2, 20);
    set.Add(3, 30);
    IntSyntax::fail_delete = 2;
    EXPECT_EQ(AS_DeleteAttr(st, set, 1), 1);
    EXPECT_EQ(Read(set), C({{1, {1, 2}}, {2, {20}}, {3, {30}}}));
    IntSyntax::fail_delete = 1;
    EXPECT_EQ(AS_DeleteAllAttrVals(st, set, 1), 1);
    EXPECT_EQ(Read(set), C({{1, {1, 2}}, {2, {20}}, {3, {30}}}));
    ASSERT_EQ(AS_DeleteAllAttrVals(st, set, 1), 0);
    EXPECT_EQ(Read(set), C({{1, {}}, {2, {20}}, {3, {30}}}));

    IntSyntax::fail_delete = 2;
    EXPECT_EQ(AS_Clear(st, set), 1);
    EXPECT_EQ(st.Top(), AS_S_DELETEFAILED);
    EXPECT_EQ(Read(set), C({{3, {30}}}));
    IntSyntax::fail_delete = 1;
    AS_SetHandle h = set.h;
    EXPECT_EQ(AS_Destroy(st, &h), 1);
    EXPECT_EQ(h, set.h);
    EXPECT_EQ(Read(set), C({{3, {30}}}));
    ExpectConsistent(set);
    ASSERT_EQ(AS_Clear(st, set), 0);
    uint32_t n = 9;
    EXPECT_EQ(AS_GetCount(st, set, &n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(IntSyntax::live, 0);
}

TEST(AttrSetValues, CopyingValuesBetweenAttributes) {
    Status st;
    TestSet a, b;
    a.Add(1, 10);
    a.Add(1, 11);
    b.Add(2, 20);
    AS_AttrHandle dest = nullptr, src = nullptr;
    ASSERT_EQ(AS_FindAttr(st, b, 2, &dest), 0);
    ASSERT_EQ(AS_CopyAttrVals(st, dest, a, 1), 0);
    EXPECT_EQ(Read(b), C({{2, {20, 10, 11}}}));
    // Into itself: the attribute doubles.
    ASSERT_EQ(AS_CopyAttrValsR(st, dest, dest), 0);
    EXPECT_EQ(Read(b), C({{2, {20, 10, 11, 20, 10, 11}}}));
    ASSERT_EQ(AS_AddAttr(st, a, 3, kOtherType, &src), 0);
    EXPECT_EQ(AS_CopyAttrValsR(st, dest, src), 1);
    EXPECT_EQ(st.Top(), AS_S_WRONGTYPE);
    EXPECT_EQ(AS_CopyAttrVals(st, dest, a, 4), 1);
    EXPECT_EQ(st.Top(), AS_S_NOATTR);
    // A failing copy leaves the destination as it was.
    IntSyntax::fail_copy = 2;
    EXPECT_EQ(AS_CopyAttrVals(st, dest, a, 1), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_COPYFAILED, kCopyFailCode}));
    EXPECT_EQ(Read(b), C({{2, {20, 10, 11, 20, 10, 11}}}));
    EXPECT_EQ(AS_FreeAttrHandle(st, &dest), 0);
    EXPECT_EQ(AS_FreeAttrHandle(st, &src), 0);
}

TEST(AttrSetAttributes, CopyAttrIsDeep) {
    Status st;
    TestSet a, b(1);
    a.Add(1, 10);
    a.Add(1, 11);
    ASSERT_EQ(AS_SetAttrCharacteristics(st, a, 1, "ch", 2), 0);
    ASSERT_EQ(AS_SetAttrModifyOp(st, a, 1, 3), 0);
    AS_AttrHandle h = nullptr, c = nullptr;
    ASSERT_EQ(AS_FindAttr(st, a, 1, &h), 0);
    ASSERT_EQ(AS_CopyAttrR(st, b, h, &c), 0);
    ASSERT_EQ(AS_CopyAttr(st, b, a, 1, nullptr), 0); // b allows duplicates
    ASSERT_EQ(AS_DeleteAttrR(st, &h), 0);
    EXPECT_EQ(Read(b), C({{1, {10, 11}}, {1, {10, 11}}}));
    int32_t op = 0;
    EXPECT_EQ(AS_GetAttrModifyOpR(st, c, &op), 0);
    EXPECT_EQ(op, 3);
    void *data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(AS_GetAttrCharacteristicsR(st, c, &data, &size, nullptr), 0);
    ASSERT_EQ(size, 2u);
    EXPECT_EQ(std::memcmp(data, "ch", 2), 0);
    GENU__CoveredFree(data);
    EXPECT_EQ(AS_FreeAttrHandle(st, &c), 0);
}
