// Hostile bytes on the reply path of an ONC request: the reply record read
// from a memory stream or from a record-marked stream (bit 7 of the first
// byte), then its result packet decoded as the result PDU of an operation
// (the first byte's low bits) and its error packet as an error of its
// kind. What decodes must encode to a record that decodes to the same
// packets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <rpc/rpc.h>
#include <vector>

#include "vrcore/erdpa.h"
#include "vrcore/genu.h"
#include "vrcore/odpcli.h"
#include "vrcore/odpops.h"

namespace {

struct Source {
    const uint8_t *data;
    size_t left;
};

int ReadIt(void *handle, void *buf, int len) {
    auto *s = static_cast<Source *>(handle);
    if (s->left == 0) return -1;
    size_t n = s->left < size_t(len) ? s->left : size_t(len);
    memcpy(buf, s->data, n);
    s->data += n;
    s->left -= n;
    return int(n);
}

int WriteIt(void *, void *, int len) { return len; }

bool ReadRecord(bool marked, const uint8_t *data, size_t size, ODP_result_t *r) {
    XDR x;
    Source src{data, size};
    if (marked) {
        xdrrec_create(&x, 0, 0, &src, ReadIt, WriteIt);
        x.x_op = XDR_DECODE;
        if (!xdrrec_skiprecord(&x)) {
            xdr_destroy(&x);
            return false;
        }
    } else {
        xdrmem_create(&x, const_cast<char *>(reinterpret_cast<const char *>(data)), u_int(size),
                      XDR_DECODE);
    }
    bool ok = xdr_ODP_result_t(&x, r);
    xdr_destroy(&x);
    return ok;
}

void SamePackets(const encodePacket &a, const encodePacket &b) {
    if (a.encodePacket_len != b.encodePacket_len ||
        (a.encodePacket_len && memcmp(a.encodePacket_val, b.encodePacket_val, a.encodePacket_len)))
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    bool marked = data[0] & 0x80;
    int32_t op = data[0] % 29;
    ODP_result_t r{};
    if (!ReadRecord(marked, data + 1, size - 1, &r)) {
        xdr_free(reinterpret_cast<xdrproc_t>(xdr_ODP_result_t), reinterpret_cast<char *>(&r));
        if (r.result.encodePacket_val || r.error.encodePacket_val) abort();
        return 0;
    }
    // Encoded again, the record reads back the same.
    std::vector<char> wire(12 + 4 * (size_t(r.result.encodePacket_len) + r.error.encodePacket_len));
    XDR out;
    xdrmem_create(&out, wire.data(), u_int(wire.size()), XDR_ENCODE);
    if (!xdr_ODP_result_t(&out, &r) || xdr_getpos(&out) != wire.size()) abort();
    ODP_result_t again{};
    if (!ReadRecord(false, reinterpret_cast<const uint8_t *>(wire.data()), wire.size(), &again))
        abort();
    SamePackets(r.result, again.result);
    SamePackets(r.error, again.error);
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_ODP_result_t), reinterpret_cast<char *>(&again));

    STF_List *st = STF_CreateList(nullptr);
    int pdu = ODP_ResultPDU(op);
    if (st && pdu > 0 && r.result.encodePacket_len) {
        GENU_Buffer in{r.result.encodePacket_len,
                       reinterpret_cast<unsigned char *>(r.result.encodePacket_val)};
        void *value = nullptr;
        if (!GENU_OssDecode(nullptr, &pdu, &in, &value)) GENU_OssFreePDU(nullptr, pdu, value);
    }
    if (st && r.error.encodePacket_len) {
        ERDPA_ErrorResult *e = nullptr;
        if (!ERDPA_DecodeError(st, r.error_kind,
                               reinterpret_cast<const unsigned char *>(r.error.encodePacket_val),
                               r.error.encodePacket_len, &e))
            ERDPA_FreeError(st, e);
    }
    STF_DeleteList(st);
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_ODP_result_t), reinterpret_cast<char *>(&r));
    return 0;
}
