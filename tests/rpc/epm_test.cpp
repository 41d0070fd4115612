// The endpoint mapper: vrepmd on a free loopback port, which the client
// finds through a registry file of the test's own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <tuple>

#include "loopback.h"
#include "rpc/epm_client.h"
#include "rpc/epm_server.h"
#include "rpc/rpc_status.h"
#include "rpc/stubs.h"
#include "scratch.h"

namespace vrtest {
namespace {

using namespace vrcore::rpc;

uint16_t FreePort() {
    uint16_t port = 0;
    close(LoopbackSocket(port));
    return port;
}

// vrepmd on `port`; -1 when it does not listen within two seconds.
pid_t StartMapper(uint16_t port, const std::string &log) {
    pid_t pid = fork();
    if (pid == 0) {
        execl(VREPMD, "vrepmd", "--port", std::to_string(port).c_str(), "--address", "127.0.0.1",
              "--log", log.c_str(), nullptr);
        _exit(127);
    }
    for (int i = 0; i < 200; ++i, usleep(10000))
        if (int s = ConnectLoopback(port); s >= 0) return close(s), pid;
    kill(pid, SIGKILL);
    return -1;
}

void UseMapperPort(const std::string &dir, uint16_t port) {
    char text[128];
    snprintf(text, sizeof text,
             "[Software\\Halvane\\Tessaril\\odp]\n\"EndpointMapperPort\"=dword:%08x\n", port);
    WriteFile(dir + "/registry.reg", text);
    setenv("VRCORE_REGISTRY", (dir + "/registry.reg").c_str(), 1);
}

uint16_t PortOf(const epm::Tower *tower) {
    TcpTower t;
    return tower && DecodeTower({tower->octets, tower->length}, &t) == kOk ? t.port : 0;
}

using PortPages = std::vector<std::vector<uint16_t>>;

// One mapper for the suite; at the end SIGTERM stops it within a second, status 0.
class Epm : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir("epm");
        UseMapperPort(dir_->Path(), port_ = FreePort());
        pid_ = StartMapper(port_, dir_->Path() + "/log");
    }
    static void TearDownTestSuite() {
        int idle = ConnectLoopback(port_), st = -1;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 100 && waitpid(pid_, &st, WNOHANG) == 0; ++i) usleep(10000);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "vrepmd after SIGTERM: " << st;
        if (!WIFEXITED(st)) kill(pid_, SIGKILL), WaitStatus(pid_);
        close(idle);
        unsetenv("VRCORE_REGISTRY");
        delete dir_;
    }

    static uint32_t Resolve(const SyntaxId &iface, const Uuid *object, uint16_t *port = nullptr) {
        uint16_t ignored;
        return ResolveEndpoint("127.0.0.1", iface, object, 5000, port ? port : &ignored);
    }
    // Look-up or map calls, each resuming with the handle of the last, until
    // the status is not kOk or the handle nil: the ports of each page.
    template <class In, class Out> PortPages Pages(epm::Opnum op, In in) {
        ClientConnection c("127.0.0.1", port_, epm::kInterface.id);
        PortPages pages;
        for (int i = 0; i < 8; ++i) {
            Out out{};
            ndr::Arena arena;
            EXPECT_EQ(CallProcedure(c, epm::kInterface, op, nullptr, &in, &out, &arena), kOk);
            if (out.status != kOk) break;
            pages.emplace_back();
            if constexpr (std::is_same_v<Out, epm::MapOut>)
                for (uint32_t k = 0; k < out.num_towers; ++k)
                    pages.back().push_back(PortOf(out.towers[k]));
            else
                for (uint32_t k = 0; k < out.num_ents; ++k)
                    pages.back().push_back(PortOf(out.entries[k].tower));
            if ((in.entry_handle = out.entry_handle).uuid.IsNil()) break;
        }
        return pages;
    }

    static inline ScratchDir *dir_;
    static inline uint16_t port_;
    static inline pid_t pid_;
};

TEST_F(Epm, RegisteredEndpointResolvesByCompatibleVersionUntilRemoved) {
    EXPECT_EQ(MapperPort(), port_);
    SyntaxId id{NewUuid(), 2, 3};
    ASSERT_EQ(RegisterEndpoint(id, nullptr, 4100, "printer agent"), kOk);
    ASSERT_EQ(RegisterEndpoint(id, nullptr, 4101, "the same, moved"), kOk); // replaces
    uint16_t port = 0;
    EXPECT_EQ(Resolve({id.uuid, 2, 0}, nullptr, &port), kOk);
    EXPECT_EQ(port, 4101);
    for (auto [major, minor] : {std::pair<uint16_t, uint16_t>{2, 4}, {1, 3}, {3, 0}})
        EXPECT_EQ(Resolve({id.uuid, major, minor}, nullptr), kEndpointNotRegistered) << major;
    EXPECT_EQ(UnregisterEndpoint(id, nullptr, 4101), kOk);
    EXPECT_EQ(UnregisterEndpoint(id, nullptr, 4101), kEndpointNotRegistered);
    EXPECT_EQ(Resolve(id, nullptr), kEndpointNotRegistered);
}

TEST_F(Epm, ObjectEntryComesBeforeTheNilOneAndTheHandleResumes) {
    SyntaxId id{NewUuid(), 1, 0};
    Uuid object = NewUuid(), stranger = NewUuid();
    ASSERT_EQ(RegisterEndpoint(id, nullptr, 5001, ""), kOk);
    ASSERT_EQ(RegisterEndpoint(id, &object, 5002, ""), kOk);
    uint16_t port = 0;
    EXPECT_EQ(Resolve(id, &object, &port), kOk);
    EXPECT_EQ(port, 5002);
    std::vector<uint8_t> query = EncodeTower({id, kNdrSyntax});
    epm::Tower tower{uint32_t(query.size()), query.data()};
    auto map = [&](Uuid *o, uint32_t max) {
        return Pages<epm::MapIn, epm::MapOut>(epm::kMap, {o, &tower, {}, max});
    };
    EXPECT_EQ(map(&object, 1), (PortPages{{5002}, {5001}})); // one at a time
    EXPECT_EQ(map(nullptr, 4), PortPages{{5001}});
    EXPECT_EQ(map(&stranger, 4), PortPages{{5001}});
    EXPECT_EQ(UnregisterEndpoint(id, &object, 5002), kOk);
    EXPECT_EQ(UnregisterEndpoint(id, nullptr, 5001), kOk);
}

TEST_F(Epm, LookupPagesThroughTheEntriesItSelects) {
    SyntaxId id{NewUuid(), 1, 2};
    Uuid objects[5];
    for (uint16_t i = 0; i < 5; ++i)
        ASSERT_EQ(RegisterEndpoint(id, &(objects[i] = NewUuid()), 6000 + i, "n"), kOk);
    epm::InterfaceId want{id.uuid, 1, 0};
    using namespace epm;
    std::tuple<uint32_t, Uuid *, uint32_t, PortPages> cases[] = {
        {kInquiryInterface, nullptr, kVersionCompatible, {{6000, 6001}, {6002, 6003}, {6004}}},
        {kInquiryInterface, nullptr, kVersionExact, {}},
        {kInquiryBoth, &objects[3], kVersionMajorOnly, {{6003}}},
        {kInquiryObject, &objects[1], 0, {{6001}}}};
    for (auto &[inquiry, object, version, pages] : cases)
        EXPECT_EQ((Pages<LookupIn, LookupOut>(kLookup, {inquiry, object, &want, version, {}, 2})),
                  pages);
    for (uint16_t i = 0; i < 5; ++i) EXPECT_EQ(UnregisterEndpoint(id, &objects[i], 6000 + i), kOk);
}

TEST_F(Epm, ImpacketMapsTheRegisteredPortAndTsharkReadsTheExchange) {
    SyntaxId id{NewUuid(), 1, 0};
    ASSERT_EQ(RegisterEndpoint(id, nullptr, 7007, "peer"), kOk);
    EXPECT_EQ(RunCommand("timeout 60 /usr/bin/python3 " VRCORE_SOURCE_DIR
                         "/tests/rpc/epm_peer.py " +
                         std::to_string(port_) + " " + FormatUuid(id.uuid) + " 1.0 " +
                         dir_->Path() + "/epm.pcap"),
              "ncacn_ip_tcp:127.0.0.1[7007]\nmalformed: 0\nports: 0 7007\n");
    EXPECT_EQ(UnregisterEndpoint(id, nullptr, 7007), kOk);
}

TEST(EpmAccess, ChangesAreTakenOnlyFromThisHostAndBadOptionsRefused) {
    const uint32_t own[] = {htonl(0xc0a80114), htonl(0x0a000005)};
    std::pair<uint32_t, bool> cases[] = {{htonl(0x7f000001), true},  {htonl(0x7f08090a), true},
                                         {htonl(0x0a000005), true},  {htonl(0x0a000006), false},
                                         {htonl(0x80000001), false}, {0, false}};
    for (auto [peer, may] : cases) EXPECT_EQ(epm::MayChange(peer, own), may) << std::hex << peer;
    epm::Mapper mapper; // outside a call the caller is unknown: refused, the table unchanged
    std::vector<uint8_t> bytes = EncodeTower({{NewUuid(), 1, 0}, kNdrSyntax});
    epm::Tower tower{uint32_t(bytes.size()), bytes.data()};
    epm::Entry entry{{}, &tower, nullptr};
    epm::StatusOut out{};
    EXPECT_EQ(mapper.Insert({1, &entry, 0}, &out), kOk);
    EXPECT_EQ(std::pair(out.status, mapper.Size()), std::pair(kAccessDenied, size_t(0)));
    EXPECT_EQ(WEXITSTATUS(system(VREPMD " --port 70000 2>/dev/null")), 2); // a usage error
}

} // namespace
} // namespace vrtest
