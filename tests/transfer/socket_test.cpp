// Socket transfers, whole-file and chunk-wise, and their failures.

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <thread>
#include <vector>

#include "failalloc.h"
#include "ft_fixture.h"

using namespace vrcore::ft;

namespace {

FT_SocketAddress Loopback(uint16_t port) {
    FT_SocketAddress a{1, port, 4, {127, 0, 0, 1}};
    return a;
}

} // namespace

class SocketTest : public TransferTest {
  protected:
    // Runs the server side of one socket transfer while `client` runs.
    template <class Client> uint32_t Serve(FT_Result &r, Client client) {
        uint32_t rc = FT_RetrieveToFile(&id_, nullptr, FT_METHOD_SOCKET, &spool_, &r);
        EXPECT_EQ(rc, 0u);
        EXPECT_GE(r.listen_socket, 0);
        EXPECT_NE(std::string(r.spool_name).find(".orig.tmp"), std::string::npos);
        std::thread t([&] { client(r.address); });
        rc = FT_SocketServer(&id_, &spool_, &r);
        t.join();
        EXPECT_EQ(r.listen_socket, -1);
        return rc;
    }
};

TEST_F(SocketTest, FileArrivesWhole) {
    std::string data = RandomBytes(3 << 20);
    std::string src = WriteFile("doc", data);
    FT_Result r{};
    uint32_t client_rc = 1;
    uint64_t sent = 0;
    ASSERT_EQ(Serve(r,
                    [&](FT_SocketAddress a) {
                        // The server's own address names no host: the local one.
                        client_rc = FT_FileToSend(&id_, &a, &Reference(src), FT_METHOD_SOCKET, &sent);
                    }),
              0u);
    EXPECT_EQ(client_rc, 0u);
    EXPECT_EQ(sent, data.size());
    EXPECT_EQ(r.size, data.size());
    EXPECT_EQ(Read(r.spool_name), data);
    EXPECT_EQ(Mode(r.spool_name), 0600u);
    EXPECT_EQ(SpoolFiles(), std::set<std::string>{fs::path(r.spool_name).filename().string()});
}

TEST_F(SocketTest, NoDataOrABrokenConnectionLeavesNoSpoolFile) {
    std::string empty = WriteFile("empty", "");
    size_t fds = OpenFds();
    FT_Result r{};
    EXPECT_EQ(Serve(r, [&](FT_SocketAddress a) {
                  EXPECT_EQ(FT_FileToSend(&id_, &a, &Reference(empty), FT_METHOD_SOCKET, nullptr), 0u);
              }),
              FT_S_FAILED);
    EXPECT_TRUE(SpoolFiles().empty());

    // Reset after part of the document.
    EXPECT_EQ(Serve(r,
                    [&](FT_SocketAddress a) {
                        int s = ConnectLoopback(a.port);
                        std::string part = RandomBytes(200000);
                        send(s, part.data(), part.size(), MSG_NOSIGNAL);
                        linger l{1, 0};
                        setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l);
                        close(s);
                    }),
              FT_S_FAILED);
    EXPECT_TRUE(SpoolFiles().empty());

    // A client that goes silent is given up after the accept time-out.
    set_accept_timeout_ms(200);
    EXPECT_EQ(Serve(r,
                    [&](FT_SocketAddress a) {
                        int s = ConnectLoopback(a.port);
                        send(s, "some", 4, MSG_NOSIGNAL);
                        char c;
                        recv(s, &c, 1, 0); // until the server hangs up
                        close(s);
                    }),
              FT_S_FAILED);
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_EQ(OpenFds(), fds);
}

TEST_F(SocketTest, AcceptTimesOut) {
    set_accept_timeout_ms(50);
    FT_Result r{};
    ASSERT_EQ(FT_RetrieveToFile(&id_, nullptr, FT_METHOD_SOCKET, &spool_, &r), 0u);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(FT_SocketServer(&id_, &spool_, &r), FT_S_OTHER);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    EXPECT_EQ(r.listen_socket, -1);
    EXPECT_TRUE(SpoolFiles().empty());
    // Without a prepared socket there is nothing to accept.
    EXPECT_EQ(FT_SocketServer(&id_, &spool_, &r), FT_S_OTHER);
}

TEST_F(SocketTest, ClientRetriesFiveTimesAtMost) {
    struct Ctx {
        int sock;
        std::vector<int> pauses;
        std::atomic<bool> listening{false};
        bool open_at_fourth;
    };
    auto pause = [](int attempt, void *c) {
        auto *x = static_cast<Ctx *>(c);
        x->pauses.push_back(attempt);
        if (x->open_at_fourth && attempt == 4) {
            listen(x->sock, 5);
            x->listening = true;
        }
    };
    std::string data = RandomBytes(100000);
    std::string src = WriteFile("doc", data);

    // Four refusals, then the server is there.
    uint16_t port = 0;
    Ctx ctx{LoopbackSocket(port), {}, {}, true};
    set_connect_pause(pause, &ctx);
    std::string got;
    std::thread receiver([&] {
        while (!ctx.listening) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        int c = accept(ctx.sock, nullptr, nullptr);
        char buf[8192];
        for (ssize_t n; (n = recv(c, buf, sizeof buf, 0)) > 0;) got.append(buf, n);
        close(c);
    });
    FT_SocketAddress a = Loopback(port);
    EXPECT_EQ(FT_FileToSend(&id_, &a, &Reference(src), FT_METHOD_SOCKET, nullptr), 0u);
    receiver.join();
    close(ctx.sock);
    EXPECT_EQ(ctx.pauses, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(got, data);

    // Five refusals: the client gives up without a sixth attempt.
    Ctx never{LoopbackSocket(port), {}, {}, false};
    set_connect_pause(pause, &never);
    a = Loopback(port);
    EXPECT_EQ(FT_FileToSend(&id_, &a, &Reference(src), FT_METHOD_SOCKET, nullptr), FT_S_OTHER);
    EXPECT_EQ(never.pauses, (std::vector<int>{1, 2, 3, 4}));
    close(never.sock);
}

TEST_F(SocketTest, ClientRefusals) {
    std::string src = WriteFile("doc", "x");
    FT_SocketAddress a = Loopback(9);
    EXPECT_EQ(FT_FileToSend(&id_, &a, &Reference(src), FT_METHOD_FTP, nullptr), FT_S_OTHER);
    EXPECT_EQ(FT_FileToSend(&id_, &a, &Reference(src), FT_METHOD_FILE_REFERENCE, nullptr), FT_S_OTHER);
    EXPECT_EQ(FT_FileToSend(nullptr, &a, &Reference(src), FT_METHOD_SOCKET, nullptr), FT_S_NODOCID);
    EXPECT_EQ(FT_FileToSend(&id_, nullptr, &Reference(src), FT_METHOD_SOCKET, nullptr), FT_S_OTHER);
    EXPECT_EQ(FT_FileToSend(&id_, &a, nullptr, FT_METHOD_SOCKET, nullptr), FT_S_NOCONTENT);
    a.address_length = 16;
    EXPECT_EQ(FT_FileToSend(&id_, &a, &Reference(src), FT_METHOD_SOCKET, nullptr), FT_S_OTHER);
    a = Loopback(9);
    // A missing file or a directory is refused before any connection.
    EXPECT_EQ(FT_FileToSend(&id_, &a, &Reference(root_ + "/none"), FT_METHOD_SOCKET, nullptr), FT_S_FAILED);
    EXPECT_EQ(FT_FileToSend(&id_, &a, &Reference(root_), FT_METHOD_SOCKET, nullptr), FT_S_FAILED);
    FT_Buffer *b = nullptr;
    EXPECT_EQ(FT_BufferInit(&id_, &a, &Reference(root_), FT_METHOD_SOCKET, 0, FT_ROLE_SENDER, &b, 1), FT_S_FAILED);
    EXPECT_EQ(b, nullptr);
}

TEST_F(SocketTest, BufferWiseTransfers) {
    std::string data = RandomBytes(250000);
    std::string src = WriteFile("doc", data);
    FT_Buffer *rb = nullptr;
    ASSERT_EQ(FT_BufferInit(&id_, nullptr, nullptr, FT_METHOD_SOCKET, 1000, FT_ROLE_RECEIVER, &rb, 1), 0u);
    ASSERT_NE(rb, nullptr);
    EXPECT_EQ(rb->size, 1000u);
    std::string got;
    uint32_t recv_rc = 0;
    std::thread receiver([&] {
        for (;;) {
            if ((recv_rc = FT_RetrieveToBuffer(&id_, rb)) != 0 || rb->count == 0) break;
            got.append(reinterpret_cast<char *>(rb->data), rb->count);
        }
    });
    // A sender reading the file, then one sending the caller's bytes from
    // the caller's own buffer (on a second server).
    FT_Buffer *sb = nullptr;
    ASSERT_EQ(FT_BufferInit(&id_, &rb->address, &Reference(src), FT_METHOD_SOCKET, 777, FT_ROLE_SENDER, &sb, 1),
              0u);
    do {
        ASSERT_EQ(FT_BufferToSend(&id_, sb), 0u);
    } while (sb->count > 0);
    EXPECT_EQ(FT_Finish(&id_, sb, 1), 0u);
    receiver.join();
    EXPECT_EQ(recv_rc, 0u);
    EXPECT_EQ(got, data);
    EXPECT_EQ(FT_Finish(&id_, rb, 1), 0u);

    ASSERT_EQ(FT_BufferInit(&id_, nullptr, nullptr, FT_METHOD_SOCKET, 0, FT_ROLE_RECEIVER, &rb, 1), 0u);
    EXPECT_EQ(rb->size, 4096u);
    got.clear();
    std::thread receiver2([&] {
        while (FT_RetrieveToBuffer(&id_, rb) == 0 && rb->count > 0)
            got.append(reinterpret_cast<char *>(rb->data), rb->count);
    });
    unsigned char mine[16];
    FT_Buffer own{};
    own.data = mine;
    own.size = sizeof mine;
    FT_Buffer *op = &own;
    ASSERT_EQ(FT_BufferInit(&id_, &rb->address, nullptr, FT_METHOD_SOCKET, 0, FT_ROLE_SENDER, &op, 0), 0u);
    EXPECT_EQ(op, &own);
    std::memcpy(own.data, "hello", 5);
    own.count = 5;
    EXPECT_EQ(FT_BufferToSend(&id_, &own), 0u);
    own.count = sizeof mine + 1;
    EXPECT_EQ(FT_BufferToSend(&id_, &own), FT_S_OTHER);
    FT_Finish(&id_, &own, 1); // not allocated by FT_BufferInit: only closed
    receiver2.join();
    EXPECT_EQ(got, "hello");
    FT_Finish(&id_, rb, 1);

    // File reference on the receiving side reads the file itself.
    ASSERT_EQ(FT_BufferInit(&id_, nullptr, &Reference(src), FT_METHOD_FILE_REFERENCE, 65536, FT_ROLE_RECEIVER,
                            &rb, 1),
              0u);
    got.clear();
    while (FT_RetrieveToBuffer(&id_, rb) == 0 && rb->count > 0)
        got.append(reinterpret_cast<char *>(rb->data), rb->count);
    EXPECT_EQ(got, data);
    FT_Finish(&id_, rb, 1);

    FT_Buffer *none = nullptr;
    FT_SocketAddress a = Loopback(9);
    EXPECT_EQ(FT_BufferInit(&id_, &a, nullptr, FT_METHOD_WITH_REQUEST, 0, FT_ROLE_SENDER, &none, 1), FT_S_OTHER);
    EXPECT_EQ(FT_BufferInit(&id_, &a, nullptr, FT_METHOD_FTP, 0, FT_ROLE_RECEIVER, &none, 1), FT_S_OTHER);
    EXPECT_EQ(FT_BufferInit(&id_, &a, &Reference(src), FT_METHOD_FILE_REFERENCE, 0, FT_ROLE_SENDER, &none, 1),
              FT_S_OTHER);
    EXPECT_EQ(FT_BufferInit(nullptr, &a, nullptr, FT_METHOD_SOCKET, 0, FT_ROLE_SENDER, &none, 1), FT_S_NODOCID);
    EXPECT_EQ(none, nullptr);
}

TEST_F(SocketTest, BufferAllocationFailureLeavesNothing) {
    std::string src = WriteFile("doc", "abc");
    vrtest::FailModule fail(vrcore::seam::Module::Transfer);
    size_t fds = OpenFds();
    long points = vrtest::SweepFailures(
        [&] {
            FT_Buffer *b = nullptr;
            uint32_t rc = FT_BufferInit(&id_, nullptr, &Reference(src), FT_METHOD_FILE_REFERENCE, 64,
                                        FT_ROLE_RECEIVER, &b, 1);
            if (rc != 0) {
                EXPECT_EQ(rc, FT_S_NOMEM);
                EXPECT_EQ(b, nullptr);
                return false;
            }
            FT_Finish(&id_, b, 1);
            return true;
        },
        [&] { EXPECT_EQ(OpenFds(), fds); });
    EXPECT_EQ(points, 2);
}
