// The thread's client handle and the request path of the operations: what
// the binding hands the operations (the handle, the peer server's name, the
// security table), encode and send, and the release of a result.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "client/transport.h"
#include "vrcore/odpcli.h"

namespace vrcore::client {

// Modes of a handle.
inline constexpr uint32_t kModeOnc = 0;
inline constexpr uint32_t kModeLocal = 2;
inline constexpr uint32_t kModeDce = 3;

// Status codes of the binding and the request path beyond the transport's.
inline constexpr uint32_t ODP_S_DECODE = 0xC009006Au;
inline constexpr uint32_t ODP_S_ENCODE = 0xC009006Bu;
inline constexpr uint32_t ODP_S_NOTFOUND = 0xC009007Cu;
inline constexpr uint32_t ODP_S_BADNAME = 0xC009007Eu;
inline constexpr uint32_t ODP_S_SLOT = 0xC0090095u;
inline constexpr uint32_t ODP_S_TIMEOUTREAD = 0xC0090097u;
inline constexpr uint32_t ODP_S_NSINIT = 0xC0090098u;
inline constexpr uint32_t ODP_S_SECURITY = 0xC0090099u;

// A status list for calls whose codes the caller does not keep.
class StatusScratch {
  public:
    StatusScratch();
    ~StatusScratch();
    StatusScratch(const StatusScratch &) = delete;
    StatusScratch &operator=(const StatusScratch &) = delete;
    operator STF_List *() const { return list_; }

  private:
    STF_List *list_;
};

struct ClientHandle {
    std::unique_ptr<Transport> transport; // null: local-only, or no transport yet
    NS_Object *server = nullptr;          // owned copy; null in local-only mode
    uint32_t mode = kModeLocal;
    bool broken = false; // a call failed on the connection: bound again before the next
    ~ClientHandle();
};

// The calling thread's handle, or null.
ClientHandle *CurrentHandle();
// Binds the handle's transport to its server again: 0 or the code.
uint32_t Reconnect(ClientHandle *h);

// Whether the process acts as a server (type 892 or 893).
bool ActingAsServer();
const ODP_SecurityTable &Security();
// A credential or security-table answer as a status code of the list.
void AddSecurityCode(STF_List *status, uint32_t answer);

// The cancel time-out of DCE/RPC bindings from the two environment values
// (ENV_ODP_RPC_TIMEOUT, ODP_LONGTIME; null when absent): 120, or the
// requested value when it is above 5.
uint32_t CancelTimeoutFrom(const char *rpc_timeout, const char *long_time);
// The process's cancel time-out, read from the environment on first use.
uint32_t CancelTimeout();
// The caller's domain (at most 1,023 bytes), fetched from the name service
// once it can be; false while it is unknown.
bool CallerDomain(std::string *out);

// The peer server's name of the thread's binding as a simple name:
// 0, or 1 with ODP_S_BADARG when there is no handle.
int PeerServerName(STF_List *status, GEN_SimpleName *name);
// The server of the object named `name` under the class, as a simple name.
int AssociatedServer(STF_List *status, int32_t object_type, const GEN_SimpleName &name,
                     GEN_SimpleName *server);

// Encodes the argument of the operation, sends it to the thread's server
// and decodes the reply: 0 with *result (null when none; release with
// ReleaseResult) and *error (null when none), or 1 with the code.
int EncodeAndSend(STF_List *status, int32_t operation, const void *argument, void **result,
                  ERDPA_ErrorResult **error);
void ReleaseResult(void *result, int32_t operation);

} // namespace vrcore::client
