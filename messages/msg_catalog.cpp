// Message catalogs: which catalog holds a code, finding it through
// NLSPATH, the cache of open catalogs, symbolic names, and the lookup and
// formatting of message texts with their fallback rendering.
#include "messages/msg_catalog.h"

#include <fcntl.h>
#include <locale.h>
#include <nl_types.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

#include "messages/msg_format.h"
#include "system/guard.h"
#include "system/seam.h"
#include "system/trace.h"
#include "vrcore/fa.h"
#include "vrcore/msg.h"
#include "vrcore/stf.h"

namespace vrcore::messages {
namespace {

void *Alloc(size_t n) {
    return vrcore::system::seam::Alloc(vrcore::system::seam::Module::Messages, n);
}
void Release(void *p) { vrcore::system::seam::Release(vrcore::system::seam::Module::Messages, p); }

constexpr uint32_t kZeroStatus = STF_S_NOSTATUS; // shown for a status code of 0
constexpr size_t kCacheSlots = 10;
constexpr size_t kNameSlots = 64;
constexpr size_t kGuardBytes = 100;
constexpr size_t kMaxCatalogFile = 64u << 20;

// Records the first error; a truncation gives way to a later, more
// serious error.
struct Result {
    uint32_t code = 0;
    void Note(uint32_t c) {
        if (c != 0 && (code == 0 || (code == MSG_S_TRUNCATED && c != MSG_S_TRUNCATED))) code = c;
    }
};

struct Slot {
    std::string name;
    std::string locale;
    nl_catd catd = reinterpret_cast<nl_catd>(-1);
    uint64_t last_use = 0;
    bool used = false;
};

// A remembered symbolic name (at most 10 characters).
struct FacilityEntry {
    uint16_t facility_word;
    char name[11];
};

struct State {
    std::mutex locale_mutex;
    std::mutex cache_mutex;
    std::mutex names_mutex;
    std::mutex usage_mutex;
    std::atomic<bool> in_use{false};
    std::string prefix; // upper case; guarded by usage_mutex
    Slot slots[kCacheSlots];
    uint64_t tick = 0;
    // Remembered names, newest last; when full the oldest gives way.
    FacilityEntry names[kNameSlots];
    size_t name_count = 0;
};

State &S() {
    static State *state = new State; // lives as long as the process
    return *state;
}

} // namespace

// The mutex that guards reading the process's locale.
std::mutex &LocaleMutex() { return S().locale_mutex; }

namespace {

std::string Prefix() {
    std::lock_guard<std::mutex> g(S().usage_mutex);
    return S().prefix;
}

// ------------------------------------------------------------- files

std::string CatalogDirDefault() {
    const char *root = std::getenv("TS_ROOT");
    std::string r = root && *root ? root : VRCORE_DEFAULT_ROOT;
    return r + "/share/vrcore/nls";
}

bool ReadWholeFile(const std::string &path, std::vector<unsigned char> &out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
              static_cast<uint64_t>(st.st_size) <= kMaxCatalogFile;
    if (ok) {
        try {
            out.resize(static_cast<size_t>(st.st_size));
        } catch (...) {
            ok = false;
        }
    }
    size_t got = 0;
    while (ok && got < out.size()) {
        ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            got += static_cast<size_t>(n);
    }
    ::close(fd);
    return ok;
}

// Opens the first catalog the search path yields; -1 when none does.
nl_catd OpenThroughSearchPath(const std::string &name, const std::string &locale) {
    const char *env = std::getenv("NLSPATH");
    std::string path_list =
        env ? env : CatalogDirDefault() + "/%L/%N:" + CatalogDirDefault() + "/%N";
    size_t start = 0;
    while (start <= path_list.size()) {
        size_t end = path_list.find(':', start);
        if (end == std::string::npos) end = path_list.size();
        std::string tmpl = path_list.substr(start, end - start);
        start = end + 1;
        if (tmpl.empty()) continue;
        std::string path = ExpandTemplate(tmpl, name, locale);
        if (path.empty() || path.size() >= PATH_MAX) continue;
        // Portable notation ("C|/dir") to the native form; a path the
        // conversion refuses (not valid text in this locale) is used as is.
        char *native = nullptr;
        size_t native_len = 0;
        if (FA_ConvertFilePath(path.data(), path.size(), &native, &native_len) == 0 && native) {
            path.assign(native, strnlen(native, native_len));
            FA_FreeFilePath(native);
        }
        // A name without a directory would send catopen on its own search.
        if (path.find('/') == std::string::npos) path = "./" + path;
        std::vector<unsigned char> bytes;
        if (!ReadWholeFile(path, bytes)) continue;
        if (!CatalogBytesValid(bytes.data(), bytes.size())) {
            vrcore::system::trace::Message(5, __FILE__, __LINE__,
                                           "MSG: malformed catalog %s ignored\n", path.c_str());
            continue;
        }
        nl_catd c = catopen(path.c_str(), 0);
        if (c != reinterpret_cast<nl_catd>(-1)) return c;
    }
    return reinterpret_cast<nl_catd>(-1);
}

// The slot holding (name, locale), opening the catalog on a miss; null
// when it cannot be had. Called with the cache mutex held.
Slot *CachedCatalog(const std::string &name, const std::string &locale) {
    State &st = S();
    for (Slot &s : st.slots) {
        if (s.used && s.name == name && s.locale == locale) {
            s.last_use = ++st.tick;
            return &s;
        }
    }
    nl_catd c = OpenThroughSearchPath(name, locale);
    if (c == reinterpret_cast<nl_catd>(-1)) return nullptr;
    Slot *victim = nullptr;
    for (Slot &s : st.slots) {
        if (!s.used) {
            victim = &s;
            break;
        }
        if (!victim || s.last_use < victim->last_use) victim = &s;
    }
    if (victim->used) catclose(victim->catd);
    try {
        victim->name = name;
        victim->locale = locale;
    } catch (...) {
        catclose(c);
        victim->used = false;
        return nullptr;
    }
    victim->catd = c;
    victim->used = true;
    victim->last_use = ++st.tick;
    return victim;
}

void CloseAll() {
    std::lock_guard<std::mutex> g(S().cache_mutex);
    for (Slot &s : S().slots) {
        if (s.used) catclose(s.catd);
        s = Slot{};
    }
}

// Copies the text of (variant, number) out of the catalog into a block
// from Alloc, with carriage returns removed and a final line break cut.
// Returns 0, MSG_S_NOTEXT or MSG_S_NOMEM.
uint32_t FetchText(const std::string &name, const std::string &locale, int variant, int number,
                   char **out) {
    *out = nullptr;
    if (name.empty() || variant < 1 || number < 1) return MSG_S_NOTEXT;
    std::lock_guard<std::mutex> g(S().cache_mutex);
    Slot *slot;
    try {
        slot = CachedCatalog(name, locale);
    } catch (...) {
        return MSG_S_NOMEM;
    }
    if (!slot) return MSG_S_NOTEXT;
    static const char kMissing[] = "";
    errno = 0;
    const char *t = catgets(slot->catd, variant, number, kMissing);
    if (!t || t == kMissing) return MSG_S_NOTEXT;
    size_t n = std::strlen(t);
    char *copy = static_cast<char *>(Alloc(n + 1));
    if (!copy) return MSG_S_NOMEM;
    size_t k = 0;
    for (size_t i = 0; i < n; ++i)
        if (t[i] != '\r') copy[k++] = t[i];
    if (k > 0 && copy[k - 1] == '\n') --k;
    copy[k] = '\0';
    *out = copy;
    return 0;
}

// ------------------------------------------------------------ locales

// The locale to look texts up in: the requested one when it exists, else
// the current one (with MSG_S_BADLOCALE). `loc` receives a locale object
// for the operating-system error texts (the caller frees it).
std::string EffectiveLocale(const char *requested, Result &r, locale_t *loc) {
    std::string current;
    {
        std::lock_guard<std::mutex> g(S().locale_mutex);
        const char *c = setlocale(LC_MESSAGES, nullptr);
        current = c ? c : "C";
    }
    std::string use = current;
    if (requested && *requested && current != requested) {
        locale_t probe = newlocale(LC_MESSAGES_MASK, requested, static_cast<locale_t>(0));
        if (probe) {
            freelocale(probe);
            use = requested;
        } else {
            r.Note(MSG_S_BADLOCALE);
        }
    }
    if (loc) {
        *loc = newlocale(LC_ALL_MASK, use.c_str(), static_cast<locale_t>(0));
        if (!*loc) *loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    }
    return use;
}

// ------------------------------------------------------- codes and names

struct Where {
    std::string catalog; // with ".mdl"; empty: none
    int variant = 0;
};

Where Locate(uint32_t kind, uint32_t code, const std::string &prefix) {
    Where w;
    uint16_t fw = static_cast<uint16_t>(code >> 16);
    w.catalog = CatalogName(fw, prefix);
    if ((fw & 0xC000) == 0) {
        int v = 2 * (fw & 0x3FFF);
        w.variant = kind == MSG_KIND_STATUS ? v : v - 1;
    } else {
        w.variant = kind == MSG_KIND_STATUS ? 2 : 1;
    }
    return w;
}

const char *KindName(uint32_t kind, char hex[8]) {
    switch (kind) {
    case MSG_KIND_STATUS: return "STF";
    case MSG_KIND_USER: return "MSG";
    case MSG_KIND_ERRNO: return "ERRNO";
    default: std::snprintf(hex, 8, "%04x", kind & 0xFFFFu); return hex;
    }
}

// The facility's symbolic name: message 1 of its catalog, remembered per
// facility word; the facility word in hexadecimal when there is none.
std::string FacilityName(uint32_t kind, uint32_t code, const std::string &locale) {
    uint16_t fw = static_cast<uint16_t>(code >> 16);
    {
        std::lock_guard<std::mutex> g(S().names_mutex);
        const State &st = S();
        for (size_t i = st.name_count; i-- > 0;)
            if (st.names[i].facility_word == fw) return st.names[i].name;
    }
    // The name is message 1 of the user-message variant: message 1 of the
    // status variant is a status text in facilities numbered from 1.
    Where w = Locate(MSG_KIND_USER, code, Prefix());
    (void)kind;
    char *text = nullptr;
    std::string name;
    if (FetchText(w.catalog, locale, w.variant, 1, &text) == 0 && text[0]) {
        name.assign(text, strnlen(text, 10));
        Release(text);
        std::lock_guard<std::mutex> g(S().names_mutex);
        FacilityEntry e{fw, {}};
        std::memcpy(e.name, name.data(), name.size());
        State &st = S();
        if (st.name_count == kNameSlots) {
            std::memmove(st.names, st.names + 1, sizeof st.names - sizeof st.names[0]);
            --st.name_count;
        }
        st.names[st.name_count++] = e;
        return name;
    }
    if (text) Release(text);
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", fw);
    return hex;
}

// Copies `text` into (buffer, size): cut to size - 1 and NUL-terminated.
// Returns MSG_S_TRUNCATED when cut.
uint32_t CopyOut(const char *text, size_t len, uint32_t size, char *buffer) {
    if (size == 0) return MSG_S_TRUNCATED; // not even the NUL fits
    size_t k = len < size - 1 ? len : size - 1;
    std::memcpy(buffer, text, k);
    buffer[k] = '\0';
    return k < len ? MSG_S_TRUNCATED : 0;
}

// A looked-up text: a block from Alloc, or the fallback rendering.
struct Lookup {
    char *text = nullptr; // catalog or error text, null when falling back
    char fallback[96] = {};
    bool found = false; // a text was found (catalog or error text)
    ~Lookup() {
        if (text) Release(text);
    }
    const char *Get() const { return text ? text : fallback; }
};

void LookUp(uint32_t kind, uint32_t code, const char *locale, Result &r, Lookup &out) {
    if (!S().in_use.load()) r.Note(MSG_S_USAGE);
    if (kind == MSG_KIND_STATUS && code == 0) code = kZeroStatus;
    char hex[8];
    const char *kname = KindName(kind, hex);
    locale_t loc = static_cast<locale_t>(0);
    std::string use = EffectiveLocale(locale, r, kind == MSG_KIND_ERRNO ? &loc : nullptr);
    if (kind == MSG_KIND_STATUS || kind == MSG_KIND_USER) {
        std::string fac = FacilityName(kind, code, use);
        std::snprintf(out.fallback, sizeof out.fallback, "c=%08lx%s%s cs=%s",
                      static_cast<unsigned long>(code), " f=", fac.c_str(), kname);
        Where w = Locate(kind, code, Prefix());
        uint32_t rc =
            FetchText(w.catalog, use, w.variant, static_cast<int>(code & 0xFFFF), &out.text);
        if (rc == 0)
            out.found = true;
        else
            r.Note(rc == MSG_S_NOMEM ? MSG_S_NOMEM : MSG_S_NOTEXT);
        return;
    }
    std::snprintf(out.fallback, sizeof out.fallback, "c=%08lx cs=%s",
                  static_cast<unsigned long>(code), kname);
    if (kind != MSG_KIND_ERRNO) {
        r.Note(MSG_S_BADKIND);
        return;
    }
    int e = static_cast<int>(code);
    const char *t = strerrordesc_np(e) ? (loc ? strerror_l(e, loc) : strerrordesc_np(e)) : nullptr;
    if (t) {
        size_t n = std::strlen(t);
        out.text = static_cast<char *>(Alloc(n + 1));
        if (out.text) {
            std::memcpy(out.text, t, n + 1);
            out.found = true;
        } else {
            r.Note(MSG_S_NOMEM);
        }
    } else {
        r.Note(MSG_S_NOTEXT);
    }
    if (loc) freelocale(loc);
}

// The fallback rendering extended with the arguments: " a=(1,"x",2.5)".
std::string FallbackWithArgs(const char *fallback, int32_t count, const STF_ArgRecord *args) {
    std::string s = fallback;
    s += " a=(";
    if (count > MSG_MAX_ARGS) count = MSG_MAX_ARGS;
    for (int32_t i = 0; args && i < count; ++i) {
        if (i) s += ',';
        const STF_ArgRecord &a = args[i];
        char num[64];
        switch (a.type) {
        case STF_ARG_CHAR: s += a.value.c; break;
        case STF_ARG_INT:
            std::snprintf(num, sizeof num, "%ld", static_cast<long>(a.value.i));
            s += num;
            break;
        case STF_ARG_DOUBLE:
            std::snprintf(num, sizeof num, "%f", a.value.d);
            s += std::strlen(num) < sizeof num - 1 ? num : "<big>";
            break;
        case STF_ARG_STRING:
            s += '"';
            if (a.value.p) s += static_cast<const char *>(a.value.p);
            s += '"';
            break;
        case STF_ARG_COUNTED:
            s += '"';
            if (a.value.p)
                s.append(static_cast<const char *>(a.value.p),
                         strnlen(static_cast<const char *>(a.value.p), a.length));
            s += '"';
            break;
        default: s += "<bad arg>"; break;
        }
    }
    s += ')';
    return s;
}

// Formats `text` with the records into (buffer, size) through a work
// buffer with guard bytes. Returns the length needed including the NUL,
// or 0 when the format or records do not fit each other.
size_t FormatGuarded(const char *text, int32_t count, const STF_ArgRecord *args, uint32_t size,
                     char *buffer, Result &r, bool &formatted) {
    formatted = false;
    char *work = static_cast<char *>(Alloc(size_t{size} + kGuardBytes));
    if (!work) {
        r.Note(MSG_S_NOMEM);
        return 0;
    }
    for (size_t i = 0; i < kGuardBytes; ++i) work[size + i] = static_cast<char>(i);
    StringSink sink(work, size);
    int n = FormatRecords(sink, text, count, args);
    sink.Finish();
    bool guards_ok = true;
    for (size_t i = 0; i < kGuardBytes; ++i)
        if (work[size + i] != static_cast<char>(i)) guards_ok = false;
    size_t needed = 0;
    if (n < 0) {
        r.Note(MSG_S_BADARGTYPE);
    } else {
        formatted = true;
        needed = static_cast<size_t>(n) + 1;
        if (size > 0) std::memcpy(buffer, work, needed < size ? needed : size);
        if (needed > size || !guards_ok) r.Note(MSG_S_TRUNCATED);
    }
    Release(work);
    return needed;
}

} // namespace

// ------------------------------------------------------------ names

std::string SharedCatalogName(unsigned index) {
    if (index > 0xFE) return {};
    if (index == 0x13) return "dpaapi";
    if (index == 0x16) return "vrsvclog";
    if (index == 0x8F) return "CO8FC090";
    unsigned n = index >= 0x90 ? index + 1 : index;
    char name[8];
    std::snprintf(name, sizeof name, "C%03X", n);
    if ((n & 0xF) >= 0xC) {
        name[1] = 'O';
        if (n >= 0x0C && n <= 0x0E) name[2] = 'O';
    }
    return name;
}

std::string CatalogName(uint16_t fw, const std::string &prefix) {
    std::string lower;
    for (char c : prefix) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    switch (fw & 0xC000) {
    case 0xC000: {
        std::string n = SharedCatalogName(fw ^ 0xC000u);
        return n.empty() ? n : n + ".mdl";
    }
    case 0x4000: {
        if (lower.empty()) return {};
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", fw);
        return lower + hex + ".mdl";
    }
    case 0x0000: return lower.empty() ? std::string() : lower + ".mdl";
    default: return {};
    }
}

std::string ExpandTemplate(const std::string &tmpl, const std::string &name,
                           const std::string &locale) {
    // language_territory.codeset@modifier: each part ends where a later
    // separator (or the end) begins.
    const size_t npos = std::string::npos;
    auto part = [&](size_t begin, const char *ends) {
        if (begin == npos) return std::string();
        size_t end = locale.find_first_of(ends, begin);
        return locale.substr(begin, (end == npos ? locale.size() : end) - begin);
    };
    size_t us = locale.find('_');
    size_t dot = locale.find('.');
    std::string lang = part(0, "_.@");
    std::string terr = part(us == npos ? npos : us + 1, ".@");
    std::string cset = part(dot == npos ? npos : dot + 1, "@");
    std::string out;
    for (size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] == '%' && i + 1 < tmpl.size()) {
            switch (tmpl[i + 1]) {
            case 'L':
                out += locale;
                ++i;
                continue;
            case 'N':
                out += name;
                ++i;
                continue;
            case 'l':
                out += lang;
                ++i;
                continue;
            case 't':
                out += terr;
                ++i;
                continue;
            case 'c':
                out += cset;
                ++i;
                continue;
            default: break;
            }
        }
        out += tmpl[i];
    }
    return out;
}

bool CatalogBytesValid(const unsigned char *data, size_t size) {
    auto word = [&](size_t i) {
        uint32_t v;
        std::memcpy(&v, data + 4 * i, 4);
        return v;
    };
    if (size < 13) return false;
    if (word(0) != 0x960408deu) return false;
    uint64_t plane_size = word(1), plane_depth = word(2);
    if (plane_size == 0 || plane_depth == 0) return false;
    uint64_t entries = plane_size * plane_depth;
    if (entries > size / 24) return false;
    uint64_t table = entries * 12;
    uint64_t strings_at = 12 + 2 * table;
    if (strings_at >= size) return false;
    uint64_t strings_len = size - strings_at;
    if (data[size - 1] != '\0') return false;
    for (uint64_t e = 0; e < entries; ++e)
        if (word(3 + 3 * e + 2) >= strings_len) return false;
    return true;
}

int CachedCatalogs() {
    std::lock_guard<std::mutex> g(S().cache_mutex);
    int n = 0;
    for (const Slot &s : S().slots) n += s.used;
    return n;
}

bool CatalogCached(const std::string &name) {
    std::lock_guard<std::mutex> g(S().cache_mutex);
    for (const Slot &s : S().slots)
        if (s.used && s.name == name) return true;
    return false;
}

} // namespace vrcore::messages

using namespace vrcore::messages;

namespace {

// Empties the outputs; a null buffer counts as size 0.
void ClearOutput(uint32_t &size, uint32_t *length_out, char *buffer) {
    if (length_out) *length_out = 0;
    if (!buffer) size = 0;
    if (size > 0) buffer[0] = '\0';
}

// Hands out a text as it stands, with the length it needs.
void PutText(const char *text, uint32_t size, uint32_t *length_out, char *buffer, Result &r) {
    size_t len = std::strlen(text);
    if (length_out) *length_out = static_cast<uint32_t>(len + 1);
    r.Note(CopyOut(text, len, size, buffer));
}

uint32_t Unformatted(uint32_t kind, uint32_t code, const char *locale, uint32_t size,
                     uint32_t *length_out, char *buffer) {
    ClearOutput(size, length_out, buffer);
    Result r;
    Lookup l;
    try {
        LookUp(kind, code, locale, r, l);
    } catch (...) {
        r.Note(MSG_S_NOMEM);
    }
    PutText(l.Get(), size, length_out, buffer, r);
    return r.code;
}

uint32_t FormattedByArray(uint32_t kind, uint32_t code, uint32_t reserved, const char *locale,
                          uint32_t size, uint32_t *length_out, char *buffer, int32_t count,
                          const STF_ArgRecord *args) {
    ClearOutput(size, length_out, buffer);
    Result r;
    if (reserved != 0) r.Note(MSG_S_RESERVED_FORMAT);
    try {
        Lookup l;
        LookUp(kind, code, locale, r, l);
        std::string plain;
        const char *text = l.Get();
        bool format = l.found && count >= 1;
        if (!l.found) {
            plain = FallbackWithArgs(l.fallback, count, args);
            text = plain.c_str();
        }
        if (count > MSG_MAX_ARGS) {
            r.Note(MSG_S_TOOMANYARGS);
            format = false;
        }
        for (int32_t i = 0; format && i < count; ++i) {
            uint32_t t = args ? args[i].type : 0;
            if (t != STF_ARG_CHAR && t != STF_ARG_INT && t != STF_ARG_DOUBLE &&
                t != STF_ARG_STRING && t != STF_ARG_COUNTED) {
                r.Note(MSG_S_BADARGTYPE);
                format = false;
            }
        }
        if (format) {
            bool done;
            size_t needed = FormatGuarded(text, count, args, size, buffer, r, done);
            if (done) {
                if (length_out) *length_out = static_cast<uint32_t>(needed);
                return r.code;
            }
        }
        PutText(text, size, length_out, buffer, r);
    } catch (...) {
        r.Note(MSG_S_NOMEM);
    }
    return r.code;
}

// Widens a narrow result: the multibyte text of the current locale, or
// byte by byte when it is not valid there.
uint32_t Widen(const char *narrow, uint32_t size, uint32_t *length_out, wchar_t *buffer) {
    std::mbstate_t st{};
    const char *src = narrow;
    size_t n = std::mbsrtowcs(nullptr, &src, 0, &st);
    bool bytes = n == static_cast<size_t>(-1);
    if (bytes) n = std::strlen(narrow);
    if (length_out) *length_out = static_cast<uint32_t>(n + 1);
    if (!buffer || size == 0) return MSG_S_TRUNCATED;
    size_t k = n < size - 1 ? n : size - 1;
    if (bytes) {
        for (size_t i = 0; i < k; ++i) buffer[i] = static_cast<unsigned char>(narrow[i]);
    } else {
        st = std::mbstate_t{};
        src = narrow;
        std::mbsrtowcs(buffer, &src, k, &st);
    }
    buffer[k] = L'\0';
    return k < n ? MSG_S_TRUNCATED : 0;
}

// Runs a narrow lookup into a buffer large enough, then widens it.
template <class F>
uint32_t WideVariant(uint32_t size, uint32_t *length_out, wchar_t *buffer, F narrow) {
    if (length_out) *length_out = 0;
    if (buffer && size > 0) buffer[0] = L'\0';
    char local[512];
    uint32_t need = 0;
    Result r;
    r.Note(narrow(sizeof local, &need, local));
    char *text = local;
    if (need > sizeof local) {
        text = static_cast<char *>(std::malloc(need));
        if (!text) return MSG_S_NOMEM;
        r = Result{};
        r.Note(narrow(need, &need, text));
    }
    if (r.code == MSG_S_TRUNCATED) r.code = 0;
    r.Note(Widen(text, size, length_out, buffer));
    if (text != local) std::free(text);
    return r.code;
}

} // namespace

extern "C" {

VR_EXPORT uint32_t MSG_UsageBegin(const char *prefix) try {
    State &st = S();
    std::lock_guard<std::mutex> g(st.usage_mutex);
    if (st.in_use.load()) return MSG_S_USAGE;
    size_t n = prefix ? std::strlen(prefix) : 0;
    bool ok = n >= 3 && n <= 8 && std::isalpha(static_cast<unsigned char>(prefix[0]));
    for (size_t i = 0; ok && i < n; ++i) ok = std::isalnum(static_cast<unsigned char>(prefix[i]));
    if (!ok) {
        st.prefix.clear();
        return MSG_S_BADPREFIX;
    }
    st.prefix.clear();
    for (size_t i = 0; i < n; ++i)
        st.prefix += static_cast<char>(std::toupper(static_cast<unsigned char>(prefix[i])));
    CloseAll();
    {
        std::lock_guard<std::mutex> n2(st.names_mutex);
        st.name_count = 0;
    }
    st.in_use.store(true);
    return 0;
}
VR_CATCH_CODE(MSG_S_NOMEM, MSG_S_INTERNAL)

VR_EXPORT uint32_t MSG_UsageEnd(void) try {
    State &st = S();
    std::lock_guard<std::mutex> g(st.usage_mutex);
    if (!st.in_use.load()) return MSG_S_USAGE;
    CloseAll();
    {
        std::lock_guard<std::mutex> n(st.names_mutex);
        st.name_count = 0;
    }
    st.prefix.clear();
    st.in_use.store(false);
    return 0;
}
VR_CATCH_CODE(MSG_S_NOMEM, MSG_S_INTERNAL)

VR_EXPORT uint32_t MSG_GetUnformatted(uint32_t kind, uint32_t code, const char *locale,
                                      uint32_t size, uint32_t *length_out, char *buffer) try {
    return Unformatted(kind, code, locale, size, length_out, buffer);
}
VR_CATCH_CODE(MSG_S_NOMEM, MSG_S_INTERNAL)

VR_EXPORT uint32_t MSG_GetFormattedByArray(uint32_t kind, uint32_t code, uint32_t reserved,
                                           const char *locale, uint32_t size, uint32_t *length_out,
                                           char *buffer, int32_t count,
                                           const STF_ArgRecord *args) try {
    return FormattedByArray(kind, code, reserved, locale, size, length_out, buffer, count, args);
}
VR_CATCH_CODE(MSG_S_NOMEM, MSG_S_INTERNAL)

VR_EXPORT uint32_t MSG_GetFormattedBySprintf(uint32_t kind, uint32_t code, uint32_t reserved,
                                             const char *locale, uint32_t size,
                                             uint32_t *length_out, char *buffer, ...) try {
    ClearOutput(size, length_out, buffer);
    Result r;
    if (reserved != 0) r.Note(MSG_S_RESERVED_FORMAT);
    try {
        Lookup l;
        LookUp(kind, code, locale, r, l);
        const char *text = l.Get();
        if (l.found) {
            va_list ap;
            va_start(ap, buffer);
            StringSink sink(buffer, size);
            int n = FormatV(sink, text, ap);
            va_end(ap);
            if (n >= 0) {
                sink.Finish();
                if (length_out) *length_out = static_cast<uint32_t>(n) + 1;
                if (static_cast<uint32_t>(n) + 1 > size) r.Note(MSG_S_TRUNCATED);
                return r.code;
            }
            r.Note(MSG_S_BADARGTYPE);
        }
        PutText(text, size, length_out, buffer, r);
    } catch (...) {
        r.Note(MSG_S_NOMEM);
    }
    return r.code;
}
VR_CATCH_CODE(MSG_S_NOMEM, MSG_S_INTERNAL)

VR_EXPORT uint32_t MSG_GetUnformattedWide(uint32_t kind, uint32_t code, const char *locale,
                                          uint32_t size, uint32_t *length_out,
                                          wchar_t *buffer) try {
    return WideVariant(size, length_out, buffer, [&](uint32_t n, uint32_t *len, char *b) {
        return Unformatted(kind, code, locale, n, len, b);
    });
}
VR_CATCH_CODE(MSG_S_NOMEM, MSG_S_INTERNAL)

VR_EXPORT uint32_t MSG_GetFormattedByArrayWide(uint32_t kind, uint32_t code, uint32_t reserved,
                                               const char *locale, uint32_t size,
                                               uint32_t *length_out, wchar_t *buffer, int32_t count,
                                               const STF_ArgRecord *args) try {
    return WideVariant(size, length_out, buffer, [&](uint32_t n, uint32_t *len, char *b) {
        return FormattedByArray(kind, code, reserved, locale, n, len, b, count, args);
    });
}
VR_CATCH_CODE(MSG_S_NOMEM, MSG_S_INTERNAL)

VR_EXPORT uint32_t MSG_GetSymbolicNames(uint32_t kind, uint32_t code, uint32_t size1, char *prefix,
                                        uint32_t size2, char *kind_name, uint32_t size3,
                                        char *facility_name, uint32_t reserved) try {
    Result r;
    if (reserved != 0) r.Note(MSG_S_RESERVED_NAMES);
    try {
        std::string p = Prefix();
        if (prefix) r.Note(CopyOut(p.c_str(), p.size(), size1, prefix));
        char hex[8];
        const char *k = KindName(kind, hex);
        if (k == hex) r.Note(MSG_S_BADKIND);
        if (kind_name) r.Note(CopyOut(k, std::strlen(k), size2, kind_name));
        std::string fac;
        if (kind == MSG_KIND_STATUS || kind == MSG_KIND_USER) {
            if (kind == MSG_KIND_STATUS && code == 0) code = kZeroStatus;
            Result ignored;
            fac = FacilityName(kind, code, EffectiveLocale(nullptr, ignored, nullptr));
        }
        if (facility_name) r.Note(CopyOut(fac.c_str(), fac.size(), size3, facility_name));
    } catch (...) {
        r.Note(MSG_S_NOMEM);
    }
    return r.code;
}
VR_CATCH_CODE(MSG_S_NOMEM, MSG_S_INTERNAL)

} // extern "C"
