// The NS_ interface over the local store, and over a name server
// (vrpgrd with its endpoint mapper on loopback).
#include <signal.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "failalloc.h"
#include "loopback.h"
#include "nameservice/ns_host.h"
#include "nameservice/ns_internal.h"
#include "nameservice/pgr_client.h"
#include "rpc/epm_client.h"
#include "rpc/idl_pgr.h"
#include "scratch.h"
#include "vrcore/ns.h"

using vrtest::InChild;

namespace {

char kBinding[] = "ncacn_ip_tcp:127.0.0.1[4000]";
char *kBindings[] = {kBinding};
NS_BindingVector kVector = {1, kBindings};

NS_Object Make(int32_t cls, const char *name, int32_t scls = 0, const char *sname = nullptr,
               const char *domain = nullptr) {
    NS_Object o;
    std::memset(&o, 0, sizeof o);
    o.env = NS_ENV_MSRPC;
    o.objClass = cls;
    o.name = const_cast<char *>(name);
    o.serverClass = scls;
    o.serverName = const_cast<char *>(sname);
    o.msrpc.domain = const_cast<char *>(domain);
    return o;
}

int Create(NS_Object o, uint32_t *flags = nullptr) { return NS_CreateObject(&o, 0, flags); }

std::multiset<std::string> Drain(NS_ListHandle l) {
    std::multiset<std::string> out;
    NS_Object *o = nullptr;
    int rc;
    while ((rc = NS_ListNext(l, &o)) == NS_OK) {
        out.insert(o->name);
        NS_FreeObject(o);
    }
    EXPECT_EQ(rc, NS_E_END);
    EXPECT_EQ(NS_ListEnd(l), NS_OK);
    return out;
}

class NsApi : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("windir", dir.Path().c_str(), 1);
        // The settings file names the LAN group, so the local domain does
        // not depend on how this machine is set up.
        vrtest::WriteFile(
            dir.Path() + "/registry.reg",
            "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril]\n\"LanGroup\"=\"TestGroup\"\n");
        setenv("VRCORE_REGISTRY", (dir.Path() + "/registry.reg").c_str(), 1);
        setenv("NS_MS_LF", "", 1);
        setenv("MSRPC_EPUUID", "6f1c2a10-0000-4000-8000-000000000001", 1);
        ASSERT_EQ(vrcore::nameservice::host::LocalDomain(local), 0);
        NS_msrpc_binding_vector = &kVector;
    }
    void TearDown() override {
        NS_Term();
        NS_msrpc_binding_vector = nullptr;
        unsetenv("NS_MS_LF");
    }
    vrtest::ScratchDir dir;
    std::string local;
};

uint16_t FreePort() {
    uint16_t port = 0;
    close(vrtest::LoopbackSocket(port));
    return port;
}

void Stop(pid_t &pid) {
    if (pid > 0) kill(pid, SIGKILL), vrtest::WaitStatus(pid);
    pid = -1;
}

bool Accepts(uint16_t port) {
    int s = vrtest::ConnectLoopback(port);
    return s >= 0 && close(s) == 0;
}

// The name server on `port` is the one the mapper names (registered last).
bool Registered(uint16_t port) {
    uint16_t got = 0;
    vrcore::rpc::ResolveEndpoint("127.0.0.1", vrcore::rpc::pgr::kInterface.id, nullptr, 1000, &got);
    return got == port;
}

// A server program on 127.0.0.1; -1 when `ready` does not hold within
// three seconds.
pid_t Serve(const std::string &program, uint16_t port, const std::string &args,
            const std::function<bool()> &ready) {
    std::string cmd = "exec " + program + " --address 127.0.0.1 --port " + std::to_string(port);
    pid_t pid =
        vrtest::Spawn([&] { return execl("/bin/sh", "sh", "-c", (cmd + args).c_str(), nullptr); });
    bool up = false;
    for (int i = 0; i < 300 && !(up = ready()); ++i) usleep(10000);
    if (!up) Stop(pid);
    return pid;
}
const std::string kPgrd = VRCORE_BINARY_DIR "/servers/vrpgrd/vrpgrd";

// Both modes: the local store, or the name server of domain TestGroup,
// found through the import list (its first binding has no server).
class NsBoth : public NsApi, public testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        NsApi::SetUp();
        if (!GetParam()) return;
        unsetenv("NS_MS_LF");
        WriteSettings("");
        epmd = Serve(VRCORE_BINARY_DIR "/servers/vrepmd/vrepmd", mapper_port,
                     " --log " + dir.Path() + "/epmd", [&] { return Accepts(mapper_port); });
        ASSERT_GT(epmd, 0);
        StartPgrd();
    }
    void TearDown() override {
        NsApi::TearDown();
        for (pid_t *p : {&other, &pgrd, &epmd}) Stop(*p);
    }
    void WriteSettings(const std::string &pgr_values, std::string first = {},
                       const char *group = "TestGroup") {
        if (first.empty()) first = "ncacn_ip_tcp:127.0.0.1[" + std::to_string(FreePort()) + "]";
        char text[512];
        snprintf(text, sizeof text,
                 "[Software\\Halvane\\Tessaril]\n\"LanGroup\"=\"%s\"\n"
                 "[Software\\Halvane\\Tessaril\\odp]\n\"EndpointMapperPort\"=dword:%08x\n"
                 "[Software\\Halvane\\Tessaril\\pgr\\Import]\n"
                 "\"2\"=\"ncacn_ip_tcp:127.0.0.1\"\n\"1\"=\"%s\"\n"
                 "[Software\\Halvane\\Tessaril\\pgr]\n%s",
                 group, mapper_port, first.c_str(), pgr_values.c_str());
        vrtest::WriteFile(dir.Path() + "/registry.reg", text);
    }
    void StartPgrd() {
        pgrd = Serve(kPgrd, pgrd_port, " --domain TestGroup --store " + dir.Path() + "/server",
                     [&] { return Registered(pgrd_port); });
        ASSERT_GT(pgrd, 0);
    }
    uint16_t mapper_port = FreePort(), pgrd_port = FreePort();
    pid_t epmd = -1, pgrd = -1, other = -1;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Modes, NsBoth, testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Remote" : "LocalFile"; });

TEST_F(NsApi, InitRules) {
    EXPECT_EQ(NS_CreateObject(nullptr, 0, nullptr), NS_E_NOTINIT);
    EXPECT_EQ(NS_Init("x", 5), NS_E_CLASS);
    EXPECT_EQ(NS_Init(nullptr, NS_CLASS_SPOOLER), NS_E_NAME);
    ASSERT_EQ(NS_Init("spool", NS_CLASS_SPOOLER), NS_OK);
    EXPECT_EQ(NS_Init("spool", NS_CLASS_SPOOLER), NS_OK);
    EXPECT_EQ(NS_Init("other", NS_CLASS_SPOOLER), NS_E_NAME);
    EXPECT_EQ(NS_Init("spool", NS_CLASS_SUPERV), NS_E_CLASS);
    NS_DomainHandle h = nullptr;
    ASSERT_EQ(NS_CreateDomainHandle(&h), NS_OK);
    char *name = nullptr;
    ASSERT_EQ(NS_GetDomain(NS_ENV_MSRPC, h, &name), NS_OK);
    EXPECT_EQ(std::string(name), "TestGroup"); // the settings file's LAN group
    NS_FreeString(name);
    NS_FreeDomainHandle(h);
    ASSERT_EQ(NS_Term(), NS_OK);
    EXPECT_EQ(NS_Term(), NS_E_NOTINIT);

    // Servers need their endpoint identifier; clients do not.
    unsetenv("MSRPC_EPUUID");
    EXPECT_EQ(NS_Init("spool", NS_CLASS_SPOOLER), NS_E_NOTINIT);
    ASSERT_EQ(NS_Init(nullptr, NS_CLASS_NONE), NS_OK);
    NS_Object lp = Make(NS_CLASS_LP, "p", NS_CLASS_SPOOLER, "spool");
    EXPECT_EQ(Create(lp), NS_E_NOTPERMITTED);
    EXPECT_EQ(NS_IsSameServer(&lp, nullptr), NS_E_NOTPERMITTED);
    NS_Term();
    // Outside local-file mode there is no name server to reach.
    unsetenv("NS_MS_LF");
    EXPECT_EQ(NS_Init(nullptr, NS_CLASS_NONE), NS_E_UNREACHABLE);
}

TEST_P(NsBoth, RegisterLookUpAndCompare) {
    ASSERT_EQ(NS_Init("spool", NS_CLASS_SPOOLER), NS_OK);
    NS_Object self = Make(NS_CLASS_SPOOLER, "spool");
    self.msrpc.info = 12;
    ASSERT_EQ(Create(self), NS_OK);
    EXPECT_EQ(Create(Make(NS_CLASS_LP, "p", NS_CLASS_SUPERV, "spool")), NS_E_CLASS);
    ASSERT_EQ(Create(Make(NS_CLASS_PP, "P1", NS_CLASS_SUPERV, "sv")), NS_OK);
    ASSERT_EQ(Create(Make(NS_CLASS_SUPERV, "sv")), NS_OK);

    NS_Object *o = nullptr;
    ASSERT_EQ(NS_GetObject(NS_CLASS_ANY_PRN, "P1", nullptr, &o), NS_OK);
    EXPECT_EQ(o->objClass, NS_CLASS_PP);
    EXPECT_EQ(o->serverClass, NS_CLASS_SUPERV);
    EXPECT_STREQ(o->serverName, "sv");
    ASSERT_EQ(o->msrpc.nBindings, 1);
    // The endpoint identifier is put before the binding, the endpoint dropped.
    EXPECT_STREQ(o->msrpc.bindings[0],
                 "6f1c2a10-0000-4000-8000-000000000001@ncacn_ip_tcp:127.0.0.1");
    EXPECT_EQ(std::string(o->msrpc.domain), local);
    NS_Object *c = nullptr;
    ASSERT_EQ(NS_CopyObject(&c, o), NS_OK);
    int32_t same = -1;
    ASSERT_EQ(NS_IsSameHost(c, &same), NS_OK);
    EXPECT_EQ(same, 1);
    ASSERT_EQ(NS_IsSameServer(c, &same), NS_OK);
    EXPECT_EQ(same, 0);
    NS_FreeObject(c);
    NS_FreeObject(o);

    NS_Object lp = Make(NS_CLASS_LP, "L", NS_CLASS_SPOOLER, "spool");
    ASSERT_EQ(Create(lp), NS_OK);
    ASSERT_EQ(NS_GetObject(NS_CLASS_LP, "L", nullptr, &o), NS_OK);
    EXPECT_EQ(o->msrpc.info, 12);
    ASSERT_EQ(NS_IsSameServer(o, &same), NS_OK);
    EXPECT_EQ(same, 1);
    NS_Object other = Make(NS_CLASS_LP, "L", NS_CLASS_SPOOLER, "spool", "ElseWhere");
    ASSERT_EQ(NS_IsSameServer(&other, &same), NS_OK);
    EXPECT_EQ(same, 0);
    NS_FreeObject(o);

    EXPECT_EQ(NS_GetObject(11, "L", nullptr, &o), NS_E_CLASS);
    NS_DomainHandle h = nullptr;
    ASSERT_EQ(NS_CreateDomainHandle(&h), NS_OK);
    ASSERT_EQ(NS_SetDomain(NS_ENV_MSRPC, "elsewhere", h), NS_OK);
    EXPECT_EQ(NS_GetObject(NS_CLASS_LP, "L", h, &o), NS_E_NOTFOUND);
    NS_FreeDomainHandle(h);

    uint32_t flags = 9;
    ASSERT_EQ(Create(lp, &flags), NS_OK);
    EXPECT_EQ(flags, NS_FLAG_REPLACED);
    ASSERT_EQ(NS_DeleteObject(&lp, nullptr), NS_OK);
    EXPECT_EQ(NS_DeleteObject(&lp, nullptr), NS_E_NOTFOUND);
}

TEST_P(NsBoth, ListsSkipVanishedEntriesAndEndWith12) {
    ASSERT_EQ(NS_Init("spool", NS_CLASS_SPOOLER), NS_OK);
    NS_Object self = Make(NS_CLASS_SPOOLER, "spool");
    ASSERT_EQ(Create(self), NS_OK);
    NS_Object a = Make(NS_CLASS_LP, "A", NS_CLASS_SPOOLER, "spool"), b = a, c = a;
    b.name = const_cast<char *>("B");
    c.name = const_cast<char *>("C");
    for (NS_Object *o : {&a, &b, &c}) ASSERT_EQ(Create(*o), NS_OK);

    NS_ListHandle l = nullptr;
    ASSERT_EQ(NS_ListObjectBegin(NS_CLASS_LP, nullptr, &l), NS_OK);
    NS_Object *o = nullptr;
    ASSERT_EQ(NS_ListNext(l, &o), NS_OK);
    EXPECT_STREQ(o->name, "A");
    NS_FreeObject(o);
    ASSERT_EQ(NS_DeleteObject(&b, nullptr), NS_OK);
    EXPECT_EQ(Drain(l), std::multiset<std::string>{"C"});

    // Backup lists and groups.
    NS_Object *members[] = {&a, &c, nullptr};
    NS_Object *none[] = {nullptr};
    EXPECT_EQ(NS_CreateBackup(&a, none, 0, nullptr), NS_E_NOMEMBERS);
    NS_Object *wrong[] = {&self, nullptr};
    EXPECT_EQ(NS_CreateBackup(&a, wrong, 0, nullptr), NS_E_CLASS);
    ASSERT_EQ(NS_CreateBackup(&a, members, 0, nullptr), NS_OK);
    ASSERT_EQ(NS_CreateGroup("G", members, nullptr, 0, nullptr), NS_OK);
    EXPECT_EQ(NS_CreateGroup("G", members, nullptr, 0, nullptr), NS_E_EXISTS);
    ASSERT_EQ(NS_ListBackupPrtBegin(&a, &l), NS_OK);
    EXPECT_EQ(Drain(l), (std::multiset<std::string>{"A", "C"}));
    NS_Object g = Make(NS_CLASS_GROUP, "G");
    ASSERT_EQ(NS_ListGroupMbrBegin(&g, &l), NS_OK);
    EXPECT_EQ(Drain(l), (std::multiset<std::string>{"A", "C"}));
    EXPECT_EQ(NS_ListGroupMbrBegin(&a, &l), NS_E_CLASS);

    // Unregistering the spooler makes its printers vanish from listings.
    ASSERT_EQ(NS_DeleteObject(&self, nullptr), NS_OK);
    ASSERT_EQ(NS_ListObjectBegin(NS_CLASS_ANY_PRN, nullptr, &l), NS_OK);
    EXPECT_TRUE(Drain(l).empty());
    EXPECT_EQ(NS_ListNext(nullptr, &o), NS_E_HANDLE);

    // Domains: the store's, then the local domain once. A name server
    // keeps its own domain only.
    ASSERT_EQ(Create(Make(NS_CLASS_QUEUE, "Q", NS_CLASS_SPOOLER, "x", "zzz-other")),
              GetParam() ? NS_E_DOMAIN : NS_OK);
    NS_DomainListHandle dl = nullptr;
    ASSERT_EQ(NS_ListDomainBegin(NS_ENV_MSRPC, &dl), NS_OK);
    std::multiset<std::string> doms;
    char *d = nullptr;
    int rc;
    while ((rc = NS_ListDomainNext(dl, &d)) == NS_OK) doms.insert(d), NS_FreeString(d);
    EXPECT_EQ(rc, NS_E_END);
    NS_ListDomainEnd(dl);
    std::multiset<std::string> want{local};
    if (!GetParam()) want.insert("zzz-other");
    EXPECT_EQ(doms, want);
}

// Eight server programs register and look up at once; a name server is
// killed with SIGKILL while they run and restarted on its store (the
// programs retry through the gap): every acknowledged registration stays.
TEST_P(NsBoth, EightProcessesRegisterAtOnceAndSurviveSigkill) {
    if (GetParam()) WriteSettings("\"CallMaxRetry\"=dword:00000018\n");
    std::vector<pid_t> kids;
    for (int p = 0; p < 8; ++p)
        kids.push_back(vrtest::Spawn([p] { // exit status: registrations acknowledged
            std::string me = "spool" + std::to_string(p);
            if (NS_Init(me.c_str(), NS_CLASS_SPOOLER) != NS_OK) return 201;
            if (Create(Make(NS_CLASS_SPOOLER, me.c_str())) != NS_OK) return 202;
            for (int i = 0; i < 100; ++i) {
                std::string n = "prn-" + std::to_string(p) + "-" + std::to_string(i);
                if (Create(Make(NS_CLASS_LP, n.c_str(), NS_CLASS_SPOOLER, me.c_str())) != NS_OK)
                    return i;
                NS_Object *o = nullptr;
                if (NS_GetObject(NS_CLASS_LP, n.c_str(), nullptr, &o) != NS_OK) return 203;
                NS_FreeObject(o);
            }
            NS_Term();
            return 100;
        }));
    if (GetParam()) {
        usleep(200000);
        Stop(pgrd);
        StartPgrd(); // the mapper may still name the killed one
        for (int i = 0; i < 300 && !Accepts(pgrd_port); ++i) usleep(10000);
    }
    std::set<std::string> acknowledged;
    for (int p = 0, waited = 0; p < 8; ++p) {
        int st = -1; // all of them within three minutes
        for (; waited < 18000 && waitpid(kids[p], &st, WNOHANG) == 0; ++waited) usleep(10000);
        if (st == -1) Stop(kids[p]);
        int n = WIFEXITED(st) ? WEXITSTATUS(st) : 255;
        EXPECT_EQ(n, 100) << "program " << p;
        for (int i = 0; i < std::min(n, 100); ++i)
            acknowledged.insert("prn-" + std::to_string(p) + "-" + std::to_string(i));
    }
    ASSERT_EQ(NS_Init(nullptr, NS_CLASS_NONE), NS_OK);
    NS_ListHandle l = nullptr;
    ASSERT_EQ(NS_ListObjectBegin(NS_CLASS_LP, nullptr, &l), NS_OK);
    const std::multiset<std::string> all = Drain(l);
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()), acknowledged);
    EXPECT_EQ(all.size(), acknowledged.size());
}

TEST_F(NsApi, OutOfMemoryLeavesNothingBehind) {
    ASSERT_EQ(NS_Init("spool", NS_CLASS_SPOOLER), NS_OK);
    ASSERT_EQ(Create(Make(NS_CLASS_SPOOLER, "spool")), NS_OK);
    ASSERT_EQ(Create(Make(NS_CLASS_LP, "L", NS_CLASS_SPOOLER, "spool")), NS_OK);
    vrtest::FailModule fail(vrcore::system::seam::Module::NameService);
    long points = vrtest::SweepFailures(
        [&] {
            NS_Object *o = nullptr;
            NS_Object *c = nullptr;
            int rc = NS_GetObject(NS_CLASS_ANY_PRN, "L", nullptr, &o);
            if (rc == NS_OK) rc = NS_CopyObject(&c, o), NS_FreeObject(o);
            if (rc == NS_OK) NS_FreeObject(c);
            EXPECT_TRUE(rc == NS_OK || rc == NS_E_NOMEM) << rc;
            return rc == NS_OK;
        },
        [] {});
    EXPECT_GE(points, 10);
}

TEST_F(NsApi, SettingsChooseLocalFileModeAndDirectory) {
    unsetenv("NS_MS_LF");
    vrtest::WriteFile(
        dir.Path() + "/registry.reg",
        "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril]\n\"LanGroup\"=\"TestGroup\"\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril\\pgr]\n"
        "\"EnableLocalFile\"=dword:00000001\n"
        "\"LocalFileDirectory\"=str(2):\"%windir%\\store2\"\n");
    ASSERT_EQ(NS_Init("spool", NS_CLASS_SPOOLER), NS_OK);
    ASSERT_EQ(Create(Make(NS_CLASS_SPOOLER, "spool")), NS_OK);
    EXPECT_TRUE(vrtest::Exists(dir.Path() + "/store2/spooler.dat"));
}

class NsRemote : public NsBoth {};
using vrcore::nameservice::pgr::ReadServerAddress;
INSTANTIATE_TEST_SUITE_P(Server, NsRemote, testing::Values(true));

TEST_P(NsRemote, FindsTheServerAndRemembersIt) {
    EXPECT_EQ(ReadServerAddress(), "");
    // The import list's first binding has no server; its second answers
    // and is remembered.
    ASSERT_EQ(NS_Init(nullptr, NS_CLASS_NONE), NS_OK);
    EXPECT_EQ(ReadServerAddress(), "127.0.0.1");
    char *host = nullptr;
    ASSERT_EQ(NS_LocatePGR(&host), NS_OK);
    EXPECT_STREQ(host, "localhost");
    NS_FreeString(host);
    NS_Term();

    // A preset host without a name server: the import, then the rewrite.
    WriteSettings("\"ServerAddress\"=\"127.0.0.2\"\n");
    ASSERT_EQ(NS_Init(nullptr, NS_CLASS_NONE), NS_OK);
    EXPECT_EQ(ReadServerAddress(), "127.0.0.1");
    NS_Term();

    EXPECT_EQ(NS_CheckPGR("127.0.0.1"), NS_OK);
    EXPECT_EQ(NS_CheckPGR("127.0.0.2"), NS_E_UNREACHABLE);
    WriteSettings("", {}, "OtherGroup");
    EXPECT_EQ(NS_CheckPGR("127.0.0.1"), NS_E_DOMAIN);
}

TEST_P(NsRemote, ServerRestartedBetweenCallsIsReachedAgain) {
    WriteSettings("\"CallMaxRetry\"=dword:00000014\n\"ServerAddress\"=\"127.0.0.1\"\n");
    ASSERT_EQ(NS_Init("spool", NS_CLASS_SPOOLER), NS_OK);
    ASSERT_EQ(Create(Make(NS_CLASS_SPOOLER, "spool")), NS_OK);
    Stop(pgrd);
    std::thread restart([&] {
        usleep(200000);
        StartPgrd();
    });
    NS_Object *o = nullptr;
    EXPECT_EQ(NS_GetObject(NS_CLASS_SPOOLER, "spool", nullptr, &o), NS_OK);
    NS_FreeObject(o);
    restart.join();
}

TEST_P(NsRemote, ServerProgramsAreSentToTheServerOfTheirDomain) {
    // The first server of the import list serves another domain and names
    // this domain's (registered last with the mapper) in hello.
    uint16_t port = FreePort();
    other = Serve(kPgrd, port,
                  " --domain Other --peer TestGroup=127.0.0.1 --store " + dir.Path() + "/other",
                  [&] { return Registered(port); });
    ASSERT_GT(other, 0);
    Stop(pgrd);
    StartPgrd();
    const std::string first = "ncacn_ip_tcp:127.0.0.1[" + std::to_string(port) + "]";
    WriteSettings("", first);
    ASSERT_EQ(NS_Init("spool", NS_CLASS_SPOOLER), NS_OK);
    ASSERT_EQ(Create(Make(NS_CLASS_SPOOLER, "spool")), NS_OK);
    NS_Term();
    // A client program stays with the server it found.
    WriteSettings("", first);
    ASSERT_EQ(NS_Init(nullptr, NS_CLASS_NONE), NS_OK);
    NS_Object *o = nullptr;
    EXPECT_NE(NS_GetObject(NS_CLASS_SPOOLER, "spool", nullptr, &o), NS_OK);
}

// Two domains on hosts of their own (domains_env.sh): this host is of
// domain DOMB, and its import list names only DOMA's name server.
class NsDomainsInside : public NsApi {};

TEST_F(NsDomainsInside, ServerProgramsAreRedirectedToTheirDomainClientsAreNot) {
    ASSERT_NE(getenv("VRCORE_DOMAINS_ENV"), nullptr) << "runs only inside domains_env.sh";
    unsetenv("NS_MS_LF");
    const std::string settings = "[Software\\Halvane\\Tessaril]\n\"LanGroup\"=\"DOMB\"\n"
                                 "[Software\\Halvane\\Tessaril\\pgr\\Import]\n"
                                 "\"1\"=\"ncacn_ip_tcp:10.77.1.2\"\n";
    vrtest::WriteFile(dir.Path() + "/registry.reg", settings);
    ASSERT_EQ(NS_Init("spool", NS_CLASS_SPOOLER), NS_OK);
    EXPECT_EQ(ReadServerAddress(), "10.77.2.2");
    EXPECT_EQ(Create(Make(NS_CLASS_SPOOLER, "spool")), NS_OK); // DOMA's would refuse it
    EXPECT_EQ(NS_CheckPGR("10.77.1.2"), NS_E_DOMAIN);
    NS_Term();
    // A client program stays with DOMA's server, which has no "spool".
    vrtest::WriteFile(dir.Path() + "/registry.reg", settings);
    ASSERT_EQ(NS_Init(nullptr, NS_CLASS_NONE), NS_OK);
    NS_Object *o = nullptr;
    EXPECT_EQ(NS_GetObject(NS_CLASS_SPOOLER, "spool", nullptr, &o), NS_E_NOTFOUND);
    EXPECT_EQ(ReadServerAddress(), "10.77.1.2");
}

TEST(NsDomains, TwoDomainsInNamespacesOfTheirOwn) {
    std::string why = geteuid() != 0 ? "not running as root" : "";
    if (why.empty() && system("unshare --net --mount ip link add v0 type veth peer name v1 "
                              ">/dev/null 2>&1") != 0)
        why = "private network namespaces with veth pairs are not allowed here";
    if (!why.empty()) GTEST_SKIP() << why;
    vrtest::ScratchDir dir("vrdomains");
    std::string out = dir.Path() + "/out.log";
    std::string cmd = "timeout 120 unshare --net --mount --propagation private /bin/sh '" +
                      std::string(VRCORE_SOURCE_DIR) + "/tests/nameservice/domains_env.sh' '" +
                      std::filesystem::read_symlink("/proc/self/exe").string() +
                      "' '" VRCORE_BINARY_DIR "' 'NsDomainsInside.*' >'" + out + "' 2>&1";
    EXPECT_EQ(system(cmd.c_str()), 0) << vrtest::ReadFile(out);
    EXPECT_NE(vrtest::ReadFile(out).find("[  PASSED  ] 1 test"), std::string::npos)
        << vrtest::ReadFile(out);
}
