// Calls over the RPC runtime on loopback against a raw TCP request/response
// loop carrying the same bytes (a small call's request and response
// packets), and one large request.
#include <benchmark/benchmark.h>
#include <netinet/tcp.h>
#include <poll.h>

#include <thread>

#include "tests/rpc/test_iface.h"
#include "tests/support/loopback.h"

namespace {

using namespace vrcore::rpc;

constexpr size_t kStub = 64;
constexpr size_t kPacket = pdu::kRequestHeaderSize + kStub; // either way

void RpcCall(benchmark::State &state, size_t request) {
    Server server;
    server.AddInterface(vrtest::TestServed());
    server.Listen("127.0.0.1", 0);
    ClientConnection c("127.0.0.1", server.Port(), vrtest::TestInterface());
    std::vector<uint8_t> in(request), out;
    uint16_t op = request > kStub ? vrtest::kSleep : vrtest::kEcho; // a large one answers nothing
    for (auto _ : state) {
        if (c.Call(op, nullptr, in, &out) != kOk) state.SkipWithError("call failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations() * request));
}

void BM_RpcSmallCall(benchmark::State &state) { RpcCall(state, kStub); }
void BM_RpcOneMiBRequest(benchmark::State &state) { RpcCall(state, size_t(1) << 20); }

bool Exact(int fd, uint8_t *p, size_t n, bool write) {
    while (n > 0) {
        ssize_t k = write ? send(fd, p, n, MSG_NOSIGNAL) : recv(fd, p, n, 0);
        if (k <= 0) return false;
        p += k;
        n -= size_t(k);
    }
    return true;
}

void BM_RawTcpSmallCall(benchmark::State &state) {
    uint16_t port = 0;
    int listener = vrtest::LoopbackListener(port);
    std::thread peer([listener] {
        int fd = accept(listener, nullptr, nullptr);
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        uint8_t buf[kPacket];
        while (Exact(fd, buf, kPacket, false) && Exact(fd, buf, kPacket, true)) {}
        close(fd);
    });
    int fd = vrtest::ConnectLoopback(port);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    uint8_t buf[kPacket] = {};
    for (auto _ : state) {
        if (!Exact(fd, buf, kPacket, true) || !Exact(fd, buf, kPacket, false)) {
            state.SkipWithError("raw exchange failed");
        }
    }
    close(fd);
    peer.join();
    close(listener);
    state.SetBytesProcessed(int64_t(state.iterations() * kStub));
}

} // namespace

BENCHMARK(BM_RpcSmallCall)->UseRealTime();
BENCHMARK(BM_RawTcpSmallCall)->UseRealTime();
BENCHMARK(BM_RpcOneMiBRequest)->UseRealTime();
BENCHMARK_MAIN();
