// Scratch directories, whole-file reading and writing, and child processes
// for tests that work on files or between processes.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace vrtest {

// A new directory under $TMPDIR (or /tmp), removed with its contents.
class ScratchDir {
  public:
    explicit ScratchDir(const char *stem = "vrtest") {
        const char *tmp = std::getenv("TMPDIR");
        dir_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + ".XXXXXX";
        if (!mkdtemp(dir_.data())) ADD_FAILURE() << "cannot create " << dir_;
    }
    ~ScratchDir() {
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir_;
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const std::string &Path() const { return dir_; }

  private:
    std::string dir_;
};

inline std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

// Runs `body` in a forked child, which exits with its return value.
template <class F> pid_t Spawn(F &&body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

// The raw wait status of a child.
inline int WaitStatus(pid_t pid) {
    int st = 0;
    while (waitpid(pid, &st, 0) < 0) {}
    return st;
}

// Runs `body` in a child and waits: its exit status, or 128 + the signal
// that killed it.
template <class F> int InChild(F &&body) {
    int st = WaitStatus(Spawn(body));
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

} // namespace vrtest
