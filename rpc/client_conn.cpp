#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

#include "rpc/rpc_status.h"
#include "rpc/runtime.h"
#include "system/fileio.h"
#include "vrcore/log.h"

namespace vrcore::rpc {

namespace {

using Clock = std::chrono::steady_clock;

uint16_t NakStatus(uint16_t reason) {
    switch (reason) {
    case pdu::kNakTemporaryCongestion:
    case pdu::kNakLocalLimitExceeded: return 0; // too busy, below
    case pdu::kNakAuthTypeNotRecognized:
    case pdu::kNakInvalidChecksum: return 1; // authentication
    default: return 2;
    }
}

} // namespace

uint32_t MapFault(uint32_t status) {
    switch (status) {
    case pdu::kNcaOpRangeError: return kProcnumOutOfRange;
    case pdu::kNcaUnknownInterface: return kUnknownInterface;
    case pdu::kNcaServerTooBusy: return kServerTooBusy;
    case pdu::kNcaFaultCancel: return kCallCancelled;
    case pdu::kNcaProtoError: return kProtocolError;
    default: return status;
    }
}

struct ClientConnection::Deadline {
    Clock::time_point at;
    // Milliseconds left, at least 0.
    int Left() const {
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(at - Clock::now()).count();
        return int(std::clamp<long long>(ms, 0, 0x7fffffff));
    }
};

ClientConnection::ClientConnection(std::string host, uint16_t port, const SyntaxId &interface,
                                   ClientOptions options)
    : host_(std::move(host)), port_(port), interface_(interface), options_(std::move(options)) {
    options_.max_xmit_frag = std::max(options_.max_xmit_frag, pdu::kMinFragSize);
    options_.max_recv_frag = std::max(options_.max_recv_frag, pdu::kMinFragSize);
}

ClientConnection::~ClientConnection() { Close(); }

void ClientConnection::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    in_start_ = in_end_ = 0;
    xmit_frag_ = 0;
}

bool ClientConnection::Stale() {
    // An idle association has nothing to read: a readable one was closed or
    // shut down by the server.
    pollfd pf{fd_, POLLIN, 0};
    return ::poll(&pf, 1, 0) != 0 || in_start_ < in_end_;
}

uint32_t ClientConnection::Send(const std::vector<uint8_t> &bytes, const Deadline &deadline) {
    int e = system::fileio::SendAll(fd_, bytes.data(), bytes.size(), bytes.size(), deadline.Left());
    if (e == 0) return kOk;
    return e == ETIMEDOUT ? kCallCancelled : kCallFailed;
}

uint32_t ClientConnection::ReadPdu(const Deadline &deadline, pdu::Pdu *out) {
    // in_ holds the received bytes [in_start_, in_end_); room for two
    // packets of the largest size, so one is always contiguous.
    if (in_.empty()) in_.resize(size_t(2) << 16);
    if (in_start_ == in_end_) in_start_ = in_end_ = 0;
    size_t need = pdu::kHeaderSize;
    bool have_length = false;
    for (;;) {
        size_t have = in_end_ - in_start_;
        if (!have_length && have >= pdu::kHeaderSize) {
            if (pdu::PeekLength(in_.data() + in_start_, options_.max_recv_frag, &need) != kOk) {
                return kProtocolError;
            }
            have_length = true;
        }
        if (have_length && have >= need) break;
        if (in_start_ + need > in_.size() || in_end_ == in_.size()) {
            std::memmove(in_.data(), in_.data() + in_start_, have);
            in_start_ = 0;
            in_end_ = have;
        }
        pollfd pf{fd_, POLLIN, 0};
        int ready = ::poll(&pf, 1, deadline.Left());
        if (ready == 0) return kCallCancelled;
        if (ready < 0) {
            if (errno == EINTR) continue;
            return kCallFailed;
        }
        ssize_t k = ::recv(fd_, in_.data() + in_end_, in_.size() - in_end_, MSG_DONTWAIT);
        if (k == 0 || (k < 0 && errno != EAGAIN && errno != EINTR)) return kCallFailed;
        in_end_ += size_t(std::max<ssize_t>(k, 0));
    }
    uint32_t st = pdu::Decode(in_.data() + in_start_, need, options_.max_recv_frag, out);
    in_start_ += need;
    return st;
}

uint32_t ClientConnection::Open(const Deadline &deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    std::string service = std::to_string(port_);
    if (::getaddrinfo(host_.c_str(), service.c_str(), &hints, &list) != 0) {
        LOG_CondMessage(5, __FILE__, __LINE__, "RPC: cannot resolve \"%s\"", host_.c_str());
        return kServerUnavailable;
    }
    for (addrinfo *a = list; a && fd_ < 0; a = a->ai_next) {
        int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (r != 0 && errno == EINPROGRESS) {
            pollfd pf{fd, POLLOUT, 0};
            int err = ETIMEDOUT;
            socklen_t len = sizeof err;
            if (::poll(&pf, 1, deadline.Left()) == 1) {
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
            }
            r = err == 0 ? 0 : -1;
        }
        if (r == 0) {
            fd_ = fd;
        } else {
            ::close(fd);
        }
    }
    ::freeaddrinfo(list);
    if (fd_ < 0) return kServerUnavailable;

    // The bind: one presentation context, the interface in NDR 2.0.
    pdu::Pdu bind;
    bind.type = pdu::Type::kBind;
    bind.call_id = next_call_id_++;
    bind.max_xmit_frag = options_.max_xmit_frag;
    bind.max_recv_frag = options_.max_recv_frag;
    bind.contexts.push_back({0, interface_, {pdu::Ndr20()}});
    std::unique_ptr<SecurityContext> security;
    if (options_.security) {
        security = options_.security();
        bind.has_auth = true;
        bind.auth.type = options_.auth_type;
        bind.auth.level = kAuthLevelConnect;
        if (!security || security->Step({}, &bind.auth.value) != kOk) return kAccessDenied;
    }
    std::vector<uint8_t> out;
    uint32_t st = pdu::Encode(bind, &out);
    if (st == kOk) st = Send(out, deadline);
    pdu::Pdu ack;
    if (st == kOk) st = ReadPdu(deadline, &ack);
    if (st != kOk) return st;
    if (ack.call_id != bind.call_id) return kProtocolError;
    if (ack.type == pdu::Type::kBindNak) {
        uint16_t kind = NakStatus(ack.reject_reason);
        return kind == 0 ? kServerTooBusy : kind == 1 ? kAccessDenied : kUnknownInterface;
    }
    if (ack.type == pdu::Type::kFault) return MapFault(ack.status);
    if (ack.type != pdu::Type::kBindAck) return kProtocolError;
    if (ack.results.empty() || ack.results[0].result != pdu::kAcceptance ||
        !(ack.results[0].transfer == pdu::Ndr20())) {
        return kUnknownInterface;
    }
    if (ack.max_recv_frag < pdu::kRequestHeaderSize + 16 + 8) return kProtocolError;
    xmit_frag_ = std::min(options_.max_xmit_frag, ack.max_recv_frag);

    if (security) {
        // The server's challenge; our last token goes in the auth3.
        pdu::Pdu auth3;
        auth3.type = pdu::Type::kAuth3;
        auth3.call_id = bind.call_id;
        auth3.has_auth = true;
        auth3.auth = bind.auth;
        auth3.auth.value.clear();
        if (!ack.has_auth || security->Step(ack.auth.value, &auth3.auth.value) != kOk) {
            return kAccessDenied;
        }
        if (!auth3.auth.value.empty()) {
            out.clear();
            st = pdu::Encode(auth3, &out);
            if (st == kOk) st = Send(out, deadline);
            if (st != kOk) return st;
        }
    }
    return kOk;
}

void ClientConnection::Abandon(uint32_t call_id) {
    // The call is given up: the server is told (cancel, then orphaned), and
    // the connection, which may still carry the call's answer, is closed.
    std::vector<uint8_t> out;
    pdu::Pdu p;
    p.call_id = call_id;
    p.type = pdu::Type::kCoCancel;
    pdu::Encode(p, &out);
    p.type = pdu::Type::kOrphaned;
    pdu::Encode(p, &out);
    ssize_t ignored = ::send(fd_, out.data(), out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    (void)ignored;
    Close();
}

uint32_t ClientConnection::Exchange(const Deadline &deadline, uint16_t opnum, const Uuid *object,
                                    const uint8_t *request, size_t size,
                                    std::vector<uint8_t> *response, bool *send_failed) {
    uint32_t call_id = next_call_id_++;
    pdu::Pdu req;
    req.type = pdu::Type::kRequest;
    req.call_id = call_id;
    req.opnum = opnum;
    if (object) req.object = *object;
    size_t room = xmit_frag_ - pdu::kRequestHeaderSize - (object && !object->IsNil() ? 16 : 0);
    room &= ~size_t(7);
    std::vector<uint8_t> out;
    size_t at = 0;
    do {
        size_t piece = std::min(room, size - at);
        req.flags =
            uint8_t((at == 0 ? pdu::kFirstFrag : 0) | (at + piece == size ? pdu::kLastFrag : 0));
        req.alloc_hint = uint32_t(std::min<size_t>(size - at, UINT32_MAX));
        req.stub = request + at;
        req.stub_size = piece;
        out.clear();
        pdu::Encode(req, &out);
        uint32_t st = Send(out, deadline);
        if (st == kCallFailed) *send_failed = true;
        if (st != kOk) {
            Close();
            return st;
        }
        at += piece;
    } while (at < size);

    pdu::Reassembly reply(options_.max_response, options_.max_fragments);
    for (;;) {
        pdu::Pdu p;
        uint32_t st = ReadPdu(deadline, &p);
        if (st == kOk && p.call_id != call_id) st = kProtocolError;
        if (st == kOk && p.type == pdu::Type::kFault) return MapFault(p.status);
        if (st == kOk && p.type == pdu::Type::kShutdown) st = kCallFailed;
        if (st == kOk && p.type != pdu::Type::kResponse) st = kProtocolError;
        const char *why = "";
        if (st == kOk && !reply.Active() && (p.flags & pdu::kFirstFrag) &&
            (p.flags & pdu::kLastFrag)) {
            response->assign(p.stub, p.stub + p.stub_size); // the common single fragment
            return kOk;
        }
        if (st == kOk) st = reply.Add(p, &why);
        if (st == kCallCancelled) {
            Abandon(call_id);
            return st;
        }
        if (st != kOk) {
            if (st == kProtocolError) {
                LOG_CondMessage(5, __FILE__, __LINE__,
                                "RPC: the answer of %s port %u to call %u breaks the protocol %s",
                                host_.c_str(), port_, call_id, why);
            }
            Close();
            return st;
        }
        if (reply.Complete()) {
            response->swap(reply.Data());
            return kOk;
        }
    }
}

uint32_t ClientConnection::Call(uint16_t opnum, const Uuid *object, const uint8_t *request,
                                size_t size, std::vector<uint8_t> *response) try {
    std::lock_guard lock(mutex_);
    Deadline deadline{Clock::now() + std::chrono::milliseconds(std::max(options_.timeout_ms, 0))};
    if (fd_ >= 0 && Stale()) Close();
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool reused = fd_ >= 0;
        if (!reused) {
            uint32_t st = Open(deadline);
            if (st != kOk) {
                Close();
                return st;
            }
        }
        bool send_failed = false;
        uint32_t st = Exchange(deadline, opnum, object, request, size, response, &send_failed);
        // A reused connection that would not even take the request had been
        // dropped by the server: once more on a new one.
        if (!(reused && send_failed)) return st;
    }
    return kCallFailed;
} catch (const std::bad_alloc &) {
    std::lock_guard lock(mutex_);
    Close(); // the connection may hold half an answer
    return kOutOfMemory;
}

} // namespace vrcore::rpc
