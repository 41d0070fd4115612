// What the name service needs to know about this host and its settings.
#pragma once

#include <string>

namespace vrcore::nameservice::host {

// Creates a directory and its missing parents. 0 or an errno value.
int make_dirs(const std::string &path);
// Local-file mode: registry value "EnableLocalFile" non-zero under the
// name server's key, or the environment variable "NS_MS_LF" present.
bool local_file_enabled();
// The local store's directory: registry "LocalFileDirectory" (expanded),
// else "pgr" under the Windows directory.
std::string store_dir();
// The LAN group of this computer. 0 or an errno value.
int local_domain(std::string &out);
// This computer's name (host name up to its first "."). 0 or an errno value.
int computer_name(std::string &out);

} // namespace vrcore::nameservice::host
