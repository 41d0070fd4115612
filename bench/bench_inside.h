// Benchmarks that need servers of their own re-run themselves inside private
// network and mount namespaces: a shell script starts the servers ($0 is the
// server program given) and then this program ($@) with a marker variable set.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace vrbench {

// Why the servers cannot be run here, or "" when they run.
inline std::string &Unavailable() {
    static std::string why;
    return why;
}

// Replaces this process by the script run inside the namespaces, unless the
// marker is set (already inside). `tools` is a shell test of the programs the
// script needs, `missing` what to say when it fails. On return, Unavailable()
// says why the benchmarks cannot run.
inline void ExecInside(const char *marker, const char *script, const char *server,
                       const char *tools, const char *missing, int argc, char **argv) {
    if (getenv(marker)) return;
    if (geteuid() != 0) {
        Unavailable() = "needs root (private namespaces with an rpcbind of their own)";
        return;
    }
    if (system((std::string(tools) + " >/dev/null 2>&1").c_str())) {
        Unavailable() = missing;
        return;
    }
    if (system("unshare --net --mount true 2>/dev/null")) {
        Unavailable() = "needs private network and mount namespaces";
        return;
    }
    std::string self(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
    if (n <= 0) return;
    self.resize(size_t(n));
    std::vector<const char *> args = {"unshare", "--net", "--mount", "--propagation", "private",
                                      "/bin/sh", "-c",    script,    server,          self.c_str()};
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp("unshare", const_cast<char *const *>(args.data()));
    Unavailable() = "cannot start unshare";
}

} // namespace vrbench
