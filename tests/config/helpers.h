// Shared helpers of the configuration tests: a scratch directory that is
// also the installation root, file reading, and child processes.
#pragma once

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace cfgtest {

class ScratchRoot {
  public:
    ScratchRoot() {
        char tmpl[] = "/tmp/vrcfg.XXXXXX";
        const char *d = mkdtemp(tmpl);
        EXPECT_NE(d, nullptr);
        dir_ = d ? d : "/tmp";
        setenv("TS_ROOT", dir_.c_str(), 1);
        unsetenv("VRCORE_REGISTRY");
        unsetenv("windir");
    }
    ~ScratchRoot() {
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (std::system(cmd.c_str()) != 0)
            ADD_FAILURE() << "cannot remove " << dir_;
        unsetenv("TS_ROOT");
    }
    const std::string &dir() const { return dir_; }

  private:
    std::string dir_;
};

inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// Runs `body` in a child process; its return value is the exit status.
inline pid_t spawn(const std::function<int()> &body) {
    pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    return pid;
}

inline int wait_status(pid_t pid) {
    int st = 0;
    while (waitpid(pid, &st, 0) < 0) {
    }
    return st;
}

} // namespace cfgtest
