// Locales: the mapping tables loaded from "charset.dat" and the
// translations between DPA locales, locale names and LCIDs.
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>

#include "messages/i18n_internal.h"
#include "system/guard.h"
#include "system/config.h"
#include "vrcore/fa.h"
#include "vrcore/genu.h"
#include "vrcore/i18n.h"
#include "vrcore/iconv.h"
#include "vrcore/log.h"
#include "vrcore/oid.h"
#include "vrcore/stf.h"

namespace vrcore::messages {
std::mutex &LocaleMutex();
}

namespace vrcore::i18n {

namespace {

constexpr GENU_ShortOID kAsciiCodeSet = 368; // id-val-code-set-ascii
constexpr const char *kDefaultCodeSet = "ISO8859-1";
constexpr size_t kMaxCurrentName = 50;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The blank-separated words of a line.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> w;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        if (i > start) w.push_back(line.substr(start, i - start));
    }
    return w;
}

// A decimal 32-bit signed number, the whole word.
std::optional<int32_t> ParseLcid(std::string_view w) {
    size_t i = 0;
    bool negative = false;
    if (i < w.size() && (w[i] == '-' || w[i] == '+')) negative = w[i++] == '-';
    if (i == w.size()) return std::nullopt;
    int64_t v = 0;
    for (; i < w.size(); ++i) {
        if (w[i] < '0' || w[i] > '9') return std::nullopt;
        v = v * 10 + (w[i] - '0');
        if (v > 2147483648LL) return std::nullopt;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(v);
}

// Language or territory: the first two characters, the length of the
// source up to 2.
void TwoChars(std::string_view src, char out[2], uint16_t &length) {
    out[0] = out[1] = ' ';
    length = static_cast<uint16_t>(src.size() < 2 ? src.size() : 2);
    for (size_t i = 0; i < length; ++i) out[i] = src[i];
}

enum class Section { Header, Codesets, Locales };

enum class Resolved { Done, Malformed, Unknown, NoMemory };

// Resolves dotted text to a short identifier.
Resolved ResolveDotted(std::string_view word, GENU_ShortOID &oid) {
    STF_List *st = STF_CreateList(nullptr);
    if (!st) return Resolved::NoMemory;
    std::string text(word);
    unsigned char bin[160];
    uint32_t len = sizeof bin;
    Resolved rc = Resolved::Done;
    if (OID_ConvertDecToBin(st, text.c_str(), nullptr, &len, bin) != 0) {
        rc = STF_GetStatus(st) == OID_S_NOMEM ? Resolved::NoMemory : Resolved::Malformed;
    } else if (GENU_BinaryToShortOID(st, bin, &oid) != 0) {
        rc = STF_GetStatus(st) == GEN_S_NOMEM ? Resolved::NoMemory : Resolved::Unknown;
    }
    STF_DeleteList(st);
    return rc;
}

} // namespace

uint32_t ParseMapping(std::string_view text, Tables &out, size_t *bad_line) {
    try {
        Tables t;
        Section section = Section::Header;
        size_t line_no = 0;
        auto malformed = [&] {
            if (bad_line) *bad_line = line_no;
            return I18N_S_MALFORMED;
        };
        size_t pos = 0;
        while (pos < text.size()) {
            size_t nl = text.find('\n', pos);
            std::string_view line =
                text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
            pos = nl == std::string_view::npos ? text.size() : nl + 1;
            ++line_no;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.size() > kMaxLine || line.find('\0') != std::string_view::npos)
                return malformed();
            std::vector<std::string_view> w = Words(line);
            if (w.empty()) continue;
            switch (section) {
            case Section::Header:
                if (w.size() != 1 || w[0] != "codeset-mappings:") return malformed();
                section = Section::Codesets;
                break;
            case Section::Codesets:
                if (w.size() == 1) {
                    if (w[0] != "locale-mappings:") return malformed();
                    section = Section::Locales;
                } else if (w.size() == 2) {
                    GENU_ShortOID oid = 0;
                    Resolved rc = ResolveDotted(w[1], oid);
                    if (rc == Resolved::Malformed) return malformed();
                    if (rc == Resolved::NoMemory) return I18N_S_FAILURE;
                    if (rc == Resolved::Unknown) {
                        LOG_CondMessage(
                            5, __FILE__, __LINE__,
                            "I18N_Init: code set '%.*s' (%.*s) is not known here; left out\n",
                            static_cast<int>(w[0].size()), w[0].data(),
                            static_cast<int>(w[1].size()), w[1].data());
                        break;
                    }
                    t.codesets.push_back(CodesetEntry{std::string(w[0]), oid});
                } else {
                    return malformed();
                }
                break;
            case Section::Locales: {
                if (w.size() != 5) return malformed();
                std::optional<int32_t> lcid = ParseLcid(w[4]);
                if (!lcid) return malformed();
                LocaleEntry e;
                e.name.assign(w[0]);
                for (char &c : e.name)
                    if (c == '$') c = ' ';
                if (e.name == "C") {
                    e.language[0] = 'C';
                    e.language[1] = ' ';
                    e.language_length = 1;
                } else {
                    TwoChars(w[1], e.language, e.language_length);
                }
                if (w[2] == "<empty>")
                    e.territory_length = 0;
                else
                    TwoChars(w[2], e.territory, e.territory_length);
                e.codeset.assign(w[3]);
                e.lcid = *lcid;
                t.locales.push_back(std::move(e));
                break;
            }
            }
        }
        if (section == Section::Header) {
            line_no = line_no ? line_no : 1;
            return malformed();
        }
        out = std::move(t);
        return 0;
    } catch (const std::bad_alloc &) {
        return I18N_S_FAILURE;
    }
}

namespace {

struct State {
    std::mutex mutex;
    int count = 0;
    Tables tables;
};

State &S() {
    static State *s = new State; // lives as long as the process
    return *s;
}

const CodesetEntry *FindCodesetByName(const Tables &t, std::string_view name) {
    for (const CodesetEntry &c : t.codesets)
        if (c.name == name) return &c;
    return nullptr;
}

const CodesetEntry *FindCodesetByOid(const Tables &t, GENU_ShortOID oid) {
    for (const CodesetEntry &c : t.codesets)
        if (c.oid == oid) return &c;
    return nullptr;
}

// The code set of a locale record, through the code-set table.
bool LocaleCodeset(const Tables &t, const LocaleEntry &e, GENU_ShortOID &oid) {
    const CodesetEntry *c = FindCodesetByName(t, e.codeset.empty() ? kDefaultCodeSet : e.codeset);
    if (!c) return false;
    oid = c->oid;
    return true;
}

// A new zero-filled DPA locale from a record.
int MakeLocale(STF_List *status, const Tables &t, const LocaleEntry &e, I18N_DPALocale **out) {
    GENU_ShortOID oid = 0;
    if (!LocaleCodeset(t, e, oid)) return Fail(status, I18N_S_FAILURE);
    auto *loc = static_cast<I18N_DPALocale *>(calloc(1, sizeof(I18N_DPALocale)));
    if (!loc) return Fail(status, I18N_S_FAILURE);
    loc->language_length = e.language_length;
    memcpy(loc->language, e.language, 2);
    loc->territory_length = e.territory_length;
    memcpy(loc->territory, e.territory, 2);
    loc->code_set = oid;
    *out = loc;
    return 0;
}

// The first record matching a DPA locale over its lengths and code set.
const LocaleEntry *FindByDPALocale(const Tables &t, const I18N_DPALocale &loc) {
    uint16_t ll = loc.language_length > 2 ? 2 : loc.language_length;
    uint16_t tl = loc.territory_length > 2 ? 2 : loc.territory_length;
    for (const LocaleEntry &e : t.locales) {
        if (memcmp(e.language, loc.language, ll) != 0 ||
            memcmp(e.territory, loc.territory, tl) != 0)
            continue;
        GENU_ShortOID oid = 0;
        if (LocaleCodeset(t, e, oid) && oid == loc.code_set) return &e;
    }
    return nullptr;
}

void CopyOut(const std::string &s, uint32_t size, uint32_t *length_out, char *buffer) {
    if (length_out) *length_out = static_cast<uint32_t>(s.size());
    if (buffer && size) {
        size_t n = s.size() < size - 1 ? s.size() : size - 1;
        memcpy(buffer, s.data(), n);
        buffer[n] = '\0';
    }
}

// Reads a whole mapping file; 0, or the not-found code.
uint32_t ReadFile(const std::string &path, std::string &text) {
    char *native = nullptr;
    size_t native_len = 0;
    std::string p = path;
    if (FA_ConvertFilePath(path.c_str(), path.size(), &native, &native_len) == 0 && native) {
        p = native;
        FA_FreeFilePath(native);
    }
    FILE *f = fopen(p.c_str(), "rb");
    if (!f) return I18N_S_NOFILE;
    text.clear();
    char buf[4096];
    size_t n;
    bool too_big = false;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        if (text.size() + n > (4u << 20)) { // a mapping file is small
            too_big = true;
            break;
        }
        text.append(buf, n);
    }
    bool err = ferror(f) != 0;
    fclose(f);
    if (too_big) return I18N_S_MALFORMED;
    return err ? I18N_S_NOFILE : 0;
}

uint32_t Load(const char *directory, Tables &t) {
    std::string text;
    uint32_t rc;
    if (directory) {
        rc = ReadFile(std::string(directory) + "/charset.dat", text);
    } else {
        rc = ReadFile(vrcore::system::cfg::DataDir() + "/charset.dat", text);
        if (rc == I18N_S_NOFILE) rc = ReadFile("../share/data/charset.dat", text);
    }
    if (rc) return rc;
    size_t line = 0;
    rc = ParseMapping(text, t, &line);
    if (rc == I18N_S_MALFORMED)
        LOG_CondMessage(3, __FILE__, __LINE__, "I18N_Init: malformed mapping file at line %zu\n",
                        line);
    return rc;
}

} // namespace

} // namespace vrcore::i18n

using namespace vrcore::i18n;

extern "C" {

int I18N_Init(STF_List *status, const char *directory) try {
    if (!Begin(status)) return 1;
    State &s = S();
    {
        std::lock_guard g(s.mutex);
        if (s.count == 0) {
            Tables t;
            uint32_t rc;
            try {
                rc = Load(directory, t);
            } catch (const std::bad_alloc &) {
                rc = I18N_S_FAILURE;
            }
            if (rc) return Fail(status, rc);
            s.tables = std::move(t);
        }
        ++s.count;
    }
    ICONV_RegisterCallback(nullptr, ICONV_CALLBACK_LOCALE,
                           reinterpret_cast<ICONV_Callback>(&I18N_GetCurrentDPALocale));
    ICONV_RegisterCallback(nullptr, ICONV_CALLBACK_CODESET_NAME,
                           reinterpret_cast<ICONV_Callback>(&I18N_OIDToCodesetName));
    return 0;
}
VR_CATCH_STATUS(status, I18N_S_FAILURE, I18N_S_INTERNAL)

int I18N_Term(STF_List *status) try {
    if (!Begin(status)) return 1;
    State &s = S();
    std::lock_guard g(s.mutex);
    if (s.count <= 0) return Fail(status, I18N_S_FAILURE);
    if (--s.count == 0) s.tables = Tables{};
    return 0;
}
VR_CATCH_STATUS(status, I18N_S_FAILURE, I18N_S_INTERNAL)

int I18N_CodesetNameToOID(STF_List *status, const char *name, GENU_ShortOID *oid_out) try {
    if (!Begin(status)) return 1;
    if (!name || !oid_out) return Fail(status, I18N_S_FAILURE);
    State &s = S();
    std::lock_guard g(s.mutex);
    const CodesetEntry *c = FindCodesetByName(s.tables, name);
    if (!c) return Fail(status, I18N_S_FAILURE);
    *oid_out = c->oid;
    return 0;
}
VR_CATCH_STATUS(status, I18N_S_FAILURE, I18N_S_INTERNAL)

int I18N_OIDToCodesetName(STF_List *status, GENU_ShortOID oid, uint32_t size, uint32_t *length_out,
                          char *buffer) try {
    if (!Begin(status)) return 1;
    if (!buffer && size) return Fail(status, I18N_S_FAILURE);
    State &s = S();
    std::lock_guard g(s.mutex);
    const CodesetEntry *c = FindCodesetByOid(s.tables, oid);
    if (!c) return Fail(status, I18N_S_FAILURE);
    CopyOut(c->name, size, length_out, buffer);
    return 0;
}
VR_CATCH_STATUS(status, I18N_S_FAILURE, I18N_S_INTERNAL)

int I18N_GetDPALocaleFromLocaleName(STF_List *status, const char *locale_name,
                                    I18N_DPALocale **locale_out) try {
    if (!Begin(status)) return 1;
    if (!locale_name || !locale_out) return Fail(status, I18N_S_FAILURE);
    State &s = S();
    std::lock_guard g(s.mutex);
    for (const LocaleEntry &e : s.tables.locales)
        if (e.name == locale_name) return MakeLocale(status, s.tables, e, locale_out);
    return Fail(status, I18N_S_NOLOCALE);
}
VR_CATCH_STATUS(status, I18N_S_FAILURE, I18N_S_INTERNAL)

int I18N_GetLocaleNameFromDPALocale(STF_List *status, const I18N_DPALocale *locale, uint32_t size,
                                    uint32_t *length_out, char *buffer) try {
    if (!Begin(status)) return 1;
    if (!locale || (!buffer && size)) return Fail(status, I18N_S_FAILURE);
    State &s = S();
    std::lock_guard g(s.mutex);
    const LocaleEntry *e = FindByDPALocale(s.tables, *locale);
    if (!e) return Fail(status, I18N_S_NOLOCALE);
    CopyOut(e->name, size, length_out, buffer);
    return 0;
}
VR_CATCH_STATUS(status, I18N_S_FAILURE, I18N_S_INTERNAL)

int I18N_GetDPALocaleFromLCID(STF_List *status, int32_t lcid, I18N_DPALocale **locale_out) try {
    if (!Begin(status)) return 1;
    if (!locale_out) return Fail(status, I18N_S_FAILURE);
    State &s = S();
    std::lock_guard g(s.mutex);
    for (const LocaleEntry &e : s.tables.locales)
        if (e.lcid == lcid) return MakeLocale(status, s.tables, e, locale_out);
    return Fail(status, I18N_S_NOLOCALE);
}
VR_CATCH_STATUS(status, I18N_S_FAILURE, I18N_S_INTERNAL)

int I18N_GetLCIDFromDPALocale(STF_List *status, const I18N_DPALocale *locale,
                              int32_t *lcid_out) try {
    if (!Begin(status)) return 1;
    if (!locale || !lcid_out) return Fail(status, I18N_S_FAILURE);
    State &s = S();
    std::lock_guard g(s.mutex);
    const LocaleEntry *e = FindByDPALocale(s.tables, *locale);
    if (!e) return Fail(status, I18N_S_NOLOCALE);
    *lcid_out = e->lcid;
    return 0;
}
VR_CATCH_STATUS(status, I18N_S_FAILURE, I18N_S_INTERNAL)

int I18N_GetCurrentDPALocale(STF_List *status, I18N_DPALocale **locale_out) try {
    if (!Begin(status)) return 1;
    if (!locale_out) return Fail(status, I18N_S_FAILURE);
    char name[kMaxCurrentName + 1] = {0};
    {
        std::lock_guard g(vrcore::messages::LocaleMutex());
        const char *cur = setlocale(LC_ALL, nullptr);
        if (cur) strncpy(name, cur, kMaxCurrentName);
    }
    State &s = S();
    std::lock_guard g(s.mutex);
    for (const LocaleEntry &e : s.tables.locales)
        if (e.name == name) return MakeLocale(status, s.tables, e, locale_out);
    if (strcmp(name, "C") != 0) return Fail(status, I18N_S_FAILURE);
    auto *loc = static_cast<I18N_DPALocale *>(calloc(1, sizeof(I18N_DPALocale)));
    if (!loc) return Fail(status, I18N_S_FAILURE);
    loc->language_length = 1;
    loc->language[0] = 'C';
    loc->language[1] = ' ';
    loc->code_set = kAsciiCodeSet;
    *locale_out = loc;
    return 0;
}
VR_CATCH_STATUS(status, I18N_S_FAILURE, I18N_S_INTERNAL)

} // extern "C"
