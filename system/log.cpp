// Logging settings, initialisation from the environment, and the
// destination: standard output or error, the system log, or a family of
// rotating log files.
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "system/guard.h"
#include "system/fileio.h"
#include "system/log_internal.h"

namespace vrcore::log {
namespace {

constexpr int kSyslogFacility = 6 << 3; // printing subsystem

enum class Dest { None, Stdout, Stderr, Syslog, File };

// Read on every message; written by the settings functions.
std::atomic<bool> g_enabled{true};
std::atomic<uint32_t> g_mask{0x103};       // E, W, S
std::atomic<uint32_t> g_stamp_mask{0x10F}; // E, W, A, D, S
std::atomic<int> g_max_size{0};
std::atomic<int> g_max_logs{0};
std::atomic<bool> g_use_once{false};
std::atomic<long> g_day_base{0};
std::atomic<bool> g_first_pending{true};
std::atomic<bool> g_syslog_mode{false};
std::atomic<void (*)(struct timespec *)> g_clock{nullptr};

// The destination, under the log mutex.
struct Destination {
    Dest kind = Dest::None;
    char base[kMaxPath] = "";      // the address as set
    char file[kMaxPath + 32] = ""; // the log file being written
    long long name_ms = -1;        // the time in the newest file name, in ms
    int fd = -1;
    long long bytes = 0; // written to the current file
    bool syslog_opened = false;
    char identity[kIdentityMax + 1] = "tsl";
    int option = 0;
    int facility = kSyslogFacility;
};
Destination g_dest;

// Environment overrides, read at the first initialisation, under the mutex.
struct Overrides {
    bool path_set = false;
    char path[kMaxPath] = "";
    bool mask_set = false;
    uint32_t mask = 0;
    bool size_set = false;
    int size = 0;
    bool logs_set = false;
    int logs = 0;
    int enabled = -1; // -1 absent, else 0 or 1
};
Overrides g_env;

const char *Env(const char *name) {
    const char *v = std::getenv(name);
    return v && *v ? v : nullptr;
}

bool ParseCount(const char *s, int *out) {
    if (!s) return false;
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(s, &end, 10);
    if (end == s || *end != '\0' || v < 0) return false;
    *out = v > INT_MAX || errno == ERANGE ? INT_MAX : static_cast<int>(v);
    return true;
}

void CloseDestLocked() {
    if (g_dest.fd >= 0) close(g_dest.fd);
    g_dest.fd = -1;
    g_dest.bytes = 0;
    g_dest.kind = Dest::None;
    g_syslog_mode = false;
}

// The current file name from the base address and the name's time.
void FormatFileNameLocked() {
    char stamp[12];
    FormatStamp(stamp, static_cast<time_t>(g_dest.name_ms / 1000));
    std::snprintf(g_dest.file, sizeof g_dest.file, "%s.%s-%03d", g_dest.base, stamp,
                  static_cast<int>(g_dest.name_ms % 1000));
}

void SetAddressLocked(const char *address) {
    if (g_env.path_set) address = g_env.path;
    if (address == nullptr || *address == '\0') return;
    size_t n = std::strlen(address);
    if (n >= kMaxPath) return; // no file can have that name
    if (std::strcmp(address, g_dest.base) == 0 && g_dest.bytes > 0) return;
    char addr[kMaxPath];
    std::memcpy(addr, address, n + 1);
    CloseDestLocked();
    std::memcpy(g_dest.base, addr, n + 1);
    if (std::strcmp(addr, "stdout") == 0) {
        g_dest.kind = Dest::Stdout;
    } else if (std::strcmp(addr, "stderr") == 0) {
        g_dest.kind = Dest::Stderr;
    } else if (std::strcmp(addr, "syslog") == 0) {
        if (g_dest.syslog_opened) SL_closelog(); // identity, option or facility may differ
        SL_openlog(g_dest.identity, g_dest.option, g_dest.facility);
        g_dest.syslog_opened = true;
        g_dest.kind = Dest::Syslog;
        g_syslog_mode = true;
    } else {
        struct timespec now;
        Now(&now);
        // Names follow each other even when files are begun faster than
        // the clock's milliseconds advance; a clock set back by more than a
        // minute is taken as it is.
        long long ms = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
        if (ms <= g_dest.name_ms && g_dest.name_ms - ms < 60000) ms = g_dest.name_ms + 1;
        g_dest.name_ms = ms;
        g_dest.kind = Dest::File;
        FormatFileNameLocked();
    }
}

// Creates the current log file. A file of that name already there (two
// files begun within one millisecond, or left by an earlier run) is never
// overwritten: the next free millisecond is taken instead.
bool OpenFileLocked() {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        int fd = open(g_dest.file, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            g_dest.fd = fd;
            g_dest.bytes = 0;
            return true;
        }
        if (errno == EINTR) continue;
        if (errno != EEXIST) return false;
        ++g_dest.name_ms;
        FormatFileNameLocked();
    }
    return false;
}

void WriteFileLocked(const ThreadState &st) {
    int max_size = g_max_size.load();
    if (max_size > 0 && g_dest.bytes > 0 &&
        g_dest.bytes + static_cast<long long>(st.length) > max_size) {
        char base[kMaxPath];
        std::strcpy(base, g_dest.base);
        CloseDestLocked();
        SetAddressLocked(base);
        if (g_dest.kind != Dest::File) return;
    }
    if (g_dest.fd < 0) {
        if (!OpenFileLocked()) return; // dropped; the next message tries again
        TrimLogs(g_dest.base, g_max_logs.load(), g_dest.file);
    }
    for (const Chunk *c = &st.first; c != nullptr; c = c->next) {
        // Log files stay on the real file system whatever table tests use.
        if (vrcore::system::fileio::WriteAll(g_dest.fd, c->text, c->used,
                                             vrcore::system::seam::SystemIo()) != 0) {
            // Leave no partial message behind (the disk may be full).
            if (ftruncate(g_dest.fd, g_dest.bytes) == 0) lseek(g_dest.fd, g_dest.bytes, SEEK_SET);
            return;
        }
        if (c == st.cur) break;
    }
    g_dest.bytes += static_cast<long long>(st.length);
}

void WriteStreamLocked(FILE *f, const ThreadState &st) {
    for (const Chunk *c = &st.first; c != nullptr; c = c->next) {
        std::fwrite(c->text, 1, c->used, f);
        if (c == st.cur) break;
    }
    std::fflush(f);
}

void WriteSyslogLocked(const ThreadState &st) {
    // The system log takes one line of at most 1024 bytes: line ends become
    // plain newlines and the final one is dropped.
    char text[1024];
    size_t n = 0;
    for (const Chunk *c = &st.first; c != nullptr && n < sizeof text - 1; c = c->next) {
        for (size_t i = 0; i < c->used && n < sizeof text - 1; ++i)
            if (c->text[i] != '\r') text[n++] = c->text[i];
        if (c == st.cur) break;
    }
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) --n;
    text[n] = '\0';
    SL_syslog(SyslogPriority(st.severity), "%s", text);
}

void LogSetting(int line, const char *format, ...) LOG_PRINTF_LIKE(2, 3);
void LogSetting(int line, const char *format, ...) {
    if (!Enabled() || !InMask(SeverityMask(), 6)) return;
    char text[160];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    if (LOG_StartMessage(6, "log.cpp", line, nullptr)) {
        LOG_AddText(text);
        LOG_EndMessage();
    }
}

void FirstInitLocked(const char *address, const char *severities) {
    struct timespec now;
    Now(&now);
    g_day_base = now.tv_sec - now.tv_sec % 86400;

    g_env = Overrides{};
    g_env.size_set = ParseCount(Env("LOG_SIZE"), &g_env.size);
    g_env.logs_set = ParseCount(Env("LOG_MAX_LOGS"), &g_env.logs);
    const char *path = Env("LOG_FILE_PATH");
    const char *sev = Env("LOG_SEVERITY");
    if (const char *en = Env("LOG_ENABLED")) {
        if (!std::strcmp(en, "true") || !std::strcmp(en, "yes")) g_env.enabled = 1;
        if (!std::strcmp(en, "false") || !std::strcmp(en, "no")) g_env.enabled = 0;
    }
    if (Env("ODP_TRACE")) {
        if (!path) path = "stdout";
        if (!sev) sev = "EWADSIX";
    }
    if (path && std::strlen(path) < kMaxPath) {
        g_env.path_set = true;
        std::strcpy(g_env.path, path);
    }
    if (sev) {
        g_env.mask_set = true;
        g_env.mask = ParseSeverities(sev);
    }
    if (g_env.enabled >= 0) g_enabled = g_env.enabled == 1;

    if (address == nullptr || *address == '\0' || g_env.path_set)
        SetAddressLocked(g_env.path_set ? g_env.path : "stdout");
    bool caller_sev = severities != nullptr && *severities != '\0';
    if (g_env.mask_set)
        g_mask = g_env.mask;
    else if (!caller_sev)
        g_mask = ParseSeverities("EWS");
    g_first_pending = false;
}

} // namespace

uint32_t ParseSeverities(const char *letters) {
    uint32_t mask = 0;
    for (const char *p = letters; p && *p; ++p) {
        const char *hit = *p == ' ' ? nullptr : std::strchr(kSeverityLetters + 1, *p);
        if (hit) mask |= 1u << (hit - kSeverityLetters - 1);
    }
    return mask;
}

int SyslogPriority(int severity) {
    switch (severity) {
    case 1: return kSyslogFacility | 3;
    case 2: return kSyslogFacility | 4;
    case 3:
    case 4: return kSyslogFacility | 6;
    default: return kSyslogFacility | 7;
    }
}

void Now(struct timespec *ts) {
    if (auto clock = g_clock.load()) {
        clock(ts);
        return;
    }
    clock_gettime(CLOCK_REALTIME, ts);
}

bool Enabled() { return g_enabled.load(std::memory_order_relaxed); }
uint32_t SeverityMask() { return g_mask.load(std::memory_order_relaxed); }
uint32_t StampMask() { return g_stamp_mask.load(std::memory_order_relaxed); }
bool UseOnce() { return g_use_once.load(std::memory_order_relaxed); }
bool SyslogMode() { return g_syslog_mode.load(std::memory_order_relaxed); }
bool EnsureInit() {
    if (!sys::Start(FreeState)) {
        std::fputs("LOG_StartMessage: THR_Once failed\n", stderr);
        return false;
    }
    if (g_first_pending.load()) LOG_Init(nullptr, nullptr);
    return true;
}

long ElapsedSeconds(const struct timespec &now) {
    long base = g_day_base.load(std::memory_order_relaxed);
    long elapsed = now.tv_sec - base;
    if (elapsed > 86400 || elapsed < 0) {
        long rebased =
            elapsed < 0 ? now.tv_sec - now.tv_sec % 86400 : base + elapsed / 86400 * 86400;
        g_day_base.compare_exchange_strong(base, rebased);
        elapsed = now.tv_sec - rebased;
    }
    return elapsed;
}

void Output(const ThreadState &st) {
    LockGuard guard;
    switch (g_dest.kind) {
    case Dest::File: WriteFileLocked(st); break;
    case Dest::Stdout: WriteStreamLocked(stdout, st); break;
    case Dest::Stderr: WriteStreamLocked(stderr, st); break;
    case Dest::Syslog: WriteSyslogLocked(st); break;
    case Dest::None: break;
    }
}

} // namespace vrcore::log

using namespace vrcore::log;

extern "C" {

void _LOG__SetClock(void (*clock)(struct timespec *)) { g_clock = clock; }

VR_EXPORT int LOG_Init(const char *address, const char *severities) try {
    LockGuard guard;
    if (g_first_pending) FirstInitLocked(address, severities);
    bool no_address = address == nullptr || *address == '\0';
    bool no_severities = severities == nullptr || *severities == '\0';
    if (no_address && no_severities) return 0;
    SetAddressLocked(address);
    if (g_env.mask_set)
        g_mask = g_env.mask;
    else if (severities != nullptr)
        g_mask = ParseSeverities(severities);
    g_enabled = g_env.enabled >= 0 ? g_env.enabled == 1 : true;
    g_max_size = g_env.size_set ? g_env.size : 0;
    g_max_logs = g_env.logs_set ? g_env.logs : 0;
    return 0;
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_Term(void) try {
    LockGuard guard;
    CloseDestLocked();
    g_dest.base[0] = '\0';
    g_dest.file[0] = '\0';
    g_dest.name_ms = -1;
    if (g_dest.syslog_opened) {
        SL_closelog();
        g_dest.syslog_opened = false;
    }
    g_env = Overrides{};
    g_first_pending = true;
    return 0;
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_Syslog(const char *severities, const char *identity, int option,
                         int facility) try {
    {
        LockGuard guard;
        if (identity != nullptr) {
            size_t n = strnlen(identity, kIdentityMax);
            std::memcpy(g_dest.identity, identity, n);
            g_dest.identity[n] = '\0';
        }
        g_dest.option = option;
        g_dest.facility = facility;
    }
    return LOG_Init("syslog", severities);
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_SetEnabled(int flag) try {
    EnsureInit();
    bool now;
    {
        LockGuard guard;
        now = g_env.enabled >= 0 ? g_env.enabled == 1 : flag != 0;
    }
    bool prev = g_enabled;
    if (!now) LogSetting(__LINE__, "LOG_SetEnabled: logging is %sabled\n", "dis");
    g_enabled = now;
    if (now) LogSetting(__LINE__, "LOG_SetEnabled: logging is %sabled\n", "en");
    return prev ? 1 : 0;
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_SetLogSize(int bytes) try {
    EnsureInit();
    int now;
    {
        LockGuard guard;
        now = g_env.size_set ? g_env.size : std::max(bytes, 0);
    }
    int prev = g_max_size.exchange(now);
    if (now > 0)
        LogSetting(__LINE__, "LOG_SetLogSize: size = %d\nLOG_SetLogSize: was = %d\n", now, prev);
    else
        LogSetting(__LINE__, "LOG_SetLogSize: size = unlimited\nLOG_SetLogSize: was = %d\n", prev);
    return prev;
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_SetMaxNoOfLogs(int count) try {
    EnsureInit();
    int now, prev;
    {
        LockGuard guard;
        now = g_env.logs_set ? g_env.logs : std::max(count, 0);
        prev = g_max_logs.exchange(now);
        if (now > 0 && (prev == 0 || now < prev) && g_dest.kind == Dest::File && g_dest.fd >= 0)
            TrimLogs(g_dest.base, now, g_dest.file);
    }
    if (now > 0)
        LogSetting(__LINE__, "LOG_SetMaxNoOfLogs: %d logs\n", now);
    else
        LogSetting(__LINE__, "LOG_SetMaxNoOfLogs: no = unlimited\n");
    return prev;
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_SetUseOnce(int flag) try {
    EnsureInit();
    bool prev = g_use_once.exchange(flag != 0);
    LogSetting(__LINE__, "LOG_SetUseOnce: to %s\n", flag ? "true" : "false");
    return prev ? 1 : 0;
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_GetMaxTextChunk(void) try { return kMaxTextChunk; }
VR_CATCH_RETURN(0)

} // extern "C"
