// Short identifiers: the built-in table in each form, its ranges, dynamic identifiers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "builtin_oids.h"
#include "oid/shortoid_internal.h"
#include "scratch.h"
#include "status_list.h"
#include "vrcore/genu.h"
#include "vrcore/vrbm.h"

using namespace vrcore::oid;
using Status = vrtest::StatusList;

// Every row of the data file converts to each form and back; the values, in hex,
// decode to the rows' dotted forms with Debian's python3-pyasn1.
TEST(BuiltinTable, EveryRowRoundTripsAndDecodesIndependently) {
    ASSERT_EQ(std::system("/usr/bin/python3 -c 'import pyasn1' 2>/dev/null"), 0)
        << "python3-pyasn1 is not installed";
    Status st;
    auto rows = vrtest::BuiltinOidRows();
    ASSERT_EQ(rows.size(), kRowCount);
    std::map<std::string, std::set<uint32_t>> by_value;
    for (const auto &r : rows) by_value[r.dotted].insert(r.id);
    vrtest::ScratchDir dir("vroid");
    std::ofstream hex(dir.Path() + "/hex");
    std::string dotted;
    for (const auto &r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_STREQ(GENU_ShortOIDToAscii(r.id), r.name.c_str());
        GENU_ShortOID back = 0;
        ASSERT_EQ(GENU_AsciiToShortOID(st, r.name.c_str(), &back), 0);
        EXPECT_EQ(back, r.id);
        int32_t type = -1;
        ASSERT_EQ(GENU_AttrIdToType(st, r.id, &type), 0);
        EXPECT_EQ(static_cast<uint32_t>(type), r.syntax);
        GENU_BerOID ber{};
        if (r.dotted == "-") {
            EXPECT_EQ(st.Failed(GENU_ShortToBerOID(st, r.id, &ber)), 0xC00E00A0u);
            continue;
        }
        ASSERT_EQ(GENU_ShortToBerOID(st, r.id, &ber), 0);
        ASSERT_EQ(GENU_BerToShortOID(st, &ber, &back), 0);
        EXPECT_TRUE(by_value[r.dotted].count(back)) << back;
        const unsigned char *bin = nullptr;
        ASSERT_EQ(GENU_ShortToBinaryOID(st, r.id, &bin), 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(bin), 2 + ber.length),
                  std::string("\x06", 1) + char(ber.length) +
                      std::string(reinterpret_cast<const char *>(ber.value), ber.length));
        ASSERT_EQ(GENU_BinaryToShortOID(st, bin, &back), 0);
        EXPECT_TRUE(by_value[r.dotted].count(back));
        for (unsigned i = 0; i < 2u + bin[1]; ++i)
            hex << "0123456789abcdef"[bin[i] >> 4] << "0123456789abcdef"[bin[i] & 15];
        hex << "\n";
        dotted += r.dotted + "\n";
    }
    hex.close();
    std::string cmd =
        "/usr/bin/python3 -c 'import sys\nfrom pyasn1.codec.ber import decoder\nfrom pyasn1.type "
        "import univ\n"
        "for line in sys.stdin:\n v, rest = decoder.decode(bytes.fromhex(line.strip()), "
        "asn1Spec=univ.ObjectIdentifier())\n assert not rest\n print(\".\".join(map(str, "
        "v.asTuple())))' < " +
        dir.Path() + "/hex > " + dir.Path() + "/dotted";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(vrtest::ReadFile(dir.Path() + "/dotted"), dotted);
}

TEST(ShortOID, RangesAndPrefixes) {
    Status st;
    for (uint32_t bad : {1093u, 2999u, 3563u, 0x7FFFFFFFu}) {
        EXPECT_STREQ(GENU_ShortOIDToAscii(bad), "unknown") << bad;
        int32_t t;
        EXPECT_EQ(st.Failed(GENU_AttrIdToType(st, bad, &t)), 0xC00E00A0u);
    }
    GENU_ShortOID a = 0, b = 0;
    ASSERT_EQ(GENU_PrefixToShortOID(st, "job-name", "id-att-", &a), 0);
    ASSERT_EQ(GENU_PrefixToShortOID(st, "id-att-job-name", "id-att-", &b), 0);
    EXPECT_EQ(a, b);
    EXPECT_STREQ(GENU_ShortOIDToAscii(a), "id-att-job-name");
    b = 7;
    EXPECT_EQ(st.Failed(GENU_PrefixToShortOID(st, nullptr, "id-att-", &b)), 0xC00E00A0u);
    EXPECT_EQ(b, 0u);
    EXPECT_EQ(GENU_AsciiToShortOID(nullptr, "id-att-job-name", &a), 1);
    // Malformed binary forms are refused without reading past them.
    const unsigned char bad_tag[] = {0x04, 0x01, 0x01}, too_long[] = {0x06, 54};
    EXPECT_EQ(GENU_BinaryToShortOID(st, bad_tag, &a), 1);
    EXPECT_EQ(GENU_BinaryToShortOID(st, too_long, &a), 1);
}

// Identifiers outside the table: before the dynamic database is open, and
// from a database holding registered identifiers.
TEST(ShortOID, DynamicIdentifiers) {
    Status st;
    GENU_ShortOID id = 0;
    int32_t type;
    EXPECT_EQ(st.Failed(GENU_AsciiToShortOID(st, "id-att-not-there", &id)), 0xC00E0080u);
    EXPECT_STREQ(GENU_ShortOIDToAscii(0x80000001u), "unknown");
    EXPECT_EQ(st.Failed(GENU_AttrIdToType(st, 0x80000001u, &type)), 0xC00E0080u);
    EXPECT_EQ(st.Failed(GENU_Init(st, nullptr, 0)), 0xC00E0093u);
    EXPECT_EQ(st.Failed(GENU_Init(st, "/tmp", 1)), 0xC00E0092u);
    vrtest::ScratchDir scratch("vroidcvrt");
    const std::string &dir = scratch.Path();
    EXPECT_EQ(st.Failed(GENU_Init(st, dir.c_str(), 0)), 0xC00E00A6u);

    // 1.2.840.147361.99.7 registered as 0x80000005 with syntax 28.
    VRBM_Db *h = VRBM_open((dir + "/oid_cvrt").c_str(), VRBM_RDWR | VRBM_CREAT, 0666, 0);
    ASSERT_NE(h, nullptr);
    const std::string bin("\x06\x08\x2a\x86\x48\x88\xfe\x61\x63\x07", 10), name = "id-att-dyn-test";
    const std::pair<std::string, std::string> items[] = {
        {"b-2147483653", bin + "\x1c"},
        {"a-2147483653", name + std::string(1, '\0')},
        {name, "2147483653"},
        {bin, "2147483653"}};
    for (const auto &[k, v] : items)
        ASSERT_EQ(VRBM_store(h, k.data(), int(k.size()), v.data(), int(v.size()), 0), 0);
    VRBM_close(h);
    ASSERT_EQ(GENU_Init(st, dir.c_str(), 0), 0);
    EXPECT_NE(GENU_GetCvrtHandle(), nullptr);
    EXPECT_EQ(st.Failed(GENU_Init(st, dir.c_str(), 0)), 0xC00E0078u);

    ASSERT_EQ(GENU_AsciiToShortOID(st, "id-att-dyn-test", &id), 0);
    EXPECT_EQ(id, 0x80000005u);
    EXPECT_STREQ(GENU_ShortOIDToAscii(id), "id-att-dyn-test");
    ASSERT_EQ(GENU_AttrIdToType(st, id, &type), 0);
    EXPECT_EQ(type, 28);
    GENU_BerOID ber{};
    GENU_ShortOID back = 0, back2 = 0;
    const unsigned char *binary = nullptr;
    ASSERT_EQ(GENU_ShortToBerOID(st, id, &ber), 0);
    EXPECT_EQ(ber.length, 8u);
    ASSERT_EQ(GENU_BerToShortOID(st, &ber, &back) + GENU_ShortToBinaryOID(st, id, &binary), 0);
    ASSERT_EQ(GENU_BinaryToShortOID(st, binary, &back2), 0);
    EXPECT_EQ(back, id);
    EXPECT_EQ(back2, id);
    EXPECT_EQ(st.Failed(GENU_AsciiToShortOID(st, "id-att-not-there", &id)), 0xC00E00A0u);
    EXPECT_EQ(st.Failed(GENU_ShortToBerOID(st, 0x80000006u, &ber)), 0xC00E00A0u);
    EXPECT_STREQ(GENU_ShortOIDToAscii(0x80000006u), "unknown");
    GENU_Term();
    EXPECT_EQ(GENU_GetCvrtHandle(), nullptr);
}
