// The local name-object store: one text file per object class in a
// directory, guarded by an exclusive lock on "lockfile" there.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "vrcore/ns.h"

namespace vrcore::nameservice {

// Class names, indexed by class number 0..10.
const char *ClassName(int32_t cls);
// Class number of a name, or -1.
int32_t ClassNumber(std::string_view name);

enum class Handler { None, Server, Association, Group };
Handler HandlerOf(int32_t cls);

struct Identity {
    int32_t cls = NS_CLASS_NONE;
    std::string name;
    std::string domain;
};

// One entry of a class file; which body fields are used depends on the
// class's handler.
struct Entry {
    std::string name;
    std::string domain;
    // server
    std::vector<std::string> bindings;
    std::string host;
    uint32_t info = 0;
    // server association
    int32_t server_class = NS_CLASS_NONE;
    std::string server_name;
    std::string server_domain;
    // group
    std::vector<Identity> members;
};

// Parses a class file's text. Returns 0, NS_E_SYSTEM when the file cannot
// be read (missing or bad count, truncated entry) or NS_E_CLASS for an
// unknown class name.
int ParseClassFile(std::string_view text, int32_t cls, std::vector<Entry> &out);
// Renders a class file with its header; `stamp` is the time line's text
// (ending in a newline).
std::string RenderClassFile(int32_t cls, const std::vector<Entry> &entries, std::string_view stamp);
// True when the text can stand on a line of a class file: not empty, no
// line break, not starting with "#".
bool ValidLine(std::string_view text);

// Name matches exactly, domain ignoring case.
bool EntryMatches(const Entry &e, std::string_view name, std::string_view domain);
bool SameDomain(std::string_view a, std::string_view b);

// Time limit for taking the lock (default ten minutes), for tests.
void SetLockLimitMs(long ms);

struct Found {
    Identity id; // the identity found (class: the class found)
    int32_t server_class = NS_CLASS_NONE;
    std::string server_name;
    std::vector<std::string> bindings;
    uint32_t info = 0;
    std::vector<Identity> members;
};

class Store {
  public:
    // Creates the directory when missing and recovers every class file.
    int Init(const std::string &dir);
    int Term();
    const std::string &Dir() const { return dir_; }

    // `e` carries the body; its name and domain are the identity's.
    int Create(int32_t cls, const Entry &e, bool force, uint32_t *flags);
    int Remove(const Identity &id);
    int Get(const Identity &id, Found &out);
    int GetHost(const Identity &id, std::string &host);
    int List(int32_t cls, std::string_view domain, std::vector<Identity> &out);
    // Members of the group or backup list of that name.
    int ListMembers(const Identity &id, std::vector<Identity> &out);
    int ListDomains(std::vector<std::string> &out);

  private:
    struct Lock;
    std::string Path(int32_t cls, const char *suffix) const;
    int ReadClass(int32_t cls, std::vector<Entry> &out) const;
    int Rewrite(int32_t cls, const std::vector<Entry> &entries) const;
    // Finishes or discards a rewrite another process left unfinished; runs
    // under the lock before every read and rewrite of a class file.
    int Recover(int32_t cls) const;
    bool SyncDir() const;
    int GetLocked(const Identity &id, Found &out) const;
    int GetOne(int32_t cls, const Identity &id, Found &out) const;
    int HostOne(int32_t cls, const Identity &id, std::string &host) const;
    // The entry of that name and domain in a class file: 0, NS_E_NOTFOUND
    // or the file's error.
    int FindIn(int32_t cls, std::string_view name, std::string_view domain, Entry &out) const;
    int FindServer(int32_t cls, std::string_view name, std::string_view domain, Entry &out) const;

    std::string dir_;
    std::mutex mu_; // threads of this process; the lock file serialises processes
};

// Whether two server entries' addresses overlap: 0 and `overlap` set, or
// NS_E_SYSTEM when a name does not resolve.
int AddressesOverlap(const Entry &a, const Entry &b, bool &overlap);

} // namespace vrcore::nameservice
