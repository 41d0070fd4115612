/* vrcore B-tree database: keyed records in a file of 1024-byte pages.
 *
 * A database is one file, "<path>.dbm". Keys are byte strings of at most
 * 128 bytes, ordered as unsigned bytes (a prefix sorts first); a key and its
 * data together are at most 256 bytes. The operations take no status list:
 * store and delete return a result code, fetches return a datum. */
#ifndef VRCORE_VRBM_H
#define VRCORE_VRBM_H

#include "vrdefs.h"

VR_BEGIN_DECLS

/* Open flags: the access mode in the low two bits, and "create". A created
 * database starts empty (an existing file is truncated). */
#define VRBM_RDONLY 0x0
#define VRBM_WRONLY 0x1 /* refused: a database cannot be written blind */
#define VRBM_RDWR 0x2
#define VRBM_ACCMODE 0x3
#define VRBM_CREAT 0x100
#define VRBM_BINARY 0x8000 /* accepted and ignored */

/* Result codes of VRBM_store and VRBM_delete (0 is success). */
#define VRBM_E_INCONSISTENT_EMPTY 4u /* root counts keys but holds none */
#define VRBM_E_NOPARENT 0xC00A0069u  /* a child is missing from its parent */
#define VRBM_E_EXISTS 0xC00A0072u    /* store without replace: key present */
#define VRBM_E_NOROOM 0xC00A0080u    /* no room (also: file has no free page number) */
#define VRBM_E_NOMEM 0xC00A0081u     /* out of memory; nothing was changed */
#define VRBM_E_ITEMSIZE 0xC00A0084u  /* key + data longer than 256 bytes */
#define VRBM_E_KEYSIZE 0xC00A0088u   /* key longer than 128 bytes */
#define VRBM_E_NODETYPE 0xC00A008Bu  /* wrong node type for the operation */
#define VRBM_E_NOTFOUND 0xC00A0094u  /* delete: no such key */
#define VRBM_E_CORRUPT 0xC00A009Cu   /* a page of the file is not a valid node */
#define VRBM_E_IO 0xC00A0097u        /* the file could not be read or written */
#define VRBM_E_READONLY 0xC00A009Eu  /* the database is open read-only */
#define VRBM_E_BADHANDLE 0xC00A0098u /* not an open database handle */
#define VRBM_E_INTERNAL 0xC00A00A3u  /* unexpected internal failure */

#define VRBM_MAX_KEY 128
#define VRBM_MAX_ITEM 256

/* Lengths of a datum that carries no data. */
#define VRBM_LEN_ABSENT 0     /* fetch, fetchName: no such key */
#define VRBM_LEN_NOMATCH (-1) /* fetchAbbrev: nothing matches */
#define VRBM_LEN_AMBIGUOUS (-2)
#define VRBM_LEN_NOMEM (-3)
#define VRBM_LEN_ERROR (-4) /* the file is corrupt or unreadable, or a bad handle */

/* A key or record. A fetched datum points into the database's page cache:
 * it stays valid until the next operation on the same handle. Copy what
 * you keep. */
typedef struct VRBM_Datum {
    const char *ptr;
    int32_t len;
} VRBM_Datum;

/* One key matched by an abbreviation. The caller owns a list handed out
 * and releases it with VRBM_freeMatchList. */
typedef struct VRBM_MatchNode {
    char *name; /* NUL-terminated copy of the key */
    struct VRBM_MatchNode *next;
} VRBM_MatchNode;

typedef struct VRBM_Db VRBM_Db;

/* Durability. Changes are kept in memory and reach the file only when the
 * database is written back, which VRBM_close does. After a crash or power
 * loss at any instant the file opens, is consistent and holds exactly what
 * it held after the last write-back that finished: a write-back either
 * finishes or leaves nothing of itself. To do so it first saves the
 * original images of the pages it changes in a journal beside the file,
 * "<path>" VRBM_JOURNAL_SUFFIX, which exists only while a write-back is
 * unfinished; the next opener of any access mode rolls such a journal back
 * before it reads (a read-only opener needs write access to the file and
 * its directory for that). Openers wait for a write-back in progress in
 * another process, at most 10 seconds; a file has one writer at a time
 * (the registry's lock file sees to it). A read-and-write handle holds a
 * shared flock(2) on the file while it is open; offline compaction
 * (vrbmcheck --compact) takes it exclusively, so it never rewrites a file
 * a writer has open, and a writer opening meanwhile waits for it (at most
 * 10 seconds) and then opens the compacted file. When VRBM_open returns NULL, errno
 * tells why: EUCLEAN when an unfinished write-back is left that this
 * opener cannot roll back (the file is not read: have a writer open it);
 * EAGAIN when another process held the file locked beyond the wait; EFBIG
 * when a file is too large to load whole; EINVAL for bad arguments; other
 * values those of the failed system call. */
#define VRBM_JOURNAL_SUFFIX ".dbm-journal"

/* Opens "<path>.dbm". flags: access mode | VRBM_CREAT; mode is not used.
 * whole_file = 1 with read-only access loads the whole file (at most 124
 * pages) so lookups never touch the file again. Returns NULL on failure,
 * with errno set (see above). */
VR_EXPORT VRBM_Db *VRBM_open(const char *path, int32_t flags, int32_t mode, int32_t whole_file);
/* Writes back modified pages (the write-back above) and releases the
 * handle. NULL is ignored. */
VR_EXPORT void VRBM_close(VRBM_Db *db);
/* Writes back the modified pages now, as VRBM_close does, and keeps the
 * handle open: once it returns 0 the changes so far survive a crash or a
 * power loss. 0, VRBM_E_IO when they could not be written (they stay in
 * memory and the file holds what the last finished write-back left),
 * VRBM_E_READONLY for a read-only handle, VRBM_E_BADHANDLE. */
VR_EXPORT uint32_t VRBM_sync(VRBM_Db *db);
/* Stores an item. replace = 1 replaces an existing item; any other value
 * refuses an existing key with VRBM_E_EXISTS. A failed store leaves the
 * database as it was. */
VR_EXPORT uint32_t VRBM_store(VRBM_Db *db, const void *key, int32_t key_len, const void *data,
                              int32_t data_len, int32_t replace);
/* The data stored under key, or {NULL, 0} when absent. */
VR_EXPORT VRBM_Datum VRBM_fetch(VRBM_Db *db, const void *key, int32_t key_len);
/* Removes the item: 0, VRBM_E_NOTFOUND, or another result code. */
VR_EXPORT uint32_t VRBM_delete(VRBM_Db *db, const void *key, int32_t key_len);
/* Finds the key an abbreviation stands for: components separated by '-'
 * each abbreviate the key's component at the same place ("ab-c" stands for
 * "abc-cde"). One match: its data. Several: {NULL, -2}. None: {NULL, -1}.
 * With matches != NULL the matching keys are collected: on several matches
 * the whole list (in key order) is stored in *matches; on one match it is
 * stored only when keep_list is 1. abbrev_len is at most 128. */
VR_EXPORT VRBM_Datum VRBM_fetchAbbrev(VRBM_Db *db, const char *abbrev, int32_t abbrev_len,
                                      VRBM_MatchNode **matches, int32_t keep_list);
/* Like VRBM_fetch for text keys; case_sensitive = 1 compares bytes, any
 * other value ignores the case of ASCII letters. */
VR_EXPORT VRBM_Datum VRBM_fetchName(VRBM_Db *db, const char *name, int32_t name_len,
                                    int32_t case_sensitive);
/* Releases a match list and every name in it. */
VR_EXPORT void VRBM_freeMatchList(VRBM_MatchNode *list);

VR_END_DECLS

#endif /* VRCORE_VRBM_H */
