// The DPA operations: each builds its argument from the caller's values,
// binds through the common arguments, sends, and converts the result.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "client/binding.h"
#include "encoding/value_types.h"
#include "system/guard.h"
#include "vrcore/echo.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"
#include "vrcore/odp.h"
#include "vrcore/sec.h"

namespace vrcore::client {
namespace {

using namespace vrcore::encoding;

constexpr const char *kCaller = "ODP_C";
constexpr int32_t kSetMode = ODP_AS_MODE_EXTENDED_ACL;

// Attributes of the common arguments.
constexpr GENU_ShortOID kRpcTimeout = 103;
constexpr GENU_ShortOID kPrinterName = 649;
constexpr GENU_ShortOID kAssociatedQueue = 696;
constexpr GENU_ShortOID kServerName = 871;
constexpr GENU_ShortOID kHandshakeToken = 3235;

// Conversion codes.
constexpr uint32_t kResultConv = 0xC0090067u;
constexpr uint32_t kSetConv = 0xC0090068u;
constexpr uint32_t kContextConv = 0xC009006Du;
constexpr uint32_t kPrinterConv = 0xC0090070u;
constexpr uint32_t kDocConv = 0xC0090073u;
constexpr uint32_t kMessageConv = 0xC009007Au;
constexpr uint32_t kEventConv = 0xC009007Bu;
constexpr uint32_t kIdentConv = 0xC009007Eu;
constexpr uint32_t kOidConv = 0xC0090081u;
constexpr uint32_t kSelectorConv = 0xC009008Bu;
constexpr uint32_t kNameConv = 0xC009008Fu;

int Fail(STF_List *status, uint32_t code) {
    STF_AddStatus(status, code, 0);
    return 1;
}

// What an operation converted, released when the operation ends whatever
// its outcome. It points into the operation's argument, so it is declared
// after it and released before it goes.
class Parts {
  public:
    explicit Parts(STF_List *status) : status_(status) {}
    ~Parts() {
        StatusScratch s;
        for (GENU_Buffer *b : buffers_) _GENU__MyFree(b->value);
        for (ODP_BerAttrSet *a : sets_) FreeBER_AS(s, a);
        for (ODP_BerModAttrSet *m : mods_) FreeBER_ModOpAS(s, m);
        for (ODP_BerDocDescription *d : docs_) FreeBER_docDescription(s, d);
        for (ODP_BerSelector *x : selectors_) FreeBER_selector(s, x);
        for (GENU_Buffer *c : contexts_) FreeBER_listContext(s, c);
    }
    Parts(const Parts &) = delete;
    Parts &operator=(const Parts &) = delete;

    // Each answers true when done, else adds `code` and answers false.
    bool Pack(uint32_t type, const void *value, GENU_Buffer *out, uint32_t code) {
        if (ODP_PackAV(status_, type, value, out)) return Fail(code);
        buffers_.push_back(out);
        return true;
    }
    bool Oid(GENU_ShortOID id, GENU_BerOID *out, uint32_t code) {
        return GENU_ShortToBerOID(status_, id, out) == 0 || Fail(code);
    }
    bool Set(const AS_SetHandle *set, ODP_BerAttrSet **out, uint32_t code = kSetConv) {
        if (ToBER_AS(status_, out, set, kSetMode)) return Fail(code);
        sets_.push_back(*out);
        return true;
    }
    bool ModSet(const AS_SetHandle *set, ODP_BerModAttrSet **out) {
        if (ToBER_ModOpAS(status_, out, set, kSetMode)) return Fail(kSetConv);
        mods_.push_back(*out);
        return true;
    }
    bool Doc(const ODP_DocDescription *in, ODP_BerDocDescription *out) {
        if (ToBER_docDescription(status_, out, in)) return Fail(kDocConv);
        docs_.push_back(out);
        return true;
    }
    bool Selector(const GEN_Selector *in, ODP_BerSelector *out) {
        if (ToBER_selector(status_, out, in)) return Fail(kSelectorConv);
        selectors_.push_back(out);
        return true;
    }
    bool Context(const GEN_OctetString *in, GENU_Buffer *out) {
        if (!in || ToBER_listContext(status_, out, in)) return Fail(kContextConv);
        contexts_.push_back(out);
        return true;
    }
    bool Ids(const AS_IdentifierList *in, ODP_BerOidNode **out, uint32_t code) {
        oids_.resize(in->count);
        for (uint32_t i = 0; i < in->count; ++i) {
            if (!Oid(in->ids[i], &oids_[i].oid, code)) return false;
            oids_[i].next = i + 1 < in->count ? &oids_[i + 1] : nullptr;
        }
        *out = in->count ? oids_.data() : nullptr;
        return true;
    }
    // A job identifier into its fixed field: required, at most 255.
    bool JobId(const char *in, ODP_BerJobId out) {
        if (!in) return Fail(ODP_S_BADARG);
        size_t n = strlen(in);
        if (n > GEN_JOB_ID_MAX) return Fail(ODP_S_JOBID_LONG);
        memcpy(out, in, n + 1);
        return true;
    }
    bool JobOrPrinter(const ODP_JobOrPrinter *in, ODP_BerJobOrPrinter *out) {
        if (!in) return Fail(ODP_S_BADARG);
        if (in->kind == ODP_JOB_OR_PRINTER_JOB) {
            out->choice = 1;
            return JobId(in->u.job.value, out->u.job);
        }
        out->choice = 2;
        return Pack(kSimpleNameType, &in->u.printer, &out->u.printer, kNameConv);
    }
    bool Message(const GEN_Message *in, GENU_Buffer *out, uint8_t *mask, uint8_t bit) {
        if (!in) return true;
        *mask |= bit;
        return Pack(kMessageType, in, out, kMessageConv);
    }
    bool Common(const AS_SetHandle *common, ODP_BerAttrSet **out, uint8_t *mask, uint8_t bit) {
        if (CommonArgsToBER(status_, out, common)) return false;
        sets_.push_back(*out);
        *mask |= bit;
        return true;
    }
    bool Fail(uint32_t code) { return client::Fail(status_, code), false; }

  private:
    STF_List *status_;
    std::vector<GENU_Buffer *> buffers_, contexts_;
    std::vector<ODP_BerAttrSet *> sets_;
    std::vector<ODP_BerModAttrSet *> mods_;
    std::vector<ODP_BerDocDescription *> docs_;
    std::vector<ODP_BerSelector *> selectors_;
    std::vector<ODP_BerOidNode> oids_;
};

// The decoded result of one request, released at the end.
struct Sent {
    int32_t operation;
    void *result = nullptr;
    ~Sent() { ReleaseResult(result, operation); }
};

int Send(STF_List *status, Sent *sent, const void *argument, ERDPA_ErrorResult **error) {
    return EncodeAndSend(status, sent->operation, argument, &sent->result, error);
}

// The result set of an object operation (null when none).
int ObjectResult(STF_List *status, const Sent &sent, AS_SetHandle **out, uint32_t code) {
    StatusScratch s;
    if (ToGEN_objectOpResult(s, static_cast<const ODP_BerObjectOpRes *>(sent.result), out))
        return Fail(status, code);
    return 0;
}

// Begins an operation: the list cleared, the out parameters null (both
// are required).
template <class R> bool Begin(STF_List *status, R **result, ERDPA_ErrorResult **error) {
    STF_ClearStatus(status);
    if (!result || !error) return Fail(status, ODP_S_BADARG), false;
    *result = nullptr;
    *error = nullptr;
    return true;
}

// The object operations with the argument of enable, disable, clean,
// delete, pause, resume and shutdown.
int ObjectOp(STF_List *status, int32_t operation, GENU_ShortOID object_class,
             const GEN_ObjectIdent *instance, const GEN_Message *message, const GENU_ShortOID *when,
             const AS_SetHandle *common, Sent *sent, ERDPA_ErrorResult **error) {
    ODP_BerObjectOpArg a{};
    Parts parts(status);
    if (!parts.Oid(object_class, &a.object_class, kOidConv) ||
        !parts.Pack(kObjectIdentType, instance, &a.object_instance, kIdentConv) ||
        !parts.Message(message, &a.message, &a.bit_mask, 0x80) ||
        (when && !parts.Oid(*when, &a.when, kOidConv)) ||
        !parts.Common(common, &a.common_arguments, &a.bit_mask, 0x40))
        return 1;
    sent->operation = operation;
    return Send(status, sent, &a, error);
}

int NewList(STF_List *status, int32_t operation, GENU_ShortOID object_class, const int32_t *scope,
            const GEN_Selector *selector, const AS_IdentifierList *requested,
            const AS_SetHandle *common, uint32_t requested_code, ODP_ListResult **result,
            ERDPA_ErrorResult **error) {
    ODP_BerListArg a{};
    Parts parts(status);
    a.choice = 2;
    ODP_BerNewListArg &l = a.u.new_list;
    if (!parts.Oid(object_class, &l.object_class, kOidConv)) return 1;
    if (scope) l.scope = *scope, l.bit_mask |= 0x80;
    if (selector) {
        if (!parts.Selector(selector, &l.selector)) return 1;
        l.bit_mask |= 0x40;
    }
    if (requested) {
        if (!parts.Ids(requested, &l.requested_attributes, requested_code)) return 1;
        l.bit_mask |= 0x20;
    }
    if (!parts.Common(common, &l.common_arguments, &l.bit_mask, 0x08)) return 1;
    Sent sent{operation};
    if (Send(status, &sent, &a, error)) return 1;
    return ToGEN_listResult(status, static_cast<ODP_BerListRes *>(sent.result), result)
               ? Fail(status, kResultConv)
               : 0;
}

int ContinueList(STF_List *status, int32_t operation, const GEN_OctetString *context, bool abort,
                 const AS_SetHandle *common, ODP_ListResult **result, ERDPA_ErrorResult **error) {
    ODP_BerListArg a{};
    Parts parts(status);
    a.choice = 1;
    ODP_BerContinueListArg &c = a.u.continuation;
    if (!parts.Context(context, &c.context)) return 1;
    if (abort) c.abort = 1, c.bit_mask |= 0x80;
    if (!parts.Common(common, &c.common_arguments, &c.bit_mask, 0x40)) return 1;
    Sent sent{operation};
    if (Send(status, &sent, &a, error)) return 1;
    return ToGEN_listResult(status, static_cast<ODP_BerListRes *>(sent.result), result)
               ? Fail(status, kResultConv)
               : 0;
}

int Print(STF_List *status, int32_t operation, const ODP_BerPrintArg &a, ODP_PrintResult **result,
          ERDPA_ErrorResult **error) {
    Sent sent{operation};
    if (Send(status, &sent, &a, error)) return 1;
    return ToGEN_printResult(status, static_cast<ODP_BerPrintRes *>(sent.result), result)
               ? Fail(status, kResultConv)
               : 0;
}

// The server that receives an event: named by the common arguments, else
// the peer of the current binding.
int EventServer(STF_List *status, const AS_SetHandle *common, GEN_SimpleName *server) {
    if (common && *common) {
        StatusScratch s;
        void *v = nullptr;
        if (AS_GetAttrVal(s, *common, kAssociatedQueue, &v) == 0 && v)
            return AssociatedServer(status, NS_CLASS_QUEUE, *static_cast<GEN_SimpleName *>(v),
                                    server);
        if (AS_GetAttrVal(s, *common, kPrinterName, &v) == 0 && v)
            return AssociatedServer(status, NS_CLASS_ANY_PRN, *static_cast<GEN_SimpleName *>(v),
                                    server);
        if (AS_GetAttrVal(s, *common, kServerName, &v) == 0 && v) {
            *server = *static_cast<GEN_SimpleName *>(v);
            return 0;
        }
    }
    return PeerServerName(status, server);
}

// The handshake of a server-to-server event from the token of the result.
int Handshake(STF_List *status, const GEN_SimpleName &server, AS_SetHandle set) {
    StatusScratch s;
    void *v = nullptr;
    uint32_t type = 0;
    if (!set || AS_GetAttrValType(s, set, kHandshakeToken, &type) || type != kOctetStringType ||
        AS_GetAttrVal(s, set, kHandshakeToken, &v) || !v)
        return Fail(status, ODP_S_CREDENTIALS);
    const auto *octets = static_cast<const GEN_OctetString *>(v);
    if (octets->length < 0 || (octets->length > 0 && !octets->value))
        return Fail(status, ODP_S_CREDENTIALS);
    std::vector<char> bytes(octets->value, octets->value + octets->length);
    bytes.push_back('\0');
    ODP_SecurityToken token{static_cast<uint32_t>(bytes.size() - 1), bytes.data()};
    uint32_t answer = Security().event_handshake(&server, &token);
    if (answer) return AddSecurityCode(status, answer), 1;
    return 0;
}

} // namespace
} // namespace vrcore::client

using namespace vrcore::client;

#define ODP_CATCH VR_CATCH_STATUS(status, ODP_S_NOMEM, ODP_S_COMM)

extern "C" {

VR_EXPORT int CommonArgsToBER(STF_List *status, ODP_BerAttrSet **out,
                              const AS_SetHandle *common_arguments) try {
    *out = nullptr;
    bool given = common_arguments && *common_arguments;
    AS_SetHandle set = given ? *common_arguments : AS_nullSetHandle;
    if (!given && AS_Create(status, &set, nullptr, 0)) return 1;
    struct Empty {
        AS_SetHandle *set;
        bool own;
        ~Empty() {
            StatusScratch s;
            if (own) AS_Destroy(s, set);
        }
    } empty{&set, !given};
    if (given) {
        static const struct {
            GENU_ShortOID id;
            int32_t type;
        } kChoices[] = {{kAssociatedQueue, NS_CLASS_QUEUE},
                        {kPrinterName, NS_CLASS_ANY_PRN},
                        {kServerName, NS_CLASS_ANY_SVR}};
        for (const auto &c : kChoices) {
            StatusScratch s;
            void *v = nullptr;
            if (AS_GetAttrVal(s, set, c.id, &v) || !v) continue;
            GEN_ObjectIdent name{};
            name.choice = GEN_OBJID_SIMPLE_NAME;
            name.u.simple_name = *static_cast<const GEN_SimpleName *>(v);
            if (ODP_Initialize(status, c.type, name)) return 1;
            break;
        }
    }
    uint32_t answer = 0;
    if (ActingAsServer()) {
        GEN_SimpleName peer{};
        if (PeerServerName(status, &peer)) return 1;
        answer = Security().check_common_arguments(&peer, set);
    } else {
        ClientHandle *h = CurrentHandle();
        int32_t env = h && h->server ? h->server->env : NS_ENV_MSRPC;
        answer = static_cast<uint32_t>(SEC_AddPAC_C(env == 0 ? 0 : env == 1 ? 1 : 2, set));
    }
    if (answer) return AddSecurityCode(status, answer), 1;
    if (ToBER_AS(status, out, &set, kSetMode)) return Fail(status, kSetConv);
    StatusScratch s;
    void *v = nullptr;
    if (given && AS_GetAttrVal(s, set, kRpcTimeout, &v) == 0 && v) {
        // A delta time: past the control call's range it asks for the most.
        auto seconds = static_cast<int32_t>(
            std::min<GEN_DeltaTime>(*static_cast<const GEN_DeltaTime *>(v), INT32_MAX));
        if (ODP_ClientControl(status, ODP_CONTROL_TIMEOUT, &seconds)) {
            FreeBER_AS(s, *out);
            *out = nullptr;
            return 1;
        }
        LOG_CondMessage(6, "c_supprt.onc", __LINE__, "ODP_C: Timeout set to %d\n", seconds);
    }
    return 0;
}
ODP_CATCH

VR_EXPORT int ODP_CreateJob_C(STF_List *status, const GEN_SimpleName *printer_name,
                              const int32_t *submission_complete,
                              const AS_SetHandle *job_attributes,
                              const ODP_DocDescription *first_document,
                              const AS_SetHandle *common_arguments, ODP_PrintResult **result,
                              ERDPA_ErrorResult **error) try {
    EchoInCreateJob(status, kCaller, printer_name, submission_complete, job_attributes,
                    first_document, common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerPrintArg a{};
        Parts parts(status);
        a.choice = 1;
        ODP_BerCreateJobArg &c = a.u.create_job;
        if (!printer_name) return Fail(status, kNameConv);
        if (!parts.Pack(kSimpleNameType, printer_name, &c.printer_name, kNameConv)) return 1;
        if (submission_complete && *submission_complete == 0) c.bit_mask |= 0x80;
        if (job_attributes) {
            c.bit_mask |= 0x40;
            if (!parts.Set(job_attributes, &c.job_attributes)) return 1;
        }
        if (!parts.Common(common_arguments, &c.common_arguments, &c.bit_mask, 0x10)) return 1;
        if (first_document) {
            c.bit_mask |= 0x20;
            if (!parts.Doc(first_document, &c.first_document)) return 1;
        }
        return Print(status, 0, a, result, error);
    }();
    EchoOutCreateJob(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_AddDocument_C(STF_List *status, const char *existing_job,
                                const int32_t *submission_complete,
                                const ODP_DocDescription *new_document,
                                const AS_SetHandle *common_arguments, ODP_PrintResult **result,
                                ERDPA_ErrorResult **error) try {
    EchoInAddDocument(status, kCaller, existing_job, submission_complete, new_document,
                      common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerPrintArg a{};
        Parts parts(status);
        a.choice = 2;
        ODP_BerAddDocumentArg &d = a.u.add_document;
        if (!parts.JobId(existing_job, d.existing_job)) return 1;
        if (submission_complete && *submission_complete == 0) d.bit_mask |= 0x80;
        if (!new_document) return Fail(status, kDocConv);
        if (!parts.Doc(new_document, &d.new_document) ||
            !parts.Common(common_arguments, &d.common_arguments, &d.bit_mask, 0x40))
            return 1;
        return Print(status, 5, a, result, error);
    }();
    EchoOutAddDocument(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_CloseJob_C(STF_List *status, const char *existing_job,
                             const AS_SetHandle *common_arguments, ODP_PrintResult **result,
                             ERDPA_ErrorResult **error) try {
    EchoInCloseJob(status, kCaller, existing_job, common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerPrintArg a{};
        Parts parts(status);
        a.choice = 3;
        ODP_BerCloseJobArg &c = a.u.close_job;
        if (!parts.JobId(existing_job, c.existing_job) ||
            !parts.Common(common_arguments, &c.common_arguments, &c.bit_mask, 0x80))
            return 1;
        return Print(status, 6, a, result, error);
    }();
    EchoOutCloseJob(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_ListObjectAttributes_C(STF_List *status, GENU_ShortOID object_class,
                                         const int32_t *scope, const GEN_Selector *selector,
                                         const AS_IdentifierList *requested_attributes,
                                         const AS_SetHandle *common_arguments,
                                         ODP_ListResult **result, ERDPA_ErrorResult **error) try {
    EchoInListObjectAttributes(status, kCaller, object_class, scope, selector, requested_attributes,
                               common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = NewList(status, 1, object_class, scope, selector, requested_attributes,
                     common_arguments, kResultConv, result, error);
    EchoOutListObjectAttributes(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_GetOrderedJobs_C(STF_List *status, GENU_ShortOID object_class,
                                   const int32_t *scope, const GEN_Selector *selector,
                                   const AS_IdentifierList *requested_attributes,
                                   const AS_SetHandle *common_arguments, ODP_ListResult **result,
                                   ERDPA_ErrorResult **error) try {
    EchoInGetOrderedJobs(status, "client", object_class, scope, selector, requested_attributes,
                         common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = NewList(status, 10, object_class, scope, selector, requested_attributes,
                     common_arguments, kOidConv, result, error);
    EchoOutGetOrderedJobs(status, "client", *result, *error);
    return rc;
}
ODP_CATCH

#define ODP_CONTINUE_OP(name, operation, abort)                                                    \
    VR_EXPORT int ODP_##name##_C(STF_List *status, const GEN_OctetString *context,                 \
                                 const AS_SetHandle *common_arguments, ODP_ListResult **result,    \
                                 ERDPA_ErrorResult **error) try {                                  \
        EchoIn##name(status, kCaller, context, common_arguments);                                  \
        if (!Begin(status, result, error)) return 1;                                               \
        int rc = ContinueList(status, operation, context, abort, common_arguments, result, error); \
        EchoOut##name(status, kCaller, *result, *error);                                           \
        return rc;                                                                                 \
    }                                                                                              \
    ODP_CATCH
ODP_CONTINUE_OP(ListObjectAttributeContinuation, 7, false)
ODP_CONTINUE_OP(ListObjectAttributeAbort, 12, true)
ODP_CONTINUE_OP(GetOrderedJobsContinuation, 11, false)
#undef ODP_CONTINUE_OP

VR_EXPORT int ODP_Create_C(STF_List *status, GENU_ShortOID object_class,
                           const GEN_ObjectIdent *object_instance,
                           const GEN_ObjectIdent *initial_value_object,
                           const uint8_t *force_creation, const AS_SetHandle *object_attributes,
                           const GEN_Message *message, const AS_SetHandle *common_arguments,
                           AS_SetHandle **result, ERDPA_ErrorResult **error) try {
    EchoInCreate(status, kCaller, object_class, object_instance, initial_value_object,
                 force_creation, object_attributes, message, common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerCreateArg a{};
        Parts parts(status);
        if (!parts.Oid(object_class, &a.object_class, kOidConv) ||
            !parts.Pack(kObjectIdentType, object_instance, &a.object_instance, kIdentConv))
            return 1;
        if (initial_value_object) {
            a.bit_mask |= 0x40;
            if (!parts.Pack(kObjectIdentType, initial_value_object, &a.initial_value_object,
                            kIdentConv))
                return 1;
        }
        if (force_creation) a.force_creation = *force_creation, a.bit_mask |= 0x20;
        if (object_attributes) {
            a.bit_mask |= 0x10;
            if (!parts.Set(object_attributes, &a.object_attributes, kIdentConv)) return 1;
        }
        if (!parts.Message(message, &a.message, &a.bit_mask, 0x80) ||
            !parts.Common(common_arguments, &a.common_arguments, &a.bit_mask, 0x08))
            return 1;
        Sent sent{2};
        if (Send(status, &sent, &a, error)) return 1;
        return ObjectResult(status, sent, result, kResultConv);
    }();
    EchoOutCreate(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

// Delete ("OBJ_C"), clean, enable, disable and resume.
#define ODP_OBJECT_OP(name, operation, code, caller)                                               \
    VR_EXPORT int ODP_##name##_C(STF_List *status, GENU_ShortOID object_class,                     \
                                 const GEN_ObjectIdent *object_instance,                           \
                                 const GEN_Message *message, const AS_SetHandle *common_arguments, \
                                 AS_SetHandle **result, ERDPA_ErrorResult **error) try {           \
        EchoIn##name(status, caller, object_class, object_instance, message, common_arguments);    \
        if (!Begin(status, result, error)) return 1;                                               \
        Sent sent{operation};                                                                      \
        int rc = ObjectOp(status, operation, object_class, object_instance, message, nullptr,      \
                          common_arguments, &sent, error) ||                                       \
                 ObjectResult(status, sent, result, code);                                         \
        EchoOut##name(status, caller, *result, *error);                                            \
        return rc;                                                                                 \
    }                                                                                              \
    ODP_CATCH
ODP_OBJECT_OP(Delete, 24, kSetConv, "OBJ_C")
ODP_OBJECT_OP(Clean, 20, kResultConv, kCaller)
ODP_OBJECT_OP(Enable, 3, kSetConv, kCaller)
ODP_OBJECT_OP(Disable, 13, kSetConv, kCaller)
ODP_OBJECT_OP(Resume, 26, kSetConv, kCaller)
#undef ODP_OBJECT_OP

VR_EXPORT int ODP_Pause_C(STF_List *status, GENU_ShortOID object_class,
                          const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                          const AS_SetHandle *common_arguments, ODP_PauseResult **result,
                          ERDPA_ErrorResult **error) try {
    EchoInPause(status, kCaller, object_class, object_instance, message, common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        Sent sent{25};
        if (ObjectOp(status, 25, object_class, object_instance, message, nullptr, common_arguments,
                     &sent, error))
            return 1;
        // The first affected job; the others are found by listing the jobs.
        // (The result's structure holds the head of the list.)
        auto *head = static_cast<ODP_BerPausedJob *const *>(sent.result);
        const ODP_BerPausedJob *first = head ? *head : nullptr;
        if (!first) return 0;
        auto *r = static_cast<ODP_PauseResult *>(calloc(1, sizeof(ODP_PauseResult)));
        if (!r) return Fail(status, ODP_S_NOMEM);
        size_t n = strnlen(first->job, sizeof first->job - 1);
        memcpy(r->affected_job.value, first->job, n);
        r->bit_mask = ODP_PAUSE_RESULT_JOB;
        if (first->bit_mask & 0x80) {
            if (ToGEN_AS(status, first->status, &r->pause_status)) {
                free(r);
                return Fail(status, kSetConv);
            }
            r->bit_mask |= ODP_PAUSE_RESULT_STATUS;
        }
        *result = r;
        return 0;
    }();
    EchoOutPause(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_Set_C(STF_List *status, GENU_ShortOID object_class,
                        const GEN_ObjectIdent *object_instance,
                        const AS_SetHandle *attr_modification, const GEN_Message *message,
                        const AS_SetHandle *common_arguments, AS_SetHandle **result,
                        ERDPA_ErrorResult **error) try {
    EchoInSet(status, kCaller, object_class, object_instance, attr_modification, message,
              common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerSetArg a{};
        Parts parts(status);
        if (!parts.Oid(object_class, &a.object_class, kOidConv) ||
            !parts.Pack(kObjectIdentType, object_instance, &a.object_instance, kIdentConv))
            return 1;
        if (attr_modification) {
            a.bit_mask |= 0x40;
            if (!parts.ModSet(attr_modification, &a.attr_modification)) return 1;
        }
        if (!parts.Message(message, &a.message, &a.bit_mask, 0x80) ||
            !parts.Common(common_arguments, &a.common_arguments, &a.bit_mask, 0x20))
            return 1;
        Sent sent{21};
        if (Send(status, &sent, &a, error)) return 1;
        return ObjectResult(status, sent, result, kResultConv);
    }();
    EchoOutSet(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_Shutdown_C(STF_List *status, GENU_ShortOID object_class,
                             const GEN_ObjectIdent *object_instance, const GEN_Message *message,
                             GENU_ShortOID when, const AS_SetHandle *common_arguments,
                             AS_SetHandle **result, ERDPA_ErrorResult **error) try {
    EchoInShutdown(status, kCaller, object_class, object_instance, message, when, common_arguments);
    if (!Begin(status, result, error)) return 1;
    Sent sent{22};
    int rc = ObjectOp(status, 22, object_class, object_instance, message, &when, common_arguments,
                      &sent, error) ||
             ObjectResult(status, sent, result, kResultConv);
    EchoOutShutdown(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_Control_C(STF_List *status, GENU_ShortOID object_class,
                            const GEN_ObjectIdent *object_instance, int32_t,
                            AS_SetHandle operations, const AS_SetHandle *common_arguments,
                            AS_SetHandle **result, ERDPA_ErrorResult **error) try {
    EchoInControl(status, kCaller, object_class, object_instance, operations, common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerControlArg a{};
        Parts parts(status);
        if (!parts.Oid(object_class, &a.object_class, kOidConv) ||
            !parts.Pack(kObjectIdentType, object_instance, &a.object_instance, kIdentConv) ||
            !parts.Set(&operations, &a.operations) ||
            !parts.Common(common_arguments, &a.common_arguments, &a.bit_mask, 0x40))
            return 1;
        Sent sent{28};
        if (Send(status, &sent, &a, error)) return 1;
        return ObjectResult(status, sent, result, kResultConv);
    }();
    EchoOutControl(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_CancelJob_C(STF_List *status, const char *existing_job,
                              const int32_t *document_number, const GEN_Message *cancel_message,
                              const int32_t *retention_period, const AS_SetHandle *common_arguments,
                              AS_SetHandle **result, ERDPA_ErrorResult **error) try {
    EchoInCancelJob(status, kCaller, existing_job, document_number, cancel_message,
                    retention_period, common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerCancelJobArg a{};
        Parts parts(status);
        if (!parts.JobId(existing_job, a.existing_job)) return 1;
        if (document_number) a.document_number = *document_number, a.bit_mask |= 0x80;
        if (retention_period) a.retention_period = *retention_period, a.bit_mask |= 0x20;
        if (!parts.Message(cancel_message, &a.cancel_message, &a.bit_mask, 0x40) ||
            !parts.Common(common_arguments, &a.common_arguments, &a.bit_mask, 0x10))
            return 1;
        Sent sent{15};
        if (Send(status, &sent, &a, error)) return 1;
        return ObjectResult(status, sent, result, kResultConv);
    }();
    EchoOutCancelJob(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_PromoteJob_C(STF_List *status, const char *job_identification,
                               const GEN_Message *promote_message,
                               const AS_SetHandle *common_arguments, AS_SetHandle **result,
                               ERDPA_ErrorResult **error) try {
    EchoInPromoteJob(status, kCaller, job_identification, promote_message, common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerPromoteJobArg a{};
        Parts parts(status);
        if (!parts.JobId(job_identification, a.job_identification) ||
            !parts.Message(promote_message, &a.promote_message, &a.bit_mask, 0x80) ||
            !parts.Common(common_arguments, &a.common_arguments, &a.bit_mask, 0x40))
            return 1;
        Sent sent{16};
        if (Send(status, &sent, &a, error)) return 1;
        return ObjectResult(status, sent, result, kResultConv);
    }();
    EchoOutPromoteJob(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_PauseJob_C(STF_List *status, const ODP_JobOrPrinter *paused_job,
                             const GEN_Message *pause_message, const AS_SetHandle *common_arguments,
                             ODP_PauseJobResult **result, ERDPA_ErrorResult **error) try {
    EchoInPauseJob(status, kCaller, paused_job, pause_message, common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerPauseJobArg a{};
        Parts parts(status);
        if (!parts.JobOrPrinter(paused_job, &a.job) ||
            !parts.Message(pause_message, &a.message, &a.bit_mask, 0x80) ||
            !parts.Common(common_arguments, &a.common_arguments, &a.bit_mask, 0x40))
            return 1;
        Sent sent{18};
        if (Send(status, &sent, &a, error)) return 1;
        return ToGEN_pauseJobResult(status, static_cast<ODP_BerPauseJobRes *>(sent.result), result)
                   ? Fail(status, kResultConv)
                   : 0;
    }();
    EchoOutPauseJob(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_ResumeJob_C(STF_List *status, const char *resumed_job,
                              const GEN_Message *resume_message, const int32_t *checkpoint,
                              const AS_SetHandle *common_arguments, AS_SetHandle **result,
                              ERDPA_ErrorResult **error) try {
    EchoInResumeJob(status, kCaller, resumed_job, resume_message, checkpoint, common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerResumeJobArg a{};
        Parts parts(status);
        if (!parts.JobId(resumed_job, a.resumed_job) ||
            !parts.Message(resume_message, &a.resume_message, &a.bit_mask, 0x80) ||
            !parts.Common(common_arguments, &a.common_arguments, &a.bit_mask, 0x20))
            return 1;
        Sent sent{19};
        if (Send(status, &sent, &a, error)) return 1;
        return ObjectResult(status, sent, result, kResultConv);
    }();
    EchoOutResumeJob(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_InterruptJob_C(STF_List *status, const ODP_JobOrPrinter *interrupted_job,
                                 const GEN_Message *interrupt_message, const char *interrupting_job,
                                 const AS_SetHandle *common_arguments,
                                 ODP_InterruptJobResult **result, ERDPA_ErrorResult **error) try {
    EchoInInterruptJob(status, kCaller, interrupted_job, interrupt_message, interrupting_job,
                       common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerPauseJobArg a{}; // the interrupt argument has the same layout
        Parts parts(status);
        ODP_BerJobId checked;
        if (!parts.JobId(interrupting_job, checked) ||
            !parts.JobOrPrinter(interrupted_job, &a.job) ||
            !parts.Message(interrupt_message, &a.message, &a.bit_mask, 0x80) ||
            !parts.Common(common_arguments, &a.common_arguments, &a.bit_mask, 0x40))
            return 1;
        Sent sent{17};
        return Send(status, &sent, &a, error);
    }();
    EchoOutInterruptJob(status, kCaller, nullptr, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_ResubmitJob_C(STF_List *status, GENU_ShortOID object_class,
                                const GEN_ObjectIdent *object_identification,
                                const GEN_DistNameString *printer, const GEN_Message *message,
                                const AS_SetHandle *common_arguments, ODP_ObjectStatusList **result,
                                ERDPA_ErrorResult **error) try {
    EchoInResubmitJob(status, kCaller, object_class, object_identification, printer, message,
                      common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerResubmitJobArg a{};
        Parts parts(status);
        if (!printer) return Fail(status, kPrinterConv);
        if (!parts.Oid(object_class, &a.object_class, kOidConv) ||
            !parts.Pack(kObjectIdentType, object_identification, &a.object_identification,
                        kIdentConv) ||
            !parts.Pack(kDistNameStringType, printer, &a.printer, kPrinterConv) ||
            !parts.Message(message, &a.message, &a.bit_mask, 0x80) ||
            !parts.Common(common_arguments, &a.common_arguments, &a.bit_mask, 0x40))
            return 1;
        Sent sent{23};
        if (Send(status, &sent, &a, error)) return 1;
        auto *head = static_cast<ODP_BerObjectStatus *const *>(sent.result);
        return _ToGEN_ResubmitJobResult(status, head ? *head : nullptr, result)
                   ? Fail(status, ODP_S_NOMEM)
                   : 0;
    }();
    EchoOutResubmitJob(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_ModifyJob_C(STF_List *status, const char *job_identification,
                              const int32_t *document_number, AS_SetHandle job_attr_modification,
                              const GEN_Message *modify_message,
                              const AS_SetHandle *common_arguments, AS_SetHandle **result,
                              ERDPA_ErrorResult **error) try {
    EchoInModifyJob(status, kCaller, job_identification, document_number, job_attr_modification,
                    modify_message, common_arguments);
    if (!Begin(status, result, error)) return 1;
    int rc = [&] {
        ODP_BerModifyJobArg a{};
        Parts parts(status);
        if (!parts.JobId(job_identification, a.job_identification)) return 1;
        if (document_number) a.document_number = *document_number, a.bit_mask |= 0x80;
        if (!parts.ModSet(&job_attr_modification, &a.job_attr_modification) ||
            !parts.Message(modify_message, &a.modify_message, &a.bit_mask, 0x40) ||
            !parts.Common(common_arguments, &a.common_arguments, &a.bit_mask, 0x20))
            return 1;
        Sent sent{14};
        if (Send(status, &sent, &a, error)) return 1;
        return ObjectResult(status, sent, result, kResultConv);
    }();
    EchoOutModifyJob(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

VR_EXPORT int ODP_SendEvent_C(STF_List *status, const GEN_NameOrOID *event,
                              AS_SetHandle event_attributes, const GEN_Message *message,
                              const AS_SetHandle *common_arguments, AS_SetHandle **result,
                              ERDPA_ErrorResult **error) try {
    EchoInSendEvent(status, kCaller, event, event_attributes, message, common_arguments);
    if (!Begin(status, result, error)) return 1;
    bool secure = ODP__serverType == ODP_SERVER_TYPE_SECURE;
    int rc = [&] {
        GEN_SimpleName server{};
        int32_t handshake = 0;
        if (secure) {
            void *context = nullptr;
            if (EventServer(status, common_arguments, &server)) return 1;
            uint32_t answer = Security().event_context(&server, 0, &context, &handshake);
            if (!answer) answer = Security().event_begin(context);
            if (answer) return AddSecurityCode(status, answer), 1;
        }
        auto abort = [&](int failed) {
            if (failed && secure) Security().event_abort(&server);
            return failed;
        };
        ODP_BerSendEventArg a{};
        Parts parts(status);
        a.bit_mask |= 0x80;
        if (!event) return abort(Fail(status, kEventConv));
        if (!parts.Pack(kNameOrOidType, event, &a.event, kEventConv) ||
            !parts.Set(&event_attributes, &a.event_attributes) ||
            !parts.Message(message, &a.message, &a.bit_mask, 0x40) ||
            !parts.Common(common_arguments, &a.common_arguments, &a.bit_mask, 0x20))
            return abort(1);
        Sent sent{4};
        if (Send(status, &sent, &a, error)) return abort(1);
        if (!secure) return 0;
        if (ObjectResult(status, sent, result, kResultConv)) return abort(1);
        if (handshake == 1 && Handshake(status, server, *result ? **result : AS_nullSetHandle)) {
            StatusScratch s;
            if (*result) AS_Destroy(s, *result), GENU__CoveredFree(*result);
            *result = nullptr;
            return abort(1);
        }
        return 0;
    }();
    EchoOutSendEvent(status, kCaller, *result, *error);
    return rc;
}
ODP_CATCH

} // extern "C"
