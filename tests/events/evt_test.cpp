// Event queues over loopback: building, sending, receiving and reading
// messages, the limits a hostile or slow sender meets, the retry schedule
// and closing a queue under a pending receive.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "encoding/ber_stream.h"
#include "events/evt_internal.h"
#include "events/evt_wire.h"
#include "failalloc.h"
#include "loopback.h"
#include "vrcore/evt.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

GEN_Text Address(const std::string &s) {
    GEN_Text t{};
    t.kind = GEN_KIND_CODESET;
    t.u.octets.length = static_cast<int32_t>(s.size());
    t.u.octets.value = reinterpret_cast<unsigned char *>(const_cast<char *>(s.data()));
    return t;
}

using vrtest::ConnectLoopback;

void RawSend(uint16_t port, const Bytes &b) {
    int fd = ConnectLoopback(port);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(send(fd, b.data(), b.size(), MSG_NOSIGNAL), static_cast<ssize_t>(b.size()));
    close(fd);
}

class Events : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(EVT_Init(), 0); }
    void TearDown() override {
        for (uint32_t q : open_) EVT_Close(q);
        EXPECT_EQ(EVT_Term(), 0);
    }
    uint32_t Receiver(uint16_t *port) {
        uint32_t q = 0;
        EXPECT_EQ(EVT_Open(nullptr, port, &q), 0);
        open_.push_back(q);
        return q;
    }
    uint32_t Sender(uint16_t port) {
        std::string a = "127.0.0.1:" + std::to_string(port);
        GEN_Text t = Address(a);
        uint32_t q = 0;
        EXPECT_EQ(EVT_Open(&t, nullptr, &q), 0);
        open_.push_back(q);
        return q;
    }
    std::vector<uint32_t> open_;
};

TEST(EventModule, LifecycleAndAddresses) {
    uint32_t q = 7;
    EXPECT_EQ(EVT_Open(nullptr, nullptr, &q), EVT_E_NOINIT);
    EXPECT_EQ(EVT_Term(), EVT_E_NOINIT);
    ASSERT_EQ(EVT_Init(), 0);
    ASSERT_EQ(EVT_Init(), 0);
    for (const char *bad : {":80", "localhost:", "localhost:65536", "localhost", "host:8x", "127.0.0.1:0",
                            "no-such-host.invalid:80"}) {
        std::string text = bad;
        GEN_Text t = Address(text);
        EXPECT_EQ(EVT_Open(&t, nullptr, &q), EVT_E_ARGUMENT) << bad;
    }
    const std::string loop = "127.0.0.1:80", local = "localhost:65535";
    GEN_Text wrong = Address(loop);
    wrong.kind = GEN_KIND_OCTETS;
    EXPECT_EQ(EVT_Open(&wrong, nullptr, &q), EVT_E_ARGUMENT);
    GEN_Text good = Address(local);
    ASSERT_EQ(EVT_Open(&good, nullptr, &q), 0);
    // Queues still open: refused, the count stays.
    EXPECT_EQ(EVT_Term(), EVT_E_BUSY);
    EXPECT_EQ(EVT_Close(q), 0);
    EXPECT_EQ(EVT_Close(q), EVT_E_QUEUE);
    EXPECT_EQ(EVT_Term(), 0);
    EXPECT_EQ(EVT_Term(), 0);
    EXPECT_EQ(EVT_Term(), EVT_E_NOINIT);
}

TEST_F(Events, MixedArgumentsRoundTrip) {
    uint16_t port = 0;
    uint32_t rq = Receiver(&port);
    uint32_t sq = Sender(port);
    uint32_t m = 0;
    ASSERT_EQ(EVT_MessageCreate(sq, &m), 0);
    EXPECT_EQ(EVT_MessageSend(sq, m), EVT_E_NOARG);
    const unsigned char bin[] = {0, 1, 0xff, 0, 0x80};
    ASSERT_EQ(EVT_MessageIArgPut(sq, m, INT32_MIN), 0);
    ASSERT_EQ(EVT_MessageArgPut(sq, m, "abc"), 0);
    ASSERT_EQ(EVT_MessageBArgPut(sq, m, sizeof bin, bin), 0);
    ASSERT_EQ(EVT_MessageArgPut(sq, m, ""), 0);
    ASSERT_EQ(EVT_MessageBArgPut(sq, m, 0, nullptr), 0);
    ASSERT_EQ(EVT_MessageIArgPut(sq, m, INT32_MAX), 0);
    ASSERT_EQ(EVT_MessageSend(sq, m), 0);
    // The message stays and can be sent again.
    ASSERT_EQ(EVT_MessageSend(sq, m), 0);
    uint32_t none = 0;
    EXPECT_EQ(EVT_MessageReceive(sq, 5, nullptr, &none), EVT_E_QUEUEKIND);

    for (int round = 0; round < 2; ++round) {
        uint32_t r = 0;
        ASSERT_EQ(EVT_MessageReceive(rq, 5, nullptr, &r), 0);
        ASSERT_NE(r, 0u);
        int32_t i = 0;
        char text[8];
        unsigned char b[8];
        uint32_t n = 0;
        EXPECT_EQ(EVT_MessageArgGet(rq, r, sizeof text, text), EVT_E_ARGTYPE); // cursor stays
        ASSERT_EQ(EVT_MessageIArgGet(rq, r, &i), 0);
        EXPECT_EQ(i, INT32_MIN);
        EXPECT_EQ(EVT_MessageArgGet(rq, r, 3, text), EVT_E_BUFFER);
        ASSERT_EQ(EVT_MessageArgGet(rq, r, 4, text), 0);
        EXPECT_STREQ(text, "abc");
        n = 2;
        EXPECT_EQ(EVT_MessageBArgGet(rq, r, &n, b), EVT_E_BUFFER);
        EXPECT_EQ(n, sizeof bin);
        ASSERT_EQ(EVT_MessageBArgGet(rq, r, &n, b), 0);
        EXPECT_EQ(Bytes(b, b + n), Bytes(bin, bin + sizeof bin));
        ASSERT_EQ(EVT_MessageArgGet(rq, r, 1, text), 0);
        EXPECT_STREQ(text, "");
        n = sizeof b;
        ASSERT_EQ(EVT_MessageBArgGet(rq, r, &n, b), 0);
        EXPECT_EQ(n, 0u);
        ASSERT_EQ(EVT_MessageIArgGet(rq, r, &i), 0);
        EXPECT_EQ(i, INT32_MAX);
        EXPECT_EQ(EVT_MessageIArgGet(rq, r, &i), EVT_E_NOARG);
        EXPECT_EQ(EVT_MessageIArgPut(rq, r, 1), EVT_E_QUEUEKIND);
        EXPECT_EQ(EVT_MessageFree(rq, r), 0);
        EXPECT_EQ(EVT_MessageFree(rq, r), EVT_E_MESSAGE);
    }
    EXPECT_EQ(EVT_MessageFree(sq, m), 0);
    EXPECT_EQ(EVT_MessageIArgPut(sq, m, 1), EVT_E_MESSAGE);
    EXPECT_EQ(EVT_MessageIArgPut(0xdeadbeef, m, 1), EVT_E_QUEUE);
    EXPECT_EQ(EVT_MessageReceive(rq, -2, nullptr, &m), EVT_E_ARGUMENT);
    EXPECT_EQ(EVT_MessageReceive(rq, -1, nullptr, &m), EVT_E_ARGUMENT);
}

TEST_F(Events, RegisteredPortIsExclusive) {
    uint16_t want = 0, got = 0;
    ASSERT_EQ(EVT_GetRegisteredPort(&want), 0);
    uint32_t q = 0, q2 = 0;
    int r = EVT_OpenRegisteredPort(&got, &q);
    if (r == EVT_E_BUSY) GTEST_SKIP() << "the registered port is in use on this machine";
    ASSERT_EQ(r, 0);
    open_.push_back(q);
    EXPECT_EQ(got, want);
    EXPECT_EQ(EVT_OpenRegisteredPort(&got, &q2), EVT_E_BUSY);
}

// Hostile and slow senders: bounded in size and in time.
TEST_F(Events, HostileAndSlowSenders) {
    uint16_t port = 0;
    uint32_t rq = Receiver(&port);
    uint32_t m = 0;
    // A text without its terminating zero; then a length beyond the limit,
    // refused before its content arrives; then a connection that ends early.
    for (const Bytes &bad : {Bytes{0x30, 0x05, 0x81, 0x03, 'a', 'b', 'c'},
                             Bytes{0x30, 0x84, 0x7f, 0xff, 0xff, 0xff, 0x82, 0x01}, Bytes{0x30, 0x80, 0x80, 0x01}}) {
        RawSend(port, bad);
        EXPECT_EQ(EVT_MessageReceive(rq, 5, nullptr, &m), EVT_E_DECODE);
        EXPECT_EQ(m, 0u);
    }

    // An endless indefinite-length message stops at the limit.
    std::thread flood([port] {
        int fd = ConnectLoopback(port);
        Bytes chunk(65536, 0);
        for (size_t i = 0; i + 4 <= chunk.size(); i += 4) chunk[i] = 0x82, chunk[i + 1] = 2;
        unsigned char head[] = {0x30, 0x80};
        send(fd, head, 2, MSG_NOSIGNAL);
        for (int i = 0; i < 40; ++i)
            if (send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) < 0) break;
        close(fd);
    });
    EXPECT_EQ(EVT_MessageReceive(rq, 20, nullptr, &m), EVT_E_DECODE);
    flood.join();

    // Nothing arrives; then a sender trickles a byte at a time: both end
    // at the receive's deadline, not later.
    auto t0 = Clock::now();
    EXPECT_EQ(EVT_MessageReceive(rq, 1, nullptr, &m), EVT_E_TIMEOUT);
    EXPECT_LT(Seconds(t0), 1.9);
    std::atomic<bool> stop{false};
    std::thread slow([&] {
        int fd = ConnectLoopback(port);
        unsigned char b = 0x30;
        while (!stop && send(fd, &b, 1, MSG_NOSIGNAL) == 1) {
            b = b == 0x30 ? 0x7f : 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        close(fd);
    });
    t0 = Clock::now();
    EXPECT_EQ(EVT_MessageReceive(rq, 2, nullptr, &m), EVT_E_TIMEOUT);
    EXPECT_LT(Seconds(t0), 2.9);
    stop = true;
    slow.join();
}

std::atomic<int> g_calls{0};
std::atomic<uint32_t> g_last{0};
void CountCall(uint32_t, uint32_t mid) {
    g_last = mid;
    ++g_calls;
}

// Sends a message of one integer argument.
void SendInteger(uint32_t sq, int32_t value) {
    uint32_t m = 0;
    ASSERT_EQ(EVT_MessageCreate(sq, &m), 0);
    ASSERT_EQ(EVT_MessageIArgPut(sq, m, value), 0);
    ASSERT_EQ(EVT_MessageSend(sq, m), 0);
}

// Waits for the first asynchronous delivery; the integer it carried.
int32_t AwaitInteger(uint32_t rq) {
    for (int i = 0; i < 500 && g_calls == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(g_calls, 1);
    int32_t v = 0;
    EXPECT_EQ(EVT_MessageIArgGet(rq, g_last, &v), 0);
    return v;
}

TEST_F(Events, AsynchronousReceiveAndClose) {
    uint16_t port = 0;
    uint32_t rq = Receiver(&port);
    uint32_t sq = Sender(port);
    g_calls = 0;
    ASSERT_EQ(EVT_MessageReceive(rq, -1, CountCall, nullptr), 0);
    EXPECT_EQ(EVT_MessageReceive(rq, -1, CountCall, nullptr), EVT_E_BUSY);
    // A broken sender does not end the receive; the next message does.
    RawSend(port, {0x30, 0x03, 0x05, 0x00, 0x00});
    SendInteger(sq, 42);
    EXPECT_EQ(AwaitInteger(rq), 42);

    // Closing wakes the pending receive, which delivers nothing; also with
    // a sender stalled in the middle of its message.
    ASSERT_EQ(EVT_MessageReceive(rq, -1, CountCall, nullptr), 0);
    int stalled = ConnectLoopback(port);
    unsigned char half[] = {0x30, 0x10};
    send(stalled, half, sizeof half, MSG_NOSIGNAL);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto t0 = Clock::now();
    EXPECT_EQ(EVT_Close(rq), 0);
    EXPECT_LT(Seconds(t0), 1.0);
    EXPECT_EQ(g_calls, 1);
    close(stalled);
}

// A receive without limit still bounds each sender by the module's
// time-out: a stalled sender ends a synchronous receive, and is skipped by
// an asynchronous one, which then takes the next message.
TEST_F(Events, StalledSenderAndUnlimitedReceive) {
    ASSERT_EQ(EVT_Term(), 0);
    setenv("EVT_TIMEOUT", "1", 1);
    ASSERT_EQ(EVT_Init(), 0);
    unsetenv("EVT_TIMEOUT");
    uint16_t port = 0;
    uint32_t rq = Receiver(&port), m = 0;
    const unsigned char half[] = {0x30, 0x10, 0x80};
    int stalled = ConnectLoopback(port);
    send(stalled, half, sizeof half, MSG_NOSIGNAL);
    auto t0 = Clock::now();
    EXPECT_EQ(EVT_MessageReceive(rq, 0, nullptr, &m), EVT_E_TIMEOUT);
    EXPECT_LT(Seconds(t0), 2.5);
    close(stalled);

    g_calls = 0;
    ASSERT_EQ(EVT_MessageReceive(rq, -1, CountCall, nullptr), 0);
    stalled = ConnectLoopback(port);
    send(stalled, half, sizeof half, MSG_NOSIGNAL);
    SendInteger(Sender(port), 7);
    EXPECT_EQ(AwaitInteger(rq), 7);
    close(stalled);
}

// The retry schedule on a refused connection, with the waits recorded
// instead of slept.
std::vector<uint32_t> g_sleeps;
int g_listen_at = -1; // the wait after which the bound socket listens
int g_listener = -1;
void RecordSleep(uint32_t ms) {
    g_sleeps.push_back(ms);
    if (static_cast<int>(g_sleeps.size()) == g_listen_at) listen(g_listener, 5);
}

TEST_F(Events, RetryScheduleOnRefusedConnections) {
    auto saved = vrevt::SetSleep(RecordSleep);
    uint16_t refused = 0;
    g_listener = vrtest::LoopbackSocket(refused);
    uint32_t sq = Sender(refused);
    uint32_t m = 0;
    ASSERT_EQ(EVT_MessageCreate(sq, &m), 0);
    ASSERT_EQ(EVT_MessageIArgPut(sq, m, 1), 0);

    // Nobody listens: five waits, then the send fails and the message stays.
    g_sleeps.clear();
    g_listen_at = -1;
    EXPECT_EQ(EVT_MessageSend(sq, m), EVT_E_SOCKET);
    EXPECT_EQ(g_sleeps, (std::vector<uint32_t>{1000, 2000, 4000, 8000, 16000}));

    // A listener appears after the third wait: the fourth attempt succeeds.
    g_sleeps.clear();
    g_listen_at = 3;
    EXPECT_EQ(EVT_MessageSend(sq, m), 0);
    EXPECT_EQ(g_sleeps.size(), 3u);
    close(g_listener);

    // The refused address is given up after its retries; the next is used.
    uint16_t port = 0;
    uint32_t rq = Receiver(&port);
    ASSERT_EQ(vrevt::AddRemote(sq, INADDR_LOOPBACK, port), 0);
    g_sleeps.clear();
    g_listen_at = -1;
    EXPECT_EQ(EVT_MessageSend(sq, m), 0);
    EXPECT_EQ(g_sleeps.size(), 5u);
    uint32_t r = 0;
    EXPECT_EQ(EVT_MessageReceive(rq, 5, nullptr, &r), 0);
    vrevt::SetSleep(saved);
}

// Eight senders, five hundred messages each, one receiving queue: every
// message arrives once, its arguments intact.
TEST_F(Events, ManySendersOneReceiver) {
    constexpr int kThreads = 8, kEach = 500;
    uint16_t port = 0;
    uint32_t rq = Receiver(&port);
    std::vector<uint32_t> senders;
    for (int t = 0; t < kThreads; ++t) senders.push_back(Sender(port));
    auto text_of = [](int t, int i) { return std::string(static_cast<size_t>((t * 31 + i) % 97), 'a' + t) + std::to_string(i); };
    auto bin_of = [](int t, int i) {
        Bytes b(static_cast<size_t>((i * 7 + t) % 300));
        for (size_t k = 0; k < b.size(); ++k) b[k] = static_cast<unsigned char>(k * 13 + static_cast<size_t>(i));
        return b;
    };
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                uint32_t m = 0;
                Bytes b = bin_of(t, i);
                bool ok = EVT_MessageCreate(senders[t], &m) == 0 && EVT_MessageIArgPut(senders[t], m, t) == 0 &&
                          EVT_MessageArgPut(senders[t], m, text_of(t, i).c_str()) == 0 &&
                          EVT_MessageBArgPut(senders[t], m, static_cast<uint32_t>(b.size()), b.data()) == 0 &&
                          EVT_MessageIArgPut(senders[t], m, -i) == 0 && EVT_MessageSend(senders[t], m) == 0 &&
                          EVT_MessageFree(senders[t], m) == 0;
                if (!ok) ++failures;
            }
        });
    }
    std::set<std::pair<int, int>> seen;
    int bad = 0;
    for (int k = 0; k < kThreads * kEach; ++k) {
        uint32_t m = 0;
        ASSERT_EQ(EVT_MessageReceive(rq, 30, nullptr, &m), 0) << k;
        int32_t t = -1, neg = 1;
        char text[256];
        unsigned char b[512];
        uint32_t n = sizeof b;
        if (EVT_MessageIArgGet(rq, m, &t) || EVT_MessageArgGet(rq, m, sizeof text, text) ||
            EVT_MessageBArgGet(rq, m, &n, b) || EVT_MessageIArgGet(rq, m, &neg) ||
            EVT_MessageIArgGet(rq, m, &neg) != EVT_E_NOARG || t < 0 || t >= kThreads || neg > 0 ||
            text != text_of(t, -neg) || Bytes(b, b + n) != bin_of(t, -neg) || !seen.insert({t, -neg}).second)
            ++bad;
        ASSERT_EQ(EVT_MessageFree(rq, m), 0);
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kEach));
}

// Building a message when any allocation of the queue's context fails:
// the failure is reported and nothing is left behind.
TEST_F(Events, BuildingUnderAllocationFailure) {
    vrtest::FailModule fail(vrcore::seam::Module::Events);
    uint32_t sq = Sender(9);
    const unsigned char bin[3] = {1, 2, 3};
    long points = vrtest::SweepFailures(
        [&] {
            uint32_t m = 0;
            int r = EVT_MessageCreate(sq, &m);
            if (!r) r = EVT_MessageArgPut(sq, m, "text");
            if (!r) r = EVT_MessageBArgPut(sq, m, sizeof bin, bin);
            if (!r) r = EVT_MessageIArgPut(sq, m, 3);
            if (m) {
                EXPECT_EQ(EVT_MessageFree(sq, m), 0);
            }
            if (r) {
                EXPECT_EQ(r, EVT_E_NOMEM);
            }
            return r == 0;
        },
        [] {});
    EXPECT_GE(points, 5);
}

// The stream scanner and the message decoder on bytes alone.
TEST(EventWire, ScannerAndDecoder) {
    using vrber::Scan;
    size_t n = 0;
    const Bytes def = {0x30, 0x03, 0x80, 0x01, 0x05};
    const Bytes indef = {0x30, 0x80, 0xa0, 0x80, 0x00, 0x00, 0x80, 0x01, 0x05, 0x00, 0x00, 0xff};
    EXPECT_EQ(vrber::ScanElement(def.data(), def.size(), 100, &n), Scan::kComplete);
    EXPECT_EQ(n, 5u);
    for (size_t k = 0; k < def.size(); ++k)
        EXPECT_EQ(vrber::ScanElement(def.data(), k, 100, &n), Scan::kNeedMore) << k;
    EXPECT_EQ(vrber::ScanElement(indef.data(), indef.size(), 100, &n), Scan::kComplete);
    EXPECT_EQ(n, 11u);
    for (size_t k = 0; k < 11; ++k) EXPECT_EQ(vrber::ScanElement(indef.data(), k, 100, &n), Scan::kNeedMore) << k;
    EXPECT_EQ(vrber::ScanElement(def.data(), def.size(), 4, &n), Scan::kTooLarge);
    EXPECT_EQ(vrber::ScanElement(indef.data(), 8, 8, &n), Scan::kTooLarge);
    const Bytes prim_indef = {0x04, 0x80};
    EXPECT_EQ(vrber::ScanElement(prim_indef.data(), 2, 100, &n), Scan::kBadData);
    Bytes deep;
    for (int i = 0; i < 100; ++i) deep.insert(deep.end(), {0x30, 0x80});
    EXPECT_EQ(vrber::ScanElement(deep.data(), deep.size(), 1000, &n), Scan::kTooDeep);

    // An indefinite-length message decodes; every allocation failure of the
    // decode leaves nothing behind.
    const Bytes msg = {0x30, 0x80, 0x80, 0x01, 0x05, 0x81, 0x02, 'x', 0, 0x82, 0x00, 0x00, 0x00};
    vrevt::Context ctx;
    ASSERT_TRUE(ctx.Init(vrber::Hooks{&vrtest::FailMalloc, &vrtest::FailFree}));
    vrevt::MessagePdu *pdu = nullptr;
    long points = vrtest::SweepFailures(
        [&] {
            int r = vrevt::DecodeMessage(ctx, msg.data(), msg.size(), &pdu, nullptr);
            if (r) return false;
            EXPECT_EQ(pdu->first->arg.u.integer, 5);
            EXPECT_STREQ(reinterpret_cast<char *>(pdu->first->next->arg.u.bytes.value), "x");
            ctx.FreePdu(vrevt::kPduEventMessage, pdu);
            return true;
        },
        [&] { EXPECT_EQ(pdu, nullptr); });
    EXPECT_GE(points, 4);
}

} // namespace
