// The commands: each starts the session, sends its requests and prints
// what came back. Every returns an exit code.
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <string>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>

#include <vrcore/evt.h>
#include <vrcore/ft.h>
#include <vrcore/genu.h>
#include <vrcore/odpcli.h>

#include "vrprint.h"

namespace vrprint {
namespace {

// Documents up to this size travel inside the request unless the user
// chooses otherwise; larger ones over a connection of their own.
constexpr long long kInlineLimit = 256 * 1024;
// A transfer this long shows a progress bar on a terminal.
constexpr long long kProgressFrom = 1024 * 1024;
// The most pages a listing follows.
constexpr int kMaxPages = 100000;

// A set the program owns, destroyed at the end of its scope.
class Set {
  public:
    Set() {
        Status st;
        ok_ = AS_Create(st, &set_, nullptr, 0) == 0;
    }
    ~Set() {
        Status st;
        if (ok_) AS_Destroy(st, &set_);
    }
    Set(const Set &) = delete;
    Set &operator=(const Set &) = delete;
    bool Ok() const { return ok_; }
    AS_SetHandle &Handle() { return set_; }

  private:
    AS_SetHandle set_ = AS_nullSetHandle;
    bool ok_ = false;
};

void FreeSetResult(AS_SetHandle *set) {
    if (!set) return;
    Status st;
    AS_Destroy(st, set);
    GENU__CoveredFree(set);
}

// The end of a call: a failure printed with its status list, a DPA error
// with its text. kExitOk when the server did what was asked.
int Outcome(int failed, Status &st, ERDPA_ErrorResult *error, const std::string &what) {
    if (failed) {
        if (error) {
            Status scratch;
            ERDPA_FreeError(scratch, error);
        }
        st.Print(what);
        return ExitForList(st);
    }
    if (error) {
        PrintDpaError(what, error);
        return kExitRefused;
    }
    return kExitOk;
}

std::string BaseName(const std::string &path) {
    if (path == "-") return "stdin";
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The progress of one transfer on stderr, when stderr is a terminal.
class Progress {
  public:
    Progress(const std::string &name, long long total, bool shown)
        : name_(BaseName(name)), total_(total), shown_(shown && total >= kProgressFrom) {}
    void Update(long long done) {
        if (!shown_ || finished_) return;
        finished_ = done >= total_;
        auto now = std::chrono::steady_clock::now();
        if (done < total_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        drawn_ = true;
        int percent = total_ > 0 && done < total_ ? static_cast<int>(done * 100 / total_) : 100;
        int filled = percent * 30 / 100;
        std::fprintf(stderr, "\r%-20.20s [%s%s] %3d%% %lld KiB", name_.c_str(),
                     std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(30 - filled), ' ').c_str(), percent,
                     done / 1024);
        if (done >= total_) std::fputc('\n', stderr);
    }
    // Ends a bar cut short, so that what follows starts a line of its own.
    void Stop() {
        if (drawn_ && !finished_) std::fputc('\n', stderr);
        finished_ = true;
    }

  private:
    std::string name_;
    long long total_;
    bool shown_, drawn_ = false, finished_ = false;
    std::chrono::steady_clock::time_point last_{};
};

// One file to print and how it travels.
struct Document {
    std::string path;
    long long size = 0;
    GENU_ShortOID method = kMethodInline;
    std::string bytes; // inline content
    std::string absolute;
    GEN_DocumentContent content{};
    GENU_ShortOID method_value = 0;
    AS_SetHandle attributes = AS_nullSetHandle;
};

// The standard input as one document, carried in the request.
int PrepareInput(Document &doc, const std::string &method) {
    if (method != "auto" && method != "inline") {
        Complain("the standard input travels inline only");
        return kExitUsage;
    }
    char chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) doc.bytes.append(chunk, n);
    if (std::ferror(stdin) || doc.bytes.size() > static_cast<size_t>(INT32_MAX)) {
        Complain("cannot read the standard input");
        return kExitLocal;
    }
    doc.size = static_cast<long long>(doc.bytes.size());
    doc.content.choice = GEN_CONTENT_INCLUDED;
    doc.content.u.included.encoding = GEN_EXTERNAL_OCTET_ALIGNED;
    doc.content.u.included.data.length = static_cast<int32_t>(doc.bytes.size());
    doc.content.u.included.data.value = reinterpret_cast<unsigned char *>(doc.bytes.data());
    doc.method_value = kMethodInline;
    return kExitOk;
}

int Prepare(Document &doc, const std::string &method) {
    if (doc.path == "-") return PrepareInput(doc, method);
    struct stat sb {};
    if (stat(doc.path.c_str(), &sb) != 0) {
        Complain("cannot print " + doc.path + ": " + std::strerror(errno));
        return kExitLocal;
    }
    if (!S_ISREG(sb.st_mode)) {
        Complain("cannot print " + doc.path + ": not a regular file");
        return kExitLocal;
    }
    doc.size = sb.st_size;
    FILE *f = std::fopen(doc.path.c_str(), "rb");
    if (!f) {
        Complain("cannot read " + doc.path + ": " + std::strerror(errno));
        return kExitLocal;
    }
    doc.method = method == "inline"         ? kMethodInline
                 : method == "reference"    ? kMethodReference
                 : method == "socket"       ? kMethodSocket
                 : doc.size <= kInlineLimit ? kMethodInline
                                            : kMethodSocket;
    doc.content = GEN_DocumentContent{};
    if (doc.method == kMethodInline) {
        doc.bytes.resize(static_cast<size_t>(doc.size));
        size_t got = doc.size ? std::fread(doc.bytes.data(), 1, doc.bytes.size(), f) : 0;
        if (got != doc.bytes.size()) {
            std::fclose(f);
            Complain("cannot read " + doc.path);
            return kExitLocal;
        }
        doc.content.choice = GEN_CONTENT_INCLUDED;
        doc.content.u.included.encoding = GEN_EXTERNAL_OCTET_ALIGNED;
        doc.content.u.included.data.length = static_cast<int32_t>(doc.bytes.size());
        doc.content.u.included.data.value = reinterpret_cast<unsigned char *>(doc.bytes.data());
    } else {
        char *real = realpath(doc.path.c_str(), nullptr);
        doc.absolute = real ? real : doc.path;
        std::free(real);
        doc.content.choice = GEN_CONTENT_REFERENCED;
        doc.content.u.referenced.object_type = kDocumentPrintable;
        auto &ref = doc.content.u.referenced.specific_reference;
        ref.length = static_cast<int32_t>(doc.absolute.size());
        ref.value = reinterpret_cast<unsigned char *>(doc.absolute.data());
    }
    std::fclose(f);
    doc.method_value = doc.method;
    return kExitOk;
}

// The socket address the server gave for a document's data, from the
// document's status or else the job's.
bool TransferAddress(const ODP_PrintResult &r, FT_SocketAddress &out) {
    AS_SetHandle sets[] = {r.document_status ? *r.document_status : AS_nullSetHandle, r.job_status};
    for (AS_SetHandle set : sets) {
        Status st;
        void *value = nullptr;
        if (AS_GetAttrVal(st, set, kAttSocketAddress, &value) != 0 || !value) continue;
        const auto *s = static_cast<const GEN_SocketAddress *>(value);
        std::string host = ValueText(GEN_VT_SOCKET_ADDRESS, s);
        host = host.substr(0, host.rfind(':'));
        out = FT_SocketAddress{};
        out.kind = 1;
        out.port = static_cast<uint16_t>(s->port);
        out.address_length = 4;
        if (host.empty()) return s->port != 0 && s->port <= 65535;
        in_addr a{};
        if (inet_pton(AF_INET, host.c_str(), &a) != 1) {
            addrinfo hints{}, *list = nullptr;
            hints.ai_family = AF_INET;
            if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) return false;
            a = reinterpret_cast<sockaddr_in *>(list->ai_addr)->sin_addr;
            freeaddrinfo(list);
        }
        std::memcpy(out.address, &a, 4);
        return s->port != 0 && s->port <= 65535;
    }
    return false;
}

// Sends a document's data over the connection the server prepared.
int SendData(const Document &doc, const std::string &job, uint32_t number, const ODP_PrintResult &r,
             bool progress) {
    FT_SocketAddress address{};
    if (!TransferAddress(r, address)) {
        Complain("cannot send " + doc.path + ": the server gave no address for its data");
        return kExitRefused;
    }
    GEN_DocumentIdentifier id{};
    std::snprintf(id.job.value, sizeof id.job.value, "%s", job.c_str());
    id.document_number = &number;
    FT_Buffer *buffer = nullptr;
    uint32_t rc = FT_BufferInit(&id, &address, &doc.content, FT_METHOD_SOCKET, 64 * 1024,
                                FT_ROLE_SENDER, &buffer, 1);
    Progress bar(doc.path, doc.size, progress);
    long long sent = 0;
    while (rc == 0) {
        rc = FT_BufferToSend(&id, buffer);
        if (rc != 0 || buffer->count == 0) break;
        sent += static_cast<long long>(buffer->count);
        bar.Update(sent);
    }
    if (buffer) FT_Finish(&id, buffer, 1);
    if (rc != 0) {
        bar.Stop();
        Status st;
        STF_AddStatus(st, rc, 0);
        st.Print("cannot send " + doc.path);
        return kExitUnreachable;
    }
    bar.Update(doc.size);
    return kExitOk;
}

// The rows of a listing of a class, every page of it.
// The server is asked for `page` objects at a time.
int List(GENU_ShortOID cls, const std::vector<GENU_ShortOID> &wanted, long page_size,
         std::vector<Row> &rows, const std::string &what) {
    std::vector<GENU_ShortOID> ids = wanted;
    AS_IdentifierList requested{static_cast<uint32_t>(ids.size()), ids.data()};
    uint32_t count = static_cast<uint32_t>(page_size);
    GEN_Selector selector{nullptr, nullptr, nullptr, &count};
    Status st;
    ODP_ListResult *result = nullptr;
    ERDPA_ErrorResult *error = nullptr;
    int failed = ODP_ListObjectAttributes_C(st, cls, nullptr, &selector, &requested, nullptr,
                                            &result, &error);
    for (int page = 0;; ++page) {
        if (int exit = Outcome(failed, st, error, what)) {
            if (result) FreeGEN_listResult(st, result, nullptr);
            return exit;
        }
        if (!result) return kExitOk;
        for (ODP_ObjectResult *o = result->result_set; o; o = o->next) {
            Row row{SetFields(o->attribute_set)};
            if (cls == kOcJob && !row.Find(AttrName(kAttJobIdentifier)) &&
                o->object_identification.choice == GEN_OBJID_JOB_ID)
                row.fields.insert(
                    row.fields.begin(),
                    Field{AttrName(kAttJobIdentifier),
                          GEN_VT_JOB_IDENTIFIER,
                          {ValueText(GEN_VT_OBJECT_IDENTIFICATION, &o->object_identification)}});
            rows.push_back(std::move(row));
        }
        GEN_OctetString context{};
        std::string saved;
        if (result->continuation && result->continuation->length > 0) {
            saved.assign(reinterpret_cast<const char *>(result->continuation->value),
                         static_cast<size_t>(result->continuation->length));
            context.length = result->continuation->length;
            context.value = reinterpret_cast<unsigned char *>(saved.data());
        }
        FreeGEN_listResult(st, result, nullptr);
        result = nullptr;
        if (saved.empty()) return kExitOk;
        if (page >= kMaxPages) {
            Complain(what + ": the listing does not end");
            return kExitRefused;
        }
        failed = ODP_ListObjectAttributeContinuation_C(st, &context, nullptr, &result, &error);
    }
}

// Cancels a job whose submission failed half-way, so that no part of it is
// printed; the outcome is the server's business.
void Abandon(const std::string &job) {
    if (job.empty()) return;
    Status st;
    AS_SetHandle *set = nullptr;
    ERDPA_ErrorResult *e = nullptr;
    ODP_CancelJob_C(st, job.c_str(), nullptr, nullptr, nullptr, nullptr, &set, &e);
    FreeSetResult(set);
    if (e) ERDPA_FreeError(st, e);
}

} // namespace

int Submit(const Options &o) {
    if (o.operands.empty()) {
        Complain("submit: no file to print (vrprint submit --help)");
        return kExitUsage;
    }
    Set job;
    if (!job.Ok()) return kExitLocal;
    std::string error;
    for (const std::string &a : o.attributes)
        if (!AddAttribute(job.Handle(), a, error)) {
            Complain("submit: " + error);
            return kExitUsage;
        }
    GEN_SimpleName job_name{}, printer{};
    if (!MakeSimpleName(job_name, BaseName(o.operands[0])) ||
        !AddValue(job.Handle(), kAttJobName, GEN_VT_SIMPLE_NAME, &job_name))
        return kExitLocal;
    if (o.copies > 0) {
        uint32_t copies = static_cast<uint32_t>(o.copies);
        if (!AddValue(job.Handle(), kAttCopyCount, GEN_VT_CARDINAL, &copies)) return kExitLocal;
    }
    if (!MakeSimpleName(printer, o.printer)) {
        Complain("submit: not a usable printer name: " + o.printer);
        return kExitUsage;
    }
    std::vector<Document> docs(o.operands.size());
    std::vector<std::unique_ptr<Set>> doc_sets;
    for (size_t i = 0; i < docs.size(); ++i) {
        docs[i].path = o.operands[i];
        if (int exit = Prepare(docs[i], o.method)) return exit;
        doc_sets.push_back(std::make_unique<Set>());
        GEN_SimpleName name{};
        if (!doc_sets.back()->Ok() || !MakeSimpleName(name, BaseName(docs[i].path)) ||
            !AddValue(doc_sets.back()->Handle(), kAttDocumentName, GEN_VT_SIMPLE_NAME, &name))
            return kExitLocal;
        docs[i].attributes = doc_sets.back()->Handle();
    }

    Session session;
    if (int exit = session.Start(o, true)) return exit;
    bool progress = isatty(STDERR_FILENO);
    const int32_t open = 0; // the job stays open until every document is in
    std::string job_id;
    for (size_t i = 0; i < docs.size(); ++i) {
        Document &d = docs[i];
        ODP_DocDescription desc{&d.method_value, &d.content, nullptr, &d.attributes};
        Status st;
        ODP_PrintResult *r = nullptr;
        ERDPA_ErrorResult *e = nullptr;
        auto send = [&] {
            return i == 0
                       ? ODP_CreateJob_C(st, &printer, &open, &job.Handle(), &desc, nullptr, &r, &e)
                       : ODP_AddDocument_C(st, job_id.c_str(), &open, &desc, nullptr, &r, &e);
        };
        int failed = send();
        if (!failed && e && d.method == kMethodSocket && o.method == "auto") {
            // A server that takes no data connections gets the document inline.
            ERDPA_FreeError(st, e);
            if (r) FreeGEN_printResult(st, r, nullptr);
            r = nullptr, e = nullptr;
            d.method = kMethodInline;
            if (int exit = Prepare(d, "inline")) {
                Abandon(job_id);
                return exit;
            }
            failed = send();
        }
        int exit = Outcome(failed, st, e, "cannot submit " + d.path);
        if (exit == kExitOk && i == 0) {
            job_id = r ? ValueText(GEN_VT_JOB_IDENTIFIER, &r->job_identification) : "";
            if (job_id.empty()) {
                Complain("submit: the server named no job");
                exit = kExitRefused;
            }
        }
        if (exit == kExitOk && d.method == kMethodSocket)
            exit = SendData(d, job_id, static_cast<uint32_t>(i + 1), *r, progress);
        if (r) FreeGEN_printResult(st, r, nullptr);
        if (exit != kExitOk) {
            Abandon(job_id);
            return exit;
        }
    }
    Status st;
    ODP_PrintResult *r = nullptr;
    ERDPA_ErrorResult *e = nullptr;
    int failed = ODP_CloseJob_C(st, job_id.c_str(), nullptr, &r, &e);
    if (r) FreeGEN_printResult(st, r, nullptr);
    if (int exit = Outcome(failed, st, e, "cannot close job " + job_id)) {
        Abandon(job_id);
        return exit;
    }
    if (o.json)
        std::printf("{\"job\": %s, \"printer\": %s, \"documents\": %zu}\n",
                    JsonString(job_id).c_str(), JsonString(o.printer).c_str(), docs.size());
    else
        std::printf("job %s submitted to %s (%zu document%s)\n", job_id.c_str(), o.printer.c_str(),
                    docs.size(), docs.size() == 1 ? "" : "s");
    return kExitOk;
}

int Jobs(const Options &o) {
    Session session;
    if (int exit = session.Start(o, true)) return exit;
    std::vector<Row> rows, shown;
    int exit = List(kOcJob,
                    {kAttJobIdentifier, kAttJobName, kAttJobOwner, kAttPrinterName,
                     kAttPrinterNameRequested, kAttCurrentJobState, kAttTotalJobOctets,
                     kAttNumberOfDocuments, kAttSubmissionTime},
                    o.page, rows, "cannot list the jobs");
    if (exit) return exit;
    std::string printer = AttrName(kAttPrinterNameRequested) + "|" + AttrName(kAttPrinterName);
    for (Row &row : rows) {
        const Field *p = row.Find(printer);
        if (o.operands.empty() ||
            (p && std::find(p->values.begin(), p->values.end(), o.operands[0]) != p->values.end()))
            shown.push_back(std::move(row));
    }
    PrintRows(shown,
              {AttrName(kAttJobIdentifier), printer, AttrName(kAttJobOwner),
               AttrName(kAttCurrentJobState), AttrName(kAttNumberOfDocuments),
               AttrName(kAttTotalJobOctets), AttrName(kAttJobName)},
              {"JOB", "PRINTER", "OWNER", "STATE", "DOCS", "BYTES", "NAME"}, o.json);
    return kExitOk;
}

namespace {

// The one operand of a job or printer action as the object it names: an
// exit code, kExitUsage with the complaint made when it is not usable.
int Operand(const Options &o, GENU_ShortOID cls, GEN_ObjectIdent &object) {
    bool job = cls == kOcJob;
    if (o.operands.size() != 1) {
        Complain(o.command + ": give one " + (job ? "job" : "printer") + " (vrprint " + o.command +
                 " --help)");
        return kExitUsage;
    }
    const std::string &name = o.operands[0];
    object = GEN_ObjectIdent{};
    object.choice = job ? GEN_OBJID_JOB_ID : GEN_OBJID_SIMPLE_NAME;
    if (job ? name.empty() || name.size() > GEN_JOB_ID_MAX
            : !MakeSimpleName(object.u.simple_name, name)) {
        Complain(o.command + (job ? ": not a job identifier: " : ": not a usable printer name: ") +
                 name);
        return kExitUsage;
    }
    if (job) std::memcpy(object.u.job_id.value, name.c_str(), name.size() + 1);
    return kExitOk;
}

// The end of a job or printer action: the server's answer, then what was
// done as a line or as JSON.
int Done(const Options &o, const char *kind, int failed, Status &st, ERDPA_ErrorResult *e,
         const char *done) {
    const std::string &name = o.operands[0];
    std::string what = std::string(kind) == "job" ? "job " + name : name;
    if (int exit = Outcome(failed, st, e, "cannot " + o.command + " " + what)) return exit;
    if (o.json)
        std::printf("{\"%s\": %s, \"done\": \"%s\"}\n", kind, JsonString(name).c_str(), done);
    else
        std::printf("%s %s %s\n", kind, name.c_str(), done);
    return kExitOk;
}

} // namespace

int JobAction(const Options &o) {
    GEN_ObjectIdent object{};
    if (int exit = Operand(o, kOcJob, object)) return exit;
    const char *job = object.u.job_id.value;
    Session session;
    if (int exit = session.Start(o, true)) return exit;
    Status st;
    ERDPA_ErrorResult *e = nullptr;
    AS_SetHandle *set = nullptr;
    int failed;
    if (o.command == "hold") {
        ODP_JobOrPrinter which{};
        which.kind = ODP_JOB_OR_PRINTER_JOB;
        which.u.job = object.u.job_id;
        ODP_PauseJobResult *r = nullptr;
        failed = ODP_PauseJob_C(st, &which, nullptr, nullptr, &r, &e);
        if (r) FreeGEN_pauseJobResult(st, r, nullptr);
    } else if (o.command == "release") {
        failed = ODP_ResumeJob_C(st, job, nullptr, nullptr, nullptr, &set, &e);
    } else {
        failed = ODP_CancelJob_C(st, job, nullptr, nullptr, nullptr, nullptr, &set, &e);
    }
    FreeSetResult(set);
    return Done(o, "job", failed, st, e,
                o.command == "hold"      ? "held"
                : o.command == "release" ? "released"
                                         : "cancelled");
}

int Printers(const Options &o) {
    Session session;
    if (int exit = session.Start(o, true)) return exit;
    std::vector<Row> rows;
    if (int exit = List(kOcPrinter, {kAttPrinterName, kAttPrinterState, kAttEnabled}, o.page, rows,
                        "cannot list the printers"))
        return exit;
    PrintRows(rows, {AttrName(kAttPrinterName), AttrName(kAttPrinterState), AttrName(kAttEnabled)},
              {"PRINTER", "STATE", "ENABLED"}, o.json);
    return kExitOk;
}

int PrinterAction(const Options &o) {
    GEN_ObjectIdent printer{};
    if (int exit = Operand(o, kOcPrinter, printer)) return exit;
    Session session;
    if (int exit = session.Start(o, true)) return exit;
    Status st;
    ERDPA_ErrorResult *e = nullptr;
    AS_SetHandle *set = nullptr;
    bool enable = o.command == "enable";
    int failed = enable ? ODP_Enable_C(st, kOcPrinter, &printer, nullptr, nullptr, &set, &e)
                        : ODP_Disable_C(st, kOcPrinter, &printer, nullptr, nullptr, &set, &e);
    FreeSetResult(set);
    return Done(o, "printer", failed, st, e, enable ? "enabled" : "disabled");
}

namespace {

// One received message's arguments as texts, with their kinds.
void ReadArguments(uint32_t queue, uint32_t message, std::vector<std::string> &args,
                   std::vector<bool> &numeric) {
    std::string buffer(EVT_MAX_MESSAGE_BYTES, '\0');
    for (int i = 0; i < 4096; ++i) {
        int32_t number = 0;
        uint32_t size = static_cast<uint32_t>(buffer.size());
        if (EVT_MessageIArgGet(queue, message, &number) == EVT_E_OK) {
            args.push_back(std::to_string(number));
            numeric.push_back(true);
        } else if (EVT_MessageArgGet(queue, message, size, buffer.data()) == EVT_E_OK) {
            args.emplace_back(buffer.c_str());
            numeric.push_back(false);
        } else if (EVT_MessageBArgGet(queue, message, &size, buffer.data()) == EVT_E_OK) {
            std::string hex;
            char two[3];
            for (uint32_t b = 0; b < size; ++b) {
                std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(buffer[b]));
                hex += two;
            }
            args.push_back(hex);
            numeric.push_back(false);
        } else {
            return; // no more arguments
        }
    }
}

} // namespace

int Watch(const Options &o) {
    Session session;
    if (int exit = session.Start(o, false)) return exit;
    if (EVT_Init() != EVT_E_OK) {
        Complain("watch: cannot start the event messages");
        return kExitLocal;
    }
    uint32_t queue = 0;
    uint16_t port = 0;
    int rc = o.port == 0 ? EVT_Open(nullptr, &port, &queue) : EVT_OpenRegisteredPort(&port, &queue);
    if (rc != EVT_E_OK) {
        Complain(rc == EVT_E_BUSY ? "watch: the event port is in use by another listener"
                                  : "watch: cannot listen for event messages");
        EVT_Term();
        return kExitLocal;
    }
    std::fprintf(stderr, "vrprint: listening for event messages on port %u\n", port);
    int exit = kExitOk;
    for (long seen = 0; o.count == 0 || seen < o.count; ++seen) {
        uint32_t message = 0;
        rc = EVT_MessageReceive(queue, 0, nullptr, &message);
        if (rc == EVT_E_DECODE) {
            Complain("watch: a message that could not be read was dropped");
            --seen;
            continue;
        }
        if (rc != EVT_E_OK) {
            Complain("watch: receiving failed (event error " + std::to_string(rc) + ")");
            exit = kExitLocal;
            break;
        }
        std::vector<std::string> args;
        std::vector<bool> numeric;
        ReadArguments(queue, message, args, numeric);
        EVT_MessageFree(queue, message);
        std::string line;
        for (size_t i = 0; i < args.size(); ++i) {
            if (i) line += o.json ? ", " : " ";
            line += o.json && !numeric[i] ? JsonString(args[i]) : args[i];
        }
        if (o.json) {
            std::printf("[%s]\n", line.c_str());
        } else {
            char when[16] = "";
            time_t now = time(nullptr);
            tm local{};
            if (localtime_r(&now, &local)) strftime(when, sizeof when, "%H:%M:%S", &local);
            std::printf("%s %s\n", when, line.c_str());
        }
        std::fflush(stdout);
    }
    EVT_Close(queue);
    EVT_Term();
    return exit;
}

} // namespace vrprint
