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
#include <utility>
#include <vector>

#include "nameservice/pts_proto.h"
#include "scratch.h"

namespace {

namespace pts = vrcore::nameservice::pts;

constexpr int32_t kLive = 100000;           // rpcbind itself: versions 2 to 4 registered, 9 not
using Answer = std::pair<int32_t, int32_t>; // program, version of a get; {0, 0} none
const Answer kNone{0, 0};
const timeval kWait{2, 0};

// One call; *r keeps its value when no answer came.
template <class A, class R> void Call(CLIENT *c, rpcproc_t proc, bool_t (*in)(XDR *, A *), A *a,
                                      bool_t (*out)(XDR *, R *), R *r) {
    clnt_call(c, proc, pts::Proc(in), reinterpret_cast<char *>(a), pts::Proc(out),
              reinterpret_cast<char *>(r), kWait);
}

// Adds name (with a program) or deletes it: the status answered, -2 when none came.
int32_t Change(CLIENT *c, const std::string &name, int32_t program = 0, int32_t version = 2) {
    pts::Binding b{{}, program, version};
    int32_t st = -2;
    pts::SetName(b.object, name);
    program ? Call(c, pts::kAdd, pts::XdrBinding, &b, xdr_int, &st)
            : Call(c, pts::kDelete, pts::XdrObjectName, &b.object, xdr_int, &st);
    return st;
}

Answer Get(CLIENT *c, const std::string &name) {
    pts::Binding b{{}, -1, -1};
    pts::SetName(b.object, name);
    Call(c, pts::kGet, pts::XdrObjectName, &b.object, pts::XdrBinding, &b);
    return b.object.name[0] || b.program < 0 ? Answer{b.program, b.version} : kNone;
}

class PtsdInside : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getenv("PTSD_INSIDE"), nullptr) << "runs only inside ptsd_env.sh";
    }
    void TearDown() override {
        if (pid_ > 0) Stop(SIGKILL);
        for (CLIENT *c : clients_)
            if (c) clnt_destroy(c);
    }
    // Starts vrptsd; a client once it answers.
    CLIENT *Start() {
        if ((pid_ = fork()) == 0) {
            execl(VRCORE_BINARY_DIR "/servers/vrptsd/vrptsd", "vrptsd", "--state-dir",
                  dir_.Path().c_str(), nullptr);
            _exit(127);
        }
        for (int i = 0; i < 50 && system("rpcinfo -u 127.0.0.1 105004 1 >/dev/null 2>&1"); ++i)
            usleep(100000);
        return clients_.emplace_back(clnt_create("127.0.0.1", pts::kProgram, pts::kVersion, "udp"));
    }
    int Stop(int sig) { // the exit status, or -1
        int status = 0;
        kill(pid_, sig), waitpid(std::exchange(pid_, 0), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string MapPath() const { return dir_.Path() + "/pts.map"; }

    vrtest::ScratchDir dir_{"vrptsd"};
    pid_t pid_ = 0;
    std::vector<CLIENT *> clients_;
};

TEST_F(PtsdInside, ChangesFromThisHostOnlyLookupsOfLiveProgramsStopUnregisters) {
    CLIENT *c = Start();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(Change(c, "spool-1", kLive), 0);
    EXPECT_EQ(Get(c, "spool-1"), Answer(kLive, 2));
    EXPECT_EQ(Change(c, "spool-1", kLive, 3), 0); // replaces
    EXPECT_EQ(Get(c, "spool-1"), Answer(kLive, 3));
    EXPECT_EQ(Change(c, "", kLive), pts::kBadName);
    EXPECT_EQ(Change(c, "nobody"), pts::kNotFound);

    // A caller from 10.77.9.1, not this host's loopback, may look up, not change.
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in far{AF_INET, 0, {inet_addr("10.77.9.1")}, {}};
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&far), sizeof far), 0);
    CLIENT *other = clntudp_create(&far, pts::kProgram, pts::kVersion, kWait, &fd);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Change(other, "spool-2", kLive), pts::kRefused);
    EXPECT_EQ(Change(other, "spool-1"), pts::kRefused);
    EXPECT_EQ(Get(other, "spool-1"), Answer(kLive, 3));
    clnt_destroy(other);

    // A program no longer registered (version 9 never was) is dropped.
    EXPECT_EQ(Change(c, "crashed", kLive, 9), 0);
    EXPECT_EQ(Get(c, "crashed"), kNone);
    EXPECT_EQ(vrtest::ReadFile(MapPath()).find("crashed"), std::string::npos);
    // What rpcbind holds is remembered for a second at most: a program
    // registered since is seen at once, one that left is dropped soon after.
    constexpr int32_t kFresh = 0x20000777;
    ASSERT_TRUE(pmap_set(kFresh, 1, IPPROTO_UDP, 999));
    EXPECT_EQ(Change(c, "fresh", kFresh, 1), 0);
    EXPECT_EQ(Get(c, "fresh"), Answer(kFresh, 1));
    pmap_unset(kFresh, 1);
    Answer fresh = Get(c, "fresh");
    for (int i = 0; i < 30 && fresh != kNone; ++i) usleep(100000), fresh = Get(c, "fresh");
    EXPECT_EQ(fresh, kNone);

    // Garbage, an add of a name of 2^32-1 bytes: the service answers on.
    sockaddr_in to{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    to.sin_port = htons(pmap_getport(&to, pts::kProgram, pts::kVersion, IPPROTO_UDP));
    uint32_t call[] = {1, 0, htonl(2), htonl(pts::kProgram), htonl(1),  htonl(pts::kAdd), 0,
                       0, 0, 0,        0xffffffff,           0x41414141};
    for (size_t n : {size_t(3), sizeof call})
        sendto(fd, call, n, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    EXPECT_EQ(Change(c, "spool-1"), 0);
    EXPECT_EQ(Get(c, "spool-1"), kNone);
    close(fd);
    EXPECT_EQ(Stop(SIGTERM), 0);
    EXPECT_NE(system("rpcinfo -p 127.0.0.1 | grep -q 105004"), 0) << "still registered";
}

TEST_F(PtsdInside, MapSurvivesKillDuringAddsAndDamage) {
    // Killed during a burst of adds: every acknowledged one is kept.
    const std::string odd = "odd name %41\n\xff";
    CLIENT *b = Start();
    ASSERT_EQ(Change(b, odd, kLive), 0);
    std::atomic<int> acked{0};
    std::thread burst([&] {
        for (int i = 0; i < 2000 && Change(b, std::to_string(i), kLive) == 0;) acked = ++i;
    });
    for (int i = 0; i < 500 && acked < 30; ++i) usleep(10000);
    Stop(SIGKILL);
    burst.join();
    ASSERT_GE(acked, 30);

    // A line with a wrong check, garbage, a cut last line: refused, the rest loads.
    vrtest::WriteFile(MapPath(), vrtest::ReadFile(MapPath()) +
                                     "forged 5 100000 2 00000000\n\x01garbage\n9999 5 1");
    CLIENT *c = Start();
    EXPECT_EQ(Get(c, odd), Answer(kLive, 2));
    for (int i = 0; i < acked; ++i) EXPECT_EQ(Get(c, std::to_string(i)), Answer(kLive, 2)) << i;
    EXPECT_EQ(Get(c, "forged"), kNone);
}

TEST(Ptsd, ServesInPrivateNamespaces) {
    if (geteuid() != 0 || system("command -v rpcbind >/dev/null") != 0 ||
        system("unshare --net --mount true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root, rpcbind and private network and mount namespaces";
    vrtest::ScratchDir dir("vrptsdenv");
    std::string out = dir.Path() + "/out.log";
    int rc = system(("PTSD_INSIDE=1 timeout 120 unshare --net --mount --propagation private "
                     "/bin/sh '" VRCORE_SOURCE_DIR "/tests/nameservice/ptsd_env.sh' '" +
                     std::filesystem::read_symlink("/proc/self/exe").string() +
                     "' 'PtsdInside.*' >'" + out + "' 2>&1")
                        .c_str());
    std::string log = vrtest::ReadFile(out);
    EXPECT_TRUE(rc == 0 && log.find("[  PASSED  ] 2 tests") != std::string::npos) << log;
}

} // namespace
