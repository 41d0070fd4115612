// Crashes: a writer killed at any instant, or a power loss, leaves the file
// whole with exactly the items of the last finished write-back (at close or
// asked for); what an
// unfinished write-back leaves is rolled back by the next opener, checked
// as rolled back by the checker, and never rolled back under a living
// writer. Compaction, cut at any instant, leaves the old file or the new
// one, and never rewrites a file a writer has open.
#include "vrbm_fixture.h"

#include "memfs.h"
#include "scratch.h"

#include <fcntl.h>
#include <map>
#include <random>
#include <signal.h>
#include <thread>

using namespace vrbmtest;

namespace {

using Model = std::map<std::string, std::string>;

// A deterministic run of stores, replacements and deletes, applied to the
// database (when given) and to the model.
void Churn(VRBM_Db *db, Model &m, uint32_t seed, unsigned ops) {
    std::mt19937 rng(seed);
    for (unsigned i = 0; i < ops; i++) {
        std::string k = Num("key", long(rng() % 4000));
        if (rng() % 4 == 0) {
            if (db) Delete(db, k);
            m.erase(k);
        } else {
            std::string d(20 + rng() % 150, char('a' + rng() % 26));
            if (db) Store(db, k, d, 1);
            m[k] = d;
        }
    }
}

// Deletes three items of every four: merges leave pages nothing reaches.
void Thin(VRBM_Db *db, Model &m) {
    unsigned i = 0;
    for (auto it = m.begin(); it != m.end();)
        if (i++ % 4) {
            EXPECT_EQ(Delete(db, it->first), 0u);
            it = m.erase(it);
        } else {
            ++it;
        }
}

Model Items(VRBM_Db *db) {
    auto w = Walk(db);
    return Model(w.begin(), w.end());
}

class Crash : public DbTest {
  protected:
    // Reopens for writing (which settles any journal), checks the tree and
    // returns its items.
    Model Reopen() {
        VRBM_Db *db = OpenRw();
        EXPECT_NE(db, nullptr);
        if (!db) return {};
        EXPECT_EQ(Check(db), "");
        Model m = Items(db);
        VRBM_close(db);
        return m;
    }
    std::string Journal() const { return Path() + VRBM_JOURNAL_SUFFIX; }
    // Closes db, copying its write-back's journal to saved while pages are
    // written in place.
    void CloseKeepingJournal(VRBM_Db *db, const std::string &saved) {
        vrtest::IoTap copy([&](vrtest::IoOp op, const std::string &path) {
            if (op == vrtest::IoOp::Pwrite && path == File() && !std::filesystem::exists(saved))
                std::filesystem::copy_file(Journal(), saved);
            return false;
        });
        VRBM_close(db);
    }
};

// Items written back in an earlier session survive a writer killed (kill -9)
// part-way through the next one.
TEST_F(Crash, SecondSessionKilledLosesNothing) {
    VRBM_Db *db = Create();
    Model m;
    Churn(db, m, 6, 3000);
    VRBM_close(db);
    int st = vrtest::InChild([&] {
        Model scratch;
        Churn(OpenRw(), scratch, 7, 3000);
        raise(SIGKILL);
        return 0;
    });
    ASSERT_EQ(st, 128 + SIGKILL);
    EXPECT_TRUE(Reopen() == m);
}

// A write-back asked for with VRBM_sync survives the writer's death; the
// handle stays open and what follows it is lost.
TEST_F(Crash, SyncedChangesSurviveAKill) {
    Model m;
    Churn(nullptr, m, 8, 2000);
    int st = vrtest::InChild([&] {
        VRBM_Db *db = Create();
        Model scratch;
        Churn(db, scratch, 8, 2000);
        if (VRBM_sync(db) != 0 || VRBM_sync(db) != 0) return 1; // nothing new: also 0
        Churn(db, scratch, 9, 2000);
        raise(SIGKILL);
        return 0;
    });
    ASSERT_EQ(st, 128 + SIGKILL);
    EXPECT_TRUE(Reopen() == m);
    VRBM_Db *ro = OpenRo();
    EXPECT_EQ(VRBM_sync(ro), VRBM_E_READONLY);
    VRBM_close(ro);
    EXPECT_EQ(VRBM_sync(nullptr), VRBM_E_BADHANDLE);
}

// One write-back is cut after each of its changes in turn, by the death of
// the process and by a power loss that keeps none or some of the unsynced
// changes (and also cuts the roll back once).
TEST_F(Crash, EveryStepOfAWriteBack) {
    vrtest::MemFs fs;
    VRBM_Db *db = Create();
    Model old, next;
    Churn(db, old, 1, 600);
    VRBM_close(db);
    fs.PowerLoss(); // the write-back made everything durable, its name included
    const auto before = fs.Snapshot();
    next = old;
    Churn(nullptr, next, 2, 300);
    int outcomes[2] = {0, 0};
    std::mt19937 rng(5);
    for (int power : {0, 1, 2}) {
        for (long n = 0;; n++) {
            fs.Restore(before);
            db = OpenRw();
            ASSERT_NE(db, nullptr);
            Model scratch;
            Churn(db, scratch, 2, 300);
            fs.changes_left = n;
            VRBM_close(db);
            bool cut = fs.Dead();
            if (power) {
                fs.PowerLoss(power == 2 ? &rng : nullptr);
                fs.changes_left = n % 7; // the roll back is cut as well
                VRBM_close(OpenRw());
                fs.PowerLoss(power == 2 ? &rng : nullptr);
            } else {
                fs.Die();
            }
            Model got = Reopen();
            ASSERT_FALSE(HasFailure()) << "cut after change " << n << ", power loss " << power;
            ASSERT_TRUE(got == old || got == next)
                << "cut after change " << n << ", power loss " << power;
            EXPECT_FALSE(fs.Exists(Journal()));
            if (!cut) {
                EXPECT_TRUE(got == next);
                break;
            }
            outcomes[got == next]++;
        }
    }
    EXPECT_GT(outcomes[0], 20);
    EXPECT_GT(outcomes[1], 0);
}

// A journal left beside the file: a living writer's is waited for and not
// rolled back; a dead writer's is reported by the checker, refused by a
// reader that may not write, and rolled back by one that may.
TEST_F(Crash, LeftoverJournal) {
    VRBM_Db *db = Create();
    Model old, next;
    Churn(db, old, 3, 400);
    VRBM_close(db);
    // The journal of the next write-back, taken while it writes pages.
    db = OpenRw();
    next = old;
    Churn(db, next, 4, 200);
    const std::string saved = Path("saved");
    CloseKeepingJournal(db, saved);
    ASSERT_TRUE(std::filesystem::exists(saved));

    // A writer still at work holds its lock until its journal is gone.
    std::filesystem::copy_file(saved, Journal());
    int fd = open(File().c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &fl), 0);
    std::thread writer([&] {
        usleep(200000);
        std::filesystem::remove(Journal());
        close(fd);
    });
    auto t0 = std::chrono::steady_clock::now();
    db = OpenRo();
    writer.join();
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(150));
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(Items(db) == next);
    VRBM_close(db);

    // A dead writer's journal.
    std::filesystem::copy_file(saved, Journal());
    std::string report;
    EXPECT_EQ(vrcore::btree::CheckFile(File(), false, false, &report), 0);
    EXPECT_NE(report.find("unfinished write-back"), std::string::npos) << report;
    EXPECT_TRUE(std::filesystem::exists(Journal())); // the check wrote nothing
    if (geteuid() == 0) {
        int rc = vrtest::InChild([&] {
            if (setgid(65534) != 0 || setuid(65534) != 0) return 3;
            VRBM_Db *ro = OpenRo();
            return ro ? 1 : errno == EUCLEAN ? 0 : 2;
        });
        EXPECT_EQ(rc, 0) << "a reader without write access";
    }
    db = OpenRo();
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(Items(db) == old);
    VRBM_close(db);
    EXPECT_FALSE(std::filesystem::exists(Journal()));
}

// Compaction drops the pages nothing reaches and keeps every item; it
// rolls back a dead writer's journal first and refuses while a writer has
// the file open; a writer that opens while it runs waits and then works
// on the new file.
TEST_F(Crash, CompactionKeepsItemsAndKeepsOutWriters) {
    VRBM_Db *db = Create();
    Model old, next;
    Churn(db, old, 11, 6000);
    Thin(db, old);
    VRBM_close(db);
    db = OpenRw();
    next = old;
    Churn(db, next, 12, 300);
    std::string report;
    EXPECT_EQ(vrcore::btree::CompactFile(Path(), &report), 3) << report;
    { // a journal taken while the next write-back writes pages, left behind
        CloseKeepingJournal(db, Path("saved"));
        std::filesystem::copy_file(Path("saved"), Journal());
    }
    auto before = std::filesystem::file_size(File());
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t late = vrtest::Spawn([&] { // a writer that opens while compaction runs
        char c;
        if (read(go[0], &c, 1) != 1) return 2;
        VRBM_Db *w = OpenRw();
        if (!w || Store(w, "late", "1") != 0) return 1;
        VRBM_close(w);
        return 0;
    });
    {
        vrtest::IoTap start_writer([&](vrtest::IoOp op, const std::string &) {
            if (op == vrtest::IoOp::Rename && write(go[1], "G", 1) == 1)
                usleep(200000); // it opened the old file and waits
            return false;
        });
        EXPECT_EQ(vrcore::btree::CompactFile(Path(), &report), 0) << report;
    }
    close(go[0]);
    close(go[1]);
    EXPECT_NE(report.find("rolled back first"), std::string::npos) << report;
    EXPECT_EQ(vrtest::WaitStatus(late), 0);
    EXPECT_LT(std::filesystem::file_size(File()), before);
    old["late"] = "1";
    EXPECT_TRUE(Reopen() == old);
}

// Compaction cut after each of its changes, by the death of the process or
// a power loss: the file is the old one or the compacted one.
TEST_F(Crash, CompactionCutAnywhereLeavesOldOrNew) {
    vrtest::MemFs fs;
    VRBM_Db *db = Create();
    Model m;
    Churn(db, m, 13, 3000);
    Thin(db, m);
    VRBM_close(db);
    fs.PowerLoss();
    const auto before = fs.Snapshot();
    const std::string old_file = fs.Read(File());
    int compacted = 0;
    for (bool power : {false, true}) {
        for (long n = 0;; n++) {
            fs.Restore(before);
            fs.changes_left = n;
            std::string report;
            int rc = vrcore::btree::CompactFile(Path(), &report);
            bool cut = fs.Dead();
            power ? fs.PowerLoss() : fs.Die();
            const std::string now = fs.Read(File());
            ASSERT_TRUE(now == old_file || now.size() < old_file.size()) << n;
            compacted += now != old_file;
            ASSERT_TRUE(Reopen() == m) << "cut after change " << n << ", power loss " << power;
            if (!cut) {
                ASSERT_EQ(rc, 0) << report;
                break;
            }
        }
    }
    EXPECT_GT(compacted, 1);
}

} // namespace
