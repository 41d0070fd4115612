// The peer codec decodes and re-encodes what vrcore produces, and vrcore reads it back.
#include <cstring>
#include <ctime>
#include <random>

#include "../operations/ops_samples.h"
#include "encoding/ber_ops.h"
#include "encoding/ber_world.h"
#include "interop_peer.h"

namespace {

using interop::Bytes;

// clang-format off
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
// clang-format on
// clang-format off
#define OPERATION_TYPES(X)                                                                                           \
    X(AttrSet) X(ModAttrSet) X(Attr) X(SingleValueAttr) X(AccessError) X(AttributeError) X(DocumentAccessError)     \
    X(PrinterError) X(SecurityError) X(SelectionError) X(ServiceError) X(UpdateError) X(CancelJobArgument)          \
    X(ControlArgument) X(CreateArgument) X(CreateResult) X(InterruptJobArgument) X(InterruptJobResult)              \
    X(ListArgument) X(ListResult) X(ModifyJobArgument) X(ObjectOperationArgument) X(ObjectOperationResult)          \
    X(PauseJobArgument) X(PauseJobResult) X(PauseResult) X(PrintArgument) X(PrintResult) X(PromoteJobArgument)      \
    X(ResubmitJobArgument) X(ResubmitJobResult) X(ResumeJobArgument) X(SendEventArgument) X(SetArgument)            \
    X(ShutdownArgument)
// clang-format on
#define PEER_TYPES(X) VALUE_TYPES(X) OPERATION_TYPES(X)
INTEROP_PEER_MAP(PEER_TYPES)

// Milliseconds since 1970 in UTC.
int64_t Instant(const GEN_GeneralizedTime &t) {
    tm parts{t.second, t.minute, t.hour, t.day, t.month - 1, t.utc ? t.year : t.year - 1900,
             0,        0,        0,      0,     nullptr};
    return (static_cast<int64_t>(timegm(&parts)) + (t.utc ? 0 : t.mindiff * 60)) * 1000 +
           t.millisecond;
}

TEST(Interop, PeerDecodesAndReencodesEveryValuePdu) {
    std::mt19937 rng(20261206);
    vrtest::StatusList st;
    auto table = interop::ReadTable("pdus.txt");
    ASSERT_EQ(table.size(), vrcore::ber::PduCount());
    for (const auto &[pdu, words] : table) {
        const std::string &type = words.at(0);
        const auto syntax = static_cast<uint32_t>(std::stoul(words.at(1)));
        ASSERT_NE(vrcore::ber::PduType(pdu), nullptr) << pdu;
        EXPECT_EQ(GENU_TypeToPDU(syntax), pdu) << type;
        ASSERT_TRUE(kPeer.count(type)) << type;
        for (int round = 0; round < 40; ++round) {
            vrtest::RandomValue v;
            ASSERT_TRUE(v.Fill(syntax, rng, true)) << type;
            GENU_Buffer ours{};
            ASSERT_EQ(ODP_PackAV(st, syntax, v.data(), &ours), 0)
                << type << std::hex << " " << st.Code();
            Bytes theirs = interop::PeerReencode(kPeer.at(type), ours.value, ours.length, type);
            // Unpacked and packed again, the peer's bytes are ours.
            void *back = nullptr;
            GENU_ValueDescriptor d{};
            ASSERT_EQ(ODP_UnpackAV(st, static_cast<uint32_t>(theirs.size()), theirs.data(), syntax,
                                   &back, &d),
                      0)
                << type;
            GENU_Buffer again{};
            ASSERT_EQ(ODP_PackAV(st, syntax, back, &again), 0) << type;
            if (syntax == 48) {
                // The peer's canonical form states the same instant in UTC.
                EXPECT_EQ(Instant(*static_cast<GEN_GeneralizedTime *>(back)),
                          Instant(*static_cast<const GEN_GeneralizedTime *>(v.data())));
            } else {
                EXPECT_EQ(Bytes(again.value, again.value + again.length),
                          Bytes(ours.value, ours.value + ours.length))
                    << type;
            }
            int32_t cmp = -2;
            if (v.made && GEN_CompareAttrValue(st, syntax, v.made, back, &cmp) == 0) {
                EXPECT_EQ(cmp, 0) << type;
            }
            d.del(st, back, &genu_ossAllocator[0]);
            _GENU__MyFree(ours.value);
            _GENU__MyFree(again.value);
        }
    }
}

TEST(InteropOps, PeerDecodesAndReencodesEveryOperationPdu) {
    std::mt19937 rng(1206);
    std::vector<vrtest_ops::Sample> samples;
    ASSERT_TRUE(vrtest_ops::Samples(rng, 25, samples));
    std::map<int, int> seen;
    auto rows = interop::ReadTable("operations_pdus.txt");
    ASSERT_EQ(rows.size(), vrcore::ber::OpsPduCount());
    for (const auto &s : samples) {
        const std::string &name = rows.at(s.pdu).at(0);
        interop::Bytes theirs =
            interop::PeerReencode(kPeer.at(name), s.bytes.data(), s.bytes.size(), name);
        EXPECT_EQ(theirs, s.bytes) << name;
        ++seen[s.pdu];
    }
    for (size_t i = 0; i < vrcore::ber::OpsPduCount(); ++i) {
        int pdu = vrcore::ber::OpsPduAt(i);
        ASSERT_TRUE(rows.count(pdu)) << pdu;
        EXPECT_STREQ(vrcore::ber::OpsPduName(pdu), rows[pdu].at(0).c_str()) << pdu;
        EXPECT_TRUE(kPeer.count(rows[pdu][0])) << pdu;
        // Errors naming an object need the object identification syntax.
        bool needs_objects = pdu >= ERDPA_PDU_ACCESS && pdu <= ERDPA_PDU_UPDATE &&
                             pdu != ERDPA_PDU_SECURITY && pdu != ERDPA_PDU_ATTRIBUTE;
        if (needs_objects && !vrtest_ops::ObjectsPack()) continue;
        EXPECT_GT(seen[pdu], 0) << "no sample of PDU " << pdu;
    }
}

} // namespace
