// The ONC environment between hosts: a spooler registers on one host
// (onc_hosts_env.sh: two hosts in namespaces of their own, with rpcbind,
// the PTS service and a test DPA server) and a client on the other finds it,
// binds and submits a job; and the address records of a real NIS map
// (nis_env.sh).
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <rpc/rpc.h>
#include <sstream>
#include <string>

#include "namespaces.h"
#include "scratch.h"
#include "status_list.h"
#include "vrcore/genu.h"
#include "vrcore/ns.h"
#include "vrcore/odpcli.h"
#include "vrcore/odpops.h"

namespace {

constexpr int32_t kDpaProgram = 0x20000030;

// Runs a script of tests/ in private namespaces; fails unless it passed with
// `tests` tests in its last run. Skips where root, the tools or the
// namespaces are missing.
void RunScript(std::vector<std::string> tools, const std::string &script, const std::string &args,
               int tests) {
    tools.insert(tools.end(), {"unshare", "nsenter", "rpcbind", "rpcinfo", "ip", "domainname"});
    std::string why = vrtest::NamespacesUnavailable(
        tools, "--net --uts --mount ip link add v0 type veth peer name v1");
    if (!why.empty()) GTEST_SKIP() << why;
    vrtest::ScratchDir dir("vronc");
    std::string log = dir.Path() + "/out.log";
    std::string cmd = "timeout 120 unshare --net --uts --mount --propagation private /bin/sh '" +
                      std::string(VRCORE_SOURCE_DIR) + "/tests/" + script + "' '" +
                      std::filesystem::read_symlink("/proc/self/exe").string() + "' '" +
                      dir.Path() + "' " + args + " >'" + log + "' 2>&1";
    if (script.find("nis") != std::string::npos) {
        cmd.insert(cmd.find(" >"), " '" + dir.Path() + "/map'");
        vrtest::WriteFile(dir.Path() + "/map",
                          "nspool nspool:saddr=nishost,536870961,2,sys,sl,nspool,0:\n"
                          "nq nq:qaddr=nishost,536870961,2,none,qu,nspool,0:\n"
                          "nbad nbad:saddr=nishost,536870961,2,sys,sl,nbad:\n");
    }
    int rc = system(cmd.c_str());
    std::string out = vrtest::ReadFile(log);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_EQ(out.find("FAILED"), std::string::npos) << out;
    EXPECT_NE(out.rfind("[  PASSED  ] " + std::to_string(tests) + " test"), std::string::npos)
        << out;
}

TEST(OncLive, SpoolerOnOneHostClientOnAnother) {
    RunScript({}, "nameservice/onc_hosts_env.sh",
              "'" VRCORE_BINARY_DIR "' " + std::to_string(kDpaProgram), 2);
}

TEST(OncLive, AddressRecordsFromANisMap) {
    RunScript({"ypserv", "ypbind", "/usr/lib/yp/makedbm"}, "printerns/nis_env.sh",
              "'OncNisInside.*'", 1);
}

NS_Object Onc(int32_t cls, const char *name) {
    NS_Object o{};
    o.env = NS_ENV_ONC, o.objClass = cls, o.name = const_cast<char *>(name);
    o.serverClass = NS_CLASS_SPOOLER, o.serverName = const_cast<char *>("spool1");
    o.onc.program = kDpaProgram, o.onc.version = 1, o.onc.auth = NS_AUTH_SYS;
    return o;
}

TEST(OncSpoolerHostInside, RegistersInTheSharedFileThroughThePtsService) {
    ASSERT_NE(getenv("ONC_HOSTS_ENV"), nullptr) << "runs only inside onc_hosts_env.sh";
    ASSERT_EQ(NS_Init("spool1", NS_CLASS_SPOOLER), NS_OK);
    NS_Object spooler = Onc(NS_CLASS_SPOOLER, "spool1"), printer = Onc(NS_CLASS_LP, "lp1");
    ASSERT_EQ(NS_CreateObject(&spooler, 0, nullptr), NS_OK);
    ASSERT_EQ(NS_CreateObject(&printer, 0, nullptr), NS_OK);
    std::string file = vrtest::ReadFile(getenv("PRINTERS_CONF"));
    for (const char *text : {"saddr=hosta,105004,1,sys,sl,spool1,1",
                             "paddr=hosta,105004,1,sys,lp,spool1,1", "spooling-type=dpa"})
        EXPECT_NE(file.find(text), std::string::npos) << text << " in\n" << file;
    NS_Term();
    // A server of this host that never registered with the PTS service.
    std::ofstream(getenv("PRINTERS_CONF"), std::ios::app)
        << "ghost:saddr=hosta,105004,1,sys,sl,ghost,1:\n";
}

// A client program with a domain handle of the environment.
class OncClient : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(NS_Init(nullptr, NS_CLASS_NONE), NS_OK);
        ASSERT_EQ(NS_CreateDomainHandle(&domain_), NS_OK);
        ASSERT_EQ(NS_SetDomain(NS_ENV_ONC, nullptr, domain_), NS_OK);
    }
    void TearDown() override {
        if (domain_) NS_FreeDomainHandle(domain_);
        NS_Term();
    }
    int32_t Get(int32_t cls, const char *name, NS_Object **o) {
        *o = nullptr;
        return NS_GetObject(cls, name, domain_, o);
    }
    NS_DomainHandle domain_ = nullptr;
};

class OncClientHostInside : public OncClient {
    void SetUp() override {
        ASSERT_NE(getenv("ONC_HOSTS_ENV"), nullptr) << "runs only inside onc_hosts_env.sh";
        OncClient::SetUp();
    }
};

// Datagrams this host has sent over IPv4.
long SentDatagrams() {
    std::ifstream in("/proc/net/snmp");
    std::string names, values, name, value;
    while (std::getline(in, names) && names.rfind("Udp: ", 0) != 0) {}
    std::getline(in, values);
    std::istringstream n(names), v(values);
    while (n >> name && v >> value)
        if (name == "OutDatagrams") return std::stol(value);
    return -1;
}

TEST_F(OncClientHostInside, FindsTheSpoolerOnItsHostBindsAndSubmitsAJob) {
    const struct {
        int32_t cls;
        const char *name, *host;
        int32_t program;
    } found[] = {{NS_CLASS_NTFY, "watcher", "hostb", 105005},         // never stored: this host
                 {NS_CLASS_LP, "lp1", "hosta", kDpaProgram},          // through its server's name
                 {NS_CLASS_SPOOLER, "spool1", "hosta", kDpaProgram}}; // asked of host A
    NS_Object *o = nullptr;
    for (const auto &f : found) {
        ASSERT_EQ(Get(f.cls, f.name, &o), NS_OK) << f.name;
        EXPECT_STREQ(o->onc.host, f.host);
        EXPECT_EQ(o->onc.program, f.program);
        EXPECT_EQ(o->onc.version, 1);
        EXPECT_STREQ(o->serverName, f.cls == NS_CLASS_NTFY ? f.name : "spool1");
        if (f.cls != NS_CLASS_SPOOLER) NS_FreeObject(o);
    }
    vrtest::StatusList st;
    ASSERT_EQ(ODP_Initialize2(st, o), 0) << std::hex << st.Code();
    NS_FreeObject(o);
    // The test server answers the next request with an empty result.
    CLIENT *control = clnt_create("hosta", kDpaProgram, 1, "tcp");
    ASSERT_NE(control, nullptr);
    std::string script = "reply 0 - -";
    ODP_argument_t a{0, {u_int(script.size()), script.data()}};
    ODP_result_t last{};
    timeval wait{5, 0};
    auto proc = [](auto *f) {
        return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
    };
    EXPECT_EQ(clnt_call(control, 2, proc(xdr_ODP_argument_t), reinterpret_cast<char *>(&a),
                        proc(xdr_ODP_result_t), reinterpret_cast<char *>(&last), wait),
              RPC_SUCCESS);
    clnt_freeres(control, proc(xdr_ODP_result_t), reinterpret_cast<char *>(&last));
    clnt_destroy(control);
    GEN_SimpleName name{};
    ASSERT_EQ(GENU_MakeEmbeddedSimpleName(st, &name, "lp1", nullptr), 0);
    int32_t complete = 1;
    ODP_PrintResult *result = nullptr;
    ERDPA_ErrorResult *error = nullptr;
    EXPECT_EQ(ODP_CreateJob_C(st, &name, &complete, nullptr, nullptr, nullptr, &result, &error), 0)
        << std::hex << st.Code();
    EXPECT_EQ(error, nullptr);
    ODP_Terminate(st);
}

// Runs last: host A's rpcbind goes away.
TEST_F(OncClientHostInside, AnUnreachableHostIsNotAskedAgain) {
    kill(atoi(getenv("ONC_RPCBIND_A")), SIGTERM);
    usleep(300000);
    NS_Object *o = nullptr;
    long before = SentDatagrams();
    EXPECT_EQ(Get(NS_CLASS_SPOOLER, "ghost", &o), NS_E_NOTFOUND);
    long after = SentDatagrams();
    EXPECT_GT(after, before);
    // Neither the same name, nor a cached one of the same host, go out.
    EXPECT_EQ(Get(NS_CLASS_SPOOLER, "ghost", &o), NS_E_NOTFOUND);
    EXPECT_EQ(Get(NS_CLASS_SPOOLER, "spool1", &o), NS_E_NOTFOUND);
    EXPECT_EQ(SentDatagrams(), after);
    ASSERT_EQ(Get(NS_CLASS_NTFY, "watcher", &o), NS_OK);
    NS_FreeObject(o);
}

// Inside nis_env.sh, with the records of OncLive's map.
class OncNisInside : public OncClient {
    void SetUp() override {
        if (!getenv("PNS_NIS_INSIDE")) GTEST_SKIP() << "runs only inside nis_env.sh";
        vrtest::WriteFile(dir_.Path() + "/nsswitch.cnf", "printers: nis\n");
        for (auto [k, v] : {std::pair{"windir", dir_.Path()},
                            {"PRINTERS_CONF", dir_.Path() + "/printers.conf"},
                            {"VRCORE_REGISTRY", dir_.Path() + "/registry.reg"},
                            {"NS_MS_LF", std::string()}})
            setenv(k, v.c_str(), 1);
        OncClient::SetUp();
    }
    vrtest::ScratchDir dir_{"vroncnis"};
};

TEST_F(OncNisInside, ReadsAddressRecordsFromTheMap) {
    NS_Object *o = nullptr;
    ASSERT_EQ(Get(NS_CLASS_QUEUE, "nq", &o), NS_OK);
    EXPECT_STREQ(o->onc.host, "nishost");
    EXPECT_EQ(o->onc.program, 536870961);
    EXPECT_EQ(o->onc.version, 2);
    EXPECT_EQ(o->onc.auth, NS_AUTH_NONE);
    EXPECT_STREQ(o->onc.source, "nis");
    EXPECT_STREQ(o->serverName, "nspool");
    EXPECT_STREQ(o->onc.nisDomain, "vrtest.invalid");
    NS_FreeObject(o);
    // The listing holds the well-formed spooler; the six-field one is left out.
    NS_ListHandle list = nullptr;
    ASSERT_EQ(NS_ListObjectBegin(NS_CLASS_SPOOLER, domain_, &list), NS_OK);
    std::string names;
    while (NS_ListNext(list, &o) == NS_OK) names += std::string(o->name) + ";", NS_FreeObject(o);
    NS_ListEnd(list);
    EXPECT_EQ(names, "nspool;");
    EXPECT_EQ(Get(NS_CLASS_SPOOLER, "nbad", &o), NS_E_NOTFOUND);
}

} // namespace
