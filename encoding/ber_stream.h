// Finding where one BER element ends in bytes that are still arriving, so
// a reader can take exactly one encoding from a connection without framing
// and without reading past it.
#pragma once

#include <cstddef>

namespace vrcore::ber {

enum class Scan : int {
    kComplete, // the element is whole: *size holds its length
    kNeedMore, // the bytes so far are a valid beginning; read more
    kBadData,  // no valid element can begin with these bytes
    kTooDeep,  // nesting beyond the runtime's limit
    kTooLarge, // the element cannot fit in `cap` bytes
};

// Looks at the first `n` bytes of a stream. Definite lengths are checked
// against `cap` as soon as they are read, so an oversized element is
// refused before its content arrives; indefinite lengths are followed to
// their end-of-contents octets.
Scan ScanElement(const unsigned char *p, size_t n, size_t cap, size_t *size);

} // namespace vrcore::ber
