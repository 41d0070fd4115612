// Failed stores and deletes, damaged files, page numbers running out.
#include "vrbm_fixture.h"

#include "failalloc.h"
#include "memfs.h"

#include <map>

using namespace vrbmtest;

namespace {

class Faults : public DbTest {
  protected:
    void SetUp() override {
        db_ = Create();
        for (int i = 0; i < 700; i++) {
            std::string k = Key(i), d(40 + i % 150, char('a' + i % 26));
            ASSERT_EQ(Store(db_, k, d), 0u);
            model_[k] = d;
        }
    }
    void TearDown() override { VRBM_close(db_); }
    static std::string Key(int i) { return Num("k", i * 7919 % 100003); }
    void ExpectModel() {
        ASSERT_EQ(Check(db_), "");
        for (auto &[k, d] : model_) ASSERT_EQ(Fetch(db_, k), d) << k;
    }
    // Fails the nth page change or read until op succeeds; returns the failures seen.
    int Sweep(bool reads, const std::function<uint32_t()> &op) {
        for (long n = 1;; n++) {
            if (reads) {
                VRBM_close(db_);
                db_ = OpenRw();
            }
            long left = n;
            uint32_t rc;
            {
                vrtest::FaultPoints changes([&](auto...) { return !reads && --left == 0; });
                vrtest::IoTap preads([&](vrtest::IoOp o, auto &) {
                    return reads && o == vrtest::IoOp::Pread && --left == 0;
                });
                rc = op();
            }
            if (left > 0) {
                EXPECT_EQ(rc, 0u);
                return int(n - 1);
            }
            EXPECT_NE(rc, 0u) << "failure " << n << " reported as success";
            ExpectModel();
            if (HasFatalFailure()) return -1;
        }
    }
    VRBM_Db *db_ = nullptr;
    std::map<std::string, std::string> model_;
};

TEST_F(Faults, FailedStoresAndDeletesChangeNothing) {
    VRBM_close(db_); // from the file, so that pages are read
    db_ = OpenRw();
    int i = 0;
    for (bool reads : {false, true}) {
        // Enough new keys that some store splits nodes up the tree.
        int failures = 0;
        for (int j = 0; j < 25; j++, i++) {
            std::string k = Num("new", i), d(200, 'n');
            failures += Sweep(reads, [&] { return Store(db_, k, d); });
            model_[k] = d;
            auto it = model_.begin();
            std::advance(it, (i * 37) % model_.size());
            std::string old = it->first;
            failures += Sweep(reads, [&] { return Delete(db_, old); });
            model_.erase(old);
            ASSERT_FALSE(HasFatalFailure());
        }
        EXPECT_GT(failures, 0) << reads;
    }
    VRBM_close(db_);
    db_ = OpenRw();
    ExpectModel();
}

TEST_F(Faults, OutOfMemoryChangesNothing) {
    vrtest::FailModule fail(vrcore::system::seam::Module::Btree);
    VRBM_close(db_);
    db_ = OpenRw(); // its undo room now comes from the failing allocator
    int i = 0;
    long points = 0;
    // Stores big enough to split inner nodes, whose undo needs more room.
    for (int j = 0; j < 300; j++, i++) {
        std::string k = Num("mem", i), d(250 - k.size(), 'm');
        points += vrtest::SweepFailures(
            [&] {
                uint32_t rc = Store(db_, k, d);
                if (rc == VRBM_E_NOMEM) return false;
                EXPECT_EQ(rc, 0u);
                vrtest::FailAlloc::Disarm();
                model_[k] = d; // kept, so the tree keeps growing
                return true;
            },
            [&] { ExpectModel(); });
    }
    EXPECT_GE(points, 1);
    // Opening: nothing is left behind by a failed open.
    VRBM_close(db_);
    points = vrtest::SweepFailures(
        [&] {
            db_ = OpenRo("db", 0);
            if (!db_) return false;
            VRBM_close(db_);
            return true;
        },
        [] {});
    EXPECT_GE(points, 2);
    db_ = OpenRw();
}

// 16-bit page numbers run out: the store fails and the file stays whole.
TEST_F(Faults, PageNumbersRunOut) {
    VRBM_close(db_);
    auto f = ReadFile();
    f[10] = 0xF6, f[11] = 0xFF; // lastNodeId 65526: pages between are never referenced
    WriteFile(f);
    db_ = OpenRw();
    uint32_t rc = 0;
    for (int i = 0; rc == 0 && i < 2000; i++)
        if ((rc = Store(db_, Num("fill", i), std::string(200, 'f'))) == 0)
            model_[Num("fill", i)] = std::string(200, 'f');
    EXPECT_EQ(rc, VRBM_E_NOROOM);
    ExpectModel();
}

TEST_F(Faults, DamagedFilesAreReported) {
    VRBM_close(db_);
    db_ = nullptr;
    const auto good = ReadFile();
    auto child0 = U16(good, 76);
    struct Damage {
        const char *what;
        size_t offset;
        std::vector<uint8_t> bytes;
    };
    // A damaged node header and a link that loops back up.
    std::vector<Damage> damages = {
        {"count beyond 32", child0 * 1024u + 4, {33, 0}},
        {"cycle back up", child0 * 1024u + 76, {uint8_t(child0), uint8_t(child0 >> 8)}},
    };
    for (auto &dmg : damages) {
        auto f = good;
        std::copy(dmg.bytes.begin(), dmg.bytes.end(), f.begin() + long(dmg.offset));
        WriteFile(f);
        VRBM_Db *db = OpenRw();
        ASSERT_NE(db, nullptr) << dmg.what;
        EXPECT_NE(Check(db), "") << dmg.what;
        // Every key: a lookup either finds the right data or reports.
        int reported = 0;
        for (auto &[k, d] : model_) {
            std::string got = Fetch(db, k);
            if (got == "<error -4>")
                reported++;
            else
                ASSERT_EQ(got, d) << dmg.what;
        }
        EXPECT_GT(reported, 0) << dmg.what;
        VRBM_MatchNode *list = nullptr;
        VRBM_Datum d = VRBM_fetchAbbrev(db, "k", 1, &list, 1);
        EXPECT_EQ(d.len, VRBM_LEN_ERROR) << dmg.what;
        for (auto &kv : model_) {
            uint32_t rc = Store(db, kv.first + "x", "v");
            if (rc) {
                EXPECT_EQ(rc, VRBM_E_CORRUPT) << dmg.what;
                break;
            }
        }
        VRBM_close(db);
    }
    db_ = Create();
}

TEST_F(Faults, BadHandles) {
    VRBM_Db fake;
    fake.magic = 0;
    for (VRBM_Db *h : {static_cast<VRBM_Db *>(nullptr), &fake}) {
        EXPECT_EQ(VRBM_store(h, "a", 1, "b", 1, 0), VRBM_E_BADHANDLE);
        EXPECT_EQ(VRBM_delete(h, "a", 1), VRBM_E_BADHANDLE);
        EXPECT_EQ(VRBM_fetch(h, "a", 1).len, VRBM_LEN_ERROR);
        EXPECT_EQ(VRBM_fetchAbbrev(h, "a", 1, nullptr, 0).len, VRBM_LEN_ERROR);
    }
}

} // namespace
