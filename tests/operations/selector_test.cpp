// Selectors and filters; encoders under failing allocations.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "ops_test_util.h"
#include "vrcore/odpops.h"

namespace {

using vrtest_ops::Id;
using vrtest_ops::Name;
using vrtest_ops::Status;

// The encoding of a new-list argument carrying the selector.
vrtest_ops::Bytes ListBytes(const ODP_BerSelector &sel) {
    Status st;
    ODP_BerListArg arg{};
    arg.choice = 2;
    arg.u.new_list.bit_mask = 0x40;
    EXPECT_EQ(GENU_ShortToBerOID(st, Id("id-att-job-name"), &arg.u.new_list.object_class), 0);
    arg.u.new_list.selector = sel;
    return vrtest_ops::Encode(ODP_PDU_LIST_ARG, &arg);
}

// and( ge(copy-count 2), or( present(job-name), substrings(job-name) ),
// not( eq(job-name) ) ), with an identification and both limits.
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
        GEN_SimpleName owner = Name("alice");
        EXPECT_EQ(AS_Create(st, &sets[0], nullptr, 0), 0);
        EXPECT_EQ(AS_AddAttrValM(st, sets[0], Id("id-att-copy-count"), 1, &copies,
                                 &GENU_CardinalDesc, &attrs[0]),
                  0);
        EXPECT_EQ(AS_Create(st, &sets[1], nullptr, 0), 0);
        EXPECT_EQ(AS_AddAttrValM(st, sets[1], Id("id-att-job-name"), 27, &owner,
                                 &GENU_SimpleNameDesc, &attrs[1]),
                  0);
        const uint16_t items[] = {GEN_ITEM_GREATER_OR_EQUAL, GEN_ITEM_PRESENT, GEN_ITEM_SUBSTRINGS,
                                  GEN_ITEM_EQUALITY};
        for (int i = 0; i < 4; ++i)
            leaves[i].choice = GEN_FILTER_ITEM, leaves[i].u.item.choice = items[i];
        leaves[0].u.item.u.attribute = attrs[0];
        leaves[1].u.item.u.present = Id("id-att-job-name");
        leaves[2].u.item.u.substrings = GEN_Substrings{
            Id("id-att-job-name"), 27, GEN_MATCH_CASE_INSENSITIVE, &initial, &any, &last};
        leaves[3].u.item.u.attribute = attrs[1];
        or1.filter = leaves[1], or2.filter = leaves[2], negated = leaves[3],
        and1.filter = leaves[0];
        and2.filter.choice = GEN_FILTER_OR, and2.filter.u.or_set = &or1;
        and3.filter.choice = GEN_FILTER_NOT, and3.filter.u.not_filter = &negated;
        top.choice = GEN_FILTER_AND, top.u.and_set = &and1;
        EXPECT_EQ(GENU_MakeObjectIdent_JobId(st, &ident, "job-12", nullptr), 0);
        idents.ident = ident;
        selector = GEN_Selector{&idents, &top, &time_limit, &count_limit};
    }
    ~Fixture() {
        Status st;
        for (int i = 0; i < 2; ++i) {
            AS_FreeAttrHandle(st, &attrs[i]);
            AS_Destroy(st, &sets[i]);
        }
        GEN_DeleteObjectIdent(st, ident, nullptr);
    }
};

TEST(Selectors, NestedFiltersTravelAndComeBackTheSame) {
    Fixture f;
    Status st;
    ODP_BerSelector ber{};
    ASSERT_EQ(ToBER_selector(st, &ber, &f.selector), 0) << std::hex << st.Code();
    EXPECT_EQ(ber.bit_mask, 0xF0);
    auto first = ListBytes(ber);
    void *back = vrtest_ops::Decode(ODP_PDU_LIST_ARG, first);
    GEN_Selector lib{};
    ASSERT_EQ(ToGEN_selector(st, &static_cast<ODP_BerListArg *>(back)->u.new_list.selector, &lib),
              0)
        << std::hex << st.Code();
    // Built again from the library form, the selector encodes the same.
    ODP_BerSelector again{};
    ASSERT_EQ(ToBER_selector(st, &again, &lib), 0) << std::hex << st.Code();
    EXPECT_EQ(ListBytes(again), first);
    FreeBER_selector(st, &again);
    GEN_DeepDeleteSelector(st, &lib, nullptr);
    GENU_OssFreePDU(nullptr, ODP_PDU_LIST_ARG, back);
    EXPECT_EQ(FreeBER_selector(st, &ber), 0);
    EXPECT_EQ(ber.bit_mask, 0);
    EXPECT_EQ(st.Failed(FreeBER_selector(st, nullptr)), 0xC00E006Cu);
}

TEST(Selectors, InconsistentAndTooDeepFiltersAreRefused) {
    Fixture f;
    Status st;
    // Substrings whose syntax is not the attribute's.
    f.leaves[2].u.item.u.substrings.value_type = 28;
    f.or2.filter = f.leaves[2];
    ODP_BerSelector ber{};
    EXPECT_EQ(st.Failed(ToBER_selector(st, &ber, &f.selector)), 0xC00E00A0u);
    EXPECT_EQ(ber.bit_mask, 0);
    EXPECT_EQ(ber.filter, nullptr);

    // Negations: the deepest the bound allows travels; a deeper one is refused.
    std::vector<GEN_Filter> chain(40);
    chain.back() = f.leaves[1];
    for (size_t i = 0; i + 1 < chain.size(); ++i)
        chain[i].choice = GEN_FILTER_NOT, chain[i].u.not_filter = &chain[i + 1];
    GEN_Selector sel{nullptr, &chain[chain.size() - 17], nullptr, nullptr};
    ODP_BerSelector ok{};
    ASSERT_EQ(ToBER_selector(st, &ok, &sel), 0);
    EXPECT_FALSE(ListBytes(ok).empty());
    FreeBER_selector(st, &ok);
    ODP_BerFilter out{};
    EXPECT_EQ(st.Failed(ToBER_filter(st, &out, &chain[0])), 0xC00E00A0u);
    EXPECT_EQ(out.choice, 0);
}

TEST(Encoders, LeaveNothingWhenAllocationFails) {
    Fixture f;
    Status st;
    std::mt19937 rng(3);
    AS_SetHandle set = vrtest_ops::MakeRandomSet(rng, vrtest_ops::PackableAttributes(), 12);
    GEN_ErrorMessage msg{};
    GEN_Text t{};
    ASSERT_EQ(GENU_MakeEmbeddedText(st, &t, "stopped", nullptr), 0);
    ASSERT_EQ(GENU_MakeEmbeddedErrorMsg(st, &msg, &t, nullptr, nullptr), 0);
    ERDPA_ErrorResult *r = nullptr;
    ASSERT_EQ(ERDPA_Service(st, &r, 1, f.sets[1], f.ident, &msg), 0);
    ASSERT_EQ(ERDPA_Service(st, &r, 2, AS_nullSetHandle, f.ident, &msg), 0);
    // Each encoder succeeds, or fails with its output empty.
    ODP_BerSelector sel{};
    ODP_BerModAttrSet *mod = nullptr;
    GENU_Buffer bytes{};
    int32_t wire = 0;
    const std::pair<long, std::function<int()>> encoders[] = {
        {10, [&] { return ToBER_selector(st, &sel, &f.selector); }},
        {5, [&] { return ERDPA_EncodeError(st, r, &wire, &bytes); }},
        {3, [&] { return ToBER_ModOpAS(st, &mod, &set, ODP_AS_MODE_EXTENDED_ACL); }}};
    vrtest::FailingContext failing;
    for (const auto &[least, encode] : encoders) {
        long points = vrtest::SweepFailures(
            [&, &encode = encode] {
                bool ok = !encode();
                EXPECT_TRUE(ok || (!sel.bit_mask && !bytes.value && !mod));
                FreeBER_selector(st, &sel);
                FreeBER_ModOpAS(st, mod);
                _GENU__MyFree(bytes.value);
                sel = {}, mod = nullptr, bytes = {};
                return ok;
            },
            [] {});
        EXPECT_GT(points, least);
    }
    ERDPA_FreeError(st, r);
    GEN_DeepDeleteText(st, &t, nullptr);
    GEN_DeepDeleteErrorMessage(st, &msg, nullptr);
    AS_Destroy(st, &set);
}

} // namespace
