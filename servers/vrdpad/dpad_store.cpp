// The job database and the spool files.
#include "dpad_store.h"

#include "dpad_config.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
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
// A log record: body length (4), number (8), checksum of number and body
// (8), then the body: operations, each a kind, a key (1-byte length) and a
// value (4-byte length).
constexpr size_t kFrame = 20;
constexpr char kOpStore = 'S', kOpData = 'B';
const char kCheckpointKey[] = "l"; // the number of the last record the B-tree holds

uint64_t Checksum(const char *p, size_t n, uint64_t h = 0xcbf29ce484222325ull) {
    for (size_t i = 0; i < n; ++i) h = (h ^ uint8_t(p[i])) * 0x100000001b3ull;
    return h;
}

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

int List(const char *dir, std::vector<std::string> *names) {
    DIR *d = ::opendir(dir);
    if (!d) return -1;
    while (dirent *e = ::readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names->push_back(e->d_name);
    ::closedir(d);
    return 0;
}

const StoreIo kSystemIo = {
    [](const char *path, int flags, unsigned mode) { return ::open(path, flags, mode); },
    ::close,
    ::pread,
    ::pwrite,
    ::fsync,
    ::fdatasync,
    ::ftruncate,
    [](const char *path, struct stat *st) { return ::stat(path, st); },
    [](const char *path, unsigned mode) { return ::mkdir(path, mode); },
    ::unlink,
    ::rename,
    [](const char *dir) {
        int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return -1;
        int rc = ::fsync(fd), e = errno;
        ::close(fd);
        errno = e;
        return rc;
    },
    List,
    [](int fd) { return ::flock(fd, LOCK_EX | LOCK_NB); },
};
const StoreIo *g_io = &kSystemIo;

const StoreIo &Io() { return *g_io; }

// Writes all of data at `at`; false with errno set.
bool WriteAt(int fd, const char *data, size_t size, uint64_t at) {
    for (size_t done = 0; done < size;) {
        ssize_t n = Io().pwrite(fd, data + done, size - done, off_t(at + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

bool SyncFd(const std::string &path, int flags) {
    int fd = Io().open(path.c_str(), flags | O_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = Io().fsync(fd) == 0;
    int e = errno;
    Io().close(fd);
    errno = e;
    return ok;
}

std::string Parent(const std::string &path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

const StoreIo &SystemStoreIo() { return kSystemIo; }
void SetStoreIo(const StoreIo *io) { g_io = io ? io : &kSystemIo; }

bool SyncDirectory(const std::string &dir) { return Io().sync_dir(dir.c_str()) == 0; }

bool MakeDirectories(const std::string &path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        std::string part = path.substr(0, at);
        if (Io().mkdir(part.c_str(), 0750) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return Io().stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteFileAtomically(const std::string &path, const void *data, size_t size) {
    std::string temp = path + ".tmp";
    int fd = Io().open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0640);
    if (fd < 0) return false;
    bool ok = WriteAt(fd, static_cast<const char *>(data), size, 0) && Io().fsync(fd) == 0;
    int e = errno;
    if (Io().close(fd) != 0 && ok) ok = false, e = errno;
    if (ok && Io().rename(temp.c_str(), path.c_str()) != 0) ok = false, e = errno;
    if (!ok) {
        Io().unlink(temp.c_str());
        return errno = e, false;
    }
    return SyncDirectory(Parent(path));
}

bool MoveDurably(const std::string &from, const std::string &to) {
    return SyncFd(from, O_RDONLY) && Io().rename(from.c_str(), to.c_str()) == 0 &&
           SyncDirectory(Parent(to));
}

bool Store::Open(const std::string &root, std::string *why) {
    *why = "";
    spool_ = root + "/spool";
    if (!MakeDirectories(spool_)) {
        *why = "cannot make the spool directory " + spool_ + ": " + std::strerror(errno);
        return false;
    }
    // One server per root: the lock is held for the life of the process.
    lock_fd_ = Io().open((root + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
    if (lock_fd_ < 0 || Io().lock(lock_fd_) != 0) {
        *why = errno == EWOULDBLOCK ? "another server uses " + root
                                    : "cannot lock " + root + "/lock: " + std::strerror(errno);
        return false;
    }
    std::string db = root + "/jobs";
    struct stat st {};
    bool exists = Io().stat((db + ".dbm").c_str(), &st) == 0;
    db_ = VRBM_open(db.c_str(), VRBM_RDWR | (exists ? 0 : VRBM_CREAT), 0640, 0);
    if (!db_ || (!exists && VRBM_sync(db_) != 0)) {
        *why = "cannot open the job database " + db + ".dbm: " + std::strerror(errno);
        return false;
    }
    log_path_ = root + "/jobs.log";
    log_fd_ = Io().open(log_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
    if (log_fd_ < 0 || !SyncDirectory(root)) {
        *why = "cannot open the change log " + log_path_ + ": " + std::strerror(errno);
        return false;
    }
    VRBM_Datum c = VRBM_fetch(db_, kCheckpointKey, 1);
    auto *p = reinterpret_cast<const unsigned char *>(c.ptr);
    Reader r{p, p + (c.len > 0 ? c.len : 0)};
    uint64_t checkpoint = c.len > 0 ? r.Get(8) : 0;
    if (!Replay(r.ok ? checkpoint : 0, why)) {
        *why = "cannot " + *why + " the change log " + log_path_ + ": " + std::strerror(errno);
        return false;
    }
    Recover();
    if (!Checkpoint()) {
        *why = "cannot write the job database " + db + ".dbm: " + std::strerror(errno);
        return false;
    }
    return true;
}

void Store::Close() {
    if (db_ && !Checkpoint())
        LOG_CondMessage(1, kSource, __LINE__, "the job database could not be written back\n");
    if (db_) VRBM_close(db_);
    db_ = nullptr;
    if (log_fd_ >= 0) Io().close(log_fd_);
    log_fd_ = -1;
    if (lock_fd_ >= 0) Io().close(lock_fd_);
    lock_fd_ = -1;
    jobs_.clear();
    small_.clear();
    pending_.clear();
    drop_later_.clear();
    seq_ = log_size_ = 0;
    unsynced_ = false;
    next_ = 1;
}

// Applies the log's records past `after`, in order, up to the first that
// is torn, damaged or out of sequence (a stale tail left by a power loss),
// and cuts the log durably after the last one applied: records written
// from here on must never be followed by a stale one that happens to fit.
bool Store::Replay(uint64_t after, std::string *why) {
    std::string log;
    char buf[1 << 16];
    *why = "read";
    for (ssize_t n; (n = Io().pread(log_fd_, buf, sizeof buf, off_t(log.size()))) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        log.append(buf, size_t(n));
    }
    seq_ = after;
    log_size_ = 0;
    uint64_t last = 0;
    for (size_t at = 0; log.size() - at >= kFrame;) {
        auto *p = reinterpret_cast<const unsigned char *>(log.data() + at);
        Reader head{p, p + kFrame};
        size_t length = size_t(head.Get(4));
        uint64_t seq = head.Get(8), sum = head.Get(8);
        if (log.size() - at - kFrame < length ||
            Checksum(log.data() + at + kFrame, length, Checksum(log.data() + at + 4, 8)) != sum ||
            (last && seq != last + 1) || (seq > after && seq != seq_ + 1))
            break;
        last = seq;
        Reader body{p + kFrame, p + kFrame + length};
        at += kFrame + length;
        if (seq <= after) continue;
        seq_ = seq;
        log_size_ = at;
        while (body.ok && body.p < body.end) {
            char op = char(body.Get(1));
            std::string key = body.Text();
            size_t n = size_t(body.Get(4));
            if (!body.ok || size_t(body.end - body.p) < n) break;
            std::string value(reinterpret_cast<const char *>(body.p), n);
            body.p += n;
            if (op == kOpStore)
                VRBM_store(db_, key.data(), int32_t(key.size()), value.data(), int32_t(n), 1);
            else if (op == kOpData && key.size() == 9) {
                auto *k = reinterpret_cast<const unsigned char *>(key.data());
                Reader ids{k + 1, k + 9};
                uint32_t job = uint32_t(ids.Get(4));
                small_[{job, uint32_t(ids.Get(4))}] = std::move(value);
            }
        }
    }
    *why = "cut";
    return log.size() == log_size_ ||
           (Io().ftruncate(log_fd_, off_t(log_size_)) == 0 && Io().fdatasync(log_fd_) == 0);
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

void Store::Log(char op, const std::string &key, const std::string &value) {
    pending_.push_back(op);
    pending_.push_back(char(key.size()));
    pending_ += key;
    Put32(&pending_, uint32_t(value.size()));
    pending_ += value;
}

bool Store::StoreKey(const std::string &key, const std::string &value) {
    if (VRBM_store(db_, key.data(), int32_t(key.size()), value.data(), int32_t(value.size()), 1))
        return false;
    Log(kOpStore, key, value);
    return true;
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
    std::string counter;
    Put32(&counter, next_);
    if (!StoreKey("n", counter) || !StoreKey(JobKey(job.id), rec)) return false;
    if (doc == 0 || doc > job.documents.size()) return true;
    const Document &d = job.documents[doc - 1];
    std::string drec;
    Put64(&drec, d.size);
    drec.push_back(char(d.name.size()));
    drec += d.name;
    return StoreKey(DocKey(job.id, doc), drec);
}

void Store::PutData(uint32_t job, uint32_t doc, std::string bytes) {
    Log(kOpData, DocKey(job, doc), bytes);
    small_[{job, doc}] = std::move(bytes);
}

bool Store::Flush() {
    if (pending_.empty()) return true;
    std::string record;
    Put32(&record, uint32_t(pending_.size()));
    Put64(&record, seq_ + 1);
    Put64(&record, Checksum(pending_.data(), pending_.size(), Checksum(record.data() + 4, 8)));
    record += pending_;
    if (!WriteAt(log_fd_, record.data(), record.size(), log_size_)) {
        // A part written is cut off again: the next record follows a whole one.
        int e = errno;
        if (Io().ftruncate(log_fd_, off_t(log_size_)) != 0) {}
        return errno = e, false;
    }
    ++seq_;
    log_size_ += record.size();
    unsynced_ = true;
    pending_.clear();
    return true;
}

bool Store::Sync() {
    if (!Flush() || (unsynced_ && Io().fdatasync(log_fd_) != 0)) return false;
    unsynced_ = false;
    for (const std::string &path : drop_later_) Io().unlink(path.c_str());
    drop_later_.clear();
    if (log_size_ >= checkpoint_at_ && !Checkpoint())
        LOG_CondMessage(2, kSource, __LINE__, "the job database could not be written back\n");
    return true;
}

bool Store::Checkpoint() {
    if (!Flush()) return false;
    // The small documents of the jobs still to print go into spool files,
    // all synced before they are named and the directory synced once.
    std::vector<std::string> written;
    bool ok = true;
    for (const auto &[at, bytes] : small_) {
        const Job *job = Find(at.first);
        if (!ok || !job || job->Terminal() || at.second > job->documents.size()) continue;
        std::string temp = DataPath(at.first, at.second) + ".tmp";
        int fd =
            Io().open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0640);
        ok = fd >= 0 && WriteAt(fd, bytes.data(), bytes.size(), 0) && Io().fdatasync(fd) == 0;
        if (fd >= 0) ok = Io().close(fd) == 0 && ok;
        written.push_back(DataPath(at.first, at.second));
    }
    for (const std::string &path : written)
        ok = ok && Io().rename((path + ".tmp").c_str(), path.c_str()) == 0;
    if (!ok || (!written.empty() && !SyncDirectory(spool_))) {
        int e = errno;
        for (const std::string &path : written) Io().unlink((path + ".tmp").c_str());
        return errno = e, false;
    }
    small_.clear();
    std::string mark;
    Put64(&mark, seq_);
    if (VRBM_store(db_, kCheckpointKey, 1, mark.data(), int32_t(mark.size()), 1) != 0 ||
        VRBM_sync(db_) != 0)
        return false;
    // Emptied without a sync: a power loss may bring back records the
    // B-tree already holds, which the next opening skips.
    if (Io().ftruncate(log_fd_, 0) != 0) return false;
    log_size_ = 0;
    unsynced_ = false;
    for (const std::string &path : drop_later_) Io().unlink(path.c_str());
    drop_later_.clear();
    return true;
}

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
    return StoreKey(PrinterKey(printer), std::string(1, char(flags))) && Sync();
}

std::string Store::DataPath(uint32_t job, uint32_t doc) const {
    return spool_ + "/" + std::to_string(job) + "-" + std::to_string(doc) + ".data";
}

std::string Store::AttributesPath(uint32_t job) const {
    return spool_ + "/" + std::to_string(job) + ".attrs";
}

int Store::OpenData(uint32_t job, uint32_t doc) const {
    auto it = small_.find({job, doc});
    if (it == small_.end()) return Io().open(DataPath(job, doc).c_str(), O_RDONLY | O_CLOEXEC, 0);
    int fd = ::memfd_create("vrdpad-document", MFD_CLOEXEC);
    if (fd >= 0 &&
        (::write(fd, it->second.data(), it->second.size()) != ssize_t(it->second.size()) ||
         ::lseek(fd, 0, SEEK_SET) != 0)) {
        int e = errno;
        ::close(fd);
        return errno = e, -1;
    }
    return fd;
}

// A spool file removed before the change that finished its job is durable
// could leave, after a power loss, a job to print without its data; one
// that a crash brings back is removed on the next opening.
void Store::DropData(const Job &job) {
    for (uint32_t n = 1; n <= job.documents.size(); ++n) {
        small_.erase({job.id, n});
        if (unsynced_ || !pending_.empty())
            drop_later_.push_back(DataPath(job.id, n));
        else
            Io().unlink(DataPath(job.id, n).c_str());
    }
}

void Store::Recover() {
    VRBM_Datum c = VRBM_fetch(db_, "n", 1);
    Reader counter{reinterpret_cast<const unsigned char *>(c.ptr),
                   reinterpret_cast<const unsigned char *>(c.ptr) + (c.len > 0 ? c.len : 0)};
    next_ = c.len > 0 ? uint32_t(counter.Get(4)) : 1;
    if (!counter.ok || next_ == 0) next_ = 1;
    // Every number given out is recorded (a submission that fails records
    // its job as failed), so a long run of absent jobs means the counter is
    // damaged: the scan ends there and numbering goes on after the last job.
    constexpr uint32_t kMaxGap = 4096;
    bool changed = false;
    uint32_t last = 0;
    for (uint32_t id = 1; id < next_ && id - last <= kMaxGap; ++id) {
        std::string key = JobKey(id);
        VRBM_Datum d = VRBM_fetch(db_, key.data(), int32_t(key.size()));
        if (d.len <= 0) continue;
        last = id;
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
        // The documents whose records are there and readable: a count the
        // records do not bear out fails the job as a cut-off transfer does.
        bool damaged = false;
        for (uint32_t n = 1; n <= docs && !damaged; ++n) {
            key = DocKey(id, n);
            VRBM_Datum dd = VRBM_fetch(db_, key.data(), int32_t(key.size()));
            auto *q = reinterpret_cast<const unsigned char *>(dd.ptr);
            Reader dr{q, q + (dd.len > 0 ? dd.len : 0)};
            Document doc;
            doc.size = dr.Get(8);
            doc.name = dr.Text();
            damaged = !dr.ok || !(doc.name.empty() || SafeFileName(doc.name, kMaxDocumentName));
            if (!damaged) job.documents.push_back(doc);
        }
        if (damaged)
            LOG_CondMessage(2, kSource, __LINE__, "job %u: a document record is unreadable\n", id);
        bool cut_off = (job.flags & kJobTransferring) || (damaged && !job.Terminal());
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
    if (next_ - last > kMaxGap) {
        LOG_CondMessage(2, kSource, __LINE__, "the job counter %u is damaged; jobs go on from %u\n",
                        next_, last + 1);
        next_ = last + 1;
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
    std::vector<std::string> names;
    if (Io().list(spool_.c_str(), &names) == 0) {
        for (const std::string &name : names)
            if (!keep.count(name) && Io().unlink((spool_ + "/" + name).c_str()) == 0)
                LOG_CondMessage(6, kSource, __LINE__, "removed the spool file %s\n", name.c_str());
        SyncDirectory(spool_);
    }
}

} // namespace vrcore::dpad
