/* vrcore operation arguments and results: the structures the BER runtime
 * encodes for each DPA operation, the document description shared by the
 * print operations, and the conversions of results into library values.
 *
 * Fields holding a value of a value syntax (object identification,
 * message, simple name, name or identifier, distinguished-name string,
 * document content, generalized time, checkpoint, filter) carry one
 * complete encoding of that syntax (ODP_PackAV); identifiers carry the
 * content octets of their encoding (GENU_ShortToBerOID); attribute sets
 * and modification sets are the lists of odpas.h. Each structure with
 * optional fields begins with one octet of presence bits, the first
 * optional field 0x80, the next 0x40 and so on. Decoded structures are
 * released with GENU_OssFreePDU under their PDU number. */
#ifndef VRCORE_ODPOPS_H
#define VRCORE_ODPOPS_H

#include "odpas.h"

VR_BEGIN_DECLS

/* PDU numbers of the arguments and results. */
#define ODP_PDU_PRINT_ARG 146
#define ODP_PDU_PRINT_RES 148
#define ODP_PDU_MODIFY_JOB_ARG 150
#define ODP_PDU_MODIFY_JOB_RES 153
#define ODP_PDU_CANCEL_JOB_ARG 155
#define ODP_PDU_CANCEL_JOB_RES 156
#define ODP_PDU_LIST_ARG 158
#define ODP_PDU_LIST_RES 164
#define ODP_PDU_PROMOTE_JOB_ARG 168
#define ODP_PDU_PROMOTE_JOB_RES 169
#define ODP_PDU_INTERRUPT_JOB_ARG 171
#define ODP_PDU_INTERRUPT_JOB_RES 172
#define ODP_PDU_PAUSE_JOB_ARG 174
#define ODP_PDU_PAUSE_JOB_RES 175
#define ODP_PDU_RESUME_JOB_ARG 177
#define ODP_PDU_RESUME_JOB_RES 178
#define ODP_PDU_CLEAN_ARG 204
#define ODP_PDU_CLEAN_RES 205
#define ODP_PDU_CONTROL_ARG 207
#define ODP_PDU_CONTROL_RES 208
#define ODP_PDU_CREATE_ARG 210
#define ODP_PDU_CREATE_RES 211
#define ODP_PDU_DELETE_ARG 213
#define ODP_PDU_DELETE_RES 214
#define ODP_PDU_DISABLE_ARG 216
#define ODP_PDU_DISABLE_RES 217
#define ODP_PDU_ENABLE_ARG 219
#define ODP_PDU_ENABLE_RES 220
#define ODP_PDU_PAUSE_ARG 222
#define ODP_PDU_PAUSE_RES 223
#define ODP_PDU_RESUBMIT_JOB_ARG 225
#define ODP_PDU_RESUBMIT_JOB_RES 226
#define ODP_PDU_RESUME_ARG 229
#define ODP_PDU_RESUME_RES 230
#define ODP_PDU_SEND_EVENT_ARG 232
#define ODP_PDU_SEND_EVENT_RES 233
#define ODP_PDU_SET_ARG 235
#define ODP_PDU_SET_RES 237
#define ODP_PDU_SHUTDOWN_ARG 239
#define ODP_PDU_SHUTDOWN_RES 240

/* The argument and result PDU numbers of an operation code 0..29 (0 for
 * the unused codes and codes out of range). */
VR_EXPORT int ODP_ArgumentPDU(int32_t operation);
VR_EXPORT int ODP_ResultPDU(int32_t operation);

typedef char ODP_BerJobId[256]; /* NUL-terminated, at most 255 characters */

/* ---- Document description ---------------------------------------------- */

/* The library's description: each part absent when null. */
typedef struct ODP_DocDescription {
    const GENU_ShortOID *transfer_method;
    const GEN_DocumentContent *content;
    const GENU_ShortOID *document_type;
    const AS_SetHandle *attributes;
} ODP_DocDescription;

typedef struct ODP_BerDocDescription {
    uint8_t bit_mask; /* 0x80 method, 0x40 content, 0x20 type, 0x10 attributes */
    GENU_BerOID transfer_method;
    GENU_Buffer content;
    GENU_BerOID document_type;
    ODP_BerAttrSet *attributes;
} ODP_BerDocDescription;

/* Fills *out (unknown identifiers 0xC00E00A5, a content that cannot be
 * packed 0xC00E007D, a set 0xC00E0070); on failure nothing stays
 * allocated. */
VR_EXPORT int ToBER_docDescription(STF_List *status, ODP_BerDocDescription *out,
                                   const ODP_DocDescription *in);
/* Releases what ToBER_docDescription built; null: 0xC00E006C. */
VR_EXPORT int FreeBER_docDescription(STF_List *status, ODP_BerDocDescription *ber);

/* ---- Arguments ------------------------------------------------------------ */

typedef struct ODP_BerCreateJobArg {
    uint8_t bit_mask; /* 0x80 complete, 0x40 job attributes, 0x20 first document, 0x10 common */
    GENU_Buffer printer_name;
    uint8_t job_submission_complete;
    ODP_BerAttrSet *job_attributes;
    ODP_BerDocDescription first_document;
    ODP_BerAttrSet *common_arguments;
} ODP_BerCreateJobArg;
typedef struct ODP_BerAddDocumentArg {
    uint8_t bit_mask; /* 0x80 complete, 0x40 common */
    ODP_BerJobId existing_job;
    uint8_t job_submission_complete;
    ODP_BerDocDescription new_document;
    ODP_BerAttrSet *common_arguments;
} ODP_BerAddDocumentArg;
typedef struct ODP_BerCloseJobArg {
    uint8_t bit_mask; /* 0x80 common */
    ODP_BerJobId existing_job;
    ODP_BerAttrSet *common_arguments;
} ODP_BerCloseJobArg;
/* Print argument: choice 1 create job, 2 add document, 3 close job. */
typedef struct ODP_BerPrintArg {
    uint16_t choice;
    union {
        ODP_BerCreateJobArg create_job;
        ODP_BerAddDocumentArg add_document;
        ODP_BerCloseJobArg close_job;
    } u;
} ODP_BerPrintArg;

typedef struct ODP_BerOidNode {
    struct ODP_BerOidNode *next;
    GENU_BerOID oid;
} ODP_BerOidNode;
typedef struct ODP_BerValueList {
    struct ODP_BerValueList *next;
    GENU_Buffer value;
} ODP_BerValueList;

/* Filters: an item compares with the values of an attribute (choices 1,
 * 3, 4, 6, 7, 8), matches substrings (2) or tests presence (5). */
typedef struct ODP_BerSubstrings {
    uint8_t bit_mask; /* 0x80 initial, 0x40 any, 0x20 final */
    GENU_BerOID type;
    int32_t match;
    GENU_Buffer initial;
    ODP_BerValueNode *any;
    GENU_Buffer final;
} ODP_BerSubstrings;
typedef struct ODP_BerFilterItem {
    uint16_t choice;
    union {
        ODP_BerAttribute attribute;
        ODP_BerSubstrings substrings;
        GENU_BerOID present;
    } u;
} ODP_BerFilterItem;
struct ODP_BerFilterList;
/* Filter: choice 1 item, 2 and, 3 or, 4 not. */
typedef struct ODP_BerFilter {
    uint16_t choice;
    union {
        ODP_BerFilterItem item;
        struct ODP_BerFilterList *and_set;
        struct ODP_BerFilterList *or_set;
        struct ODP_BerFilter *not_filter;
    } u;
} ODP_BerFilter;
typedef struct ODP_BerFilterList {
    struct ODP_BerFilterList *next;
    ODP_BerFilter filter;
} ODP_BerFilterList;

typedef struct ODP_BerSelector {
    uint8_t bit_mask; /* 0x80 identifications, 0x40 filter, 0x20 time, 0x10 count */
    ODP_BerValueList *object_identifications;
    ODP_BerFilter *filter;
    int32_t time_limit;
    int32_t count_limit;
} ODP_BerSelector;

/* Selectors and filters of the list operations. A selector sends its
 * object identifications only when the list is present and its first
 * element set. Attributes of filter items travel as ToBER_AVA makes them;
 * substring values are packed under the attribute's syntax, which must be
 * the registry's (else 0xC00E00A0). Filters nest at most as deep as the
 * runtime allows. On failure nothing stays allocated. */
VR_EXPORT int ToBER_filter(STF_List *status, ODP_BerFilter *out, const GEN_Filter *in);
VR_EXPORT int FreeBER_filter(STF_List *status, ODP_BerFilter *ber);
VR_EXPORT int ToBER_selector(STF_List *status, ODP_BerSelector *out, const GEN_Selector *in);
VR_EXPORT int FreeBER_selector(STF_List *status, ODP_BerSelector *ber);
/* The library forms are made on the process heap; release them with
 * GEN_DeepDeleteFilter / GEN_DeepDeleteSelector and a null allocator. */
VR_EXPORT int ToGEN_filter(STF_List *status, const ODP_BerFilter *ber, GEN_Filter *out);
VR_EXPORT int ToGEN_selector(STF_List *status, const ODP_BerSelector *ber, GEN_Selector *out);
typedef struct ODP_BerNewListArg {
    uint8_t bit_mask; /* 0x80 scope, 0x40 selector, 0x20 requested, 0x10 never, 0x08 common */
    GENU_BerOID object_class;
    int32_t scope;
    ODP_BerSelector selector;
    ODP_BerOidNode *requested_attributes;
    uint8_t reserved;
    ODP_BerAttrSet *common_arguments;
} ODP_BerNewListArg;
typedef struct ODP_BerContinueListArg {
    uint8_t bit_mask; /* 0x80 abort, 0x40 common */
    GENU_Buffer context;
    int32_t abort;
    ODP_BerAttrSet *common_arguments;
} ODP_BerContinueListArg;
/* List argument: choice 1 continuation or abort, 2 new list. */
typedef struct ODP_BerListArg {
    uint16_t choice;
    union {
        ODP_BerContinueListArg continuation;
        ODP_BerNewListArg new_list;
    } u;
} ODP_BerListArg;

/* Enable, disable, delete, clean, pause, resume; shutdown adds `when`. */
typedef struct ODP_BerObjectOpArg {
    uint8_t bit_mask; /* 0x80 message, 0x40 common */
    GENU_BerOID object_class;
    GENU_Buffer object_instance;
    GENU_Buffer message;
    ODP_BerAttrSet *common_arguments;
    GENU_BerOID when;
} ODP_BerObjectOpArg;

typedef struct ODP_BerSetArg {
    uint8_t bit_mask; /* 0x80 message, 0x40 modification, 0x20 common */
    GENU_BerOID object_class;
    GENU_Buffer object_instance;
    GENU_Buffer message;
    ODP_BerModAttrSet *attr_modification;
    ODP_BerAttrSet *common_arguments;
} ODP_BerSetArg;

typedef struct ODP_BerControlArg {
    uint8_t bit_mask; /* 0x80 never, 0x40 common */
    GENU_BerOID object_class;
    GENU_Buffer object_instance;
    uint8_t reserved;
    ODP_BerAttrSet *operations;
    ODP_BerAttrSet *common_arguments;
} ODP_BerControlArg;

typedef struct ODP_BerCreateArg {
    uint8_t bit_mask; /* 0x80 message, 0x40 initial, 0x20 force, 0x10 attributes, 0x08 common */
    GENU_BerOID object_class;
    GENU_Buffer object_instance;
    GENU_Buffer message;
    GENU_Buffer initial_value_object;
    uint8_t force_creation;
    ODP_BerAttrSet *object_attributes;
    ODP_BerAttrSet *common_arguments;
} ODP_BerCreateArg;

typedef struct ODP_BerSendEventArg {
    uint8_t bit_mask; /* 0x80 attributes, 0x40 message, 0x20 common */
    GENU_Buffer event;
    ODP_BerAttrSet *event_attributes;
    GENU_Buffer message;
    ODP_BerAttrSet *common_arguments;
} ODP_BerSendEventArg;

typedef struct ODP_BerCancelJobArg {
    uint8_t bit_mask; /* 0x80 document, 0x40 message, 0x20 retention, 0x10 common */
    ODP_BerJobId existing_job;
    int32_t document_number;
    GENU_Buffer cancel_message;
    int32_t retention_period;
    ODP_BerAttrSet *common_arguments;
} ODP_BerCancelJobArg;

typedef struct ODP_BerModifyJobArg {
    uint8_t bit_mask; /* 0x80 document, 0x40 message, 0x20 common */
    ODP_BerJobId job_identification;
    int32_t document_number;
    ODP_BerModAttrSet *job_attr_modification;
    GENU_Buffer modify_message;
    ODP_BerAttrSet *common_arguments;
} ODP_BerModifyJobArg;

typedef struct ODP_BerPromoteJobArg {
    uint8_t bit_mask; /* 0x80 message, 0x40 common */
    ODP_BerJobId job_identification;
    GENU_Buffer promote_message;
    ODP_BerAttrSet *common_arguments;
} ODP_BerPromoteJobArg;

/* Pause job and interrupt job: the job by choice 1 identifier or 2
 * printer (a simple name). */
typedef struct ODP_BerJobOrPrinter {
    uint16_t choice;
    union {
        ODP_BerJobId job;
        GENU_Buffer printer;
    } u;
} ODP_BerJobOrPrinter;
typedef struct ODP_BerPauseJobArg {
    uint8_t bit_mask; /* 0x80 message, 0x40 common */
    ODP_BerJobOrPrinter job;
    GENU_Buffer message;
    ODP_BerAttrSet *common_arguments;
} ODP_BerPauseJobArg;

typedef struct ODP_BerResumeJobArg {
    uint8_t bit_mask; /* 0x80 message, 0x40 checkpoint (never sent), 0x20 common */
    ODP_BerJobId resumed_job;
    GENU_Buffer resume_message;
    GENU_Buffer checkpoint;
    ODP_BerAttrSet *common_arguments;
} ODP_BerResumeJobArg;

typedef struct ODP_BerResubmitJobArg {
    uint8_t bit_mask; /* 0x80 message, 0x40 common */
    GENU_BerOID object_class;
    GENU_Buffer object_identification;
    GENU_Buffer printer;
    GENU_Buffer message;
    ODP_BerAttrSet *common_arguments;
} ODP_BerResubmitJobArg;

/* ---- Results ---------------------------------------------------------------- */

typedef struct ODP_BerPrintRes {
    uint8_t bit_mask; /* 0x80 job object (oid), 0x40 message, 0x20 document status */
    ODP_BerJobId job_identification;
    GENU_BerOID oid;
    GENU_Buffer server_message;
    ODP_BerAttrSet *document_status;
    ODP_BerAttrSet *job_status;
} ODP_BerPrintRes;

typedef struct ODP_BerObjectResult {
    struct ODP_BerObjectResult *next;
    GENU_Buffer object_identification;
    ODP_BerAttrSet *attribute_set;
    GENU_BerOID object_class;
} ODP_BerObjectResult;
typedef struct ODP_BerListRes {
    uint8_t bit_mask; /* 0x80 continuation, 0x40 limit */
    GENU_Buffer answer_time;
    GENU_Buffer continuation;
    int32_t limit_encountered;
    ODP_BerObjectResult *result_set; /* absent when null */
} ODP_BerListRes;

/* The results of enable, disable, delete, clean, resume, shutdown, set,
 * control, send event, cancel job, promote job, resume job, modify job
 * and create (create: no presence bit, absent when null). */
typedef struct ODP_BerObjectOpRes {
    uint8_t bit_mask; /* 0x80 attribute set */
    ODP_BerAttrSet *attribute_set;
} ODP_BerObjectOpRes;

typedef struct ODP_BerPauseJobRes {
    uint8_t bit_mask; /* 0x80 job status */
    ODP_BerJobId paused_job_identifier;
    ODP_BerValueList *checkpoint;
    ODP_BerAttrSet *job_status;
} ODP_BerPauseJobRes;

typedef struct ODP_BerInterruptJobRes {
    ODP_BerJobId interrupted_job_identifier;
    ODP_BerAttrSet *job_status;
} ODP_BerInterruptJobRes;

/* Pause: each affected job with its pause status. */
typedef struct ODP_BerPausedJob {
    struct ODP_BerPausedJob *next;
    uint8_t bit_mask; /* 0x80 status */
    ODP_BerJobId job;
    ODP_BerAttrSet *status;
} ODP_BerPausedJob;

typedef struct ODP_BerObjectStatus {
    struct ODP_BerObjectStatus *next;
    uint8_t bit_mask; /* 0x80 attribute set */
    ODP_BerAttrSet *attribute_set;
} ODP_BerObjectStatus;

/* The PDU structure of a list result is the structure itself; that of
 * the pause and resubmit results is the head of their list. */

/* ---- Results as library values ------------------------------------------
 * Every conversion takes the decoded structure (null: a null record and
 * success) and makes a new record on the process heap; release it with
 * the matching FreeGEN_ function. */

typedef struct ODP_PrintResult {
    GEN_JobIdentifier job_identification;
    GENU_ShortOID *oid;
    GEN_Message *server_message;
    AS_SetHandle *document_status;
    AS_SetHandle job_status;
} ODP_PrintResult;

typedef struct ODP_ObjectResult {
    struct ODP_ObjectResult *next;
    GEN_ObjectIdent object_identification;
    AS_SetHandle attribute_set;
    GENU_ShortOID object_class;
} ODP_ObjectResult;

typedef struct ODP_ListResult {
    GEN_GeneralizedTime answer_time;
    GEN_OctetString *continuation;
    int32_t *limit_encountered; /* 0, 1 or 2 */
    ODP_ObjectResult *result_set;
} ODP_ListResult;

typedef struct ODP_CheckpointList {
    struct ODP_CheckpointList *next;
    GEN_Checkpoint checkpoint;
} ODP_CheckpointList;

typedef struct ODP_PauseJobResult {
    GEN_JobIdentifier paused_job_identifier;
    ODP_CheckpointList *checkpoint;
    AS_SetHandle job_status; /* the null handle when absent */
} ODP_PauseJobResult;

typedef struct ODP_InterruptJobResult {
    GEN_JobIdentifier interrupted_job_identifier;
    AS_SetHandle job_status;
} ODP_InterruptJobResult;

/* The job of pause job and interrupt job: kind 1 a job identifier, any
 * other kind a printer's simple name. */
#define ODP_JOB_OR_PRINTER_JOB 1
#define ODP_JOB_OR_PRINTER_PRINTER 2
typedef struct ODP_JobOrPrinter {
    int32_t kind;
    union {
        GEN_JobIdentifier job;
        GEN_SimpleName printer;
    } u;
} ODP_JobOrPrinter;

/* The pause result: the affected job (bit 0x80) and its pause status
 * (bit 0x40). */
#define ODP_PAUSE_RESULT_JOB 0x80
#define ODP_PAUSE_RESULT_STATUS 0x40
typedef struct ODP_PauseResult {
    uint8_t bit_mask;
    GEN_JobIdentifier affected_job;
    AS_SetHandle pause_status;
} ODP_PauseResult;

typedef struct ODP_ObjectStatusList {
    struct ODP_ObjectStatusList *next;
    AS_SetHandle *set; /* null when the element carried none */
} ODP_ObjectStatusList;

VR_EXPORT int ToGEN_printResult(STF_List *status, const ODP_BerPrintRes *ber,
                                ODP_PrintResult **out);
VR_EXPORT int FreeGEN_printResult(STF_List *status, ODP_PrintResult *value,
                                  const GENU_Allocator *alloc);
/* limit-encountered outside 0..2 fails. */
VR_EXPORT int ToGEN_listResult(STF_List *status, const ODP_BerListRes *ber, ODP_ListResult **out);
VR_EXPORT int FreeGEN_listResult(STF_List *status, ODP_ListResult *value,
                                 const GENU_Allocator *alloc);
VR_EXPORT int ToGEN_objectResult(STF_List *status, const ODP_BerObjectResult *ber,
                                 ODP_ObjectResult **out);
VR_EXPORT int ToGEN_setOfObjectResult(STF_List *status, const ODP_BerObjectResult *ber,
                                      ODP_ObjectResult **out);
/* Releases a list of object results. */
VR_EXPORT int FreeGEN_setOfObjectResult(STF_List *status, ODP_ObjectResult *value,
                                        const GENU_Allocator *alloc);
VR_EXPORT int ToGEN_pauseJobResult(STF_List *status, const ODP_BerPauseJobRes *ber,
                                   ODP_PauseJobResult **out);
VR_EXPORT int FreeGEN_pauseJobResult(STF_List *status, ODP_PauseJobResult *value,
                                     const GENU_Allocator *alloc);
VR_EXPORT int ToGEN_interruptJobResult(STF_List *status, const ODP_BerInterruptJobRes *ber,
                                       ODP_InterruptJobResult **out);
VR_EXPORT int FreeGEN_interruptJobResult(STF_List *status, ODP_InterruptJobResult *value,
                                         const GENU_Allocator *alloc);
/* The resubmit result: one node per object status, in order. */
VR_EXPORT int _ToGEN_ResubmitJobResult(STF_List *status, const ODP_BerObjectStatus *ber,
                                       ODP_ObjectStatusList **out);
VR_EXPORT int FreeGEN_ResubmitJobResult(STF_List *status, ODP_ObjectStatusList *value,
                                        const GENU_Allocator *alloc);
/* The object operation results: a new set (a heap cell holding the
 * handle, as MallocAStoGEN), or null when the result carries none. */
VR_EXPORT int ToGEN_objectOpResult(STF_List *status, const ODP_BerObjectOpRes *ber,
                                   AS_SetHandle **out);

VR_END_DECLS

#endif /* VRCORE_ODPOPS_H */
