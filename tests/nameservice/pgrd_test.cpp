// vrpgrd and an endpoint mapper of its own on loopback ports (the mapper's
// port in the test's registry file); with a user file, so that only
// authenticated callers change the store.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
const ClientOptions kAlice{.security = ClientNtlm({"alice", "", "password"})};

// A program that listens on `port` within two seconds, else -1.
pid_t Start(std::vector<std::string> args, uint16_t port) {
    pid_t pid = fork();
    if (pid == 0) {
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        _exit(execv(argv[0], argv.data()) ? 127 : 0);
    }
    for (int i = 0; i < 200; ++i, usleep(10000))
        if (int s = ConnectLoopback(port); s >= 0) return close(s), pid;
    kill(pid, SIGKILL);
    return -1;
}

pgr::Identity Id(uint16_t cls, const char *name, const char *domain = "DOMA") {
    return {cls, const_cast<char *>(name), const_cast<char *>(domain)};
}

class Pgrd : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir("pgrd");
        uint16_t mapper = 0;
        close(LoopbackSocket(mapper));
        close(LoopbackSocket(port_));
        char text[128];
        snprintf(text, sizeof text,
                 "[Software\\Halvane\\Tessaril\\odp]\n\"EndpointMapperPort\"=dword:%08x\n", mapper);
        WriteFile(dir_->Path() + "/registry.reg", text);
        setenv("VRCORE_REGISTRY", (dir_->Path() + "/registry.reg").c_str(), 1);
        WriteFile(dir_->Path() + "/peers", "# name servers of other domains\n DOMB = 10.9.8.7\n");
        WriteFile(dir_->Path() + "/users", "alice:8846F7EAEE8FB117AD06BDD830B7586C\n");
        chmod((dir_->Path() + "/users").c_str(), 0600);
        mapper_ =
            Start({VRCORE_BINARY_DIR "/servers/vrepmd/vrepmd", "--port", std::to_string(mapper),
                   "--address", "127.0.0.1", "--log", dir_->Path() + "/epm.log"},
                  mapper);
        server_ = StartServer();
    }
    static pid_t StartServer() {
        std::string d = dir_->Path();
        return Start({kVrpgrd, "--domain", "DOMA", "--peers", d + "/peers", "--address",
                      "127.0.0.1", "--port", std::to_string(port_), "--store", d + "/store",
                      "--users", d + "/users", "--log", d + "/log"},
                     port_);
    }
    static void TearDownTestSuite() { // SIGTERM stops vrpgrd within a second, a connection open
        int idle = ConnectLoopback(port_), st = -1;
        kill(server_, SIGTERM);
        for (int i = 0; i < 100 && waitpid(server_, &st, WNOHANG) == 0; ++i) usleep(10000);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
        for (pid_t pid : {server_, mapper_}) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        close(idle);
        unsetenv("VRCORE_REGISTRY");
        delete dir_;
    }

    template <class Out, class In> Out Call(pgr::Opnum op, const In &in, ClientConnection *c = {}) {
        Out out{};
        EXPECT_EQ(CallProcedure(c ? *c : alice_, pgr::kInterface, op, {}, &in, &out, &arena_), kOk);
        return out;
    }
    std::pair<uint32_t, uint32_t> Create(const pgr::CreateIn &in, ClientConnection *c = {}) {
        auto out = Call<pgr::CreateOut>(pgr::kCreateObject, in, c);
        return {out.result, out.replaced};
    }
    uint32_t Get(pgr::Identity id, ClientConnection *c) {
        return Call<pgr::GetObjectOut>(pgr::kGetObject, pgr::IdentityIn{id}, c).result;
    }
    pgr::CreateIn Spooler(const char *name, const char *domain = "DOMA") {
        return {Id(NS_CLASS_SPOOLER, name, domain), {}, 0, {1, bindings_, (char *)"hostS", 5}, {}};
    }

    ndr::Arena arena_;
    ClientConnection alice_{"127.0.0.1", port_, pgr::kInterface.id, kAlice};
    char *bindings_[1] = {(char *)"u@ncacn_ip_tcp:127.0.0.1"};
    static inline ScratchDir *dir_;
    static inline uint16_t port_;
    static inline pid_t mapper_, server_;
};

using Result = std::pair<uint32_t, uint32_t>; // result, replaced

TEST_F(Pgrd, EveryProcedureThroughTheStubsAtTheMappersPort) {
    uint16_t port = 0; // registered just after it listens
    auto resolve = [&] { return ResolveEndpoint("127.0.0.1", pgr::kInterface.id, {}, 999, &port); };
    for (int i = 0; i < 100 && resolve() != kOk; ++i) usleep(10000);
    ASSERT_EQ(port, port_);
    EXPECT_EQ(Create(Spooler("S1")), Result(NS_OK, 0));
    EXPECT_EQ(Create(Spooler("S1")), Result(NS_OK, 1)); // the same server again
    EXPECT_EQ(Create(Spooler("S2", "DOMB")).first, uint32_t(NS_E_DOMAIN));
    EXPECT_EQ(Create({Id(NS_CLASS_QUEUE, "Q1"), Id(NS_CLASS_SPOOLER, "S1"), 0, {}, {}}).first, 0u);
    pgr::Identity member = Id(NS_CLASS_QUEUE, "Q1", nullptr); // the server's domain
    EXPECT_EQ(Create({Id(NS_CLASS_GROUP, "G1"), {}, 0, {}, {1, &member}}).first, NS_OK);

    pgr::IdentityIn q1{Id(NS_CLASS_QUEUE, "Q1")};
    auto got = Call<pgr::GetObjectOut>(pgr::kGetObject, q1);
    EXPECT_EQ(
        std::tuple(got.result, got.found_class, got.server.name ? got.server.name : "", got.info),
        std::tuple(0u, uint16_t(NS_CLASS_QUEUE), std::string("S1"), 5u));
    EXPECT_STREQ(Call<pgr::StringOut>(pgr::kGetHost, q1).text, "hostS");
    auto members = Call<pgr::IdentityListOut>(pgr::kListObjects, pgr::IdentityIn{Id(8, "G1")});
    EXPECT_STREQ(members.list.count == 1 ? members.list.items[0].domain : "", "DOMA");
    EXPECT_STREQ(Call<pgr::StringOut>(pgr::kGetDomain, pgr::NoIn{}).text, "DOMA");
    EXPECT_EQ(Call<pgr::StringListOut>(pgr::kListDomains, pgr::DomainIn{}).list.count, 2u);
    auto hello = Call<pgr::StringOut>(pgr::kHello, pgr::DomainIn{(char *)"X"}); // unknown: itself
    EXPECT_STREQ(hello.text, "127.0.0.1");
    EXPECT_EQ(Call<pgr::ResultOut>(pgr::kDeleteObject, q1).result, NS_OK);
}

TEST_F(Pgrd, ImpacketCallsEveryProcedure) {
    std::string cmd = "timeout 60 /usr/bin/python3 " VRCORE_SOURCE_DIR
                      "/tests/nameservice/pgrd_peer.py " +
                      std::to_string(port_) + " password DOMA DOMB=10.9.8.7";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

TEST_F(Pgrd, AnonymousOnlyReadsGarbageIsDroppedAndRegistrationsSurviveSigkill) {
    for (std::string bytes : {std::string(64, '\x7f'), std::string("\x05\x00\x0b\x03", 4)}) {
        int s = ConnectLoopback(port_); // garbage, and a bind cut short
        ASSERT_EQ(write(s, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        close(s);
    }
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) {
        names.push_back(std::to_string(1000 + i));
        ASSERT_EQ(Create(Spooler(names.back().c_str())).first, NS_OK);
    }
    kill(server_, SIGKILL);
    WaitStatus(server_);
    ASSERT_GT(server_ = StartServer(), 0);
    ClientConnection anonymous("127.0.0.1", port_, pgr::kInterface.id);
    EXPECT_EQ(Create(Spooler("S9"), &anonymous).first, uint32_t(NS_E_NOTPERMITTED));
    pgr::IdentityIn s9{Id(NS_CLASS_SPOOLER, "S9")};
    EXPECT_EQ(Call<pgr::ResultOut>(pgr::kDeleteObject, s9, &anonymous).result, 2u);
    for (const auto &n : names) // reads stay open
        EXPECT_EQ(Get(Id(NS_CLASS_SPOOLER, n.c_str()), &anonymous), NS_OK) << n;
}

} // namespace
} // namespace vrtest
