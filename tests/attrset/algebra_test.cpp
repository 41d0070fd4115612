// Set algebra: copy, concatenation, overlay and selection.
#include "as_test_util.h"

using namespace astest;

namespace {

Content C(std::initializer_list<std::pair<GENU_ShortOID, std::vector<int>>> l) {
    return Content(l);
}

// A result set destroyed at scope end.
struct Result {
    AS_SetHandle h = nullptr;
    ~Result() {
        Status st;
        if (h) {
            EXPECT_EQ(AS_Destroy(st, &h), 0);
        }
    }
};

int DupFlag(AS_SetHandle h) { return static_cast<vr::as::Set *>(h->obj)->allow_dups; }

} // namespace

TEST(AttrSetAlgebra, CopySurvivesItsSource) {
    Status st;
    Result r;
    {
        TestSet src(1);
        src.Add(1, 10);
        src.Add(1, 11);
        src.Add(2, 20);
        ASSERT_EQ(AS_SetAttrCharacteristics(st, src, 2, "xy", 2), 0);
        ASSERT_EQ(AS_Copy(st, &r.h, src, &kFailAlloc), 0);
    }
    EXPECT_EQ(Read(r.h), C({{1, {10, 11}}, {2, {20}}}));
    EXPECT_EQ(DupFlag(r.h), 1);
    ExpectConsistent(r.h);
    ASSERT_EQ(AS_DeleteAllAttrVals(st, r.h, 1), 0);
    EXPECT_EQ(Read(r.h), C({{1, {}}, {2, {20}}}));
}

TEST(AttrSetAlgebra, ArgumentOrder) {
    Status st;
    TestSet a;
    AS_SetHandle out = nullptr;
    GENU_Allocator half{nullptr, vrtest::FailFree};
    AS_IdentifierList ids{0, nullptr};
    EXPECT_EQ(AS_Copy(st, nullptr, a, &half), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG1);
    EXPECT_EQ(AS_Copy(st, &out, nullptr, &half), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG3);
    EXPECT_EQ(AS_Copy(st, &out, nullptr, nullptr), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_BADARG2, AS_S_BADHANDLE}));
    EXPECT_EQ(AS_Append(st, &out, a, a, &half, 0), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG4);
    EXPECT_EQ(AS_Append(st, &out, a, nullptr, &half, 0), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_BADARG3, AS_S_BADHANDLE}));
    EXPECT_EQ(AS_Overlay(st, &out, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{AS_S_BADARG2, AS_S_BADHANDLE}));
    EXPECT_EQ(AS_Intersect(st, &out, nullptr, nullptr, &half), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG3);
    EXPECT_EQ(AS_Subset(st, &out, nullptr, &ids, &half), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG4);
    ids.count = 1;
    EXPECT_EQ(AS_Subset(st, &out, a, &ids, nullptr), 1);
    EXPECT_EQ(st.Top(), AS_S_BADARG3);
    EXPECT_EQ(out, nullptr);
}

TEST(AttrSetAlgebra, AppendAndOverlay) {
    Status st;
    TestSet a, b, dups(1);
    a.Add(1, 10);
    a.Add(2, 20);
    b.Add(2, 21);
    b.Add(3, 30);
    {
        Result r;
        EXPECT_EQ(AS_Append(st, &r.h, a, b, nullptr, 0), 1);
        EXPECT_EQ(st.Top(), AS_S_PRESENT);
        EXPECT_EQ(r.h, nullptr);
        ASSERT_EQ(AS_Append(st, &r.h, a, b, &kFailAlloc, 1), 0);
        EXPECT_EQ(Read(r.h), C({{1, {10}}, {2, {20}}, {2, {21}}, {3, {30}}}));
        EXPECT_EQ(DupFlag(r.h), 0);
    }
    dups.Add(5, 50);
    ASSERT_EQ(AS_AddAttrVal(st, dups, 5, kIntType, MakeInt(51), &kIntDesc, nullptr), 0);
    ASSERT_EQ(AS_AddAttr(st, dups, 5, kIntType, nullptr), 0); // 5 twice
    {
        Result r;
        EXPECT_EQ(AS_Append(st, &r.h, a, dups, nullptr, 0), 1);
        EXPECT_EQ(st.Top(), AS_S_PRESENT);
        EXPECT_EQ(AS_Overlay(st, &r.h, dups, a, nullptr), 1);
        EXPECT_EQ(st.Top(), AS_S_PRESENT);
        // The same set without the duplicates flag is not scanned.
        ASSERT_EQ(AS_DisallowDuplicates(st, dups), 0);
        ASSERT_EQ(AS_Append(st, &r.h, dups, a, &kFailAlloc, 0), 0);
        EXPECT_EQ(Read(r.h), C({{5, {50, 51}}, {5, {}}, {1, {10}}, {2, {20}}}));
    }
    {
        TestSet base, over;
        base.Add(1, 1);
        base.Add(2, 2);
        base.Add(3, 3);
        over.Add(2, 22);
        over.Add(4, 44);
        Result r;
        ASSERT_EQ(AS_Overlay(st, &r.h, base, over, &kFailAlloc), 0);
        EXPECT_EQ(Read(r.h), C({{1, {1}}, {3, {3}}, {2, {22}}, {4, {44}}}));
        EXPECT_EQ(DupFlag(r.h), 0);
    }
}

TEST(AttrSetAlgebra, IntersectAndSubset) {
    Status st;
    TestSet src(1);
    src.Add(7, 70);
    src.Add(3, 30);
    ASSERT_EQ(AS_AddAttr(st, src, 7, kIntType, nullptr), 0); // second 7, no values
    src.Add(9, 90);
    auto pick = [&](std::vector<GENU_ShortOID> ids, bool subset, Content *out) {
        AS_IdentifierList l{static_cast<uint32_t>(ids.size()), ids.data()};
        AS_SetHandle h = nullptr;
        int rc = subset ? AS_Subset(st, &h, src, &l, &kFailAlloc)
                        : AS_Intersect(st, &h, src, &l, &kFailAlloc);
        if (rc == 0) {
            *out = Read(h);
            EXPECT_EQ(DupFlag(h), 1);
            EXPECT_EQ(AS_Destroy(st, &h), 0);
        } else {
            EXPECT_EQ(h, nullptr);
        }
        return rc;
    };
    Content got;
    EXPECT_EQ(pick({}, false, &got), 0);
    EXPECT_EQ(got, C({}));
    EXPECT_EQ(pick({}, true, &got), 0);
    EXPECT_EQ(got, C({}));
    // Set order, first attribute of each identifier, each identifier once.
    EXPECT_EQ(pick({9, 7, 7, 3}, false, &got), 0);
    EXPECT_EQ(got, C({{7, {70}}, {3, {30}}, {9, {90}}}));
    EXPECT_EQ(pick({9, 5}, false, &got), 0);
    EXPECT_EQ(got, C({{9, {90}}}));
    EXPECT_EQ(pick({9, 5}, true, &got), 1);
    EXPECT_EQ(st.Top(), AS_S_NOATTR);
    EXPECT_EQ(pick({3, 9, 3}, true, &got), 0);
    EXPECT_EQ(got, C({{3, {30}}, {9, {90}}}));
}
