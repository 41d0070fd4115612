// Mail addresses read from O/R names received from peers: any bytes as
// the printable string, decoded by itself (exactly sized, so a read past
// its end is caught) and through the attribute list of an O/R name, whose
// fields need not hold their NUL. Whatever decodes must encode and decode
// back to the same text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "syntax/textforms.h"
#include "vrcore/gen.h"

namespace {

void CheckRoundTrip(const char *text) {
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p)
        if (*p >= 128) return;
    std::vector<char> enc(std::strlen(text) * vrcore::syntax::kEscapeMax + 1);
    long n = vrcore::syntax::EncodePrintable(text, enc.data(), enc.size());
    if (n < 0) abort();
    std::vector<char> dec(static_cast<size_t>(n) + 1);
    vrcore::syntax::DecodePrintable(enc.data(), static_cast<size_t>(n), dec.data());
    if (std::strcmp(dec.data(), text) != 0) abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096) return 0;
    // The string alone, in a block of exactly its size.
    char *in = static_cast<char *>(std::malloc(size ? size : 1));
    if (size) std::memcpy(in, data, size);
    std::vector<char> out(size + 1);
    size_t n = vrcore::syntax::DecodePrintable(in, size, out.data());
    if (n > size || out[n] != 0) abort();
    std::free(in);
    if (std::memchr(data, 0, size) == nullptr) CheckRoundTrip(out.data());

    // The same bytes spread over the fields of an attribute list.
    GEN_DomainDefinedAttrs attrs;
    std::memset(&attrs, 0, sizeof attrs);
    std::memcpy(&attrs, data, size < sizeof attrs ? size : sizeof attrs);
    GEN_DeliveryAddress orname;
    std::memset(&orname, 0, sizeof orname);
    orname.domain_defined_attrs = &attrs;
    STF_List *status = STF_CreateList(nullptr);
    char *text = nullptr;
    if (GEN_X400ToStringAddress(status, &text, &orname, nullptr) == 0) {
        CheckRoundTrip(text);
        GENU__CoveredFree(text);
    }
    STF_DeleteList(status);
    return 0;
}
