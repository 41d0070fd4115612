// The trace of each operation's arguments (EchoIn...) and outcome
// (EchoOut...): one severity-6 message each, formatted only when that
// severity is logged.
#include "client/echo_trace.h"
#include "system/guard.h"
#include "vrcore/echo.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"
#include "vrcore/thr.h"

namespace vrcore::client {

namespace {

constexpr int kTraceSeverity = 6;

// Runs `body` inside the operation's message, between the traces of entry
// and exit. The operations whose header names the thread pass with_thread.
template <typename Fn>
int Traced(const char *name, const char *caller, bool with_thread, int line, Fn body) {
    LOG_CondFuncTrace(name, __FILE__, line, 1, nullptr);
    if (LOG_StartMessage(kTraceSeverity, __FILE__, line, nullptr)) {
        const char *from = caller ? caller : "<NULL>";
        if (with_thread) {
            THR_ThreadId id = 0;
            THR_GetThreadHandle(&id);
            LOG_CondAdd("%s: called from %s, from thread %d\n", name, from, static_cast<int>(id));
        } else {
            LOG_CondAdd("%s:  called from %s\n", name, from);
        }
        body();
        LOG_EndMessage();
    }
    LOG_CondFuncTrace(name, __FILE__, line, 0, nullptr);
    return 0;
}

void Common(const AS_SetHandle *common) { SetEntry("common-arguments", common, false, ":"); }

void Flag(const char *label, const int32_t *flag) {
    LOG_CondAdd("\t%s = %s\n", label, !flag ? "DEFAULT" : *flag ? "TRUE" : "FALSE");
}

void Document(const char *tag, const char *label, const ODP_DocDescription *d, bool required) {
    if (!d) return Absent(label, required);
    Put(tag);
    EchoDocumentDescription(nullptr, d);
}

void JobOrPrinter(const char *label, const ODP_JobOrPrinter *job) {
    if (!job) return Absent(label, true);
    LOG_CondAdd("\t%s:\n", label);
    EchoJobOrPrinter(nullptr, job);
}

void Requested(const AS_IdentifierList *ids, bool all_when_absent) {
    if (!ids) {
        if (all_when_absent)
            Put("\trequested-attributes = OPTION not specified, do ALL\n");
        else
            Absent("requested-attributes", false);
        return;
    }
    if (ids->count == 0 || !ids->ids) {
        Put("\trequested-attributes = None specified\n");
        return;
    }
    Put("\trequested-attributes:\n");
    for (uint32_t i = 0; i < ids->count; ++i)
        LOG_CondAdd("\t\t%s\n", GENU_ShortOIDToAscii(ids->ids[i]));
}

void ListArgs(GENU_ShortOID object_class, const int32_t *scope, const GEN_Selector *selector,
              const AS_IdentifierList *requested, const AS_SetHandle *common, bool all) {
    Oid("object-class", object_class);
    if (scope)
        LOG_CondAdd("\tscope = %d\n", *scope);
    else
        Put("\tscope = DEFAULT\n");
    if (selector) {
        Put("\tselector:\n");
        EchoSelector(nullptr, selector);
    } else {
        Absent("selector", false);
    }
    Requested(requested, all);
    Common(common);
}

void Context(const GEN_OctetString *context, const AS_SetHandle *common) {
    if (context) {
        Put("\tcontext = ");
        Scratch scratch;
        if (!scratch.Get() || GEN_EchoOctetString(scratch.Get(), context) != 0)
            Put("**ERROR** value cannot be shown\n");
    } else {
        Absent("context", true);
    }
    Common(common);
}

void ObjectArgs(GENU_ShortOID object_class, const GEN_ObjectIdent *instance) {
    Oid("object-class", object_class);
    ObjectIdent("object-instance", instance, true);
}

// ---- Outcomes ---------------------------------------------------------------

void ErrorPart(const ERDPA_ErrorResult *error) {
    if (!error) {
        Put("\tErrorResult = NULL\n");
        return;
    }
    Put("\tErrorResult:\n");
    Scratch scratch;
    ERDPA_EchoErrorResult(scratch.Get(), error);
}

template <typename R, typename Fn> int Out(const char *name, const char *caller,
                                           const char *result_name, const R *result,
                                           const ERDPA_ErrorResult *error, int line, Fn render) {
    return Traced(name, caller, false, line, [&] {
        ErrorPart(error);
        if (!result) {
            LOG_CondAdd("\t%s = NULL\n", result_name);
            return;
        }
        LOG_CondAdd("\t%s:\n", result_name);
        render(*result);
    });
}

int OutSet(const char *name, const char *caller, const char *result_name,
           const AS_SetHandle *result, const ERDPA_ErrorResult *error, int line) {
    if (result && !*result) result = nullptr;
    return Out(name, caller, result_name, result, error, line,
               [](AS_SetHandle set) { SetLines(set); });
}

} // namespace

} // namespace vrcore::client

using namespace vrcore::client;

#define VR_ECHO_TRACE(name, caller, body) Traced(name, caller, false, __LINE__, [&] body)

extern "C" {

// ---- Arguments ----------------------------------------------------------------

VR_EXPORT int EchoInCreateJob(STF_List *status, const char *caller,
                              const GEN_SimpleName *printer_name, const int32_t *complete,
                              const AS_SetHandle *job_attributes,
                              const ODP_DocDescription *first_document,
                              const AS_SetHandle *common) try {
    (void)status;
    return Traced("EchoInCreateJob", caller, true, __LINE__, [&] {
        if (printer_name) {
            Put("\tprinter-name = ");
            Scratch scratch;
            if (!scratch.Get() || GEN_EchoSimpleName(scratch.Get(), printer_name) != 0)
                Put("**ERROR** value cannot be shown\n");
        } else {
            Absent("printer-name", true);
        }
        Flag("job-submission-complete", complete);
        SetEntry("job-attributes", job_attributes, false);
        Document("\t[first-document]\n", "first-document", first_document, false);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInAddDocument(STF_List *status, const char *caller, const char *existing_job,
                                const int32_t *complete, const ODP_DocDescription *new_document,
                                const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInAddDocument", caller, {
        JobText("existing-job", existing_job, true);
        Flag("job-submission-complete", complete);
        Document("\t[new-document]\n", "new-document", new_document, true);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInCloseJob(STF_List *status, const char *caller, const char *existing_job,
                             const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInCloseJob", caller, {
        JobText("existing-job", existing_job, true);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInListObjectAttributes(STF_List *status, const char *caller,
                                         GENU_ShortOID object_class, const int32_t *scope,
                                         const GEN_Selector *selector,
                                         const AS_IdentifierList *requested,
                                         const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInListObjectAttributes", caller,
                         { ListArgs(object_class, scope, selector, requested, common, true); });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInListObjectAttributeContinuation(STF_List *status, const char *caller,
                                                    const GEN_OctetString *context,
                                                    const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInListObjectAttributeContinuation", caller,
                         { Context(context, common); });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInListObjectAttributeAbort(STF_List *status, const char *caller,
                                             const GEN_OctetString *context,
                                             const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInListObjectAttributeAbort", caller, { Context(context, common); });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInGetOrderedJobs(STF_List *status, const char *caller, GENU_ShortOID object_class,
                                   const int32_t *scope, const GEN_Selector *selector,
                                   const AS_IdentifierList *requested,
                                   const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInGetOrderedJobs", caller,
                         { ListArgs(object_class, scope, selector, requested, common, false); });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInGetOrderedJobsContinuation(STF_List *status, const char *caller,
                                               const GEN_OctetString *context,
                                               const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInGetOrderedJobsContinuation", caller, { Context(context, common); });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInCreate(STF_List *status, const char *caller, GENU_ShortOID object_class,
                           const GEN_ObjectIdent *object_instance,
                           const GEN_ObjectIdent *initial_value_object,
                           const uint8_t *force_creation, const AS_SetHandle *object_attributes,
                           const GEN_Message *message, const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInCreate", caller, {
        ObjectArgs(object_class, object_instance);
        if (initial_value_object) {
            Put("\t<initial-value-object>\n");
            Scratch scratch;
            if (!scratch.Get() || GEN_EchoObjectIdent(scratch.Get(), initial_value_object) != 0)
                Put("\t\t**ERROR** value cannot be shown\n");
        } else {
            Absent("initial-value-object", false);
        }
        if (!force_creation)
            Put("\tforce-creation = DEFAULT\n");
        else if (*force_creation <= 1)
            LOG_CondAdd("\tforce-creation = %s\n", *force_creation ? "TRUE" : "FALSE");
        else
            LOG_CondAdd("\tforce-creation = %d [ERROR]\n", *force_creation);
        SetEntry("object-attributes", object_attributes, false);
        Message("message", message);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

// Delete, Clean, Enable, Disable, Pause and Resume share their arguments.
#define VR_ECHO_IN_OBJECT(op)                                                                      \
    VR_EXPORT int EchoIn##op(STF_List *status, const char *caller, GENU_ShortOID object_class,     \
                             const GEN_ObjectIdent *object_instance, const GEN_Message *message,   \
                             const AS_SetHandle *common) try {                                     \
        (void)status;                                                                              \
        return VR_ECHO_TRACE("EchoIn" #op, caller, {                                               \
            ObjectArgs(object_class, object_instance);                                             \
            Message("message", message);                                                           \
            Common(common);                                                                        \
        });                                                                                        \
    }                                                                                              \
    VR_CATCH_CODE(0, 0)
VR_ECHO_IN_OBJECT(Delete)
VR_ECHO_IN_OBJECT(Clean)
VR_ECHO_IN_OBJECT(Enable)
VR_ECHO_IN_OBJECT(Disable)
VR_ECHO_IN_OBJECT(Pause)
VR_ECHO_IN_OBJECT(Resume)
#undef VR_ECHO_IN_OBJECT

VR_EXPORT int EchoInSet(STF_List *status, const char *caller, GENU_ShortOID object_class,
                        const GEN_ObjectIdent *object_instance,
                        const AS_SetHandle *attr_modification, const GEN_Message *message,
                        const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInSet", caller, {
        ObjectArgs(object_class, object_instance);
        SetEntry("attr-modification", attr_modification, false);
        Message("message", message);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInShutdown(STF_List *status, const char *caller, GENU_ShortOID object_class,
                             const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                             GENU_ShortOID when, const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInShutdown", caller, {
        ObjectArgs(object_class, object_instance);
        Message("message", message);
        Oid("when", when);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInControl(STF_List *status, const char *caller, GENU_ShortOID object_class,
                            const GEN_ObjectIdent *object_instance, AS_SetHandle operations,
                            const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInControl", caller, {
        ObjectArgs(object_class, object_instance);
        SetEntry("operations", &operations, true);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInCancelJob(STF_List *status, const char *caller, const char *existing_job,
                              const int32_t *document_number, const GEN_Message *cancel_message,
                              const int32_t *retention_period, const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInCancelJob", caller, {
        JobText("existing-job", existing_job, true);
        Number("document-number", document_number);
        Message("cancel-message", cancel_message);
        Number("retention-period", retention_period);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInPromoteJob(STF_List *status, const char *caller, const char *job_identification,
                               const GEN_Message *promote_message, const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInPromoteJob", caller, {
        JobText("job-identification", job_identification, true);
        Message("promote-message", promote_message);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInPauseJob(STF_List *status, const char *caller,
                             const ODP_JobOrPrinter *paused_job, const GEN_Message *pause_message,
                             const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInPauseJob", caller, {
        JobOrPrinter("paused-job", paused_job);
        Message("pause-message", pause_message);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInResumeJob(STF_List *status, const char *caller, const char *resumed_job,
                              const GEN_Message *resume_message, const int32_t *checkpoint,
                              const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInResumeJob", caller, {
        JobText("resumed-job", resumed_job, true);
        Message("resume-message", resume_message);
        if (checkpoint)
            Put("\tcheckpoint: (not implemented)\n");
        else
            Absent("checkpoint", false);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInInterruptJob(STF_List *status, const char *caller,
                                 const ODP_JobOrPrinter *interrupted_job,
                                 const GEN_Message *interrupt_message, const char *interrupting_job,
                                 const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInInterruptJob", caller, {
        JobOrPrinter("interrupted-job", interrupted_job);
        Message("interrupt-message", interrupt_message);
        JobText("interrupting-job", interrupting_job, true);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInResubmitJob(STF_List *status, const char *caller, GENU_ShortOID object_class,
                                const GEN_ObjectIdent *object_identification,
                                const GEN_DistNameString *printer, const GEN_Message *message,
                                const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInResubmitJob", caller, {
        Oid("object-class", object_class);
        ObjectIdent("object-identification", object_identification, true);
        if (printer) {
            Put("\tprinter = ");
            Scratch scratch;
            if (!scratch.Get() || GEN_EchoDistNameString(scratch.Get(), printer) != 0)
                Put("**ERROR** value cannot be shown\n");
        } else {
            Absent("printer", true);
        }
        Message("message", message);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInModifyJob(STF_List *status, const char *caller, const char *job_identification,
                              const int32_t *document_number, AS_SetHandle job_attr_modification,
                              const GEN_Message *modify_message, const AS_SetHandle *common) try {
    (void)status;
    return VR_ECHO_TRACE("EchoInModifyJob", caller, {
        JobText("job-identification", job_identification, true);
        Number("document-number", document_number);
        SetEntry("job-attr-modification", &job_attr_modification, true);
        Message("modify-message", modify_message);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInSendEvent(STF_List *status, const char *caller, const GEN_NameOrOID *event,
                              AS_SetHandle event_attributes, const GEN_Message *message,
                              const AS_SetHandle *common) try {
    (void)status;
    return Traced("EchoInSendEvent", caller, true, __LINE__, [&] {
        if (event) {
            Put("\tevent = ");
            Scratch scratch;
            if (!scratch.Get() || GEN_EchoNameOrOID(scratch.Get(), event) != 0)
                Put("**ERROR** value cannot be shown\n");
        } else {
            Absent("event", true);
        }
        SetEntry("event-attributes", &event_attributes, false);
        Message("message", message);
        Common(common);
    });
}
VR_CATCH_CODE(0, 0)

// ---- Outcomes -----------------------------------------------------------------

VR_EXPORT int EchoOutCreateJob(STF_List *status, const char *caller, const ODP_PrintResult *result,
                               const ERDPA_ErrorResult *error) try {
    (void)status;
    return Traced("EchoOutCreateJob", caller, true, __LINE__, [&] {
        ErrorPart(error);
        if (!result) {
            Put("\tPrintResult = NULL\n");
            return;
        }
        Put("\tPrintResult:\n");
        EchoPrintResult(nullptr, result);
    });
}
VR_CATCH_CODE(0, 0)

#define VR_ECHO_OUT(op, type, result_name, render)                                                 \
    VR_EXPORT int EchoOut##op(STF_List *status, const char *caller, type result,                   \
                              const ERDPA_ErrorResult *error) try {                                \
        (void)status;                                                                              \
        return Out("EchoOut" #op, caller, result_name, result, error, __LINE__, render);           \
    }                                                                                              \
    VR_CATCH_CODE(0, 0)
#define VR_ECHO_OUT_SET(op, result_name)                                                           \
    VR_EXPORT int EchoOut##op(STF_List *status, const char *caller, const AS_SetHandle *result,    \
                              const ERDPA_ErrorResult *error) try {                                \
        (void)status;                                                                              \
        return OutSet("EchoOut" #op, caller, result_name, result, error, __LINE__);                \
    }                                                                                              \
    VR_CATCH_CODE(0, 0)

namespace {
const auto kPrint = [](const ODP_PrintResult &r) { EchoPrintResult(nullptr, &r); };
const auto kList = [](const ODP_ListResult &r) { EchoListObjAttrsResult(nullptr, &r); };
const auto kPauseJob = [](const ODP_PauseJobResult &r) { EchoPauseJobResult(nullptr, &r); };
const auto kInterrupt = [](const ODP_InterruptJobResult &r) {
    EchoInterruptJobResult(nullptr, &r);
};
const auto kPause = [](const ODP_PauseResult &r) {
    if (r.bit_mask & ODP_PAUSE_RESULT_JOB)
        JobId("Affected job", r.affected_job);
    else
        Put("\t\tAffected job = NOT SPECIFIED\n");
    if ((r.bit_mask & ODP_PAUSE_RESULT_STATUS) && r.pause_status) {
        Put("\t\tPause Status:\n");
        SetLines(r.pause_status);
    } else {
        Put("\t\tPause Status = NOT SPECIFIED\n");
    }
};
const auto kResubmit = [](const ODP_ObjectStatusList &first) {
    int shown = 0;
    for (const ODP_ObjectStatusList *s = &first; s && shown < GEN_MAX_NESTING;
         s = s->next, ++shown) {
        if (s->set && *s->set)
            SetLines(*s->set);
        else
            Put("\t\tAttribute Set not specified\n");
    }
    Put("\t-------------------------------\n");
};
} // namespace

VR_ECHO_OUT(AddDocument, const ODP_PrintResult *, "PrintResult", kPrint)
VR_ECHO_OUT(CloseJob, const ODP_PrintResult *, "PrintResult", kPrint)
VR_ECHO_OUT(ListObjectAttributes, const ODP_ListResult *, "ListObjectAttributesResult", kList)
VR_ECHO_OUT(ListObjectAttributeContinuation, const ODP_ListResult *, "ListObjectAttributesResult",
            kList)
VR_ECHO_OUT(ListObjectAttributeAbort, const ODP_ListResult *, "ListObjectAttributesResult", kList)
VR_ECHO_OUT(GetOrderedJobs, const ODP_ListResult *, "ListObjectAttributesResult", kList)
VR_ECHO_OUT(GetOrderedJobsContinuation, const ODP_ListResult *, "ListObjectAttributesResult", kList)
VR_ECHO_OUT(Pause, const ODP_PauseResult *, "PauseResult", kPause)
VR_ECHO_OUT(PauseJob, const ODP_PauseJobResult *, "PauseJobResult", kPauseJob)
VR_ECHO_OUT(InterruptJob, const ODP_InterruptJobResult *, "InterruptJobResult", kInterrupt)
VR_ECHO_OUT(ResubmitJob, const ODP_ObjectStatusList *, "ResubmitJobResult", kResubmit)
VR_ECHO_OUT_SET(Create, "CreateResult")
VR_ECHO_OUT_SET(Delete, "DeleteResult")
VR_ECHO_OUT_SET(Set, "SetResult")
VR_ECHO_OUT_SET(Clean, "CleanResult")
VR_ECHO_OUT_SET(Enable, "EnableResult")
VR_ECHO_OUT_SET(Disable, "DisableResult")
VR_ECHO_OUT_SET(Resume, "ResumeResult")
VR_ECHO_OUT_SET(Shutdown, "ShutdownResult")
VR_ECHO_OUT_SET(Control, "ControlResult")
VR_ECHO_OUT_SET(CancelJob, "CancelJobResult")
VR_ECHO_OUT_SET(PromoteJob, "PromoteJobResult")
VR_ECHO_OUT_SET(ResumeJob, "ResumeJobResult")
VR_ECHO_OUT_SET(ModifyJob, "Modify Job Result")

VR_EXPORT int EchoOutSendEvent(STF_List *status, const char *caller, const AS_SetHandle *result,
                               const ERDPA_ErrorResult *error) try {
    (void)status;
    return Traced("EchoOutSendEvent", caller, true, __LINE__, [&] {
        ErrorPart(error);
        if (!result || !*result) {
            Put("\tSendEvent = NULL\n");
            return;
        }
        Put("\tSendEvent:\n");
        SetLines(*result);
    });
}
VR_CATCH_CODE(0, 0)

} // extern "C"
