// Comparison of texts, simple names, octet strings and encoded object
// identifiers: the semantic rules, their case-insensitive variants, the
// binary forms and the equality tests.
#include <cerrno>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "system/guard.h"
#include "syntax/compare.h"
#include "vrcore/gen.h"
#include "vrcore/genu.h"

namespace vrcore::syntax {

bool CmpFail(Cmp &c, uint32_t code) {
    if (!c.error) {
        c.error = code;
        if (c.status) STF_AddStatus(c.status, code, 0);
    }
    return false;
}

bool BeginCompare(Cmp &c, STF_List *status, const void *a, const void *b, const int32_t *r) {
    c = Cmp{status};
    if (!status) return false;
    STF_ClearStatus(status);
    if (!a || !b || !r) return CmpFail(c, GEN_S_NULLARG);
    return true;
}

int32_t CompareCString(const char *a, const char *b, uint32_t max) {
    for (uint32_t i = 0; i < max; ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
    return 0;
}

namespace {

// The characters of a text or simple name, whatever its representation.
struct Str {
    int32_t kind;
    GENU_ShortOID charset;
    const unsigned char *p;
    size_t n;
};

const unsigned char kEmpty[1] = {0};

bool OctetsView(Cmp &c, const GEN_OctetString &o, const unsigned char *&p, size_t &n) {
    if (o.length < 0 || (o.length > 0 && !o.value)) return CmpFail(c, GEN_S_INVALID);
    p = o.length ? o.value : kEmpty;
    n = static_cast<size_t>(o.length);
    return true;
}

bool TextView(Cmp &c, const GEN_Text &t, Str &s) {
    s = Str{t.kind, t.charset, kEmpty, 0};
    switch (t.kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING:
        if (t.u.string) {
            s.p = reinterpret_cast<const unsigned char *>(t.u.string);
            s.n = std::strlen(t.u.string);
        }
        return true;
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
    case GEN_KIND_CODESET: return OctetsView(c, t.u.octets, s.p, s.n);
    default: return CmpFail(c, GEN_S_INVALID);
    }
}

bool NameView(Cmp &c, const GEN_SimpleName &name, Str &s) {
    s = Str{name.kind, name.charset, kEmpty, 0};
    switch (name.kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING: {
        const void *nul = std::memchr(name.u.string, 0, GEN_SIMPLE_NAME_MAX + 1);
        if (!nul) return CmpFail(c, GEN_S_INVALID);
        s.p = reinterpret_cast<const unsigned char *>(name.u.string);
        s.n = static_cast<size_t>(static_cast<const char *>(nul) - name.u.string);
        return true;
    }
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
    case GEN_KIND_CODESET:
        if (name.u.counted.length > GEN_SIMPLE_NAME_MAX) return CmpFail(c, GEN_S_INVALID);
        s.p = name.u.counted.value;
        s.n = name.u.counted.length;
        return true;
    default: return CmpFail(c, GEN_S_INVALID);
    }
}

// Unsigned bytes of the common length, then the shorter first.
int32_t Lex(const unsigned char *a, size_t na, const unsigned char *b, size_t nb) {
    size_t n = na < nb ? na : nb;
    if (n) {
        int d = std::memcmp(a, b, n);
        if (d) return d < 0 ? -1 : 1;
    }
    return na == nb ? 0 : na < nb ? -1 : 1;
}

// Single bytes with letter case ignored, then the shorter first.
int32_t LexFoldBytes(const unsigned char *a, size_t na, const unsigned char *b, size_t nb) {
    size_t n = na < nb ? na : nb;
    for (size_t i = 0; i < n; ++i) {
        int x = std::tolower(a[i]), y = std::tolower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return na == nb ? 0 : na < nb ? -1 : 1;
}

// One character of the locale's multibyte encoding from at most n bytes; a
// byte that starts no valid character stands for itself.
size_t NextChar(const unsigned char *p, size_t n, std::mbstate_t &st, wint_t &out) {
    wchar_t w = 0;
    size_t k = std::mbrtowc(&w, reinterpret_cast<const char *>(p), n, &st);
    if (k == 0 || k == static_cast<size_t>(-1) || k == static_cast<size_t>(-2)) {
        st = std::mbstate_t{};
        out = static_cast<wint_t>(p[0]);
        return 1;
    }
    out = static_cast<wint_t>(std::towlower(static_cast<wint_t>(w)));
    return k;
}

// Characters of the common length with letter case ignored, then the
// shorter first. A character running past the common length counts as
// left over: its side sorts after.
int32_t LexFoldChars(const unsigned char *a, size_t na, const unsigned char *b, size_t nb) {
    size_t n = na < nb ? na : nb;
    std::mbstate_t sa{}, sb{};
    size_t i = 0, j = 0;
    while (i < n && j < n) {
        wint_t x, y;
        i += NextChar(a + i, n - i, sa, x);
        j += NextChar(b + j, n - j, sb, y);
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < n || j < n) return i < n ? 1 : -1;
    return na == nb ? 0 : na < nb ? -1 : 1;
}

// Counted byte strings: an empty value sorts after every non-empty one.
int32_t CountedRule(const unsigned char *a, size_t na, const unsigned char *b, size_t nb,
                    bool icase) {
    if (!na || !nb) return na == nb ? 0 : na ? -1 : 1;
    return icase ? LexFoldChars(a, na, b, nb) : Lex(a, na, b, nb);
}

// A NUL-terminated copy of n bytes, on the stack when short.
class CString {
  public:
    CString(const unsigned char *p, size_t n)
        : s_(n < sizeof small_ ? small_ : static_cast<char *>(std::malloc(n + 1))) {
        if (!s_) return;
        if (n) std::memcpy(s_, p, n);
        s_[n] = 0;
    }
    ~CString() {
        if (s_ != small_) std::free(s_);
    }
    CString(const CString &) = delete;
    CString &operator=(const CString &) = delete;
    const char *Get() const { return s_; }

  private:
    char small_[256];
    char *s_;
};

// The locale's collation. Bytes after an embedded NUL are not lost: the
// strings are collated piece by piece between NULs.
bool Collate(Cmp &c, const Str &a, const Str &b, int32_t &r) {
    CString x(a.p, a.n), y(b.p, b.n);
    if (!x.Get() || !y.Get()) return CmpFail(c, GEN_S_NOMEM);
    size_t i = 0, j = 0;
    for (;;) {
        errno = 0;
        int d = std::strcoll(x.Get() + i, y.Get() + j);
        if (errno) return CmpFail(c, GEN_S_COLLATE);
        if (d) {
            r = d < 0 ? -1 : 1;
            return true;
        }
        i += std::strlen(x.Get() + i) + 1;
        j += std::strlen(y.Get() + j) + 1;
        bool xe = i > a.n, ye = j > b.n;
        if (xe || ye) {
            r = xe == ye ? 0 : xe ? -1 : 1;
            return true;
        }
    }
}

bool SemanticRule(Cmp &c, Str a, Str b, bool icase, int32_t &r) {
    if (a.kind != b.kind) {
        // Mixed kinds meet in ISO Latin-1, which only an ISO 646 IRV string
        // reaches unchanged.
        bool latin1 = (a.kind == GEN_KIND_LATIN1 && b.kind == GEN_KIND_IRV) ||
                      (a.kind == GEN_KIND_IRV && b.kind == GEN_KIND_LATIN1);
        if (!latin1) return CmpFail(c, GEN_S_NOTSUPP);
        a.kind = b.kind = GEN_KIND_LATIN1;
    }
    switch (a.kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING:
        r = icase ? LexFoldBytes(a.p, a.n, b.p, b.n) : Lex(a.p, a.n, b.p, b.n);
        return true;
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS: r = CountedRule(a.p, a.n, b.p, b.n, icase); return true;
    default:
        if ((a.charset || b.charset) && a.charset != b.charset) return CmpFail(c, GEN_S_NOTSUPP);
        return Collate(c, a, b, r);
    }
}

// The kind and code-set checks of the binary forms and equality tests.
bool BinaryComparable(Cmp &c, const Str &a, const Str &b) {
    auto irv_or_latin1 = [](int32_t k) { return k == GEN_KIND_IRV || k == GEN_KIND_LATIN1; };
    if (a.kind != b.kind && !(irv_or_latin1(a.kind) && irv_or_latin1(b.kind)))
        return CmpFail(c, GEN_S_NOTSUPP);
    if ((a.charset || b.charset) && a.charset != b.charset) return CmpFail(c, GEN_S_NOTSUPP);
    return true;
}

bool StrRule(Cmp &c, const Str &a, const Str &b, bool icase, int32_t &r) {
    if (!c.binary) return SemanticRule(c, a, b, icase, r);
    if (!BinaryComparable(c, a, b)) return false;
    r = Lex(a.p, a.n, b.p, b.n);
    return true;
}

bool Equal(Cmp &c, const Str &a, const Str &b, int32_t &r) {
    if (!BinaryComparable(c, a, b)) return false;
    r = a.n == b.n && (a.n == 0 || std::memcmp(a.p, b.p, a.n) == 0) ? 1 : 0;
    return true;
}

bool Views(Cmp &c, const GEN_Text &a, const GEN_Text &b, Str &x, Str &y) {
    return TextView(c, a, x) && TextView(c, b, y);
}
bool Views(Cmp &c, const GEN_SimpleName &a, const GEN_SimpleName &b, Str &x, Str &y) {
    return NameView(c, a, x) && NameView(c, b, y);
}

} // namespace

bool CompareTextRule(Cmp &c, const GEN_Text &a, const GEN_Text &b, bool icase, int32_t &r) {
    Str x, y;
    return Views(c, a, b, x, y) && StrRule(c, x, y, icase, r);
}

bool CompareNameRule(Cmp &c, const GEN_SimpleName &a, const GEN_SimpleName &b, bool icase,
                     int32_t &r) {
    Str x, y;
    return Views(c, a, b, x, y) && StrRule(c, x, y, icase, r);
}

bool CompareOctetsRule(Cmp &c, const GEN_OctetString &a, const GEN_OctetString &b, bool icase,
                       int32_t &r) {
    const unsigned char *x, *y;
    size_t nx, ny;
    if (!OctetsView(c, a, x, nx) || !OctetsView(c, b, y, ny)) return false;
    r = CountedRule(x, nx, y, ny, icase);
    return true;
}

namespace {

bool Rule(Cmp &c, const GEN_Text &a, const GEN_Text &b, bool icase, int32_t &r) {
    return CompareTextRule(c, a, b, icase, r);
}
bool Rule(Cmp &c, const GEN_SimpleName &a, const GEN_SimpleName &b, bool icase, int32_t &r) {
    return CompareNameRule(c, a, b, icase, r);
}

// The shapes of the exported text and name functions.
template <typename V>
int TextEntry(STF_List *status, const V *a, const V *b, int32_t *r, bool binary, bool icase) {
    Cmp c;
    if (!BeginCompare(c, status, a, b, r)) return 1;
    c.binary = binary;
    int32_t out = 0;
    if (!Rule(c, *a, *b, icase, out)) return 1;
    *r = out;
    return 0;
}

template <typename V> int EqualEntry(STF_List *status, const V *a, const V *b, int32_t *r) {
    Cmp c;
    if (!BeginCompare(c, status, a, b, r)) return 1;
    Str x, y;
    int32_t out = 0;
    if (!Views(c, *a, *b, x, y) || !Equal(c, x, y, out)) return 1;
    *r = out;
    return 0;
}

int OctetsEntry(STF_List *status, const GEN_OctetString *a, const GEN_OctetString *b, int32_t *r,
                bool icase) {
    Cmp c;
    if (!BeginCompare(c, status, a, b, r)) return 1;
    int32_t out = 0;
    if (!CompareOctetsRule(c, *a, *b, icase, out)) return 1;
    *r = out;
    return 0;
}

// One subidentifier of an encoded object identifier: its bytes up to and
// including the first without the continuation bit (or to the end).
size_t SubidLength(const unsigned char *p, size_t n) {
    size_t k = 0;
    while (k < n && (p[k] & 0x80)) ++k;
    return k < n ? k + 1 : n;
}

// Two subidentifiers by value, without decoding them: leading zero groups
// skipped, the one with more groups is larger, groups of equal count
// compare as bytes.
int32_t CompareSubid(const unsigned char *a, size_t na, const unsigned char *b, size_t nb) {
    while (na > 1 && a[0] == 0x80) ++a, --na;
    while (nb > 1 && b[0] == 0x80) ++b, --nb;
    if (na != nb) return na < nb ? -1 : 1;
    return Lex(a, na, b, nb);
}

} // namespace

} // namespace vrcore::syntax

using namespace vrcore::syntax;

extern "C" {

VR_EXPORT int GEN_CompareText(STF_List *status, const GEN_Text *first, const GEN_Text *second,
                              int32_t *result) try {
    return TextEntry(status, first, second, result, false, false);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_ICompareText(STF_List *status, const GEN_Text *first, const GEN_Text *second,
                               int32_t *result) try {
    return TextEntry(status, first, second, result, false, true);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_BinCompareText(STF_List *status, const GEN_Text *first, const GEN_Text *second,
                                 int32_t *result) try {
    return TextEntry(status, first, second, result, true, false);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_CompareSimpleName(STF_List *status, const GEN_SimpleName *first,
                                    const GEN_SimpleName *second, int32_t *result) try {
    return TextEntry(status, first, second, result, false, false);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_ICompareSimpleName(STF_List *status, const GEN_SimpleName *first,
                                     const GEN_SimpleName *second, int32_t *result) try {
    return TextEntry(status, first, second, result, false, true);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_BinCompareSimpleName(STF_List *status, const GEN_SimpleName *first,
                                       const GEN_SimpleName *second, int32_t *result) try {
    return TextEntry(status, first, second, result, true, false);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_CompareOctetString(STF_List *status, const GEN_OctetString *first,
                                     const GEN_OctetString *second, int32_t *result) try {
    return OctetsEntry(status, first, second, result, false);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_ICompareOctetString(STF_List *status, const GEN_OctetString *first,
                                      const GEN_OctetString *second, int32_t *result) try {
    return OctetsEntry(status, first, second, result, true);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EqualText(STF_List *status, const GEN_Text *first, const GEN_Text *second,
                            int32_t *result) try {
    return EqualEntry(status, first, second, result);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EqualSimpleName(STF_List *status, const GEN_SimpleName *first,
                                  const GEN_SimpleName *second, int32_t *result) try {
    return EqualEntry(status, first, second, result);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT void GEN_CompareObjectID(const GEN_ObjectID *first, const GEN_ObjectID *second,
                                   int32_t *result) try {
    if (!result) return;
    bool a = first && first->length && first->value;
    bool b = second && second->length && second->value;
    if (!a || !b) {
        *result = a == b ? 0 : a ? -1 : 1;
        return;
    }
    const unsigned char *x = first->value, *y = second->value;
    size_t nx = first->length, ny = second->length;
    while (nx && ny) {
        size_t kx = SubidLength(x, nx), ky = SubidLength(y, ny);
        if (int32_t d = CompareSubid(x, kx, y, ky)) {
            *result = d;
            return;
        }
        x += kx, nx -= kx;
        y += ky, ny -= ky;
    }
    *result = nx == ny ? 0 : nx ? 1 : -1;
}
VR_CATCH_VOID

} // extern "C"
