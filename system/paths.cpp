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

const char *env_nonempty(const char *name) {
    const char *v = std::getenv(name);
    return v && *v ? v : nullptr;
}

std::string strip_trailing_slashes(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string under_root(const char *rel) {
    std::string r = root_dir();
    if (r != "/") r += '/';
    return r + rel;
}

} // namespace

std::string root_dir() {
    const char *v = env_nonempty("TS_ROOT");
    return strip_trailing_slashes(v ? v : VRCORE_DEFAULT_ROOT);
}

std::string etc_dir() { return under_root(VRCORE_REL_ETCDIR); }
std::string data_dir() { return under_root(VRCORE_REL_DATADIR); }
std::string catalog_dir() { return under_root(VRCORE_REL_NLSDIR); }
std::string lock_dir() { return under_root(VRCORE_REL_LOCKDIR); }
std::string spool_dir() { return under_root(VRCORE_REL_SPOOLDIR); }

std::string windir() {
    const char *v = env_nonempty("windir");
    return v ? strip_trailing_slashes(v) : etc_dir();
}

std::string registry_path() {
    const char *v = env_nonempty("VRCORE_REGISTRY");
    return v ? std::string(v) : etc_dir() + "/registry.reg";
}

int make_dirs(const std::string &path, unsigned mode) {
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

std::string expand_env(std::string_view text) {
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
            v = (fallback = windir()).c_str();
        else if (!v && name == "TS_ROOT")
            v = (fallback = root_dir()).c_str();
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
