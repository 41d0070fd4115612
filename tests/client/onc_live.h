// Runs the given tests of this program inside private network and mount
// namespaces with an rpcbind of their own and the scripted test server
// (onc_env.sh), and checks that all of them passed. Skips where root or
// the namespaces or the tools are missing.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "scratch.h"

namespace vrtest {

inline void RunInsideOncEnv(uint32_t program, uint32_t version, const std::string &filter,
                            int tests) {
    std::string why = geteuid() != 0 ? "not running as root" : "";
    for (std::string tool : {"unshare", "rpcbind", "rpcinfo", "ip"})
        if (why.empty() && system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0)
            why = tool + " is not installed";
    if (why.empty() && system("unshare --net --mount true >/dev/null 2>&1") != 0)
        why = "private network and mount namespaces are not allowed here";
    if (!why.empty()) GTEST_SKIP() << "ONC server test skipped: " << why;
    ScratchDir dir("vronc");
    std::string out = dir.Path() + "/out.log";
    std::string cmd = "unshare --net --mount --propagation private /bin/sh '" VRCORE_SOURCE_DIR
                      "/tests/client/onc_env.sh' '" +
                      std::filesystem::read_symlink("/proc/self/exe").string() +
                      "' '" ODP_TEST_SERVER "' " + std::to_string(program) + " " +
                      std::to_string(version) + " '" + filter + "' >'" + out + "' 2>&1";
    int rc = system(cmd.c_str());
    std::string log = ReadFile(out);
    EXPECT_EQ(rc, 0) << log;
    EXPECT_NE(log.find("[  PASSED  ] " + std::to_string(tests) + " test"), std::string::npos)
        << log;
}

} // namespace vrtest
