// The BER codec behind the type descriptions of ber_runtime.h.
//
// Encoding writes definite, minimal lengths and primitive strings. Decoding
// takes any valid BER: definite and indefinite lengths, constructed
// strings, members of a set in any order. Every length is checked against
// the bytes that remain, nesting is bounded and every allocation is counted
// against the decode's budget.
#include "encoding/ber_runtime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vrber {

namespace {

struct OctetsField {
    uint32_t length;
    unsigned char *value;
};
struct OctetsInField {
    uint16_t length;
    unsigned char value[1];
};

uint32_t UniversalTag(const Type &t) {
    switch (t.kind) {
    case Kind::Bool: return 1;
    case Kind::Int: return 2;
    case Kind::Enum: return 10;
    case Kind::Real: return 9;
    case Kind::Null: return 5;
    case Kind::Octets:
    case Kind::OctetsIn:
    case Kind::StringIn: return t.univ ? t.univ : 4;
    case Kind::Oid: return 6;
    case Kind::Seq:
    case Kind::SeqOf: return 16;
    case Kind::Set:
    case Kind::SetOf: return 17;
    default: return 0;
    }
}

bool IsConstructed(const Type &t) {
    switch (t.kind) {
    case Kind::Seq:
    case Kind::Set:
    case Kind::SeqOf:
    case Kind::SetOf: return true;
    default: return false;
    }
}

const Type &Deref(const Type &t) {
    return t.kind == Kind::Ptr || t.kind == Kind::Map ? Deref(*t.elem) : t;
}

uint32_t GetChoice(const Type &t, const void *v) {
    if (t.flags & kChoice32) return *static_cast<const uint32_t *>(v);
    return *static_cast<const uint16_t *>(v);
}
void SetChoice(const Type &t, void *v, uint16_t c) {
    if (t.flags & kChoice32)
        *static_cast<uint32_t *>(v) = c;
    else
        *static_cast<uint16_t *>(v) = c;
}

void FreeIn(const Hooks &h, const Type &t, void *v, int depth);

// Wire blocks up to this size live on the stack.
constexpr size_t kLocalWire = 512;

// The wire block of a Map field while it is encoded or printed.
class WireBlock {
  public:
    WireBlock(const Hooks &h, const Type &t) : h_(h), t_(t) {}
    ~WireBlock() {
        if (!p_) return;
        if (built_ && t_.map->wire_release) t_.map->wire_release(h_, p_);
        if (p_ != local_) h_.free(p_);
    }
    WireBlock(const WireBlock &) = delete;
    WireBlock &operator=(const WireBlock &) = delete;
    // 0, kNoMemory, or kBadArg with the conversion's code in *code.
    int Build(const void *field, uint32_t *code) {
        p_ = t_.elem->size <= kLocalWire ? local_ : h_.alloc(t_.elem->size);
        if (!p_) return kNoMemory;
        memset(p_, 0, t_.elem->size);
        *code = t_.map->to_wire(h_, field, p_);
        built_ = true;
        if (*code == t_.map->no_memory) return kNoMemory;
        return *code ? kBadArg : kOk;
    }
    const void *get() const { return p_; }

  private:
    const Hooks &h_;
    const Type &t_;
    void *p_ = nullptr;
    bool built_ = false;
    alignas(16) unsigned char local_[kLocalWire];
};

// ---- Encoding -----------------------------------------------------------

class Writer {
  public:
    Writer(const Hooks &h, std::string *err) : h_(h), err_(err) {}
    ~Writer() {
        if (buf_) h_.free(buf_);
    }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

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
    bool Reserve(size_t more) {
        if (len_ + more <= cap_) return true;
        if (len_ + more > 0x7fffffffu) return false;
        size_t cap = cap_ ? cap_ : 64;
        while (cap < len_ + more) cap *= 2;
        auto *nb = static_cast<unsigned char *>(h_.alloc(cap));
        if (!nb) return false;
        if (len_) memcpy(nb, buf_, len_);
        if (buf_) h_.free(buf_);
        buf_ = nb;
        cap_ = cap;
        return true;
    }
    int Put(const void *p, size_t n) {
        if (!Reserve(n)) return Fail(kNoMemory, "out of memory");
        if (n) memcpy(buf_ + len_, p, n);
        len_ += n;
        return kOk;
    }
    int PutByte(unsigned char b) { return Put(&b, 1); }
    int PutTag(uint8_t cls, bool cons, uint32_t num) {
        unsigned char first = static_cast<unsigned char>((cls << 6) | (cons ? 0x20 : 0));
        if (num < 31) return PutByte(static_cast<unsigned char>(first | num));
        unsigned char tmp[6];
        int n = 0;
        uint32_t v = num;
        do {
            tmp[n++] = static_cast<unsigned char>(v & 0x7f);
            v >>= 7;
        } while (v);
        if (int r = PutByte(first | 0x1f)) return r;
        for (int i = n - 1; i >= 0; --i)
            if (int r = PutByte(static_cast<unsigned char>(tmp[i] | (i ? 0x80 : 0)))) return r;
        return kOk;
    }
    // Opens a length: one byte reserved, fixed by Close.
    int Open(size_t *mark) {
        if (int r = PutByte(0)) return r;
        *mark = len_;
        return kOk;
    }
    int Close(size_t mark) {
        size_t n = len_ - mark;
        if (n < 128) {
            buf_[mark - 1] = static_cast<unsigned char>(n);
            return kOk;
        }
        unsigned char tmp[4];
        int k = 0;
        for (size_t v = n; v; v >>= 8) tmp[k++] = static_cast<unsigned char>(v & 0xff);
        if (!Reserve(static_cast<size_t>(k))) return Fail(kNoMemory, "out of memory");
        memmove(buf_ + mark + k, buf_ + mark, n);
        buf_[mark - 1] = static_cast<unsigned char>(0x80 | k);
        for (int i = 0; i < k; ++i) buf_[mark + i] = tmp[k - 1 - i];
        len_ += static_cast<size_t>(k);
        return kOk;
    }
    void Take(uint32_t *length, unsigned char **out) {
        *length = static_cast<uint32_t>(len_);
        *out = buf_;
        buf_ = nullptr;
    }

    int Value(const Type &t, const void *v, int depth);
    int Element(const Type &t, const void *v, TagMode mode, uint8_t cls, uint32_t num, int depth);
    int Content(const Type &t, const void *v, int depth);
    int MapFail(int r, uint32_t code, const Type &t) {
        if (r == kNoMemory) return Fail(kNoMemory, "out of memory", &t);
        if (err_ && err_->empty()) {
            char tmp[64];
            snprintf(tmp, sizeof tmp, "value not convertible (0x%08x)", code);
            return Fail(kBadArg, tmp, &t);
        }
        return kBadArg;
    }

  private:
    const Hooks &h_;
    std::string *err_;
    unsigned char *buf_ = nullptr;
    size_t len_ = 0;
    size_t cap_ = 0;
};

int64_t ReadInt(const void *p, uint8_t width, bool is_unsigned) {
    switch (width) {
    case 1:
        if (is_unsigned) return *static_cast<const uint8_t *>(p);
        return *static_cast<const int8_t *>(p);
    case 2:
        if (is_unsigned) return *static_cast<const uint16_t *>(p);
        return *static_cast<const int16_t *>(p);
    case 4:
        if (is_unsigned) return *static_cast<const uint32_t *>(p);
        return *static_cast<const int32_t *>(p);
    default: {
        int64_t v;
        memcpy(&v, p, sizeof v);
        return v;
    }
    }
}

bool WriteInt(void *p, uint8_t width, bool is_unsigned, int64_t v) {
    switch (width) {
    case 1:
        if (is_unsigned ? (v < 0 || v > UINT8_MAX) : (v < INT8_MIN || v > INT8_MAX)) return false;
        *static_cast<uint8_t *>(p) = static_cast<uint8_t>(v);
        return true;
    case 2:
        if (is_unsigned ? (v < 0 || v > UINT16_MAX) : (v < INT16_MIN || v > INT16_MAX)) return false;
        *static_cast<uint16_t *>(p) = static_cast<uint16_t>(v);
        return true;
    case 4:
        if (is_unsigned ? (v < 0 || v > UINT32_MAX) : (v < INT32_MIN || v > INT32_MAX)) return false;
        *static_cast<uint32_t *>(p) = static_cast<uint32_t>(v);
        return true;
    default:
        *static_cast<int64_t *>(p) = v;
        return true;
    }
}

// Minimal two's complement; `big` marks an unsigned 64-bit value above
// the signed range, which takes a leading zero octet.
int EncodeIntContent(Writer &w, int64_t v, bool big) {
    unsigned char tmp[9];
    tmp[0] = 0;
    for (int i = 8; i >= 1; --i) tmp[i] = static_cast<unsigned char>((static_cast<uint64_t>(v) >> (8 * (8 - i))) & 0xff);
    if (big) return w.Put(tmp, 9);
    int start = 1;
    while (start < 8 && ((tmp[start] == 0 && !(tmp[start + 1] & 0x80)) ||
                         (tmp[start] == 0xff && (tmp[start + 1] & 0x80))))
        ++start;
    return w.Put(tmp + start, static_cast<size_t>(9 - start));
}

int EncodeRealContent(Writer &w, double d) {
    if (d == 0.0) {
        if (std::signbit(d)) return w.PutByte(0x43);
        return kOk;
    }
    if (std::isnan(d)) return w.PutByte(0x42);
    if (std::isinf(d)) return w.PutByte(d > 0 ? 0x40 : 0x41);
    int exp = 0;
    double m = std::frexp(std::fabs(d), &exp); // 0.5 <= m < 1
    // Mantissa as an odd integer.
    uint64_t mant = static_cast<uint64_t>(std::ldexp(m, 53));
    exp -= 53;
    while (!(mant & 1)) {
        mant >>= 1;
        ++exp;
    }
    unsigned char first = 0x80 | (d < 0 ? 0x40 : 0);
    unsigned char eb[4];
    int en;
    if (exp >= -128 && exp <= 127) {
        en = 1;
        eb[0] = static_cast<unsigned char>(static_cast<int8_t>(exp));
    } else {
        en = 2;
        eb[0] = static_cast<unsigned char>((exp >> 8) & 0xff);
        eb[1] = static_cast<unsigned char>(exp & 0xff);
        first |= 1;
    }
    if (int r = w.PutByte(first)) return r;
    if (int r = w.Put(eb, static_cast<size_t>(en))) return r;
    unsigned char mb[8];
    int mn = 0;
    for (uint64_t v = mant; v; v >>= 8) mb[mn++] = static_cast<unsigned char>(v & 0xff);
    for (int i = mn - 1; i >= 0; --i)
        if (int r = w.PutByte(mb[i])) return r;
    return kOk;
}

int Writer::Content(const Type &t, const void *v, int depth) {
    const auto *base = static_cast<const unsigned char *>(v);
    switch (t.kind) {
    case Kind::Bool: return PutByte(ReadInt(v, t.width, true) ? 0xff : 0x00);
    case Kind::Int:
    case Kind::Enum: {
        int64_t iv = ReadInt(v, t.width, t.flags & kUnsigned);
        return EncodeIntContent(*this, iv, t.width == 8 && (t.flags & kUnsigned) && iv < 0);
    }
    case Kind::Real: {
        double d;
        memcpy(&d, v, sizeof d);
        return EncodeRealContent(*this, d);
    }
    case Kind::Null: return kOk;
    case Kind::Octets:
    case Kind::Open: {
        const auto *o = static_cast<const OctetsField *>(v);
        if (o->length && !o->value) return Fail(kBadArg, "octets without address", &t);
        if (t.max && o->length > t.max) return Fail(kLimit, "string too long", &t);
        return Put(o->value, o->length);
    }
    case Kind::Oid: {
        const auto *o = static_cast<const OctetsField *>(v);
        if (!o->length || !o->value) return Fail(kBadArg, "empty object identifier", &t);
        return Put(o->value, o->length);
    }
    case Kind::OctetsIn: {
        const auto *o = static_cast<const OctetsInField *>(v);
        if (o->length > t.max) return Fail(kLimit, "string too long", &t);
        return Put(o->value, o->length);
    }
    case Kind::StringIn: {
        const char *s = static_cast<const char *>(v);
        size_t n = strnlen(s, t.max + 1);
        if (n > t.max) return Fail(kLimit, "string not terminated", &t);
        return Put(s, n);
    }
    case Kind::Seq:
    case Kind::Set:
        for (uint32_t i = 0; i < t.nmembers; ++i) {
            const Member &m = t.members[i];
            if (m.presence && !(base[0] & m.presence)) continue;
            const void *mv = base + m.offset;
            if (m.ptr_optional && !*static_cast<void *const *>(mv)) continue;
            if (int r = Element(*m.type, mv, m.mode, m.tag_class, m.tag_number, depth)) return r;
        }
        return kOk;
    case Kind::SeqOf:
    case Kind::SetOf: {
        const void *node = *static_cast<void *const *>(v);
        for (; node; node = *static_cast<void *const *>(node))
            if (int r = Value(*t.elem, static_cast<const unsigned char *>(node) + t.elem_offset, depth))
                return r;
        return kOk;
    }
    default: return Fail(kBadArg, "type cannot be encoded here", &t);
    }
}

int Writer::Element(const Type &t, const void *v, TagMode mode, uint8_t cls, uint32_t num, int depth) {
    if (depth > kMaxDepth) return Fail(kTooDeep, "nesting too deep", &t);
    if (t.kind == Kind::Map) {
        WireBlock w(h_, t);
        uint32_t code = 0;
        if (int r = w.Build(v, &code)) return MapFail(r, code, t);
        return Element(*t.elem, w.get(), mode, cls, num, depth + 1);
    }
    if (t.kind == Kind::Ptr) {
        const void *p = *static_cast<void *const *>(v);
        if (!p) return Fail(kBadArg, "null component", &t);
        return Element(*t.elem, p, mode, cls, num, depth);
    }
    if (mode == TagMode::Explicit ||
        (mode == TagMode::Implicit && (t.kind == Kind::Choice || t.kind == Kind::Open))) {
        size_t mark;
        if (int r = PutTag(cls, true, num)) return r;
        if (int r = Open(&mark)) return r;
        if (int r = Value(t, v, depth + 1)) return r;
        return Close(mark);
    }
    if (mode == TagMode::Implicit) {
        size_t mark;
        if (int r = PutTag(cls, IsConstructed(t), num)) return r;
        if (int r = Open(&mark)) return r;
        if (int r = Content(t, v, depth + 1)) return r;
        return Close(mark);
    }
    return Value(t, v, depth);
}

int Writer::Value(const Type &t, const void *v, int depth) {
    if (depth > kMaxDepth) return Fail(kTooDeep, "nesting too deep", &t);
    switch (t.kind) {
    case Kind::Map: {
        WireBlock w(h_, t);
        uint32_t code = 0;
        if (int r = w.Build(v, &code)) return MapFail(r, code, t);
        return Value(*t.elem, w.get(), depth + 1);
    }
    case Kind::Ptr: {
        const void *p = *static_cast<void *const *>(v);
        if (!p) return Fail(kBadArg, "null component", &t);
        return Value(*t.elem, p, depth);
    }
    case Kind::Choice: {
        uint32_t c = GetChoice(t, v);
        for (uint32_t i = 0; i < t.nmembers; ++i) {
            const Member &m = t.members[i];
            if (m.choice == c)
                return Element(*m.type, static_cast<const unsigned char *>(v) + m.offset, m.mode,
                               m.tag_class, m.tag_number, depth + 1);
        }
        return Fail(kBadArg, "choice out of range", &t);
    }
    case Kind::Open: {
        const auto *o = static_cast<const OctetsField *>(v);
        if (!o->length || !o->value) return Fail(kBadArg, "empty open type", &t);
        return Put(o->value, o->length);
    }
    default: {
        size_t mark;
        if (int r = PutTag(kUniversal, IsConstructed(t), UniversalTag(t))) return r;
        if (int r = Open(&mark)) return r;
        if (int r = Content(t, v, depth + 1)) return r;
        return Close(mark);
    }
    }
}

// ---- Decoding -----------------------------------------------------------

struct Tlv {
    uint8_t cls;
    bool cons;
    uint32_t num;
    const unsigned char *start;  // first byte of the tag
    const unsigned char *cb;     // first content byte
    const unsigned char *ce;     // end of the content
    const unsigned char *next;   // after the element (and its end-of-contents)
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
    int Skip(const unsigned char *p, const unsigned char *end, const unsigned char **after, int depth);
    bool Matches(const Type &t, TagMode mode, uint8_t cls, uint32_t num, const Tlv &e) const;
    int Element(const Type &t, void *v, TagMode mode, uint8_t cls, uint32_t num, const Tlv &e, int depth);
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

int Reader::Skip(const unsigned char *p, const unsigned char *end, const unsigned char **after, int depth) {
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

int DecodeReal(const unsigned char *p, size_t n, double *out) {
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
        double v = std::ldexp(m, static_cast<int>(std::max<int64_t>(-100000, std::min<int64_t>(100000, e * shift + scale))));
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

int Reader::Content(const Type &t, void *v, const Tlv &e, int depth) {
    auto *base = static_cast<unsigned char *>(v);
    size_t n = static_cast<size_t>(e.ce - e.cb);
    bool strings = t.kind == Kind::Octets || t.kind == Kind::OctetsIn || t.kind == Kind::StringIn;
    if (e.cons != IsConstructed(t) && !(strings && e.cons))
        return Fail(kBadData, e.cons ? "unexpected constructed form" : "unexpected primitive form", &t);
    switch (t.kind) {
    case Kind::Bool:
        if (n != 1) return Fail(kBadData, "bad boolean", &t);
        WriteInt(v, t.width, true, e.cb[0] ? 1 : 0);
        return kOk;
    case Kind::Int:
    case Kind::Enum: {
        if (n == 0) return Fail(kBadData, "empty integer", &t);
        if (n > 1 && ((e.cb[0] == 0 && !(e.cb[1] & 0x80)) || (e.cb[0] == 0xff && (e.cb[1] & 0x80))))
            return Fail(kBadData, "integer not minimal", &t);
        if (n > 8 && !(n == 9 && e.cb[0] == 0)) return Fail(kLimit, "integer too large", &t);
        int64_t val = (e.cb[0] & 0x80) ? -1 : 0;
        uint64_t u = static_cast<uint64_t>(val);
        for (size_t i = 0; i < n; ++i) u = (u << 8) | e.cb[i];
        val = static_cast<int64_t>(u);
        if (t.width == 8 && (t.flags & kUnsigned)) {
            if (e.cb[0] & 0x80) return Fail(kLimit, "integer outside its field", &t);
            memcpy(v, &u, sizeof u);
            return kOk;
        }
        if (n == 9) return Fail(kLimit, "integer too large", &t);
        if (!WriteInt(v, t.width, t.flags & kUnsigned, val))
            return Fail(kLimit, "integer outside its field", &t);
        return kOk;
    }
    case Kind::Real: {
        double d;
        if (DecodeReal(e.cb, n, &d)) return Fail(kBadData, "bad real", &t);
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
            if (int r = Element(*m.type, base + m.offset, m.mode, m.tag_class, m.tag_number, c, depth + 1))
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
            if (int r = Element(*m.type, base + m.offset, m.mode, m.tag_class, m.tag_number, c, depth + 1))
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
            if (!Matches(*t.elem, TagMode::None, 0, 0, c)) return Fail(kBadData, "unexpected element", &t);
            void *node = Alloc(t.node_size);
            if (!node) return Fail(kNoMemory, "out of memory", &t);
            *link = node;
            link = static_cast<void **>(node);
            if (int r = Value(*t.elem, static_cast<unsigned char *>(node) + t.elem_offset, c, depth + 1))
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

int Reader::Element(const Type &t, void *v, TagMode mode, uint8_t cls, uint32_t num, const Tlv &e, int depth) {
    if (depth > kMaxDepth) return Fail(kTooDeep, "nesting too deep", &t);
    if (t.kind == Kind::Map)
        return MapIn(t, v, [&](void *wire) { return Element(*t.elem, wire, mode, cls, num, e, depth + 1); });
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
    case Kind::Map: return MapIn(t, v, [&](void *wire) { return Value(*t.elem, wire, e, depth + 1); });
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
                return Element(*m.type, static_cast<unsigned char *>(v) + m.offset, m.mode, m.tag_class,
                               m.tag_number, e, depth + 1);
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
        if (e.cls != kUniversal || e.num != UniversalTag(t)) return Fail(kBadData, "unexpected tag", &t);
        return Content(t, v, e, depth + 1);
    }
}

// ---- Free and print -----------------------------------------------------

void FreeMemberList(const Hooks &h, const Type &t, unsigned char *base, int depth) {
    for (uint32_t i = 0; i < t.nmembers; ++i) {
        const Member &m = t.members[i];
        if (m.presence && !(base[0] & m.presence)) continue;
        FreeIn(h, *m.type, base + m.offset, depth + 1);
    }
}

void FreeIn(const Hooks &h, const Type &t, void *v, int depth) {
    auto *base = static_cast<unsigned char *>(v);
    switch (t.kind) {
    case Kind::Octets:
    case Kind::Open:
    case Kind::Oid: {
        auto *o = static_cast<OctetsField *>(v);
        if (o->value && !(t.kind == Kind::Oid && (t.flags & kInPlace))) h.free(o->value);
        o->value = nullptr;
        o->length = 0;
        return;
    }
    case Kind::Seq:
    case Kind::Set: FreeMemberList(h, t, base, depth); return;
    case Kind::Map:
        if (t.map->release) t.map->release(h, v);
        return;
    case Kind::Choice: {
        uint32_t c = GetChoice(t, v);
        for (uint32_t i = 0; i < t.nmembers; ++i)
            if (t.members[i].choice == c) FreeIn(h, *t.members[i].type, base + t.members[i].offset, depth + 1);
        return;
    }
    case Kind::SeqOf:
    case Kind::SetOf: {
        void *node = *static_cast<void **>(v);
        while (node) {
            void *next = *static_cast<void **>(node);
            FreeIn(h, *t.elem, static_cast<unsigned char *>(node) + t.elem_offset, depth + 1);
            h.free(node);
            node = next;
        }
        *static_cast<void **>(v) = nullptr;
        return;
    }
    case Kind::Ptr: {
        void *p = *static_cast<void **>(v);
        if (p) {
            FreeIn(h, *t.elem, p, depth + 1);
            h.free(p);
        }
        *static_cast<void **>(v) = nullptr;
        return;
    }
    default: return;
    }
}

void Indent(std::string &out, int depth) { out.append(static_cast<size_t>(depth) * 2, ' '); }

void PrintBytes(std::string &out, const unsigned char *p, size_t n, bool text) {
    char tmp[8];
    if (text) {
        out += '"';
        for (size_t i = 0; i < n; ++i) {
            if (p[i] >= 0x20 && p[i] < 0x7f && p[i] != '"' && p[i] != '\\') {
                out += static_cast<char>(p[i]);
            } else {
                snprintf(tmp, sizeof tmp, "\\x%02x", p[i]);
                out += tmp;
            }
        }
        out += '"';
        return;
    }
    out += '\'';
    for (size_t i = 0; i < n; ++i) {
        snprintf(tmp, sizeof tmp, "%02X", p[i]);
        out += tmp;
    }
    out += "'H";
}

void PrintIn(const Type &t, const void *v, std::string &out, int depth) {
    const auto *base = static_cast<const unsigned char *>(v);
    char tmp[64];
    if (depth > kMaxDepth) {
        out += "...";
        return;
    }
    switch (t.kind) {
    case Kind::Bool: out += ReadInt(v, t.width, true) ? "TRUE" : "FALSE"; return;
    case Kind::Int:
    case Kind::Enum:
        snprintf(tmp, sizeof tmp, "%lld", static_cast<long long>(ReadInt(v, t.width, t.flags & kUnsigned)));
        out += tmp;
        return;
    case Kind::Real: {
        double d;
        memcpy(&d, v, sizeof d);
        snprintf(tmp, sizeof tmp, "%.17g", d);
        out += tmp;
        return;
    }
    case Kind::Null: out += "NULL"; return;
    case Kind::Octets:
    case Kind::Open: {
        const auto *o = static_cast<const OctetsField *>(v);
        PrintBytes(out, o->value, o->value ? o->length : 0, t.univ != 0 && t.univ != 4);
        return;
    }
    case Kind::Oid: {
        const auto *o = static_cast<const OctetsField *>(v);
        out += '{';
        uint64_t sub = 0;
        bool first = true;
        for (uint32_t i = 0; o->value && i < o->length; ++i) {
            sub = (sub << 7) | (o->value[i] & 0x7f);
            if (o->value[i] & 0x80) continue;
            if (first) {
                unsigned a = sub < 40 ? 0 : sub < 80 ? 1 : 2;
                snprintf(tmp, sizeof tmp, "%u %llu", a, static_cast<unsigned long long>(sub - 40ull * a));
                first = false;
            } else {
                snprintf(tmp, sizeof tmp, " %llu", static_cast<unsigned long long>(sub));
            }
            out += tmp;
            sub = 0;
        }
        out += '}';
        return;
    }
    case Kind::OctetsIn: {
        const auto *o = static_cast<const OctetsInField *>(v);
        PrintBytes(out, o->value, o->length <= t.max ? o->length : t.max, false);
        return;
    }
    case Kind::StringIn: {
        const char *s = static_cast<const char *>(v);
        PrintBytes(out, reinterpret_cast<const unsigned char *>(s), strnlen(s, t.max + 1), true);
        return;
    }
    case Kind::Seq:
    case Kind::Set: {
        out += "{\n";
        bool any = false;
        for (uint32_t i = 0; i < t.nmembers; ++i) {
            const Member &m = t.members[i];
            if (m.presence && !(base[0] & m.presence)) continue;
            if (m.ptr_optional && !*static_cast<void *const *>(static_cast<const void *>(base + m.offset))) continue;
            if (any) out += ",\n";
            Indent(out, depth + 1);
            out += m.name;
            out += ' ';
            PrintIn(*m.type, base + m.offset, out, depth + 1);
            any = true;
        }
        out += '\n';
        Indent(out, depth);
        out += '}';
        return;
    }
    case Kind::Choice: {
        uint32_t c = GetChoice(t, v);
        for (uint32_t i = 0; i < t.nmembers; ++i) {
            if (t.members[i].choice != c) continue;
            out += t.members[i].name;
            out += " : ";
            PrintIn(*t.members[i].type, base + t.members[i].offset, out, depth);
            return;
        }
        out += "<bad choice>";
        return;
    }
    case Kind::SeqOf:
    case Kind::SetOf: {
        out += "{\n";
        const void *node = *static_cast<void *const *>(v);
        for (bool first = true; node; node = *static_cast<void *const *>(node), first = false) {
            if (!first) out += ",\n";
            Indent(out, depth + 1);
            PrintIn(*t.elem, static_cast<const unsigned char *>(node) + t.elem_offset, out, depth + 1);
        }
        out += '\n';
        Indent(out, depth);
        out += '}';
        return;
    }
    case Kind::Ptr: {
        const void *p = *static_cast<void *const *>(v);
        if (!p) {
            out += "<null>";
            return;
        }
        PrintIn(*t.elem, p, out, depth);
        return;
    }
    case Kind::Map: {
        const Hooks heap{[](size_t n) { return malloc(n ? n : 1); }, [](void *p) { free(p); }};
        WireBlock w(heap, t);
        uint32_t code = 0;
        if (w.Build(v, &code)) {
            out += "<not convertible>";
            return;
        }
        PrintIn(*t.elem, w.get(), out, depth);
        return;
    }
    }
}

} // namespace

int Encode(const Hooks &h, const Type &t, const void *value, uint32_t *length, unsigned char **out,
           std::string *error) {
    *length = 0;
    *out = nullptr;
    Writer w(h, error);
    if (!value) return w.Fail(kBadArg, "null structure", &t);
    if (int r = w.Value(t, value, 0)) return r;
    if (!w.Reserve(1)) return w.Fail(kNoMemory, "out of memory");
    w.Take(length, out);
    return kOk;
}

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

void FreeContent(const Hooks &h, const Type &t, void *value) {
    if (value) FreeIn(h, t, value, 0);
}

void FreeTree(const Hooks &h, const Type &t, void *value) {
    if (!value) return;
    FreeIn(h, t, value, 0);
    h.free(value);
}

void Print(const Type &t, const void *value, std::string &out) {
    out += t.name;
    out += ' ';
    if (!value) {
        out += "<null>";
        return;
    }
    PrintIn(t, value, out, 0);
}

} // namespace vrber
