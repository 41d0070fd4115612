// The configuration tests' scratch directory, which is also the
// installation root.
#pragma once

#include "scratch.h"

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

} // namespace cfgtest
