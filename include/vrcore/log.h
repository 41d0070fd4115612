/* vrcore logging: the one diagnostic channel of the library.
 * Severities 1..32; the library uses 5 for internal failures, 6 for
 * informational messages, 7 for function entry and exit. */
#ifndef VRCORE_LOG_H
#define VRCORE_LOG_H

#include "vrdefs.h"

VR_BEGIN_DECLS

/* Formats and writes one message when the severity is enabled. */
VR_EXPORT int LOG_CondMessage(int severity, const char *file, int line, const char *format, ...);
/* Severity 7 trace of entering (entering != 0) or leaving a function. */
VR_EXPORT int LOG_CondFuncTrace(const char *function, const char *file, int line, int entering,
                                const char *format, ...);

VR_END_DECLS

#endif /* VRCORE_LOG_H */
