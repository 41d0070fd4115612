/* vrcore printer name service: printer records, each a name with aliases
 * and a list of key-value attributes, kept in a per-user file, the
 * machine-wide printers file and an NIS map.
 *
 * Plain functions without status lists: they return pointers (NULL when
 * nothing is found or on failure) or 0 / -1.
 *
 * Memory. Everything these functions hand out comes from malloc and is the
 * caller's: a record is released with ns_printer_destroy; a list (the array
 * of pointers) with free(), after releasing its elements as their kind
 * requires; a text form and a bsd address with free() (a bsd address is one
 * block: the structure followed by its strings). Values given to
 * ns_set_value and the arguments of ns_printer_create become the record's
 * and must come from malloc (see below). */
#ifndef VRCORE_NSP_H
#define VRCORE_NSP_H

#include <stdarg.h>

#include "vrdefs.h"

VR_BEGIN_DECLS

/* A BSD print address. The ns_bsd_addr_ functions also fill `pname`, the
 * name that was looked up. */
typedef struct ns_bsd_addr {
    char *server;
    char *printer;   /* may be NULL */
    char *extension; /* may be NULL */
    char *pname;     /* may be NULL */
} ns_bsd_addr_t;

/* A key and its value. The value's type follows the key:
 *   "bsdaddr"        ns_bsd_addr_t *   (one malloc block, released by free)
 *   "all", "group"   char **           (NULL-terminated list of names)
 *   "list"           ns_printer_t **   (NULL-terminated list of records)
 *   any other key    char *
 * A NULL value marks the attribute unset. */
typedef struct ns_kvp {
    char *key;
    void *value;
} ns_kvp_t;

/* A printer record. `source` names the service the record came from
 * ("user", "etc", "nis" or "posix"); the record does not release it, so it
 * is normally a string constant. `attributes` is a NULL-terminated list of
 * pairs. `reserved` belongs to the library (records found while following
 * indirections) and starts NULL. */
typedef struct ns_printer {
    char *name;
    char **aliases;
    char *source;
    ns_kvp_t **attributes;
    void *reserved;
} ns_printer_t;

/* Service codes of the service-order configuration. */
#define NS_SVC_USER 1
#define NS_SVC_PRINTCAP 2
#define NS_SVC_ETC 3
#define NS_SVC_NIS 4
#define NS_SVC_NISPLUS 5
#define NS_SVC_XFN 6
#define NS_SVC_COMPAT 7
#define NS_SVC_DNS 8

/* ---- Records ---------------------------------------------------------- */

/* Makes a record that keeps its arguments: name, the aliases (each string
 * and the array), the pairs (key, value and pair) and the list of pairs
 * must come from malloc; they are released by ns_printer_destroy. NULL
 * when `name` is NULL or memory is short (the arguments stay the
 * caller's). */
VR_EXPORT ns_printer_t *ns_printer_create(char *name, char **aliases, char *source,
                                          ns_kvp_t **attributes);
VR_EXPORT void ns_printer_destroy(ns_printer_t *printer);

/* One record by name or alias. A name holding ":" is a direct address
 * "server:printer[:extension]" and yields a record of source "posix".
 * `service` NULL asks "user", "etc" and "nis" in that order. */
VR_EXPORT ns_printer_t *ns_printer_get_name(const char *name, const char *service);
/* Every record of a service, or of all services in that order. */
VR_EXPORT ns_printer_t **ns_printer_get_list(const char *service);
/* Writes the record back to its source service. A record whose attributes
 * are all unset removes its entry. 0, or -1. */
VR_EXPORT int ns_printer_put(const ns_printer_t *printer);

/* ---- Attributes ------------------------------------------------------- */

/* The value of `key`, following the record's indirections ("all",
 * "group", "list", "use") at most 16 levels deep. A reference into the
 * record (or into records it keeps), valid until the record changes. */
VR_EXPORT void *ns_get_value(const char *key, ns_printer_t *printer);
/* The value's text form, newly allocated (release with free), or NULL. */
VR_EXPORT char *ns_get_value_string(const char *key, ns_printer_t *printer);
/* Replaces the value of `key` or appends the pair; the record takes the
 * value (which must be of the key's type, from malloc). A NULL key
 * releases every pair. 0, or -1 for a NULL record or short memory (the
 * value then stays the caller's). */
VR_EXPORT int ns_set_value(const char *key, void *value, ns_printer_t *printer);
/* As ns_set_value after converting the text by the key's type; NULL or ""
 * marks the attribute unset. */
VR_EXPORT int ns_set_value_from_string(const char *key, const char *text, ns_printer_t *printer);

/* ---- Service order ---------------------------------------------------- */

/* Reads the services configured for `database` in "nsswitch.cnf" of the
 * configuration directory into `codes` (room for `max` entries: at most
 * max - 1 codes followed by 0). 0; 1 when no line names the database; -1
 * when the file cannot be read; -2 on a syntax error (empty list). */
VR_EXPORT int ns_get_svc_order(const char *database, int max, int *codes);
/* The service name of a code 1..8, else NULL. */
VR_EXPORT const char *ns_get_svc_string(int code);

/* ---- BSD addresses ---------------------------------------------------- */

VR_EXPORT ns_bsd_addr_t *ns_bsd_addr_get_name(const char *name);
/* Addresses of all records of all services but "_all", each once. */
VR_EXPORT ns_bsd_addr_t **ns_bsd_addr_get_list(void);
/* The default printer first, then the printers of "_all" (or all). */
VR_EXPORT ns_bsd_addr_t **ns_bsd_addr_get_all(void);
/* PRINTER, else LPDEST, else the record "_default". */
VR_EXPORT ns_bsd_addr_t *ns_bsd_addr_get_default(void);
/* One address per call (a copy), NULL at the end, which also restarts the
 * iteration. One cursor per function for the whole process. */
VR_EXPORT ns_bsd_addr_t *ns_bsd_addr_get_all_once(void);
VR_EXPORT ns_bsd_addr_t *ns_bsd_addr_user_get_list_once(void);
VR_EXPORT ns_bsd_addr_t *ns_bsd_addr_nis_get_list_once(void);

/* ---- Lists ------------------------------------------------------------ */

/* Appends `item` (NULL appends nothing) and returns the list, which may
 * have moved; NULL when memory is short (the old list is untouched). */
VR_EXPORT void **list_append(void **list, void *item);
/* The first element for which compare(element, item) returns 0. */
VR_EXPORT void *list_locate(void **list, int (*compare)(void *element, void *item), void *item);
/* A new list of the elements of both, or the one that is not NULL. */
VR_EXPORT void **list_concatenate(void **first, void **second);
/* Calls fn(element, extra arguments) on each element; the sum of results. */
VR_EXPORT int list_iterate(void **list, int (*fn)(void *element, va_list args), ...);
/* Splits `text` in place at any of `delimiters` into a list of its
 * non-empty tokens (release the list with free; the tokens live in text). */
VR_EXPORT char **strsplit(char *text, const char *delimiters);

VR_END_DECLS

#endif /* VRCORE_NSP_H */
