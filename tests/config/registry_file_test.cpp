// The registry file on disk: defaults, writes, and writers that race or die.
// GCC 12 at -O3 reports a false overlap in inlined std::string copies.
#pragma GCC diagnostic ignored "-Wrestrict"
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <random>

#include "helpers.h"
#include "memfs.h"
#include "system/config.h"
#include "vrcore/vrcfg.h"

using namespace vrcore::system::cfg;
using cfgtest::ScratchRoot;
using vrtest::ReadFile;
using vrtest::WriteFile;

namespace {

const char kKey[] = "Software\\Halvane\\Tessaril\\pgr";

// Files in a directory other than the registry and its lock file.
std::vector<std::string> strays(const std::string &dir) {
    std::vector<std::string> out;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != ".." && n != "registry.reg" && n != "registry.reg.lck")
                out.push_back(n);
        }
        closedir(d);
    }
    return out;
}

TEST(RegistryFile, DefaultsForMissingFileKeyValueOrType) {
    ScratchRoot root;
    Registry reg;
    EXPECT_EQ(reg.path(), root.dir() + "/etc/vrcore/registry.reg");
    EXPECT_EQ(reg.get_dword(kKey, "CallMaxRetry", 10), 10u);
    EXPECT_EQ(reg.get_string(kKey, "ServerAddress", "none"), "none");

    ASSERT_EQ(reg.set_string(kKey, "ServerAddress", "10.0.0.7"), 0);
    ASSERT_EQ(reg.set_dword(kKey, "ImportMaxTry", 3), 0);
    EXPECT_EQ(reg.get_dword("Software\\Other", "ImportMaxTry", 5), 5u);
    EXPECT_EQ(reg.get_dword(kKey, "ServerAddress", 5), 5u);    // a string is not a number
    EXPECT_EQ(reg.get_string(kKey, "ImportMaxTry", "d"), "d"); // nor a number a string
    EXPECT_EQ(reg.get_dword(kKey, "ImportMaxTry", 5), 3u);
    EXPECT_EQ(reg.get_string(kKey, "ServerAddress", ""), "10.0.0.7");

    // An unreadable registry (here a directory) also gives the defaults.
    Registry dir(root.dir());
    EXPECT_EQ(dir.get_dword(kKey, "ImportMaxTry", 9), 9u);
}

TEST(RegistryFile, ExpandableStringsAreExpandedOnRead) {
    ScratchRoot root;
    Registry reg;
    setenv("VRCFG_T", "/x", 1);
    ASSERT_EQ(reg.set_string(kKey, "LocalFileDirectory", "%windir%/pgr%VRCFG_T%%NOPE%", true), 0);
    EXPECT_EQ(reg.get_string(kKey, "LocalFileDirectory", ""),
              root.dir() + "/etc/vrcore/pgr/x%NOPE%");
    setenv("windir", "/w", 1);
    EXPECT_EQ(reg.get_string(kKey, "LocalFileDirectory", ""), "/w/pgr/x%NOPE%");
    RegValue raw;
    ASSERT_TRUE(reg.query(kKey, "LocalFileDirectory", raw));
    EXPECT_EQ(raw.text, "%windir%/pgr%VRCFG_T%%NOPE%");
    EXPECT_EQ(expand_env("%NOPE%VRCFG_T%"), "%NOPE/x");
    EXPECT_EQ(expand_env("100%% sure %"), "100%% sure %");
    unsetenv("VRCFG_T");
}

TEST(RegistryFile, WritesKeepModeCommentsAndLeaveNoTemporaries) {
    ScratchRoot root;
    Registry reg;
    ASSERT_EQ(reg.set_string(kKey, "a", "1"), 0);
    std::string etc = root.dir() + "/etc/vrcore";
    struct stat st;
    ASSERT_EQ(stat(reg.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(stat((reg.path() + ".lck").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);

    WriteFile(reg.path(), ReadFile(reg.path()) + "; hand-written note\nstray text\n");
    ASSERT_EQ(chmod(reg.path().c_str(), 0640), 0);
    ASSERT_EQ(reg.set_dword(kKey, "a", 2), 0);
    ASSERT_EQ(stat(reg.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    std::string text = ReadFile(reg.path());
    EXPECT_NE(text.find("; hand-written note\nstray text\n"), std::string::npos);
    EXPECT_NE(text.find("\"a\"=dword:00000002"), std::string::npos);
    EXPECT_TRUE(strays(etc).empty());

    EXPECT_EQ(reg.delete_value(kKey, "a"), 0);
    EXPECT_EQ(reg.delete_value(kKey, "a"), ENOENT);
    EXPECT_EQ(reg.delete_key("Software\\Nope"), ENOENT);
    EXPECT_EQ(reg.set_string(kKey, "bad", "new\nline"), EINVAL);
    EXPECT_EQ(reg.set_string("Soft]ware", "x", "y"), EINVAL);
    EXPECT_EQ(Registry(root.dir() + "/none/registry.reg").delete_value(kKey, "a"), ENOENT);
    EXPECT_TRUE(strays(etc).empty());
}

TEST(RegistryFile, WritesThroughASymbolicLinkKeepTheLink) {
    ScratchRoot root;
    std::string real = root.dir() + "/real.reg", link = root.dir() + "/link.reg";
    WriteFile(real, "[Software\\A]\n\"x\"=\"1\"\n");
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    Registry reg(link);
    ASSERT_EQ(reg.set_string("Software\\A", "y", "2"), 0);
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Registry(real).get_string("Software\\A", "y", ""), "2");
}

TEST(RegistryFile, CInterface) {
    ScratchRoot root;
    char buf[8];
    EXPECT_EQ(VR_RegGetString(kKey, "s", nullptr, buf, sizeof buf), -1);
    EXPECT_STREQ(buf, "");
    ASSERT_EQ(VR_RegSetString(kKey, "s", "0123456789"), 0);
    EXPECT_EQ(VR_RegGetString(kKey, "s", nullptr, buf, sizeof buf), 10); // cut, full length told
    EXPECT_STREQ(buf, "0123456");
    ASSERT_EQ(VR_RegSetExpandString(kKey, nullptr, "%TS_ROOT%"), 0);
    char big[512];
    EXPECT_EQ(VR_RegGetString(kKey, "", nullptr, big, sizeof big),
              static_cast<long>(root.dir().size()));
    EXPECT_EQ(std::string(big), root.dir());
    ASSERT_EQ(VR_RegSetDword(kKey, "d", 0xfffffffeu), 0);
    EXPECT_EQ(VR_RegGetDword(kKey, "d", 1), 0xfffffffeu);
    EXPECT_EQ(VR_RegGetString(kKey, "d", "x", big, sizeof big), 1); // a number is not a string
    EXPECT_EQ(VR_RegSetString(nullptr, "a", "b"), EINVAL);
}

// Two processes each set 200 values at once; all 400 must be there.
TEST(RegistryFile, ConcurrentWritersLoseNoUpdate) {
    ScratchRoot root;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> kids;
    for (int p = 0; p < 2; ++p) {
        kids.push_back(vrtest::Spawn([&, p] {
            ::close(gate[1]);
            char c;
            if (read(gate[0], &c, 1) != 0) // released when the parent closes
                return 3;
            Registry reg;
            for (int i = 0; i < 200; ++i) {
                std::string n = "p" + std::to_string(p) + "_" + std::to_string(i);
                if (p == 0 ? reg.set_string(kKey, n, n + "!")
                           : reg.set_dword(kKey, n, static_cast<uint32_t>(i)))
                    return 1;
            }
            return 0;
        }));
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t k : kids) {
        int st = vrtest::WaitStatus(k);
        ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
    }
    RegDocument doc;
    ASSERT_EQ(Registry().load(doc), 0);
    EXPECT_EQ(doc.malformed(), 0u);
    EXPECT_EQ(doc.values(kKey).size(), 400u);
    for (int i = 0; i < 200; ++i) {
        std::string a = "p0_" + std::to_string(i), b = "p1_" + std::to_string(i);
        const RegValue *va = doc.find(kKey, a), *vb = doc.find(kKey, b);
        ASSERT_TRUE(va && vb) << i;
        EXPECT_EQ(va->text, a + "!");
        EXPECT_EQ(vb->dword, static_cast<uint32_t>(i));
    }
}

// A rewrite cut after each of its changes, by the writer's death or by a
// power loss that keeps none or some of the unsynced changes, leaves the
// old file or the new one.
TEST(RegistryFile, CutAtEveryChangeLeavesOldOrNew) {
    ScratchRoot root;
    Registry reg;
    vrtest::MemFs fs;
    ASSERT_EQ(reg.set_string(kKey, "v", "old"), 0);
    const auto before = fs.Snapshot();
    const std::string next = "new, longer than the old value";
    std::mt19937 rng(3);
    for (int power : {0, 1, 2, 2, 2, 2, 2, 2})
        for (long n = 0;; n++) {
            SCOPED_TRACE(testing::Message()
                         << "cut after change " << n << ", power loss " << power);
            fs.Restore(before);
            fs.changes_left = n;
            int rc = reg.set_string(kKey, "v", next);
            bool cut = fs.dead();
            power ? fs.PowerLoss(power == 2 ? &rng : nullptr) : fs.Die();
            RegDocument doc;
            ASSERT_EQ(reg.load(doc), 0);
            EXPECT_EQ(doc.malformed(), 0u);
            const RegValue *v = doc.find(kKey, "v");
            ASSERT_TRUE(v && (v->text == "old" || v->text == next));
            if (!cut) {
                EXPECT_EQ(rc, 0);
                EXPECT_EQ(v->text, next);
                break;
            }
        }
}

// A writer killed in the middle of a rewrite holds up no later one.
TEST(RegistryFile, KilledWriterLeavesNoLock) {
    ScratchRoot root;
    Registry reg;
    ASSERT_EQ(reg.set_string(kKey, "v", "old"), 0);
    pid_t pid = vrtest::Spawn([&] {
        vrtest::IoTap die(
            [](vrtest::IoOp op, auto &) { return op == vrtest::IoOp::Rename && raise(SIGKILL); });
        return reg.set_string(kKey, "v", "new");
    });
    int st = vrtest::WaitStatus(pid);
    ASSERT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGKILL) << st;
    EXPECT_EQ(reg.get_string(kKey, "v", ""), "old");
    ASSERT_EQ(reg.set_string(kKey, "v", "next"), 0);
    EXPECT_EQ(reg.get_string(kKey, "v", ""), "next");
}

} // namespace
