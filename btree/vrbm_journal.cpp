// Write-back and its journal. Between write-backs nothing is written in
// place; a write-back first saves the original image of every changed page
// the file already holds in "<file>-journal" and makes it durable, then
// writes the pages in place and syncs the file, and only then removes the
// journal. A journal found later belongs to a write-back that did not
// finish: when complete it is rolled back, otherwise the file was never
// touched and the journal is only removed.
//
// Journal layout, little-endian: the magic (8 bytes), the file's size
// before the write-back (8), the number of images (4), zero (4), a
// checksum of everything else (8); then per image its page number (4) and
// the 1024 bytes.
//
// The write-back holds a write lock of the whole database file, openers a
// read lock while they look for a journal and read page 0, and a roll back
// a write lock: so nobody rolls back a journal a living writer still uses,
// and nobody reads a file half written.
#include "btree/vrbm_internal.h"
#include "system/fileio.h"

#include "vrcore/log.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrcore::btree {

namespace {

constexpr uint8_t kJournalMagic[8] = {'V', 'R', 'B', 'M', 'J', 'R', 'N', 'L'};
constexpr unsigned kHead = 32;
constexpr unsigned kRecord = 4 + kPageSize;
constexpr unsigned kChunk = 16; // images read or written at once
constexpr uint64_t kMaxFile = uint64_t(kMaxPageNo + 1) * kPageSize;
constexpr int kLockWaitMs = 10000;

bool g_durable = true;

void Put64(uint8_t *p, uint64_t v) {
    Put32(p, uint32_t(v));
    Put32(p + 4, uint32_t(v >> 32));
}
uint64_t Get64(const uint8_t *p) { return Get32(p) | uint64_t(Get32(p + 4)) << 32; }

// FNV-1a, 64 bits.
constexpr uint64_t kSumSeed = 0xcbf29ce484222325ull;
uint64_t Sum(uint64_t h, const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

// Calls f(page, image) for page 0 when changed, then every page of the
// dirty table, in page order.
template <class F> void ForEachChanged(VRBM_Db *db, F f) {
    if (Page{db->page0}.Dirty()) f(0u, db->page0);
    for (unsigned b = 0; b < (kMaxPageNo + 1) / kDirtyBlock; b++) {
        uint8_t **blk = db->dirty.block[b];
        if (!blk) continue;
        for (unsigned i = 0; i < kDirtyBlock; i++)
            if (blk[i]) f(b * kDirtyBlock + i, blk[i]);
    }
}

int CloseKeepErrno(int fd) {
    int e = errno;
    system::seam::CurrentIo().close(fd);
    errno = e;
    return -1;
}

// Saves the original image of every changed page the file holds (size
// bytes before the write-back) and makes the journal and its name durable.
// Returns the journal's descriptor, or -1 with no journal left behind.
int WriteJournal(VRBM_Db *db, uint64_t size, unsigned mode) {
    const system::seam::Io &io = system::seam::CurrentIo();
    const char *path = db->journal_file.c_str();
    unsigned count = 0;
    ForEachChanged(db, [&](unsigned n, const uint8_t *) {
        if (uint64_t(n) * kPageSize < size) count++;
    });
    int jfd = io.open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (jfd < 0) return -1;
    uint8_t head[kHead] = {};
    std::memcpy(head, kJournalMagic, sizeof kJournalMagic);
    Put64(head + 8, size);
    Put32(head + 16, count);
    uint64_t sum = Sum(kSumSeed, head, 24);
    uint8_t chunk[kChunk * kRecord];
    unsigned held = 0;
    off_t at = kHead;
    bool ok = true;
    auto flush = [&] {
        size_t len = size_t(held) * kRecord;
        sum = Sum(sum, chunk, len);
        ok = ok && io.pwrite(jfd, chunk, len, at) == ssize_t(len);
        at += off_t(len);
        held = 0;
    };
    // The original images are read a run of neighbouring pages at a time.
    uint8_t run[kChunk * kPageSize];
    unsigned first = 0, pages = 0;
    auto take = [&] {
        if (!ok || !pages) return;
        size_t len = size_t(pages) * kPageSize;
        ssize_t got = io.pread(db->fd, run, len, off_t(first) * kPageSize);
        if (got < 0) ok = false;
        // Past the end of a short file the images are zeros.
        if (ok && size_t(got) < len) std::memset(run + got, 0, len - size_t(got));
        for (unsigned i = 0; ok && i < pages; i++) {
            uint8_t *rec = chunk + size_t(held) * kRecord;
            Put32(rec, first + i);
            std::memcpy(rec + 4, run + size_t(i) * kPageSize, kPageSize);
            if (++held == kChunk) flush();
        }
        pages = 0;
    };
    ForEachChanged(db, [&](unsigned n, const uint8_t *) {
        if (uint64_t(n) * kPageSize >= size) return;
        if (pages && (n != first + pages || pages == kChunk)) take();
        if (!pages) first = n;
        pages++;
    });
    take();
    if (held) flush();
    Put64(head + 24, sum);
    ok = ok && io.pwrite(jfd, head, kHead, 0) == ssize_t(kHead) && io.fsync(jfd) == 0 &&
         io.sync_dir(path) == 0;
    if (ok) return jfd;
    CloseKeepErrno(jfd);
    io.unlink(path);
    return -1;
}

// Writes the changed pages in place, a run of neighbouring pages with one
// call.
bool WritePages(VRBM_Db *db) {
    constexpr unsigned kRun = kChunk;
    uint8_t run[kRun * kPageSize]; // stored without the modified mark
    unsigned first = 0, held = 0;
    bool ok = true;
    auto flush = [&] {
        if (!ok || !held) return;
        size_t len = size_t(held) * kPageSize;
        ok = system::seam::CurrentIo().pwrite(db->fd, run, len, off_t(first) * kPageSize) ==
             ssize_t(len);
        if (!ok)
            LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: failed to write pages %u to %u\n", first,
                            first + held - 1);
        held = 0;
    };
    ForEachChanged(db, [&](unsigned n, const uint8_t *image) {
        if (held && (n != first + held || held == kRun)) flush();
        if (!ok) return;
        if (!held) first = n;
        uint8_t *copy = run + size_t(held++) * kPageSize;
        std::memcpy(copy, image, kPageSize);
        Page{copy}.ResetDirty();
    });
    flush();
    return ok;
}

// Removes a journal durably; true when it is gone (or was never there).
bool RemoveJournal(const std::string &path) {
    if (system::seam::CurrentIo().unlink(path.c_str()) != 0) return errno == ENOENT;
    return system::seam::CurrentIo().sync_dir(path.c_str()) == 0;
}

// Under the write lock: puts back the original images of a complete
// journal, cuts the file to its former size and syncs it, then removes the
// journal; an incomplete one is only removed.
bool ApplyJournal(const std::string &journal, int fd) {
    const system::seam::Io &io = system::seam::CurrentIo();
    JournalInfo j = ReadJournal(
        journal,
        [](void *ctx, unsigned page, const uint8_t *image) {
            int f = *static_cast<int *>(ctx);
            return system::seam::CurrentIo().pwrite(f, image, kPageSize, off_t(page) * kPageSize) ==
                   ssize_t(kPageSize);
        },
        &fd);
    if (j.state == JournalState::kNone) return true;
    if (j.state == JournalState::kUnreadable) return false;
    if (j.state == JournalState::kValid) {
        struct stat st;
        if (io.fstat(fd, &st) != 0) return false;
        if (uint64_t(st.st_size) > j.size && io.ftruncate(fd, off_t(j.size)) != 0) return false;
        if (io.fsync(fd) != 0) return false;
        LOG_CondMessage(6, "vrbm", __LINE__,
                        "VRBM: rolled back an unfinished write-back (%u pages)\n", j.pages);
    }
    return RemoveJournal(journal);
}

// Rolls back a dead writer's write-back through a descriptor that may write.
int RollBack(VRBM_Db *db) {
    const system::seam::Io &io = system::seam::CurrentIo();
    int wfd = Writable(db) ? db->fd : io.open(db->file.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK, 0);
    if (wfd < 0) return EUCLEAN;
    int rc = 0;
    if (!LockWait(wfd, F_WRLCK)) {
        rc = EAGAIN;
    } else {
        if (!ApplyJournal(db->journal_file, wfd)) rc = EUCLEAN;
        Unlock(wfd);
    }
    if (wfd != db->fd) io.close(wfd);
    return rc;
}

bool WriteBackLocked(VRBM_Db *db) {
    const system::seam::Io &io = system::seam::CurrentIo();
    struct stat st;
    if (io.fstat(db->fd, &st) != 0) return false;
    int jfd = -1;
    if (g_durable && (jfd = WriteJournal(db, uint64_t(st.st_size), st.st_mode & 0666)) < 0) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: cannot write the journal %s (errno %d)\n",
                        db->journal_file.c_str(), errno);
        return false;
    }
    if (!WritePages(db) || (g_durable && io.fsync(db->fd) != 0)) {
        // The journal puts back what was there; failing that, it stays for
        // the next opener.
        if (jfd >= 0) {
            io.close(jfd);
            if (!ApplyJournal(db->journal_file, db->fd))
                LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: %s is left for the next opener\n",
                                db->journal_file.c_str());
        }
        return false;
    }
    if (jfd < 0) return true;
    // Until the journal is gone for good the write-back is not finished;
    // an emptied journal ends it as well.
    bool ok = RemoveJournal(db->journal_file) || (io.ftruncate(jfd, 0) == 0 && io.fsync(jfd) == 0);
    io.close(jfd);
    return ok;
}

} // namespace

void SetDurability(bool on) { g_durable = on; }

bool LockWait(int fd, short type) {
    int rc = vrcore::system::fileio::Lock(fd, system::seam::LockKind::Ofd,
                                          type == F_RDLCK ? system::seam::LockMode::Shared
                                                          : system::seam::LockMode::Exclusive,
                                          kLockWaitMs);
    // Where the file system keeps no locks, there is nobody to wait for.
    if (rc == 0 || rc == ENOLCK || rc == EOPNOTSUPP || rc == ENOSYS) return true;
    errno = rc;
    return false;
}

void Unlock(int fd) {
    int e = errno;
    vrcore::system::fileio::Lock(fd, system::seam::LockKind::Ofd, system::seam::LockMode::Unlock,
                                 -1);
    errno = e;
}

int HoldForWriting(VRBM_Db *db, int oflags) {
    const system::seam::Io &io = system::seam::CurrentIo();
    for (int round = 0; round < 4; round++) {
        int rc = vrcore::system::fileio::Lock(db->fd, system::seam::LockKind::Flock,
                                              system::seam::LockMode::Shared, kLockWaitMs);
        if (rc == EWOULDBLOCK) return EAGAIN;
        if (rc != 0 && rc != ENOLCK && rc != EOPNOTSUPP && rc != ENOSYS) return rc;
        struct stat held, named;
        if (io.fstat(db->fd, &held) != 0) return errno;
        if (io.stat(db->file.c_str(), &named) == 0 && named.st_ino == held.st_ino &&
            named.st_dev == held.st_dev)
            return 0;
        // Compaction put a new file in place while this opener waited.
        io.close(db->fd);
        db->fd = io.open(db->file.c_str(), oflags, 0666);
        if (db->fd < 0) return errno;
    }
    return EAGAIN;
}

JournalInfo ReadJournal(const std::string &path,
                        bool (*visit)(void *ctx, unsigned page, const uint8_t *image), void *ctx) {
    const system::seam::Io &io = system::seam::CurrentIo();
    JournalInfo info;
    int fd = io.open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0) {
        info.state = errno == ENOENT ? JournalState::kNone : JournalState::kUnreadable;
        return info;
    }
    // Anything that is not a journal this module completed is one cut
    // short: no write-back touches the file before its journal is whole.
    info.state = JournalState::kIncomplete;
    struct stat st;
    uint8_t head[kHead];
    uint8_t chunk[kChunk * kRecord];
    ssize_t got = 0;
    if (io.fstat(fd, &st) != 0) {
        info.state = JournalState::kUnreadable;
    } else if (S_ISREG(st.st_mode) && (got = io.pread(fd, head, kHead, 0)) == ssize_t(kHead) &&
               std::memcmp(head, kJournalMagic, sizeof kJournalMagic) == 0) {
        uint64_t size = Get64(head + 8);
        uint32_t count = Get32(head + 16);
        bool fits = count <= kMaxPageNo + 1 && size <= kMaxFile && Get32(head + 20) == 0 &&
                    uint64_t(st.st_size) == kHead + uint64_t(count) * kRecord;
        // Two passes: the checksum first, then the images to the visitor.
        for (int pass = 0; fits && pass < (visit ? 2 : 1); pass++) {
            uint64_t sum = Sum(kSumSeed, head, 24);
            for (uint32_t done = 0; done < count;) {
                uint32_t n = count - done < kChunk ? count - done : kChunk;
                size_t len = size_t(n) * kRecord;
                got = io.pread(fd, chunk, len, off_t(kHead + uint64_t(done) * kRecord));
                if (got != ssize_t(len)) {
                    fits = false;
                    break;
                }
                for (uint32_t i = 0; i < n && fits; i++) {
                    const uint8_t *rec = chunk + size_t(i) * kRecord;
                    fits = uint64_t(Get32(rec)) * kPageSize < size;
                    if (fits && pass == 1 && !visit(ctx, Get32(rec), rec + 4)) {
                        info.state = JournalState::kUnreadable;
                        io.close(fd);
                        return info;
                    }
                }
                sum = Sum(sum, chunk, len);
                done += n;
            }
            if (pass == 0 && sum != Get64(head + 24)) fits = false;
        }
        if (fits) {
            info.state = JournalState::kValid;
            info.size = size;
            info.pages = count;
        }
    }
    if (got < 0) info.state = JournalState::kUnreadable;
    io.close(fd);
    return info;
}

int Settle(VRBM_Db *db, Recovery how, JournalInfo *found, short lock_type) {
    for (int round = 0; round < 4; round++) {
        if (!LockWait(db->fd, lock_type)) return EAGAIN;
        JournalInfo j = ReadJournal(db->journal_file);
        if (found && j.state != JournalState::kNone && found->state == JournalState::kNone)
            *found = j;
        switch (j.state) {
        case JournalState::kNone: return 0;
        case JournalState::kIncomplete: // the file is whole
            if (how == Recovery::kRollBack) RemoveJournal(db->journal_file);
            return 0;
        case JournalState::kUnreadable: Unlock(db->fd); return EUCLEAN;
        case JournalState::kValid: break;
        }
        if (how == Recovery::kInMemory) { // the journal's images stand in for the file's
            j = ReadJournal(
                db->journal_file,
                [](void *ctx, unsigned page, const uint8_t *image) {
                    auto *d = static_cast<VRBM_Db *>(ctx);
                    uint8_t *b = DirtyFind(d, page);
                    if (!b && !(b = DirtyAdd(d, page))) return false;
                    std::memcpy(b, image, kPageSize);
                    return true;
                },
                db);
            if (j.state != JournalState::kValid) {
                Unlock(db->fd);
                return EUCLEAN;
            }
            db->rolled_in_memory = true;
            db->read_limit = j.size;
            return 0;
        }
        Unlock(db->fd);
        if (int rc = RollBack(db)) return rc;
    }
    return EAGAIN;
}

bool WriteBack(VRBM_Db *db) {
    if (!Writable(db) || (!Page{db->page0}.Dirty() && db->dirty.count == 0)) return true;
    if (!LockWait(db->fd, F_WRLCK)) {
        LOG_CondMessage(5, "vrbm", __LINE__, "VRBM: %s stayed locked; nothing written\n",
                        db->file.c_str());
        return false;
    }
    bool ok = WriteBackLocked(db);
    Unlock(db->fd);
    if (ok) {
        Page{db->page0}.ResetDirty();
        DirtyClear(db);
    }
    return ok;
}

} // namespace vrcore::btree
