// The per-thread encoding context and the PDU table behind the GENU_Oss
// entry points.
#pragma once

#include <cstddef>
#include <cstdint>

#include "encoding/ber_runtime.h"
#include "vrcore/genu.h"

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

// The calling thread's context, made on first use; null when none can be.
World *ThisWorld();
// GENU_OssEncode and GENU_OssDecode in a context already at hand (null
// fails with kNoMemory): the error text is kept in it.
int EncodeIn(World *w, int pdu, const void *structure, GENU_Buffer *buffer);
int DecodeIn(World *w, int *pdu, const GENU_Buffer *buffer, void **structure);

// Hooks of a context.
inline Hooks HooksOf(const World *w) { return Hooks{w->alloc, w->free}; }

} // namespace vrcore::ber
