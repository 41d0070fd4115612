// Values of the structured syntaxes whose runtime structure is the library
// structure: random values round-trip to equal values, malformed or
// unconvertible ones fail with the syntax's code, and failing allocations
// leave nothing behind.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "encoding/ber_values.h"
#include "encoding/ber_world.h"
#include "encoding/codes.h"
#include "failalloc.h"
#include "pack_sweep.h"
#include "random_value.h"
#include "vrcore/genu.h"

namespace {

struct Status {
    STF_List *list = STF_CreateList(nullptr);
    ~Status() { STF_DeleteList(list); }
    uint32_t code() const { return STF_GetStatus(list); }
};

std::vector<uint32_t> StructuredSyntaxes() {
    std::vector<uint32_t> out;
    for (uint32_t type = 0; type < 95; ++type) {
        int pdu = GENU_TypeToPDU(type);
        if (pdu > 0 && vrber::ValuePduType(pdu)) out.push_back(type);
    }
    return out;
}

void Release(uint32_t type, void *v) {
    Status st;
    EXPECT_EQ(GENU_AVT2Descriptor(type)->del(st.list, v, &genu_ossAllocator[0]), 0) << type;
}

TEST(ValuePdus, EveryStructuredSyntaxRoundTripsToAnEqualValue) {
    auto types = StructuredSyntaxes();
    EXPECT_GE(types.size(), 36u);
    vrtest::RandomValues gen(5);
    Status st;
    std::vector<uint32_t> uncompared;
    for (uint32_t type : types) {
        for (int round = 0; round < 60; ++round) {
            void *v = gen.Make(GENU_TypeToPDU(type));
            GENU_Buffer b{};
            ASSERT_EQ(ODP_PackAV(st.list, type, v, &b), 0) << type << std::hex << " " << st.code();
            void *back = nullptr;
            GENU_ValueDescriptor d{};
            ASSERT_EQ(ODP_UnpackAV(st.list, b.length, b.value, type, &back, &d), 0) << type << std::hex << " "
                                                                                   << st.code();
            EXPECT_EQ(d.copy, GENU_AVT2Descriptor(type)->copy);
            EXPECT_EQ(d.del, GENU_AVT2Descriptor(type)->del);
            // Syntaxes without a comparison rule are held to the next check.
            int32_t r = -2;
            if (GEN_CompareAttrValue(st.list, type, v, back, &r) == 0) {
                if (r) {
                    std::string sent, got;
                    vrber::Print(*vrber::PduType(GENU_TypeToPDU(type)), v, sent);
                    vrber::Print(*vrber::PduType(GENU_TypeToPDU(type)), back, got);
                    ADD_FAILURE() << "syntax " << type << " round " << round << "\n" << sent << "\n" << got;
                }
            } else {
                EXPECT_EQ(st.code(), GEN_S_NOTSUPP) << type;
                if (round == 0) uncompared.push_back(type);
            }
            // The value and its copy pack to the same bytes.
            GENU_Buffer again{};
            ASSERT_EQ(ODP_PackAV(st.list, type, back, &again), 0);
            EXPECT_EQ(again.length, b.length);
            EXPECT_EQ(memcmp(again.value, b.value, b.length), 0) << type;
            _GENU__MyFree(again.value);
            _GENU__MyFree(b.value);
            Release(type, back);
            Release(type, v);
        }
    }
    std::string list;
    for (uint32_t t : uncompared) {
        list += ' ';
        list += std::to_string(t);
    }
    RecordProperty("compared_by_encoding", list);
}

TEST(ValuePdus, ExactlyTheSyntaxesWithoutPduFailBothWays) {
    const std::set<uint32_t> none = {3, 13, 17, 29, 30, 36, 37, 38, 41, 47, 50, 51, 52, 53, 54, 56, 58,
                                     59, 65, 66, 70, 73, 77, 78, 79, 80, 82, 83, 84};
    Status st;
    for (uint32_t type = 0; type < 100; ++type) {
        bool supported = type < 95 && !none.count(type);
        EXPECT_EQ(GENU_TypeToPDU(type) > 0, supported) << type;
        if (supported) continue;
        uint64_t junk[64] = {};
        GENU_Buffer b{};
        EXPECT_EQ(ODP_PackAV(st.list, type, junk, &b), 1);
        EXPECT_EQ(st.code(), GEN_S_NOTSUPP);
        void *out = &b;
        GENU_ValueDescriptor d{};
        EXPECT_EQ(ODP_UnpackAV(st.list, 2, reinterpret_cast<const unsigned char *>("\x05\x00"), type, &out, &d), 1);
        EXPECT_EQ(st.code(), GEN_S_NOTSUPP);
        EXPECT_EQ(out, nullptr);
    }
}

TEST(ValuePdus, IdentifiersAndCodeSetsTravelAsObjectIdentifiers) {
    Status st;
    GENU_ShortOID id = 0;
    ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-job-name", &id), 0);
    GENU_Buffer b{};
    ASSERT_EQ(ODP_PackAV(st.list, 10, &id, &b), 0);
    GENU_BerOID ber{};
    ASSERT_EQ(GENU_ShortToBerOID(st.list, id, &ber), 0);
    ASSERT_EQ(b.length, ber.length + 2);
    EXPECT_EQ(b.value[0], 0x06);
    EXPECT_EQ(memcmp(b.value + 2, ber.value, ber.length), 0);
    _GENU__MyFree(b.value);
    // No identifier, or one that is not known: the syntax's own codes.
    GENU_ShortOID none = 0;
    EXPECT_EQ(ODP_PackAV(st.list, 10, &none, &b), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_OID);
    EXPECT_EQ(b.value, nullptr);
    const unsigned char unknown[] = {0x06, 0x04, 0x2b, 0x7f, 0x7f, 0x01};
    void *out = nullptr;
    GENU_ValueDescriptor d{};
    EXPECT_EQ(ODP_UnpackAV(st.list, sizeof unknown, unknown, 10, &out, &d), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_BACK);
    EXPECT_EQ(out, nullptr);
    // A kind-5 text names its code set.
    GEN_Text t{};
    t.kind = 5;
    t.u.octets = {2, const_cast<unsigned char *>(reinterpret_cast<const unsigned char *>("hi"))};
    t.charset = id;
    ASSERT_EQ(ODP_PackAV(st.list, 28, &t, &b), 0) << std::hex << st.code();
    ASSERT_EQ(ODP_UnpackAV(st.list, b.length, b.value, 28, &out, &d), 0);
    EXPECT_EQ(static_cast<GEN_Text *>(out)->charset, id);
    _GENU__MyFree(b.value);
    d.del(st.list, out, &genu_ossAllocator[0]);
    GEN_SimpleName n{};
    n.kind = 5;
    n.charset = id;
    n.u.counted.length = 1;
    n.u.counted.value[0] = 'x';
    ASSERT_EQ(ODP_PackAV(st.list, 27, &n, &b), 0);
    ASSERT_EQ(ODP_UnpackAV(st.list, b.length, b.value, 27, &out, &d), 0);
    EXPECT_EQ(static_cast<GEN_SimpleName *>(out)->charset, id);
    _GENU__MyFree(b.value);
    d.del(st.list, out, &genu_ossAllocator[0]);
}

TEST(ValuePdus, BadValuesFailWithTheSyntaxCode) {
    Status st;
    GENU_Buffer b{};
    GEN_NameOrOID noid{};
    noid.choice = 3;
    EXPECT_EQ(ODP_PackAV(st.list, 18, &noid, &b), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_NAMEOROID);
    EXPECT_EQ(b.value, nullptr);
    GEN_DomainDefinedAttrs ddas{};
    ddas.count = 5;
    GEN_DeliveryAddress addr{};
    addr.domain_defined_attrs = &ddas;
    EXPECT_EQ(ODP_PackAV(st.list, 39, &addr, &b), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_DELIVERY);
    // Extension attributes of the standard's types only.
    unsigned char null_value[] = {0x05, 0x00};
    GEN_ExtensionAttrs ext{nullptr, 24, {2, null_value}};
    GEN_DeliveryAddress with_ext{};
    with_ext.extension_attrs = &ext;
    EXPECT_EQ(ODP_PackAV(st.list, 39, &with_ext, &b), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_DELIVERY);
    ext.type = 23;
    ASSERT_EQ(ODP_PackAV(st.list, 39, &with_ext, &b), 0);
    _GENU__MyFree(b.value);
    GEN_Locale loc{};
    loc.language_length = 3;
    EXPECT_EQ(ODP_PackAV(st.list, 55, &loc, &b), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_LOCALE);
    // An empty list has no library form.
    const unsigned char empty[] = {0x30, 0x00};
    void *out = &b;
    GENU_ValueDescriptor d{};
    EXPECT_EQ(ODP_UnpackAV(st.list, sizeof empty, empty, 93, &out, &d), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_OBJECTIDENT);
    EXPECT_EQ(out, nullptr);
}

TEST(ValuePdus, AllocationFailuresLeaveNothingBehind) {
    auto *w = static_cast<vrber::World *>(GENU_GetWorld());
    vrtest::RandomValues gen(77);
    Status st;
    for (uint32_t type : {39u, 45u, 8u, 94u}) {
        void *v = nullptr;
        do {
            if (v) Release(type, v);
            v = gen.Make(GENU_TypeToPDU(type));
            GENU_Buffer probe{};
            ASSERT_EQ(ODP_PackAV(st.list, type, v, &probe), 0);
            size_t n = probe.length;
            _GENU__MyFree(probe.value);
            if (n > 200) break;
        } while (true);
        auto saved_alloc = w->alloc;
        auto saved_free = w->free;
        w->alloc = vrtest::FailMalloc;
        w->free = vrtest::FailFree;
        vrtest::SweepPackUnpack(st.list, type, v);
        w->alloc = saved_alloc;
        w->free = saved_free;
        Release(type, v);
    }
}

} // namespace
