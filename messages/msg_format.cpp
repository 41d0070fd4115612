// The formatter behind MSG_sprintf and friends. Formats usually come from
// message catalogs, i.e. from files: a format is parsed strictly, a
// positional format is checked completely before any argument is read, and
// argument records are never read beyond their count.
#include "messages/msg_format.h"

#include <cfenv>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "system/guard.h"
#include "vrcore/msg.h"

namespace vrcore::messages {

// ---------------------------------------------------------------- sinks

void StringSink::Write(const char *s, size_t n) {
    count_ += n;
    if (pos_ + 1 >= cap_ || cap_ == 0) return;
    size_t room = cap_ - 1 - pos_;
    size_t k = n < room ? n : room;
    std::memcpy(buf_ + pos_, s, k);
    pos_ += k;
}

void StringSink::Pad(char c, size_t n) {
    count_ += n;
    if (pos_ + 1 >= cap_ || cap_ == 0) return;
    size_t room = cap_ - 1 - pos_;
    size_t k = n < room ? n : room;
    std::memset(buf_ + pos_, c, k);
    pos_ += k;
}

void StringSink::Finish() {
    if (cap_ > 0) buf_[pos_] = '\0';
}

void StringSink::Reset() {
    pos_ = 0;
    count_ = 0;
    Finish();
}

void StreamSink::Write(const char *s, size_t n) {
    count_ += n;
    if (failed_) return;
    if (used_ + n > sizeof buf_) {
        Flush();
        if (n >= sizeof buf_) {
            if (std::fwrite(s, 1, n, f_) != n) failed_ = true;
            return;
        }
    }
    std::memcpy(buf_ + used_, s, n);
    used_ += n;
}

void StreamSink::Pad(char c, size_t n) {
    count_ += n;
    while (n > 0 && !failed_) {
        if (used_ == sizeof buf_) Flush();
        size_t k = sizeof buf_ - used_;
        if (k > n) k = n;
        std::memset(buf_ + used_, c, k);
        used_ += k;
        n -= k;
    }
}

void StreamSink::Flush() {
    if (used_ > 0 && !failed_ && std::fwrite(buf_, 1, used_, f_) != used_) failed_ = true;
    used_ = 0;
}

namespace {

// ------------------------------------------------------- conversions

enum Flag : unsigned {
    kMinus = 1,
    kPlus = 2,
    kSpace = 4,
    kHash = 8,
    kZero = 16,
};

// How an argument is read from the variable argument list.
enum class ArgType : uint8_t { None, Int, Long, LLong, Double, LDouble, Ptr };

struct ArgValue {
    union {
        long long i;
        double d;
        long double ld;
        const void *p;
    };
    size_t len; // counted strings: byte count; otherwise SIZE_MAX
};

// One parsed conversion. Positions are 1-based; 0 means "none".
struct ConvSpec {
    unsigned flags = 0;
    int width = -1;
    int prec = -1;
    int width_pos = 0; // '*': position of the width argument
    int prec_pos = 0;
    int arg_pos = 0;
    bool width_numbered = false;
    bool prec_numbered = false;
    char len = 0; // 0, 'H' (hh), 'h', 'l', 'q' (ll), 'L', 'j', 'z', 't'
    char conv = 0;
};

ArgType ValueType(const ConvSpec &s) {
    switch (s.conv) {
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
        switch (s.len) {
        case 'l':
        case 'j':
        case 'z':
        case 't': return ArgType::Long;
        case 'q':
        case 'L': return ArgType::LLong;
        default: return ArgType::Int;
        }
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A': return s.len == 'L' ? ArgType::LDouble : ArgType::Double;
    case 'c': return ArgType::Int;
    case 's':
    case 'p':
    case 'n': return ArgType::Ptr;
    default: return ArgType::None; // "%%"
    }
}

// Reads a decimal number of at most INT_MAX. Returns false on overflow.
bool ReadNumber(const char *&p, int &out) {
    long long v = 0;
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (*p - '0');
        if (v > INT_MAX) return false;
        ++p;
    }
    out = static_cast<int>(v);
    return true;
}

// Parses an asterisk's optional "digits$". `next` hands out sequential
// positions. Returns false when digits are not followed by '$'.
bool ReadStarPos(const char *&p, int &pos, bool &numbered, int &next) {
    if (*p >= '1' && *p <= '9') {
        int n;
        if (!ReadNumber(p, n) || *p != '$') return false;
        ++p;
        pos = n;
        numbered = true;
        return true;
    }
    pos = ++next;
    return true;
}

// Parses one conversion; `p` points just after '%' and is left after the
// conversion character. `next` is the last sequential position handed out.
bool ParseConvSpec(const char *&p, ConvSpec &s, int &next, bool &numbered) {
    numbered = false;
    if (*p >= '1' && *p <= '9') {
        const char *q = p;
        int n;
        if (!ReadNumber(q, n)) return false;
        if (*q == '$') {
            s.arg_pos = n;
            numbered = true;
            p = q + 1;
        }
    }
    for (;; ++p) {
        switch (*p) {
        case '-': s.flags |= kMinus; continue;
        case '+': s.flags |= kPlus; continue;
        case ' ': s.flags |= kSpace; continue;
        case '#': s.flags |= kHash; continue;
        case '0': s.flags |= kZero; continue;
        default: break;
        }
        break;
    }
    if (*p == '*') {
        ++p;
        if (!ReadStarPos(p, s.width_pos, s.width_numbered, next)) return false;
    } else if (*p >= '1' && *p <= '9') {
        if (!ReadNumber(p, s.width)) return false;
    }
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            ++p;
            if (!ReadStarPos(p, s.prec_pos, s.prec_numbered, next)) return false;
        } else {
            if (!ReadNumber(p, s.prec)) return false;
        }
    }
    switch (*p) {
    case 'h':
        ++p;
        if (*p == 'h') {
            s.len = 'H';
            ++p;
        } else
            s.len = 'h';
        break;
    case 'l':
        ++p;
        if (*p == 'l') {
            s.len = 'q';
            ++p;
        } else
            s.len = 'l';
        break;
    case 'q':
    case 'L':
    case 'j':
    case 'z':
    case 't': s.len = *p++; break;
    default: break;
    }
    s.conv = *p;
    switch (s.conv) {
    case 'd':
    case 'i':
    case 'o':
    case 'u':
    case 'x':
    case 'X':
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
    case 'p':
    case 'n':
    case '%': break;
    case 'c':
    case 's':
        if (s.len != 0) return false; // wide characters are not supported
        break;
    default: return false; // includes the NUL of a format ending in '%'
    }
    ++p;
    if (s.conv != '%' && !numbered) s.arg_pos = ++next;
    return true;
}

// ------------------------------------------------------- argument sources

// Reads the arguments of a sequential format straight from the list.
struct VaSource {
    va_list *ap;
    bool Get(int, ArgType t, ArgValue &v) {
        v.len = SIZE_MAX;
        switch (t) {
        case ArgType::Int: v.i = va_arg(*ap, int); break;
        case ArgType::Long: v.i = va_arg(*ap, long); break;
        case ArgType::LLong: v.i = va_arg(*ap, long long); break;
        case ArgType::Double: v.d = va_arg(*ap, double); break;
        case ArgType::LDouble: v.ld = va_arg(*ap, long double); break;
        case ArgType::Ptr: v.p = va_arg(*ap, const void *); break;
        case ArgType::None: return false;
        }
        return true;
    }
};

// Arguments read beforehand into a table (positional formats, records).
// With `records`, an integer record serves every integer conversion and a
// double serves a long double one.
struct TableSource {
    const ArgValue *vals;
    const ArgType *types;
    int count;
    bool records;
    bool Get(int pos, ArgType t, ArgValue &v) const {
        if (pos < 1 || pos > count) return false;
        ArgType have = types[pos - 1];
        v = vals[pos - 1];
        if (have == t) return true;
        if (!records) return false;
        if (have == ArgType::Int && (t == ArgType::Long || t == ArgType::LLong)) return true;
        if (have == ArgType::Double && t == ArgType::LDouble) {
            v.ld = vals[pos - 1].d;
            return true;
        }
        return false;
    }
};

// ------------------------------------------------------------ rendering

template <class Out> void PadTo(Out &out, size_t have, int width, char c) {
    if (width > 0 && static_cast<size_t>(width) > have) out.Pad(c, width - have);
}

// Text with width and the '-' flag (strings, characters, "(nil)").
template <class Out> void PutPadded(Out &out, const ConvSpec &s, const char *text, size_t n) {
    if (!(s.flags & kMinus)) PadTo(out, n, s.width, ' ');
    out.Write(text, n);
    if (s.flags & kMinus) PadTo(out, n, s.width, ' ');
}

// "00" to "99", two characters each.
constexpr char kDigitPairs[] = "0001020304050607080910111213141516171819202122232425262728293031323"
                               "334353637383940414243444546474849"
                               "5051525354555657585960616263646566676869707172737475767778798081828"
                               "384858687888990919293949596979899";

template <class Out>
void PutInteger(Out &out, const ConvSpec &s, unsigned long long mag, bool neg, bool is_signed) {
    char digits[24];
    char *end = digits + sizeof digits;
    char *d = end;
    unsigned base = 10;
    const char *set = "0123456789abcdef";
    switch (s.conv) {
    case 'o': base = 8; break;
    case 'x':
    case 'p': base = 16; break;
    case 'X':
        base = 16;
        set = "0123456789ABCDEF";
        break;
    default: break;
    }
    // One loop per base, so that the divisions are by constants.
    if (!(s.prec == 0 && mag == 0)) {
        switch (base) {
        case 16:
            do {
                *--d = set[mag & 15];
                mag >>= 4;
            } while (mag);
            break;
        case 8:
            do {
                *--d = static_cast<char>('0' + (mag & 7));
                mag >>= 3;
            } while (mag);
            break;
        default:
            if (mag <= 0xFFFFFFFFu) { // two digits a step
                auto m = static_cast<uint32_t>(mag);
                for (; m >= 100; m /= 100) {
                    d -= 2;
                    std::memcpy(d, kDigitPairs + 2 * (m % 100), 2);
                }
                if (m >= 10) {
                    d -= 2;
                    std::memcpy(d, kDigitPairs + 2 * m, 2);
                } else {
                    *--d = static_cast<char>('0' + m);
                }
            } else {
                do {
                    *--d = static_cast<char>('0' + mag % 10);
                    mag /= 10;
                } while (mag);
            }
            break;
        }
    }
    size_t ndig = static_cast<size_t>(end - d);
    size_t zeros = s.prec > 0 && static_cast<size_t>(s.prec) > ndig ? s.prec - ndig : 0;
    if (s.conv == 'o' && (s.flags & kHash) && zeros == 0 && (ndig == 0 || *d != '0')) zeros = 1;
    char prefix[3];
    size_t np = 0;
    if (is_signed) {
        if (neg)
            prefix[np++] = '-';
        else if (s.flags & kPlus)
            prefix[np++] = '+';
        else if (s.flags & kSpace)
            prefix[np++] = ' ';
    }
    bool nonzero = ndig > 0 && !(ndig == 1 && *d == '0');
    if ((s.conv == 'p' || ((s.flags & kHash) && (s.conv == 'x' || s.conv == 'X'))) && nonzero) {
        prefix[np++] = '0';
        prefix[np++] = s.conv == 'X' ? 'X' : 'x';
    }
    size_t total = np + zeros + ndig;
    if (zeros == 0 && s.width <= static_cast<int>(total)) { // no padding: the common case
        if (np) out.Write(prefix, np);
        out.Write(d, ndig);
        return;
    }
    if (s.flags & kMinus) {
        out.Write(prefix, np);
        out.Pad('0', zeros);
        out.Write(d, ndig);
        PadTo(out, total, s.width, ' ');
    } else if ((s.flags & kZero) && s.prec < 0) {
        out.Write(prefix, np);
        PadTo(out, total, s.width, '0');
        out.Pad('0', zeros);
        out.Write(d, ndig);
    } else {
        PadTo(out, total, s.width, ' ');
        out.Write(prefix, np);
        out.Pad('0', zeros);
        out.Write(d, ndig);
    }
}

// Digits beyond these precisions are zeros for every finite value, so the
// runtime is asked for at most this many and the rest is padded.
inline constexpr int kDoublePrecCap = 1100;
inline constexpr int kLongDoublePrecCap = 16500;

// The common conversions of a finite double (e, f and g in either case,
// without '#') in the default rounding mode: the shortest correctly rounded
// digits the C library also gives, without a round trip through it. Returns
// the length, or 0 for every other case.
size_t FastFloat(char *buf, size_t size, const ConvSpec &s, double d) {
    std::chars_format style;
    switch (s.conv) {
    case 'e':
    case 'E': style = std::chars_format::scientific; break;
    case 'f':
    case 'F': style = std::chars_format::fixed; break;
    case 'g':
    case 'G': style = std::chars_format::general; break;
    default: return 0;
    }
    if ((s.flags & kHash) || !std::isfinite(d) || std::fegetround() != FE_TONEAREST) return 0;
    char *p = buf;
    if (!std::signbit(d) && (s.flags & (kPlus | kSpace))) *p++ = s.flags & kPlus ? '+' : ' ';
    auto [end, ec] = std::to_chars(p, buf + size, d, style, s.prec < 0 ? 6 : s.prec);
    if (ec != std::errc()) return 0;
    if (s.conv == 'E' || s.conv == 'G')
        for (char *q = p; q < end; ++q)
            if (*q == 'e') *q = 'E';
    return static_cast<size_t>(end - buf);
}

template <class Out> bool PutFloat(Out &out, const ConvSpec &s, const ArgValue &v, bool is_long) {
    int cap = is_long ? kLongDoublePrecCap : kDoublePrecCap;
    int prec = s.prec;
    size_t extra = 0;
    bool finite = is_long ? std::isfinite(v.ld) : std::isfinite(v.d);
    if (prec > cap) {
        bool pads = s.conv != 'g' && s.conv != 'G' ? true : (s.flags & kHash) != 0;
        if (finite && pads) extra = static_cast<size_t>(prec - cap);
        prec = cap;
    }
    char fmt[16];
    size_t f = 0;
    fmt[f++] = '%';
    if (s.flags & kPlus) fmt[f++] = '+';
    if (s.flags & kSpace) fmt[f++] = ' ';
    if (s.flags & kHash) fmt[f++] = '#';
    if (prec >= 0) fmt[f++] = '.', fmt[f++] = '*';
    if (is_long) fmt[f++] = 'L';
    fmt[f++] = s.conv;
    fmt[f] = '\0';

    char local[400];
    char *text = local;
    int n;
    auto render = [&](char *buf, size_t size) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        if (prec >= 0)
            return is_long ? std::snprintf(buf, size, fmt, prec, v.ld)
                           : std::snprintf(buf, size, fmt, prec, v.d);
        return is_long ? std::snprintf(buf, size, fmt, v.ld) : std::snprintf(buf, size, fmt, v.d);
#pragma GCC diagnostic pop
    };
    size_t fast = is_long || prec != s.prec ? 0 : FastFloat(local, sizeof local, s, v.d);
    n = fast ? static_cast<int>(fast) : render(local, sizeof local);
    if (n < 0) return false;
    if (static_cast<size_t>(n) >= sizeof local) {
        text = static_cast<char *>(std::malloc(static_cast<size_t>(n) + 1));
        if (!text) return false;
        render(text, static_cast<size_t>(n) + 1);
    }
    size_t len = static_cast<size_t>(n);
    // Sign and "0x" stay in front of zero padding.
    size_t lead = 0;
    if (len > 0 && (text[0] == '-' || text[0] == '+' || text[0] == ' ')) lead = 1;
    if ((s.conv == 'a' || s.conv == 'A') && len >= lead + 2 && text[lead] == '0') lead += 2;
    // Padding zeros of an over-long precision go before the exponent.
    size_t split = len;
    if (extra) {
        char e1 = (s.conv == 'a' || s.conv == 'A') ? 'p' : 'e';
        for (size_t i = lead; i < len; ++i) {
            if (text[i] == e1 || text[i] == e1 - 32) {
                split = i;
                break;
            }
        }
    }
    size_t total = len + extra;
    if (s.flags & kMinus) {
        out.Write(text, split);
        out.Pad('0', extra);
        out.Write(text + split, len - split);
        PadTo(out, total, s.width, ' ');
    } else if ((s.flags & kZero) && finite) {
        out.Write(text, lead);
        PadTo(out, total, s.width, '0');
        out.Write(text + lead, split - lead);
        out.Pad('0', extra);
        out.Write(text + split, len - split);
    } else {
        PadTo(out, total, s.width, ' ');
        out.Write(text, split);
        out.Pad('0', extra);
        out.Write(text + split, len - split);
    }
    if (text != local) std::free(text);
    return true;
}

template <class Out, class Source> bool Convert(Out &out, ConvSpec &s, Source &src) {
    ArgValue v;
    if (s.width_pos) {
        if (!src.Get(s.width_pos, ArgType::Int, v)) return false;
        int w = static_cast<int>(v.i);
        if (w < 0) {
            if (w == INT_MIN) return false;
            s.flags |= kMinus;
            w = -w;
        }
        s.width = w;
    }
    if (s.prec_pos) {
        if (!src.Get(s.prec_pos, ArgType::Int, v)) return false;
        int pr = static_cast<int>(v.i);
        s.prec = pr < 0 ? -1 : pr;
    }
    if (s.conv == '%') {
        out.Write("%", 1);
        return true;
    }
    ArgType t = ValueType(s);
    if (!src.Get(s.arg_pos, t, v)) return false;
    switch (s.conv) {
    case 'd':
    case 'i': {
        long long x = v.i;
        switch (s.len) {
        case 'H': x = static_cast<signed char>(x); break;
        case 'h': x = static_cast<short>(x); break;
        case 0: x = static_cast<int>(x); break;
        default: break;
        }
        bool neg = x < 0;
        unsigned long long mag =
            neg ? 0ULL - static_cast<unsigned long long>(x) : static_cast<unsigned long long>(x);
        PutInteger(out, s, mag, neg, true);
        return true;
    }
    case 'o':
    case 'u':
    case 'x':
    case 'X': {
        unsigned long long x = static_cast<unsigned long long>(v.i);
        switch (s.len) {
        case 'H': x = static_cast<unsigned char>(x); break;
        case 'h': x = static_cast<unsigned short>(x); break;
        case 0: x = static_cast<unsigned>(x); break;
        default: break;
        }
        PutInteger(out, s, x, false, false);
        return true;
    }
    case 'c': {
        char c = static_cast<char>(static_cast<unsigned char>(v.i));
        PutPadded(out, s, &c, 1);
        return true;
    }
    case 's': {
        const char *str = static_cast<const char *>(v.p);
        size_t n;
        if (!str) {
            str = "(null)";
            n = (s.prec < 0 || s.prec >= 6) ? 6 : 0;
        } else {
            size_t limit = v.len;
            if (s.prec >= 0 && static_cast<size_t>(s.prec) < limit) limit = s.prec;
            n = limit == SIZE_MAX ? std::strlen(str) : strnlen(str, limit);
        }
        PutPadded(out, s, str, n);
        return true;
    }
    case 'p':
        if (!v.p) {
            PutPadded(out, s, "(nil)", 5);
        } else {
            PutInteger(out, s, reinterpret_cast<uintptr_t>(v.p), false, true);
        }
        return true;
    case 'n':
        // The count is never stored through an argument: formats come from
        // files, and a stored count is the classic way to abuse one.
        return true;
    default: return PutFloat(out, s, v, t == ArgType::LDouble);
    }
}

// Second pass: literal text and conversions.
template <class Out, class Source>
bool Render(Out &out, const char *format, Source &src, int first_seq) {
    const char *p = format;
    int next = first_seq;
    for (;;) {
        const char *pct = std::strchr(p, '%');
        if (!pct) {
            out.Write(p, std::strlen(p));
            return true;
        }
        out.Write(p, static_cast<size_t>(pct - p));
        p = pct + 1;
        ConvSpec s;
        bool numbered;
        if (*p == 'd' || *p == 's') { // a bare conversion: nothing more to parse
            s.conv = *p++;
            s.arg_pos = ++next;
        } else if (!ParseConvSpec(p, s, next, numbered)) {
            return false;
        }
        if (!Convert(out, s, src)) return false;
    }
}

// First pass over a positional format: the type of every position. The
// unnumbered arguments follow the highest numbered one.
bool Collect(const char *format, bool strict, ArgType *types, int &max_pos, int &first_seq) {
    // Highest numbered position first.
    int highest = 0;
    int unnumbered = 0;
    for (const char *p = std::strchr(format, '%'); p; p = std::strchr(p, '%')) {
        ++p;
        ConvSpec s;
        bool numbered;
        if (!ParseConvSpec(p, s, unnumbered, numbered)) return false;
        if (numbered && s.arg_pos > highest) highest = s.arg_pos;
        if (s.width_numbered && s.width_pos > highest) highest = s.width_pos;
        if (s.prec_numbered && s.prec_pos > highest) highest = s.prec_pos;
        if (highest > kMaxPositions) return false;
    }
    first_seq = highest;
    int next = first_seq;
    max_pos = 0;
    for (int i = 0; i < kMaxPositions; ++i) types[i] = ArgType::None;
    auto use = [&](int pos, ArgType t) {
        if (pos < 1 || pos > kMaxPositions) return false;
        if (strict && types[pos - 1] != ArgType::None && types[pos - 1] != t) return false;
        types[pos - 1] = t;
        if (pos > max_pos) max_pos = pos;
        return true;
    };
    for (const char *p = std::strchr(format, '%'); p; p = std::strchr(p, '%')) {
        ++p;
        ConvSpec s;
        bool numbered;
        if (!ParseConvSpec(p, s, next, numbered)) return false;
        if (s.width_pos && !use(s.width_pos, ArgType::Int)) return false;
        if (s.prec_pos && !use(s.prec_pos, ArgType::Int)) return false;
        if (s.conv != '%' && !use(s.arg_pos, ValueType(s))) return false;
    }
    return true;
}

int Finish(Sink &out, bool ok) {
    if (!ok || out.Failed() || out.Count() > static_cast<uint64_t>(INT_MAX)) return -1;
    return static_cast<int>(out.Count());
}

} // namespace

namespace {

template <class Out> int FormatVT(Out &sink, const char *format, va_list ap) {
    if (!format) return -1;
    va_list aq;
    va_copy(aq, ap);
    bool ok;
    if (!std::strchr(format, '$')) {
        VaSource src{&aq};
        ok = Render(sink, format, src, 0);
    } else {
        ArgType types[kMaxPositions];
        ArgValue vals[kMaxPositions];
        int max_pos = 0, first_seq = 0;
        ok = Collect(format, true, types, max_pos, first_seq);
        // Every position up to the highest must be used: an argument of
        // unknown type cannot be stepped over.
        for (int i = 0; ok && i < max_pos; ++i) {
            VaSource src{&aq};
            ok = src.Get(i + 1, types[i], vals[i]);
        }
        if (ok) {
            TableSource src{vals, types, max_pos, false};
            ok = Render(sink, format, src, first_seq);
        }
    }
    va_end(aq);
    return Finish(sink, ok);
}

template <class Out>
int FormatRecordsT(Out &sink, const char *format, int count, const STF_ArgRecord *records) {
    if (!format) return -1;
    if (count < 0) count = 0;
    if (count > STF_MAX_ARGS || (count > 0 && !records)) return -1;
    ArgType types[STF_MAX_ARGS];
    ArgValue vals[STF_MAX_ARGS];
    for (int i = 0; i < count; ++i) {
        const STF_ArgRecord &r = records[i];
        vals[i].len = SIZE_MAX;
        switch (r.type) {
        case STF_ARG_CHAR:
            types[i] = ArgType::Int;
            vals[i].i = static_cast<unsigned char>(r.value.c);
            break;
        case STF_ARG_INT:
            types[i] = ArgType::Int;
            vals[i].i = r.value.i;
            break;
        case STF_ARG_DOUBLE:
            types[i] = ArgType::Double;
            vals[i].d = r.value.d;
            break;
        case STF_ARG_STRING:
            types[i] = ArgType::Ptr;
            vals[i].p = r.value.p;
            break;
        case STF_ARG_COUNTED:
            types[i] = ArgType::Ptr;
            vals[i].p = r.value.p;
            vals[i].len = r.value.p ? r.length : 0;
            break;
        default: return -1;
        }
    }
    int first_seq = 0;
    if (std::strchr(format, '$')) {
        ArgType collected[kMaxPositions];
        int max_pos = 0;
        if (!Collect(format, false, collected, max_pos, first_seq)) return -1;
    }
    TableSource src{vals, types, count, true};
    return Finish(sink, Render(sink, format, src, first_seq));
}

} // namespace

int FormatV(Sink &sink, const char *format, va_list ap) {
    if (auto *s = dynamic_cast<StringSink *>(&sink)) return FormatVT(*s, format, ap);
    if (auto *s = dynamic_cast<StreamSink *>(&sink)) return FormatVT(*s, format, ap);
    return FormatVT(sink, format, ap);
}

int FormatRecords(Sink &sink, const char *format, int count, const STF_ArgRecord *records) {
    if (auto *s = dynamic_cast<StringSink *>(&sink))
        return FormatRecordsT(*s, format, count, records);
    return FormatRecordsT(sink, format, count, records);
}

int SnprintfRecords(char *buf, size_t size, const char *format, int count,
                    const STF_ArgRecord *records) {
    StringSink sink(buf, size);
    int n = FormatRecords(sink, format, count, records);
    if (n < 0) sink.Reset();
    sink.Finish();
    return n;
}

} // namespace vrcore::messages

using vrcore::messages::StreamSink;
using vrcore::messages::StringSink;

namespace {

int ToString(char *buf, size_t size, const char *format, va_list ap) {
    StringSink sink(buf, size);
    int n = vrcore::messages::FormatVT(sink, format, ap);
    if (n < 0) sink.Reset();
    sink.Finish();
    return n;
}

int ToStream(FILE *f, const char *format, va_list ap) {
    if (!f) return -1;
    StreamSink sink(f);
    int n = vrcore::messages::FormatVT(sink, format, ap);
    sink.Flush();
    return sink.Failed() ? -1 : n;
}

} // namespace

extern "C" {

VR_EXPORT int MSG_vsnprintf(char *buf, size_t size, const char *format, va_list ap) try {
    if (!buf) size = 0;
    return ToString(buf, size, format, ap);
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int MSG_vsprintf(char *buf, const char *format, va_list ap) try {
    if (!buf) return -1;
    return ToString(buf, SIZE_MAX, format, ap);
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int MSG_vfprintf(FILE *f, const char *format, va_list ap) try {
    return ToStream(f, format, ap);
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int MSG_vprintf(const char *format, va_list ap) try {
    return ToStream(stdout, format, ap);
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int MSG_snprintf(char *buf, size_t size, const char *format, ...) try {
    va_list ap;
    va_start(ap, format);
    int n = MSG_vsnprintf(buf, size, format, ap);
    va_end(ap);
    return n;
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int MSG_sprintf(char *buf, const char *format, ...) try {
    va_list ap;
    va_start(ap, format);
    int n = MSG_vsprintf(buf, format, ap);
    va_end(ap);
    return n;
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int MSG_fprintf(FILE *f, const char *format, ...) try {
    va_list ap;
    va_start(ap, format);
    int n = MSG_vfprintf(f, format, ap);
    va_end(ap);
    return n;
}
VR_CATCH_ERRNO(-1)

VR_EXPORT int MSG_printf(const char *format, ...) try {
    va_list ap;
    va_start(ap, format);
    int n = MSG_vprintf(format, ap);
    va_end(ap);
    return n;
}
VR_CATCH_ERRNO(-1)

} // extern "C"
