/* vrcore status lists: the error channel of every library call.
 *
 * A status list is one fixed-size block holding status entries newest
 * first. Each entry has a kind, a 32-bit code and up to nine typed
 * arguments. When the block is full, arguments and then the newest
 * entries give way, never the oldest causes. */
#ifndef VRCORE_STF_H
#define VRCORE_STF_H

#include "vrdefs.h"

VR_BEGIN_DECLS

/* Opaque status list. */
typedef struct STF_List STF_List;

/* Entry kinds. */
#define STF_KIND_STATUS 1u /* status code ("STF") */
#define STF_KIND_MSG 2u    /* user message number ("MSG") */
#define STF_KIND_ERRNO 3u  /* operating-system error number ("ERRNO") */

/* Entry flags. */
#define STF_ENTRY_STATIC 0x1u
#define STF_ENTRY_ARGS_LOST 0x2u

/* Argument types of STF_AddStatus and of the message formatter. */
#define STF_ARG_CHAR 1         /* character, passed as an int */
#define STF_ARG_INT 3          /* 32-bit integer */
#define STF_ARG_DOUBLE 4       /* double */
#define STF_ARG_STRING 0x8005  /* const char *, NUL-terminated, copied */
#define STF_ARG_COUNTED 0xC005 /* int length, then const void *, copied */

/* Maximum number of arguments an entry keeps. */
#define STF_MAX_ARGS 9

/* Status codes of this module. */
#define STF_S_NOSTATUS 0xC0010003u  /* text shown for a code of 0 */
#define STF_S_TRUNCATED 0xC0010004u /* message cut; needed length returned */
#define STF_S_SYSERR 0xC0010005u    /* OS call failed: errno, caller text */
#define STF_S_NOMEM 0xC0010006u     /* not enough memory */
#define STF_S_NOENTRY 0xC0010008u   /* no status entry at that index */
#define STF_S_NOTSUPP 0xC0010009u   /* operation not supported */
#define STF_S_BADFLAGS 0xC001000Du  /* invalid message flags */
#define STF_S_INTERNAL 0xC001000Eu  /* unexpected internal failure */
#define STF_S_NULLLIST 0xFFFFFFFFu  /* answer for a null list */

/* One argument record: 16 bytes. A character sits in the first byte of
 * the value, strings and counted buffers are addresses of copies kept
 * inside the status list. */
typedef struct STF_ArgRecord {
    uint32_t type;
    uint32_t length;
    union {
        char c;
        int32_t i;
        double d;
        const void *p;
    } value;
} STF_ArgRecord;

/* What STF_GetObjectInfo reports of one entry. */
typedef struct STF_ObjectInfo {
    uint32_t kind;
    uint32_t code;
    uint32_t flags;
    int32_t arg_count; /* -1 when no arguments are recorded */
    const STF_ArgRecord *args;
} STF_ObjectInfo;

VR_EXPORT STF_List *STF_CreateList(STF_List *parent);
VR_EXPORT STF_List *STF_CreateListExplicit(STF_List *parent, uint32_t max_entries,
                                           uint32_t block_size);
VR_EXPORT void STF_DeleteList(STF_List *list);
VR_EXPORT STF_List *STF_ClearStatus(STF_List *list);
VR_EXPORT uint32_t STF_GetStatus(const STF_List *list);

/* STF_AddStatus(list, code, count, type, [length,] value, ...) */
VR_EXPORT void STF_AddStatus(STF_List *list, uint32_t code, int32_t arg_count, ...);
/* STF_AddEnvStatus(list, code, count, args..., [kind, code, count, args...]..., 0) */
VR_EXPORT void STF_AddEnvStatus(STF_List *list, uint32_t code, int32_t arg_count, ...);
VR_EXPORT void STF_AddEnvStatusByArray(STF_List *list, uint32_t code, const void *array);
VR_EXPORT void STF_ConvertErrno(STF_List *list, int error_number, const char *text);
VR_EXPORT uint32_t STF_GetObjectInfo(const STF_List *list, uint32_t index, STF_ObjectInfo *info);

/* Rendering entries as text: "%PREFIX:STF.FACILITY, message text".
 * Header parts can be left out with these flags. */
#define STF_MSG_NO_PREFIX 0x1u   /* no application prefix */
#define STF_MSG_NO_KIND 0x2u     /* no kind name */
#define STF_MSG_NO_FACILITY 0x4u /* no facility name */
#define STF_MSG_NEWLINE 0x100u   /* end the text with a newline */

/* Receives one message: the text, its length including the NUL, the entry
 * index (negated for the last entry) and the caller's argument. Returns 0
 * to go on, anything else to stop. */
typedef int (*STF_MessageSink)(const char *text, uint32_t length, int32_t position, void *arg);

/* The text of entry `index` (1 = newest) in `locale` (NULL: current).
 * length_out receives the buffer size the whole text needs; a text cut to
 * fit gives STF_S_TRUNCATED. */
VR_EXPORT uint32_t STF_GetMessage(const STF_List *list, uint32_t index, uint32_t flags,
                                  const char *locale, uint32_t size, uint32_t *length_out,
                                  char *buffer);
/* Hands the text of every entry, newest first, to `sink`. */
VR_EXPORT uint32_t STF_PutMessages(const STF_List *list, uint32_t flags, const char *locale,
                                   STF_MessageSink sink, void *arg);

VR_END_DECLS

#endif /* VRCORE_STF_H */
