// Requests over ONC RPC: procedure 1 takes an operation and its encoded
// argument and answers with the encoded result or error.
#include "dpad_onc.h"

#include <poll.h>
#include <rpc/rpc.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "vrcore/log.h"
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

} // namespace

bool StartOnc(Gate *gate, uint32_t program, uint32_t version, uint32_t max_record) {
    g_gate = gate;
    g_max_request = max_record;
    rpcb_unset(program, version, nullptr);
    return svc_create(Dispatch, program, version, "tcp") > 0;
}

int ServeOnc(Gate *gate, int stop_fd, void (*after)(void *), void *ctx) {
    for (;;) {
        std::vector<pollfd> fds(svc_pollfd, svc_pollfd + svc_max_pollfd);
        fds.push_back({gate->wake_fd, POLLIN, 0});
        fds.push_back({stop_fd, POLLIN, 0});
        int n = ::poll(fds.data(), fds.size(), -1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LOG_CondMessage(1, kSource, __LINE__, "poll failed\n"), 0;
        if (fds.back().revents & POLLIN) {
            signalfd_siginfo info{};
            return ::read(stop_fd, &info, sizeof info) == sizeof info ? int(info.ssi_signo) : 0;
        }
        if (fds[fds.size() - 2].revents & POLLIN) {
            uint64_t count = 0;
            if (::read(gate->wake_fd, &count, sizeof count) < 0) {}
            --n;
        }
        if (n > 0) svc_getreq_poll(fds.data(), n);
        std::lock_guard<std::mutex> hold(gate->lock);
        after(ctx);
    }
}

void StopOnc(uint32_t program, uint32_t version) { svc_unreg(program, version); }

} // namespace vrcore::dpad
