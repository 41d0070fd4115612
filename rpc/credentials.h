// The files of connect-level authentication: the client's authentication
// file, which gives its default identity, and the server's user file.
//
// Both are refused unless they are regular files owned by the effective
// user that neither the group nor others may read or write (mode 0600 or
// stricter, execute bits aside); the reason is logged.
//
// The authentication file holds lines "name = value": "username",
// "password" and "domain" (names in any case; blanks around names and
// values are dropped, so a password cannot begin or end with one; other
// names are ignored). Blank lines and lines starting with "#" are skipped.
// A "username" line is required.
//
//   username = alice
//   password = s3cret
//   domain = PRINTING
//
// The user file has one user a line, "user:hash" or "DOMAIN\user:hash",
// the hash being the NT hash (MD4 of the UTF-16LE password) in 32 hex
// digits; blank lines and "#" lines are skipped. A user without a domain
// logs on whatever domain the client names.
//
//   # print operators
//   alice:8846f7eaee8fb117ad06bdd830b7586c
//   PRINTING\bob:0cb6948805f797bf2a82807973b89537
#pragma once

#include <cstdint>
#include <string>

#include "rpc/ntlm.h"

namespace vrcore::rpc {

// Reads an authentication file. kOk, kFileNotFound, kAccessDenied (not
// owner-only, not a regular file, unreadable), kInvalidData, kOutOfMemory.
uint32_t ReadAuthFile(const std::string &path, NtlmIdentity *out);
// The client's default identity: from the authentication file the
// environment variable VRCORE_CREDENTIALS names, else the one the registry
// value "CredentialsFile" under "Software\Halvane\Tessaril\odp" names;
// with neither, the anonymous identity (kOk). The statuses of
// ReadAuthFile for a file named.
uint32_t DefaultIdentity(NtlmIdentity *out);
// Reads a user file, replacing *out. The statuses of ReadAuthFile.
uint32_t ReadUserFile(const std::string &path, NtlmUserTable *out);

} // namespace vrcore::rpc
