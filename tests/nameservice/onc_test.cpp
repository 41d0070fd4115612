// Environment 0: the address records, the PTS client against a fake PTS
// service, and the environment itself on printer records (inside private
// namespaces with a NIS domain and a port mapper of their own).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <rpc/pmap_clnt.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "nameservice/onc_addr.h"
#include "nameservice/pts_client.h"
#include "scratch.h"
#include "vrcore/ns.h"

namespace {

using namespace vrcore::nameservice;

TEST(OncAddress, TextAndParser) {
    struct Case {
        const char *text;
        bool ok;
        int32_t program, auth, cls, dynamic;
    };
    const Case cases[] = {
        {"h1,300100,2,sys,sl,sp1,0", true, 300100, 1, 3, 0},
        {"h1,105004,1,kerb,qu,sp1,1", true, 105004, 3, 6, 1},
        {"h1,7,1,odd,zz,s,0", true, 7, 0, 0, 0}, // unknown names read as 0
        {"h1,7,1,sys,sl,s", false, 0, 0, 0, 0}, // six fields
        {"h1,7,1,sys,sl,s,0,x", false, 0, 0, 0, 0},
        {"h1,7x,1,sys,sl,s,0", false, 0, 0, 0, 0},
        {"h1,,1,sys,sl,s,0", false, 0, 0, 0, 0},
        {"h1,99999999999,1,sys,sl,s,0", false, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        onc::Address a;
        ASSERT_EQ(onc::ParseAddress(c.text, a), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(std::make_tuple(a.host, a.program, a.version > 0, a.auth, a.cls, a.dynamic),
                      std::make_tuple(std::string("h1"), c.program, true, c.auth, c.cls, c.dynamic))
                << c.text;
        }
    }
    for (int32_t cls = 0; cls <= 7; ++cls) {
        onc::Address a{"h", 9, 1, 2, cls, "srv", 1}, b;
        ASSERT_TRUE(onc::ParseAddress(onc::FormatAddress(a), b));
        EXPECT_EQ(b.cls, onc::StoredClass(cls));
        EXPECT_EQ(onc::FormatAddress(b), onc::FormatAddress(a));
    }
    for (const char *bad : {"", "a.b", "a b", "a,b"}) EXPECT_FALSE(onc::ValidObjectName(bad));
    EXPECT_TRUE(onc::ValidObjectName("Sp-1_x"));
}

// A PTS service on a UDP socket: a map of bindings, or hostile replies to
// get, or silence (a port mapper that does not answer). Counts datagrams.
class FakePts {
  public:
    enum Mode { kNormal, kTruncated, kLongName, kHugeLength, kSilent };
    explicit FakePts(const char *ip = "127.0.0.1", uint16_t port = 0, Mode m = kNormal)
        : mode(m) {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        inet_pton(AF_INET, ip, &sa.sin_addr);
        socklen_t len = sizeof sa;
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr *>(&sa), len), 0);
        getsockname(fd_, reinterpret_cast<sockaddr *>(&sa), &len);
        registered_ = !port && pmap_set(pts::kProgram, pts::kVersion, IPPROTO_UDP,
                                        ntohs(sa.sin_port));
        EXPECT_TRUE(registered_ || port);
        thread_ = std::thread([this] { Loop(); });
    }
    ~FakePts() {
        stop_ = true;
        thread_.join();
        close(fd_);
        if (registered_) pmap_unset(pts::kProgram, pts::kVersion);
    }
    std::atomic<Mode> mode;
    std::atomic<int> datagrams{0};
    std::mutex mutex;
    std::map<std::string, pts::Binding> map;

  private:
    void Loop() {
        char in[1024], out[1024], cred[MAX_AUTH_BYTES], verf[MAX_AUTH_BYTES];
        for (pollfd p{fd_, POLLIN, 0}; !stop_;) {
            if (poll(&p, 1, 20) != 1) continue;
            sockaddr_in from{};
            socklen_t fl = sizeof from;
            ssize_t n = recvfrom(fd_, in, sizeof in, 0, reinterpret_cast<sockaddr *>(&from), &fl);
            ++datagrams;
            rpc_msg call{};
            call.rm_call.cb_cred.oa_base = cred;
            call.rm_call.cb_verf.oa_base = verf;
            XDR x;
            xdrmem_create(&x, in, static_cast<u_int>(n), XDR_DECODE);
            if (mode == kSilent || !xdr_callmsg(&x, &call)) continue;
            pts::Binding b;
            int32_t status = 0;
            bool get = call.rm_call.cb_proc == pts::kGet;
            std::lock_guard<std::mutex> g(mutex);
            if (call.rm_call.cb_proc == pts::kAdd && pts::XdrBinding(&x, &b))
                map[b.object.name] = b;
            else if (call.rm_call.cb_proc == pts::kDelete && pts::XdrObjectName(&x, &b.object))
                status = map.erase(b.object.name) ? 0 : pts::kNotFound;
            else if (get && pts::XdrObjectName(&x, &b.object))
                b = map.count(b.object.name) ? map[b.object.name] : pts::Binding{};
            rpc_msg r{};
            r.rm_xid = call.rm_xid;
            r.rm_direction = REPLY;
            r.rm_reply.rp_stat = MSG_ACCEPTED;
            r.acpted_rply.ar_verf = _null_auth;
            r.acpted_rply.ar_results.where = get ? reinterpret_cast<caddr_t>(&b) : reinterpret_cast<caddr_t>(&status);
            r.acpted_rply.ar_results.proc = get ? pts::Proc(pts::XdrBinding) : pts::Proc(xdr_int);
            XDR o;
            xdrmem_create(&o, out, sizeof out, XDR_ENCODE);
            xdr_replymsg(&o, &r);
            u_int len = xdr_getpos(&o), head = len - (get ? 12 + 4 * ((strlen(b.object.name) + 3) / 4) + 4 : 4);
            if (get && mode == kTruncated) len -= 6;
            if (get && (mode == kLongName || mode == kHugeLength)) {
                uint32_t big = htonl(mode == kLongName ? 300 : 0xfffffff0u);
                std::memcpy(out + head, &big, 4);
                std::memset(out + head + 4, 'a', 320);
                len = head + 4 + 320;
            }
            sendto(fd_, out, len, 0, reinterpret_cast<sockaddr *>(&from), fl);
        }
    }
    int fd_ = -1;
    bool registered_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class OncInside : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!getenv("ONC_INSIDE")) GTEST_SKIP() << "runs inside the namespaces of OncLive";
    }
};

TEST_F(OncInside, PtsClientCachesAndSurvivesHostileReplies) {
    pts::ClientStart(2, 60);
    FakePts fake;
    pts::Binding b;
    for (auto m : {FakePts::kTruncated, FakePts::kLongName, FakePts::kHugeLength}) {
        fake.mode = m;
        EXPECT_FALSE(pts::Lookup("localhost", std::string("x").append(std::to_string(m)), b)) << m;
    }
    fake.mode = FakePts::kNormal;
    ASSERT_EQ(pts::SetName(b.object, "sp9"), true);
    b.program = 300123;
    b.version = 2;
    ASSERT_EQ(pts::Add(b), 0);
    EXPECT_FALSE(pts::Lookup("localhost", "none", b));
    ASSERT_TRUE(pts::Lookup("LOCALHOST", "sp9", b));
    EXPECT_EQ(b.program, 300123);
    int before = fake.datagrams;
    ASSERT_TRUE(pts::Lookup("localhost", "sp9", b)); // from the cache
    EXPECT_EQ(fake.datagrams, before);
    EXPECT_EQ(pts::Delete("sp9"), 0);
    EXPECT_EQ(pts::Delete("sp9"), pts::kNotFound);
    EXPECT_FALSE(pts::Lookup("localhost", "sp9", b));
}

TEST_F(OncInside, HostWithoutPortMapperIsNotAskedAgain) {
    pts::ClientStart(1, 60);
    FakePts silent("127.0.0.1", 111, FakePts::kSilent);
    pts::Binding b;
    EXPECT_FALSE(pts::Lookup("localhost", "a", b));
    int sent = silent.datagrams;
    EXPECT_GT(sent, 0);
    EXPECT_FALSE(pts::Lookup("LocalHost", "b", b));
    EXPECT_EQ(silent.datagrams, sent);
}

// NS_ functions of environment 0 on an "etc" printers file.
class OncEnv : public OncInside {
  protected:
    void SetUp() override {
        OncInside::SetUp();
        if (IsSkipped()) return;
        setenv("windir", dir.Path().c_str(), 1);
        setenv("PRINTERS_CONF", etc.c_str(), 1);
        vrtest::WriteFile(dir.Path() + "/nsswitch.cnf", "printers: files user\n");
        vrtest::WriteFile(dir.Path() + "/r.reg",
                          "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril]\n\"LanGroup\"=\"G\"\n"
                          "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril\\pgr]\n"
                          "\"PtsCallTimeout\"=dword:00000002\n");
        setenv("VRCORE_REGISTRY", (dir.Path() + "/r.reg").c_str(), 1);
        setenv("NS_MS_LF", "", 1);
        setenv("MSRPC_EPUUID", "6f1c2a10-0000-4000-8000-000000000001", 1);
        ASSERT_EQ(NS_Init("sp1", NS_CLASS_SPOOLER), NS_OK);
        ASSERT_EQ(NS_CreateDomainHandle(&dom), NS_OK);
        ASSERT_EQ(NS_SetDomain(NS_ENV_ONC, nullptr, dom), NS_OK);
    }
    void TearDown() override {
        NS_FreeDomainHandle(dom);
        NS_Term();
    }
    static NS_Object Obj(int32_t cls, const char *name, const char *host, int32_t program,
                         const char *server = nullptr) {
        NS_Object o{};
        o.objClass = cls;
        o.name = const_cast<char *>(name);
        o.serverClass = server ? NS_CLASS_SPOOLER : 0;
        o.serverName = const_cast<char *>(server);
        o.onc.host = const_cast<char *>(host);
        o.onc.program = program;
        o.onc.version = 1;
        o.onc.auth = NS_AUTH_SYS;
        return o;
    }
    // Get: the program found, or -result code.
    int32_t Program(int32_t cls, const char *name, NS_DomainHandle d = nullptr) {
        NS_Object *o = nullptr;
        int rc = NS_GetObject(cls, name, d ? d : dom, &o);
        int32_t p = rc ? -rc : o->onc.program;
        NS_FreeObject(o);
        return p;
    }
    vrtest::ScratchDir dir;
    std::string etc = dir.Path() + "/printers.cnf";
    NS_DomainHandle dom = nullptr;
};

TEST_F(OncEnv, RegistersResolvesRefreshesAndDeletesThroughPts) {
    FakePts fake;
    NS_Object sp = Obj(NS_CLASS_SPOOLER, "sp1", "localhost", 300100);
    NS_Object lp = Obj(NS_CLASS_LP, "lp1", "localhost", 1, "sp1");
    ASSERT_EQ(NS_CreateObject(&sp, 0, nullptr), NS_OK);
    ASSERT_EQ(NS_CreateObject(&lp, 0, nullptr), NS_OK);
    std::string text = vrtest::ReadFile(etc);
    EXPECT_NE(text.find("saddr=localhost,105004,1,sys,sl,sp1,1"), std::string::npos) << text;
    EXPECT_NE(text.find("paddr=localhost,105004,1,sys,lp,sp1,1"), std::string::npos) << text;
    EXPECT_NE(text.find("spooling-type=dpa"), std::string::npos) << text;
    EXPECT_EQ(fake.map.count("lp1"), 0u);
    EXPECT_EQ(Program(NS_CLASS_ANY_SVR, "sp1"), 300100);
    EXPECT_EQ(Program(NS_CLASS_LP, "lp1"), 300100); // through its server's name

    NS_Object elsewhere = Obj(NS_CLASS_SPOOLER, "sp1", "otherhost", 300100);
    EXPECT_EQ(NS_CreateObject(&elsewhere, 0, nullptr), NS_E_EXISTS);
    sp.onc.program = 300200;
    EXPECT_EQ(NS_CreateObject(&sp, 0, nullptr), NS_OK);
    EXPECT_EQ(vrtest::ReadFile(etc), text);
    EXPECT_EQ(Program(NS_CLASS_LP, "lp1"), 300200);

    NS_ListHandle l = nullptr;
    NS_Object *o = nullptr;
    ASSERT_EQ(NS_ListObjectBegin(NS_CLASS_ANY_PRN, dom, &l), NS_OK);
    ASSERT_EQ(NS_ListNext(l, &o), NS_OK);
    EXPECT_STREQ(o->name, "lp1");
    EXPECT_EQ(o->serverClass, NS_CLASS_SPOOLER);
    NS_FreeObject(o);
    EXPECT_EQ(NS_ListNext(l, &o), NS_E_END);
    NS_ListEnd(l);

    EXPECT_EQ(NS_DeleteObject(&lp, nullptr), NS_OK);
    EXPECT_EQ(NS_DeleteObject(&sp, nullptr), NS_OK);
    EXPECT_EQ(fake.map.count("sp1"), 0u);
    EXPECT_EQ(Program(NS_CLASS_SPOOLER, "sp1"), -NS_E_NOTFOUND);
    EXPECT_EQ(NS_DeleteObject(&sp, nullptr), NS_E_NOTFOUND);
}

TEST_F(OncEnv, RefusalsDomainsAndTheNotificationServer) {
    std::string long_host(33, 'h');
    NS_Object dotted = Obj(NS_CLASS_SPOOLER, "a.b", "localhost", 5);
    NS_Object far = Obj(NS_CLASS_SPOOLER, "sp2", long_host.c_str(), 5);
    EXPECT_EQ(NS_CreateObject(&dotted, 0, nullptr), NS_E_NAME);
    EXPECT_EQ(NS_CreateObject(&far, 0, nullptr), NS_E_OBJECT);
    vrtest::WriteFile(etc, "six:saddr=localhost,5,1,sys,sl,six:\n");
    EXPECT_EQ(Program(NS_CLASS_SPOOLER, "six"), -NS_E_NOTFOUND);

    NS_Object *o = nullptr;
    ASSERT_EQ(NS_GetObject(NS_CLASS_NTFY, "nf", dom, &o), NS_OK);
    char host[HOST_NAME_MAX + 1] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_EQ(std::make_tuple(std::string(o->onc.host), o->onc.program, o->onc.auth,
                              std::string(o->onc.nisDomain), std::string(o->serverName)),
              std::make_tuple(std::string(host), 105005, NS_AUTH_SYS,
                              std::string("vrtest.invalid"), std::string("nf")));
    int32_t same = 0;
    EXPECT_EQ(NS_IsSameHost(o, &same), NS_OK);
    EXPECT_EQ(same, 1);
    NS_FreeObject(o);

    NS_DomainHandle other = nullptr;
    NS_ListHandle l = nullptr;
    ASSERT_EQ(NS_CreateDomainHandle(&other), NS_OK);
    ASSERT_EQ(NS_SetDomain(NS_ENV_ONC, "elsewhere", other), NS_OK);
    EXPECT_EQ(Program(NS_CLASS_NTFY, "nf", other), -NS_E_DOMAIN);
    EXPECT_EQ(NS_ListObjectBegin(NS_CLASS_SPOOLER, other, &l), NS_E_DOMAIN);
    NS_FreeDomainHandle(other);

    NS_DomainListHandle dl = nullptr;
    char *name = nullptr;
    ASSERT_EQ(NS_ListDomainBegin(NS_ENV_ONC, &dl), NS_OK);
    ASSERT_EQ(NS_ListDomainNext(dl, &name), NS_OK);
    EXPECT_STREQ(name, "vrtest.invalid");
    NS_FreeString(name);
    EXPECT_EQ(NS_ListDomainNext(dl, &name), NS_E_END);
    NS_ListDomainEnd(dl);
}

TEST(OncLive, RunsInPrivateNamespaces) {
    if (geteuid() != 0 || system("command -v rpcbind domainname >/dev/null 2>&1") != 0 ||
        system("unshare --net --uts --mount true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs root, rpcbind and private namespaces";
    std::string self = std::filesystem::read_symlink("/proc/self/exe");
    std::string cmd = "unshare --net --uts --mount --propagation private /bin/sh '" VRCORE_SOURCE_DIR
                      "/tests/nameservice/onc_env.sh' '" +
                      self + "' 'OncInside.HostWithout*' 'OncInside.Pts*:OncEnv.*' 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << out;
    size_t ok = 0;
    for (size_t at = 0; (at = out.find("[       OK ]", at)) != std::string::npos; ++at) ++ok;
    EXPECT_EQ(ok, 4u) << out;
}

} // namespace
