// What every transfer source shares: the timing hooks, the allocation of
// transfer buffers, and tracing.

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <vrcore/log.h>

#include "system/seam.h"
#include "transfer/ft_internal.h"

namespace vrcore::transfer {

// ---------------------------------------------------------------------------
// Timing hooks.

namespace {
struct Hook {
    std::atomic<PauseHook> fn{nullptr};
    std::atomic<void *> ctx{nullptr};
};
Hook g_connect_pause, g_rename_pause;
std::atomic<long> g_accept_ms{-1}, g_ftp_ms{-1};
constexpr long kAcceptDefaultMs = 600L * 1000;
constexpr long kFtpDefaultMs = 120L * 1000;

void Pause(Hook &h, int attempt) {
    PauseHook fn = h.fn.load();
    if (fn)
        fn(attempt, h.ctx.load());
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
}
} // namespace

void SetConnectPause(PauseHook hook, void *ctx) {
    g_connect_pause.ctx = ctx;
    g_connect_pause.fn = hook;
}
void SetRenamePause(PauseHook hook, void *ctx) {
    g_rename_pause.ctx = ctx;
    g_rename_pause.fn = hook;
}
void SetAcceptTimeoutMs(long ms) { g_accept_ms = ms; }
void SetFtpTimeoutMs(long ms) { g_ftp_ms = ms; }
long AcceptTimeoutMs() {
    long v = g_accept_ms.load();
    return v < 0 ? kAcceptDefaultMs : v;
}
long FtpTimeoutMs() {
    long v = g_ftp_ms.load();
    return v < 0 ? kFtpDefaultMs : v;
}
void *Allocate(size_t n) { return system::seam::Alloc(system::seam::Module::Transfer, n); }
void Release(void *p) { system::seam::Release(system::seam::Module::Transfer, p); }

void ConnectPause(int attempt) { Pause(g_connect_pause, attempt); }
void RenamePause(int attempt) { Pause(g_rename_pause, attempt); }

// ---------------------------------------------------------------------------
// Tracing.

Doc DocOf(const GEN_DocumentIdentifier *id) {
    if (!id) return {"", 0};
    return {id->job.value, id->document_number ? static_cast<int>(*id->document_number) : 0};
}

void Trace(int severity, const char *file, int line, Doc d, const char *fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    // The identifier may be unterminated in a hostile structure: at most
    // its 256 bytes are shown.
    LOG_CondMessage(severity, file, line, "jobId = %.256s, docNum = %d: %s", d.job, d.num, text);
}

} // namespace vrcore::transfer
