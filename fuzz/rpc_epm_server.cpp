// Hostile calls of the endpoint mapper by a caller on this host: the first
// byte chooses the operation, the rest is its stub data, carried by one
// bound connection to a mapper kept across inputs (with a small table, so
// that it fills). Every call must be answered by a response or a fault,
// and the table never grows past its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "rpc/epm_server.h"
#include "rpc_served_call.h"
#include "rpc/rpc_status.h"

namespace {

using namespace vrcore::rpc;

constexpr size_t kMaxEntries = 16;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1 || size > 4000) return 0; // one fragment
    static epm::Mapper mapper(kMaxEntries);
    static std::vector<ServedInterface> served{mapper.Served()};
    static ServerOptions options;
    ServerSession session(&served, &options, "135");
    CallInfo loopback;
    loopback.peer_address[0] = loopback.local_address[0] = 127;
    loopback.peer_address[3] = loopback.local_address[3] = 1;
    session.SetAddresses(loopback);

    vrfuzz::CallServed(session, epm::kInterface.id, uint16_t(epm::kInterface.procedures.size()),
                       data, size);
    if (mapper.Size() > kMaxEntries) abort();
    return 0;
}
