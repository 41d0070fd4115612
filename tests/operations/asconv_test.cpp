// Attribute sets through the runtime structures and BER.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "ops_test_util.h"
#include "scratch.h"
#include "vrcore/vrbm.h"

namespace {

using vrtest_ops::Status;
using vrtest_ops::Wire;

// Releases an attribute made outside any set of the caller's, with the set it made.
void FreeLoneAttr(AS_AttrHandle &a) {
    Status st;
    AS_SetHandle owner = AS_nullSetHandle;
    EXPECT_EQ(AS_GetAttrSetR(st, a, &owner), 0);
    AS_Destroy(st, &owner);
    AS_FreeAttrHandle(st, &a);
}

// Equal, or (for syntaxes without a comparison rule) packing to the same bytes.
void ExpectSameValue(uint32_t type, const void *a, const void *b, const std::string &what) {
    Status st;
    int32_t cmp = -2;
    if (GEN_CompareAttrValue(st, type, a, b, &cmp) == 0) {
        EXPECT_EQ(cmp, 0) << what;
        return;
    }
    ASSERT_EQ(st.Code(), GEN_S_NOTSUPP) << what;
    GENU_Buffer pa{}, pb{};
    ASSERT_EQ(ODP_PackAV(st, type, a, &pa) | ODP_PackAV(st, type, b, &pb), 0) << what;
    EXPECT_EQ(vrtest_ops::Bytes(pa.value, pa.value + pa.length),
              vrtest_ops::Bytes(pb.value, pb.value + pb.length))
        << what;
    _GENU__MyFree(pa.value);
    _GENU__MyFree(pb.value);
}

// The same attributes, operators (when asked) and values, in the same order.
void ExpectSameSets(AS_SetHandle a, AS_SetHandle b, bool operators) {
    Status st;
    AS_AttrHandle ha = nullptr, hb = nullptr;
    GENU_ShortOID ia = 0, ib = 0;
    int ra = AS_FindFirstAttr(st, a, &ha, &ia), rb = AS_FindFirstAttr(st, b, &hb, &ib);
    for (; ra == 0 && rb == 0;
         ra = AS_FindNextAttrR(st, &ha, &ia), rb = AS_FindNextAttrR(st, &hb, &ib)) {
        std::string what = GENU_ShortOIDToAscii(ia);
        ASSERT_EQ(ia, ib) << what;
        uint32_t ta = 0, tb = 0;
        ASSERT_EQ(AS_GetAttrValTypeR(st, ha, &ta) | AS_GetAttrValTypeR(st, hb, &tb), 0);
        ASSERT_EQ(ta, tb);
        int32_t oa = 0, ob = 0;
        AS_GetAttrModifyOpR(st, ha, &oa);
        AS_GetAttrModifyOpR(st, hb, &ob);
        EXPECT_EQ(operators && oa >= 1 && oa <= 3 ? oa : 0, operators ? ob : 0) << what;
        AS_ValueList la{}, lb{};
        ASSERT_EQ(
            AS_GetAttrValListR(st, ha, &la, nullptr) | AS_GetAttrValListR(st, hb, &lb, nullptr), 0);
        ASSERT_EQ(la.count, lb.count) << what;
        for (uint32_t i = 0; i < la.count; ++i)
            ExpectSameValue(ta, la.values[i], lb.values[i], what);
        GENU__CoveredFree(la.values);
        GENU__CoveredFree(lb.values);
    }
    EXPECT_EQ(ra, rb) << "the sets differ in length";
    AS_FreeAttrHandle(st, &ha);
    AS_FreeAttrHandle(st, &hb);
}

// As plain sets, as modification sets, and the first value as a single-value assertion.
TEST(SetConversion, RandomSetsRoundTripThroughBer) {
    auto ids = vrtest_ops::PackableAttributes();
    ASSERT_GT(ids.size(), 100u);
    // Every syntax that packs and that some built-in attribute uses is drawn.
    Status st;
    std::set<int32_t> syntaxes;
    for (int32_t type = 0; GENU_ShortOID id : ids)
        syntaxes.insert(GENU_AttrIdToType(st, id, &type) ? -1 : type);
    EXPECT_GE(syntaxes.size(), 40u);
    std::mt19937 rng(1206);
    for (int round = 0; round < 150; ++round) {
        AS_SetHandle set = vrtest_ops::MakeRandomSet(rng, ids, 12);
        ODP_BerAttrSet *ber = nullptr;
        ASSERT_EQ(ToBER_AS(st, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 0) << std::hex << st.Code();
        auto *back = static_cast<ODP_BerAttrSet **>(Wire(ODP_PDU_ATTRIBUTE_SET, &ber));
        ASSERT_NE(back, nullptr);
        AS_SetHandle *decoded = nullptr;
        ASSERT_EQ(MallocAStoGEN(st, *back, &decoded), 0) << std::hex << st.Code();
        ExpectSameSets(set, *decoded, false);
        EXPECT_EQ(FreeBER_AS(st, ber), 0);
        GENU_OssFreePDU(nullptr, ODP_PDU_ATTRIBUTE_SET, back);
        AS_Destroy(st, decoded);
        GENU__CoveredFree(decoded);

        ODP_BerModAttrSet *mod = nullptr;
        ASSERT_EQ(ToBER_ModOpAS(st, &mod, &set, ODP_AS_MODE_EXTENDED_ACL), 0)
            << std::hex << st.Code();
        for (ODP_BerModAttrSet *n = mod; n; n = n->next) {
            EXPECT_EQ(!!(n->bit_mask & ODP_MODATTR_VALUES), n->values != nullptr);
            EXPECT_TRUE(!(n->bit_mask & ODP_MODATTR_OPERATOR) ||
                        (n->modify_operator >= 1 && n->modify_operator <= 3));
        }
        auto *mod_back = static_cast<ODP_BerModAttrSet **>(Wire(ODP_PDU_MODIFICATION_SET, &mod));
        ASSERT_NE(mod_back, nullptr);
        AS_SetHandle changes = AS_nullSetHandle;
        ASSERT_EQ(ToGEN_ModOpAS(st, *mod_back, &changes), 0) << std::hex << st.Code();
        ExpectSameSets(set, changes, true);
        FreeBER_ModOpAS(st, mod);
        GENU_OssFreePDU(nullptr, ODP_PDU_MODIFICATION_SET, mod_back);
        AS_Destroy(st, &changes);

        AS_AttrHandle ah = nullptr;
        GENU_ShortOID id = 0;
        uint32_t count = 0, type = 0;
        ASSERT_EQ(AS_FindFirstAttr(st, set, &ah, &id), 0);
        if (!AS_GetAttrValCountR(st, ah, &count) && count) {
            ODP_BerSingleValue ava{};
            ASSERT_EQ(ToBER_IfwAVA(st, &ava, ah), 0) << std::hex << st.Code();
            auto *ava_back = static_cast<ODP_BerSingleValue *>(Wire(ODP_PDU_SINGLE_VALUE, &ava));
            AS_AttrHandle got = nullptr;
            ASSERT_EQ(ToGEN_IfwAVA(st, ava_back, &got), 0) << std::hex << st.Code();
            void *first = nullptr, *value = nullptr;
            ASSERT_EQ(AS_GetAttrValR(st, ah, &first) | AS_GetAttrValR(st, got, &value), 0);
            ASSERT_EQ(AS_GetAttrValTypeR(st, ah, &type), 0);
            ExpectSameValue(type, first, value, GENU_ShortOIDToAscii(id));
            ASSERT_EQ(AS_GetAttrValCountR(st, got, &count), 0);
            EXPECT_EQ(count, 1u);
            FreeLoneAttr(got);
            GENU_OssFreePDU(nullptr, ODP_PDU_SINGLE_VALUE, ava_back);
            EXPECT_EQ(FreeBER_ifwAVA(st, &ava), 0);
        }
        AS_FreeAttrHandle(st, &ah);
        AS_Destroy(st, &set);
    }
}

// Content octets of 1.3.6.1.4.1.99999.7.7: in no table.
const unsigned char kUnknownOid[] = {0x2b, 0x06, 0x01, 0x04, 0x01, 0x86, 0x8d, 0x1f, 0x07, 0x07};

TEST(SetConversion, UnknownIdentifiersAndMistypedAttributesAreRefused) {
    Status st;
    GENU_ShortOID name_id = vrtest_ops::Id("id-att-job-name");
    GENU_BerOID known{};
    ASSERT_EQ(GENU_ShortToBerOID(st, name_id, &known), 0);
    // A known attribute first, so that a set exists when the unknown one comes.
    ODP_BerAttrSet second{nullptr, {{sizeof kUnknownOid, kUnknownOid}, nullptr}};
    ODP_BerAttrSet first{&second, {known, nullptr}};
    ODP_BerAttrSet *list = &first;
    auto *back = static_cast<ODP_BerAttrSet **>(Wire(ODP_PDU_ATTRIBUTE_SET, &list));
    ASSERT_NE(back, nullptr);
    AS_SetHandle out = reinterpret_cast<AS_SetHandle>(&st); // must be overwritten
    EXPECT_EQ(st.Failed(ToGEN_AS(st, *back, &out)), 0xC00E00A5u);
    EXPECT_EQ(out, AS_nullSetHandle);
    AS_SetHandle *cell = reinterpret_cast<AS_SetHandle *>(&st);
    EXPECT_EQ(MallocAStoGEN(st, *back, &cell), 1);
    EXPECT_EQ(cell, nullptr);
    GENU_OssFreePDU(nullptr, ODP_PDU_ATTRIBUTE_SET, back);

    // An attribute stored under another syntax than its own.
    AS_SetHandle set = AS_nullSetHandle;
    ASSERT_EQ(AS_Create(st, &set, nullptr, 0), 0);
    GEN_Cardinal c = 5;
    AS_AttrHandle ah = nullptr;
    ASSERT_EQ(AS_AddAttrValM(st, set, name_id, 1, &c, &GENU_CardinalDesc, &ah), 0);
    ODP_BerAttrSet *ber = reinterpret_cast<ODP_BerAttrSet *>(&st);
    EXPECT_EQ(st.Failed(ToBER_AS(st, &ber, &set, ODP_AS_MODE_EXTENDED_ACL)), 0xC00E00A0u);
    EXPECT_EQ(ber, nullptr);
    ODP_BerAttribute one{};
    EXPECT_EQ(ToBER_Attr(st, &one, ah, ODP_AS_MODE_EXTENDED_ACL), 1);
    EXPECT_EQ(one.values, nullptr);
    EXPECT_EQ(st.Failed(ToBER_Attr(st, &one, AS_nullAttrHandle, ODP_AS_MODE_EXTENDED_ACL)),
              0xC00E00A0u);
    AS_FreeAttrHandle(st, &ah);
    AS_Destroy(st, &set);
}

TEST(SetConversion, EmptyAttributesAndEmptyValueNodes) {
    Status st;
    AS_SetHandle set = AS_nullSetHandle;
    ODP_BerAttrSet *ber = reinterpret_cast<ODP_BerAttrSet *>(&st);
    // The null handle and an empty set both give the null list.
    ASSERT_EQ(ToBER_AS(st, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 0);
    EXPECT_EQ(ber, nullptr);
    ASSERT_EQ(AS_Create(st, &set, nullptr, 0), 0);
    ASSERT_EQ(ToBER_AS(st, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 0);
    EXPECT_EQ(ber, nullptr);
    EXPECT_EQ(st.Failed(ToBER_AS(st, &ber, nullptr, ODP_AS_MODE_EXTENDED_ACL)), 0xC00E00A0u);

    // An attribute without values: empty list, and no values bit.
    GENU_ShortOID id = vrtest_ops::Id("id-att-job-name");
    AS_AttrHandle ah = nullptr;
    ASSERT_EQ(AS_AddAttr(st, set, id, 27, &ah), 0);
    ASSERT_EQ(ToBER_AS(st, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 0);
    ASSERT_NE(ber, nullptr);
    EXPECT_EQ(ber->attribute.values, nullptr);
    ODP_BerModAttrSet *mod = nullptr;
    ASSERT_EQ(AS_SetAttrModifyOpR(st, ah, AS_MODOP_SET_DEFAULT), 0);
    ASSERT_EQ(ToBER_ModOpAS(st, &mod, &set, ODP_AS_MODE_EXTENDED_ACL), 0);
    ASSERT_NE(mod, nullptr);
    EXPECT_EQ(mod->bit_mask, ODP_MODATTR_OPERATOR);
    EXPECT_EQ(mod->modify_operator, AS_MODOP_SET_DEFAULT);
    auto *back = static_cast<ODP_BerAttrSet **>(Wire(ODP_PDU_ATTRIBUTE_SET, &ber));
    AS_SetHandle decoded = AS_nullSetHandle;
    ASSERT_EQ(ToGEN_AS(st, *back, &decoded), 0);
    uint32_t count = 99;
    ASSERT_EQ(AS_GetAttrValCount(st, decoded, id, &count), 0);
    EXPECT_EQ(count, 0u);
    AS_Destroy(st, &decoded);

    // Value nodes of length 0 or without bytes are skipped.
    GEN_SimpleName name = vrtest_ops::Name("report");
    GENU_Buffer packed{};
    ASSERT_EQ(ODP_PackAV(st, 27, &name, &packed), 0);
    ODP_BerValueNode v3{nullptr, {packed.length, nullptr}}, v2{&v3, packed},
        v1{&v2, {0, packed.value}};
    ODP_BerAttribute attr{ber->attribute.type, &v1};
    AS_AttrHandle single = nullptr;
    ASSERT_EQ(ToGEN_AVA(st, &attr, &single), 0) << std::hex << st.Code();
    ASSERT_EQ(AS_GetAttrValCountR(st, single, &count), 0);
    EXPECT_EQ(count, 1u);
    FreeLoneAttr(single);
    _GENU__MyFree(packed.value);

    GENU_OssFreePDU(nullptr, ODP_PDU_ATTRIBUTE_SET, back);
    FreeBER_AS(st, ber);
    FreeBER_ModOpAS(st, mod);
    AS_FreeAttrHandle(st, &ah);
    AS_Destroy(st, &set);
}

TEST(SetConversion, RepeatedIdentifiersArriveAsTheyWereSent) {
    Status st;
    AS_SetHandle set = AS_nullSetHandle;
    ASSERT_EQ(AS_Create(st, &set, nullptr, 1), 0);
    GENU_ShortOID copies = vrtest_ops::Id("id-att-copy-count"),
                  name = vrtest_ops::Id("id-att-job-name");
    GEN_Cardinal values[] = {1, 2};
    for (int i = 0; i < 3; ++i) {
        AS_AttrHandle ah = nullptr;
        ASSERT_EQ(AS_AddAttr(st, set, i == 1 ? name : copies, i == 1 ? 27 : 1, &ah), 0);
        EXPECT_EQ(i != 1 ? AS_AddAttrValMR(st, ah, 1, &values[i / 2], &GENU_CardinalDesc) : 0, 0);
        AS_FreeAttrHandle(st, &ah);
    }
    ODP_BerAttrSet *ber = nullptr;
    ASSERT_EQ(ToBER_AS(st, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 0);
    auto *back = static_cast<ODP_BerAttrSet **>(Wire(ODP_PDU_ATTRIBUTE_SET, &ber));
    AS_SetHandle decoded = AS_nullSetHandle;
    ASSERT_EQ(ToGEN_AS(st, *back, &decoded), 0) << std::hex << st.Code();
    ExpectSameSets(set, decoded, false);
    // An identifier that occurs once is found as in any set.
    uint32_t count = 9;
    ASSERT_EQ(AS_GetAttrValCount(st, decoded, name, &count), 0);
    EXPECT_EQ(count, 0u);
    AS_Destroy(st, &decoded);
    GENU_OssFreePDU(nullptr, ODP_PDU_ATTRIBUTE_SET, back);
    FreeBER_AS(st, ber);
    AS_Destroy(st, &set);
}

// A dynamic identifier database registering kListAcl with the list-form syntax.
const unsigned char kForm[] = {0x2a, 0x86, 0x48, 0x88, 0xfe, 0x61, 0x63, 0x08};
constexpr GENU_ShortOID kListAcl = 0x80000001u;
struct ListFormRegistry {
    vrtest::ScratchDir scratch{"asconv"};
    std::string dir = scratch.Path();
    ListFormRegistry() {
        VRBM_Db *h = VRBM_open((dir + "/oid_cvrt").c_str(), VRBM_RDWR | VRBM_CREAT, 0666, 0);
        std::string bin =
            std::string("\x06\x08", 2) + std::string(reinterpret_cast<const char *>(kForm), 8);
        for (auto [k, v] : {std::pair{"b-2147483649" + std::string(), bin + '\x55'},
                            {bin, std::string("2147483649")}})
            EXPECT_EQ(VRBM_store(h, k.data(), static_cast<int>(k.size()), v.data(),
                                 static_cast<int>(v.size()), 0),
                      0);
        VRBM_close(h);
        Status st;
        EXPECT_EQ(GENU_Init(st, dir.c_str(), 0), 0) << std::hex << st.Code();
    }
    ~ListFormRegistry() { GENU_Term(); }
};

// Sending a set received from a list-form peer on gives the peer's bytes back.
TEST(SetConversion, ReceivedListFormAccessControlGoesOutAsItCame) {
    ListFormRegistry registry;
    Status st;
    const struct {
        const char *name;
        int32_t type, level;
    } entries[] = {{"bob@host.example", 2, 1},
                   {"ops@office", 1, 3},
                   {"lp@<spool>", 3, 2},
                   {"CORP\\bob", 2, 1},
                   {"@", 0, 1}};
    std::vector<std::vector<unsigned char>> sent;
    std::vector<ODP_BerValueNode> nodes(std::size(entries));
    for (size_t i = 0; i < nodes.size(); ++i) {
        GEN_PSISAccessControlList v{};
        v.choice = 1;
        ASSERT_EQ(GENU_MakeEmbeddedSimpleName(st, &v.u.simple_name, entries[i].name, nullptr), 0);
        int32_t type = entries[i].type, level = entries[i].level;
        v.name_type = &type;
        v.privilege_level = &level;
        ASSERT_EQ(ODP_PackAV(st, 85, &v, &nodes[i].value), 0);
        sent.emplace_back(nodes[i].value.value, nodes[i].value.value + nodes[i].value.length);
        if (i) nodes[i - 1].next = &nodes[i];
    }
    ODP_BerAttrSet received{nullptr, {{sizeof kForm, kForm}, nodes.data()}};
    AS_SetHandle set = AS_nullSetHandle;
    ASSERT_EQ(ToGEN_AS(st, &received, &set), 0) << std::hex << st.Code();
    for (auto &n : nodes) _GENU__MyFree(n.value.value);
    uint32_t type = 0;
    ASSERT_EQ(AS_GetAttrValType(st, set, kListAcl, &type), 0);
    EXPECT_EQ(type, 89u);
    // Under the built-in attribute they go in list form outside the extended mode only.
    GENU_ShortOID ext = vrtest_ops::Id("id-att-access-control-list");
    AS_ValueList values{};
    ASSERT_EQ(AS_GetAttrValList(st, set, kListAcl, &values, nullptr), 0);
    for (uint32_t i = 0; i < values.count; ++i)
        ASSERT_EQ(AS_AddAttrValM(st, set, ext, 89, values.values[i], &GENU_ExtACLDesc, nullptr), 0);
    GENU__CoveredFree(values.values);
    auto bytes = [](const ODP_BerValueNode *v) {
        std::vector<std::vector<unsigned char>> out;
        for (; v; v = v->next) out.emplace_back(v->value.value, v->value.value + v->value.length);
        return out;
    };
    for (int32_t mode : {ODP_AS_MODE_EXTENDED_ACL, 0}) {
        ODP_BerAttrSet *ber = nullptr;
        ASSERT_EQ(ToBER_AS(st, &ber, &set, mode), 0) << std::hex << st.Code();
        EXPECT_EQ(bytes(ber->attribute.values), sent);
        ASSERT_NE(ber->next, nullptr);
        EXPECT_EQ(bytes(ber->next->attribute.values) == sent, mode != ODP_AS_MODE_EXTENDED_ACL);
        FreeBER_AS(st, ber);
    }
    AS_Destroy(st, &set);
}

} // namespace
