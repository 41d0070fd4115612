// What the name service needs to know about this host and its settings.
#pragma once

#include <string>

namespace vrcore::nameservice::host {

// Creates a directory and its missing parents. 0 or an errno value.
int MakeDirs(const std::string &path);
// Local-file mode: registry value "EnableLocalFile" non-zero under the
// name server's key, or the environment variable "NS_MS_LF" present.
bool LocalFileEnabled();
// The local store's directory: registry "LocalFileDirectory" (expanded),
// else "pgr" under the Windows directory.
std::string StoreDir();
// The LAN group of this computer. 0 or an errno value.
int LocalDomain(std::string &out);
// This computer's name (host name up to its first "."). 0 or an errno value.
int ComputerName(std::string &out);

} // namespace vrcore::nameservice::host
