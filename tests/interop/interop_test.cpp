// Every encoding vrcore produces is decoded by the asn1c-generated codec,
// re-encoded there, and decoded again by vrcore into the same value (the
// same canonical encoding). The PDUs are those of asn/pdus.txt, which
// must agree with the control table.
#include <cstring>
#include <random>

#include "encoding/ber_world.h"
#include "interop_peer.h"
#include "random_value.h"
#include "vrcore/genu.h"

namespace {

using interop::Bytes;

#define VALUE_TYPES(X)                                                                                               \
    X(Boolean) X(OctetString) X(Time) X(Text) X(DescriptiveName) X(Descriptor) X(Message) X(SimpleName)             \
    X(DeltaTime) X(Integer) X(Cardinal) X(PositiveInteger) X(CardinalRange) X(MaximumInteger) X(MediumDimensions)   \
    X(Cardinal64) X(Cardinal64Range) X(Real) X(NonNegativeReal) X(RealRange) X(NonNegativeRealRange) X(Percent)     \
    X(Realization) X(Edge) X(Priority) X(JobIdentifier) X(Sides) X(PageOrderType) X(PageIdType) X(DistNameString)   \
    X(DistNameStringSeq) X(Identifier) X(NameOrOid) X(NameOrOidSeq) X(FontReference) X(CardinalOrOid)              \
    X(OidCardinalMap) X(CardinalOrNoid) X(PosIntOrOid) X(RPCAddress) X(DeliveryAddress) X(EventHandlingProfile)     \
    X(Privileges) X(Locale) X(ResultsProfile) X(PrintCheckpoint) X(NewJobIdentifier) X(MediaSelect)                 \
    X(DocumentFormat) X(DocumentContent) X(InputTrayMedium) X(NumbersUpSupported) X(Finishing)                      \
    X(ObjectIdentification) X(FastFilterDef) X(FileReference) X(PageSelectSeq) X(MediaConsumed) X(MediaConsumedSeq) \
    X(PreprocessorDefinition) X(SequenceOfObjectIdentifier) X(DriverInfo) X(PSISAccessControlList) X(ExtACL)        \
    X(SocketAddress) X(IgnoredAttribute)
INTEROP_PEER_MAP(VALUE_TYPES)

struct Row {
    int pdu;
    std::string type;
    uint32_t syntax;
};

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (const auto &w : interop::ReadTable("pdus.txt"))
        rows.push_back({std::stoi(w.at(0)), w.at(1), static_cast<uint32_t>(std::stoul(w.at(2)))});
    return rows;
}

// Milliseconds since 1970 in UTC.
int64_t Instant(const GEN_GeneralizedTime &t) {
    int64_t y = t.utc ? t.year + 1900 : t.year, m = t.month, d = t.day;
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400, yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    int64_t secs = days * 86400 + t.hour * 3600 + t.minute * 60 + t.second + (t.utc ? 0 : t.mindiff * 60);
    return secs * 1000 + t.millisecond;
}

TEST(Interop, PeerDecodesAndReencodesEveryValuePdu) {
    std::mt19937 rng(20261206);
    STF_List *st = STF_CreateList(nullptr);
    auto rows = Rows();
    ASSERT_EQ(rows.size(), vrber::PduCount());
    for (const Row &r : rows) {
        ASSERT_NE(vrber::PduType(r.pdu), nullptr) << r.pdu;
        EXPECT_EQ(GENU_TypeToPDU(r.syntax), r.pdu) << r.type;
        ASSERT_TRUE(kPeer.count(r.type)) << r.type;
        for (int round = 0; round < 40; ++round) {
            vrtest::RandomValue v;
            ASSERT_TRUE(v.Fill(r.syntax, rng, true)) << r.type;
            GENU_Buffer ours{};
            ASSERT_EQ(ODP_PackAV(st, r.syntax, v.data(), &ours), 0) << r.type << std::hex << " " << STF_GetStatus(st);
            Bytes theirs = interop::PeerReencode(kPeer.at(r.type), ours.value, ours.length, r.type);
            // vrcore decodes the peer's bytes into the same value: the same
            // canonical encoding once unpacked and packed again.
            void *back = nullptr;
            GENU_ValueDescriptor d{};
            ASSERT_EQ(ODP_UnpackAV(st, static_cast<uint32_t>(theirs.size()), theirs.data(), r.syntax, &back, &d), 0)
                << r.type;
            GENU_Buffer again{};
            ASSERT_EQ(ODP_PackAV(st, r.syntax, back, &again), 0) << r.type;
            if (r.syntax == 48) {
                // The peer's canonical form states the same instant in UTC.
                EXPECT_EQ(Instant(*static_cast<GEN_GeneralizedTime *>(back)),
                          Instant(*static_cast<const GEN_GeneralizedTime *>(v.data())));
            } else {
                ASSERT_EQ(again.length, ours.length) << r.type;
                EXPECT_EQ(memcmp(again.value, ours.value, ours.length), 0) << r.type;
            }
            int32_t cmp = -2;
            if (v.made && GEN_CompareAttrValue(st, r.syntax, v.made, back, &cmp) == 0) {
                EXPECT_EQ(cmp, 0) << r.type;
            }
            d.del(st, back, &genu_ossAllocator[0]);
            _GENU__MyFree(ours.value);
            _GENU__MyFree(again.value);
        }
    }
    STF_DeleteList(st);
}

} // namespace
