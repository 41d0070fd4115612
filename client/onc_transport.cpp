// The ONC RPC transport: a TCP client of the server's program, one call of
// procedure 1 per request.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <new>
#include <poll.h>
#include <rpc/rpc.h>
#include <sys/socket.h>
#include <unistd.h>

#include "client/transport.h"
#include "vrcore/log.h"
#include "vrcore/odpcli.h"

namespace vrcore::client {
namespace {

constexpr const char *kSource = "c_supprt.onc";

long ThreadId() { return static_cast<long>(gettid()); }

class OncTransport final : public Transport {
  public:
    explicit OncTransport(CLIENT *client) : client_(client) {}
    ~OncTransport() override {
        if (client_->cl_auth) auth_destroy(client_->cl_auth);
        client_->cl_auth = nullptr;
        clnt_destroy(client_);
    }

    uint32_t Call(int32_t operation, const unsigned char *request, uint32_t length,
                  Reply *reply) override {
        *reply = Reply{};
        auto *res = new (std::nothrow) ODP_result_t{};
        if (!res) return ODP_S_NOMEM;
        ODP_argument_t arg{operation,
                           {length, const_cast<char *>(reinterpret_cast<const char *>(request))}};
        uint32_t seconds = 0;
        if (GetTimeout(&seconds)) LOG_CondMessage(5, kSource, __LINE__, "CLGET_TIMEOUT failed");
        LOG_CondMessage(6, kSource, __LINE__,
                        "Before calling odp_request_1, time=%ld, timeout= %u secs, tid=%ld\n",
                        static_cast<long>(time(nullptr)), seconds, ThreadId());
        int rpc_status = odp_request_1(&arg, res, client_);
        LOG_CondMessage(6, kSource, __LINE__,
                        "After calling odp_request_1, time=%ld, tid=%ld, rpcStat=%d\n",
                        static_cast<long>(time(nullptr)), ThreadId(), rpc_status);
        if (rpc_status != RPC_SUCCESS) {
            LOG_CondMessage(5, kSource, __LINE__, "%s",
                            clnt_sperror(client_, "odp_request_1 failed:"));
            LOG_CondMessage(5, kSource, __LINE__, "rpcStat = %d\n", rpc_status);
            LOG_CondMessage(5, kSource, __LINE__, "%s", HexDump(request, length).c_str());
            // A reply that failed to decode may have left a packet behind.
            xdr_free(reinterpret_cast<xdrproc_t>(xdr_ODP_result_t), reinterpret_cast<char *>(res));
            delete res;
            return OncStatusCode(rpc_status);
        }
        reply->error_kind = res->error_kind;
        reply->result = reinterpret_cast<const unsigned char *>(res->result.encodePacket_val);
        reply->result_length = res->result.encodePacket_len;
        reply->error = reinterpret_cast<const unsigned char *>(res->error.encodePacket_val);
        reply->error_length = res->error.encodePacket_len;
        reply->owner = res;
        return 0;
    }

    void FreeReply(Reply *reply) override {
        auto *res = static_cast<ODP_result_t *>(reply->owner);
        if (res) {
            clnt_freeres(client_, reinterpret_cast<xdrproc_t>(xdr_ODP_result_t),
                         reinterpret_cast<char *>(res));
            delete res;
        }
        *reply = Reply{};
    }

    uint32_t SetTimeout(uint32_t seconds) override {
        timeval tv{static_cast<time_t>(seconds), 0};
        if (!clnt_control(client_, CLSET_TIMEOUT, reinterpret_cast<char *>(&tv))) {
            LOG_CondMessage(5, kSource, __LINE__, "CLSET_TIMEOUT failed");
            return ODP_S_TIMEOUTCTL;
        }
        return 0;
    }

    uint32_t GetTimeout(uint32_t *seconds) override {
        timeval tv{};
        if (!clnt_control(client_, CLGET_TIMEOUT, reinterpret_cast<char *>(&tv)))
            return ODP_S_TIMEOUTCTL;
        *seconds = static_cast<uint32_t>(tv.tv_sec);
        return 0;
    }

    bool Alive() override {
        int fd = -1;
        if (!clnt_control(client_, CLGET_FD, reinterpret_cast<char *>(&fd)) || fd < 0) return true;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) return true; // nothing pending: the peer is still there
        char byte = 0;
        ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
    }

  private:
    CLIENT *client_;
};

} // namespace

uint32_t OncStatusCode(int rpc_status) {
    switch (rpc_status) {
    case RPC_SUCCESS: return 0;
    case RPC_CANTRECV:
    case RPC_TIMEDOUT: return ODP_S_TIMEOUT;
    case RPC_VERSMISMATCH:
    case RPC_PROGUNAVAIL:
    case RPC_PROGVERSMISMATCH: return ODP_S_PROGRAM;
    case RPC_AUTHERROR: return ODP_S_ACCESS;
    default: return ODP_S_COMM;
    }
}

std::string HexDump(const unsigned char *bytes, uint32_t length) {
    std::string out;
    out.reserve(size_t(length) * 3 + length / 20 * 12 + 2);
    char cell[24];
    for (uint32_t i = 0; i < length; ++i) {
        if (i % 20 == 0) {
            snprintf(cell, sizeof cell, "\n%" PRIu32 "\t", i);
            out += cell;
        } else if (i % 10 == 0) {
            out += "  ";
        }
        snprintf(cell, sizeof cell, "%.2X", bytes[i]);
        out += cell;
    }
    out += '\n';
    return out;
}

uint32_t BindOnc(const OncTarget &target, std::unique_ptr<Transport> *out) {
    out->reset();
    if (!target.host) return ODP_S_NOBINDING;
    LOG_CondMessage(6, kSource, __LINE__, "ODP_Initialize: progNo = %d\n",
                    static_cast<int>(target.program));
    LOG_CondMessage(6, kSource, __LINE__, "ODP_Initialize: version = %d\n",
                    static_cast<int>(target.version));
    timeval wait{kOncCreateSeconds, 0};
    CLIENT *client = clnt_create_timed(target.host, target.program, target.version, "tcp", &wait);
    if (!client) {
        LOG_CondMessage(5, kSource, __LINE__, "%s",
                        clnt_spcreateerror("ODP__ClientConnect: clnt_create_timed failed:"));
        return ODP_S_NOBINDING;
    }
    auto *transport = new (std::nothrow) OncTransport(client);
    if (!transport) {
        auth_destroy(client->cl_auth);
        clnt_destroy(client);
        return ODP_S_NOMEM;
    }
    std::unique_ptr<Transport> owned(transport);
    if (uint32_t code = transport->SetTimeout(kOncCallSeconds)) return code;
    if (target.credentials) {
        if (uint32_t code = target.credentials(target.context, client)) return code;
    }
    LOG_CondMessage(6, kSource, __LINE__, "ODP_Initialize: connected okay!\n");
    *out = std::move(owned);
    return 0;
}

} // namespace vrcore::client
