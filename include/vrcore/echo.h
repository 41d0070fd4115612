/* vrcore operation trace: the arguments and the outcome of every DPA
 * operation as one informational (severity 6) log message.
 *
 * EchoIn<Operation> traces the arguments as the operation receives them,
 * EchoOut<Operation> its result and error result. Each begins with its
 * own name and the caller's tag ("called from <NULL>" without one), then
 * one entry per argument: "\t<label> = <value>" for a simple value,
 * "\t<label>:" (sets "\t<label> =") and the value's lines for a composite
 * one, " = OPTION not specified" for an absent optional argument and
 * " = NULL [ERROR]" for an absent required one. Nothing is formatted when
 * severity 6 is not logged.
 *
 * The trace cannot fail the operation that calls it: every Echo function
 * answers 0 and leaves the caller's status list as it is. A value the
 * trace cannot read shows its error marker.
 *
 * Optional arguments are passed by address (null: absent); a set argument
 * is absent when its address or the handle is null. The composite
 * renderers (EchoFilter and those after it) append to the calling thread's
 * open log message and write nothing when none is open. */
#ifndef VRCORE_ECHO_H
#define VRCORE_ECHO_H

#include "as.h"
#include "erdpa.h"
#include "gen.h"
#include "odpops.h"

VR_BEGIN_DECLS

/* ---- Composite renderings ------------------------------------------------ */

VR_EXPORT int EchoDocumentDescription(STF_List *status, const ODP_DocDescription *description);
VR_EXPORT int EchoDocumentContent(STF_List *status, const GEN_DocumentContent *content);
/* A referenced document: the lengths of its application entity's
 * selectors and of its specific reference. */
VR_EXPORT int EchoDOR(STF_List *status, const GEN_FileReference *reference);
/* A filter tree, one node a line, indented three blanks a level from the
 * sixth level. */
VR_EXPORT int EchoFilter(STF_List *status, const GEN_Filter *filter);
VR_EXPORT int EchoSelector(STF_List *status, const GEN_Selector *selector);
VR_EXPORT int EchoJobOrPrinter(STF_List *status, const ODP_JobOrPrinter *job);
VR_EXPORT int EchoPrintResult(STF_List *status, const ODP_PrintResult *result);
VR_EXPORT int EchoListObjAttrsResult(STF_List *status, const ODP_ListResult *result);
VR_EXPORT int EchoPauseJobResult(STF_List *status, const ODP_PauseJobResult *result);
VR_EXPORT int EchoInterruptJobResult(STF_List *status, const ODP_InterruptJobResult *result);

/* ---- Arguments ------------------------------------------------------------ */

/* Job-submission-complete: 0 FALSE, other TRUE, absent DEFAULT. */
VR_EXPORT int
EchoInCreateJob(STF_List *status, const char *caller, const GEN_SimpleName *printer_name,
                const int32_t *submission_complete, const AS_SetHandle *job_attributes,
                const ODP_DocDescription *first_document, const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInAddDocument(STF_List *status, const char *caller, const char *existing_job,
                                const int32_t *submission_complete,
                                const ODP_DocDescription *new_document,
                                const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInCloseJob(STF_List *status, const char *caller, const char *existing_job,
                             const AS_SetHandle *common_arguments);
/* Requested attributes: absent means all, a count of 0 none. */
VR_EXPORT int EchoInListObjectAttributes(STF_List *status, const char *caller,
                                         GENU_ShortOID object_class, const int32_t *scope,
                                         const GEN_Selector *selector,
                                         const AS_IdentifierList *requested_attributes,
                                         const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInListObjectAttributeContinuation(STF_List *status, const char *caller,
                                                    const GEN_OctetString *context,
                                                    const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInListObjectAttributeAbort(STF_List *status, const char *caller,
                                             const GEN_OctetString *context,
                                             const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInGetOrderedJobs(STF_List *status, const char *caller, GENU_ShortOID object_class,
                                   const int32_t *scope, const GEN_Selector *selector,
                                   const AS_IdentifierList *requested_attributes,
                                   const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInGetOrderedJobsContinuation(STF_List *status, const char *caller,
                                               const GEN_OctetString *context,
                                               const AS_SetHandle *common_arguments);
/* Force-creation: 0 FALSE, 1 TRUE, absent DEFAULT, another value an error. */
VR_EXPORT int EchoInCreate(STF_List *status, const char *caller, GENU_ShortOID object_class,
                           const GEN_ObjectIdent *object_instance,
                           const GEN_ObjectIdent *initial_value_object,
                           const uint8_t *force_creation, const AS_SetHandle *object_attributes,
                           const GEN_Message *message, const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInDelete(STF_List *status, const char *caller, GENU_ShortOID object_class,
                           const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                           const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInSet(STF_List *status, const char *caller, GENU_ShortOID object_class,
                        const GEN_ObjectIdent *object_instance,
                        const AS_SetHandle *attr_modification, const GEN_Message *message,
                        const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInClean(STF_List *status, const char *caller, GENU_ShortOID object_class,
                          const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                          const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInEnable(STF_List *status, const char *caller, GENU_ShortOID object_class,
                           const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                           const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInDisable(STF_List *status, const char *caller, GENU_ShortOID object_class,
                            const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                            const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInPause(STF_List *status, const char *caller, GENU_ShortOID object_class,
                          const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                          const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInResume(STF_List *status, const char *caller, GENU_ShortOID object_class,
                           const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                           const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInShutdown(STF_List *status, const char *caller, GENU_ShortOID object_class,
                             const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                             GENU_ShortOID when, const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInControl(STF_List *status, const char *caller, GENU_ShortOID object_class,
                            const GEN_ObjectIdent *object_instance, AS_SetHandle operations,
                            const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInCancelJob(STF_List *status, const char *caller, const char *existing_job,
                              const int32_t *document_number, const GEN_Message *cancel_message,
                              const int32_t *retention_period,
                              const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInPromoteJob(STF_List *status, const char *caller, const char *job_identification,
                               const GEN_Message *promote_message,
                               const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInPauseJob(STF_List *status, const char *caller,
                             const ODP_JobOrPrinter *paused_job, const GEN_Message *pause_message,
                             const AS_SetHandle *common_arguments);
/* A given checkpoint is not carried and shows as such. */
VR_EXPORT int EchoInResumeJob(STF_List *status, const char *caller, const char *resumed_job,
                              const GEN_Message *resume_message, const int32_t *checkpoint,
                              const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInInterruptJob(STF_List *status, const char *caller,
                                 const ODP_JobOrPrinter *interrupted_job,
                                 const GEN_Message *interrupt_message, const char *interrupting_job,
                                 const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInResubmitJob(STF_List *status, const char *caller, GENU_ShortOID object_class,
                                const GEN_ObjectIdent *object_identification,
                                const GEN_DistNameString *printer, const GEN_Message *message,
                                const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInModifyJob(STF_List *status, const char *caller, const char *job_identification,
                              const int32_t *document_number, AS_SetHandle job_attr_modification,
                              const GEN_Message *modify_message,
                              const AS_SetHandle *common_arguments);
VR_EXPORT int EchoInSendEvent(STF_List *status, const char *caller, const GEN_NameOrOID *event,
                              AS_SetHandle event_attributes, const GEN_Message *message,
                              const AS_SetHandle *common_arguments);

/* ---- Results ---------------------------------------------------------------
 * The error result (null: none) and the result (null: none). A set result
 * is the address of the handle, as the operations hand it back. */

#define VR_ECHO_OUT_DECL(op, type)                                                                 \
    VR_EXPORT int EchoOut##op(STF_List *status, const char *caller, type result,                   \
                              const ERDPA_ErrorResult *error);
VR_ECHO_OUT_DECL(CreateJob, const ODP_PrintResult *)
VR_ECHO_OUT_DECL(AddDocument, const ODP_PrintResult *)
VR_ECHO_OUT_DECL(CloseJob, const ODP_PrintResult *)
VR_ECHO_OUT_DECL(ListObjectAttributes, const ODP_ListResult *)
VR_ECHO_OUT_DECL(ListObjectAttributeContinuation, const ODP_ListResult *)
VR_ECHO_OUT_DECL(ListObjectAttributeAbort, const ODP_ListResult *)
VR_ECHO_OUT_DECL(GetOrderedJobs, const ODP_ListResult *)
VR_ECHO_OUT_DECL(GetOrderedJobsContinuation, const ODP_ListResult *)
VR_ECHO_OUT_DECL(Create, const AS_SetHandle *)
VR_ECHO_OUT_DECL(Delete, const AS_SetHandle *)
VR_ECHO_OUT_DECL(Set, const AS_SetHandle *)
VR_ECHO_OUT_DECL(Clean, const AS_SetHandle *)
VR_ECHO_OUT_DECL(Enable, const AS_SetHandle *)
VR_ECHO_OUT_DECL(Disable, const AS_SetHandle *)
VR_ECHO_OUT_DECL(Pause, const ODP_PauseResult *)
VR_ECHO_OUT_DECL(Resume, const AS_SetHandle *)
VR_ECHO_OUT_DECL(Shutdown, const AS_SetHandle *)
VR_ECHO_OUT_DECL(Control, const AS_SetHandle *)
VR_ECHO_OUT_DECL(CancelJob, const AS_SetHandle *)
VR_ECHO_OUT_DECL(PromoteJob, const AS_SetHandle *)
VR_ECHO_OUT_DECL(PauseJob, const ODP_PauseJobResult *)
VR_ECHO_OUT_DECL(ResumeJob, const AS_SetHandle *)
VR_ECHO_OUT_DECL(InterruptJob, const ODP_InterruptJobResult *)
VR_ECHO_OUT_DECL(ResubmitJob, const ODP_ObjectStatusList *)
VR_ECHO_OUT_DECL(ModifyJob, const AS_SetHandle *)
VR_ECHO_OUT_DECL(SendEvent, const AS_SetHandle *)
#undef VR_ECHO_OUT_DECL

VR_END_DECLS

#endif /* VRCORE_ECHO_H */
