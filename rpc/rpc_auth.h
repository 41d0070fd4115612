// The security factories of connect-level NTLM: what a client connection
// and a server are given to authenticate their binds.
//
// A server program finds its user file, when none is given on its command
// line (`--users FILE`, which overrides both), in the environment variable
// VRCORE_USERS, else in the registry string "UserFile" under
// "Software\Halvane\Tessaril\odp".
#pragma once

#include <cstdint>
#include <string>

#include "rpc/ntlm.h"
#include "rpc/runtime.h"

namespace vrcore::rpc {

// A fresh NTLM client context with this identity for every bind.
SecurityFactory ClientNtlm(NtlmIdentity identity);
// ClientNtlm of DefaultIdentity() (the authentication file named by the
// configuration, else an anonymous logon); DefaultIdentity's failure
// status is passed on and *out left alone.
uint32_t DefaultClientSecurity(SecurityFactory *out);

// The user file a server program uses when none is given: VRCORE_USERS,
// else the registry's "UserFile"; "" when neither names one.
std::string DefaultUserFile();
// A fresh NTLM server context for every bind, all of them checking one
// user table, read once from `user_file` ("" for DefaultUserFile()).
// kOk; kFileNotFound when no file is named or it is missing; the other
// statuses of ReadUserFile. *out is left alone on failure.
uint32_t ServerNtlm(const std::string &user_file, NtlmServerOptions options, SecurityFactory *out);

} // namespace vrcore::rpc
