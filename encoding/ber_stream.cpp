// The element scanner: tags, lengths and end-of-contents only; the content
// itself is left to the decoder.
#include "encoding/ber_stream.h"

#include <cstdint>

#include "encoding/ber_runtime.h"

namespace vrcore::ber {

namespace {

// Scans the element at p[0..n). `cap` bounds the bytes the element may
// take from `p` on.
Scan Element(const unsigned char *p, size_t n, size_t cap, int depth, size_t *size) {
    if (depth > kMaxDepth) return Scan::kTooDeep;
    size_t i = 0;
    if (i >= n) return Scan::kNeedMore;
    unsigned char b = p[i++];
    bool cons = b & 0x20;
    if ((b & 0x1f) == 0x1f) {
        for (int k = 0;; ++k) {
            if (i >= n) return Scan::kNeedMore;
            unsigned char c = p[i++];
            if (k == 0 && c == 0x80) return Scan::kBadData;
            if (k >= 4) return Scan::kBadData;
            if (!(c & 0x80)) break;
        }
    }
    if (i >= n) return Scan::kNeedMore;
    unsigned char l = p[i++];
    if (l == 0x80) {
        if (!cons) return Scan::kBadData;
        for (;;) {
            if (i + 2 > cap) return Scan::kTooLarge;
            if (i + 2 <= n && p[i] == 0 && p[i + 1] == 0) {
                *size = i + 2;
                return Scan::kComplete;
            }
            if (i >= n || (i + 1 == n && p[i] == 0)) return Scan::kNeedMore;
            size_t inner = 0;
            Scan s = Element(p + i, n - i, cap - i, depth + 1, &inner);
            if (s != Scan::kComplete) return s;
            i += inner;
        }
    }
    size_t len = l;
    if (l & 0x80) {
        int k = l & 0x7f;
        if (k == 0x7f) return Scan::kBadData;
        len = 0;
        for (int j = 0; j < k; ++j) {
            if (i >= n) return Scan::kNeedMore;
            if (len > (SIZE_MAX >> 8)) return Scan::kTooLarge;
            len = (len << 8) | p[i++];
        }
    }
    if (len > cap || i > cap - len) return Scan::kTooLarge;
    if (len > n - i) return Scan::kNeedMore;
    *size = i + len;
    return Scan::kComplete;
}

} // namespace

Scan ScanElement(const unsigned char *p, size_t n, size_t cap, size_t *size) {
    *size = 0;
    return Element(p, n, cap, 0, size);
}

} // namespace vrcore::ber
