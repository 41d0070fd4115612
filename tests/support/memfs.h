// Test file systems under the library's file table: MemFs, in memory, cut after
// any change by a death or a power loss; IoTap, which sees every call first.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "system/seam.h"

namespace vrtest {

class MemFs {
  public:
    using Bytes = std::vector<uint8_t>;
    // Put in place for the life of the object.
    MemFs();
    ~MemFs();
    MemFs(const MemFs &) = delete;
    MemFs &operator=(const MemFs &) = delete;

    // Changes still allowed before the process "dies"; below 0 there is no such point.
    long changes_left = -1;
    // Whether the point was reached.
    bool Dead() const { return dead_; }

    // The process dies: what was written stays.
    void Die();
    // A power loss: what was synced stays (names by the sync of their directory), and of the
    // changes since, each at random when `keep_some` is given, else none.
    void PowerLoss(std::mt19937 *keep_some = nullptr);
    // The durable state, and a return to it.
    std::map<std::string, Bytes> Snapshot() const;
    void Restore(const std::map<std::string, Bytes> &files);
    bool Exists(const std::string &path) const { return names_.count(path) != 0; }
    std::string Read(const std::string &path) const;
    std::vector<std::string> Names() const;

  private:
    struct Node {
        Bytes data, synced;
        std::vector<std::function<void(Bytes &)>> unsynced;
        unsigned mode = 0644;
    };
    struct Open {
        std::shared_ptr<Node> node;
        off_t at = 0;
    };
    bool Change();
    void Record(Node &n, std::function<void(Bytes &)> change);

    std::map<std::string, std::shared_ptr<Node>> names_, synced_names_;
    std::map<int, Open> fds_;
    int next_fd_ = 1000;
    bool dead_ = false;
    friend struct MemFsCalls;
};

// clang-format off
enum class IoOp { Open, Close, Read, Write, Pread, Pwrite, Fsync, Ftruncate, Fstat, Fchmod, Fchown,
                  Stat, Unlink, Rename, SyncDir, Lock };
// clang-format on

class IoTap {
  public:
    // `before` sees each call and its path (for a descriptor the file it was opened as,
    // "" when unknown); true fails the call with EIO.
    using Fn = std::function<bool(IoOp op, const std::string &path)>;
    explicit IoTap(Fn before);
    ~IoTap();
    IoTap(const IoTap &) = delete;
    IoTap &operator=(const IoTap &) = delete;

  private:
    Fn before_;
    const vrcore::system::seam::Io *under_;
    std::map<int, std::string> paths_;
    friend struct TapCalls;
};

} // namespace vrtest
