// The security factories of connect-level NTLM.
#include "rpc/rpc_auth.h"

#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

#include "rpc/credentials.h"
#include "rpc/rpc_status.h"
#include "system/config.h"
#include "vrcore/log.h"

namespace vrcore::rpc {
namespace {

constexpr const char *kSource = "rpc_auth";
constexpr const char *kKey = "Software\\Halvane\\Tessaril\\odp";

} // namespace

SecurityFactory ClientNtlm(NtlmIdentity identity) {
    return [identity = std::move(identity)]() -> std::unique_ptr<SecurityContext> {
        return std::make_unique<NtlmClientContext>(identity);
    };
}

uint32_t DefaultClientSecurity(SecurityFactory *out) try {
    NtlmIdentity identity;
    if (uint32_t rc = DefaultIdentity(&identity)) return rc;
    *out = ClientNtlm(std::move(identity));
    return kOk;
} catch (const std::bad_alloc &) {
    return kOutOfMemory;
}

std::string DefaultUserFile() {
    if (const char *env = getenv("VRCORE_USERS"); env && *env) return env;
    return system::cfg::Registry().GetString(kKey, "UserFile", "");
}

uint32_t ServerNtlm(const std::string &user_file, NtlmServerOptions options,
                    SecurityFactory *out) try {
    std::string path = user_file.empty() ? DefaultUserFile() : user_file;
    if (path.empty()) {
        LOG_CondMessage(2, kSource, __LINE__, "no user file is configured\n");
        return kFileNotFound;
    }
    auto users = std::make_shared<NtlmUserTable>();
    if (uint32_t rc = ReadUserFile(path, users.get())) return rc;
    std::shared_ptr<const NtlmUserTable> shared = std::move(users);
    *out = [shared, options = std::move(options)]() -> std::unique_ptr<SecurityContext> {
        return std::make_unique<NtlmServerContext>(shared, options);
    };
    return kOk;
} catch (const std::bad_alloc &) {
    return kOutOfMemory;
}

} // namespace vrcore::rpc
