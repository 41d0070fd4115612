// The packet codec and connections: with each other, with independent and hostile peers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>

#include <cstdio>

#include "loopback.h"
#include "rpc/rpc_auth.h"
#include "scratch.h"
#include "test_iface.h"

namespace vrtest {
namespace {

using namespace vrcore::rpc;
namespace p = vrcore::rpc::pdu;
using Bytes = std::vector<uint8_t>;

Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

// The packets appended to *to (or to a new buffer), which is returned.
template <typename... Pdus> Bytes Append(Bytes *to, const Pdus &...pdus) {
    Bytes out = to ? *to : Bytes{};
    (p::Encode(pdus, &out), ...);
    if (to) *to = out;
    return out;
}

p::Pdu BindOf(const SyntaxId &iface) {
    p::Pdu b;
    b.type = p::Type::kBind;
    b.contexts.push_back({0, iface, {p::Ndr20()}});
    return b;
}

p::Pdu Fragment(uint32_t call_id, uint8_t flags, uint32_t hint, size_t n) {
    static const Bytes stub(64 * 1024, 0x5a);
    p::Pdu r;
    r.call_id = call_id;
    r.flags = flags;
    r.alloc_hint = hint;
    r.stub = stub.data();
    r.stub_size = n;
    return r;
}

struct Served {
    Server server;
    explicit Served(ServerOptions o = {}, uint16_t port = 0) : server(std::move(o)) {
        server.AddInterface(TestServed());
        EXPECT_EQ(server.Listen("127.0.0.1", port), kOk);
    }
};

ClientOptions Opts(int timeout_ms, SecurityFactory security = nullptr) {
    ClientOptions o;
    o.timeout_ms = timeout_ms;
    o.security = std::move(security);
    o.max_fragments = 400;
    return o;
}

TEST(RpcConn, FailedCallsReportTheirStatus) {
    ServerOptions one;
    one.max_connections = 1;
    Served s(one), plain, with(NtlmOptions(true)), maybe(NtlmOptions(false)),
        anon(NtlmOptions(true, true));
    uint16_t closed = 0, lone = s.server.Port(), open = plain.server.Port(),
             auth = with.server.Port();
    close(LoopbackSocket(closed));
    SyntaxId unknown = TestInterface(), iface = TestInterface();
    unknown.major = 9;
    ClientConnection c("127.0.0.1", lone, TestInterface(), Opts(300));
    struct Case {
        uint16_t port; // 0: on c, one after the other
        SyntaxId iface;
        SecurityFactory security;
        uint16_t op;
        Bytes in;
        uint32_t status;
    } cases[] = {
        {closed, TestInterface(), nullptr, kEcho, {}, kServerUnavailable},
        {open, unknown, nullptr, kEcho, {}, kUnknownInterface},
        {auth, iface, ClientNtlm({"alice", "ANY", "Secret1"}), kEcho, {}, kOk},
        {auth, iface, ClientNtlm({"alice", "", "secret1"}), kEcho, {}, kAccessDenied},
        {auth, iface, ClientNtlm({"mallory", "", "Secret1"}), kEcho, {}, kAccessDenied},
        {auth, iface, ClientNtlm({"", "", ""}), kEcho, {}, kAccessDenied}, // anonymous
        {auth, iface, nullptr, kEcho, {}, kAccessDenied},
        {anon.server.Port(), iface, ClientNtlm({"", "", ""}), kEcho, {}, kOk},
        // Authentication optional: a failed one is still refused.
        {maybe.server.Port(), iface, ClientNtlm({"alice", "", "wrong"}), kEcho, {}, kAccessDenied},
        {open, iface, ClientNtlm({"alice", "", "Secret1"}), kEcho, {}, kAccessDenied},
        {0, {}, nullptr, kFault, Le32(kBadStubData), kBadStubData},
        {0, {}, nullptr, kFault, Le32(p::kNcaUnknownInterface), kUnknownInterface},
        {0, {}, nullptr, 77, {}, kProcnumOutOfRange},
        {0, {}, nullptr, kSleep, Le32(1000), kCallCancelled},
        {0, {}, nullptr, kEcho, {}, kOk}, // a new connection once the sleeper ends
        {lone, TestInterface(), nullptr, kEcho, {}, kServerTooBusy}, // c holds the one
    };
    for (auto &k : cases) {
        Bytes out;
        if (k.port == 0) {
            EXPECT_EQ(c.Call(k.op, nullptr, k.in, &out), k.status) << k.op;
            if (k.op == kSleep) usleep(1000 * 1000);
        } else {
            ClientConnection other("127.0.0.1", k.port, k.iface, Opts(2000, k.security));
            EXPECT_EQ(other.Call(k.op, nullptr, k.in, &out), k.status) << k.port;
        }
    }
}

TEST(RpcConn, LargeCallsCrossARestartAndThreadsRunTogether) {
    auto s = std::make_unique<Served>(NtlmOptions(true)); // each connection logs on again
    uint16_t port = s->server.Port();
    SecurityFactory alice = ClientNtlm({"alice", "", "Secret1"});
    ClientOptions o = Opts(5000, alice);
    o.max_xmit_frag = 1000; // below the least: the least is offered
    ClientConnection c("127.0.0.1", port, TestInterface(), o);
    Bytes big(300 * 1024), out;
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 13 + (i >> 10));
    ASSERT_EQ(c.Call(kEcho, nullptr, {1}, &out), kOk);
    EXPECT_EQ(c.NegotiatedXmitFrag(), p::kMinFragSize);
    s.reset();
    s = std::make_unique<Served>(NtlmOptions(true), port);
    ASSERT_EQ(c.Call(kEcho, nullptr, big, &out), kOk);
    EXPECT_EQ(out, big);
    Uuid object = NewUuid();
    ASSERT_EQ(c.Call(kObject, &object, {}, &out), kOk);
    EXPECT_EQ(out, Bytes(object.bytes, object.bytes + 16));
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            ClientConnection own("127.0.0.1", port, TestInterface(), Opts(10000, alice));
            Bytes in(t * 100, uint8_t(t)), back;
            for (int i = 0; i < 500; ++i)
                good += own.Call(kEcho, nullptr, in, &back) == kOk && back == in;
        });
    }
    for (auto &t : threads) t.join();
    EXPECT_EQ(good, 4000);
}

TEST(RpcConn, ServerDropsPeersThatBreakItsLimits) {
    std::vector<ServedInterface> served = {TestServed()};
    ServerOptions o;
    o.receive_timeout_ms = 300;
    o.max_fragments = 50;
    Bytes many;
    for (int i = 0; i < 60; ++i) Append(&many, Fragment(2, i == 0 ? p::kFirstFrag : 0, 60, 1));
    struct Case {
        Bytes bytes;
        size_t piece;   // arriving in pieces of this size,
        int64_t gap_ms; // this far apart
    } cases[] = {
        {Append(nullptr, Fragment(2, p::kFirstFrag, 0xffffffff, 8)), 1 << 16, 0}, // announces 4 GiB
        {many, 1 << 16, 0}, // too many fragments
        {Append(nullptr, Fragment(2, 1, 16, 8), Fragment(3, 2, 8, 8)), 1 << 16, 0}, // another call
        {Append(nullptr, Fragment(2, 3, 1500, 1500)), 1 << 16, 0}, // over the size taken
        {Append(nullptr, Fragment(2, 3, 4, 4)), 1, 100},           // trickled bytes
        {Bytes(many.begin(), many.begin() + 250), 25, 100},        // trickled fragments
    };
    for (auto &k : cases) {
        ServerSession s(&served, &o, "135");
        p::Pdu small = BindOf(TestInterface());
        small.max_xmit_frag = p::kMinFragSize;
        Bytes bind = Append(nullptr, small), out;
        bool open = s.Receive(bind.data(), bind.size(), 0, &out);
        for (size_t at = 0, now = 0; open && at < k.bytes.size(); at += k.piece, now += k.gap_ms) {
            open =
                s.Receive(k.bytes.data() + at, std::min(k.piece, k.bytes.size() - at), now, &out);
        }
        EXPECT_FALSE(open) << k.bytes.size();
    }
    // A stalled packet ends its connection without another byte arriving.
    Served server(o);
    int fd = ConnectLoopback(server.server.Port());
    Bytes half = Append(nullptr, BindOf(TestInterface()));
    ASSERT_EQ(send(fd, half.data(), 20, 0), 20);
    timeval tv{3, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    EXPECT_EQ(recv(fd, half.data(), half.size(), 0), 0);
    close(fd);
}

TEST(RpcPeers, ImpacketAndSambaCallOurServer) {
    Served s, ntlm(NtlmOptions(true));
    bool ok = false;
    EXPECT_EQ(RunCommand("timeout 120 /usr/bin/python3 " VRCORE_SOURCE_DIR
                         "/tests/rpc/rpc_peers.py clients " +
                             std::to_string(s.server.Port()) + " " + testing::TempDir() +
                             "rpc_impacket.pcap " + std::to_string(ntlm.server.Port()) + " 2>&1",
                         &ok),
              "failures: 0\n");
    EXPECT_TRUE(ok);
}

TEST(RpcPeers, OurClientMeetsAnIndependentServer) {
    FILE *f = popen("exec timeout 120 /usr/bin/python3 " VRCORE_SOURCE_DIR
                    "/tests/rpc/rpc_peers.py server",
                    "r");
    unsigned port = 0, pid = 0;
    char line[256] = "";
    ASSERT_TRUE(fgets(line, sizeof line, f));
    ASSERT_EQ(sscanf(line, "port %u pid %u", &port, &pid), 2);
    Bytes big(300 * 1024, 7);
    struct Case {
        uint16_t op;
        Bytes in;
        SecurityFactory security;
        uint32_t status;
    } cases[] = {
        {kEcho, big, nullptr, kOk},
        {kEcho, {1}, ClientNtlm({"alice", "ANY", "Secret1"}), kOk},
        {kEcho, {1}, ClientNtlm({"alice", "ANY", "Secret2"}), kAccessDenied},
        {kFault, Le32(0x1c010002), nullptr, kProcnumOutOfRange},
        {2, {1}, nullptr, kProtocolError}, // another call id
        {3, {}, nullptr, kCallFailed},     // closed mid-reply
        {4, {}, nullptr, kCallCancelled},  // no answer
        {5, {}, nullptr, kProtocolError},  // announces 4 GiB
        {6, {}, nullptr, kProtocolError},  // too many fragments
    };
    for (auto &k : cases) {
        ClientConnection c("127.0.0.1", uint16_t(port), TestInterface(), Opts(2000, k.security));
        Bytes out;
        EXPECT_EQ(c.Call(k.op, nullptr, k.in, &out), k.status) << k.op;
        if (k.status == kOk) {
            EXPECT_EQ(out, k.in);
        }
    }
    EXPECT_TRUE(fgets(line, sizeof line, f));
    EXPECT_STREQ(line, "after time-out: 18 19\n");
    kill(pid_t(pid), SIGTERM);
    pclose(f);
}

} // namespace
} // namespace vrtest
