// NTLM between our client and server, the factories and the files they
// find, and impacket's and samba's clients against our server requiring
// NTLM (tests/rpc/rpc_peers.py ntlm-clients).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>

#include "rpc/auth.h"
#include "rpc/credentials.h"
#include "scratch.h"
#include "test_iface.h"

namespace vrtest {
namespace {

using namespace vrcore::rpc;
using Bytes = std::vector<uint8_t>;

// alice (Secret1) logs on in any domain, bob (test) only in PRINTING.
const char kUsers[] = "alice:ed50bdc9faa370e31ac4ee119fd51f48\n"
                      "PRINTING\\bob:0cb6948805f797bf2a82807973b89537\n";

struct Files {
    ScratchDir dir;
    std::string Write(const std::string &name, const std::string &text) {
        std::string path = dir.Path() + "/" + name;
        WriteFile(path, text);
        EXPECT_EQ(chmod(path.c_str(), 0600), 0);
        return path;
    }
};

uint32_t EchoThrough(uint16_t port, SecurityFactory security) {
    ClientOptions o;
    o.timeout_ms = 3000;
    o.security = std::move(security);
    ClientConnection c("127.0.0.1", port, TestInterface(), o);
    Bytes out;
    uint32_t st = c.Call(kEcho, nullptr, {1, 2, 3}, &out);
    return st == kOk && out != Bytes{1, 2, 3} ? kProtocolError : st;
}

std::unique_ptr<Server> Serve(SecurityFactory security, bool require, uint16_t port = 0) {
    ServerOptions o;
    o.security = std::move(security);
    o.require_auth = require;
    auto s = std::make_unique<Server>(o);
    s->AddInterface(TestServed());
    EXPECT_EQ(s->Listen("127.0.0.1", port), kOk);
    return s;
}

TEST(RpcAuth, OurClientLogsOnToOurServer) {
    Files f;
    std::string users = f.Write("users", kUsers);
    SecurityFactory strict, anonymous;
    NtlmServerOptions allow;
    allow.allow_anonymous = true;
    ASSERT_EQ(ServerNtlm(users, {}, &strict), kOk);
    ASSERT_EQ(ServerNtlm(users, allow, &anonymous), kOk);
    auto required = Serve(strict, true), optional = Serve(strict, false),
         open = Serve(anonymous, true);
    struct Case {
        Server *server;
        SecurityFactory client;
        uint32_t status;
    } cases[] = {
        {required.get(), ClientNtlm({"alice", "ANY", "Secret1"}), kOk},
        {required.get(), ClientNtlm({"ALICE", "", "Secret1"}), kOk},
        {required.get(), ClientNtlm({"bob", "printing", "test"}), kOk},
        {required.get(), ClientNtlm({"bob", "OTHER", "test"}), kAccessDenied},
        {required.get(), ClientNtlm({"alice", "", "secret1"}), kAccessDenied},
        {required.get(), ClientNtlm({"mallory", "", "Secret1"}), kAccessDenied},
        {required.get(), ClientNtlm({}), kAccessDenied},
        {required.get(), nullptr, kAccessDenied},
        {open.get(), ClientNtlm({}), kOk},
        {open.get(), ClientNtlm({"alice", "", "wrong"}), kAccessDenied},
        // A server that does not require authentication serves the
        // unauthenticated, not those whose authentication failed.
        {optional.get(), nullptr, kOk},
        {optional.get(), ClientNtlm({"alice", "", "wrong"}), kAccessDenied},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(EchoThrough(cases[i].server->Port(), cases[i].client), cases[i].status) << i;
}

TEST(RpcAuth, ConnectionLogsOnAgainToARestartedServer) {
    Files f;
    SecurityFactory before, after;
    ASSERT_EQ(ServerNtlm(f.Write("u1", kUsers), {}, &before), kOk);
    // alice's password is changed while the server is down.
    ASSERT_EQ(ServerNtlm(f.Write("u2", "alice:8846f7eaee8fb117ad06bdd830b7586c\n"), {}, &after),
              kOk);
    auto s = Serve(before, true);
    uint16_t port = s->Port();
    ClientOptions o;
    o.timeout_ms = 3000;
    o.security = ClientNtlm({"alice", "", "Secret1"});
    ClientConnection c("127.0.0.1", port, TestInterface(), o);
    Bytes out;
    ASSERT_EQ(c.Call(kEcho, nullptr, {1}, &out), kOk);
    s.reset();
    s = Serve(before, true, port);
    EXPECT_EQ(c.Call(kEcho, nullptr, {2}, &out), kOk);
    s.reset();
    s = Serve(after, true, port);
    EXPECT_EQ(c.Call(kEcho, nullptr, {3}, &out), kAccessDenied);
}

TEST(RpcAuth, FactoriesFindTheirFiles) {
    Files f;
    std::string users = f.Write("users", kUsers), auth = f.Write("auth", "username = bob\n"),
                loose = f.Write("loose", kUsers), missing = f.dir.Path() + "/none";
    chmod(loose.c_str(), 0644);
    std::string reg = f.Write("r.reg", "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril\\odp]\n"
                                       "\"UserFile\"=\"" +
                                           users + "\"\n");
    struct Case {
        const char *env;      // VRCORE_USERS
        const char *registry; // VRCORE_REGISTRY
        std::string given;
        uint32_t status;
    } cases[] = {
        {nullptr, missing.c_str(), "", kFileNotFound},
        {nullptr, reg.c_str(), "", kOk},
        {missing.c_str(), reg.c_str(), "", kFileNotFound},
        {loose.c_str(), nullptr, "", kAccessDenied},
        {missing.c_str(), nullptr, users, kOk},
        {auth.c_str(), nullptr, "", kInvalidData},
    };
    for (const Case &k : cases) {
        k.env ? setenv("VRCORE_USERS", k.env, 1) : unsetenv("VRCORE_USERS");
        k.registry ? setenv("VRCORE_REGISTRY", k.registry, 1) : unsetenv("VRCORE_REGISTRY");
        SecurityFactory out;
        EXPECT_EQ(ServerNtlm(k.given, {}, &out), k.status) << k.given << " " << (k.env ? k.env : "");
        EXPECT_EQ(bool(out), k.status == kOk);
    }
    unsetenv("VRCORE_USERS");
    SecurityFactory client;
    setenv("VRCORE_CREDENTIALS", missing.c_str(), 1);
    EXPECT_EQ(DefaultClientSecurity(&client), kFileNotFound);
    EXPECT_FALSE(client);
    setenv("VRCORE_CREDENTIALS", auth.c_str(), 1);
    ASSERT_EQ(DefaultClientSecurity(&client), kOk);
    EXPECT_EQ(client()->Peer(), "\\bob");
    unsetenv("VRCORE_CREDENTIALS");
    unsetenv("VRCORE_REGISTRY");
}

// impacket (NTLMv2 and NTLMv1, right and wrong passwords) and samba
// (unauthenticated, refused) against the test server started with
// --users; tshark reads the capture.
TEST(RpcPeers, ImpacketAndSambaMeetOurServerRequiringNtlm) {
    Files f;
    std::string users = f.Write("users", kUsers), capture = f.dir.Path() + "/ntlm.pcap";
    FILE *server = popen(("echo $$; exec " RPC_TEST_SERVER " --users " + users).c_str(), "r");
    unsigned port = 0, pid = 0;
    char line[512] = "";
    ASSERT_TRUE(server && fgets(line, sizeof line, server) && sscanf(line, "%u", &pid) == 1);
    ASSERT_TRUE(fgets(line, sizeof line, server) && sscanf(line, "port %u", &port) == 1);
    std::string cmd = "timeout 120 /usr/bin/python3 " VRCORE_SOURCE_DIR
                      "/tests/rpc/rpc_peers.py ntlm-clients " +
                      std::to_string(port) + " " + capture + " 2>&1",
                text;
    FILE *peer = popen(cmd.c_str(), "r");
    while (peer && fgets(line, sizeof line, peer)) text += line;
    EXPECT_EQ(text + (peer && pclose(peer) == 0 ? "" : "(failed)"), "failures: 0\n");
    kill(pid_t(pid), SIGTERM);
    EXPECT_EQ(pclose(server), 0);
}

} // namespace
} // namespace vrtest
