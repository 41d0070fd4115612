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
}

#include "../operations/ops_samples.h"
#include "encoding/ber_ops.h"
#include "encoding/ber_world.h"

namespace {

using Bytes = std::vector<unsigned char>;

const std::map<std::string, asn_TYPE_descriptor_t *> kPeer = {
    {"AttrSet", &asn_DEF_AttrSet},
    {"ModAttrSet", &asn_DEF_ModAttrSet},
    {"Attr", &asn_DEF_Attr},
    {"SingleValueAttr", &asn_DEF_SingleValueAttr},
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
    for (size_t i = 0; i < vrber::OpsPduCount(); ++i)
        EXPECT_GT(seen[vrber::OpsPduAt(i)], 0) << "no sample of PDU " << vrber::OpsPduAt(i);
}

} // namespace
