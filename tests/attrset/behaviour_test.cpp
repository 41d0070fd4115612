// The cases the model test does not reach.
#include "as_test_util.h"

using namespace astest;

TEST(AttrSetBehaviour, ArgumentsAreCheckedInOrder) {
    Status st;
    TestSet set;
    AS_SetHandle out = nullptr;
    int v = 1;
    GENU_Allocator half{vrtest::FailMalloc, nullptr};
    GENU_ValueDescriptor no_delete{IntCopy, nullptr};
    AS_ValueList two_missing{2, nullptr};
    AS_IdentifierList ids{0, nullptr};
    auto codes = [&](int rc) { return rc == 1 ? st.Codes() : Codes{}; };
    const Codes bad_set1{AS_S_BADARG1, AS_S_BADHANDLE}, bad_set2{AS_S_BADARG2, AS_S_BADHANDLE};
    EXPECT_EQ(codes(AS_Create(st, &out, &half, 0)), Codes{AS_S_BADARG2});
    // Descriptor and list checks come before the handle, except for copies.
    EXPECT_EQ(codes(AS_AddAttrVal(st, nullptr, 1, kIntType, &v, &no_delete, nullptr)),
              Codes{AS_S_BADARG5});
    EXPECT_EQ(codes(AS_AddAttrValM(st, nullptr, 1, kIntType, &v, nullptr, nullptr)), bad_set1);
    EXPECT_EQ(codes(AS_AddAttrValList(st, set, 1, kIntType, &two_missing, &kIntDesc, nullptr)),
              Codes{AS_S_BADARG4});
    EXPECT_EQ(codes(AS_Intersect(st, &out, nullptr, &ids, nullptr)), bad_set2);
    EXPECT_EQ(out, nullptr);
}

TEST(AttrSetBehaviour, IterationEnds) {
    Status st;
    TestSet set(1), empty;
    set.Add(4, 40);
    ASSERT_EQ(AS_AddAttr(st, set, 4, kIntType, nullptr), 0);
    AS_AttrHandle h = nullptr;
    int present = 0; // twice, yet present
    EXPECT_TRUE(!AS_IsAttrPresent(st, set, 4, &present) && present == 1);
    GENU_ShortOID id = 0;
    ASSERT_EQ(AS_FindFirstAttr(st, set, &h, &id), 0);
    ASSERT_EQ(AS_FindNextAttrR(st, &h, &id), 0);
    EXPECT_EQ(id, 4u);
    AS_AttrHandle last = h;
    EXPECT_EQ(st.Failed(AS_FindNextAttrR(st, &h, &id)), AS_S_NOMOREATTRS);
    EXPECT_EQ(h, last);
    ASSERT_EQ(AS_FindPrevAttrR(st, &h, &id), 0);
    AS_AttrValHandle vh = nullptr;
    void *v = nullptr;
    ASSERT_EQ(AS_FindFirstAttrValR(st, h, &vh, &v), 0);
    EXPECT_EQ(*static_cast<int *>(v), 40);
    EXPECT_EQ(st.Failed(AS_FindNextAttrValVR(st, &vh, &v)), AS_S_NOMOREVALUES);
    EXPECT_EQ(AS_FindPrevAttrValVR(st, &vh, &v), 1);
    // Stepping moved the one reference along: one release each is enough.
    EXPECT_EQ(AS_FreeAttrValHandle(st, &vh) + AS_FreeAttrHandle(st, &h), 0);
    EXPECT_EQ(AS_FreeAttrHandle(st, &last), 1);
    EXPECT_EQ(st.Failed(AS_FindFirstAttr(st, empty, &h, nullptr)), AS_S_NOATTR);
}

TEST(AttrSetBehaviour, ValueOwnership) {
    Status st;
    TestSet set;
    int mine = 42;
    AS_AttrHandle h = nullptr;
    ASSERT_EQ(AS_AddAttrValM(st, set, 1, kIntType, &mine, &kIntDesc, &h), 0);
    ASSERT_EQ(AS_AddAttrValMR(st, h, kIntType, &mine, &kIntDesc), 0);
    mine = 0;
    EXPECT_EQ(Read(set), (Content{{1, {42, 42}}}));
    long live = IntSyntax::live;
    EXPECT_EQ(st.Failed(AS_AddAttrValMR(st, h, kOtherType, &mine, &kIntDesc)), AS_S_WRONGTYPE);
    EXPECT_EQ(IntSyntax::live, live); // the copy deleted again
    IntSyntax::fail_copy = 1;
    EXPECT_EQ(
        st.FailedCodes(AS_ReplaceAllAttrValsM(st, set, 1, kIntType, &mine, &kIntDesc, nullptr)),
        (Codes{AS_S_COPYFAILED, kCopyFailCode}));
    AS_ValueList none{0, nullptr}, got{5, nullptr};
    ASSERT_EQ(AS_AddAttrValList(st, set, 2, kOtherType, &none, &kIntDesc, nullptr), 0);
    ASSERT_EQ(AS_GetAttrValList(st, set, 2, &got, nullptr), 0);
    EXPECT_TRUE(got.count == 0 && !got.values);
    void *v;
    EXPECT_EQ(st.Failed(AS_GetAttrVal(st, set, 2, &v)), AS_S_NOVALUES);

    // In-place replacement keeps the handle and the position.
    int *nv = MakeInt(45);
    AS_AttrValHandle vh = nullptr;
    ASSERT_EQ(AS_FindFirstAttrValR(st, h, &vh, nullptr), 0);
    EXPECT_EQ(st.Failed(AS_ReplaceAttrValVR(st, vh, kOtherType, nv, &kIntDesc)), AS_S_WRONGTYPE);
    ASSERT_EQ(AS_ReplaceAttrValVR(st, vh, kIntType, nv, &kIntDesc), 0);
    EXPECT_TRUE(!AS_GetAttrValVR(st, vh, &v) && v == nv);
    EXPECT_EQ(Read(set), (Content{{1, {45, 42}}, {2, {}}}));
    EXPECT_TRUE(!AS_DeleteAttrValVR(st, &vh) && vh == AS_nullAttrValHandle);
    EXPECT_EQ(AS_FreeAttrHandle(st, &h), 0);
}

TEST(AttrSetBehaviour, FailingDeleteFunctionsStopDeletions) {
    Status st;
    TestSet set;
    for (auto [id, v] : {std::pair(1, 0), {1, 1}, {1, 2}, {2, 20}, {3, 30}}) set.Add(id, v);
    IntSyntax::fail_delete = 2;
    EXPECT_EQ(st.FailedCodes(AS_DeleteAttr(st, set, 1)),
              (Codes{AS_S_DELETEFAILED, kDeleteFailCode}));
    EXPECT_EQ(Read(set), (Content{{1, {1, 2}}, {2, {20}}, {3, {30}}}));
    // A replacement stops too: deleted values stay deleted, none is added.
    int *nv = MakeInt(9);
    IntSyntax::fail_delete = 2;
    EXPECT_EQ(AS_ReplaceAllAttrVals(st, set, 1, kIntType, nv, &kIntDesc, nullptr), 1);
    EXPECT_EQ(Read(set), (Content{{1, {2}}, {2, {20}}, {3, {30}}}));
    FreeInt(nv);
    IntSyntax::fail_delete = 3;
    EXPECT_EQ(AS_Clear(st, set), 1);
    EXPECT_EQ(Read(set), (Content{{3, {30}}}));
    IntSyntax::fail_delete = 1;
    AS_SetHandle h = set.h;
    EXPECT_EQ(AS_Destroy(st, &h), 1);
    EXPECT_EQ(h, set.h);
    EXPECT_EQ(Read(set), (Content{{3, {30}}}));
    ExpectConsistent(set);
}

// (Copies sharing values with their source show in the atomicity test's live count.)
TEST(AttrSetBehaviour, AnAttributeCopiesItsValuesOntoItself) {
    Status st;
    TestSet set;
    set.Add(1, 10);
    set.Add(1, 11);
    AS_AttrHandle h = nullptr;
    ASSERT_EQ(AS_FindAttr(st, set, 1, &h), 0);
    ASSERT_EQ(AS_CopyAttrValsR(st, h, h), 0);
    EXPECT_EQ(Read(set), (Content{{1, {10, 11, 10, 11}}}));
    EXPECT_EQ(AS_FreeAttrHandle(st, &h), 0);
}

TEST(AttrSetBehaviour, AlgebraOrderAndSelection) {
    Status st;
    TestSet a, b, dups(1);
    for (GENU_ShortOID id : {1, 2, 3}) a.Add(id, static_cast<int>(id));
    b.Add(2, 22);
    b.Add(4, 44);
    dups.Add(7, 70);
    ASSERT_EQ(AS_AddAttr(st, dups, 3, kIntType, nullptr), 0);
    ASSERT_EQ(AS_AddAttr(st, dups, 7, kIntType, nullptr), 0);
    // The set an operation makes, or the code it fails with.
    auto made = [&](auto op) {
        TestSet r(nullptr);
        return op(&r.h) == 0 ? Read(r.h) : Content{{st.Code(), {}}};
    };
    const auto fail = [](uint32_t code) { return Content{{code, {}}}; };
    EXPECT_EQ(made([&](AS_SetHandle *r) { return AS_Overlay(st, r, a, b, &kFailAlloc); }),
              (Content{{1, {1}}, {3, {3}}, {2, {22}}, {4, {44}}}));
    EXPECT_EQ(made([&](AS_SetHandle *r) { return AS_Overlay(st, r, dups, a, &kFailAlloc); }),
              fail(AS_S_PRESENT));
    EXPECT_EQ(made([&](AS_SetHandle *r) { return AS_Append(st, r, a, b, &kFailAlloc, 0); }),
              fail(AS_S_PRESENT));
    EXPECT_EQ(made([&](AS_SetHandle *r) { return AS_Append(st, r, a, b, &kFailAlloc, 1); }),
              (Content{{1, {1}}, {2, {2}}, {3, {3}}, {2, {22}}, {4, {44}}}));
    auto pick = [&](std::vector<GENU_ShortOID> ids, bool subset) {
        AS_IdentifierList l{static_cast<uint32_t>(ids.size()), ids.data()};
        return made([&](AS_SetHandle *r) {
            return subset ? AS_Subset(st, r, dups, &l, &kFailAlloc)
                          : AS_Intersect(st, r, dups, &l, &kFailAlloc);
        });
    };
    EXPECT_EQ(pick({}, true), Content{});
    EXPECT_EQ(pick({3, 7, 7}, false), (Content{{7, {70}}, {3, {}}})); // first 7 only, set order
    EXPECT_EQ(pick({7, 5}, false), (Content{{7, {70}}}));
    EXPECT_EQ(pick({7, 5}, true), fail(AS_S_NOATTR));
}
