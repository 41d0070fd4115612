/* vrcore request server: serving the DPA request interface over DCE/RPC.
 *
 * A print server starts one RPCS_Server with a handler; every request a
 * client sends with clnt_transfer_request (the DPA operations over
 * DCE/RPC) reaches the handler with its operation number and encoded
 * argument, and the handler's packets go back as the call's result or
 * error. The server listens on TCP (ncacn_ip_tcp), serves each client
 * connection on a thread of its own, one call at a time per connection,
 * and authenticates binds with connect-level NTLM against a user file.
 *
 * Threads: the handler runs on the server's threads, several at once (one
 * per connection with a call in progress): it must be thread-safe. The
 * functions below take an RPCS_Server from one thread at a time; the
 * handler must not stop its own server.
 *
 * Every function returns an RPC status number, RPCS_S_OK (0) on success.
 */
#ifndef VRCORE_RPCS_H
#define VRCORE_RPCS_H

#include "odpcli.h"
#include "vrdefs.h"

VR_BEGIN_DECLS

/* RPC status numbers. */
#define RPCS_S_OK 0
#define RPCS_S_FILE_NOT_FOUND 2 /* no user file is named, or it is missing */
#define RPCS_S_ACCESS_DENIED                                                                       \
    5                          /* the user file is not owner-only or unreadable; the               \
                                  endpoint mapper refused the change */
#define RPCS_S_INVALID_DATA 13 /* a line of the user file breaks its format */
#define RPCS_S_NO_MEMORY 14
#define RPCS_S_INVALID_PARAMETER                                                                   \
    87 /* a null or stale pointer, an address or UUID that                                         \
          is not one */
#define RPCS_S_SERVER_UNAVAILABLE                                                                  \
    1722                                    /* cannot listen (address in use, not local); the      \
                                               endpoint mapper cannot be reached */
#define RPCS_S_ENDPOINT_NOT_REGISTERED 1753 /* the endpoint mapper has no such entry */
#define RPCS_S_INTERNAL 1766

typedef struct RPCS_Server RPCS_Server;

typedef struct RPCS_Config {
    const char *address; /* IPv4 address to listen on ("127.0.0.1"); NULL: every address */
    uint16_t port;       /* 0: one the system chooses (RPCS_Port) */
    /* NTLM users, one "user:HASH" or "DOMAIN\user:HASH" line each (HASH:
     * the NT hash in 32 hex digits; the file owner-only). NULL: the file
     * the environment variable VRCORE_USERS names, else the registry string
     * "UserFile" under "Software\Halvane\Tessaril\odp", else none; "":
     * none. Without users, clients call anonymously (without a logon). */
    const char *user_file;
    /* Nonzero: only clients that logged on as a user of the file are
     * served; binds without authentication, with an anonymous logon or
     * with refused credentials get "access denied" (5) for their calls.
     * Zero: anonymous callers are served too. Needs a user file. */
    int require_auth;
    /* Connections served at once (each one call at a time, so this bounds
     * the concurrent calls); a client beyond it is answered "server too
     * busy" (1723). 0: 64. */
    uint32_t max_connections;
} RPCS_Config;

/* What a handler learns of the call it serves; valid during the call. */
typedef struct RPCS_CallInfo {
    const char *client_address; /* dotted IPv4 address */
    uint16_t client_port;
    const char *user;    /* the authenticated user; NULL when anonymous */
    const char *domain;  /* the domain the client named; NULL with no user or none */
    uint32_t auth_level; /* 0 none (anonymous), 2 connect-level NTLM */
    const char *object;  /* the object UUID the client called, text; NULL when none */
} RPCS_CallInfo;

/* The answer to one request. The handler finds it zeroed and may set:
 * result and error, packets allocated with ODP_MIDL_user_allocate (the
 * server sends and frees them; both may point at one packet; NULL: none
 * sent), the error kind, and the call's own status (0 success; the client
 * receives it as clnt_transfer_request's remote_status). */
typedef struct RPCS_Reply {
    ODP_RequestPacket *result;
    ODP_RequestPacket *error;
    uint16_t error_kind;
    uint32_t status;
} RPCS_Reply;

/* One request: 0 sends the reply (a reply without packets is an empty
 * one); any other number fails the call with that status instead (an RPC
 * fault, which the client's stub returns; the reply's packets are still
 * freed). The request is valid during the call. */
typedef uint32_t (*RPCS_RequestHandler)(void *context, const RPCS_CallInfo *call,
                                        uint16_t operation, const ODP_RequestPacket *request,
                                        RPCS_Reply *reply);

/* Reads the user file, listens and serves until RPCS_Stop. On failure
 * *server is left alone: RPCS_S_INVALID_PARAMETER (a null argument, an
 * address that is not IPv4), the user file's statuses (RPCS_S_FILE_NOT_FOUND
 * also when authentication is required and no file is named),
 * RPCS_S_SERVER_UNAVAILABLE, RPCS_S_NO_MEMORY. */
VR_EXPORT int RPCS_Start(const RPCS_Config *config, RPCS_RequestHandler handler, void *context,
                         RPCS_Server **server);
/* The port the server listens on; 0 for a null or stale server. */
VR_EXPORT uint16_t RPCS_Port(const RPCS_Server *server);
/* Registers the request interface at this server's port with the endpoint
 * mapper of this host (127.0.0.1, at the registry dword
 * "EndpointMapperPort" under "Software\Halvane\Tessaril\odp", else 135),
 * for the object UUID in text form (NULL: the nil object), replacing an
 * entry of the same object. RPCS_Stop removes it. RPCS_S_INVALID_PARAMETER,
 * RPCS_S_SERVER_UNAVAILABLE, RPCS_S_ACCESS_DENIED, another status of the
 * call. */
VR_EXPORT int RPCS_RegisterEndpoint(RPCS_Server *server, const char *object_uuid);
/* The string bindings that name this server, "ncacn_ip_tcp:HOST[PORT]",
 * one per IPv4 address it is reachable at (its address; listening on
 * every address: each address of the host's interfaces that are up,
 * loopback only when there is no other). A name-service registration
 * leaves the endpoint out and puts the object in front
 * ("UUID@ncacn_ip_tcp:HOST"). *bindings is released with
 * RPCS_FreeStrings. */
VR_EXPORT int RPCS_StringBindings(const RPCS_Server *server, char ***bindings, uint32_t *count);
VR_EXPORT void RPCS_FreeStrings(char **strings, uint32_t count);
/* Stops listening, removes the endpoints it registered, waits for the
 * calls in progress (their replies are sent), closes every connection and
 * frees the server. RPCS_S_INVALID_PARAMETER for a null or stale server. */
VR_EXPORT int RPCS_Stop(RPCS_Server *server);

VR_END_DECLS

#endif /* VRCORE_RPCS_H */
