// Internal interface of the logging module: the pieces the message builder,
// the destinations and the tests share.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <ctime>

#include "system/seam.h"
#include "vrcore/log.h"
#include "vrcore/vrtypes.h"

namespace vrcore::log {

// Index i (1..32) is the letter of severity i; index 0 is never used.
inline constexpr char kSeverityLetters[] = " EWADXIFMSabcdefghijklmnopqrstuvx";
inline constexpr int kMaxSeverity = 32;
inline constexpr int kMaxTextChunk = 2048;
inline constexpr size_t kChunkText = 1024;
inline constexpr size_t kMaxPath = 4096;
inline constexpr int kIdentityMax = 16;

// Severity letters to a mask: bit (s-1) for severity s; unknown letters are
// ignored, NULL or "" give 0.
uint32_t ParseSeverities(const char *letters);
inline bool InMask(uint32_t mask, int severity) {
    return severity >= 1 && severity <= kMaxSeverity && ((mask >> (severity - 1)) & 1u) != 0;
}

// The source-location field "%10s:%-4d " of a file name (directories
// dropped), long names shortened to their first 3 characters, '~' and their
// last 6; no name gives 15 blanks.
// `out` must hold 32 bytes; returns the length written.
size_t FormatLocation(char *out, const char *file, int line);

// The system-log priority of a severity.
int SyslogPriority(int severity);

// The time stamp of a log file name without its milliseconds:
// "MMDD-HHMMSS" in local time. The whole stamp adds "-mmm".
void FormatStamp(char out[12], time_t when);
// Whether `s` is exactly a whole stamp "MMDD-HHMMSS-mmm".
bool MatchesStamp(const char *s);
// Whether the file with stamp `a` and modification time `ta` is older than
// the one with `b` and `tb`.
bool OlderLog(time_t ta, const char *a, time_t tb, const char *b);
// Deletes the oldest files of the family of `base_path` (names: the base
// file name, one separator character, a stamp) so that at most `keep`
// remain; `current` (a full path, may be empty) is never deleted.
void TrimLogs(const char *base_path, int keep, const char *current);

// The wall clock (replaceable by tests).
void Now(struct timespec *ts);

// Per-thread message state: a chain of text chunks.
struct Chunk {
    Chunk *next;
    size_t used;
    char text[kChunkText];
};
struct ThreadState {
    Chunk first;
    Chunk *cur;
    int severity; // 0: no message open
    int tid;
    bool line_start;   // a newline was the last byte
    bool stamped;      // the line starts with the wall clock
    bool failed;       // a chunk could not be allocated: drop the message
    size_t length;     // bytes in the chain
    size_t prefix_len; // "%c %-5d "
    size_t text_col;   // column where message text begins
    // " %-5d " of tid, made with the state: every line of the thread's
    // messages starts with its severity letter and this.
    char tid_field[16];
    size_t tid_len;
    // The wall clock's second last written by this thread, as "%c" shows
    // it (-1: none yet).
    time_t stamp_second;
    size_t stamp_len;
    char stamp[128];
    // The memory of this state and its chunks: the allocator in use when
    // the state was made.
    const vrcore::system::seam::Allocator *from;
    void *Alloc(size_t n) const { return from->alloc(vrcore::system::seam::Module::Log, n); }
    void Release(void *p) const { from->release(vrcore::system::seam::Module::Log, p); }
};

// Frees a thread's message state (the thread-specific slot's destructor).
void FreeState(void *state);
// Writes one finished message (the chunk chain) to the destination. Takes
// the log mutex.
void Output(const ThreadState &st);
// True while the destination is the system log.
bool SyslogMode();
// Runs the once-only start-up and a pending first initialisation; false
// when the module cannot work.
bool EnsureInit();

// Process-wide settings read on every message.
bool Enabled();
uint32_t SeverityMask();
uint32_t StampMask();
bool UseOnce();
// Seconds since the (advancing) day base, for the elapsed-time column.
long ElapsedSeconds(const struct timespec &now);

// What the module needs from the platform: one recursive log mutex, one
// thread-specific slot with a destructor, the formatter and the catalog.
namespace sys {
bool Start(void (*destructor)(void *)); // once per process
void Lock();
void Unlock();
bool GetState(ThreadState **out);
bool SetState(ThreadState *st);
int ThreadId();
// Formats into buf (always NUL-terminated when size > 0); returns the
// length the whole text needs, or a negative value for a bad format.
int VFormat(char *buf, size_t size, const char *format, va_list ap);
// Catalog text of user message `number`; false when there is none.
bool UserText(int number, char *buf, size_t size);
} // namespace sys

struct LockGuard {
    LockGuard() { sys::Lock(); }
    ~LockGuard() { sys::Unlock(); }
    LockGuard(const LockGuard &) = delete;
    LockGuard &operator=(const LockGuard &) = delete;
};

} // namespace vrcore::log

// Test seams. A null argument restores the default.
extern "C" {
void _LOG__SetClock(void (*clock)(struct timespec *now));
// Receives every system-log message: the priority and the whole text
// (identity prefix included) instead of syslog(3).
void _SL__SetSink(void (*sink)(int priority, const char *text));
}
