// The BER encoder behind the type descriptions of ber_runtime.h: definite,
// minimal lengths and primitive strings.
#include "encoding/ber_runtime_internal.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace vrcore::ber {

namespace {

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

} // namespace

size_t IntContent(int64_t v, bool big, unsigned char *out) {
    unsigned char tmp[9];
    tmp[0] = 0;
    for (int i = 8; i >= 1; --i)
        tmp[i] = static_cast<unsigned char>((static_cast<uint64_t>(v) >> (8 * (8 - i))) & 0xff);
    int start = 1;
    if (big) {
        start = 0;
    } else {
        while (start < 8 && ((tmp[start] == 0 && !(tmp[start + 1] & 0x80)) ||
                             (tmp[start] == 0xff && (tmp[start + 1] & 0x80))))
            ++start;
    }
    size_t n = static_cast<size_t>(9 - start);
    memcpy(out, tmp + start, n);
    return n;
}

size_t RealContent(double d, unsigned char *out) {
    if (d == 0.0) {
        if (!std::signbit(d)) return 0;
        out[0] = 0x43;
        return 1;
    }
    if (std::isnan(d) || std::isinf(d)) {
        out[0] = std::isnan(d) ? 0x42 : d > 0 ? 0x40 : 0x41;
        return 1;
    }
    int exp = 0;
    double m = std::frexp(std::fabs(d), &exp); // 0.5 <= m < 1
    // Mantissa as an odd integer.
    uint64_t mant = static_cast<uint64_t>(std::ldexp(m, 53));
    exp -= 53;
    while (!(mant & 1)) {
        mant >>= 1;
        ++exp;
    }
    size_t n = 0;
    unsigned char first = 0x80 | (d < 0 ? 0x40 : 0);
    if (exp >= -128 && exp <= 127) {
        out[n++] = first;
        out[n++] = static_cast<unsigned char>(static_cast<int8_t>(exp));
    } else {
        out[n++] = first | 1;
        out[n++] = static_cast<unsigned char>((exp >> 8) & 0xff);
        out[n++] = static_cast<unsigned char>(exp & 0xff);
    }
    unsigned char mb[8];
    int mn = 0;
    for (uint64_t v = mant; v; v >>= 8) mb[mn++] = static_cast<unsigned char>(v & 0xff);
    for (int i = mn - 1; i >= 0; --i) out[n++] = mb[i];
    return n;
}

namespace {

int Writer::Content(const Type &t, const void *v, int depth) {
    const auto *base = static_cast<const unsigned char *>(v);
    switch (t.kind) {
    case Kind::Bool: return PutByte(ReadInt(v, t.width, true) ? 0xff : 0x00);
    case Kind::Int:
    case Kind::Enum: {
        int64_t iv = ReadInt(v, t.width, t.flags & kUnsigned);
        unsigned char tmp[kMaxIntContent];
        return Put(tmp, IntContent(iv, t.width == 8 && (t.flags & kUnsigned) && iv < 0, tmp));
    }
    case Kind::Real: {
        double d;
        memcpy(&d, v, sizeof d);
        unsigned char tmp[kMaxRealContent];
        return Put(tmp, RealContent(d, tmp));
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
            if (int r =
                    Value(*t.elem, static_cast<const unsigned char *>(node) + t.elem_offset, depth))
                return r;
        return kOk;
    }
    default: return Fail(kBadArg, "type cannot be encoded here", &t);
    }
}

int Writer::Element(const Type &t, const void *v, TagMode mode, uint8_t cls, uint32_t num,
                    int depth) {
    if (depth > kMaxDepth) return Fail(kTooDeep, "nesting too deep", &t);
    if (t.kind == Kind::Map) {
        WireBlock w(h_, t);
        uint32_t code = 0;
        if (int r = w.Build(v, &code)) return MapFail(r, code, t);
        return Element(*t.elem, w.Get(), mode, cls, num, depth + 1);
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
        return Value(*t.elem, w.Get(), depth + 1);
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

} // namespace vrcore::ber
