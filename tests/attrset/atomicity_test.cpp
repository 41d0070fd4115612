// Every operation completes or leaves the sets as they were.
#include <functional>
#include <tuple>
#include <string>

#include "as_test_util.h"

using namespace astest;

namespace {

struct Fixture {
    TestSet a{0}, b{1};
    AS_AttrHandle a1 = nullptr, b4 = nullptr;
    AS_AttrHandle h = nullptr;  // an attribute handle an operation returns
    AS_SetHandle out = nullptr; // result of a set-producing operation
    // Caller values for the plain forms; one for the copying forms.
    std::vector<int *> vals{MakeInt(100), MakeInt(101), MakeInt(102)};
    AS_ValueList list{3, reinterpret_cast<void **>(vals.data())};
    int mine = 99;
    GENU_ShortOID sel[3] = {3, 1, 2};
    AS_IdentifierList ids{3, sel};

    Fixture() {
        Status st;
        const struct {
            TestSet *set;
            GENU_ShortOID id;
            int v;
        } init[] = {{&a, 1, 10}, {&a, 1, 11}, {&a, 2, 20}, {&b, 2, 21}, {&b, 4, 40}, {&b, 4, 41}};
        for (const auto &i : init) i.set->Add(i.id, i.v);
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
    // Value copies: the "M" forms, attribute copies, the algebra (no caller value but two).
    bool Copies() const {
        return takes == 0 && name != "AddAttr" && name != "SetAttrCharacteristics";
    }
};

#define OP(body) [](Fixture &f, STF_List *s) { return body; }

// One operation of each family: the R, list and copying forms share its steps.
std::vector<Op> Ops() {
    return {
        {"AddAttr", 0, OP(AS_AddAttr(s, f.a, 9, 1, nullptr))},
        {"AddAttrVal/new", 1, OP(AS_AddAttrVal(s, f.a, 9, kIntType, f.vals[0], &kIntDesc, &f.h))},
        {"AddAttrValM", 0, OP(AS_AddAttrValM(s, f.a, 9, kIntType, &f.mine, &kIntDesc, nullptr))},
        {"ReplaceAllAttrValsWithListR", 3,
         OP(AS_ReplaceAllAttrValsWithListR(s, f.a1, kIntType, &f.list, &kIntDesc))},
        {"SetAttrCharacteristics", 0, OP(AS_SetAttrCharacteristicsR(s, f.a1, "xyz", 3))},
        {"CopyAttr", 0, OP(AS_CopyAttr(s, f.b, f.a, 1, &f.h))},
        {"Copy", 0, OP(AS_Copy(s, &f.out, f.a, &kFailAlloc))},
        {"Subset", 0, OP(AS_Subset(s, &f.out, f.a, &f.ids, &kFailAlloc))},
        // b without identifier 2 and its duplicates flag: nothing shared, repeats unscanned.
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

// Sweeps `arm(n)` over every operation (those that copy values when copies_only)
// until it succeeds, checking after each failure that nothing changed.
void SweepAll(const std::function<void(long)> &arm, const std::function<bool()> &fired,
              bool copies_only) {
    for (const Op &op : Ops()) {
        SCOPED_TRACE(op.name);
        if (copies_only && !op.Copies()) continue;
        Fixture f;
        Status st;
        if (op.prep) op.prep(f, st);
        // The sets, live values, heap blocks and handle records before.
        auto state = [&] {
            return std::tuple(Read(f.a), Read(f.b), IntSyntax::live.load(),
                              vrtest::FailAlloc::Live(), vrcore::attrset::RegistrySize());
        };
        const auto before = state();
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
            EXPECT_TRUE(st.Code() && !f.out && !f.h);
            EXPECT_TRUE(state() == before) << "changed at " << n;
            ExpectConsistent(f.a);
            ExpectConsistent(f.b);
            if (::testing::Test::HasFailure()) return;
        }
        EXPECT_GT(n, 1) << "no failure point was reached";
        for (size_t i = static_cast<size_t>(op.takes); i < f.vals.size(); ++i) FreeInt(f.vals[i]);
    }
}

} // namespace

// Over every failing allocation, then every failing value copy.
TEST(AttrSetAtomicity, EveryFailureLeavesTheSetsUnchanged) {
    SweepAll([](long n) { vrtest::FailAlloc::Arm(n); }, [] { return vrtest::FailAlloc::Fired(); },
             false);
    SweepAll([](long n) { IntSyntax::fail_copy = n; }, [] { return IntSyntax::fail_copy == 0; },
             true);
    EXPECT_EQ(IntSyntax::live, 0);
}
