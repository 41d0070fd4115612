// Connections of connection-oriented DCE/RPC over TCP: a client
// connection that carries calls of one interface to one server, and a
// server that serves interfaces to many clients, one thread per
// connection. Both move stub bytes: marshalling is the caller's.
//
// Statuses of a call (rpc_status.h): kOk; kServerUnavailable when no
// connection can be made (the connect time-out included); kUnknownInterface
// when the server rejects the interface or the transfer syntax at bind;
// kServerTooBusy for a bind_nak "temporary congestion" or "local limit
// exceeded"; kAccessDenied when the bind_nak names authentication or a
// fault says access denied; kCallCancelled when the call time-out runs out
// during the bind or the call; kCallFailed when the connection breaks
// during the call; kProtocolError for a peer breaking the protocol;
// kOutOfMemory. A
// fault packet's status is returned as it stands except these, mapped to
// the runtime's numbers: 0x1c010002 (operation out of range) to
// kProcnumOutOfRange, 0x1c010003 (unknown interface) to kUnknownInterface,
// 0x1c010014 (server too busy) to kServerTooBusy, 0x1c00000d (cancelled)
// to kCallCancelled, 0x1c01000b (protocol error) to kProtocolError.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rpc/pdu.h"
#include "rpc/security.h"
#include "rpc/uuid.h"

namespace vrcore::rpc {

using SecurityFactory = std::function<std::unique_ptr<SecurityContext>()>;

struct ClientOptions {
    int timeout_ms = 120000; // bounds the connect, the bind and every call
    // Connect-level authentication: a fresh context for every bind; null
    // binds without authentication.
    SecurityFactory security;
    uint8_t auth_type = kAuthTypeNtlm;
    uint16_t max_xmit_frag = pdu::kDefaultFragSize; // offered at bind
    uint16_t max_recv_frag = pdu::kDefaultFragSize;
    size_t max_response = size_t(16) << 20; // reassembled response bytes
    size_t max_fragments = 8192;            // fragments of one response
};

// The fault status to a call's status.
uint32_t MapFault(uint32_t fault_status);

// One association with one server for one interface. Calls are serialised;
// a connection the server closed is opened, bound and authenticated again
// on the next call.
class ClientConnection {
  public:
    ClientConnection(std::string host, uint16_t port, const SyntaxId &interface,
                     ClientOptions options = {});
    ~ClientConnection();
    ClientConnection(const ClientConnection &) = delete;
    ClientConnection &operator=(const ClientConnection &) = delete;

    // Calls operation `opnum` (on `object` when not null) with the request
    // stub; the response stub replaces *response.
    uint32_t Call(uint16_t opnum, const Uuid *object, const uint8_t *request, size_t size,
                  std::vector<uint8_t> *response);
    uint32_t Call(uint16_t opnum, const Uuid *object, const std::vector<uint8_t> &request,
                  std::vector<uint8_t> *response) {
        return Call(opnum, object, request.data(), request.size(), response);
    }
    void Close();
    // The fragment size the server took at the last bind (0 before one).
    uint16_t NegotiatedXmitFrag() const { return xmit_frag_; }

  private:
    struct Deadline;
    uint32_t Open(const Deadline &deadline);
    uint32_t Exchange(const Deadline &deadline, uint16_t opnum, const Uuid *object,
                      const uint8_t *request, size_t size, std::vector<uint8_t> *response,
                      bool *sent_any);
    uint32_t Send(const std::vector<uint8_t> &bytes, const Deadline &deadline);
    uint32_t ReadPdu(const Deadline &deadline, pdu::Pdu *out);
    void Abandon(uint32_t call_id);
    bool Stale();

    std::string host_;
    uint16_t port_;
    SyntaxId interface_;
    ClientOptions options_;
    std::mutex mutex_;
    int fd_ = -1;
    uint32_t next_call_id_ = 1;
    uint16_t xmit_frag_ = 0;
    std::vector<uint8_t> in_; // bytes received, [in_start_, in_end_) not yet taken
    size_t in_start_ = 0;
    size_t in_end_ = 0;
};

// A served operation: kOk with the response stub in *out, or a fault
// status to send.
using Dispatch = uint32_t (*)(void *ctx, uint16_t opnum, const Uuid *object, const uint8_t *in,
                              size_t n, std::vector<uint8_t> *out);

// What a served operation may learn of the call it serves.
struct CallInfo {
    uint8_t peer_address[4] = {}; // IPv4, network order; 0.0.0.0 when unknown
    uint16_t peer_port = 0;
    uint8_t local_address[4] = {}; // the address the client reached
    uint16_t local_port = 0;
    bool authenticated = false;
    std::string user; // the authenticated user ("" for none or anonymous)
};

// The call being dispatched on this thread; nullptr outside a dispatch.
const CallInfo *CurrentCall();

struct ServedInterface {
    SyntaxId id;
    uint16_t operation_count = 0; // higher operation numbers fault
    Dispatch dispatch = nullptr;
    void *ctx = nullptr;
};

struct ServerOptions {
    size_t max_connections = 64;
    // Connect-level authentication: a server context for every
    // authenticated bind. With require_auth, requests of a connection that
    // did not authenticate get the fault "access denied"; without it, so do
    // those of a connection whose authentication failed.
    SecurityFactory security;
    bool require_auth = false;
    uint8_t auth_type = kAuthTypeNtlm;
    uint16_t max_xmit_frag = pdu::kDefaultFragSize;
    uint16_t max_recv_frag = pdu::kDefaultFragSize;
    size_t max_request = size_t(16) << 20; // reassembled request bytes
    size_t max_fragments = 8192;           // fragments of one request
    // A packet, and all fragments of a request, must arrive within this
    // time from their first byte.
    int receive_timeout_ms = 30000;
};

// The protocol state of one server connection, without its socket: bytes
// in, bytes to send out. The server's threads drive it from their socket;
// a test or a fuzz target can drive it from a buffer.
class ServerSession {
  public:
    // `port` is the one the server listens on, `peer` names the client in
    // the log.
    ServerSession(const std::vector<ServedInterface> *interfaces, const ServerOptions *options,
                  std::string port, std::string peer = "a client");
    ~ServerSession();
    // Takes received bytes at time now_ms; appends what to send to *out.
    // False: the connection must be closed (the reason logged, in Reason()).
    bool Receive(const uint8_t *p, size_t n, int64_t now_ms, std::vector<uint8_t> *out);
    // When the bytes in progress must be complete (ms, like now_ms), or -1.
    int64_t Deadline() const;
    // The session answers binds "too busy" and ends.
    void SetBusy() { busy_ = true; }
    // The addresses of the connection, for CurrentCall().
    void SetAddresses(const CallInfo &addresses) { call_ = addresses; }
    const std::string &Reason() const { return reason_; }

  private:
    bool Handle(const pdu::Pdu &p, int64_t now_ms, std::vector<uint8_t> *out);
    bool Bind(const pdu::Pdu &p, std::vector<uint8_t> *out);
    bool Request(const pdu::Pdu &p, int64_t now_ms, std::vector<uint8_t> *out);
    void Respond(uint32_t call_id, uint16_t ctx, const std::vector<uint8_t> &stub,
                 std::vector<uint8_t> *out);
    void Fault(uint32_t call_id, uint16_t ctx, uint32_t status, bool not_executed,
               std::vector<uint8_t> *out);
    bool Fail(const char *why);

    const std::vector<ServedInterface> *interfaces_;
    const ServerOptions *options_;
    std::string port_;
    std::string peer_;
    bool busy_ = false;
    bool bound_ = false;
    uint16_t xmit_frag_ = pdu::kDefaultFragSize; // what the client takes
    uint16_t recv_frag_;                         // what we take
    uint32_t assoc_group_ = 0;
    struct Context {
        uint16_t id;
        const ServedInterface *interface;
    };
    std::vector<Context> contexts_;
    std::unique_ptr<SecurityContext> security_;
    bool authenticated_ = false;
    std::vector<uint8_t> in_;
    int64_t pdu_start_ = -1;  // first byte of the packet in progress
    int64_t call_start_ = -1; // first fragment of the request in progress
    pdu::Reassembly request_;
    std::vector<uint8_t> stub_out_;
    std::string reason_;
    CallInfo call_;
};

class Server {
  public:
    explicit Server(ServerOptions options = {});
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Before Listen.
    void AddInterface(const ServedInterface &interface);
    // Listens on `address` ("" for every address) and `port` (0: one the
    // system chooses) and serves in threads of its own. kOk, or
    // kServerUnavailable with the reason logged.
    uint32_t Listen(const std::string &address, uint16_t port);
    uint16_t Port() const { return port_; }
    // Closes the listener and every connection and joins the threads.
    void Stop();

  private:
    struct Connection;
    void AcceptLoop();
    void Serve(Connection *c);
    void Refuse(int fd);

    ServerOptions options_;
    std::vector<ServedInterface> interfaces_;
    int listen_fd_ = -1;
    int wake_[2] = {-1, -1}; // readable once Stop begins
    uint16_t port_ = 0;
    std::thread acceptor_;
    std::mutex mutex_;
    std::list<std::unique_ptr<Connection>> connections_;
};

} // namespace vrcore::rpc
