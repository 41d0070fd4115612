/* vrcore DPA error results: the error a server reports for an operation,
 * built up by a server while it works (ERDPA_ builders), carried as one of
 * eight error PDUs, and read back by the client.
 *
 * An error result is a kind and a record owned by the result; every
 * object identification, message and set in it is a deep copy made with
 * the process heap. Release it with ERDPA_FreeError. */
#ifndef VRCORE_ERDPA_H
#define VRCORE_ERDPA_H

#include "gen.h"
#include "genu.h"

VR_BEGIN_DECLS

/* Kinds, in rising precedence: a result of a higher kind replaces one of a
 * lower kind, and a lower one reported later is dropped. */
#define ERDPA_UPDATE 1
#define ERDPA_ATTRIBUTE 2
#define ERDPA_DOCUMENT_ACCESS 3
#define ERDPA_SELECTION 4
#define ERDPA_PRINTER 5
#define ERDPA_ACCESS 6
#define ERDPA_SERVICE 7
#define ERDPA_SECURITY 8

/* Problem forms: a standard problem has a code of its kind's table; an
 * extended problem holds an object identifier (a short identifier) in the
 * code field. */
#define ERDPA_STANDARD_PROBLEM 1
#define ERDPA_EXTENDED_PROBLEM 2

/* Update, document access and printer errors: one problem. */
typedef struct ERDPA_ObjectProblem {
    int32_t problem_form;
    uint32_t problem_code;
    GEN_ObjectIdent object;
    GEN_ErrorMessage message;
} ERDPA_ObjectProblem;

/* Security error: one problem. */
typedef struct ERDPA_SecurityProblem {
    int32_t problem_form;
    uint32_t problem_code;
    GEN_ErrorMessage message;
} ERDPA_SecurityProblem;

/* Access error: a list of problems. */
typedef struct ERDPA_AccessProblem {
    struct ERDPA_AccessProblem *next;
    GEN_ObjectIdent object;
    int32_t problem_form;
    uint32_t problem_code;
    GEN_ErrorMessage message;
} ERDPA_AccessProblem;

/* Attribute error: the object concerned (null when not known) and a list
 * of problems, each with a set holding a copy of the offending attribute
 * (the null handle when there is none). */
typedef struct ERDPA_AttributeProblem {
    struct ERDPA_AttributeProblem *next;
    int32_t problem_form;
    uint32_t problem_code;
    AS_SetHandle attribute;
    GEN_ErrorMessage message;
} ERDPA_AttributeProblem;
typedef struct ERDPA_AttributeError {
    GEN_ObjectIdent *object;
    ERDPA_AttributeProblem *problems;
} ERDPA_AttributeError;

/* Selection and service errors: a list of problems, each with an optional
 * set (a heap cell holding the handle of a copy; null when none). */
typedef struct ERDPA_SelectionProblem {
    struct ERDPA_SelectionProblem *next;
    int32_t problem_form;
    uint32_t problem_code;
    AS_SetHandle *set;
    GEN_ObjectIdent object;
    GEN_ErrorMessage message;
} ERDPA_SelectionProblem;
typedef ERDPA_SelectionProblem ERDPA_ServiceProblem;

/* The error result. data: an ERDPA_ObjectProblem (update, document
 * access, printer), ERDPA_SecurityProblem, ERDPA_AttributeError, or the
 * first ERDPA_AccessProblem / ERDPA_SelectionProblem of the list. */
typedef struct ERDPA_ErrorResult {
    uint32_t kind;
    void *data;
} ERDPA_ErrorResult;

/* Status codes. */
#define ERDPA_S_NORESULT 0xC0100065u /* no address of the result pointer */
#define ERDPA_S_ARG1 0xC0100066u     /* first required argument missing */
#define ERDPA_S_ARG2 0xC0100067u     /* second required argument missing */
#define ERDPA_S_ARG3 0xC0100068u     /* third required argument missing */
#define ERDPA_S_NOMEM 0xC0100069u    /* not enough memory */
#define ERDPA_S_ATTRCOPY 0xC010006Au /* the attribute could not be copied */
#define ERDPA_S_BADKIND 0xC010006Cu  /* unknown kind of error result */
#define ERDPA_S_NORECORD 0xC010006Eu /* the error result has no record of its kind */
#define ERDPA_S_INTERNAL 0xC010006Fu /* unexpected internal failure */

/* ---- Builders ------------------------------------------------------------
 * *result is the caller's error result (null: no error yet). Each builder
 * adds one standard problem with the code, subject to the precedence of
 * kinds: no result yet, or a lower kind, gives a new result of the
 * builder's kind (the old one is released); a higher kind drops the new
 * problem. The same kind appends to the list of access, selection and
 * service errors, appends to an attribute error only when the object
 * identifications are equal (both absent counts as equal), and keeps the
 * existing problem of update, document access, printer and security
 * errors. On failure *result is unchanged.
 * Missing required arguments: object identification ERDPA_S_ARG1 and
 * message ERDPA_S_ARG2 (update, document access, printer, access); message
 * ERDPA_S_ARG3 (attribute); object identification ERDPA_S_ARG2 and
 * message ERDPA_S_ARG3 (selection, service); message ERDPA_S_ARG1
 * (security). */
VR_EXPORT int ERDPA_Update(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                           const GEN_ObjectIdent *object, const GEN_ErrorMessage *message);
/* The attribute is copied into a set of its own. */
VR_EXPORT int ERDPA_Attribute(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                              AS_AttrHandle attribute, const GEN_ObjectIdent *object,
                              const GEN_ErrorMessage *message);
VR_EXPORT int ERDPA_DocumentAccess(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                                   const GEN_ObjectIdent *object, const GEN_ErrorMessage *message);
/* The set (may be the null handle) is copied. */
VR_EXPORT int ERDPA_Selection(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                              AS_SetHandle set, const GEN_ObjectIdent *object,
                              const GEN_ErrorMessage *message);
VR_EXPORT int ERDPA_Printer(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                            const GEN_ObjectIdent *object, const GEN_ErrorMessage *message);
VR_EXPORT int ERDPA_Access(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                           const GEN_ObjectIdent *object, const GEN_ErrorMessage *message);
VR_EXPORT int ERDPA_Service(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                            AS_SetHandle set, const GEN_ObjectIdent *object,
                            const GEN_ErrorMessage *message);
VR_EXPORT int ERDPA_Security(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                             const GEN_ErrorMessage *message);

/* Appends the trace of the result to the calling thread's open log
 * message (nothing when none is open): by kind, each problem's line, its
 * object identification, attribute or set and error message, and the
 * number of problems of the list kinds. The status list is not cleared.
 * A null result ERDPA_S_NORESULT, an unknown kind ERDPA_S_BADKIND, a kind
 * without its record ERDPA_S_NORECORD: the code is added and 1 returned. */
VR_EXPORT int ERDPA_EchoErrorResult(STF_List *status, const ERDPA_ErrorResult *result);

/* Releases the result with every problem, copy and set. Null: success. An
 * unknown kind: the record alone is released and 1 returned
 * (ERDPA_S_BADKIND). */
VR_EXPORT int ERDPA_FreeError(STF_List *status, ERDPA_ErrorResult *result);

/* A new string (process heap: free with GENU__CoveredFree) describing the
 * first problem: its message text for a standard problem, "Extended
 * Problem" for an extended one; fixed texts for a null result, an unknown
 * kind or a result without its record. NULL only when memory runs out. */
VR_EXPORT char *ErrorResult2String(const ERDPA_ErrorResult *result);

/* The constant text of a standard problem code of each kind. */
VR_EXPORT const char *ToAscii_AccessProblem(uint32_t problem);
VR_EXPORT const char *ToAscii_AttributeProblem(uint32_t problem);
VR_EXPORT const char *ToAscii_DocumentAccessProblem(uint32_t problem);
VR_EXPORT const char *ToAscii_PrinterProblem(uint32_t problem);
VR_EXPORT const char *ToAscii_SecurityProblem(uint32_t problem);
VR_EXPORT const char *ToAscii_SelectionProblem(uint32_t problem);
VR_EXPORT const char *ToAscii_ServiceProblem(uint32_t problem);
VR_EXPORT const char *ToAscii_UpdateProblem(uint32_t problem);

/* ---- Error messages --------------------------------------------------------
 * An error message as the error PDUs carry it: choice 1 a text, as one
 * complete encoding of the text syntax (ODP_PackAV); choice 2 the octets,
 * held by address. The conversions follow the value conversions of odp.h:
 * ToBER_errorMessage fills the caller's structure (the octets of choice 2
 * are borrowed from the value, the text encoding is a block of the
 * encoding context released by FreeBER_errorMessage); ToGEN_errorMessage
 * makes the library value with the allocator (NULL: the heap) and fails
 * with 0xC00E0098 when the message cannot be read back; FreeGEN_
 * releases what the value owns. A null argument: 0xC00E00A0. */
typedef struct ERDPA_BerErrorMessage {
    uint16_t choice;
    union {
        GENU_Buffer text;
        GENU_Buffer octets;
    } u;
} ERDPA_BerErrorMessage;
VR_EXPORT int ToBER_errorMessage(STF_List *status, void *ber, const GEN_ErrorMessage *value);
VR_EXPORT int FreeBER_errorMessage(STF_List *status, void *ber);
VR_EXPORT int ToGEN_errorMessage(STF_List *status, const void *ber, GEN_ErrorMessage *value,
                                 const GENU_Allocator *alloc);
VR_EXPORT int FreeGEN_errorMessage(STF_List *status, GEN_ErrorMessage *value,
                                   const GENU_Allocator *alloc);

/* ---- Error PDUs ------------------------------------------------------------
 * The error kind travels beside the PDU: wire kinds 1 attribute, 3 access,
 * 4 update, 9 security, 10 service, 11 document access, 12 printer, 13
 * selection; wire kind 0 lets the decoder find the PDU. */
#define ERDPA_PDU_ACCESS 180
#define ERDPA_PDU_ATTRIBUTE 183
#define ERDPA_PDU_DOCUMENT_ACCESS 186
#define ERDPA_PDU_PRINTER 189
#define ERDPA_PDU_SECURITY 192
#define ERDPA_PDU_SELECTION 195
#define ERDPA_PDU_SERVICE 198
#define ERDPA_PDU_UPDATE 201

/* The wire kind of an error kind (0 for an unknown one) and the PDU number
 * of a wire kind (-1 when it has none, 0 for wire kind 0). */
VR_EXPORT int32_t ERDPA_WireKind(uint32_t kind);
VR_EXPORT int ERDPA_WireKindToPDU(int32_t wire_kind);

/* Encodes the result as its error PDU (server side): *wire_kind receives
 * the kind to send, *out the bytes (release with _GENU__MyFree). */
VR_EXPORT int ERDPA_EncodeError(STF_List *status, const ERDPA_ErrorResult *result,
                                int32_t *wire_kind, GENU_Buffer *out);
/* Decodes an error PDU of the wire kind into a new error result (client
 * side); *out is null on failure. Undecodable bytes or a wire kind without
 * a PDU: 0xC009006A. */
VR_EXPORT int ERDPA_DecodeError(STF_List *status, int32_t wire_kind, const unsigned char *bytes,
                                uint32_t length, ERDPA_ErrorResult **out);

VR_END_DECLS

#endif /* VRCORE_ERDPA_H */
