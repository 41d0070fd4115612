// The DPA operations: job submission, listing, cancelling, printing.
#include "dpad_ops.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <sstream>

#include "dpad_backend.h"
#include "vrcore/ft.h"
#include "vrcore/gen_compare.h"
#include "vrcore/log.h"
#include "vrcore/sec.h"

namespace vrcore::dpad {

namespace {

constexpr const char *kSource = "vrdpad";

// Attributes and classes the server names.
constexpr GENU_ShortOID kClassJob = 87, kClassPrinter = 88, kClassQueue = 93;
constexpr GENU_ShortOID kAttrJobIdentifier = 1057, kAttrJobState = 248, kAttrDocuments = 285,
                        kAttrOctets = 277, kAttrPrinterRequested = 244, kAttrStateReasons = 288,
                        kAttrDocumentName = 320, kAttrPrinterName = 649, kAttrPrinterState = 654,
                        kAttrEnabled = 869, kAttrOctetCount = 587, kAttrSocketAddress = 101,
                        kAttrJobHold = 239, kAttrJobOwner = 134, kAttrJobOriginator = 1058,
                        kAttrUserName = 1060, kAttrSubmissionTime = 271;
constexpr GENU_ShortOID kReasonAbortedBySystem = 298, kPrinterIdle = 263, kPrinterPausedState = 266,
                        kPrinterShutdownState = 267;
constexpr GENU_ShortOID kWhenNow = 995, kWhenAfterCurrent = 996, kWhenAfterAll = 997;

// The printer's attributes that clients set, and the registry values that
// keep them: its descriptor, descriptive name, message, location and model.
constexpr struct {
    GENU_ShortOID id;
    const char *value;
} kPrinterTexts[] = {{105, "Descriptor"},
                     {106, "DescriptiveName"},
                     {116, "Message"},
                     {650, "Location"},
                     {651, "Model"}};

// A decoded argument, released when it goes.
struct Decoded {
    int pdu;
    void *value = nullptr;
    Decoded(int p, const unsigned char *bytes, size_t length) : pdu(p) {
        GENU_Buffer in{uint32_t(length), const_cast<unsigned char *>(bytes)};
        if (length > 0xFFFFFFFFu || GENU_OssDecode(nullptr, &pdu, &in, &value) != 0)
            value = nullptr;
    }
    ~Decoded() {
        if (value) GENU_OssFreePDU(nullptr, pdu, value);
    }
};

// An unpacked value, released through its descriptor.
struct Unpacked {
    void *value = nullptr;
    GENU_ValueDescriptor desc{};
    Unpacked(uint32_t type, const GENU_Buffer &b) {
        if (ODP_UnpackAV(vrcore::dpad::Status(), b.length, b.value, type, &value, &desc) != 0)
            value = nullptr;
    }
    ~Unpacked() {
        if (value && desc.del) desc.del(vrcore::dpad::Status(), value, &genu_ossAllocator[0]);
    }
};

// An attribute set of a request, in the library's form; empty when the
// request has none or it cannot be read.
struct Received {
    AS_SetHandle set = AS_nullSetHandle;
    explicit Received(const ODP_BerAttrSet *list) {
        if (list && ToGEN_AS(vrcore::dpad::Status(), list, &set) != 0) set = AS_nullSetHandle;
    }
    ~Received() {
        if (set != AS_nullSetHandle) AS_Destroy(vrcore::dpad::Status(), &set);
    }
    Received(const Received &) = delete;
    Received &operator=(const Received &) = delete;
};

// The first value of an attribute of the set, or null.
const void *FirstValue(AS_SetHandle set, GENU_ShortOID id, uint32_t *type = nullptr) {
    void *value = nullptr;
    if (set == AS_nullSetHandle || AS_GetAttrVal(vrcore::dpad::Status(), set, id, &value) != 0)
        return nullptr;
    if (type && AS_GetAttrValType(vrcore::dpad::Status(), set, id, type) != 0) return nullptr;
    return value;
}

// The user a privilege record names: the record alone, or in the binding's
// form behind three words.
std::string PrivilegedUser(const GEN_Privileges *p) {
    const GEN_OctetString *c = p && p->credentials ? &p->credentials->octets : nullptr;
    size_t at = !c || !c->value                     ? ~size_t(0)
                : c->length == SEC_PAC_SIZE         ? 0
                : c->length == SEC_PAC_WRAPPED_SIZE ? 12
                                                    : ~size_t(0);
    if (at == ~size_t(0)) return "";
    const unsigned char *r = c->value + at;
    if ((uint32_t(r[0]) << 24 | r[1] << 16 | r[2] << 8 | r[3]) != SEC_PAC_FORMAT) return "";
    const char *name = reinterpret_cast<const char *>(r + SEC_PAC_USER_NAME);
    return std::string(name, strnlen(name, SEC_PAC_USER_DOMAIN - SEC_PAC_USER_NAME));
}

// Job identifiers are the decimal numbers the server gave out.
bool JobNumber(const char *text, uint32_t *id) {
    size_t n = strnlen(text, sizeof(ODP_BerJobId));
    if (n == 0 || n > 9 || text[0] == '0') return false;
    for (size_t i = 0; i < n; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    *id = uint32_t(std::strtoul(text, nullptr, 10));
    return true;
}

// Documents up to this size that come with their request are kept with
// the job's records rather than in spool files of their own.
constexpr size_t kSmallDocument = size_t(64) << 10;

GEN_DocumentIdentifier DocumentId(uint32_t job, uint32_t *number) {
    GEN_DocumentIdentifier id{};
    std::snprintf(id.job.value, sizeof id.job.value, "%u", job);
    id.document_number = number;
    return id;
}

} // namespace

Reply Service::Failed(const Error &error) {
    Reply r;
    if (!error.Encode(&r.kind, &r.error)) {
        LOG_CondMessage(1, kSource, __LINE__, "an error result could not be encoded\n");
        Error plain;
        plain.Service(kServUnclassified, NamedObject(config_.name), "internal error");
        plain.Encode(&r.kind, &r.error);
    }
    LOG_CondMessage(6, kSource, __LINE__, "refused: %s\n", error.Text().c_str());
    return r;
}

Reply Service::Handle(int32_t operation, const unsigned char *bytes, size_t length,
                      const char *user) {
    listen_port_ = -1;
    caller_ = user ? user : "";
    for (auto t = transfers_.begin(); t != transfers_.end();) // those finished are joined
        if ((*t)->done) {
            (*t)->thread.join();
            t = transfers_.erase(t);
        } else {
            ++t;
        }
    Error error;
    GEN_ObjectIdent server = NamedObject(config_.name);
    int pdu = ODP_ArgumentPDU(operation);
    if (pdu <= 0) {
        error.Service(kServUnsupportedOperation, server,
                      "operation " + std::to_string(operation) + " does not exist");
        return Failed(error);
    }
    Decoded arg(pdu, bytes, length);
    if (!arg.value) {
        error.Service(kServUnclassified, server,
                      "the argument of operation " + std::to_string(operation) +
                          " could not be decoded");
        return Failed(error);
    }
    const auto *print = static_cast<const ODP_BerPrintArg *>(arg.value);
    const auto *list = static_cast<const ODP_BerListArg *>(arg.value);
    switch (operation) {
    case 0:
    case 5:
    case 6:
        if (print->choice == (operation == 0 ? 1 : operation == 5 ? 2 : 3))
            return Submit(operation, *print);
        break;
    case 1:
    case 10:
        if (list->choice == 2) {
            ListPlan plan;
            std::string request(reinterpret_cast<const char *>(bytes), length);
            return Plan(list->u.new_list, request, &plan, &error) ? List(plan) : Failed(error);
        }
        break;
    case 7:
    case 11:
    case 12:
        if (list->choice == 1) return Continue(operation, list->u.continuation);
        break;
    case 15: return Cancel(*static_cast<const ODP_BerCancelJobArg *>(arg.value));
    case 18: return Hold(*static_cast<const ODP_BerPauseJobArg *>(arg.value));
    case 19: return Release(*static_cast<const ODP_BerResumeJobArg *>(arg.value));
    case 14: return Modify(*static_cast<const ODP_BerModifyJobArg *>(arg.value));
    case 16: return Promote(*static_cast<const ODP_BerPromoteJobArg *>(arg.value));
    case 21: return SetPrinter(*static_cast<const ODP_BerSetArg *>(arg.value));
    case 3:
    case 13:
    case 20:
    case 22:
    case 25:
    case 26: return PrinterOp(operation, *static_cast<const ODP_BerObjectOpArg *>(arg.value));
    default:
        error.Service(kServUnsupportedOperation, server,
                      "operation " + std::to_string(operation) + " is not supported");
        return Failed(error);
    }
    error.Service(kServUnsupportedParameter, server, "the argument does not fit the operation");
    return Failed(error);
}

const Printer *Service::FindPrinter(const std::string &name) const {
    if (name.empty()) return &config_.printers.front();
    for (const Printer &p : config_.printers)
        if (strcasecmp(p.name.c_str(), name.c_str()) == 0) return &p;
    return nullptr;
}

Job *Service::Named(const char *text, Error *error) {
    uint32_t id = 0;
    GEN_ObjectIdent o{};
    o.choice = GEN_OBJID_JOB_ID;
    std::memcpy(o.u.job_id.value, text, strnlen(text, GEN_JOB_ID_MAX));
    if (!JobNumber(text, &id)) {
        error->Selection(kSelInvalid, o, "not a job identifier of this server");
        return nullptr;
    }
    Job *job = store_.Find(id);
    if (!job) error->Selection(kSelUnknown, o, "no such job");
    return job;
}

void Service::Tell(const Job &job) {
    GENU_ShortOID &last = told_[job.id];
    if (last == job.state) return;
    last = job.state;
    const char *name = GENU_ShortOIDToAscii(job.state);
    notifier_.Post({"job", std::to_string(job.id), job.state, name ? name : ""});
}

// A referenced file is read with the server's rights, so only files under
// the configured directories are taken (symbolic links resolved first).
bool Service::ReferenceAllowed(const GEN_OctetString &reference) const {
    if (reference.length <= 0 || !reference.value) return false;
    std::string path(reinterpret_cast<const char *>(reference.value), size_t(reference.length));
    char *real = ::realpath(path.c_str(), nullptr);
    if (!real) return false;
    std::string resolved = real;
    std::free(real);
    for (const std::string &root : config_.reference_roots)
        if (resolved.compare(0, root.size(), root) == 0 &&
            (root == "/" || resolved.size() == root.size() || resolved[root.size()] == '/'))
            return true;
    return false;
}

bool Service::Durable(Job &job, uint32_t doc, Error *error) {
    if (store_.Put(job, doc) && store_.Sync()) return Tell(job), true;
    LOG_CondMessage(1, kSource, __LINE__, "job %u: the job database cannot be written\n", job.id);
    error->Service(kServResourceLimit, JobObject(job.id), "the job could not be stored");
    return false;
}

bool Service::Receive(Job &job, const ODP_BerDocDescription &doc, Error *error, bool completes) {
    GEN_ObjectIdent object = JobObject(job.id);
    uint32_t number = uint32_t(job.documents.size() + 1);
    Document d;
    uint64_t announced = ~uint64_t(0);
    if (doc.bit_mask & 0x10) {
        AS_SetHandle attrs = AS_nullSetHandle;
        if (ToGEN_AS(vrcore::dpad::Status(), doc.attributes, &attrs) != 0) {
            error->Service(kServUnsupportedParameter, object,
                           "the document attributes are unusable");
            return false;
        }
        void *value = nullptr;
        bool named =
            AS_GetAttrVal(vrcore::dpad::Status(), attrs, kAttrDocumentName, &value) == 0 && value;
        bool ok = !named || (NameText(*static_cast<GEN_SimpleName *>(value), &d.name) &&
                             SafeFileName(d.name, kMaxDocumentName));
        if (!ok) {
            AS_AttrHandle attr = AS_nullAttrHandle;
            AS_FindAttr(vrcore::dpad::Status(), attrs, kAttrDocumentName, &attr);
            error->Attribute(kAttrUnsupportedValue, attr, object,
                             "a document name must be a plain file name of at most 200 bytes");
            AS_FreeAttrHandle(vrcore::dpad::Status(), &attr);
        }
        void *octets = nullptr;
        if (AS_GetAttrVal(vrcore::dpad::Status(), attrs, kAttrOctetCount, &octets) == 0 && octets) {
            const auto *c = static_cast<const GEN_Cardinal64 *>(octets);
            announced = uint64_t(c->high) << 32 | c->low;
        }
        AS_Destroy(vrcore::dpad::Status(), &attrs);
        if (!ok) return false;
    }
    if ((doc.bit_mask & 0x80) && OidOf(doc.transfer_method) == FT_METHOD_SOCKET)
        return Listen(job, number, d, announced, completes, error);
    if (!(doc.bit_mask & 0x40)) {
        error->DocumentAccess(kDocNotAvailable, object, "the document has no content");
        return false;
    }
    Unpacked content(ValueTypes().doc_content, doc.content);
    if (!content.value) {
        error->Service(kServUnsupportedParameter, object, "the document content is unusable");
        return false;
    }
    const auto *c = static_cast<const GEN_DocumentContent *>(content.value);
    uint32_t method = (doc.bit_mask & 0x80)               ? OidOf(doc.transfer_method)
                      : c->choice == GEN_CONTENT_INCLUDED ? FT_METHOD_WITH_REQUEST
                                                          : FT_METHOD_FILE_REFERENCE;
    bool inline_data = method == FT_METHOD_WITH_REQUEST && c->choice == GEN_CONTENT_INCLUDED;
    if (!inline_data &&
        !(method == FT_METHOD_FILE_REFERENCE && c->choice == GEN_CONTENT_REFERENCED)) {
        error->Service(kServUnsupportedParameter, object,
                       "documents come with the request or by file reference");
        return false;
    }
    if (!inline_data && !ReferenceAllowed(c->u.referenced.specific_reference)) {
        error->DocumentAccess(kDocAccessDenied, object,
                              "documents by file reference are not taken from there");
        return false;
    }
    // A small document that came with the request is kept with the job's
    // records: it is stored in the same durable change that names it.
    const GEN_External &ext = c->u.included;
    if (inline_data && ext.data.length >= 0 && size_t(ext.data.length) <= kSmallDocument &&
        (ext.encoding == GEN_EXTERNAL_OCTET_ALIGNED ||
         (ext.encoding == GEN_EXTERNAL_ARBITRARY && ext.unused_bits == 0))) {
        d.size = uint64_t(ext.data.length);
        if (config_.max_document && d.size > config_.max_document) {
            error->Service(kServResourceLimit, object,
                           "the document is larger than " + std::to_string(config_.max_document) +
                               " bytes");
            return false;
        }
        return Keep(job, d, error, completes, [&] {
            store_.PutData(job.id, number,
                           std::string(reinterpret_cast<const char *>(ext.data.value),
                                       size_t(ext.data.length)));
        });
    }
    GEN_DocumentIdentifier id{};
    if (!BeginTransfer(job, &number, &id, error)) return false;
    FT_SpoolInfo spool{store_.SpoolDir().c_str()};
    FT_Result got{};
    got.listen_socket = -1;
    uint32_t rc = inline_data ? FT_ExternalToFile(c, &id, &spool, &got)
                              : FT_RetrieveToFile(&id, c, method, &spool, &got);
    job.flags &= uint8_t(~kJobTransferring);
    std::string data = store_.DataPath(job.id, number);
    if (rc != 0 || !MoveDurably(got.spool_name, data)) {
        if (rc == 0) ::unlink(got.spool_name);
        Durable(job, 0, error);
        error->DocumentAccess(rc == 0 ? kDocNotAvailable : kDocAccessDenied, object,
                              "the document could not be received (status " + std::to_string(rc) +
                                  ")");
        return false;
    }
    if (config_.max_document && got.size > config_.max_document) {
        ::unlink(data.c_str());
        Durable(job, 0, error);
        error->Service(kServResourceLimit, object,
                       "the document is larger than " + std::to_string(config_.max_document) +
                           " bytes");
        return false;
    }
    d.size = got.size;
    if (Keep(job, d, error, completes, [] {})) return true;
    ::unlink(data.c_str());
    return false;
}

// The document and, with `completes`, the job's completion in one durable
// change; on failure the job is as it was.
template <typename F>
bool Service::Keep(Job &job, const Document &d, Error *error, bool completes, F store_data) {
    job.documents.push_back(d);
    job.octets += d.size;
    GENU_ShortOID state = job.state;
    uint8_t flags = job.flags;
    if (completes) Complete(job);
    store_data();
    uint32_t number = uint32_t(job.documents.size());
    if (Durable(job, number, error)) return true;
    job.documents.pop_back();
    job.octets -= d.size;
    job.state = state, job.flags = flags;
    return false;
}

bool Service::BeginTransfer(Job &job, uint32_t *number, GEN_DocumentIdentifier *id, Error *error) {
    // Marked before the first byte arrives: a crash from here on fails the job.
    job.flags |= kJobTransferring;
    if (!Durable(job, 0, error)) return false;
    *id = DocumentId(job.id, number);
    return true;
}

void Service::Complete(Job &job) {
    if (job.state != kStateHeld) job.state = kStatePending; // a held job waits for its release
    if (job.state == kStatePending) to_print_.insert(job.id);
    job.flags |= kJobComplete;
}

void Service::JobStatus(const Job &job, Set *set) const {
    set->JobId(kAttrJobIdentifier, std::to_string(job.id));
    std::string owner = job.owner.empty() ? "unknown" : job.owner;
    set->DistName(kAttrJobOwner, owner);
    set->DistName(kAttrJobOriginator, owner);
    set->Time(kAttrSubmissionTime, job.created);
    set->Oid(kAttrJobState, job.state);
    set->Cardinal(kAttrDocuments, uint32_t(job.documents.size()));
    set->Cardinal64(kAttrOctets, job.octets);
    set->Name(kAttrPrinterRequested, job.printer);
    if (job.flags & kJobFailed) set->Oid(kAttrStateReasons, kReasonAbortedBySystem);
}

std::string Service::Submitter(const ODP_BerCreateJobArg &arg, AS_SetHandle attributes) const {
    if (!caller_.empty()) return caller_.substr(0, kMaxOwner);
    Received common(arg.bit_mask & 0x10 ? arg.common_arguments : nullptr);
    uint32_t type = 0;
    const void *v = FirstValue(common.set, SEC_PRIVILEGES_ATTR, &type);
    std::string user = v && type == GEN_VT_PRIVILEGES
                           ? PrivilegedUser(static_cast<const GEN_Privileges *>(v))
                           : "";
    for (GENU_ShortOID id : {kAttrJobOwner, kAttrUserName})
        if (user.empty() && (v = FirstValue(attributes, id, &type)) && !ValueText(type, v, &user))
            user.clear();
    return user.empty() ? "unknown" : user.substr(0, kMaxOwner);
}

Reply Service::PrintResult(const Job &job) {
    Set status, document;
    JobStatus(job, &status);
    BerSet ber, ber_document;
    ODP_BerPrintRes res{};
    // A document to send over its own connection: where to send it.
    std::string host = config_.address.empty() ? "127.0.0.1" : config_.address;
    if (listen_port_ >= 0 &&
        document.SocketAddress(kAttrSocketAddress, host, uint32_t(listen_port_)) &&
        ber_document.From(document))
        res.bit_mask |= 0x20, res.document_status = ber_document.List();
    std::snprintf(res.job_identification, sizeof res.job_identification, "%u", job.id);
    Reply r;
    Error error;
    if (ber.From(status) &&
        (res.job_status = ber.List(), Encode(ODP_PDU_PRINT_RES, &res, &r.result)))
        return r;
    error.Service(kServUnclassified, JobObject(job.id), "the result could not be encoded");
    return Failed(error);
}

Reply Service::Submit(int32_t operation, const ODP_BerPrintArg &arg) {
    Error error;
    if (operation == 0) {
        const ODP_BerCreateJobArg &a = arg.u.create_job;
        Unpacked name(ValueTypes().simple_name, a.printer_name);
        std::string printer;
        if (!name.value || !NameText(*static_cast<GEN_SimpleName *>(name.value), &printer)) {
            error.Selection(kSelInvalid, NamedObject(config_.name), "not a printer name");
            return Failed(error);
        }
        const Printer *p = FindPrinter(printer);
        if (!p) {
            error.Selection(kSelUnknown, NamedObject(printer), "no such printer");
            return Failed(error);
        }
        if (store_.Disabled(p->name)) {
            error.Access(kAccessInappropriateState, NamedObject(p->name),
                         "the printer takes no new jobs");
            return Failed(error);
        }
        std::vector<unsigned char> attrs;
        if ((a.bit_mask & 0x40) && a.job_attributes && !EncodeSet(a.job_attributes, &attrs)) {
            error.Service(kServUnsupportedParameter, NamedObject(printer),
                          "unusable job attributes");
            return Failed(error);
        }
        Received given(a.bit_mask & 0x40 ? a.job_attributes : nullptr);
        const void *hold = FirstValue(given.set, kAttrJobHold);
        Job &job = store_.NewJob(p->name);
        uint32_t id = job.id;
        job.owner = Submitter(a, given.set);
        // Held from its submission: it takes its documents, then waits for its release.
        if (hold && *static_cast<const GEN_Boolean *>(hold)) job.state = kStateHeld;
        bool ok = true;
        if (!attrs.empty()) {
            ok = WriteFileAtomically(store_.AttributesPath(id), attrs.data(), attrs.size());
            if (ok)
                job.flags |= kJobHasAttributes;
            else
                error.Service(kServResourceLimit, JobObject(id), "the job could not be stored");
        }
        bool complete = !((a.bit_mask & 0x80) && !a.job_submission_complete);
        if (ok && (a.bit_mask & 0x20)) {
            ok = Receive(job, a.first_document, &error, complete);
        } else if (ok) {
            if (complete) Complete(job);
            ok = Durable(job, 0, &error);
        }
        if (!ok) {
            // Nothing was acknowledged: the job fails where it stands.
            job.state = kStateRetained;
            job.flags |= kJobFailed;
            store_.Put(job) && store_.Sync();
            store_.DropData(job);
            return Failed(error);
        }
        LOG_CondMessage(6, kSource, __LINE__, "job %u created on printer %s\n", id,
                        job.printer.c_str());
        return PrintResult(job);
    }
    const char *name =
        operation == 5 ? arg.u.add_document.existing_job : arg.u.close_job.existing_job;
    Job *job = Named(name, &error);
    if (!job) return Failed(error);
    bool held = job->state == kStateHeld;
    if (job->state != kStatePreProcessing && !(held && !(job->flags & kJobComplete))) {
        error.Access(kAccessInappropriateState, JobObject(job->id),
                     "the job takes no more documents");
        return Failed(error);
    }
    if (operation == 5 && (job->flags & kJobTransferring)) {
        error.Access(kAccessInappropriateState, JobObject(job->id),
                     "the job's previous document is still arriving");
        return Failed(error);
    }
    if (operation == 5) {
        const ODP_BerAddDocumentArg &a = arg.u.add_document;
        bool complete = !((a.bit_mask & 0x80) && !a.job_submission_complete);
        if (!Receive(*job, a.new_document, &error, complete)) return Failed(error);
    } else {
        Complete(*job);
        if (!Durable(*job, 0, &error)) return Failed(error);
    }
    return PrintResult(*job);
}

namespace {

// The values of an attribute, of a set or of an attribute handle.
std::vector<void *> Values(AS_SetHandle set, AS_AttrHandle attr, GENU_ShortOID id) {
    vrcore::dpad::Status st;
    std::vector<void *> out;
    AS_AttrValHandle h = AS_nullAttrValHandle;
    void *v = nullptr;
    int rc = attr != AS_nullAttrHandle ? AS_FindFirstAttrValR(st, attr, &h, &v)
                                       : AS_FindFirstAttrVal(st, set, id, &h, &v);
    for (; rc == 0 && v && out.size() < 10000; rc = AS_FindNextAttrValVR(st, &h, &v))
        out.push_back(v);
    if (h != AS_nullAttrValHandle) AS_FreeAttrValHandle(st, &h);
    return out;
}

// Whether a text value holds the pieces of a substring item: the initial
// one at its start, the others after it in order, the final one at its end.
// Every match but the exact one ignores case.
bool SubstringsMatch(const GEN_Substrings &s, std::string text) {
    auto piece = [&](const void *value, std::string *out) {
        return ValueText(s.value_type, value, out);
    };
    auto fold = [&](std::string *t) {
        if (s.match != GEN_MATCH_EXACT)
            for (char &c : *t) c = char(std::tolower(static_cast<unsigned char>(c)));
    };
    fold(&text);
    size_t at = 0;
    std::string p;
    if (s.initial) {
        if (!piece(s.initial, &p)) return false;
        fold(&p);
        if (text.compare(0, p.size(), p) != 0) return false;
        at = p.size();
    }
    for (const GEN_SeqOfValues *any = s.any; any; any = any->next) {
        if (!piece(any->value, &p)) return false;
        fold(&p);
        size_t found = text.find(p, at);
        if (found == std::string::npos) return false;
        at = found + p.size();
    }
    if (!s.final) return true;
    if (!piece(s.final, &p)) return false;
    fold(&p);
    return text.size() >= at + p.size() && text.compare(text.size() - p.size(), p.size(), p) == 0;
}

bool ItemMatches(const GEN_FilterItem &item, AS_SetHandle set) {
    vrcore::dpad::Status st;
    if (item.choice == GEN_ITEM_PRESENT) {
        int present = 0;
        return AS_IsAttrPresent(st, set, item.u.present, &present) == 0 && present;
    }
    if (item.choice == GEN_ITEM_SUBSTRINGS) {
        const GEN_Substrings &s = item.u.substrings;
        uint32_t type = 0;
        if (AS_GetAttrValType(st, set, s.attribute_type, &type) != 0 || type != s.value_type)
            return false;
        std::string text;
        for (void *v : Values(set, AS_nullAttrHandle, s.attribute_type))
            if (ValueText(type, v, &text) && SubstringsMatch(s, text)) return true;
        return false;
    }
    GENU_ShortOID id = 0;
    uint32_t type = 0;
    if (AS_GetAttrIDR(st, item.u.attribute, &id) || AS_GetAttrValTypeR(st, item.u.attribute, &type))
        return false;
    std::vector<void *> have = Values(set, AS_nullAttrHandle, id);
    std::vector<void *> want = Values(AS_nullSetHandle, item.u.attribute, id);
    // -1, 0, 1 as the object's value sorts against the filter's; 2: incomparable.
    auto order = [&](void *a, void *b) {
        int32_t r = 0;
        return GEN_CompareAttrValue(st, type, a, b, &r) == 0 ? (r < 0 ? -1 : r > 0) : 2;
    };
    auto any = [&](auto test) {
        for (void *h : have)
            for (void *w : want)
                if (test(order(h, w))) return true;
        return false;
    };
    auto among = [&](void *v, const std::vector<void *> &list, bool v_is_have) {
        for (void *o : list)
            if ((v_is_have ? order(v, o) : order(o, v)) == 0) return true;
        return false;
    };
    switch (item.choice) {
    case GEN_ITEM_EQUALITY:
    case GEN_ITEM_INTERSECTION: return any([](int r) { return r == 0; });
    case GEN_ITEM_GREATER_OR_EQUAL: return any([](int r) { return r == 0 || r == 1; });
    case GEN_ITEM_LESS_OR_EQUAL: return any([](int r) { return r == 0 || r == -1; });
    case GEN_ITEM_SUBSET:
        return std::all_of(have.begin(), have.end(), [&](void *h) { return among(h, want, true); });
    case GEN_ITEM_SUPERSET:
        return std::all_of(want.begin(), want.end(),
                           [&](void *w) { return among(w, have, false); });
    default: return false;
    }
}

bool FilterMatches(const GEN_Filter &f, AS_SetHandle set, int depth = 0) {
    if (depth > GEN_MAX_NESTING) return false;
    switch (f.choice) {
    case GEN_FILTER_AND:
        for (const GEN_SetOfFilter *s = f.u.and_set; s; s = s->next)
            if (!FilterMatches(s->filter, set, depth + 1)) return false;
        return true;
    case GEN_FILTER_OR:
        for (const GEN_SetOfFilter *s = f.u.or_set; s; s = s->next)
            if (FilterMatches(s->filter, set, depth + 1)) return true;
        return false;
    case GEN_FILTER_NOT: return f.u.not_filter && !FilterMatches(*f.u.not_filter, set, depth + 1);
    default: return ItemMatches(f.u.item, set);
    }
}

} // namespace

// Takes the filter of an encoded list argument (the request, or the one a
// continuation context carries).
bool Service::TakeFilter(const std::string &request, ListPlan *plan) const {
    Decoded arg(ODP_PDU_LIST_ARG, reinterpret_cast<const unsigned char *>(request.data()),
                request.size());
    const auto *list = static_cast<const ODP_BerListArg *>(arg.value);
    if (!list || list->choice != 2 || !(list->u.new_list.bit_mask & 0x40) ||
        !(list->u.new_list.selector.bit_mask & 0x40) || !list->u.new_list.selector.filter)
        return false;
    auto *f = new GEN_Filter{};
    plan->filter.reset(f, [](GEN_Filter *p) {
        GEN_DeepDeleteFilter(vrcore::dpad::Status(), p, nullptr);
        delete p;
    });
    plan->request = request;
    return ToGEN_filter(vrcore::dpad::Status(), list->u.new_list.selector.filter, f) == 0;
}

bool Service::Plan(const ODP_BerNewListArg &arg, const std::string &request, ListPlan *plan,
                   Error *error) {
    GEN_ObjectIdent server = NamedObject(config_.name);
    plan->cls = OidOf(arg.object_class);
    if (plan->cls != kClassJob && plan->cls != kClassPrinter) {
        error->Access(kAccessInappropriateClass, server, "only jobs and printers are listed");
        return false;
    }
    if ((arg.bit_mask & 0x40) && (arg.selector.bit_mask & 0x40) && !TakeFilter(request, plan)) {
        error->Service(kServUnsupportedParameter, server, "the filter is unusable");
        return false;
    }
    if ((arg.bit_mask & 0x40) && (arg.selector.bit_mask & 0x10) && arg.selector.count_limit > 0)
        plan->limit = uint32_t(arg.selector.count_limit);
    if (arg.bit_mask & 0x20)
        for (const ODP_BerOidNode *n = arg.requested_attributes; n; n = n->next)
            plan->requested.push_back(OidOf(n->oid));
    // The objects the selector names (all when it names none).
    if ((arg.bit_mask & 0x40) && (arg.selector.bit_mask & 0x80))
        for (const ODP_BerValueList *v = arg.selector.object_identifications; v; v = v->next) {
            Unpacked o(ValueTypes().object_ident, v->value);
            const auto *id = static_cast<const GEN_ObjectIdent *>(o.value);
            std::string text;
            if (id && id->choice == GEN_OBJID_JOB_ID)
                text = std::string(id->u.job_id.value, strnlen(id->u.job_id.value, 256));
            else if (!id || id->choice != GEN_OBJID_SIMPLE_NAME ||
                     !NameText(id->u.simple_name, &text) || text.find('\n') != std::string::npos) {
                error->Selection(kSelInvalid, server, "an object identification is not usable");
                return false;
            }
            plan->wanted.push_back(text);
        }
    return true;
}

// A continuation context: the plan of the listing and where the next part
// begins, as text: "class start limit count id..." and a line per name
// selected.
std::string Service::Context(const ListPlan &plan) const {
    std::ostringstream out;
    out << plan.cls << ' ' << plan.start << ' ' << plan.limit << ' ' << plan.requested.size();
    for (GENU_ShortOID id : plan.requested) out << ' ' << id;
    if (plan.filter) {
        static const char kHex[] = "0123456789abcdef";
        out << " F";
        for (unsigned char c : plan.request) out << kHex[c >> 4] << kHex[c & 15];
    }
    for (const std::string &name : plan.wanted) out << '\n' << name;
    return out.str();
}

bool Service::FromContext(const GENU_Buffer &context, ListPlan *plan) const {
    std::string text(reinterpret_cast<const char *>(context.value), context.length);
    std::istringstream lines(text);
    std::string first;
    std::getline(lines, first);
    std::istringstream in(first);
    size_t count = 0;
    if (!(in >> plan->cls >> plan->start >> plan->limit >> count) || count > 1000 ||
        (plan->cls != kClassJob && plan->cls != kClassPrinter) || plan->limit == 0)
        return false;
    plan->requested.resize(count);
    for (GENU_ShortOID &id : plan->requested)
        if (!(in >> id)) return false;
    std::string filter, request;
    if (in >> filter) {
        if (filter.size() % 2 == 0 || filter[0] != 'F') return false;
        for (size_t i = 1; i < filter.size(); i += 2) {
            auto digit = [](char c) { return c >= 'a' ? c - 'a' + 10 : c - '0'; };
            request.push_back(char(digit(filter[i]) << 4 | digit(filter[i + 1])));
        }
        if (!TakeFilter(request, plan)) return false;
    }
    for (std::string name; std::getline(lines, name);) plan->wanted.push_back(name);
    return true;
}

Reply Service::Continue(int32_t operation, const ODP_BerContinueListArg &arg) {
    ListPlan plan;
    if (FromContext(arg.context, &plan)) {
        if (operation == 12 || ((arg.bit_mask & 0x80) && arg.abort))
            plan.limit = 0, plan.abort = true;
        return List(plan);
    }
    Error error;
    error.Service(kServInvalidContext, NamedObject(config_.name),
                  "not a continuation context of this server");
    return Failed(error);
}

Reply Service::List(ListPlan plan) {
    Error error;
    GEN_ObjectIdent server = NamedObject(config_.name);
    GENU_ShortOID cls = plan.cls;
    const std::vector<GENU_ShortOID> &requested = plan.requested;
    const std::vector<std::string> &wanted = plan.wanted;
    auto selected = [&](const std::string &name) {
        return wanted.empty() || std::find(wanted.begin(), wanted.end(), name) != wanted.end();
    };
    // Objects are taken from plan.start on (a job number, a printer's
    // index), at most plan.limit of them; the next one starts the context.
    bool more = false;
    auto room = [&](uint32_t key) {
        if (plan.abort || key < plan.start) return false;
        if (plan.limit && entries_taken_ == plan.limit) {
            if (!more) more = true, plan.start = key;
            return false;
        }
        return ++entries_taken_, true;
    };
    entries_taken_ = 0;

    struct Entry {
        GEN_ObjectIdent object;
        Set all, chosen;
        BerSet ber;
        GENU_Buffer packed{};
        ~Entry() { _GENU__MyFree(packed.value); }
    };
    std::vector<std::unique_ptr<Entry>> entries;
    if (cls == kClassJob) {
        for (auto &[id, job] : store_.Jobs()) {
            if (!selected(std::to_string(id)) || (!plan.filter && !room(id))) continue;
            auto e = std::make_unique<Entry>();
            e->object = JobObject(id);
            JobStatus(job, &e->all);
            if (job.flags & kJobHasAttributes) {
                std::string bytes;
                FILE *f = std::fopen(store_.AttributesPath(id).c_str(), "rb");
                for (int ch; f && (ch = std::fgetc(f)) != EOF;) bytes.push_back(char(ch));
                if (f) std::fclose(f);
                e->all.AddEncoded(std::vector<unsigned char>(bytes.begin(), bytes.end()));
            }
            if (plan.filter && (!FilterMatches(*plan.filter, e->all.Handle()) || !room(id)))
                continue;
            entries.push_back(std::move(e));
        }
    } else {
        for (uint32_t i = 0; i < config_.printers.size(); ++i) {
            const Printer &p = config_.printers[i];
            if (!selected(p.name)) continue;
            auto e = std::make_unique<Entry>();
            e->object = NamedObject(p.name);
            PrinterStatus(p, &e->all);
            if ((plan.filter && !FilterMatches(*plan.filter, e->all.Handle())) || !room(i))
                continue;
            entries.push_back(std::move(e));
        }
    }
    std::vector<ODP_BerObjectResult> nodes(entries.size());
    GENU_BerOID class_oid{};
    bool ok = GENU_ShortToBerOID(vrcore::dpad::Status(), cls, &class_oid) == 0;
    for (size_t i = 0; ok && i < entries.size(); ++i) {
        Entry &e = *entries[i];
        Set &set = requested.empty() ? e.all : e.chosen;
        ok = (requested.empty() || e.all.Select(requested, &e.chosen)) && e.ber.From(set) &&
             Pack(ValueTypes().object_ident, &e.object, &e.packed);
        nodes[i].next = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
        nodes[i].object_identification = e.packed;
        nodes[i].attribute_set = e.ber.List();
        nodes[i].object_class = class_oid;
    }
    GEN_GeneralizedTime now = UtcTime(::time(nullptr));
    ODP_BerListRes res{};
    res.result_set = nodes.empty() ? nullptr : nodes.data();
    std::string context = Context(plan);
    if (more) {
        res.bit_mask = 0xC0, res.limit_encountered = 1; // the count limit
        res.continuation = {uint32_t(context.size()),
                            reinterpret_cast<unsigned char *>(context.data())};
    }
    Reply r;
    ok = ok && Pack(ValueTypes().time, &now, &res.answer_time) &&
         Encode(ODP_PDU_LIST_RES, &res, &r.result);
    _GENU__MyFree(res.answer_time.value);
    if (ok) return r;
    error.Service(kServUnclassified, server, "the list could not be encoded");
    return Failed(error);
}

Reply Service::Cancel(const ODP_BerCancelJobArg &arg) {
    Error error;
    Job *job = Named(arg.existing_job, &error);
    if (!job) return Failed(error);
    if (job->Terminal()) {
        error.Update(kUpdateCancelNotPossible, JobObject(job->id), "the job is finished");
        return Failed(error);
    }
    if (arg.bit_mask & 0x80) {
        error.Service(kServUnsupportedParameter, JobObject(job->id),
                      "documents are not cancelled one by one");
        return Failed(error);
    }
    job->state = kStateCancelled;
    if (!Durable(*job, 0, &error)) return Failed(error);
    store_.DropData(*job);
    LOG_CondMessage(6, kSource, __LINE__, "job %u cancelled\n", job->id);
    Set status;
    JobStatus(*job, &status);
    return SetResult(ODP_PDU_CANCEL_JOB_RES, status, JobObject(job->id));
}

Reply Service::SetResult(int pdu, Set &set, const GEN_ObjectIdent &object) {
    BerSet ber;
    ODP_BerObjectOpRes res{};
    Reply r;
    if (ber.From(set)) {
        res.bit_mask = 0x80, res.attribute_set = ber.List();
        if (Encode(pdu, &res, &r.result)) return r;
    }
    Error error;
    error.Service(kServUnclassified, object, "the result could not be encoded");
    return Failed(error);
}

Reply Service::Hold(const ODP_BerPauseJobArg &arg) {
    Error error;
    if (arg.job.choice != 1) {
        error.Service(kServUnsupportedParameter, NamedObject(config_.name),
                      "printers are not paused");
        return Failed(error);
    }
    Job *job = Named(arg.job.u.job, &error);
    if (!job) return Failed(error);
    if (job->state != kStatePending && job->state != kStatePreProcessing &&
        job->state != kStateHeld) {
        error.Access(kAccessInappropriateState, JobObject(job->id), "the job is not waiting");
        return Failed(error);
    }
    job->state = kStateHeld;
    if (!Durable(*job, 0, &error)) return Failed(error);
    LOG_CondMessage(6, kSource, __LINE__, "job %u held\n", job->id);
    Set status;
    JobStatus(*job, &status);
    BerSet ber;
    ODP_BerPauseJobRes res{};
    std::snprintf(res.paused_job_identifier, sizeof res.paused_job_identifier, "%u", job->id);
    Reply r;
    if (ber.From(status)) {
        res.bit_mask = 0x80, res.job_status = ber.List();
        if (Encode(ODP_PDU_PAUSE_JOB_RES, &res, &r.result)) return r;
    }
    error.Service(kServUnclassified, JobObject(job->id), "the result could not be encoded");
    return Failed(error);
}

Reply Service::Release(const ODP_BerResumeJobArg &arg) {
    Error error;
    Job *job = Named(arg.resumed_job, &error);
    if (!job) return Failed(error);
    if (job->state != kStateHeld) {
        error.Access(kAccessInappropriateState, JobObject(job->id), "the job is not held");
        return Failed(error);
    }
    job->state = (job->flags & kJobComplete) ? kStatePending : kStatePreProcessing;
    if (job->state == kStatePending) to_print_.insert(job->id);
    if (!Durable(*job, 0, &error)) return Failed(error);
    LOG_CondMessage(6, kSource, __LINE__, "job %u released\n", job->id);
    Set status;
    JobStatus(*job, &status);
    return SetResult(ODP_PDU_RESUME_JOB_RES, status, JobObject(job->id));
}

const Printer *Service::ObjectPrinter(const GENU_BerOID &cls_oid, const GENU_Buffer &instance,
                                      Error *error) {
    GEN_ObjectIdent server = NamedObject(config_.name);
    GENU_ShortOID cls = OidOf(cls_oid);
    if (cls != kClassPrinter && cls != kClassQueue) {
        error->Access(kAccessInappropriateClass, server, "only printers and queues are handled");
        return nullptr;
    }
    Unpacked o(ValueTypes().object_ident, instance);
    const auto *id = static_cast<const GEN_ObjectIdent *>(o.value);
    std::string name;
    if (!id || id->choice != GEN_OBJID_SIMPLE_NAME || !NameText(id->u.simple_name, &name)) {
        error->Selection(kSelInvalid, server, "not a printer name");
        return nullptr;
    }
    const Printer *p = name.empty() ? nullptr : FindPrinter(name);
    if (!p) error->Selection(kSelUnknown, NamedObject(name), "no such printer");
    return p;
}

void Service::PrinterStatus(const Printer &p, Set *set) {
    uint8_t flags = store_.PrinterFlags(p.name);
    set->Name(kAttrPrinterName, p.name);
    set->Oid(kAttrPrinterState, (flags & kPrinterShutdown) ? kPrinterShutdownState
                                : (flags & kPrinterPaused) ? kPrinterPausedState
                                                           : kPrinterIdle);
    set->Bool(kAttrEnabled, !(flags & (kPrinterDisabled | kPrinterShutdown)));
    for (const auto &t : kPrinterTexts) {
        int32_t type = 0;
        std::string text = PrinterText(p, t.value);
        if (!text.empty() && GENU_AttrIdToType(vrcore::dpad::Status(), t.id, &type) == 0)
            set->TextLike(t.id, uint32_t(type), text);
    }
}

std::vector<uint32_t> Service::CancelAll(const Printer &p) {
    std::vector<uint32_t> cancelled;
    Error ignored;
    for (auto &[id, job] : store_.Jobs()) {
        if (job.printer != p.name || job.Terminal()) continue;
        job.state = kStateCancelled;
        if (!Durable(job, 0, &ignored)) continue;
        store_.DropData(job);
        cancelled.push_back(id);
    }
    return cancelled;
}

Reply Service::PrinterOp(int32_t operation, const ODP_BerObjectOpArg &arg) {
    Error error;
    const Printer *p = ObjectPrinter(arg.object_class, arg.object_instance, &error);
    if (!p) return Failed(error);
    GEN_ObjectIdent object = NamedObject(p->name);
    uint8_t before = store_.PrinterFlags(p->name), flags = before;
    GENU_ShortOID when = operation == 22 ? OidOf(arg.when) : 0;
    const char *what = "cleaned";
    switch (operation) {
    case 3: flags &= uint8_t(~(kPrinterDisabled | kPrinterShutdown)), what = "enabled"; break;
    case 13: flags |= kPrinterDisabled, what = "disabled"; break;
    case 25: flags |= kPrinterPaused, what = "paused"; break;
    case 26: flags &= uint8_t(~kPrinterPaused), what = "resumed"; break;
    case 22:
        if (when != kWhenNow && when != kWhenAfterCurrent && when != kWhenAfterAll) {
            error.Service(kServUnsupportedParameter, object, "shut down now, or after the jobs");
            return Failed(error);
        }
        flags |= kPrinterShutdown, what = "shut down";
        break;
    default: break;
    }
    if (flags != before && !store_.SetPrinterFlags(p->name, flags)) {
        error.Service(kServResourceLimit, object, "the change could not be stored");
        return Failed(error);
    }
    // Cleaning, and a shutdown that does not wait, end the printer's jobs;
    // jobs it had taken print to the end otherwise (printing is never cut
    // in the middle of a document).
    std::vector<uint32_t> ended;
    if (operation == 20 || (operation == 22 && when == kWhenNow)) ended = CancelAll(*p);
    LOG_CondMessage(6, kSource, __LINE__, "printer %s %s (%zu jobs cancelled)\n", p->name.c_str(),
                    what, ended.size());
    notifier_.Post({"printer", p->name, 0, what});
    Set status;
    PrinterStatus(*p, &status);
    if (operation != 25) return SetResult(ODP_ResultPDU(operation), status, object);
    // A pause lists the printer's waiting jobs: they stay where they are.
    std::vector<std::unique_ptr<Set>> sets;
    std::vector<std::unique_ptr<BerSet>> bers;
    std::vector<ODP_BerPausedJob> nodes;
    for (auto &[id, job] : store_.Jobs())
        if (job.printer == p->name && !job.Terminal()) {
            sets.push_back(std::make_unique<Set>());
            JobStatus(job, sets.back().get());
            bers.push_back(std::make_unique<BerSet>());
            ODP_BerPausedJob n{};
            std::snprintf(n.job, sizeof n.job, "%u", id);
            if (bers.back()->From(*sets.back())) n.bit_mask = 0x80, n.status = bers.back()->List();
            nodes.push_back(n);
        }
    for (size_t i = 0; i + 1 < nodes.size(); ++i) nodes[i].next = &nodes[i + 1];
    ODP_BerPausedJob *head = nodes.empty() ? nullptr : nodes.data();
    Reply r;
    if (Encode(ODP_PDU_PAUSE_RES, &head, &r.result)) return r;
    error.Service(kServUnclassified, object, "the result could not be encoded");
    return Failed(error);
}

Reply Service::SetPrinter(const ODP_BerSetArg &arg) {
    Error error;
    const Printer *p = ObjectPrinter(arg.object_class, arg.object_instance, &error);
    if (!p) return Failed(error);
    GEN_ObjectIdent object = NamedObject(p->name);
    AS_SetHandle mods = AS_nullSetHandle;
    if (!(arg.bit_mask & 0x40) ||
        ToGEN_ModOpAS(vrcore::dpad::Status(), arg.attr_modification, &mods) != 0) {
        error.Service(kServUnsupportedParameter, object, "the modification is unusable");
        return Failed(error);
    }
    // Whether the printer is enabled, and its descriptive texts, are set;
    // the texts are written once all of the modification is found good.
    uint8_t flags = store_.PrinterFlags(p->name);
    std::vector<std::pair<const char *, std::string>> texts; // "" removes
    vrcore::dpad::Status st;
    AS_AttrHandle attr = AS_nullAttrHandle;
    GENU_ShortOID id = 0;
    for (int rc = AS_FindFirstAttr(st, mods, &attr, &id); rc == 0 && attr != AS_nullAttrHandle;
         rc = AS_FindNextAttrR(st, &attr, &id)) {
        int32_t op = 0;
        uint32_t type = 0, count = 0;
        void *value = nullptr;
        AS_GetAttrModifyOpR(st, attr, &op);
        AS_GetAttrValR(st, attr, &value);
        AS_GetAttrValTypeR(st, attr, &type);
        AS_GetAttrValCountR(st, attr, &count);
        auto text = std::find_if(std::begin(kPrinterTexts), std::end(kPrinterTexts),
                                 [&](const auto &t) { return t.id == id; });
        bool removes = op == AS_MODOP_SET_DEFAULT || op == AS_MODOP_DELETE_VALUES;
        std::string v, why;
        if (text != std::end(kPrinterTexts)) {
            bool usable = count == 1 && ValueText(type, value, &v) && !v.empty() &&
                          v.size() <= 1024 && std::none_of(v.begin(), v.end(), [](char c) {
                              return std::iscntrl(static_cast<unsigned char>(c));
                          });
            if (!removes && !usable) why = "a printer's text is one line of at most 1024 bytes";
            texts.emplace_back(text->value, removes ? "" : v);
        } else if (id == kAttrEnabled && (op <= AS_MODOP_NONE || op == AS_MODOP_SET_DEFAULT)) {
            bool on = op == AS_MODOP_SET_DEFAULT || (value && *static_cast<int32_t *>(value) != 0);
            if (op != AS_MODOP_SET_DEFAULT && !value) why = "enabled is true or false";
            flags = on ? uint8_t(flags & ~kPrinterDisabled) : uint8_t(flags | kPrinterDisabled);
        } else {
            error.Attribute(kAttrIllegalModification, attr, object, "the server sets it");
            break;
        }
        if (!why.empty()) {
            error.Attribute(kAttrUnsupportedValue, attr, object, why);
            break;
        }
    }
    if (attr != AS_nullAttrHandle) AS_FreeAttrHandle(st, &attr);
    AS_Destroy(st, &mods);
    for (const auto &[name, text] : texts)
        if (!error && SetPrinterText(config_, *p, name, text) != 0)
            error.Service(kServResourceLimit, object, "the change could not be stored");
    if (error) return Failed(error);
    if (!store_.SetPrinterFlags(p->name, flags)) {
        error.Service(kServResourceLimit, object, "the change could not be stored");
        return Failed(error);
    }
    Set status;
    PrinterStatus(*p, &status);
    return SetResult(ODP_PDU_SET_RES, status, object);
}

Reply Service::Promote(const ODP_BerPromoteJobArg &arg) {
    Error error;
    Job *job = Named(arg.job_identification, &error);
    if (!job) return Failed(error);
    if (job->Terminal()) {
        error.Access(kAccessInappropriateState, JobObject(job->id), "the job is finished");
        return Failed(error);
    }
    job->flags |= kJobPromoted;
    if (!Durable(*job, 0, &error)) return Failed(error);
    Set status;
    JobStatus(*job, &status);
    return SetResult(ODP_PDU_PROMOTE_JOB_RES, status, JobObject(job->id));
}

namespace {

// Removes the values of `attr` from the same attribute of `set` (all of
// it when `attr` has none).
void DeleteValues(AS_SetHandle set, GENU_ShortOID id, AS_AttrHandle attr) {
    vrcore::dpad::Status st;
    uint32_t count = 0, type = 0;
    AS_GetAttrValCountR(st, attr, &count);
    AS_GetAttrValTypeR(st, attr, &type);
    if (count == 0) {
        AS_DeleteAttr(st, set, id);
        return;
    }
    AS_AttrValHandle gone = AS_nullAttrValHandle;
    void *unwanted = nullptr;
    for (int rc = AS_FindFirstAttrValR(st, attr, &gone, &unwanted); rc == 0 && unwanted;
         rc = AS_FindNextAttrValVR(st, &gone, &unwanted)) {
        AS_AttrValHandle have = AS_nullAttrValHandle;
        void *value = nullptr;
        for (int r = AS_FindFirstAttrVal(st, set, id, &have, &value); r == 0 && value;
             r = AS_FindNextAttrValVR(st, &have, &value)) {
            int32_t order = 1;
            if (GEN_CompareAttrValue(st, type, value, unwanted, &order) == 0 && order == 0) {
                AS_DeleteAttrValVR(st, &have);
                break;
            }
        }
        if (have != AS_nullAttrValHandle) AS_FreeAttrValHandle(st, &have);
    }
    if (gone != AS_nullAttrValHandle) AS_FreeAttrValHandle(st, &gone);
}

} // namespace

Reply Service::Modify(const ODP_BerModifyJobArg &arg) {
    Error error;
    Job *job = Named(arg.job_identification, &error);
    if (!job) return Failed(error);
    GEN_ObjectIdent object = JobObject(job->id);
    if (job->Terminal()) {
        error.Access(kAccessInappropriateState, object, "the job is finished");
        return Failed(error);
    }
    if (arg.bit_mask & 0x80) {
        error.Service(kServUnsupportedParameter, object, "documents are not modified one by one");
        return Failed(error);
    }
    Set current;
    if (job->flags & kJobHasAttributes) {
        std::string bytes;
        FILE *f = std::fopen(store_.AttributesPath(job->id).c_str(), "rb");
        for (int ch; f && (ch = std::fgetc(f)) != EOF;) bytes.push_back(char(ch));
        if (f) std::fclose(f);
        current.AddEncoded(std::vector<unsigned char>(bytes.begin(), bytes.end()));
    }
    AS_SetHandle mods = AS_nullSetHandle;
    if (ToGEN_ModOpAS(vrcore::dpad::Status(), arg.job_attr_modification, &mods) != 0) {
        error.Service(kServUnsupportedParameter, object, "the modification is unusable");
        return Failed(error);
    }
    static constexpr GENU_ShortOID kServerOwned[] = {
        kAttrJobIdentifier, kAttrJobState, kAttrDocuments,     kAttrOctets,
        kAttrStateReasons,  kAttrJobOwner, kAttrJobOriginator, kAttrSubmissionTime};
    vrcore::dpad::Status st;
    AS_AttrHandle attr = AS_nullAttrHandle;
    GENU_ShortOID id = 0;
    for (int rc = AS_FindFirstAttr(st, mods, &attr, &id); rc == 0 && attr != AS_nullAttrHandle;
         rc = AS_FindNextAttrR(st, &attr, &id)) {
        if (std::find(std::begin(kServerOwned), std::end(kServerOwned), id) !=
            std::end(kServerOwned)) {
            error.Attribute(kAttrIllegalModification, attr, object, "the server sets it");
            break;
        }
        int32_t op = AS_MODOP_NONE;
        AS_GetAttrModifyOpR(st, attr, &op);
        AS_AttrHandle have = AS_nullAttrHandle;
        switch (op) {
        case AS_MODOP_ADD_VALUES:
            if (AS_FindAttr(st, current.Handle(), id, &have) == 0 && have != AS_nullAttrHandle)
                AS_CopyAttrValsR(st, have, attr);
            else
                AS_CopyAttrR(st, current.Handle(), attr, nullptr);
            break;
        case AS_MODOP_DELETE_VALUES: DeleteValues(current.Handle(), id, attr); break;
        case AS_MODOP_SET_DEFAULT: AS_DeleteAttr(st, current.Handle(), id); break;
        default: // the values replace the attribute's
            AS_DeleteAttr(st, current.Handle(), id);
            AS_CopyAttrR(st, current.Handle(), attr, nullptr);
        }
        if (have != AS_nullAttrHandle) AS_FreeAttrHandle(st, &have);
    }
    if (attr != AS_nullAttrHandle) AS_FreeAttrHandle(st, &attr);
    AS_Destroy(st, &mods);
    if (error) return Failed(error);
    BerSet ber;
    std::vector<unsigned char> bytes;
    if (!ber.From(current) || !EncodeSet(ber.List(), &bytes) ||
        !WriteFileAtomically(store_.AttributesPath(job->id), bytes.data(), bytes.size())) {
        error.Service(kServResourceLimit, object, "the job could not be stored");
        return Failed(error);
    }
    job->flags |= kJobHasAttributes;
    if (!Durable(*job, 0, &error)) return Failed(error);
    JobStatus(*job, &current);
    return SetResult(ODP_PDU_MODIFY_JOB_RES, current, object);
}

bool Service::PrintJob(Job &job) {
    const Printer *p = FindPrinter(job.printer);
    std::string why = "the printer " + job.printer + " is gone";
    bool ok = p != nullptr;
    std::vector<int> data;
    for (uint32_t n = 1; ok && n <= job.documents.size(); ++n) {
        data.push_back(store_.OpenData(job.id, n));
        if (data.back() < 0) why = "the data of document " + std::to_string(n) + " cannot be read";
        ok = data.back() >= 0;
    }
    // The backend runs outside the request lock: requests go on meanwhile.
    // The job is not changed while it prints but may be cancelled; it is
    // found again afterwards (jobs are never removed).
    Job copy = job;
    uint32_t id = job.id;
    if (lock_) lock_->unlock();
    for (uint32_t n = 1; ok && n <= copy.documents.size(); ++n)
        ok = PrintDocument(*p, copy, n, data[n - 1], &why);
    for (int fd : data)
        if (fd >= 0) ::close(fd);
    if (lock_) lock_->lock();
    Job &now = *store_.Find(id);
    if (now.Terminal()) return ok;
    now.state = ok ? kStateCompleted : kStateRetained;
    if (!ok) {
        now.flags |= kJobFailed;
        LOG_CondMessage(1, kSource, __LINE__, "job %u failed: %s\n", id, why.c_str());
    } else {
        LOG_CondMessage(6, kSource, __LINE__, "job %u printed on %s\n", id, now.printer.c_str());
    }
    // Not synced on its own: after a power loss before the next sync the
    // job is found pending again and printed again (the directory backend
    // writes the same file again).
    if (!store_.Put(now) || !store_.Flush()) {
        LOG_CondMessage(1, kSource, __LINE__, "job %u: the job database cannot be written\n", id);
        return false;
    }
    Tell(now);
    store_.DropData(now);
    return ok;
}

bool Service::Listen(Job &job, uint32_t number, const Document &d, uint64_t announced,
                     bool completes, Error *error) {
    GEN_ObjectIdent object = JobObject(job.id);
    constexpr size_t kMaxTransfers = 32;
    if (config_.max_document && announced != ~uint64_t(0) && announced > config_.max_document) {
        error->Service(kServResourceLimit, object,
                       "the document is larger than " + std::to_string(config_.max_document) +
                           " bytes");
        return false;
    }
    if (!lock_ || transfers_.size() >= kMaxTransfers) {
        error->Service(kServResourceLimit, object, "no more documents are taken by connection now");
        return false;
    }
    GEN_DocumentIdentifier id{};
    if (!BeginTransfer(job, &number, &id, error)) return false;
    auto t = std::make_unique<Transfer>();
    if (FT_BufferInit(&id, nullptr, nullptr, FT_METHOD_SOCKET, 1 << 20, FT_ROLE_RECEIVER,
                      &t->buffer, 1) != 0) {
        job.flags &= uint8_t(~kJobTransferring);
        Durable(job, 0, error);
        error->DocumentAccess(kDocNotAvailable, object, "no connection can be offered");
        return false;
    }
    t->job = job.id, t->number = number, t->document = d, t->announced = announced;
    t->completes = completes;
    listen_port_ = t->buffer->address.port;
    Transfer *raw = t.get();
    transfers_.push_back(std::move(t));
    raw->thread = std::thread([this, raw] { Stream(raw); });
    return true;
}

// Receives a document from its connection outside the lock, then records
// it (or fails its job) under the lock.
void Service::Stream(Transfer *t) {
    GEN_DocumentIdentifier id = DocumentId(t->job, &t->number);
    std::string part = store_.SpoolDir() + "/" + std::to_string(t->job) + "-" +
                       std::to_string(t->number) + ".part";
    int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    uint64_t got = 0;
    std::string why = fd < 0 ? "the spool file cannot be made" : "";
    uint64_t limit = config_.max_document ? config_.max_document : ~uint64_t(0);
    while (why.empty()) {
        if (stopping_ || FT_RetrieveToBuffer(&id, t->buffer) != 0) {
            why = "the connection failed";
        } else if (t->buffer->count == 0) {
            break;
        } else if ((got += t->buffer->count) > std::min(limit, t->announced)) {
            why = got > limit ? "the document is larger than the limit" : "more than announced";
        } else {
            for (size_t done = 0; why.empty() && done < t->buffer->count;) {
                ssize_t n = ::write(fd, t->buffer->data + done, t->buffer->count - done);
                if (n > 0)
                    done += size_t(n);
                else if (n < 0 && errno != EINTR)
                    why = "the spool file cannot be written";
            }
        }
    }
    if (why.empty() && t->announced != ~uint64_t(0) && got != t->announced)
        why = "the connection ended after " + std::to_string(got) + " of " +
              std::to_string(t->announced) + " bytes";
    if (why.empty() && got == 0) why = "no data arrived";
    if (fd >= 0) {
        bool synced = !why.empty() || ::fsync(fd) == 0;
        if ((::close(fd) != 0 || !synced) && why.empty()) why = "the spool file cannot be written";
    }
    FT_Finish(&id, t->buffer, 1);
    std::lock_guard<std::mutex> hold(*lock_);
    t->buffer = nullptr;
    Job *job = store_.Find(t->job);
    Error error;
    if (job) job->flags &= uint8_t(~kJobTransferring);
    std::string data = job ? store_.DataPath(job->id, t->number) : "";
    if (job && !job->Terminal() && why.empty() && ::rename(part.c_str(), data.c_str()) == 0 &&
        SyncDirectory(store_.SpoolDir())) { // the file itself was synced above
        t->document.size = got;
        if (!Keep(*job, t->document, &error, t->completes, [] {})) ::unlink(data.c_str());
    } else if (job) {
        ::unlink(part.c_str());
        if (!job->Terminal()) {
            LOG_CondMessage(2, kSource, __LINE__, "job %u failed: %s\n", job->id,
                            why.empty() ? "its document could not be kept" : why.c_str());
            job->state = kStateRetained;
            job->flags |= kJobFailed;
        }
        Durable(*job, 0, &error);
        store_.DropData(*job);
    }
    uint64_t one = 1;
    if (::write(wake_fd_, &one, sizeof one) < 0) {} // the loop wakes for its next request anyway
    t->done = true;
}

void Service::StopTransfers() {
    stopping_ = true;
    std::list<std::unique_ptr<Transfer>> running;
    {
        std::lock_guard<std::mutex> hold(*lock_);
        for (auto &t : transfers_)
            if (t->buffer) { // wakes a wait for the client or for its data
                if (t->buffer->listen_socket >= 0) ::shutdown(t->buffer->listen_socket, SHUT_RDWR);
                if (t->buffer->socket >= 0) ::shutdown(t->buffer->socket, SHUT_RDWR);
            }
        running.swap(transfers_);
    }
    for (auto &t : running) t->thread.join();
}

void Service::PrintPending() {
    // The first pass looks at every job (the pending ones found at start);
    // later passes only at the jobs made pending since, so that a request
    // costs the same however many jobs the server keeps. Promoted jobs go
    // first; a paused printer's jobs and a job whose document is still
    // arriving stay for a later pass.
    if (!scanned_) {
        scanned_ = true;
        for (auto &[id, job] : store_.Jobs())
            if (job.state == kStatePending) to_print_.insert(id);
    }
    std::set<uint32_t> ids;
    ids.swap(to_print_);
    for (uint8_t promoted : {kJobPromoted, uint8_t(0)})
        for (uint32_t id : ids) {
            Job *job = store_.Find(id);
            if (!job || job->state != kStatePending || (job->flags & kJobPromoted) != promoted)
                continue;
            if (stopping_ || (job->flags & kJobTransferring) ||
                (store_.PrinterFlags(job->printer) & kPrinterPaused))
                to_print_.insert(id);
            else
                PrintJob(*job);
        }
}

} // namespace vrcore::dpad
