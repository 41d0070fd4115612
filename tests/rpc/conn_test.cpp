// The packet codec, the connections of client and server with each other,
// with independent peers (impacket, samba, a server of the tests' own
// framing) and with hostile ones.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>

#include <cstdio>

#include "loopback.h"
#include "test_iface.h"

namespace vrtest {
namespace {

using namespace vrcore::rpc;
namespace p = vrcore::rpc::pdu;
using Bytes = std::vector<uint8_t>;

Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes Encoded(const p::Pdu &d) {
    Bytes out;
    EXPECT_EQ(p::Encode(d, &out), kOk);
    return out;
}

p::Pdu BindOf(const SyntaxId &iface, std::vector<SyntaxId> transfers = {p::Ndr20()}) {
    p::Pdu b;
    b.type = p::Type::kBind;
    b.call_id = 1;
    b.contexts.push_back({0, iface, transfers});
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

TEST(RpcPdu, EveryTypeReadsBackAsWritten) {
    p::Pdu bind = BindOf(TestInterface(), {p::Ndr20(), p::FeatureNegotiation(3)});
    bind.has_auth = true;
    bind.auth = {kAuthTypeNtlm, kAuthLevelConnect, 0, 7, {1, 2, 3}};
    p::Pdu ack;
    ack.type = p::Type::kBindAck;
    ack.sec_addr = "135";
    ack.results = {{0, 0, p::Ndr20()}, {2, 1, {}}};
    p::Pdu request = Fragment(9, p::kFirstFrag, 5, 5);
    request.opnum = 3;
    request.object = NewUuid();
    request.has_auth = true;
    request.auth = {kAuthTypeNtlm, kAuthLevelConnect, 3, 1, Bytes(16, 9)};
    std::vector<p::Pdu> all = {bind, ack, request, Fragment(9, p::kLastFrag, 0, 0)};
    for (auto t : {p::Type::kBindNak, p::Type::kAlterContext, p::Type::kAlterContextResp,
                   p::Type::kResponse, p::Type::kFault, p::Type::kAuth3, p::Type::kShutdown,
                   p::Type::kCoCancel, p::Type::kOrphaned}) {
        bool stub = t == p::Type::kResponse || t == p::Type::kFault;
        all.push_back(t == p::Type::kAlterContext ? bind : stub ? Fragment(4, 3, 2, 2) : p::Pdu{});
        all.back().type = t;
        all.back().status = 0x1c010003;
    }
    for (auto &d : all) {
        Bytes wire = Encoded(d);
        p::Pdu back;
        ASSERT_EQ(p::Decode(wire.data(), wire.size(), 65535, &back), kOk) << int(d.type);
        EXPECT_EQ(Encoded(back), wire) << int(d.type);
        EXPECT_EQ(back.stub_size, d.stub_size);
        if (d.has_auth) {
            EXPECT_EQ((wire.size() - back.auth.value.size()) % 4, 0u);
        }
    }
    // Lengths, counts and versions that do not fit the bytes.
    Bytes wire = Encoded(bind);
    struct Case {
        size_t at;
        uint8_t value;
    } cases[] = {{0, 4}, {4, 0}, {8, 15}, {9, 0x20}, {10, 0x60}, {2, 1}, {24, 3}, {30, 9}, {1, 2}};
    for (auto c : cases) {
        Bytes bad = wire;
        bad[c.at] = c.value;
        p::Pdu out;
        EXPECT_EQ(p::Decode(bad.data(), bad.size(), 5840, &out), kProtocolError) << c.at;
    }
}

TEST(RpcPdu, ReassemblyRefusesFragmentsOutsideItsLimits) {
    struct Case {
        std::vector<p::Pdu> fragments;
        bool ok;
    } cases[] = {
        {{Fragment(1, p::kFirstFrag, 8, 4), Fragment(1, p::kLastFrag, 4, 4)}, true},
        {{Fragment(1, p::kLastFrag, 8, 4)}, false}, // no first
        {{Fragment(1, 3, 0xffffffff, 4)}, false},   // announces 4 GiB
        {{Fragment(1, p::kFirstFrag, 8, 4), Fragment(2, p::kLastFrag, 4, 4)}, false},  // other call
        {{Fragment(1, p::kFirstFrag, 8, 60), Fragment(1, p::kLastFrag, 4, 8)}, false}, // too large
        {std::vector<p::Pdu>(4, Fragment(1, 0, 0, 1)), false},                         // too many
    };
    cases[5].fragments[0].flags = p::kFirstFrag;
    cases[5].fragments[3].flags = p::kLastFrag;
    for (auto &c : cases) {
        p::Reassembly r(64, 3);
        const char *why = "";
        uint32_t st = kOk;
        for (auto &f : c.fragments) st = st ? st : r.Add(f, &why);
        EXPECT_EQ(st == kOk && r.Complete(), c.ok) << why;
    }
}

TEST(RpcConn, BindAnswersEachContextAsItDeserves) {
    std::vector<ServedInterface> served = {TestServed()};
    ServerOptions options;
    ServerSession s(&served, &options, "4711");
    p::Pdu bind = BindOf(TestInterface());
    bind.max_recv_frag = 4280;
    SyntaxId other = TestInterface(), ndr64 = other;
    other.major = 2;
    ParseUuid("71710533-beba-4937-8319-b5dbef9ccc36", &ndr64.uuid);
    bind.contexts.push_back({1, other, {p::Ndr20()}});
    bind.contexts.push_back({2, TestInterface(), {ndr64}});
    bind.contexts.push_back({3, TestInterface(), {ndr64, p::FeatureNegotiation(3)}});
    Bytes in = Encoded(bind), out;
    ASSERT_TRUE(s.Receive(in.data(), in.size(), 0, &out));
    p::Pdu ack;
    ASSERT_EQ(p::Decode(out.data(), out.size(), 65535, &ack), kOk);
    EXPECT_EQ(ack.max_xmit_frag, 4280);
    EXPECT_EQ(ack.sec_addr, "4711");
    ASSERT_EQ(ack.results.size(), 4u);
    EXPECT_TRUE(ack.results[0].result == p::kAcceptance && ack.results[0].transfer == p::Ndr20());
    EXPECT_TRUE(ack.results[1].result == p::kProviderRejection && ack.results[1].reason == 1);
    EXPECT_TRUE(ack.results[2].result == p::kProviderRejection && ack.results[2].reason == 2);
    EXPECT_EQ(ack.results[3].result, p::kNegotiateAck);
    EXPECT_FALSE(s.Receive(in.data(), in.size(), 0, &out)) << "a second bind";
}

TEST(RpcConn, CallsCarryEverySizeBothWays) {
    Served s;
    ClientOptions o = Opts(5000);
    o.max_xmit_frag = 1000; // below the least: the least is offered
    ClientConnection c("127.0.0.1", s.server.Port(), TestInterface(), o);
    Bytes big(100 * 1024), out;
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 13);
    for (const Bytes &in : {Bytes{}, Bytes{1, 2, 3}, big}) {
        ASSERT_EQ(c.Call(kEcho, nullptr, in, &out), kOk);
        EXPECT_EQ(out, in);
    }
    EXPECT_EQ(c.NegotiatedXmitFrag(), p::kMinFragSize);
    ASSERT_EQ(c.Call(kAnswer, nullptr, Le32(300 * 1024), &out), kOk);
    EXPECT_EQ(out.size(), 300u * 1024);
    EXPECT_EQ(out[299 * 1024], uint8_t(299 * 1024 * 7 + (299 * 1024 >> 8)));
    Uuid object = NewUuid();
    ASSERT_EQ(c.Call(kObject, &object, {}, &out), kOk);
    EXPECT_EQ(out, Bytes(object.bytes, object.bytes + 16));
}

TEST(RpcConn, FailedCallsReportTheirStatus) {
    ServerOptions one;
    one.max_connections = 1;
    Served s(one), plain;
    uint16_t closed_port = 0;
    close(LoopbackSocket(closed_port));
    SyntaxId unknown = TestInterface();
    unknown.major = 9;
    ClientConnection c("127.0.0.1", s.server.Port(), TestInterface(), Opts(300));
    struct Case {
        uint16_t port;
        SyntaxId iface;
        uint16_t op;
        Bytes in;
        uint32_t status;
    } cases[] = {
        {closed_port, TestInterface(), kEcho, {}, kServerUnavailable},
        {plain.server.Port(), unknown, kEcho, {}, kUnknownInterface},
        {0, {}, kFault, Le32(kBadStubData), kBadStubData},
        {0, {}, kFault, Le32(p::kNcaUnknownInterface), kUnknownInterface},
        {0, {}, 77, {}, kProcnumOutOfRange},
        {0, {}, kSleep, Le32(1000), kCallCancelled},
        {0, {}, kEcho, {}, kOk}, // on a new connection once the sleeper is done
        {s.server.Port(), TestInterface(), kEcho, {}, kServerTooBusy}, // c holds the one
    };
    for (auto &k : cases) {
        Bytes out;
        if (k.port == 0) {
            EXPECT_EQ(c.Call(k.op, nullptr, k.in, &out), k.status) << k.op;
            if (k.op == kSleep) usleep(1000 * 1000);
        } else {
            ClientConnection other("127.0.0.1", k.port, k.iface, Opts(2000));
            EXPECT_EQ(other.Call(k.op, nullptr, k.in, &out), k.status) << k.port;
        }
    }
}

TEST(RpcConn, AuthenticationIsRequiredAndChecked) {
    ServerOptions o;
    o.security = FakeFactory(true, "secret");
    o.require_auth = true;
    Served with(o), without;
    struct Case {
        uint16_t port;
        SecurityFactory client;
        uint32_t status;
    } cases[] = {
        {with.server.Port(), FakeFactory(false, "secret"), kOk},
        {with.server.Port(), FakeFactory(false, "guess"), kAccessDenied},
        {with.server.Port(), nullptr, kAccessDenied},
        {without.server.Port(), FakeFactory(false, "secret"), kAccessDenied},
    };
    for (auto &k : cases) {
        ClientConnection c("127.0.0.1", k.port, TestInterface(), Opts(2000, k.client));
        Bytes out;
        EXPECT_EQ(c.Call(kEcho, nullptr, {1}, &out), k.status);
    }
}

TEST(RpcConn, RestartedServerIsReachedAgainAndThreadsRunTogether) {
    auto s = std::make_unique<Served>();
    uint16_t port = s->server.Port();
    ClientConnection c("127.0.0.1", port, TestInterface(), Opts(2000));
    Bytes out;
    ASSERT_EQ(c.Call(kEcho, nullptr, {1}, &out), kOk);
    s.reset();
    s = std::make_unique<Served>(ServerOptions{}, port);
    EXPECT_EQ(c.Call(kEcho, nullptr, {2}, &out), kOk);
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            ClientConnection own("127.0.0.1", port, TestInterface(), Opts(10000));
            Bytes in(t * 100, uint8_t(t)), back;
            for (int i = 0; i < 500; ++i)
                good += own.Call(kEcho, nullptr, in, &back) == kOk && back == in;
        });
    }
    for (auto &t : threads) t.join();
    EXPECT_EQ(good, 4000);
}

TEST(RpcConn, ServerDropsPeersThatBreakItsLimits) {
    ServerOptions o;
    o.receive_timeout_ms = 300;
    o.max_fragments = 50;
    Served s(o);
    std::vector<Bytes> hostile(4);
    hostile[0] = Encoded(Fragment(2, 3, 4, 4)); // trickled below
    hostile[1] = Encoded(Fragment(2, p::kFirstFrag, 0xffffffff, 8));
    for (int i = 0; i < 60; ++i) {
        Bytes f = Encoded(Fragment(2, i == 0 ? p::kFirstFrag : 0, 60, 1));
        hostile[2].insert(hostile[2].end(), f.begin(), f.end());
    }
    hostile[3] = Encoded(Fragment(2, p::kFirstFrag, 16, 8));
    Bytes other = Encoded(Fragment(3, p::kLastFrag, 8, 8));
    hostile[3].insert(hostile[3].end(), other.begin(), other.end());
    for (size_t k = 0; k < hostile.size(); ++k) {
        int fd = ConnectLoopback(s.server.Port());
        Bytes bind = Encoded(BindOf(TestInterface())), ack(1024);
        ASSERT_EQ(send(fd, bind.data(), bind.size(), 0), ssize_t(bind.size()));
        ASSERT_GT(recv(fd, ack.data(), ack.size(), 0), 0);
        size_t piece = k == 0 ? 1 : hostile[k].size();
        for (size_t at = 0; at < hostile[k].size(); at += piece) {
            send(fd, hostile[k].data() + at, piece, MSG_NOSIGNAL);
            if (k == 0) usleep(100 * 1000);
        }
        timeval tv{3, 0};
        errno = 0;
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        EXPECT_LE(recv(fd, ack.data(), ack.size(), 0), 0) << "case " << k;
        EXPECT_NE(errno, EAGAIN) << "case " << k;
        close(fd);
    }
}

std::string RunPeer(const std::string &args) {
    std::string cmd = "timeout 120 /usr/bin/python3 " VRCORE_SOURCE_DIR "/tests/rpc/rpc_peers.py " +
                      args + " 2>&1";
    std::string text;
    FILE *f = popen(cmd.c_str(), "r");
    char line[512];
    while (f && fgets(line, sizeof line, f)) text += line;
    return text + (f && pclose(f) == 0 ? "" : "(failed)");
}

TEST(RpcPeers, ImpacketAndSambaCallOurServer) {
    Served s;
    std::string port = std::to_string(s.server.Port());
    std::string capture = testing::TempDir() + "rpc_impacket.pcap";
    EXPECT_EQ(RunPeer("impacket " + port + " " + capture), "failures: 0\n");
    EXPECT_EQ(RunPeer("samba " + port), "failures: 0\n");
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
        {kEcho, {1}, FakeFactory(false, "secret"), kOk},
        {kEcho, {1}, FakeFactory(false, "guess"), kAccessDenied},
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
