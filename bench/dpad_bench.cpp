// The print server (vrdpad) beside CUPS's cupsd, both started by this
// program on the loopback with a printer writing into a scratch directory:
//  - small jobs: 4 KiB documents per second, each a job of its own created
//    with the document inline and complete, through the library's C
//    interface (over ONC RPC, and over DCE/RPC bound by name) and through
//    libcups on a connection kept open (create job, start document, write,
//    finish document; by printer name, and with the printer looked up
//    once). Items per second count submissions (wall time);
//    after each run the program waits until every job is printed, checks
//    the count of printed files and reports `completed_per_s`, submissions
//    and printing together.
//  - one large document until the reply: inline, the largest a request
//    carries (60 MiB), 1 GiB by file reference, and 1 GiB sent over a
//    connection of its own (until the server holds it, synced); beside them
//    a plain TCP copy of 1 GiB over the loopback into a file, synced.
//
// Started as it is, the program runs itself again inside private network
// and mount namespaces with an rpcbind and an endpoint mapper of their own
// (needs root, unshare, rpcbind and cupsd; otherwise every benchmark is
// skipped with the reason). The servers' state lives in a scratch
// directory under DPAD_BENCH_DIR (default /var/tmp, a disk: both servers
// write every document there; DPAD_BENCH_KEEP=1 keeps it for a look at
// the servers' logs). Figures, the median of three runs:
//   build/dev/bench/dpad_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <fcntl.h>
#include <signal.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_inside.h"
#ifdef VRCORE_HAVE_CUPS
#include <cups/cups.h>
#endif

#include "status_list.h"
#include "vrcore/ft.h"
#include "vrcore/odpcli.h"
#include "vrcore/stf.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kProgram = 0x20271033;
constexpr int kCupsPort = 8631;
constexpr size_t kSmall = 4096;
constexpr size_t kLarge = size_t(1) << 30;
// The largest inline document a request may carry: one decode allocates at
// most 64 MiB, the document and the request's other values together.
constexpr size_t kInline = size_t(60) << 20;
const char kPrinter[] = "bench";

// Runs rpcbind and the endpoint mapper ($0), then the program ($@) marked
// as inside.
const char kInside[] = R"(set -u
ip link set lo up && mount -t tmpfs tmpfs /run && mkdir -p /run/rpcbind || exit 90
chown _rpc /run/rpcbind 2>/dev/null
rpcbind -f & r=$!
"$0" --port 135 --address 127.0.0.1 2>/dev/null & m=$!
for _ in $(seq 1 50); do rpcinfo -p 127.0.0.1 >/dev/null 2>&1 && ss -ltn | grep -q '127.0.0.1:135 ' && break; sleep 0.1; done
DPAD_BENCH_INSIDE=1 "$@"; rc=$?
kill $m $r; wait; exit $rc)";

using vrbench::Unavailable;

void RunInside(int argc, char **argv) {
#ifndef VRCORE_HAVE_CUPS
    if (!getenv("DPAD_BENCH_INSIDE")) {
        Unavailable() = "built without libcups (install libcups2-dev)";
        return;
    }
#endif
    vrbench::ExecInside("DPAD_BENCH_INSIDE", kInside, VRCORE_BINARY_DIR "/servers/vrepmd/vrepmd",
                        "command -v rpcbind && command -v cupsd && command -v lpadmin",
                        "needs rpcbind, cupsd and lpadmin (cups, cups-client)", argc, argv);
}

void WriteFile(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

pid_t Spawn(std::vector<std::string> args) {
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

bool Connects(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET, a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

// Both servers, their scratch directory and the jobs each was given.
struct Servers {
    std::string dir, printed, cups_out;
    pid_t dpad = -1, cupsd = -1;
    size_t dpad_jobs = 0, cups_jobs = 0; // small jobs submitted
} g_servers;

std::string StartServers() {
    auto &s = g_servers;
    const char *base = getenv("DPAD_BENCH_DIR");
    std::string tmpl = std::string(base ? base : "/var/tmp") + "/dpad_bench.XXXXXX";
    if (!mkdtemp(tmpl.data())) return "cannot make the scratch directory";
    s.dir = tmpl;
    chmod(s.dir.c_str(), 0755); // cupsd's processes run as lp
    s.printed = s.dir + "/printed";
    fs::create_directories(s.printed);
    for (const char *d :
         {"/cups/etc/ppd", "/cups/spool/tmp", "/cups/cache", "/cups/state", "/cups/log", "/refs"})
        fs::create_directories(s.dir + d);
    const std::string key = "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril";
    WriteFile(s.dir + "/registry.reg", key + "]\n\"LanGroup\"=\"BG\"\n" + key +
                                           "\\dpad\\Printers\\" + kPrinter + "]\n\"Directory\"=\"" +
                                           s.printed + "\"\n");
    setenv("VRCORE_REGISTRY", (s.dir + "/registry.reg").c_str(), 1);
    setenv("windir", s.dir.c_str(), 1);
    setenv("NS_MS_LF", "1", 1);
    s.dpad =
        Spawn({VRCORE_BINARY_DIR "/servers/vrdpad/vrdpad", "--onc-program",
               std::to_string(kProgram), "--dce-port", "4200", "--address", "127.0.0.1", "--root",
               s.dir + "/root", "--log", s.dir + "/vrdpad", "--reference-root", s.dir + "/refs"});

    // cupsd: no browsing, no authentication, a raw printer whose backend (a
    // program of its own, run as root) writes each job into a file named
    // after it. (Its file device completes raw jobs without writing them.)
    const std::string c = s.dir + "/cups";
    s.cups_out = c + "/printed";
    fs::create_directories(s.cups_out);
    fs::create_directories(c + "/bin/backend");
    for (const char *d : {"cgi-bin", "daemon", "filter", "monitor", "notifier"})
        fs::create_directory_symlink(std::string("/usr/lib/cups/") + d, c + "/bin/" + d);
    WriteFile(
        c + "/bin/backend/benchfile",
        "#!/bin/sh\n[ $# = 0 ] && { echo 'direct benchfile \"Unknown\" \"bench\"'; exit 0; }\n"
        "exec cat ${6:+\"$6\"} > '" +
            s.cups_out + "'/\"$1\"\n");
    chmod((c + "/bin/backend/benchfile").c_str(), 0700);
    WriteFile(c + "/cupsd.conf",
              "Listen 127.0.0.1:" + std::to_string(kCupsPort) +
                  "\nBrowsing No\nBrowseLocalProtocols none\nDefaultAuthType None\n"
                  "LogLevel warn\nMaxJobs 0\nPreserveJobHistory Yes\nPreserveJobFiles No\n"
                  "WebInterface No\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                  "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                  "</Policy>\n");
    WriteFile(c + "/cups-files.conf", "FileDevice Yes\nServerRoot " + c + "/etc\nServerBin " + c +
                                          "/bin\nRequestRoot " + c + "/spool\nTempDir " + c +
                                          "/spool/tmp\nCacheDir " + c + "/cache\nStateDir " + c +
                                          "/state\nAccessLog " + c + "/log/access_log\nErrorLog " +
                                          c + "/log/error_log\nPageLog " + c +
                                          "/log/page_log\nUser lp\nGroup lp\n"
                                          "SystemGroup root\n");
    s.cupsd =
        Spawn({"/usr/sbin/cupsd", "-f", "-c", c + "/cupsd.conf", "-s", c + "/cups-files.conf"});
    for (int i = 0; i < 100 && !(Connects(kCupsPort) && Connects(4200)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!Connects(kCupsPort)) return "cupsd did not start (see " + c + "/log/error_log)";
    if (!Connects(4200)) return "vrdpad did not start";
    std::string add = "lpadmin -h 127.0.0.1:" + std::to_string(kCupsPort) + " -p " + kPrinter +
                      " -E -v benchfile:/ -m raw >/dev/null 2>&1";
    if (system(add.c_str())) return "lpadmin could not add the printer";
    return "";
}

void StopServers() {
    auto &s = g_servers;
    for (pid_t p : {s.dpad, s.cupsd})
        if (p > 0) kill(p, SIGTERM), waitpid(p, nullptr, 0);
    if (!s.dir.empty() && !getenv("DPAD_BENCH_KEEP")) fs::remove_all(s.dir);
}

bool Ready(benchmark::State &state) {
    if (Unavailable().empty()) return true;
    state.SkipWithError(Unavailable().c_str());
    return false;
}

using vrtest::StatusList;

// Binds the calling thread over ONC RPC (by record) or over DCE/RPC by
// name: 0 or the failure's code.
uint32_t Bind(bool dce) {
    StatusList st;
    ODP_Terminate(st);
    if (dce) {
        GEN_ObjectIdent name{};
        name.choice = GEN_OBJID_SIMPLE_NAME;
        GENU_MakeEmbeddedSimpleName(st, &name.u.simple_name, "vrdpad", nullptr);
        if (NS_Init(nullptr, NS_CLASS_NONE) != NS_OK) return ~0u;
        return ODP_Initialize(st, NS_CLASS_SPOOLER, name) ? STF_GetStatus(st) : 0;
    }
    char host[] = "127.0.0.1", name[] = "vrdpad";
    NS_Object o{};
    o.env = NS_ENV_ONC, o.objClass = o.serverClass = NS_CLASS_SPOOLER;
    o.name = o.serverName = name;
    o.onc.host = host, o.onc.program = int32_t(kProgram), o.onc.version = 1;
    // The server registers with rpcbind a moment after it listens.
    for (int i = 0; i < 50 && ODP_Initialize2(st, &o); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return STF_GetStatus(st);
}

enum class Way { kInline, kReference, kSocket };

// Sends the file `path` to the address the server's reply gives for the
// document's data: "" when it was sent.
std::string SendByConnection(const ODP_PrintResult &r, GEN_DocumentContent &content) {
    StatusList st;
    void *value = nullptr;
    if (!r.document_status || AS_GetAttrVal(st, *r.document_status, 101, &value) != 0 || !value)
        return "no address for the data";
    FT_SocketAddress to{};
    to.kind = 1, to.port = uint16_t(static_cast<const GEN_SocketAddress *>(value)->port);
    to.address_length = 4;
    in_addr loopback{htonl(INADDR_LOOPBACK)};
    std::memcpy(to.address, &loopback, 4);
    uint32_t number = 1;
    GEN_DocumentIdentifier id{};
    std::snprintf(id.job.value, sizeof id.job.value, "%s", r.job_identification.value);
    id.document_number = &number;
    uint64_t sent = 0;
    uint32_t rc = FT_FileToSend(&id, &to, &content, 447, &sent);
    return rc ? "sending failed: " + std::to_string(rc) : "";
}

// One job of one document, complete, inline (or the file of that path on
// the server's host, by reference or sent over a connection of its own):
// "" when the server took it, else why not; `job` its identifier.
std::string Submit(const std::string &data, Way way = Way::kInline, std::string *job = nullptr) {
    bool reference = way != Way::kInline;
    StatusList st;
    GEN_SimpleName pname{};
    GENU_MakeEmbeddedSimpleName(st, &pname, kPrinter, nullptr);
    GEN_DocumentContent content{};
    GEN_OctetString bytes{int32_t(data.size()),
                          reinterpret_cast<unsigned char *>(const_cast<char *>(data.data()))};
    if (reference) {
        content.choice = GEN_CONTENT_REFERENCED;
        content.u.referenced.object_type = 90; // a file
        content.u.referenced.specific_reference = bytes;
    } else {
        content.choice = GEN_CONTENT_INCLUDED;
        content.u.included.encoding = GEN_EXTERNAL_OCTET_ALIGNED;
        content.u.included.data = bytes;
    }
    GENU_ShortOID method = way == Way::kSocket ? 447 : reference ? 449 : 446;
    ODP_DocDescription doc{&method, &content, nullptr, nullptr};
    ODP_PrintResult *r = nullptr;
    ERDPA_ErrorResult *e = nullptr;
    int complete = 1;
    int rc = ODP_CreateJob_C(st, &pname, &complete, nullptr, &doc, nullptr, &r, &e);
    std::string why = rc  ? "call failed: " + std::to_string(STF_GetStatus(st))
                      : e ? "error of kind " + std::to_string(e->kind)
                      : !r || !r->job_identification.value[0] ? "no job"
                                                              : "";
    if (why.empty() && way == Way::kSocket) why = SendByConnection(*r, content);
    if (job && r) *job = r->job_identification.value;
    if (r) FreeGEN_printResult(st, r, nullptr);
    if (e) ERDPA_FreeError(st, e);
    return why;
}

// The files of a printer's directory that hold a whole document of `size`.
size_t Printed(const std::string &dir, size_t size) {
    size_t n = 0;
    std::error_code ec;
    for (auto &e : fs::directory_iterator(dir)) n += e.is_regular_file() && e.file_size(ec) == size;
    return n;
}

// Waits (at most two minutes) until `done` reaches `want`; its last value.
template <typename F> size_t WaitFor(size_t want, F done) {
    size_t got = done();
    for (auto end = Clock::now() + std::chrono::minutes(2); got < want && Clock::now() < end;
         got = done())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return got;
}

// Reports the rate of submissions and printing together, or fails the run
// when a job was not printed.
template <typename F>
void Drain(benchmark::State &state, Clock::time_point start, size_t &given, F done) {
    given += state.iterations();
    size_t got = WaitFor(given, done);
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (got != given)
        state.SkipWithError(
            ("printed " + std::to_string(got) + " of " + std::to_string(given)).c_str());
    state.counters["completed_per_s"] = double(state.iterations()) / s;
    state.SetItemsProcessed(state.iterations());
}

void DpadSmall(benchmark::State &state, bool dce) {
    if (!Ready(state)) return;
    if (uint32_t code = Bind(dce)) {
        state.SkipWithError(("cannot bind: " + std::to_string(code)).c_str());
        return;
    }
    std::string data(kSmall, 'x');
    auto start = Clock::now();
    for (auto _ : state)
        if (std::string why = Submit(data); !why.empty()) {
            state.SkipWithError(why.c_str());
            break;
        }
    Drain(state, start, g_servers.dpad_jobs, [] { return Printed(g_servers.printed, kSmall); });
}
void BM_DpadSmallJobOnc(benchmark::State &state) { DpadSmall(state, false); }
void BM_DpadSmallJobDce(benchmark::State &state) { DpadSmall(state, true); }
BENCHMARK(BM_DpadSmallJobOnc)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DpadSmallJobDce)->UseRealTime()->Unit(benchmark::kMicrosecond);

#ifdef VRCORE_HAVE_CUPS
// cupsCreateJob looks the printer up (and asks for its capabilities) for
// every job; with `once` the printer's destination and information are
// looked up once and each job goes straight to the printer.
void CupsSmall(benchmark::State &state, bool once) {
    if (!Ready(state)) return;
    cupsSetServer(("127.0.0.1:" + std::to_string(kCupsPort)).c_str());
    http_t *http = httpConnect2("127.0.0.1", kCupsPort, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1,
                                30000, nullptr);
    if (!http) return state.SkipWithError("cannot connect to cupsd");
    cups_dest_t *dest = once ? cupsGetNamedDest(http, kPrinter, nullptr) : nullptr;
    cups_dinfo_t *info = dest ? cupsCopyDestInfo(http, dest) : nullptr;
    if (once && !info) {
        cupsFreeDests(dest ? 1 : 0, dest);
        httpClose(http);
        return state.SkipWithError("cannot look the printer up");
    }
    std::string data(kSmall, 'x');
    auto start = Clock::now();
    for (auto _ : state) {
        int id = 0;
        bool ok =
            once ? cupsCreateDestJob(http, dest, info, &id, "bench", 0, nullptr) == IPP_STATUS_OK &&
                       cupsStartDestDocument(http, dest, info, id, "doc", CUPS_FORMAT_RAW, 0,
                                             nullptr, 1) == HTTP_STATUS_CONTINUE
                 : (id = cupsCreateJob(http, kPrinter, "bench", 0, nullptr)) > 0 &&
                       cupsStartDocument(http, kPrinter, id, "doc", CUPS_FORMAT_RAW, 1) ==
                           HTTP_STATUS_CONTINUE;
        ok = ok && cupsWriteRequestData(http, data.data(), data.size()) == HTTP_STATUS_CONTINUE &&
             (once ? cupsFinishDestDocument(http, dest, info)
                   : cupsFinishDocument(http, kPrinter)) == IPP_STATUS_OK;
        if (!ok) {
            state.SkipWithError(cupsLastErrorString());
            break;
        }
    }
    Drain(state, start, g_servers.cups_jobs, [] { return Printed(g_servers.cups_out, kSmall); });
    if (info) cupsFreeDestInfo(info);
    if (dest) cupsFreeDests(1, dest);
    httpClose(http);
}
void BM_CupsSmallJob(benchmark::State &state) { CupsSmall(state, false); }
void BM_CupsSmallJobPrinterLookedUpOnce(benchmark::State &state) { CupsSmall(state, true); }
BENCHMARK(BM_CupsSmallJob)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CupsSmallJobPrinterLookedUpOnce)->UseRealTime()->Unit(benchmark::kMicrosecond);
#endif

// One large document until the server's reply: inline, the largest a
// request carries, or 1 GiB by file reference (the server copies the file
// into its spool). The printed copy is checked and removed afterwards.
void DpadLarge(benchmark::State &state, bool reference) {
    if (!Ready(state)) return;
    if (uint32_t code = Bind(false)) {
        state.SkipWithError(("cannot bind: " + std::to_string(code)).c_str());
        return;
    }
    size_t size = reference ? kLarge : kInline;
    std::string data(size, 'x');
    if (reference) {
        std::string path = g_servers.dir + "/refs/large";
        WriteFile(path, data);
        data = path;
    }
    for (auto _ : state)
        if (std::string why = Submit(data, reference ? Way::kReference : Way::kInline);
            !why.empty()) {
            state.SkipWithError(why.c_str());
            break;
        }
    size_t given = 0;
    Drain(state, Clock::now(), given, [size] { return Printed(g_servers.printed, size); });
    state.counters.erase("completed_per_s");
    state.SetBytesProcessed(int64_t(state.iterations() * size));
    std::error_code ec;
    for (auto &e : fs::directory_iterator(g_servers.printed))
        if (e.file_size(ec) == size) fs::remove(e.path(), ec);
    fs::remove(g_servers.dir + "/refs/large", ec);
}
void BM_DpadInlineDocument60MiBOnc(benchmark::State &state) { DpadLarge(state, false); }
void BM_DpadReferencedDocument1GiBOnc(benchmark::State &state) { DpadLarge(state, true); }
BENCHMARK(BM_DpadInlineDocument60MiBOnc)
    ->UseRealTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DpadReferencedDocument1GiBOnc)
    ->UseRealTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Writes the 1 GiB document to send into a file, on the disk before the
// timing begins.
bool WriteSource(const std::string &path) {
    WriteFile(path, std::string(kLarge, 'x'));
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = fd >= 0 && fdatasync(fd) == 0;
    if (fd >= 0) close(fd);
    return ok;
}

// One 1 GiB document sent over a connection of its own (read by the
// client from a file), from the job's creation until the server holds it
// in its spool, synced: its spool file gets its name once the data is
// synced, and the record naming it follows within one more data sync. The
// printing (a copy of its own) is waited for outside the timing.
void DpadSocket(benchmark::State &state, bool dce) {
    if (!Ready(state)) return;
    if (uint32_t code = Bind(dce)) {
        state.SkipWithError(("cannot bind: " + std::to_string(code)).c_str());
        return;
    }
    std::string path = g_servers.dir + "/refs/large";
    if (!WriteSource(path)) return state.SkipWithError("cannot write the document");
    std::error_code ec;
    for (auto _ : state) {
        std::string job;
        if (std::string why = Submit(path, Way::kSocket, &job); !why.empty()) {
            state.SkipWithError(why.c_str());
            break;
        }
        std::string data = g_servers.dir + "/root/spool/" + job + "-1.data";
        for (auto end = Clock::now() + std::chrono::minutes(2);
             !fs::exists(data) && Clock::now() < end;)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        state.PauseTiming();
        if (WaitFor(1, [] { return Printed(g_servers.printed, kLarge); }) != 1)
            state.SkipWithError("the document was not printed");
        for (auto &e : fs::directory_iterator(g_servers.printed))
            if (e.file_size(ec) == kLarge) fs::remove(e.path(), ec);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * kLarge));
    fs::remove(path, ec);
}
void BM_DpadSocketDocument1GiBOnc(benchmark::State &state) { DpadSocket(state, false); }
void BM_DpadSocketDocument1GiBDce(benchmark::State &state) { DpadSocket(state, true); }
BENCHMARK(BM_DpadSocketDocument1GiBOnc)
    ->UseRealTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DpadSocketDocument1GiBDce)
    ->UseRealTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The same file over a plain TCP connection on the loopback, read and
// written 1 MiB at a time, to a thread writing it into a file beside the
// servers' (synced at the end, as the server's spool file is).
void BM_TcpCopy1GiB(benchmark::State &state) {
    int l = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET, a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(l, reinterpret_cast<sockaddr *>(&a), sizeof a) || listen(l, 1) ||
        getsockname(l, reinterpret_cast<sockaddr *>(&a), &len)) {
        close(l);
        return state.SkipWithError("no loopback socket");
    }
    std::string chunk(size_t(1) << 20, 'x');
    const char *base = getenv("DPAD_BENCH_DIR");
    std::string file =
        (g_servers.dir.empty() ? base ? base : "/var/tmp" : g_servers.dir) + "/tcpcopy";
    if (!WriteSource(file + ".source")) {
        close(l);
        return state.SkipWithError("cannot write the file to send");
    }
    for (auto _ : state) {
        size_t got = 0;
        std::thread sink([&] {
            int s = accept(l, nullptr, nullptr);
            int out = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            std::vector<char> buf(size_t(1) << 20);
            for (ssize_t n; s >= 0 && (n = read(s, buf.data(), buf.size())) > 0;)
                got += write(out, buf.data(), size_t(n)) == n ? size_t(n) : 0;
            if (out < 0 || fdatasync(out) != 0) got = 0;
            if (out >= 0) close(out);
            if (s >= 0) close(s);
        });
        int c = socket(AF_INET, SOCK_STREAM, 0);
        int in = open((file + ".source").c_str(), O_RDONLY | O_CLOEXEC);
        bool ok = in >= 0 && connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        for (ssize_t n; ok && (n = read(in, chunk.data(), chunk.size())) > 0;)
            for (ssize_t done = 0, w; ok && done < n; done += ok ? w : 0)
                ok = (w = write(c, chunk.data() + done, size_t(n - done))) > 0;
        if (in >= 0) close(in);
        close(c);
        sink.join();
        if (got != kLarge) {
            state.SkipWithError("short copy");
            break;
        }
    }
    close(l);
    unlink(file.c_str());
    unlink((file + ".source").c_str());
    state.SetBytesProcessed(int64_t(state.iterations() * kLarge));
}
BENCHMARK(BM_TcpCopy1GiB)->UseRealTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    signal(SIGPIPE, SIG_IGN);
    RunInside(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (Unavailable().empty()) Unavailable() = StartServers();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    StopServers();
    return 0;
}
