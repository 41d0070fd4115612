// The BER decoder behind the type descriptions of ber_runtime.h.
//
// Decoding takes any valid BER: definite and indefinite lengths,
// constructed strings, members of a set in any order. Every length is
// checked against the bytes that remain, nesting is bounded and every
// allocation is counted against the decode's budget.
#include "encoding/ber_runtime_internal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vrcore::ber {

namespace {

const Type &Deref(const Type &t) {
    return t.kind == Kind::Ptr || t.kind == Kind::Map ? Deref(*t.elem) : t;
}

void SetChoice(const Type &t, void *v, uint16_t c) {
    if (t.flags & kChoice32)
        *static_cast<uint32_t *>(v) = c;
    else
        *static_cast<uint16_t *>(v) = c;
}

bool WriteInt(void *p, uint8_t width, bool is_unsigned, int64_t v) {
    switch (width) {
    case 1:
        if (is_unsigned ? (v < 0 || v > UINT8_MAX) : (v < INT8_MIN || v > INT8_MAX)) return false;
        *static_cast<uint8_t *>(p) = static_cast<uint8_t>(v);
        return true;
    case 2:
        if (is_unsigned ? (v < 0 || v > UINT16_MAX) : (v < INT16_MIN || v > INT16_MAX))
            return false;
        *static_cast<uint16_t *>(p) = static_cast<uint16_t>(v);
        return true;
    case 4:
        if (is_unsigned ? (v < 0 || v > UINT32_MAX) : (v < INT32_MIN || v > INT32_MAX))
            return false;
        *static_cast<uint32_t *>(p) = static_cast<uint32_t>(v);
        return true;
    default: *static_cast<int64_t *>(p) = v; return true;
    }
}

struct Tlv {
    uint8_t cls;
    bool cons;
    uint32_t num;
    const unsigned char *start; // first byte of the tag
    const unsigned char *cb;    // first content byte
    const unsigned char *ce;    // end of the content
    const unsigned char *next;  // after the element (and its end-of-contents)
};

class Reader {
  public:
    Reader(const Hooks &h, size_t budget, std::string *err) : h_(h), budget_(budget), err_(err) {}

    int Fail(int code, const char *what, const Type *t = nullptr) {
        if (err_ && err_->empty()) {
            *err_ = what;
            if (t) {
                *err_ += " (";
                *err_ += t->name;
                *err_ += ")";
            }
        }
        return code;
    }
    void *Alloc(size_t n) {
        if (n > budget_) return nullptr;
        void *p = h_.alloc(n ? n : 1);
        if (!p) return nullptr;
        budget_ -= n;
        memset(p, 0, n ? n : 1);
        return p;
    }

    int Header(const unsigned char *p, const unsigned char *end, Tlv *out, int depth);
    int Skip(const unsigned char *p, const unsigned char *end, const unsigned char **after,
             int depth);
    bool Matches(const Type &t, TagMode mode, uint8_t cls, uint32_t num, const Tlv &e) const;
    int Element(const Type &t, void *v, TagMode mode, uint8_t cls, uint32_t num, const Tlv &e,
                int depth);
    int Value(const Type &t, void *v, const Tlv &e, int depth);
    int Content(const Type &t, void *v, const Tlv &e, int depth);
    template <class F> int MapIn(const Type &t, void *v, F decode_wire);
    int StringBytes(const Tlv &e, int depth, unsigned char **bytes, size_t *n, const Type &t);
    int CollectString(const Tlv &e, int depth, unsigned char *dst, size_t *n, size_t cap);

  private:
    const Hooks &h_;
    size_t budget_;
    std::string *err_;
};

int Reader::Header(const unsigned char *p, const unsigned char *end, Tlv *out, int depth) {
    if (depth > kMaxDepth) return Fail(kTooDeep, "nesting too deep");
    out->start = p;
    if (p >= end) return Fail(kBadData, "truncated tag");
    unsigned char b = *p++;
    out->cls = static_cast<uint8_t>(b >> 6);
    out->cons = b & 0x20;
    uint32_t num = b & 0x1f;
    if (num == 0x1f) {
        num = 0;
        int n = 0;
        for (;;) {
            if (p >= end) return Fail(kBadData, "truncated tag");
            unsigned char c = *p++;
            if (n == 0 && c == 0x80) return Fail(kBadData, "padded tag number");
            if (++n > 4) return Fail(kBadData, "tag number too large");
            num = (num << 7) | (c & 0x7f);
            if (!(c & 0x80)) break;
        }
    }
    out->num = num;
    if (p >= end) return Fail(kBadData, "truncated length");
    unsigned char l = *p++;
    if (l == 0x80) {
        if (!out->cons) return Fail(kBadData, "indefinite length on a primitive element");
        out->cb = p;
        const unsigned char *q = p;
        for (;;) {
            if (end - q >= 2 && q[0] == 0 && q[1] == 0) break;
            if (q >= end) return Fail(kBadData, "missing end of contents");
            const unsigned char *after;
            if (int r = Skip(q, end, &after, depth + 1)) return r;
            q = after;
        }
        out->ce = q;
        out->next = q + 2;
        return kOk;
    }
    size_t len = l;
    if (l & 0x80) {
        int k = l & 0x7f;
        if (k == 0x7f) return Fail(kBadData, "reserved length form");
        len = 0;
        for (int i = 0; i < k; ++i) {
            if (p >= end) return Fail(kBadData, "truncated length");
            if (len > (SIZE_MAX >> 8)) return Fail(kBadData, "length too large");
            len = (len << 8) | *p++;
        }
    }
    if (len > static_cast<size_t>(end - p)) return Fail(kBadData, "length beyond the input");
    out->cb = p;
    out->ce = p + len;
    out->next = p + len;
    return kOk;
}

int Reader::Skip(const unsigned char *p, const unsigned char *end, const unsigned char **after,
                 int depth) {
    Tlv e;
    if (int r = Header(p, end, &e, depth)) return r;
    *after = e.next;
    return kOk;
}

bool Reader::Matches(const Type &t0, TagMode mode, uint8_t cls, uint32_t num, const Tlv &e) const {
    const Type &t = Deref(t0);
    if (mode != TagMode::None) return e.cls == cls && e.num == num;
    if (t.kind == Kind::Open) return true;
    if (t.kind == Kind::Choice) {
        for (uint32_t i = 0; i < t.nmembers; ++i) {
            const Member &m = t.members[i];
            if (Matches(*m.type, m.mode, m.tag_class, m.tag_number, e)) return true;
        }
        return false;
    }
    if (e.cls != kUniversal) return false;
    uint32_t u = UniversalTag(t);
    if (e.num == u) return true;
    // Character strings may arrive under another string type only when
    // the description does not name one.
    return false;
}

int Reader::CollectString(const Tlv &e, int depth, unsigned char *dst, size_t *n, size_t cap) {
    if (!e.cons) {
        size_t k = static_cast<size_t>(e.ce - e.cb);
        if (k > cap - *n) return Fail(kLimit, "string too long");
        if (dst && k) memcpy(dst + *n, e.cb, k);
        *n += k;
        return kOk;
    }
    if (depth > kMaxDepth) return Fail(kTooDeep, "nesting too deep");
    const unsigned char *p = e.cb;
    while (p < e.ce) {
        Tlv s;
        if (int r = Header(p, e.ce, &s, depth + 1)) return r;
        if (s.cls != kUniversal || s.num != 4) return Fail(kBadData, "bad string segment");
        if (int r = CollectString(s, depth + 1, dst, n, cap)) return r;
        p = s.next;
    }
    return kOk;
}

int Reader::StringBytes(const Tlv &e, int depth, unsigned char **bytes, size_t *n, const Type &t) {
    size_t cap = t.max ? t.max : 0x7fffffffu;
    size_t total = 0;
    if (int r = CollectString(e, depth, nullptr, &total, cap)) return r;
    *n = total;
    *bytes = nullptr;
    if (!total) return kOk;
    *bytes = static_cast<unsigned char *>(Alloc(total + 1));
    if (!*bytes) return Fail(kNoMemory, "out of memory", &t);
    size_t k = 0;
    return CollectString(e, depth, *bytes, &k, cap);
}

} // namespace

int IntFromContent(const unsigned char *p, size_t n, uint8_t width, bool is_unsigned, void *field) {
    if (n == 0) return kBadData;
    if (n > 1 && ((p[0] == 0 && !(p[1] & 0x80)) || (p[0] == 0xff && (p[1] & 0x80))))
        return kBadData;
    if (n > 8 && !(n == 9 && p[0] == 0)) return kLimit;
    int64_t val = (p[0] & 0x80) ? -1 : 0;
    uint64_t u = static_cast<uint64_t>(val);
    for (size_t i = 0; i < n; ++i) u = (u << 8) | p[i];
    val = static_cast<int64_t>(u);
    if (width == 8 && is_unsigned) {
        if (p[0] & 0x80) return kLimit;
        memcpy(field, &u, sizeof u);
        return kOk;
    }
    if (n == 9) return kLimit;
    return WriteInt(field, width, is_unsigned, val) ? kOk : kLimit;
}

int RealFromContent(const unsigned char *p, size_t n, double *out) {
    if (n == 0) {
        *out = 0.0;
        return kOk;
    }
    unsigned char f = p[0];
    if (f & 0x80) {
        int sign = (f & 0x40) ? -1 : 1;
        int base = (f >> 4) & 3;
        if (base == 3) return kBadData;
        int scale = (f >> 2) & 3;
        size_t elen = (f & 3) + 1;
        size_t i = 1;
        if ((f & 3) == 3) {
            if (n < 2) return kBadData;
            elen = p[1];
            i = 2;
        }
        if (elen == 0 || elen > 4 || n < i + elen) return kBadData;
        int64_t e = static_cast<int8_t>(p[i]);
        for (size_t k = 1; k < elen; ++k) e = (e << 8) | p[i + k];
        i += elen;
        double m = 0;
        for (; i < n; ++i) m = m * 256.0 + p[i];
        int shift = base == 0 ? 1 : base == 1 ? 3 : 4;
        double v = std::ldexp(m, static_cast<int>(std::max<int64_t>(
                                     -100000, std::min<int64_t>(100000, e * shift + scale))));
        *out = sign * v;
        return kOk;
    }
    if (f & 0x40) {
        if (n != 1) return kBadData;
        switch (f) {
        case 0x40: *out = HUGE_VAL; return kOk;
        case 0x41: *out = -HUGE_VAL; return kOk;
        case 0x42: *out = NAN; return kOk;
        case 0x43: *out = -0.0; return kOk;
        default: return kBadData;
        }
    }
    // Decimal forms.
    if (n - 1 > 400) return kBadData;
    char buf[402];
    memcpy(buf, p + 1, n - 1);
    buf[n - 1] = 0;
    for (size_t k = 0; k < n - 1; ++k) {
        if (buf[k] == ',') buf[k] = '.';
        if (!buf[k]) return kBadData;
    }
    char *endp;
    *out = strtod(buf, &endp);
    while (*endp == ' ') ++endp;
    if (endp == buf || *endp) return kBadData;
    return kOk;
}

namespace {

int Reader::Content(const Type &t, void *v, const Tlv &e, int depth) {
    auto *base = static_cast<unsigned char *>(v);
    size_t n = static_cast<size_t>(e.ce - e.cb);
    bool strings = t.kind == Kind::Octets || t.kind == Kind::OctetsIn || t.kind == Kind::StringIn;
    if (e.cons != IsConstructed(t) && !(strings && e.cons))
        return Fail(kBadData, e.cons ? "unexpected constructed form" : "unexpected primitive form",
                    &t);
    switch (t.kind) {
    case Kind::Bool:
        if (n != 1) return Fail(kBadData, "bad boolean", &t);
        WriteInt(v, t.width, true, e.cb[0] ? 1 : 0);
        return kOk;
    case Kind::Int:
    case Kind::Enum:
        switch (IntFromContent(e.cb, n, t.width, t.flags & kUnsigned, v)) {
        case kOk: return kOk;
        case kBadData: return Fail(kBadData, n ? "integer not minimal" : "empty integer", &t);
        default: return Fail(kLimit, n > 8 ? "integer too large" : "integer outside its field", &t);
        }
    case Kind::Real: {
        double d;
        if (RealFromContent(e.cb, n, &d)) return Fail(kBadData, "bad real", &t);
        memcpy(v, &d, sizeof d);
        return kOk;
    }
    case Kind::Null:
        if (n) return Fail(kBadData, "bad null", &t);
        return kOk;
    case Kind::Octets: {
        unsigned char *bytes;
        size_t k;
        if (int r = StringBytes(e, depth, &bytes, &k, t)) return r;
        auto *o = static_cast<OctetsField *>(v);
        o->length = static_cast<uint32_t>(k);
        o->value = bytes;
        return kOk;
    }
    case Kind::OctetsIn: {
        auto *o = static_cast<OctetsInField *>(v);
        size_t k = 0;
        if (int r = CollectString(e, depth, o->value, &k, t.max)) return r;
        o->length = static_cast<uint16_t>(k);
        return kOk;
    }
    case Kind::StringIn: {
        auto *s = static_cast<unsigned char *>(v);
        size_t k = 0;
        if (int r = CollectString(e, depth, s, &k, t.max)) return r;
        if (memchr(s, 0, k)) return Fail(kBadData, "zero byte in a string", &t);
        s[k] = 0;
        return kOk;
    }
    case Kind::Oid: {
        if (n == 0) return Fail(kBadData, "empty object identifier", &t);
        for (size_t i = 0; i < n; ++i)
            if (e.cb[i] == 0x80 && (i == 0 || !(e.cb[i - 1] & 0x80)))
                return Fail(kBadData, "padded object identifier", &t);
        if (e.cb[n - 1] & 0x80) return Fail(kBadData, "truncated object identifier", &t);
        auto *o = static_cast<OctetsField *>(v);
        o->length = static_cast<uint32_t>(n);
        if (t.flags & kInPlace) {
            o->value = const_cast<unsigned char *>(e.cb);
            return kOk;
        }
        o->value = static_cast<unsigned char *>(Alloc(n));
        if (!o->value) return Fail(kNoMemory, "out of memory", &t);
        memcpy(o->value, e.cb, n);
        return kOk;
    }
    case Kind::Seq: {
        const unsigned char *p = e.cb;
        Tlv c;
        bool have = false;
        for (uint32_t i = 0; i < t.nmembers; ++i) {
            const Member &m = t.members[i];
            if (!have && p < e.ce) {
                if (int r = Header(p, e.ce, &c, depth + 1)) return r;
                have = true;
            }
            bool optional = m.presence || m.ptr_optional;
            if (!have || !Matches(*m.type, m.mode, m.tag_class, m.tag_number, c)) {
                if (optional) continue;
                return Fail(kBadData, "missing component", &t);
            }
            if (m.presence) base[0] |= m.presence;
            if (int r = Element(*m.type, base + m.offset, m.mode, m.tag_class, m.tag_number, c,
                                depth + 1))
                return r;
            p = c.next;
            have = false;
        }
        if (have || p < e.ce) return Fail(kBadData, "unexpected component", &t);
        return kOk;
    }
    case Kind::Set: {
        const unsigned char *p = e.cb;
        uint64_t seen = 0;
        while (p < e.ce) {
            Tlv c;
            if (int r = Header(p, e.ce, &c, depth + 1)) return r;
            uint32_t i = 0;
            for (; i < t.nmembers; ++i)
                if (Matches(*t.members[i].type, t.members[i].mode, t.members[i].tag_class,
                            t.members[i].tag_number, c))
                    break;
            if (i == t.nmembers) return Fail(kBadData, "unexpected component", &t);
            if (seen & (1ull << i)) return Fail(kBadData, "repeated component", &t);
            seen |= 1ull << i;
            const Member &m = t.members[i];
            if (m.presence) base[0] |= m.presence;
            if (int r = Element(*m.type, base + m.offset, m.mode, m.tag_class, m.tag_number, c,
                                depth + 1))
                return r;
            p = c.next;
        }
        for (uint32_t i = 0; i < t.nmembers; ++i)
            if (!(seen & (1ull << i)) && !t.members[i].presence && !t.members[i].ptr_optional)
                return Fail(kBadData, "missing component", &t);
        return kOk;
    }
    case Kind::SeqOf:
    case Kind::SetOf: {
        const unsigned char *p = e.cb;
        void **link = static_cast<void **>(v);
        while (p < e.ce) {
            Tlv c;
            if (int r = Header(p, e.ce, &c, depth + 1)) return r;
            if (!Matches(*t.elem, TagMode::None, 0, 0, c))
                return Fail(kBadData, "unexpected element", &t);
            void *node = Alloc(t.node_size);
            if (!node) return Fail(kNoMemory, "out of memory", &t);
            *link = node;
            link = static_cast<void **>(node);
            if (int r = Value(*t.elem, static_cast<unsigned char *>(node) + t.elem_offset, c,
                              depth + 1))
                return r;
            p = c.next;
        }
        return kOk;
    }
    default: return Fail(kBadArg, "type cannot be decoded here", &t);
    }
}

// Decodes the wire block of a Map field and builds the field from it.
template <class F> int Reader::MapIn(const Type &t, void *v, F decode_wire) {
    alignas(16) unsigned char local[kLocalWire];
    bool on_stack = t.elem->size <= sizeof local;
    void *wire = on_stack ? memset(local, 0, t.elem->size) : Alloc(t.elem->size);
    if (!wire) return Fail(kNoMemory, "out of memory", &t);
    int r = decode_wire(wire);
    if (r == kOk) {
        uint32_t code = t.map->to_field(h_, wire, v);
        if (code == t.map->no_memory) {
            r = Fail(kNoMemory, "out of memory", &t);
        } else if (code) {
            char tmp[64];
            snprintf(tmp, sizeof tmp, "value not convertible (0x%08x)", code);
            r = Fail(kConvert, tmp, &t);
        }
    }
    FreeIn(h_, *t.elem, wire, 0);
    if (!on_stack) {
        h_.free(wire);
        budget_ += t.elem->size;
    }
    return r;
}

int Reader::Element(const Type &t, void *v, TagMode mode, uint8_t cls, uint32_t num, const Tlv &e,
                    int depth) {
    if (depth > kMaxDepth) return Fail(kTooDeep, "nesting too deep", &t);
    if (t.kind == Kind::Map)
        return MapIn(
            t, v, [&](void *wire) { return Element(*t.elem, wire, mode, cls, num, e, depth + 1); });
    if (t.kind == Kind::Ptr) {
        void *p = Alloc(t.elem->size);
        if (!p) return Fail(kNoMemory, "out of memory", &t);
        *static_cast<void **>(v) = p;
        return Element(*t.elem, p, mode, cls, num, e, depth);
    }
    if (mode == TagMode::None) return Value(t, v, e, depth);
    if (e.cls != cls || e.num != num) return Fail(kBadData, "unexpected tag", &t);
    if (mode == TagMode::Explicit || t.kind == Kind::Choice || t.kind == Kind::Open) {
        if (!e.cons) return Fail(kBadData, "explicit tag on a primitive element", &t);
        Tlv inner;
        if (e.cb >= e.ce) return Fail(kBadData, "empty explicit tag", &t);
        if (int r = Header(e.cb, e.ce, &inner, depth + 1)) return r;
        if (inner.next != e.ce) return Fail(kBadData, "trailing bytes in an explicit tag", &t);
        return Value(t, v, inner, depth + 1);
    }
    return Content(t, v, e, depth + 1);
}

int Reader::Value(const Type &t, void *v, const Tlv &e, int depth) {
    if (depth > kMaxDepth) return Fail(kTooDeep, "nesting too deep", &t);
    switch (t.kind) {
    case Kind::Map:
        return MapIn(t, v, [&](void *wire) { return Value(*t.elem, wire, e, depth + 1); });
    case Kind::Ptr: {
        void *p = Alloc(t.elem->size);
        if (!p) return Fail(kNoMemory, "out of memory", &t);
        *static_cast<void **>(v) = p;
        return Value(*t.elem, p, e, depth);
    }
    case Kind::Choice:
        for (uint32_t i = 0; i < t.nmembers; ++i) {
            const Member &m = t.members[i];
            if (Matches(*m.type, m.mode, m.tag_class, m.tag_number, e)) {
                SetChoice(t, v, m.choice);
                return Element(*m.type, static_cast<unsigned char *>(v) + m.offset, m.mode,
                               m.tag_class, m.tag_number, e, depth + 1);
            }
        }
        return Fail(kBadData, "no alternative matches", &t);
    case Kind::Open: {
        size_t n = static_cast<size_t>(e.next - e.start);
        auto *o = static_cast<OctetsField *>(v);
        o->value = static_cast<unsigned char *>(Alloc(n));
        if (!o->value) return Fail(kNoMemory, "out of memory", &t);
        memcpy(o->value, e.start, n);
        o->length = static_cast<uint32_t>(n);
        return kOk;
    }
    default:
        if (e.cls != kUniversal || e.num != UniversalTag(t))
            return Fail(kBadData, "unexpected tag", &t);
        return Content(t, v, e, depth + 1);
    }
}

} // namespace

int Decode(const Hooks &h, const Type &t, const unsigned char *data, size_t length, void **out,
           size_t budget, std::string *error) {
    *out = nullptr;
    Reader r(h, budget, error);
    if (!data || !length) return r.Fail(kBadData, "no input", &t);
    Tlv e;
    if (int rc = r.Header(data, data + length, &e, 0)) return rc;
    if (e.next != data + length) return r.Fail(kBadData, "trailing bytes after the value", &t);
    if (!r.Matches(t, TagMode::None, 0, 0, e)) return r.Fail(kBadData, "unexpected tag", &t);
    void *top = r.Alloc(t.size);
    if (!top) return r.Fail(kNoMemory, "out of memory", &t);
    if (int rc = r.Value(t, top, e, 0)) {
        FreeTree(h, t, top);
        return rc;
    }
    *out = top;
    return kOk;
}

} // namespace vrcore::ber
