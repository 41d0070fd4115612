// The configuration tests' scratch directory, also the installation root.
#pragma once

#include "scratch.h"

#include <dirent.h>

#include <string>
#include <vector>

namespace cfgtest {

class ScratchRoot : public vrtest::ScratchDir {
  public:
    ScratchRoot() : ScratchDir("vrcfg") {
        setenv("TS_ROOT", Path().c_str(), 1);
        unsetenv("VRCORE_REGISTRY");
        unsetenv("windir");
    }
    ~ScratchRoot() { unsetenv("TS_ROOT"); }
    const std::string &Dir() const { return Path(); }
};

// Files in a directory other than the registry and its lock file.
inline std::vector<std::string> Strays(const std::string &dir) {
    std::vector<std::string> out;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != ".." && n != "registry.reg" && n != "registry.reg.lck")
                out.push_back(n);
        }
        closedir(d);
    }
    return out;
}

} // namespace cfgtest
