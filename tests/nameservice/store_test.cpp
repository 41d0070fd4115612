// The local store: class files, replacement rules, the crash-safe rewrite
// and the lock between processes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <random>

#include "memfs.h"
#include "nameservice/ns_store.h"
#include "scratch.h"

using namespace vrcore::nameservice;
using vrtest::InChild;

namespace {

Entry Server(const std::string &name, const std::string &domain, const std::string &host,
             const std::string &binding) {
    return Entry{name, domain, {binding}, host, 7, NS_CLASS_NONE, "", "", {}};
}

Entry Assoc(const std::string &name, const std::string &domain, int32_t scls,
            const std::string &sname) {
    return Entry{name, domain, {}, "", 0, scls, sname, domain, {}};
}

std::vector<std::string> Names(Store &s, int32_t cls, const std::string &domain) {
    std::vector<Identity> v;
    EXPECT_EQ(s.List(cls, domain, v), 0);
    std::vector<std::string> out;
    for (auto &i : v) out.push_back(std::string(ClassName(i.cls)) + ":" + i.name);
    return out;
}

class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(store.Init(dir.Path() + "/pgr"), 0); }
    void TearDown() override { store.Term(); }
    std::string File(const char *cls, const char *suffix) {
        return dir.Path() + "/pgr/" + cls + suffix;
    }
    int Add(int32_t cls, const Entry &e, bool force = false, uint32_t *flags = nullptr) {
        return store.Create(cls, e, force, flags);
    }

    vrtest::ScratchDir dir;
    Store store;
};

} // namespace

TEST(ClassFile, ParsesWhatItWritesAndSkipsCommentsAnywhere) {
    std::vector<Entry> in = {Server("s1", "Dom", "HOSTA", "u@ncacn_ip_tcp:10.0.0.1"),
                             Server("s2", "dom", "HOSTB", "u@ncacn_ip_udp:h")};
    std::string text = RenderClassFile(3, in, "Sun Dec  6 20:00:00 2026\n");
    EXPECT_EQ(text.rfind("# V1.11:recovery file for spooler\n# last modified Sun", 0), 0u);
    EXPECT_NE(text.find("# Dom\\s1(spooler)\ns1\nDom\n1\n"), std::string::npos);
    std::vector<Entry> out;

    // Comments and blank lines between any two lines of an entry.
    std::string sparse = "\n# c\nlp1\n\n#x\nD\nspooler\n# y\n\nS\nD";
    ASSERT_EQ(ParseClassFile(sparse, 0, out), 0);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].server_class, 3);
    EXPECT_EQ(out[0].server_domain, "D");

    // Only the header: empty.
    ASSERT_EQ(ParseClassFile(RenderClassFile(8, {}, "x\n"), 8, out), 0);
    EXPECT_TRUE(out.empty());
}

TEST(ClassFile, MalformedFilesGiveTheirCodes) {
    std::vector<Entry> out;
    EXPECT_EQ(ParseClassFile("s\nd\n0\nh\n1\n", 3, out), 19);      // count 0
    EXPECT_EQ(ParseClassFile("p\nd\nprinter\nS\nD\n", 0, out), 5); // unknown class name
}

TEST_F(StoreTest, SharedNameSpacesYieldOnlyToForce) {
    ASSERT_EQ(Add(4, Server("S", "d", "h", "x")), 0);
    ASSERT_EQ(Add(1, Assoc("X", "d", 4, "S")), 0);
    EXPECT_EQ(Add(0, Assoc("X", "D", 3, "L")), 16);
    uint32_t flags = 0;
    ASSERT_EQ(Add(0, Assoc("X", "D", 3, "L"), true, &flags), 0);
    EXPECT_EQ(flags, 4u);
    EXPECT_TRUE(Names(store, 1, "d").empty());
    EXPECT_EQ(Names(store, 0, "d"), std::vector<std::string>{"lp:X"});
    // The servers' name space likewise.
    EXPECT_EQ(Add(3, Server("S", "d", "h", "x")), 16);
}

TEST_F(StoreTest, ReplacementRulesByHandler) {
    // Servers: same machine (host name ignoring case, addresses in common).
    ASSERT_EQ(Add(3, Server("S", "d", "HOST1", "u@ncacn_ip_tcp:127.0.0.1[99]")), 0);
    uint32_t flags = 0;
    EXPECT_EQ(Add(3, Server("S", "d", "host1", "v@ncacn_ip_tcp:localhost"), false, &flags), 0);
    EXPECT_EQ(flags, 4u);
    EXPECT_EQ(Add(3, Server("S", "d", "HOST2", "v@ncacn_ip_tcp:127.0.0.1")), 16);
    EXPECT_EQ(Add(3, Server("S", "d", "host1", "ncacn_ip_tcp:no-such-host.invalid")), 19);
    // No IP binding on one side: allowed.
    EXPECT_EQ(Add(3, Server("S", "d", "HOST1", "ncalrpc:ep")), 0);

    // Associations: same server class, server name exactly, domain ignoring case.
    ASSERT_EQ(Add(0, Assoc("P", "d", 3, "S")), 0);
    EXPECT_EQ(Add(0, Assoc("P", "D", 3, "S")), 0);
    EXPECT_EQ(Add(0, Assoc("P", "d", 3, "s")), 16);
    EXPECT_EQ(Add(0, Assoc("P", "d", 3, "s"), true), 0);

    // Groups: only with force.
    Entry g{"G", "d", {}, "", 0, NS_CLASS_NONE, "", "", {Identity{0, "P", "d"}}};
    ASSERT_EQ(Add(8, g), 0);
    EXPECT_EQ(Add(8, g), 16);
    EXPECT_EQ(Add(8, g, true), 0);
    g.members.clear();
    EXPECT_EQ(Add(8, g, true), 3);
}

TEST_F(StoreTest, MatchingAndLookup) {
    ASSERT_EQ(Add(3, Server("S", "Sales", "h", "b1")), 0);
    ASSERT_EQ(Add(0, Assoc("P1", "Sales", 3, "S")), 0);
    ASSERT_EQ(Add(0, Assoc("p1", "sales", 3, "S")), 0);
    ASSERT_EQ(Add(1, Assoc("Phys", "SALES", 4, "gone")), 0);
    EXPECT_EQ(Names(store, 0, "SALES"), (std::vector<std::string>{"lp:P1", "lp:p1"}));
    EXPECT_EQ(Names(store, 2, "sales"), (std::vector<std::string>{"lp:P1", "lp:p1", "pp:Phys"}));

    Found f;
    ASSERT_EQ(store.Get(Identity{2, "p1", "SALES"}, f), 0);
    EXPECT_TRUE(f.id.cls == 0 && f.id.name == "p1" && f.server_name == "S");
    EXPECT_EQ(f.bindings, std::vector<std::string>{"b1"});
    EXPECT_EQ(store.Get(Identity{0, "P2", "sales"}, f), 15);
    EXPECT_EQ(store.Get(Identity{2, "Phys", "sales"}, f), 17); // its supervisor is not registered
    std::string host;
    EXPECT_EQ(store.GetHost(Identity{0, "P1", "sales"}, host), 0);
    EXPECT_EQ(host, "h");

    EXPECT_EQ(store.Remove(Identity{0, "P2", "sales"}), 15);
    EXPECT_EQ(store.Remove(Identity{0, "P1", "SALES"}), 0);
    EXPECT_EQ(Names(store, 0, "sales"), std::vector<std::string>{"lp:p1"});

    // Lines that would break the file are refused.
    EXPECT_EQ(Add(0, Assoc("a\nb", "d", 3, "S")), 10);
    EXPECT_EQ(Add(3, Server("T", "d", "", "b")), 11);
}

TEST_F(StoreTest, UnreadableFileIsReportedAndKept) {
    vrtest::WriteFile(File("lp", ".dat"), "P\nd\nprinter\nS\nd\n");
    std::vector<Identity> v;
    EXPECT_EQ(store.List(0, "d", v), 5);
    EXPECT_EQ(Add(0, Assoc("N", "d", 3, "S"), true), 5);
    EXPECT_EQ(vrtest::ReadFile(File("lp", ".dat")), "P\nd\nprinter\nS\nd\n");
}

// A rewrite cut after each of its changes, by the writer's death or by a
// power loss that keeps none or some of the unsynced changes: the next
// writer, or a process that starts and reads first, finds the old entries
// or the new ones and no leftover.
TEST_F(StoreTest, RewriteCutAtEveryChange) {
    vrtest::MemFs fs;
    Store s;
    ASSERT_EQ(s.Init(store.Dir()), 0);
    for (const char *n : {"A1", "A2"})
        ASSERT_EQ(s.Create(0, Assoc(n, "d", 3, "S"), false, nullptr), 0);
    const auto before = fs.Snapshot();
    const std::vector<std::string> old = {"lp:A1", "lp:A2"}, added = {"lp:A1", "lp:A2", "lp:B"};
    std::mt19937 rng(4);
    for (int power : {0, 1, 2, 2, 2, 2, 2, 2})
        for (long n = 0;; n++) {
            SCOPED_TRACE(testing::Message()
                         << "cut after change " << n << ", power loss " << power);
            fs.Restore(before);
            fs.changes_left = n;
            int rc = s.Create(0, Assoc("B", "d", 3, "S"), false, nullptr);
            bool cut = fs.Dead();
            power ? fs.PowerLoss(power == 2 ? &rng : nullptr) : fs.Die();
            Store fresh;
            std::vector<std::string> seen;
            if (n % 2) {
                ASSERT_EQ(fresh.Init(store.Dir()), 0);
                EXPECT_FALSE(fs.Exists(File("lp", ".new")) || fs.Exists(File("lp", ".tmp")));
                seen = Names(fresh, 0, "d");
            }
            ASSERT_EQ(s.Create(0, Assoc("C", "d", 3, "S"), false, nullptr), 0);
            std::vector<std::string> now = Names(s, 0, "d");
            ASSERT_TRUE(!now.empty() && now.back() == "lp:C");
            now.pop_back();
            ASSERT_TRUE(now == old || now == added);
            EXPECT_TRUE(n % 2 == 0 || seen == now);
            EXPECT_FALSE(fs.Exists(File("lp", ".new")) || fs.Exists(File("lp", ".tmp")));
            if (!cut) {
                EXPECT_EQ(rc, 0);
                EXPECT_EQ(now, added);
                break;
            }
        }
}

// The lock file is usable by every user; one held elsewhere times out.
TEST_F(StoreTest, LockHeldElsewhereTimesOut) {
    struct stat st;
    ASSERT_EQ(stat((store.Dir() + "/lockfile").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
    int fd = open((store.Dir() + "/lockfile").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    SetLockLimitMs(30);
    EXPECT_EQ(InChild([&] { return Store().Init(store.Dir()); }), 19);
    SetLockLimitMs(600L * 1000);
    flock(fd, LOCK_UN);
    close(fd);
    EXPECT_TRUE(Names(store, 0, "d").empty());
}
