// Hostile bytes against the decoder of every PDU: the first byte picks the
// PDU, the rest is decoded. Whatever decodes must dump, re-encode, decode
// again and re-encode to the same bytes, and free without a leak.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "encoding/ber_world.h"
#include "vrcore/genu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    int pdu = vrcore::ber::PduAt(data[0] % vrcore::ber::PduCount());
    GENU_Buffer in{static_cast<uint32_t>(size - 1), const_cast<unsigned char *>(data + 1)};
    void *value = nullptr;
    if (GENU_OssDecode(nullptr, &pdu, &in, &value)) return 0;
    std::string dump;
    vrcore::ber::Print(*vrcore::ber::PduType(pdu), value, dump);
    GENU_Buffer first{};
    if (GENU_OssEncode(nullptr, pdu, value, &first)) abort();
    GENU_OssFreePDU(nullptr, pdu, value);
    void *again = nullptr;
    if (GENU_OssDecode(nullptr, &pdu, &first, &again)) abort();
    GENU_Buffer second{};
    if (GENU_OssEncode(nullptr, pdu, again, &second)) abort();
    if (first.length != second.length || memcmp(first.value, second.value, first.length)) abort();
    GENU_OssFreePDU(nullptr, pdu, again);
    _GENU__MyFree(first.value);
    _GENU__MyFree(second.value);
    return 0;
}
