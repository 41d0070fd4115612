/* vrcore client credentials: who is calling, told to the server twice.
 *
 * The transport credentials go on the RPC binding when the client binds
 * (SEC_AddCredential_C); the privilege record, describing the calling
 * user, the user's domain and the calling computer, goes into the common
 * arguments of every operation as the only value of id-att-privileges
 * (SEC_AddPAC_C).
 *
 * The SEC_ functions answer small numbers, not status lists: SEC_OK or
 * one of the SEC_E_ values below. */
#ifndef VRCORE_SEC_H
#define VRCORE_SEC_H

#include "as.h"
#include "vrdefs.h"
#include "vrtypes.h"

VR_BEGIN_DECLS

#define SEC_OK 0
#define SEC_E_FAILED 100      /* general failure */
#define SEC_E_NOMEM 102       /* memory exhausted */
#define SEC_E_UNSUPPORTED 103 /* unsupported credential type or level */
#define SEC_E_BINDING 105     /* wrong or invalid binding */
#define SEC_E_SETARG 107      /* the set module refused an argument or a stale handle */
#define SEC_E_SETVALUE 109    /* the set module found a duplicate, a type clash or a corrupt set */

/* Credential types: 0 ONC RPC, 2 and 3 the DCE/RPC binding. */
#define SEC_TYPE_ONC 0
#define SEC_TYPE_DCE 2
#define SEC_TYPE_DCE_ALT 3

/* Levels: of the DCE/RPC binding 0 (no authentication) and 1
 * (connect-level authentication); of ONC RPC 4 (system-style
 * credentials). */
#define SEC_LEVEL_NONE 0
#define SEC_LEVEL_CONNECT 1
#define SEC_LEVEL_ONC_SYS 4

/* The privilege record: 2,596 bytes, integers as 32-bit values in network
 * byte order, texts NUL-terminated in fixed fields. */
#define SEC_PAC_SIZE 2596
#define SEC_PAC_FORMAT 1001
#define SEC_PAC_VERSION 1
#define SEC_PAC_USER_NAME 8     /* 256 bytes */
#define SEC_PAC_USER_DOMAIN 264 /* 1024 bytes */
#define SEC_PAC_USER_DOMAIN_TYPE 1288
#define SEC_PAC_COMPUTER_NAME 1292   /* 256 bytes */
#define SEC_PAC_COMPUTER_DOMAIN 1548 /* 1024 bytes */
#define SEC_PAC_COMPUTER_DOMAIN_TYPE 2572
/* The binding's form wraps the record: format, version, 0, the record and
 * 4 zero bytes. */
#define SEC_PAC_WRAPPED_SIZE 2612

/* Domain types the library fills in: a single computer, a Windows NT
 * domain, a DNS domain. */
#define SEC_DOMTYPE_COMPUTER 4
#define SEC_DOMTYPE_NT 5
#define SEC_DOMTYPE_DNS 3

/* The short identifier of the privileges attribute and its value type. */
#define SEC_PRIVILEGES_ATTR 97
#define SEC_PRIVILEGES_TYPE 76

/* Type 0: SEC_AddCredential_C_ONC with `binding` as the ONC client
 * (a CLIENT *). Types 2 and 3: level 0 (no authentication) or 1
 * (connect-level) is set on the binding; SEC_E_BINDING when the binding
 * is not one, SEC_E_FAILED for another refusal; another level or type
 * changes nothing and answers SEC_E_UNSUPPORTED. */
VR_EXPORT int32_t SEC_AddCredential_C(int32_t type, int32_t level, void *binding);
/* Type 0, level 4: the ONC client (a CLIENT *) authenticates from now on
 * with system-style credentials: this machine's name, user and group
 * 60001 and the one supplementary group 60001; its previous
 * authentication is destroyed. Failures SEC_E_FAILED (also a null client);
 * another level or type SEC_E_UNSUPPORTED. */
VR_EXPORT int32_t SEC_AddCredential_C_ONC(int32_t type, int32_t level, void *client);

/* Puts the caller's privilege record into the set as the only value of
 * id-att-privileges: type 0 the bare record (SEC_AddPAC_C_ONC), any other
 * type the binding's wrapped form. The set is changed only when the
 * record is complete. */
VR_EXPORT int32_t SEC_AddPAC_C(int32_t type, AS_SetHandle set);
VR_EXPORT int32_t SEC_AddPAC_C_ONC(int32_t type, AS_SetHandle set);

/* This host's domain (its LAN group; the text is the library's, filled
 * once per process, at most 1,023 bytes) with type 3051 in *type (when
 * type is not null). NULL and type 0 when it cannot be filled. The two
 * names are one function. */
VR_EXPORT const char *SEC_GetHostDomain(int32_t *type);
VR_EXPORT const char *SEC_GetUserDomain(int32_t *type);

/* The domain type a short identifier names; -1 for any other. */
VR_EXPORT int32_t SEC_Shoid2DomType(GENU_ShortOID id);

/* Records the client type and returns it. */
VR_EXPORT int32_t SEC_SetClientType(int32_t value);

/* The credential number of the newest code in a status list: of a value
 * function (SEC_E_NOMEM for its memory failure, else SEC_E_FAILED) or of
 * a set function (SEC_E_SETVALUE, SEC_E_SETARG, SEC_E_NOMEM, else
 * SEC_E_FAILED). */
VR_EXPORT int32_t SEC__GENUerror(STF_List *status);
VR_EXPORT int32_t SEC__ASerror(STF_List *status);

VR_END_DECLS

#endif /* VRCORE_SEC_H */
