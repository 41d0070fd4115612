// Event queues over loopback: messages, hostile and slow senders, retries, closing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <numeric>
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
using vrtest::ConnectLoopback;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The text points into `s`, which must outlive it.
GEN_Text Address(const std::string &s) {
    GEN_Text t{GEN_KIND_CODESET, {}, 0};
    t.u.octets = GEN_OctetString{static_cast<int32_t>(s.size()),
                                 reinterpret_cast<unsigned char *>(const_cast<char *>(s.data()))};
    return t;
}

// A connection that sends `b` and stays open (-1 when refused).
int Send(uint16_t port, const Bytes &b) {
    int fd = ConnectLoopback(port);
    EXPECT_EQ(send(fd, b.data(), b.size(), MSG_NOSIGNAL), static_cast<ssize_t>(b.size()));
    return fd;
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
        return open_.emplace_back(q);
    }
    uint32_t Sender(uint16_t port) {
        std::string address = "127.0.0.1:" + std::to_string(port);
        GEN_Text t = Address(address);
        uint32_t q = 0;
        EXPECT_EQ(EVT_Open(&t, nullptr, &q), 0);
        return open_.emplace_back(q);
    }
    std::vector<uint32_t> open_;
};

TEST(EventModule, LifecycleAndAddresses) {
    uint32_t q = 7;
    EXPECT_EQ(EVT_Open(nullptr, nullptr, &q), EVT_E_NOINIT);
    EXPECT_EQ(EVT_Term(), EVT_E_NOINIT);
    ASSERT_EQ(EVT_Init(), 0);
    ASSERT_EQ(EVT_Init(), 0);
    for (std::string bad : {":80", "localhost:", "localhost:65536", "localhost", "host:8x",
                            "127.0.0.1:0", "no-such-host.invalid:80"}) {
        GEN_Text t = Address(bad);
        EXPECT_EQ(EVT_Open(&t, nullptr, &q), EVT_E_ARGUMENT) << bad;
    }
    const std::string local = "localhost:65535";
    GEN_Text good = Address(local), wrong = good;
    wrong.kind = GEN_KIND_OCTETS;
    EXPECT_EQ(EVT_Open(&wrong, nullptr, &q), EVT_E_ARGUMENT);
    ASSERT_EQ(EVT_Open(&good, nullptr, &q), 0);
    EXPECT_EQ(EVT_Term(), EVT_E_BUSY) << "a queue still open";
    EXPECT_EQ(EVT_Close(q), 0);
    EXPECT_EQ(EVT_Close(q), EVT_E_QUEUE);
    EXPECT_EQ(EVT_Term() + EVT_Term(), 0);
    EXPECT_EQ(EVT_Term(), EVT_E_NOINIT);
}

TEST_F(Events, MixedArgumentsRoundTrip) {
    uint16_t port = 0;
    uint32_t rq = Receiver(&port), sq = Sender(port), m = 0, none = 0;
    ASSERT_EQ(EVT_MessageCreate(sq, &m), 0);
    EXPECT_EQ(EVT_MessageSend(sq, m), EVT_E_NOARG);
    const unsigned char bin[] = {0, 1, 0xff, 0, 0x80};
    ASSERT_FALSE(EVT_MessageIArgPut(sq, m, INT32_MIN) || EVT_MessageArgPut(sq, m, "abc") ||
                 EVT_MessageBArgPut(sq, m, sizeof bin, bin));
    ASSERT_EQ(EVT_MessageSend(sq, m) + EVT_MessageSend(sq, m), 0) << "sent twice";
    EXPECT_EQ(EVT_MessageReceive(sq, 5, nullptr, &none), EVT_E_QUEUEKIND);
    for (int round = 0; round < 2; ++round) {
        uint32_t r = 0, n = 2;
        int32_t i = 0;
        char text[8];
        unsigned char b[8];
        ASSERT_TRUE(!EVT_MessageReceive(rq, 5, nullptr, &r) && r);
        // A wrong type or too small a buffer leaves the cursor where it is.
        EXPECT_EQ(EVT_MessageArgGet(rq, r, sizeof text, text), EVT_E_ARGTYPE);
        EXPECT_TRUE(!EVT_MessageIArgGet(rq, r, &i) && i == INT32_MIN);
        EXPECT_EQ(EVT_MessageArgGet(rq, r, 3, text), EVT_E_BUFFER);
        EXPECT_TRUE(!EVT_MessageArgGet(rq, r, 4, text) && !strcmp(text, "abc"));
        EXPECT_TRUE(EVT_MessageBArgGet(rq, r, &n, b) == EVT_E_BUFFER && n == sizeof bin);
        EXPECT_TRUE(!EVT_MessageBArgGet(rq, r, &n, b) &&
                    Bytes(b, b + n) == Bytes(bin, bin + sizeof bin));
        EXPECT_EQ(EVT_MessageIArgGet(rq, r, &i), EVT_E_NOARG);
        EXPECT_EQ(EVT_MessageIArgPut(rq, r, 1), EVT_E_QUEUEKIND);
        EXPECT_EQ(EVT_MessageFree(rq, r), 0);
        EXPECT_EQ(EVT_MessageFree(rq, r), EVT_E_MESSAGE);
    }
    EXPECT_EQ(EVT_MessageFree(sq, m), 0);
    EXPECT_EQ(EVT_MessageIArgPut(sq, m, 1), EVT_E_MESSAGE);
    EXPECT_EQ(EVT_MessageIArgPut(0xdeadbeef, m, 1), EVT_E_QUEUE);
    for (int wait : {-2, -1}) EXPECT_EQ(EVT_MessageReceive(rq, wait, nullptr, &m), EVT_E_ARGUMENT);
}

TEST_F(Events, HostileAndSlowSenders) {
    uint16_t port = 0;
    uint32_t rq = Receiver(&port), m = 0;
    // A length beyond the limit is refused before its content arrives.
    close(Send(port, {0x30, 0x84, 0x7f, 0xff, 0xff, 0xff, 0x82, 0x01}));
    EXPECT_TRUE(EVT_MessageReceive(rq, 5, nullptr, &m) == EVT_E_DECODE && m == 0);
    // An endless indefinite-length message stops at the limit.
    std::thread flood([port] {
        Bytes chunk(65536, 0);
        for (size_t i = 0; i + 4 <= chunk.size(); i += 4) chunk[i] = 0x82, chunk[i + 1] = 2;
        int fd = Send(port, {0x30, 0x80});
        for (int i = 0; i < 40 && send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) >= 0; ++i) {}
        close(fd);
    });
    EXPECT_EQ(EVT_MessageReceive(rq, 20, nullptr, &m), EVT_E_DECODE);
    flood.join();
    // A sender trickling a byte at a time ends at the receive's deadline.
    std::atomic<bool> stop{false};
    std::thread slow([&] {
        int fd = ConnectLoopback(port);
        for (unsigned char b = 0x30; !stop && send(fd, &b, 1, MSG_NOSIGNAL) == 1;
             b = b == 0x30 ? 0x7f : 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        close(fd);
    });
    auto t0 = Clock::now();
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

// A stalled sender ends a synchronous receive at the module's time-out; an
// asynchronous one skips it, as it skips a broken one.
TEST_F(Events, AsynchronousReceiveSkipsBadSendersAndEndsOnClose) {
    uint16_t port = 0;
    uint32_t rq = Receiver(&port), m = 0;
    const Bytes half = {0x30, 0x10, 0x80};
    g_calls = 0;
    ASSERT_EQ(EVT_MessageReceive(rq, -1, CountCall, nullptr), 0);
    EXPECT_EQ(EVT_MessageReceive(rq, -1, CountCall, nullptr), EVT_E_BUSY);
    int stalled = Send(port, half);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto t0 = Clock::now();
    EXPECT_EQ(EVT_Close(rq), 0);
    EXPECT_LT(Seconds(t0), 1.0);
    EXPECT_EQ(g_calls, 0);
    close(stalled);

    ASSERT_EQ(EVT_Term(), 0);
    setenv("EVT_TIMEOUT", "1", 1);
    ASSERT_EQ(EVT_Init(), 0);
    unsetenv("EVT_TIMEOUT");
    rq = Receiver(&port);
    uint32_t sq = Sender(port);
    stalled = Send(port, half);
    t0 = Clock::now();
    EXPECT_EQ(EVT_MessageReceive(rq, 0, nullptr, &m), EVT_E_TIMEOUT);
    EXPECT_LT(Seconds(t0), 2.5);
    close(stalled);
    ASSERT_EQ(EVT_MessageReceive(rq, -1, CountCall, nullptr), 0);
    close(Send(port, {0x30, 0x03, 0x05, 0x00, 0x00}));
    stalled = Send(port, half);
    ASSERT_FALSE(EVT_MessageCreate(sq, &m) || EVT_MessageIArgPut(sq, m, 42) ||
                 EVT_MessageSend(sq, m));
    for (int i = 0; i < 500 && g_calls == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(g_calls, 1);
    int32_t v = 0;
    EXPECT_TRUE(!EVT_MessageIArgGet(rq, g_last, &v) && v == 42);
    close(stalled);
}

// The waits of the retry schedule, recorded instead of slept.
std::vector<uint32_t> g_sleeps;
int g_listen_at = -1; // the wait after which the bound socket listens
int g_listener = -1;
void RecordSleep(uint32_t ms) {
    g_sleeps.push_back(ms);
    if (static_cast<int>(g_sleeps.size()) == g_listen_at) listen(g_listener, 5);
}

TEST_F(Events, RetryScheduleOnRefusedConnections) {
    auto saved = vrcore::events::SetSleep(RecordSleep);
    uint16_t refused = 0, port = 0;
    g_listener = vrtest::LoopbackSocket(refused);
    uint32_t sq = Sender(refused), rq = Receiver(&port), m = 0;
    ASSERT_FALSE(EVT_MessageCreate(sq, &m) || EVT_MessageIArgPut(sq, m, 1));
    // Nobody listens; a listener after the third wait; a second address.
    const struct {
        int listen_at;
        bool second_address;
        int result;
        std::vector<uint32_t> sleeps;
    } cases[] = {{-1, false, EVT_E_SOCKET, {1000, 2000, 4000, 8000, 16000}},
                 {3, false, 0, {1000, 2000, 4000}},
                 {-1, true, 0, {1000, 2000, 4000, 8000, 16000}}};
    for (const auto &c : cases) {
        if (c.second_address) {
            close(g_listener);
            ASSERT_EQ(vrcore::events::AddRemote(sq, INADDR_LOOPBACK, port), 0);
        }
        g_sleeps.clear();
        g_listen_at = c.listen_at;
        EXPECT_EQ(EVT_MessageSend(sq, m), c.result);
        EXPECT_EQ(g_sleeps, c.sleeps);
    }
    uint32_t r = 0;
    EXPECT_EQ(EVT_MessageReceive(rq, 5, nullptr, &r), 0);
    vrcore::events::SetSleep(saved);
}

// Every message arrives once, its arguments intact.
TEST_F(Events, ManySendersOneReceiver) {
    constexpr int kThreads = 8, kEach = 500;
    uint16_t port = 0;
    uint32_t rq = Receiver(&port);
    auto text_of = [](int t, int i) {
        return std::string(static_cast<size_t>((t * 31 + i) % 97), 'a' + t) + std::to_string(i);
    };
    auto bin_of = [](int t, int i) {
        Bytes b(static_cast<size_t>((i * 7 + t) % 300));
        std::iota(b.begin(), b.end(), static_cast<unsigned char>(i));
        return b;
    };
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t, q = Sender(port)] {
            for (int i = 0; i < kEach; ++i) {
                uint32_t m = 0;
                Bytes b = bin_of(t, i);
                failures += EVT_MessageCreate(q, &m) || EVT_MessageIArgPut(q, m, t) ||
                            EVT_MessageArgPut(q, m, text_of(t, i).c_str()) ||
                            EVT_MessageBArgPut(q, m, static_cast<uint32_t>(b.size()), b.data()) ||
                            EVT_MessageIArgPut(q, m, -i) || EVT_MessageSend(q, m) ||
                            EVT_MessageFree(q, m);
            }
        });
    }
    std::set<std::pair<int, int>> seen;
    int bad = 0;
    for (int k = 0; k < kThreads * kEach; ++k) {
        uint32_t m = 0, n = 512;
        ASSERT_EQ(EVT_MessageReceive(rq, 30, nullptr, &m), 0) << k;
        int32_t t = -1, neg = 1;
        char text[256];
        unsigned char b[512];
        bad += EVT_MessageIArgGet(rq, m, &t) || EVT_MessageArgGet(rq, m, sizeof text, text) ||
               EVT_MessageBArgGet(rq, m, &n, b) || EVT_MessageIArgGet(rq, m, &neg) ||
               EVT_MessageIArgGet(rq, m, &neg) != EVT_E_NOARG || t < 0 || t >= kThreads ||
               neg > 0 || text != text_of(t, -neg) || Bytes(b, b + n) != bin_of(t, -neg) ||
               !seen.insert({t, -neg}).second;
        ASSERT_EQ(EVT_MessageFree(rq, m), 0);
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(failures + bad, 0);
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kEach));
}

// Building a message, then decoding one.
TEST_F(Events, AllocationFailuresLeaveNothingBehind) {
    vrcore::ber::Hooks hooks{&vrtest::FailMalloc, &vrtest::FailFree};
    vrtest::FailModule fail(vrcore::system::seam::Module::Events);
    uint32_t sq = Sender(9);
    const unsigned char bin[3] = {1, 2, 3};
    long points = vrtest::SweepFailures(
        [&] {
            uint32_t m = 0;
            int r = EVT_MessageCreate(sq, &m);
            r = r ? r : EVT_MessageArgPut(sq, m, "text");
            r = r ? r : EVT_MessageBArgPut(sq, m, sizeof bin, bin);
            r = r ? r : EVT_MessageIArgPut(sq, m, 3);
            EXPECT_TRUE(!m || EVT_MessageFree(sq, m) == 0);
            EXPECT_TRUE(!r || r == EVT_E_NOMEM) << r;
            return r == 0;
        },
        [] {});
    EXPECT_GE(points, 5);

    const Bytes msg = {0x30, 0x80, 0x80, 0x01, 0x05, 0x81, 0x02, 'x', 0, 0x82, 0x00, 0x00, 0x00};
    vrcore::events::Context ctx;
    ASSERT_TRUE(ctx.Init(hooks));
    vrcore::events::MessagePdu *pdu = nullptr;
    points = vrtest::SweepFailures(
        [&] {
            if (vrcore::events::DecodeMessage(ctx, msg.data(), msg.size(), &pdu, nullptr))
                return false;
            EXPECT_EQ(pdu->first->arg.u.integer, 5);
            ctx.FreePdu(vrcore::events::kPduEventMessage, pdu);
            return true;
        },
        [&] { EXPECT_EQ(pdu, nullptr); });
    EXPECT_GE(points, 4);
}

} // namespace
