// A DPA request server for the client tests, registered with rpcbind over TCP, and over DCE/RPC
// at the port (NTLM: "alice", "password" or anonymous; registered with the endpoint mapper):
//   odp_test_server <program> <version> [<port> [<object UUID>]]
// Procedure 1 takes requests. Each argument is read strictly (every byte must be a
// sign-extended 4-byte integer) and decoded with the library's decoder as the argument of its
// operation. Replies are written with the RPC library's own character routine and come from a
// script, one line per request (an empty script answers "echo"):
//   echo                           the request bytes back as the result
//   reply <kind> <result> <error>  hex bytes, "-" for none
//   words <hex>                    the reply body as it stands (hostile bytes)
//   delay <ms>                     sleep, then echo
//   refuse-auth-sys                refuse a Unix credential (too weak; DCE/RPC: status 5)
//   noprog | progvers              refuse the program or its version (DCE/RPC: the interface)
//   fault <n> | status <n>         DCE/RPC: a fault, or a reply, with that status
// Procedure 2, the test's control, takes a request record whose bytes are lines to append to
// the script, and answers with the last request as a reply record: its operation as the kind,
// its bytes as the result, and two bytes (every byte sign-extended, decoded) as the error. Two
// lines are not queued: "default <line>" answers requests with that line while the script is
// empty; "mirror" makes "echo" answer a close-job request from then on with a print result
// naming the request's job, so that concurrent callers can tell their replies apart.
#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <rpc/rpc.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "vrcore/genu.h"
#include "vrcore/odpops.h"
#include "vrcore/rpcs.h"

namespace {

// An XDR routine as the RPC library's calls take it.
template <class F> xdrproc_t Proc(F *f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

struct Argument {
    int operation = 0;
    bool sign_extended = true;
    bool decoded = false;
    std::vector<char> bytes;
};

struct Answer {
    int kind = 0;
    std::vector<char> result, error;
};

std::mutex g_mutex; // the script and the last request, for both transports
std::deque<std::string> g_script;
bool g_mirror = false;
std::string g_default = "echo";
Argument g_last;
unsigned long g_version = 0;

std::vector<char> Hex(const std::string &text) {
    std::vector<char> out;
    if (text == "-") return out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

bool_t ReadArgument(XDR *xdrs, Argument *a) {
    if (xdrs->x_op != XDR_DECODE) return TRUE;
    u_int count = 0;
    if (!xdr_int(xdrs, &a->operation) || !xdr_u_int(xdrs, &count) || count > (64u << 20))
        return FALSE;
    a->bytes.resize(count);
    a->sign_extended = true;
    uint32_t words[1024]; // read a block at a time, checked word by word
    for (u_int done = 0, n = 0; done < count; done += n) {
        n = std::min<u_int>(count - done, 1024);
        if (!XDR_GETBYTES(xdrs, reinterpret_cast<char *>(words), n * 4)) return FALSE;
        for (u_int i = 0; i < n; ++i) {
            auto word = static_cast<int32_t>(ntohl(words[i]));
            a->sign_extended = a->sign_extended && word == static_cast<signed char>(word & 0xFF);
            a->bytes[done + i] = static_cast<char>(word);
        }
    }
    return TRUE;
}

// Packets through the library's reference routine: xdr_array of xdr_char.
bool_t PutPacket(XDR *xdrs, std::vector<char> *bytes) {
    char *p = bytes->data();
    u_int n = static_cast<u_int>(bytes->size());
    return xdr_array(xdrs, &p, &n, ~0u, 1, Proc(xdr_char));
}

bool_t WriteAnswer(XDR *xdrs, Answer *a) {
    return xdr_int(xdrs, &a->kind) && PutPacket(xdrs, &a->result) && PutPacket(xdrs, &a->error);
}

bool_t WriteWords(XDR *xdrs, std::vector<char> *w) {
    return XDR_PUTBYTES(xdrs, w->data(), static_cast<u_int>(w->size()));
}

// Decodes the argument; with mirroring on, a close job's print result.
void Decode(Argument *a, std::vector<char> *mirror) {
    int pdu = ODP_ArgumentPDU(a->operation);
    GENU_Buffer in{static_cast<uint32_t>(a->bytes.size()),
                   reinterpret_cast<unsigned char *>(a->bytes.data())};
    void *value = nullptr;
    a->decoded = pdu > 0 && GENU_OssDecode(nullptr, &pdu, &in, &value) == 0;
    if (!a->decoded) return;
    const auto *print = static_cast<const ODP_BerPrintArg *>(value);
    if (g_mirror && a->operation == 6 && print->choice == 3) {
        ODP_BerPrintRes res{};
        memcpy(res.job_identification, print->u.close_job.existing_job, sizeof(ODP_BerJobId));
        GENU_Buffer out{};
        if (GENU_OssEncode(nullptr, ODP_PDU_PRINT_RES, &res, &out) == 0)
            mirror->assign(out.value, out.value + out.length);
        _GENU__MyFree(out.value);
    }
    GENU_OssFreePDU(nullptr, pdu, value);
}

// The script's step for a request: its verb, the number or hex after it, the answer.
struct Step {
    std::string verb, text;
    long number = 0;
    Answer answer;
};

Step Next(Argument *arg) {
    std::vector<char> mirror;
    Decode(arg, &mirror);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_last = *arg;
    std::istringstream in(g_script.empty() ? g_default : g_script.front());
    if (!g_script.empty()) g_script.pop_front();
    Step s;
    in >> s.verb;
    s.answer.result = s.verb == "echo" && !mirror.empty() ? mirror : arg->bytes;
    if (s.verb == "reply") {
        std::string r, e;
        in >> s.answer.kind >> r >> e;
        s.answer.result = Hex(r);
        s.answer.error = Hex(e);
    }
    in >> s.text;
    s.number = strtol(s.text.c_str(), nullptr, 0);
    return s;
}

void Request(svc_req *rq, SVCXPRT *xprt) {
    Argument arg;
    if (!svc_getargs(xprt, Proc(ReadArgument), reinterpret_cast<char *>(&arg))) {
        svcerr_decode(xprt);
        return;
    }
    Step s = Next(&arg);
    if (s.verb == "noprog") return svcerr_noprog(xprt);
    if (s.verb == "progvers") return svcerr_progvers(xprt, g_version + 1, g_version + 1);
    if (s.verb == "refuse-auth-sys" && rq->rq_cred.oa_flavor == AUTH_SYS)
        return svcerr_auth(xprt, AUTH_TOOWEAK);
    if (s.verb == "delay") usleep(static_cast<useconds_t>(s.number) * 1000);
    if (s.verb == "words") {
        std::vector<char> words = Hex(s.text);
        svc_sendreply(xprt, Proc(WriteWords), reinterpret_cast<char *>(&words));
        return;
    }
    svc_sendreply(xprt, Proc(WriteAnswer), reinterpret_cast<char *>(&s.answer));
}

// The request operation over DCE/RPC, from the same script.
uint32_t Transfer(void *, const RPCS_CallInfo *, uint16_t operation,
                  const ODP_RequestPacket *request, RPCS_Reply *reply) {
    Argument arg;
    arg.operation = operation;
    arg.bytes.assign(request->bytes, request->bytes + request->length);
    Step s = Next(&arg);
    if (s.verb == "noprog") return 0x1c010003; // unknown interface
    if (s.verb == "fault") return static_cast<uint32_t>(s.number);
    if (s.verb == "delay") usleep(static_cast<useconds_t>(s.number) * 1000);
    reply->status = s.verb == "status" ? uint32_t(s.number) : s.verb == "refuse-auth-sys" ? 5 : 0;
    reply->error_kind = static_cast<uint16_t>(s.answer.kind);
    auto put = [](const std::vector<char> &bytes) -> ODP_RequestPacket * {
        if (bytes.empty()) return nullptr;
        auto *p = static_cast<ODP_RequestPacket *>(
            ODP_MIDL_user_allocate(sizeof(ODP_RequestPacket) + bytes.size()));
        p->length = static_cast<uint32_t>(bytes.size());
        return memcpy(p->bytes, bytes.data(), bytes.size()), p;
    };
    reply->result = put(s.answer.result), reply->error = put(s.answer.error);
    return 0;
}

void Dispatch(svc_req *rq, SVCXPRT *xprt) {
    switch (rq->rq_proc) {
    case NULLPROC: svc_sendreply(xprt, Proc(xdr_void), nullptr); return;
    case 1: Request(rq, xprt); return;
    case 2: {
        Argument lines;
        if (!svc_getargs(xprt, Proc(ReadArgument), reinterpret_cast<char *>(&lines)))
            return svcerr_decode(xprt);
        std::istringstream in(std::string(lines.bytes.begin(), lines.bytes.end()));
        std::lock_guard<std::mutex> lock(g_mutex);
        for (std::string l; std::getline(in, l);)
            if (l == "mirror")
                g_mirror = true;
            else if (l.rfind("default ", 0) == 0)
                g_default = l.substr(8);
            else if (!l.empty())
                g_script.push_back(l);
        Answer last{g_last.operation, g_last.bytes, {g_last.sign_extended, g_last.decoded}};
        svc_sendreply(xprt, Proc(WriteAnswer), reinterpret_cast<char *>(&last));
        return;
    }
    default: svcerr_noproc(xprt);
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3 || argc > 5) {
        fprintf(stderr, "usage: %s program version [port [object]]\n", argv[0]);
        return 2;
    }
    unsigned long program = strtoul(argv[1], nullptr, 0);
    g_version = strtoul(argv[2], nullptr, 0);
    char users[] = "/tmp/vrodp-users-XXXXXX";
    int fd = mkstemp(users);
    if (fd < 0 || dprintf(fd, "alice:8846f7eaee8fb117ad06bdd830b7586c\n") < 0) return 1;
    close(fd);
    RPCS_Config config{"127.0.0.1", uint16_t(argc > 3 ? atoi(argv[3]) : 0), users, 0, 0};
    RPCS_Server *server = nullptr;
    if (config.port && (RPCS_Start(&config, Transfer, nullptr, &server) ||
                        (argc > 4 && RPCS_RegisterEndpoint(server, argv[4])))) {
        fprintf(stderr, "odp_test_server: cannot serve DCE/RPC at port %u\n", config.port);
        return 1;
    }
    unlink(users);
    rpcb_unset(program, g_version, nullptr);
    if (!svc_create(Dispatch, program, g_version, "tcp")) {
        fprintf(stderr, "odp_test_server: cannot register %lu/%lu\n", program, g_version);
        return 1;
    }
    svc_run();
    return 1;
}
