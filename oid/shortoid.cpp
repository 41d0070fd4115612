// Short object identifiers: conversions between the 32-bit short form and
// the BER, binary and name forms, over the built-in table and the dynamic
// identifier database.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <mutex>
#include <string>
#include <unordered_map>

#include "oid/shortoid_internal.h"
#include "system/guard.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"
#include "vrcore/vrbm.h"

namespace vrcore::oid {
namespace {

constexpr uint32_t kInvalid = GEN_S_INVALID;
constexpr uint32_t kNotInitialised = GENU_S_NODYNAMIC;
constexpr uint32_t kAlreadyOpen = GEN_S_INITIALISED;
constexpr uint32_t kBadMode = GEN_S_BADMODE;
constexpr uint32_t kNoDirectory = GEN_S_NODIR;
constexpr uint32_t kOpenFailed = GEN_S_NODB;
constexpr uint32_t kNoMemory = GEN_S_NOMEM;
constexpr int kMaxContent = 53;

// The process-wide handle of the dynamic identifier database.
VRBM_Db *g_cvrt = nullptr;

// What the database gave for dynamic identifiers. A fetched record lives in
// the database's page cache only until the next operation on the handle, so
// records are copied here under a lock and the copies handed out; they stay
// valid until GENU_Term.
struct DynamicEntry {
    std::string binary; // 0x06, length, content, syntax octet
    std::string name;   // empty until looked up
    bool has_name = false;
};
std::mutex g_dyn_mutex;
std::unordered_map<uint32_t, std::unique_ptr<DynamicEntry>> g_dyn;

// Parses the decimal text of a database record into a short identifier.
bool ParseDecimal(const void *p, int32_t len, uint32_t &out) {
    if (!p || len <= 0 || len > 11) return false;
    const char *s = static_cast<const char *>(p);
    uint64_t v = 0;
    int32_t n = 0;
    for (; n < len && s[n] != '\0'; ++n) {
        if (s[n] < '0' || s[n] > '9') return false;
        v = v * 10 + static_cast<uint64_t>(s[n] - '0');
        if (v > 0xFFFFFFFFu) return false;
    }
    if (n == 0) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

// Fetches a record and copies it out; empty when absent. Callers hold
// g_dyn_mutex.
std::string FetchCopy(const std::string &key) {
    VRBM_Datum d = VRBM_fetch(g_cvrt, key.data(), static_cast<int32_t>(key.size()));
    if (!d.ptr || d.len <= 0) return {};
    return std::string(static_cast<const char *>(d.ptr), static_cast<size_t>(d.len));
}

// A "b-" record holds the binary form followed by the syntax octet.
bool WellFormedBinary(const std::string &r) {
    if (r.size() < 3) return false;
    auto *b = reinterpret_cast<const unsigned char *>(r.data());
    return b[0] == 0x06 && b[1] != 0 && b[1] <= kMaxContent && r.size() >= b[1] + 3u;
}

DynamicEntry &EntryFor(uint32_t id) {
    auto &slot = g_dyn[id];
    if (!slot) slot = std::make_unique<DynamicEntry>();
    return *slot;
}

void LogUnknown(const std::string &key) {
    LOG_CondMessage(6, "genuoid", __LINE__, "No!!  Unknown OID!!!\n");
    LOG_CondMessage(6, "genuoid", __LINE__, "key = %s,  key.size = %d\n", key.c_str(),
                    static_cast<int>(key.size()));
}

// Fetches the "b-" record of a dynamic identifier.
const unsigned char *DynamicBinary(STF_List *st, uint32_t id, const char *fn) {
    if (!g_cvrt) {
        LOG_CondMessage(5, "genuoid", __LINE__,
                        "%s -- dynamic OID table has not been initialized!!!!!!\n", fn);
        STF_AddStatus(st, kNotInitialised, 0);
        return nullptr;
    }
    std::lock_guard lock(g_dyn_mutex);
    auto it = g_dyn.find(id);
    if (it != g_dyn.end() && !it->second->binary.empty())
        return reinterpret_cast<const unsigned char *>(it->second->binary.data());
    std::string key = "b-" + std::to_string(id);
    std::string rec = FetchCopy(key);
    if (!WellFormedBinary(rec)) {
        LogUnknown(key);
        STF_AddStatus(st, kInvalid, 0);
        return nullptr;
    }
    DynamicEntry &e = EntryFor(id);
    e.binary = std::move(rec);
    return reinterpret_cast<const unsigned char *>(e.binary.data());
}

// Looks up the short identifier stored under a key of the database, for
// the reverse conversions that missed the built-in index.
int DynamicReverse(STF_List *st, const std::string &key, const char *fn, uint32_t *out) {
    LOG_CondMessage(6, "genuoid", __LINE__, "%s -- Maybe dynamic OID?\077......\n", fn);
    if (!g_cvrt) {
        LOG_CondMessage(5, "genuoid", __LINE__,
                        "%s -- dynamic OID table has not been initialized!!!!!!\n", fn);
        STF_AddStatus(st, kNotInitialised, 0);
        return 1;
    }
    std::string rec;
    {
        std::lock_guard lock(g_dyn_mutex);
        rec = FetchCopy(key);
    }
    uint32_t id = 0;
    if (!ParseDecimal(rec.data(), static_cast<int32_t>(rec.size()), id)) {
        LogUnknown(key);
        STF_AddStatus(st, kInvalid, 0);
        return 1;
    }
    LOG_CondMessage(6, "genuoid", __LINE__, "Yes!! --- shoid = %u\n", id);
    *out = id;
    return 0;
}

// Runs the part of a conversion that may allocate (dynamic identifiers
// only); running out of memory is reported, never thrown to the caller.
template <class F> int Guarded(STF_List *st, F &&f) {
    try {
        return f();
    } catch (const std::bad_alloc &) {
        STF_AddStatus(st, kNoMemory, 0);
        return 1;
    }
}

// Common start of a conversion: a null list fails at once (nothing can be
// reported), the list is cleared, a missing output is refused.
bool Begin(STF_List *st, const void *out) {
    if (!st) return false;
    STF_ClearStatus(st);
    if (out) return true;
    STF_AddStatus(st, kInvalid, 0);
    return false;
}

// The binary form of an identifier with a value, built in or dynamic.
const unsigned char *BinaryOf(STF_List *st, uint32_t id, const char *fn) {
    if (id >= kDynamicBase) return DynamicBinary(st, id, fn);
    const BuiltinRow *r = RowOf(id);
    if (r && r->binary) return r->binary;
    STF_AddStatus(st, kInvalid, 0);
    return nullptr;
}

} // namespace

std::mutex &DynamicLock() { return g_dyn_mutex; }

const BuiltinRow *RowOf(uint32_t id) {
    uint32_t row;
    if (id < kLowRows)
        row = id;
    else if (id >= kHighBase && id < kHighBase + (kRowCount - kLowRows))
        row = id - kHighOffset;
    else
        return nullptr;
    return &kBuiltinRows[row];
}

int CompareContent(const unsigned char *a, uint32_t alen, const unsigned char *b, uint32_t blen) {
    // Forms of the table and of callers are at most 53 octets long.
    GEN_ObjectID x{static_cast<uint16_t>(alen), const_cast<unsigned char *>(a)};
    GEN_ObjectID y{static_cast<uint16_t>(blen), const_cast<unsigned char *>(b)};
    int32_t r = 0;
    GEN_CompareObjectID(&x, &y, &r);
    return r;
}

int CompareBinval(const unsigned char *a, const unsigned char *b) {
    return CompareContent(a + 2, a[1], b + 2, b[1]);
}

const IndexEntry *FindByContent(const unsigned char *content, uint32_t length) {
    BuiltinRow probe{nullptr, {length, content}, content, 0};
    IndexEntry key{&probe, 0};
    return static_cast<const IndexEntry *>(
        std::bsearch(&key, kByValue, kRowCount, sizeof(IndexEntry), _GENU__CompareObjectIDBsearch));
}

const IndexEntry *FindByName(const char *name) {
    BuiltinRow probe{name, {0, nullptr}, nullptr, 0};
    IndexEntry key{&probe, 0};
    return static_cast<const IndexEntry *>(std::bsearch(
        &key, kByName, kRowCount, sizeof(IndexEntry), _GENU__CompareObjectNameBsearch));
}

} // namespace vrcore::oid

using namespace vrcore::oid;

extern "C" {

// Comparators of the index searches: both arguments point to index
// entries; an entry without a row or without the compared form sorts after
// every other entry.
int _GENU__CompareObjectIDBsearch(const void *a, const void *b) {
    auto *x = static_cast<const IndexEntry *>(a);
    auto *y = static_cast<const IndexEntry *>(b);
    bool xn = !x || !x->row || !x->row->ber.value, yn = !y || !y->row || !y->row->ber.value;
    if (xn || yn) return xn == yn ? 0 : (xn ? 1 : -1);
    return CompareContent(x->row->ber.value, x->row->ber.length, y->row->ber.value,
                          y->row->ber.length);
}

int _GENU__CompareObjectBinvalBsearch(const void *a, const void *b) {
    auto *x = static_cast<const IndexEntry *>(a);
    auto *y = static_cast<const IndexEntry *>(b);
    bool xn = !x || !x->row || !x->row->binary, yn = !y || !y->row || !y->row->binary;
    if (xn || yn) return xn == yn ? 0 : (xn ? 1 : -1);
    return CompareBinval(x->row->binary, y->row->binary);
}

int _GENU__CompareObjectNameBsearch(const void *a, const void *b) {
    auto *x = static_cast<const IndexEntry *>(a);
    auto *y = static_cast<const IndexEntry *>(b);
    bool xn = !x || !x->row || !x->row->name, yn = !y || !y->row || !y->row->name;
    if (xn || yn) return xn == yn ? 0 : (xn ? 1 : -1);
    // Names are plain ASCII and the index is in byte order: byte comparison
    // keeps the search right whatever the locale's collation.
    return std::strcmp(x->row->name, y->row->name);
}

VR_EXPORT int GENU_Init(STF_List *st, const char *directory, int mode) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (mode != 0 && mode != 2) {
        LOG_CondMessage(5, "genuoid", __LINE__, "Open mode is bad\n");
        STF_AddStatus(st, kBadMode, 0);
        return 1;
    }
    if (!directory) {
        STF_AddStatus(st, kNoDirectory, 0);
        return 1;
    }
    if (g_cvrt) {
        STF_AddStatus(st, kAlreadyOpen, 0);
        return 1;
    }
    size_t n = std::strlen(directory) + sizeof("/oid_cvrt");
    char *path = static_cast<char *>(std::malloc(n));
    if (!path) {
        STF_AddStatus(st, kNoMemory, 0);
        return 1;
    }
    std::snprintf(path, n, "%s%c%s", directory, '/', "oid_cvrt");
    VRBM_Db *h = VRBM_open(path, mode == 0 ? VRBM_RDONLY : VRBM_RDWR, mode == 0 ? 0444 : 0666, 1);
    std::free(path);
    if (!h) {
        STF_AddStatus(st, kOpenFailed, 0);
        return 1;
    }
    g_cvrt = h;
    return 0;
}
VR_CATCH_STATUS(st, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT void GENU_Term(void) try {
    std::lock_guard lock(g_dyn_mutex);
    if (g_cvrt) VRBM_close(g_cvrt);
    g_cvrt = nullptr;
    g_dyn.clear();
}
VR_CATCH_VOID

VR_EXPORT VRBM_Db *GENU_GetCvrtHandle(void) try { return g_cvrt; }
VR_CATCH_RETURN(nullptr)

VR_EXPORT int GENU_ShortToBerOID(STF_List *st, GENU_ShortOID id, GENU_BerOID *out) try {
    if (!Begin(st, out)) return 1;
    return Guarded(st, [&] {
        const unsigned char *b = BinaryOf(st, id, "GENU_ShortToBerOID()");
        if (!b) return 1;
        out->length = b[1];
        out->value = b + 2;
        return 0;
    });
}
VR_CATCH_STATUS(st, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_ShortToBinaryOID(STF_List *st, GENU_ShortOID id, const unsigned char **out) try {
    if (!Begin(st, out)) return 1;
    *out = nullptr;
    return Guarded(st, [&] {
        *out = BinaryOf(st, id, "GENU_ShortToBinaryOID()");
        return *out ? 0 : 1;
    });
}
VR_CATCH_STATUS(st, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT const char *GENU_ShortOIDToAscii(GENU_ShortOID id) try {
    if (id >= kDynamicBase) try {
            std::lock_guard lock(g_dyn_mutex);
            if (!g_cvrt) return "unknown";
            auto it = g_dyn.find(id);
            if (it != g_dyn.end() && it->second->has_name) return it->second->name.c_str();
            // The record holds the name with its terminating zero.
            std::string rec = FetchCopy("a-" + std::to_string(id));
            if (rec.empty() || rec.back() != '\0' || rec.find('\0') != rec.size() - 1)
                return "unknown";
            rec.pop_back();
            DynamicEntry &e = EntryFor(id);
            e.name = std::move(rec);
            e.has_name = true;
            return e.name.c_str();
        } catch (const std::bad_alloc &) {
            return "unknown";
        }
    const BuiltinRow *r = RowOf(id);
    return r ? r->name : "unknown";
}
VR_CATCH_RETURN("unknown")

VR_EXPORT int GENU_AttrIdToType(STF_List *st, GENU_ShortOID id, int32_t *type) try {
    if (!Begin(st, type)) return 1;
    if (id >= kDynamicBase) {
        return Guarded(st, [&] {
            const unsigned char *b = DynamicBinary(st, id, "GENU_AttrIdToType()");
            if (!b) return 1;
            *type = static_cast<signed char>(b[2 + b[1]]);
            LOG_CondMessage(16, "genuoid", __LINE__, "shoid %d, type = %d\n", static_cast<int>(id),
                            static_cast<int>(*type));
            return 0;
        });
    }
    const BuiltinRow *r = RowOf(id);
    if (!r) {
        STF_AddStatus(st, kInvalid, 0);
        return 1;
    }
    *type = static_cast<int32_t>(r->syntax);
    return 0;
}
VR_CATCH_STATUS(st, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_BerToShortOID(STF_List *st, const GENU_BerOID *ber, GENU_ShortOID *out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!ber || !out || (ber->length && !ber->value)) {
        STF_AddStatus(st, kInvalid, 0);
        return 1;
    }
    if (ber->length == 0 || ber->length > kMaxContent) {
        STF_AddStatus(st, kInvalid, 0);
        return 1;
    }
    if (const IndexEntry *e = FindByContent(ber->value, ber->length)) {
        *out = ShortOfRow(e->number);
        return 0;
    }
    return Guarded(st, [&] {
        std::string key(1, '\x06');
        key.push_back(static_cast<char>(ber->length & 0xFF));
        key.append(reinterpret_cast<const char *>(ber->value), ber->length);
        return DynamicReverse(st, key, "GENU_BerToShortOID()", out);
    });
}
VR_CATCH_STATUS(st, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_BinaryToShortOID(STF_List *st, const unsigned char *bin,
                                    GENU_ShortOID *out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!bin || !out || bin[0] != 0x06 || bin[1] == 0 || bin[1] > kMaxContent) {
        STF_AddStatus(st, kInvalid, 0);
        return 1;
    }
    if (const IndexEntry *e = FindByContent(bin + 2, bin[1])) {
        *out = ShortOfRow(e->number);
        return 0;
    }
    return Guarded(st, [&] {
        std::string key(reinterpret_cast<const char *>(bin), 2u + bin[1]);
        return DynamicReverse(st, key, "GENU_BinaryToShortOID()", out);
    });
}
VR_CATCH_STATUS(st, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_AsciiToShortOID(STF_List *st, const char *name, GENU_ShortOID *out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!name || !out) {
        if (out) *out = 0;
        STF_AddStatus(st, kInvalid, 0);
        return 1;
    }
    if (const IndexEntry *e = FindByName(name)) {
        *out = ShortOfRow(e->number);
        return 0;
    }
    return Guarded(st, [&] { return DynamicReverse(st, name, "GENU_AsciiToShortOID()", out); });
}
VR_CATCH_STATUS(st, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_PrefixToShortOID(STF_List *st, const char *name, const char *prefix,
                                    GENU_ShortOID *out) try {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!name) {
        if (out) *out = 0;
        STF_AddStatus(st, kInvalid, 0);
        return 1;
    }
    if (!prefix || std::strncmp(name, prefix, std::strlen(prefix)) == 0)
        return GENU_AsciiToShortOID(st, name, out);
    return Guarded(st, [&] {
        std::string full = std::string(prefix) + name;
        return GENU_AsciiToShortOID(st, full.c_str(), out);
    });
}
VR_CATCH_STATUS(st, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
