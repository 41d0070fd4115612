// The print server end to end: the real program, started and killed by the
// test, against the library's client over ONC RPC.
#include <fcntl.h>
#include <signal.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <rpc/pmap_clnt.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <rpc/rpc.h>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "namespaces.h"
#include "scratch.h"
#include "status_list.h"
#include "vrcore/evt.h"
#include "vrcore/ft.h"
#include "nameservice/pts_client.h"
#include "vrcore/odpcli.h"

namespace {

namespace fs = std::filesystem;
using Status = vrtest::StatusList;
using vrtest::ReadFile;

constexpr uint32_t kProgram = 0x20271031;
constexpr GENU_ShortOID kJobClass = 87, kPrinterClass = 88, kJobState = 248, kJobId = 1057,
                        kDocName = 320, kJobName = 133, kPreProcessing = 250, kRetained = 254,
                        kHeld = 255, kCompleted = 259, kCancelled = 258;

TEST(Dpad, ServesJobsOverOnc) {
    std::string why = vrtest::NamespacesUnavailable({"unshare", "rpcbind", "rpcinfo", "ip"},
                                                    "--net --uts --mount true");
    if (!why.empty()) GTEST_SKIP() << why;
    vrtest::ScratchDir dir("vrdpad");
    std::string out = dir.Path() + "/out.log";
    std::string cmd =
        "unshare --net --uts --mount --propagation private /bin/sh '" VRCORE_SOURCE_DIR
        "/tests/dpad/dpad_env.sh' '" +
        fs::read_symlink("/proc/self/exe").string() + "' 'DpadInside.*' '" VRDPAD_MAPPER "' >'" +
        out + "' 2>&1";
    EXPECT_EQ(system(cmd.c_str()), 0) << ReadFile(out);
    EXPECT_NE(ReadFile(out).find("[  PASSED  ] 4 tests"), std::string::npos) << ReadFile(out);
}

// The server under test, with two printers: one writing into a directory,
// one handing each document to a command.
class DpadInside : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getenv("DPAD_INSIDE"), nullptr) << "runs only inside dpad_env.sh";
        signal(SIGPIPE, SIG_IGN);
        root_ = dir_.Path() + "/root", out_ = dir_.Path() + "/out", cmd_ = dir_.Path() + "/cmd";
        fs::create_directories(cmd_);
        fs::create_directories(dir_.Path() + "/refs");
        const std::string key = "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril";
        vrtest::WriteFile(dir_.Path() + "/registry.reg",
                          key + "]\n\"LanGroup\"=\"TG\"\n" +                                     //
                              key + "\\dpad\\Printers\\lp1]\n\"Directory\"=\"" + out_ + "\"\n" + //
                              key + "\\dpad\\Printers\\lp2]\n\"Backend\"=\"command\"\n" +
                              "\"Command\"=\"touch " + cmd_ + "/.started; while [ -e " + cmd_ +
                              "/.hold ]; do sleep 0.05; done; cat > " + cmd_ +
                              "/$VRDPAD_JOB-$VRDPAD_DOCUMENT\"\n");
        setenv("VRCORE_REGISTRY", (dir_.Path() + "/registry.reg").c_str(), 1);
        setenv("windir", dir_.Path().c_str(), 1); // the name service's store: <windir>/pgr
        setenv("NS_MS_LF", "1", 1);
        vrtest::WriteFile(dir_.Path() + "/users", "alice:8846f7eaee8fb117ad06bdd830b7586c\n");
        chmod((dir_.Path() + "/users").c_str(), 0600);
        Start();
    }
    void TearDown() override {
        ODP_Terminate(Status());
        if (pid_ > 0) Stop(SIGTERM);
        if (HasFailure())
            for (auto &e : fs::directory_iterator(dir_.Path()))
                if (e.path().filename().string().rfind("server", 0) == 0)
                    std::cout << ReadFile(e.path()).substr(0, 20000);
    }

    // Starts the server with both transports and the extra arguments.
    void Start(std::vector<std::string> extra = {}, bool bind = true) {
        std::vector<std::string> args = {"vrdpad",
                                         "--onc-program",
                                         std::to_string(kProgram),
                                         "--dce-port",
                                         "4200",
                                         "--address",
                                         "127.0.0.1",
                                         "--root",
                                         root_,
                                         "--users",
                                         dir_.Path() + "/users",
                                         "--reference-root",
                                         dir_.Path() + "/refs",
                                         "--log",
                                         dir_.Path() + "/server"};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            std::vector<char *> argv;
            for (auto &a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(VRDPAD_PROGRAM, argv.data());
            _exit(127);
        }
        for (int i = 0; i < 100; ++i) {
            if (CLIENT *c = clnt_create("127.0.0.1", kProgram, 1, "tcp")) {
                clnt_destroy(c);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (bind) Bind();
    }
    // Binds the calling thread to the server by its name over DCE/RPC: 0
    // or the failure's code.
    uint32_t BindByName() {
        Status st;
        GEN_ObjectIdent name{};
        name.choice = GEN_OBJID_SIMPLE_NAME;
        GENU_MakeEmbeddedSimpleName(st, &name.u.simple_name, "vrdpad", nullptr);
        ODP_Terminate(st);
        if (NS_Init(nullptr, NS_CLASS_NONE) != NS_OK) return ~0u;
        return ODP_Initialize(st, NS_CLASS_SPOOLER, name) ? st.Code() : 0;
    }
    // Binds the calling thread to the server over ONC RPC.
    void Bind() {
        char host[] = "127.0.0.1", name[] = "vrdpad";
        NS_Object o{};
        o.env = NS_ENV_ONC, o.objClass = o.serverClass = NS_CLASS_SPOOLER;
        o.name = o.serverName = name;
        o.onc.host = host, o.onc.program = int32_t(kProgram), o.onc.version = 1;
        Status st;
        ASSERT_EQ(ODP_Initialize2(st, &o), 0) << std::hex << st.Code();
    }
    // Stops the server; its exit status.
    int Stop(int sig) {
        kill(pid_, sig);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

    // A document: inline bytes, or a file reference to a path.
    struct Doc {
        std::string data, path, name;
        uint64_t socket = 0; // over a connection of its own, announcing this size
    };
    // The job named by the reply, or the kind of the error (as "!kind").
    std::string Submit(const char *printer, const Doc &d, const char *job = nullptr,
                       int complete = 1) {
        Status st;
        GEN_SimpleName pname{};
        GENU_MakeEmbeddedSimpleName(st, &pname, printer, nullptr);
        GEN_DocumentContent content{};
        GENU_ShortOID method = d.socket ? 447 : d.path.empty() ? 446 : 449;
        if (d.path.empty()) {
            content.choice = GEN_CONTENT_INCLUDED;
            content.u.included.encoding = GEN_EXTERNAL_OCTET_ALIGNED;
            content.u.included.data = {
                int32_t(d.data.size()),
                reinterpret_cast<unsigned char *>(const_cast<char *>(d.data.data()))};
        } else {
            content.choice = GEN_CONTENT_REFERENCED;
            content.u.referenced.object_type = 90;
            content.u.referenced.specific_reference = {
                int32_t(d.path.size()),
                reinterpret_cast<unsigned char *>(const_cast<char *>(d.path.data()))};
        }
        AS_SetHandle attrs = AS_nullSetHandle;
        AS_Create(st, &attrs, nullptr, 0);
        GEN_SimpleName dname{};
        if (!d.name.empty()) {
            GENU_MakeEmbeddedSimpleName(st, &dname, d.name.c_str(), nullptr);
            int32_t type = 0;
            GENU_AttrIdToType(st, kDocName, &type);
            AS_AddAttrValM(st, attrs, kDocName, uint32_t(type), &dname,
                           GENU_AVT2Descriptor(uint32_t(type)), nullptr);
        }
        GEN_Cardinal64 size{uint32_t(d.socket >> 32), uint32_t(d.socket)};
        if (d.socket) {
            int32_t type = 0;
            GENU_AttrIdToType(st, 587, &type);
            AS_AddAttrValM(st, attrs, 587, uint32_t(type), &size,
                           GENU_AVT2Descriptor(uint32_t(type)), nullptr);
        }
        ODP_DocDescription doc{&method, &content, nullptr, &attrs};
        ODP_PrintResult *r = nullptr;
        ERDPA_ErrorResult *e = nullptr;
        int rc = job ? ODP_AddDocument_C(st, job, &complete, &doc, nullptr, &r, &e)
                     : ODP_CreateJob_C(st, &pname, &complete, nullptr, &doc, nullptr, &r, &e);
        AS_Destroy(Status(), &attrs); // (a call clears the status list it is given)
        void *where = nullptr;        // the data follow where the server says
        if (r && r->document_status) AS_GetAttrVal(st, *r->document_status, 101, &where);
        if (where) {
            FT_SocketAddress to{
                1, uint16_t(static_cast<GEN_SocketAddress *>(where)->port), 4, {127, 0, 0, 1}};
            GEN_DocumentIdentifier id{};
            std::snprintf(id.job.value, sizeof id.job.value, "%s", r->job_identification.value);
            EXPECT_EQ(FT_FileToSend(&id, &to, &content, 447, nullptr), 0u);
        }
        return Outcome(rc, st, r, e);
    }
    std::string Close(const char *job) {
        Status st;
        ODP_PrintResult *r = nullptr;
        ERDPA_ErrorResult *e = nullptr;
        int rc = ODP_CloseJob_C(st, job, nullptr, &r, &e);
        return Outcome(rc, st, r, e);
    }
    std::string Cancel(const char *job) {
        Status st;
        AS_SetHandle *r = nullptr;
        ERDPA_ErrorResult *e = nullptr;
        int rc = ODP_CancelJob_C(st, job, nullptr, nullptr, nullptr, nullptr, &r, &e);
        if (r) AS_Destroy(st, r), GENU__CoveredFree(r);
        return rc ? "rc" : e ? Kind(e) : "ok";
    }
    // Holds (hold) or releases a job: "ok" or the error.
    std::string Hold(const std::string &job, bool hold) {
        Status st;
        ERDPA_ErrorResult *e = nullptr;
        int rc = 0;
        if (hold) {
            ODP_JobOrPrinter j{};
            j.kind = ODP_JOB_OR_PRINTER_JOB;
            std::snprintf(j.u.job.value, sizeof j.u.job.value, "%s", job.c_str());
            ODP_PauseJobResult *r = nullptr;
            rc = ODP_PauseJob_C(st, &j, nullptr, nullptr, &r, &e);
            if (r) FreeGEN_pauseJobResult(st, r, nullptr);
        } else {
            AS_SetHandle *r = nullptr;
            rc = ODP_ResumeJob_C(st, job.c_str(), nullptr, nullptr, nullptr, &r, &e);
            if (r) AS_Destroy(st, r), GENU__CoveredFree(r);
        }
        return rc ? "rc" : e ? Kind(e) : "ok";
    }
    std::string Enable(const char *printer, bool enable) {
        Status st;
        GEN_ObjectIdent o{};
        o.choice = GEN_OBJID_SIMPLE_NAME;
        GENU_MakeEmbeddedSimpleName(st, &o.u.simple_name, printer, nullptr);
        AS_SetHandle *r = nullptr;
        ERDPA_ErrorResult *e = nullptr;
        int rc = enable ? ODP_Enable_C(st, kPrinterClass, &o, nullptr, nullptr, &r, &e)
                        : ODP_Disable_C(st, kPrinterClass, &o, nullptr, nullptr, &r, &e);
        if (r) AS_Destroy(st, r), GENU__CoveredFree(r);
        return rc ? "rc" : e ? Kind(e) : "ok";
    }
    // Sets a text attribute of a printer: "ok" or the error.
    std::string SetText(const char *printer, GENU_ShortOID id, const char *text) {
        Status st;
        GEN_ObjectIdent o{};
        o.choice = GEN_OBJID_SIMPLE_NAME;
        GENU_MakeEmbeddedSimpleName(st, &o.u.simple_name, printer, nullptr);
        GEN_Text t{};
        GENU_MakeEmbeddedText(st, &t, text, nullptr);
        int32_t type = 0;
        GENU_AttrIdToType(st, id, &type);
        AS_SetHandle mods = AS_nullSetHandle, *r = nullptr;
        AS_Create(st, &mods, nullptr, 0);
        AS_AddAttrValM(st, mods, id, uint32_t(type), &t, GENU_AVT2Descriptor(uint32_t(type)),
                       nullptr);
        ERDPA_ErrorResult *e = nullptr;
        int rc = ODP_Set_C(st, kPrinterClass, &o, &mods, nullptr, nullptr, &r, &e);
        if (r) AS_Destroy(st, r), GENU__CoveredFree(r);
        AS_Destroy(Status(), &mods);
        GEN_DeepDeleteText(st, &t, nullptr);
        return rc ? "rc" : e ? Kind(e) : "ok";
    }
    // Modifies the job's names (or another attribute's) by the operator:
    // the count of names the result gives, or the error.
    std::string Modify(const std::string &job, int32_t op, std::vector<std::string> names,
                       GENU_ShortOID id = kJobName) {
        Status st;
        AS_SetHandle mods = AS_nullSetHandle, *r = nullptr;
        AS_Create(st, &mods, nullptr, 0);
        int32_t type = 0;
        GENU_AttrIdToType(st, id, &type);
        std::vector<GEN_SimpleName> values(names.size());
        AS_AddAttr(st, mods, id, uint32_t(type), nullptr);
        for (size_t i = 0; i < names.size(); ++i) {
            GENU_MakeEmbeddedSimpleName(st, &values[i], names[i].c_str(), nullptr);
            AS_AddAttrValM(st, mods, id, uint32_t(type), &values[i],
                           GENU_AVT2Descriptor(uint32_t(type)), nullptr);
        }
        AS_SetAttrModifyOp(st, mods, id, op);
        ERDPA_ErrorResult *e = nullptr;
        uint32_t count = 0;
        int rc = ODP_ModifyJob_C(st, job.c_str(), nullptr, mods, nullptr, nullptr, &r, &e);
        if (r)
            AS_GetAttrValCount(st, *r, kJobName, &count), AS_Destroy(st, r), GENU__CoveredFree(r);
        AS_Destroy(Status(), &mods);
        return rc ? "rc" : e ? Kind(e) : std::to_string(count);
    }
    // Promotes (16) or interrupts (17) a job; cleans (20), sets disabled
    // (21), shuts down now (22), pauses (25) or resumes (26) a printer.
    std::string Do(int op, const std::string &target) {
        Status st;
        GEN_ObjectIdent o{};
        o.choice = GEN_OBJID_SIMPLE_NAME;
        GENU_MakeEmbeddedSimpleName(st, &o.u.simple_name, target.c_str(), nullptr);
        AS_SetHandle *r = nullptr, mods = AS_nullSetHandle;
        ERDPA_ErrorResult *e = nullptr;
        ODP_PauseResult *paused = nullptr;
        ODP_InterruptJobResult *interrupted = nullptr;
        ODP_JobOrPrinter j{ODP_JOB_OR_PRINTER_JOB, {}};
        std::snprintf(j.u.job.value, sizeof j.u.job.value, "%s", target.c_str());
        GEN_Boolean off = 0;
        int32_t type = 0;
        int rc = 0;
        switch (op) {
        case 16: rc = ODP_PromoteJob_C(st, target.c_str(), nullptr, nullptr, &r, &e); break;
        case 17: rc = ODP_InterruptJob_C(st, &j, nullptr, "1", nullptr, &interrupted, &e); break;
        case 20: rc = ODP_Clean_C(st, kPrinterClass, &o, nullptr, nullptr, &r, &e); break;
        case 21:
            AS_Create(st, &mods, nullptr, 0);
            GENU_AttrIdToType(st, 869, &type);
            AS_AddAttrValM(st, mods, 869, uint32_t(type), &off, GENU_AVT2Descriptor(uint32_t(type)),
                           nullptr);
            rc = ODP_Set_C(st, kPrinterClass, &o, &mods, nullptr, nullptr, &r, &e);
            AS_Destroy(Status(), &mods);
            break;
        case 22: rc = ODP_Shutdown_C(st, kPrinterClass, &o, nullptr, 995, nullptr, &r, &e); break;
        case 25: rc = ODP_Pause_C(st, kPrinterClass, &o, nullptr, nullptr, &paused, &e); break;
        default: rc = ODP_Resume_C(st, kPrinterClass, &o, nullptr, nullptr, &r, &e);
        }
        if (r) AS_Destroy(st, r), GENU__CoveredFree(r);
        if (paused && paused->pause_status) AS_Destroy(st, &paused->pause_status);
        std::free(paused);
        return rc ? "rc" : e ? Kind(e) : "ok";
    }
    static std::string Kind(ERDPA_ErrorResult *e) {
        std::string k = "!" + std::to_string(e->kind);
        ERDPA_FreeError(Status(), e);
        return k;
    }
    static std::string Outcome(int rc, Status &st, ODP_PrintResult *r, ERDPA_ErrorResult *e) {
        std::string job = r ? r->job_identification.value : "";
        if (r) FreeGEN_printResult(st, r, nullptr);
        if (rc) return "rc " + std::to_string(st.Code());
        return e ? Kind(e) : job;
    }
    // The objects of a class: name (job identifier or printer) and state.
    std::vector<std::pair<std::string, GENU_ShortOID>>
    List(GENU_ShortOID cls, std::string *error = nullptr, GEN_Filter *filter = nullptr) {
        GEN_Selector selector{nullptr, filter, nullptr, nullptr};
        Status st;
        GENU_ShortOID ids[] = {kJobId, kJobState};
        AS_IdentifierList requested{2, ids};
        ODP_ListResult *r = nullptr;
        ERDPA_ErrorResult *e = nullptr;
        EXPECT_EQ(ODP_ListObjectAttributes_C(st, cls, nullptr, filter ? &selector : nullptr,
                                             cls == kJobClass ? &requested : nullptr, nullptr, &r,
                                             &e),
                  0);
        std::vector<std::pair<std::string, GENU_ShortOID>> got;
        for (ODP_ObjectResult *o = r ? r->result_set : nullptr; o; o = o->next) {
            void *state = nullptr;
            AS_GetAttrVal(st, o->attribute_set, kJobState, &state);
            got.emplace_back(o->object_identification.choice == GEN_OBJID_JOB_ID
                                 ? o->object_identification.u.job_id.value
                                 : o->object_identification.u.simple_name.u.string,
                             state ? *static_cast<GENU_ShortOID *>(state) : 0);
        }
        if (r) FreeGEN_listResult(st, r, nullptr);
        if (error) *error = e ? Kind(e) : "";
        return got;
    }
    std::vector<std::string> Jobs(GEN_Filter *filter) {
        std::vector<std::string> out;
        for (auto &[job, state] : List(kJobClass, nullptr, filter)) out.push_back(job);
        return out;
    }
    // A printed file, once its job is completed (printing follows the reply).
    std::string Printed(const std::string &job, const std::string &path) {
        for (int i = 0; i < 200 && StateOf(job) != kCompleted; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        return ReadFile(path);
    }
    // A listing of jobs in parts of `limit`, each part continued (or, with
    // abort, abandoned after the first); the jobs in order, or "!kind".
    std::vector<std::string> Paged(uint32_t limit, bool abort = false, const char *bogus = nullptr,
                                   GEN_Filter *filter = nullptr) {
        Status st;
        GEN_Selector selector{nullptr, filter, nullptr, &limit};
        std::vector<std::string> jobs;
        GEN_OctetString context{};
        std::string saved = bogus ? bogus : "";
        for (int part = 0; part < 100; ++part) {
            ODP_ListResult *r = nullptr;
            ERDPA_ErrorResult *e = nullptr;
            context = {int32_t(saved.size()),
                       reinterpret_cast<unsigned char *>(const_cast<char *>(saved.data()))};
            int rc = part == 0 && !bogus
                         ? ODP_ListObjectAttributes_C(st, kJobClass, nullptr, &selector, nullptr,
                                                      nullptr, &r, &e)
                     : abort ? ODP_ListObjectAttributeAbort_C(st, &context, nullptr, &r, &e)
                             : ODP_ListObjectAttributeContinuation_C(st, &context, nullptr, &r, &e);
            if (rc || e) return {rc ? "rc" : Kind(e)};
            for (ODP_ObjectResult *o = r->result_set; o; o = o->next)
                jobs.push_back(o->object_identification.u.job_id.value);
            bool more = r->continuation != nullptr;
            if (more)
                saved.assign(reinterpret_cast<char *>(r->continuation->value),
                             size_t(r->continuation->length));
            FreeGEN_listResult(st, r, nullptr);
            if (!more || (abort && part > 0)) break;
        }
        return jobs;
    }
    GENU_ShortOID StateOf(const std::string &job) {
        for (auto &[name, state] : List(kJobClass))
            if (name == job) return state;
        return 0;
    }
    // A request of raw bytes; the error kind of the reply (-1: no reply).
    int Raw(int op, const std::string &bytes) {
        CLIENT *c = clnt_create("127.0.0.1", kProgram, 1, "tcp");
        if (!c) return -1;
        ODP_argument_t a{op, {unsigned(bytes.size()), const_cast<char *>(bytes.data())}};
        ODP_result_t r{};
        int kind = odp_request_1(&a, &r, c) == 0 ? r.error_kind : -1;
        clnt_freeres(c, reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(xdr_ODP_result_t)),
                     reinterpret_cast<char *>(&r));
        clnt_destroy(c);
        return kind;
    }

    // Hostile requests: a length of 2 GiB with nothing behind it, and a
    // record cut off by a disconnect. True when the server refused them.
    bool Hostile() {
        CLIENT *c = clnt_create("127.0.0.1", kProgram, 1, "tcp");
        if (!c) return false;
        auto huge = [](XDR *x, void *) -> bool_t {
            int op = 0;
            u_int count = 0x80000000u;
            return xdr_int(x, &op) && xdr_u_int(x, &count);
        };
        timeval wait{5, 0};
        ODP_result_t r{};
        clnt_stat st =
            clnt_call(c, 1, reinterpret_cast<xdrproc_t>(+huge), nullptr,
                      reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(xdr_ODP_result_t)),
                      reinterpret_cast<char *>(&r), wait);
        clnt_destroy(c);
        sockaddr_in a{};
        a.sin_family = AF_INET, a.sin_addr.s_addr = htonl(0x7F000001);
        a.sin_port = htons(pmap_getport(&a, kProgram, 1, IPPROTO_TCP));
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        const unsigned char cut[] = {0x00, 0x10, 0x00, 0x00, 0, 0, 0, 1}; // 1 MiB promised
        bool sent = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
                    write(fd, cut, sizeof cut) == sizeof cut;
        bool others = Raw(27, "") == 10; // served while that record is awaited
        close(fd);
        return st == RPC_CANTDECODEARGS && sent && others;
    }

    vrtest::ScratchDir dir_{"vrdpad"};
    std::string root_, out_, cmd_;
    pid_t pid_ = -1;
};

TEST_F(DpadInside, SubmitListCancelRefuseAndSurviveKills) {
    std::string ref = dir_.Path() + "/refs/ref.txt";
    vrtest::WriteFile(ref, "by reference\n");
    // Jobs submitted whole, each printed once by its printer.
    struct {
        const char *printer;
        Doc doc;
        std::string printed; // the file it lands in, relative to the scratch directory
        std::string data;
    } printed[] = {
        {"lp1", {"hello\n", "", "greeting.txt"}, "out/1-1-greeting.txt", "hello\n"},
        {"", {"", ref, ""}, "out/2-1", "by reference\n"},
        {"lp2", {std::string(70000, '\x80'), "", ""}, "cmd/3-1", std::string(70000, '\x80')},
        {"lp1", {"", ref, "", 13}, "out/4-1", "by reference\n"}, // over its own connection
    };
    for (auto &p : printed) {
        std::string job = Submit(p.printer, p.doc);
        EXPECT_TRUE(Printed(job, dir_.Path() + "/" + p.printed) == p.data)
            << job << " " << p.printed;
    }
    // A print that takes its time holds up neither new connections nor requests.
    fs::remove(cmd_ + "/.started");
    vrtest::WriteFile(cmd_ + "/.hold", "");
    std::string slow = Submit("lp2", {"slow", "", ""});
    for (int i = 0; i < 400 && !fs::exists(cmd_ + "/.started"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(Raw(27, ""), 10);
    fs::remove(cmd_ + "/.hold");
    EXPECT_EQ(Printed(slow, cmd_ + "/" + slow + "-1"), "slow");
    // Refusals: each answered with its DPA error kind, and the server goes on.
    struct {
        std::string got, want;
    } refused[] = {
        {Submit("lp9", {"x", "", ""}), "!4"},                        // no such printer: selection
        {Submit("lp1", {"x", "", "../escape"}), "!2"},               // document name: attribute
        {Submit("lp1", {"", dir_.Path() + "/refs/none", ""}), "!3"}, // unreadable reference
        {Submit("lp1", {"", dir_.Path() + "/registry.reg", ""}), "!3"}, // outside the roots
        {Submit("lp1", {"x", "", ""}, "../1"), "!4"},                   // job identifier: selection
        {Close("77"), "!4"},
        {Cancel("1"), "!1"},                               // printed already: update
        {std::to_string(Raw(0, "\x30\x80garbage")), "10"}, // undecodable: service
        {std::to_string(Raw(27, "")), "10"},
    };
    for (auto &r : refused) EXPECT_EQ(r.got, r.want);
    // A client whose connection ends before the announced size fails its job.
    std::string cut = Submit("lp1", {"", ref, "", 1000});
    for (int i = 0; i < 200 && StateOf(cut) != kRetained; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(StateOf(cut), kRetained);
    EXPECT_TRUE(Hostile());
    EXPECT_FALSE(fs::exists(dir_.Path() + "/escape"));
    std::string error;
    List(90, &error);
    EXPECT_EQ(error, "!6"); // documents are not listed: access

    // A job built document by document, and one cancelled.
    std::string multi = Submit("lp1", {"one", "", ""}, nullptr, 0);
    EXPECT_EQ(StateOf(multi), kPreProcessing);
    EXPECT_EQ(Submit("lp1", {"two", "", "b"}, multi.c_str(), 0), multi);
    EXPECT_EQ(Close(multi.c_str()), multi);
    std::string second = Printed(multi, out_ + "/" + multi + "-2-b");
    EXPECT_EQ(ReadFile(out_ + "/" + multi + "-1") + second, "onetwo");
    std::string cancelled = Submit("lp1", {"never", "", ""}, nullptr, 0);
    EXPECT_EQ(Cancel(cancelled.c_str()), "ok");
    EXPECT_EQ(StateOf(cancelled), kCancelled);

    // A held job waits for its release; a disabled printer takes no jobs.
    std::string held = Submit("lp1", {"wait", "", ""}, nullptr, 0);
    EXPECT_EQ(Hold(held, true), "ok");
    EXPECT_EQ(Close(held.c_str()), held);
    std::vector<std::string> got;
    for (auto step : std::vector<std::function<std::string()>>{
             [&] { return Hold(held, true); },     // again: still held
             [&] { return Hold("1", true); },      // printed: access
             [&] { return Hold("1", false); },     // not held: access
             [&] { return Enable("lp1", false); }, //
             [&] {
                 return Submit("lp1", {"x", "", ""});
             },
             [&] { return Enable("lp9", false); }, // no such printer: selection
             [&] { return Enable("lp1", true); }})
        got.push_back(step());
    EXPECT_EQ(got, (std::vector<std::string>{"ok", "!6", "!6", "ok", "!6", "!4", "ok"}));
    EXPECT_EQ(StateOf(held), kHeld);
    EXPECT_EQ(Hold(held, false), "ok");
    EXPECT_EQ(Printed(held, out_ + "/" + held + "-1"), "wait");

    // A paused printer keeps its jobs, a promoted job prints first, a job's
    // attributes change by each operator; cleaning, a shutdown and setting
    // the printer disabled end its jobs or refuse new ones until enabled.
    EXPECT_EQ(Do(25, "lp1"), "ok");
    std::string first = Submit("lp1", {"1st", "", ""}), promoted = Submit("lp1", {"2nd", "", ""});
    std::string open1 = Submit("lp2", {"x", "", ""}, nullptr, 0);
    got.clear();
    for (auto step : std::vector<std::function<std::string()>>{
             [&] { return Do(16, promoted); }, [&] { return Modify(first, 0, {"a"}); }, // replaced
             [&] {
                 return Modify(first, 1, {"b", "c"});
             }, // added
             [&] {
                 return Modify(first, 2, {"a", "c"});
             },                                               // deleted
             [&] { return Modify(first, 3, {}); },            // back to none
             [&] { return Modify(first, 3, {}, kJobState); }, // the server's: attribute
             [&] { return Do(16, "1"); },                     // printed: access
             [&] { return std::to_string(StateOf(first)); }, [&] { return Do(26, "lp1"); },
             [&] { return Do(20, "lp2"); }, [&] { return std::to_string(StateOf(open1)); },
             [&] { return Do(22, "lp2"); },
             [&] {
                 return Submit("lp2", {"x", "", ""});
             },
             [&] { return Enable("lp2", true); }, [&] { return Do(21, "lp2"); },
             [&] {
                 return Submit("lp2", {"x", "", ""});
             },
             [&] { return Enable("lp2", true); },
             [&] { return Do(20, "lp9"); }, // no such printer: selection
             [&] { return Do(17, "1"); }})  // not built: service
        got.push_back(step());
    EXPECT_EQ(got,
              (std::vector<std::string>{"ok", "1", "3", "1", "0", "!2", "!6", "251", "ok", "ok",
                                        "258", "ok", "!6", "ok", "ok", "!6", "ok", "!4", "!7"}));
    EXPECT_EQ(Printed(first, out_ + "/" + first + "-1"), "1st");
    std::string log;
    for (auto &e : fs::directory_iterator(dir_.Path()))
        if (e.path().filename().string().rfind("server", 0) == 0) log += ReadFile(e.path());
    EXPECT_LT(log.find("job " + promoted + " printed"), log.find("job " + first + " printed"));

    // A listing in parts of 3 (and of 1, and abandoned) sees every job once,
    // in order; a context the server did not give out is refused.
    std::vector<std::string> all;
    for (auto &[name, state] : List(kJobClass)) all.push_back(name);
    ASSERT_GE(all.size(), 8u);
    EXPECT_EQ(Paged(3), all);
    EXPECT_EQ(Paged(1), all);
    EXPECT_EQ(Paged(3, true), std::vector<std::string>(all.begin(), all.begin() + 3));
    EXPECT_EQ(Paged(3, false, "87 x"), std::vector<std::string>{"!7"});
    // Filters: the cancelled jobs (in parts of 1 too), none lacking a state,
    // the printers by name, the jobs of more than one document, those of
    // printers "lp...2" (any case), the printer with a location.
    Status st;
    AS_SetHandle values = AS_nullSetHandle;
    AS_Create(st, &values, nullptr, 0);
    GEN_SimpleName lp2{};
    GENU_MakeEmbeddedSimpleName(st, &lp2, "lp2", nullptr);
    int32_t oid = 0, name = 0, count = 0;
    GENU_AttrIdToType(st, kJobState, &oid), GENU_AttrIdToType(st, 649, &name);
    GENU_AttrIdToType(st, 285, &count);
    uint32_t two = 2;
    AS_AddAttrValM(st, values, 285, uint32_t(count), &two, GENU_AVT2Descriptor(uint32_t(count)),
                   nullptr);
    GENU_ShortOID state = kCancelled;
    AS_AddAttrValM(st, values, kJobState, uint32_t(oid), &state, GENU_AVT2Descriptor(uint32_t(oid)),
                   nullptr);
    AS_AddAttrValM(st, values, 649, uint32_t(name), &lp2, GENU_AVT2Descriptor(uint32_t(name)),
                   nullptr);
    GEN_Filter is_cancelled{GEN_FILTER_ITEM, {}}, printer{GEN_FILTER_ITEM, {}}, stateless{};
    is_cancelled.u.item.choice = printer.u.item.choice = GEN_ITEM_EQUALITY;
    AS_FindAttr(st, values, kJobState, &is_cancelled.u.item.u.attribute);
    AS_FindAttr(st, values, 649, &printer.u.item.u.attribute);
    GEN_Filter present{GEN_FILTER_ITEM, {}};
    present.u.item.choice = GEN_ITEM_PRESENT, present.u.item.u.present = kJobState;
    stateless.choice = GEN_FILTER_NOT, stateless.u.not_filter = &present;
    std::vector<std::string> want;
    for (auto &[job, state] : List(kJobClass))
        if (state == kCancelled) want.push_back(job);
    ASSERT_GE(want.size(), 2u);
    EXPECT_EQ(Paged(100, false, nullptr, &is_cancelled), want);
    EXPECT_EQ(Paged(1, false, nullptr, &is_cancelled), want);
    EXPECT_TRUE(List(kJobClass, nullptr, &stateless).empty());
    EXPECT_EQ(List(kPrinterClass, nullptr, &printer).size(), 1u);
    GEN_Filter many{GEN_FILTER_ITEM, {}}, on_lp2{GEN_FILTER_ITEM, {}}, located{GEN_FILTER_ITEM, {}};
    many.u.item.choice = GEN_ITEM_GREATER_OR_EQUAL;
    AS_FindAttr(st, values, 285, &many.u.item.u.attribute);
    EXPECT_EQ(Jobs(&many), std::vector<std::string>{multi});
    GEN_SimpleName lp{}, digit{};
    GENU_MakeEmbeddedSimpleName(st, &lp, "LP", nullptr);
    GENU_MakeEmbeddedSimpleName(st, &digit, "2", nullptr);
    on_lp2.u.item.choice = located.u.item.choice = GEN_ITEM_SUBSTRINGS;
    on_lp2.u.item.u.substrings = {
        244, GEN_VT_SIMPLE_NAME, GEN_MATCH_CASE_INSENSITIVE, &lp, nullptr, &digit};
    EXPECT_EQ(Jobs(&on_lp2), (std::vector<std::string>{"3", slow, open1}));
    GEN_Text floor{};
    GENU_MakeEmbeddedText(st, &floor, "FLOOR", nullptr);
    GEN_SeqOfValues within{nullptr, &floor};
    located.u.item.u.substrings = {650,     GEN_VT_TEXT, GEN_MATCH_CASE_INSENSITIVE,
                                   nullptr, &within,     nullptr};
    // A printer's own texts are set (and kept over a restart, below), each
    // one line; the other attributes are the server's.
    EXPECT_EQ(SetText("lp1", 650, "2nd floor, east"), "ok");
    EXPECT_EQ(SetText("lp1", 116, "toner low"), "ok");
    EXPECT_EQ(SetText("lp1", 700, "10.0.0.9"), "!2"); // its address is the server's
    EXPECT_EQ(SetText("lp2", 116, "two\nlines"), "!2");
    EXPECT_EQ(List(kPrinterClass, nullptr, &located).size(), 1u);
    AS_FreeAttrHandle(st, &many.u.item.u.attribute);
    AS_FreeAttrHandle(st, &is_cancelled.u.item.u.attribute);
    AS_FreeAttrHandle(st, &printer.u.item.u.attribute);
    AS_Destroy(st, &values);

    // Acknowledged jobs survive SIGKILL; the next start prints the complete.
    // The binding to the killed server is made again by the next call.
    // Its document lives only in the change log, whose torn last record
    // (a power loss in the middle of a write) is left out.
    std::string open = Submit("lp1", {"open", "", ""}, nullptr, 0);
    Stop(SIGKILL);
    std::ofstream(root_ + "/jobs.log", std::ios::app) << std::string("\0\0\1\0torn", 8);
    Start({}, false);
    EXPECT_EQ(StateOf(open), kPreProcessing);
    EXPECT_EQ(StateOf(multi), kCompleted);
    EXPECT_EQ(Close(open.c_str()), open);
    EXPECT_EQ(Printed(open, out_ + "/" + open + "-1"), "open");

    // A transfer cut off by SIGKILL fails its job and leaves nothing of it.
    std::string big = dir_.Path() + "/refs/big";
    ASSERT_EQ(truncate((vrtest::WriteFile(big, ""), big).c_str(), 64 << 20), 0);
    std::thread submit([&] {
        Bind();
        Submit("lp1", {"", big, ""});
        ODP_Terminate(Status());
    });
    bool seen = false;
    for (int i = 0; i < 20000 && !seen; ++i) {
        for (auto &e : fs::directory_iterator(root_ + "/spool"))
            seen = seen || e.path().filename().string().rfind("ft_", 0) == 0;
        if (!seen) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_TRUE(seen);
    Stop(SIGKILL);
    submit.join();
    Start();
    auto jobs = List(kJobClass);
    ASSERT_FALSE(jobs.empty());
    EXPECT_EQ(jobs.back().second, kRetained) << jobs.back().first;
    for (auto &e : fs::directory_iterator(root_ + "/spool"))
        EXPECT_EQ(e.path().extension(), ".attrs") << e.path();
    EXPECT_FALSE(fs::exists(out_ + "/" + jobs.back().first + "-1"));
    auto printers = List(kPrinterClass);
    EXPECT_EQ(printers.size(), 2u);
    EXPECT_EQ(List(kPrinterClass, nullptr, &located).size(), 1u);
    GEN_DeepDeleteText(st, &floor, nullptr);
    // A second server on the same root refuses to start.
    std::string rival =
        std::string(VRDPAD_PROGRAM) + " --onc-program 536870999 --root " + root_ + " 2>/dev/null";
    EXPECT_EQ(WEXITSTATUS(system(rival.c_str())), 1);
    EXPECT_EQ(Stop(SIGTERM), 0);
}

// Eight client processes submit 100 jobs of 4 KiB each at once: every job
// is printed exactly once, whole, and each client's jobs in its order.
TEST_F(DpadInside, ManyClientsEachJobPrintedOnce) {
    constexpr int kClients = 8, kJobs = 100;
    std::vector<pid_t> children;
    for (int c = 0; c < kClients; ++c)
        if (pid_t pid = fork(); pid == 0) {
            ODP_Terminate(Status()); // the parent's connection is not the child's
            Bind();
            std::string ids;
            for (int n = 0; n < kJobs; ++n) {
                std::string name = "c" + std::to_string(c) + "-" + std::to_string(n);
                ids += Submit("lp1", {std::string(4096, char('a' + c)) + name, "", name}) + "\n";
            }
            vrtest::WriteFile(dir_.Path() + "/ids" + std::to_string(c), ids);
            _exit(0);
        } else {
            children.push_back(pid);
        }
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_EQ(status, 0);
    }
    for (int i = 0; i < 400; ++i) { // printing follows the replies
        auto jobs = List(kJobClass);
        if (std::all_of(jobs.begin(), jobs.end(), [](auto &j) { return j.second == kCompleted; }))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    for (int c = 0; c < kClients; ++c) {
        std::istringstream ids(ReadFile(dir_.Path() + "/ids" + std::to_string(c)));
        long last = 0, n = 0;
        for (std::string job; std::getline(ids, job); ++n) {
            std::string name = "c" + std::to_string(c) + "-" + std::to_string(n);
            EXPECT_GT(std::atol(job.c_str()), last) << name << " " << job;
            last = std::atol(job.c_str());
            EXPECT_TRUE(ReadFile(out_ + "/" + job + "-1-" + name) ==
                        std::string(4096, char('a' + c)) + name)
                << name;
        }
        EXPECT_EQ(n, kJobs);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(out_), {}), kClients * kJobs);
}

TEST_F(DpadInside, ByNameOverDceWithEventsLimitsAndAuthentication) {
    // A listener of events; the server is found by name through the name
    // service, and the endpoint mapper gives its port.
    ASSERT_EQ(EVT_Init(), 0);
    uint16_t port = 0;
    uint32_t queue = 0;
    ASSERT_EQ(EVT_Open(nullptr, &port, &queue), 0);
    Stop(SIGTERM);
    Start({"--notify", "127.0.0.1:" + std::to_string(port), "--onc-dynamic"}); // (no vrptsd here)
    ASSERT_EQ(BindByName(), 0u);
    std::string job = Submit("lp1", {"over DCE/RPC", "", ""});
    EXPECT_EQ(Printed(job, out_ + "/" + job + "-1"), "over DCE/RPC");
    EXPECT_EQ(List(kPrinterClass).size(), 2u);
    std::vector<int32_t> states; // of the job, as the events tell them
    for (uint32_t message = 0;
         states.size() < 2 && !EVT_MessageReceive(queue, 10, nullptr, &message);) {
        char kind[16] = {}, object[16] = {}, name[64] = {}, server[16] = {};
        int32_t state = 0;
        EXPECT_EQ(EVT_MessageArgGet(queue, message, sizeof kind, kind) +
                      EVT_MessageArgGet(queue, message, sizeof object, object) +
                      EVT_MessageIArgGet(queue, message, &state) +
                      EVT_MessageArgGet(queue, message, sizeof name, name) +
                      EVT_MessageArgGet(queue, message, sizeof server, server),
                  0);
        if (kind == std::string("job") && object == job) states.push_back(state);
        EVT_MessageFree(queue, message);
    }
    // A small document comes with its job in one change: no state before pending.
    EXPECT_EQ(states, (std::vector<int32_t>{251, kCompleted}));
    EVT_Close(queue);
    EVT_Term();
    Stop(SIGTERM);
    // A document limit, and callers that must log on.
    Start({"--max-document", "4", "--require-auth"});
    struct {
        bool logged_on;
        Doc doc;
        std::string want;
    } cases[] = {
        {false, {"tiny", "", ""}, "rc " + std::to_string(0xC0090086u)}, // anonymous: refused
        {true, {"tiny", "", ""}, "2"},
        {true, {"too large", "", ""}, "!7"},    // service error: resource limit
        {true, {"", "/dev/null", "", 5}, "!7"}, // announced over its own connection
    };
    vrtest::WriteFile(dir_.Path() + "/auth", "username=alice\npassword=password\n");
    chmod((dir_.Path() + "/auth").c_str(), 0600);
    for (auto &c : cases) {
        if (c.logged_on) setenv("VRCORE_CREDENTIALS", (dir_.Path() + "/auth").c_str(), 1);
        uint32_t bound = BindByName();
        std::string got = bound ? "rc " + std::to_string(bound) : Submit("lp1", c.doc);
        EXPECT_EQ(got.substr(0, c.want.size()), c.want) << c.logged_on;
    }
    unsetenv("VRCORE_CREDENTIALS");
    // The jobs a logged-on caller submitted (refused ones too) are its own.
    Status st;
    GEN_DistNameString ali{};
    GENU_MakeEmbeddedDistNameString2(st, &ali, "ALI", 0, nullptr);
    GEN_Filter owned{GEN_FILTER_ITEM, {}};
    owned.u.item.choice = GEN_ITEM_SUBSTRINGS;
    owned.u.item.u.substrings = {
        134, GEN_VT_DIST_NAME_STRING, GEN_MATCH_CASE_INSENSITIVE, &ali, nullptr, nullptr};
    EXPECT_EQ(Jobs(&owned), (std::vector<std::string>{"2", "3", "4"}));
    GEN_DeepDeleteDistNameString(st, &ali, nullptr);
    EXPECT_EQ(Raw(1, ""), -1); // ONC RPC without credentials
}

// Registered by name through this host's PTS service, the server is found in
// the ONC environment at its real program and served; once stopped, neither
// its record nor its PTS entry is left.
TEST_F(DpadInside, FoundThroughThePtsServiceUntilItStops) {
    Stop(SIGTERM);
    ODP_Terminate(Status());
    // A host name every resolver knows, and a NIS domain for the environment.
    ASSERT_EQ(sethostname("localhost", 9) + setdomainname("vrtest.invalid", 14), 0);
    pid_t ptsd = fork();
    if (ptsd == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execl(VRPTSD_PROGRAM, "vrptsd", "--state-dir", dir_.Path().c_str(), nullptr);
        _exit(127);
    }
    for (int i = 0; i < 50 && system("rpcinfo -u 127.0.0.1 105004 1 >/dev/null 2>&1"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Start({"--onc-dynamic"}, false);
    NS_Term();
    NS_DomainHandle dom = nullptr;
    ASSERT_EQ(NS_Init(nullptr, NS_CLASS_NONE) + NS_CreateDomainHandle(&dom) +
                  NS_SetDomain(NS_ENV_ONC, nullptr, dom),
              NS_OK);
    NS_Object *o = nullptr; // registered once the server is up
    for (int i = 0; i < 100 && NS_GetObject(NS_CLASS_SPOOLER, "vrdpad", dom, &o); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(o, nullptr);
    Status st;
    EXPECT_EQ(std::make_tuple(std::string(o->onc.host), o->onc.program, ODP_Initialize2(st, o)),
              std::make_tuple(std::string("localhost"), int32_t(kProgram), 0));
    NS_FreeObject(o);
    std::string job = Submit("lp1", {"found by name", "", ""});
    EXPECT_EQ(Printed(job, out_ + "/" + job + "-1"), "found by name");
    EXPECT_EQ(Stop(SIGTERM), 0);
    EXPECT_EQ(NS_GetObject(NS_CLASS_SPOOLER, "vrdpad", dom, &(o = nullptr)), NS_E_NOTFOUND);
    NS_FreeDomainHandle(dom);
    NS_Term(); // (forgets the answers it kept)
    vrcore::nameservice::pts::Binding b;
    EXPECT_FALSE(vrcore::nameservice::pts::Lookup("localhost", "vrdpad", b));
    kill(ptsd, SIGTERM), waitpid(ptsd, nullptr, 0);
}

} // namespace
