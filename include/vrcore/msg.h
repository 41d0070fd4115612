/* vrcore messages: message catalogs per facility and the library's own
 * printf family with X/Open positional arguments ("%2$s", "%*1$d").
 *
 * A code is 32 bits: the upper 16 the facility word, the lower 16 the
 * message number. Its text comes from the facility's catalog, found
 * through NLSPATH; when there is none, a diagnostic rendering of the code
 * ("c=c0030073 f=C003 cs=STF") stands in. Length outs are always the size
 * the whole text needs, terminating NUL included; a text longer than the
 * buffer is cut to size - 1 bytes, NUL-terminated, and MSG_S_TRUNCATED is
 * returned. */
#ifndef VRCORE_MSG_H
#define VRCORE_MSG_H

#include <stdarg.h>
#include <stdio.h>

#include "stf.h"
#include "vrdefs.h"

VR_BEGIN_DECLS

#if defined(__GNUC__)
#define MSG_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#else
#define MSG_PRINTF_LIKE(f, a)
#endif

/* Message kinds. */
#define MSG_KIND_STATUS 1u /* a status code */
#define MSG_KIND_USER 2u   /* a user message number */
#define MSG_KIND_ERRNO 3u  /* an operating-system error number */

/* Most argument records a formatted message takes. */
#define MSG_MAX_ARGS 4

/* Codes of the message module. */
#define MSG_S_RESERVED_NAMES 0xC0020066u  /* reserved argument not zero (names) */
#define MSG_S_TRUNCATED 0xC0020067u       /* output cut, or guard bytes overwritten */
#define MSG_S_BADPREFIX 0xC0020068u       /* invalid application prefix */
#define MSG_S_BADARGTYPE 0xC0020069u      /* invalid argument type or format */
#define MSG_S_TOOMANYARGS 0xC002006Bu     /* more than MSG_MAX_ARGS arguments */
#define MSG_S_NOMEM 0xC002006Cu           /* out of memory */
#define MSG_S_USAGE 0xC002006Du           /* not in use (already in use: UsageBegin) */
#define MSG_S_RESERVED_FORMAT 0xC002006Eu /* reserved argument not zero (formatting) */
#define MSG_S_BADLOCALE 0xC002006Fu       /* the requested locale does not exist */
#define MSG_S_NOTEXT 0xC0020070u          /* no message text found */
#define MSG_S_BADKIND 0xC0020071u         /* invalid message kind */
#define MSG_S_INTERNAL 0xC0020072u        /* unexpected internal failure */

/* Start and end using the module. The prefix (3 to 8 letters and digits,
 * beginning with a letter) names the application: it heads status messages
 * and names the application's own catalogs. */
VR_EXPORT uint32_t MSG_UsageBegin(const char *prefix);
VR_EXPORT uint32_t MSG_UsageEnd(void);

/* The raw text of (kind, code) in `locale` (NULL: the current locale). */
VR_EXPORT uint32_t MSG_GetUnformatted(uint32_t kind, uint32_t code, const char *locale,
                                      uint32_t size, uint32_t *length_out, char *buffer);
VR_EXPORT uint32_t MSG_GetUnformattedWide(uint32_t kind, uint32_t code, const char *locale,
                                          uint32_t size, uint32_t *length_out, wchar_t *buffer);

/* The text of (kind, code) formatted with `count` argument records (the
 * records of a status entry). `reserved` must be 0. */
VR_EXPORT uint32_t MSG_GetFormattedByArray(uint32_t kind, uint32_t code, uint32_t reserved,
                                           const char *locale, uint32_t size, uint32_t *length_out,
                                           char *buffer, int32_t count, const STF_ArgRecord *args);
VR_EXPORT uint32_t MSG_GetFormattedByArrayWide(uint32_t kind, uint32_t code, uint32_t reserved,
                                               const char *locale, uint32_t size,
                                               uint32_t *length_out, wchar_t *buffer, int32_t count,
                                               const STF_ArgRecord *args);
/* The same with the arguments given directly; they must match the text. */
VR_EXPORT uint32_t MSG_GetFormattedBySprintf(uint32_t kind, uint32_t code, uint32_t reserved,
                                             const char *locale, uint32_t size,
                                             uint32_t *length_out, char *buffer, ...);

/* The application prefix, the kind's name ("STF", "MSG", "ERRNO") and the
 * facility's symbolic name of (kind, code). `reserved` must be 0. */
VR_EXPORT uint32_t MSG_GetSymbolicNames(uint32_t kind, uint32_t code, uint32_t size1, char *prefix,
                                        uint32_t size2, char *kind_name, uint32_t size3,
                                        char *facility_name, uint32_t reserved);

/* printf family. Beyond the standard conversions, arguments may be named
 * by position ("%2$s", "%*1$d"); unnumbered conversions of a positional
 * format take the positions after the highest numbered one. An invalid
 * format gives a negative result (and an empty string for the string
 * forms). "%n" consumes its pointer but stores nothing. */
VR_EXPORT int MSG_sprintf(char *buf, const char *format, ...) MSG_PRINTF_LIKE(2, 3);
VR_EXPORT int MSG_snprintf(char *buf, size_t size, const char *format, ...) MSG_PRINTF_LIKE(3, 4);
VR_EXPORT int MSG_printf(const char *format, ...) MSG_PRINTF_LIKE(1, 2);
VR_EXPORT int MSG_fprintf(FILE *stream, const char *format, ...) MSG_PRINTF_LIKE(2, 3);
VR_EXPORT int MSG_vsprintf(char *buf, const char *format, va_list ap) MSG_PRINTF_LIKE(2, 0);
VR_EXPORT int MSG_vsnprintf(char *buf, size_t size, const char *format, va_list ap)
    MSG_PRINTF_LIKE(3, 0);
VR_EXPORT int MSG_vprintf(const char *format, va_list ap) MSG_PRINTF_LIKE(1, 0);
VR_EXPORT int MSG_vfprintf(FILE *stream, const char *format, va_list ap) MSG_PRINTF_LIKE(2, 0);

VR_END_DECLS

#endif /* VRCORE_MSG_H */
