// Value forms of identifiers: checking binary forms, dotted decimal text
// both ways, copying, comparing and measuring binary forms.
#include <cstdio>
#include <cstring>

#include "oid/registry_internal.h"
#include "system/guard.h"

namespace vrcore::oid {
namespace {

constexpr unsigned kMaxContent = 127; // one length octet in short form

// Decodes the subidentifier at content[*pos]; false when it is not
// minimally encoded, longer than 32 bits or cut short.
bool NextSubid(const unsigned char *c, unsigned len, unsigned *pos, uint32_t *out) {
    unsigned p = *pos;
    if (p >= len || c[p] == 0x80) return false; // a leading 0x80 pads the value
    uint64_t v = 0;
    for (;;) {
        if (p >= len) return false;
        unsigned char o = c[p++];
        v = (v << 7) | (o & 0x7F);
        if (v > 0xFFFFFFFFu) return false;
        if (!(o & 0x80)) break;
    }
    *out = static_cast<uint32_t>(v);
    *pos = p;
    return true;
}

void AppendSubid(unsigned char *out, unsigned *n, uint32_t v) {
    unsigned char tmp[5];
    int k = 0;
    do {
        tmp[k++] = static_cast<unsigned char>(v & 0x7F);
        v >>= 7;
    } while (v);
    while (k > 0) {
        --k;
        out[(*n)++] = static_cast<unsigned char>(tmp[k] | (k ? 0x80 : 0));
    }
}

unsigned SubidSize(uint32_t v) {
    unsigned n = 1;
    while (v >>= 7) n++;
    return n;
}

// Reads one canonical decimal part of at most 32 bits; advances *p.
bool ParsePart(const char *&p, uint32_t *out) {
    if (*p < '0' || *p > '9') return false;
    if (*p == '0' && p[1] >= '0' && p[1] <= '9') return false; // leading zero
    uint64_t v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + static_cast<unsigned>(*p - '0');
        if (v > 0xFFFFFFFFu) return false;
        ++p;
    }
    *out = static_cast<uint32_t>(v);
    return true;
}

} // namespace

bool WellFormedBinary(const unsigned char *b, unsigned max_total) {
    if (!b || b[0] != 0x06 || b[1] == 0 || b[1] > kMaxContent || 2u + b[1] > max_total)
        return false;
    unsigned pos = 0;
    uint32_t v = 0;
    while (pos < b[1])
        if (!NextSubid(b + 2, b[1], &pos, &v)) return false;
    return true;
}

} // namespace vrcore::oid

using namespace vrcore::oid;

extern "C" {

VR_EXPORT uint32_t OID_ConvertBinToDec(STF_List *st, const unsigned char *binary,
                                       const OID_Characteristics *chars, uint32_t *length,
                                       char *text) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!length || !text || !WellFormedBinary(binary, 2 + kMaxContent))
        return Fail(st, OID_S_INVALID);
    char buf[OID_MAX_DOTTED];
    size_t n = 0;
    const unsigned char *c = binary + 2;
    unsigned pos = 0;
    uint32_t v = 0;
    NextSubid(c, binary[1], &pos, &v);
    // The first subidentifier carries the first two arcs.
    uint32_t a1 = v < 40 ? 0 : v < 80 ? 1 : 2;
    n += std::snprintf(buf + n, sizeof buf - n, "%u%c%u", a1, '.', v - 40 * a1);
    while (pos < binary[1]) {
        NextSubid(c, binary[1], &pos, &v);
        n += std::snprintf(buf + n, sizeof buf - n, "%c%u", '.', v);
    }
    if (chars)
        for (uint8_t o : chars->octets) n += std::snprintf(buf + n, sizeof buf - n, "%c%u", '.', o);
    // 127 parts of at most 11 characters and 19 of at most 4 fit the buffer.
    if (n + 1 > *length) {
        *length = static_cast<uint32_t>(n + 1);
        return Fail(st, OID_S_TOOSMALL);
    }
    std::memcpy(text, buf, n + 1);
    *length = static_cast<uint32_t>(n);
    return 0;
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_ConvertDecToBin(STF_List *st, const char *text,
                                       OID_Characteristics *chars_out, uint32_t *length,
                                       unsigned char *binary_out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!text || !length || !binary_out) return Fail(st, OID_S_INVALID);
    // The parts, then the characteristics split off the end.
    constexpr unsigned kMaxParts = kMaxContent + 1 + OID_CHARS_LEN;
    uint32_t parts[kMaxParts];
    unsigned count = 0;
    const char *p = text;
    for (;;) {
        if (count == kMaxParts || !ParsePart(p, &parts[count])) return Fail(st, OID_S_INVALID);
        count++;
        if (*p == '\0') break;
        if (*p != '.') return Fail(st, OID_S_INVALID);
        ++p;
    }
    unsigned arcs = count;
    if (chars_out) {
        if (arcs < OID_CHARS_LEN) return Fail(st, OID_S_INVALID);
        arcs -= OID_CHARS_LEN;
        for (unsigned i = 0; i < OID_CHARS_LEN; i++)
            if (parts[arcs + i] > 255) return Fail(st, OID_S_INVALID);
    }
    if (arcs < 2 || parts[0] > 2 || (parts[0] < 2 && parts[1] > 39) ||
        parts[1] > 0xFFFFFFFFu - 40 * parts[0])
        return Fail(st, OID_S_INVALID);
    unsigned size = SubidSize(parts[0] * 40 + parts[1]);
    for (unsigned i = 2; i < arcs; i++) size += SubidSize(parts[i]);
    if (size > kMaxContent) return Fail(st, OID_S_INVALID);
    if (size + 2 > *length) {
        *length = size + 2;
        return Fail(st, OID_S_TOOSMALL);
    }
    unsigned n = 2;
    binary_out[0] = 0x06;
    binary_out[1] = static_cast<unsigned char>(size);
    AppendSubid(binary_out, &n, parts[0] * 40 + parts[1]);
    for (unsigned i = 2; i < arcs; i++) AppendSubid(binary_out, &n, parts[i]);
    if (chars_out)
        for (unsigned i = 0; i < OID_CHARS_LEN; i++)
            chars_out->octets[i] = static_cast<uint8_t>(parts[arcs + i]);
    *length = n;
    return 0;
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT void OID_CopyBinary(unsigned char *dst, const unsigned char *src) try {
    if (dst && src) std::memmove(dst, src, OID_Len(src));
}
VR_CATCH_VOID

VR_EXPORT int32_t OID_EqualBinary(const unsigned char *a, const unsigned char *b) try {
    if (!a || !b) return a == b;
    return a[1] == b[1] && std::memcmp(a, b, OID_Len(a)) == 0;
}
VR_CATCH_RETURN(0)

VR_EXPORT int32_t OID_CmpBinary(const unsigned char *a, const unsigned char *b) try {
    if (!a || !b) return a == b ? 0 : (a ? -1 : 1); // a missing form sorts last
    unsigned pa = 0, pb = 0;
    for (;;) {
        if (pa >= a[1] || pb >= b[1]) break;
        // Subidentifiers compared whole; a malformed one compares by octets.
        uint64_t va = 0, vb = 0;
        do va = (va << 7) | (a[2 + pa] & 0x7F);
        while ((a[2 + pa++] & 0x80) && pa < a[1] && va < (1ull << 56));
        do vb = (vb << 7) | (b[2 + pb] & 0x7F);
        while ((b[2 + pb++] & 0x80) && pb < b[1] && vb < (1ull << 56));
        if (va != vb) return va < vb ? -1 : 1;
    }
    bool ea = pa >= a[1], eb = pb >= b[1];
    if (ea && eb) return 0;
    return ea ? -1 : 1;
}
VR_CATCH_RETURN(0)

VR_EXPORT uint32_t OID_Len(const unsigned char *binary) try { return binary ? 2u + binary[1] : 0u; }
VR_CATCH_RETURN(0u)

} // extern "C"
