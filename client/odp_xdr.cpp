// The XDR routines of the request records. An encoded packet is a counted
// array of bytes, each byte its own sign-extended 4-byte integer; the array
// is moved a block of words at a time, straight into the stream's buffer
// where the stream lends it (XDR_INLINE), else through a buffer of our own.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <arpa/inet.h>
#include <rpc/rpc.h>

#include "client/transport.h"
#include "system/guard.h"
#include "system/seam.h"
#include "vrcore/odpcli.h"

namespace vrcore::client {
namespace {

namespace seam = vrcore::system::seam;

// Elements per block: 4 KiB of words on the wire.
constexpr uint32_t kBlock = 1024;
// The first allocation of a decoded packet, in bytes: what a count promises
// is believed only as far as the data really comes.
constexpr uint32_t kFirstAlloc = 16 * 1024;

bool PutBlock(XDR *xdrs, const unsigned char *bytes, uint32_t n) {
    unsigned char local[kBlock * 4];
    auto *at = reinterpret_cast<unsigned char *>(XDR_INLINE(xdrs, n * 4));
    unsigned char *out = at ? at : local;
    SignExtend(bytes, n, out);
    return at || XDR_PUTBYTES(xdrs, reinterpret_cast<char *>(local), n * 4);
}

bool GetBlock(XDR *xdrs, unsigned char *bytes, uint32_t n) {
    unsigned char local[kBlock * 4];
    auto *at = reinterpret_cast<const unsigned char *>(XDR_INLINE(xdrs, n * 4));
    if (!at) {
        if (!XDR_GETBYTES(xdrs, reinterpret_cast<char *>(local), n * 4)) return false;
        at = local;
    }
    LowBytes(at, n, bytes);
    return true;
}

bool Encode(XDR *xdrs, const encodePacket *p) {
    u_int count = p->encodePacket_len;
    if (count && !p->encodePacket_val) return false;
    if (!xdr_u_int(xdrs, &count)) return false;
    const auto *bytes = reinterpret_cast<const unsigned char *>(p->encodePacket_val);
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < kBlock ? count - done : kBlock;
        if (!PutBlock(xdrs, bytes + done, n)) return false;
        done += n;
    }
    return true;
}

bool Decode(XDR *xdrs, encodePacket *p) {
    p->encodePacket_val = nullptr;
    p->encodePacket_len = 0;
    u_int count = 0;
    if (!xdr_u_int(xdrs, &count)) return false;
    if (count == 0) return true;
    uint32_t cap = count < kFirstAlloc ? count : kFirstAlloc;
    auto *buf = static_cast<unsigned char *>(seam::Alloc(seam::Module::Client, cap));
    if (!buf) return false;
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < kBlock ? count - done : kBlock;
        if (done + n > cap) {
            // Doubles with what has arrived, never past the count.
            uint64_t want = uint64_t(cap) * 2;
            uint32_t next = want > count ? count : uint32_t(want);
            auto *grown = static_cast<unsigned char *>(seam::Alloc(seam::Module::Client, next));
            if (!grown) {
                seam::Release(seam::Module::Client, buf);
                return false;
            }
            memcpy(grown, buf, done);
            seam::Release(seam::Module::Client, buf);
            buf = grown;
            cap = next;
        }
        if (!GetBlock(xdrs, buf + done, n)) {
            seam::Release(seam::Module::Client, buf);
            return false;
        }
        done += n;
    }
    p->encodePacket_val = reinterpret_cast<char *>(buf);
    p->encodePacket_len = count;
    return true;
}

} // namespace

void SignExtend(const unsigned char *bytes, uint32_t n, unsigned char *words) {
    for (uint32_t i = 0; i < n; ++i) {
        auto word = static_cast<uint32_t>(int32_t(static_cast<signed char>(bytes[i])));
        word = htonl(word);
        memcpy(words + 4 * size_t(i), &word, 4);
    }
}

void LowBytes(const unsigned char *words, uint32_t n, unsigned char *bytes) {
    // Any integer is accepted, its low byte kept, as the character routine
    // reads it.
    for (uint32_t i = 0; i < n; ++i) bytes[i] = words[4 * i + 3];
}

void FreePacket(encodePacket *p) {
    seam::Release(seam::Module::Client, p->encodePacket_val);
    p->encodePacket_val = nullptr;
    p->encodePacket_len = 0;
}

} // namespace vrcore::client

using namespace vrcore::client;

VR_EXPORT int xdr_encodePacket(XDR *xdrs, encodePacket *packet) try {
    if (!xdrs || !packet) return FALSE;
    switch (xdrs->x_op) {
    case XDR_ENCODE: return Encode(xdrs, packet);
    case XDR_DECODE: return Decode(xdrs, packet);
    case XDR_FREE: FreePacket(packet); return TRUE;
    }
    return FALSE;
}
VR_CATCH_RETURN(FALSE)

VR_EXPORT int xdr_ODP_argument_t(XDR *xdrs, ODP_argument_t *argument) try {
    if (!xdrs || !argument) return FALSE;
    return xdr_int(xdrs, &argument->operation) && xdr_encodePacket(xdrs, &argument->request);
}
VR_CATCH_RETURN(FALSE)

VR_EXPORT int xdr_ODP_result_t(XDR *xdrs, ODP_result_t *result) try {
    if (!xdrs || !result) return FALSE;
    if (xdrs->x_op == XDR_DECODE) {
        // Both packets are consistent whatever fails, so that freeing the
        // record after a failed decode is safe.
        result->result = {0, nullptr};
        result->error = {0, nullptr};
    }
    return xdr_int(xdrs, &result->error_kind) && xdr_encodePacket(xdrs, &result->result) &&
           xdr_encodePacket(xdrs, &result->error);
}
VR_CATCH_RETURN(FALSE)

VR_EXPORT int odp_request_1(ODP_argument_t *argument, ODP_result_t *result, CLIENT *client) try {
    if (!argument || !result || !client) return RPC_FAILED;
    timeval wait{25, 0};
    return clnt_call(client, ODP_ONC_PROCEDURE, reinterpret_cast<xdrproc_t>(xdr_ODP_argument_t),
                     reinterpret_cast<char *>(argument),
                     reinterpret_cast<xdrproc_t>(xdr_ODP_result_t),
                     reinterpret_cast<char *>(result), wait);
}
VR_CATCH_RETURN(RPC_FAILED)
