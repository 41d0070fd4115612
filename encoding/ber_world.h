// The per-thread encoding context and the PDU table behind the GENU_Oss
// entry points.
#pragma once

#include <cstddef>
#include <cstdint>

#include "encoding/ber_runtime.h"

namespace vrcore::ber {

constexpr uint32_t kWorldMagic = 0x4245524bu;

// One thread's context. The first word is the allocation hook and the
// third the release hook, where callers of the frame expect them.
struct World {
    void *(*alloc)(size_t);
    void *reserved;
    void (*free)(void *);
    uint32_t magic;
    size_t decode_budget; // bytes one decode may allocate
    char error[256];      // text of the last failure
};

// The type of a PDU number, or null.
const Type *PduType(int pdu);
// The PDU numbers of the table, by index 0..PduCount()-1.
size_t PduCount();
int PduAt(size_t i);

// Hooks of a context.
inline Hooks HooksOf(const World *w) { return Hooks{w->alloc, w->free}; }

} // namespace vrcore::ber
