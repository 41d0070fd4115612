// The name server's side of the name-server interface: the eight
// procedures answered from the local name-object store for one domain.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nameservice/ns_store.h"
#include "rpc/idl_pgr.h"
#include "rpc/runtime.h"
#include "rpc/stubs.h"

namespace vrcore::nameservice {

// The name server of another domain, which hello names to callers of it.
struct PgrPeer {
    std::string domain;
    std::string host;
};

// Reads "DOMAIN=HOST" (one a line; blank lines and lines starting with
// "#" skipped) into *out. 0, or the number of the first bad line.
int ParsePeers(std::string_view text, std::vector<PgrPeer> *out);

struct PgrServerConfig {
    std::string domain; // the domain served
    std::vector<PgrPeer> peers;
    // Create and delete only for callers that authenticated as a user.
    bool writes_need_user = false;
};

class PgrServer {
  public:
    // `store` is initialised by the caller and outlives the server.
    PgrServer(Store *store, PgrServerConfig config);
    PgrServer(const PgrServer &) = delete;
    PgrServer &operator=(const PgrServer &) = delete;

    // What a server's AddInterface takes to serve the name server.
    rpc::ServedInterface Served() const { return rpc::Serve(&stubs_); }

    // The procedures: each sets its result code (a name-service result)
    // and returns an RPC status (kOk, or kOutOfMemory for the fault).
    uint32_t GetDomain(rpc::pgr::StringOut *out, rpc::ndr::Arena *arena) const;
    uint32_t Delete(const rpc::pgr::IdentityIn &in, rpc::pgr::ResultOut *out);
    uint32_t Create(const rpc::pgr::CreateIn &in, rpc::pgr::CreateOut *out);
    uint32_t Get(const rpc::pgr::IdentityIn &in, rpc::pgr::GetObjectOut *out,
                 rpc::ndr::Arena *arena);
    uint32_t List(const rpc::pgr::IdentityIn &in, rpc::pgr::IdentityListOut *out,
                  rpc::ndr::Arena *arena);
    uint32_t GetHost(const rpc::pgr::IdentityIn &in, rpc::pgr::StringOut *out,
                     rpc::ndr::Arena *arena);
    uint32_t ListDomains(rpc::pgr::StringListOut *out, rpc::ndr::Arena *arena) const;
    uint32_t Hello(const rpc::pgr::DomainIn &in, rpc::pgr::StringOut *out,
                   rpc::ndr::Arena *arena) const;

  private:
    std::string DomainOf(const char *domain) const;
    bool MayWrite(const char *what) const;

    Store *store_;
    PgrServerConfig config_;
    rpc::StubServer stubs_;
};

} // namespace vrcore::nameservice
