// Internet and MS Mail addresses carried in an O/R name: a domain-defined
// attribute whose type names the mail system and whose value is the
// address in printable-string form, with "(a)"-style escapes for the
// characters a printable string cannot hold.
#include <strings.h>

#include <cstdio>
#include <cstring>

#include "system/guard.h"
#include "syntax/gentype.h"
#include "syntax/textforms.h"
#include "vrcore/gen.h"
#include "vrcore/genu.h"

namespace vrcore::syntax {

namespace {

struct Escape {
    char ch;
    char letter;
};
const Escape kEscapes[] = {{'@', 'a'}, {'!', 'b'}, {'(', 'l'}, {'%', 'p'},
                           {'"', 'q'}, {')', 'r'}, {'_', 'u'}};

bool Plain(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.';
}

// The character an escape letter stands for, or 0.
char Unescape(char letter) {
    char lower = (letter >= 'A' && letter <= 'Z') ? static_cast<char>(letter - 'A' + 'a') : letter;
    for (const Escape &e : kEscapes)
        if (e.letter == lower) return e.ch;
    return 0;
}

// Reads one escape at in[i] == '(' within n bytes: the character it stands
// for and the bytes it takes, or false when it is not an escape.
bool ReadEscape(const char *in, size_t n, size_t i, char &ch, size_t &used) {
    size_t j = i + 1;
    if (j >= n) return false;
    if (!(in[j] >= '0' && in[j] <= '9')) {
        // A letter escape: "(x)".
        if (j + 1 >= n || in[j + 1] != ')') return false;
        char c = Unescape(in[j]);
        if (!c) return false;
        ch = c;
        used = 3;
        return true;
    }
    int code = 0;
    size_t digits = 0;
    while (j < n && digits < 3 && in[j] >= '0' && in[j] <= '9') {
        code = code * 10 + (in[j] - '0');
        ++j;
        ++digits;
    }
    // Code 0 would cut the text short; it is not an escape either.
    if (digits == 0 || j >= n || in[j] != ')' || code < 1 || code > 127) return false;
    ch = static_cast<char>(code);
    used = digits + 2;
    return true;
}

} // namespace

long EncodePrintable(const char *text, char *out, size_t cap) {
    size_t len = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) {
        char piece[kEscapeMax + 1];
        size_t n = 1;
        if (*p >= 128) return -1;
        if (Plain(*p)) {
            piece[0] = static_cast<char>(*p);
        } else {
            char letter = 0;
            for (const Escape &e : kEscapes)
                if (e.ch == static_cast<char>(*p)) letter = e.letter;
            n = letter ? static_cast<size_t>(std::snprintf(piece, sizeof piece, "(%c)", letter))
                       : static_cast<size_t>(std::snprintf(piece, sizeof piece, "(%d)", *p));
        }
        if (len + n + 1 > cap) return -2;
        std::memcpy(out + len, piece, n);
        len += n;
    }
    if (len + 1 > cap) return -2;
    out[len] = 0;
    return static_cast<long>(len);
}

size_t DecodePrintable(const char *in, size_t n, char *out) {
    size_t len = 0;
    for (size_t i = 0; i < n;) {
        if (in[i] != '(') {
            out[len++] = in[i++];
            continue;
        }
        char ch = 0;
        size_t used = 0;
        if (!ReadEscape(in, n, i, ch, used)) {
            // Not a printable string of ours: the text stands as given.
            std::memcpy(out, in, n);
            out[n] = 0;
            return n;
        }
        out[len++] = ch;
        i += used;
    }
    out[len] = 0;
    return len;
}

namespace {

// Whether the attribute's type (bounded by its array) is `want`, letter
// case ignored.
bool TypeIs(const GEN_DomainDefinedAttr &a, const char *want) {
    if (!std::memchr(a.type, 0, sizeof a.type)) return false;
    return strcasecmp(a.type, want) == 0;
}

// The first attribute of one of the types: its value and length, or the
// code of what went wrong.
uint32_t FindMail(const GEN_DeliveryAddress &orname, const char *type1, const char *type2,
                  const char *&value, size_t &length) {
    const GEN_DomainDefinedAttrs *list = orname.domain_defined_attrs;
    if (!list) return GEN_S_NOTSUPP;
    if (list->count > GEN_DDA_MAX) return GEN_S_INVALID;
    for (uint16_t i = 0; i < list->count; ++i) {
        const GEN_DomainDefinedAttr &a = list->attrs[i];
        if (!TypeIs(a, type1) && !(type2 && TypeIs(a, type2))) continue;
        const void *nul = std::memchr(a.value, 0, sizeof a.value);
        if (!nul) return GEN_S_INVALID;
        value = a.value;
        length = static_cast<size_t>(static_cast<const char *>(nul) - a.value);
        return 0;
    }
    return GEN_S_NOTSUPP;
}

// Finds the first attribute of one of the types and decodes it.
int FromX400(STF_List *status, char **out, const GEN_DeliveryAddress *orname,
             const GENU_Allocator *alloc, const char *type1, const char *type2) {
    if (out) *out = nullptr;
    Ctx ctx;
    if (!Begin(status, alloc, ctx)) return 1;
    if (!out || !orname) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    const char *value = nullptr;
    size_t n = 0;
    if (uint32_t code = FindMail(*orname, type1, type2, value, n)) {
        Report(ctx, code);
        return 1;
    }
    char *text = static_cast<char *>(ctx.alloc(n + 1));
    if (!text) {
        Report(ctx, GEN_S_NOMEM);
        Report(ctx, GEN_S_INVALID);
        return 1;
    }
    DecodePrintable(value, n, text);
    *out = text;
    return 0;
}

// A new O/R name whose only component is one attribute of `type` holding
// the encoded address.
int ToX400(STF_List *status, GEN_DeliveryAddress **out, const char *address,
           const GENU_Allocator *alloc, const char *type) {
    if (out) *out = nullptr;
    Ctx ctx;
    if (!Begin(status, alloc, ctx)) return 1;
    if (!out || !address) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    GEN_DomainDefinedAttr attr;
    std::memset(&attr, 0, sizeof attr);
    std::memcpy(attr.type, type, std::strlen(type) + 1);
    // An address that does not fit the attribute's value is refused, never
    // cut.
    if (EncodePrintable(address, attr.value, sizeof attr.value) < 0) {
        Report(ctx, GEN_S_INVALID);
        return 1;
    }
    auto *orname = static_cast<GEN_DeliveryAddress *>(ctx.alloc(sizeof(GEN_DeliveryAddress)));
    auto *list = static_cast<GEN_DomainDefinedAttrs *>(
        orname ? ctx.alloc(sizeof(GEN_DomainDefinedAttrs)) : nullptr);
    if (!list) {
        if (orname) ctx.free(orname);
        Report(ctx, GEN_S_NOMEM);
        return 1;
    }
    std::memset(orname, 0, sizeof *orname);
    std::memset(list, 0, sizeof *list);
    list->count = 1;
    list->attrs[0] = attr;
    orname->domain_defined_attrs = list;
    *out = orname;
    return 0;
}

} // namespace

uint32_t MailAddressOf(const GEN_DeliveryAddress &orname, const char *type1, const char *type2,
                       char (&out)[130]) {
    const char *value = nullptr;
    size_t n = 0;
    out[0] = 0;
    if (uint32_t code = FindMail(orname, type1, type2, value, n)) return code;
    DecodePrintable(value, n, out);
    return 0;
}

} // namespace vrcore::syntax

using vrcore::syntax::FromX400;
using vrcore::syntax::ToX400;

extern "C" {

VR_EXPORT int GEN_X400ToInternetMailAddress(STF_List *status, char **out,
                                            const GEN_DeliveryAddress *orname,
                                            const GENU_Allocator *alloc) try {
    return FromX400(status, out, orname, alloc, vrcore::syntax::kInternetMail, nullptr);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_X400ToMSMailAddress(STF_List *status, char **out,
                                      const GEN_DeliveryAddress *orname,
                                      const GENU_Allocator *alloc) try {
    return FromX400(status, out, orname, alloc, vrcore::syntax::kMsMail, nullptr);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_X400ToStringAddress(STF_List *status, char **out,
                                      const GEN_DeliveryAddress *orname,
                                      const GENU_Allocator *alloc) try {
    return FromX400(status, out, orname, alloc, vrcore::syntax::kInternetMail,
                    vrcore::syntax::kMsMail);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_InternetMailToX400Address(STF_List *status, GEN_DeliveryAddress **out,
                                            const char *address, const GENU_Allocator *alloc) try {
    return ToX400(status, out, address, alloc, vrcore::syntax::kInternetMail);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_MsMailToX400Address(STF_List *status, GEN_DeliveryAddress **out,
                                      const char *address, const GENU_Allocator *alloc) try {
    return ToX400(status, out, address, alloc, vrcore::syntax::kMsMail);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_StringToX400Address(STF_List *status, GEN_DeliveryAddress **out,
                                      const char *address, const GENU_Allocator *alloc) try {
    return ToX400(status, out, address, alloc, vrcore::syntax::kInternetMail);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
