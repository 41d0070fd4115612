// vrptsd: the PTS service of this host. Servers of the ONC environment whose
// program numbers are chosen at run time register them here under their
// object names; clients on any host ask for them. Registered with rpcbind
// on UDP; the map lives in a file of the state directory.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <rpc/rpc.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "nameservice/pts_map.h"
#include "nameservice/pts_proto.h"
#include "vrcore/log.h"

#ifndef VRPTSD_STATE_DIR
#define VRPTSD_STATE_DIR "/var/lib/vrcore"
#endif

namespace {

namespace pts = vrcore::nameservice::pts;

constexpr const char *kSource = "vrptsd";

const char kUsageText[] =
    "usage: vrptsd [--state-dir DIR] [--log DEST]\n"
    "\n"
    "Serves the PTS service of this host (ONC RPC program 105004 version 1 on\n"
    "UDP, registered with rpcbind) until SIGTERM or SIGINT.\n"
    "\n"
    "options:\n"
    "  --state-dir DIR  where the map is kept, in the file pts.map\n"
    "                   (default: " VRPTSD_STATE_DIR ")\n"
    "  --log DEST       stderr (default), stdout, syslog or a log file's base path;\n"
    "                   LOG_FILE_PATH and LOG_SEVERITY override it\n"
    "  -h, --help       this text\n"
    "\n"
    "exit status: 0 stopped by a signal, 1 cannot start, 2 usage error\n";

pts::MapFile *g_map = nullptr;
// This host's rpcbind, asked over UDP on port 111 through one client kept
// for the life of the service (rpcbind may restart under it: UDP does not
// mind).
CLIENT *g_rpcbind = nullptr;

int UsageError(const char *what, const char *arg) {
    std::fprintf(stderr, "vrptsd: %s: %s\nTry 'vrptsd --help'.\n", what, arg);
    return 2;
}

int Fail(const std::string &message) {
    std::fprintf(stderr, "vrptsd: %s\n", message.c_str());
    LOG_CondMessage(1, kSource, __LINE__, "%s\n", message.c_str());
    LOG_Term();
    if (g_rpcbind) clnt_destroy(g_rpcbind);
    return 1;
}

// Whether the call came from this host: 127.0.0.0/8 or ::1 (also mapped).
bool FromLoopback(SVCXPRT *xprt) {
    const netbuf *caller = svc_getrpccaller(xprt);
    if (!caller || !caller->buf) return false;
    const auto *sa = static_cast<const sockaddr *>(caller->buf);
    if (sa->sa_family == AF_INET && caller->len >= sizeof(sockaddr_in))
        return (ntohl(static_cast<const sockaddr_in *>(caller->buf)->sin_addr.s_addr) >> 24) == 127;
    if (sa->sa_family == AF_INET6 && caller->len >= sizeof(sockaddr_in6)) {
        const in6_addr &a = static_cast<const sockaddr_in6 *>(caller->buf)->sin6_addr;
        return IN6_IS_ADDR_LOOPBACK(&a) || (IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127);
    }
    return false;
}

// The registrations rpcbind holds (to be freed with FreeMaps), or null when
// it does not answer.
rpcblist *Maps() {
    if (!g_rpcbind) {
        sockaddr_in rpcbind{};
        rpcbind.sin_family = AF_INET;
        rpcbind.sin_port = htons(111);
        rpcbind.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int fd = RPC_ANYSOCK;
        g_rpcbind =
            clntudp_bufcreate(&rpcbind, RPCBPROG, RPCBVERS, timeval{1, 0}, &fd, 65000, 65000);
        if (!g_rpcbind) return nullptr;
    }
    rpcblist *list = nullptr;
    const timeval wait{3, 0};
    if (clnt_call(g_rpcbind, RPCBPROC_DUMP, pts::Proc(xdr_void), nullptr,
                  pts::Proc(xdr_rpcblist_ptr), reinterpret_cast<char *>(&list),
                  wait) != RPC_SUCCESS)
        return nullptr;
    return list;
}

void FreeMaps(rpcblist *list) {
    xdr_free(pts::Proc(xdr_rpcblist_ptr), reinterpret_cast<char *>(&list));
}

// What rpcbind held when last asked: program and version pairs, sorted.
// For a second a pair found there counts as registered without asking
// again; a pair missing is asked about afresh (it may have come since).
struct Registered {
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    std::chrono::steady_clock::time_point expiry;
};
Registered g_registered;
constexpr std::chrono::seconds kKeepRegistered{1};

bool Holds(const Registered &r, uint32_t program, uint32_t version) {
    return std::binary_search(r.pairs.begin(), r.pairs.end(), std::make_pair(program, version));
}

// Whether program/version is registered with this host's rpcbind on any
// transport; true as well when rpcbind does not answer (an entry is not
// dropped for want of an answer).
bool StillRegistered(int32_t program, int32_t version) {
    auto now = std::chrono::steady_clock::now();
    uint32_t p = uint32_t(program), v = uint32_t(version);
    if (now < g_registered.expiry && Holds(g_registered, p, v)) return true;
    rpcblist *list = Maps();
    if (!list) return true; // rpcbind lists itself at the least: no answer
    g_registered.pairs.clear();
    for (rpcblist *e = list; e; e = e->rpcb_next)
        g_registered.pairs.emplace_back(uint32_t(e->rpcb_map.r_prog), uint32_t(e->rpcb_map.r_vers));
    FreeMaps(list);
    std::sort(g_registered.pairs.begin(), g_registered.pairs.end());
    g_registered.expiry = now + kKeepRegistered;
    return Holds(g_registered, p, v);
}

int32_t Add(SVCXPRT *xprt, const pts::Binding &b) {
    if (!FromLoopback(xprt)) return pts::kRefused;
    int32_t st = g_map->Add(b);
    LOG_CondMessage(st ? 2 : 6, kSource, __LINE__, "add %s (type %d) program %d version %d: %d\n",
                    b.object.name, b.object.type, b.program, b.version, st);
    return st;
}

int32_t Delete(SVCXPRT *xprt, const pts::ObjectName &o) {
    if (!FromLoopback(xprt)) return pts::kRefused;
    int32_t st = g_map->Delete(o);
    LOG_CondMessage(st && st != pts::kNotFound ? 2 : 6, kSource, __LINE__,
                    "delete %s (type %d): %d\n", o.name, o.type, st);
    return st;
}

pts::Binding Get(const pts::ObjectName &o) {
    pts::Binding b;
    b.object.type = o.type;
    pts::MapValue v;
    if (!g_map->Find(o, &v)) return b;
    if (!StillRegistered(v.first, v.second)) {
        bool saved = g_map->Drop(o);
        LOG_CondMessage(6, kSource, __LINE__,
                        "dropped %s (type %d): program %d version %d is no longer registered%s\n",
                        o.name, o.type, v.first, v.second,
                        saved ? "" : " (the map could not be written)");
        return b;
    }
    b.object = o;
    b.program = v.first, b.version = v.second;
    return b;
}

void Dispatch(svc_req *rq, SVCXPRT *xprt) {
    xdrproc_t int_proc = pts::Proc(xdr_int);
    switch (rq->rq_proc) {
    case NULLPROC: svc_sendreply(xprt, pts::Proc(xdr_void), nullptr); return;
    case pts::kAdd: {
        pts::Binding b;
        if (!svc_getargs(xprt, pts::Proc(pts::XdrBinding), reinterpret_cast<char *>(&b)))
            return svcerr_decode(xprt);
        int32_t st = Add(xprt, b);
        svc_sendreply(xprt, int_proc, reinterpret_cast<char *>(&st));
        return;
    }
    case pts::kDelete: {
        pts::ObjectName o;
        if (!svc_getargs(xprt, pts::Proc(pts::XdrObjectName), reinterpret_cast<char *>(&o)))
            return svcerr_decode(xprt);
        int32_t st = Delete(xprt, o);
        svc_sendreply(xprt, int_proc, reinterpret_cast<char *>(&st));
        return;
    }
    case pts::kGet: {
        pts::ObjectName o;
        if (!svc_getargs(xprt, pts::Proc(pts::XdrObjectName), reinterpret_cast<char *>(&o)))
            return svcerr_decode(xprt);
        pts::Binding b = Get(o);
        svc_sendreply(xprt, pts::Proc(pts::XdrBinding), reinterpret_cast<char *>(&b));
        return;
    }
    default: svcerr_noproc(xprt);
    }
}

// Whether rpcbind answers on this host.
bool RpcbindRunning() {
    rpcblist *list = Maps();
    bool answered = list != nullptr;
    FreeMaps(list);
    return answered;
}

} // namespace

int main(int argc, char **argv) {
    std::string state_dir = VRPTSD_STATE_DIR, log = "stderr";
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "-h" || flag == "--help") {
            std::fputs(kUsageText, stdout);
            return 0;
        }
        if (flag != "--state-dir" && flag != "--log") return UsageError("unknown option", argv[i]);
        if (i + 1 == argc) return UsageError("missing value of", argv[i]);
        const char *value = argv[++i];
        if (!*value) return UsageError("empty value of", argv[i - 1]);
        (flag == "--state-dir" ? state_dir : log) = value;
    }
    LOG_Init(log.c_str(), "EWAXI");

    // The stop signals arrive through a descriptor polled beside the
    // service's own.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    int sig_fd = signalfd(-1, &stop, SFD_CLOEXEC);
    if (sig_fd < 0) return Fail(std::string("cannot take the stop signals: ") + strerror(errno));

    // A missing state directory is made (its parent is not).
    struct stat st;
    if (mkdir(state_dir.c_str(), 0755) != 0 && errno != EEXIST)
        return Fail("cannot make the state directory " + state_dir + ": " + strerror(errno));
    if (stat(state_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Fail("the state directory " + state_dir + " is not a directory");
    pts::MapFile map(state_dir);
    size_t refused = 0;
    if (int err = map.Load(&refused))
        return Fail("cannot write the map in the state directory " + state_dir + ": " +
                    strerror(err));
    if (refused)
        LOG_CondMessage(2, kSource, __LINE__,
                        "%zu damaged entries of %s refused (its text kept in %s.damaged); %zu "
                        "loaded\n",
                        refused, map.Path().c_str(), map.Path().c_str(), map.Size());
    g_map = &map;

    if (!RpcbindRunning())
        return Fail("rpcbind is not running on this host (start it: systemctl start rpcbind)");
    std::vector<SVCXPRT *> xprts;
    for (const char *netid : {"udp", "udp6"}) {
        netconfig *nc = getnetconfigent(netid);
        if (!nc) continue;
        // Registers with rpcbind, replacing a registration left behind.
        SVCXPRT *x = svc_tp_create(Dispatch, pts::kProgram, pts::kVersion, nc);
        freenetconfigent(nc);
        if (x)
            xprts.push_back(x);
        else
            LOG_CondMessage(2, kSource, __LINE__, "no service on %s\n", netid);
    }
    if (xprts.empty()) return Fail("cannot register program 105004 version 1 with rpcbind");
    LOG_CondMessage(6, kSource, __LINE__, "serving %zu entries from %s\n", map.Size(),
                    map.Path().c_str());

    int sig = 0;
    std::vector<pollfd> fds;
    while (!sig) {
        fds.assign(svc_pollfd, svc_pollfd + svc_max_pollfd);
        fds.push_back({sig_fd, POLLIN, 0});
        int n = poll(fds.data(), fds.size(), -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            LOG_CondMessage(1, kSource, __LINE__, "poll: %s\n", strerror(errno));
            break;
        }
        if (fds.back().revents) {
            signalfd_siginfo info;
            if (read(sig_fd, &info, sizeof info) == ssize_t(sizeof info)) sig = int(info.ssi_signo);
            --n;
        }
        if (n > 0) svc_getreq_poll(fds.data(), n);
    }
    LOG_CondMessage(6, kSource, __LINE__, "stopping on signal %d with %zu entries\n", sig,
                    map.Size());
    svc_unreg(pts::kProgram, pts::kVersion);
    for (SVCXPRT *x : xprts) svc_destroy(x);
    if (g_rpcbind) clnt_destroy(g_rpcbind);
    close(sig_fd);
    LOG_Term();
    return sig ? 0 : 1;
}
