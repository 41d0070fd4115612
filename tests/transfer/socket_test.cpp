// Socket transfers, whole-file and chunk-wise, their failures and refused arguments.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "failalloc.h"
#include "ft_fixture.h"

using namespace vrcore::transfer;

class SocketTest : public TransferTest {
  protected:
    // Runs the server side of one socket transfer while `client` runs.
    template <class Client> uint32_t Serve(FT_Result &r, Client client) {
        EXPECT_EQ(FT_RetrieveToFile(&id_, nullptr, FT_METHOD_SOCKET, &spool_, &r), 0u);
        EXPECT_GE(r.listen_socket, 0);
        EXPECT_NE(std::string(r.spool_name).find(".orig.tmp"), std::string::npos);
        std::thread t([&] { client(r.address); });
        uint32_t rc = FT_SocketServer(&id_, &spool_, &r);
        t.join();
        EXPECT_EQ(r.listen_socket, -1);
        return rc;
    }
};

// Inline, by reference, by socket; no data, a reset, a silent client, no client.
TEST_F(SocketTest, DocumentsArriveWholeOrLeaveNothing) {
    std::string data = RandomBytes(3 << 20), src = WriteFile("doc", data),
                empty = WriteFile("empty", "");
    GEN_DocumentContent in = Inline(data, GEN_EXTERNAL_ARBITRARY), &ref = Reference(src);
    FT_Result r{};
    uint64_t sent = 0;
    size_t fds = OpenFds();
    auto serve = [&](std::function<void(FT_SocketAddress)> client) {
        return [&, client] { return Serve(r, client); };
    };
    const std::pair<uint32_t, std::function<uint32_t()>> calls[] = {
        {0, [&] { return FT_ExternalToFile(&in, &id_, &spool_, &r); }},
        {0, [&] { return FT_RetrieveToFile(&id_, &ref, FT_METHOD_FILE_REFERENCE, &spool_, &r); }},
        // The server's own address names no host: the local one.
        {0, serve([&](FT_SocketAddress a) {
             EXPECT_EQ(FT_FileToSend(&id_, &a, &ref, FT_METHOD_SOCKET, &sent), 0u);
         })},
        {FT_S_FAILED, serve([&](FT_SocketAddress a) {
             FT_FileToSend(&id_, &a, &Reference(empty), FT_METHOD_SOCKET, nullptr);
         })},
        {FT_S_FAILED, serve([&](FT_SocketAddress a) {
             int s = ConnectLoopback(a.port);
             std::string part = RandomBytes(200000);
             linger l{1, 0};
             send(s, part.data(), part.size(), MSG_NOSIGNAL);
             setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l);
             close(s);
         })},
        {FT_S_FAILED,
         [&] {
             SetAcceptTimeoutMs(200);
             return Serve(r, [&](FT_SocketAddress a) {
                 int s = ConnectLoopback(a.port);
                 char c;
                 send(s, "some", 4, MSG_NOSIGNAL);
                 recv(s, &c, 1, 0); // until the server hangs up
                 close(s);
             });
         }},
        {FT_S_OTHER, serve([](FT_SocketAddress) {})}};
    for (const auto &[code, call] : calls) {
        ASSERT_EQ(call(), code);
        EXPECT_EQ(SpoolFiles().size(), code ? 0u : 1u);
        if (code) continue;
        EXPECT_EQ(r.size, data.size());
        EXPECT_EQ(ReadFile(r.spool_name), data);
        EXPECT_EQ(Mode(r.spool_name), 0600u);
        fs::remove(r.spool_name);
    }
    EXPECT_EQ(sent, data.size());
    EXPECT_EQ(OpenFds(), fds);
}

// A full non-blocking socket is waited on until drained, or fails at the time-out.
TEST_F(SocketTest, NonBlockingSendWaitsForRoomWithinTheTimeOut) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    FdGuard writer{sv[0]}, reader{sv[1]};
    ASSERT_EQ(fcntl(sv[0], F_SETFL, O_NONBLOCK), 0);
    std::string data = RandomBytes(1 << 20), got;
    std::thread drain([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        char buf[65536];
        while (got.size() < data.size()) {
            ssize_t r = read(sv[1], buf, sizeof buf);
            if (r <= 0) break;
            got.append(buf, static_cast<size_t>(r));
        }
    });
    uint64_t sent = 0;
    EXPECT_TRUE(SendAll(sv[0], data.data(), data.size(), sent));
    drain.join();
    EXPECT_EQ(sent, data.size());
    EXPECT_EQ(got, data);

    SetAcceptTimeoutMs(100);
    EXPECT_FALSE(SendAll(sv[0], data.data(), data.size(), sent));
    EXPECT_EQ(errno, ETIMEDOUT);
}

// Listening after the fourth refusal: the document arrives; never: no sixth attempt.
TEST_F(SocketTest, ClientRetriesFiveTimesAtMost) {
    struct Ctx {
        int sock;
        bool open_at_fourth;
        std::vector<int> pauses;
    };
    auto pause = [](int attempt, void *c) {
        auto *x = static_cast<Ctx *>(c);
        x->pauses.push_back(attempt);
        if (x->open_at_fourth && attempt == 4) listen(x->sock, 5);
    };
    std::string data = RandomBytes(20000), src = WriteFile("doc", data);
    for (bool opens : {true, false}) {
        uint16_t port = 0;
        Ctx ctx{LoopbackSocket(port), opens, {}};
        SetConnectPause(pause, &ctx);
        FT_SocketAddress a{1, port, 4, {127, 0, 0, 1}};
        EXPECT_EQ(FT_FileToSend(&id_, &a, &Reference(src), FT_METHOD_SOCKET, nullptr),
                  opens ? 0u : FT_S_OTHER);
        EXPECT_EQ(ctx.pauses, (std::vector<int>{1, 2, 3, 4}));
        std::string got;
        char buf[8192];
        int c = opens ? accept(ctx.sock, nullptr, nullptr) : -1;
        for (ssize_t n; c >= 0 && (n = recv(c, buf, sizeof buf, 0)) > 0;) got.append(buf, n);
        close(c);
        close(ctx.sock);
        EXPECT_EQ(got, opens ? data : "");
    }
}

TEST_F(SocketTest, BufferWiseTransfers) {
    std::string data = RandomBytes(250000), got, src = WriteFile("doc", data);
    auto receive = [&](FT_Buffer *rb) {
        got.clear();
        uint32_t rc;
        while ((rc = FT_RetrieveToBuffer(&id_, rb)) == 0 && rb->count > 0)
            got.append(reinterpret_cast<char *>(rb->data), rb->count);
        EXPECT_EQ(rc, 0u);
    };
    FT_Buffer *rb = nullptr, *sb = nullptr;
    ASSERT_EQ(
        FT_BufferInit(&id_, nullptr, nullptr, FT_METHOD_SOCKET, 1000, FT_ROLE_RECEIVER, &rb, 1),
        0u);
    EXPECT_EQ(rb->size, 1000u);
    std::thread receiver(receive, rb);
    ASSERT_EQ(FT_BufferInit(&id_, &rb->address, &Reference(src), FT_METHOD_SOCKET, 777,
                            FT_ROLE_SENDER, &sb, 1),
              0u);
    do {
        ASSERT_EQ(FT_BufferToSend(&id_, sb), 0u);
    } while (sb->count > 0);
    EXPECT_EQ(FT_Finish(&id_, sb, 1), 0u);
    receiver.join();
    EXPECT_EQ(got, data);
    EXPECT_EQ(FT_Finish(&id_, rb, 1), 0u);

    // A sender of the caller's bytes from the caller's own buffer.
    ASSERT_EQ(FT_BufferInit(&id_, nullptr, nullptr, FT_METHOD_SOCKET, 0, FT_ROLE_RECEIVER, &rb, 1),
              0u);
    EXPECT_EQ(rb->size, 4096u);
    std::thread receiver2(receive, rb);
    unsigned char mine[16];
    FT_Buffer own{}, *op = &own;
    own.data = mine;
    own.size = sizeof mine;
    ASSERT_EQ(
        FT_BufferInit(&id_, &rb->address, nullptr, FT_METHOD_SOCKET, 0, FT_ROLE_SENDER, &op, 0),
        0u);
    EXPECT_EQ(op, &own);
    std::memcpy(mine, "hello", own.count = 5);
    EXPECT_EQ(FT_BufferToSend(&id_, &own), 0u);
    own.count = sizeof mine + 1;
    EXPECT_EQ(FT_BufferToSend(&id_, &own), FT_S_OTHER);
    FT_Finish(&id_, &own, 1); // not allocated by FT_BufferInit: only closed
    receiver2.join();
    EXPECT_EQ(got, "hello");
    FT_Finish(&id_, rb, 1);
}

TEST_F(SocketTest, BufferAllocationFailureLeavesNothing) {
    std::string src = WriteFile("doc", "abc");
    vrtest::FailModule fail(vrcore::system::seam::Module::Transfer);
    size_t fds = OpenFds();
    long points = vrtest::SweepFailures(
        [&] {
            FT_Buffer *b = nullptr;
            uint32_t rc = FT_BufferInit(&id_, nullptr, &Reference(src), FT_METHOD_FILE_REFERENCE,
                                        64, FT_ROLE_RECEIVER, &b, 1);
            EXPECT_TRUE(rc == 0 || (rc == FT_S_NOMEM && !b)) << rc;
            if (b) FT_Finish(&id_, b, 1);
            return rc == 0;
        },
        [&] { EXPECT_EQ(OpenFds(), fds); });
    EXPECT_EQ(points, 2);
}

TEST_F(SocketTest, EveryEntryPointRefusesWhatItCannotTake) {
    std::string src = WriteFile("doc", "x"), data = "x";
    FT_SocketAddress a{1, 9, 4, {127, 0, 0, 1}}, wide = a;
    wide.address_length = 16;
    GEN_DocumentContent &content = Reference(src), &missing = Reference(root_ + "/none"),
                        &dir = Reference(root_), &nul = Reference(std::string("a\0b", 3)),
                        in = Inline(data), odd_bits = Inline(data, GEN_EXTERNAL_ARBITRARY),
                        single = Inline(data, GEN_EXTERNAL_SINGLE_ASN1);
    odd_bits.u.included.unused_bits = 3;
    FT_Result r{};
    FT_Buffer *b = nullptr;
    auto send = [](GEN_DocumentIdentifier *id, FT_SocketAddress *to, GEN_DocumentContent *c) {
        return FT_FileToSend(id, to, c, FT_METHOD_SOCKET, nullptr);
    };
    auto by_ref = [&](GEN_DocumentContent *c) {
        return FT_RetrieveToFile(&id_, c, FT_METHOD_FILE_REFERENCE, &spool_, &r);
    };
    const std::pair<uint32_t, std::function<uint32_t()>> calls[] = {
        {FT_S_NODOCID, [&] { return send(nullptr, &a, &content); }},
        {FT_S_OTHER, [&] { return send(&id_, nullptr, &content); }},
        {FT_S_OTHER, [&] { return send(&id_, &wide, &content); }},
        {FT_S_FAILED, [&] { return send(&id_, &a, &dir); }},
        {FT_S_FAILED,
         [&] { return FT_BufferInit(&id_, &a, &dir, FT_METHOD_SOCKET, 0, FT_ROLE_SENDER, &b, 1); }},
        {FT_S_BADFD, [&] { return FT_ExternalToFile(&odd_bits, &id_, &spool_, &r); }},
        {FT_S_BADFD, [&] { return FT_ExternalToFile(&single, &id_, &spool_, &r); }},
        {FT_S_NOCONTENT, [&] { return FT_ExternalToFile(nullptr, &id_, &spool_, &r); }},
        {FT_S_OTHER, [&] { return FT_RetrieveToFile(&id_, &in, 448, &spool_, &r); }},
        {FT_S_FAILED, [&] { return by_ref(&missing); }},
        {FT_S_OTHER, [&] { return by_ref(&nul); }},
        {FT_S_NOCONTENT, [&] { return by_ref(nullptr); }},
        {FT_S_OTHER, [&] { return FT_SocketServer(&id_, &spool_, &r); }}, // no prepared socket
    };
    for (size_t i = 0; i < std::size(calls); ++i) {
        EXPECT_EQ(calls[i].second(), calls[i].first) << i;
        EXPECT_EQ(b, nullptr) << i;
    }
    EXPECT_TRUE(SpoolFiles().empty());
}
