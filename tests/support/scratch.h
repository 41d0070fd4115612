// Scratch directories, files and child processes.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

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

// Bytes in lower-case hex ("-" for none), and hex back to bytes (spaces skipped).
inline std::string Hex(std::span<const uint8_t> b) {
    std::string s = b.empty() ? "-" : "";
    for (uint8_t c : b) s += "0123456789abcdef"[c >> 4], s += "0123456789abcdef"[c & 15];
    return s;
}
inline std::vector<uint8_t> Unhex(const std::string &hex) {
    std::vector<uint8_t> b;
    std::istringstream words(hex);
    for (std::string w; words >> w;)
        for (size_t i = 0; i + 1 < w.size(); i += 2)
            b.push_back(uint8_t(std::stoi(w.substr(i, 2), nullptr, 16)));
    return b;
}

// What a shell command writes on its standard output; *ok: whether it exited with 0.
inline std::string RunCommand(const std::string &cmd, bool *ok = nullptr) {
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    bool exited = p && pclose(p) == 0;
    if (ok) *ok = exited;
    return out;
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

// Runs `body` in a child: its exit status, or 128 + the signal that killed it.
template <class F> int InChild(F &&body) {
    int st = WaitStatus(Spawn(body));
    return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

} // namespace vrtest
