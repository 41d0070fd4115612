// The client of the PTS service (program 105004 over UDP) with its cache:
// answers are remembered for the cache time, and a host whose port mapper
// could not be reached is not asked again for that long. The client of a
// host that answered is kept for its next call (a few hosts at most).
#pragma once

#include <cstdint>
#include <string>

#include "nameservice/pts_proto.h"

namespace vrcore::nameservice::pts {

// Sets the call and cache times (seconds) and empties the cache.
void ClientStart(int call_seconds, int cache_seconds);
// Empties the cache.
void ClientStop();
// The binding registered for `name` on `host`: from the cache, else asked.
// False when there is no answer (none registered, the host unreachable or
// remembered as such, a reply that does not decode).
bool Lookup(const std::string &host, const std::string &name, Binding &out);
// Registers or removes a binding with the service on this machine: the
// service's status, or kFailed when the call itself failed.
int32_t Add(const Binding &b);
int32_t Delete(const std::string &name);

} // namespace vrcore::nameservice::pts
