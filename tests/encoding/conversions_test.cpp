// The exported conversions of each syntax: what ToBER_ builds encodes to
// the bytes ODP_PackAV produces, ToGEN_ reads decoded structures back into
// equal values without changing them, the Free routines release
// everything (the sanitizer build checks), and bad arguments are refused.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "encoding/ber_types.h"
#include "encoding/codes.h"
#include "random_value.h"
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

#define ROW(name, T, type, ...)                                                                             \
    Row {                                                                                                   \
        type, #name, [](STF_List *s, void *b, const void *v) { return ToBER_##name(s, b, static_cast<const T *>(v)); }, \
            [](STF_List *s, void *b) { return FreeBER_##name(s, b); },                                      \
            [](STF_List *s, const void *b, void *v, const GENU_Allocator *a) {                              \
                return ToGEN_##name(s, b, static_cast<T *>(v), a);                                          \
            },                                                                                              \
            [](STF_List *s, void *v, const GENU_Allocator *a) { return FreeGEN_##name(s, static_cast<T *>(v), a); } \
            __VA_OPT__(, __VA_ARGS__)                                                                       \
    }
#define PART(name, T, type, Outer, which, member) ROW(name, T, type, which, offsetof(Outer, member), sizeof(T))

const std::vector<Row> kStructured = {
    PART(docIdentifier, GEN_DocumentIdentifier, 64, GEN_ObjectIdent, GEN_OBJID_DOCUMENT_ID, u.document_id),
    PART(external, GEN_External, 7, GEN_DocumentContent, GEN_CONTENT_INCLUDED, u.included),
    ROW(distNameString, GEN_DistNameString, 6), ROW(docContent, GEN_DocumentContent, 7),
    ROW(EVHProfile, GEN_EventHandlingProfile, 8), ROW(fontReference, GEN_FontReference, 9),
    ROW(ignoredAttribute, GEN_IgnoredAttribute, 11), ROW(nameOrOid, GEN_NameOrOID, 18),
    ROW(numbersUpSupported, GEN_NumbersUpSupported, 19), ROW(oidCardinalMap, GEN_OidCardinalMap, 33),
    ROW(cardinalOrNoid, GEN_CardinalOrNoid, 34), ROW(cardinalOrOid, GEN_CardinalOrOid, 35),
    ROW(deliveryAddress, GEN_DeliveryAddress, 39), ROW(distNameStringSeq, GEN_DistNameStringSeq, 42),
    ROW(docFormat, GEN_DocumentFormat, 43), ROW(dor, GEN_FileReference, 45), ROW(finishing, GEN_Finishing, 46),
    ROW(inputTrayMedium, GEN_InputTrayMedium, 49), ROW(locale, GEN_Locale, 55),
    ROW(nameOrOidSeq, GEN_NameOrOidSeq, 60), ROW(newJobIdentifier, GEN_NewJobIdentifier, 61),
    ROW(objectIdent, GEN_ObjectIdent, 64), ROW(mediaSelect, GEN_MediaSelect, 67),
    ROW(pageSelectSeq, GEN_PageSelectSeq, 69), ROW(posIntOrOid, GEN_PosIntOrOid, 72),
    ROW(printCheckpoint, GEN_Checkpoint, 74), ROW(privileges, GEN_Privileges, 76),
    ROW(resultsProfile, GEN_ResultsProfile, 81), ROW(ACL, GEN_PSISAccessControlList, 85),
    ROW(rpcAddress, GEN_RPCAddress, 86), ROW(socketAddress, GEN_SocketAddress, 87),
    ROW(fastFilterDef, GEN_FastFilterDef, 88), ROW(ExtACL, GEN_ExtACL, 89), ROW(mediaConsumed, GEN_MediaConsumed, 90),
    ROW(mediaConsumedSeq, GEN_MediaConsumedSeq, 91), ROW(preprocessorDefinition, GEN_PreprocessorDefinition, 92),
    ROW(seqOfObjId, GEN_SeqOfObjId, 93), ROW(driverInfo, GEN_DriverInfo, 94),
};

struct Status {
    STF_List *list = STF_CreateList(nullptr);
    ~Status() { STF_DeleteList(list); }
    uint32_t code() const { return STF_GetStatus(list); }
};

std::vector<unsigned char> Encode(int pdu, const void *structure) {
    GENU_Buffer b{};
    EXPECT_EQ(GENU_OssEncode(nullptr, pdu, structure, &b), 0) << pdu;
    std::vector<unsigned char> out(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    return out;
}

std::vector<unsigned char> Pack(uint32_t type, const void *value) {
    Status st;
    GENU_Buffer b{};
    EXPECT_EQ(ODP_PackAV(st.list, type, value, &b), 0) << type;
    std::vector<unsigned char> out(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    return out;
}

TEST(Conversions, StructuredSyntaxesBuildWhatPackingEncodesAndReadItBack) {
    vrtest::RandomValues gen(31);
    Status st;
    EXPECT_EQ(kStructured.size(), 38u);
    for (const Row &r : kStructured) {
        int pdu = GENU_TypeToPDU(r.type);
        size_t size = GENU_PDUStructSize(pdu);
        ASSERT_GT(size, 0u) << r.name;
        const GENU_ValueDescriptor *desc = GENU_AVT2Descriptor(r.type);
        // A part stands in its value: the value's bytes around the part's.
        auto whole = [&](const void *value, const void *part) {
            std::vector<unsigned char> w(static_cast<const unsigned char *>(value),
                                         static_cast<const unsigned char *>(value) + size);
            memcpy(w.data() + r.offset, part, r.choice ? r.size : size);
            return w;
        };
        for (int round = 0; round < 10; ++round) {
            void *v = gen.Make(pdu);
            for (int tries = 0; r.choice && *static_cast<int32_t *>(v) != r.choice && tries < 100; ++tries) {
                desc->del(st.list, v, &genu_ossAllocator[0]);
                v = gen.Make(pdu);
            }
            ASSERT_TRUE(!r.choice || *static_cast<int32_t *>(v) == r.choice) << r.name;
            const void *part = static_cast<unsigned char *>(v) + r.offset;
            auto packed = Pack(r.type, v);
            std::vector<unsigned char> ber(r.choice ? r.size : size);
            ASSERT_EQ(r.to_ber(st.list, ber.data(), part), 0) << r.name << std::hex << " " << st.code();
            EXPECT_EQ(Encode(pdu, whole(v, ber.data()).data()), packed) << r.name;
            // From what ToBER_ built, and from a decoded structure, which
            // stays as it was.
            // Room for the library structure (a list's first node is
            // larger than its runtime structure).
            alignas(16) static unsigned char back[4096];
            memset(back, 0, sizeof back);
            ASSERT_EQ(r.to_gen(st.list, ber.data(), back, nullptr), 0) << r.name;
            EXPECT_EQ(Pack(r.type, r.choice ? whole(v, back).data() : back), packed) << r.name;
            EXPECT_EQ(r.free_gen(st.list, back, nullptr), 0);
            EXPECT_EQ(r.free_ber(st.list, ber.data()), 0);
            int p = pdu;
            GENU_Buffer in{static_cast<uint32_t>(packed.size()), packed.data()};
            void *decoded = nullptr;
            ASSERT_EQ(GENU_OssDecode(nullptr, &p, &in, &decoded), 0);
            ASSERT_EQ(r.to_gen(st.list, static_cast<unsigned char *>(decoded) + r.offset, back, &genu_ossAllocator[1]), 0)
                << r.name;
            EXPECT_EQ(Encode(pdu, decoded), packed) << r.name;
            int32_t cmp = -2;
            if (GEN_CompareAttrValue(st.list, r.type, v, r.choice ? whole(v, back).data() : back, &cmp) == 0) {
                EXPECT_EQ(cmp, 0) << r.name;
            }
            EXPECT_EQ(r.free_gen(st.list, back, &genu_ossAllocator[1]), 0);
            GENU_OssFreePDU(nullptr, pdu, decoded);
            desc->del(st.list, v, &genu_ossAllocator[0]);
        }
        EXPECT_EQ(r.to_ber(st.list, nullptr, nullptr), 1);
        EXPECT_EQ(st.code(), GEN_S_INVALID);
        EXPECT_EQ(r.to_gen(st.list, nullptr, nullptr, nullptr), 1);
        EXPECT_EQ(st.code(), GEN_S_INVALID);
    }
}

TEST(Conversions, BadStructuredValuesFailWithTheirCodes) {
    Status st;
    GEN_NameOrOID bad{};
    bad.choice = 7;
    unsigned char ber[sizeof(GEN_NameOrOID)];
    EXPECT_EQ(ToBER_nameOrOid(st.list, ber, &bad), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_NAMEOROID);
    // An empty list cannot be read back into a list value.
    void *empty = nullptr;
    GEN_SeqOfObjId first{};
    EXPECT_EQ(ToGEN_seqOfObjId(st.list, &empty, &first, nullptr), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_OBJECTIDENT);
    EXPECT_EQ(ToBER_text(nullptr, ber, nullptr), 1);
    GENU_BerOID none{3, reinterpret_cast<const unsigned char *>("\x2b\x7f\x7f")};
    GENU_ShortOID id = 5;
    EXPECT_EQ(ToGEN_oid(st.list, &none, &id), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_BACK);
}

TEST(Conversions, TextsNamesAndOctetsUseTheRuntimesOwnStructures) {
    Status st;
    std::vector<unsigned char> ber(GENU_PDUStructSize(GENU_TypeToPDU(28)));
    GEN_Text t{};
    t.kind = GEN_KIND_STRING;
    t.u.string = const_cast<char *>("a text");
    ASSERT_EQ(ToBER_text(st.list, ber.data(), &t), 0);
    EXPECT_EQ(Encode(GENU_TypeToPDU(28), ber.data()), Pack(28, &t));
    GEN_Text back{};
    ASSERT_EQ(ToGEN_text(st.list, ber.data(), &back, nullptr), 0);
    EXPECT_STREQ(back.u.string, "a text");
    EXPECT_EQ(FreeGEN_text(st.list, &back, nullptr), 0);
    EXPECT_EQ(back.u.string, nullptr);
    EXPECT_EQ(FreeBER_text(st.list, ber.data()), 0);
    std::string over(4096, 'x');
    t.u.string = over.data();
    EXPECT_EQ(ToBER_text(st.list, ber.data(), &t), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_TEXT);

    GEN_SimpleName n{};
    n.kind = GEN_KIND_OCTETS;
    n.u.counted.length = 3;
    memcpy(n.u.counted.value, "\x00\x01\x02", 3);
    ber.assign(GENU_PDUStructSize(GENU_TypeToPDU(27)), 0);
    ASSERT_EQ(ToBER_simpleName(st.list, ber.data(), &n), 0);
    GEN_SimpleName nb{};
    ASSERT_EQ(ToGEN_simpleName(st.list, ber.data(), &nb, nullptr), 0);
    EXPECT_EQ(memcmp(&nb, &n, sizeof n), 0);

    unsigned char bytes[] = {9, 8, 7};
    GEN_OctetString o{3, bytes};
    ber.assign(GENU_PDUStructSize(GENU_TypeToPDU(20)), 0);
    ASSERT_EQ(ToBER_octetString(st.list, ber.data(), &o), 0);
    GEN_OctetString ob{};
    ASSERT_EQ(ToGEN_octetString(st.list, ber.data(), &ob, &genu_ossAllocator[0]), 0);
    ASSERT_EQ(ob.length, 3);
    EXPECT_EQ(memcmp(ob.value, bytes, 3), 0);
    EXPECT_EQ(FreeGEN_octetString(st.list, &ob, &genu_ossAllocator[0]), 0);
    EXPECT_EQ(FreeBER_octetString(st.list, ber.data()), 0);
    EXPECT_EQ(bytes[0], 9); // borrowed, not released

    // A list context is copied, so it outlives the value it came from.
    GENU_Buffer context{};
    ASSERT_EQ(ToBER_listContext(st.list, &context, &o), 0);
    bytes[0] = 1;
    ASSERT_EQ(ToGEN_listContext(st.list, &context, &ob, nullptr), 0);
    EXPECT_TRUE(ob.length == 3 && !memcmp(ob.value, "\x09\x08\x07", 3));
    EXPECT_EQ(FreeGEN_listContext(st.list, &ob, nullptr), 0);
    EXPECT_EQ(FreeBER_listContext(st.list, &context), 0);
    o.length = -1;
    EXPECT_EQ(ToBER_listContext(st.list, &context, &o), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_LISTCONTEXT);

    // Counted texts hold their octets in place and read them back into a
    // block of their own (none when empty); at most 4095.
    ber.assign(GENU_PDUStructSize(GENU_TypeToPDU(28)), 0);
    auto *held = &reinterpret_cast<vrber::BerText *>(ber.data())->u.octets;
    for (int32_t length : {3, 0}) {
        GEN_Text counted{GEN_KIND_OCTETS, {}, 0};
        counted.u.octets = GEN_OctetString{length, bytes};
        ASSERT_EQ(ToBER_text(st.list, ber.data(), &counted), 0);
        ASSERT_EQ(ToGEN_stringFromEmbOctet(st.list, held, &ob, nullptr), 0);
        EXPECT_TRUE(ob.length == length && (length ? !memcmp(ob.value, bytes, 3) : !ob.value)) << length;
        FreeGEN_octetString(st.list, &ob, nullptr);
    }
    held->length = 4096;
    EXPECT_EQ(ToGEN_stringFromEmbOctet(st.list, held, &ob, nullptr), 1);
    EXPECT_EQ(st.code(), GEN_S_INVALID);
}

} // namespace
