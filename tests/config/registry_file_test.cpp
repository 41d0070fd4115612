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
std::vector<std::string> Strays(const std::string &dir) {
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
    EXPECT_EQ(reg.Path(), root.Dir() + "/etc/vrcore/registry.reg");
    EXPECT_EQ(reg.GetDword(kKey, "CallMaxRetry", 10), 10u);
    EXPECT_EQ(reg.GetString(kKey, "ServerAddress", "none"), "none");

    ASSERT_EQ(reg.SetString(kKey, "ServerAddress", "10.0.0.7"), 0);
    ASSERT_EQ(reg.SetDword(kKey, "ImportMaxTry", 3), 0);
    EXPECT_EQ(reg.GetDword("Software\\Other", "ImportMaxTry", 5), 5u);
    EXPECT_EQ(reg.GetDword(kKey, "ServerAddress", 5), 5u);    // a string is not a number
    EXPECT_EQ(reg.GetString(kKey, "ImportMaxTry", "d"), "d"); // nor a number a string
    EXPECT_EQ(reg.GetDword(kKey, "ImportMaxTry", 5), 3u);
    EXPECT_EQ(reg.GetString(kKey, "ServerAddress", ""), "10.0.0.7");

    // An unreadable registry (here a directory) also gives the defaults.
    Registry dir(root.Dir());
    EXPECT_EQ(dir.GetDword(kKey, "ImportMaxTry", 9), 9u);
}

TEST(RegistryFile, ExpandableStringsAreExpandedOnRead) {
    ScratchRoot root;
    Registry reg;
    setenv("VRCFG_T", "/x", 1);
    ASSERT_EQ(reg.SetString(kKey, "LocalFileDirectory", "%windir%/pgr%VRCFG_T%%NOPE%", true), 0);
    EXPECT_EQ(reg.GetString(kKey, "LocalFileDirectory", ""),
              root.Dir() + "/etc/vrcore/pgr/x%NOPE%");
    setenv("windir", "/w", 1);
    EXPECT_EQ(reg.GetString(kKey, "LocalFileDirectory", ""), "/w/pgr/x%NOPE%");
    RegValue raw;
    ASSERT_TRUE(reg.Query(kKey, "LocalFileDirectory", raw));
    EXPECT_EQ(raw.text, "%windir%/pgr%VRCFG_T%%NOPE%");
    EXPECT_EQ(ExpandEnv("%NOPE%VRCFG_T%"), "%NOPE/x");
    EXPECT_EQ(ExpandEnv("100%% sure %"), "100%% sure %");
    unsetenv("VRCFG_T");
}

TEST(RegistryFile, WritesKeepModeCommentsAndLeaveNoTemporaries) {
    ScratchRoot root;
    Registry reg;
    ASSERT_EQ(reg.SetString(kKey, "a", "1"), 0);
    std::string etc = root.Dir() + "/etc/vrcore";
    struct stat st;
    ASSERT_EQ(stat(reg.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(stat((reg.Path() + ".lck").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);

    WriteFile(reg.Path(), ReadFile(reg.Path()) + "; hand-written note\nstray text\n");
    ASSERT_EQ(chmod(reg.Path().c_str(), 0640), 0);
    ASSERT_EQ(reg.SetDword(kKey, "a", 2), 0);
    ASSERT_EQ(stat(reg.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    std::string text = ReadFile(reg.Path());
    EXPECT_NE(text.find("; hand-written note\nstray text\n"), std::string::npos);
    EXPECT_NE(text.find("\"a\"=dword:00000002"), std::string::npos);
    EXPECT_TRUE(Strays(etc).empty());

    EXPECT_EQ(reg.DeleteValue(kKey, "a"), 0);
    EXPECT_EQ(reg.DeleteValue(kKey, "a"), ENOENT);
    EXPECT_EQ(reg.DeleteKey("Software\\Nope"), ENOENT);
    EXPECT_EQ(reg.SetString(kKey, "bad", "new\nline"), EINVAL);
    EXPECT_EQ(reg.SetString("Soft]ware", "x", "y"), EINVAL);
    EXPECT_EQ(Registry(root.Dir() + "/none/registry.reg").DeleteValue(kKey, "a"), ENOENT);
    EXPECT_TRUE(Strays(etc).empty());
}

TEST(RegistryFile, WritesThroughASymbolicLinkKeepTheLink) {
    ScratchRoot root;
    std::string real = root.Dir() + "/real.reg", link = root.Dir() + "/link.reg";
    WriteFile(real, "[Software\\A]\n\"x\"=\"1\"\n");
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    Registry reg(link);
    ASSERT_EQ(reg.SetString("Software\\A", "y", "2"), 0);
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Registry(real).GetString("Software\\A", "y", ""), "2");
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
              static_cast<long>(root.Dir().size()));
    EXPECT_EQ(std::string(big), root.Dir());
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
                if (p == 0 ? reg.SetString(kKey, n, n + "!")
                           : reg.SetDword(kKey, n, static_cast<uint32_t>(i)))
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
    ASSERT_EQ(Registry().Load(doc), 0);
    EXPECT_EQ(doc.Malformed(), 0u);
    EXPECT_EQ(doc.Values(kKey).size(), 400u);
    for (int i = 0; i < 200; ++i) {
        std::string a = "p0_" + std::to_string(i), b = "p1_" + std::to_string(i);
        const RegValue *va = doc.Find(kKey, a), *vb = doc.Find(kKey, b);
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
    ASSERT_EQ(reg.SetString(kKey, "v", "old"), 0);
    const auto before = fs.Snapshot();
    const std::string next = "new, longer than the old value";
    std::mt19937 rng(3);
    for (int power : {0, 1, 2, 2, 2, 2, 2, 2})
        for (long n = 0;; n++) {
            SCOPED_TRACE(testing::Message()
                         << "cut after change " << n << ", power loss " << power);
            fs.Restore(before);
            fs.changes_left = n;
            int rc = reg.SetString(kKey, "v", next);
            bool cut = fs.Dead();
            power ? fs.PowerLoss(power == 2 ? &rng : nullptr) : fs.Die();
            RegDocument doc;
            ASSERT_EQ(reg.Load(doc), 0);
            EXPECT_EQ(doc.Malformed(), 0u);
            const RegValue *v = doc.Find(kKey, "v");
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
    ASSERT_EQ(reg.SetString(kKey, "v", "old"), 0);
    pid_t pid = vrtest::Spawn([&] {
        vrtest::IoTap die(
            [](vrtest::IoOp op, auto &) { return op == vrtest::IoOp::Rename && raise(SIGKILL); });
        return reg.SetString(kKey, "v", "new");
    });
    int st = vrtest::WaitStatus(pid);
    ASSERT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGKILL) << st;
    EXPECT_EQ(reg.GetString(kKey, "v", ""), "old");
    ASSERT_EQ(reg.SetString(kKey, "v", "next"), 0);
    EXPECT_EQ(reg.GetString(kKey, "v", ""), "next");
}

} // namespace
