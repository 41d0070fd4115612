// Host facts and settings of the name service, read through the
// configuration layer.
#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "nameservice/ns_host.h"

#if __has_include("system/config.h")
#include "system/config.h"
#define NS_HAVE_CONFIG 1
#endif

namespace vrcore::ns::host {

namespace {
const char kPgrKey[] = "Software\\Halvane\\Tessaril\\pgr";
}

#ifdef NS_HAVE_CONFIG

int make_dirs(const std::string &path) { return cfg::make_dirs(path, 0777); }

bool local_file_enabled() {
    if (std::getenv("NS_MS_LF"))
        return true;
    return cfg::Registry().get_dword(kPgrKey, "EnableLocalFile", 0) != 0;
}

std::string store_dir() {
    // The value may be written with "\" separators ("%windir%\pgr").
    std::string d = cfg::Registry().get_string(kPgrKey, "LocalFileDirectory", "");
    for (char &c : d)
        if (c == '\\')
            c = '/';
    if (!d.empty())
        return d;
    return cfg::windir() + "/pgr";
}

int local_domain(std::string &out) { return cfg::host_lan_group(out); }

int computer_name(std::string &out) { return cfg::host_computer_name(out); }

#else // until the configuration layer is present: environment only

int make_dirs(const std::string &path) {
    if (path.empty())
        return EINVAL;
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

bool local_file_enabled() {
    (void)kPgrKey;
    return std::getenv("NS_MS_LF") != nullptr;
}

std::string store_dir() {
    const char *w = std::getenv("windir");
    if (w && *w)
        return std::string(w) + "/pgr";
    const char *r = std::getenv("TS_ROOT");
    std::string root = r && *r ? r : VRCORE_DEFAULT_ROOT;
    return root + "/etc/vrcore/pgr";
}

int local_domain(std::string &out) {
    char buf[256] = {};
    if (getdomainname(buf, sizeof buf - 1) == 0 && buf[0] && std::string(buf) != "(none)") {
        out = buf;
        return 0;
    }
    out = "WORKGROUP";
    return 0;
}

int computer_name(std::string &out) {
    char buf[256] = {};
    if (gethostname(buf, sizeof buf - 1) != 0)
        return errno;
    out = buf;
    out = out.substr(0, out.find('.'));
    return out.empty() ? ENOENT : 0;
}

#endif

} // namespace vrcore::ns::host
