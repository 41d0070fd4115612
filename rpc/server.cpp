#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "rpc/rpc_status.h"
#include "rpc/runtime.h"
#include "system/fileio.h"
#include "vrcore/log.h"

namespace vrcore::rpc {

namespace {

std::atomic<uint32_t> next_assoc_group{0x1000};
thread_local const CallInfo *current_call = nullptr;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The served interface of an abstract syntax: same identifier and major
// version, a minor version at least the client's.
const ServedInterface *FindInterface(const std::vector<ServedInterface> &list,
                                     const SyntaxId &abstract) {
    for (auto &i : list) {
        if (i.id.uuid == abstract.uuid && i.id.major == abstract.major &&
            i.id.minor >= abstract.minor) {
            return &i;
        }
    }
    return nullptr;
}

// "address:port" of the socket's peer, for the log.
std::string PeerName(int fd) {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    char host[INET6_ADDRSTRLEN] = "?";
    uint16_t port = 0;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&sa), &len) == 0 &&
        sa.ss_family == AF_INET) {
        auto *in = reinterpret_cast<sockaddr_in *>(&sa);
        ::inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
        port = ntohs(in->sin_port);
    }
    return std::string(host) + ":" + std::to_string(port);
}

// The IPv4 addresses and ports of both ends of a connection.
CallInfo AddressesOf(int fd) {
    CallInfo info;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&sa), &len) == 0 &&
        sa.sin_family == AF_INET) {
        std::memcpy(info.peer_address, &sa.sin_addr, 4);
        info.peer_port = ntohs(sa.sin_port);
    }
    len = sizeof sa;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len) == 0 &&
        sa.sin_family == AF_INET) {
        std::memcpy(info.local_address, &sa.sin_addr, 4);
        info.local_port = ntohs(sa.sin_port);
    }
    return info;
}

} // namespace

const CallInfo *CurrentCall() { return current_call; }

ServerSession::ServerSession(const std::vector<ServedInterface> *interfaces,
                             const ServerOptions *options, std::string port, std::string peer)
    : interfaces_(interfaces), options_(options), port_(std::move(port)), peer_(std::move(peer)),
      recv_frag_(std::max(options->max_recv_frag, pdu::kMinFragSize)),
      request_(options->max_request, options->max_fragments) {}

ServerSession::~ServerSession() = default;

bool ServerSession::Fail(const char *why) {
    reason_ = why;
    LOG_CondMessage(5, __FILE__, __LINE__, "RPC: the connection of %s is dropped: %s",
                    peer_.c_str(), why);
    return false;
}

int64_t ServerSession::Deadline() const {
    int64_t start = pdu_start_;
    if (call_start_ >= 0 && (start < 0 || call_start_ < start)) start = call_start_;
    return start < 0 ? -1 : start + options_->receive_timeout_ms;
}

bool ServerSession::Receive(const uint8_t *p, size_t n, int64_t now_ms, std::vector<uint8_t> *out) {
    // Whole packets are taken where they arrived; only a partial one is
    // kept, so what is held never exceeds one packet.
    const uint8_t *at = p;
    size_t left = n;
    if (!in_.empty()) {
        in_.insert(in_.end(), p, p + n);
        at = in_.data();
        left = in_.size();
    }
    size_t used = 0;
    bool keep = true;
    while (keep && left - used >= pdu::kHeaderSize) {
        size_t len = 0;
        if (pdu::PeekLength(at + used, recv_frag_, &len) != kOk) {
            return Fail("a packet header out of bounds");
        }
        if (left - used < len) break;
        pdu::Pdu packet;
        if (pdu::Decode(at + used, len, recv_frag_, &packet) != kOk) {
            return Fail("a malformed packet");
        }
        keep = Handle(packet, now_ms, out);
        used += len;
    }
    if (!keep) return false;
    if (used == left) {
        in_.clear();
        pdu_start_ = -1;
    } else {
        if (used > 0 || in_.empty()) pdu_start_ = now_ms;
        if (in_.empty()) {
            in_.assign(at + used, at + left);
        } else {
            in_.erase(in_.begin(), in_.begin() + long(used));
        }
    }
    if (Deadline() >= 0 && now_ms > Deadline()) {
        return Fail("a packet or a request arrives too slowly");
    }
    return true;
}

bool ServerSession::Handle(const pdu::Pdu &p, int64_t now_ms, std::vector<uint8_t> *out) {
    if (busy_) {
        if (p.type != pdu::Type::kBind) return Fail("a packet while too busy");
        pdu::Pdu nak;
        nak.type = pdu::Type::kBindNak;
        nak.call_id = p.call_id;
        nak.reject_reason = pdu::kNakTemporaryCongestion;
        pdu::Encode(nak, out);
        reason_ = "too busy";
        return false;
    }
    switch (p.type) {
    case pdu::Type::kBind:
        if (bound_) return Fail("a second bind");
        return Bind(p, out);
    case pdu::Type::kAlterContext:
        if (!bound_) return Fail("an alter_context before the bind");
        return Bind(p, out);
    case pdu::Type::kAuth3:
        if (security_ && !authenticated_ && p.has_auth) {
            std::vector<uint8_t> none;
            authenticated_ = security_->Step(p.auth.value, &none) == kOk && security_->Done();
            if (!authenticated_) {
                LOG_CondMessage(5, __FILE__, __LINE__, "RPC: the authentication of %s is refused",
                                peer_.c_str());
            }
        }
        return true;
    case pdu::Type::kRequest: return Request(p, now_ms, out);
    case pdu::Type::kOrphaned:
        if (request_.Active() && request_.CallId() == p.call_id) {
            request_.Reset();
            call_start_ = -1;
        }
        return true;
    case pdu::Type::kCoCancel:
    case pdu::Type::kShutdown:
        // Calls run to their end once they have all their bytes: a cancel
        // has nothing to stop.
        return true;
    default: return Fail("a packet a server does not take");
    }
}

bool ServerSession::Bind(const pdu::Pdu &p, std::vector<uint8_t> *out) {
    bool first = p.type == pdu::Type::kBind;
    pdu::Pdu ack;
    ack.call_id = p.call_id;
    auto nak = [&](uint16_t reason, const char *why) {
        ack.type = pdu::Type::kBindNak;
        ack.reject_reason = reason;
        pdu::Encode(ack, out);
        reason_ = why;
        LOG_CondMessage(5, __FILE__, __LINE__, "RPC: the bind of %s is refused: %s", peer_.c_str(),
                        why);
        return false;
    };
    ack.type = first ? pdu::Type::kBindAck : pdu::Type::kAlterContextResp;
    if (first) {
        if (p.max_recv_frag < pdu::kMinFragSize || p.max_xmit_frag < pdu::kMinFragSize) {
            return nak(pdu::kNakNotSpecified, "fragment sizes below the least allowed");
        }
        xmit_frag_ =
            std::min(std::max(options_->max_xmit_frag, pdu::kMinFragSize), p.max_recv_frag);
        recv_frag_ = std::min(recv_frag_, p.max_xmit_frag);
        assoc_group_ = p.assoc_group ? p.assoc_group : next_assoc_group++;
        if (p.has_auth && p.auth.level > kAuthLevelNone) {
            if (!options_->security || p.auth.type != options_->auth_type ||
                p.auth.level != kAuthLevelConnect) {
                return nak(pdu::kNakAuthTypeNotRecognized, "an authentication not offered");
            }
            security_ = options_->security();
            ack.has_auth = true;
            ack.auth.type = p.auth.type;
            ack.auth.level = p.auth.level;
            ack.auth.context_id = p.auth.context_id;
            if (!security_ || security_->Step(p.auth.value, &ack.auth.value) != kOk) {
                return nak(pdu::kNakInvalidChecksum, "an authentication token is refused");
            }
            authenticated_ = security_->Done();
        }
        ack.sec_addr = port_;
    }
    ack.max_xmit_frag = xmit_frag_;
    ack.max_recv_frag = recv_frag_;
    ack.assoc_group = assoc_group_;
    for (auto &c : p.contexts) {
        pdu::ContextResult r;
        bool negotiation = std::any_of(c.transfers.begin(), c.transfers.end(),
                                       [](auto &t) { return pdu::IsFeatureNegotiation(t); });
        const ServedInterface *i = FindInterface(*interfaces_, c.abstract);
        if (negotiation) {
            r.result = pdu::kNegotiateAck; // no optional features
        } else if (!i) {
            r.result = pdu::kProviderRejection;
            r.reason = pdu::kAbstractSyntaxNotSupported;
        } else if (std::find(c.transfers.begin(), c.transfers.end(), pdu::Ndr20()) ==
                   c.transfers.end()) {
            r.result = pdu::kProviderRejection;
            r.reason = pdu::kTransferSyntaxesNotSupported;
        } else {
            r.transfer = pdu::Ndr20();
            auto known = std::find_if(contexts_.begin(), contexts_.end(),
                                      [&](auto &k) { return k.id == c.id; });
            if (known != contexts_.end()) {
                known->interface = i;
            } else {
                contexts_.push_back({c.id, i});
            }
        }
        ack.results.push_back(r);
    }
    bound_ = true;
    pdu::Encode(ack, out);
    return true;
}

bool ServerSession::Request(const pdu::Pdu &p, int64_t now_ms, std::vector<uint8_t> *out) {
    if (!bound_) return Fail("a request before the bind");
    const uint8_t *stub = p.stub;
    size_t size = p.stub_size;
    const pdu::Pdu *head = &p;
    bool whole = !request_.Active() && (p.flags & pdu::kFirstFrag) && (p.flags & pdu::kLastFrag);
    if (whole && p.alloc_hint > options_->max_request) {
        return Fail("a call announcing more bytes than allowed");
    }
    if (!whole) {
        const char *why = "";
        bool starting = !request_.Active();
        if (request_.Add(p, &why) != kOk) return Fail(why);
        if (starting) call_start_ = now_ms;
        if (!request_.Complete()) return true;
        stub = request_.Data().data();
        size = request_.Data().size();
        head = &request_.First();
        call_start_ = -1;
    }
    auto context = std::find_if(contexts_.begin(), contexts_.end(),
                                [&](auto &k) { return k.id == head->context_id; });
    stub_out_.clear();
    if (context == contexts_.end()) {
        Fault(head->call_id, head->context_id, pdu::kNcaUnknownInterface, true, out);
    } else if ((options_->require_auth || security_) && !authenticated_) {
        // Unauthenticated connections are served only where authentication
        // is optional, and never one whose authentication failed or is
        // unfinished.
        Fault(head->call_id, head->context_id, pdu::kNcaAccessDenied, true, out);
    } else if (head->opnum >= context->interface->operation_count) {
        Fault(head->call_id, head->context_id, pdu::kNcaOpRangeError, true, out);
    } else {
        const ServedInterface &i = *context->interface;
        const Uuid *object = (head->flags & pdu::kObjectUuid) ? &head->object : nullptr;
        call_.authenticated = authenticated_;
        call_.user = authenticated_ && security_ ? security_->Peer() : std::string();
        struct Current {
            explicit Current(const CallInfo *c) { current_call = c; }
            ~Current() { current_call = nullptr; }
        } current(&call_);
        uint32_t st = i.dispatch(i.ctx, head->opnum, object, stub, size, &stub_out_);
        if (st != kOk) {
            Fault(head->call_id, head->context_id, st, false, out);
        } else {
            Respond(head->call_id, head->context_id, stub_out_, out);
        }
    }
    request_.Reset();
    return true;
}

void ServerSession::Respond(uint32_t call_id, uint16_t ctx, const std::vector<uint8_t> &stub,
                            std::vector<uint8_t> *out) {
    pdu::Pdu r;
    r.type = pdu::Type::kResponse;
    r.call_id = call_id;
    r.context_id = ctx;
    size_t room = (xmit_frag_ - pdu::kResponseHeaderSize) & ~size_t(7);
    size_t at = 0;
    do {
        size_t piece = std::min(room, stub.size() - at);
        r.flags = uint8_t((at == 0 ? pdu::kFirstFrag : 0) |
                          (at + piece == stub.size() ? pdu::kLastFrag : 0));
        r.alloc_hint = uint32_t(std::min<size_t>(stub.size() - at, UINT32_MAX));
        r.stub = stub.data() + at;
        r.stub_size = piece;
        pdu::Encode(r, out);
        at += piece;
    } while (at < stub.size());
}

void ServerSession::Fault(uint32_t call_id, uint16_t ctx, uint32_t status, bool not_executed,
                          std::vector<uint8_t> *out) {
    pdu::Pdu f;
    f.type = pdu::Type::kFault;
    f.flags = uint8_t(pdu::kFirstFrag | pdu::kLastFrag | (not_executed ? pdu::kDidNotExecute : 0));
    f.call_id = call_id;
    f.context_id = ctx;
    f.status = status;
    pdu::Encode(f, out);
}

struct Server::Connection {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
};

Server::Server(ServerOptions options) : options_(std::move(options)) {}

Server::~Server() { Stop(); }

void Server::AddInterface(const ServedInterface &interface) { interfaces_.push_back(interface); }

uint32_t Server::Listen(const std::string &address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!address.empty() && ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        LOG_CondMessage(5, __FILE__, __LINE__, "RPC: \"%s\" is no address to listen on",
                        address.c_str());
        return kServerUnavailable;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    socklen_t len = sizeof sa;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 ||
        ::listen(fd, 128) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0 ||
        ::pipe2(wake_, O_CLOEXEC) != 0) {
        LOG_CondMessage(5, __FILE__, __LINE__, "RPC: cannot listen on port %u: %s", port,
                        std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return kServerUnavailable;
    }
    listen_fd_ = fd;
    port_ = ntohs(sa.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
    return kOk;
}

void Server::Refuse(int fd) {
    // Over the connection limit: the bind, if it comes soon, is answered
    // "too busy".
    ServerSession s(&interfaces_, &options_, std::to_string(port_));
    s.SetBusy();
    std::vector<uint8_t> buf(pdu::kDefaultFragSize), out;
    int64_t end = NowMs() + 1000;
    for (int64_t now = NowMs(); now < end; now = NowMs()) {
        pollfd pf{fd, POLLIN, 0};
        if (::poll(&pf, 1, int(end - now)) <= 0) break;
        ssize_t k = ::recv(fd, buf.data(), buf.size(), 0);
        if (k <= 0 || !s.Receive(buf.data(), size_t(k), now, &out)) break;
    }
    if (!out.empty()) system::fileio::SendAll(fd, out.data(), out.size(), out.size(), 1000);
    ::close(fd);
}

void Server::AcceptLoop() {
    for (;;) {
        pollfd pf[2] = {{listen_fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(pf, 2, -1) < 0 && errno != EINTR) return;
        if (pf[1].revents) return;
        if (!(pf[0].revents & POLLIN)) continue;
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            // Out of descriptors: the pending connection stays readable, so
            // wait a little rather than spin.
            if (errno == EMFILE || errno == ENFILE) ::poll(nullptr, 0, 50);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
        if (connections_.size() >= options_.max_connections) {
            Refuse(fd);
            continue;
        }
        // Out of memory or threads: this client is dropped, the others go on.
        try {
            connections_.push_back(std::make_unique<Connection>());
            Connection *raw = connections_.back().get();
            raw->fd = fd;
            try {
                raw->thread = std::thread([this, raw] { Serve(raw); });
            } catch (...) {
                connections_.pop_back();
                throw;
            }
        } catch (const std::exception &e) {
            LOG_CondMessage(5, __FILE__, __LINE__, "RPC: a connection is dropped: %s", e.what());
            ::close(fd);
        }
    }
}

void Server::Serve(Connection *c) try {
    ServerSession s(&interfaces_, &options_, std::to_string(port_), PeerName(c->fd));
    s.SetAddresses(AddressesOf(c->fd));
    std::vector<uint8_t> buf(65536), out;
    for (;;) {
        int64_t deadline = s.Deadline();
        int64_t now = NowMs();
        int wait = deadline < 0 ? -1 : int(std::max<int64_t>(deadline - now, 0) + 1);
        pollfd pf[2] = {{c->fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int r = ::poll(pf, 2, wait);
        if (r < 0 && errno != EINTR) break;
        if (pf[1].revents) break;
        ssize_t k = 0;
        if (pf[0].revents) {
            k = ::recv(c->fd, buf.data(), buf.size(), 0);
            if (k == 0 || (k < 0 && errno != EAGAIN && errno != EINTR)) break;
        }
        out.clear();
        bool keep = s.Receive(buf.data(), size_t(std::max<ssize_t>(k, 0)), NowMs(), &out);
        if (!out.empty() && system::fileio::SendAll(c->fd, out.data(), out.size(), out.size(),
                                                    options_.receive_timeout_ms) != 0) {
            break;
        }
        if (!keep) break;
    }
    ::close(c->fd);
    c->done = true;
} catch (const std::exception &e) {
    // Memory ran out (or a served operation threw): this connection ends,
    // the others go on.
    LOG_CondMessage(5, __FILE__, __LINE__, "RPC: the connection of %s is dropped: %s",
                    PeerName(c->fd).c_str(), e.what());
    ::close(c->fd);
    c->done = true;
}

void Server::Stop() {
    if (listen_fd_ < 0) return;
    char b = 1;
    ssize_t ignored = ::write(wake_[1], &b, 1);
    (void)ignored;
    if (acceptor_.joinable()) acceptor_.join(); // not when starting it failed
    ::close(listen_fd_);
    listen_fd_ = -1;
    std::list<std::unique_ptr<Connection>> all;
    {
        std::lock_guard lock(mutex_);
        all.swap(connections_);
    }
    for (auto &c : all) c->thread.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
    wake_[0] = wake_[1] = -1;
}

} // namespace vrcore::rpc
