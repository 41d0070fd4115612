// Installation paths from the environment.
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
}

} // namespace
