// The PTS service program against its callers, inside private namespaces
// with an rpcbind of their own (ptsd_env.sh).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <rpc/rpc.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "nameservice/pts_proto.h"
#include "scratch.h"

namespace {

namespace pts = vrcore::nameservice::pts;

constexpr rpcprog_t kLive = 0x20000123; // registered with rpcbind (versions 1 and 2) by the tests
const std::string kNone = "none";

class PtsdInside : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getenv("PTSD_INSIDE"), nullptr) << "runs only inside ptsd_env.sh";
        ASSERT_TRUE(pmap_set(kLive, 1, IPPROTO_UDP, 999) && pmap_set(kLive, 2, IPPROTO_UDP, 999));
    }
    void TearDown() override {
        if (pid_ > 0) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
        if (client_) clnt_destroy(client_);
    }
    // Starts vrptsd and waits until it answers; the caller's client.
    CLIENT *Start() {
        if (client_) clnt_destroy(client_);
        if ((pid_ = fork()) == 0) {
            execl(VRCORE_BINARY_DIR "/servers/vrptsd/vrptsd", "vrptsd", "--state-dir",
                  dir_.Path().c_str(), nullptr);
            _exit(127);
        }
        return client_ = Client();
    }
    // Stops it with `sig`; its exit status, or -1.
    int Stop(int sig) {
        kill(pid_, sig);
        int status = 0;
        waitpid(std::exchange(pid_, 0), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static CLIENT *Client() {
        timeval t{1, 0};
        for (int i = 0; i < 50; ++i, usleep(100000))
            if (CLIENT *c = clnt_create("127.0.0.1", pts::kProgram, pts::kVersion, "udp")) {
                if (clnt_call(c, NULLPROC, pts::Proc(xdr_void), nullptr, pts::Proc(xdr_void),
                              nullptr, t) == RPC_SUCCESS)
                    return c;
                clnt_destroy(c);
            }
        ADD_FAILURE() << "vrptsd does not answer";
        return nullptr;
    }
    static int32_t Call(CLIENT *c, rpcproc_t proc, const std::string &name, int32_t program = 0,
                        int32_t version = 0, pts::Binding *out = nullptr) {
        pts::Binding b, answer;
        pts::SetName(b.object, name);
        b.program = program, b.version = version;
        int32_t st = -1;
        timeval t{3, 0};
        bool add = proc == pts::kAdd, get = proc == pts::kGet;
        enum clnt_stat rc = clnt_call(
            c, proc, add ? pts::Proc(pts::XdrBinding) : pts::Proc(pts::XdrObjectName),
            reinterpret_cast<char *>(&b), get ? pts::Proc(pts::XdrBinding) : pts::Proc(xdr_int),
            get ? reinterpret_cast<char *>(out ? out : &answer) : reinterpret_cast<char *>(&st), t);
        return rc != RPC_SUCCESS ? -2 : get ? 0 : st;
    }
    static std::string Get(CLIENT *c, const std::string &name) {
        pts::Binding b;
        if (Call(c, pts::kGet, name, 0, 0, &b) != 0) return "no answer";
        if (!b.object.name[0]) return kNone;
        EXPECT_EQ(b.object.name, name);
        return Text("%d/%d", b.program, b.version);
    }
    static std::string Text(const char *format, int a, int b = 0) {
        char s[32];
        snprintf(s, sizeof s, format, a, b);
        return s;
    }
    std::string Live(int version) { return Text("%d/%d", int(kLive), version); }
    std::string MapPath() const { return dir_.Path() + "/pts.map"; }

    vrtest::ScratchDir dir_{"vrptsd"};
    pid_t pid_ = 0;
    CLIENT *client_ = nullptr;
};

TEST_F(PtsdInside, AddGetDeleteFromThisHostOnlyAndHostileDatagrams) {
    CLIENT *c = Start();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(Call(c, pts::kAdd, "spool-1", kLive, 1), 0);
    EXPECT_EQ(Get(c, "spool-1"), Live(1));
    EXPECT_EQ(Call(c, pts::kAdd, "spool-1", kLive, 2), 0); // replaces
    EXPECT_EQ(Get(c, "spool-1"), Live(2));
    EXPECT_EQ(Call(c, pts::kAdd, "", kLive, 1), pts::kBadName);
    EXPECT_EQ(Call(c, pts::kDelete, "nobody"), pts::kNotFound);

    // Another host (a caller from 10.77.9.1) may look up, not change.
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in far{};
    far.sin_family = AF_INET;
    inet_pton(AF_INET, "10.77.9.1", &far.sin_addr);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&far), sizeof far), 0);
    CLIENT *other = clntudp_create(&far, pts::kProgram, pts::kVersion, timeval{1, 0}, &fd);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Call(other, pts::kAdd, "spool-2", kLive, 1), pts::kRefused);
    EXPECT_EQ(Call(other, pts::kDelete, "spool-1"), pts::kRefused);
    EXPECT_EQ(Get(other, "spool-1"), Live(2));

    // A program no longer registered (version 3 never was) is dropped.
    EXPECT_EQ(Call(c, pts::kAdd, "crashed", kLive, 3), 0);
    EXPECT_EQ(Get(c, "crashed"), kNone);
    EXPECT_EQ(vrtest::ReadFile(MapPath()).find("crashed"), std::string::npos);

    // Garbage, a name of 2^32-1 bytes, a cut name: refused, the service answers on.
    sockaddr_in to{};
    to.sin_family = AF_INET, to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(pmap_getport(&to, pts::kProgram, pts::kVersion, IPPROTO_UDP));
    uint32_t call[] = {htonl(7), 0, htonl(2), htonl(pts::kProgram), htonl(1), htonl(pts::kAdd),
                       0,        0, 0,        0,                     0xffffffff, 0x41414141};
    for (size_t n : {size_t(3), sizeof call, sizeof call - 8}) {
        call[10] = n == sizeof call - 8 ? htonl(6) : 0xffffffff;
        sendto(fd, call, n, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
    EXPECT_EQ(Get(c, "spool-1"), Live(2));
    EXPECT_EQ(Call(c, pts::kDelete, "spool-1"), 0);
    EXPECT_EQ(Get(c, "spool-1"), kNone);
    clnt_destroy(other);
    close(fd);
}

TEST_F(PtsdInside, MapSurvivesStopKillAndDamage) {
    const std::string odd = "odd name %41\n\xff";
    ASSERT_EQ(Call(Start(), pts::kAdd, odd, kLive, 1), 0);
    EXPECT_EQ(Stop(SIGTERM), 0);
    sockaddr_in lo{};
    lo.sin_family = AF_INET, lo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(pmap_getport(&lo, pts::kProgram, pts::kVersion, IPPROTO_UDP), 0) << "still registered";

    // Killed during a burst of adds: every acknowledged one is kept.
    Start();
    std::atomic<int> acked{0};
    std::thread burst([&] {
        CLIENT *b = Client();
        for (int i = 0; b && i < 2000 && Call(b, pts::kAdd, Text("b%d", i), kLive, 1) == 0;)
            acked = ++i;
        if (b) clnt_destroy(b);
    });
    for (int i = 0; i < 500 && acked < 30; ++i) usleep(10000);
    Stop(SIGKILL);
    burst.join();
    ASSERT_GE(acked, 30);

    // A line with a wrong check, garbage, a cut last line: refused, the rest loads.
    std::string text = vrtest::ReadFile(MapPath());
    vrtest::WriteFile(MapPath(), text + "forged 5 1 1 00000000\n\x01garbage\nb9999 5 1");
    CLIENT *c = Start();
    EXPECT_EQ(Get(c, odd), Live(1));
    for (int i = 0; i < acked; ++i) EXPECT_EQ(Get(c, Text("b%d", i)), Live(1)) << i;
    EXPECT_EQ(Get(c, "forged"), kNone);
    EXPECT_NE(vrtest::ReadFile(MapPath() + ".damaged").find("forged"), std::string::npos);
}

TEST(Ptsd, ServesInPrivateNamespaces) {
    std::string why = geteuid() != 0 ? "not running as root" : "";
    for (std::string tool : {"unshare", "rpcbind", "rpcinfo", "ip"})
        if (why.empty() && system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0)
            why = tool + " is not installed";
    if (why.empty() && system("unshare --net --mount true >/dev/null 2>&1") != 0)
        why = "private network and mount namespaces are not allowed here";
    if (!why.empty()) GTEST_SKIP() << why;
    vrtest::ScratchDir dir("vrptsdenv");
    std::string out = dir.Path() + "/out.log";
    std::string cmd = "PTSD_INSIDE=1 timeout 120 unshare --net --mount --propagation private "
                      "/bin/sh '" VRCORE_SOURCE_DIR "/tests/nameservice/ptsd_env.sh' '" +
                      std::filesystem::read_symlink("/proc/self/exe").string() +
                      "' 'PtsdInside.*' >'" + out + "' 2>&1";
    EXPECT_EQ(system(cmd.c_str()), 0) << vrtest::ReadFile(out);
    EXPECT_NE(vrtest::ReadFile(out).find("[  PASSED  ] 2 tests"), std::string::npos)
        << vrtest::ReadFile(out);
}

} // namespace
