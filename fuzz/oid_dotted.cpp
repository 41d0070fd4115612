// Dotted-decimal text and binary forms from outside: whatever one
// conversion accepts, the other must turn back into exactly the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vrcore/oid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static STF_List *st = STF_CreateList(nullptr);
    // As text, with and without characteristics at its end.
    std::string text(reinterpret_cast<const char *>(data), size);
    text.resize(std::strlen(text.c_str())); // the text ends at its first zero
    for (int withChars = 0; withChars < 2; withChars++) {
        unsigned char bin[OID_MAX_BINFORM];
        uint32_t len = sizeof bin;
        OID_Characteristics c;
        if (OID_ConvertDecToBin(st, text.c_str(), withChars ? &c : nullptr, &len, bin) != 0)
            continue;
        char back[OID_MAX_DOTTED];
        uint32_t blen = sizeof back;
        if (OID_ConvertBinToDec(st, bin, withChars ? &c : nullptr, &blen, back) != 0 ||
            text != back)
            std::abort();
    }
    // As a binary form; the buffer always holds what its length octet says.
    std::vector<unsigned char> b(2 + 255, 0);
    std::memcpy(b.data(), data, size < b.size() ? size : b.size());
    char dec[OID_MAX_DOTTED];
    uint32_t dlen = sizeof dec;
    if (OID_ConvertBinToDec(st, b.data(), nullptr, &dlen, dec) == 0) {
        unsigned char again[OID_MAX_BINFORM];
        uint32_t alen = sizeof again;
        if (OID_ConvertDecToBin(st, dec, nullptr, &alen, again) != 0 || alen != 2u + b[1] ||
            std::memcmp(again, b.data(), alen) != 0)
            std::abort();
    }
    OID_CmpBinary(b.data(), b.data());
    return 0;
}
