/* vrcore DPA client: binding a thread to a server, the operations, the
 * DCE/RPC request stub and the ONC RPC request records with their XDR
 * routines.
 *
 * Binding. Each thread talks to one server at a time through its client
 * handle, made by ODP_Initialize or ODP_Initialize2 and released by
 * ODP_Terminate or when the thread ends. ODP_Initialize finds the server by
 * name in the name service and connects over DCE/RPC only; an ONC RPC
 * entry found that way fails with 0xC009006C. ONC RPC callers bind with
 * ODP_Initialize2 and a name-service record they hold (environment 0,
 * host, program and version), and leave the queue, printer and server
 * names out of their common arguments: those rebind the thread through
 * ODP_Initialize. A record without a name binds a local-only handle: every
 * operation encodes its argument and decodes it again, nothing is sent.
 *
 * Operations. Every ODP_..._C operation takes the status list, its
 * arguments, the common arguments (address of a set handle, may be null),
 * then the address that receives its result and the address that receives
 * the DPA error result (null when the server sent none; release it with
 * ERDPA_FreeError). 0 is success, 1 failure with codes in the status list;
 * a DPA error from the server is not a failure. Results are released with
 * the FreeGEN_ function of their type (sets: AS_Destroy, then
 * GENU__CoveredFree of the cell).
 *
 * A request travels as one call of procedure 1 of the server's program:
 * the argument record carries the operation number and the encoded
 * argument, the reply record the error kind, the encoded result and the
 * encoded error. Each encoded packet is a counted array of bytes in which
 * every byte is its own 4-byte XDR integer, sign-extended (0x80 travels as
 * 0xFFFFFF80), exactly as the XDR character routine puts it; these
 * routines move the array in bulk and never write to the bytes they
 * encode, so a packet may point into read-only memory.
 *
 * This header needs no RPC header of its own: XDR streams and clients are
 * named by their structure tags, which are those of the RPC library's XDR
 * and CLIENT types, so a program that includes <rpc/rpc.h> passes its XDR
 * and CLIENT pointers unchanged. */
#ifndef VRCORE_ODPCLI_H
#define VRCORE_ODPCLI_H

#include "erdpa.h"
#include "ns.h"
#include "odpops.h"
#include "vrdefs.h"

VR_BEGIN_DECLS

/* ---- Binding -------------------------------------------------------------- */

/* Server types of ODP_ServerInit. */
#define ODP_SERVER_TYPE 892
#define ODP_SERVER_TYPE_SECURE 893 /* also the server-to-server exchange of events */

/* The status codes of the client beyond the transport's. */
#define ODP_S_JOBID_LONG 0xC009009Bu /* a job identifier of more than 255 characters */
#define ODP_S_NOTSUPPORTED 0xC009009Au

/* The security table of a server program: 13 entry points, each answering
 * 0 or a code. The default table answers ODP_S_NOTSUPPORTED in every slot.
 * The library calls slot 2 when binding, slot 3 with each operation's
 * common arguments, slots 9, 6, 10 and 11 around an event sent by a
 * server of type 893. Server names are simple names. */
typedef struct ODP_SecurityToken {
    uint32_t length;
    char *bytes; /* zero-terminated */
} ODP_SecurityToken;
typedef struct ODP_SecurityTable {
    uint32_t (*slot0)(void);
    uint32_t (*slot1)(void);
    uint32_t (*add_credential)(int32_t type, int32_t level, void *binding);           /* 2 */
    uint32_t (*check_common_arguments)(const GEN_SimpleName *peer, AS_SetHandle set); /* 3 */
    uint32_t (*slot4)(void);
    uint32_t (*slot5)(void);
    uint32_t (*event_begin)(void *context); /* 6 */
    uint32_t (*slot7)(void);
    uint32_t (*slot8)(void);
    uint32_t (*event_context)(const GEN_SimpleName *server, int32_t zero, void **context,
                              int32_t *handshake);         /* 9 */
    uint32_t (*event_abort)(const GEN_SimpleName *server); /* 10 */
    uint32_t (*event_handshake)(const GEN_SimpleName *server,
                                const ODP_SecurityToken *token); /* 11 */
    uint32_t (*slot12)(void);
} ODP_SecurityTable;

/* NOLINTBEGIN(readability-identifier-naming) */
/* 0 for a client program, else the type given to ODP_ServerInit. */
VR_EXPORT extern int32_t ODP__serverType;
/* Non-zero when ODP_PRTPDU is set: every argument, result and error PDU is
 * printed to the log, the dumps at severity 8 (letter M, which the log's
 * severities must include; the "printing PDU" lines before them are 6). */
VR_EXPORT extern int32_t ODP__printPDU;
/* 2 when ODP_OSSDBG is set, else 0. */
VR_EXPORT extern int32_t ODP__ossdbg;
/* NOLINTEND(readability-identifier-naming) */

/* Declares the process a DPA server of type 892 or 893 with its security
 * table (null: the default). Returns 0, or ODP_S_BADARG for another type
 * (nothing changes). */
VR_EXPORT uint32_t ODP_ServerInit(int32_t server_type, const ODP_SecurityTable *table);
/* On its first call: starts logging and reads ODP_OSSDBG and ODP_PRTPDU. */
VR_EXPORT void SetEnvFlags(void);
/* Binds the thread to the server the name service knows under the simple
 * name (form 7) with the object class; an empty name binds a local-only
 * handle. Already bound to it (a DCE/RPC entry of that server class and
 * name): nothing changes. */
VR_EXPORT int ODP_Initialize(STF_List *status, int32_t object_type, GEN_ObjectIdent server_name);
/* Binds the thread to the server of the record (copied). */
VR_EXPORT int ODP_Initialize2(STF_List *status, const NS_Object *server);
/* Releases the thread's handle; no handle is success. */
VR_EXPORT int ODP_Terminate(STF_List *status);
/* Request 1: the call time-out in seconds (at least 1). Request 0 (read
 * back) answers 0xC0090097. */
#define ODP_CONTROL_TIMEOUT 1
VR_EXPORT int ODP_ClientControl(STF_List *status, int32_t request, const int32_t *value);

/* The common arguments as the request carries them: the binding their
 * queue, printer or server name selects, the privilege record added. */
VR_EXPORT int CommonArgsToBER(STF_List *status, ODP_BerAttrSet **out,
                              const AS_SetHandle *common_arguments);

/* ---- Operations ------------------------------------------------------------ */

VR_EXPORT int ODP_CreateJob_C(STF_List *status, const GEN_SimpleName *printer_name,
                              const int32_t *submission_complete,
                              const AS_SetHandle *job_attributes,
                              const ODP_DocDescription *first_document,
                              const AS_SetHandle *common_arguments, ODP_PrintResult **result,
                              ERDPA_ErrorResult **error);
VR_EXPORT int ODP_AddDocument_C(STF_List *status, const char *existing_job,
                                const int32_t *submission_complete,
                                const ODP_DocDescription *new_document,
                                const AS_SetHandle *common_arguments, ODP_PrintResult **result,
                                ERDPA_ErrorResult **error);
VR_EXPORT int ODP_CloseJob_C(STF_List *status, const char *existing_job,
                             const AS_SetHandle *common_arguments, ODP_PrintResult **result,
                             ERDPA_ErrorResult **error);
VR_EXPORT int ODP_ListObjectAttributes_C(STF_List *status, GENU_ShortOID object_class,
                                         const int32_t *scope, const GEN_Selector *selector,
                                         const AS_IdentifierList *requested_attributes,
                                         const AS_SetHandle *common_arguments,
                                         ODP_ListResult **result, ERDPA_ErrorResult **error);
VR_EXPORT int ODP_ListObjectAttributeContinuation_C(STF_List *status,
                                                    const GEN_OctetString *context,
                                                    const AS_SetHandle *common_arguments,
                                                    ODP_ListResult **result,
                                                    ERDPA_ErrorResult **error);
VR_EXPORT int ODP_ListObjectAttributeAbort_C(STF_List *status, const GEN_OctetString *context,
                                             const AS_SetHandle *common_arguments,
                                             ODP_ListResult **result, ERDPA_ErrorResult **error);
VR_EXPORT int ODP_GetOrderedJobs_C(STF_List *status, GENU_ShortOID object_class,
                                   const int32_t *scope, const GEN_Selector *selector,
                                   const AS_IdentifierList *requested_attributes,
                                   const AS_SetHandle *common_arguments, ODP_ListResult **result,
                                   ERDPA_ErrorResult **error);
VR_EXPORT int ODP_GetOrderedJobsContinuation_C(STF_List *status, const GEN_OctetString *context,
                                               const AS_SetHandle *common_arguments,
                                               ODP_ListResult **result, ERDPA_ErrorResult **error);
VR_EXPORT int ODP_Create_C(STF_List *status, GENU_ShortOID object_class,
                           const GEN_ObjectIdent *object_instance,
                           const GEN_ObjectIdent *initial_value_object,
                           const uint8_t *force_creation, const AS_SetHandle *object_attributes,
                           const GEN_Message *message, const AS_SetHandle *common_arguments,
                           AS_SetHandle **result, ERDPA_ErrorResult **error);
/* Delete, clean, enable, disable and resume of an object. */
#define ODP_DECLARE_OBJECT_OP(name)                                                                \
    VR_EXPORT int ODP_##name##_C(STF_List *status, GENU_ShortOID object_class,                     \
                                 const GEN_ObjectIdent *object_instance,                           \
                                 const GEN_Message *message, const AS_SetHandle *common_arguments, \
                                 AS_SetHandle **result, ERDPA_ErrorResult **error);
ODP_DECLARE_OBJECT_OP(Delete)
ODP_DECLARE_OBJECT_OP(Clean)
ODP_DECLARE_OBJECT_OP(Enable)
ODP_DECLARE_OBJECT_OP(Disable)
ODP_DECLARE_OBJECT_OP(Resume)
#undef ODP_DECLARE_OBJECT_OP
/* The pause result holds the first affected job and its status; the others
 * are reached by listing the object's jobs afterwards. */
VR_EXPORT int ODP_Pause_C(STF_List *status, GENU_ShortOID object_class,
                          const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                          const AS_SetHandle *common_arguments, ODP_PauseResult **result,
                          ERDPA_ErrorResult **error);
VR_EXPORT int ODP_Set_C(STF_List *status, GENU_ShortOID object_class,
                        const GEN_ObjectIdent *object_instance,
                        const AS_SetHandle *attr_modification, const GEN_Message *message,
                        const AS_SetHandle *common_arguments, AS_SetHandle **result,
                        ERDPA_ErrorResult **error);
VR_EXPORT int ODP_Shutdown_C(STF_List *status, GENU_ShortOID object_class,
                             const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                             GENU_ShortOID when, const AS_SetHandle *common_arguments,
                             AS_SetHandle **result, ERDPA_ErrorResult **error);
/* `unused` is not carried. */
VR_EXPORT int ODP_Control_C(STF_List *status, GENU_ShortOID object_class,
                            const GEN_ObjectIdent *object_instance, int32_t unused,
                            AS_SetHandle operations, const AS_SetHandle *common_arguments,
                            AS_SetHandle **result, ERDPA_ErrorResult **error);
/* Job identifiers of more than 255 characters fail with ODP_S_JOBID_LONG
 * before anything is sent. */
VR_EXPORT int ODP_CancelJob_C(STF_List *status, const char *existing_job,
                              const int32_t *document_number, const GEN_Message *cancel_message,
                              const int32_t *retention_period, const AS_SetHandle *common_arguments,
                              AS_SetHandle **result, ERDPA_ErrorResult **error);
VR_EXPORT int ODP_PromoteJob_C(STF_List *status, const char *job_identification,
                               const GEN_Message *promote_message,
                               const AS_SetHandle *common_arguments, AS_SetHandle **result,
                               ERDPA_ErrorResult **error);
VR_EXPORT int ODP_PauseJob_C(STF_List *status, const ODP_JobOrPrinter *paused_job,
                             const GEN_Message *pause_message, const AS_SetHandle *common_arguments,
                             ODP_PauseJobResult **result, ERDPA_ErrorResult **error);
/* A checkpoint is accepted and not carried. */
VR_EXPORT int ODP_ResumeJob_C(STF_List *status, const char *resumed_job,
                              const GEN_Message *resume_message, const int32_t *checkpoint,
                              const AS_SetHandle *common_arguments, AS_SetHandle **result,
                              ERDPA_ErrorResult **error);
/* The interrupting job is required (at most 255 characters) and not
 * carried: the request has no field for it. *result is always null. */
VR_EXPORT int ODP_InterruptJob_C(STF_List *status, const ODP_JobOrPrinter *interrupted_job,
                                 const GEN_Message *interrupt_message, const char *interrupting_job,
                                 const AS_SetHandle *common_arguments,
                                 ODP_InterruptJobResult **result, ERDPA_ErrorResult **error);
VR_EXPORT int ODP_ResubmitJob_C(STF_List *status, GENU_ShortOID object_class,
                                const GEN_ObjectIdent *object_identification,
                                const GEN_DistNameString *printer, const GEN_Message *message,
                                const AS_SetHandle *common_arguments, ODP_ObjectStatusList **result,
                                ERDPA_ErrorResult **error);
VR_EXPORT int ODP_ModifyJob_C(STF_List *status, const char *job_identification,
                              const int32_t *document_number, AS_SetHandle job_attr_modification,
                              const GEN_Message *modify_message,
                              const AS_SetHandle *common_arguments, AS_SetHandle **result,
                              ERDPA_ErrorResult **error);
/* The result set is handed back only to a server of type 893. */
VR_EXPORT int ODP_SendEvent_C(STF_List *status, const GEN_NameOrOID *event,
                              AS_SetHandle event_attributes, const GEN_Message *message,
                              const AS_SetHandle *common_arguments, AS_SetHandle **result,
                              ERDPA_ErrorResult **error);

/* ---- DCE/RPC request interface ---------------------------------------------- */

/* A request packet: `length` bytes of BER (an argument, a result or an
 * error) in one block. */
/* NOLINTBEGIN(readability-identifier-naming) */
typedef struct ODP_RequestPacket {
    uint32_t length;
    unsigned char bytes[]; /* `length` bytes */
} ODP_RequestPacket;

/* The request interface (003f553e-fd5d-1bdf-8b74-10005aa872c0 version
 * 1.0), as an opaque interface handle; both name the same one. */
VR_EXPORT extern void *const clnt_dpa_if_v1_0_c_ifspec;
VR_EXPORT extern void *const dpa_if_v1_0_c_ifspec;

/* The memory of the packets the stub hands out: malloc and free. */
VR_EXPORT void *ODP_MIDL_user_allocate(size_t size);
VR_EXPORT void ODP_MIDL_user_free(void *block);

/* The client stub of the request operation: sends the operation number and
 * the request packet over `binding` (the RPC binding handle of a DCE/RPC
 * client handle) and waits for the reply, within the binding's cancel
 * time-out. Returns the RPC status of the call: 0 when the call completed,
 * with *result and *error (each null when the server sent none; release
 * them with ODP_MIDL_user_free), *error_kind and *remote_status (the
 * server's own status of the call, 0 for success). Otherwise the call
 * failed and the out parameters say nothing; among the statuses: 5 access
 * denied, 1701 a pointer that is not a binding, 1702 a null binding, 1722
 * server unavailable, 1723 server too busy, 1726 connection broken during
 * the call, 1753 no endpoint registered for the interface, 1818 call
 * cancelled (time-out), 14 memory exhausted; a fault the server sent
 * arrives as its status. */
VR_EXPORT int clnt_transfer_request(void *binding, uint16_t operation,
                                    const ODP_RequestPacket *request, ODP_RequestPacket **result,
                                    ODP_RequestPacket **error, uint16_t *error_kind,
                                    uint32_t *remote_status);
/* NOLINTEND(readability-identifier-naming) */

/* ---- ONC RPC records -------------------------------------------------------- */

struct __rpc_xdr;    /* XDR */
struct __rpc_client; /* CLIENT */

/* The procedure number of a request. */
#define ODP_ONC_PROCEDURE 1

/* One encoded packet: `encodePacket_len` bytes at `encodePacket_val`.
 * Decoding makes the bytes a new block of the heap (malloc), released by
 * the routine in XDR_FREE mode (xdr_free, clnt_freeres); a pointer already
 * in the record is not reused, so decode into a zeroed record. The count
 * is not bounded; decoding allocates only as the bytes arrive, so a count
 * larger than the data fails without a large allocation.
 * (The names keep the spelling of the ONC interface.) */
/* NOLINTBEGIN(readability-identifier-naming) */
typedef struct encodePacket {
    unsigned int encodePacket_len;
    char *encodePacket_val;
} encodePacket;

/* The argument of a request: the operation number and its encoded
 * argument. */
typedef struct ODP_argument_t {
    int operation;
    encodePacket request;
} ODP_argument_t;

/* The reply: the error kind (0 when there is no error), the encoded result
 * and the encoded error, each possibly empty. */
typedef struct ODP_result_t {
    int error_kind;
    encodePacket result;
    encodePacket error;
} ODP_result_t;

/* XDR routines of the records (bool_t results: 1 done, 0 failed). */
VR_EXPORT int xdr_encodePacket(struct __rpc_xdr *xdrs, encodePacket *packet);
VR_EXPORT int xdr_ODP_argument_t(struct __rpc_xdr *xdrs, ODP_argument_t *argument);
VR_EXPORT int xdr_ODP_result_t(struct __rpc_xdr *xdrs, ODP_result_t *result);

/* The client stub: calls procedure 1 with a 25-second time-out argument
 * (a time-out the client carries, CLSET_TIMEOUT, takes precedence) and
 * decodes the reply into *result, to be released with
 * clnt_freeres(client, xdr_ODP_result_t, result). Returns the RPC status,
 * an enum clnt_stat value: 0 (RPC_SUCCESS) when a reply was decoded. */
VR_EXPORT int odp_request_1(ODP_argument_t *argument, ODP_result_t *result,
                            struct __rpc_client *client);
/* NOLINTEND(readability-identifier-naming) */

VR_END_DECLS

#endif
