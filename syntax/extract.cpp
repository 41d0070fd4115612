// Extracting strings from values, the name-syntax table and the
// conversion of character repertoires.
#include <strings.h>

#include <cstring>

#include "system/guard.h"
#include "syntax/gentype.h"
#include "vrcore/genu.h"

namespace vrcore::syntax {

namespace {

// A new NUL-terminated copy of n bytes.
uint32_t NewString(Ctx &ctx, char *&out, const void *bytes, size_t n) {
    out = nullptr;
    char *p = static_cast<char *>(ctx.alloc(n + 1));
    if (!p) {
        Report(ctx, GEN_S_NOMEM);
        return GEN_S_NOMEM;
    }
    if (n) std::memcpy(p, bytes, n);
    p[n] = 0;
    out = p;
    return 0;
}

uint32_t Invalid(Ctx &ctx) {
    Report(ctx, GEN_S_INVALID);
    return GEN_S_INVALID;
}

uint32_t FromOctets(Ctx &ctx, char *&out, const GEN_OctetString &o) {
    if (o.length < 0 || (o.length > 0 && !o.value)) return Invalid(ctx);
    return NewString(ctx, out, o.value, static_cast<size_t>(o.length));
}

uint32_t FromText(Ctx &ctx, char *&out, const GEN_Text &text) {
    switch (text.kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING:
        if (!text.u.string) return NewString(ctx, out, "", 0);
        return NewString(ctx, out, text.u.string, std::strlen(text.u.string));
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
    case GEN_KIND_CODESET: return FromOctets(ctx, out, text.u.octets);
    default: return Invalid(ctx);
    }
}

uint32_t FromCounted(Ctx &ctx, char *&out, uint16_t length, const unsigned char *bytes) {
    if (length > GEN_SIMPLE_NAME_MAX || (length > 0 && !bytes)) return Invalid(ctx);
    return NewString(ctx, out, bytes, length);
}

uint32_t FromSimpleName(Ctx &ctx, char *&out, const GEN_SimpleName &name) {
    switch (name.kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING: {
        const void *nul = std::memchr(name.u.string, 0, GEN_SIMPLE_NAME_MAX + 1);
        if (!nul) return Invalid(ctx);
        return NewString(ctx, out, name.u.string,
                         static_cast<size_t>(static_cast<const char *>(nul) - name.u.string));
    }
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
    case GEN_KIND_CODESET:
        return FromCounted(ctx, out, name.u.counted.length, name.u.counted.value);
    default: return Invalid(ctx);
    }
}

// Shared shape of the extract functions: *out cleared first, the value
// required.
template <typename V, typename Fn>
int Extract(STF_List *status, char **out, const V *value, const GENU_Allocator *alloc, Fn fn) {
    if (out) *out = nullptr;
    Ctx ctx;
    if (!Begin(status, alloc, ctx)) return 1;
    if (!out || !value) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    return fn(ctx, *out, *value) ? 1 : 0;
}

// What a repertoire conversion does with a value of this kind: kind 1 is
// converted, kind 3 copied; the others are refused (reported).
enum RepertoireAction { kConvert, kCopy, kRefused };
RepertoireAction RepertoireStep(Ctx &ctx, const void *out, const void *value, int32_t kind) {
    if (!out || !value) {
        Report(ctx, GEN_S_NULLARG);
        return kRefused;
    }
    switch (kind) {
    case GEN_KIND_IRV: return kConvert;
    case GEN_KIND_LATIN1: return kCopy;
    case GEN_KIND_STRING:
    case GEN_KIND_OCTETS:
    case GEN_KIND_CODESET: Report(ctx, GEN_S_NOTSUPP); return kRefused;
    default: Report(ctx, GEN_S_INVALID); return kRefused;
    }
}

struct NameSyntax {
    const char *name;
    GENU_ShortOID oid;
};
const NameSyntax kNameSyntaxes[] = {
    {"unix", 886},    {"x-500", 3040},      {"xfn", 3041},     {"dce", 3042},
    {"cds", 3043},    {"nis", 3044},        {"dns", 3045},     {"internet-mail", 3046},
    {"file", 3047},   {"nisplus", 3048},    {"nis+", 3048},    {"win95", 3049},
    {"winnt", 3050},  {"ntsecurity", 3051}, {"tsl-www", 3054}, {"any", 3055},
    {"ibg-at", 3183}, {"ibg-lm", 3184},     {"ibg-lpr", 3185}, {"ibg-qs", 3186},
    {"nds", 3187},
};

} // namespace

uint32_t NameSyntaxOf(const GEN_NameOrOID *syntax, GENU_ShortOID &out) {
    out = 0;
    if (!syntax) return 0;
    if (syntax->choice == GEN_NOID_OID) {
        out = syntax->u.oid;
        return 0;
    }
    if (syntax->choice != GEN_NOID_NAME) return GEN_S_INVALID;
    const GEN_SimpleName &name = syntax->u.name;
    char buf[GEN_SIMPLE_NAME_MAX + 1];
    size_t n;
    switch (name.kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING: {
        const void *nul = std::memchr(name.u.string, 0, GEN_SIMPLE_NAME_MAX + 1);
        if (!nul) return GEN_S_INVALID;
        n = static_cast<size_t>(static_cast<const char *>(nul) - name.u.string);
        std::memcpy(buf, name.u.string, n);
        break;
    }
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
    case GEN_KIND_CODESET:
        if (name.u.counted.length > GEN_SIMPLE_NAME_MAX) return GEN_S_INVALID;
        n = name.u.counted.length;
        std::memcpy(buf, name.u.counted.value, n);
        break;
    default: return GEN_S_INVALID;
    }
    buf[n] = 0;
    out = GENU_NameSyntaxToShortOID(buf);
    return 0;
}

} // namespace vrcore::syntax

using namespace vrcore::syntax;

extern "C" {

VR_EXPORT GENU_ShortOID GENU_NameSyntaxToShortOID(const char *name) try {
    if (!name) return GENU_NAME_SYNTAX_UNKNOWN;
    for (const NameSyntax &s : kNameSyntaxes)
        if (strcasecmp(s.name, name) == 0) return s.oid;
    return GENU_NAME_SYNTAX_UNKNOWN;
}
VR_CATCH_RETURN(0u)

VR_EXPORT int GENU_ExtractText(STF_List *status, char **out, const GEN_Text *text,
                               const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_ExtractText");
    return Extract(status, out, text, alloc, FromText);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_ExtractSimpleName(STF_List *status, char **out, const GEN_SimpleName *name,
                                     const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_ExtractSimpleName");
    return Extract(status, out, name, alloc, FromSimpleName);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_ExtractOctet255(STF_List *status, char **out, uint16_t length,
                                   const unsigned char *bytes, const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_ExtractOctet255");
    if (out) *out = nullptr;
    Ctx ctx;
    if (!Begin(status, alloc, ctx)) return 1;
    if (!out) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    return FromCounted(ctx, *out, length, bytes) ? 1 : 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_ExtractOctetString(STF_List *status, char **out, const GEN_OctetString *octets,
                                      const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_ExtractOctetString");
    return Extract(status, out, octets, alloc, FromOctets);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_ExtractDistNameString(STF_List *status, char **string_out,
                                         GENU_ShortOID *syntax_out, const GEN_DistNameString *value,
                                         const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_ExtractDistNameString");
    if (string_out) *string_out = nullptr;
    if (syntax_out) *syntax_out = 0;
    Ctx ctx;
    if (!Begin(status, alloc, ctx)) return 1;
    if (!string_out || !syntax_out || !value) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    GENU_ShortOID syntax = 0;
    if (uint32_t r = NameSyntaxOf(value->syntax, syntax)) {
        Report(ctx, r);
        return 1;
    }
    if (FromText(ctx, *string_out, value->name)) return 1;
    *syntax_out = syntax;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_Text2IsoLatin1(STF_List *status, GEN_Text **out, const GEN_Text *text,
                                 const GENU_Allocator *alloc) try {
    if (out) *out = nullptr;
    Ctx ctx;
    if (!Begin(status, alloc, ctx)) return 1;
    switch (RepertoireStep(ctx, out, text, text ? text->kind : 0)) {
    case kCopy: return CopyNew(status, reinterpret_cast<void **>(out), text, alloc, T_Text);
    case kRefused: return 1;
    case kConvert: break;
    }
    size_t n = text->u.string ? strnlen(text->u.string, GEN_TEXT_MAX + 1) : 0;
    if (n > GEN_TEXT_MAX) {
        Report(ctx, GEN_S_INVALID);
        return 1;
    }
    auto *t = static_cast<GEN_Text *>(ctx.alloc(sizeof(GEN_Text)));
    if (!t) {
        Report(ctx, GEN_S_NOMEM);
        return 1;
    }
    std::memset(t, 0, sizeof *t);
    t->kind = GEN_KIND_LATIN1;
    if (n) {
        char *bytes = nullptr;
        if (NewString(ctx, bytes, text->u.string, n)) {
            ctx.free(t);
            return 1;
        }
        t->u.octets.length = static_cast<int32_t>(n);
        t->u.octets.value = reinterpret_cast<unsigned char *>(bytes);
    }
    *out = t;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_SimpleName2IsoLatin1(STF_List *status, GEN_SimpleName **out,
                                       const GEN_SimpleName *name,
                                       const GENU_Allocator *alloc) try {
    if (out) *out = nullptr;
    Ctx ctx;
    if (!Begin(status, alloc, ctx)) return 1;
    switch (RepertoireStep(ctx, out, name, name ? name->kind : 0)) {
    case kCopy: return CopyNew(status, reinterpret_cast<void **>(out), name, alloc, T_SimpleName);
    case kRefused: return 1;
    case kConvert: break;
    }
    const void *nul = std::memchr(name->u.string, 0, GEN_SIMPLE_NAME_MAX + 1);
    if (!nul) {
        Report(ctx, GEN_S_INVALID);
        return 1;
    }
    size_t n = static_cast<size_t>(static_cast<const char *>(nul) - name->u.string);
    auto *s = static_cast<GEN_SimpleName *>(ctx.alloc(sizeof(GEN_SimpleName)));
    if (!s) {
        Report(ctx, GEN_S_NOMEM);
        return 1;
    }
    std::memset(s, 0, sizeof *s);
    s->kind = GEN_KIND_LATIN1;
    s->u.counted.length = static_cast<uint16_t>(n);
    std::memcpy(s->u.counted.value, name->u.string, n);
    *out = s;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_Text2Unicode(STF_List *status, GEN_Text **out, const GEN_Text *text,
                               const GENU_Allocator *alloc) try {
    (void)text;
    (void)alloc;
    if (out) *out = nullptr;
    if (!status) return 1;
    STF_ClearStatus(status);
    STF_AddStatus(status, GEN_S_NOTSUPP, 0);
    return 1;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
