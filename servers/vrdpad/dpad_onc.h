// The ONC RPC transport: the request procedure registered with rpcbind.
#pragma once

#include <cstdint>

#include "dpad_dce.h"

namespace vrcore::dpad {

// Registers the program's TCP service with rpcbind (replacing a stale
// registration). A request of more than max_record encoded bytes is
// refused unread (the caller sees a decoding failure).
bool StartOnc(Gate *gate, uint32_t program, uint32_t version, uint32_t max_record);
// Accepts connections until a signal of `stop_fd` (a signalfd) arrives,
// each served by a thread of its own (at most 256 at once), so a client
// that stalls holds only its own connection; `after` runs (without the
// gate's lock) whenever the gate's wake descriptor (an eventfd, signalled
// after each call) is.
// Returns the signal number.
int ServeOnc(Gate *gate, int stop_fd, void (*after)(void *), void *ctx);
// Unregisters the program and ends the connections' threads.
void StopOnc(uint32_t program, uint32_t version);
// With --onc-dynamic, registers (or removes) the server by its name in the
// ONC name service, which adds its program to this host's table; failures
// are logged and leave clients to name the program themselves.
void NameOnc(const Config &config, bool add);

} // namespace vrcore::dpad
