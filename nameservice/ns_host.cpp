// Host facts and settings of the name service, read through the
// configuration layer.
#include <cstdlib>
#include <string>

#include "nameservice/ns_host.h"

#include "system/config.h"

namespace vrcore::nameservice::host {

namespace {
const char kPgrKey[] = "Software\\Halvane\\Tessaril\\pgr";
}

int MakeDirs(const std::string &path) { return system::cfg::MakeDirs(path, 0777); }

bool LocalFileEnabled() {
    if (std::getenv("NS_MS_LF")) return true;
    return system::cfg::Registry().GetDword(kPgrKey, "EnableLocalFile", 0) != 0;
}

std::string StoreDir() {
    // The value may be written with "\" separators ("%windir%\pgr").
    std::string d = system::cfg::Registry().GetString(kPgrKey, "LocalFileDirectory", "");
    for (char &c : d)
        if (c == '\\') c = '/';
    if (!d.empty()) return d;
    return system::cfg::Windir() + "/pgr";
}

int LocalDomain(std::string &out) { return system::cfg::HostLanGroup(out); }

int ComputerName(std::string &out) { return system::cfg::HostComputerName(out); }

} // namespace vrcore::nameservice::host
