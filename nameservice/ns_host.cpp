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

int make_dirs(const std::string &path) { return system::cfg::make_dirs(path, 0777); }

bool local_file_enabled() {
    if (std::getenv("NS_MS_LF")) return true;
    return system::cfg::Registry().get_dword(kPgrKey, "EnableLocalFile", 0) != 0;
}

std::string store_dir() {
    // The value may be written with "\" separators ("%windir%\pgr").
    std::string d = system::cfg::Registry().get_string(kPgrKey, "LocalFileDirectory", "");
    for (char &c : d)
        if (c == '\\') c = '/';
    if (!d.empty()) return d;
    return system::cfg::windir() + "/pgr";
}

int local_domain(std::string &out) { return system::cfg::host_lan_group(out); }

int computer_name(std::string &out) { return system::cfg::host_computer_name(out); }

} // namespace vrcore::nameservice::host
