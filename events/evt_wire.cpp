// Type description of the event-message module.
#include "events/evt_wire.h"

#include <cstddef>

namespace vrcore::events {

namespace {

using vrcore::ber::Kind;
using vrcore::ber::Member;
using vrcore::ber::TagMode;
using vrcore::ber::Type;

const Type T_Integer{"INTEGER", Kind::Int, 0, 4, 0, 4, 0, nullptr, 0, nullptr, 0, 0};
const Type T_Text{"EventText", Kind::Octets, 0, 0,       4, sizeof(Bytes),
                  0x7fffffffu, nullptr,      0, nullptr, 0, 0};
const Type T_Binary{"OCTET STRING", Kind::Octets, 0, 0,       4, sizeof(Bytes),
                    0x7fffffffu,    nullptr,      0, nullptr, 0, 0};

const Member Argument_m[] = {
    {"integer", &T_Integer, offsetof(Argument, u.integer), TagMode::Implicit, vrcore::ber::kContext,
     0, 0, false, kArgInteger},
    {"text", &T_Text, offsetof(Argument, u.bytes), TagMode::Implicit, vrcore::ber::kContext, 1, 0,
     false, kArgText},
    {"binary", &T_Binary, offsetof(Argument, u.bytes), TagMode::Implicit, vrcore::ber::kContext, 2,
     0, false, kArgBinary},
};
const Type T_Argument{
    "EventArgument", Kind::Choice, 0, 0, 0, sizeof(Argument), 0, Argument_m, 3, nullptr, 0, 0};
const Type T_Message{
    "EventMessage",         Kind::SeqOf,    0, 0, 0, sizeof(MessagePdu), 0, nullptr, 0, &T_Argument,
    offsetof(ArgNode, arg), sizeof(ArgNode)};

struct PduEntry {
    int pdu;
    const Type *type;
};
const PduEntry kPdus[] = {{kPduEventMessage, &T_Message}};

} // namespace

const vrcore::ber::Type *PduType(int pdu) {
    for (const auto &e : kPdus)
        if (e.pdu == pdu) return e.type;
    return nullptr;
}

bool Context::Init(const vrcore::ber::Hooks &h) {
    if (!h.alloc || !h.free) return false;
    hooks = h;
    magic = kMagic;
    return true;
}

void Context::Term() {
    magic = 0;
    hooks = {};
}

int Context::Encode(int pdu, const void *value, uint32_t *length, unsigned char **out,
                    std::string *error) const {
    *length = 0;
    *out = nullptr;
    const Type *t = PduType(pdu);
    if (!Ready() || !t) return vrcore::ber::kBadArg;
    return vrcore::ber::Encode(hooks, *t, value, length, out, error);
}

int Context::Decode(int pdu, const unsigned char *data, size_t length, void **out,
                    std::string *error) const {
    *out = nullptr;
    const Type *t = PduType(pdu);
    if (!Ready() || !t) return vrcore::ber::kBadArg;
    return vrcore::ber::Decode(hooks, *t, data, length, out, kDecodeBudget, error);
}

void Context::FreePdu(int pdu, void *value) const {
    const Type *t = PduType(pdu);
    if (t && value && Ready()) vrcore::ber::FreeTree(hooks, *t, value);
}

int DecodeMessage(const Context &ctx, const unsigned char *data, size_t length, MessagePdu **out,
                  std::string *error) {
    *out = nullptr;
    if (length > kMaxMessageBytes) {
        if (error) *error = "message larger than the limit";
        return vrcore::ber::kLimit;
    }
    void *v = nullptr;
    if (int r = ctx.Decode(kPduEventMessage, data, length, &v, error)) return r;
    auto *m = static_cast<MessagePdu *>(v);
    for (const ArgNode *n = m->first; n; n = n->next) {
        if (n->arg.kind != kArgText) continue;
        const Bytes &b = n->arg.u.bytes;
        if (b.length == 0 || b.value[b.length - 1] != 0) {
            ctx.FreePdu(kPduEventMessage, m);
            if (error) *error = "text argument without its terminating zero";
            return vrcore::ber::kBadData;
        }
    }
    *out = m;
    return vrcore::ber::kOk;
}

} // namespace vrcore::events
