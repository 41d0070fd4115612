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
    EXPECT_EQ(catalog_dir(), "/opt/vr/share/vrcore/nls");
    EXPECT_EQ(windir(), "/opt/vr/etc/vrcore");
    EXPECT_EQ(registry_path(), "/opt/vr/etc/vrcore/registry.reg");
    setenv("windir", "/win/", 1);
    setenv("VRCORE_REGISTRY", "/cfg/r.reg", 1);
    EXPECT_EQ(windir(), "/win");
    EXPECT_EQ(registry_path(), "/cfg/r.reg");
    setenv("TS_ROOT", "/", 1);
    EXPECT_EQ(data_dir(), "/share/data");
    // Empty counts as unset: the compiled-in root.
    setenv("TS_ROOT", "", 1);
    std::string built_in = root_dir();
    unsetenv("TS_ROOT");
    EXPECT_EQ(root_dir(), built_in);
    EXPECT_EQ(built_in.front(), '/');
    unsetenv("windir");
    unsetenv("VRCORE_REGISTRY");

    cfgtest::ScratchRoot root;
    std::string deep = root.dir() + "/a/b/c";
    EXPECT_EQ(make_dirs(deep, 0755), 0);
    EXPECT_EQ(make_dirs(deep, 0755), 0);
    vrtest::WriteFile(root.dir() + "/file", "x");
    EXPECT_EQ(make_dirs(root.dir() + "/file/sub", 0755), ENOTDIR);
}

// The computer name is the host name's first label; the workgroup is the
// registry's, else the NIS domain, else the DNS domain.
TEST(HostIdentity, ComputerNameAndLanGroup) {
    std::string computer, group;
    ASSERT_EQ(host_computer_name(computer), 0);
    EXPECT_EQ(computer.find('.'), std::string::npos);
    char raw[256] = {};
    ASSERT_EQ(gethostname(raw, sizeof raw - 1), 0);
    EXPECT_EQ(std::string(raw).rfind(computer, 0), 0u);

    cfgtest::ScratchRoot root;
    std::string nis, dns;
    int rc = host_lan_group(group);
    if (rc != 0) group = "error " + std::to_string(rc);
    EXPECT_EQ(group, host_nis_domain(nis) == 0   ? nis
                     : host_dns_domain(dns) == 0 ? dns
                                                 : "error " + std::to_string(ENOENT));
    ASSERT_EQ(Registry().set_string("Software\\Halvane\\Tessaril", "LanGroup", "WORKGROUP"), 0);
    ASSERT_EQ(host_lan_group(group), 0);
    EXPECT_EQ(group, "WORKGROUP");
}

} // namespace
