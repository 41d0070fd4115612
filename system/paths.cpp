// The installation paths, computed in one place. The subdirectories below
// the root come from the build (the install rules use the same values).
#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "system/config.h"

#ifndef VRCORE_DEFAULT_ROOT
#define VRCORE_DEFAULT_ROOT "/usr/local"
#endif
#ifndef VRCORE_REL_ETCDIR
#define VRCORE_REL_ETCDIR "etc/vrcore"
#endif
#ifndef VRCORE_REL_DATADIR
#define VRCORE_REL_DATADIR "share/data"
#endif
#ifndef VRCORE_REL_NLSDIR
#define VRCORE_REL_NLSDIR "share/vrcore/nls"
#endif
#ifndef VRCORE_REL_LOCKDIR
#define VRCORE_REL_LOCKDIR "var/vrcore/lock"
#endif
#ifndef VRCORE_REL_SPOOLDIR
#define VRCORE_REL_SPOOLDIR "var/vrcore/spool"
#endif

namespace vrcore::system::cfg {
namespace {

const char *EnvNonempty(const char *name) {
    const char *v = std::getenv(name);
    return v && *v ? v : nullptr;
}

std::string StripTrailingSlashes(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string UnderRoot(const char *rel) {
    std::string r = RootDir();
    if (r != "/") r += '/';
    return r + rel;
}

} // namespace

std::string RootDir() {
    const char *v = EnvNonempty("TS_ROOT");
    return StripTrailingSlashes(v ? v : VRCORE_DEFAULT_ROOT);
}

std::string EtcDir() { return UnderRoot(VRCORE_REL_ETCDIR); }
std::string DataDir() { return UnderRoot(VRCORE_REL_DATADIR); }
std::string CatalogDir() { return UnderRoot(VRCORE_REL_NLSDIR); }
std::string LockDir() { return UnderRoot(VRCORE_REL_LOCKDIR); }
std::string SpoolDir() { return UnderRoot(VRCORE_REL_SPOOLDIR); }

std::string Windir() {
    const char *v = EnvNonempty("windir");
    return v ? StripTrailingSlashes(v) : EtcDir();
}

std::string RegistryPath() {
    const char *v = EnvNonempty("VRCORE_REGISTRY");
    return v ? std::string(v) : EtcDir() + "/registry.reg";
}

int MakeDirs(const std::string &path, unsigned mode) {
    if (path.empty()) return ENOENT;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    // Create each missing component from the top down.
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        std::string part = path.substr(0, pos);
        if (part.empty() || part.back() == '/') continue;
        if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return errno;
    }
    if (stat(path.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

std::string ExpandEnv(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        size_t open = text.find('%', i);
        if (open == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, open - i));
        size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out.append(text.substr(open));
            break;
        }
        std::string name(text.substr(open + 1, close - open - 1));
        const char *v = name.empty() ? nullptr : std::getenv(name.c_str());
        std::string fallback;
        if (!v && name == "windir")
            v = (fallback = Windir()).c_str();
        else if (!v && name == "TS_ROOT")
            v = (fallback = RootDir()).c_str();
        if (v) {
            out.append(v);
            i = close + 1;
        } else {
            // Unknown: keep "%NAME" and let the closing "%" open the next
            // reference, so "%A%B%" still expands B.
            out.append(text.substr(open, close - open));
            i = close;
        }
    }
    return out;
}

} // namespace vrcore::system::cfg
