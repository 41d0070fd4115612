// Document transfer: pieces shared by the transfer sources, and the
// timing hooks tests use to avoid real waits.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <vrcore/ft.h>

namespace vrcore::transfer {

// ---------------------------------------------------------------------------
// Timing. Defaults: a second between connection attempts and between
// rename attempts, 600 s for a socket client to arrive (and for a write
// that would block to find room again), 120 s for any FTP reply or data.

// Called after a failed connection attempt (1-based) instead of sleeping,
// and after a failed rename attempt. Null restores the real pause.
using PauseHook = void (*)(int attempt, void *ctx);
void SetConnectPause(PauseHook hook, void *ctx);
void SetRenamePause(PauseHook hook, void *ctx);
// Milliseconds; a negative value restores the default.
void SetAcceptTimeoutMs(long ms);
void SetFtpTimeoutMs(long ms);
long AcceptTimeoutMs();
long FtpTimeoutMs();
void ConnectPause(int attempt);
void RenamePause(int attempt);

// Allocation of transfer buffers, through the test seam.
void *Allocate(size_t n);
void Release(void *p);

// ---------------------------------------------------------------------------
// Tracing: every line names the job and the document.
struct Doc {
    const char *job;
    int num;
};
Doc DocOf(const GEN_DocumentIdentifier *id);
void Trace(int severity, const char *file, int line, Doc d, const char *fmt, ...)
    __attribute__((format(printf, 5, 6)));
#define FT_LOG(sev, d, ...) ::vrcore::transfer::Trace(sev, __FILE__, __LINE__, d, __VA_ARGS__)

// ---------------------------------------------------------------------------
// Spool files.

// The job identifier as it appears in a spool name: bytes other than
// letters, digits, "-", "_" and "." as %XX; a long result is shortened and
// given a hash of the whole identifier so names stay within NAME_MAX.
std::string EncodeJob(std::string_view job);

// The native spool directory: `spool->directory` converted, or the
// configured one (created when missing). 0 or an FT_S_ code.
uint32_t SpoolDir(const FT_SpoolInfo *spool, std::string &out);

// "<dir>/ft_<job>.<doc>.<sec>.<usec>.orig" plus ".tmp" when asked.
std::string SpoolName(const std::string &dir, Doc d, bool tmp);

// The code for an errno of opening a file, and of reading or writing.
uint32_t OpenError(int err);
uint32_t IoError(int err);

// A new spool file, removed on destruction unless kept. Created with
// O_EXCL and O_NOFOLLOW, mode 0600; when the name exists a fresh name
// (later time stamp) is tried a few times.
class SpoolFile {
  public:
    SpoolFile() = default;
    ~SpoolFile();
    SpoolFile(const SpoolFile &) = delete;
    SpoolFile &operator=(const SpoolFile &) = delete;

    // Creates a new spool file for the document in `dir`; a name already
    // taken is followed by one with a later time stamp. 0 or an FT_S_ code.
    uint32_t Create(const std::string &dir, Doc d, bool tmp);
    // Creates the file of exactly this name. 0 or an FT_S_ code (errno
    // tells why).
    uint32_t CreateNamed(const std::string &name);
    int Fd() const { return fd_; }
    const std::string &Name() const { return name_; }
    // Writes all of `n` bytes, retrying interrupted writes and waiting out
    // would-block ones (WriteWait, for the socket time-out).
    uint32_t WriteAll(const void *data, size_t n);
    uint64_t Written() const { return written_; }
    // Closes the file and, for a ".tmp" name, renames it to the name
    // without ".tmp" (never replacing a file). Then the file is kept.
    uint32_t Finish(Doc d);
    // Closes and removes the file now.
    void Discard();

  private:
    int fd_ = -1;
    std::string name_;
    uint64_t written_ = 0;
    bool keep_ = false;
};

// Copies a name into a result's fixed field; false when it does not fit.
bool PutName(char *field, size_t size, const std::string &name);

// Finishes a received spool file and reports it in `result`: its name,
// `size` bytes and no listening socket. 0 or an FT_S_ code; the file is
// removed when its name does not fit.
uint32_t Publish(SpoolFile &out, Doc d, uint64_t size, FT_Result *result);

// ---------------------------------------------------------------------------
// Descriptors.

// Closes an open descriptor and marks it closed.
void CloseFd(int &fd);

// Closes a descriptor (when open) at the end of a scope.
struct FdGuard {
    int fd = -1;
    FdGuard() = default;
    explicit FdGuard(int f) : fd(f) {}
    FdGuard(const FdGuard &) = delete;
    FdGuard &operator=(const FdGuard &) = delete;
    ~FdGuard() { CloseFd(fd); }
};

// Opens a regular file for reading, retrying interruptions. Anything else
// is refused without blocking: a directory with errno EISDIR, a device,
// FIFO or socket with errno ENXIO. The (blocking) descriptor or -1.
int OpenRead(const char *path);
// Whether an errno of open_read means the path names no regular file.
inline bool NotRegular(int err) { return err == EISDIR || err == ENXIO; }
// Opens a document for reading with open_read into `fd`; a missing,
// unreadable or irregular file fails the transfer. 0 or an FT_S_ code.
uint32_t OpenDocument(Doc d, const char *fn, const std::string &path, int &fd);
// One read, retrying interruptions. As read(2).
long ReadSome(int fd, void *data, size_t n);

// The waits of one write loop on a descriptor that may be non-blocking.
// After a write that would have blocked, wait() polls until the descriptor
// takes bytes again; it fails once the descriptor has taken nothing for
// the whole time-out (counted from the last write that took bytes, which
// the loop reports with progress()). A descriptor that claims room at once
// but keeps refusing (a file) is paused between attempts, never spun on.
class WriteWait {
  public:
    explicit WriteWait(long timeout_ms) : timeout_ms_(timeout_ms) {}
    // True when the descriptor may take bytes now; false with errno
    // ETIMEDOUT, or poll's error.
    bool Wait(int fd);
    void Progress() { stalled_ = false; }

  private:
    long timeout_ms_;
    bool stalled_ = false;
    std::chrono::steady_clock::time_point deadline_{};
};

// Sends all of `n` bytes, retrying interruptions and waiting out
// would-block sends for the socket time-out (accept_timeout_ms); `sent`
// grows by what went out. False on failure (errno tells why).
bool SendAll(int sock, const void *data, size_t n, uint64_t &sent);

// ---------------------------------------------------------------------------
// Sockets.

// Prepares a listening TCP socket on any local address and an ephemeral
// port (backlog 5). Returns the socket or -1; `port` receives the port.
int ListenAny(uint16_t &port);
// Waits up to `timeout_ms` for a connection, retrying interruptions.
// Returns the connected socket, -1 with errno ETIMEDOUT on time-out, or -1.
int AcceptWithin(int listener, long timeout_ms);
// Receives until end of stream into `out`. FT_S_FAILED when no data came,
// or the connection failed.
uint32_t ReceiveToFile(int sock, SpoolFile &out, Doc d);
// Connects to the address with up to five attempts. The socket or -1.
int ConnectRetrying(const FT_SocketAddress &addr, Doc d);
// Whether a receive error means the connection is gone.
bool ConnectionGone(int err);
// Sends all of an open file to a connected socket; `sent` counts bytes.
uint32_t SendFile(int sock, int fd, Doc d, uint64_t &sent);

// ---------------------------------------------------------------------------
// FTP.

// One reply of an FTP server: a three-digit code and its text lines.
struct FtpReply {
    int code = 0;
    std::string text;
};

// Splits the control connection's bytes into replies. A reply is one line
// "ddd text", or a first line "ddd-text", any lines, and a last line
// "ddd text" with the same code. Lines end in LF (a CR before it is
// dropped). Bad syntax or an overlong reply makes the reader fail.
class FtpReplyReader {
  public:
    static constexpr size_t kMaxReply = 64 * 1024;
    // Feeds bytes; complete replies become available through next().
    void Feed(const char *data, size_t n);
    // Takes the next complete reply; false when none is complete yet.
    bool Next(FtpReply &out);
    bool Failed() const { return failed_; }

  private:
    void Line(std::string_view l);
    std::string partial_;
    std::vector<FtpReply> ready_;
    FtpReply current_;
    bool in_multi_ = false;
    bool failed_ = false;
    size_t taken_ = 0;
};

// Splits "[ftp://]host[:port]/path". False for a bad source (no host or
// path, a bad port, or CR, LF or NUL anywhere).
bool ParseFtpSource(std::string_view src, std::string &host, uint16_t &port, std::string &path);

uint32_t FtpRetrieve(Doc d, const std::string &host, uint16_t port, const std::string &path,
                     const std::string &dir, FT_Result *result);

// ---------------------------------------------------------------------------
// File references.

// The native path of a portable path given as counted bytes; false for an
// empty path, one holding NUL, or one that cannot be converted.
bool NativePath(const unsigned char *bytes, size_t n, std::string &out);
uint32_t CopyReference(Doc d, const std::string &path, const std::string &dir, FT_Result *result);

} // namespace vrcore::transfer
