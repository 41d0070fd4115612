// The server's jobs, kept crash-safe: a B-tree index of small records
// (the job counter, one record per job, one per document) and spool files
// beside it (each document's data, each job's attributes as received).
//
// Changes go first to a change log beside the B-tree, appended in order and
// each framed with its number and a checksum: Sync makes what was logged so
// far durable with one data sync of the log, and small documents travel in
// the log with the records that name them. Now and then (and on close) a
// checkpoint writes the B-tree back, puts the small documents of the live
// jobs into spool files and empties the log; opening the store replays the
// log's whole records past the last checkpoint, up to the first torn or
// stale one. Every file is complete before a record names it. Whatever a
// crash leaves half done is settled when the store is opened again: a job
// whose document was still arriving is marked failed, and a spool file no
// live record needs is removed.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vrcore/vrbm.h"
#include "vrcore/vrtypes.h"

namespace vrcore::dpad {

// The calls the store makes on its files and directories: the system's
// own, unless a test puts another table in place. Every entry behaves as
// its system call (-1 and errno on failure).
struct StoreIo {
    int (*open)(const char *path, int flags, unsigned mode);
    int (*close)(int fd);
    ssize_t (*pread)(int fd, void *buf, size_t n, off_t at);
    ssize_t (*pwrite)(int fd, const void *buf, size_t n, off_t at);
    int (*fsync)(int fd);
    int (*fdatasync)(int fd);
    int (*ftruncate)(int fd, off_t size);
    int (*stat)(const char *path, struct stat *st);
    int (*mkdir)(const char *path, unsigned mode);
    int (*unlink)(const char *path);
    int (*rename)(const char *from, const char *to);
    // Makes the entries of the directory durable.
    int (*sync_dir)(const char *dir);
    // The names in the directory, "." and ".." left out.
    int (*list)(const char *dir, std::vector<std::string> *names);
    // An exclusive lock of the whole file, taken at once or not at all (EWOULDBLOCK).
    int (*lock)(int fd);
};

const StoreIo &SystemStoreIo();
// Puts a table in place; nullptr restores the system's.
void SetStoreIo(const StoreIo *io);

// Job states, as the short identifiers of their values.
constexpr GENU_ShortOID kStatePreProcessing = 250; // documents may still come
constexpr GENU_ShortOID kStatePending = 251;       // complete, not printed yet
constexpr GENU_ShortOID kStateRetained = 254;      // failed: kept for inspection
constexpr GENU_ShortOID kStateHeld = 255;          // held by a client until released
constexpr GENU_ShortOID kStateCancelled = 258;
constexpr GENU_ShortOID kStateCompleted = 259;

// Job flags.
constexpr uint8_t kJobTransferring = 1; // a document was being received
constexpr uint8_t kJobFailed = 2;       // its transfer or its printing failed
constexpr uint8_t kJobHasAttributes = 4;
constexpr uint8_t kJobComplete = 8;  // all its documents have arrived
constexpr uint8_t kJobPromoted = 16; // printed before the others of its printer

// Printer flags.
constexpr uint8_t kPrinterDisabled = 1; // takes no new jobs
constexpr uint8_t kPrinterPaused = 2;   // prints nothing until resumed
constexpr uint8_t kPrinterShutdown = 4; // shut down: takes no jobs until enabled

constexpr size_t kMaxPrinterName = 64;
constexpr size_t kMaxDocumentName = 200;
constexpr size_t kMaxOwner = 128; // a job's record holds at most this of its owner's name

struct Document {
    uint64_t size = 0;
    std::string name; // may be empty
};

struct Job {
    uint32_t id = 0;
    GENU_ShortOID state = kStatePreProcessing;
    uint8_t flags = 0;
    uint32_t created = 0; // seconds since the epoch
    uint64_t octets = 0;
    std::string printer;
    std::string owner;               // who submitted it
    std::vector<Document> documents; // document n is documents[n - 1]

    bool Terminal() const {
        return state == kStateCompleted || state == kStateCancelled || state == kStateRetained;
    }
};

class Store {
  public:
    Store() = default;
    ~Store() { Close(); }
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    // Opens (or creates) the store under root and settles what a crash
    // left. False with *why when it cannot.
    bool Open(const std::string &root, std::string *why);
    void Close();

    std::map<uint32_t, Job> &Jobs() { return jobs_; }
    Job *Find(uint32_t id);
    // A new job with the next number, not yet stored.
    Job &NewJob(const std::string &printer);

    // Records the job (and, with `doc` > 0, its document `doc`); durable
    // only after Sync.
    bool Put(const Job &job, uint32_t doc = 0);
    // Keeps a small document's data with the changes (durable with them).
    void PutData(uint32_t job, uint32_t doc, std::string bytes);
    // Makes every change so far durable.
    bool Sync();
    // Writes the changes so far to the log without waiting for the disk:
    // they survive the death of the process, not a power loss.
    bool Flush();
    // Writes the B-tree back and empties the log.
    bool Checkpoint();
    // The size of the log at which a Sync also checkpoints.
    void CheckpointAt(uint64_t bytes) { checkpoint_at_ = bytes; }

    // The printer's flags; changed durably.
    uint8_t PrinterFlags(const std::string &printer);
    bool SetPrinterFlags(const std::string &printer, uint8_t flags);
    // Whether a printer takes no new jobs.
    bool Disabled(const std::string &printer) {
        return PrinterFlags(printer) & (kPrinterDisabled | kPrinterShutdown);
    }

    std::string DataPath(uint32_t job, uint32_t doc) const;
    std::string AttributesPath(uint32_t job) const;
    const std::string &SpoolDir() const { return spool_; }
    // A descriptor to read document `doc` of the job from (its data in
    // memory or its spool file), or -1 with errno set.
    int OpenData(uint32_t job, uint32_t doc) const;
    // Removes the data of the job's documents; its spool files once the
    // change that made the job finished is durable.
    void DropData(const Job &job);

  private:
    void Recover();
    bool Replay(uint64_t after, std::string *why);
    void Log(char op, const std::string &key, const std::string &value);
    bool StoreKey(const std::string &key, const std::string &value);
    VRBM_Db *db_ = nullptr;
    int log_fd_ = -1;
    std::string log_path_, pending_; // pending_: ops not yet framed into the log
    uint64_t seq_ = 0;               // number of the last record written
    uint64_t log_size_ = 0;          // where the next record goes
    uint64_t checkpoint_at_ = uint64_t(8) << 20;
    bool unsynced_ = false;               // records written since the last data sync
    std::vector<std::string> drop_later_; // spool files to remove after the next sync
    std::map<std::pair<uint32_t, uint32_t>, std::string> small_; // documents kept in the log
    int lock_fd_ = -1;
    std::string spool_;
    uint32_t next_ = 1;
    std::map<uint32_t, Job> jobs_;
};

// Writes a file whole: a temporary file beside it, synced, renamed over
// the name, the directory synced. False with errno set.
bool WriteFileAtomically(const std::string &path, const void *data, size_t size);
// Moves a finished file to its name durably (the file synced first).
bool MoveDurably(const std::string &from, const std::string &to);
bool SyncDirectory(const std::string &dir);
bool MakeDirectories(const std::string &path);

} // namespace vrcore::dpad
