// Descriptions of the attribute-set, operation and error PDUs.
#include <cstddef>

#include "encoding/ber_errors.h"
#include "encoding/ber_ops.h"
#include "encoding/ber_build.h"
#include "encoding/ber_types.h"
#include "vrcore/erdpa.h"
#include "vrcore/odpas.h"
#include "vrcore/odpops.h"

namespace vrcore::ber {

namespace {

#define N_(a) VRBER_COUNT(a)
using namespace vrcore::ber::build;

const Type T_Oid = Str("ObjectIdentifier", Kind::Oid, 0, sizeof(BerOid), 0);
const Type T_Int32 = Scalar("Integer", Kind::Int, 4, 0, 4);

// ---- Attribute sets ------------------------------------------------------

const Type T_AttrValue = Str("AttrValue", Kind::Open, 0, sizeof(GENU_Buffer), 0);
const Type T_AttrValues =
    List("AttrValues", &T_AttrValue, offsetof(ODP_BerValueNode, value), sizeof(ODP_BerValueNode));

const Member Attr_m[] = {
    Plain("attribute-type", &T_Oid, offsetof(ODP_BerAttribute, type)),
    Plain("attribute-values", &T_AttrValues, offsetof(ODP_BerAttribute, values))};
const Type T_Attr = Cons("Attr", Kind::Seq, sizeof(ODP_BerAttribute), Attr_m, N_(Attr_m));
const Type T_AttrSet =
    List("AttrSet", &T_Attr, offsetof(ODP_BerAttrSet, attribute), sizeof(ODP_BerAttrSet));

// A modification-set node holds its element from the presence octet on.
constexpr size_t kModBase = offsetof(ODP_BerModAttrSet, bit_mask);
const Member ModAttr_m[] = {
    Plain("attribute-type", &T_Oid, offsetof(ODP_BerModAttrSet, type) - kModBase),
    Ctx("attribute-values", &T_AttrValues, offsetof(ODP_BerModAttrSet, values) - kModBase, 0,
        ODP_MODATTR_VALUES),
    Ctx("modify-operator", &T_Int32, offsetof(ODP_BerModAttrSet, modify_operator) - kModBase, 1,
        ODP_MODATTR_OPERATOR)};
const Type T_ModAttr =
    Cons("ModAttr", Kind::Seq, sizeof(ODP_BerModAttrSet) - kModBase, ModAttr_m, N_(ModAttr_m));
const Type T_ModAttrSet = List("ModAttrSet", &T_ModAttr, kModBase, sizeof(ODP_BerModAttrSet));

const Member SingleValue_m[] = {
    Plain("attribute-type", &T_Oid, offsetof(ODP_BerSingleValue, type)),
    Plain("attribute-value", &T_AttrValue, offsetof(ODP_BerSingleValue, value))};
const Type T_SingleValue = Cons("SingleValueAttr", Kind::Seq, sizeof(ODP_BerSingleValue),
                                SingleValue_m, N_(SingleValue_m));

// ---- Error PDUs -----------------------------------------------------------

const Type T_Cardinal = Scalar("Cardinal", Kind::Int, 4, kUnsigned, 4);
const Type T_OctetString = Str("OctetString", Kind::Octets, 4, sizeof(BerOctets), 0x7fffffffu);
// A complete encoding of a value syntax (object identification, text).
const Type T_Encoded = Str("Encoded", Kind::Open, 0, sizeof(GENU_Buffer), 0);

const Member Problem_m[] = {Ctx("standard", &T_Cardinal, offsetof(BerProblem, u.code), 0, 0, 1),
                            Ctx("extended", &T_Oid, offsetof(BerProblem, u.oid), 1, 0, 2)};
const Type T_Problem =
    Cons("ErrProblem", Kind::Choice, sizeof(BerProblem), Problem_m, N_(Problem_m));

const Member ErrMessage_m[] = {
    Ctx("text", &T_Encoded, offsetof(BerErrMessage, u.text), 0, 0, 1),
    Ctx("octets", &T_OctetString, offsetof(BerErrMessage, u.octets), 1, 0, 2)};
const Type T_ErrMessage =
    Cons("ErrMessage", Kind::Choice, sizeof(BerErrMessage), ErrMessage_m, N_(ErrMessage_m));

// The problem of each kind carries the kind's number as its tag, so that
// the eight PDUs cannot be mistaken for one another.
#define OBJECT_ERROR(Name, tag)                                                                    \
    const Member Name##_m[] = {                                                                    \
        Ctx("problem", &T_Problem, offsetof(BerObjectError, problem), tag),                        \
        Ctx("object", &T_Encoded, offsetof(BerObjectError, object), 10),                           \
        Ctx("message", &T_ErrMessage, offsetof(BerObjectError, message), 11)};                     \
    const Type T_##Name = Cons(#Name, Kind::Seq, sizeof(BerObjectError), Name##_m, N_(Name##_m));
OBJECT_ERROR(UpdateError, 1)
OBJECT_ERROR(DocumentAccessError, 3)
OBJECT_ERROR(PrinterError, 5)

const Member SecurityError_m[] = {
    Ctx("problem", &T_Problem, offsetof(BerSecurityError, problem), 8),
    Ctx("message", &T_ErrMessage, offsetof(BerSecurityError, message), 11)};
const Type T_SecurityError = Cons("SecurityError", Kind::Seq, sizeof(BerSecurityError),
                                  SecurityError_m, N_(SecurityError_m));

constexpr size_t kAccessBase = offsetof(BerAccessProblem, object);
const Member AccessProblem_m[] = {
    Ctx("object", &T_Encoded, offsetof(BerAccessProblem, object) - kAccessBase, 10),
    Ctx("problem", &T_Problem, offsetof(BerAccessProblem, problem) - kAccessBase, 6),
    Ctx("message", &T_ErrMessage, offsetof(BerAccessProblem, message) - kAccessBase, 11)};
const Type T_AccessProblem =
    Cons("AccessProblem", Kind::Seq, sizeof(BerAccessProblem) - kAccessBase, AccessProblem_m,
         N_(AccessProblem_m));
const Type T_AccessError =
    List("AccessError", &T_AccessProblem, kAccessBase, sizeof(BerAccessProblem));

constexpr size_t kAttrProblemBase = offsetof(BerAttributeProblem, problem);
const Member AttributeProblem_m[] = {
    Ctx("problem", &T_Problem, offsetof(BerAttributeProblem, problem) - kAttrProblemBase, 2),
    Ctx("attribute", &T_Attr, offsetof(BerAttributeProblem, attribute) - kAttrProblemBase, 12),
    Ctx("message", &T_ErrMessage, offsetof(BerAttributeProblem, message) - kAttrProblemBase, 11)};
const Type T_AttributeProblem =
    Cons("AttributeProblem", Kind::Seq, sizeof(BerAttributeProblem) - kAttrProblemBase,
         AttributeProblem_m, N_(AttributeProblem_m));
const Type T_AttributeProblems =
    List("AttributeProblems", &T_AttributeProblem, kAttrProblemBase, sizeof(BerAttributeProblem));
const Member AttributeError_m[] = {
    Ctx("object", &T_Encoded, offsetof(BerAttributeError, object), 10, kErrObjectPresent),
    Ctx("problems", &T_AttributeProblems, offsetof(BerAttributeError, problems), 13)};
const Type T_AttributeError = Cons("AttributeError", Kind::Seq, sizeof(BerAttributeError),
                                   AttributeError_m, N_(AttributeError_m));

constexpr size_t kSelBase = offsetof(BerSelectionProblem, bit_mask);
#define SELECTION_ERROR(Name, tag)                                                                 \
    const Member Name##Problem_m[] = {                                                             \
        Ctx("attribute", &T_Attr, offsetof(BerSelectionProblem, attribute) - kSelBase, 12,         \
            kErrAttributePresent),                                                                 \
        Ctx("problem", &T_Problem, offsetof(BerSelectionProblem, problem) - kSelBase, tag),        \
        Ctx("object", &T_Encoded, offsetof(BerSelectionProblem, object) - kSelBase, 10),           \
        Ctx("message", &T_ErrMessage, offsetof(BerSelectionProblem, message) - kSelBase, 11)};     \
    const Type T_##Name##Problem =                                                                 \
        Cons(#Name "Problem", Kind::Seq, sizeof(BerSelectionProblem) - kSelBase, Name##Problem_m,  \
             N_(Name##Problem_m));                                                                 \
    const Type T_##Name##Error =                                                                   \
        List(#Name "Error", &T_##Name##Problem, kSelBase, sizeof(BerSelectionProblem));
SELECTION_ERROR(Selection, 4)
SELECTION_ERROR(Service, 7)

// ---- Operation arguments and results ----------------------------------------

const Type T_Bool = Scalar("Boolean", Kind::Bool, 1, 0, 1);
const Type T_Null = Scalar("Null", Kind::Null, 1, 0, 1);
const Type T_JobId = Str("JobIdentifier", Kind::StringIn, 22, sizeof(ODP_BerJobId), 255);
const Type T_OidList =
    List("ObjectIdentifiers", &T_Oid, offsetof(ODP_BerOidNode, oid), sizeof(ODP_BerOidNode));
const Type T_ValueList =
    List("EncodedValues", &T_Encoded, offsetof(ODP_BerValueList, value), sizeof(ODP_BerValueList));

#define O_(S, f) offsetof(S, f)

const Member DocDescription_m[] = {
    Ctx("transfer-method", &T_Oid, O_(ODP_BerDocDescription, transfer_method), 0, 0x80),
    Ctx("document-content", &T_Encoded, O_(ODP_BerDocDescription, content), 1, 0x40),
    Ctx("document-type", &T_Oid, O_(ODP_BerDocDescription, document_type), 2, 0x20),
    Ctx("document-attributes", &T_AttrSet, O_(ODP_BerDocDescription, attributes), 3, 0x10)};
const Type T_DocDescription = Cons("DocDescription", Kind::Seq, sizeof(ODP_BerDocDescription),
                                   DocDescription_m, N_(DocDescription_m));

const Member CreateJobArg_m[] = {
    Ctx("printer-name", &T_Encoded, O_(ODP_BerCreateJobArg, printer_name), 0),
    Ctx("job-submission-complete", &T_Bool, O_(ODP_BerCreateJobArg, job_submission_complete), 1,
        0x80),
    Ctx("job-attributes", &T_AttrSet, O_(ODP_BerCreateJobArg, job_attributes), 2, 0x40),
    Ctx("first-document", &T_DocDescription, O_(ODP_BerCreateJobArg, first_document), 3, 0x20),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerCreateJobArg, common_arguments), 4, 0x10)};
const Type T_CreateJobArg = Cons("CreateJobArgument", Kind::Seq, sizeof(ODP_BerCreateJobArg),
                                 CreateJobArg_m, N_(CreateJobArg_m));
const Member AddDocumentArg_m[] = {
    Ctx("existing-job", &T_JobId, O_(ODP_BerAddDocumentArg, existing_job), 0),
    Ctx("job-submission-complete", &T_Bool, O_(ODP_BerAddDocumentArg, job_submission_complete), 1,
        0x80),
    Ctx("new-document", &T_DocDescription, O_(ODP_BerAddDocumentArg, new_document), 2),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerAddDocumentArg, common_arguments), 3, 0x40)};
const Type T_AddDocumentArg = Cons("AddDocumentArgument", Kind::Seq, sizeof(ODP_BerAddDocumentArg),
                                   AddDocumentArg_m, N_(AddDocumentArg_m));
const Member CloseJobArg_m[] = {
    Ctx("existing-job", &T_JobId, O_(ODP_BerCloseJobArg, existing_job), 0),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerCloseJobArg, common_arguments), 1, 0x80)};
const Type T_CloseJobArg = Cons("CloseJobArgument", Kind::Seq, sizeof(ODP_BerCloseJobArg),
                                CloseJobArg_m, N_(CloseJobArg_m));
const Member PrintArg_m[] = {
    Ctx("create-job", &T_CreateJobArg, O_(ODP_BerPrintArg, u.create_job), 1, 0, 1),
    Ctx("add-document", &T_AddDocumentArg, O_(ODP_BerPrintArg, u.add_document), 2, 0, 2),
    Ctx("close-job", &T_CloseJobArg, O_(ODP_BerPrintArg, u.close_job), 3, 0, 3)};
const Type T_PrintArg =
    Cons("PrintArgument", Kind::Choice, sizeof(ODP_BerPrintArg), PrintArg_m, N_(PrintArg_m));

const Member Substrings_m[] = {
    Plain("type", &T_Oid, O_(ODP_BerSubstrings, type)),
    Plain("match", &T_Int32, O_(ODP_BerSubstrings, match)),
    Ctx("initial", &T_AttrValue, O_(ODP_BerSubstrings, initial), 0, 0x80),
    Ctx("any", &T_AttrValues, O_(ODP_BerSubstrings, any), 1, 0x40),
    Ctx("final", &T_AttrValue, O_(ODP_BerSubstrings, final), 2, 0x20)};
const Type T_Substrings =
    Cons("Substrings", Kind::Seq, sizeof(ODP_BerSubstrings), Substrings_m, N_(Substrings_m));
const Member FilterItem_m[] = {
    Ctx("equality", &T_Attr, O_(ODP_BerFilterItem, u.attribute), 0, 0, 1),
    Ctx("substrings", &T_Substrings, O_(ODP_BerFilterItem, u.substrings), 1, 0, 2),
    Ctx("greater-or-equal", &T_Attr, O_(ODP_BerFilterItem, u.attribute), 2, 0, 3),
    Ctx("less-or-equal", &T_Attr, O_(ODP_BerFilterItem, u.attribute), 3, 0, 4),
    Ctx("present", &T_Oid, O_(ODP_BerFilterItem, u.present), 4, 0, 5),
    Ctx("subset", &T_Attr, O_(ODP_BerFilterItem, u.attribute), 5, 0, 6),
    Ctx("superset", &T_Attr, O_(ODP_BerFilterItem, u.attribute), 6, 0, 7),
    Ctx("intersection", &T_Attr, O_(ODP_BerFilterItem, u.attribute), 7, 0, 8)};
const Type T_FilterItem =
    Cons("FilterItem", Kind::Choice, sizeof(ODP_BerFilterItem), FilterItem_m, N_(FilterItem_m));
extern const Type T_Filter;
const Type T_FilterPtr =
    Type{"Filter", Kind::Ptr, 0, 0, 0, sizeof(void *), 0, nullptr, 0, &T_Filter, 0, 0};
const Type T_FilterSet = Type{"Filters",
                              Kind::SeqOf,
                              0,
                              0,
                              0,
                              sizeof(void *),
                              0,
                              nullptr,
                              0,
                              &T_Filter,
                              static_cast<uint32_t>(offsetof(ODP_BerFilterList, filter)),
                              static_cast<uint32_t>(sizeof(ODP_BerFilterList))};
const Member Filter_m[] = {Ctx("item", &T_FilterItem, O_(ODP_BerFilter, u.item), 0, 0, 1),
                           Ctx("and", &T_FilterSet, O_(ODP_BerFilter, u.and_set), 1, 0, 2),
                           Ctx("or", &T_FilterSet, O_(ODP_BerFilter, u.or_set), 2, 0, 3),
                           Ctx("not", &T_FilterPtr, O_(ODP_BerFilter, u.not_filter), 3, 0, 4)};
const Type T_Filter = Cons("Filter", Kind::Choice, sizeof(ODP_BerFilter), Filter_m, N_(Filter_m));

const Member Selector_m[] = {
    Ctx("object-identification", &T_ValueList, O_(ODP_BerSelector, object_identifications), 0,
        0x80),
    Ctx("object-filter", &T_FilterPtr, O_(ODP_BerSelector, filter), 1, 0x40),
    Ctx("time-limit", &T_Int32, O_(ODP_BerSelector, time_limit), 2, 0x20),
    Ctx("count-limit", &T_Int32, O_(ODP_BerSelector, count_limit), 3, 0x10)};
const Type T_Selector =
    Cons("Selector", Kind::Seq, sizeof(ODP_BerSelector), Selector_m, N_(Selector_m));
const Member NewListArg_m[] = {
    Ctx("object-class", &T_Oid, O_(ODP_BerNewListArg, object_class), 0),
    Ctx("scope", &T_Int32, O_(ODP_BerNewListArg, scope), 1, 0x80),
    Ctx("selector", &T_Selector, O_(ODP_BerNewListArg, selector), 2, 0x40),
    Ctx("requested-attributes", &T_OidList, O_(ODP_BerNewListArg, requested_attributes), 3, 0x20),
    Ctx("reserved", &T_Null, O_(ODP_BerNewListArg, reserved), 4, 0x10),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerNewListArg, common_arguments), 5, 0x08)};
const Type T_NewListArg =
    Cons("NewListArgument", Kind::Seq, sizeof(ODP_BerNewListArg), NewListArg_m, N_(NewListArg_m));
const Member ContinueListArg_m[] = {
    Ctx("context", &T_OctetString, O_(ODP_BerContinueListArg, context), 0),
    Ctx("abort", &T_Int32, O_(ODP_BerContinueListArg, abort), 1, 0x80),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerContinueListArg, common_arguments), 2, 0x40)};
const Type T_ContinueListArg =
    Cons("ContinueListArgument", Kind::Seq, sizeof(ODP_BerContinueListArg), ContinueListArg_m,
         N_(ContinueListArg_m));
const Member ListArg_m[] = {
    Ctx("continuation", &T_ContinueListArg, O_(ODP_BerListArg, u.continuation), 1, 0, 1),
    Ctx("new-list", &T_NewListArg, O_(ODP_BerListArg, u.new_list), 2, 0, 2)};
const Type T_ListArg =
    Cons("ListArgument", Kind::Choice, sizeof(ODP_BerListArg), ListArg_m, N_(ListArg_m));

const Member ObjectOpArg_m[] = {
    Ctx("object-class", &T_Oid, O_(ODP_BerObjectOpArg, object_class), 0),
    Ctx("object-instance", &T_Encoded, O_(ODP_BerObjectOpArg, object_instance), 1),
    Ctx("message", &T_Encoded, O_(ODP_BerObjectOpArg, message), 2, 0x80),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerObjectOpArg, common_arguments), 3, 0x40),
    Ctx("when", &T_Oid, O_(ODP_BerObjectOpArg, when), 4)};
const Type T_ObjectOpArg =
    Cons("ObjectOperationArgument", Kind::Seq, sizeof(ODP_BerObjectOpArg), ObjectOpArg_m, 4);
const Type T_ShutdownArg =
    Cons("ShutdownArgument", Kind::Seq, sizeof(ODP_BerObjectOpArg), ObjectOpArg_m, 5);

const Member SetArg_m[] = {
    Ctx("object-class", &T_Oid, O_(ODP_BerSetArg, object_class), 0),
    Ctx("object-instance", &T_Encoded, O_(ODP_BerSetArg, object_instance), 1),
    Ctx("message", &T_Encoded, O_(ODP_BerSetArg, message), 2, 0x80),
    Ctx("attr-modification", &T_ModAttrSet, O_(ODP_BerSetArg, attr_modification), 3, 0x40),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerSetArg, common_arguments), 4, 0x20)};
const Type T_SetArg = Cons("SetArgument", Kind::Seq, sizeof(ODP_BerSetArg), SetArg_m, N_(SetArg_m));

const Member ControlArg_m[] = {
    Ctx("object-class", &T_Oid, O_(ODP_BerControlArg, object_class), 0),
    Ctx("object-instance", &T_Encoded, O_(ODP_BerControlArg, object_instance), 1),
    Ctx("reserved", &T_Null, O_(ODP_BerControlArg, reserved), 2, 0x80),
    Ctx("operations", &T_AttrSet, O_(ODP_BerControlArg, operations), 3),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerControlArg, common_arguments), 4, 0x40)};
const Type T_ControlArg =
    Cons("ControlArgument", Kind::Seq, sizeof(ODP_BerControlArg), ControlArg_m, N_(ControlArg_m));

const Member CreateArg_m[] = {
    Ctx("object-class", &T_Oid, O_(ODP_BerCreateArg, object_class), 0),
    Ctx("object-instance", &T_Encoded, O_(ODP_BerCreateArg, object_instance), 1),
    Ctx("message", &T_Encoded, O_(ODP_BerCreateArg, message), 2, 0x80),
    Ctx("initial-value-object", &T_Encoded, O_(ODP_BerCreateArg, initial_value_object), 3, 0x40),
    Ctx("force-creation", &T_Bool, O_(ODP_BerCreateArg, force_creation), 4, 0x20),
    Ctx("object-attributes", &T_AttrSet, O_(ODP_BerCreateArg, object_attributes), 5, 0x10),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerCreateArg, common_arguments), 6, 0x08)};
const Type T_CreateArg =
    Cons("CreateArgument", Kind::Seq, sizeof(ODP_BerCreateArg), CreateArg_m, N_(CreateArg_m));

const Member SendEventArg_m[] = {
    Ctx("event", &T_Encoded, O_(ODP_BerSendEventArg, event), 0),
    Ctx("event-attributes", &T_AttrSet, O_(ODP_BerSendEventArg, event_attributes), 1, 0x80),
    Ctx("message", &T_Encoded, O_(ODP_BerSendEventArg, message), 2, 0x40),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerSendEventArg, common_arguments), 3, 0x20)};
const Type T_SendEventArg = Cons("SendEventArgument", Kind::Seq, sizeof(ODP_BerSendEventArg),
                                 SendEventArg_m, N_(SendEventArg_m));

const Member CancelJobArg_m[] = {
    Ctx("existing-job", &T_JobId, O_(ODP_BerCancelJobArg, existing_job), 0),
    Ctx("document-number", &T_Int32, O_(ODP_BerCancelJobArg, document_number), 1, 0x80),
    Ctx("cancel-message", &T_Encoded, O_(ODP_BerCancelJobArg, cancel_message), 2, 0x40),
    Ctx("retention-period", &T_Int32, O_(ODP_BerCancelJobArg, retention_period), 3, 0x20),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerCancelJobArg, common_arguments), 4, 0x10)};
const Type T_CancelJobArg = Cons("CancelJobArgument", Kind::Seq, sizeof(ODP_BerCancelJobArg),
                                 CancelJobArg_m, N_(CancelJobArg_m));

const Member ModifyJobArg_m[] = {
    Ctx("job-identification", &T_JobId, O_(ODP_BerModifyJobArg, job_identification), 0),
    Ctx("document-number", &T_Int32, O_(ODP_BerModifyJobArg, document_number), 1, 0x80),
    Ctx("job-attr-modification", &T_ModAttrSet, O_(ODP_BerModifyJobArg, job_attr_modification), 2),
    Ctx("modify-message", &T_Encoded, O_(ODP_BerModifyJobArg, modify_message), 3, 0x40),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerModifyJobArg, common_arguments), 4, 0x20)};
const Type T_ModifyJobArg = Cons("ModifyJobArgument", Kind::Seq, sizeof(ODP_BerModifyJobArg),
                                 ModifyJobArg_m, N_(ModifyJobArg_m));

const Member PromoteJobArg_m[] = {
    Ctx("job-identification", &T_JobId, O_(ODP_BerPromoteJobArg, job_identification), 0),
    Ctx("promote-message", &T_Encoded, O_(ODP_BerPromoteJobArg, promote_message), 1, 0x80),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerPromoteJobArg, common_arguments), 2, 0x40)};
const Type T_PromoteJobArg = Cons("PromoteJobArgument", Kind::Seq, sizeof(ODP_BerPromoteJobArg),
                                  PromoteJobArg_m, N_(PromoteJobArg_m));

const Member JobOrPrinter_m[] = {
    Ctx("job-identifier", &T_JobId, O_(ODP_BerJobOrPrinter, u.job), 0, 0, 1),
    Ctx("printer", &T_Encoded, O_(ODP_BerJobOrPrinter, u.printer), 1, 0, 2)};
const Type T_JobOrPrinter = Cons("JobOrPrinter", Kind::Choice, sizeof(ODP_BerJobOrPrinter),
                                 JobOrPrinter_m, N_(JobOrPrinter_m));
const Member PauseJobArg_m[] = {
    Ctx("job", &T_JobOrPrinter, O_(ODP_BerPauseJobArg, job), 0),
    Ctx("message", &T_Encoded, O_(ODP_BerPauseJobArg, message), 1, 0x80),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerPauseJobArg, common_arguments), 2, 0x40)};
const Type T_PauseJobArg = Cons("PauseJobArgument", Kind::Seq, sizeof(ODP_BerPauseJobArg),
                                PauseJobArg_m, N_(PauseJobArg_m));
const Type T_InterruptJobArg = Cons("InterruptJobArgument", Kind::Seq, sizeof(ODP_BerPauseJobArg),
                                    PauseJobArg_m, N_(PauseJobArg_m));

const Member ResumeJobArg_m[] = {
    Ctx("resumed-job", &T_JobId, O_(ODP_BerResumeJobArg, resumed_job), 0),
    Ctx("resume-message", &T_Encoded, O_(ODP_BerResumeJobArg, resume_message), 1, 0x80),
    Ctx("checkpoint", &T_Encoded, O_(ODP_BerResumeJobArg, checkpoint), 2, 0x40),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerResumeJobArg, common_arguments), 3, 0x20)};
const Type T_ResumeJobArg = Cons("ResumeJobArgument", Kind::Seq, sizeof(ODP_BerResumeJobArg),
                                 ResumeJobArg_m, N_(ResumeJobArg_m));

const Member ResubmitJobArg_m[] = {
    Ctx("object-class", &T_Oid, O_(ODP_BerResubmitJobArg, object_class), 0),
    Ctx("object-identification", &T_Encoded, O_(ODP_BerResubmitJobArg, object_identification), 1),
    Ctx("printer", &T_Encoded, O_(ODP_BerResubmitJobArg, printer), 2),
    Ctx("message", &T_Encoded, O_(ODP_BerResubmitJobArg, message), 3, 0x80),
    Ctx("common-arguments", &T_AttrSet, O_(ODP_BerResubmitJobArg, common_arguments), 4, 0x40)};
const Type T_ResubmitJobArg = Cons("ResubmitJobArgument", Kind::Seq, sizeof(ODP_BerResubmitJobArg),
                                   ResubmitJobArg_m, N_(ResubmitJobArg_m));

const Member PrintRes_m[] = {
    Ctx("job-identification", &T_JobId, O_(ODP_BerPrintRes, job_identification), 0),
    Ctx("job-object", &T_Oid, O_(ODP_BerPrintRes, oid), 1, 0x80),
    Ctx("server-message", &T_Encoded, O_(ODP_BerPrintRes, server_message), 2, 0x40),
    Ctx("document-status", &T_AttrSet, O_(ODP_BerPrintRes, document_status), 3, 0x20),
    Ctx("job-status", &T_AttrSet, O_(ODP_BerPrintRes, job_status), 4)};
const Type T_PrintRes =
    Cons("PrintResult", Kind::Seq, sizeof(ODP_BerPrintRes), PrintRes_m, N_(PrintRes_m));

constexpr size_t kObjResBase = offsetof(ODP_BerObjectResult, object_identification);
const Member ObjectResult_m[] = {
    Ctx("object-identification", &T_Encoded,
        O_(ODP_BerObjectResult, object_identification) - kObjResBase, 0),
    Ctx("attribute-set", &T_AttrSet, O_(ODP_BerObjectResult, attribute_set) - kObjResBase, 1),
    Ctx("object-class", &T_Oid, O_(ODP_BerObjectResult, object_class) - kObjResBase, 2)};
const Type T_ObjectResult =
    Cons("ObjectResult", Kind::Seq, sizeof(ODP_BerObjectResult) - kObjResBase, ObjectResult_m,
         N_(ObjectResult_m));
const Type T_ObjectResults =
    List("ObjectResults", &T_ObjectResult, kObjResBase, sizeof(ODP_BerObjectResult));
const Member ListRes_m[] = {
    Ctx("answer-time", &T_Encoded, O_(ODP_BerListRes, answer_time), 0),
    Ctx("continuation", &T_OctetString, O_(ODP_BerListRes, continuation), 1, 0x80),
    Ctx("limit-encountered", &T_Int32, O_(ODP_BerListRes, limit_encountered), 2, 0x40),
    Member{"result-set", &T_ObjectResults, static_cast<uint32_t>(O_(ODP_BerListRes, result_set)),
           TagMode::Implicit, kContext, 3, 0, true, 0}};
const Type T_ListRes =
    Cons("ListResult", Kind::Seq, sizeof(ODP_BerListRes), ListRes_m, N_(ListRes_m));

const Member ObjectOpRes_m[] = {
    Ctx("attribute-set", &T_AttrSet, O_(ODP_BerObjectOpRes, attribute_set), 0, 0x80)};
const Type T_ObjectOpRes = Cons("ObjectOperationResult", Kind::Seq, sizeof(ODP_BerObjectOpRes),
                                ObjectOpRes_m, N_(ObjectOpRes_m));
const Member CreateRes_m[] = {Member{"attribute-set", &T_AttrSet,
                                     static_cast<uint32_t>(O_(ODP_BerObjectOpRes, attribute_set)),
                                     TagMode::Implicit, kContext, 0, 0, true, 0}};
const Type T_CreateRes =
    Cons("CreateResult", Kind::Seq, sizeof(ODP_BerObjectOpRes), CreateRes_m, N_(CreateRes_m));

const Member PauseJobRes_m[] = {
    Ctx("paused-job-identifier", &T_JobId, O_(ODP_BerPauseJobRes, paused_job_identifier), 0),
    Ctx("checkpoint", &T_ValueList, O_(ODP_BerPauseJobRes, checkpoint), 1),
    Ctx("job-status", &T_AttrSet, O_(ODP_BerPauseJobRes, job_status), 2, 0x80)};
const Type T_PauseJobRes =
    Cons("PauseJobResult", Kind::Seq, sizeof(ODP_BerPauseJobRes), PauseJobRes_m, N_(PauseJobRes_m));

const Member InterruptJobRes_m[] = {
    Ctx("interrupted-job-identifier", &T_JobId,
        O_(ODP_BerInterruptJobRes, interrupted_job_identifier), 0),
    Ctx("job-status", &T_AttrSet, O_(ODP_BerInterruptJobRes, job_status), 1)};
const Type T_InterruptJobRes = Cons("InterruptJobResult", Kind::Seq, sizeof(ODP_BerInterruptJobRes),
                                    InterruptJobRes_m, N_(InterruptJobRes_m));

constexpr size_t kPausedBase = offsetof(ODP_BerPausedJob, bit_mask);
const Member PausedJob_m[] = {
    Ctx("job", &T_JobId, O_(ODP_BerPausedJob, job) - kPausedBase, 0),
    Ctx("status", &T_AttrSet, O_(ODP_BerPausedJob, status) - kPausedBase, 1, 0x80)};
const Type T_PausedJob = Cons("PausedJob", Kind::Seq, sizeof(ODP_BerPausedJob) - kPausedBase,
                              PausedJob_m, N_(PausedJob_m));
const Type T_PauseRes = List("PauseResult", &T_PausedJob, kPausedBase, sizeof(ODP_BerPausedJob));

constexpr size_t kStatusBase = offsetof(ODP_BerObjectStatus, bit_mask);
const Member ObjectStatus_m[] = {Ctx(
    "attribute-set", &T_AttrSet, O_(ODP_BerObjectStatus, attribute_set) - kStatusBase, 0, 0x80)};
const Type T_ObjectStatus =
    Cons("ObjectStatus", Kind::Seq, sizeof(ODP_BerObjectStatus) - kStatusBase, ObjectStatus_m,
         N_(ObjectStatus_m));
const Type T_ResubmitJobRes =
    List("ResubmitJobResult", &T_ObjectStatus, kStatusBase, sizeof(ODP_BerObjectStatus));

struct Entry {
    int pdu;
    const Type *type;
};

const Entry kTable[] = {
    {ODP_PDU_ATTRIBUTE_SET, &T_AttrSet},
    {ODP_PDU_MODIFICATION_SET, &T_ModAttrSet},
    {ODP_PDU_ATTRIBUTE, &T_Attr},
    {ODP_PDU_SINGLE_VALUE, &T_SingleValue},
    {ODP_PDU_PRINT_ARG, &T_PrintArg},
    {ODP_PDU_PRINT_RES, &T_PrintRes},
    {ODP_PDU_MODIFY_JOB_ARG, &T_ModifyJobArg},
    {ODP_PDU_MODIFY_JOB_RES, &T_ObjectOpRes},
    {ODP_PDU_CANCEL_JOB_ARG, &T_CancelJobArg},
    {ODP_PDU_CANCEL_JOB_RES, &T_ObjectOpRes},
    {ODP_PDU_LIST_ARG, &T_ListArg},
    {ODP_PDU_LIST_RES, &T_ListRes},
    {ODP_PDU_PROMOTE_JOB_ARG, &T_PromoteJobArg},
    {ODP_PDU_PROMOTE_JOB_RES, &T_ObjectOpRes},
    {ODP_PDU_INTERRUPT_JOB_ARG, &T_InterruptJobArg},
    {ODP_PDU_INTERRUPT_JOB_RES, &T_InterruptJobRes},
    {ODP_PDU_PAUSE_JOB_ARG, &T_PauseJobArg},
    {ODP_PDU_PAUSE_JOB_RES, &T_PauseJobRes},
    {ODP_PDU_RESUME_JOB_ARG, &T_ResumeJobArg},
    {ODP_PDU_RESUME_JOB_RES, &T_ObjectOpRes},
    {ODP_PDU_CLEAN_ARG, &T_ObjectOpArg},
    {ODP_PDU_CLEAN_RES, &T_ObjectOpRes},
    {ODP_PDU_CONTROL_ARG, &T_ControlArg},
    {ODP_PDU_CONTROL_RES, &T_ObjectOpRes},
    {ODP_PDU_CREATE_ARG, &T_CreateArg},
    {ODP_PDU_CREATE_RES, &T_CreateRes},
    {ODP_PDU_DELETE_ARG, &T_ObjectOpArg},
    {ODP_PDU_DELETE_RES, &T_ObjectOpRes},
    {ODP_PDU_DISABLE_ARG, &T_ObjectOpArg},
    {ODP_PDU_DISABLE_RES, &T_ObjectOpRes},
    {ODP_PDU_ENABLE_ARG, &T_ObjectOpArg},
    {ODP_PDU_ENABLE_RES, &T_ObjectOpRes},
    {ODP_PDU_PAUSE_ARG, &T_ObjectOpArg},
    {ODP_PDU_PAUSE_RES, &T_PauseRes},
    {ODP_PDU_RESUBMIT_JOB_ARG, &T_ResubmitJobArg},
    {ODP_PDU_RESUBMIT_JOB_RES, &T_ResubmitJobRes},
    {ODP_PDU_RESUME_ARG, &T_ObjectOpArg},
    {ODP_PDU_RESUME_RES, &T_ObjectOpRes},
    {ODP_PDU_SEND_EVENT_ARG, &T_SendEventArg},
    {ODP_PDU_SEND_EVENT_RES, &T_ObjectOpRes},
    {ODP_PDU_SET_ARG, &T_SetArg},
    {ODP_PDU_SET_RES, &T_ObjectOpRes},
    {ODP_PDU_SHUTDOWN_ARG, &T_ShutdownArg},
    {ODP_PDU_SHUTDOWN_RES, &T_ObjectOpRes},
    {ERDPA_PDU_ACCESS, &T_AccessError},
    {ERDPA_PDU_ATTRIBUTE, &T_AttributeError},
    {ERDPA_PDU_DOCUMENT_ACCESS, &T_DocumentAccessError},
    {ERDPA_PDU_PRINTER, &T_PrinterError},
    {ERDPA_PDU_SECURITY, &T_SecurityError},
    {ERDPA_PDU_SELECTION, &T_SelectionError},
    {ERDPA_PDU_SERVICE, &T_ServiceError},
    {ERDPA_PDU_UPDATE, &T_UpdateError},
};

} // namespace

const Type *OpsPduType(int pdu) {
    for (const Entry &e : kTable)
        if (e.pdu == pdu) return e.type;
    return nullptr;
}

size_t OpsPduCount() { return N_(kTable); }

int OpsPduAt(size_t i) { return i < OpsPduCount() ? kTable[i].pdu : 0; }

const char *OpsPduName(int pdu) {
    const Type *t = OpsPduType(pdu);
    return t ? t->name : nullptr;
}

} // namespace vrcore::ber
