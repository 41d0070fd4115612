// Packing and unpacking values: edge cases, refusals, the fast reader, failing allocations.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "encoding/ber_values.h"
#include "encoding/value_conv.h"
#include "pack_sweep.h"
#include "random_value.h"
#include "status_list.h"

namespace {

using Status = vrtest::StatusList;
using Bytes = std::vector<unsigned char>;

Bytes Pack(uint32_t type, const void *value) {
    Status st;
    GENU_Buffer b{};
    EXPECT_EQ(ODP_PackAV(st, type, value, &b), 0) << type << std::hex << " " << st.Code();
    Bytes out(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    return out;
}

// Packs and unpacks; returns the new value (null on failure).
void *RoundTrip(uint32_t type, const void *value, GENU_ValueDescriptor *desc,
                Bytes *packed = nullptr) {
    Status st;
    Bytes b = Pack(type, value);
    void *out = nullptr;
    EXPECT_EQ(ODP_UnpackAV(st, static_cast<uint32_t>(b.size()), b.data(), type, &out, desc), 0)
        << type << std::hex << " " << st.Code();
    if (packed) *packed = b;
    return out;
}

void Release(void *v, const GENU_ValueDescriptor &d) { d.del(Status(), v, &genu_ossAllocator[0]); }

// Back equal (or, without a comparison rule, the same bytes) with its descriptor.
void ExpectRoundTrip(uint32_t type, const void *value, const std::string &what) {
    Status st;
    GENU_ValueDescriptor d{};
    Bytes first, again;
    void *back = RoundTrip(type, value, &d, &first);
    if (!back) return;
    EXPECT_TRUE(d.copy == GENU_AVT2Descriptor(type)->copy &&
                d.del == GENU_AVT2Descriptor(type)->del)
        << what;
    int32_t r = -2;
    bool compared = GEN_CompareAttrValue(st, type, value, back, &r) == 0;
    EXPECT_TRUE(compared ? !r : st.Code() == GEN_S_NOTSUPP) << what;
    Release(RoundTrip(type, back, &d, &again), d);
    EXPECT_EQ(again, first) << what;
    Release(back, d);
}

// A boolean is true only for 1; texts and names of every kind at their
// limits, with any bytes where counted; a code set travels as an identifier.
TEST(PackAV, BooleansTextsAndNamesAtTheirLimits) {
    for (GEN_Boolean b : {0, 1, 2, -1}) {
        GENU_ValueDescriptor d{};
        void *out = RoundTrip(0, &b, &d);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(*static_cast<GEN_Boolean *>(out), b == 1 ? 1 : 0);
        Release(out, d);
    }
    std::string longest(4095, 'q');
    unsigned char bytes[255];
    for (int i = 0; i < 255; ++i) bytes[i] = static_cast<unsigned char>(i * 7);
    GENU_ShortOID charset = 0;
    ASSERT_EQ(GENU_AsciiToShortOID(Status(), "id-att-job-name", &charset), 0);
    for (uint32_t type : {5u, 16u, 28u}) {
        for (int32_t kind = 2; kind <= 5; ++kind) {
            GEN_Text t{kind, {}, kind == 5 ? charset : 0};
            if (kind == 2)
                t.u.string = longest.data();
            else
                t.u.octets = GEN_OctetString{kind == 4 ? 0 : 255, kind == 4 ? nullptr : bytes};
            ExpectRoundTrip(type, &t,
                            "text " + std::to_string(type) + " kind " + std::to_string(kind));
        }
    }
    for (uint32_t type : {27u, 40u}) {
        for (int kind = 1; kind <= 5; ++kind) {
            GEN_SimpleName n{};
            n.kind = kind, n.charset = kind == 5 ? charset : 0;
            if (kind <= 2)
                memset(n.u.string, 'n', 255);
            else
                memcpy(n.u.counted.value, bytes,
                       n.u.counted.length = static_cast<uint16_t>(kind == 4 ? 0 : 255));
            ExpectRoundTrip(type, &n,
                            "name " + std::to_string(type) + " kind " + std::to_string(kind));
        }
    }
}

// Values and bytes the syntax refuses, with the syntax's own code.
TEST(PackAV, RefusedValuesFailWithTheSyntaxCode) {
    std::string over(4096, 'q');
    GEN_Text too_long{GEN_KIND_IRV, {}, 0}, no_kind{6, {}, 0};
    too_long.u.string = over.data();
    GEN_NameOrOID noid{3, {}};
    GEN_DomainDefinedAttrs ddas{5, {}};
    GEN_DeliveryAddress addr{}, with_ext{};
    addr.domain_defined_attrs = &ddas;
    // Extension attributes of the standard's types only.
    unsigned char null_value[] = {0x05, 0x00};
    GEN_ExtensionAttrs ext{nullptr, 24, {2, null_value}};
    with_ext.extension_attrs = &ext;
    GEN_Locale loc{};
    loc.language_length = 3;
    GENU_ShortOID no_id = 0;
    uint64_t junk[64] = {}; // of a syntax without a PDU
    const struct {
        uint32_t type;
        const void *value;
        uint32_t code;
    } packs[] = {{5, &too_long, 0xC00E00BDu},  {16, &too_long, 0xC00E00BDu},
                 {28, &too_long, 0xC00E00BDu}, {28, &no_kind, 0xC00E00BDu},
                 {18, &noid, 0xC00E009Bu},     {39, &addr, 0xC00E0079u},
                 {39, &with_ext, 0xC00E0079u}, {55, &loc, 0xC00E0094u},
                 {10, &no_id, 0xC00E00A5u},    {3, junk, GEN_S_NOTSUPP}};
    Status st;
    GENU_Buffer b{};
    for (const auto &c : packs) {
        EXPECT_EQ(st.Failed(ODP_PackAV(st, c.type, c.value, &b)), c.code) << c.type;
        EXPECT_EQ(b.value, nullptr);
    }
    ext.type = 23;
    ASSERT_EQ(ODP_PackAV(st, 39, &with_ext, &b), 0);
    _GENU__MyFree(b.value);
    // An empty list has no library form; an identifier in no table; no
    // bytes; bytes of another type; a syntax without a PDU.
    const struct {
        uint32_t type;
        Bytes in;
        uint32_t code;
    } unpacks[] = {{93, {0x30, 0x00}, 0xC00E00A1u},
                   {10, {0x06, 0x04, 0x2b, 0x7f, 0x7f, 0x01}, 0xC00E00C3u},
                   {1, {}, 0xC00E0071u},
                   {1, {0x04, 0x00}, 0xC00E0072u},
                   {3, {0x02, 0x01, 0x00}, GEN_S_NOTSUPP}};
    for (const auto &c : unpacks) {
        void *out = &b;
        GENU_ValueDescriptor d{};
        EXPECT_EQ(st.Failed(ODP_UnpackAV(st, static_cast<uint32_t>(c.in.size()), c.in.data(),
                                         c.type, &out, &d)),
                  c.code)
            << c.type;
        EXPECT_EQ(out, nullptr);
    }
}

// Unpacking's failure code (0 on success) and the value packed again; with `runtime`,
// by the runtime's decoder and the syntax's conversion instead.
std::pair<uint32_t, Bytes> Reading(uint32_t type, const Bytes &in, bool runtime) {
    Status st;
    alignas(16) unsigned char made[512] = {};
    void *value = made;
    GENU_ValueDescriptor d{};
    if (runtime) {
        int pdu = GENU_TypeToPDU(type);
        GENU_Buffer b{static_cast<uint32_t>(in.size()), const_cast<unsigned char *>(in.data())};
        void *ber = nullptr;
        if (GENU_OssDecode(nullptr, &pdu, &b, &ber)) return {GENU_S_DECODE, {}};
        int rc = vrcore::ber::SyntaxToGen(st, type, ber, made, &genu_ossAllocator[0]);
        GENU_OssFreePDU(nullptr, pdu, ber);
        if (rc) return {st.Code(), {}};
    } else if (ODP_UnpackAV(st, static_cast<uint32_t>(in.size()), in.data(), type, &value, &d)) {
        return {st.Code(), {}};
    }
    GENU_Buffer b{};
    Bytes again;
    if (!ODP_PackAV(st, type, value, &b)) again.assign(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    if (runtime)
        vrcore::ber::SyntaxFreeGen(st, type, made, &genu_ossAllocator[0]);
    else
        Release(value, d);
    return {0, again};
}

// Primitive syntaxes read every form as the runtime does: longer lengths, constructed,
// indefinite, trailing and missing bytes, other tags, padding, limits, the budget.
TEST(PackAV, FlatValuesReadEveryFormAsTheRuntimeDoes) {
    std::mt19937 rng(5);
    size_t accepted = 0;
    auto *world = static_cast<vrcore::ber::World *>(GENU_GetWorld());
    const size_t saved_budget = world->decode_budget;
    for (uint32_t type : {0u, 1u, 2u, 5u, 12u, 14u, 16u, 20u, 23u, 25u, 26u, 27u, 28u, 31u, 32u,
                          40u, 48u, 57u, 71u}) {
        for (int round = 0; round < 12; ++round) {
            vrtest::RandomValue v;
            ASSERT_TRUE(v.Fill(type, rng, round % 2)) << type;
            Bytes b = Pack(type, v.data());
            size_t at = b[1] < 0x80 ? 2 : 2 + (b[1] & 0x7f);
            unsigned char tag = b[0];
            Bytes content(b.begin() + static_cast<long>(at), b.end());
            // An element of tag t: 0 the shortest length, 1 indefinite, 2 two
            // length bytes.
            auto element = [](unsigned char t, const Bytes &c, int form = 0) {
                Bytes e = {t};
                if (form == 1 || (!form && c.size() < 128))
                    e.push_back(form ? 0x80 : static_cast<unsigned char>(c.size()));
                else
                    e.insert(e.end(), {0x82, static_cast<unsigned char>(c.size() >> 8),
                                       static_cast<unsigned char>(c.size())});
                e.insert(e.end(), c.begin(), c.end());
                if (form == 1) e.insert(e.end(), {0, 0});
                return e;
            };
            Bytes trailing = b, truncated(b.begin(), b.end() - 1), segment = element(0x04, content);
            trailing.push_back(0);
            std::vector<Bytes> forms = {b, trailing, truncated, Bytes{tag, 0x80}};
            for (int form : {0, 1})
                forms.push_back(element(static_cast<unsigned char>(tag | 0x20), segment, form));
            for (unsigned char lead : {0x00, 0xff}) {
                Bytes padded = content;
                padded.insert(padded.begin(), lead);
                forms.push_back(element(tag, padded));
            }
            forms.push_back(element(tag, content, 2));
            forms.push_back(element(tag ^ 0x01, content));
            for (size_t n : {31u, 32u, 255u, 256u, 4095u, 4096u})
                forms.push_back(element(tag, Bytes(n, '7')));
            // Also where the decode's allocation budget runs out.
            for (size_t budget : {saved_budget, size_t{300}}) {
                world->decode_budget = budget;
                for (size_t i = 0; i < forms.size(); ++i) {
                    auto fast = Reading(type, forms[i], false);
                    EXPECT_EQ(fast, Reading(type, forms[i], true))
                        << type << " form " << i << " budget " << budget;
                    accepted += !fast.first;
                }
                world->decode_budget = saved_budget;
            }
        }
    }
    EXPECT_GT(accepted, 500u);
}

TEST(PackAV, AllocationFailuresLeaveNothingBehind) {
    std::mt19937 rng(77);
    Status st;
    for (uint32_t type : {28u, 20u, 27u, 39u, 45u, 8u, 94u}) {
        // A value of some size, for several allocations.
        vrtest::RandomValue v;
        do {
            ASSERT_TRUE(v.Fill(type, rng));
        } while (Pack(type, v.data()).size() <= 60);
        vrtest::FailingContext failing;
        vrtest::SweepPackUnpack(st, type, v.data());
    }
}

} // namespace
