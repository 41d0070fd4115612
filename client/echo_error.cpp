// The trace of an error result: each problem with its kind's line, the
// object, attribute or set concerned and the error message.
#include "client/echo_trace.h"
#include "system/guard.h"
#include "vrcore/erdpa.h"
#include "vrcore/log.h"

namespace vrcore::client {

namespace {

// Trace texts of the standard problems, by code from 1 (null: no such
// code); "lead" is the blank some kinds put before their texts.
struct Problems {
    const char *line;
    const char *lead;
    const char *const *texts;
    uint32_t count;
    const char *count_line; // the list kinds' closing line, else null
    const char *null_record;
};

const char *const kAccess[] = {"Inappropriate Object Class", "Insufficient Access Rights",
                               "Cannot Interrupt Job", "Inappropriate Object State"};
const char *const kAttribute[] = {nullptr,
                                  "Invalid Attribute Syntax",
                                  "Undefined Attribute Type",
                                  "Inappropriate Matching",
                                  "Constraint Violation",
                                  "Unsupported Attribute Type",
                                  "Illegal Modification",
                                  "Inconsistent With Other Attributes",
                                  "Undefined Attribute Value",
                                  "Unsupported Attribute Value",
                                  "Illegal Qualifier Modification",
                                  "Per Job Attribute Inadmissible",
                                  "Not Multi Valued",
                                  "Mandatory Attribute Omitted",
                                  "Attribute Illegal For Object Class"};
const char *const kDocumentAccess[] = {"Document Not Available", "Referent Modified",
                                       "Access Denied", "Unknown Document", "No Documents In Job"};
const char *const kPrinter[] = {"Printer Error", "Printer Needs Attention",
                                "Printer Needs Key Operator"};
const char *const kSecurity[] = {"Inappropriate Authentication", "Invalid Credentials",
                                 "Insufficient Operation Rights", "Invalid Pac"};
const char *const kSelection[] = {"Invalid Identification", "Unknown Identification",
                                  "Object Already Exists"};
const char *const kService[] = {"Server Busy",
                                "Server Unavailable",
                                "Operation Too Complex",
                                "Resource Limit Exceeded",
                                "Unclassified Server Error",
                                "Too Many Items In List",
                                "Compulsory Resource Not Available",
                                "Cancel Document Unsupported",
                                "Modify Document Unsupported",
                                "Print Multiple Documents Unsupported",
                                "Unsupported Parameter Value",
                                "Invalid Checkpoint",
                                "Invalid Continuation Context",
                                "Pause Limit Exceeded",
                                "Unsupported Operation"};
const char *const kUpdate[] = {"No Modifications Allowed", "Insufficient Update Rights", nullptr,
                               "Previous Operation Incomplete", "Cancellation Not Possible"};

template <size_t N> constexpr uint32_t Count(const char *const (&)[N]) { return N; }

// By kind 1..8.
const Problems kKinds[] = {
    {"\t\tUpdate Error - ", " ", kUpdate, Count(kUpdate), nullptr, "EchoUpdateError"},
    {"\t\tAttribute Error - ", " ", kAttribute, Count(kAttribute),
     "\t\tNumber of Attribute Errors = %d\n", "EchoAttributeError"},
    {"\t\tDocument Access Error - ", " ", kDocumentAccess, Count(kDocumentAccess), nullptr,
     "EchoDocumentAccessError"},
    {"\t\tSelection Error - ", "", kSelection, Count(kSelection),
     "\t\tNumber of Selection Errors = %d\n", "EchoSelectionError"},
    {"\t\tPrinter Error - ", "", kPrinter, Count(kPrinter), nullptr, "EchoPrinterError"},
    {"\t\tAccess Error - ", "", kAccess, Count(kAccess), "\t\tNumber of Access Errors = %d\n",
     "EchoAccessError"},
    {"\t\tService Error - ", " ", kService, Count(kService), "\t\tNumber of Service Errors = %d\n",
     "EchoServiceError"},
    {"\t\tSecurity Error - ", "", kSecurity, Count(kSecurity), nullptr, "EchoSecurityError"},
};

// The longest list shown; longer ones are cut with a marker.
constexpr int kMaxProblems = 100000;

void ProblemLine(const Problems &k, int32_t form, uint32_t code) {
    Put(k.line);
    if (form != ERDPA_STANDARD_PROBLEM) {
        Put("Extended Problem\n");
        return;
    }
    const char *text = code >= 1 && code <= k.count ? k.texts[code - 1] : nullptr;
    LOG_CondAdd("%s%s\n", k.lead, text ? text : "Unknown Problem");
}

void Object(const GEN_ObjectIdent &object) {
    Scratch scratch;
    if (!scratch.Get() || GEN_EchoObjectIdent(scratch.Get(), &object) != 0)
        Put("\t\t**ERROR** object identification cannot be shown\n");
}

void ErrorMessage(const GEN_ErrorMessage &message) {
    Put("\t\terror-message = ");
    Scratch scratch;
    if (!scratch.Get() || GEN_EchoErrorMessage(scratch.Get(), &message) != 0)
        Put("**ERROR** error message cannot be shown\n");
}

void Trace(const ERDPA_ErrorResult &e) {
    const Problems &k = kKinds[e.kind - 1];
    int n = 0;
    switch (e.kind) {
    case ERDPA_UPDATE:
    case ERDPA_DOCUMENT_ACCESS:
    case ERDPA_PRINTER: {
        const auto *p = static_cast<const ERDPA_ObjectProblem *>(e.data);
        ProblemLine(k, p->problem_form, p->problem_code);
        Object(p->object);
        ErrorMessage(p->message);
        return;
    }
    case ERDPA_SECURITY: {
        const auto *p = static_cast<const ERDPA_SecurityProblem *>(e.data);
        ProblemLine(k, p->problem_form, p->problem_code);
        ErrorMessage(p->message);
        return;
    }
    case ERDPA_ACCESS:
        for (const auto *p = static_cast<const ERDPA_AccessProblem *>(e.data);
             p && n < kMaxProblems; p = p->next, ++n) {
            ProblemLine(k, p->problem_form, p->problem_code);
            Object(p->object);
            ErrorMessage(p->message);
        }
        break;
    case ERDPA_ATTRIBUTE: {
        const auto *a = static_cast<const ERDPA_AttributeError *>(e.data);
        if (a->object)
            Object(*a->object);
        else
            Put("\t\tobject-identification = OPTION not specified\n");
        for (const ERDPA_AttributeProblem *p = a->problems; p && n < kMaxProblems;
             p = p->next, ++n) {
            ProblemLine(k, p->problem_form, p->problem_code);
            if (p->attribute)
                SetLines(p->attribute);
            else
                Put("\t\tattribute = OPTION not specified\n");
            ErrorMessage(p->message);
        }
        break;
    }
    default: // selection and service
        for (const auto *p = static_cast<const ERDPA_SelectionProblem *>(e.data);
             p && n < kMaxProblems; p = p->next, ++n) {
            ProblemLine(k, p->problem_form, p->problem_code);
            if (p->set && *p->set) SetLines(*p->set);
            Object(p->object);
            ErrorMessage(p->message);
        }
        break;
    }
    LOG_CondAdd(k.count_line, n);
}

} // namespace

} // namespace vrcore::client

using namespace vrcore::client;

extern "C" {

VR_EXPORT int ERDPA_EchoErrorResult(STF_List *status, const ERDPA_ErrorResult *result) try {
    uint32_t code = 0;
    if (!result)
        code = ERDPA_S_NORESULT;
    else if (result->kind < ERDPA_UPDATE || result->kind > ERDPA_SECURITY)
        code = ERDPA_S_BADKIND;
    else if (!result->data)
        code = ERDPA_S_NORECORD;
    if (result && Tracing()) {
        if (code == ERDPA_S_BADKIND)
            Put("\t\tUnknown Error Type\n");
        else if (code == ERDPA_S_NORECORD)
            LOG_CondAdd("\t\t**ERROR** (%s)\n", kKinds[result->kind - 1].null_record);
        else
            Trace(*result);
    }
    if (!code) return 0;
    if (status) STF_AddStatus(status, code, 0);
    return 1;
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

} // extern "C"
