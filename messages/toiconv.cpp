// Code-set conversion of text values on their way to and from the wire:
// one converter pair per thread, or a byte copy when the thread has none.
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "messages/iconv_context.h"
#include "system/guard.h"

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

void Close(ICONV_Context *c) {
    if (!c) return;
    if (c->to_peer != kNoConverter) iconv_close(c->to_peer);
    if (c->from_peer != kNoConverter) iconv_close(c->from_peer);
    delete c;
}

struct Slot {
    ICONV_Context *ctx = nullptr;
    ~Slot() { Close(ctx); }
};
thread_local Slot t_slot;

// Converts in[0..n) into out (capacity cap) with the converter of the
// direction, or copies it; *produced receives the bytes written.
int Convert(STF_List *status, bool to_ber, const unsigned char *in, size_t n, unsigned char *out,
            size_t cap, size_t *produced) {
    if (!status) return 1;
    STF_ClearStatus(status);
    *produced = 0;
    if (n && !in) {
        STF_AddStatus(status, ICONV_S_CONVERT, 0);
        return 1;
    }
    ICONV_Context *c = t_slot.ctx;
    if (!c || c->local == c->peer) {
        if (n > cap) {
            STF_AddStatus(status, ICONV_S_INCOMPLETE, 0);
            return 1;
        }
        if (n) memcpy(out, in, n);
        *produced = n;
        return 0;
    }
    iconv_t cd = to_ber ? c->to_peer : c->from_peer;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *ip = const_cast<char *>(reinterpret_cast<const char *>(in));
    char *op = reinterpret_cast<char *>(out);
    size_t il = n, ol = cap;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) ||
        iconv(cd, nullptr, nullptr, &op, &ol) == static_cast<size_t>(-1)) {
        STF_AddStatus(status, errno == EILSEQ ? ICONV_S_CONVERT : ICONV_S_INCOMPLETE, 0);
        return 1;
    }
    *produced = cap - ol;
    return 0;
}

} // namespace

ICONV_Context *vrcore::i18n::Current() { return t_slot.ctx; }

int vrcore::i18n::Open(const char *local_name, GENU_ShortOID local, const char *peer_name,
                       GENU_ShortOID peer, ICONV_Context **out) {
    auto *c = new (std::nothrow) ICONV_Context{local, peer, kNoConverter, kNoConverter};
    if (!c) return ENOMEM;
    errno = 0;
    c->to_peer = iconv_open(peer_name, local_name);
    if (c->to_peer != kNoConverter) c->from_peer = iconv_open(local_name, peer_name);
    if (c->from_peer == kNoConverter) {
        int e = errno ? errno : EINVAL;
        Close(c);
        return e;
    }
    *out = c;
    return 0;
}

extern "C" {

ICONV_Context *ICONV_CreateContextForNames(const char *local_name, GENU_ShortOID local,
                                           const char *peer_name, GENU_ShortOID peer) try {
    if (!local_name || !peer_name) return nullptr;
    ICONV_Context *c = nullptr;
    return vrcore::i18n::Open(local_name, local, peer_name, peer, &c) == 0 ? c : nullptr;
}
VR_CATCH_RETURN(nullptr)

void ICONV_SetContext(ICONV_Context *context) try {
    if (t_slot.ctx && t_slot.ctx != context) Close(t_slot.ctx);
    t_slot.ctx = context;
}
VR_CATCH_VOID

ICONV_Context *ICONV_GetAndClearContext(void) try {
    ICONV_Context *c = t_slot.ctx;
    t_slot.ctx = nullptr;
    return c;
}
VR_CATCH_RETURN(nullptr)

void ICONV_DestroyContext(ICONV_Context *context) try { Close(context); }
VR_CATCH_VOID

int ICONV_ToBER_OtherCodeSet255(STF_List *status, const unsigned char *in, uint16_t in_length,
                                unsigned char *out, uint16_t *out_length) try {
    size_t n;
    int rc = Convert(status, true, in, in_length, out, 255, &n);
    if (out_length) *out_length = static_cast<uint16_t>(n);
    return rc;
}
VR_CATCH_STATUS(status, ICONV_S_NOMEMORY, ICONV_S_INTERNAL)

int ICONV_ToGEN_OtherCodeSet255(STF_List *status, const unsigned char *in, uint16_t in_length,
                                unsigned char *out, uint16_t *out_length) try {
    size_t n;
    int rc = Convert(status, false, in, in_length, out, 255, &n);
    if (out_length) *out_length = static_cast<uint16_t>(n);
    return rc;
}
VR_CATCH_STATUS(status, ICONV_S_NOMEMORY, ICONV_S_INTERNAL)

int ICONV_ToBER_OtherCodeSet4095(STF_List *status, const unsigned char *in, uint32_t in_length,
                                 unsigned char *out, uint32_t *out_length) try {
    size_t n;
    int rc = Convert(status, true, in, in_length, out, 4095, &n);
    if (out_length) *out_length = static_cast<uint32_t>(n);
    return rc;
}
VR_CATCH_STATUS(status, ICONV_S_NOMEMORY, ICONV_S_INTERNAL)

int ICONV_ToGEN_OtherCodeSet4095(STF_List *status, const unsigned char *in, uint32_t in_length,
                                 unsigned char *out, uint32_t *out_length) try {
    size_t n;
    int rc = Convert(status, false, in, in_length, out, 4095, &n);
    if (out_length) *out_length = static_cast<uint32_t>(n);
    return rc;
}
VR_CATCH_STATUS(status, ICONV_S_NOMEMORY, ICONV_S_INTERNAL)

} // extern "C"
