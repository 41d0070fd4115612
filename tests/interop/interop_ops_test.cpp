// The attribute-set, operation and error PDUs vrcore encodes are decoded by
// the asn1c-generated codec, re-encoded there to the same bytes, and read
// back by vrcore. The PDUs of asn/operations_pdus.txt must agree with the
// second control table.
#include <random>

#include "../operations/ops_samples.h"
#include "encoding/ber_ops.h"
#include "encoding/ber_world.h"
#include "interop_peer.h"

namespace {

#define OPERATION_TYPES(X)                                                                                           \
    X(AttrSet) X(ModAttrSet) X(Attr) X(SingleValueAttr) X(AccessError) X(AttributeError) X(DocumentAccessError)     \
    X(PrinterError) X(SecurityError) X(SelectionError) X(ServiceError) X(UpdateError) X(CancelJobArgument)          \
    X(ControlArgument) X(CreateArgument) X(CreateResult) X(InterruptJobArgument) X(InterruptJobResult)              \
    X(ListArgument) X(ListResult) X(ModifyJobArgument) X(ObjectOperationArgument) X(ObjectOperationResult)          \
    X(PauseJobArgument) X(PauseJobResult) X(PauseResult) X(PrintArgument) X(PrintResult) X(PromoteJobArgument)      \
    X(ResubmitJobArgument) X(ResubmitJobResult) X(ResumeJobArgument) X(SendEventArgument) X(SetArgument)            \
    X(ShutdownArgument)
INTEROP_PEER_MAP(OPERATION_TYPES)

std::map<int, std::string> Rows() {
    std::map<int, std::string> rows;
    for (const auto &w : interop::ReadTable("operations_pdus.txt")) rows[std::stoi(w.at(0))] = w.at(1);
    return rows;
}

TEST(InteropOps, PeerDecodesAndReencodesEveryOperationPdu) {
    std::mt19937 rng(1206);
    std::vector<vrtest_ops::Sample> samples;
    ASSERT_TRUE(vrtest_ops::Samples(rng, 25, samples));
    std::map<int, int> seen;
    auto rows = Rows();
    ASSERT_EQ(rows.size(), vrber::OpsPduCount());
    for (const auto &s : samples) {
        const std::string &name = rows.at(s.pdu);
        interop::Bytes theirs = interop::PeerReencode(kPeer.at(name), s.bytes.data(), s.bytes.size(), name);
        EXPECT_EQ(theirs, s.bytes) << name;
        int pdu = s.pdu;
        GENU_Buffer in{static_cast<uint32_t>(theirs.size()), theirs.data()};
        void *back = nullptr;
        ASSERT_EQ(GENU_OssDecode(nullptr, &pdu, &in, &back), 0) << name;
        GENU_OssFreePDU(nullptr, pdu, back);
        ++seen[s.pdu];
    }
    for (size_t i = 0; i < vrber::OpsPduCount(); ++i) {
        int pdu = vrber::OpsPduAt(i);
        ASSERT_TRUE(rows.count(pdu)) << pdu;
        EXPECT_STREQ(vrber::OpsPduName(pdu), rows[pdu].c_str()) << pdu;
        EXPECT_TRUE(kPeer.count(rows[pdu])) << rows[pdu];
        // Errors naming an object need the object identification syntax.
        bool needs_objects = pdu >= ERDPA_PDU_ACCESS && pdu <= ERDPA_PDU_UPDATE && pdu != ERDPA_PDU_SECURITY &&
                             pdu != ERDPA_PDU_ATTRIBUTE;
        if (needs_objects && !vrtest_ops::ObjectsPack()) continue;
        EXPECT_GT(seen[pdu], 0) << "no sample of PDU " << pdu;
    }
}

} // namespace
