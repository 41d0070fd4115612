// The name server vrpgrd on loopback ports, with an endpoint mapper of its
// own whose port the client finds through the test's registry file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "loopback.h"
#include "rpc/epm_client.h"
#include "rpc/idl_pgr.h"
#include "rpc/rpc_auth.h"
#include "rpc/rpc_status.h"
#include "rpc/stubs.h"
#include "scratch.h"
#include "vrcore/ns.h"

namespace vrtest {
namespace {

using namespace vrcore::rpc;
namespace pgr = vrcore::rpc::pgr;

const char kVrpgrd[] = VRCORE_BINARY_DIR "/servers/vrpgrd/vrpgrd";
const char kVrepmd[] = VRCORE_BINARY_DIR "/servers/vrepmd/vrepmd";

uint16_t FreePort() {
    uint16_t port = 0;
    close(LoopbackSocket(port));
    return port;
}

// A program that listens on `port`; -1 when it does not within two seconds.
pid_t Start(std::vector<std::string> args, uint16_t port, bool no_mapper = false) {
    pid_t pid = fork();
    if (pid == 0) {
        if (no_mapper) setenv("VRCORE_REGISTRY", "/nonexistent", 1);
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    for (int i = 0; i < 200; ++i, usleep(10000))
        if (int s = ConnectLoopback(port); s >= 0) return close(s), pid;
    kill(pid, SIGKILL);
    return -1;
}

// The exit status after SIGTERM, -1 when it does not exit within a second.
int Terminate(pid_t pid) {
    int st = 0;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100 && waitpid(pid, &st, WNOHANG) == 0; ++i) usleep(10000);
    if (WIFEXITED(st)) return WEXITSTATUS(st);
    kill(pid, SIGKILL);
    WaitStatus(pid);
    return -1;
}

pgr::Identity Id(uint16_t cls, const char *name, const char *domain = "DOMA") {
    return {cls, const_cast<char *>(name), const_cast<char *>(domain)};
}

class Pgrd : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir("pgrd");
        uint16_t mapper = FreePort();
        char text[128];
        snprintf(text, sizeof text,
                 "[Software\\Halvane\\Tessaril\\odp]\n\"EndpointMapperPort\"=dword:%08x\n", mapper);
        WriteFile(dir_->Path() + "/registry.reg", text);
        setenv("VRCORE_REGISTRY", (dir_->Path() + "/registry.reg").c_str(), 1);
        mapper_ = Start({kVrepmd, "--port", std::to_string(mapper), "--address", "127.0.0.1",
                         "--log", dir_->Path() + "/epm.log"},
                        mapper);
        port_ = FreePort();
        server_ = StartServer(port_, dir_->Path() + "/store");
    }
    static void TearDownTestSuite() {
        int idle = ConnectLoopback(port_);
        EXPECT_EQ(Terminate(server_), 0) << "vrpgrd after SIGTERM, a connection open";
        close(idle);
        Terminate(mapper_);
        unsetenv("VRCORE_REGISTRY");
        delete dir_;
    }
    // A server with more options is a second one: it registers with no
    // mapper, which would take the first one's entry.
    static pid_t StartServer(uint16_t port, const std::string &store,
                             std::vector<std::string> more = {}) {
        std::vector<std::string> args{kVrpgrd, "--domain", "DOMA", "--peer", "DOMB=10.9.8.7"};
        args.insert(args.end(), {"--address", "127.0.0.1", "--port", std::to_string(port),
                                 "--store", store, "--log", dir_->Path() + "/pgrd.log"});
        args.insert(args.end(), more.begin(), more.end());
        return Start(args, port, !more.empty());
    }

    template <class Out, class In>
    Out Call(ClientConnection &c, pgr::Opnum op, const In &in, uint32_t status = kOk) {
        Out out{};
        EXPECT_EQ(CallProcedure(c, pgr::kInterface, op, nullptr, &in, &out, &arena_), status) << op;
        return out;
    }
    uint32_t Create(ClientConnection &c, pgr::CreateIn in, uint32_t *replaced = nullptr) {
        auto out = Call<pgr::CreateOut>(c, pgr::kCreateObject, in);
        if (replaced) *replaced = out.replaced;
        return out.result;
    }
    uint32_t Get(ClientConnection &c, const pgr::Identity &id) {
        return Call<pgr::GetObjectOut>(c, pgr::kGetObject, pgr::IdentityIn{id}).result;
    }
    static pgr::CreateIn Spooler(const char *name, char **bindings, const char *domain = "DOMA") {
        return {Id(NS_CLASS_SPOOLER, name, domain), {}, 0, {1, bindings, (char *)"hostS", 5}, {}};
    }

    ndr::Arena arena_;
    static inline ScratchDir *dir_;
    static inline uint16_t port_;
    static inline pid_t mapper_, server_;
};

TEST_F(Pgrd, EveryProcedureThroughTheStubsFromTheMappersPort) {
    uint16_t port = 0;
    for (int i = 0;
         i < 100 && ResolveEndpoint("127.0.0.1", pgr::kInterface.id, nullptr, 2000, &port) != kOk;
         ++i)
        usleep(10000);
    ASSERT_EQ(port, port_);
    ClientConnection c("127.0.0.1", port, pgr::kInterface.id);
    char *bindings[] = {(char *)"u@ncacn_ip_tcp:127.0.0.1"};
    uint32_t replaced = 9;
    EXPECT_EQ(Create(c, Spooler("S1", bindings), &replaced), NS_OK);
    EXPECT_EQ(replaced, 0u);
    EXPECT_EQ(Create(c, Spooler("S1", bindings), &replaced), NS_OK); // the same server again
    EXPECT_EQ(replaced, 1u);
    EXPECT_EQ(Create(c, Spooler("S2", bindings, "DOMB")), uint32_t(NS_E_DOMAIN));
    EXPECT_EQ(Create(c, Spooler(nullptr, bindings)), uint32_t(NS_E_NAME));
    pgr::CreateIn queue{Id(NS_CLASS_QUEUE, "Q1"), Id(NS_CLASS_SPOOLER, "S0"), 0, {}, {}};
    EXPECT_EQ(Create(c, queue), NS_OK);
    queue.server.name = (char *)"S1";
    EXPECT_EQ(Create(c, queue), uint32_t(NS_E_EXISTS)); // on another server
    queue.force = 1;
    EXPECT_EQ(Create(c, queue, &replaced), NS_OK);
    EXPECT_EQ(replaced, 1u);
    pgr::Identity member = Id(NS_CLASS_QUEUE, "Q1", nullptr); // the server's domain
    EXPECT_EQ(Create(c, {Id(NS_CLASS_GROUP, "G1"), {}, 0, {}, {1, &member}}), NS_OK);

    auto got =
        Call<pgr::GetObjectOut>(c, pgr::kGetObject, pgr::IdentityIn{Id(NS_CLASS_QUEUE, "Q1")});
    ASSERT_EQ(got.result, NS_OK);
    EXPECT_EQ(got.found_class, NS_CLASS_QUEUE);
    EXPECT_STREQ(got.server.name, "S1");
    ASSERT_EQ(got.bindings.count, 1u);
    EXPECT_STREQ(got.bindings.strings[0], bindings[0]);
    EXPECT_EQ(got.info, 5u);
    auto host = Call<pgr::StringOut>(c, pgr::kGetHost, pgr::IdentityIn{Id(NS_CLASS_QUEUE, "Q1")});
    EXPECT_STREQ(host.text, "hostS");
    auto members = Call<pgr::IdentityListOut>(c, pgr::kListObjects, pgr::IdentityIn{Id(8, "G1")});
    ASSERT_EQ(members.list.count, 1u);
    EXPECT_STREQ(members.list.items[0].domain, "DOMA");
    auto servers = Call<pgr::IdentityListOut>(c, pgr::kListObjects,
                                              pgr::IdentityIn{Id(NS_CLASS_ANY_SVR, nullptr)});
    ASSERT_EQ(servers.list.count, 1u);
    EXPECT_EQ(servers.list.items[0].object_class, NS_CLASS_SPOOLER);

    EXPECT_STREQ(Call<pgr::StringOut>(c, pgr::kGetDomain, pgr::NoIn{}).text, "DOMA");
    auto domains = Call<pgr::StringListOut>(c, pgr::kListDomains, pgr::DomainIn{(char *)"DOMA"});
    ASSERT_EQ(domains.list.count, 2u);
    EXPECT_STREQ(domains.list.strings[1], "DOMB");
    for (auto [asked, answer] :
         {std::pair{"domb", "10.9.8.7"}, {"DOMA", "127.0.0.1"}, {"X", "127.0.0.1"}})
        EXPECT_STREQ(Call<pgr::StringOut>(c, pgr::kHello, pgr::DomainIn{(char *)asked}).text,
                     answer);

    pgr::IdentityIn q1{Id(NS_CLASS_QUEUE, "Q1")};
    EXPECT_EQ(Call<pgr::ResultOut>(c, pgr::kDeleteObject, q1).result, NS_OK);
    EXPECT_EQ(Call<pgr::ResultOut>(c, pgr::kDeleteObject, q1).result, uint32_t(NS_E_NOTFOUND));
}

TEST_F(Pgrd, ImpacketCallsEveryProcedure) {
    std::string cmd = "timeout 60 /usr/bin/python3 " VRCORE_SOURCE_DIR
                      "/tests/nameservice/pgrd_peer.py " +
                      std::to_string(port_) + " DOMA DOMB=10.9.8.7";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

TEST_F(Pgrd, WithUsersOnlyAuthenticatedCallersChangeTheStore) {
    std::string users = dir_->Path() + "/users";
    WriteFile(users, "alice:8846F7EAEE8FB117AD06BDD830B7586C\n"); // "password"
    chmod(users.c_str(), 0600);
    uint16_t port = FreePort();
    pid_t pid = StartServer(port, dir_->Path() + "/store2", {"--users", users});
    ASSERT_GT(pid, 0);
    char *bindings[] = {(char *)"u@ncacn_ip_tcp:127.0.0.1"};
    ClientConnection anonymous("127.0.0.1", port, pgr::kInterface.id);
    EXPECT_EQ(Create(anonymous, Spooler("S9", bindings)), uint32_t(NS_E_NOTPERMITTED));
    EXPECT_EQ(Call<pgr::ResultOut>(anonymous, pgr::kDeleteObject,
                                   pgr::IdentityIn{Id(NS_CLASS_SPOOLER, "S9")})
                  .result,
              uint32_t(NS_E_NOTPERMITTED));
    ClientConnection alice("127.0.0.1", port, pgr::kInterface.id,
                           {.security = ClientNtlm({"alice", "", "password"})});
    EXPECT_EQ(Create(alice, Spooler("S9", bindings)), NS_OK);
    EXPECT_EQ(Get(anonymous, Id(NS_CLASS_SPOOLER, "S9")), NS_OK); // reads stay open
    EXPECT_EQ(Terminate(pid), 0);
}

TEST_F(Pgrd, SurvivesGarbageAndKeepsAcknowledgedRegistrationsAcrossSigkill) {
    for (std::string bytes : {std::string(64, '\x7f'), std::string("\x05\x00\x0b\x03", 4)}) {
        int s = ConnectLoopback(port_); // garbage, and a call cut short
        ASSERT_GE(s, 0);
        ASSERT_EQ(write(s, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        close(s);
    }
    std::vector<std::string> names;
    char *bindings[] = {(char *)"u@ncacn_ip_tcp:127.0.0.1"};
    {
        ClientConnection c("127.0.0.1", port_, pgr::kInterface.id);
        for (int i = 0; i < 40; ++i) {
            names.push_back(std::to_string(1000 + i));
            ASSERT_EQ(Create(c, Spooler(names.back().c_str(), bindings)), NS_OK);
        }
    }
    kill(server_, SIGKILL);
    WaitStatus(server_);
    server_ = StartServer(port_, dir_->Path() + "/store");
    ASSERT_GT(server_, 0);
    ClientConnection c("127.0.0.1", port_, pgr::kInterface.id);
    for (const auto &n : names) EXPECT_EQ(Get(c, Id(NS_CLASS_SPOOLER, n.c_str())), NS_OK) << n;
    EXPECT_EQ(WEXITSTATUS(system((std::string(kVrpgrd) + " --port 70000 2>/dev/null").c_str())), 2);
}

} // namespace
} // namespace vrtest
