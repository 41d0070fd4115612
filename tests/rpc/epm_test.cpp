// The endpoint mapper: vrepmd on a free loopback port, which the client
// finds through a registry file of the test's own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>

#include "loopback.h"
#include "rpc/epm_client.h"
#include "rpc/epm_server.h"
#include "rpc/rpc_status.h"
#include "rpc/stubs.h"
#include "scratch.h"

namespace vrtest {
namespace {

using namespace vrcore::rpc;

SyntaxId Iface(const char *text, uint16_t major, uint16_t minor) {
    SyntaxId id{{}, major, minor};
    EXPECT_TRUE(ParseUuid(text, &id.uuid));
    return id;
}

// vrepmd on `port`; -1 when it does not listen within two seconds.
pid_t StartMapper(uint16_t port, const std::string &log) {
    pid_t pid = fork();
    if (pid == 0) {
        execl(VREPMD, "vrepmd", "--port", std::to_string(port).c_str(), "--address", "127.0.0.1",
              "--log", log.c_str(), nullptr);
        _exit(127);
    }
    for (int i = 0; i < 200; ++i, usleep(10000)) {
        int s = ConnectLoopback(port);
        if (s >= 0) return close(s), pid;
    }
    kill(pid, SIGKILL);
    return -1;
}

uint16_t FreePort() {
    uint16_t port = 0;
    close(LoopbackSocket(port));
    return port;
}

void UseMapperPort(const std::string &dir, uint16_t port) {
    char text[128];
    snprintf(text, sizeof text,
             "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril\\odp]\n"
             "\"EndpointMapperPort\"=dword:%08x\n",
             port);
    WriteFile(dir + "/registry.reg", text);
    setenv("VRCORE_REGISTRY", (dir + "/registry.reg").c_str(), 1);
}

class Epm : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir("epm");
        port_ = FreePort();
        UseMapperPort(dir_->Path(), port_);
        pid_ = StartMapper(port_, dir_->Path() + "/log");
    }
    static void TearDownTestSuite() {
        if (pid_ > 0) kill(pid_, SIGKILL), WaitStatus(pid_);
        unsetenv("VRCORE_REGISTRY");
        delete dir_;
    }
    void SetUp() override { ASSERT_GT(pid_, 0) << "vrepmd did not start"; }

    static uint16_t Resolve(const SyntaxId &iface, const Uuid *object, uint32_t *status) {
        uint16_t port = 0;
        *status = ResolveEndpoint("127.0.0.1", iface, object, 5000, &port);
        return port;
    }

    static ScratchDir *dir_;
    static uint16_t port_;
    static pid_t pid_;
};
ScratchDir *Epm::dir_;
uint16_t Epm::port_;
pid_t Epm::pid_;

TEST_F(Epm, RegisteredEndpointResolvesByCompatibleVersionUntilRemoved) {
    EXPECT_EQ(MapperPort(), port_);
    SyntaxId id = Iface("6b1f3a70-0c55-4c6e-9d3e-52a8f1c0e7b1", 2, 3);
    ASSERT_EQ(RegisterEndpoint(id, nullptr, 4100, "printer agent"), kOk);
    ASSERT_EQ(RegisterEndpoint(id, nullptr, 4101, "the same, moved"), kOk); // replaces
    struct {
        uint16_t major, minor;
        uint32_t status;
    } cases[] = {{2, 0, kOk}, {2, 3, kOk}, {2, 4, kEndpointNotRegistered},
                 {1, 3, kEndpointNotRegistered}, {3, 0, kEndpointNotRegistered}};
    for (auto &c : cases) {
        uint32_t status = 0;
        uint16_t port = Resolve({id.uuid, c.major, c.minor}, nullptr, &status);
        EXPECT_EQ(status, c.status) << c.major << "." << c.minor;
        if (c.status == kOk) {
            EXPECT_EQ(port, 4101);
        }
    }
    EXPECT_EQ(UnregisterEndpoint(id, nullptr, 4101), kOk);
    EXPECT_EQ(UnregisterEndpoint(id, nullptr, 4101), kEndpointNotRegistered);
    uint32_t status = 0;
    Resolve(id, nullptr, &status);
    EXPECT_EQ(status, kEndpointNotRegistered);

    ScratchDir other("epm");
    UseMapperPort(other.Path(), FreePort()); // nobody listens there
    Resolve(id, nullptr, &status);
    EXPECT_EQ(status, kServerUnavailable);
    UseMapperPort(dir_->Path(), port_);
}

TEST_F(Epm, ObjectEntryComesBeforeTheNilOneAndTheHandleResumes) {
    SyntaxId id = Iface("0e4d9b22-7f61-4a0b-b3c8-1d5e6f708192", 1, 0);
    Uuid object = NewUuid(), stranger = NewUuid();
    ASSERT_EQ(RegisterEndpoint(id, nullptr, 5001, ""), kOk);
    ASSERT_EQ(RegisterEndpoint(id, &object, 5002, ""), kOk);
    uint32_t status = 0;
    EXPECT_EQ(Resolve(id, &object, &status), 5002);
    EXPECT_EQ(Resolve(id, nullptr, &status), 5001);
    EXPECT_EQ(Resolve(id, &stranger, &status), 5001);

    // One tower at a time: the object's, then the nil object's, then none.
    ClientConnection c("127.0.0.1", port_, epm::kInterface.id);
    std::vector<uint8_t> query = EncodeTower({id, kNdrSyntax});
    epm::Tower tower{uint32_t(query.size()), query.data()};
    epm::MapIn in{&object, &tower, {}, 1};
    std::vector<uint16_t> ports;
    for (int i = 0; i < 3; ++i) {
        epm::MapOut out{};
        vrcore::rpc::ndr::Arena arena;
        ASSERT_EQ(CallProcedure(c, epm::kInterface, epm::kMap, nullptr, &in, &out, &arena), kOk);
        TcpTower t;
        if (out.status == kOk && DecodeTower({out.towers[0]->octets, out.towers[0]->length}, &t) ==
                                     kOk) {
            ports.push_back(t.port);
            EXPECT_EQ(t.address[0], 127);
        }
        in.entry_handle = out.entry_handle;
        if (out.entry_handle.uuid.IsNil()) break;
    }
    EXPECT_EQ(ports, (std::vector<uint16_t>{5002, 5001}));
    EXPECT_EQ(UnregisterEndpoint(id, &object, 5002), kOk);
    EXPECT_EQ(UnregisterEndpoint(id, nullptr, 5001), kOk);
}

TEST_F(Epm, LookupPagesThroughTheEntriesItSelects) {
    SyntaxId id = Iface("a7c3e1f0-2b4d-4e6f-8a9b-0c1d2e3f4a5b", 1, 2);
    std::vector<Uuid> objects;
    for (uint16_t i = 0; i < 5; ++i) {
        objects.push_back(NewUuid());
        ASSERT_EQ(RegisterEndpoint(id, &objects.back(), uint16_t(6000 + i), "n"), kOk);
    }
    ClientConnection c("127.0.0.1", port_, epm::kInterface.id);
    epm::InterfaceId want{id.uuid, 1, 0};
    struct {
        uint32_t inquiry;
        const Uuid *object;
        uint32_t version;
        std::vector<size_t> pages;
    } cases[] = {{epm::kInquiryInterface, nullptr, epm::kVersionCompatible, {2, 2, 1}},
                 {epm::kInquiryInterface, nullptr, epm::kVersionExact, {}},
                 {epm::kInquiryBoth, &objects[3], epm::kVersionMajorOnly, {1}},
                 {epm::kInquiryObject, &objects[1], 0, {1}}};
    for (auto &k : cases) {
        epm::LookupIn in{k.inquiry, const_cast<Uuid *>(k.object), &want, k.version, {}, 2};
        std::vector<size_t> pages;
        std::set<uint16_t> ports;
        for (int i = 0; i < 5; ++i) {
            epm::LookupOut out{};
            vrcore::rpc::ndr::Arena arena;
            ASSERT_EQ(CallProcedure(c, epm::kInterface, epm::kLookup, nullptr, &in, &out, &arena),
                      kOk);
            if (out.status != kOk) break;
            pages.push_back(out.num_ents);
            for (uint32_t e = 0; e < out.num_ents; ++e) {
                TcpTower t;
                ASSERT_EQ(DecodeTower({out.entries[e].tower->octets, out.entries[e].tower->length},
                                      &t),
                          kOk);
                ports.insert(t.port);
                EXPECT_STREQ(out.entries[e].annotation, "n");
            }
            in.entry_handle = out.entry_handle;
            if (out.entry_handle.uuid.IsNil()) break;
        }
        EXPECT_EQ(pages, k.pages) << k.inquiry << " " << k.version;
        if (k.pages.size() == 3) {
            EXPECT_EQ(ports.size(), 5u);
        }
    }
    for (uint16_t i = 0; i < 5; ++i) EXPECT_EQ(UnregisterEndpoint(id, &objects[i], 6000 + i), kOk);
}

TEST_F(Epm, ImpacketMapsTheRegisteredPortAndTsharkReadsTheExchange) {
    const char *text = "5f2e8c41-93ab-4d17-a6b0-e2c4d8f01a39";
    SyntaxId id = Iface(text, 1, 0);
    ASSERT_EQ(RegisterEndpoint(id, nullptr, 7007, "peer"), kOk);
    std::string cmd = "timeout 60 /usr/bin/python3 " VRCORE_SOURCE_DIR "/tests/rpc/epm_peer.py " +
                      std::to_string(port_) + " " + text + " 1.0 " + dir_->Path() + "/epm.pcap";
    std::string out;
    FILE *f = popen(cmd.c_str(), "r");
    char line[512];
    while (f && fgets(line, sizeof line, f)) out += line;
    if (f) pclose(f);
    EXPECT_EQ(out, "ncacn_ip_tcp:127.0.0.1[7007]\nmalformed: 0\nports: 0 7007\n");
    EXPECT_EQ(UnregisterEndpoint(id, nullptr, 7007), kOk);
}

TEST(EpmAccess, ChangesAreTakenOnlyFromThisHost) {
    auto ip = [](uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
        uint8_t bytes[4] = {a, b, c, d};
        uint32_t v;
        memcpy(&v, bytes, 4);
        return v;
    };
    const uint32_t own[] = {ip(192, 168, 1, 20), ip(10, 0, 0, 5)};
    struct {
        uint32_t peer;
        bool may;
    } cases[] = {{ip(127, 0, 0, 1), true},    {ip(127, 8, 9, 10), true},
                 {ip(10, 0, 0, 5), true},     {ip(10, 0, 0, 6), false},
                 {ip(128, 0, 0, 1), false},   {0, false}};
    for (auto &c : cases) EXPECT_EQ(epm::MayChange(c.peer, own), c.may) << std::hex << c.peer;

    // Outside a call the caller is unknown: refused, the table unchanged.
    epm::Mapper mapper;
    std::vector<uint8_t> bytes = EncodeTower({Iface("6b1f3a70-0c55-4c6e-9d3e-52a8f1c0e7b1", 1, 0), kNdrSyntax});
    epm::Tower tower{uint32_t(bytes.size()), bytes.data()};
    epm::Entry entry{{}, &tower, nullptr};
    epm::StatusOut out{};
    EXPECT_EQ(mapper.Insert({1, &entry, 0}, &out), kOk);
    EXPECT_EQ(out.status, kAccessDenied);
    EXPECT_EQ(mapper.Size(), 0u);
}

TEST(EpmDaemon, StopsOnSigtermPromptlyAndRefusesBadOptions) {
    ScratchDir dir("epm");
    uint16_t port = FreePort();
    pid_t pid = StartMapper(port, dir.Path() + "/log");
    ASSERT_GT(pid, 0);
    int idle = ConnectLoopback(port); // a connection that never sends
    auto start = std::chrono::steady_clock::now();
    kill(pid, SIGTERM);
    int st = -1;
    while (waitpid(pid, &st, WNOHANG) == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
        usleep(5000);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
    if (!WIFEXITED(st)) kill(pid, SIGKILL), WaitStatus(pid);
    close(idle);
    std::string bad = std::string(VREPMD) + " --port 70000 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(system(bad.c_str())), 2);
}

} // namespace
} // namespace vrtest
