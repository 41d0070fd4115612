// Anonymous FTP retrieval from a real server and from a scripted one.

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "ft_fixture.h"

using namespace vrcore::transfer;

namespace {

// A real FTP server on loopback, bounded in time.
class FtpServerTest : public TransferTest {
  protected:
    void SetUp() override {
        TransferTest::SetUp();
        if (std::system("/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null") != 0)
            GTEST_SKIP()
                << "python3 or pyftpdlib is missing (Debian packages python3, python3-pyftpdlib)";
        fs::create_directory(ftp_root_);
        server_ = popen(("exec timeout 300 /usr/bin/python3 " VRCORE_SOURCE_DIR
                         "/tests/transfer/ftpd.py " +
                         ftp_root_)
                            .c_str(),
                        "r");
        ASSERT_TRUE(server_ && fscanf(server_, "%d %d", &port_, &pid_) == 2)
            << "the FTP server did not start";
    }
    void TearDown() override {
        if (pid_ > 0) kill(pid_, SIGTERM);
        if (server_) pclose(server_);
        TransferTest::TearDown();
    }
    GEN_DocumentContent &Source(const std::string &path) {
        return Reference("127.0.0.1:" + std::to_string(port_) + "/" + path);
    }

    std::string ftp_root_ = root_ + "/ftproot";
    FILE *server_ = nullptr;
    int port_ = 0, pid_ = -1;
};

} // namespace

// All line ends and byte values arrive unconverted; a missing file, or a name that
// would smuggle in a command, leaves no spool data.
TEST_F(FtpServerTest, PresentFilesArriveByteIdenticalOthersLeaveNothing) {
    std::string data = RandomBytes(700000) + "\n\r\n\r" + std::string(1, '\0');
    vrtest::WriteFile(ftp_root_ + "/victim", "x");
    FT_Result r{};
    EXPECT_EQ(FT_RetrieveToFile(&id_, &Source("absent.ps"), FT_METHOD_FTP, &spool_, &r),
              FT_S_FAILED);
    EXPECT_EQ(FT_RetrieveToFile(&id_, &Source("absent\r\nDELE victim"), FT_METHOD_FTP, &spool_, &r),
              FT_S_OTHER);
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_TRUE(fs::exists(ftp_root_ + "/victim"));
    fs::create_directory(ftp_root_ + "/sub");
    vrtest::WriteFile(ftp_root_ + "/sub/doc.bin", data);
    ASSERT_EQ(FT_RetrieveToFile(
                  &id_, &Reference("ftp://127.0.0.1:" + std::to_string(port_) + "//sub/doc.bin"),
                  FT_METHOD_FTP, &spool_, &r),
              0u);
    EXPECT_EQ(r.size, data.size());
    EXPECT_EQ(ReadFile(r.spool_name), data);
    EXPECT_EQ(Mode(r.spool_name), 0600u);
    ASSERT_EQ(FT_RetrieveToFile(&id_, &Source("victim"), FT_METHOD_FTP, &spool_, &r), 0u);
    EXPECT_EQ(ReadFile(r.spool_name), "x");
    EXPECT_EQ(SpoolFiles().size(), 2u);
}

// A scripted server: multi-line replies, an aborted transfer; exact client commands.
TEST_F(TransferTest, AbortedFtpTransferRemovesItsPartialFile) {
    uint16_t port = 0;
    int lis = vrtest::LoopbackListener(port, 1);
    ASSERT_GE(lis, 0);
    std::vector<std::string> commands;
    size_t fds = OpenFds();
    std::thread server([&] {
        int c = accept(lis, nullptr, nullptr);
        auto say = [&](const std::string &s) { send(c, s.data(), s.size(), MSG_NOSIGNAL); };
        say("220-Scripted server\r\n220-second line\r\n220 ready\r\n");
        std::string in;
        char buf[512];
        int h[6] = {};
        for (ssize_t n; (n = recv(c, buf, sizeof buf, 0)) > 0;) {
            in.append(buf, n);
            for (size_t nl; (nl = in.find("\r\n")) != std::string::npos; in.erase(0, nl + 2)) {
                std::string cmd = commands.emplace_back(in.substr(0, nl));
                if (cmd.rfind("PORT", 0) == 0)
                    std::sscanf(cmd.c_str() + 5, "%d,%d,%d,%d,%d,%d", &h[0], &h[1], &h[2], &h[3],
                                &h[4], &h[5]);
                if (cmd != "RETR doc") {
                    say(cmd.rfind("USER", 0) == 0 ? "331-Anonymous\r\n331 send your address\r\n"
                                                  : "200 ok\r\n");
                    continue;
                }
                say("150 opening\r\n");
                int d = ConnectLoopback(static_cast<uint16_t>(h[4] * 256 + h[5]));
                std::string part(50000, 'p');
                send(d, part.data(), part.size(), MSG_NOSIGNAL);
                close(d);
                say("426 connection closed; transfer aborted\r\n");
            }
        }
        close(c);
    });
    FT_Result r{};
    EXPECT_EQ(FT_RetrieveToFile(&id_, &Reference("localhost:" + std::to_string(port) + "/doc"),
                                FT_METHOD_FTP, &spool_, &r),
              FT_S_FAILED);
    shutdown(lis, SHUT_RDWR);
    server.join();
    close(lis);
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_EQ(OpenFds() + 1, fds); // the scripted server's socket is closed too
    ASSERT_GE(commands.size(), 7u);
    commands.resize(7);
    commands[5].resize(15); // the data port varies
    EXPECT_EQ(commands,
              (std::vector<std::string>{"USER anonymous", "PASS tolvek", "TYPE I", "MODE S",
                                        "STRU F", "PORT 127,0,0,1,", "RETR doc"}));
}
