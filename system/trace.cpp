// The trace hook of the modules below logging.

#include "system/trace.h"

#include <atomic>

namespace vrcore::system::trace {
namespace {

std::atomic<Writer> g_writer{nullptr};

} // namespace

void SetWriter(Writer writer) { g_writer.store(writer, std::memory_order_release); }

void Message(int severity, const char *file, int line, const char *format, ...) {
    Writer w = g_writer.load(std::memory_order_acquire);
    if (!w) return;
    va_list ap;
    va_start(ap, format);
    w(severity, file, line, format, ap);
    va_end(ap);
}

} // namespace vrcore::system::trace
