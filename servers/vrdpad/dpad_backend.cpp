// The directory and command backends.
#include "dpad_backend.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace vrcore::dpad {

namespace {

std::string Errno(const std::string &what) { return what + ": " + std::strerror(errno); }

bool CopyInto(int in, int out) {
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n == 0;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += w;
        }
    }
}

bool ToDirectory(const Printer &p, const Job &job, uint32_t n, int in, std::string *why) {
    if (!MakeDirectories(p.directory)) return *why = Errno("cannot make " + p.directory), false;
    const std::string &doc_name = job.documents[n - 1].name;
    std::string name =
        std::to_string(job.id) + "-" + std::to_string(n) + (doc_name.empty() ? "" : "-" + doc_name);
    std::string path = p.directory + "/" + name, temp = p.directory + "/." + name + ".tmp";
    int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0640);
    if (out < 0) return *why = Errno("cannot create " + temp), false;
    bool ok = CopyInto(in, out) && ::fdatasync(out) == 0;
    ok = ::close(out) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0 || !SyncDirectory(p.directory)) {
        *why = Errno("cannot write " + path);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool ToCommand(const Printer &p, const Job &job, uint32_t n, int in, std::string *why) {
    std::string vars[] = {"VRDPAD_JOB=" + std::to_string(job.id),
                          "VRDPAD_DOCUMENT=" + std::to_string(n), "VRDPAD_PRINTER=" + p.name,
                          "VRDPAD_DOCUMENT_NAME=" + job.documents[n - 1].name};
    pid_t pid = ::fork();
    if (pid < 0) return *why = Errno("cannot start the command"), false;
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(in, 0);
        for (std::string &v : vars) ::putenv(v.data());
        ::execl("/bin/sh", "sh", "-c", p.command.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    *why = "the command \"" + p.command + "\" failed (" +
           (WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                              : "signal " + std::to_string(WTERMSIG(status))) +
           ")";
    return false;
}

} // namespace

bool PrintDocument(const Printer &printer, const Job &job, uint32_t n, int in, std::string *why) {
    return printer.backend == BackendKind::kDirectory ? ToDirectory(printer, job, n, in, why)
                                                      : ToCommand(printer, job, n, in, why);
}

} // namespace vrcore::dpad
