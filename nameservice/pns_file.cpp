// The printers file and the per-user file on disk: where they are, their
// lock files with the change counter, reading under the lock and writing a
// record back.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "nameservice/pns_internal.h"
#include "system/config.h"
#include "system/fileio.h"
#include "vrcore/log.h"

namespace vrcore::nameservice::pns {
namespace {

constexpr const char *kSource = "ns_rw_file";
constexpr const char *kHeader =
    "#\n#\tIf you hand edit this file, comments and structure may change.\n#\n";

const char *Env(const char *name) {
    const char *v = std::getenv(name);
    return v && *v ? v : nullptr;
}

// An open lock file, locked while held.
class LockFile {
  public:
    ~LockFile() { Close(); }
    // Opens (creating it readable and writable for all) and locks. Errors
    // are errno values; `create` false opens only an existing file.
    int OpenAndLock(const std::string &path, bool exclusive, bool create) {
        const system::seam::Io &io = system::seam::CurrentIo();
        fd_ = io.open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
        if (fd_ < 0 && !create && errno == EACCES)
            fd_ = io.open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
        if (fd_ < 0) return errno;
        struct stat st {};
        if (create && io.fstat(fd_, &st) == 0 && (st.st_mode & 0777) != 0666 &&
            st.st_uid == geteuid())
            (void)io.fchmod(fd_, 0666);
        opened_ = true;
        if (int e = system::fileio::Lock(
                fd_, system::seam::LockKind::Flock,
                exclusive ? system::seam::LockMode::Exclusive : system::seam::LockMode::Shared, -1))
            return e;
        locked_ = true;
        return 0;
    }
    int Fd() const { return fd_; }
    bool Opened() const { return opened_; }
    void Close() {
        if (fd_ >= 0) {
            if (locked_)
                system::fileio::Lock(fd_, system::seam::LockKind::Flock,
                                     system::seam::LockMode::Unlock, -1);
            system::seam::CurrentIo().close(fd_);
        }
        fd_ = -1;
        locked_ = opened_ = false;
    }

  private:
    int fd_ = -1;
    bool opened_ = false;
    bool locked_ = false;
};

uint32_t CounterAt(int fd) {
    unsigned char b[4];
    if (system::seam::CurrentIo().pread(fd, b, 4, 0) != 4) return 0;
    return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
}

// The whole content of an open file and its status; false with errno set.
bool ReadAll(int fd, std::string &out, struct stat &st) {
    out.clear();
    if (system::seam::CurrentIo().fstat(fd, &st) != 0) return false;
    int e = system::fileio::ReadAll(fd, out);
    errno = e;
    return e == 0;
}

void StampOf(const struct stat &st, FileStamp &s) {
    s.exists = true;
    s.mtime_sec = st.st_mtim.tv_sec;
    s.mtime_nsec = st.st_mtim.tv_nsec;
    s.size = st.st_size;
    s.inode = st.st_ino;
}

// The canonical text of an existing entry; empty when it is ignored.
std::string Canonical(const Entry &e, bool user_form) {
    std::string out;
    for (size_t i = 0; i < e.names.size(); ++i) out.append(i ? "|" : "").append(e.names[i]);
    if (user_form)
        return out.append("\t").append(
            CanonicalValue(e.fields.front().first, e.fields.front().second));
    for (const auto &[k, v] : e.fields)
        out.append(":\\\n\t:").append(k).append("=").append(CanonicalValue(k, v));
    return out + ":";
}

} // namespace

std::string EtcFilePath() {
    if (const char *p = Env("PRINTERS_CONF")) return p;
    std::string reg =
        system::cfg::Registry().GetString("Software\\Halvane\\Tessaril", "PrintersConf", "");
    if (!reg.empty()) return reg;
    return system::cfg::Windir() + "/printers.cnf";
}

std::string UserFilePath() {
    const char *drive = std::getenv("HOMEDRIVE");
    const char *path = std::getenv("HOMEPATH");
    if (drive && path && std::strlen(drive) + std::strlen(path) < 513)
        return std::string(drive) + path + "/printers.usr";
    if (const char *home = Env("HOME")) return std::string(home) + "/printers.usr";
    return system::cfg::Windir() + "/printers.usr";
}

std::string LockFilePath(const std::string &file) { return file + ".LCK"; }

uint32_t ReadChangeCounter(const std::string &file) {
    int fd = system::seam::CurrentIo().open(LockFilePath(file).c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return 0;
    uint32_t c = CounterAt(fd);
    system::seam::CurrentIo().close(fd);
    return c;
}

bool CurrentStamp(const std::string &file, FileStamp &out) {
    out = FileStamp{};
    struct stat st {};
    if (system::seam::CurrentIo().stat(file.c_str(), &st) != 0) return errno == ENOENT;
    StampOf(st, out);
    out.counter = ReadChangeCounter(file);
    return true;
}

bool ReadFileLocked(const std::string &file, std::string &bytes, FileStamp &stamp) {
    stamp = FileStamp{};
    bytes.clear();
    LockFile lock;
    // A reader that may not create the lock file reads without it.
    int err = lock.OpenAndLock(LockFilePath(file), false, true);
    if (err != 0 && !lock.Opened()) err = lock.OpenAndLock(LockFilePath(file), false, false);
    if (err != 0 && lock.Opened()) {
        LOG_CondMessage(5, kSource, __LINE__, "libprint: Cannot acquire lock on file %s, err=%d",
                        file.c_str(), err);
        return false;
    }
    int fd = system::seam::CurrentIo().open(file.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) {
        if (errno != ENOENT) {
            LOG_CondMessage(5, kSource, __LINE__,
                            "libprint: Cannot open file %s for reading, err=%d", file.c_str(),
                            errno);
            return false;
        }
        if (lock.Opened()) stamp.counter = CounterAt(lock.Fd());
        return true;
    }
    struct stat st {};
    bool ok = ReadAll(fd, bytes, st);
    int e = errno;
    system::seam::CurrentIo().close(fd);
    if (!ok) {
        LOG_CondMessage(5, kSource, __LINE__, "libprint: Cannot read file %s, err=%d", file.c_str(),
                        e);
        return false;
    }
    StampOf(st, stamp);
    if (lock.Opened()) stamp.counter = CounterAt(lock.Fd());
    return true;
}

int PutFile(const std::string &path, const ns_printer_t *p, bool user_form) {
    std::string text;
    if (!(user_form ? UserEntryText(p, text) : PrintersEntryText(p, text))) {
        LOG_CondMessage(5, kSource, __LINE__, "libprint: Record %s cannot be written to %s",
                        p && p->name ? p->name : "(null)", path.c_str());
        return -1;
    }
    std::string lock_path = LockFilePath(path);
    LockFile lock;
    int err = lock.OpenAndLock(lock_path, true, true);
    if (err != 0) {
        if (!lock.Opened())
            LOG_CondMessage(5, kSource, __LINE__, "libprint: Cannot open lock file %s\n",
                            lock_path.c_str());
        else
            LOG_CondMessage(5, kSource, __LINE__,
                            "libprint: Cannot acquire lock on file %s, err=%d", lock_path.c_str(),
                            err);
        return -1;
    }

    // The old file; a missing one is created by the rename below.
    std::string old;
    mode_t mode = 0;
    bool had_file = false;
    int fd = system::seam::CurrentIo().open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd >= 0) {
        struct stat st {};
        bool ok = ReadAll(fd, old, st);
        int e = errno;
        system::seam::CurrentIo().close(fd);
        if (!ok) {
            LOG_CondMessage(5, kSource, __LINE__, "libprint: Cannot open file %s for RW, err=%d",
                            path.c_str(), e);
            return -1;
        }
        mode = st.st_mode & 07777;
        had_file = true;
    } else if (errno != ENOENT) {
        LOG_CondMessage(5, kSource, __LINE__, "libprint: Cannot open file %s for RW, err=%d",
                        path.c_str(), errno);
        return -1;
    }

    std::string out = kHeader;
    bool matched = false;
    Entry e;
    for (const std::string &raw : user_form ? SplitUserText(old) : SplitPrintersText(old)) {
        if (!(user_form ? ParseUserEntry(raw, e) : ParsePrintersEntry(raw, e))) continue;
        bool same = false;
        if (!matched)
            for (const auto &n : e.names)
                if (n == p->name) same = true;
        if (same) {
            matched = true;
            if (!text.empty()) out.append(text).append("\n");
        } else {
            out.append(Canonical(e, user_form)).append("\n");
        }
    }
    if (!matched && !text.empty()) out.append(text).append("\n");

    // The new text goes to "<path>-" and is renamed over the old file, so
    // the file is never missing and never half written.
    std::string temp = path + "-";
    system::fileio::NewFile how{had_file ? 0600u : 0666u, had_file ? int(mode) : -1};
    system::fileio::Result r = system::fileio::ReplaceFile(path, out, how, temp);
    if (r.step == system::fileio::Step::Create) {
        LOG_CondMessage(5, kSource, __LINE__, "libprint: Cannot open file %s for RW, err=%d",
                        temp.c_str(), r.err);
        return -1;
    }
    // A directory that cannot be synced only delays the new file's durability.
    if (r.err && r.step != system::fileio::Step::SyncDir) {
        LOG_CondMessage(5, kSource, __LINE__, "libprint: Cannot write file %s, err=%d",
                        path.c_str(), r.err);
        return -1;
    }

    uint32_t c = CounterAt(lock.Fd()) + 1;
    if (c == 0 || c == 0xffffffffu) c = 1;
    unsigned char b[4] = {uint8_t(c >> 24), uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
    if (system::seam::CurrentIo().pwrite(lock.Fd(), b, 4, 0) != 4)
        LOG_CondMessage(5, kSource, __LINE__, "libprint: Cannot update lock file %s, err=%d",
                        lock_path.c_str(), errno);
    return 0;
}

} // namespace vrcore::nameservice::pns
