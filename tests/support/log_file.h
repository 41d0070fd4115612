// A log file of the given severities in a directory of its own; Text() gives what
// was written after each line's " | " column.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "scratch.h"
#include "vrcore/log.h"

namespace vrtest {

inline void ClearLogEnv() {
    for (const char *v :
         {"LOG_FILE_PATH", "LOG_SEVERITY", "LOG_SIZE", "LOG_MAX_LOGS", "LOG_ENABLED", "ODP_TRACE"})
        unsetenv(v);
}

class LogFile {
  public:
    explicit LogFile(const char *severities = "EWADXIF") {
        ClearLogEnv();
        LOG_Term();
        LOG_Init((dir_.Path() + "/trace").c_str(), severities);
    }
    ~LogFile() { LOG_Term(); }
    std::string Text() const {
        std::string out, line;
        for (const auto &file : std::filesystem::directory_iterator(dir_.Path())) {
            std::istringstream in(ReadFile(file.path()));
            while (std::getline(in, line)) {
                if (line.ends_with('\r')) line.pop_back();
                size_t bar = line.find(" | ");
                out += (bar == std::string::npos ? line : line.substr(bar + 3)) + "\n";
            }
        }
        return out;
    }

  private:
    ScratchDir dir_{"vrlog"};
};

} // namespace vrtest
