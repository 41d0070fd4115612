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
    AS_AttrHandle h = nullptr;  // an attribute handle an operation returns
    AS_SetHandle out = nullptr; // result of a set-producing operation
    std::vector<int *> vals{MakeInt(100), MakeInt(101),
                            MakeInt(102)}; // caller values for the plain forms
    AS_ValueList list{3, reinterpret_cast<void **>(vals.data())};
    int mine = 99; // caller value for the copying forms
    GENU_ShortOID sel[5] = {5, 2, 4, 7, 2}, sel2[3] = {3, 1, 2};
    AS_IdentifierList ids{5, sel}, ids2{3, sel2};

    Fixture() {
        Status st;
        a.Add(1, 10);
        a.Add(1, 11);
        a.Add(2, 20);
        b.Add(2, 21);
        b.Add(4, 40);
        b.Add(4, 41);
        // One attribute short of the size at which a set is indexed.
        for (GENU_ShortOID id = 20; id < 20 + vrcore::attrset::kIndexFrom - 4; ++id) a.Add(id, 0);
        // b holds 5 twice.
        EXPECT_EQ(
            AS_AddAttr(st, a, 3, kIntType, nullptr) + AS_SetAttrCharacteristics(st, a, 1, "ab", 2) +
                AS_AddAttr(st, b, 5, kIntType, nullptr) + AS_AddAttr(st, b, 5, kIntType, nullptr) +
                AS_FindAttr(st, a, 1, &a1) + AS_FindAttr(st, b, 4, &b4),
            0);
    }
    ~Fixture() {
        Status st;
        for (AS_AttrHandle *p : {&a1, &b4, &h}) EXPECT_EQ(*p ? AS_FreeAttrHandle(st, p) : 0, 0);
        EXPECT_EQ(out ? AS_Destroy(st, &out) : 0, 0);
    }
};

struct Op {
    std::string name;
    int takes; // caller values taken over on success
    std::function<int(Fixture &, STF_List *)> run;
    std::function<void(Fixture &, STF_List *)> prep = nullptr;
    // Copies of values are made by the "M" forms, the attribute copies and
    // the algebra: the operations taking no caller value, but two.
    bool Copies() const {
        return takes == 0 && name != "AddAttr" && name != "SetAttrCharacteristics";
    }
};

#define OP(body) [](Fixture &f, STF_List *s) { return body; }

// The copying forms run the plain ones after one shared copy step, and a
// replacement of an absent attribute is an addition: those are swept once.
std::vector<Op> Ops() {
    return {
        {"AddAttr", 0, OP(AS_AddAttr(s, f.a, 9, 1, nullptr))},
        {"AddAttrVal/new", 1, OP(AS_AddAttrVal(s, f.a, 9, kIntType, f.vals[0], &kIntDesc, &f.h))},
        {"AddAttrVal/existing", 1,
         OP(AS_AddAttrVal(s, f.a, 2, kIntType, f.vals[0], &kIntDesc, nullptr))},
        {"AddAttrValR", 1, OP(AS_AddAttrValR(s, f.a1, kIntType, f.vals[0], &kIntDesc))},
        {"AddAttrValM", 0, OP(AS_AddAttrValM(s, f.a, 9, kIntType, &f.mine, &kIntDesc, nullptr))},
        {"AddAttrValMR", 0, OP(AS_AddAttrValMR(s, f.b4, kIntType, &f.mine, &kIntDesc))},
        {"AddAttrValList/new", 3,
         OP(AS_AddAttrValList(s, f.a, 9, kIntType, &f.list, &kIntDesc, nullptr))},
        {"AddAttrValList/existing", 3,
         OP(AS_AddAttrValList(s, f.a, 1, kIntType, &f.list, &kIntDesc, nullptr))},
        {"AddAttrValListR", 3, OP(AS_AddAttrValListR(s, f.b4, kIntType, &f.list, &kIntDesc))},
        {"ReplaceAllAttrVals/existing", 1,
         OP(AS_ReplaceAllAttrVals(s, f.a, 1, kIntType, f.vals[0], &kIntDesc, &f.h))},
        {"ReplaceAllAttrValsR", 1,
         OP(AS_ReplaceAllAttrValsR(s, f.a1, kIntType, f.vals[0], &kIntDesc))},
        {"ReplaceAllAttrValsWithList", 3,
         OP(AS_ReplaceAllAttrValsWithList(s, f.b, 4, kIntType, &f.list, &kIntDesc, nullptr))},
        {"ReplaceAllAttrValsWithListR", 3,
         OP(AS_ReplaceAllAttrValsWithListR(s, f.a1, kIntType, &f.list, &kIntDesc))},
        {"SetAttrCharacteristics", 0, OP(AS_SetAttrCharacteristicsR(s, f.a1, "xyz", 3))},
        {"CopyAttr", 0, OP(AS_CopyAttr(s, f.b, f.a, 1, &f.h))},
        {"CopyAttrR", 0, OP(AS_CopyAttrR(s, f.a, f.b4, nullptr))},
        {"CopyAttrVals", 0, OP(AS_CopyAttrVals(s, f.b4, f.a, 1))},
        {"CopyAttrValsR", 0, OP(AS_CopyAttrValsR(s, f.a1, f.b4))},
        {"Copy", 0, OP(AS_Copy(s, &f.out, f.a, &kFailAlloc))},
        {"Append", 0, OP(AS_Append(s, &f.out, f.a, f.b, &kFailAlloc, 1))},
        {"Intersect", 0, OP(AS_Intersect(s, &f.out, f.b, &f.ids, &kFailAlloc))},
        {"Subset", 0, OP(AS_Subset(s, &f.out, f.a, &f.ids2, &kFailAlloc))},
        // b without identifier 2 and without its duplicates flag: nothing
        // shared with a, and b's own repeats are not scanned.
        {"Append/checked", 0, OP(AS_Append(s, &f.out, f.a, f.b, &kFailAlloc, 0)),
         [](Fixture &f, STF_List *s) {
             EXPECT_EQ(AS_DeleteAttr(s, f.b, 2) + AS_DisallowDuplicates(s, f.b), 0);
         }},
        {"Overlay", 0, OP(AS_Overlay(s, &f.out, f.a, f.b, &kFailAlloc)),
         [](Fixture &f, STF_List *s) {
             // Without duplicates each deletion takes the first 5.
             for (int rc : {AS_DisallowDuplicates(s, f.b), AS_DeleteAttr(s, f.b, 5),
                            AS_DeleteAttr(s, f.b, 5), AS_AllowDuplicates(s, f.b)})
                 EXPECT_EQ(rc, 0);
         }},
    };
}

// Sweeps `arm(n)` for n = 1, 2, ... over every operation (only those that
// copy values when copies_only) until it succeeds, checking after each
// failure that nothing changed.
void SweepAll(const std::function<void(long)> &arm, const std::function<bool()> &fired,
              bool copies_only) {
    for (const Op &op : Ops()) {
        SCOPED_TRACE(op.name);
        if (copies_only && !op.Copies()) continue;
        Fixture f;
        Status st;
        if (op.prep) op.prep(f, st);
        Content before_a = Read(f.a), before_b = Read(f.b);
        long live = IntSyntax::live, blocks = vrtest::FailAlloc::Live();
        size_t regs = vrcore::attrset::RegistrySize();
        long n = 1;
        for (;; ++n) {
            arm(n);
            int rc = op.run(f, st);
            bool hit = fired();
            arm(0);
            if (!hit) {
                EXPECT_EQ(rc, 0) << "no failure injected at " << n << ": " << std::hex << st.Code();
                break;
            }
            ASSERT_EQ(rc, 1) << "succeeded despite failure " << n;
            EXPECT_NE(st.Code(), 0u);
            EXPECT_EQ(Read(f.a), before_a) << "at " << n;
            EXPECT_EQ(Read(f.b), before_b) << "at " << n;
            ExpectConsistent(f.a);
            ExpectConsistent(f.b);
            EXPECT_EQ(f.out, nullptr);
            EXPECT_EQ(f.h, nullptr);
            EXPECT_EQ(IntSyntax::live, live) << "at " << n;
            EXPECT_EQ(vrtest::FailAlloc::Live(), blocks) << "at " << n;
            EXPECT_EQ(vrcore::attrset::RegistrySize(), regs) << "at " << n;
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
