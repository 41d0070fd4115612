// Anonymous FTP retrieval: against a real FTP server on loopback, and
// against a scripted one for the failures a real server will not produce.

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "ft_fixture.h"

using namespace vrcore::ft;

namespace {

constexpr const char *kPython = "/usr/bin/python3";

class FtpServerTest : public TransferTest {
  protected:
    void SetUp() override {
        TransferTest::SetUp();
        if (access(kPython, X_OK) != 0)
            GTEST_SKIP() << kPython << " is missing (Debian package python3)";
        if (std::system("/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null") != 0)
            GTEST_SKIP() << "pyftpdlib is missing (Debian package python3-pyftpdlib)";
        ftp_root_ = root_ + "/ftproot";
        fs::create_directory(ftp_root_);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        std::string script = std::string(VRCORE_SOURCE_DIR) + "/tests/transfer/ftpd.py";
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            execl(kPython, kPython, script.c_str(), ftp_root_.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        close(out[1]);
        pollfd p{out[0], POLLIN, 0};
        char line[32] = {};
        ASSERT_EQ(poll(&p, 1, 20000), 1) << "the FTP server did not start";
        ASSERT_GT(read(out[0], line, sizeof line - 1), 0);
        out_ = out[0]; // kept open: the server may write more
        port_ = static_cast<uint16_t>(std::atoi(line));
        ASSERT_GT(port_, 0);
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
        TransferTest::TearDown();
    }
    std::string Source(const std::string &path) {
        return "127.0.0.1:" + std::to_string(port_) + "/" + path;
    }

    std::string ftp_root_;
    pid_t pid_ = -1;
    int out_ = -1;
    uint16_t port_ = 0;
};

} // namespace

TEST_F(FtpServerTest, PresentFileArrivesByteIdentical) {
    // Line ends of every kind and all byte values: nothing is converted.
    std::string data = RandomBytes(700000) + "\n\r\n\r" + std::string(1, '\0');
    vrtest::WriteFile(ftp_root_ + "/doc.bin", data);
    fs::create_directory(ftp_root_ + "/sub");
    vrtest::WriteFile(ftp_root_ + "/sub/small.ps", "%!PS\nshowpage\n");
    FT_Result r{};
    ASSERT_EQ(FT_RetrieveToFile(&id_, &Reference(Source("doc.bin")), FT_METHOD_FTP, &spool_, &r), 0u);
    EXPECT_EQ(r.size, data.size());
    EXPECT_EQ(Read(r.spool_name), data);
    EXPECT_EQ(Mode(r.spool_name), 0600u);
    ASSERT_EQ(FT_RetrieveToFile(&id_, &Reference("ftp://" + Source("/sub/small.ps")), FT_METHOD_FTP, &spool_, &r),
              0u);
    EXPECT_EQ(Read(r.spool_name), "%!PS\nshowpage\n");
    EXPECT_EQ(SpoolFiles().size(), 2u);
}

TEST_F(FtpServerTest, MissingFileOrInjectedCommandLeavesNoSpoolData) {
    vrtest::WriteFile(ftp_root_ + "/victim", "x");
    FT_Result r{};
    EXPECT_EQ(FT_RetrieveToFile(&id_, &Reference(Source("absent.ps")), FT_METHOD_FTP, &spool_, &r), FT_S_FAILED);
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_EQ(FT_RetrieveToFile(&id_, &Reference(Source("absent\r\nDELE victim")), FT_METHOD_FTP, &spool_, &r),
              FT_S_OTHER);
    EXPECT_EQ(FT_RetrieveToFile(&id_, &Reference("127.0.0.1\n:" + std::to_string(port_) + "/victim"),
                                FT_METHOD_FTP, &spool_, &r),
              FT_S_OTHER);
    EXPECT_EQ(FT_RetrieveToFile(&id_, nullptr, FT_METHOD_FTP, &spool_, &r), FT_S_NOCONTENT);
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_TRUE(fs::exists(ftp_root_ + "/victim"));
}

// A server that follows a script: multi-line replies, then an aborted
// transfer after part of the data.
TEST_F(TransferTest, AbortedFtpTransferRemovesItsPartialFile) {
    uint16_t port = 0;
    int lis = LoopbackSocket(port);
    ASSERT_GT(port, 0);
    listen(lis, 1);
    std::vector<std::string> commands;
    size_t fds = OpenFds();
    std::thread server([&] {
        int c = accept(lis, nullptr, nullptr);
        auto say = [&](const std::string &s) { send(c, s.data(), s.size(), MSG_NOSIGNAL); };
        say("220-Scripted server\r\n220-second line\r\n220 ready\r\n");
        std::string in;
        char buf[512];
        int data_port = 0;
        for (ssize_t n; (n = recv(c, buf, sizeof buf, 0)) > 0;) {
            in.append(buf, n);
            for (size_t nl; (nl = in.find("\r\n")) != std::string::npos;) {
                std::string cmd = in.substr(0, nl);
                in.erase(0, nl + 2);
                commands.push_back(cmd);
                if (cmd.rfind("USER", 0) == 0) say("331-Anonymous\r\n331 send your address\r\n");
                else if (cmd.rfind("PORT", 0) == 0) {
                    int h[6];
                    std::sscanf(cmd.c_str() + 5, "%d,%d,%d,%d,%d,%d", &h[0], &h[1], &h[2], &h[3], &h[4], &h[5]);
                    data_port = h[4] * 256 + h[5];
                    say("200 ok\r\n");
                } else if (cmd.rfind("RETR", 0) == 0) {
                    say("150 opening\r\n");
                    int d = ConnectLoopback(static_cast<uint16_t>(data_port));
                    std::string part(50000, 'p');
                    send(d, part.data(), part.size(), MSG_NOSIGNAL);
                    close(d);
                    say("426 connection closed; transfer aborted\r\n");
                } else if (cmd == "QUIT") {
                    say("221 bye\r\n");
                    break;
                } else say("200 ok\r\n");
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
    EXPECT_EQ(commands, (std::vector<std::string>{"USER anonymous", "PASS tolvek", "TYPE I", "MODE S", "STRU F",
                                                  "PORT 127,0,0,1,", "RETR doc"}));
}
