// Identifier forms from outside: BER content and binary forms of any
// bytes, and names, through the reverse conversions.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vrcore/genu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static STF_List *st = STF_CreateList(nullptr);
    GENU_ShortOID id = 0;
    // As BER content octets of the given length.
    std::vector<unsigned char> content(data, data + size);
    GENU_BerOID ber{static_cast<uint32_t>(content.size()), content.data()};
    if (GENU_BerToShortOID(st, &ber, &id) == 0) {
        GENU_BerOID back{};
        GENU_ShortToBerOID(st, id, &back);
    }
    // As a binary form: the buffer always holds what its length octet says.
    std::vector<unsigned char> bin(2 + 255, 0);
    for (size_t i = 0; i < size && i < bin.size(); ++i) bin[i] = data[i];
    GENU_BinaryToShortOID(st, bin.data(), &id);
    // As a name, with and without a prefix.
    std::string name(reinterpret_cast<const char *>(data), size);
    GENU_AsciiToShortOID(st, name.c_str(), &id);
    GENU_PrefixToShortOID(st, name.c_str(), "id-att-", &id);
    GENU_ShortOIDToAscii(static_cast<GENU_ShortOID>(size * 7));
    return 0;
}
