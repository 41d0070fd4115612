// A DPA request server for the client tests, registered with rpcbind over
// TCP:  odp_test_server <program> <version>
//
// Procedure 1 takes requests: each argument is read strictly (every byte a
// sign-extended 4-byte integer), decoded with the library's decoder as the
// argument of its operation, and kept for procedure 2. Replies are written
// with the RPC library's own character routine, from a script of one line
// per request (none: "echo"):
//   echo                           the request bytes back as the result
//   reply <kind> <result> <error>  hex bytes, "-" for none
//   words <hex>                    the reply body as it stands (hostile bytes)
//   delay <ms>                     sleep, then echo
//   refuse-auth-sys                refuse a Unix credential (too weak), else echo
//   noprog | progvers              refuse the program or its version
// Procedure 2, the test's control, takes a request record whose bytes are
// lines to append to the script, and answers with the last request as a
// reply record: its operation as the kind, its bytes as the result, and
// two bytes (every byte sign-extended, decoded) as the error.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <rpc/rpc.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "vrcore/genu.h"
#include "vrcore/odpops.h"

namespace {

template <class F> xdrproc_t Proc(F *f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

// A request as it arrives (operation, bytes, and two checks: every byte
// sign-extended, decoded), or a reply as it goes (kind, result, error).
struct Record {
    int kind = 0;
    std::vector<char> bytes, error;
};

std::deque<std::string> g_script;
Record g_last;

std::vector<char> Hex(const std::string &text) {
    std::vector<char> out;
    for (size_t i = 0; text != "-" && i + 1 < text.size(); i += 2)
        out.push_back(static_cast<char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

bool_t ReadRequest(XDR *xdrs, Record *r) {
    u_int count = 0;
    if (!xdr_int(xdrs, &r->kind) || !xdr_u_int(xdrs, &count) || count > (64u << 20)) return FALSE;
    r->error = {1, 0};
    for (int word = 0; count-- > 0; r->bytes.push_back(static_cast<char>(word))) {
        if (!xdr_int(xdrs, &word)) return FALSE;
        r->error[0] &= word == static_cast<signed char>(word & 0xFF);
    }
    return TRUE;
}

// Packets through the reference routine: xdr_array of xdr_char.
bool_t PutPacket(XDR *xdrs, std::vector<char> *v) {
    char *p = v->data();
    u_int n = static_cast<u_int>(v->size());
    return xdr_array(xdrs, &p, &n, ~0u, 1, Proc(xdr_char));
}

bool_t WriteReply(XDR *xdrs, Record *r) {
    return xdr_int(xdrs, &r->kind) && PutPacket(xdrs, &r->bytes) && PutPacket(xdrs, &r->error);
}

bool_t WriteWords(XDR *xdrs, std::vector<char> *w) {
    return XDR_PUTBYTES(xdrs, w->data(), static_cast<u_int>(w->size()));
}

void Dispatch(svc_req *rq, SVCXPRT *xprt) {
    if (rq->rq_proc == NULLPROC) return void(svc_sendreply(xprt, Proc(xdr_void), nullptr));
    if (rq->rq_proc != 1 && rq->rq_proc != 2) return svcerr_noproc(xprt);
    Record in;
    if (!svc_getargs(xprt, Proc(ReadRequest), reinterpret_cast<char *>(&in)))
        return svcerr_decode(xprt);
    if (rq->rq_proc == 2) {
        std::istringstream lines(std::string(in.bytes.begin(), in.bytes.end()));
        for (std::string l; std::getline(lines, l);)
            if (!l.empty()) g_script.push_back(l);
        svc_sendreply(xprt, Proc(WriteReply), reinterpret_cast<char *>(&g_last));
        return;
    }
    int pdu = ODP_ArgumentPDU(in.kind);
    GENU_Buffer buf{static_cast<uint32_t>(in.bytes.size()),
                    reinterpret_cast<unsigned char *>(in.bytes.data())};
    void *value = nullptr;
    in.error[1] = pdu > 0 && GENU_OssDecode(nullptr, &pdu, &buf, &value) == 0;
    if (in.error[1]) GENU_OssFreePDU(nullptr, pdu, value);
    g_last = in;
    std::istringstream line(g_script.empty() ? "echo" : g_script.front());
    if (!g_script.empty()) g_script.pop_front();
    std::string verb, a, b;
    line >> verb;
    if (verb == "noprog") return svcerr_noprog(xprt);
    if (verb == "progvers") return svcerr_progvers(xprt, rq->rq_vers + 1, rq->rq_vers + 1);
    if (verb == "refuse-auth-sys" && rq->rq_cred.oa_flavor == AUTH_SYS)
        return svcerr_auth(xprt, AUTH_TOOWEAK);
    Record out{0, in.bytes, {}};
    if (verb == "delay") usleep(static_cast<useconds_t>(std::stol((line >> a, a))) * 1000);
    if (verb == "words") {
        std::vector<char> words = Hex((line >> a, a));
        svc_sendreply(xprt, Proc(WriteWords), reinterpret_cast<char *>(&words));
        return;
    }
    if (verb == "reply") line >> out.kind >> a >> b, out.bytes = Hex(a), out.error = Hex(b);
    svc_sendreply(xprt, Proc(WriteReply), reinterpret_cast<char *>(&out));
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) return fprintf(stderr, "usage: %s program version\n", argv[0]), 2;
    unsigned long program = strtoul(argv[1], nullptr, 0), version = strtoul(argv[2], nullptr, 0);
    rpcb_unset(program, version, nullptr);
    if (!svc_create(Dispatch, program, version, "tcp"))
        return fprintf(stderr, "odp_test_server: cannot register %lu/%lu\n", program, version), 1;
    svc_run();
    return 1;
}
