// Attribute-set conversion: random sets survive the trip through the
// runtime's structures and BER with order and values intact; unknown
// identifiers, empty attributes, operators and failures behave.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "encoding/ber_world.h"
#include "encoding/codes.h"
#include "failalloc.h"
#include "ops_test_util.h"
#include "vrcore/odpas.h"
#include "vrcore/vrbm.h"

namespace {

using vrtest_ops::RandomValue;
using vrtest_ops::Status;

// Encodes a structure under a PDU and decodes it again.
void *Wire(int pdu, const void *structure) {
    GENU_Buffer b{};
    EXPECT_EQ(GENU_OssEncode(nullptr, pdu, structure, &b), 0) << pdu;
    void *back = nullptr;
    EXPECT_EQ(GENU_OssDecode(nullptr, &pdu, &b, &back), 0) << pdu;
    _GENU__MyFree(b.value);
    return back;
}

// The two sets hold the same attributes in the same order, each with the
// same operator and equal values in the same order.
void ExpectSameSets(AS_SetHandle a, AS_SetHandle b, bool operators) {
    Status st;
    AS_AttrHandle ha = nullptr, hb = nullptr;
    GENU_ShortOID ia = 0, ib = 0;
    int ra = AS_FindFirstAttr(st.list, a, &ha, &ia);
    int rb = AS_FindFirstAttr(st.list, b, &hb, &ib);
    size_t count = 0;
    while (ra == 0 && rb == 0) {
        ++count;
        ASSERT_EQ(ia, ib) << "attribute " << count;
        uint32_t ta = 0, tb = 0;
        ASSERT_EQ(AS_GetAttrValTypeR(st.list, ha, &ta), 0);
        ASSERT_EQ(AS_GetAttrValTypeR(st.list, hb, &tb), 0);
        ASSERT_EQ(ta, tb);
        if (operators) {
            int32_t oa = 0, ob = 0;
            AS_GetAttrModifyOpR(st.list, ha, &oa);
            AS_GetAttrModifyOpR(st.list, hb, &ob);
            EXPECT_EQ(oa >= 1 && oa <= 3 ? oa : 0, ob) << GENU_ShortOIDToAscii(ia);
        }
        AS_ValueList la{}, lb{};
        ASSERT_EQ(AS_GetAttrValListR(st.list, ha, &la, nullptr), 0);
        ASSERT_EQ(AS_GetAttrValListR(st.list, hb, &lb, nullptr), 0);
        ASSERT_EQ(la.count, lb.count) << GENU_ShortOIDToAscii(ia);
        for (uint32_t i = 0; i < la.count; ++i) {
            int32_t cmp = -2;
            if (GEN_CompareAttrValue(st.list, ta, la.values[i], lb.values[i], &cmp) == 0) {
                EXPECT_EQ(cmp, 0) << GENU_ShortOIDToAscii(ia) << " type " << ta << " value " << i;
                continue;
            }
            // Syntaxes without a comparison rule: their encodings agree.
            ASSERT_EQ(st.code(), GEN_S_NOTSUPP) << GENU_ShortOIDToAscii(ia) << " type " << ta;
            GENU_Buffer pa{}, pb{};
            ASSERT_EQ(ODP_PackAV(st.list, ta, la.values[i], &pa), 0);
            ASSERT_EQ(ODP_PackAV(st.list, ta, lb.values[i], &pb), 0);
            EXPECT_TRUE(pa.length == pb.length && !memcmp(pa.value, pb.value, pa.length))
                << GENU_ShortOIDToAscii(ia) << " type " << ta << " value " << i;
            _GENU__MyFree(pa.value);
            _GENU__MyFree(pb.value);
        }
        GENU__CoveredFree(la.values);
        GENU__CoveredFree(lb.values);
        ra = AS_FindNextAttrR(st.list, &ha, &ia);
        rb = AS_FindNextAttrR(st.list, &hb, &ib);
    }
    EXPECT_EQ(ra, rb) << "the sets differ in length after " << count << " attributes";
    AS_FreeAttrHandle(st.list, &ha);
    AS_FreeAttrHandle(st.list, &hb);
}

// A random set of attributes from the built-in table with values of their
// registry syntax; some attributes get no values, some an operator.
AS_SetHandle RandomSet(std::mt19937 &rng, const std::vector<GENU_ShortOID> &ids, bool operators) {
    Status st;
    AS_SetHandle set = AS_nullSetHandle;
    EXPECT_EQ(AS_Create(st.list, &set, nullptr, 0), 0);
    size_t n = 1 + rng() % 12;
    for (size_t i = 0; i < n; ++i) {
        GENU_ShortOID id = ids[rng() % ids.size()];
        int present = 0;
        AS_IsAttrPresent(st.list, set, id, &present);
        if (present) continue;
        int32_t type = 0;
        GENU_AttrIdToType(st.list, id, &type);
        AS_AttrHandle ah = nullptr;
        EXPECT_EQ(AS_AddAttr(st.list, set, id, static_cast<uint32_t>(type), &ah), 0);
        size_t values = rng() % 5 == 0 ? 0 : 1 + rng() % 4;
        for (size_t k = 0; k < values; ++k) {
            RandomValue v;
            EXPECT_TRUE(v.Fill(static_cast<uint32_t>(type), rng)) << type;
            EXPECT_EQ(AS_AddAttrValMR(st.list, ah, static_cast<uint32_t>(type), v.data(),
                                      GENU_AVT2Descriptor(static_cast<uint32_t>(type))),
                      0)
                << std::hex << st.code();
        }
        if (operators) AS_SetAttrModifyOpR(st.list, ah, static_cast<int32_t>(rng() % 6) - 1);
        AS_FreeAttrHandle(st.list, &ah);
    }
    return set;
}

TEST(SetConversion, RandomSetsRoundTripThroughBer) {
    auto ids = vrtest_ops::PackableAttributes();
    ASSERT_GT(ids.size(), 100u);
    // Every syntax that packs and that some built-in attribute uses is drawn.
    Status st0;
    std::set<int32_t> syntaxes;
    for (GENU_ShortOID id : ids) {
        int32_t t = 0;
        GENU_AttrIdToType(st0.list, id, &t);
        syntaxes.insert(t);
    }
    EXPECT_GE(syntaxes.size(), 40u);
    std::mt19937 rng(1206);
    Status st;
    for (int round = 0; round < 150; ++round) {
        AS_SetHandle set = RandomSet(rng, ids, false);
        ODP_BerAttrSet *ber = nullptr;
        ASSERT_EQ(ToBER_AS(st.list, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 0) << std::hex << st.code();
        auto *back = static_cast<ODP_BerAttrSet **>(Wire(ODP_PDU_ATTRIBUTE_SET, &ber));
        ASSERT_NE(back, nullptr);
        AS_SetHandle *decoded = nullptr;
        ASSERT_EQ(MallocAStoGEN(st.list, *back, &decoded), 0) << std::hex << st.code();
        ExpectSameSets(set, *decoded, false);
        EXPECT_EQ(FreeBER_AS(st.list, ber), 0);
        GENU_OssFreePDU(nullptr, ODP_PDU_ATTRIBUTE_SET, back);
        AS_Destroy(st.list, decoded);
        GENU__CoveredFree(decoded);
        AS_Destroy(st.list, &set);
    }
}

TEST(SetConversion, RandomModificationSetsKeepTheirOperators) {
    auto ids = vrtest_ops::PackableAttributes();
    std::mt19937 rng(77);
    Status st;
    for (int round = 0; round < 100; ++round) {
        AS_SetHandle set = RandomSet(rng, ids, true);
        ODP_BerModAttrSet *ber = nullptr;
        ASSERT_EQ(ToBER_ModOpAS(st.list, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 0) << std::hex << st.code();
        for (ODP_BerModAttrSet *n = ber; n; n = n->next) {
            EXPECT_EQ(!!(n->bit_mask & ODP_MODATTR_VALUES), n->values != nullptr);
            if (n->bit_mask & ODP_MODATTR_OPERATOR) {
                EXPECT_TRUE(n->modify_operator >= 1 && n->modify_operator <= 3);
            }
        }
        auto *back = static_cast<ODP_BerModAttrSet **>(Wire(ODP_PDU_MODIFICATION_SET, &ber));
        ASSERT_NE(back, nullptr);
        AS_SetHandle decoded = AS_nullSetHandle;
        ASSERT_EQ(ToGEN_ModOpAS(st.list, *back, &decoded), 0) << std::hex << st.code();
        ExpectSameSets(set, decoded, true);
        FreeBER_ModOpAS(st.list, ber);
        GENU_OssFreePDU(nullptr, ODP_PDU_MODIFICATION_SET, back);
        AS_Destroy(st.list, &decoded);
        AS_Destroy(st.list, &set);
    }
}

// Content octets of 1.3.6.1.4.1.99999.7.7: in no table.
const unsigned char kUnknownOid[] = {0x2b, 0x06, 0x01, 0x04, 0x01, 0x86, 0x8d, 0x1f, 0x07, 0x07};

TEST(SetConversion, UnknownIdentifierLeavesNoSet) {
    Status st;
    GENU_ShortOID name_id = 0;
    ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-job-name", &name_id), 0);
    GENU_BerOID known{};
    ASSERT_EQ(GENU_ShortToBerOID(st.list, name_id, &known), 0);
    // A known attribute first, so that a set exists when the unknown one comes.
    ODP_BerAttrSet second{nullptr, {{sizeof kUnknownOid, kUnknownOid}, nullptr}};
    ODP_BerAttrSet first{&second, {known, nullptr}};
    ODP_BerAttrSet *list = &first;
    auto *back = static_cast<ODP_BerAttrSet **>(Wire(ODP_PDU_ATTRIBUTE_SET, &list));
    ASSERT_NE(back, nullptr);
    AS_SetHandle out = reinterpret_cast<AS_SetHandle>(&st); // must be overwritten
    EXPECT_EQ(ToGEN_AS(st.list, *back, &out), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_OID);
    EXPECT_EQ(out, AS_nullSetHandle);
    AS_SetHandle *cell = reinterpret_cast<AS_SetHandle *>(&st);
    EXPECT_EQ(MallocAStoGEN(st.list, *back, &cell), 1);
    EXPECT_EQ(cell, nullptr);
    GENU_OssFreePDU(nullptr, ODP_PDU_ATTRIBUTE_SET, back);

    ODP_BerModAttrSet mod{nullptr, 0, {sizeof kUnknownOid, kUnknownOid}, nullptr, 0};
    EXPECT_EQ(ToGEN_ModOpAS(st.list, &mod, &out), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_OID);
    ODP_BerSingleValue ava{{sizeof kUnknownOid, kUnknownOid}, {0, nullptr}};
    AS_AttrHandle ah = reinterpret_cast<AS_AttrHandle>(&st);
    EXPECT_EQ(ToGEN_IfwAVA(st.list, &ava, &ah), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_OID);
    EXPECT_EQ(ah, AS_nullAttrHandle);
}

TEST(SetConversion, EmptyAttributesAndEmptyValueNodes) {
    Status st;
    AS_SetHandle set = AS_nullSetHandle;
    ODP_BerAttrSet *ber = reinterpret_cast<ODP_BerAttrSet *>(&st);
    // The null handle and an empty set both give the null list.
    ASSERT_EQ(ToBER_AS(st.list, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 0);
    EXPECT_EQ(ber, nullptr);
    ASSERT_EQ(AS_Create(st.list, &set, nullptr, 0), 0);
    ASSERT_EQ(ToBER_AS(st.list, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 0);
    EXPECT_EQ(ber, nullptr);
    EXPECT_EQ(ToBER_AS(st.list, &ber, nullptr, ODP_AS_MODE_EXTENDED_ACL), 1);
    EXPECT_EQ(st.code(), GEN_S_INVALID);

    // An attribute without values: empty list, and no values bit.
    GENU_ShortOID id = 0;
    ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-job-name", &id), 0);
    AS_AttrHandle ah = nullptr;
    ASSERT_EQ(AS_AddAttr(st.list, set, id, 27, &ah), 0);
    ASSERT_EQ(ToBER_AS(st.list, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 0);
    ASSERT_NE(ber, nullptr);
    EXPECT_EQ(ber->attribute.values, nullptr);
    ODP_BerModAttrSet *mod = nullptr;
    ASSERT_EQ(AS_SetAttrModifyOpR(st.list, ah, AS_MODOP_SET_DEFAULT), 0);
    ASSERT_EQ(ToBER_ModOpAS(st.list, &mod, &set, ODP_AS_MODE_EXTENDED_ACL), 0);
    ASSERT_NE(mod, nullptr);
    EXPECT_EQ(mod->bit_mask, ODP_MODATTR_OPERATOR);
    EXPECT_EQ(mod->modify_operator, AS_MODOP_SET_DEFAULT);

    auto *back = static_cast<ODP_BerAttrSet **>(Wire(ODP_PDU_ATTRIBUTE_SET, &ber));
    AS_SetHandle decoded = AS_nullSetHandle;
    ASSERT_EQ(ToGEN_AS(st.list, *back, &decoded), 0);
    uint32_t count = 99;
    ASSERT_EQ(AS_GetAttrValCount(st.list, decoded, id, &count), 0);
    EXPECT_EQ(count, 0u);
    AS_Destroy(st.list, &decoded);

    // Value nodes of length 0 or without bytes are skipped.
    GEN_SimpleName name{};
    name.kind = GEN_KIND_IRV;
    strcpy(name.u.string, "report");
    GENU_Buffer packed{};
    ASSERT_EQ(ODP_PackAV(st.list, 27, &name, &packed), 0);
    ODP_BerValueNode v3{nullptr, {packed.length, nullptr}};
    ODP_BerValueNode v2{&v3, packed};
    ODP_BerValueNode v1{&v2, {0, packed.value}};
    ODP_BerAttribute attr{ber->attribute.type, &v1};
    AS_AttrHandle single = nullptr;
    ASSERT_EQ(ToGEN_AVA(st.list, &attr, &single), 0) << std::hex << st.code();
    ASSERT_EQ(AS_GetAttrValCountR(st.list, single, &count), 0);
    EXPECT_EQ(count, 1u);
    AS_SetHandle owner = AS_nullSetHandle;
    ASSERT_EQ(AS_GetAttrSetR(st.list, single, &owner), 0);
    AS_Destroy(st.list, &owner);
    AS_FreeAttrHandle(st.list, &single);
    _GENU__MyFree(packed.value);

    GENU_OssFreePDU(nullptr, ODP_PDU_ATTRIBUTE_SET, back);
    FreeBER_AS(st.list, ber);
    FreeBER_ModOpAS(st.list, mod);
    AS_FreeAttrHandle(st.list, &ah);
    AS_Destroy(st.list, &set);
    EXPECT_EQ(FreeBER_Attr(st.list, nullptr), 1);
    EXPECT_EQ(st.code(), GEN_S_NULLDELETE);
    EXPECT_EQ(FreeBER_ModOpAttr(st.list, nullptr), 1);
    EXPECT_EQ(st.code(), GEN_S_NULLDELETE);
}

TEST(SetConversion, RepeatedIdentifiersArriveAsTheyWereSent) {
    Status st;
    AS_SetHandle set = AS_nullSetHandle;
    ASSERT_EQ(AS_Create(st.list, &set, nullptr, 1), 0);
    GENU_ShortOID copies = 0, name = 0;
    ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-copy-count", &copies), 0);
    ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-job-name", &name), 0);
    GEN_Cardinal one = 1, two = 2;
    AS_AttrHandle ah = nullptr;
    ASSERT_EQ(AS_AddAttr(st.list, set, copies, 1, &ah), 0);
    ASSERT_EQ(AS_AddAttrValMR(st.list, ah, 1, &one, &GENU_CardinalDesc), 0);
    AS_FreeAttrHandle(st.list, &ah);
    ASSERT_EQ(AS_AddAttr(st.list, set, name, 27, &ah), 0);
    AS_FreeAttrHandle(st.list, &ah);
    ASSERT_EQ(AS_AddAttr(st.list, set, copies, 1, &ah), 0);
    ASSERT_EQ(AS_AddAttrValMR(st.list, ah, 1, &two, &GENU_CardinalDesc), 0);
    AS_FreeAttrHandle(st.list, &ah);
    ODP_BerAttrSet *ber = nullptr;
    ASSERT_EQ(ToBER_AS(st.list, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 0);
    auto *back = static_cast<ODP_BerAttrSet **>(Wire(ODP_PDU_ATTRIBUTE_SET, &ber));
    AS_SetHandle decoded = AS_nullSetHandle;
    ASSERT_EQ(ToGEN_AS(st.list, *back, &decoded), 0) << std::hex << st.code();
    ExpectSameSets(set, decoded, false);
    // An identifier that occurs once is found as in any set.
    uint32_t count = 9;
    ASSERT_EQ(AS_GetAttrValCount(st.list, decoded, name, &count), 0);
    EXPECT_EQ(count, 0u);
    AS_Destroy(st.list, &decoded);
    GENU_OssFreePDU(nullptr, ODP_PDU_ATTRIBUTE_SET, back);
    FreeBER_AS(st.list, ber);
    AS_Destroy(st.list, &set);
}

TEST(SetConversion, AttributeStoredUnderAnotherTypeIsRefused) {
    Status st;
    AS_SetHandle set = AS_nullSetHandle;
    ASSERT_EQ(AS_Create(st.list, &set, nullptr, 0), 0);
    GENU_ShortOID id = 0;
    ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-job-name", &id), 0);
    GEN_Cardinal c = 5;
    ASSERT_EQ(AS_AddAttrValM(st.list, set, id, 1, &c, &GENU_CardinalDesc, nullptr), 0);
    ODP_BerAttrSet *ber = reinterpret_cast<ODP_BerAttrSet *>(&st);
    EXPECT_EQ(ToBER_AS(st.list, &ber, &set, ODP_AS_MODE_EXTENDED_ACL), 1);
    EXPECT_EQ(st.code(), GEN_S_INVALID);
    EXPECT_EQ(ber, nullptr);
    AS_AttrHandle ah = nullptr;
    ASSERT_EQ(AS_FindAttr(st.list, set, id, &ah), 0);
    ODP_BerAttribute one{};
    EXPECT_EQ(ToBER_Attr(st.list, &one, ah, ODP_AS_MODE_EXTENDED_ACL), 1);
    EXPECT_EQ(one.values, nullptr);
    EXPECT_EQ(ToBER_Attr(st.list, &one, AS_nullAttrHandle, ODP_AS_MODE_EXTENDED_ACL), 1);
    EXPECT_EQ(st.code(), GEN_S_INVALID);
    AS_FreeAttrHandle(st.list, &ah);
    AS_Destroy(st.list, &set);
}

TEST(SetConversion, SingleValueAssertionCarriesTheFirstValue) {
    Status st;
    AS_SetHandle set = AS_nullSetHandle;
    ASSERT_EQ(AS_Create(st.list, &set, nullptr, 0), 0);
    GENU_ShortOID id = 0;
    ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-job-priority", &id), 0);
    int32_t type = 0;
    ASSERT_EQ(GENU_AttrIdToType(st.list, id, &type), 0);
    std::mt19937 rng(5);
    std::vector<RandomValue> values(3);
    AS_AttrHandle ah = nullptr;
    for (auto &v : values) {
        ASSERT_TRUE(v.Fill(static_cast<uint32_t>(type), rng));
        ASSERT_EQ(AS_AddAttrValM(st.list, set, id, static_cast<uint32_t>(type), v.data(),
                                 GENU_AVT2Descriptor(static_cast<uint32_t>(type)), nullptr),
                  0);
    }
    ASSERT_EQ(AS_FindAttr(st.list, set, id, &ah), 0);
    ODP_BerSingleValue ava{};
    ASSERT_EQ(ToBER_IfwAVA(st.list, &ava, ah), 0) << std::hex << st.code();
    auto *back = static_cast<ODP_BerSingleValue *>(Wire(ODP_PDU_SINGLE_VALUE, &ava));
    ASSERT_NE(back, nullptr);
    AS_AttrHandle got = nullptr;
    ASSERT_EQ(ToGEN_IfwAVA(st.list, back, &got), 0) << std::hex << st.code();
    void *first = nullptr, *decoded = nullptr;
    ASSERT_EQ(AS_GetAttrValR(st.list, ah, &first), 0);
    ASSERT_EQ(AS_GetAttrValR(st.list, got, &decoded), 0);
    int32_t cmp = 1;
    ASSERT_EQ(GEN_CompareAttrValue(st.list, static_cast<uint32_t>(type), first, decoded, &cmp), 0);
    EXPECT_EQ(cmp, 0);
    uint32_t count = 0;
    AS_GetAttrValCountR(st.list, got, &count);
    EXPECT_EQ(count, 1u);

    AS_SetHandle owner = AS_nullSetHandle;
    AS_GetAttrSetR(st.list, got, &owner);
    AS_Destroy(st.list, &owner);
    AS_FreeAttrHandle(st.list, &got);
    GENU_OssFreePDU(nullptr, ODP_PDU_SINGLE_VALUE, back);
    EXPECT_EQ(FreeBER_ifwAVA(st.list, &ava), 0);
    AS_FreeAttrHandle(st.list, &ah);
    AS_Destroy(st.list, &set);
}

TEST(SetConversion, EncoderLeavesNothingWhenAllocationFails) {
    auto ids = vrtest_ops::PackableAttributes();
    std::mt19937 rng(3);
    AS_SetHandle set = RandomSet(rng, ids, true);
    auto *w = static_cast<vrber::World *>(GENU_GetWorld());
    ASSERT_NE(w, nullptr);
    auto saved_alloc = w->alloc;
    auto saved_free = w->free;
    w->alloc = vrtest::FailMalloc;
    w->free = vrtest::FailFree;
    Status st;
    long points = vrtest::SweepFailures(
        [&] {
            ODP_BerModAttrSet *ber = nullptr;
            if (ToBER_ModOpAS(st.list, &ber, &set, ODP_AS_MODE_EXTENDED_ACL)) {
                EXPECT_EQ(ber, nullptr);
                return false;
            }
            FreeBER_ModOpAS(st.list, ber);
            return true;
        },
        [] {});
    w->alloc = saved_alloc;
    w->free = saved_free;
    EXPECT_GT(points, 3);
    AS_Destroy(st.list, &set);
}

// A dynamic identifier database registering kListAcl (content octets
// kForm) with the list-form access-control syntax.
const unsigned char kForm[] = {0x2a, 0x86, 0x48, 0x88, 0xfe, 0x61, 0x63, 0x08};
constexpr GENU_ShortOID kListAcl = 0x80000001u;
struct ListFormRegistry {
    std::string dir = testing::TempDir() + "/asconv-acl" + std::to_string(getpid());
    ListFormRegistry() {
        std::filesystem::create_directories(dir);
        VRBM_Db *h = VRBM_open((dir + "/oid_cvrt").c_str(), VRBM_RDWR | VRBM_CREAT, 0666, 0);
        std::string bin = std::string("\x06\x08", 2) + std::string(reinterpret_cast<const char *>(kForm), 8);
        for (auto [k, v] : {std::pair{"b-2147483649" + std::string(), bin + '\x55'}, {bin, std::string("2147483649")}})
            EXPECT_EQ(VRBM_store(h, k.data(), static_cast<int>(k.size()), v.data(), static_cast<int>(v.size()), 0), 0);
        VRBM_close(h);
        Status st;
        EXPECT_EQ(GENU_Init(st.list, dir.c_str(), 0), 0) << std::hex << st.code();
    }
    ~ListFormRegistry() {
        GENU_Term();
        std::filesystem::remove_all(dir);
    }
};

// A set received from a list-form peer holds extended entries; sending it
// on gives the peer's bytes back in every mode.
TEST(SetConversion, ReceivedListFormAccessControlGoesOutAsItCame) {
    ListFormRegistry registry;
    Status st;
    const struct {
        const char *name;
        int32_t type, level;
    } entries[] = {{"bob@host.example", 2, 1}, {"ops@office", 1, 3}, {"lp@<spool>", 3, 2}, {"CORP\\bob", 2, 1}, {"@", 0, 1}};
    std::vector<std::vector<unsigned char>> sent;
    std::vector<ODP_BerValueNode> nodes(std::size(entries));
    for (size_t i = 0; i < nodes.size(); ++i) {
        GEN_PSISAccessControlList v{};
        v.choice = 1;
        ASSERT_EQ(GENU_MakeEmbeddedSimpleName(st.list, &v.u.simple_name, entries[i].name, nullptr), 0);
        int32_t type = entries[i].type, level = entries[i].level;
        v.name_type = &type;
        v.privilege_level = &level;
        ASSERT_EQ(ODP_PackAV(st.list, 85, &v, &nodes[i].value), 0);
        sent.emplace_back(nodes[i].value.value, nodes[i].value.value + nodes[i].value.length);
        if (i) nodes[i - 1].next = &nodes[i];
    }
    ODP_BerAttrSet received{nullptr, {{sizeof kForm, kForm}, nodes.data()}};
    AS_SetHandle set = AS_nullSetHandle;
    ASSERT_EQ(ToGEN_AS(st.list, &received, &set), 0) << std::hex << st.code();
    for (auto &n : nodes) _GENU__MyFree(n.value.value);
    uint32_t type = 0;
    ASSERT_EQ(AS_GetAttrValType(st.list, set, kListAcl, &type), 0);
    EXPECT_EQ(type, 89u);
    // The same entries under the built-in attribute of the extended syntax
    // go in list form outside the extended mode only.
    GENU_ShortOID ext = 0;
    ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-access-control-list", &ext), 0);
    AS_ValueList values{};
    ASSERT_EQ(AS_GetAttrValList(st.list, set, kListAcl, &values, nullptr), 0);
    for (uint32_t i = 0; i < values.count; ++i)
        ASSERT_EQ(AS_AddAttrValM(st.list, set, ext, 89, values.values[i], &GENU_ExtACLDesc, nullptr), 0);
    GENU__CoveredFree(values.values);
    auto bytes = [](const ODP_BerValueNode *v) {
        std::vector<std::vector<unsigned char>> out;
        for (; v; v = v->next) out.emplace_back(v->value.value, v->value.value + v->value.length);
        return out;
    };
    for (int32_t mode : {ODP_AS_MODE_EXTENDED_ACL, 0}) {
        ODP_BerAttrSet *ber = nullptr;
        ASSERT_EQ(ToBER_AS(st.list, &ber, &set, mode), 0) << std::hex << st.code();
        EXPECT_EQ(bytes(ber->attribute.values), sent);
        ASSERT_NE(ber->next, nullptr);
        EXPECT_EQ(bytes(ber->next->attribute.values) == sent, mode != ODP_AS_MODE_EXTENDED_ACL);
        FreeBER_AS(st.list, ber);
    }
    AS_Destroy(st.list, &set);
}

} // namespace
