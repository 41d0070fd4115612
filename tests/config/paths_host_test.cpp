// Installation paths from the environment, and the host's identity.
#include <cerrno>
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
    // Empty counts as unset: the compiled-in root.
    setenv("TS_ROOT", "", 1);
    std::string built_in = RootDir();
    unsetenv("TS_ROOT");
    EXPECT_EQ(RootDir(), built_in);
    EXPECT_EQ(built_in.front(), '/');
    unsetenv("windir");
    unsetenv("VRCORE_REGISTRY");

    cfgtest::ScratchRoot root;
    std::string deep = root.Dir() + "/a/b/c";
    EXPECT_EQ(MakeDirs(deep, 0755), 0);
    EXPECT_EQ(MakeDirs(deep, 0755), 0);
    vrtest::WriteFile(root.Dir() + "/file", "x");
    EXPECT_EQ(MakeDirs(root.Dir() + "/file/sub", 0755), ENOTDIR);
}

// The computer name is the host name's first label; the workgroup is the
// registry's, else the NIS domain, else the DNS domain.
TEST(HostIdentity, ComputerNameAndLanGroup) {
    std::string computer, group;
    ASSERT_EQ(HostComputerName(computer), 0);
    EXPECT_EQ(computer.find('.'), std::string::npos);
    char raw[256] = {};
    ASSERT_EQ(gethostname(raw, sizeof raw - 1), 0);
    EXPECT_EQ(std::string(raw).rfind(computer, 0), 0u);

    cfgtest::ScratchRoot root;
    std::string nis, dns;
    int rc = HostLanGroup(group);
    if (rc != 0) group = "error " + std::to_string(rc);
    EXPECT_EQ(group, HostNisDomain(nis) == 0   ? nis
                     : HostDnsDomain(dns) == 0 ? dns
                                               : "error " + std::to_string(ENOENT));
    ASSERT_EQ(Registry().SetString("Software\\Halvane\\Tessaril", "LanGroup", "WORKGROUP"), 0);
    ASSERT_EQ(HostLanGroup(group), 0);
    EXPECT_EQ(group, "WORKGROUP");
}

} // namespace
