// Opening, the page cache and its loading limits.
#include "vrbm_fixture.h"

#include "memfs.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace vrbmtest;

namespace {

class Open : public DbTest {
  protected:
    // A tree with room to spare in `pages` pages, zeros after the last allocated one.
    unsigned Build(unsigned pages, unsigned items = 150) {
        VRBM_Db *db = Create();
        for (unsigned i = 0; i < items; i++)
            EXPECT_EQ(Store(db, Key(i), std::string(200, char('a' + i % 26))), 0u);
        VRBM_close(db);
        auto f = ReadFile();
        EXPECT_LE(f.size(), pages * 1024u);
        f.resize(pages * 1024u, 0);
        WriteFile(f);
        return items;
    }
    static std::string Key(unsigned i) { return Num("item-", i * 7919 % 1000); }
};

// Counts the reads and writes of pages.
struct Counter : vrtest::IoTap {
    unsigned reads = 0, writes = 0;
    Counter()
        : IoTap([this](vrtest::IoOp op, auto &) {
              reads += op == vrtest::IoOp::Pread;
              writes += op == vrtest::IoOp::Pwrite;
              return false;
          }) {}
};

TEST_F(Open, RefusedOpens) {
    EXPECT_EQ(OpenRo("missing"), nullptr);
    EXPECT_EQ(OpenRw("missing"), nullptr);
    VRBM_close(Create());
    EXPECT_EQ(VRBM_open(Path().c_str(), VRBM_WRONLY, 0, 0), nullptr);
    EXPECT_EQ(VRBM_open(nullptr, VRBM_RDONLY, 0, 0), nullptr);
    EXPECT_EQ(VRBM_open("", VRBM_RDONLY, 0, 0), nullptr);
    std::filesystem::create_directory(Path("dir") + ".dbm");
    EXPECT_EQ(OpenRo("dir"), nullptr);
    VRBM_close(nullptr);
}

TEST_F(Open, ZeroLengthFileIsAnEmptyTree) {
    WriteFile({});
    VRBM_Db *db = OpenRw();
    ASSERT_NE(db, nullptr);
    EXPECT_EQ(Fetch(db, "x"), "<absent>");
    EXPECT_EQ(VRBM_fetchAbbrev(db, "a", 1, nullptr, 0).len, VRBM_LEN_NOMATCH);
    EXPECT_EQ(VRBM_fetchName(db, "a", 1, 0).len, 0);
    EXPECT_EQ(Delete(db, "x"), VRBM_E_NOTFOUND);
    EXPECT_EQ(Store(db, "x", "1"), 0u);
    VRBM_close(db);
    EXPECT_EQ(ReadFile().size(), 3072u);
}

// 125 pages are too many to load whole, 124 are not; a one-buffer reader reads for
// each lookup and never writes; a whole one never reads again; creating truncates.
TEST_F(Open, LoadingLimitAndReadOnly) {
    unsigned items = Build(125);
    auto before = ReadFile();
    EXPECT_EQ(OpenRo("db", 1), nullptr);
    VRBM_Db *db = OpenRo("db", 0);
    ASSERT_NE(db, nullptr);
    {
        Counter c;
        for (unsigned i = 0; i < items; i++) ASSERT_EQ(Fetch(db, Key(i)).size(), 200u);
        EXPECT_EQ(Store(db, "k", "v"), VRBM_E_READONLY);
        EXPECT_EQ(Delete(db, Key(0)), VRBM_E_READONLY);
        VRBM_close(db);
        EXPECT_GT(c.reads, items);
        EXPECT_EQ(c.writes, 0u);
    }
    EXPECT_EQ(ReadFile(), before);

    ASSERT_EQ(truncate(File().c_str(), 124 * 1024), 0);
    db = OpenRo("db", 1);
    ASSERT_NE(db, nullptr);
    {
        Counter c;
        for (unsigned i = 0; i < items; i++) EXPECT_EQ(Fetch(db, Key(i)).size(), 200u);
        EXPECT_EQ(VRBM_fetchName(db, "ITEM-0", 6, 0).len, 200);
        EXPECT_EQ(c.reads, 0u);
    }
    VRBM_close(db);
    db = Create();
    EXPECT_EQ(Fetch(db, Key(1)), "<absent>");
    VRBM_close(db);
    EXPECT_EQ(ReadFile().size(), 1024u);
}

} // namespace
