// Internal interface of the identifier registry: the process-wide state,
// the shared open files and their busy flags, the lookup caches, and the
// helpers the registry tool and the tests use.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <string_view>

#include "vrcore/oid.h"

namespace vrcore::oid {

inline constexpr const char *kMainFile = "DPAOIDs";
inline constexpr const char *kDefaultLocaleFile = "DPAOIDs_C";
inline constexpr const char *kLinkFile = "DPAOIDs_l";
inline constexpr const char *kLockFile = ".vr.lck";
inline constexpr const char *kCvrtFile = "oid_cvrt";
inline constexpr const char *kLastIndexKey = "last-locale-index";

// One registry file, open once per process and shared by every handle:
// two handles writing one file through two page caches would corrupt it.
struct SharedFile {
    std::string name; // file name in the directory, without ".dbm"
    VRBM_Db *db = nullptr;
    bool busy = false;
};

// Which files an operation uses.
enum FileMask : unsigned { kMain = 1, kLocale = 2, kLink = 4 };

} // namespace vrcore::oid

struct OID_Db {
    uint32_t magic;
    uint64_t generation; // of the OID_Init the handle was opened under
    std::string locale;  // as asked for ("" for the process's locale)
    vrcore::oid::SharedFile *main = nullptr, *link = nullptr, *loc = nullptr;
};

namespace vrcore::oid {

inline constexpr uint32_t kHandleMagic = 0x4F494448u;

// Exclusive use of some files of a handle for one operation: waits while
// another thread uses any of them, then marks them busy until destroyed.
class FileUse {
  public:
    FileUse(STF_List *st, OID_Db *h, unsigned files);
    ~FileUse();
    FileUse(const FileUse &) = delete;
    FileUse &operator=(const FileUse &) = delete;
    uint32_t Status() const { return rc_; }
    VRBM_Db *Main() const { return main_; }
    VRBM_Db *Locale() const { return loc_; }
    VRBM_Db *Link() const { return link_; }
    // Resolved locale file name: the part of a cache key that names the locale.
    const std::string &LocaleFile() const { return loc_name; }
    bool Writable() const { return writable_; }

  private:
    uint32_t rc_ = 0;
    SharedFile *files_[3] = {nullptr, nullptr, nullptr};
    VRBM_Db *main_ = nullptr, *loc_ = nullptr, *link_ = nullptr;
    std::string loc_name;
    bool writable_ = false;
};

// The name of the locale file a handle has resolved, for cache keys: false
// when the handle is not usable or has not opened its locale file yet.
bool ResolvedLocale(OID_Db *h, std::string &out);

// Records a status; returns the code.
uint32_t Fail(STF_List *st, uint32_t code);

// Runs the body of an exported function: running out of memory is
// reported, never thrown to the caller.
template <class F> uint32_t Guarded(STF_List *st, F &&f) {
    try {
        return f();
    } catch (const std::bad_alloc &) {
        return Fail(st, OID_S_NOMEM);
    }
}

// Copies the record stored under a key; false when absent.
bool FetchCopy(VRBM_Db *db, std::string_view key, std::string &out);
bool AllDigits(std::string_view s);

// Binary forms: well-formed (tag, length 1..max-2, minimal subidentifiers
// of at most 32 bits, none cut short).
bool WellFormedBinary(const unsigned char *b, unsigned max_total);
inline unsigned BinLen(const unsigned char *b) { return 2u + b[1]; }

// ---- Caches ---------------------------------------------------------------
// Entry of a lookup cache: the identifier's name, binary form and
// characteristics.
struct CacheValue {
    std::string name;
    std::string binary;
    OID_Characteristics chars;
};
enum class CacheKind { kName = 0, kValue = 1, kShort = 2 };
inline constexpr unsigned kCacheSize = 73;
// Set at OID_Init from OID_NO_CACHE.
void SetCachesEnabled(bool on);
bool CachesEnabled();
bool CacheGet(CacheKind kind, std::string_view key, CacheValue &out);
void CachePut(CacheKind kind, std::string_view key, const CacheValue &v);
void CacheClearAll();
// Number of entries held (tests).
unsigned CacheCount(CacheKind kind);

// ---- Registry creation ----------------------------------------------------
// Stores a record as it stands in one of a handle's files (replacing).
uint32_t StoreRecord(STF_List *st, OID_Db *h, FileMask file, std::string_view key,
                     std::string_view data);
// The characteristics an identifier gets from its name prefix, syntax code
// and place in the tree of built-in identifiers (see registry_create.cpp).
OID_Characteristics DeriveChars(std::string_view name, std::string_view dotted, uint32_t syntax);
// The record key of a syntax, object-class or value-class identifier in the
// main file ("S0028", "C001", "VC-job-state"), or "" for other names.
std::string ClassKey(std::string_view name, std::string_view dotted, uint32_t syntax);
// The name of the dynamic identifier for UTF-8 text that a new registry
// holds, and its value.
inline constexpr const char *kUtf8Name = "id-val-code-set-utf-8";
inline constexpr const char *kUtf8Dotted = "1.2.840.147361.1.6.24.0";
// Makes a complete registry in a directory that holds none: lock file,
// main, default locale, link and dynamic-identifier files, every built-in
// identifier with its characteristics, the syntax, object-class and
// value-class records, and the UTF-8 dynamic identifier. Runs OID_Init
// and OID_Term itself, so the process must not have the registry open.
uint32_t CreateRegistry(STF_List *st, const char *directory);
// Registers an identifier in the registry (through the handle) and as a
// dynamic short identifier in the dynamic identifier database; either both
// or neither. *short_out receives the new short identifier.
uint32_t AddDynamicIdentifier(STF_List *st, OID_Db *h, const unsigned char *binary,
                              const char *name, uint32_t syntax, const OID_Characteristics *chars,
                              uint32_t *short_out);

} // namespace vrcore::oid
