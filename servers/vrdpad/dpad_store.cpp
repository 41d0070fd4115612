// The job database and the spool files.
#include "dpad_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>

#include "vrcore/log.h"

namespace vrcore::dpad {

namespace {

constexpr const char *kSource = "vrdpad";
constexpr uint8_t kRecordVersion = 1;

void Put32(std::string *out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out->push_back(char(v >> s));
}
void Put64(std::string *out, uint64_t v) { Put32(out, uint32_t(v >> 32)), Put32(out, uint32_t(v)); }

// Reads fixed-width fields from a record; any overrun makes it bad.
struct Reader {
    const unsigned char *p, *end;
    bool ok = true;
    uint64_t Get(int bytes) {
        uint64_t v = 0;
        if (end - p < bytes) return ok = false, 0;
        while (bytes-- > 0) v = v << 8 | *p++;
        return v;
    }
    std::string Text() {
        size_t n = size_t(Get(1));
        if (!ok || size_t(end - p) < n) return ok = false, std::string();
        std::string s(reinterpret_cast<const char *>(p), n);
        p += n;
        return s;
    }
};

std::string JobKey(uint32_t id) {
    std::string k = "j";
    Put32(&k, id);
    return k;
}
std::string DocKey(uint32_t id, uint32_t doc) {
    std::string k = "d";
    Put32(&k, id), Put32(&k, doc);
    return k;
}

bool SyncFd(const std::string &path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    int e = errno;
    ::close(fd);
    errno = e;
    return ok;
}

std::string Parent(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

bool SyncDirectory(const std::string &dir) { return SyncFd(dir, O_RDONLY | O_DIRECTORY); }

bool MakeDirectories(const std::string &path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0750) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteFileAtomically(const std::string &path, const void *data, size_t size) {
    std::string temp = path + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0640);
    if (fd < 0) return false;
    const char *p = static_cast<const char *>(data);
    for (size_t done = 0; done < size;) {
        ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int e = errno;
            ::close(fd), ::unlink(temp.c_str());
            return errno = e, false;
        }
        done += size_t(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        int e = errno;
        ::unlink(temp.c_str());
        return errno = e, false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int e = errno;
        ::unlink(temp.c_str());
        return errno = e, false;
    }
    return SyncDirectory(Parent(path));
}

bool MoveDurably(const std::string &from, const std::string &to) {
    return SyncFd(from, O_RDONLY) && ::rename(from.c_str(), to.c_str()) == 0 &&
           SyncDirectory(Parent(to));
}

bool Store::Open(const std::string &root, std::string *why) {
    spool_ = root + "/spool";
    if (!MakeDirectories(spool_)) {
        *why = "cannot make the spool directory " + spool_ + ": " + std::strerror(errno);
        return false;
    }
    // One server per root: the lock is held for the life of the process.
    lock_fd_ = ::open((root + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
    if (lock_fd_ < 0 || ::flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
        *why = errno == EWOULDBLOCK ? "another server uses " + root
                                    : "cannot lock " + root + "/lock: " + std::strerror(errno);
        return false;
    }
    std::string db = root + "/jobs";
    struct stat st {};
    bool exists = ::stat((db + ".dbm").c_str(), &st) == 0;
    db_ = VRBM_open(db.c_str(), VRBM_RDWR | (exists ? 0 : VRBM_CREAT), 0640, 0);
    if (!db_ || (!exists && VRBM_sync(db_) != 0)) {
        *why = "cannot open the job database " + db + ".dbm: " + std::strerror(errno);
        return false;
    }
    Recover();
    return true;
}

void Store::Close() {
    if (db_) VRBM_close(db_);
    db_ = nullptr;
    if (lock_fd_ >= 0) ::close(lock_fd_);
    lock_fd_ = -1;
    jobs_.clear();
}

Job *Store::Find(uint32_t id) {
    auto it = jobs_.find(id);
    return it == jobs_.end() ? nullptr : &it->second;
}

Job &Store::NewJob(const std::string &printer) {
    Job &job = jobs_[next_];
    job.id = next_++;
    job.printer = printer;
    job.created = uint32_t(::time(nullptr));
    return job;
}

bool Store::Put(const Job &job, uint32_t doc) {
    std::string rec(1, char(kRecordVersion));
    Put32(&rec, job.state);
    rec.push_back(char(job.flags));
    Put32(&rec, job.created);
    Put32(&rec, uint32_t(job.documents.size()));
    Put64(&rec, job.octets);
    rec.push_back(char(job.printer.size()));
    rec += job.printer;
    std::string owner = job.owner.substr(0, kMaxOwner);
    rec.push_back(char(owner.size()));
    rec += owner;
    std::string key = JobKey(job.id), counter;
    Put32(&counter, next_);
    if (VRBM_store(db_, "n", 1, counter.data(), int32_t(counter.size()), 1) != 0 ||
        VRBM_store(db_, key.data(), int32_t(key.size()), rec.data(), int32_t(rec.size()), 1) != 0)
        return false;
    if (doc == 0 || doc > job.documents.size()) return true;
    const Document &d = job.documents[doc - 1];
    std::string drec;
    Put64(&drec, d.size);
    drec.push_back(char(d.name.size()));
    drec += d.name;
    key = DocKey(job.id, doc);
    return VRBM_store(db_, key.data(), int32_t(key.size()), drec.data(), int32_t(drec.size()), 1) ==
           0;
}

bool Store::Sync() { return VRBM_sync(db_) == 0; }

namespace {

std::string PrinterKey(const std::string &printer) {
    std::string k = "p";
    for (char c : printer) k.push_back(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
    return k;
}

} // namespace

uint8_t Store::PrinterFlags(const std::string &printer) {
    std::string key = PrinterKey(printer);
    VRBM_Datum d = VRBM_fetch(db_, key.data(), int32_t(key.size()));
    return d.len > 0 ? uint8_t(d.ptr[0]) : 0;
}

bool Store::SetPrinterFlags(const std::string &printer, uint8_t flags) {
    std::string key = PrinterKey(printer);
    char flag = char(flags);
    return VRBM_store(db_, key.data(), int32_t(key.size()), &flag, 1, 1) == 0 && Sync();
}

std::string Store::DataPath(uint32_t job, uint32_t doc) const {
    return spool_ + "/" + std::to_string(job) + "-" + std::to_string(doc) + ".data";
}

std::string Store::AttributesPath(uint32_t job) const {
    return spool_ + "/" + std::to_string(job) + ".attrs";
}

void Store::DropData(const Job &job) {
    for (size_t n = 1; n <= job.documents.size(); ++n)
        ::unlink(DataPath(job.id, uint32_t(n)).c_str());
    SyncDirectory(spool_);
}

void Store::Recover() {
    VRBM_Datum c = VRBM_fetch(db_, "n", 1);
    Reader counter{reinterpret_cast<const unsigned char *>(c.ptr),
                   reinterpret_cast<const unsigned char *>(c.ptr) + (c.len > 0 ? c.len : 0)};
    next_ = c.len > 0 ? uint32_t(counter.Get(4)) : 1;
    if (!counter.ok || next_ == 0) next_ = 1;
    bool changed = false;
    for (uint32_t id = 1; id < next_; ++id) {
        std::string key = JobKey(id);
        VRBM_Datum d = VRBM_fetch(db_, key.data(), int32_t(key.size()));
        if (d.len <= 0) continue;
        auto *p = reinterpret_cast<const unsigned char *>(d.ptr);
        Reader r{p, p + d.len};
        Job job;
        job.id = id;
        r.Get(1);
        job.state = GENU_ShortOID(r.Get(4));
        job.flags = uint8_t(r.Get(1));
        job.created = uint32_t(r.Get(4));
        uint32_t docs = uint32_t(r.Get(4));
        job.octets = r.Get(8);
        job.printer = r.Text();
        if (r.ok && r.p < r.end) job.owner = r.Text(); // older records end before the owner
        if (!r.ok) {
            LOG_CondMessage(2, kSource, __LINE__, "job %u: its record is unreadable; skipped\n",
                            id);
            continue;
        }
        for (uint32_t n = 1; n <= docs; ++n) {
            key = DocKey(id, n);
            VRBM_Datum dd = VRBM_fetch(db_, key.data(), int32_t(key.size()));
            auto *q = reinterpret_cast<const unsigned char *>(dd.ptr);
            Reader dr{q, q + (dd.len > 0 ? dd.len : 0)};
            Document doc;
            doc.size = dr.Get(8);
            doc.name = dr.Text();
            job.documents.push_back(doc);
        }
        bool cut_off = job.flags & kJobTransferring;
        if (cut_off) {
            // Its document was cut off: the job fails and nothing of it is printed.
            job.flags = uint8_t((job.flags & ~kJobTransferring) | kJobFailed);
            job.state = kStateRetained;
            changed = true;
            LOG_CondMessage(2, kSource, __LINE__,
                            "job %u: a document transfer was cut off; the job failed\n", id);
        }
        jobs_[id] = job;
        if (cut_off) Put(job);
    }
    if (changed && !Sync())
        LOG_CondMessage(1, kSource, __LINE__, "cannot write the job database\n");
    // Spool files that no live record needs: partial transfers and the
    // data of finished jobs.
    std::set<std::string> keep;
    for (const auto &[id, job] : jobs_) {
        if (job.flags & kJobHasAttributes) keep.insert(std::to_string(id) + ".attrs");
        if (!job.Terminal())
            for (size_t n = 1; n <= job.documents.size(); ++n)
                keep.insert(std::to_string(id) + "-" + std::to_string(n) + ".data");
    }
    if (DIR *dir = ::opendir(spool_.c_str())) {
        while (dirent *e = ::readdir(dir)) {
            std::string name = e->d_name;
            if (name == "." || name == ".." || keep.count(name)) continue;
            if (::unlink((spool_ + "/" + name).c_str()) == 0)
                LOG_CondMessage(6, kSource, __LINE__, "removed the spool file %s\n", name.c_str());
        }
        ::closedir(dir);
        SyncDirectory(spool_);
    }
}

} // namespace vrcore::dpad
