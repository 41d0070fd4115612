// Every add, replace, copy and set-algebra operation either completes or
// leaves the sets exactly as they were with nothing leaked: swept over
// every failing allocation, and over every failing value copy.
#include <functional>
#include <string>

#include "as_test_util.h"

using namespace astest;

namespace {

struct Fixture {
    TestSet a{0}, b{1};
    AS_AttrHandle a1 = nullptr, b4 = nullptr;
    AS_SetHandle out = nullptr;       // result of a set-producing operation
    std::vector<int *> vals;          // caller values for the plain forms
    int mine = 99;                    // caller value for the copying forms

    Fixture() {
        Status st;
        a.Add(1, 10);
        a.Add(1, 11);
        a.Add(2, 20);
        EXPECT_EQ(AS_AddAttr(st, a, 3, kIntType, nullptr), 0);
        EXPECT_EQ(AS_SetAttrCharacteristics(st, a, 1, "ab", 2), 0);
        b.Add(2, 21);
        b.Add(4, 40);
        b.Add(4, 41);
        EXPECT_EQ(AS_AddAttr(st, b, 5, kIntType, nullptr), 0);
        EXPECT_EQ(AS_AddAttr(st, b, 5, kIntType, nullptr), 0); // b holds 5 twice
        EXPECT_EQ(AS_FindAttr(st, a, 1, &a1), 0);
        EXPECT_EQ(AS_FindAttr(st, b, 4, &b4), 0);
        for (int i = 0; i < 3; ++i) vals.push_back(MakeInt(100 + i));
    }
    ~Fixture() {
        Status st;
        EXPECT_EQ(AS_FreeAttrHandle(st, &a1), 0);
        EXPECT_EQ(AS_FreeAttrHandle(st, &b4), 0);
        if (out) {
            EXPECT_EQ(AS_Destroy(st, &out), 0);
        }
    }
    AS_ValueList List() { return AS_ValueList{3, reinterpret_cast<void **>(vals.data())}; }
};

struct Op {
    std::string name;
    int takes; // caller values taken over on success
    std::function<int(Fixture &, STF_List *)> run;
    bool copies = false; // makes copies of values
    std::function<void(Fixture &, STF_List *)> prep = nullptr;
};

std::vector<Op> Ops() {
    const GENU_ValueDescriptor *d = &kIntDesc;
    const GENU_Allocator *fa = &kFailAlloc;
    std::vector<Op> ops = {
        {"AddAttr", 0, [](Fixture &f, STF_List *s) { return AS_AddAttr(s, f.a, 9, 1, nullptr); }},
        {"AddAttrVal/new", 1,
         [d](Fixture &f, STF_List *s) {
             AS_AttrHandle h = nullptr;
             int rc = AS_AddAttrVal(s, f.a, 9, kIntType, f.vals[0], d, &h);
             if (rc == 0) AS_FreeAttrHandle(s, &h);
             return rc;
         }},
        {"AddAttrVal/existing", 1,
         [d](Fixture &f, STF_List *s) {
             return AS_AddAttrVal(s, f.a, 2, kIntType, f.vals[0], d, nullptr);
         }},
        {"AddAttrValR", 1,
         [d](Fixture &f, STF_List *s) { return AS_AddAttrValR(s, f.a1, kIntType, f.vals[0], d); }},
        {"AddAttrValM", 0,
         [d](Fixture &f, STF_List *s) {
             return AS_AddAttrValM(s, f.a, 9, kIntType, &f.mine, d, nullptr);
         }},
        {"AddAttrValMR", 0,
         [d](Fixture &f, STF_List *s) { return AS_AddAttrValMR(s, f.b4, kIntType, &f.mine, d); }},
        {"AddAttrValList/new", 3,
         [d](Fixture &f, STF_List *s) {
             AS_ValueList l = f.List();
             return AS_AddAttrValList(s, f.a, 9, kIntType, &l, d, nullptr);
         }},
        {"AddAttrValList/existing", 3,
         [d](Fixture &f, STF_List *s) {
             AS_ValueList l = f.List();
             return AS_AddAttrValList(s, f.a, 1, kIntType, &l, d, nullptr);
         }},
        {"AddAttrValListR", 3,
         [d](Fixture &f, STF_List *s) {
             AS_ValueList l = f.List();
             return AS_AddAttrValListR(s, f.b4, kIntType, &l, d);
         }},
        {"ReplaceAllAttrVals/new", 1,
         [d](Fixture &f, STF_List *s) {
             return AS_ReplaceAllAttrVals(s, f.a, 9, kIntType, f.vals[0], d, nullptr);
         }},
        {"ReplaceAllAttrVals/existing", 1,
         [d](Fixture &f, STF_List *s) {
             return AS_ReplaceAllAttrVals(s, f.a, 1, kIntType, f.vals[0], d, nullptr);
         }},
        {"ReplaceAllAttrValsM", 0,
         [d](Fixture &f, STF_List *s) {
             return AS_ReplaceAllAttrValsM(s, f.b, 4, kIntType, &f.mine, d, nullptr);
         }},
        {"ReplaceAllAttrValsR", 1,
         [d](Fixture &f, STF_List *s) {
             return AS_ReplaceAllAttrValsR(s, f.a1, kIntType, f.vals[0], d);
         }},
        {"ReplaceAllAttrValsMR", 0,
         [d](Fixture &f, STF_List *s) {
             return AS_ReplaceAllAttrValsMR(s, f.a1, kIntType, &f.mine, d);
         }},
        {"ReplaceAllAttrValsWithList", 3,
         [d](Fixture &f, STF_List *s) {
             AS_ValueList l = f.List();
             return AS_ReplaceAllAttrValsWithList(s, f.b, 4, kIntType, &l, d, nullptr);
         }},
        {"ReplaceAllAttrValsWithListR", 3,
         [d](Fixture &f, STF_List *s) {
             AS_ValueList l = f.List();
             return AS_ReplaceAllAttrValsWithListR(s, f.a1, kIntType, &l, d);
         }},
        {"CopyAttr", 0,
         [](Fixture &f, STF_List *s) {
             AS_AttrHandle h = nullptr;
             int rc = AS_CopyAttr(s, f.b, f.a, 1, &h);
             if (rc == 0) AS_FreeAttrHandle(s, &h);
             return rc;
         }},
        {"CopyAttrR", 0, [](Fixture &f, STF_List *s) { return AS_CopyAttrR(s, f.a, f.b4, nullptr); }},
        {"CopyAttrVals", 0, [](Fixture &f, STF_List *s) { return AS_CopyAttrVals(s, f.b4, f.a, 1); }},
        {"CopyAttrValsR", 0, [](Fixture &f, STF_List *s) { return AS_CopyAttrValsR(s, f.a1, f.b4); }},
        {"Copy", 0, [fa](Fixture &f, STF_List *s) { return AS_Copy(s, &f.out, f.a, fa); }},
        {"Append", 0,
         [fa](Fixture &f, STF_List *s) { return AS_Append(s, &f.out, f.a, f.b, fa, 1); }},
        {"Append/checked", 0,
         [fa](Fixture &f, STF_List *s) { return AS_Append(s, &f.out, f.a, f.b, fa, 0); }, true,
         [](Fixture &f, STF_List *s) {
             // No identifier shared with a; b's own repeats are not scanned.
             EXPECT_EQ(AS_DeleteAttr(s, f.b, 2), 0);
             EXPECT_EQ(AS_DisallowDuplicates(s, f.b), 0);
         }},
        {"Overlay", 0, [fa](Fixture &f, STF_List *s) { return AS_Overlay(s, &f.out, f.a, f.b, fa); },
         true,
         [](Fixture &f, STF_List *s) {
             EXPECT_EQ(AS_DisallowDuplicates(s, f.b), 0);
             EXPECT_EQ(AS_DeleteAttr(s, f.b, 5), 0);
             EXPECT_EQ(AS_DeleteAttr(s, f.b, 5), 0);
             EXPECT_EQ(AS_AllowDuplicates(s, f.b), 0);
         }},
        {"Intersect", 0,
         [fa](Fixture &f, STF_List *s) {
             GENU_ShortOID ids[] = {5, 2, 4, 7, 2};
             AS_IdentifierList l{5, ids};
             return AS_Intersect(s, &f.out, f.b, &l, fa);
         }},
        {"Subset", 0,
         [fa](Fixture &f, STF_List *s) {
             GENU_ShortOID ids[] = {3, 1, 2};
             AS_IdentifierList l{3, ids};
             return AS_Subset(s, &f.out, f.a, &l, fa);
         }},
    };
    // All but AddAttr of the operations taking no caller value make copies.
    for (Op &op : ops) op.copies = op.takes == 0 && op.name != "AddAttr";
    return ops;
}

// Sweeps `arm(n)` for n = 1, 2, ... over every operation (only those that
// copy values when copies_only) until it succeeds, checking after each
// failure that nothing changed.
void SweepAll(const std::function<void(long)> &arm, const std::function<bool()> &fired,
              bool copies_only) {
    for (const Op &op : Ops()) {
        SCOPED_TRACE(op.name);
        if (copies_only && !op.copies) continue;
        Fixture f;
        Status st;
        if (op.prep) op.prep(f, st);
        Content before_a = Read(f.a), before_b = Read(f.b);
        long live = IntSyntax::live, blocks = vrtest::FailAlloc::Live();
        size_t regs = vr::as::RegistrySize();
        long n = 1;
        for (;; ++n) {
            arm(n);
            int rc = op.run(f, st);
            bool hit = fired();
            arm(0);
            if (!hit) {
                EXPECT_EQ(rc, 0) << "no failure injected at " << n << ": " << std::hex << st.Top();
                break;
            }
            ASSERT_EQ(rc, 1) << "succeeded despite failure " << n;
            EXPECT_NE(st.Top(), 0u);
            EXPECT_EQ(Read(f.a), before_a) << "at " << n;
            EXPECT_EQ(Read(f.b), before_b) << "at " << n;
            ExpectConsistent(f.a);
            ExpectConsistent(f.b);
            EXPECT_EQ(f.out, nullptr);
            EXPECT_EQ(IntSyntax::live, live) << "at " << n;
            EXPECT_EQ(vrtest::FailAlloc::Live(), blocks) << "at " << n;
            EXPECT_EQ(vr::as::RegistrySize(), regs) << "at " << n;
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GT(n, 1) << "no failure point was reached";
        for (size_t i = static_cast<size_t>(op.takes); i < f.vals.size(); ++i) FreeInt(f.vals[i]);
    }
}

} // namespace

TEST(AttrSetAtomicity, EveryFailingAllocationLeavesTheSetsUnchanged) {
    SweepAll([](long n) { vrtest::FailAlloc::Arm(n); }, [] { return vrtest::FailAlloc::Fired(); },
             false);
    EXPECT_EQ(IntSyntax::live, 0);
}

TEST(AttrSetAtomicity, EveryFailingValueCopyLeavesTheSetsUnchanged) {
    SweepAll([](long n) { IntSyntax::fail_copy = n; }, [] { return IntSyntax::fail_copy == 0; },
             true);
    EXPECT_EQ(IntSyntax::live, 0);
}
