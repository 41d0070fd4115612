// File helpers every module uses: whole reads and writes, whole-file locks
// with a bounded wait, and the rewrite of a file that a crash at any
// instant leaves old or new. They reach the files through the seam's table
// (system/seam.h), the one in use unless another is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "system/seam.h"

namespace vrcore::system::fileio {

// Reads from fd to its end, appending to out; more than `limit` bytes in
// all fail with EFBIG. 0 or an errno value (ENOMEM when out cannot grow).
int ReadAll(int fd, std::string &out, size_t limit = SIZE_MAX,
            const system::seam::Io &io = system::seam::CurrentIo());

// Writes all n bytes whatever pieces the descriptor takes; waits (poll)
// while a non-blocking one takes nothing. 0 or an errno value (EIO for a
// write that took nothing).
int WriteAll(int fd, const void *p, size_t n,
             const system::seam::Io &io = system::seam::CurrentIo());

// Sends all n bytes on a socket without raising SIGPIPE, in pieces of at
// most `piece` bytes, waiting (poll) while it takes nothing, all within
// `timeout_ms` (< 0: no limit). 0, ETIMEDOUT or an errno value.
int SendAll(int fd, const void *p, size_t n, size_t piece, int timeout_ms);

// Takes (or with LockMode::Unlock drops) a lock of the whole file.
// wait_ms < 0 waits as long as it takes, 0 tries once, more waits at most
// that long, trying again after growing pauses. Interrupted calls are
// repeated. 0, EWOULDBLOCK when another holds the lock still when the
// wait ends, or the call's errno value (ENOLCK where the file system keeps
// no locks).
int Lock(int fd, system::seam::LockKind kind, system::seam::LockMode mode, long wait_ms,
         const system::seam::Io &io = system::seam::CurrentIo());

// How a new file is made: created with `create_mode` (the umask applies),
// then given `mode` exactly unless it is -1, and the owner uid/gid unless
// they are -1 (a change of owner only a privileged writer may make: its
// failure is not one).
struct NewFile {
    unsigned create_mode = 0600;
    int mode = -1;
    uid_t uid = uid_t(-1);
    gid_t gid = gid_t(-1);
};

// The step of a write that failed.
enum class Step : unsigned char { None, Create, Mode, Write, Sync, Close, Rename, SyncDir };
struct Result {
    int err = 0; // 0 or the errno value of the step
    Step step = Step::None;
};

// Writes `text` as the whole content of `path` (created, or cut when it
// exists) and syncs it. On failure the file is removed.
Result WriteFile(const std::string &path, std::string_view text, const NewFile &how,
                 const system::seam::Io &io = system::seam::CurrentIo());

// Replaces the file at `path` by one holding `text` so that a crash at
// any instant leaves the old file or the new one: the text goes to a
// temporary file in the same directory (`temp`, replaced when present, or
// a fresh ".<name>.XXXXXX" when empty), which is synced and renamed over
// `path`; then the directory is synced. A failure before the rename
// removes the temporary file; one of the directory sync leaves the new
// file in place (Step::SyncDir: it may not survive a power loss).
Result ReplaceFile(const std::string &path, std::string_view text, const NewFile &how,
                   const std::string &temp = {},
                   const system::seam::Io &io = system::seam::CurrentIo());

// A line of a text file without the blanks (spaces, tabs) at either end
// and without the carriage return of a CRLF line end.
inline std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

} // namespace vrcore::system::fileio
