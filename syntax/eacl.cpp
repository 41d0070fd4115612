// Extended access-control entries: from their one-line text form
// ("name = bob domain = winnt:CORP name-type = user privilege-level =
// operator") and to and from the entries of the plain access-control list.
#include <strings.h>

#include <cstring>
#include <initializer_list>

#include "system/guard.h"
#include "syntax/eacl.h"
#include "syntax/gentype.h"
#include "vrcore/genu.h"

namespace vrcore::syntax {

namespace {

// The name syntaxes a domain may be prefixed with in the text form.
struct DomainSyntax {
    const char *word;
    GENU_ShortOID oid;
};
const DomainSyntax kDomainSyntaxes[] = {
    {"nis", kSyntaxNis},
    {"dns", kSyntaxDns},
    {"nisplus", kSyntaxNisPlus},
    {"file", kSyntaxFile},
    {"win95", kSyntaxWin95},
    {"winnt", kSyntaxWinNT},
    {"ntsecurity", kSyntaxNtSecurity},
    {"any", kSyntaxAny},
};

struct Word {
    const char *word;
    int32_t value;
};
const Word kNameTypes[] = {{"all-users", GEN_ACL_ALL_USERS},
                           {"user", GEN_ACL_USER},
                           {"group", GEN_ACL_GROUP},
                           {"netgroup", GEN_ACL_NETGROUP}};
const Word kPrivilegeLevels[] = {{"end-user", GEN_ACL_END_USER},
                                 {"operator", GEN_ACL_OPERATOR},
                                 {"administrator", GEN_ACL_ADMINISTRATOR}};

enum Keyword { kName, kDomain, kNameType, kPrivilegeLevel, kKeywordCount };
const char *const kKeywords[kKeywordCount] = {"name", "domain", "name-type", "privilege-level"};

bool Blank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool Control(unsigned char c) { return c < 0x20 || c == 0x7f; }

enum class Tok { End, Assign, Separator, Word, Bad };

// Scans the text in place: each word is cut off with a NUL where it ends
// (the blank or "=" after it is remembered first).
class Scanner {
  public:
    explicit Scanner(char *text) : p_(text) {}
    Tok Next(const char *&word) {
        if (pending_) {
            pending_ = false;
            return Tok::Assign;
        }
        while (Blank(static_cast<unsigned char>(*p_))) ++p_;
        if (!*p_) return Tok::End;
        if (*p_ == '=') {
            ++p_;
            return Tok::Assign;
        }
        char *start = p_;
        while (*p_ && *p_ != '=' && !Blank(static_cast<unsigned char>(*p_))) {
            if (Control(static_cast<unsigned char>(*p_))) return Tok::Bad;
            ++p_;
        }
        if (*p_) {
            pending_ = *p_ == '=';
            *p_++ = 0;
        }
        word = start;
        return std::strcmp(start, ":") == 0 ? Tok::Separator : Tok::Word;
    }

  private:
    char *p_;
    bool pending_ = false;
};

template <size_t N> bool Lookup(const Word (&table)[N], const char *word, int32_t &value) {
    for (const Word &w : table)
        if (strcasecmp(w.word, word) == 0) {
            value = w.value;
            return true;
        }
    return false;
}

// What the text assigned.
struct Assigned {
    const char *name = nullptr;
    const char *domain = nullptr;
    GENU_ShortOID syntax = 0;
    int32_t name_type = 0;
    int32_t privilege_level = 0;
    bool seen[kKeywordCount] = {};
};

bool ParseDomain(char *word, Assigned &a) {
    char *colon = std::strchr(word, ':');
    if (!colon) {
        a.domain = word;
        return true;
    }
    *colon = 0;
    for (const DomainSyntax &s : kDomainSyntaxes)
        if (strcasecmp(s.word, word) == 0) {
            a.syntax = s.oid;
            a.domain = colon + 1;
            return true;
        }
    return false;
}

// Reads every assignment; false on the first thing out of place.
bool Parse(char *text, Assigned &a) {
    Scanner scan(text);
    for (;;) {
        const char *word = nullptr;
        Tok t = scan.Next(word);
        if (t == Tok::End) return true;
        if (t != Tok::Word) return false;
        int kw = 0;
        while (kw < kKeywordCount && strcasecmp(kKeywords[kw], word) != 0) ++kw;
        if (kw == kKeywordCount || a.seen[kw]) return false;
        a.seen[kw] = true;
        if (scan.Next(word) != Tok::Assign) return false;
        if (scan.Next(word) != Tok::Word) return false;
        switch (kw) {
        case kName: a.name = word; break;
        case kDomain:
            if (!ParseDomain(const_cast<char *>(word), a)) return false;
            break;
        case kNameType:
            if (!Lookup(kNameTypes, word, a.name_type)) return false;
            break;
        case kPrivilegeLevel:
            if (!Lookup(kPrivilegeLevels, word, a.privilege_level)) return false;
            break;
        }
    }
}

// A refusal before any entry is made.
int Refuse(STF_List *status, uint32_t code) {
    STF_AddStatus(status, code, 0);
    return 1;
}

} // namespace

int EACLFromText(STF_List *status, GEN_ExtACL **out, const char *text,
                 const GENU_Allocator *alloc) {
    if (out) *out = nullptr;
    Ctx ctx;
    if (!Begin(status, alloc, ctx)) return 1;
    if (!out || !text) return Refuse(status, GEN_S_NULLARG);
    size_t n = std::strlen(text);
    char *copy = static_cast<char *>(ctx.alloc(n + 1));
    if (!copy) return Refuse(status, GEN_S_NOMEM);
    std::memcpy(copy, text, n + 1);
    Assigned a;
    int rc = Parse(copy, a)
                 ? GENU_MakeACL(status, out, a.name, a.domain, a.syntax,
                                a.seen[kNameType] ? &a.name_type : nullptr,
                                a.seen[kPrivilegeLevel] ? &a.privilege_level : nullptr, alloc)
                 : Refuse(status, GEN_S_INVALID);
    ctx.free(copy);
    return rc;
}

namespace {

// The list-form entry's name as a new heap string.
int ListName(STF_List *status, const GEN_PSISAccessControlList &entry, char **name) {
    switch (entry.choice) {
    case 1: return GENU_ExtractSimpleName(status, name, &entry.u.simple_name, nullptr);
    case 2: return GENU_ExtractOctetString(status, name, &entry.u.octets, nullptr);
    default:
        *name = nullptr;
        STF_ClearStatus(status);
        return Refuse(status, GEN_S_INVALID);
    }
}

} // namespace

} // namespace vrcore::syntax

using namespace vrcore::syntax;

extern "C" {

VR_EXPORT int GENU_eACLFromText(STF_List *status, GEN_ExtACL **out, const char *text) try {
    MakeTrace trace("GENU_eACLFromText");
    return EACLFromText(status, out, text, nullptr);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_ACLFromPSIS(STF_List *status, GEN_ExtACL **out,
                               const GEN_PSISAccessControlList *entry) try {
    MakeTrace trace("GENU_ACLFromPSIS");
    if (out) *out = nullptr;
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!out || !entry) return Refuse(status, GEN_S_NULLARG);
    char *name = nullptr;
    if (ListName(status, *entry, &name)) return 1;
    const char *domain = nullptr;
    GENU_ShortOID syntax = 0;
    if (char *at = std::strchr(name, '@')) {
        *at = 0;
        domain = at + 1;
        if (!*name && !*domain)
            syntax = kSyntaxAny;
        else if (std::strchr(domain, '.'))
            syntax = kSyntaxDns;
        else if (std::strpbrk(domain, "<>"))
            syntax = kSyntaxFile;
        else
            syntax = kSyntaxNis;
    }
    int32_t name_type = GEN_ACL_GROUP, privilege_level = GEN_ACL_END_USER;
    if (entry->choice == 1) {
        if (entry->name_type) name_type = *entry->name_type;
        if (entry->privilege_level) privilege_level = *entry->privilege_level;
    }
    int rc = GENU_MakeACL(status, out, name, domain, syntax, &name_type, &privilege_level, nullptr);
    GENU__CoveredFree(name);
    return rc;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_ACLToPSIS(STF_List *status, GEN_PSISAccessControlList **out,
                             const GEN_ExtACL *entry) try {
    MakeTrace trace("GENU_ACLToPSIS");
    if (out) *out = nullptr;
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!out || !entry) return Refuse(status, GEN_S_NULLARG);
    char *name = nullptr, *domain = nullptr;
    GENU_ShortOID syntax = 0;
    if (GENU_ExtractSimpleName(status, &name, &entry->name, nullptr)) return 1;
    if (GENU_ExtractDistNameString(status, &domain, &syntax, &entry->domain, nullptr)) {
        GENU__CoveredFree(name);
        return 1;
    }
    // The list form names a domain's member as name@domain or
    // domain\name, by the domain's kind; a name without domain stands alone.
    char joined[GEN_SIMPLE_NAME_MAX + 1];
    size_t nd = std::strlen(domain);
    uint32_t code = 0;
    const char *first = name, *second = domain, *sep = "";
    switch (syntax) {
    case 0:
        if (nd) code = GEN_S_NOTSUPP;
        second = "";
        break;
    case kSyntaxNis:
    case kSyntaxDns:
    case kSyntaxFile:
    case kSyntaxNisPlus: sep = "@"; break;
    case kSyntaxWin95:
    case kSyntaxWinNT:
    case kSyntaxNtSecurity:
        first = domain;
        second = name;
        sep = "\\";
        break;
    default: code = GEN_S_NOTSUPP; break;
    }
    if (!code && std::strlen(first) + std::strlen(sep) + std::strlen(second) > GEN_SIMPLE_NAME_MAX)
        code = GEN_S_INVALID;
    if (!code) {
        size_t len = 0;
        for (const char *part : {first, sep, second}) {
            size_t k = std::strlen(part);
            std::memcpy(joined + len, part, k);
            len += k;
        }
        joined[len] = 0;
    }
    GENU__CoveredFree(name);
    GENU__CoveredFree(domain);
    if (code) return Refuse(status, code);
    GEN_PSISAccessControlList src;
    std::memset(&src, 0, sizeof src);
    src.choice = 1;
    if (GENU_MakeEmbeddedSimpleName(status, &src.u.simple_name, joined, nullptr)) return 1;
    int32_t name_type = GEN_ACL_GROUP, privilege_level = GEN_ACL_END_USER;
    src.name_type = &name_type;
    src.privilege_level = &privilege_level;
    return CopyNew(status, reinterpret_cast<void **>(out), &src, nullptr, T_PSISAccessControlList);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
