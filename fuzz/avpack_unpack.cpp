// Hostile bytes against the unpacking of the values of one element (texts,
// names, numbers, ranges, times): the first byte picks the syntax, the rest
// is unpacked. Unpacking must agree with the runtime's decoder and the
// syntax's conversion: the same failure, or values that pack to the same
// bytes; and everything is released.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "encoding/ber_values.h"
#include "encoding/value_conv.h"
#include "vrcore/genu.h"

namespace {

std::vector<uint32_t> FlatSyntaxes() {
    std::vector<uint32_t> out;
    for (uint32_t type = 0; type < 95; ++type) {
        int pdu = GENU_TypeToPDU(type);
        if (pdu >= 0 && !vrcore::ber::ValuePduType(pdu)) out.push_back(type);
    }
    return out;
}

std::vector<unsigned char> Repacked(STF_List *st, uint32_t type, const void *value) {
    GENU_Buffer b{};
    std::vector<unsigned char> out;
    if (!ODP_PackAV(st, type, value, &b)) out.assign(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::vector<uint32_t> syntaxes = FlatSyntaxes();
    if (size < 2) return 0;
    uint32_t type = syntaxes[data[0] % syntaxes.size()];
    auto length = static_cast<uint32_t>(size - 1);
    const unsigned char *bytes = data + 1;
    STF_List *st = STF_CreateList(nullptr);

    void *value = nullptr;
    GENU_ValueDescriptor d{};
    uint32_t code = ODP_UnpackAV(st, length, bytes, type, &value, &d) ? STF_GetStatus(st) : 0;
    std::vector<unsigned char> packed;
    if (!code) {
        packed = Repacked(st, type, value);
        d.del(st, value, &genu_ossAllocator[0]);
    }

    int pdu = GENU_TypeToPDU(type);
    GENU_Buffer in{length, const_cast<unsigned char *>(bytes)};
    void *ber = nullptr;
    alignas(16) unsigned char made[512] = {};
    uint32_t runtime_code = GENU_S_DECODE;
    if (!GENU_OssDecode(nullptr, &pdu, &in, &ber)) {
        runtime_code = vrcore::ber::SyntaxToGen(st, type, ber, made, &genu_ossAllocator[0])
                           ? STF_GetStatus(st)
                           : 0;
        GENU_OssFreePDU(nullptr, pdu, ber);
    }
    if (code != runtime_code) abort();
    if (!code) {
        if (Repacked(st, type, made) != packed) abort();
        vrcore::ber::SyntaxFreeGen(st, type, made, &genu_ossAllocator[0]);
    }
    STF_DeleteList(st);
    return 0;
}
