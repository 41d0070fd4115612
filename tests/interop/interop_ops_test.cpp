// The attribute-set, operation and error PDUs vrcore encodes are decoded by
// the asn1c-generated codec, re-encoded there to the same bytes, and read
// back by vrcore. Also checks that asn/operations_pdus.txt and the second
// control table agree.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <Attr.h>
#include <AttrSet.h>
#include <ModAttrSet.h>
#include <SingleValueAttr.h>
#include <AccessError.h>
#include <AttributeError.h>
#include <DocumentAccessError.h>
#include <PrinterError.h>
#include <SecurityError.h>
#include <SelectionError.h>
#include <ServiceError.h>
#include <UpdateError.h>
#include <CancelJobArgument.h>
#include <ControlArgument.h>
#include <CreateArgument.h>
#include <CreateResult.h>
#include <InterruptJobArgument.h>
#include <InterruptJobResult.h>
#include <ListArgument.h>
#include <ListResult.h>
#include <ModifyJobArgument.h>
#include <ObjectOperationArgument.h>
#include <ObjectOperationResult.h>
#include <PauseJobArgument.h>
#include <PauseJobResult.h>
#include <PauseResult.h>
#include <PrintArgument.h>
#include <PrintResult.h>
#include <PromoteJobArgument.h>
#include <ResubmitJobArgument.h>
#include <ResubmitJobResult.h>
#include <ResumeJobArgument.h>
#include <SendEventArgument.h>
#include <SetArgument.h>
#include <ShutdownArgument.h>
}

#include "../operations/ops_op_samples.h"
#include "encoding/ber_ops.h"
#include "encoding/ber_world.h"

namespace {

using Bytes = std::vector<unsigned char>;

const std::map<std::string, asn_TYPE_descriptor_t *> kPeer = {
    {"AttrSet", &asn_DEF_AttrSet},
    {"ModAttrSet", &asn_DEF_ModAttrSet},
    {"Attr", &asn_DEF_Attr},
    {"SingleValueAttr", &asn_DEF_SingleValueAttr},
    {"AccessError", &asn_DEF_AccessError},
    {"AttributeError", &asn_DEF_AttributeError},
    {"DocumentAccessError", &asn_DEF_DocumentAccessError},
    {"PrinterError", &asn_DEF_PrinterError},
    {"SecurityError", &asn_DEF_SecurityError},
    {"SelectionError", &asn_DEF_SelectionError},
    {"ServiceError", &asn_DEF_ServiceError},
    {"UpdateError", &asn_DEF_UpdateError},
    {"CancelJobArgument", &asn_DEF_CancelJobArgument},
    {"ControlArgument", &asn_DEF_ControlArgument},
    {"CreateArgument", &asn_DEF_CreateArgument},
    {"CreateResult", &asn_DEF_CreateResult},
    {"InterruptJobArgument", &asn_DEF_InterruptJobArgument},
    {"InterruptJobResult", &asn_DEF_InterruptJobResult},
    {"ListArgument", &asn_DEF_ListArgument},
    {"ListResult", &asn_DEF_ListResult},
    {"ModifyJobArgument", &asn_DEF_ModifyJobArgument},
    {"ObjectOperationArgument", &asn_DEF_ObjectOperationArgument},
    {"ObjectOperationResult", &asn_DEF_ObjectOperationResult},
    {"PauseJobArgument", &asn_DEF_PauseJobArgument},
    {"PauseJobResult", &asn_DEF_PauseJobResult},
    {"PauseResult", &asn_DEF_PauseResult},
    {"PrintArgument", &asn_DEF_PrintArgument},
    {"PrintResult", &asn_DEF_PrintResult},
    {"PromoteJobArgument", &asn_DEF_PromoteJobArgument},
    {"ResubmitJobArgument", &asn_DEF_ResubmitJobArgument},
    {"ResubmitJobResult", &asn_DEF_ResubmitJobResult},
    {"ResumeJobArgument", &asn_DEF_ResumeJobArgument},
    {"SendEventArgument", &asn_DEF_SendEventArgument},
    {"SetArgument", &asn_DEF_SetArgument},
    {"ShutdownArgument", &asn_DEF_ShutdownArgument},
};

std::map<int, std::string> ReadTable() {
    std::ifstream in(std::string(VRCORE_SOURCE_DIR) + "/asn/operations_pdus.txt");
    std::map<int, std::string> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        int pdu = 0;
        std::string type;
        s >> pdu >> type;
        rows[pdu] = type;
    }
    return rows;
}

int Collect(const void *buffer, size_t size, void *key) {
    auto *out = static_cast<Bytes *>(key);
    const auto *p = static_cast<const unsigned char *>(buffer);
    out->insert(out->end(), p, p + size);
    return 0;
}

TEST(InteropOps, TableAndModuleAgree) {
    auto rows = ReadTable();
    ASSERT_EQ(rows.size(), vrber::OpsPduCount());
    for (size_t i = 0; i < vrber::OpsPduCount(); ++i) {
        int pdu = vrber::OpsPduAt(i);
        ASSERT_TRUE(rows.count(pdu)) << pdu;
        EXPECT_STREQ(vrber::OpsPduName(pdu), rows[pdu].c_str()) << pdu;
        EXPECT_TRUE(kPeer.count(rows[pdu])) << rows[pdu];
    }
}

TEST(InteropOps, PeerDecodesAndReencodesEveryOperationPdu) {
    std::mt19937 rng(1206);
    std::vector<vrtest_ops::Sample> samples;
    ASSERT_TRUE(vrtest_ops::SetSamples(rng, 40, samples));
    ASSERT_TRUE(vrtest_ops::ErrorSamples(rng, 10, samples));
    ASSERT_TRUE(vrtest_ops::OperationSamples(rng, 15, samples));
    std::map<int, int> seen;
    auto rows = ReadTable();
    for (const auto &s : samples) {
        const std::string &name = rows.at(s.pdu);
        asn_TYPE_descriptor_t *def = kPeer.at(name);
        void *peer = nullptr;
        asn_dec_rval_t dr = ber_decode(nullptr, def, &peer, s.bytes.data(), s.bytes.size());
        ASSERT_EQ(dr.code, RC_OK) << name;
        EXPECT_EQ(dr.consumed, s.bytes.size()) << name;
        Bytes theirs;
        asn_enc_rval_t er = der_encode(def, peer, Collect, &theirs);
        def->free_struct(def, peer, 0);
        ASSERT_NE(er.encoded, -1) << name;
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
        // Errors naming an object need the object identification syntax.
        bool needs_objects = pdu >= ERDPA_PDU_ACCESS && pdu <= ERDPA_PDU_UPDATE && pdu != ERDPA_PDU_SECURITY &&
                             pdu != ERDPA_PDU_ATTRIBUTE;
        if (needs_objects && !vrtest_ops::ObjectsPack()) continue;
        EXPECT_GT(seen[pdu], 0) << "no sample of PDU " << pdu;
    }
}

} // namespace
