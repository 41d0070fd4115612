// Lookups in the registry: by name, value, short identifier and
// abbreviation, the syntax, object-class and value-class records, and the
// links of the link file.
#include <cstdio>
#include <cstring>

#include "oid/registry_internal.h"
#include "system/guard.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace vrcore::oid {

bool FetchCopy(VRBM_Db *db, std::string_view key, std::string &out) {
    VRBM_Datum d = VRBM_fetch(db, key.data(), static_cast<int32_t>(key.size()));
    if (!d.ptr || d.len <= 0) return false;
    out.assign(d.ptr, static_cast<size_t>(d.len));
    return true;
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

namespace {

constexpr const char *kSrc = "lookups";

std::string_view BinKey(const unsigned char *b) {
    return {reinterpret_cast<const char *>(b), BinLen(b)};
}

// A text record: the text up to its terminating zero, which must be there.
bool TextOf(const std::string &rec, std::string &out) {
    size_t z = rec.find('\0');
    if (z == std::string::npos || z == 0) return false;
    out.assign(rec, 0, z);
    return true;
}

// A record holding a binary form and (optionally) characteristics.
bool BinaryRecord(const std::string &rec, CacheValue &v) {
    auto *b = reinterpret_cast<const unsigned char *>(rec.data());
    if (rec.size() < 3 || !WellFormedBinary(b, OID_MAX_BINARY) || rec.size() < BinLen(b))
        return false;
    v.binary.assign(rec, 0, BinLen(b));
    std::memset(v.chars.octets, 0, OID_CHARS_LEN);
    if (rec.size() >= BinLen(b) + OID_CHARS_LEN)
        std::memcpy(v.chars.octets, rec.data() + BinLen(b), OID_CHARS_LEN);
    return true;
}

void Deliver(const CacheValue &v, unsigned char *binary_out, char *name_out,
             OID_Characteristics *chars_out) {
    if (binary_out) std::memcpy(binary_out, v.binary.data(), v.binary.size());
    if (name_out) std::memcpy(name_out, v.name.c_str(), v.name.size() + 1);
    if (chars_out) *chars_out = v.chars;
}

// A cache key: what is looked up, then the locale file it was found in
// (what comes first, so keys differ early in comparisons).
std::string CacheKey(const std::string &locale, std::string_view what) {
    std::string k;
    k.reserve(what.size() + 1 + locale.size());
    k.append(what).push_back('\0');
    k.append(locale);
    return k;
}

bool ValidName(const char *name) {
    if (!name) return false;
    size_t n = strnlen(name, OID_MAX_NAME + 1);
    return n >= 1 && n <= OID_MAX_NAME;
}

// Name to value through the locale and main files; the files are in use.
uint32_t NameToValue(STF_List *st, const FileUse &u, std::string_view name, CacheValue &v) {
    std::string idx_rec, index, rec;
    if (!FetchCopy(u.Locale(), name, idx_rec) || !TextOf(idx_rec, index) || !AllDigits(index)) {
        LOG_CondMessage(6, kSrc, __LINE__, "%s not found in locale file!!\n",
                        std::string(name).c_str());
        return Fail(st, OID_S_NOTFOUND);
    }
    if (!FetchCopy(u.Main(), index, rec) || !BinaryRecord(rec, v)) {
        LOG_CondMessage(5, kSrc, __LINE__, "locale index %s not found in locale file !!\n",
                        index.c_str());
        return Fail(st, OID_S_ADDFAILED);
    }
    v.name.assign(name);
    return 0;
}

// Value to name through the main and locale files; the files are in use.
uint32_t ValueToName(STF_List *st, const FileUse &u, const unsigned char *binary, CacheValue &v) {
    std::string rec, index, name_rec;
    if (!FetchCopy(u.Main(), BinKey(binary), rec) || !TextOf(rec, index) || !AllDigits(index))
        return Fail(st, OID_S_NOTFOUND);
    std::memset(v.chars.octets, 0, OID_CHARS_LEN);
    if (rec.size() >= index.size() + 1 + OID_CHARS_LEN)
        std::memcpy(v.chars.octets, rec.data() + index.size() + 1, OID_CHARS_LEN);
    if (!FetchCopy(u.Locale(), index, name_rec) || !TextOf(name_rec, v.name) ||
        v.name.size() > OID_MAX_NAME) {
        LOG_CondMessage(6, kSrc, __LINE__, "locale index %s not found in locale file !!\n",
                        index.c_str());
        return Fail(st, OID_S_NOTFOUND);
    }
    v.binary.assign(BinKey(binary));
    return 0;
}

// Lookup by value with the value cache, or (short_id given) the short
// identifier cache.
uint32_t LookupValue(STF_List *st, OID_Db *h, const unsigned char *binary, const uint32_t *short_id,
                     char *name_out, OID_Characteristics *chars_out) {
    CacheKind kind = short_id ? CacheKind::kShort : CacheKind::kValue;
    std::string_view what =
        short_id ? std::string_view(reinterpret_cast<const char *>(short_id), 4) : BinKey(binary);
    CacheValue v;
    std::string loc;
    if (CachesEnabled() && ResolvedLocale(h, loc) && CacheGet(kind, CacheKey(loc, what), v)) {
        Deliver(v, nullptr, name_out, chars_out);
        return 0;
    }
    FileUse u(st, h, kMain | kLocale);
    if (u.Status()) return u.Status();
    if (uint32_t rc = ValueToName(st, u, binary, v)) return rc;
    if (!u.LocaleFile().empty()) CachePut(kind, CacheKey(u.LocaleFile(), what), v);
    Deliver(v, nullptr, name_out, chars_out);
    return 0;
}

uint32_t LookupAbbrevImpl(STF_List *st, OID_Db *h, const char *abbrev, unsigned char *binary_out,
                          OID_Characteristics *chars_out, VRBM_MatchNode **candidates,
                          int32_t keep_list) {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (candidates) *candidates = nullptr;
    if (!abbrev || !*abbrev || strnlen(abbrev, VRBM_MAX_KEY + 1) > VRBM_MAX_KEY)
        return Fail(st, OID_S_INVALID);
    return Guarded(st, [&]() -> uint32_t {
        FileUse u(st, h, kMain | kLocale);
        if (u.Status()) return u.Status();
        VRBM_MatchNode *list = nullptr;
        VRBM_Datum d = VRBM_fetchAbbrev(u.Locale(), abbrev,
                                        static_cast<int32_t>(std::strlen(abbrev)), &list, 1);
        if (d.len == VRBM_LEN_NOMATCH) return Fail(st, OID_S_NOTFOUND);
        if (d.len == VRBM_LEN_NOMEM) return Fail(st, OID_S_NOMEM);
        if (!d.ptr && d.len != VRBM_LEN_AMBIGUOUS) return Fail(st, OID_S_ADDFAILED);
        // The locale file also holds index numbers and the index counter:
        // only names count as matches.
        VRBM_MatchNode **link = &list;
        unsigned names = 0;
        while (*link) {
            std::string_view k((*link)->name);
            if (AllDigits(k) || k == kLastIndexKey) {
                VRBM_MatchNode *dead = *link;
                *link = dead->next;
                dead->next = nullptr;
                VRBM_freeMatchList(dead);
            } else {
                names++;
                link = &(*link)->next;
            }
        }
        struct ListGuard {
            VRBM_MatchNode *&l;
            ~ListGuard() { VRBM_freeMatchList(l); }
        } guard{list};
        if (names == 0) return Fail(st, OID_S_NOTFOUND);
        if (names > 1) {
            if (candidates) std::swap(*candidates, list);
            return Fail(st, OID_S_AMBIGUOUS);
        }
        CacheValue v;
        if (uint32_t rc = NameToValue(st, u, list->name, v)) return rc;
        Deliver(v, binary_out, nullptr, chars_out);
        if (candidates && keep_list == 1) std::swap(*candidates, list);
        return 0;
    });
}

// A record of the main file under a fixed key: {binary form;
// characteristics}.
uint32_t ClassRecord(STF_List *st, OID_Db *h, const std::string &key, unsigned char *binary_out,
                     bool syntax) {
    FileUse u(st, h, kMain);
    if (u.Status()) return u.Status();
    std::string rec;
    CacheValue v;
    if (!FetchCopy(u.Main(), key, rec)) return Fail(st, OID_S_NOTFOUND);
    if (!BinaryRecord(rec, v)) return Fail(st, OID_S_ADDFAILED);
    if (syntax && (v.chars.octets[1] < 0x50 || v.chars.octets[1] > 0x5F))
        return Fail(st, OID_S_NOTSYNTAX);
    if (binary_out) std::memcpy(binary_out, v.binary.data(), v.binary.size());
    return 0;
}

// A link of the link file: the letter of the link kind, then the binary
// form, to the linked identifier's binary form.
uint32_t LinkLookup(STF_List *st, OID_Db *h, char kind, const unsigned char *binary,
                    unsigned char *binary_out) {
    if (!WellFormedBinary(binary, OID_MAX_BINARY)) return Fail(st, OID_S_INVALID);
    return Guarded(st, [&]() -> uint32_t {
        FileUse u(st, h, kLink);
        if (u.Status()) return u.Status();
        std::string key(1, kind), rec;
        key.append(BinKey(binary));
        CacheValue v;
        if (!FetchCopy(u.Link(), key, rec)) return Fail(st, OID_S_NOTFOUND);
        if (!BinaryRecord(rec, v)) return Fail(st, OID_S_ADDFAILED);
        if (binary_out) std::memcpy(binary_out, v.binary.data(), v.binary.size());
        return 0;
    });
}

uint32_t LinkFromBinary(STF_List *st, OID_Db *h, char kind, const unsigned char *binary,
                        unsigned char *out) {
    if (!st) return 1;
    STF_ClearStatus(st);
    return LinkLookup(st, h, kind, binary, out);
}

uint32_t LinkFromShort(STF_List *st, OID_Db *h, char kind, uint32_t id, unsigned char *out) {
    if (!st) return 1;
    STF_ClearStatus(st);
    const unsigned char *b = nullptr;
    if (GENU_ShortToBinaryOID(st, id, &b) != 0) return Fail(st, OID_S_NOTFOUND);
    return LinkLookup(st, h, kind, b, out);
}

uint32_t NoLink(STF_List *st) {
    if (!st) return 1;
    STF_ClearStatus(st);
    return Fail(st, OID_S_NOLINK);
}

} // namespace
} // namespace vrcore::oid

using namespace vrcore::oid;

extern "C" {

VR_EXPORT uint32_t OID_LookupName(STF_List *st, OID_Db *h, const char *name,
                                  unsigned char *binary_out, OID_Characteristics *chars_out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!ValidName(name)) return Fail(st, OID_S_INVALID);
    return Guarded(st, [&]() -> uint32_t {
        CacheValue v;
        std::string loc;
        if (CachesEnabled() && ResolvedLocale(h, loc) &&
            CacheGet(CacheKind::kName, CacheKey(loc, name), v)) {
            Deliver(v, binary_out, nullptr, chars_out);
            return 0;
        }
        FileUse u(st, h, kMain | kLocale);
        if (u.Status()) return u.Status();
        if (uint32_t rc = NameToValue(st, u, name, v)) return rc;
        if (!u.LocaleFile().empty()) CachePut(CacheKind::kName, CacheKey(u.LocaleFile(), name), v);
        Deliver(v, binary_out, nullptr, chars_out);
        return 0;
    });
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_LookupBinary(STF_List *st, OID_Db *h, const unsigned char *binary,
                                    char *name_out, OID_Characteristics *chars_out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!WellFormedBinary(binary, OID_MAX_BINARY)) return Fail(st, OID_S_INVALID);
    return Guarded(st, [&] { return LookupValue(st, h, binary, nullptr, name_out, chars_out); });
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_LookupShort(STF_List *st, OID_Db *h, uint32_t short_id, char *name_out,
                                   OID_Characteristics *chars_out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    return Guarded(st, [&]() -> uint32_t {
        CacheValue v;
        std::string loc;
        std::string_view what(reinterpret_cast<const char *>(&short_id), sizeof short_id);
        if (CachesEnabled() && ResolvedLocale(h, loc) &&
            CacheGet(CacheKind::kShort, CacheKey(loc, what), v)) {
            Deliver(v, nullptr, name_out, chars_out);
            return 0;
        }
        const unsigned char *b = nullptr;
        if (GENU_ShortToBinaryOID(st, short_id, &b) != 0) return Fail(st, OID_S_NOTFOUND);
        if (!WellFormedBinary(b, OID_MAX_BINARY)) return Fail(st, OID_S_NOTFOUND);
        return LookupValue(st, h, b, &short_id, name_out, chars_out);
    });
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_LookupAbbrev(STF_List *st, OID_Db *h, const char *abbrev,
                                    unsigned char *binary_out, OID_Characteristics *chars_out) try {
    return LookupAbbrevImpl(st, h, abbrev, binary_out, chars_out, nullptr, 0);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_LookupAbbrev_A(STF_List *st, OID_Db *h, const char *abbrev,
                                      unsigned char *binary_out, OID_Characteristics *chars_out,
                                      VRBM_MatchNode **candidates) try {
    return LookupAbbrevImpl(st, h, abbrev, binary_out, chars_out, candidates, 0);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_LookupAbbrev_N(STF_List *st, OID_Db *h, const char *abbrev,
                                      unsigned char *binary_out, OID_Characteristics *chars_out,
                                      VRBM_MatchNode **candidates, int32_t keep_list) try {
    return LookupAbbrevImpl(st, h, abbrev, binary_out, chars_out, candidates, keep_list);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_LookupSyntax(STF_List *st, OID_Db *h, uint32_t syntax,
                                    unsigned char *binary_out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (syntax >= 256) return Fail(st, OID_S_BADSYNTAX);
    char key[8];
    std::snprintf(key, sizeof key, "S%04u", syntax);
    return Guarded(st, [&] { return ClassRecord(st, h, key, binary_out, true); });
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_LookupObjectClass(STF_List *st, OID_Db *h, uint32_t class_number,
                                         unsigned char *binary_out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (class_number > 999) return Fail(st, OID_S_NOTFOUND);
    char key[8];
    std::snprintf(key, sizeof key, "C%03u", class_number);
    return Guarded(st, [&] { return ClassRecord(st, h, key, binary_out, false); });
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_LookupValueClass(STF_List *st, OID_Db *h, const char *name,
                                        unsigned char *binary_out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!ValidName(name)) return Fail(st, OID_S_INVALID);
    return Guarded(st, [&] {
        std::string_view n(name);
        if (n.rfind("id-vc-", 0) == 0) n.remove_prefix(6);
        std::string key = "VC-";
        key.append(n);
        if (n.empty() || key.size() > VRBM_MAX_KEY) return Fail(st, OID_S_NOTFOUND);
        return ClassRecord(st, h, key, binary_out, false);
    });
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

VR_EXPORT uint32_t OID_LookupDescriptorFromBinary(STF_List *st, OID_Db *h,
                                                  const unsigned char *binary,
                                                  unsigned char *out) try {
    return LinkFromBinary(st, h, 'd', binary, out);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)
VR_EXPORT uint32_t OID_LookupDescriptorFromShort(STF_List *st, OID_Db *h, uint32_t id,
                                                 unsigned char *out) try {
    return LinkFromShort(st, h, 'd', id, out);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)
VR_EXPORT uint32_t OID_LookupSupportedFromBinary(STF_List *st, OID_Db *h,
                                                 const unsigned char *binary,
                                                 unsigned char *out) try {
    return LinkFromBinary(st, h, 's', binary, out);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)
VR_EXPORT uint32_t OID_LookupSupportedFromShort(STF_List *st, OID_Db *h, uint32_t id,
                                                unsigned char *out) try {
    return LinkFromShort(st, h, 's', id, out);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)
VR_EXPORT uint32_t OID_LookupReadyFromBinary(STF_List *st, OID_Db *h, const unsigned char *binary,
                                             unsigned char *out) try {
    return LinkFromBinary(st, h, 'r', binary, out);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)
VR_EXPORT uint32_t OID_LookupReadyFromShort(STF_List *st, OID_Db *h, uint32_t id,
                                            unsigned char *out) try {
    return LinkFromShort(st, h, 'r', id, out);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)
VR_EXPORT uint32_t OID_AddDescriptor(STF_List *st, OID_Db *, const unsigned char *,
                                     const unsigned char *) try {
    return NoLink(st);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)
VR_EXPORT uint32_t OID_AddSupported(STF_List *st, OID_Db *, const unsigned char *,
                                    const unsigned char *) try {
    return NoLink(st);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)
VR_EXPORT uint32_t OID_AddReady(STF_List *st, OID_Db *, const unsigned char *,
                                const unsigned char *) try {
    return NoLink(st);
}
VR_CATCH_RECORD(st, OID_S_NOMEM, OID_S_INTERNAL)

} // extern "C"
