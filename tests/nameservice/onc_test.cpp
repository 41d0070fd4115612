// Environment 0: address records, and against a fake PTS service (in private
// namespaces with a NIS domain and a port mapper, onc_env.sh) the environment
// on a printers file.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <rpc/pmap_clnt.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "nameservice/onc_addr.h"
#include "nameservice/pts_client.h"
#include "scratch.h"
#include "vrcore/ns.h"

namespace {

using namespace vrcore::nameservice;

TEST(OncAddress, ParsesSevenFieldsAndRefusesTheRest) {
    onc::Address a;
    ASSERT_TRUE(onc::ParseAddress("h1,300100,2,kerb,qu,sp1,1", a));
    EXPECT_EQ(std::make_tuple(a.host, a.program, a.version, a.auth, a.cls, a.server, a.dynamic),
              std::make_tuple(std::string("h1"), 300100, 2, 3, 6, std::string("sp1"), 1));
    ASSERT_TRUE(onc::ParseAddress("h1,7,1,odd,zz,s,0", a) && a.auth + a.cls == 0); // unknown: 0
    for (const char *bad : {"h,7,1,sys,sl,s", "h,7,1,sys,sl,s,0,x", "h,7x,1,sys,sl,s,0",
                            "h,,1,sys,sl,s,0", "h,99999999999,1,sys,sl,s,0"})
        EXPECT_FALSE(onc::ParseAddress(bad, a)) << bad;
}

// A PTS service on a UDP socket (calls without credentials): a map of
// bindings, or hostile replies to get. Counts the datagrams.
struct FakePts {
    enum Mode { kNormal, kTruncated, kLongName };
    FakePts() {
        sockaddr_in sa{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof sa;
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&sa), len), 0);
        getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
        EXPECT_TRUE(pmap_set(pts::kProgram, 1, IPPROTO_UDP, ntohs(sa.sin_port)));
        thread = std::thread([this] {
            while (Answer()) continue;
        });
    }
    ~FakePts() {
        shutdown(fd, SHUT_RDWR); // ends the wait for a datagram
        thread.join();
        close(fd);
        pmap_unset(pts::kProgram, 1);
    }
    bool Answer() {
        char in[1024], out[1024] = {};
        sockaddr_in from{};
        socklen_t fl = sizeof from;
        ssize_t n = recvfrom(fd, in, sizeof in, 0, reinterpret_cast<sockaddr *>(&from), &fl);
        if (n <= 0) return false;
        if (++datagrams, n < 40) return true;
        uint32_t proc = ntohl(reinterpret_cast<uint32_t *>(in)[5]), status = 0;
        std::memcpy(out, in, 4);
        out[7] = 1; // reply, accepted, null verifier, success
        XDR x, o;
        xdrmem_create(&x, in + 40, static_cast<u_int>(n - 40), XDR_DECODE);
        xdrmem_create(&o, out + 24, sizeof out - 24, XDR_ENCODE);
        pts::Binding b;
        if (proc == pts::kAdd && pts::XdrBinding(&x, &b)) map[b.object.name] = b;
        if (proc == pts::kDelete && pts::XdrObjectName(&x, &b.object))
            status = map.erase(b.object.name) ? 0 : pts::kNotFound;
        if (proc == pts::kGet && pts::XdrObjectName(&x, &b.object)) {
            b = map.count(b.object.name) ? map[b.object.name] : pts::Binding{};
            pts::XdrBinding(&o, &b);
            uint32_t len = htonl(300);
            if (mode == kLongName) std::memcpy(out + 24, &len, 4);
        } else {
            xdr_u_int(&o, &status);
        }
        sendto(fd, out, xdr_getpos(&o) + 24 - (mode == kTruncated ? 6 : 0), 0,
               reinterpret_cast<sockaddr *>(&from), fl);
        return true;
    }
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    std::atomic<Mode> mode{kNormal};
    std::atomic<int> datagrams{0};
    std::map<std::string, pts::Binding> map; // read by the tests while the client waits
    std::thread thread;
};

NS_Object Obj(int32_t cls, const char *name, const char *host, int32_t program,
              const char *server = nullptr) {
    NS_Object o{};
    o.objClass = cls, o.name = const_cast<char *>(name), o.serverClass = NS_CLASS_SPOOLER;
    o.serverName = const_cast<char *>(server), o.onc.host = const_cast<char *>(host);
    o.onc.program = program, o.onc.version = o.onc.auth = 1;
    return o;
}

// NS_ functions of environment 0 on the "etc" printers file.
TEST(OncEnvInside, RegistersResolvesRefreshesAndDeletesThroughPts) {
    if (!getenv("ONC_INSIDE")) GTEST_SKIP() << "runs inside the namespaces of OncLive";
    vrtest::ScratchDir dir;
    std::string etc = dir.Path() + "/printers.cnf", reg = dir.Path() + "/r.reg";
    setenv("windir", dir.Path().c_str(), 1), setenv("PRINTERS_CONF", etc.c_str(), 1);
    setenv("VRCORE_REGISTRY", reg.c_str(), 1), setenv("NS_MS_LF", "", 1);
    setenv("MSRPC_EPUUID", "6f1c2a10-0000-4000-8000-000000000001", 1);
    vrtest::WriteFile(dir.Path() + "/nsswitch.cnf", "printers: files user\n");
    vrtest::WriteFile(reg, "[Software\\Halvane\\Tessaril]\n\"LanGroup\"=\"G\"\n"
                           "[Software\\Halvane\\Tessaril\\pgr]\n\"PtsCallTimeout\"=dword:2\n");
    NS_DomainHandle dom = nullptr;
    ASSERT_EQ(NS_Init("sp1", NS_CLASS_SPOOLER) + NS_CreateDomainHandle(&dom), NS_OK);
    ASSERT_EQ(NS_SetDomain(NS_ENV_ONC, nullptr, dom), NS_OK);
    auto program_of = [&](int32_t cls, const char *name) { // the program, or minus the result
        NS_Object *o = nullptr;
        int rc = NS_GetObject(cls, name, dom, &o);
        int32_t p = rc ? -rc : o->onc.program;
        NS_FreeObject(o);
        return p;
    };
    FakePts fake;
    std::string long_host(33, 'h');
    NS_Object sp = Obj(NS_CLASS_SPOOLER, "sp1", "localhost", 300100);
    NS_Object lp = Obj(NS_CLASS_LP, "lp1", "localhost", 1, "sp1");
    NS_Object elsewhere = Obj(NS_CLASS_SPOOLER, "sp1", "otherhost", 300100);
    NS_Object dotted = Obj(NS_CLASS_SPOOLER, "a.b", "localhost", 5);
    NS_Object far = Obj(NS_CLASS_SPOOLER, "sp2", long_host.c_str(), 5);
    EXPECT_EQ(NS_CreateObject(&dotted, 0, nullptr), NS_E_NAME);
    EXPECT_EQ(NS_CreateObject(&far, 0, nullptr), NS_E_OBJECT);
    ASSERT_EQ(NS_CreateObject(&sp, 0, nullptr) + NS_CreateObject(&lp, 0, nullptr), NS_OK);
    std::string text = vrtest::ReadFile(etc);
    for (const char *v : {"saddr=localhost,105004,1,sys,sl,sp1,1", "spooling-type=dpa",
                          "paddr=localhost,105004,1,sys,lp,sp1,1"})
        EXPECT_NE(text.find(v), std::string::npos) << text;
    for (auto m : {FakePts::kTruncated, FakePts::kLongName}) {
        fake.mode = m;
        EXPECT_EQ(program_of(NS_CLASS_LP, "lp1"), -NS_E_NOTFOUND) << m;
    }
    fake.mode = FakePts::kNormal;
    EXPECT_EQ(program_of(NS_CLASS_LP, "lp1"), 300100); // through its server's name
    int sent = fake.datagrams;
    EXPECT_EQ(program_of(NS_CLASS_SPOOLER, "sp1"), 300100); // from the cache
    EXPECT_EQ(fake.datagrams, sent);
    EXPECT_EQ(NS_CreateObject(&elsewhere, 0, nullptr), NS_E_EXISTS);
    sp.onc.program = 300200;
    EXPECT_EQ(NS_CreateObject(&sp, 0, nullptr), NS_OK);
    EXPECT_EQ(vrtest::ReadFile(etc), text);
    EXPECT_EQ(program_of(NS_CLASS_ANY_SVR, "sp1"), 300200);
    NS_ListHandle l = nullptr;
    NS_Object *o = nullptr;
    ASSERT_EQ(NS_ListObjectBegin(NS_CLASS_ANY_PRN, dom, &l) + NS_ListNext(l, &o), NS_OK);
    EXPECT_EQ(std::string(o->name) + o->serverName + o->onc.source, "lp1sp1etc");
    NS_FreeObject(o);
    EXPECT_EQ(NS_ListNext(l, &o) + NS_ListEnd(l), NS_E_END);
    EXPECT_EQ(NS_DeleteObject(&lp, nullptr) + NS_DeleteObject(&sp, nullptr), NS_OK);
    EXPECT_EQ(program_of(NS_CLASS_SPOOLER, "sp1") - int32_t(fake.map.count("sp1")), -NS_E_NOTFOUND);

    ASSERT_EQ(NS_SetDomain(NS_ENV_ONC, "elsewhere", dom), NS_OK);
    EXPECT_EQ(program_of(NS_CLASS_NTFY, "nf"), -NS_E_DOMAIN);
    NS_FreeDomainHandle(dom);
    NS_Term();
}

// A service moved to another port is found there: the client kept from
// before addresses the old one.
TEST(OncEnvInside, LookupFollowsTheServiceToItsNewPort) {
    if (!getenv("ONC_INSIDE")) GTEST_SKIP() << "runs inside the namespaces of OncLive";
    pts::ClientStart(2, 0);
    pts::Binding b{{"s1", pts::kObjectType}, 300300, 1};
    for (int moves = 0; moves < 2; ++moves) {
        FakePts fake;
        fake.map["s1"] = b;
        EXPECT_TRUE(pts::Lookup("localhost", "s1", b)) << moves;
    }
    pts::ClientStop();
}

TEST(OncLive, RunsInPrivateNamespaces) {
    if (geteuid() != 0 || system("command -v rpcbind domainname >/dev/null 2>&1") != 0 ||
        system("unshare --net --uts --mount true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs root, rpcbind and private namespaces";
    std::string cmd =
        "unshare --net --uts --mount --propagation private /bin/sh '" VRCORE_SOURCE_DIR
        "/tests/nameservice/onc_env.sh' '" +
        std::filesystem::read_symlink("/proc/self/exe").string() + "' 'OncEnvInside.*'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

} // namespace
