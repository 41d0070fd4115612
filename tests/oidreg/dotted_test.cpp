#include <cstring>

#include "builtin_oids.h"
#include "oid/shortoid_internal.h"
#include "oidreg_fixture.h"

using namespace oidtest;

namespace {

std::string ToDec(const unsigned char *b) {
    Status st;
    char text[OID_MAX_DOTTED];
    uint32_t len = sizeof text;
    if (OID_ConvertBinToDec(st, b, nullptr, &len, text)) return {};
    EXPECT_EQ(len, std::strlen(text));
    return text;
}

uint32_t ToBin(const std::string &text, std::string &out, OID_Characteristics *c = nullptr) {
    Status st;
    unsigned char b[OID_MAX_BINFORM];
    uint32_t len = sizeof b;
    uint32_t rc = OID_ConvertDecToBin(st, text.c_str(), c, &len, b);
    if (rc == 0) out.assign(reinterpret_cast<char *>(b), len);
    EXPECT_EQ(rc, st.Code());
    return rc;
}

TEST(Dotted, WholeBuiltinTableBothWays) {
    for (const vrtest::OidRow &r : vrtest::BuiltinOidRows()) {
        if (r.dotted == "-") continue;
        const vrcore::oid::BuiltinRow *row = vrcore::oid::RowOf(r.id);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(ToDec(row->binary), r.dotted) << r.name;
        std::string b;
        ASSERT_EQ(ToBin(r.dotted, b), 0u) << r.dotted;
        EXPECT_EQ(b, std::string(reinterpret_cast<const char *>(row->binary), 2 + row->binary[1]));
    }
}

TEST(Dotted, MalformedTextIsRefused) {
    std::string longest = "1.2";
    for (int i = 0; i < 126; i++) longest.append(".1");
    std::string b;
    ASSERT_EQ(ToBin(longest, b), 0u); // 127 content octets
    // Malformed texts that a faulty parser would still round-trip unchanged.
    for (const char *t : {"", "1"}) EXPECT_EQ(ToBin(t, b), OID_S_INVALID) << '"' << t << '"';
    const unsigned char top[] = {0x06, 0x06, 0x2a, 0x8f, 0xff, 0xff, 0xff, 0x7f}; // 2^32 - 1
    EXPECT_EQ(ToDec(top), "1.2.4294967295");
    EXPECT_EQ(ToBin(longest + ".1", b), OID_S_INVALID);
    EXPECT_EQ(ToBin("2.4294967215", b), 0u); // the largest first subidentifier
    // Characteristics: 19 parts of at most 255 after the arcs.
    OID_Characteristics c;
    std::string chars18;
    for (int i = 0; i < 18; i++) chars18.append(".255");
    auto with = [&](const char *head, const char *tail) { return head + chars18 + tail; };
    EXPECT_EQ(ToBin(with("1.2", ".255"), b, &c), 0u);
    EXPECT_EQ(ToBin(with("1", ".255"), b, &c), OID_S_INVALID);
    EXPECT_EQ(ToBin(with("1.2", ""), b, &c), OID_S_INVALID);
    EXPECT_EQ(ToBin(with("1.2.256", ".255"), b, &c), 0u); // 256 is an arc here
    EXPECT_EQ(ToBin(with("1.2", ".256"), b, &c), OID_S_INVALID);
    // Null arguments and small buffers.
    Status st;
    unsigned char out[4];
    uint32_t len = sizeof out;
    EXPECT_EQ(OID_ConvertDecToBin(st, nullptr, nullptr, &len, out), OID_S_INVALID);
    EXPECT_EQ(OID_ConvertDecToBin(nullptr, "1.2", nullptr, &len, out), 1u);
    EXPECT_EQ(OID_ConvertDecToBin(st, "1.2.840", nullptr, &len, out), OID_S_TOOSMALL);
    EXPECT_EQ(len, 5u);
    char text[5];
    len = sizeof text;
    std::string big = Bin("1.2.840");
    EXPECT_EQ(OID_ConvertBinToDec(st, U(big), nullptr, &len, text), OID_S_TOOSMALL);
    EXPECT_EQ(len, 8u);
}

TEST(Binary, CompareAndMeasure) {
    std::string a = Bin("1.2.127"), b = Bin("1.2.128"), c = Bin("1.2");
    EXPECT_LT(OID_CmpBinary(U(a), U(b)), 0); // by value, not by octets
    EXPECT_LT(OID_CmpBinary(U(c), U(a)), 0); // a prefix first
    EXPECT_EQ(OID_CmpBinary(U(a), U(a)), 0);
    EXPECT_EQ(OID_Len(U(b)), 5u);
}

TEST(Characteristics, BitsAndRecords) {
    OID_Characteristics c;
    uint32_t ops[] = {0, 7, 8, 29, 30}, classes[] = {1, 8, 55, 56};
    EXPECT_EQ(OID_SetAttrCharacteristics(0, 12, 5, ops, 4, classes, 3, 5, 4, &c), 1);
    EXPECT_EQ(std::vector<int>(c.octets, c.octets + 3),
              (std::vector<int>{'0', OID_KIND_ATTRIBUTE, OID_ATTR_SINGLE}));
    EXPECT_EQ(std::vector<int>(c.octets + 5, c.octets + 8),
              std::vector<int>(3, 0)); // syntax 12 has no value class
    for (uint32_t op = 0; op < 32; op++)
        EXPECT_EQ(OID_ValidForOp(&c, op), op == 0 || op == 7 || op == 8 || op == 29) << op;
    for (uint32_t k = 0; k < 60; k++)
        EXPECT_EQ(OID_ValidForObject(&c, k), k == 1 || k == 8 || k == 55) << k;
    EXPECT_EQ(OID_ValidForOp(nullptr, 1), 0);
    OID_SetAttrCharacteristics_M(1, 10, 0, 0x1234, 9, &c);
    EXPECT_EQ(std::vector<int>(c.octets + 5, c.octets + 8), (std::vector<int>{0x12, 0x34, 9}));
    EXPECT_EQ(c.octets[2], OID_ATTR_MULTI);
    EXPECT_EQ(OID_SetValidObjectClass(&c, 0), 0);
    EXPECT_TRUE(OID_ValidForObject(&c, 0) && OID_ValidForObject(&c, 55)); // every class
    // A record of binary form and characteristics.
    std::string rec = Bin("1.2.3") + std::string(reinterpret_cast<char *>(c.octets), 19);
    EXPECT_EQ(OID_GetChars(nullptr, U(rec)),
              reinterpret_cast<const OID_Characteristics *>(U(rec) + 4));
    rec[4] = 0;
    EXPECT_EQ(OID_GetChars(nullptr, U(rec)), nullptr);
    rec[0] = 0x05;
    EXPECT_EQ(OID_GetChars(nullptr, U(rec)), nullptr);
}

} // namespace
