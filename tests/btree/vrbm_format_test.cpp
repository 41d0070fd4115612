// The file format, byte for byte.
#include "vrbm_fixture.h"

using namespace vrbmtest;

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes &f, size_t off, unsigned v) { f[off] = uint8_t(v), f[off + 1] = uint8_t(v >> 8); }

// Appends a record (16-bit length, bytes, pad to even length) at *at.
void Record(Bytes &f, size_t *at, const std::string &s) {
    Put16(f, *at, unsigned(s.size()));
    std::copy(s.begin(), s.end(), f.begin() + long(*at) + 2);
    *at += 2 + s.size() + (s.size() & 1);
}

// A node page: type, number, parent, entries (items or keys) and children.
void Node(Bytes &f, unsigned page, unsigned type, unsigned parent,
          const std::vector<std::pair<std::string, std::string>> &entries,
          const std::vector<unsigned> &children = {}) {
    size_t base = page * 1024, area = base + (type == 2 ? 76 : 144), at = area;
    f[base] = uint8_t(type << 2 | 0x01); // a stored modified mark is ignored
    f[base + 3] = 0xA5;                  // so are the high flag bits
    Put16(f, base + 4, unsigned(entries.size()));
    Put16(f, base + 6, page);
    Put16(f, base + 10, parent);
    for (size_t i = 0; i < entries.size(); i++) {
        Put16(f, base + 12 + 2 * i, unsigned(at - area));
        Record(f, &at, entries[i].first);
        if (type == 2) Record(f, &at, entries[i].second);
    }
    Put16(f, base + 8, unsigned(at - area));
    for (size_t i = 0; i < children.size(); i++) Put16(f, base + 76 + 2 * i, children[i]);
}

class Format : public DbTest {};

TEST_F(Format, HandBuiltTreeIsRead) {
    Bytes f(4 * 1024, 0xEE); // undefined bytes are not zero
    Node(f, 0, 0, 3, {{"abc", ""}, {"m", ""}}, {1, 3, 2});
    Node(f, 1, 2, 0, {{"ab", "x"}, {"abc", "yz"}});
    Node(f, 3, 2, 0, {{"b", ""}, {"k-1", std::string(200, 'q')}, {"m", "mm"}});
    Node(f, 2, 2, 0, {{"zz", "end"}});
    WriteFile(f);
    const ItemList items = {{"ab", "x"}, {"abc", "yz"}, {"b", ""}, {"k-1", std::string(200, 'q')},
                            {"m", "mm"}, {"zz", "end"}};
    for (int whole : {0, 1}) {
        VRBM_Db *db = OpenRo("db", whole);
        ASSERT_NE(db, nullptr);
        for (auto &[k, d] : items) EXPECT_EQ(Fetch(db, k), d) << k;
        EXPECT_EQ(Fetch(db, "a") + Fetch(db, "zzz"), "<absent><absent>");
        EXPECT_TRUE(Walk(db) == items);
        EXPECT_EQ(Check(db), "");
        VRBM_close(db);
    }
    // Written to, the file stays readable and valid.
    VRBM_Db *db = OpenRw();
    ASSERT_EQ(Store(db, "n", "new"), 0u);
    ASSERT_EQ(Delete(db, "ab"), 0u);
    EXPECT_EQ(Fetch(db, "n") + Fetch(db, "abc"), "newyz");
    EXPECT_EQ(Check(db), "");
    VRBM_close(db);
}

TEST_F(Format, FirstPagesWritten) {
    VRBM_close(Create());
    Bytes f = ReadFile();
    ASSERT_EQ(f.size(), 1024u);
    EXPECT_EQ(f, Bytes(1024, 0)); // root, no entries, nothing allocated

    VRBM_Db *db = OpenRw();
    ASSERT_EQ(Store(db, "key", "data1"), 0u);
    VRBM_close(db);
    f = ReadFile();
    ASSERT_EQ(f.size(), 3 * 1024u);
    // Page 0: root, one key, lastNodeId 2, children 1 and 2. Page 1: the
    // item, an odd key and odd data each padded. Page 2: an empty leaf.
    const size_t p1 = 1024, p2 = 2048;
    const struct {
        size_t offset;
        unsigned want;
    } fields[] = {{4, 1},       {6, 0},       {8, 6 /* 2 + 3 + pad */},
                  {10, 2},      {12, 0},      {76, 1},
                  {78, 2},      {144, 3},     {p1 + 4, 1},
                  {p1 + 6, 1},  {p1 + 8, 14}, {p1 + 10, 0},
                  {p1 + 76, 3}, {p1 + 82, 5}, {p2 + 4, 0},
                  {p2 + 6, 2},  {p2 + 8, 0},  {p2 + 10, 0}};
    for (const auto &fld : fields)
        EXPECT_EQ(U16(f, fld.offset), fld.want) << "offset " << fld.offset;
    EXPECT_EQ((f[0] >> 2) & 0x3F, 0);
    EXPECT_EQ((f[p1] >> 2) & 0x3F, 2);
    EXPECT_EQ((f[p2] >> 2) & 0x3F, 2);
    EXPECT_EQ(std::string(f.begin() + 146, f.begin() + 149), "key");
    EXPECT_EQ(std::string(f.begin() + p1 + 78, f.begin() + p1 + 81), "key");
    EXPECT_EQ(std::string(f.begin() + p1 + 84, f.begin() + p1 + 89), "data1");
}

TEST_F(Format, ItemLimits) {
    VRBM_Db *db = Create();
    std::string k128(128, 'k');
    EXPECT_EQ(Store(db, k128, std::string(128, 'd')), 0u);
    EXPECT_EQ(Store(db, k128 + "x", ""), VRBM_E_KEYSIZE);
    EXPECT_EQ(Store(db, std::string(127, 'j'), std::string(130, 'd')), VRBM_E_ITEMSIZE);
    EXPECT_EQ(Store(db, "", std::string(256, 'e')), 0u); // the empty key is a key
    EXPECT_EQ(Fetch(db, ""), std::string(256, 'e'));
    EXPECT_EQ(VRBM_store(db, "a", -1, "", 0, 0), VRBM_E_ITEMSIZE);
    EXPECT_EQ(Check(db), "");
    VRBM_close(db);
}

} // namespace
