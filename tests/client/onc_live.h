// Runs the given tests of this program inside private network and mount
// namespaces with an rpcbind of their own and the scripted test server
// (onc_env.sh) started with `server_args`, and the endpoint mapper when one
// is named, and checks that all of them passed. Skips where root or
// the namespaces or the tools are missing.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <rpc/rpc.h>
#include <string>
#include <unistd.h>

#include "namespaces.h"
#include "scratch.h"
#include "vrcore/odpcli.h"

namespace vrtest {

inline void RunInsideOncEnv(uint32_t program, uint32_t version, const std::string &filter,
                            int tests, const std::string &server_args = "",
                            const std::string &mapper = "") {
    std::string why = NamespacesUnavailable({"unshare", "rpcbind", "rpcinfo", "ip"});
    if (!why.empty()) GTEST_SKIP() << "ONC server test skipped: " << why;
    ScratchDir dir("vronc");
    std::string out = dir.Path() + "/out.log";
    std::string cmd = "unshare --net --mount --propagation private /bin/sh '" VRCORE_SOURCE_DIR
                      "/tests/client/onc_env.sh' '" +
                      std::filesystem::read_symlink("/proc/self/exe").string() +
                      "' '" ODP_TEST_SERVER "' " + std::to_string(program) + " " +
                      std::to_string(version) + " '" + filter + "' '" + server_args + "' '" +
                      mapper + "' >'" + out + "' 2>&1";
    int rc = system(cmd.c_str());
    std::string log = ReadFile(out);
    EXPECT_EQ(rc, 0) << log;
    EXPECT_NE(log.find("[  PASSED  ] " + std::to_string(tests) + " test"), std::string::npos)
        << log;
}

// An XDR routine in the form the RPC library calls it.
template <class F> xdrproc_t Proc(F *f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

// Appends the lines of script to the test server's script through its
// control procedure (2). Its reply, which the caller frees with xdr_free,
// describes the last request the server took: its operation as the kind,
// its bytes as the result, and {every byte sign-extended, decoded} as the
// error. False (a fatal failure) when the call fails.
inline bool ControlServer(CLIENT *control, const std::string &script, ODP_result_t *last) {
    ODP_argument_t a{0, {u_int(script.size()), const_cast<char *>(script.data())}};
    timeval wait{5, 0};
    bool ok = false;
    [&] {
        ASSERT_EQ(clnt_call(control, 2, Proc(xdr_ODP_argument_t), reinterpret_cast<char *>(&a),
                            Proc(xdr_ODP_result_t), reinterpret_cast<char *>(last), wait),
                  RPC_SUCCESS);
        ok = true;
    }();
    return ok;
}

} // namespace vrtest
