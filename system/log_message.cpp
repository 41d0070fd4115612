// Building messages per thread: the line prefix, the source location or
// wall clock, continuation lines aligned under the text, and the LOG_Cond
// entry points the rest of the library calls.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "system/guard.h"
#include "system/log_internal.h"
#include "system/trace.h"

namespace vrcore::log {
namespace {

// Chunks kept for the next message beyond the first; longer chains are
// given back.
constexpr int kKeptChunks = 8;

// Writes v right-aligned (width > 0) or left-aligned (width < 0) in |width|
// columns, or as is when it is wider.
size_t PutInt(char *out, long v, int width, char pad = ' ') {
    char digits[24];
    char *end = digits + sizeof digits, *d = end;
    unsigned long u = v < 0 ? 0ul - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
    do {
        *--d = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (v < 0) *--d = '-';
    size_t n = static_cast<size_t>(end - d);
    size_t w = static_cast<size_t>(width < 0 ? -width : width);
    size_t fill = w > n ? w - n : 0;
    char *p = out;
    if (width > 0) {
        std::memset(p, pad, fill);
        p += fill;
    }
    std::memcpy(p, d, n);
    p += n;
    if (width < 0) {
        std::memset(p, ' ', fill);
        p += fill;
    }
    return static_cast<size_t>(p - out);
}

// The "%c %-5d " line prefix.
size_t Prefix(char *out, const ThreadState &st) {
    out[0] = kSeverityLetters[st.severity];
    std::memcpy(out + 1, st.tid_field, st.tid_len);
    return 1 + st.tid_len;
}

// "00" to "99", two characters each.
constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "7475767778798081828384858687888990919293949596979899";

// The elapsed-time column "%5ld.%06ld" for seconds below 100000, each
// digit written in its place; other values through PutInt.
size_t PutElapsed(char *out, long seconds, long micros) {
    if (seconds < 0 || seconds > 99999 || micros < 0 || micros > 999999) {
        size_t n = PutInt(out, seconds, 5);
        out[n++] = '.';
        return n + PutInt(out + n, micros, 6, '0');
    }
    std::memcpy(out, "    0.", 6);
    for (char *d = out + 4; seconds != 0; seconds /= 10)
        *d-- = static_cast<char>('0' + seconds % 10);
    auto us = static_cast<unsigned>(micros);
    std::memcpy(out + 6, kPairs + 2 * (us / 10000), 2);
    std::memcpy(out + 8, kPairs + 2 * (us / 100 % 100), 2);
    std::memcpy(out + 10, kPairs + 2 * (us % 100), 2);
    return 12;
}

void Raw(ThreadState &st, const char *p, size_t n) {
    while (n > 0 && !st.failed) {
        Chunk *c = st.cur;
        if (c->used == kChunkText) {
            Chunk *next = c->next;
            if (next == nullptr) {
                next = static_cast<Chunk *>(st.Alloc(sizeof(Chunk)));
                if (next == nullptr) {
                    st.failed = true;
                    return;
                }
                next->next = nullptr;
                c->next = next;
            }
            next->used = 0;
            st.cur = c = next;
        }
        size_t k = std::min(kChunkText - c->used, n);
        std::memcpy(c->text + c->used, p, k);
        c->used += k;
        st.length += k;
        p += k;
        n -= k;
    }
}

// Header fields come from callers: keep them on one line.
void RawField(ThreadState &st, const char *p) {
    for (const char *q = p; *q; ++q) {
        if (*q == '\n' || *q == '\r') {
            Raw(st, p, static_cast<size_t>(q - p));
            Raw(st, " ", 1);
            p = q + 1;
        }
    }
    Raw(st, p, std::strlen(p));
}

void Continuation(ThreadState &st) {
    char buf[64];
    size_t n = Prefix(buf, st);
    Raw(st, buf, n);
    size_t blanks = st.text_col > st.prefix_len + 3 ? st.text_col - st.prefix_len - 3 : 0;
    static const char kBlanks[] = "                                ";
    while (blanks > 0) {
        size_t k = std::min(blanks, sizeof kBlanks - 1);
        Raw(st, kBlanks, k);
        blanks -= k;
    }
    Raw(st, " | ", 3);
}

void Text(ThreadState &st, const char *p, size_t n) {
    while (n > 0) {
        if (st.line_start) {
            Continuation(st);
            st.line_start = false;
        }
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', n));
        size_t k = nl ? static_cast<size_t>(nl - p) : n;
        Raw(st, p, k);
        if (nl == nullptr) break;
        Raw(st, "\r\n", 2);
        st.line_start = true;
        p += k + 1;
        n -= k + 1;
    }
}

void AddFormatted(ThreadState &st, const char *format, va_list ap) {
    if (format == nullptr) return;
    char buf[kMaxTextChunk];
    va_list aq;
    va_copy(aq, ap);
    int n = sys::VFormat(buf, sizeof buf, format, aq);
    va_end(aq);
    if (n < 0) {
        Text(st, format, std::strlen(format)); // not a valid format: show it as it is
        return;
    }
    if (static_cast<size_t>(n) < sizeof buf) {
        Text(st, buf, static_cast<size_t>(n));
        return;
    }
    char *big = static_cast<char *>(st.Alloc(static_cast<size_t>(n) + 1));
    if (big == nullptr) {
        st.failed = true;
        return;
    }
    va_copy(aq, ap);
    sys::VFormat(big, static_cast<size_t>(n) + 1, format, aq);
    va_end(aq);
    Text(st, big, static_cast<size_t>(n));
    st.Release(big);
}

void Reset(ThreadState &st) {
    st.severity = 0;
    st.cur = &st.first;
    st.first.used = 0;
    st.length = 0;
    st.failed = false;
    st.line_start = false;
    Chunk *c = &st.first;
    for (int i = 0; i < kKeptChunks && c->next != nullptr; ++i) c = c->next;
    Chunk *rest = c->next;
    c->next = nullptr;
    while (rest != nullptr) {
        Chunk *next = rest->next;
        st.Release(rest);
        rest = next;
    }
}

void Begin(ThreadState &st, int severity, const char *file, int line, const char *user) {
    Reset(st);
    st.severity = severity;
    st.stamped = InMask(StampMask(), severity);
    // The header goes straight into the first chunk, which Reset emptied.
    char *buf = st.first.text;
    size_t n = Prefix(buf, st);
    st.prefix_len = n;
    bool syslog = SyslogMode();
    struct timespec now;
    Now(&now);
    if (st.stamped) {
        if (!syslog) {
            if (now.tv_sec != st.stamp_second) {
                struct tm tm {};
                localtime_r(&now.tv_sec, &tm);
                st.stamp_len = std::strftime(st.stamp, sizeof st.stamp - n, "%c", &tm);
                st.stamp_second = now.tv_sec;
            }
            std::memcpy(buf + n, st.stamp, st.stamp_len);
            n += st.stamp_len;
        }
        st.first.used = st.length = n;
        if (user != nullptr && *user != '\0') {
            Raw(st, syslog ? "User=" : ", User=", syslog ? 5 : 7);
            RawField(st, user);
        }
        Raw(st, " | ", 3);
    } else {
        n += FormatLocation(buf + n, file, line);
        if (!syslog) n += PutElapsed(buf + n, ElapsedSeconds(now), now.tv_nsec / 1000);
        std::memcpy(buf + n, " | ", 3);
        st.first.used = st.length = n + 3;
    }
    st.text_col = st.length;
}

ThreadState *NewState() {
    const vrcore::system::seam::Allocator &from = vrcore::system::seam::CurrentAllocator();
    auto *st = static_cast<ThreadState *>(
        from.alloc(vrcore::system::seam::Module::Log, sizeof(ThreadState)));
    if (st == nullptr) return nullptr;
    std::memset(static_cast<void *>(st), 0, sizeof *st);
    st->cur = &st->first;
    st->from = &from;
    st->tid = sys::ThreadId();
    st->tid_field[0] = ' ';
    st->tid_len = 1 + PutInt(st->tid_field + 1, st->tid, -5);
    st->tid_field[st->tid_len++] = ' ';
    st->stamp_second = -1;
    return st;
}
// The calling thread's state; with `create`, made when missing. `who` names
// the caller in the failure texts.
bool Current(ThreadState **out, bool create, const char *who) {
    if (!sys::GetState(out)) {
        std::fprintf(stderr, "%s: THR_GetThreadKeyValue failed\n", who);
        return false;
    }
    if (*out != nullptr || !create) return true;
    ThreadState *st = NewState();
    if (st == nullptr) return false;
    if (!sys::SetState(st)) {
        std::fprintf(stderr, "%s: THR_SetThreadKeyValue failed\n", who);
        FreeState(st);
        return false;
    }
    *out = st;
    return true;
}

} // namespace

size_t FormatLocation(char *out, const char *file, int line) {
    if (file == nullptr || *file == '\0') {
        std::memset(out, ' ', 15);
        return 15;
    }
    // Callers passing a path (__FILE__) are shown by their file name: what
    // follows the last separator that is not the final character.
    const char *end = file + std::strlen(file);
    const char *name = file;
    size_t before_last = static_cast<size_t>(end - file) - 1;
    for (int sep : {'/', '\\'})
        if (auto *p = static_cast<const char *>(memrchr(file, sep, before_last)); p && p >= name)
            name = p + 1;
    size_t len = static_cast<size_t>(end - name);
    std::memset(out, ' ', 10);
    if (len >= 11) {
        std::memcpy(out, name, 3);
        out[3] = '~';
        std::memcpy(out + 4, end - 6, 6);
    } else {
        std::memcpy(out + 10 - len, name, len);
    }
    if (std::memchr(out, '\n', 10) || std::memchr(out, '\r', 10))
        for (size_t i = 0; i < 10; ++i) // keep the line whole
            if (out[i] == '\n' || out[i] == '\r') out[i] = ' ';
    out[10] = ':';
    size_t n = 11;
    if (line >= 0 && line <= 9999) {
        std::memcpy(out + n, "    ", 4);
        char *d = out + n + (line > 999) + (line > 99) + (line > 9);
        do {
            *d-- = static_cast<char>('0' + line % 10);
            line /= 10;
        } while (line != 0);
        n += 4;
    } else {
        n += PutInt(out + n, line, -4);
    }
    out[n++] = ' ';
    return n;
}

void FreeState(void *state) {
    auto *st = static_cast<ThreadState *>(state);
    if (st == nullptr) return;
    Chunk *c = st->first.next;
    while (c != nullptr) {
        Chunk *next = c->next;
        st->Release(c);
        c = next;
    }
    st->Release(st);
}

} // namespace vrcore::log

using namespace vrcore::log;

namespace {

int End(ThreadState *st);

// Opens a message of `severity` for the calling thread (ending another one
// it has open) and gives its state; null when the severity is not logged.
ThreadState *Start(int severity, const char *file, int line, const char *user) {
    if (!EnsureInit()) return nullptr;
    if (!Enabled() || !InMask(SeverityMask(), severity)) return nullptr;
    ThreadState *st;
    if (!Current(&st, true, "LOG_StartMessage")) return nullptr;
    if (st->severity == severity) return st;
    if (st->severity != 0) {
        End(st); // with use-once this frees the state
        if (!Current(&st, true, "LOG_StartMessage")) return nullptr;
    }
    Begin(*st, severity, file, line, user);
    return st;
}

// Writes the thread's open message (st: its state, with one open).
int End(ThreadState *st) {
    if (!st->line_start) Raw(*st, "\r\n", 2);
    int written = 0;
    if (!st->failed) {
        Output(*st);
        written = 1;
    }
    if (UseOnce()) {
        if (!sys::SetState(nullptr)) {
            std::fputs("LOG_EndMessage: THR_SetThreadKeyValue failed\n", stderr);
            Reset(*st);
        } else {
            FreeState(st);
        }
    } else {
        Reset(*st);
    }
    return written;
}

int VCondMessage(int severity, const char *file, int line, const char *format, va_list ap) {
    ThreadState *st = Start(severity, file, line, nullptr);
    if (st == nullptr) return 0;
    AddFormatted(*st, format, ap);
    return End(st);
}

// The modules below logging trace through system/trace.h; their lines are
// written as LOG_CondMessage writes them from the moment the library is
// loaded.
void WriteTrace(int severity, const char *file, int line, const char *format, va_list ap) {
    VCondMessage(severity, file, line, format, ap);
}

struct TraceWriterInstaller {
    TraceWriterInstaller() { vrcore::system::trace::SetWriter(WriteTrace); }
} g_trace_writer_installer;

} // namespace

extern "C" {

VR_EXPORT int LOG_StartMessage(int severity, const char *file, int line, const char *user) try {
    return Start(severity, file, line, user) != nullptr;
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_AddText(const char *text) try {
    ThreadState *st;
    if (text == nullptr || !Current(&st, false, "LOG_AddText")) return 0;
    if (st != nullptr && st->severity != 0) Text(*st, text, std::strlen(text));
    return 0;
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_EndMessage(void) try {
    ThreadState *st;
    if (!Current(&st, false, "LOG_EndMessage") || st == nullptr || st->severity == 0) return 0;
    return End(st);
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_InMessage(void) try {
    ThreadState *st;
    if (!Current(&st, false, "LOG_InMessage")) return 0;
    return st != nullptr && st->severity != 0 && InMask(SeverityMask(), st->severity);
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_CondMessage(int severity, const char *file, int line, const char *format,
                              ...) try {
    va_list ap;
    va_start(ap, format);
    int written = VCondMessage(severity, file, line, format, ap);
    va_end(ap);
    return written;
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_CondAdd(const char *format, ...) try {
    ThreadState *st;
    if (!Current(&st, false, "LOG_CondAdd") || st == nullptr || st->severity == 0 ||
        !InMask(SeverityMask(), st->severity))
        return 0;
    va_list ap;
    va_start(ap, format);
    AddFormatted(*st, format, ap);
    va_end(ap);
    return 1;
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_CondFuncTrace(const char *function, const char *file, int line, int entering,
                                const char *format, ...) try {
    ThreadState *st = Start(7, file, line, nullptr);
    if (st == nullptr) return 0;
    Text(*st, entering ? "Entering " : "Leaving ", entering ? 9 : 8);
    const char *name = function ? function : "(null)";
    Text(*st, name, std::strlen(name));
    Text(*st, " ", 1);
    va_list ap;
    va_start(ap, format);
    AddFormatted(*st, format, ap);
    va_end(ap);
    return End(st);
}
VR_CATCH_RETURN(0)

VR_EXPORT int LOG_CondUserMessage(int severity, int number, ...) try {
    if (!EnsureInit() || !Enabled() || !InMask(SeverityMask(), severity)) return 0;
    char text[kMaxTextChunk];
    if (!sys::UserText(number, text, sizeof text))
        std::snprintf(text, sizeof text, "%s", "Error retrieving message from data file");
    ThreadState *st = Start(severity, nullptr, 0, nullptr);
    if (st == nullptr) return 0;
    va_list ap;
    va_start(ap, number);
    AddFormatted(*st, text, ap);
    va_end(ap);
    return End(st);
}
VR_CATCH_RETURN(0)

} // extern "C"
