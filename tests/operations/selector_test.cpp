// Selectors and filters: a library selector with nested filters travels in
// a list argument and comes back to the same encoding; inconsistent or
// too deep filters are refused without leftovers.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "encoding/ber_world.h"
#include "failalloc.h"
#include "ops_test_util.h"
#include "vrcore/erdpa.h"
#include "vrcore/odpops.h"

namespace {

using vrtest_ops::Status;

GENU_ShortOID Id(const char *name) {
    Status st;
    GENU_ShortOID id = 0;
    EXPECT_EQ(GENU_AsciiToShortOID(st.list, name, &id), 0) << name;
    return id;
}

GEN_SimpleName Name(const char *s) {
    GEN_SimpleName n{};
    n.kind = GEN_KIND_IRV;
    strcpy(n.u.string, s);
    return n;
}

// The encoding of a new-list argument carrying the selector.
std::vector<unsigned char> ListBytes(const ODP_BerSelector &sel) {
    Status st;
    ODP_BerListArg arg{};
    arg.choice = 2;
    arg.u.new_list.bit_mask = 0x40;
    EXPECT_EQ(GENU_ShortToBerOID(st.list, Id("id-att-job-name"), &arg.u.new_list.object_class), 0);
    arg.u.new_list.selector = sel;
    GENU_Buffer b{};
    EXPECT_EQ(GENU_OssEncode(nullptr, ODP_PDU_LIST_ARG, &arg, &b), 0);
    std::vector<unsigned char> out(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    return out;
}

struct Fixture {
    AS_SetHandle sets[2] = {AS_nullSetHandle, AS_nullSetHandle};
    AS_AttrHandle attrs[2] = {nullptr, nullptr};
    GEN_SimpleName initial = Name("quar"), middle = Name("terl"), last = Name("ly");
    GEN_SeqOfValues any{nullptr, &middle};
    GEN_Filter leaves[4]{};
    GEN_SetOfFilter or2{nullptr, {}}, or1{&or2, {}};
    GEN_Filter negated{}, top{};
    GEN_SetOfFilter and3{nullptr, {}}, and2{&and3, {}}, and1{&and2, {}};
    GEN_ObjectIdent *ident = nullptr;
    GEN_SeqOfObjectIdent idents{nullptr, nullptr};
    uint32_t time_limit = 30, count_limit = 7;
    GEN_Selector selector{};

    Fixture() {
        Status st;
        GEN_Cardinal copies = 2;
        EXPECT_EQ(AS_Create(st.list, &sets[0], nullptr, 0), 0);
        EXPECT_EQ(AS_AddAttrValM(st.list, sets[0], Id("id-att-copy-count"), 1, &copies, &GENU_CardinalDesc, &attrs[0]), 0);
        GEN_SimpleName owner = Name("alice");
        EXPECT_EQ(AS_Create(st.list, &sets[1], nullptr, 0), 0);
        EXPECT_EQ(AS_AddAttrValM(st.list, sets[1], Id("id-att-job-name"), 27, &owner, &GENU_SimpleNameDesc, &attrs[1]), 0);
        // and( ge(copy-count 2), or( present(job-name), substrings(job-name) ), not( eq(job-name) ) )
        leaves[0].choice = GEN_FILTER_ITEM;
        leaves[0].u.item.choice = GEN_ITEM_GREATER_OR_EQUAL;
        leaves[0].u.item.u.attribute = attrs[0];
        leaves[1].choice = GEN_FILTER_ITEM;
        leaves[1].u.item.choice = GEN_ITEM_PRESENT;
        leaves[1].u.item.u.present = Id("id-att-job-name");
        leaves[2].choice = GEN_FILTER_ITEM;
        leaves[2].u.item.choice = GEN_ITEM_SUBSTRINGS;
        GEN_Substrings &s = leaves[2].u.item.u.substrings;
        s.attribute_type = Id("id-att-job-name");
        s.value_type = 27;
        s.match = GEN_MATCH_CASE_INSENSITIVE;
        s.initial = &initial;
        s.any = &any;
        s.final = &last;
        leaves[3].choice = GEN_FILTER_ITEM;
        leaves[3].u.item.choice = GEN_ITEM_EQUALITY;
        leaves[3].u.item.u.attribute = attrs[1];
        or1.filter = leaves[1];
        or2.filter = leaves[2];
        negated = leaves[3];
        and1.filter = leaves[0];
        and2.filter.choice = GEN_FILTER_OR;
        and2.filter.u.or_set = &or1;
        and3.filter.choice = GEN_FILTER_NOT;
        and3.filter.u.not_filter = &negated;
        top.choice = GEN_FILTER_AND;
        top.u.and_set = &and1;
        EXPECT_EQ(GENU_MakeObjectIdent_JobId(st.list, &ident, "job-12", nullptr), 0);
        idents.ident = ident;
        selector = GEN_Selector{&idents, &top, &time_limit, &count_limit};
    }
    ~Fixture() {
        Status st;
        for (int i = 0; i < 2; ++i) {
            AS_FreeAttrHandle(st.list, &attrs[i]);
            AS_Destroy(st.list, &sets[i]);
        }
        GEN_DeleteObjectIdent(st.list, ident, nullptr);
    }
};

TEST(Selectors, NestedFiltersTravelAndComeBackTheSame) {
    Fixture f;
    Status st;
    ODP_BerSelector ber{};
    ASSERT_EQ(ToBER_selector(st.list, &ber, &f.selector), 0) << std::hex << st.code();
    EXPECT_EQ(ber.bit_mask, 0xF0);
    auto first = ListBytes(ber);
    int pdu = ODP_PDU_LIST_ARG;
    GENU_Buffer in{static_cast<uint32_t>(first.size()), first.data()};
    void *back = nullptr;
    ASSERT_EQ(GENU_OssDecode(nullptr, &pdu, &in, &back), 0);
    GEN_Selector lib{};
    ASSERT_EQ(ToGEN_selector(st.list, &static_cast<ODP_BerListArg *>(back)->u.new_list.selector, &lib), 0)
        << std::hex << st.code();
    ASSERT_NE(lib.filter, nullptr);
    EXPECT_EQ(lib.filter->choice, GEN_FILTER_AND);
    EXPECT_EQ(*lib.time_limit, 30u);
    EXPECT_EQ(*lib.count_limit, 7u);
    int32_t cmp = 1;
    ASSERT_EQ(GEN_CompareObjectIdent(st.list, lib.object_identifications->ident, f.ident, &cmp), 0);
    EXPECT_EQ(cmp, 0);
    // Built again from the library form, the selector encodes the same.
    ODP_BerSelector again{};
    ASSERT_EQ(ToBER_selector(st.list, &again, &lib), 0) << std::hex << st.code();
    EXPECT_EQ(ListBytes(again), first);
    FreeBER_selector(st.list, &again);
    GEN_DeepDeleteSelector(st.list, &lib, nullptr);
    GENU_OssFreePDU(nullptr, pdu, back);
    EXPECT_EQ(FreeBER_selector(st.list, &ber), 0);
    EXPECT_EQ(ber.bit_mask, 0);
    EXPECT_EQ(FreeBER_selector(st.list, nullptr), 1);
    EXPECT_EQ(st.code(), GEN_S_NULLDELETE);
}

TEST(Selectors, InconsistentAndTooDeepFiltersAreRefused) {
    Fixture f;
    Status st;
    // Substrings whose syntax is not the attribute's.
    f.leaves[2].u.item.u.substrings.value_type = 28;
    f.or2.filter = f.leaves[2];
    ODP_BerSelector ber{};
    EXPECT_EQ(ToBER_selector(st.list, &ber, &f.selector), 1);
    EXPECT_EQ(st.code(), GEN_S_INVALID);
    EXPECT_EQ(ber.bit_mask, 0);
    EXPECT_EQ(ber.filter, nullptr);

    // A chain of negations: the deepest the bound allows travels inside a
    // list argument; a deeper one is refused.
    std::vector<GEN_Filter> chain(40);
    chain.back() = f.leaves[1];
    for (size_t i = 0; i + 1 < chain.size(); ++i) {
        chain[i].choice = GEN_FILTER_NOT;
        chain[i].u.not_filter = &chain[i + 1];
    }
    ODP_BerFilter out{};
    EXPECT_EQ(ToBER_filter(st.list, &out, &chain[chain.size() - 17]), 0);
    GEN_Selector sel{nullptr, &chain[chain.size() - 17], nullptr, nullptr};
    ODP_BerSelector ok{};
    ASSERT_EQ(ToBER_selector(st.list, &ok, &sel), 0);
    EXPECT_FALSE(ListBytes(ok).empty());
    FreeBER_selector(st.list, &ok);
    FreeBER_filter(st.list, &out);
    EXPECT_EQ(ToBER_filter(st.list, &out, &chain[0]), 1);
    EXPECT_EQ(st.code(), GEN_S_INVALID);
    EXPECT_EQ(out.choice, 0);
}

} // namespace

namespace {

// Runs op with the thread's encoding context drawing from the failing
// allocator; every failing point must leave no block behind.
long SweepContext(const std::function<bool()> &op) {
    auto *w = static_cast<vrber::World *>(GENU_GetWorld());
    auto saved_alloc = w->alloc;
    auto saved_free = w->free;
    w->alloc = vrtest::FailMalloc;
    w->free = vrtest::FailFree;
    long points = vrtest::SweepFailures(op, [] {});
    w->alloc = saved_alloc;
    w->free = saved_free;
    return points;
}

TEST(Selectors, EncodersLeaveNothingWhenAllocationFails) {
    Fixture f;
    Status st;
    long points = SweepContext([&] {
        ODP_BerSelector ber{};
        if (ToBER_selector(st.list, &ber, &f.selector)) {
            EXPECT_EQ(ber.bit_mask, 0);
            return false;
        }
        FreeBER_selector(st.list, &ber);
        return true;
    });
    EXPECT_GT(points, 10);

    GEN_ErrorMessage msg{};
    GEN_Text t{};
    ASSERT_EQ(GENU_MakeEmbeddedText(st.list, &t, "stopped", nullptr), 0);
    ASSERT_EQ(GENU_MakeEmbeddedErrorMsg(st.list, &msg, &t, nullptr, nullptr), 0);
    ERDPA_ErrorResult *r = nullptr;
    ASSERT_EQ(ERDPA_Service(st.list, &r, 1, f.sets[1], f.ident, &msg), 0);
    ASSERT_EQ(ERDPA_Service(st.list, &r, 2, AS_nullSetHandle, f.ident, &msg), 0);
    points = SweepContext([&] {
        int32_t wire = 0;
        GENU_Buffer b{};
        if (ERDPA_EncodeError(st.list, r, &wire, &b)) {
            EXPECT_EQ(b.value, nullptr);
            return false;
        }
        _GENU__MyFree(b.value);
        return true;
    });
    EXPECT_GT(points, 5);
    ERDPA_FreeError(st.list, r);
    GEN_DeepDeleteText(st.list, &t, nullptr);
    GEN_DeepDeleteErrorMessage(st.list, &msg, nullptr);
}

} // namespace
