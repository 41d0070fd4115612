// Installation paths from the environment, and the host's identity.
#include <unistd.h>

#include "helpers.h"
#include "system/config.h"

using namespace vrcore::system::cfg;

namespace {

TEST(Paths, FollowTheRootAndTheirOverrides) {
    setenv("TS_ROOT", "/opt/vr//", 1);
    unsetenv("windir");
    unsetenv("VRCORE_REGISTRY");
    EXPECT_EQ(CatalogDir(), "/opt/vr/share/vrcore/nls");
    EXPECT_EQ(Windir(), "/opt/vr/etc/vrcore");
    EXPECT_EQ(RegistryPath(), "/opt/vr/etc/vrcore/registry.reg");
    setenv("windir", "/win/", 1);
    setenv("VRCORE_REGISTRY", "/cfg/r.reg", 1);
    EXPECT_EQ(Windir(), "/win");
    EXPECT_EQ(RegistryPath(), "/cfg/r.reg");
    setenv("TS_ROOT", "/", 1);
    EXPECT_EQ(DataDir(), "/share/data");
    setenv("TS_ROOT", "", 1); // empty counts as unset: the compiled-in root
    std::string built_in = RootDir();
    unsetenv("TS_ROOT");
    EXPECT_EQ(RootDir(), built_in);

    cfgtest::ScratchRoot root; // which also clears the overrides
    for (int twice = 0; twice < 2; twice++) EXPECT_EQ(MakeDirs(root.Dir() + "/a/b/c", 0755), 0);
    vrtest::WriteFile(root.Dir() + "/file", "x");
    EXPECT_EQ(MakeDirs(root.Dir() + "/file/sub", 0755), ENOTDIR);
}

// The computer name is the host name's first label; the workgroup is the
// registry's when it has one.
TEST(HostIdentity, ComputerNameAndLanGroup) {
    std::string computer, group;
    ASSERT_EQ(HostComputerName(computer), 0);
    EXPECT_EQ(computer.find('.'), std::string::npos);
    char raw[256] = {};
    ASSERT_EQ(gethostname(raw, sizeof raw - 1), 0);
    EXPECT_EQ(std::string(raw).rfind(computer, 0), 0u);

    cfgtest::ScratchRoot root;
    ASSERT_EQ(Registry().SetString("Software\\Halvane\\Tessaril", "LanGroup", "WORKGROUP"), 0);
    ASSERT_EQ(HostLanGroup(group), 0);
    EXPECT_EQ(group, "WORKGROUP");
}

} // namespace
