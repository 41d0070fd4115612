/* vrcore name service: registering and finding the servers, printers,
 * queues, groups and backup lists of a domain.
 *
 * Functions return the small NS_ result codes below, never status lists.
 * Objects, strings and handles the name service hands out are released
 * with the matching NS_Free / NS_...End function. */
#ifndef VRCORE_NS_H
#define VRCORE_NS_H

#include "vrdefs.h"

VR_BEGIN_DECLS

/* Result codes. */
#define NS_OK 0
#define NS_E_NOTPERMITTED 2 /* client program, or no RPC bindings to register */
#define NS_E_NOMEMBERS 3    /* empty or missing member list */
#define NS_E_CLASS 5        /* invalid class, class combination or self class */
#define NS_E_DOMAIN 7       /* object or name server of another domain */
#define NS_E_HANDLE 9       /* missing or foreign handle */
#define NS_E_NAME 10        /* missing or unusable name; other self name */
#define NS_E_OBJECT 11      /* missing object or required object field */
#define NS_E_END 12         /* end of list */
#define NS_E_NOTINIT 13     /* not initialised, or endpoint identifier unset */
#define NS_E_NOMEM 14       /* out of memory */
#define NS_E_NOTFOUND 15    /* object not found */
#define NS_E_EXISTS 16      /* object exists and may not be replaced */
#define NS_E_NOSERVER 17    /* associated server not registered */
#define NS_E_UNREACHABLE 18 /* no name server reachable */
#define NS_E_SYSTEM 19      /* system, file, network or RPC failure */
#define NS_E_ENV 20         /* environment not available or operation unsupported */
#define NS_E_INTERNAL 21    /* unexpected internal failure */

/* Object classes. */
#define NS_CLASS_LP 0
#define NS_CLASS_PP 1
#define NS_CLASS_ANY_PRN 2
#define NS_CLASS_SPOOLER 3
#define NS_CLASS_SUPERV 4
#define NS_CLASS_ANY_SVR 5
#define NS_CLASS_QUEUE 6
#define NS_CLASS_NTFY 7
#define NS_CLASS_GROUP 8
#define NS_CLASS_BACKUP 9
#define NS_CLASS_NONE 10

/* Environments. */
#define NS_ENV_ONC 0
#define NS_ENV_DCE 1 /* reserved, never available */
#define NS_ENV_MSRPC 2
#define NS_ENV_DEFAULT NS_ENV_MSRPC

/* Out flag of the create functions: an existing registration was replaced. */
#define NS_FLAG_REPLACED 4u

/* ONC authentication flavour indexes. */
#define NS_AUTH_NONE 0
#define NS_AUTH_SYS 1
#define NS_AUTH_DES 2
#define NS_AUTH_KERB 3

/* A name-service object. Fields that do not apply are zero; every string
 * belongs to the object. */
typedef struct NS_Object {
    int32_t env;      /* environment that produced the object */
    int32_t objClass; /* NS_CLASS_ */
    char *name;
    int32_t serverClass; /* class of the hosting server; a server's own class */
    char *serverName;
    struct {
        char *host;
        int32_t program;
        int32_t version;
        int32_t auth;    /* NS_AUTH_ */
        char *addrKey;   /* "paddr", "saddr" or "qaddr" */
        char *source;    /* printer name-service source, e.g. "etc" */
        int32_t dynamic; /* registered at run time */
        char *nisDomain;
    } onc;
    struct {
        char *reserved1;
        char *reserved2;
    } dce;
    struct {
        int32_t nBindings;
        char **bindings; /* RPC string bindings */
        char *domain;
        int32_t info; /* server information word */
    } msrpc;
} NS_Object;

/* Opaque handles. */
typedef struct NS_ListRec *NS_ListHandle;
typedef struct NS_DomainRec *NS_DomainHandle;
typedef struct NS_DomainListRec *NS_DomainListHandle;

/* The environments that initialised successfully. */
typedef struct NS_EnvList {
    int32_t count;
    int32_t env[3];
} NS_EnvList;

/* The RPC bindings a server program registers: string bindings of the form
 * "ncacn_ip_tcp:host[endpoint]". Set NS_msrpc_binding_vector before
 * registering a server object. */
typedef struct NS_BindingVector {
    uint32_t count;
    char **bindings;
} NS_BindingVector;

VR_EXPORT extern NS_BindingVector *NS_msrpc_binding_vector;
VR_EXPORT extern void *NS_msrpc_if_handle;
VR_EXPORT extern void *NS_dce_binding_vector; /* reserved */
VR_EXPORT extern void *NS_dce_if_handle;      /* reserved */

/* Start-up: selfClass is NS_CLASS_SPOOLER, _SUPERV, _NTFY (selfName
 * required) or NS_CLASS_NONE for a client program. */
VR_EXPORT int32_t NS_Init(const char *self_name, int32_t self_class);
VR_EXPORT int32_t NS_Term(void);

/* Registration. `flags` (may be null) receives NS_FLAG_REPLACED. Member
 * arrays end with a null pointer. NS_CreateObject and NS_DeleteObject send
 * an object whose env is NS_ENV_ONC and whose onc part names a host or a
 * program number to the ONC environment (NS_E_ENV when it is unavailable);
 * every other object, a zeroed one included, goes to the MSRPC
 * environment. Backups and groups always go to the MSRPC environment. */
VR_EXPORT int32_t NS_CreateObject(const NS_Object *object, int32_t overwrite, uint32_t *flags);
VR_EXPORT int32_t NS_CreateBackup(const NS_Object *object, NS_Object *const *members,
                                  int32_t overwrite, uint32_t *flags);
VR_EXPORT int32_t NS_CreateGroup(const char *group_name, NS_Object *const *members,
                                 NS_DomainHandle domain, int32_t overwrite, uint32_t *flags);
VR_EXPORT int32_t NS_DeleteObject(const NS_Object *object, uint32_t *flags);

/* Lookup and listing. `domain` may be null: the default environment and
 * its default domain. */
VR_EXPORT int32_t NS_GetObject(int32_t obj_class, const char *name, NS_DomainHandle domain,
                               NS_Object **object);
VR_EXPORT int32_t NS_ListObjectBegin(int32_t obj_class, NS_DomainHandle domain,
                                     NS_ListHandle *list);
VR_EXPORT int32_t NS_ListBackupPrtBegin(const NS_Object *object, NS_ListHandle *list);
VR_EXPORT int32_t NS_ListGroupMbrBegin(const NS_Object *object, NS_ListHandle *list);
VR_EXPORT int32_t NS_ListNext(NS_ListHandle list, NS_Object **object);
VR_EXPORT int32_t NS_ListEnd(NS_ListHandle list);

VR_EXPORT int32_t NS_IsSameHost(const NS_Object *object, int32_t *same);
VR_EXPORT int32_t NS_IsSameServer(const NS_Object *object, int32_t *same);

/* Domain handles. */
VR_EXPORT int32_t NS_CreateDomainHandle(NS_DomainHandle *handle);
VR_EXPORT int32_t NS_SetDomain(int32_t env, const char *name, NS_DomainHandle handle);
VR_EXPORT int32_t NS_GetDomain(int32_t env, NS_DomainHandle handle, char **name);
VR_EXPORT int32_t NS_FreeDomainHandle(NS_DomainHandle handle);

/* The known domains of an environment; NS_ListDomainNext returns
 * NS_E_END after the last one. Names are freed with NS_FreeString. */
VR_EXPORT int32_t NS_ListDomainBegin(int32_t env, NS_DomainListHandle *handle);
VR_EXPORT int32_t NS_ListDomainNext(NS_DomainListHandle handle, char **name);
VR_EXPORT int32_t NS_ListDomainEnd(NS_DomainListHandle handle);

VR_EXPORT int32_t NS_CopyObject(NS_Object **copy, const NS_Object *object);
VR_EXPORT int32_t NS_FreeObject(NS_Object *object);
VR_EXPORT int32_t NS_FreeString(char *string);

VR_EXPORT NS_EnvList *NS_ListSupportedEnv(void);

/* The host of the central name server in use, and whether the name server
 * on a host serves this host's domain. */
VR_EXPORT int32_t NS_LocatePGR(char **host);
VR_EXPORT int32_t NS_CheckPGR(const char *host);

VR_END_DECLS

#endif /* VRCORE_NS_H */
