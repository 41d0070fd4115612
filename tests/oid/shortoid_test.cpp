#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "builtin_oids.h"
#include "oid/shortoid_internal.h"
#include "scratch.h"
#include "status_list.h"
#include "vrcore/genu.h"
#include "vrcore/vrbm.h"

using namespace vr::oid;

namespace {

using Status = vrtest::StatusList;

std::string Hex(const unsigned char *p, size_t n) {
    static const char *d = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

} // namespace

// The table holds exactly the rows of the data file, and every row
// converts to each form and back; shared values come back as one of the
// names that carry them.
TEST(BuiltinTable, EveryRowRoundTrips) {
    Status st;
    auto rows = vrtest::BuiltinOidRows();
    ASSERT_EQ(rows.size(), kRowCount);
    std::map<std::string, std::set<uint32_t>> by_value;
    for (const auto &r : rows) by_value[r.dotted].insert(r.id);
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
            EXPECT_EQ(st.failed(GENU_ShortToBerOID(st, r.id, &ber)), GEN_S_INVALID);
            continue;
        }
        ASSERT_EQ(GENU_ShortToBerOID(st, r.id, &ber), 0);
        ASSERT_EQ(GENU_BerToShortOID(st, &ber, &back), 0);
        EXPECT_TRUE(by_value[r.dotted].count(back)) << back;
        const unsigned char *bin = nullptr;
        ASSERT_EQ(GENU_ShortToBinaryOID(st, r.id, &bin), 0);
        EXPECT_EQ(bin[0], 0x06);
        EXPECT_EQ(bin[1], ber.length);
        EXPECT_EQ(std::memcmp(bin + 2, ber.value, ber.length), 0);
        ASSERT_EQ(GENU_BinaryToShortOID(st, bin, &back), 0);
        EXPECT_TRUE(by_value[r.dotted].count(back));
    }
}

// The BER contents decode to the listed dotted values with an independent
// decoder (Debian's python3-pyasn1).
TEST(BuiltinTable, ContentsDecodeIndependently) {
    // The set-up scripts install Debian's python3-pyasn1.
    ASSERT_EQ(std::system("/usr/bin/python3 -c 'import pyasn1' 2>/dev/null"), 0)
        << "python3-pyasn1 is not installed";
    auto rows = vrtest::BuiltinOidRows();
    vrtest::ScratchDir dir("vroid");
    std::string in = dir.path() + "/oid_hex.txt", out = dir.path() + "/oid_dotted.txt";
    {
        std::ofstream f(in);
        for (const auto &r : rows) {
            const unsigned char *bin = nullptr;
            Status st;
            if (r.dotted == "-" || GENU_ShortToBinaryOID(st, r.id, &bin) != 0) continue;
            f << r.id << " " << Hex(bin, 2u + bin[1]) << "\n";
        }
    }
    std::string cmd = "/usr/bin/python3 " + std::string(VRCORE_SOURCE_DIR) +
                      "/tests/oid/decode_oids.py < " + in + " > " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream f(out);
    std::map<uint32_t, std::string> decoded;
    uint32_t id;
    std::string dotted;
    while (f >> id >> dotted) decoded[id] = dotted;
    size_t checked = 0;
    for (const auto &r : rows) {
        if (r.dotted == "-") continue;
        EXPECT_EQ(decoded[r.id], r.dotted) << r.name;
        ++checked;
    }
    EXPECT_EQ(checked, decoded.size());
}

TEST(ShortOID, RangesAndPrefixes) {
    Status st;
    for (uint32_t bad : {1093u, 2999u, 3563u, 0x7FFFFFFFu}) {
        EXPECT_STREQ(GENU_ShortOIDToAscii(bad), "unknown") << bad;
        int32_t t;
        EXPECT_EQ(st.failed(GENU_AttrIdToType(st, bad, &t)), GEN_S_INVALID);
    }
    GENU_ShortOID a = 0, b = 0;
    ASSERT_EQ(GENU_PrefixToShortOID(st, "job-name", "id-att-", &a), 0);
    ASSERT_EQ(GENU_PrefixToShortOID(st, "id-att-job-name", "id-att-", &b), 0);
    EXPECT_EQ(a, b);
    EXPECT_STREQ(GENU_ShortOIDToAscii(a), "id-att-job-name");
    b = 7;
    EXPECT_EQ(GENU_PrefixToShortOID(st, nullptr, "id-att-", &b), 1);
    EXPECT_EQ(b, 0u);
    EXPECT_EQ(st.code(), GEN_S_INVALID);
    EXPECT_EQ(GENU_AsciiToShortOID(nullptr, "id-att-job-name", &a), 1);
    // Malformed binary forms are refused without reading past them.
    const unsigned char bad_tag[] = {0x04, 0x01, 0x01};
    const unsigned char too_long[] = {0x06, 54};
    EXPECT_EQ(GENU_BinaryToShortOID(st, bad_tag, &a), 1);
    EXPECT_EQ(GENU_BinaryToShortOID(st, too_long, &a), 1);
}

// Identifiers outside the table: before the dynamic database is open, and
// from a database holding registered identifiers.
TEST(ShortOID, DynamicIdentifiers) {
    Status st;
    GENU_ShortOID id = 0;
    EXPECT_EQ(st.failed(GENU_AsciiToShortOID(st, "id-att-not-there", &id)), vr::oid::GENU_S_NODYNAMIC);
    EXPECT_STREQ(GENU_ShortOIDToAscii(0x80000001u), "unknown");
    int32_t type;
    EXPECT_EQ(st.failed(GENU_AttrIdToType(st, 0x80000001u, &type)), vr::oid::GENU_S_NODYNAMIC);

    EXPECT_EQ(st.failed(GENU_Init(st, nullptr, 0)), GEN_S_NODIR);
    EXPECT_EQ(st.failed(GENU_Init(st, "/tmp", 1)), GEN_S_BADMODE);
    vrtest::ScratchDir scratch("vroidcvrt");
    const std::string &dir = scratch.path();
    EXPECT_EQ(st.failed(GENU_Init(st, dir.c_str(), 0)), GEN_S_NODB);

    // Register 1.2.840.147361.99.7 as 0x80000005 with syntax 28.
    {
        std::string path = dir + "/oid_cvrt";
        VRBM_Db *h = VRBM_open(path.c_str(), VRBM_RDWR | VRBM_CREAT, 0666, 0);
        ASSERT_NE(h, nullptr);
        const unsigned char content[] = {0x2a, 0x86, 0x48, 0x88, 0xfe, 0x61, 0x63, 0x07};
        std::string bin = std::string("\x06\x08", 2) + std::string(reinterpret_cast<const char *>(content), 8);
        std::string brec = bin + std::string(1, '\x1c');
        std::string name = "id-att-dyn-test";
        auto put = [&](const std::string &k, const std::string &v) {
            ASSERT_EQ(VRBM_store(h, k.data(), static_cast<int>(k.size()), v.data(),
                                 static_cast<int>(v.size()), 0), 0);
        };
        put("b-2147483653", brec);
        put("a-2147483653", name + std::string(1, '\0'));
        put(name, "2147483653");
        put(bin, "2147483653");
        VRBM_close(h);
    }
    ASSERT_EQ(GENU_Init(st, dir.c_str(), 0), 0);
    EXPECT_NE(GENU_GetCvrtHandle(), nullptr);
    EXPECT_EQ(st.failed(GENU_Init(st, dir.c_str(), 0)), GEN_S_INITIALISED);

    ASSERT_EQ(GENU_AsciiToShortOID(st, "id-att-dyn-test", &id), 0);
    EXPECT_EQ(id, 0x80000005u);
    EXPECT_STREQ(GENU_ShortOIDToAscii(id), "id-att-dyn-test");
    ASSERT_EQ(GENU_AttrIdToType(st, id, &type), 0);
    EXPECT_EQ(type, 28);
    GENU_BerOID ber{};
    ASSERT_EQ(GENU_ShortToBerOID(st, id, &ber), 0);
    EXPECT_EQ(ber.length, 8u);
    GENU_ShortOID back = 0;
    ASSERT_EQ(GENU_BerToShortOID(st, &ber, &back), 0);
    EXPECT_EQ(back, id);
    const unsigned char *bin = nullptr;
    ASSERT_EQ(GENU_ShortToBinaryOID(st, id, &bin), 0);
    ASSERT_EQ(GENU_BinaryToShortOID(st, bin, &back), 0);
    EXPECT_EQ(back, id);

    EXPECT_EQ(st.failed(GENU_AsciiToShortOID(st, "id-att-not-there", &id)), GEN_S_INVALID);
    EXPECT_EQ(st.failed(GENU_ShortToBerOID(st, 0x80000006u, &ber)), GEN_S_INVALID);
    EXPECT_STREQ(GENU_ShortOIDToAscii(0x80000006u), "unknown");
    GENU_Term();
    EXPECT_EQ(GENU_GetCvrtHandle(), nullptr);
}
