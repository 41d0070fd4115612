// The event-message module: runtime structures, type description, PDU
// table and the encoding context each event queue owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "encoding/ber_runtime.h"

namespace vrcore::events {

// Argument kinds: the choice numbers of an argument.
enum ArgKind : uint16_t { kArgInteger = 1, kArgText = 2, kArgBinary = 3 };

// PDU numbers of the module.
enum : int { kPduEventMessage = 1 };

// The largest encoding of one message a queue sends or accepts.
constexpr size_t kMaxMessageBytes = 1u << 20;
// What decoding one message may allocate: the tree of the smallest
// arguments takes about twelve times the bytes of their encoding.
constexpr size_t kDecodeBudget = 16u << 20;

struct Bytes {
    uint32_t length;
    unsigned char *value;
};

// One argument (the choice).
struct Argument {
    uint16_t kind; // ArgKind
    union {
        int32_t integer;
        Bytes bytes; // text: its bytes and the terminating zero
    } u;
};

// A node of the argument list.
struct ArgNode {
    ArgNode *next;
    Argument arg;
};

// The message PDU: the argument list.
struct MessagePdu {
    ArgNode *first;
};

// The type of a PDU number of the event module, or null.
const vrcore::ber::Type *PduType(int pdu);

// A queue's encoding context. Allocation goes through its hooks; a
// failure's text goes to the caller's string, so that several threads may
// decode with one context.
struct Context {
    static constexpr uint32_t kMagic = 0x45565443u;
    uint32_t magic = 0;
    vrcore::ber::Hooks hooks{};

    // Binds the context to the event module; false when it cannot be.
    bool Init(const vrcore::ber::Hooks &h);
    void Term();
    bool Ready() const { return magic == kMagic && hooks.alloc && hooks.free; }

    // The encoding of PDU `pdu`; the bytes come from the hooks.
    int Encode(int pdu, const void *value, uint32_t *length, unsigned char **out,
               std::string *error) const;
    // Decodes exactly one PDU `pdu` from the bytes.
    int Decode(int pdu, const unsigned char *data, size_t length, void **out,
               std::string *error) const;
    void FreePdu(int pdu, void *value) const;
    void FreeBytes(void *p) const {
        if (p) hooks.free(p);
    }
};

// Decodes one received message and checks what the type cannot say: every
// text argument ends with its zero byte. On failure *out is null and
// *error says why.
int DecodeMessage(const Context &ctx, const unsigned char *data, size_t length, MessagePdu **out,
                  std::string *error);

} // namespace vrcore::events
