// No exception leaves the library: with operator new failing at each of a
// call's allocations in turn, entry points of the modules whose calls build
// standard containers return their family's out-of-memory result, leave
// nothing allocated and do not terminate the process. (The other modules
// allocate with malloc only; their failures are tested where they are.)
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>

#include "failalloc.h"
#include "oid/registry_internal.h"
#include "scratch.h"
#include "vrcore/evt.h"
#include "vrcore/ft.h"
#include "vrcore/genu.h"
#include "vrcore/msg.h"
#include "vrcore/ns.h"
#include "vrcore/odp.h"
#include "vrcore/oid.h"
#include "vrcore/rpcs.h"
#include "vrcore/vrbm.h"
#include "vrcore/vrcfg.h"

// Every operator new of this program goes through the failing allocator.
void *operator new(std::size_t n) {
    if (void *p = vrtest::FailMalloc(n)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return vrtest::FailMalloc(n); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept {
    return vrtest::FailMalloc(n);
}
void operator delete(void *p) noexcept { vrtest::FailFree(p); }
void operator delete[](void *p) noexcept { vrtest::FailFree(p); }
void operator delete(void *p, std::size_t) noexcept { vrtest::FailFree(p); }
void operator delete[](void *p, std::size_t) noexcept { vrtest::FailFree(p); }

namespace {

struct Row {
    const char *name;
    std::function<long(STF_List *)> call; // the entry point's result
    long ok;                              // its result when memory suffices
    long nomem;                           // and when it runs out
    int err = 0;                          // errno with that result, if any
};

char kBinding[] = "ncacn_ip_tcp:127.0.0.1[4000]";
char *kBindings[] = {kBinding};
NS_BindingVector kVector = {1, kBindings};

class Boundary : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string reg = dir.Path() + "/registry.reg";
        vrtest::WriteFile(
            reg, "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril]\n\"LanGroup\"=\"TestGroup\"\n");
        setenv("VRCORE_REGISTRY", reg.c_str(), 1);
        setenv("windir", dir.Path().c_str(), 1);
        setenv("NLSPATH", VRCORE_BINARY_DIR "/nls/%N", 1);
        setenv("NS_MS_LF", "", 1); // the name service's local store
        setenv("MSRPC_EPUUID", "6f1c2a10-0000-4000-8000-000000000001", 1);
        NS_msrpc_binding_vector = &kVector;
    }
    void TearDown() override {
        NS_Term();
        NS_msrpc_binding_vector = nullptr;
        for (const char *v : {"VRCORE_REGISTRY", "windir", "NLSPATH", "NS_MS_LF", "MSRPC_EPUUID"})
            unsetenv(v);
    }

    // Runs a row with each allocation failing in turn; returns how many
    // failing allocations the call met.
    static long Sweep(const Row &r) {
        STF_List *st = STF_CreateList(nullptr);
        EXPECT_EQ(r.call(st), r.ok); // the first use also fills what a call caches
        long rc = 0;
        int err = 0;
        long points = vrtest::SweepFailures(
            [&] {
                STF_ClearStatus(st);
                errno = 0;
                rc = r.call(st);
                err = errno;
                return rc == r.ok;
            },
            [&] {
                EXPECT_EQ(rc, r.nomem);
                if (r.err) {
                    EXPECT_EQ(err, r.err);
                }
            },
            5000);
        STF_DeleteList(st);
        return points;
    }
    vrtest::ScratchDir dir;
};

TEST_F(Boundary, AllocationFailuresBecomeTheFamilysCode) {
    const std::string db = dir.Path() + "/guard";
    const std::string oids = dir.Path() + "/oids";
    STF_List *st = STF_CreateList(nullptr);
    ASSERT_EQ(vrcore::oid::CreateRegistry(st, oids.c_str()), 0u);
    ASSERT_EQ(OID_Init(st, oids.c_str(), OID_READONLY), 0u);
    OID_Db *reg = nullptr;
    ASSERT_EQ(OID_OpenDb(st, oids.c_str(), nullptr, OID_READONLY, &reg), 0u);
    ASSERT_EQ(NS_Init("spool", NS_CLASS_SPOOLER), NS_OK);
    NS_Object spooler{};
    spooler.env = NS_ENV_MSRPC;
    spooler.objClass = NS_CLASS_SPOOLER;
    spooler.name = const_cast<char *>("spool");
    ASSERT_EQ(NS_CreateObject(&spooler, 1, nullptr), NS_OK);
    const unsigned char bad[] = {0x04, 0x05, 'a'}; // an octet string cut short
    const std::string orig = dir.Path() + "/job-1-3.orig";
    vrtest::WriteFile(orig, "document");
    GEN_DocumentIdentifier doc{};
    std::strcpy(doc.job.value, "job-1");
    ASSERT_EQ(EVT_Init(), EVT_E_OK);
    std::string to = "127.0.0.1:9";
    GEN_Text remote{};
    remote.kind = GEN_KIND_CODESET;
    remote.u.octets.length = static_cast<int32_t>(to.size());
    remote.u.octets.value = reinterpret_cast<unsigned char *>(to.data());
    uint32_t queue = 0;
    ASSERT_EQ(EVT_Open(&remote, nullptr, &queue), EVT_E_OK);

    const Row rows[] = {
        {"VR_RegSetString",
         [](STF_List *) { return long(VR_RegSetString("Software\\Test", "n", "value")); }, 0,
         ENOMEM},
        {"VR_RegGetString",
         [](STF_List *) {
             char buf[64];
             return VR_RegGetString("Software\\Halvane\\Tessaril", "LanGroup", nullptr, buf,
                                    sizeof buf);
         },
         9, -1},
        {"MSG_UsageBegin, MSG_GetUnformatted",
         [](STF_List *) {
             char buf[256];
             uint32_t len = 0;
             uint32_t rc = MSG_UsageBegin("tst");
             if (rc == 0)
                 rc = MSG_GetUnformatted(MSG_KIND_STATUS, STF_S_NOMEM, nullptr, sizeof buf, &len,
                                         buf);
             MSG_UsageEnd();
             return long(rc);
         },
         0, MSG_S_NOMEM},
        {"VRBM_open",
         [&](STF_List *) {
             VRBM_Db *d = VRBM_open(db.c_str(), VRBM_RDWR | VRBM_CREAT, 0600, 0);
             VRBM_close(d);
             return long(d != nullptr);
         },
         1, 0, ENOMEM},
        {"OID_LookupName",
         [&](STF_List *s) {
             unsigned char bin[OID_MAX_BINFORM];
             return long(OID_LookupName(s, reg, "id-att-job-name", bin, nullptr));
         },
         0, OID_S_NOMEM},
        {"OID_OpenDb, OID_CloseDb",
         [&](STF_List *s) {
             OID_Db *h = nullptr;
             uint32_t rc = OID_OpenDb(s, oids.c_str(), "C", OID_READONLY, &h);
             if (rc == 0) rc = OID_CloseDb(s, h);
             return long(rc);
         },
         0, OID_S_NOMEM},
        {"ODP_UnpackAV",
         [&](STF_List *s) {
             void *v = nullptr;
             GENU_ValueDescriptor d{};
             ODP_UnpackAV(s, sizeof bad, bad, 20, &v, &d);
             return long(STF_GetStatus(s));
         },
         GENU_S_DECODE, GEN_S_NOMEM},
        {"NS_GetObject",
         [](STF_List *) {
             NS_Object *o = nullptr;
             int32_t rc = NS_GetObject(NS_CLASS_SPOOLER, "spool", nullptr, &o);
             NS_FreeObject(o);
             return long(rc);
         },
         NS_OK, NS_E_NOMEM},
        {"NS_ListObjectBegin, NS_ListNext",
         [](STF_List *) {
             NS_ListHandle l = nullptr;
             NS_Object *o = nullptr;
             int32_t rc = NS_ListObjectBegin(NS_CLASS_ANY_SVR, nullptr, &l);
             if (rc == NS_OK) rc = NS_ListNext(l, &o);
             NS_FreeObject(o);
             NS_ListEnd(l);
             return long(rc);
         },
         NS_OK, NS_E_NOMEM},
        {"FT_PPStartGetDataBuffer",
         [&](STF_List *) {
             FT_Filter f{};
             uint32_t rc = FT_PPStartGetDataBuffer(&doc, orig.c_str(), nullptr, &f);
             FT_PPAbort(&doc, &f);
             return long(rc);
         },
         0, FT_S_NOMEM},
        {"EVT_MessageCreate, EVT_MessageArgPut",
         [&](STF_List *) {
             uint32_t m = 0;
             int rc = EVT_MessageCreate(queue, &m);
             if (rc == EVT_E_OK)
                 rc = EVT_MessageArgPut(queue, m, "a text longer than the short-string buffer");
             if (m) EVT_MessageFree(queue, m);
             return long(rc);
         },
         EVT_E_OK, EVT_E_NOMEM},
        {"RPCS_Start, RPCS_Stop",
         [](STF_List *) {
             RPCS_Config c{"127.0.0.1", 0, "", 0, 0};
             RPCS_Server *s = nullptr;
             auto none = [](void *, const RPCS_CallInfo *, uint16_t, const ODP_RequestPacket *,
                            RPCS_Reply *) { return 0u; };
             int rc = RPCS_Start(&c, none, nullptr, &s);
             return long(rc ? rc : RPCS_Stop(s));
         },
         RPCS_S_OK, RPCS_S_NO_MEMORY},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_GT(Sweep(r), 0) << "the call met no allocation";
    }
    EVT_Close(queue);
    EVT_Term();
    OID_CloseDb(st, reg);
    OID_Term();
    STF_DeleteList(st);
}

} // namespace
