// Configuration services of the library: the installation paths, the
// registry file, named system-wide mutexes and the host's identity.
// Internal interface for the other modules; programs reach a part of it
// through include/vrcore/vrcfg.h. Functions that return std::string may
// throw std::bad_alloc; those that return an error number never throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vrcore::system::cfg {

// ---------------------------------------------------------------------------
// Installation paths. Each call reads the environment afresh, so a program
// that changes TS_ROOT or windir sees the change at its next call.

// TS_ROOT when set and non-empty, else the compiled-in root; no trailing "/".
std::string RootDir();
// <root>/etc/vrcore: system configuration and the registry file.
std::string EtcDir();
// The windir environment variable when set and non-empty, else etc_dir().
std::string Windir();
// <root>/share/data: data files such as "charset.dat".
std::string DataDir();
// <root>/share/vrcore/nls: the message catalogs.
std::string CatalogDir();
// <root>/var/vrcore/lock: lock files of the named mutexes.
std::string LockDir();
// <root>/var/vrcore/spool: spool files.
std::string SpoolDir();
// VRCORE_REGISTRY when set and non-empty, else <etc_dir>/registry.reg.
std::string RegistryPath();

// Creates a directory and its missing parents with the given mode (subject
// to the umask). Returns 0 or an errno value.
int MakeDirs(const std::string &path, unsigned mode);

// Expands %NAME% references from the environment. An unknown name is left
// as written; windir and TS_ROOT fall back to windir() and root_dir() when
// unset, as those always exist for the library.
std::string ExpandEnv(std::string_view text);

// ---------------------------------------------------------------------------
// The registry file. Text in the registry-export convention:
//
//   [HKEY_LOCAL_MACHINE\Software\Halvane\Tessaril\pgr]
//   "ServerAddress"="10.0.0.7"
//   "LocalFileDirectory"=str(2):"%windir%\pgr"
//   "CallMaxRetry"=dword:0000000a
//
// Keys and value names compare without regard to ASCII case. A key named
// without a hive belongs to HKEY_LOCAL_MACHINE; "\" and "/" both separate
// its components. Inside quotes only \\ and \" are escapes; any other
// backslash stands for itself.

enum class RegType : int { None = 0, String = 1, ExpandString = 2, Dword = 4, Other = 99 };

struct RegValue {
    std::string name; // as written; empty for the key's default value ("@")
    RegType type = RegType::None;
    std::string text; // String, ExpandString: the text; Other: the data as written
    uint32_t dword = 0;
};

// A value's line in the file: "Name"="text", "Name"=str(2):"text",
// "Name"=dword:0000000a, or for another type the data as it was read.
std::string FormatValue(const RegValue &v);

// Canonical form of a key: hive spelled out, components joined by "\",
// empty components dropped. Empty result for a key that cannot be written
// (a component holding "]" or a control character).
std::string NormalizeKey(std::string_view key);

// One registry file in memory. Every line of the text is kept, so a
// rewrite changes only the values it sets or deletes: comments, values of
// other types and even malformed lines survive.
class RegDocument {
  public:
    RegDocument();
    ~RegDocument();
    RegDocument(RegDocument &&) noexcept;
    RegDocument &operator=(RegDocument &&) noexcept;

    // Parses the bytes; malformed lines are logged (naming `origin`) and
    // take no part in lookups. Never fails except by std::bad_alloc.
    static RegDocument Parse(std::string_view bytes, std::string_view origin = {});
    std::string Render() const;

    // The value in effect (the last one written for the name), or null.
    const RegValue *Find(std::string_view key, std::string_view name) const;
    // Sets a value; returns false (document unchanged) for a key or value
    // that cannot be written: see normalize_key, and names or texts with
    // control characters.
    bool Set(std::string_view key, const RegValue &value);
    // Removes a value; false when it was absent.
    bool EraseValue(std::string_view key, std::string_view name);
    // Removes a key with its values and subkeys; false when absent.
    bool EraseKey(std::string_view key);
    // Keys present (canonical form, each once, in file order).
    std::vector<std::string> Keys() const;
    // Values in effect under a key, in file order.
    std::vector<RegValue> Values(std::string_view key) const;
    // Number of lines skipped as malformed.
    size_t Malformed() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The registry file at a path, read and written as a whole. Readers need
// no lock: a writer replaces the file with rename(2), so a reader sees
// either the old or the new file. Writers serialise on flock(2) of the
// lock file "<path>.lck" beside it.
class Registry {
  public:
    explicit Registry(std::string path = RegistryPath());
    const std::string &Path() const { return path_; }

    // Reads the file: 0, ENOENT when it does not exist, or an errno value.
    int Load(RegDocument &out) const;

    // The caller's default for a missing file, key or value, or a value of
    // another type. get_string accepts plain and expandable strings and
    // expands the latter.
    uint32_t GetDword(std::string_view key, std::string_view name, uint32_t dflt) const;
    std::string GetString(std::string_view key, std::string_view name, std::string_view dflt) const;
    // The stored value, unexpanded; false when absent.
    bool Query(std::string_view key, std::string_view name, RegValue &out) const;

    // Writes return 0 or an errno value: EINVAL for a key, name or text
    // that cannot be written, ENOENT when deleting what is absent, ENOMEM,
    // or the failing system call's error. On failure the file is unchanged.
    int SetString(std::string_view key, std::string_view name, std::string_view text,
                  bool expandable = false) const;
    int SetDword(std::string_view key, std::string_view name, uint32_t value) const;
    int DeleteValue(std::string_view key, std::string_view name) const;
    int DeleteKey(std::string_view key) const;

    // Locked read-modify-write: `edit` changes the document and returns 0
    // to have it written, or an errno value to leave the file alone.
    template <class F> int Update(F &&edit) const {
        return UpdateImpl(&edit, [](void *f, RegDocument &d) { return (*static_cast<F *>(f))(d); });
    }

  private:
    int UpdateImpl(void *ctx, int (*edit)(void *, RegDocument &)) const;
    std::string path_;
};

// ---------------------------------------------------------------------------
// Named system-wide mutexes: flock(2) on "<lock_dir>/<name>.lck", created
// on demand with mode 0666. Every handle of one name in a process shares
// one state, so the mutex is recursive for the thread that owns it, like
// the platform's named mutexes; other threads and processes wait. A holder
// that dies releases the mutex. Lock files are never removed (removing one
// would let two holders lock different files).
class NamedMutex {
  public:
    NamedMutex();
    ~NamedMutex();
    NamedMutex(const NamedMutex &) = delete;
    NamedMutex &operator=(const NamedMutex &) = delete;

    // 0, EINVAL for an empty name, ENAMETOOLONG, or an errno value of
    // creating the directory or the lock file.
    int Open(std::string_view name);
    // timeout_ms < 0 waits for ever. 0, ETIMEDOUT, EBADF when not open,
    // or an errno value.
    int Lock(long timeout_ms = -1);
    // 0, or EPERM when the calling thread does not own the mutex.
    int Unlock();
    void Close();
    // The lock file's path ("" when not open).
    std::string Path() const;

    struct State;

  private:
    State *state_ = nullptr;
};

// Scoped hold of a named mutex.
class NamedMutexHold {
  public:
    explicit NamedMutexHold(NamedMutex &m, long timeout_ms = -1) : m_(m), rc_(m.Lock(timeout_ms)) {}
    ~NamedMutexHold() {
        if (rc_ == 0) m_.Unlock();
    }
    NamedMutexHold(const NamedMutexHold &) = delete;
    NamedMutexHold &operator=(const NamedMutexHold &) = delete;
    int Status() const { return rc_; }

  private:
    NamedMutex &m_;
    int rc_;
};

// File name of a mutex's lock file: the name with "/", "\", "%", control
// bytes and a leading "." written as %XX, then ".lck". Empty for an empty
// or over-long name.
std::string LockFileName(std::string_view mutex_name);

// ---------------------------------------------------------------------------
// The host's identity. Each returns 0 and fills `out`, or an errno value
// (ENOENT when the fact is not known on this host).

// The effective user's login name.
int HostUserName(std::string &out);
// The computer name: the host name up to its first ".".
int HostComputerName(std::string &out);
// The host's official (canonical) name as resolved, else the host name.
int HostOfficialName(std::string &out);
// The NIS domain ("(none)" and empty count as unknown).
int HostNisDomain(std::string &out);
// The DNS domain: of the official name, else "domain" or the first
// "search" entry of /etc/resolv.conf.
int HostDnsDomain(std::string &out);
// The LAN group: registry value "LanGroup" under Software\Halvane\Tessaril,
// else the NIS domain, else the DNS domain.
int HostLanGroup(std::string &out);

} // namespace vrcore::system::cfg
