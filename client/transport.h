// The request transport of the DPA client: one interface (bind, call,
// release) over which the request path carries the encoded argument of an
// operation to the bound server and brings back the error kind, the
// encoded result and the encoded error. ONC RPC and DCE/RPC implement it;
// a transport object is owned by the thread's client handle.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct __rpc_client;
struct encodePacket;
struct NS_Object;

namespace vrcore::client {

// Status codes of the transport (texts in the catalog of facility 0x09).
inline constexpr uint32_t ODP_S_NOBINDING = 0xC009006Cu;   // no usable binding to the server
inline constexpr uint32_t ODP_S_BADARG = 0xC009006Eu;      // bad argument, or no client handle
inline constexpr uint32_t ODP_S_NOMEM = 0xC0090078u;       // memory exhausted
inline constexpr uint32_t ODP_S_ACCESS = 0xC0090086u;      // access denied, authentication refused
inline constexpr uint32_t ODP_S_PROGRAM = 0xC0090087u;     // program or version not available
inline constexpr uint32_t ODP_S_COMM = 0xC0090088u;        // any other communication failure
inline constexpr uint32_t ODP_S_TIMEOUT = 0xC009008Au;     // timed out, cancelled, no reply
inline constexpr uint32_t ODP_S_CREDENTIALS = 0xC0090093u; // credentials could not be attached
inline constexpr uint32_t ODP_S_TIMEOUTCTL = 0xC0090096u;  // the call time-out could not be set

// What the server answered: the error kind and the two encoded packets,
// each empty when absent. Owned by the transport that filled it until
// Transport::FreeReply.
struct Reply {
    int32_t error_kind = 0;
    const unsigned char *result = nullptr;
    uint32_t result_length = 0;
    const unsigned char *error = nullptr;
    uint32_t error_length = 0;
    void *owner = nullptr; // the transport's own record of the reply
};

// A bound connection to one server. Destroying it releases the binding.
class Transport {
  public:
    virtual ~Transport() = default;
    // Sends one request. Returns 0 with the reply filled, or a status code
    // of the table above with the reply empty; the binding stays usable.
    virtual uint32_t Call(int32_t operation, const unsigned char *request, uint32_t length,
                          Reply *reply) = 0;
    virtual void FreeReply(Reply *reply) = 0;
    // The time-out of one call, in seconds: 0, or ODP_S_TIMEOUTCTL.
    virtual uint32_t SetTimeout(uint32_t seconds) = 0;
    virtual uint32_t GetTimeout(uint32_t *seconds) = 0;
    // False once the peer is known to have closed the connection (checked
    // without waiting).
    virtual bool Alive() { return true; }
};

// ---- ONC RPC --------------------------------------------------------------

// Attaches credentials to a new ONC client before the bind completes:
// returns 0, or the status code that refuses the bind (ODP_S_CREDENTIALS,
// or the server security table's own code). A client program points it at
// its credential routine (type 0, level 4); a server program at its
// security table's slot 2.
using OncCredentials = uint32_t (*)(void *context, struct __rpc_client *client);

struct OncTarget {
    const char *host = nullptr;
    uint32_t program = 0;
    uint32_t version = 0;
    OncCredentials credentials = nullptr; // none: the client's default (no authentication)
    void *context = nullptr;
};

// Seconds clnt_create_timed may take, and the call time-out a new binding
// carries.
inline constexpr long kOncCreateSeconds = 25;
inline constexpr uint32_t kOncCallSeconds = 120;

// Binds to the program over TCP: 0 and *out, or ODP_S_NOBINDING (the host,
// program or version cannot be reached), ODP_S_NOMEM, ODP_S_TIMEOUTCTL, or
// the credential hook's code. Logs each step.
uint32_t BindOnc(const OncTarget &target, std::unique_ptr<Transport> *out);

// The status code of an ONC RPC call status (enum clnt_stat).
uint32_t OncStatusCode(int rpc_status);

// The request as the failure log shows it: "%.2X" per byte, "\n<offset>\t"
// before every 20th byte, two blanks before every other 10th, a final
// newline ("\n" alone for no bytes).
std::string HexDump(const unsigned char *bytes, uint32_t length);

// ---- DCE/RPC ------------------------------------------------------------

// Binds to the server of a DCE/RPC entry: its first TCP string binding,
// a host the ping cache or a ping finds reachable (not checked when acting
// as a server), the endpoint of the request interface, the process's cancel
// time-out, and credentials: the caller's at the level its domain calls
// for, or the server's own (security table slot 2) when acting as a
// server. 0 and *out; ODP_S_NOBINDING (no TCP binding, unreachable host,
// a binding or endpoint that cannot be had), ODP_S_CREDENTIALS or the
// security table's ODP_S_NOTSUPPORTED. Logs each step.
uint32_t BindDce(const NS_Object &server, bool as_server, std::unique_ptr<Transport> *out);

// ---- Packets --------------------------------------------------------------

// `n` bytes as `4n` bytes of sign-extended big-endian integers, and back
// (the low byte of each integer).
void SignExtend(const unsigned char *bytes, uint32_t n, unsigned char *words);
void LowBytes(const unsigned char *words, uint32_t n, unsigned char *bytes);
// Releases a decoded packet's bytes and empties it.
void FreePacket(encodePacket *p);

} // namespace vrcore::client
