// Requests over ONC RPC: procedure 1 takes an operation and its encoded
// argument and answers with the encoded result or error.
#include "dpad_onc.h"

#include <poll.h>
#include <rpc/rpc.h>
#include <rpc/svc_auth.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cstring>
#include <vector>

#include "vrcore/log.h"
#include "vrcore/ns.h"
#include "vrcore/odpcli.h"

namespace vrcore::dpad {

namespace {

constexpr const char *kSource = "vrdpad";
Gate *g_gate = nullptr;
uint32_t g_max_request = 0;

// A request as it arrives: the operation and its bytes, each carried in a
// 4-byte word of which the low byte counts. A count above the limit is
// refused before anything is allocated.
struct Request {
    int operation = 0;
    std::vector<unsigned char> bytes;
};

bool_t ReadRequest(XDR *xdrs, Request *r) {
    if (xdrs->x_op != XDR_DECODE) return TRUE;
    u_int count = 0;
    if (!xdr_int(xdrs, &r->operation) || !xdr_u_int(xdrs, &count)) return FALSE;
    if (count > g_max_request) {
        LOG_CondMessage(2, kSource, __LINE__, "a request of %u bytes was refused (limit %u)\n",
                        count, g_max_request);
        return FALSE;
    }
    unsigned char words[16384];
    for (u_int done = 0; done < count;) {
        u_int n = std::min<u_int>(count - done, sizeof words / 4);
        if (!XDR_GETBYTES(xdrs, reinterpret_cast<char *>(words), n * 4)) return FALSE;
        // The buffer grows only as far as the data really comes.
        r->bytes.resize(done + n);
        unsigned char *out = r->bytes.data() + done;
        for (u_int i = 0; i < n; ++i) out[i] = words[4 * i + 3];
        done += n;
    }
    return TRUE;
}

template <class F> xdrproc_t Proc(F *f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

void Dispatch(svc_req *rq, SVCXPRT *xprt) {
    if (rq->rq_proc == NULLPROC) {
        svc_sendreply(xprt, Proc(xdr_void), nullptr);
        return;
    }
    if (rq->rq_proc != ODP_ONC_PROCEDURE) {
        svcerr_noproc(xprt);
        return;
    }
    if (g_gate->require_auth && rq->rq_cred.oa_flavor == AUTH_NONE) {
        svcerr_weakauth(xprt);
        return;
    }
    Request arg;
    if (!svc_getargs(xprt, Proc(ReadRequest), reinterpret_cast<char *>(&arg))) {
        LOG_CondMessage(2, kSource, __LINE__, "a request record could not be read\n");
        svcerr_decode(xprt);
        return;
    }
    Reply reply;
    {
        std::lock_guard<std::mutex> hold(g_gate->lock);
        reply = g_gate->service->Handle(arg.operation, arg.bytes.data(), arg.bytes.size());
    }
    ODP_result_t res{reply.kind,
                     {unsigned(reply.result.size()), reply.result.data()},
                     {unsigned(reply.error.size()), reply.error.data()}};
    if (!svc_sendreply(xprt, Proc(xdr_ODP_result_t), reinterpret_cast<char *>(&res)))
        LOG_CondMessage(2, kSource, __LINE__, "a reply could not be sent\n");
}

// One client connection, served by its own thread.
struct Connection {
    int fd = -1;
    std::thread thread;
    bool closed = false; // its descriptor is gone (under g_connections_lock)
    std::atomic<bool> done{false};
};
std::mutex g_connections_lock;
std::list<std::unique_ptr<Connection>> g_connections;
std::atomic<bool> g_stopping{false};
int g_listen = -1;
uint32_t g_program = 0, g_version = 0;
constexpr size_t kMaxConnections = 256;

// Reads and answers the connection's calls until it ends: a client that
// stalls in the middle of a record holds only this thread.
void Serve(Connection *c) {
    SVCXPRT *x = svc_fd_create(c->fd, 0, 0);
    char cred[2 * MAX_AUTH_BYTES + 400];
    while (x && !g_stopping) {
        pollfd p{c->fd, POLLIN, 0};
        int n = ::poll(&p, 1, 500);
        if (n == 0 || (n < 0 && errno == EINTR)) continue;
        if (n < 0) break;
        enum xprt_stat stat = XPRT_IDLE;
        do { // every call already read is answered before the next wait
            rpc_msg msg{};
            msg.rm_call.cb_cred.oa_base = cred;
            msg.rm_call.cb_verf.oa_base = cred + MAX_AUTH_BYTES;
            if (SVC_RECV(x, &msg)) {
                svc_req r{};
                r.rq_xprt = x, r.rq_prog = msg.rm_call.cb_prog, r.rq_vers = msg.rm_call.cb_vers;
                r.rq_proc = msg.rm_call.cb_proc, r.rq_cred = msg.rm_call.cb_cred;
                r.rq_clntcred = cred + 2 * MAX_AUTH_BYTES;
                enum auth_stat why = _authenticate(&r, &msg);
                if (why != AUTH_OK)
                    svcerr_auth(x, why);
                else if (r.rq_prog != g_program)
                    svcerr_noprog(x);
                else if (r.rq_vers != g_version)
                    svcerr_progvers(x, g_version, g_version);
                else
                    Dispatch(&r, x);
                uint64_t one = 1; // the main loop prints what the call left to print
                if (::write(g_gate->wake_fd, &one, sizeof one) < 0) {}
            }
            stat = SVC_STAT(x);
        } while (stat == XPRT_MOREREQS && !g_stopping);
        if (stat == XPRT_DIED) break;
    }
    std::lock_guard<std::mutex> hold(g_connections_lock);
    if (x)
        SVC_DESTROY(x); // closes the descriptor
    else
        ::close(c->fd);
    c->closed = true;
    c->done = true;
}

void Accept() {
    int fd = ::accept4(g_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    std::lock_guard<std::mutex> hold(g_connections_lock);
    for (auto c = g_connections.begin(); c != g_connections.end();) // the ended are joined
        if ((*c)->done) {
            (*c)->thread.join();
            c = g_connections.erase(c);
        } else {
            ++c;
        }
    if (g_connections.size() >= kMaxConnections) {
        LOG_CondMessage(2, kSource, __LINE__, "too many ONC RPC connections: one refused\n");
        ::close(fd);
        return;
    }
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    Connection *raw = c.get();
    g_connections.push_back(std::move(c));
    raw->thread = std::thread(Serve, raw);
}

} // namespace

bool StartOnc(Gate *gate, uint32_t program, uint32_t version, uint32_t max_record) {
    g_gate = gate;
    g_max_request = max_record;
    g_program = program, g_version = version;
    rpcb_unset(program, version, nullptr);
    // Connections are accepted here and each served by a thread of its own;
    // the library's transport only tells rpcbind where they arrive.
    g_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    if (g_listen < 0 || ::bind(g_listen, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0 ||
        ::listen(g_listen, 64) != 0)
        return false;
    SVCXPRT *rendezvous = svc_vc_create(g_listen, 0, 0);
    netconfig *tcp = getnetconfigent("tcp");
    bool ok = rendezvous && tcp && svc_reg(rendezvous, program, version, Dispatch, tcp);
    if (tcp) freenetconfigent(tcp);
    return ok;
}

int ServeOnc(Gate *gate, int stop_fd, void (*after)(void *), void *ctx) {
    for (;;) {
        pollfd fds[] = {{g_listen, POLLIN, 0}, {gate->wake_fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
        int n = ::poll(fds, 3, -1); // (a descriptor of -1, without ONC service, is skipped)
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LOG_CondMessage(1, kSource, __LINE__, "poll failed\n"), 0;
        if (fds[2].revents & POLLIN) {
            signalfd_siginfo info{};
            return ::read(stop_fd, &info, sizeof info) == sizeof info ? int(info.ssi_signo) : 0;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            if (::read(gate->wake_fd, &count, sizeof count) < 0) {}
        }
        if (g_listen >= 0 && (fds[0].revents & POLLIN)) Accept();
        after(ctx);
    }
}

void StopOnc(uint32_t program, uint32_t version) {
    svc_unreg(program, version);
    std::list<std::unique_ptr<Connection>> all;
    {
        std::lock_guard<std::mutex> hold(g_connections_lock);
        g_stopping = true;
        for (auto &c : g_connections)
            if (!c->closed) ::shutdown(c->fd, SHUT_RDWR); // wakes a wait for its record
        all.swap(g_connections);
    }
    for (auto &c : all) c->thread.join();
}

void NameOnc(const Config &config, bool add) {
    if (!config.onc_dynamic || !config.onc_program) return;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "localhost");
    std::string name = config.name;
    NS_Object o{};
    o.env = NS_ENV_ONC, o.objClass = o.serverClass = NS_CLASS_SPOOLER;
    o.name = o.serverName = name.data();
    o.onc.host = host, o.onc.program = int32_t(config.onc_program);
    o.onc.version = int32_t(config.onc_version), o.onc.dynamic = 1;
    // The name service may be started already for the DCE/RPC names.
    bool own = !config.dce || config.name_service == "none";
    int32_t rc = own && add ? NS_Init(config.name.c_str(), NS_CLASS_SPOOLER) : NS_OK;
    if (rc == NS_OK) rc = add ? NS_CreateObject(&o, 1, nullptr) : NS_DeleteObject(&o, nullptr);
    if (rc != NS_OK)
        LOG_CondMessage(2, kSource, __LINE__,
                        "cannot %s ONC RPC program %u in the name service (%d)\n",
                        add ? "register" : "remove", config.onc_program, rc);
    if (own && !add) NS_Term();
}

} // namespace vrcore::dpad
