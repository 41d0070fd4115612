/* vrcore logging: the one diagnostic channel of the library.
 *
 * A process writes its messages to one destination: "stdout", "stderr",
 * "syslog" or a family of rotating log files named after a base path. Each
 * message carries a severity from 1 to 32, written as one letter of
 * " EWADXIFMSabcdefghijklmnopqrstuvx" (1 E error, 2 W warning, 3 A, 4 D,
 * 5 X internal failure, 6 I informational, 7 F function entry and exit,
 * 8 M protocol notes, 9 S, then the lower-case letters). Messages are
 * assembled per thread and written whole.
 *
 * Environment (read at the first LOG_Init, or the first after LOG_Term;
 * empty values count as absent): LOG_FILE_PATH (destination), LOG_SEVERITY
 * (severity letters), LOG_SIZE (bytes per file), LOG_MAX_LOGS (files kept),
 * LOG_ENABLED ("true"/"yes" or "false"/"no"). A set ODP_TRACE stands for
 * LOG_FILE_PATH=stdout and LOG_SEVERITY=EWADSIX where those are absent.
 * Each override wins over the arguments of the functions below. */
#ifndef VRCORE_LOG_H
#define VRCORE_LOG_H

#include "vrdefs.h"

VR_BEGIN_DECLS

#if defined(__GNUC__)
#define LOG_PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define LOG_PRINTF_LIKE(fmt, first)
#endif

/* Sets the destination and the severity letters (NULL leaves the letters
 * as they are, "" enables none); both NULL or empty only initialises.
 * Enables logging and resets the size and count limits. Returns 0. */
VR_EXPORT int LOG_Init(const char *address, const char *severities);
/* Closes the destination and forgets the environment; the next LOG_Init or
 * message starts afresh. Returns 0. */
VR_EXPORT int LOG_Term(void);
/* Logs to the system log under `identity` (at most 16 characters kept;
 * NULL keeps the previous one, initially "tsl") with the openlog option
 * and facility given. Returns 0. */
VR_EXPORT int LOG_Syslog(const char *severities, const char *identity, int option, int facility);

/* Settings; each returns the previous value. A size or count of 0 (or
 * less) means unlimited. */
VR_EXPORT int LOG_SetEnabled(int flag);
VR_EXPORT int LOG_SetLogSize(int bytes);
VR_EXPORT int LOG_SetMaxNoOfLogs(int count);
VR_EXPORT int LOG_SetUseOnce(int flag);
/* The largest text a caller should hand to one LOG_AddText call (2048). */
VR_EXPORT int LOG_GetMaxTextChunk(void);

/* Building a message piece by piece in the calling thread.
 * LOG_StartMessage returns 1 when the message will be written, 0 when it is
 * suppressed; `user` (may be NULL) is shown on time-stamped lines. */
VR_EXPORT int LOG_StartMessage(int severity, const char *file, int line, const char *user);
VR_EXPORT int LOG_AddText(const char *text);
VR_EXPORT int LOG_EndMessage(void);
/* 1 when the calling thread has an open message of an enabled severity. */
VR_EXPORT int LOG_InMessage(void);

/* One whole message, formatted as printf does (with positional
 * arguments). Returns 1 when written, 0 when suppressed. */
VR_EXPORT int LOG_CondMessage(int severity, const char *file, int line, const char *format, ...)
    LOG_PRINTF_LIKE(4, 5);
/* Appends formatted text to the calling thread's open message. */
VR_EXPORT int LOG_CondAdd(const char *format, ...) LOG_PRINTF_LIKE(1, 2);
/* Severity 7 trace of entering (entering != 0) or leaving a function,
 * followed by the optional formatted text (format may be NULL). */
VR_EXPORT int LOG_CondFuncTrace(const char *function, const char *file, int line, int entering,
                                const char *format, ...) LOG_PRINTF_LIKE(5, 6);
/* Writes user message `number` of the message catalog, formatted with the
 * remaining arguments. */
VR_EXPORT int LOG_CondUserMessage(int severity, int number, ...);

/* The system log. SL_openlog keeps up to 63 characters of the identity as
 * the prefix "identity: " of every message (at most 1024 bytes in all).
 * SL_syslog writes when bit (priority & 7) of the mask is set; the mask is
 * initially 0xff, SL_setlogmask returns the previous one (0 changes
 * nothing). */
VR_EXPORT void SL_openlog(const char *identity, int option, int facility);
VR_EXPORT void SL_syslog(int priority, const char *format, ...) LOG_PRINTF_LIKE(2, 3);
VR_EXPORT void SL_closelog(void);
VR_EXPORT int SL_setlogmask(int mask);

VR_END_DECLS

#endif /* VRCORE_LOG_H */
