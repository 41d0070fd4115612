// Hostile bytes on an event connection, in process: the bytes arrive in
// growing pieces, the scanner finds where the message ends (or refuses it),
// the message decodes or is refused. A decoded message re-encodes to bytes
// that decode to the same encoding again, and frees without a leak.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "encoding/ber_stream.h"
#include "events/evt_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using vrcore::ber::Scan;
    size_t end = 0;
    Scan s = Scan::kNeedMore;
    for (size_t have = 0;; have = have * 2 + 1 < size ? have * 2 + 1 : size) {
        s = vrcore::ber::ScanElement(data, have, vrcore::events::kMaxMessageBytes, &end);
        if (s != Scan::kNeedMore || have == size) break;
    }
    if (s != Scan::kComplete) return 0;
    // The element's own bytes are complete; one byte fewer is not.
    size_t again = 0;
    if (end > size ||
        vrcore::ber::ScanElement(data, end, vrcore::events::kMaxMessageBytes, &again) !=
            Scan::kComplete ||
        again != end ||
        vrcore::ber::ScanElement(data, end - 1, vrcore::events::kMaxMessageBytes, &again) !=
            Scan::kNeedMore)
        abort();

    vrcore::events::Context ctx;
    ctx.Init(vrcore::ber::Hooks{&malloc, &free});
    vrcore::events::MessagePdu *pdu = nullptr;
    if (vrcore::events::DecodeMessage(ctx, data, end, &pdu, nullptr)) return 0;
    uint32_t n1 = 0, n2 = 0;
    unsigned char *b1 = nullptr, *b2 = nullptr;
    if (ctx.Encode(vrcore::events::kPduEventMessage, pdu, &n1, &b1, nullptr)) abort();
    ctx.FreePdu(vrcore::events::kPduEventMessage, pdu);
    if (vrcore::events::DecodeMessage(ctx, b1, n1, &pdu, nullptr)) abort();
    if (ctx.Encode(vrcore::events::kPduEventMessage, pdu, &n2, &b2, nullptr)) abort();
    if (n1 != n2 || memcmp(b1, b2, n1)) abort();
    ctx.FreePdu(vrcore::events::kPduEventMessage, pdu);
    ctx.FreeBytes(b1);
    ctx.FreeBytes(b2);
    return 0;
}
