// Whether a test that runs its programs in private namespaces can run here.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace vrtest {

// Why not, or "" when it can: root, every tool on the PATH, and `unshare`
// with the probe's arguments succeeding.
inline std::string NamespacesUnavailable(const std::vector<std::string> &tools,
                                         const std::string &probe = "--net --mount true") {
    if (geteuid() != 0) return "not running as root";
    for (const std::string &tool : tools)
        if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0)
            return tool + " is not installed";
    if (std::system(("unshare " + probe + " >/dev/null 2>&1").c_str()) != 0)
        return "private namespaces are not allowed here (unshare " + probe + ")";
    return "";
}

} // namespace vrtest
