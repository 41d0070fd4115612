// The NIS source: the update through rcp and rsh (with stand-in programs
// that record their argument vectors), and reading a map from a real NIS
// server in private namespaces.
#include <signal.h>
#include <sys/stat.h>

#include <regex>

#include "namespaces.h"
#include "nameservice/pns_internal.h"
#include "pns_test_util.h"

using namespace pnstest;

namespace {

// Stand-in rcp and rsh in <dir>/bin, first on PATH. Each records its
// arguments, one line per call, each argument in brackets; rcp copies
// "root@host:/etc/<file>" from <dir>/remote/<file> and back.
class PnsNisUpdate : public Env {
  protected:
    void SetUp() override {
        Env::SetUp();
        for (const char *sub : {"/bin", "/remote", "/tmp"})
            std::filesystem::create_directories(dir + sub);
        log = dir + "/calls.log";
        WriteFile(
            dir + "/bin/rcp",
            "#!/bin/sh\n"
            "me=$(basename \"$0\")\n"
            "{ printf $me; for a in \"$@\"; do printf ' [%s]' \"$a\"; done; echo; } "
            ">>\"$PNS_LOG\"\n"
            "[ $me = rsh ] && exit 0\n"
            "[ -n \"${PNS_FAIL:-}\" ] && exit 1\n"
            "case \"$1\" in\n"
            "  root@*) cp \"$PNS_REMOTE/$(basename \"${1#*:}\")\" \"$2\" ;;\n"
            "  *) [ -f \"$1\" ] || exit 0; cp \"$1\" \"$PNS_REMOTE/$(basename \"${2#*:}\")\" ;;\n"
            "esac\n");
        chmod((dir + "/bin/rcp").c_str(), 0755);
        symlink("rcp", (dir + "/bin/rsh").c_str());
        Set("PATH", (dir + "/bin:" + (getenv("PATH") ? getenv("PATH") : "")).c_str());
        Set("TMPDIR", (dir + "/tmp").c_str());
        Set("PNS_LOG", log.c_str());
        Set("PNS_REMOTE", (dir + "/remote").c_str());
        Set("PNS_FAIL", nullptr);
    }
    std::string log;
};

TEST_F(PnsNisUpdate, CopiesUpdatesAndRebuildsWithoutAShell) {
    WriteFile(dir + "/remote/printers.conf", "old:k=v:\nnisp:k=gone:\n");
    ns_printer_t *p = Make("nisp", "nis", {{"bsdaddr", "s,q"}});
    ASSERT_EQ(vrcore::nameservice::pns::NisUpdate("master-1.example", "printers.conf.byname", p),
              0);
    ns_printer_destroy(p);

    std::string calls = ReadFile(log);
    std::string t = dir + "/tmp/vrcore-nis";
    std::regex expected(
        "rcp \\[root@master-1.example:/etc/printers.conf\\] \\[" + t +
        "\\w+/printers.conf.byname\\]\n"
        "rcp \\[" +
        t +
        "\\w+/printers.conf.byname\\] \\[root@master-1.example:/etc/printers.conf\\]\n"
        "rcp \\[/usr/lib/print/Makefile.yp\\] \\[root@master-1.example:/var/yp/Makefile.print\\]\n"
        "rsh \\[-l\\] \\[root\\] \\[master-1.example\\] "
        "\\[PATH=/usr/ccs/bin:/bin:/usr/bin:\\$PATH\\] "
        "\\[make\\] \\[-f\\] \\[/var/yp/Makefile\\] \\[-f\\] \\[/var/yp/Makefile.print\\] "
        "\\[printers.conf\\]\n");
    EXPECT_TRUE(std::regex_match(calls, expected)) << calls;
    EXPECT_EQ(ReadFile(dir + "/remote/printers.conf"),
              "#\n#\tIf you hand edit this file, comments and structure may change.\n#\n"
              "old:\\\n\t:k=v:\nnisp:\\\n\t:bsdaddr=s,q:\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/tmp"));
}

TEST_F(PnsNisUpdate, RefusesUnsafeNamesAndReportsFailingSteps) {
    WriteFile(dir + "/remote/printers.conf", "old:k=v:\n");
    ns_printer_t *p = Make("nisp", "nis", {{"k", "v"}});
    using vrcore::nameservice::pns::NisUpdate;
    for (const char *host : {"-oProxyCommand=x", "a;b", "a b", "", "h$(id)", "h/x", ".hidden"})
        EXPECT_EQ(NisUpdate(host, "m", p), -1) << host;
    for (const char *map : {"../etc/passwd", "-x", "m;n", ""})
        EXPECT_EQ(NisUpdate("master", map, p), -1) << map;
    EXPECT_FALSE(std::filesystem::exists(log)) << ReadFile(log);

    setenv("PNS_FAIL", "1", 1);
    EXPECT_EQ(NisUpdate("master", "printers.conf.byname", p), -1);
    unsetenv("PNS_FAIL");
    std::string calls = ReadFile(log);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), '\n'), 1); // stopped at the first
    EXPECT_EQ(ns_printer_put(p), -1); // without a NIS domain there is no master to ask
    ns_printer_destroy(p);
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/tmp"));
}

// Why the NIS server cannot be started here, or "" when it can.
std::string NisUnavailable() {
    return vrtest::NamespacesUnavailable({"unshare", "ypserv", "ypbind", "rpcbind", "rpcinfo", "ip",
                                          "domainname", "/usr/lib/yp/makedbm"},
                                         "--net --uts --mount true");
}

// Starts the NIS server and its helpers in private namespaces and runs the
// PnsNisInside tests there.
TEST(PnsNisLive, MapReadFromRealServer) {
    std::string why = NisUnavailable();
    if (!why.empty()) GTEST_SKIP() << "NIS server test skipped: " << why;
    std::string t = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/vrpnsnis.XXXXXX";
    ASSERT_NE(mkdtemp(t.data()), nullptr);
    std::string self = std::filesystem::read_symlink("/proc/self/exe");
    std::string cmd =
        "unshare --net --uts --mount --propagation private /bin/sh '" VRCORE_SOURCE_DIR
        "/tests/printerns/nis_env.sh' '" +
        self + "' '" + t + "' 'PnsNisInside.*' >'" + t + "/out.log' 2>&1";
    int rc = system(cmd.c_str());
    std::string out = ReadFile(t + "/out.log");
    EXPECT_EQ(rc, 0) << out << ReadFile(t + "/ypserv.log") << ReadFile(t + "/ypbind.log");
    EXPECT_NE(out.find("[  PASSED  ] 2 tests"), std::string::npos) << out;
    std::filesystem::remove_all(t);
}

class PnsNisInside : public PnsNisUpdate {
  protected:
    void SetUp() override {
        if (!getenv("PNS_NIS_INSIDE")) GTEST_SKIP() << "runs inside the namespaces of PnsNisLive";
        PnsNisUpdate::SetUp();
    }
};

// Runs first: the next test stops the server.
TEST_F(PnsNisInside, PutGoesToTheMapsMaster) {
    WriteFile(dir + "/remote/printers.conf", "nis1:note=x:\n");
    ns_printer_t *p = ns_printer_get_name("nis1", "nis");
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(ns_set_value_from_string("note", "changed", p), 0);
    ASSERT_EQ(ns_printer_put(p), 0);
    ns_printer_destroy(p);
    EXPECT_EQ(ReadFile(log).rfind("rcp [root@nismaster:/etc/printers.conf] [", 0), 0u)
        << ReadFile(log);
    EXPECT_NE(ReadFile(dir + "/remote/printers.conf").find("note=changed"), std::string::npos);
}

TEST_F(PnsNisInside, LookupsListsAndCache) {
    ns_printer_t *p = ns_printer_get_name("nisalias", "nis");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::string(p->name) + "@" + p->source, "nis1@nis");
    ns_printer_destroy(p);
    // Without a service the files come first, then NIS; "use" crosses over.
    WriteFile(etc, "nis2:note=from-file:\n");
    EXPECT_EQ(ValueOf("nis2", "note"), "from-file");
    EXPECT_EQ(ValueOf("nis2", "bsdaddr", "nis"), "nsrv,nq");
    auto names = NamesOf(ns_printer_get_list("nis"));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"nis1", "nis2"}));
    std::string servers;
    while (ns_bsd_addr_t *a = ns_bsd_addr_nis_get_list_once())
        servers += a->server + std::string(";"), free(a);
    EXPECT_EQ(servers, "nsrv;");

    // The server goes away: a young cache still answers, an aged one not.
    kill(atoi(getenv("PNS_YPSERV_PID")), SIGTERM);
    usleep(200000);
    EXPECT_EQ(ValueOf("nis1", "note", "nis"), "from-nis");
    vrcore::nameservice::pns::SetNisMaxAge(0);
    sleep(1);
    EXPECT_EQ(ns_printer_get_name("nis1", "nis"), nullptr);
    vrcore::nameservice::pns::SetNisMaxAge(180);
}

} // namespace
