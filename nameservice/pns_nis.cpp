// The NIS source of printer entries: reading the map, and updating it on
// the master server with rcp and rsh.
#include <dirent.h>
#include <fcntl.h>
#include <rpc/rpc.h>
#include <rpcsvc/yp_prot.h>
#include <rpcsvc/ypclnt.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "nameservice/pns_internal.h"
#include "vrcore/log.h"

extern char **environ;

namespace vrcore::nameservice::pns {
namespace {

constexpr const char *kSource = "ns_rw_nis";
constexpr int kAttempts = 5;
constexpr const char *kMakefileYp = "/usr/lib/print/Makefile.yp";
constexpr const char *kRemoteMakefile = "/var/yp/Makefile";

struct Collect {
    std::vector<std::string> *out;
    bool failed = false;
};

int CollectOne(int status, char *, int, char *val, int vallen, char *data) {
    auto *c = reinterpret_cast<Collect *>(data);
    if (status != YP_TRUE) return 1; // end of the map, or an error
    try {
        if (vallen > 0) c->out->emplace_back(val, size_t(vallen));
    } catch (...) {
        c->failed = true;
        return 1;
    }
    return 0;
}

// Runs a program found on PATH with its argument vector, no shell, its
// output discarded. True when it exits with status 0.
bool Run(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    if (posix_spawn_file_actions_init(&fa) != 0) return false;
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        LOG_CondMessage(5, kSource, __LINE__, "libprint: Cannot run %s, err=%d", argv[0], rc);
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        LOG_CondMessage(5, kSource, __LINE__, "libprint: %s failed, status=%d", argv[0], status);
        return false;
    }
    return true;
}

bool NameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

bool SafeName(std::string_view s, size_t max) {
    if (s.empty() || s.size() > max || s.front() == '-' || s.front() == '.') return false;
    for (char c : s)
        if (!NameChar(c)) return false;
    return true;
}

// A private directory for the local copy of the map's file, removed with
// everything in it.
struct TempDir {
    std::string path;
    bool Make() {
        const char *t = std::getenv("TMPDIR");
        std::string templ = std::string(t && *t ? t : "/tmp") + "/vrcore-nisXXXXXX";
        if (!mkdtemp(templ.data())) return false;
        path = templ;
        return true;
    }
    ~TempDir() {
        if (path.empty()) return;
        if (DIR *d = opendir(path.c_str())) {
            while (dirent *e = readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") unlink((path + "/" + n).c_str());
            }
            closedir(d);
        }
        rmdir(path.c_str());
    }
};

} // namespace

bool ValidHostName(std::string_view s) { return SafeName(s, 253); }
bool ValidMapName(std::string_view s) { return SafeName(s, 255); }

bool NisDefaultDomain(std::string &out) {
    char *d = nullptr;
    if (yp_get_default_domain(&d) != 0 || !d || !*d) return false;
    out = d;
    return out != "(none)";
}

bool NisReadMap(const std::string &domain, const std::string &map, std::vector<std::string> &out) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        out.clear();
        Collect c{&out};
        ypall_callback cb{};
        cb.foreach = CollectOne;
        cb.data = reinterpret_cast<char *>(&c);
        int rc = yp_all(domain.c_str(), map.c_str(), &cb);
        if (c.failed) return false;
        if (rc == 0) return true;
        if (rc == YPERR_MAP) {
            out.clear();
            return true; // the domain has no such map: no entries
        }
        LOG_CondMessage(5, kSource, __LINE__, "libprint: NIS map %s of %s: %s", map.c_str(),
                        domain.c_str(), yperr_string(rc));
        yp_unbind(domain.c_str());
    }
    out.clear();
    return false;
}

int NisUpdate(const std::string &master, const std::string &map, const ns_printer_t *p) {
    if (!ValidHostName(master) || !ValidMapName(map)) {
        LOG_CondMessage(5, kSource, __LINE__, "libprint: Refusing NIS master %s or map %s",
                        master.c_str(), map.c_str());
        return -1;
    }
    std::string file = map;
    if (file.size() > 7 && file.compare(file.size() - 7, 7, ".byname") == 0)
        file.resize(file.size() - 7);
    TempDir dir;
    if (!dir.Make()) {
        LOG_CondMessage(5, kSource, __LINE__, "libprint: Cannot make a temporary directory, err=%d",
                        errno);
        return -1;
    }
    std::string local = dir.path + "/" + map;
    std::string remote = "root@" + master + ":/etc/" + file;
    if (!Run({"rcp", remote, local})) return -1;
    if (PutFile(local, p, false) != 0) return -1;
    if (!Run({"rcp", local, remote})) return -1;
    if (!Run({"rcp", kMakefileYp, "root@" + master + ":" + kRemoteMakefile + ".print"})) return -1;
    if (!Run({"rsh", "-l", "root", master, "PATH=/usr/ccs/bin:/bin:/usr/bin:$PATH", "make", "-f",
              kRemoteMakefile, "-f", std::string(kRemoteMakefile) + ".print", file}))
        return -1;
    return 0;
}

int NisPut(const ns_printer_t *p) {
    std::string domain;
    if (!NisDefaultDomain(domain)) return -1;
    char *master = nullptr;
    if (yp_master(domain.c_str(), kNisMap, &master) != 0 || !master) {
        master = nullptr;
        if (yp_master(domain.c_str(), "passwd.byname", &master) != 0 || !master) {
            LOG_CondMessage(5, kSource, __LINE__, "libprint: No NIS master for %s", kNisMap);
            return -1;
        }
    }
    std::string m = master;
    std::free(master);
    return NisUpdate(m, kNisMap, p);
}

} // namespace vrcore::nameservice::pns
