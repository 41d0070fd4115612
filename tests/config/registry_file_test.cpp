// The registry file on disk: defaults, writes, and writers that race or die.
// GCC 12 at -O3 reports a false overlap in inlined std::string copies.
#pragma GCC diagnostic ignored "-Wrestrict"
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#include <random>
#include <string>
#include <vector>

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
    EXPECT_EQ(ExpandEnv("100%% sure %"), "100%% sure %");
    unsetenv("VRCFG_T");
}

TEST(RegistryFile, WritesKeepModeAndLeaveNoTemporaries) {
    ScratchRoot root;
    Registry reg;
    ASSERT_EQ(reg.SetString(kKey, "a", "1"), 0);
    std::string etc = root.Dir() + "/etc/vrcore";
    struct stat st;
    ASSERT_EQ(stat(reg.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(stat((reg.Path() + ".lck").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);

    ASSERT_EQ(chmod(reg.Path().c_str(), 0640), 0);
    ASSERT_EQ(reg.SetDword(kKey, "a", 2), 0);
    ASSERT_EQ(stat(reg.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    std::string text = ReadFile(reg.Path());
    EXPECT_NE(text.find("\"a\"=dword:00000002"), std::string::npos);
    EXPECT_TRUE(cfgtest::Strays(etc).empty());

    EXPECT_EQ(reg.DeleteKey("Software\\Nope"), ENOENT);
    EXPECT_EQ(reg.SetString(kKey, "bad", "new\nline"), EINVAL);
    EXPECT_EQ(Registry(root.Dir() + "/none/registry.reg").DeleteValue(kKey, "a"), ENOENT);
    EXPECT_TRUE(cfgtest::Strays(etc).empty());
}

// Defaults for a missing file, key, value or type, through the C interface.
TEST(RegistryFile, DefaultsAndTheCInterface) {
    ScratchRoot root;
    char buf[8], big[512];
    EXPECT_EQ(VR_RegGetString(kKey, "s", nullptr, buf, sizeof buf), -1);
    EXPECT_STREQ(buf, "");
    ASSERT_EQ(VR_RegSetString(kKey, "s", "0123456789"), 0);
    EXPECT_EQ(VR_RegGetString(kKey, "s", nullptr, buf, sizeof buf), 10); // cut, full length told
    EXPECT_STREQ(buf, "0123456");
    ASSERT_EQ(VR_RegSetExpandString(kKey, nullptr, "%TS_ROOT%"), 0);
    EXPECT_EQ(VR_RegGetString(kKey, "", nullptr, big, sizeof big),
              static_cast<long>(root.Dir().size()));
    EXPECT_EQ(std::string(big), root.Dir());
    ASSERT_EQ(VR_RegSetDword(kKey, "d", 0xfffffffeu), 0);
    EXPECT_EQ(VR_RegGetDword(kKey, "d", 1), 0xfffffffeu);
    EXPECT_EQ(VR_RegGetString(kKey, "d", "x", big, sizeof big), 1); // a number is not a string
    EXPECT_EQ(VR_RegGetDword(kKey, "s", 5), 5u);                    // nor a string a number
    EXPECT_EQ(VR_RegSetString(nullptr, "a", "b"), EINVAL);
    // The keys under a key, each once whatever its case, in the file's order.
    for (const char *sub : {"\\B\\x", "\\a", "\\A\\deep"})
        ASSERT_EQ(VR_RegSetDword((std::string(kKey) + sub).c_str(), "v", 1), 0);
    std::vector<std::string> subs;
    for (uint32_t i = 0; VR_RegEnumKey(kKey, i, big, sizeof big) >= 0; ++i) subs.push_back(big);
    EXPECT_EQ(subs, (std::vector<std::string>{"B", "a"}));
    EXPECT_EQ(VR_RegEnumKey("Software\\None", 0, big, sizeof big), -1);
    // An unreadable registry (here a directory) also gives the defaults.
    EXPECT_EQ(Registry(root.Dir()).GetDword(kKey, "d", 9), 9u);
}

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
    for (pid_t k : kids) ASSERT_EQ(vrtest::WaitStatus(k), 0);
    Registry reg;
    for (int i = 0; i < 200; ++i) {
        std::string a = "p0_" + std::to_string(i);
        EXPECT_EQ(reg.GetString(kKey, a, ""), a + "!");
        EXPECT_EQ(reg.GetDword(kKey, "p1_" + std::to_string(i), 999), static_cast<uint32_t>(i));
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

} // namespace
