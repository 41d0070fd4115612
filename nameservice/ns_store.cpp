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

bool is_file_class(int32_t cls) { return handler_of(cls) != Handler::None; }

int read_file(const std::string &path, std::string &out, bool &missing) {
    const system::seam::Io &io = system::seam::io();
    missing = false;
    int fd = io.open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) {
        missing = errno == ENOENT;
        return missing ? 0 : NS_E_SYSTEM;
    }
    out.clear();
    int rc = system::fileio::read_all(fd, out);
    io.close(fd);
    return rc == ENOMEM ? NS_E_NOMEM : rc ? NS_E_SYSTEM : 0;
}

bool exists(const std::string &p) {
    struct stat st;
    return system::seam::io().stat(p.c_str(), &st) == 0;
}

bool unlink_ok(const std::string &p) {
    return system::seam::io().unlink(p.c_str()) == 0 || errno == ENOENT;
}

// Where a server's binding points: the network address of its first
// "ncacn_ip_tcp" or "ncacn_ip_udp" binding ("" when it has none). A
// binding may carry an object identifier before "@" and an endpoint in
// brackets after the address.
std::string first_ip_address(const Entry &e) {
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
int host_addresses(const std::string &addr, std::vector<std::string> &out) {
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

int find_entry(const std::vector<Entry> &v, std::string_view name, std::string_view domain) {
    for (size_t i = 0; i < v.size(); ++i)
        if (entry_matches(v[i], name, domain)) return static_cast<int>(i);
    return -1;
}

// The other class of a shared name space, or -1.
int32_t partner_class(int32_t cls) {
    switch (cls) {
    case NS_CLASS_LP: return NS_CLASS_PP;
    case NS_CLASS_PP: return NS_CLASS_LP;
    case NS_CLASS_SPOOLER: return NS_CLASS_SUPERV;
    case NS_CLASS_SUPERV: return NS_CLASS_SPOOLER;
    default: return -1;
    }
}

} // namespace

void set_lock_limit_ms(long ms) { g_lock_limit_ms.store(ms); }

int addresses_overlap(const Entry &a, const Entry &b, bool &overlap) {
    overlap = true;
    std::string x = first_ip_address(a), y = first_ip_address(b);
    if (x.empty() || y.empty()) return 0;
    std::vector<std::string> ax, ay;
    if (host_addresses(x, ax) || host_addresses(y, ay)) return NS_E_SYSTEM;
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
        const system::seam::Io &io = system::seam::io();
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
                system::fileio::lock(fd, system::seam::LockKind::Flock,
                                     system::seam::LockMode::Exclusive, g_lock_limit_ms.load())) {
            LOG_CondMessage(5, __FILE__, __LINE__, "cannot lock %s: errno %d", p.c_str(), e);
            io.close(fd);
            fd = -1;
            rc = NS_E_SYSTEM;
        }
    }
    ~Lock() {
        if (fd >= 0) {
            system::fileio::lock(fd, system::seam::LockKind::Flock, system::seam::LockMode::Unlock,
                                 -1);
            system::seam::io().close(fd);
        }
    }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
};

std::string Store::path(int32_t cls, const char *suffix) const {
    return dir_ + "/" + class_name(cls) + suffix;
}

int Store::read_class(int32_t cls, std::vector<Entry> &out) const {
    std::string text;
    bool missing = false;
    out.clear();
    if (int rc = recover(cls)) return rc;
    if (int rc = read_file(path(cls, ".dat"), text, missing)) return rc;
    if (missing) return 0;
    int rc = parse_class_file(text, cls, out);
    if (rc)
        LOG_CondMessage(5, __FILE__, __LINE__, "unreadable class file %s (%d)",
                        path(cls, ".dat").c_str(), rc);
    return rc;
}

int Store::rewrite(int32_t cls, const std::vector<Entry> &entries) const {
    const std::string dat = path(cls, ".dat"), nw = path(cls, ".new"), tmp = path(cls, ".tmp");
    // A ".new" left by an interrupted writer may be the only copy: it is
    // recovered, not removed.
    if (int rc = recover(cls)) return rc;

    char stamp[64] = "\n";
    time_t now = time(nullptr);
    if (!ctime_r(&now, stamp)) stamp[0] = '\n', stamp[1] = '\0';
    std::string text = render_class_file(cls, entries, stamp);
    const system::seam::Io &io = system::seam::io();
    if (system::fileio::write_file(tmp, text, system::fileio::NewFile{0666}).err)
        return NS_E_SYSTEM;

    // ".new" must be on disk under its name before ".dat" goes.
    if (io.rename(tmp.c_str(), nw.c_str()) != 0) {
        io.unlink(tmp.c_str());
        return NS_E_SYSTEM;
    }
    if (!sync_dir()) {
        io.unlink(nw.c_str());
        return NS_E_SYSTEM;
    }
    if (!unlink_ok(dat)) {
        io.unlink(nw.c_str());
        return NS_E_SYSTEM;
    }
    // From here ".new" is the only copy: on failure it stays for recovery.
    if (io.rename(nw.c_str(), dat.c_str()) != 0) return NS_E_SYSTEM;
    // The new file is in place either way; NS_E_SYSTEM says it may not survive a
    // power loss.
    return sync_dir() ? 0 : NS_E_SYSTEM;
}

bool Store::sync_dir() const {
    int err = system::seam::io().sync_dir((dir_ + "/").c_str()) != 0
                  ? errno
                  : 0; // the directory's own entries
    if (err)
        LOG_CondMessage(5, __FILE__, __LINE__, "cannot sync directory %s: errno %d", dir_.c_str(),
                        err);
    return err == 0;
}

int Store::recover(int32_t cls) const {
    const std::string dat = path(cls, ".dat"), nw = path(cls, ".new"), tmp = path(cls, ".tmp");
    if (!unlink_ok(tmp)) return NS_E_SYSTEM;
    if (exists(dat)) return unlink_ok(nw) ? 0 : NS_E_SYSTEM;
    if (exists(nw) && system::seam::io().rename(nw.c_str(), dat.c_str()) != 0) return NS_E_SYSTEM;
    return 0;
}

int Store::init(const std::string &dir) {
    dir_ = dir;
    while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
    if (dir_.empty()) return NS_E_SYSTEM;
    if (int e = host::make_dirs(dir_)) {
        LOG_CondMessage(5, __FILE__, __LINE__, "cannot create %s: errno %d", dir_.c_str(), e);
        return NS_E_SYSTEM;
    }
    Lock lk(*this);
    if (lk.rc) return lk.rc;
    for (int32_t cls = NS_CLASS_LP; cls <= NS_CLASS_NONE; ++cls)
        if (is_file_class(cls))
            if (int rc = recover(cls)) return rc;
    return 0;
}

int Store::term() {
    Lock lk(*this);
    dir_.clear();
    return 0;
}

int Store::create(int32_t cls, const Entry &e, bool force, uint32_t *flags) {
    Handler h = handler_of(cls);
    if (h == Handler::None) return NS_E_CLASS;
    if (!valid_line(e.name) || !valid_line(e.domain)) return NS_E_NAME;
    switch (h) {
    case Handler::Server:
        if (e.bindings.empty() || !valid_line(e.host)) return NS_E_OBJECT;
        for (const auto &b : e.bindings)
            if (!valid_line(b)) return NS_E_OBJECT;
        break;
    case Handler::Association:
        if (!class_name(e.server_class) || !valid_line(e.server_name) ||
            !valid_line(e.server_domain))
            return NS_E_OBJECT;
        break;
    case Handler::Group:
        if (e.members.empty()) return NS_E_NOMEMBERS;
        for (const auto &m : e.members)
            if (!class_name(m.cls) || !valid_line(m.name) || !valid_line(m.domain))
                return NS_E_NAME;
        break;
    case Handler::None: break;
    }
    try {
        Lock lk(*this);
        if (lk.rc) return lk.rc;
        // The shared name space: the other class may hold the name.
        int32_t other = partner_class(cls);
        std::vector<Entry> other_entries;
        int other_idx = -1;
        if (other >= 0) {
            if (int rc = read_class(other, other_entries)) return rc;
            other_idx = find_entry(other_entries, e.name, e.domain);
            if (other_idx >= 0 && !force) return NS_E_EXISTS;
        }
        std::vector<Entry> entries;
        if (int rc = read_class(cls, entries)) return rc;
        int idx = find_entry(entries, e.name, e.domain);
        if (idx >= 0 && !force) {
            const Entry &old = entries[static_cast<size_t>(idx)];
            bool ok = false;
            if (h == Handler::Server) {
                if (same_domain(old.host, e.host)) {
                    bool overlap = false;
                    if (int rc = addresses_overlap(old, e, overlap)) return rc;
                    ok = overlap;
                }
            } else if (h == Handler::Association) {
                ok = old.server_class == e.server_class &&
                     same_domain(old.server_domain, e.server_domain) &&
                     old.server_name == e.server_name;
            }
            if (!ok) return NS_E_EXISTS;
        }
        std::vector<Entry> next;
        next.reserve(entries.size() + 1);
        for (size_t i = 0; i < entries.size(); ++i)
            if (static_cast<int>(i) != idx) next.push_back(std::move(entries[i]));
        next.push_back(e);
        if (int rc = rewrite(cls, next)) return rc;
        if (other_idx >= 0) {
            other_entries.erase(other_entries.begin() + other_idx);
            if (int rc = rewrite(other, other_entries)) return rc;
        }
        if (flags && (idx >= 0 || other_idx >= 0)) *flags |= NS_FLAG_REPLACED;
        return 0;
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int Store::remove(const Identity &id) {
    if (!is_file_class(id.cls)) return NS_E_CLASS;
    try {
        Lock lk(*this);
        if (lk.rc) return lk.rc;
        std::vector<Entry> entries;
        if (int rc = read_class(id.cls, entries)) return rc;
        int idx = find_entry(entries, id.name, id.domain);
        if (idx < 0) return NS_E_NOTFOUND;
        entries.erase(entries.begin() + idx);
        return rewrite(id.cls, entries);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int Store::find_server(int32_t cls, std::string_view name, std::string_view domain,
                       Entry &out) const {
    return handler_of(cls) == Handler::Server ? find_in(cls, name, domain, out) : NS_E_NOTFOUND;
}

int Store::find_in(int32_t cls, std::string_view name, std::string_view domain, Entry &out) const {
    std::vector<Entry> v;
    if (int rc = read_class(cls, v)) return rc;
    int idx = find_entry(v, name, domain);
    if (idx < 0) return NS_E_NOTFOUND;
    out = std::move(v[static_cast<size_t>(idx)]);
    return 0;
}

int Store::get_one(int32_t cls, const Identity &id, Found &out) const {
    Handler h = handler_of(cls);
    if (h == Handler::None) return NS_E_CLASS;
    Entry e;
    if (int rc = find_in(cls, id.name, id.domain, e)) return rc;
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
        int rc = find_server(e.server_class, e.server_name, e.server_domain, srv);
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

int Store::get_locked(const Identity &id, Found &out) const {
    // "any-prn" and "any-svr": only a miss in the first class moves on.
    if (id.cls == NS_CLASS_ANY_PRN || id.cls == NS_CLASS_ANY_SVR) {
        int rc = get_one(id.cls - 2, id, out);
        return rc == NS_E_NOTFOUND ? get_one(id.cls - 1, id, out) : rc;
    }
    return get_one(id.cls, id, out);
}

int Store::get(const Identity &id, Found &out) {
    try {
        Lock lk(*this);
        if (lk.rc) return lk.rc;
        return get_locked(id, out);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int Store::host_one(int32_t cls, const Identity &id, std::string &host) const {
    Handler h = handler_of(cls);
    if (h != Handler::Server && h != Handler::Association) return NS_E_CLASS;
    Entry e;
    if (int rc = find_in(cls, id.name, id.domain, e)) return rc;
    if (h == Handler::Server) {
        host = e.host;
        return 0;
    }
    Entry srv;
    int rc = find_server(e.server_class, e.server_name, e.server_domain, srv);
    if (rc) return rc == NS_E_NOTFOUND ? NS_E_NOSERVER : rc;
    host = srv.host;
    return 0;
}

int Store::get_host(const Identity &id, std::string &host) {
    try {
        Lock lk(*this);
        if (lk.rc) return lk.rc;
        if (id.cls == NS_CLASS_ANY_PRN || id.cls == NS_CLASS_ANY_SVR) {
            int rc = host_one(id.cls - 2, id, host);
            return rc == NS_E_NOTFOUND ? host_one(id.cls - 1, id, host) : rc;
        }
        return host_one(id.cls, id, host);
    } catch (const std::bad_alloc &) {
        return NS_E_NOMEM;
    }
}

int Store::list(int32_t cls, std::string_view domain, std::vector<Identity> &out) {
    out.clear();
    std::vector<int32_t> classes;
    if (cls == NS_CLASS_ANY_PRN || cls == NS_CLASS_ANY_SVR)
        classes = {cls - 2, cls - 1};
    else if (is_file_class(cls))
        classes = {cls};
    else
        return NS_E_CLASS;
    try {
        Lock lk(*this);
        if (lk.rc) return lk.rc;
        for (int32_t c : classes) {
            std::vector<Entry> v;
            if (int rc = read_class(c, v)) return rc;
            for (auto &e : v)
                if (same_domain(e.domain, domain))
                    out.push_back(Identity{c, std::move(e.name), std::move(e.domain)});
        }
        return 0;
    } catch (const std::bad_alloc &) {
        out.clear();
        return NS_E_NOMEM;
    }
}

int Store::list_members(const Identity &id, std::vector<Identity> &out) {
    if (handler_of(id.cls) != Handler::Group) return NS_E_CLASS;
    Found f;
    if (int rc = get(id, f)) return rc;
    out = std::move(f.members);
    return 0;
}

int Store::list_domains(std::vector<std::string> &out) {
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
            if (!is_file_class(c)) continue;
            std::vector<Entry> v;
            if (int rc = read_class(c, v)) return rc;
            for (const auto &e : v) {
                auto it = std::lower_bound(out.begin(), out.end(), e.domain, less);
                if (it == out.end() || !same_domain(*it, e.domain)) out.insert(it, e.domain);
            }
        }
        return 0;
    } catch (const std::bad_alloc &) {
        out.clear();
        return NS_E_NOMEM;
    }
}

} // namespace vrcore::nameservice
