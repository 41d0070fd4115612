// The system-log companion: messages prefixed with the program's identity
// go to syslog(3), filtered by a mask of levels.
#include <syslog.h>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <mutex>

#include "system/guard.h"
#include "system/log_internal.h"

namespace {

std::mutex g_mutex;
bool g_open = false;
char g_identity[64] = "";
char g_prefix[66] = ""; // identity and ": "
size_t g_prefix_len = 0;
int g_mask = 0xff;
std::atomic<void (*)(int, const char *)> g_sink{nullptr};

constexpr size_t kMaxText = 1024; // prefix and message, with the NUL

} // namespace

extern "C" {

void _SL__SetSink(void (*sink)(int priority, const char *text)) { g_sink = sink; }

VR_EXPORT void SL_openlog(const char *identity, int option, int facility) try {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (g_open) return;
    size_t n = identity ? strnlen(identity, sizeof g_identity - 1) : 0;
    std::memcpy(g_identity, identity ? identity : "", n);
    g_identity[n] = '\0';
    if (n > 0) {
        std::memcpy(g_prefix, g_identity, n);
        std::memcpy(g_prefix + n, ": ", 3);
        g_prefix_len = n + 2;
    } else {
        g_prefix[0] = '\0';
        g_prefix_len = 0;
    }
    // syslog(3) writes the identity itself.
    openlog(n > 0 ? g_identity : nullptr, option, facility);
    g_open = true;
}
VR_CATCH_VOID

VR_EXPORT void SL_syslog(int priority, const char *format, ...) try {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (!(g_mask & (1 << (priority & 7))) || format == nullptr) return;
    char text[kMaxText];
    std::memcpy(text, g_prefix, g_prefix_len + 1);
    va_list ap;
    va_start(ap, format);
    int n = vrcore::log::sys::VFormat(text + g_prefix_len, sizeof text - g_prefix_len, format, ap);
    va_end(ap);
    if (n < 0) return;
    if (auto sink = g_sink.load())
        sink(priority, text);
    else
        syslog(priority, "%s", text + g_prefix_len);
}
VR_CATCH_VOID

VR_EXPORT void SL_closelog(void) try {
    std::lock_guard<std::mutex> guard(g_mutex);
    if (!g_open) return;
    closelog();
    g_open = false;
    g_prefix[0] = '\0';
    g_prefix_len = 0;
}
VR_CATCH_VOID

VR_EXPORT int SL_setlogmask(int mask) try {
    std::lock_guard<std::mutex> guard(g_mutex);
    int prev = g_mask;
    if (mask != 0) g_mask = mask;
    return prev;
}
VR_CATCH_RETURN(0)

} // extern "C"
