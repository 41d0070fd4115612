// The DPA operations and the binding: every operation from one table, in
// local-only mode and against the test server over ONC RPC and DCE/RPC
// (arguments as they arrive, results, DPA errors, failures), many threads
// on their handles, bind/terminate cycles without leaks; DCE/RPC binding.
#include <arpa/inet.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <rpc/rpc.h>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../operations/ops_test_util.h"
#include "client/binding.h"
#include "client/ping_cache.h"
#include "client/transport.h"
#include "log_file.h"
#include "onc_live.h"
#include "scratch.h"
#include "system/seam.h"
#include "vrcore/genu.h"
#include "vrcore/odpcli.h"
#include "vrcore/rpcs.h"
#include "vrcore/sec.h"

namespace {

namespace client = vrcore::client;
using vrtest::Hex;
using vrtest::Proc;
using vrtest_ops::Bytes;
using Status = vrtest::StatusList;

constexpr uint32_t kProgram = 0x20271028;
constexpr uint32_t kVersion = 1;
// The test server's DCE/RPC port and object.
constexpr int kDcePort = 4100;
constexpr const char *kObject = "5d7c0a3e-7f41-4c2b-9e6a-0b8d1c2e3f40";

// The values every operation of the table is called with.
struct Values : vrtest_ops::Parts {
    GEN_SimpleName printer{};
    GEN_Message message{};
    GEN_OctetString context{3, reinterpret_cast<unsigned char *>(const_cast<char *>("ctx"))};
    GEN_NameOrOID event{};
    GEN_DistNameString dn{};
    ODP_JobOrPrinter job{};
    ODP_DocDescription doc{};
    AS_IdentifierList ids{1, &id};
    uint32_t count = 4;
    GEN_Selector selector{nullptr, nullptr, nullptr, &count};
    int32_t zero = 0, number = 3;
    uint8_t force = 1;
    Values() : Parts("job-1") {
        Status st;
        EXPECT_EQ(GENU_MakeEmbeddedSimpleName(st, &printer, "prn-1", nullptr), 0);
        EXPECT_EQ(GENU_MakeEmbeddedText(st, &message, "hello", nullptr), 0);
        EXPECT_EQ(GENU_MakeEmbeddedText(st, &dn.name, "cn=prn-1", nullptr), 0);
        event.choice = GEN_NOID_NAME;
        event.u.name = printer;
        job.kind = ODP_JOB_OR_PRINTER_JOB;
        strcpy(job.u.job.value, "job-2");
        doc.attributes = &set;
    }
    ~Values() {
        GEN_DeepDeleteText(Status(), &message, nullptr),
            GEN_DeepDeleteText(Status(), &dn.name, nullptr);
    }
};

// A result handed back: noted, then released.
bool Take(ODP_PrintResult *r) { return r && !FreeGEN_printResult(Status(), r, nullptr); }
bool Take(ODP_ListResult *r) { return r && !FreeGEN_listResult(Status(), r, nullptr); }
bool Take(ODP_PauseJobResult *r) { return r && !FreeGEN_pauseJobResult(Status(), r, nullptr); }
bool Take(ODP_ObjectStatusList *r) { return r && !FreeGEN_ResubmitJobResult(Status(), r, nullptr); }
bool Take(ODP_InterruptJobResult *r) { return r != nullptr; }
bool Take(AS_SetHandle *r) { return r && (AS_Destroy(Status(), r), GENU__CoveredFree(r), true); }
bool Take(ODP_PauseResult *r) {
    if (r && (r->bit_mask & ODP_PAUSE_RESULT_STATUS)) AS_Destroy(Status(), &r->pause_status);
    return r && (free(r), true);
}

// One operation: its number, the presence bits its argument carries when
// every optional argument is given, and the job its argument names.
struct Op {
    const char *name;
    int32_t number;
    uint8_t mask;
    const char *job;
    // Calls it; *result: whether a result came back.
    std::function<int(const Values &, STF_List *, bool *, ERDPA_ErrorResult **)> call;
};

#define OP(name, number, mask, job, R, ...)                                                        \
    Op {                                                                                           \
#name, number, mask, job,                                                                   \
       [](const Values &v, STF_List *st, bool *got, ERDPA_ErrorResult **e) {                      \
           (void)v;                                                                                \
           R *r = nullptr;                                                                         \
           int rc = ODP_##name##_C(st, __VA_ARGS__, nullptr, &r, e);                               \
           *got = Take(r);                                                                         \
           return rc;                                                                              \
       }      \
    }
#define OBJ(name, number) OP(name, number, 0xC0, nullptr, AS_SetHandle, v.id, v.object, &v.message)

const std::vector<Op> &Operations() {
    static const std::vector<Op> ops = {
        OP(CreateJob, 0, 0xF0, nullptr, ODP_PrintResult, &v.printer, &v.zero, &v.set, &v.doc),
        OP(AddDocument, 5, 0xC0, "job-1", ODP_PrintResult, "job-1", &v.zero, &v.doc),
        OP(CloseJob, 6, 0x80, "job-1", ODP_PrintResult, "job-1"),
        OP(ListObjectAttributes, 1, 0xE8, nullptr, ODP_ListResult, v.id, &v.number, &v.selector,
           &v.ids),
        OP(ListObjectAttributeContinuation, 7, 0x40, nullptr, ODP_ListResult, &v.context),
        OP(ListObjectAttributeAbort, 12, 0xC0, nullptr, ODP_ListResult, &v.context),
        OP(GetOrderedJobs, 10, 0xE8, nullptr, ODP_ListResult, v.id, &v.number, &v.selector, &v.ids),
        OP(GetOrderedJobsContinuation, 11, 0x40, nullptr, ODP_ListResult, &v.context),
        OP(Create, 2, 0xF8, nullptr, AS_SetHandle, v.id, v.object, v.object, &v.force, &v.set,
           &v.message),
        OBJ(Delete, 24),
        OBJ(Clean, 20),
        OBJ(Enable, 3),
        OBJ(Disable, 13),
        OP(Pause, 25, 0xC0, nullptr, ODP_PauseResult, v.id, v.object, &v.message),
        OBJ(Resume, 26),
        OP(Set, 21, 0xE0, nullptr, AS_SetHandle, v.id, v.object, &v.set, &v.message),
        OP(Shutdown, 22, 0xC0, nullptr, AS_SetHandle, v.id, v.object, &v.message, v.id),
        OP(Control, 28, 0x40, nullptr, AS_SetHandle, v.id, v.object, 9, v.set),
        OP(CancelJob, 15, 0xF0, "job-1", AS_SetHandle, "job-1", &v.number, &v.message, &v.number),
        OP(PromoteJob, 16, 0xC0, "job-1", AS_SetHandle, "job-1", &v.message),
        OP(PauseJob, 18, 0xC0, "job-2", ODP_PauseJobResult, &v.job, &v.message),
        OP(ResumeJob, 19, 0xA0, "job-1", AS_SetHandle, "job-1", &v.message, &v.number),
        OP(InterruptJob, 17, 0xC0, "job-2", ODP_InterruptJobResult, &v.job, &v.message, "job-3"),
        OP(ResubmitJob, 23, 0xC0, nullptr, ODP_ObjectStatusList, v.id, v.object, &v.dn, &v.message),
        OP(ModifyJob, 14, 0xE0, "job-1", AS_SetHandle, "job-1", &v.number, v.set, &v.message),
        OP(SendEvent, 4, 0xE0, nullptr, AS_SetHandle, &v.event, v.set, &v.message),
    };
    return ops;
}

// The presence bits and the job of an argument as the server decoded it
// (every other argument begins with its presence bits).
std::pair<uint8_t, std::string> Arrived(int32_t op, const void *a) {
    auto *print = static_cast<const ODP_BerPrintArg *>(a);
    auto *list = static_cast<const ODP_BerListArg *>(a);
    auto *paused = static_cast<const ODP_BerPauseJobArg *>(a);
    uint8_t bits = *static_cast<const uint8_t *>(a);
    switch (ODP_ArgumentPDU(op)) {
    case ODP_PDU_PRINT_ARG:
        if (print->choice == 1) return {print->u.create_job.bit_mask, ""};
        if (print->choice == 2)
            return {print->u.add_document.bit_mask, print->u.add_document.existing_job};
        return {print->u.close_job.bit_mask, print->u.close_job.existing_job};
    case ODP_PDU_LIST_ARG:
        return {list->choice == 2 ? list->u.new_list.bit_mask : list->u.continuation.bit_mask, ""};
    case ODP_PDU_CANCEL_JOB_ARG:
        return {bits, static_cast<const ODP_BerCancelJobArg *>(a)->existing_job};
    case ODP_PDU_PROMOTE_JOB_ARG:
        return {bits, static_cast<const ODP_BerPromoteJobArg *>(a)->job_identification};
    case ODP_PDU_PAUSE_JOB_ARG:
    case ODP_PDU_INTERRUPT_JOB_ARG:
        return {bits, paused->job.choice == 1 ? paused->job.u.job : "?"};
    case ODP_PDU_RESUME_JOB_ARG:
        return {bits, static_cast<const ODP_BerResumeJobArg *>(a)->resumed_job};
    case ODP_PDU_MODIFY_JOB_ARG:
        return {bits, static_cast<const ODP_BerModifyJobArg *>(a)->job_identification};
    default: return {bits, ""};
    }
}

// Descriptors the process has open.
auto Open() { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); }

TEST(OdpBinding, SettingsControlAndLocalOnlyHandles) {
    Status st;
    EXPECT_EQ(ODP_ServerInit(891, nullptr), client::ODP_S_BADARG);
    EXPECT_EQ(ODP__serverType, 0);
    EXPECT_EQ(client::CancelTimeoutFrom("5", nullptr), 120u);
    EXPECT_EQ(client::CancelTimeoutFrom("6", "1"), 6u);
    EXPECT_EQ(client::CancelTimeoutFrom(nullptr, "1"), 3600u);

    int32_t ten = 10, none = 0;
    EXPECT_EQ(st.Failed(ODP_ClientControl(st, 1, &ten)), client::ODP_S_BADARG);
    GEN_ObjectIdent name{};
    name.choice = GEN_OBJID_JOB_ID;
    EXPECT_EQ(st.Failed(ODP_Initialize(st, 5, name)), client::ODP_S_BADNAME);
    name.choice = GEN_OBJID_SIMPLE_NAME;
    ASSERT_EQ(GENU_MakeEmbeddedSimpleName(st, &name.u.simple_name, "svr-9", nullptr), 0);
    EXPECT_EQ(st.Failed(ODP_Initialize(st, 5, name)), client::ODP_S_NSINIT);
    ASSERT_EQ(GENU_MakeEmbeddedSimpleName(st, &name.u.simple_name, "", nullptr), 0);
    ASSERT_EQ(ODP_Initialize(st, 5, name), 0);
    struct {
        int32_t request;
        const int32_t *value;
        uint32_t code;
    } controls[] = {{1, &ten, 0},
                    {0, &ten, client::ODP_S_TIMEOUTREAD},
                    {2, &ten, client::ODP_S_BADARG},
                    {1, &none, client::ODP_S_BADARG},
                    {1, nullptr, client::ODP_S_BADARG}};
    for (const auto &c : controls)
        EXPECT_EQ(st.Failed(ODP_ClientControl(st, c.request, c.value)), c.code ? c.code : ~0u);
    EXPECT_TRUE(ODP_Terminate(st) == 0 && ODP_Terminate(st) == 0);
}

TEST(OdpLocal, EveryOperationEncodesDecodesAndSendsNothing) {
    Status st;
    NS_Object local{};
    ASSERT_EQ(ODP_Initialize2(st, &local), 0);
    Values v;
    for (const Op &op : Operations()) {
        ERDPA_ErrorResult *e = nullptr;
        bool got = true;
        EXPECT_EQ(op.call(v, st, &got, &e), 0) << op.name << std::hex << " " << st.Code();
        EXPECT_FALSE(got || e) << op.name;
    }
    // A job identifier that does not fit its field, a missing interrupting
    // job: refused before encoding.
    std::string long_job(256, 'j');
    ODP_PrintResult *r = nullptr;
    ODP_InterruptJobResult *ir = nullptr;
    ERDPA_ErrorResult *e = nullptr;
    EXPECT_EQ(st.Failed(ODP_CloseJob_C(st, long_job.c_str(), nullptr, &r, &e)), ODP_S_JOBID_LONG);
    EXPECT_EQ(
        st.Failed(ODP_InterruptJob_C(st, &v.job, nullptr, long_job.c_str(), nullptr, &ir, &e)),
        ODP_S_JOBID_LONG);
    EXPECT_EQ(st.Failed(ODP_InterruptJob_C(st, &v.job, nullptr, nullptr, nullptr, &ir, &e)),
              client::ODP_S_BADARG);
    ODP_Terminate(st);
    EXPECT_EQ(st.Failed(ODP_CloseJob_C(st, "job-1", nullptr, &r, &e)), client::ODP_S_BADARG);
}

TEST(OdpLive, OperationsAgainstARealServer) {
    vrtest::RunInsideOncEnv(kProgram, kVersion, "*Odp*Inside.*", 18,
                            std::to_string(kDcePort) + " " + kObject, ODP_TEST_MAPPER);
}

enum class Via { kOnc, kDce, kDceByName };

// A simple name as the binding takes it.
GEN_ObjectIdent Named(const char *text) {
    GEN_ObjectIdent name{};
    name.choice = GEN_OBJID_SIMPLE_NAME;
    EXPECT_EQ(GENU_MakeEmbeddedSimpleName(Status(), &name.u.simple_name, text, nullptr), 0);
    return name;
}

// Binds the thread to the test server: 0 or the code. A bad binding names
// a program the server does not have (ONC RPC) or has no TCP string binding.
int Bind(Via via, bool bad = false, const char *address = "127.0.0.1", std::string text = "") {
    Status st;
    if (via == Via::kDceByName)
        return ODP_Initialize(st, NS_CLASS_SPOOLER, Named("spool-1")) ? int(st.Code()) : 0;
    char name[] = "spool-1", host[] = "127.0.0.1", domain[] = "ELSEWHERE";
    if (text.empty())
        text = std::string(kObject) + "@ncacn_" + (bad ? "np:" : "ip_tcp:") + address + "[" +
               std::to_string(kDcePort) + "]";
    char *binding = text.data();
    NS_Object o{};
    o.serverClass = NS_CLASS_SPOOLER, o.name = o.serverName = name;
    o.env = via == Via::kOnc ? NS_ENV_ONC : NS_ENV_MSRPC;
    o.onc.host = host, o.onc.version = kVersion, o.onc.program = int32_t(kProgram + bad);
    o.msrpc.nBindings = 1, o.msrpc.bindings = &binding;
    o.msrpc.domain = domain, o.msrpc.info = SEC_LEVEL_CONNECT; // NTLM for foreign callers
    return ODP_Initialize2(st, &o) ? int(st.Code()) : 0;
}

// Inside the test environment: the name service in local-file mode holds
// the test server as "spool-1" with a printer "prn-2" and a queue "q-2";
// DCE/RPC calls time out after 6 s.
void SetUpInside() {
    static vrtest::ScratchDir dir("vrns");
    vrtest::WriteFile(dir.Path() + "/registry.reg",
                      "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril]\n\"LanGroup\"=\"TG\"\n");
    for (auto [k, v] : {std::pair{"windir", dir.Path()},
                        {"NS_MS_LF", std::string()},
                        {"VRCORE_REGISTRY", dir.Path() + "/registry.reg"},
                        {"ENV_ODP_RPC_TIMEOUT", std::string("6")},
                        {"MSRPC_EPUUID", kObject}})
        setenv(k, v.c_str(), 1);
    static char tcp[] = "ncacn_ip_tcp:127.0.0.1[4100]", *list[] = {tcp};
    static NS_BindingVector vector{1, list};
    NS_msrpc_binding_vector = &vector;
    ASSERT_EQ(NS_Init("spool-1", NS_CLASS_SPOOLER), NS_OK);
    for (auto [cls, name] : {std::pair{NS_CLASS_SPOOLER, "spool-1"},
                             {NS_CLASS_LP, "prn-2"},
                             {NS_CLASS_QUEUE, "q-2"}}) {
        NS_Object o{};
        o.env = NS_ENV_MSRPC, o.objClass = cls, o.name = const_cast<char *>(name);
        if (cls != NS_CLASS_SPOOLER)
            o.serverClass = NS_CLASS_SPOOLER, o.serverName = const_cast<char *>("spool-1");
        ASSERT_EQ(NS_CreateObject(&o, 1, nullptr), NS_OK) << name;
    }
}

class OdpInside : public ::testing::TestWithParam<Via> {
  protected:
    static void SetUpTestSuite() {
        static bool once = (SetUpInside(), true);
        (void)once;
    }
    void SetUp() override {
        ASSERT_NE(getenv("ODP_TEST_PROGRAM"), nullptr) << "runs only inside onc_env.sh";
        control_ = clnt_create("127.0.0.1", kProgram, kVersion, "tcp");
        ASSERT_NE(control_, nullptr);
        ASSERT_EQ(Bind(GetParam()), 0);
    }
    void TearDown() override {
        ODP_Terminate(Status());
        if (control_) clnt_destroy(control_);
    }
    // What a refused program or version (ONC RPC) or interface (DCE/RPC) gives.
    uint32_t Refused() const {
        return GetParam() == Via::kOnc ? client::ODP_S_PROGRAM : client::ODP_S_COMM;
    }
    // Appends lines to the server's script; the last request: operation,
    // bytes, {sign-extended, decoded}.
    void Control(const std::string &script, Bytes last[3] = nullptr) {
        ODP_result_t r{};
        if (!vrtest::ControlServer(control_, script, &r)) return;
        auto bytes = [](const encodePacket &p) {
            return Bytes(p.encodePacket_val, p.encodePacket_val + p.encodePacket_len);
        };
        if (last)
            last[0] = {uint8_t(r.error_kind)}, last[1] = bytes(r.result), last[2] = bytes(r.error);
        xdr_free(Proc(xdr_ODP_result_t), reinterpret_cast<char *>(&r));
    }
    CLIENT *control_ = nullptr;
};

TEST_P(OdpInside, EveryOperationArrivesIntactAndAnswers) {
    Values v;
    Status st;
    for (const Op &op : Operations()) {
        SCOPED_TRACE(op.name);
        ERDPA_ErrorResult *e = nullptr;
        bool got = true;
        Control("reply 0 - -");
        ASSERT_EQ(op.call(v, st, &got, &e), 0) << std::hex << st.Code();
        EXPECT_FALSE(got || e);
        Bytes last[3];
        Control("", last);
        EXPECT_EQ(last[0], Bytes{uint8_t(op.number)});
        EXPECT_EQ(last[2], (Bytes{1, 1})); // every byte sign-extended; decoded
        void *arg = vrtest_ops::Decode(ODP_ArgumentPDU(op.number), last[1]);
        ASSERT_NE(arg, nullptr);
        auto [mask, job] = Arrived(op.number, arg);
        EXPECT_EQ(mask, op.mask);
        EXPECT_EQ(job, op.job ? op.job : "");
        GENU_OssFreePDU(nullptr, ODP_ArgumentPDU(op.number), arg);
        // A server that refuses the program fails every operation alike.
        Control("noprog");
        EXPECT_EQ(st.Failed(op.call(v, st, &got, &e)), Refused());
    }
    // Job-submission-complete 1 is not sent; the common arguments carry the
    // privilege record although none were given.
    int32_t one = 1;
    ODP_PrintResult *r = nullptr;
    ERDPA_ErrorResult *e = nullptr;
    Control("reply 0 - -");
    ASSERT_EQ(ODP_CreateJob_C(st, &v.printer, &one, nullptr, nullptr, nullptr, &r, &e), 0);
    Bytes last[3];
    Control("", last);
    auto *a = static_cast<ODP_BerPrintArg *>(vrtest_ops::Decode(ODP_PDU_PRINT_ARG, last[1]));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->u.create_job.bit_mask, 0x10);
    GENU_BerOID privileges{};
    ASSERT_EQ(GENU_ShortToBerOID(st, SEC_PRIVILEGES_ATTR, &privileges), 0);
    const ODP_BerAttrSet *common = a->u.create_job.common_arguments;
    EXPECT_TRUE(common &&
                !memcmp(common->attribute.type.value, privileges.value, privileges.length));
    GENU_OssFreePDU(nullptr, ODP_PDU_PRINT_ARG, a);
}

TEST_P(OdpInside, ResultsErrorKindsAndFailures) {
    Values v;
    Status st;
    // Results: a print result's job, an object result's set, the first of
    // the paused jobs; an interrupt result is never handed back.
    ODP_BerPrintRes print{};
    strcpy(print.job_identification, "job-77");
    ODP_BerObjectOpRes object{0x80, nullptr};
    ASSERT_EQ(ToBER_AS(st, &object.attribute_set, &v.set, ODP_AS_MODE_EXTENDED_ACL), 0);
    ODP_BerPausedJob second{nullptr, 0, "job-9", nullptr},
        first{&second, 0x80, "job-8", object.attribute_set};
    ODP_BerPausedJob *paused = &first; // the result holds the head of its list
    ODP_BerInterruptJobRes interrupted{"job-5", nullptr};
    Control("reply 0 " + Hex(vrtest_ops::Encode(ODP_PDU_PRINT_RES, &print)) + " -\nreply 0 " +
            Hex(vrtest_ops::Encode(ODP_PDU_ENABLE_RES, &object)) + " -\nreply 0 " +
            Hex(vrtest_ops::Encode(ODP_PDU_PAUSE_RES, &paused)) + " -\nreply 0 " +
            Hex(vrtest_ops::Encode(ODP_PDU_INTERRUPT_JOB_RES, &interrupted)) + " -");
    FreeBER_AS(st, object.attribute_set);
    ODP_PrintResult *pr = nullptr;
    AS_SetHandle *set = nullptr;
    ODP_PauseResult *pause = nullptr;
    ODP_InterruptJobResult *ir = nullptr;
    ERDPA_ErrorResult *e = nullptr;
    {
        vrtest::LogFile log("IM"); // with printing on, both PDUs are dumped (M)
        ODP__printPDU = 1;
        ASSERT_EQ(ODP_CloseJob_C(st, "job-77", nullptr, &pr, &e), 0);
        ODP__printPDU = 0;
        std::string text = log.Text();
        for (const char *dump : {"printing PDU...\nPrintArgument close-job",
                                 "printing result PDU...\nPrintResult {\n  job-identification"})
            EXPECT_NE(text.find(std::string("BerEncodeAndSend: ") + dump), std::string::npos)
                << text;
    }
    EXPECT_TRUE(pr && !strcmp(pr->job_identification.value, "job-77"));
    Take(pr);
    ASSERT_EQ(ODP_Enable_C(st, v.id, v.object, nullptr, nullptr, &set, &e), 0);
    uint32_t count = 0;
    EXPECT_TRUE(set && !AS_GetCount(st, *set, &count) && count == 1);
    Take(set);
    ASSERT_EQ(ODP_Pause_C(st, v.id, v.object, nullptr, nullptr, &pause, &e), 0);
    ASSERT_NE(pause, nullptr);
    EXPECT_STREQ(pause->affected_job.value, "job-8"); // the first of two
    EXPECT_EQ(pause->bit_mask, ODP_PAUSE_RESULT_JOB | ODP_PAUSE_RESULT_STATUS);
    Take(pause);
    ASSERT_EQ(ODP_InterruptJob_C(st, &v.job, nullptr, "job-3", nullptr, &ir, &e), 0);
    EXPECT_EQ(ir, nullptr);

    // Each DPA error kind comes back with no result and success; the
    // undefined kinds and undecodable bytes fail.
    std::string first_kind;
    for (uint32_t kind = 1; kind <= 8; ++kind) {
        ERDPA_ErrorResult *sent = nullptr;
        ASSERT_EQ(v.Report(st, &sent, kind, 2), 0) << kind;
        int32_t wire = 0;
        GENU_Buffer b{};
        ASSERT_EQ(ERDPA_EncodeError(st, sent, &wire, &b), 0);
        std::string bytes = Hex(Bytes(b.value, b.value + b.length));
        _GENU__MyFree(b.value);
        ERDPA_FreeError(st, sent);
        Control("reply " + std::to_string(wire) + " - " + bytes);
        ASSERT_EQ(ODP_CloseJob_C(st, "job-1", nullptr, &pr, &e), 0) << kind;
        EXPECT_TRUE(!pr && e && e->kind == kind) << kind;
        ERDPA_FreeError(st, e);
        if (kind == 1) first_kind = bytes;
    }
    Control("reply 2 - " + first_kind + "\nreply 14 - " + first_kind +
            "\nreply 0 0102 -\nrefuse-auth-sys\ndelay 2500");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(st.Failed(ODP_CloseJob_C(st, "job-1", nullptr, &pr, &e)), client::ODP_S_DECODE);
    EXPECT_EQ(st.Failed(ODP_CloseJob_C(st, "job-1", nullptr, &pr, &e)), client::ODP_S_ACCESS);
    // The call's time-out from the common arguments: below 1 s refused as
    // the control call refuses it, nothing sent; 1 s times the delay out.
    Status ns;
    AS_SetHandle common = AS_nullSetHandle;
    ASSERT_EQ(AS_Create(ns, &common, nullptr, 0), 0);
    for (int32_t seconds : {0, 1}) {
        vrtest::LogFile log;
        const GENU_ValueDescriptor *delta = GENU_AVT2Descriptor(4);
        ASSERT_EQ(AS_ReplaceAllAttrValsM(ns, common, 103, 4, &seconds, delta, nullptr), 0);
        EXPECT_EQ(st.Failed(ODP_CloseJob_C(st, "job-1", &common, &pr, &e)),
                  seconds ? client::ODP_S_TIMEOUT : client::ODP_S_BADARG);
        EXPECT_EQ(log.Text().find("ODP_C: Timeout set to 1\n") != std::string::npos, seconds == 1);
    }
    sleep(2); // the late reply is passed over
    AS_Destroy(ns, &common);
    // A program rpcbind does not know fails at the bind.
    EXPECT_EQ(Bind(GetParam() == Via::kOnc ? Via::kOnc : Via::kDce, true),
              static_cast<int>(client::ODP_S_NOBINDING));
}

TEST_P(OdpInside, EightThreadsEachOnItsOwnHandle) {
    Control("mirror");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t, &wrong, via = GetParam()] {
            if (Bind(via)) return void(wrong += 500);
            Status st;
            for (int i = 0; i < 500; ++i) {
                std::string job = "job-" + std::to_string(t) + "-" + std::to_string(i);
                ODP_PrintResult *r = nullptr;
                ERDPA_ErrorResult *e = nullptr;
                if (ODP_CloseJob_C(st, job.c_str(), nullptr, &r, &e) || !r ||
                    job != r->job_identification.value)
                    ++wrong;
                Take(r);
            }
            ODP_Terminate(st);
        });
    for (auto &th : threads) th.join();
    EXPECT_EQ(wrong, 0);
}

TEST_P(OdpInside, BindTerminateCyclesAndThreadExitsLeaveNothingOpen) {
    Status st;
    ODP_Terminate(st);
    int before = Open();
    Via via = GetParam(); // by name: each bind asks the name service and the endpoint mapper
    for (int i = 0; i < (via == Via::kDceByName ? 1000 : 10000); ++i) {
        if (i % 10 == 0) { // a thread that ends bound releases its handle
            std::thread([via] { Bind(via); }).join();
        } else {
            ASSERT_EQ(Bind(via), 0) << i;
            ASSERT_EQ(ODP_Terminate(st), 0);
        }
    }
    EXPECT_EQ(Open(), before);
}

// A server program's security table: notes each call of a slot the library
// uses as "<slot> <arguments>" and answers from g_answers.
std::vector<std::string> g_calls;
uint32_t g_answers[13];
int32_t g_handshake;
std::string Name(const GEN_SimpleName *n) { // as the library makes them: counted
    return {n->u.counted.value, n->u.counted.value + n->u.counted.length};
}
uint32_t Note(int slot, const std::string &what) {
    return g_calls.push_back(std::to_string(slot) + " " + what), g_answers[slot];
}
ODP_SecurityTable Hooks() {
    ODP_SecurityTable t{}; // the library calls no other slot
    t.add_credential = [](int32_t type, int32_t level, void *c) {
        return Note(2, std::to_string(type) + " " + std::to_string(level) + (c ? " client" : ""));
    };
    t.check_common_arguments = [](const GEN_SimpleName *p, AS_SetHandle) {
        return Note(3, Name(p));
    };
    t.event_begin = [](void *c) { return Note(6, c == &g_calls ? "context" : "?"); };
    t.event_context = [](const GEN_SimpleName *server, int32_t zero, void **c, int32_t *h) {
        *c = &g_calls, *h = g_handshake;
        return Note(9, Name(server) + " " + std::to_string(zero));
    };
    t.event_abort = [](const GEN_SimpleName *server) { return Note(10, Name(server)); };
    t.event_handshake = [](const GEN_SimpleName *server, const ODP_SecurityToken *token) {
        return Note(11, Name(server) + " " + std::to_string(token->length) + " " + token->bytes);
    };
    return t;
}
const ODP_SecurityTable kHooks = Hooks();

// Acting as a server: the binding's credentials and an event's exchange go
// through the program's security table, whose answers map to codes.
TEST_P(OdpInside, ServerSecurityTableSlots) {
    using Calls = std::vector<std::string>;
    Status st;
    ODP_Terminate(st);
    ASSERT_EQ(ODP_ServerInit(ODP_SERVER_TYPE, &kHooks), 0u);
    for (uint32_t answer : {7u, ODP_S_NOTSUPPORTED, 0u}) {
        g_calls.clear(), g_answers[2] = answer;
        EXPECT_EQ(Bind(GetParam()),
                  static_cast<int>(answer == 7 ? client::ODP_S_CREDENTIALS : answer));
        EXPECT_EQ(g_calls, Calls{"2 3 1 client"});
    }
    // An event's result whose set holds the handshake token (3235) "tok".
    const std::string with_token = "reply 0 3017A0153013060A2A864888FF210103000330050403746F6B -";
    Values v;
    AS_SetHandle common = AS_nullSetHandle;
    ASSERT_EQ(AS_Create(st, &common, nullptr, 0), 0);
    ASSERT_EQ(AS_AddAttrValM(st, common, 871, 27, &v.printer, GENU_AVT2Descriptor(27), nullptr), 0);
    const std::string c9 = "9 spool-1 0", c6 = "6 context", c3 = "3 spool-1", c10 = "10 spool-1",
                      c11 = "11 spool-1 3 tok";
    const struct {
        int32_t type, handshake, slot;
        uint32_t answer;
        std::string script;
        uint32_t code;
        Calls calls;
        bool common = false;
    } rows[] = {
        {892, 1, 0, 0, with_token, 0, {c3}},
        {893, 1, 0, 0, with_token, 0, {c9, c6, c3, c11}},
        {893, 0, 0, 0, with_token, 0, {c9, c6, c3}},
        {893, 1, 0, 0, "reply 0 - -", client::ODP_S_CREDENTIALS, {c9, c6, c3, c10}},
        {893, 1, 11, 100, with_token, client::ODP_S_SLOT, {c9, c6, c3, c11, c10}},
        {893, 0, 0, 0, "noprog", Refused(), {c9, c6, c3, c10}},
        {893, 0, 3, 102, "", client::ODP_S_NOMEM, {c9, c6, c3, c10}},
        {893, 0, 9, 101, "", client::ODP_S_SECURITY, {c9}},
        {893, 0, 6, 109, "", client::ODP_S_BADARG, {c9, c6}},
        // The named server receives the event (the name service does not know it).
        {893, 0, 0, 0, "", client::ODP_S_NOTFOUND, {"9 prn-1 0", c6, "10 prn-1"}, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.script + " slot " + std::to_string(row.slot));
        ASSERT_EQ(ODP_ServerInit(row.type, &kHooks), 0u);
        std::fill(std::begin(g_answers), std::end(g_answers), 0), g_calls.clear();
        g_answers[row.slot] = row.answer, g_handshake = row.handshake;
        if (!row.script.empty()) Control(row.script);
        AS_SetHandle *r = nullptr;
        ERDPA_ErrorResult *e = nullptr;
        int rc =
            ODP_SendEvent_C(st, &v.event, v.set, nullptr, row.common ? &common : nullptr, &r, &e);
        EXPECT_EQ(row.code ? st.Failed(rc) : rc, row.code) << std::hex << st.Code();
        EXPECT_EQ(g_calls, row.calls);
        EXPECT_EQ(Take(r), row.type == 893 && !row.code); // a type-893 server's success
    }
    AS_Destroy(st, &common);
    ODP__serverType = 0;
}

std::string ViaName(const testing::TestParamInfo<Via> &info) {
    return info.param == Via::kOnc ? "Onc" : info.param == Via::kDce ? "Dce" : "DceByName";
}
INSTANTIATE_TEST_SUITE_P(Transports, OdpInside,
                         testing::Values(Via::kOnc, Via::kDce, Via::kDceByName), ViaName);

class OdpDceInside : public OdpInside {};
INSTANTIATE_TEST_SUITE_P(Transports, OdpDceInside, testing::Values(Via::kDce), ViaName);
class OdpOncInside : public OdpInside {};
INSTANTIATE_TEST_SUITE_P(Transports, OdpOncInside, testing::Values(Via::kOnc), ViaName);

// The largest single allocation of the library while it lives.
struct PeakAlloc {
    static inline std::atomic<size_t> peak{0};
    static void *Alloc(vrcore::system::seam::Module, size_t n) {
        return peak = std::max<size_t>(peak, n), malloc(n);
    }
    static void Release(vrcore::system::seam::Module, void *p) { free(p); }
    vrcore::system::seam::Allocator table{Alloc, Release};
    PeakAlloc() { peak = 0, vrcore::system::seam::SetAllocator(&table); }
    ~PeakAlloc() { vrcore::system::seam::SetAllocator(nullptr); }
};

// The ONC transport: refusals, time-outs and hostile replies map to their
// codes within bounded memory, and the binding then carries a large request
// both ways, every byte sign-extended.
TEST_P(OdpOncInside, TransportFailuresMapToTheirCodesAndTheBindingStays) {
    std::unique_ptr<client::Transport> t;
    ASSERT_EQ(client::BindOnc({"127.0.0.1", kProgram, kVersion, nullptr, nullptr}, &t), 0u);
    const std::pair<const char *, uint32_t> cases[] = {
        {"noprog", client::ODP_S_PROGRAM},
        {"progvers", client::ODP_S_PROGRAM},
        {"delay 2500", client::ODP_S_TIMEOUT},
        {"words 00000000000000030000000100000002", client::ODP_S_COMM}, // cut short
        {"words 00000000800000000000000100000002", client::ODP_S_COMM}, // count 2^31
        {"words 0000000C00000000000000FF", client::ODP_S_COMM},         // no error packet
    };
    uint32_t seconds = 0;
    EXPECT_TRUE(!t->GetTimeout(&seconds) && seconds == client::kOncCallSeconds);
    ASSERT_EQ(t->SetTimeout(1), 0u);
    Bytes big(70000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 7 + 0x80);
    const unsigned char high = 0x80;
    for (const auto &[script, code] : cases) {
        Control(script);
        client::Reply r;
        {
            PeakAlloc watch;
            EXPECT_EQ(t->Call(2, &high, 1, &r), code) << script;
            EXPECT_LE(PeakAlloc::peak, 16u * 1024) << script;
        }
        t->FreeReply(&r);
        if (code == client::ODP_S_TIMEOUT) sleep(2); // the late reply is passed over
        Bytes last[3];
        ASSERT_EQ(t->Call(0, big.data(), uint32_t(big.size()), &r), 0u) << "after " << script;
        EXPECT_TRUE(r.error_kind == 0 && Bytes(r.result, r.result + r.result_length) == big &&
                    !r.error_length);
        t->FreeReply(&r);
        Control("", last);
        EXPECT_TRUE(last[0] == Bytes{0} && last[1] == big && last[2] == (Bytes{1, 0}));
    }
}

// The statuses of a failed call and of a server's answer, the cancel
// time-out, a host the ping cache holds unreachable, the credentials; by
// name, the same server and class keep the handle; common arguments naming
// a printer rebind every time; a queue wins over a server.
TEST_P(OdpDceInside, StatusesHostsCredentialsAndRebinding) {
    Status st;
    uint32_t seconds = 0;
    EXPECT_TRUE(!client::CurrentHandle()->transport->GetTimeout(&seconds) && seconds == 6);
    Control("fault 5\nfault 0x1c010014\nfault 1753\nfault 0x1c00000d\nfault 1783\nstatus 1818\n"
            "status 1723\nreply 0 - -");
    const uint32_t codes[] = {
        client::ODP_S_ACCESS, client::ODP_S_TIMEOUT, client::ODP_S_NOBINDING, client::ODP_S_TIMEOUT,
        client::ODP_S_COMM,   client::ODP_S_TIMEOUT, client::ODP_S_COMM,      ~0u};
    ODP_PrintResult *r = nullptr;
    ERDPA_ErrorResult *e = nullptr;
    for (uint32_t code : codes)
        EXPECT_EQ(st.Failed(ODP_CloseJob_C(st, "job-1", nullptr, &r, &e)), code) << code;
    client::ProcessPingCache().Record(inet_addr("127.0.0.9"), client::kPingUnreachable);
    {
        vrtest::LogFile log;
        EXPECT_EQ(Bind(Via::kDce, false, "127.0.0.9"), int(client::ODP_S_NOBINDING));
        EXPECT_EQ(log.Text().find("got msg"), std::string::npos) << log.Text(); // no echo sent
    }
    vrtest::ScratchDir dir("vrauth");
    setenv("VRCORE_CREDENTIALS", (dir.Path() + "/auth").c_str(), 1);
    for (const char *password : {"password", "wrong"}) {
        vrtest::WriteFile(dir.Path() + "/auth",
                          std::string("username=alice\npassword=") + password);
        chmod((dir.Path() + "/auth").c_str(), 0600);
        ASSERT_TRUE(!ODP_Terminate(st) && !Bind(Via::kDce));
        if (*password == 'p') Control("reply 0 - -"); // the wrong one is refused at the bind
        EXPECT_EQ(st.Failed(ODP_CloseJob_C(st, "job-1", nullptr, &r, &e)),
                  *password == 'p' ? ~0u : client::ODP_S_ACCESS);
    }
    unsetenv("VRCORE_CREDENTIALS");
    ASSERT_TRUE(!ODP_Terminate(st) && !Bind(Via::kDceByName));
    client::ClientHandle *h = client::CurrentHandle();
    ASSERT_EQ(ODP_Initialize(st, NS_CLASS_SPOOLER, Named("SPOOL-1")), 0);
    EXPECT_EQ(client::CurrentHandle(), h);
    for (auto names : {std::vector<std::pair<int, const char *>>{{649, "prn-2"}, {649, "prn-2"}},
                       {{871, "spool-1"}, {696, "q-2"}}}) {
        AS_SetHandle common = AS_nullSetHandle;
        ASSERT_EQ(AS_Create(st, &common, nullptr, 0), 0);
        for (auto [id, text] : names) {
            GEN_SimpleName n = Named(text).u.simple_name;
            AS_ReplaceAllAttrValsM(st, common, id, 27, &n, GENU_AVT2Descriptor(27), nullptr);
        }
        vrtest::LogFile log;
        for (size_t i = 0; i < names.size(); ++i) { // a printer twice, or once with the others
            Control("reply 0 - -");
            ASSERT_EQ(ODP_CloseJob_C(st, "job-1", &common, &r, &e), 0) << std::hex << st.Code();
        }
        std::string t = log.Text();                              // classes 2 and 6 always rebind
        size_t first = t.find("okay!"), last = t.rfind("okay!"); // exactly twice
        EXPECT_TRUE(first < last && t.find("okay!", first + 1) == last) << t;
        AS_Destroy(st, &common);
    }
    EXPECT_STREQ(client::CurrentHandle()->server->name, "q-2");
}

// A server of the exported interface, holding a call while asked to.
struct Served {
    std::atomic<bool> hold{false}, entered{false}, finished{false};
    std::atomic<int> calls{0};
    std::string user, address;
};
uint32_t Serve(void *context, const RPCS_CallInfo *call, uint16_t, const ODP_RequestPacket *,
               RPCS_Reply *) { // answers with nothing
    auto *s = static_cast<Served *>(context);
    s->user = call->user ? call->user : "-", s->address = call->client_address, ++s->calls;
    if (s->hold) s->entered = true, usleep(300000), s->finished = true;
    return 0;
}

// A server requiring a logon, found through the mapper by its object:
// anonymous calls are refused before the handler; a user's call reaches it
// with the user's name, and a handler's empty reply arrives empty; stopping
// waits for the call in progress and removes the endpoint.
TEST_P(OdpDceInside, ExportedServerAuthenticatesRegistersAndStopsAfterItsCalls) {
    vrtest::ScratchDir dir("vrrpcs");
    const std::string users = dir.Path() + "/users", auth = dir.Path() + "/auth";
    vrtest::WriteFile(users, "alice:8846f7eaee8fb117ad06bdd830b7586c\n");
    vrtest::WriteFile(auth, "username=alice\npassword=password\n");
    chmod(users.c_str(), 0600), chmod(auth.c_str(), 0600);
    Served served;
    RPCS_Config config{"127.0.0.1", 0, users.c_str(), 1, 0};
    RPCS_Server *server = nullptr;
    ASSERT_EQ(RPCS_Start(&config, Serve, &served, &server), 0);
    const char *object = "0f1e2d3c-4b5a-4978-8695-a4b3c2d1e0f9";
    ASSERT_EQ(RPCS_RegisterEndpoint(server, object), 0);
    char **bindings = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(RPCS_StringBindings(server, &bindings, &count), 0);
    EXPECT_TRUE(count == 1 &&
                bindings[0] == "ncacn_ip_tcp:127.0.0.1[" + std::to_string(RPCS_Port(server)) + "]");
    RPCS_FreeStrings(bindings, count);
    const std::string by_mapper = std::string(object) + "@ncacn_ip_tcp:127.0.0.1";
    Status st;
    ODP_PrintResult *r = nullptr;
    ERDPA_ErrorResult *e = nullptr;
    ASSERT_TRUE(!ODP_Terminate(st) && !Bind(Via::kDce, false, "", by_mapper));
    EXPECT_EQ(st.Failed(ODP_CloseJob_C(st, "job-1", nullptr, &r, &e)), client::ODP_S_ACCESS);
    EXPECT_EQ(served.calls, 0);
    setenv("VRCORE_CREDENTIALS", auth.c_str(), 1);
    served.hold = true;
    bool empty = false;
    std::thread caller([&] {
        client::Reply reply;
        if (Bind(Via::kDce, false, "", by_mapper)) return;
        const unsigned char byte = 1;
        empty = client::CurrentHandle()->transport->Call(6, &byte, 1, &reply) == 0 &&
                !reply.result && !reply.error && !reply.error_kind;
        client::CurrentHandle()->transport->FreeReply(&reply);
        ODP_Terminate(Status());
    });
    for (int i = 0; i < 500 && !served.entered; ++i) usleep(10000);
    EXPECT_EQ(RPCS_Stop(server), 0);
    EXPECT_TRUE(served.finished);
    caller.join();
    unsetenv("VRCORE_CREDENTIALS");
    EXPECT_TRUE(empty && served.user == "alice" && served.address == "127.0.0.1") << served.user;
    ODP_Terminate(st);
    EXPECT_EQ(Bind(Via::kDce, false, "", by_mapper), int(client::ODP_S_NOBINDING));
}

} // namespace
