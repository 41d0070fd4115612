// Seams of the event module for tests and tools inside the library.
#pragma once

#include <cstdint>

#include "encoding/ber_runtime.h"

namespace vrcore::events {

// The wait between connection attempts, in milliseconds. Returns the
// previous function; null restores the real sleep.
using SleepFn = void (*)(uint32_t milliseconds);
SleepFn SetSleep(SleepFn fn);

// Appends an IPv4 address (host order) and port to a sending queue's list
// of remote addresses.
int AddRemote(uint32_t queue_id, uint32_t address, uint16_t port);

} // namespace vrcore::events
