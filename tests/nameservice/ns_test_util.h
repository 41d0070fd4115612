// A scratch store directory and the environment that points the name
// service at it in local-file mode.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace nstest {

inline std::string make_temp_dir() {
    std::string t = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/vrns.XXXXXX";
    char *p = mkdtemp(t.data());
    EXPECT_NE(p, nullptr);
    return t;
}

inline std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

inline void spit(const std::string &path, const std::string &text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

inline bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

// Runs `body` in a child process; returns its exit status (or 128 + signal).
template <class F> int in_child(F &&body) {
    pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

class ScratchDir {
  public:
    ScratchDir() : dir_(make_temp_dir()) {}
    ~ScratchDir() {
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (std::system(cmd.c_str()) != 0)
            ADD_FAILURE() << "cannot remove " << dir_;
    }
    const std::string &path() const { return dir_; }

  private:
    std::string dir_;
};

} // namespace nstest
