// Every encoding vrcore produces is decoded by the asn1c-generated codec
// and re-encoded there: the value PDUs of asn/pdus.txt come back to the
// same value, the attribute-set, operation and error PDUs of
// asn/operations_pdus.txt to the same bytes, and vrcore decodes what the
// peer wrote. Both tables must agree with the control tables.
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

// The rows of a table by PDU number: the type's name, and for values the
// syntax.
std::map<int, std::vector<std::string>> Rows(const char *table) {
    std::map<int, std::vector<std::string>> rows;
    for (const auto &w : interop::ReadTable(table))
        rows[std::stoi(w.at(0))] = {w.begin() + 1, w.end()};
    return rows;
}

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
    auto table = Rows("pdus.txt");
    ASSERT_EQ(table.size(), vrcore::ber::PduCount());
    for (const auto &[pdu, words] : table) {
        const struct {
            int pdu;
            std::string type;
            uint32_t syntax;
        } r{pdu, words.at(0), static_cast<uint32_t>(std::stoul(words.at(1)))};
        ASSERT_NE(vrcore::ber::PduType(r.pdu), nullptr) << r.pdu;
        EXPECT_EQ(GENU_TypeToPDU(r.syntax), r.pdu) << r.type;
        ASSERT_TRUE(kPeer.count(r.type)) << r.type;
        for (int round = 0; round < 40; ++round) {
            vrtest::RandomValue v;
            ASSERT_TRUE(v.Fill(r.syntax, rng, true)) << r.type;
            GENU_Buffer ours{};
            ASSERT_EQ(ODP_PackAV(st, r.syntax, v.data(), &ours), 0)
                << r.type << std::hex << " " << st.Code();
            Bytes theirs = interop::PeerReencode(kPeer.at(r.type), ours.value, ours.length, r.type);
            // vrcore decodes the peer's bytes into the same value: the same
            // canonical encoding once unpacked and packed again.
            void *back = nullptr;
            GENU_ValueDescriptor d{};
            ASSERT_EQ(ODP_UnpackAV(st, static_cast<uint32_t>(theirs.size()), theirs.data(),
                                   r.syntax, &back, &d),
                      0)
                << r.type;
            GENU_Buffer again{};
            ASSERT_EQ(ODP_PackAV(st, r.syntax, back, &again), 0) << r.type;
            if (r.syntax == 48) {
                // The peer's canonical form states the same instant in UTC.
                EXPECT_EQ(Instant(*static_cast<GEN_GeneralizedTime *>(back)),
                          Instant(*static_cast<const GEN_GeneralizedTime *>(v.data())));
            } else {
                EXPECT_EQ(Bytes(again.value, again.value + again.length),
                          Bytes(ours.value, ours.value + ours.length))
                    << r.type;
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
}

TEST(InteropOps, PeerDecodesAndReencodesEveryOperationPdu) {
    std::mt19937 rng(1206);
    std::vector<vrtest_ops::Sample> samples;
    ASSERT_TRUE(vrtest_ops::Samples(rng, 25, samples));
    std::map<int, int> seen;
    std::map<int, std::string> rows;
    for (const auto &[pdu, words] : Rows("operations_pdus.txt")) rows[pdu] = words.at(0);
    ASSERT_EQ(rows.size(), vrcore::ber::OpsPduCount());
    for (const auto &s : samples) {
        const std::string &name = rows.at(s.pdu);
        interop::Bytes theirs =
            interop::PeerReencode(kPeer.at(name), s.bytes.data(), s.bytes.size(), name);
        EXPECT_EQ(theirs, s.bytes) << name;
        GENU_OssFreePDU(nullptr, s.pdu, vrtest_ops::Decode(s.pdu, theirs));
        ++seen[s.pdu];
    }
    for (size_t i = 0; i < vrcore::ber::OpsPduCount(); ++i) {
        int pdu = vrcore::ber::OpsPduAt(i);
        ASSERT_TRUE(rows.count(pdu)) << pdu;
        EXPECT_STREQ(vrcore::ber::OpsPduName(pdu), rows[pdu].c_str()) << pdu;
        EXPECT_TRUE(kPeer.count(rows[pdu])) << rows[pdu];
        // Errors naming an object need the object identification syntax.
        bool needs_objects = pdu >= ERDPA_PDU_ACCESS && pdu <= ERDPA_PDU_UPDATE &&
                             pdu != ERDPA_PDU_SECURITY && pdu != ERDPA_PDU_ATTRIBUTE;
        if (needs_objects && !vrtest_ops::ObjectsPack()) continue;
        EXPECT_GT(seen[pdu], 0) << "no sample of PDU " << pdu;
    }
}

} // namespace
