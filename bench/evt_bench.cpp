// Event messages per second over loopback, against the bare minimum the
// same bytes need: a raw connect, send and close per message to a raw
// acceptor that reads to the end. Both peers run in the same process.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "../tests/support/loopback.h"
#include "vrcore/evt.h"

namespace {

const unsigned char kBinary[32] = {1, 2, 3, 4, 5, 6, 7, 8};
const char kText[] = "job 1234 completed on printer lp0";

// Both peers wait until every message sent has been received.
void Drain(std::atomic<long> &received, long sent) {
    while (received.load() < sent) std::this_thread::yield();
}

void BM_EventMessageSend(benchmark::State &state) {
    EVT_Init();
    uint16_t port = 0;
    uint32_t rq = 0, sq = 0;
    EVT_Open(nullptr, &port, &rq);
    std::string addr = "127.0.0.1:" + std::to_string(port);
    GEN_Text remote{};
    remote.kind = GEN_KIND_CODESET;
    remote.u.octets.length = static_cast<int32_t>(addr.size());
    remote.u.octets.value = reinterpret_cast<unsigned char *>(addr.data());
    EVT_Open(&remote, nullptr, &sq);
    std::atomic<long> received{0};
    std::atomic<bool> stop{false};
    std::thread receiver([&] {
        while (!stop) {
            uint32_t m = 0;
            if (EVT_MessageReceive(rq, 1, nullptr, &m) != 0) continue;
            int32_t v;
            char text[64];
            unsigned char b[64];
            uint32_t n = sizeof b;
            EVT_MessageIArgGet(rq, m, &v);
            EVT_MessageArgGet(rq, m, sizeof text, text);
            EVT_MessageBArgGet(rq, m, &n, b);
            EVT_MessageFree(rq, m);
            ++received;
        }
    });
    long sent = 0;
    for (auto _ : state) {
        uint32_t m = 0;
        EVT_MessageCreate(sq, &m);
        EVT_MessageIArgPut(sq, m, static_cast<int32_t>(sent));
        EVT_MessageArgPut(sq, m, kText);
        EVT_MessageBArgPut(sq, m, sizeof kBinary, kBinary);
        if (EVT_MessageSend(sq, m) != 0) state.SkipWithError("send failed");
        EVT_MessageFree(sq, m);
        ++sent;
    }
    Drain(received, sent);
    stop = true;
    receiver.join();
    state.SetItemsProcessed(sent);
    EVT_Close(sq);
    EVT_Close(rq);
    EVT_Term();
}
BENCHMARK(BM_EventMessageSend)->UseRealTime();

// The same message's bytes, sent raw.
void BM_RawConnectSendClose(benchmark::State &state) {
    std::vector<unsigned char> bytes;
    auto put = [&bytes](unsigned v) { bytes.push_back(static_cast<unsigned char>(v)); };
    for (unsigned v : {0x30u, 0u, 0x80u, 1u, 7u, 0x81u, static_cast<unsigned>(sizeof kText)})
        put(v);
    for (char c : kText) put(static_cast<unsigned char>(c));
    put(0x82);
    put(sizeof kBinary);
    for (unsigned char c : kBinary) put(c);
    bytes[1] = static_cast<unsigned char>(bytes.size() - 2);

    uint16_t port = 0;
    int lfd = vrtest::LoopbackListener(port);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(port);
    std::atomic<long> received{0};
    std::atomic<bool> stop{false};
    std::thread acceptor([&] {
        unsigned char buf[4096];
        while (!stop) {
            int c = accept(lfd, nullptr, nullptr);
            if (c < 0) continue;
            while (recv(c, buf, sizeof buf, 0) > 0) {}
            close(c);
            ++received;
        }
    });
    long sent = 0;
    for (auto _ : state) {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0)
            state.SkipWithError("connect failed");
        send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        close(fd);
        ++sent;
    }
    Drain(received, sent);
    stop = true;
    // Wake the acceptor.
    close(vrtest::ConnectLoopback(port));
    acceptor.join();
    close(lfd);
    state.SetItemsProcessed(sent);
}
BENCHMARK(BM_RawConnectSendClose)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
