// The local store: locking, the crash-safe rewrite of a class file,
// recovery, and the store's operations.
#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "nameservice/ns_host.h"
#include "nameservice/ns_store.h"
#include "system/fileio.h"
#include "vrcore/log.h"
#include "vrcore/ns.h"

namespace vrcore::nameservice {

namespace {

std::atomic<long> g_lock_limit_ms{600L * 1000};

bool IsFileClass(int32_t cls) { return HandlerOf(cls) != Handler::None; }

int ReadFile(const std::string &path, std::string &out, bool &missing) {
    const system::seam::Io &io = system::seam::CurrentIo();
    missing = false;
    int fd = io.open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) {
        missing = errno == ENOENT;
        return missing ? 0 : NS_E_SYSTEM;
    }
    out.clear();
    int rc = system::fileio::ReadAll(fd, out);
    io.close(fd);
    return rc == ENOMEM ? NS_E_NOMEM : rc ? NS_E_SYSTEM : 0;
}

bool Exists(const std::string &p) {
    struct stat st;
    return system::seam::CurrentIo().stat(p.c_str(), &st) == 0;
}

bool UnlinkOk(const std::string &p) {
    return system::seam::CurrentIo().unlink(p.c_str()) == 0 || errno == ENOENT;
}

// Where a server's binding points: the network address of its first
// "ncacn_ip_tcp" or "ncacn_ip_udp" binding ("" when it has none). A
// binding may carry an object identifier before "@" and an endpoint in
// brackets after the address.
std::string FirstIpAddress(const Entry &e) {
    for (const std::string &b : e.bindings) {
        std::string_view s = b;
        size_t at = s.find('@');
        size_t colon = s.find(':');
        if (at != std::string_view::npos && (colon == std::string_view::npos || at < colon))
            s.remove_prefix(at + 1);
        colon = s.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view proto = s.substr(0, colon);
        if (proto != "ncacn_ip_tcp" && proto != "ncacn_ip_udp") continue;
        std::string_view addr = s.substr(colon + 1);
        addr = addr.substr(0, addr.find('['));
        return std::string(addr);
    }
    return {};
}

// The addresses of the host an address names: a dotted address is first
// turned into its host name, whose addresses are then collected.
int HostAddresses(const std::string &addr, std::vector<std::string> &out) {
    std::string name = addr;
    unsigned char raw[16];
    bool numeric =
        inet_pton(AF_INET, addr.c_str(), raw) == 1 || inet_pton(AF_INET6, addr.c_str(), raw) == 1;
    if (numeric) {
        out.emplace_back(addr);
        struct addrinfo hints {};
        hints.ai_flags = AI_NUMERICHOST;
        struct addrinfo *ai = nullptr;
        if (getaddrinfo(addr.c_str(), nullptr, &hints, &ai) == 0) {
            char host[NI_MAXHOST];
            if (getnameinfo(ai->ai_addr, ai->ai_addrlen, host, sizeof host, nullptr, 0,
                            NI_NAMEREQD) == 0)
                name = host;
            freeaddrinfo(ai);
        }
        if (name == addr) return 0;
    }
    struct addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *ai = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &ai) != 0) return numeric ? 0 : NS_E_SYSTEM;
    for (struct addrinfo *p = ai; p; p = p->ai_next) {
        char text[INET6_ADDRSTRLEN];
        const void *a =
            p->ai_family == AF_INET
                ? static_cast<const void *>(&reinterpret_cast<sockaddr_in *>(p->ai_addr)->sin_addr)
                : static_cast<const void *>(
                      &reinterpret_cast<sockaddr_in6 *>(p->ai_addr)->sin6_addr);
        if ((p->ai_family == AF_INET || p->ai_family == AF_INET6) &&
            inet_ntop(p->ai_family, a, text, sizeof text))
            out.emplace_back(text);
    }
    freeaddrinfo(ai);
    return 0;
}

int FindEntry(const std::vector<Entry> &v, std::string_view name, std::string_view domain) {
    for (size_t i = 0; i < v.size(); ++i)
        if (EntryMatches(v[i], name, domain)) return static_cast<int>(i);
    return -1;
}

// The other class of a shared name space, or -1.
int32_t PartnerClass(int32_t cls) {
    switch (cls) {
    case NS_CLASS_LP: return NS_CLASS_PP;
    case NS_CLASS_PP: return NS_CLASS_LP;
    case NS_CLASS_SPOOLER: return NS_CLASS_SUPERV;
    case NS_CLASS_SUPERV: return NS_CLASS_SPOOLER;
    default: return -1;
    }
}

} // namespace

void SetLockLimitMs(long ms) { g_lock_limit_ms.store(ms); }

int AddressesOverlap(const Entry &a, const Entry &b, bool &overlap) {
    overlap = true;
    std::string x = FirstIpAddress(a), y = FirstIpAddress(b);
    if (x.empty() || y.empty()) return 0;
    std::vector<std::string> ax, ay;
    if (HostAddresses(x, ax) || HostAddresses(y, ay)) return NS_E_SYSTEM;
    overlap = false;
    for (const auto &p : ax)
        for (const auto &q : ay)
            if (p == q) overlap = true;
    return 0;
}

// The store's one exclusive lock: first among the threads of this process,
// then among processes through flock on the lock file, waiting for another
// process up to the limit.
// Every user of the store takes the lock, so its creator makes the lock
// file readable and writable for all; a lock file another user left
// unwritable is still locked through a read-only descriptor.
struct Store::Lock {
    std::unique_lock<std::mutex> guard;
    int fd = -1;
    int rc = 0;

    explicit Lock(Store &s) : guard(s.mu_) {
        const system::seam::Io &io = system::seam::CurrentIo();
        std::string p = s.dir_ + "/lockfile";
        fd = io.open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EACCES) fd = io.open(p.c_str(), O_RDONLY | O_CLOEXEC, 0);
        struct stat st;
        if (fd >= 0 && io.fstat(fd, &st) == 0 && (st.st_mode & 0777) != 0666 &&
            st.st_uid == geteuid() && io.fchmod(fd, 0666) != 0) {
            // Others may be unable to open it; this process can still lock.
        }
        if (fd < 0) {
            LOG_CondMessage(5, __FILE__, __LINE__, "cannot open %s: errno %d", p.c_str(), errno);
            rc = NS_E_SYSTEM;
            return;
        }
        if (int e =
                system::fileio::Lock(fd, system::seam::LockKind::Flock,
                                     system::seam::LockMode::Exclusive, g_lock_limit_ms.load())) {
            LOG_CondMessage(5, __FILE__, __LINE__, "cannot lock %s: errno %d", p.c_str(), e);
            io.close(fd);
            fd = -1;
            rc = NS_E_SYSTEM;
        }
    }
    ~Lock() {
        if (fd >= 0) {
            system::fileio::Lock(fd, system::seam::LockKind::Flock, system::seam::LockMode::Unlock,
                                 -1);
            system::seam::CurrentIo().close(fd);
        }
    }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
};

std::string Store::Path(int32_t cls, const char *suffix) const {
    return dir_ + "/" + ClassName(cls) + suffix;
}

int Store::ReadClass(int32_t cls, std::vector<Entry> &out) const {
    std::string text;
    bool missing = false;
    out.clear();
    if (int rc = Recover(cls)) return rc;
    if (int rc = ReadFile(Path(cls, ".dat"), text, missing)) return rc;
    if (missing) return 0;
    int rc = ParseClassFile(text, cls, out);
    if (rc)
        LOG_CondMessage(5, __FILE__, __LINE__, "unreadable class file %s (%d)",
                        Path(cls, ".dat").c_str(), rc);
    return rc;
}

int Store::Rewrite(int32_t cls, const std::vector<Entry> &entries) const {
    const std::string dat = Path(cls, ".dat"), nw = Path(cls, ".new"), tmp = Path(cls, ".tmp");
    // A ".new" left by an interrupted writer may be the only copy: it is
    // recovered, not removed.
    if (int rc = Recover(cls)) return rc;

    char stamp[64] = "\n";
    time_t now = time(nullptr);
    if (!ctime_r(&now, stamp)) stamp[0] = '\n', stamp[1] = '\0';
    std::string text = RenderClassFile(cls, entries, stamp);
    const system::seam::Io &io = system::seam::CurrentIo();
    if (system::fileio::WriteFile(tmp, text, system::fileio::NewFile{0666}).err) return NS_E_SYSTEM;

    // ".new" must be on disk under its name before ".dat" goes.
    if (io.rename(tmp.c_str(), nw.c_str()) != 0) {
        io.unlink(tmp.c_str());
        return NS_E_SYSTEM;
    }
    if (!SyncDir()) {
        io.unlink(nw.c_str());
        return NS_E_SYSTEM;
    }
    if (!UnlinkOk(dat)) {
        io.unlink(nw.c_str());
        return NS_E_SYSTEM;
    }
    // From here ".new" is the only copy: on failure it stays for recovery.
    if (io.rename(nw.c_str(), dat.c_str()) != 0) return NS_E_SYSTEM;
    // The new file is in place either way; NS_E_SYSTEM says it may not survive a
    // power loss.
    return SyncDir() ? 0 : NS_E_SYSTEM;
}

bool Store::SyncDir() const {
    int err = system::seam::CurrentIo().sync_dir((dir_ + "/").c_str()) != 0
                  ? errno
                  : 0; // the directory's own entries
    if (err)
        LOG_CondMessage(5, __FILE__, __LINE__, "cannot sync directory %s: errno %d", dir_.c_str(),
                        err);
    return err == 0;
}

int Store::Recover(int32_t cls) const {
    const std::string dat = Path(cls, ".dat"), nw = Path(cls, ".new"), tmp = Path(cls, ".tmp");
    if (!UnlinkOk(tmp)) return NS_E_SYSTEM;
    if (Exists(dat)) return UnlinkOk(nw) ? 0 : NS_E_SYSTEM;
    if (Exists(nw) && system::seam::CurrentIo().rename(nw.c_str(), dat.c_str()) != 0)
        return NS_E_SYSTEM;
    return 0;
}

int Store::Init(const std::string &dir) {
    dir_ = dir;
    while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
    if (dir_.empty()) return NS_E_SYSTEM;
    if (int e = host::MakeDirs(dir_)) {
        LOG_CondMessage(5, __FILE__, __LINE__, "cannot create %s: errno %d", dir_.c_str(), e);
        return NS_E_SYSTEM;
    }
    Lock lk(*this);
    if (lk.rc) return lk.rc;
    for (int32_t cls = NS_CLASS_LP; cls <= NS_CLASS_NONE; ++cls)
        if (IsFileClass(cls))
            if (int rc = Recover(cls)) return rc;
    return 0;
}

int Store::Term() {
    Lock lk(*this);
    dir_.clear();
    return 0;
}

int Store::Create(int32_t cls, const Entry &e, bool force, uint32_t *flags) {
    Handler h = HandlerOf(cls);
    if (h == Handler::None) return NS_E_CLASS;
    if (!ValidLine(e.name) || !ValidLine(e.domain)) return NS_E_NAME;
    switch (h) {
    case Handler::Server:
        if (e.bindings.empty() || !ValidLine(e.host)) return NS_E_OBJECT;
        for (const auto &b : e.bindings)
            if (!ValidLine(b)) return NS_E_OBJECT;
        break;
    case Handler::Association:
        if (!ClassName(e.server_class) || !ValidLine(e.server_name) || !ValidLine(e.server_domain))
            return NS_E_OBJECT;
        break;
    case Handler::Group:
        if (e.members.empty()) return NS_E_NOMEMBERS;
        for (const auto &m : e.members)
            if (!ClassName(m.cls) || !ValidLine(m.name) || !ValidLine(m.domain)) return NS_E_NAME;
        break;
    case Handler::None: break;
    }
    try {
        Lock lk(*this);
        if (lk.rc) return lk.rc;
        // The shared name space: the other class may hold the name.
        int32_t other = PartnerClass(cls);
        std::vector<Entry> other_entries;
        int other_idx = -1;
        if (other >= 0) {
            if (int rc = ReadClass(other, other_entries)) return rc;
            other_idx = FindEntry(other_entries, e.name, e.domain);
            if (other_idx >= 0 && !force) return NS_E_EXISTS;
        }
        std::vector<Entry> entries;
        if (int rc = ReadClass(cls, entries)) return rc;
        int idx = FindEntry(entries, e.name, e.domain);
        if (idx >= 0 && !force) {
            const Entry &old = entries[static_cast<size_t>(idx)];
            bool ok = false;
            if (h == Handler::Server) {
                if (SameDomain(old.host, e.host)) {
                    bool overlap = false;
                    if (int rc = AddressesOverlap(old, e, overlap)) return rc;
                    ok = overlap;
                }
            } else if (h == Handler::Association) {
                ok = old.server_class == e.server_class &&
                     SameDomain(old.server_domain, e.server_domain) &&
                     old.server_name == e.server_name;
            }
            if (!ok) return NS_E_EXISTS;
        }
        std::vector<Entry> next;
        next.reserve(entries.size() + 1);
        for (size_t i = 0; i < entries.size(); ++i)
            if (static_cast<int>(i) != idx) next.push_back(std::move(entries[i]));
        next.push_back(e);
        if (int rc = Rewrite(cls, next)) return rc;
        if (other_idx >= 0) {
            other_entries.erase(other_entries.begin() + other_idx);
            if (int rc = Rewrite(other, other_entries)) return rc;
        }
        if (flags && (idx >= 0 || other_idx >= 0)) *flags |= NS_FLAG_REPLACED;
        return 0;
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int Store::Remove(const Identity &id) {
    if (!IsFileClass(id.cls)) return NS_E_CLASS;
    try {
        Lock lk(*this);
        if (lk.rc) return lk.rc;
        std::vector<Entry> entries;
        if (int rc = ReadClass(id.cls, entries)) return rc;
        int idx = FindEntry(entries, id.name, id.domain);
        if (idx < 0) return NS_E_NOTFOUND;
        entries.erase(entries.begin() + idx);
        return Rewrite(id.cls, entries);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int Store::FindServer(int32_t cls, std::string_view name, std::string_view domain,
                      Entry &out) const {
    return HandlerOf(cls) == Handler::Server ? FindIn(cls, name, domain, out) : NS_E_NOTFOUND;
}

int Store::FindIn(int32_t cls, std::string_view name, std::string_view domain, Entry &out) const {
    std::vector<Entry> v;
    if (int rc = ReadClass(cls, v)) return rc;
    int idx = FindEntry(v, name, domain);
    if (idx < 0) return NS_E_NOTFOUND;
    out = std::move(v[static_cast<size_t>(idx)]);
    return 0;
}

int Store::GetOne(int32_t cls, const Identity &id, Found &out) const {
    Handler h = HandlerOf(cls);
    if (h == Handler::None) return NS_E_CLASS;
    Entry e;
    if (int rc = FindIn(cls, id.name, id.domain, e)) return rc;
    out = Found{};
    out.id = Identity{cls, e.name, e.domain};
    switch (h) {
    case Handler::Server:
        out.server_class = cls;
        out.server_name = e.name;
        out.bindings = std::move(e.bindings);
        out.info = e.info;
        break;
    case Handler::Association: {
        Entry srv;
        int rc = FindServer(e.server_class, e.server_name, e.server_domain, srv);
        if (rc) return rc == NS_E_NOTFOUND ? NS_E_NOSERVER : rc;
        out.server_class = e.server_class;
        out.server_name = e.server_name;
        out.bindings = std::move(srv.bindings);
        out.info = srv.info;
        break;
    }
    case Handler::Group: out.members = std::move(e.members); break;
    case Handler::None: break;
    }
    return 0;
}

int Store::GetLocked(const Identity &id, Found &out) const {
    // "any-prn" and "any-svr": only a miss in the first class moves on.
    if (id.cls == NS_CLASS_ANY_PRN || id.cls == NS_CLASS_ANY_SVR) {
        int rc = GetOne(id.cls - 2, id, out);
        return rc == NS_E_NOTFOUND ? GetOne(id.cls - 1, id, out) : rc;
    }
    return GetOne(id.cls, id, out);
}

int Store::Get(const Identity &id, Found &out) {
    try {
        Lock lk(*this);
        if (lk.rc) return lk.rc;
        return GetLocked(id, out);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int Store::HostOne(int32_t cls, const Identity &id, std::string &host) const {
    Handler h = HandlerOf(cls);
    if (h != Handler::Server && h != Handler::Association) return NS_E_CLASS;
    Entry e;
    if (int rc = FindIn(cls, id.name, id.domain, e)) return rc;
    if (h == Handler::Server) {
        host = e.host;
        return 0;
    }
    Entry srv;
    int rc = FindServer(e.server_class, e.server_name, e.server_domain, srv);
    if (rc) return rc == NS_E_NOTFOUND ? NS_E_NOSERVER : rc;
    host = srv.host;
    return 0;
}

int Store::GetHost(const Identity &id, std::string &host) {
    try {
        Lock lk(*this);
        if (lk.rc) return lk.rc;
        if (id.cls == NS_CLASS_ANY_PRN || id.cls == NS_CLASS_ANY_SVR) {
            int rc = HostOne(id.cls - 2, id, host);
            return rc == NS_E_NOTFOUND ? HostOne(id.cls - 1, id, host) : rc;
        }
        return HostOne(id.cls, id, host);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int Store::List(int32_t cls, std::string_view domain, std::vector<Identity> &out) {
    out.clear();
    std::vector<int32_t> classes;
    if (cls == NS_CLASS_ANY_PRN || cls == NS_CLASS_ANY_SVR)
        classes = {cls - 2, cls - 1};
    else if (IsFileClass(cls))
        classes = {cls};
    else
        return NS_E_CLASS;
    try {
        Lock lk(*this);
        if (lk.rc) return lk.rc;
        for (int32_t c : classes) {
            std::vector<Entry> v;
            if (int rc = ReadClass(c, v)) return rc;
            for (auto &e : v)
                if (SameDomain(e.domain, domain))
                    out.push_back(Identity{c, std::move(e.name), std::move(e.domain)});
        }
        return 0;
    } catch (const std::bad_alloc &) {
        out.clear();
        return NS_E_NOMEM;
    }
}

int Store::ListMembers(const Identity &id, std::vector<Identity> &out) {
    if (HandlerOf(id.cls) != Handler::Group) return NS_E_CLASS;
    Found f;
    if (int rc = Get(id, f)) return rc;
    out = std::move(f.members);
    return 0;
}

int Store::ListDomains(std::vector<std::string> &out) {
    out.clear();
    auto less = [](const std::string &a, const std::string &b) {
        size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            int x = std::tolower(static_cast<unsigned char>(a[i]));
            int y = std::tolower(static_cast<unsigned char>(b[i]));
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    };
    try {
        Lock lk(*this);
        if (lk.rc) return lk.rc;
        for (int32_t c = NS_CLASS_LP; c <= NS_CLASS_NONE; ++c) {
            if (!IsFileClass(c)) continue;
            std::vector<Entry> v;
            if (int rc = ReadClass(c, v)) return rc;
            for (const auto &e : v) {
                auto it = std::lower_bound(out.begin(), out.end(), e.domain, less);
                if (it == out.end() || !SameDomain(*it, e.domain)) out.insert(it, e.domain);
            }
        }
        return 0;
    } catch (const std::bad_alloc &) {
        out.clear();
        return NS_E_NOMEM;
    }
}

} // namespace vrcore::nameservice
