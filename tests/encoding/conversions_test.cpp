// The exported conversions of each syntax: ToBER_ encodes as ODP_PackAV does, ToGEN_
// reads decoded structures back into equal values, Free releases everything.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "encoding/ber_types.h"
#include "encoding/ber_values.h"
#include "random_value.h"
#include "status_list.h"
#include "vrcore/odp.h"

namespace {

struct Row {
    uint32_t type;
    const char *name;
    int (*to_ber)(STF_List *, void *, const void *);
    int (*free_ber)(STF_List *, void *);
    int (*to_gen)(STF_List *, const void *, void *, const GENU_Allocator *);
    int (*free_gen)(STF_List *, void *, const GENU_Allocator *);
    // An inner part (ROW's extra arguments): the member at `offset`, of
    // `size` bytes, of values of `type` whose choice is `choice`.
    int32_t choice = 0;
    size_t offset = 0, size = 0;
};

#define ROW(name, T, type, ...)                                                                    \
    Row {                                                                                          \
        type, #name,                                                                               \
            [](STF_List *s, void *b, const void *v) {                                              \
                return ToBER_##name(s, b, static_cast<const T *>(v));                              \
            },                                                                                     \
            [](STF_List *s, void *b) { return FreeBER_##name(s, b); },                             \
            [](STF_List *s, const void *b, void *v, const GENU_Allocator *a) {                     \
                return ToGEN_##name(s, b, static_cast<T *>(v), a);                                 \
            },                                                                                     \
            [](STF_List *s, void *v, const GENU_Allocator *a) {                                    \
                return FreeGEN_##name(s, static_cast<T *>(v), a);                                  \
            } __VA_OPT__(, __VA_ARGS__)                                                            \
    }
#define PART(name, T, type, Outer, which, member)                                                  \
    ROW(name, T, type, which, offsetof(Outer, member), sizeof(T))

// clang-format off
const std::vector<Row> kRows = {
    ROW(text, GEN_Text, 28), ROW(descriptor, GEN_Descriptor, 5), ROW(message, GEN_Message, 16),
    ROW(simpleName, GEN_SimpleName, 27), ROW(descriptiveName, GEN_DescriptiveName, 40),
    ROW(octetString, GEN_OctetString, 20), ROW(cardinalRange, GEN_CardinalRange, 2),
    ROW(cardinal64Range, GEN_Cardinal64Range, 32), ROW(jobId, GEN_JobIdentifier, 14),
    ROW(generalizedTime, GEN_GeneralizedTime, 48), ROW(mediumDimensions, GEN_MediumDimensions, 57),
    PART(docIdentifier, GEN_DocumentIdentifier, 64, GEN_ObjectIdent, GEN_OBJID_DOCUMENT_ID,
         u.document_id),
    PART(external, GEN_External, 7, GEN_DocumentContent, GEN_CONTENT_INCLUDED, u.included),
    ROW(distNameString, GEN_DistNameString, 6), ROW(docContent, GEN_DocumentContent, 7),
    ROW(EVHProfile, GEN_EventHandlingProfile, 8), ROW(fontReference, GEN_FontReference, 9),
    ROW(ignoredAttribute, GEN_IgnoredAttribute, 11), ROW(nameOrOid, GEN_NameOrOID, 18),
    ROW(numbersUpSupported, GEN_NumbersUpSupported, 19),
    ROW(oidCardinalMap, GEN_OidCardinalMap, 33), ROW(cardinalOrNoid, GEN_CardinalOrNoid, 34),
    ROW(cardinalOrOid, GEN_CardinalOrOid, 35), ROW(deliveryAddress, GEN_DeliveryAddress, 39),
    ROW(distNameStringSeq, GEN_DistNameStringSeq, 42), ROW(docFormat, GEN_DocumentFormat, 43),
    ROW(dor, GEN_FileReference, 45), ROW(finishing, GEN_Finishing, 46),
    ROW(inputTrayMedium, GEN_InputTrayMedium, 49), ROW(locale, GEN_Locale, 55),
    ROW(nameOrOidSeq, GEN_NameOrOidSeq, 60), ROW(newJobIdentifier, GEN_NewJobIdentifier, 61),
    ROW(objectIdent, GEN_ObjectIdent, 64), ROW(mediaSelect, GEN_MediaSelect, 67),
    ROW(pageSelectSeq, GEN_PageSelectSeq, 69), ROW(posIntOrOid, GEN_PosIntOrOid, 72),
    ROW(printCheckpoint, GEN_Checkpoint, 74), ROW(privileges, GEN_Privileges, 76),
    ROW(resultsProfile, GEN_ResultsProfile, 81), ROW(ACL, GEN_PSISAccessControlList, 85),
    ROW(rpcAddress, GEN_RPCAddress, 86), ROW(socketAddress, GEN_SocketAddress, 87),
    ROW(fastFilterDef, GEN_FastFilterDef, 88), ROW(ExtACL, GEN_ExtACL, 89),
    ROW(mediaConsumed, GEN_MediaConsumed, 90), ROW(mediaConsumedSeq, GEN_MediaConsumedSeq, 91),
    ROW(preprocessorDefinition, GEN_PreprocessorDefinition, 92),
    ROW(seqOfObjId, GEN_SeqOfObjId, 93), ROW(driverInfo, GEN_DriverInfo, 94)};
// clang-format on

using Status = vrtest::StatusList;

// The bytes of an encoding (rc 0) or of a packed value.
std::vector<unsigned char> Taken(int rc, const GENU_Buffer &b) {
    EXPECT_EQ(rc, 0);
    std::vector<unsigned char> out(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    return out;
}
std::vector<unsigned char> Encode(int pdu, const void *structure) {
    GENU_Buffer b{};
    return Taken(GENU_OssEncode(nullptr, pdu, structure, &b), b);
}
std::vector<unsigned char> Pack(uint32_t type, const void *value) {
    GENU_Buffer b{};
    return Taken(ODP_PackAV(Status(), type, value, &b), b);
}

// Random values, every other flat one reaching the edges.
TEST(Conversions, EverySyntaxBuildsWhatPackingEncodesAndReadsItBack) {
    vrtest::RandomValues gen(31);
    std::mt19937 rng(31);
    Status st;
    for (const Row &r : kRows) {
        int pdu = GENU_TypeToPDU(r.type);
        size_t size = GENU_PDUStructSize(pdu);
        ASSERT_GT(size, 0u) << r.name;
        const GENU_ValueDescriptor *desc = GENU_AVT2Descriptor(r.type);
        // A part stands in its value: the value's bytes around the part's.
        auto whole = [&](const void *value, const void *part) {
            auto *from = static_cast<const unsigned char *>(r.choice ? value : part);
            std::vector<unsigned char> w(from, from + size);
            if (r.choice) memcpy(w.data() + r.offset, part, r.size);
            return w;
        };
        for (int round = 0; round < 10; ++round) {
            void *made = vrcore::ber::ValuePduType(pdu) ? gen.Make(pdu) : nullptr;
            for (int tries = 0;
                 r.choice && *static_cast<int32_t *>(made) != r.choice && tries < 100; ++tries) {
                desc->del(st, made, &genu_ossAllocator[0]);
                made = gen.Make(pdu);
            }
            ASSERT_TRUE(!r.choice || *static_cast<int32_t *>(made) == r.choice) << r.name;
            vrtest::RandomValue random;
            ASSERT_TRUE(made || random.Fill(r.type, rng, round % 2)) << r.name;
            const void *v = made ? made : random.data();
            const void *part = static_cast<const unsigned char *>(v) + r.offset;
            auto packed = Pack(r.type, v);
            std::vector<unsigned char> ber(r.choice ? r.size : size);
            ASSERT_EQ(r.to_ber(st, ber.data(), part), 0) << r.name << std::hex << " " << st.Code();
            EXPECT_EQ(Encode(pdu, whole(v, ber.data()).data()), packed) << r.name;
            // From ToBER_'s structure, and from a decoded one, which stays unchanged (with
            // room for a list's first node, larger than its runtime structure).
            alignas(16) static unsigned char back[4096];
            memset(back, 0, sizeof back);
            ASSERT_EQ(r.to_gen(st, ber.data(), back, nullptr), 0) << r.name;
            EXPECT_EQ(Pack(r.type, r.choice ? whole(v, back).data() : back), packed) << r.name;
            EXPECT_EQ(r.free_gen(st, back, nullptr), 0);
            EXPECT_EQ(r.free_ber(st, ber.data()), 0);
            int p = pdu;
            GENU_Buffer in{static_cast<uint32_t>(packed.size()), packed.data()};
            void *decoded = nullptr;
            ASSERT_EQ(GENU_OssDecode(nullptr, &p, &in, &decoded), 0);
            ASSERT_EQ(r.to_gen(st, static_cast<unsigned char *>(decoded) + r.offset, back,
                               &genu_ossAllocator[1]),
                      0)
                << r.name;
            EXPECT_EQ(Encode(pdu, decoded), packed) << r.name;
            int32_t cmp = 0; // syntaxes without a comparison rule: the bytes above
            EXPECT_TRUE(GEN_CompareAttrValue(st, r.type, v, r.choice ? whole(v, back).data() : back,
                                             &cmp) ||
                        !cmp)
                << r.name;
            EXPECT_EQ(r.free_gen(st, back, &genu_ossAllocator[1]), 0);
            GENU_OssFreePDU(nullptr, pdu, decoded);
            if (made) desc->del(st, made, &genu_ossAllocator[0]);
        }
        EXPECT_EQ(st.Failed(r.to_ber(st, nullptr, nullptr)), GEN_S_INVALID);
        EXPECT_EQ(st.Failed(r.to_gen(st, nullptr, nullptr, nullptr)), GEN_S_INVALID);
    }
}

// A list context outlives its value; counted texts hold their octets in place and
// read them back into a block of their own (none when empty).
TEST(Conversions, ListContextsAndCountedTexts) {
    Status st;
    std::vector<unsigned char> ber(GENU_PDUStructSize(GENU_TypeToPDU(28)));
    unsigned char bytes[] = {9, 8, 7};
    GEN_OctetString o{3, bytes}, ob{};
    GENU_Buffer context{};
    ASSERT_EQ(ToBER_listContext(st, &context, &o), 0);
    bytes[0] = 1;
    ASSERT_EQ(ToGEN_listContext(st, &context, &ob, nullptr), 0);
    EXPECT_TRUE(ob.length == 3 && !memcmp(ob.value, "\x09\x08\x07", 3));
    EXPECT_EQ(FreeGEN_listContext(st, &ob, nullptr), 0);
    EXPECT_EQ(FreeBER_listContext(st, &context), 0);
    o.length = -1;
    EXPECT_EQ(st.Failed(ToBER_listContext(st, &context, &o)), 0xC00E0076u);

    auto *held = &reinterpret_cast<vrcore::ber::BerText *>(ber.data())->u.octets;
    for (int32_t length : {3, 0}) {
        GEN_Text counted{GEN_KIND_OCTETS, {}, 0};
        counted.u.octets = GEN_OctetString{length, bytes};
        ASSERT_EQ(ToBER_text(st, ber.data(), &counted), 0);
        ASSERT_EQ(ToGEN_stringFromEmbOctet(st, held, &ob, nullptr), 0);
        EXPECT_TRUE(ob.length == length && (length ? !memcmp(ob.value, bytes, 3) : !ob.value))
            << length;
        FreeGEN_octetString(st, &ob, nullptr);
    }
    held->length = 4096;
    EXPECT_EQ(st.Failed(ToGEN_stringFromEmbOctet(st, held, &ob, nullptr)), GEN_S_INVALID);
}

} // namespace
