// The printer name service inside the library: entry texts, the file and
// NIS sources, their caches and the reader-writer lock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "system/seam.h"
#include "vrcore/nsp.h"
#include "vrcore/thr.h"

namespace vrcore::nameservice::pns {

// ---- Memory handed to callers ------------------------------------------
// Records, lists, strings and addresses come from these; they pass the
// test seam as the printer service's.
void *GiveAlloc(size_t n);
void *GiveRealloc(void *p, size_t old_n, size_t new_n);
void GiveFree(void *p);
char *GiveStrdup(std::string_view s);

// Releases a null-terminated list handed to a caller: each element, then
// the list itself.
template <class T> void FreeList(T **list, void (*free_one)(T *)) {
    if (!list) return;
    for (size_t i = 0; list[i]; ++i) free_one(list[i]);
    GiveFree(list);
}
// A list of records with the records.
void FreeRecords(ns_printer_t **list);

// ---- Values and records -------------------------------------------------
enum class KeyKind { String, BsdAddr, Names, Records };
KeyKind KindOfKey(std::string_view key);

// Releases a value of the key's kind.
void FreeValue(std::string_view key, void *value);
// A bsd address in one block; null when memory is short.
ns_bsd_addr_t *MakeBsdAddr(std::string_view server, const char *printer, const char *extension,
                           const char *pname);
// Parses "server[,printer[,extension]]"; null for an empty server.
ns_bsd_addr_t *BsdAddrFromText(std::string_view text);
ns_bsd_addr_t *CopyBsdAddr(const ns_bsd_addr_t *a, const char *pname);
// Text form of a value; false when memory is short. Unset values give "".
bool ValueText(std::string_view key, const void *value, std::string &out);
// The text a value read from a file is written back as: lists of names
// and addresses in their canonical spelling, other texts as they are.
std::string CanonicalValue(std::string_view key, std::string_view text);

// A parsed entry: first the name, then the aliases, then the fields.
struct Entry {
    std::vector<std::string> names;
    std::vector<std::pair<std::string, std::string>> fields;
};

// The logical entries of a printers file: continuation lines joined,
// comment and empty lines dropped.
std::vector<std::string> SplitPrintersText(std::string_view bytes);
// Entry text "name|alias:key=value:...". False when it names nothing or
// has no field (such entries are ignored).
bool ParsePrintersEntry(std::string_view text, Entry &out);
// The entries of a user file: one a line, names, blanks, a value.
std::vector<std::string> SplitUserText(std::string_view bytes);
bool ParseUserEntry(std::string_view text, Entry &out);

// The record of an entry, of the given source; null when memory is short.
ns_printer_t *RecordFromEntry(const Entry &e, const char *source, bool user_form);
// Written forms of a record. False when the record cannot be written
// (a name, key or value the format cannot hold). `out` is empty when the
// record has no set attribute.
bool PrintersEntryText(const ns_printer_t *p, std::string &out);
bool UserEntryText(const ns_printer_t *p, std::string &out);

// ---- Files --------------------------------------------------------------
std::string EtcFilePath();
std::string UserFilePath();
std::string LockFilePath(const std::string &file);

// The lock file's change counter (0 when it cannot be read).
uint32_t ReadChangeCounter(const std::string &file);

// What a file looked like when it was read: the lock file's counter and
// the file's modification time, size and identity (exists false when
// there was no file).
struct FileStamp {
    bool exists = false;
    uint32_t counter = 0;
    int64_t mtime_sec = 0;
    int64_t mtime_nsec = 0;
    int64_t size = 0;
    uint64_t inode = 0;
    bool operator==(const FileStamp &) const = default;
};
// The stamp as it is now; false when the file's status cannot be read
// for another reason than its absence.
bool CurrentStamp(const std::string &file, FileStamp &out);
// Reads the whole file under the lock file's lock. A missing file reads
// as empty. False (logged) when it cannot be read.
bool ReadFileLocked(const std::string &file, std::string &bytes, FileStamp &stamp);

// Rewrites a printers or user file with the record in place of its entry.
// 0, or -1 (logged).
int PutFile(const std::string &path, const ns_printer_t *p, bool user_form);

// ---- Sources, caches ----------------------------------------------------
class RwLock {
  public:
    RwLock();
    ~RwLock();
    void LockShared();
    void UnlockShared();
    void Lock();
    void Unlock();

  private:
    void Release();
    THR_Mutex mutex_;
    THR_Condition readers_cv_;
    THR_Condition writers_cv_;
    int readers_ = 0; // -1 while a writer holds the lock
    int waiting_writers_ = 0;
};

// Lookups through the services.
ns_printer_t *ServiceGetName(std::string_view service, std::string_view name);
// Appends the service's records to `list`; false when memory is short.
bool ServiceGetList(std::string_view service, ns_printer_t ***list);
int ServicePut(std::string_view service, const ns_printer_t *p);

// ---- NIS ----------------------------------------------------------------
constexpr const char *kNisMap = "printers.conf.byname";
// Entry texts of the map in the default domain; false when NIS cannot be
// asked (no domain) or every attempt failed.
bool NisReadMap(const std::string &domain, const std::string &map, std::vector<std::string> &out);
bool NisDefaultDomain(std::string &out);
int NisPut(const ns_printer_t *p);
// The update through rcp and rsh, with the master already known.
int NisUpdate(const std::string &master, const std::string &map, const ns_printer_t *p);
// Host and map names safe to hand to rcp and rsh.
bool ValidHostName(std::string_view s);
bool ValidMapName(std::string_view s);
// The NIS cache's age limit in seconds (tests shorten it).
void SetNisMaxAge(int seconds);

} // namespace vrcore::nameservice::pns
