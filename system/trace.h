// Trace of the modules below logging: threads, the registry file and the
// message catalogs write their diagnostics here. Logging sits above them
// (it formats with the message catalogs' formatter), so they cannot call
// it; instead logging installs its writer when the library is loaded, and
// every line goes through that writer with the severity, file and line of
// its origin. Until a writer is installed (a program linked with the
// static library and without logging) the lines are dropped.
#pragma once

#include <cstdarg>

namespace vrcore::system::trace {

using Writer = void (*)(int severity, const char *file, int line, const char *format, va_list ap);

// Installs the writer; null drops every line.
void SetWriter(Writer writer);

// Formats one message of `severity` and hands it to the writer.
void Message(int severity, const char *file, int line, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

} // namespace vrcore::system::trace
