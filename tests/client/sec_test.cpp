// Client credentials: the privilege record read back by an independent
// reader, the binding's levels, the ONC client's credentials, the domain
// table and the mapping of set and value failures.
#include <gtest/gtest.h>
#include <rpc/rpc.h>
#include <sys/utsname.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "client/sec_record.h"
#include "rpc/binding.h"
#include "rpc/rpc_status.h"
#include "scratch.h"
#include "status_list.h"
#include "system/config.h"
#include "vrcore/genu.h"
#include "vrcore/sec.h"

namespace {

using namespace vrtest;
namespace client = vrcore::client;
namespace rpc = vrcore::rpc;
namespace cfg = vrcore::system::cfg;

// The LAN group comes from a registry file of the test's own, set before
// the once-only facts are filled.
ScratchDir &Registry() {
    static ScratchDir dir("vrsec");
    return dir;
}
const bool kRegistryReady = [] {
    WriteFile(Registry().Path() + "/registry.reg",
              "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril]\n\"LanGroup\"=\"CORP\"\n");
    return setenv("VRCORE_REGISTRY", (Registry().Path() + "/registry.reg").c_str(), 1) == 0;
}();

// The record's fields as a reader that knows only the layout sees them:
// "format version user|domain|type computer|domain|type", or the reader's
// complaint.
std::string ReadBack(const GEN_OctetString &bytes, bool wrapped) {
    std::string file = Registry().Path() + "/record.bin";
    WriteFile(file, std::string(reinterpret_cast<const char *>(bytes.value), bytes.length));
    WriteFile(Registry().Path() + "/read.py", R"(
import struct, sys
b = open(sys.argv[1], 'rb').read()
if sys.argv[2] == '1':
    assert len(b) == 2612 and struct.unpack('!III', b[:12]) == (1001, 1, 0) and b[-4:] == bytes(4)
    b = b[12:-4]
assert len(b) == 2596, len(b)
f = struct.unpack('!II256s1024sI256s1024sI8sIII', b)
t = lambda s: s.split(b'\0')[0].decode()
assert all(x == 0 for x in f[9:]) and f[8] == bytes(8)
print(f[0], f[1], '|'.join([t(f[2]), t(f[3]), str(f[4])]), '|'.join([t(f[5]), t(f[6]), str(f[7])]), end='')
)");
    return RunCommand("/usr/bin/python3 " + Registry().Path() + "/read.py " + file + " " +
                      (wrapped ? "1" : "0") + " 2>&1");
}

const GEN_OctetString &Privileges(STF_List *st, AS_SetHandle set) {
    uint32_t count = 0;
    EXPECT_EQ(AS_GetAttrValCount(st, set, SEC_PRIVILEGES_ATTR, &count), 0);
    EXPECT_EQ(count, 1u);
    void *value = nullptr;
    EXPECT_EQ(AS_GetAttrVal(st, set, SEC_PRIVILEGES_ATTR, &value), 0);
    const auto *p = static_cast<const GEN_Privileges *>(value);
    EXPECT_TRUE(p && p->credentials && !p->credentials->next && !p->owner && !p->groups);
    return p->credentials->octets;
}

TEST(SecRecord, BothFormsReadBackFieldByField) {
    StatusList st;
    AS_SetHandle set = nullptr;
    ASSERT_EQ(AS_Create(st, &set, nullptr, 0), 0);
    std::string user, computer, official;
    ASSERT_EQ(cfg::HostUserName(user), 0);
    ASSERT_EQ(cfg::HostComputerName(computer), 0);
    ASSERT_EQ(cfg::HostOfficialName(official), 0);
    size_t dot = official.find('.');
    std::string onc_computer =
        dot == std::string::npos ? official + "||5"
                                 : official.substr(0, dot) + "|" + official.substr(dot + 1) + "|3";

    // Twice each: the attribute keeps one value.
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(SEC_AddPAC_C(SEC_TYPE_ONC, set), SEC_OK);
        EXPECT_EQ(ReadBack(Privileges(st, set), false),
                  "1001 1 " + user + "|CORP|5 " + onc_computer);
        // The name service is not running: the computer's domain stays
        // empty.
        ASSERT_EQ(SEC_AddPAC_C(SEC_TYPE_DCE, set), SEC_OK);
        EXPECT_EQ(ReadBack(Privileges(st, set), true),
                  "1001 1 " + user + "|CORP|5 " + computer + "||5");
    }
    AS_Destroy(st, &set);
    // A set that is no set changes nothing and answers the set module's
    // failure.
    EXPECT_EQ(SEC_AddPAC_C(SEC_TYPE_ONC, nullptr), SEC_E_SETARG);
}

TEST(SecRecord, TextsAreCutAtCharacterBoundariesAndComputerSplitAtTheFirstDot) {
    std::string e300;
    for (int i = 0; i < 300; ++i) e300 += "\xc3\xa9"; // 'é', two bytes
    const struct {
        std::string text;
        size_t field;
        size_t kept;
    } cuts[] = {{"bob", 256, 3},   {std::string(300, 'a'), 256, 255},    {e300, 256, 254},
                {e300, 1024, 600}, {std::string(2000, 'd'), 1024, 1023}, {"x", 0, 0}};
    for (const auto &c : cuts) EXPECT_EQ(client::FitField(c.text, c.field).size(), c.kept);

    client::Identity who;
    who.user_name = e300;
    who.user_domain = std::string(2000, 'd');
    auto split = [&](const char *official) {
        client::SplitOfficialName(official, 5, who);
        return who.computer_name + "|" + who.computer_domain + "|" +
               std::to_string(who.computer_domain_type);
    };
    EXPECT_EQ(split("print01.corp.example"),
              "print01|corp.example|" + std::to_string(SEC_DOMTYPE_DNS));
    client::Record r = client::BuildRecord(who);
    // The cut ends in a zero byte; the next field is untouched.
    for (auto [at, want] : {std::pair{SEC_PAC_USER_NAME + 253, 0xa9},
                            {SEC_PAC_USER_NAME + 254, 0},
                            {SEC_PAC_USER_DOMAIN + 1022, 'd'},
                            {SEC_PAC_USER_DOMAIN + 1023, 0},
                            {SEC_PAC_USER_DOMAIN_TYPE, 0}})
        EXPECT_EQ(r[at], want) << at;
    EXPECT_EQ(split("print01"), "print01||5"); // no domain: the user's type
}

TEST(SecCredential, BindingTakesOnlyItsTwoLevels) {
    std::unique_ptr<rpc::Binding> owned;
    ASSERT_EQ(rpc::Binding::FromString("ncacn_ip_tcp:h", &owned), rpc::kOk);
    rpc::Binding *binding = owned.get();
    int foreign = 0;
    const struct {
        int32_t type, level;
        void *binding;
        int32_t answer;
        uint32_t level_after;
    } cases[] = {
        {SEC_TYPE_DCE, SEC_LEVEL_CONNECT, binding, SEC_OK, rpc::kAuthLevelConnect},
        {SEC_TYPE_DCE, 2, binding, SEC_E_UNSUPPORTED, rpc::kAuthLevelConnect},
        {SEC_TYPE_DCE_ALT, SEC_LEVEL_NONE, binding, SEC_OK, rpc::kAuthLevelNone},
        {1, SEC_LEVEL_CONNECT, binding, SEC_E_UNSUPPORTED, rpc::kAuthLevelNone},
        {SEC_TYPE_DCE, SEC_LEVEL_CONNECT, nullptr, SEC_E_BINDING, rpc::kAuthLevelNone},
        {SEC_TYPE_DCE, SEC_LEVEL_CONNECT, &foreign, SEC_E_BINDING, rpc::kAuthLevelNone},
        {SEC_TYPE_ONC, SEC_LEVEL_CONNECT, nullptr, SEC_E_UNSUPPORTED, rpc::kAuthLevelNone},
        {SEC_TYPE_ONC, SEC_LEVEL_ONC_SYS, nullptr, SEC_E_FAILED, rpc::kAuthLevelNone},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(SEC_AddCredential_C(c.type, c.level, c.binding), c.answer)
            << c.type << "/" << c.level;
        EXPECT_EQ(binding->AuthLevel(), c.level_after) << c.type << "/" << c.level;
    }
    EXPECT_EQ(foreign, 0);
}

TEST(SecCredential, OncClientCarriesTheNobodyIdentityOfThisMachine) {
    // A port given: no lookup, nothing sent.
    sockaddr_in addr{AF_INET, htons(9), {htonl(INADDR_LOOPBACK)}, {}};
    int sock = RPC_ANYSOCK;
    CLIENT *cl = clntudp_create(&addr, 105004, 1, {1, 0}, &sock);
    ASSERT_NE(cl, nullptr);
    EXPECT_EQ(SEC_AddCredential_C_ONC(7, SEC_LEVEL_ONC_SYS, cl), SEC_E_UNSUPPORTED);
    EXPECT_EQ(cl->cl_auth->ah_cred.oa_flavor, static_cast<int>(AUTH_NONE));
    for (int round = 0; round < 2; ++round) { // the previous credentials are released
        ASSERT_EQ(SEC_AddCredential_C(SEC_TYPE_ONC, SEC_LEVEL_ONC_SYS, cl), SEC_OK);
        const opaque_auth &cred = cl->cl_auth->ah_cred;
        ASSERT_EQ(cred.oa_flavor, static_cast<int>(AUTH_SYS));
        XDR xdr;
        xdrmem_create(&xdr, cred.oa_base, cred.oa_length, XDR_DECODE);
        authsys_parms parms{};
        ASSERT_TRUE(xdr_authunix_parms(&xdr, &parms));
        struct utsname host;
        ASSERT_EQ(uname(&host), 0);
        EXPECT_STREQ(parms.aup_machname, host.nodename);
        EXPECT_TRUE(parms.aup_uid == 60001u && parms.aup_gid == 60001u && parms.aup_len == 1u &&
                    parms.aup_gids[0] == 60001u);
        xdr_free(reinterpret_cast<xdrproc_t>(xdr_authunix_parms), reinterpret_cast<char *>(&parms));
    }
    auth_destroy(cl->cl_auth);
    clnt_destroy(cl);
}

TEST(SecDomain, TableHostDomainAndFailureMapping) {
    const std::pair<GENU_ShortOID, int32_t> rows[] = {
        {3040, 10},  {3046, 200}, {3047, 0},  {3049, 4},  {3050, 5},
        {3055, 255}, {3186, 15},  {3052, -1}, {3053, -1}, {0, -1}};
    for (auto [id, type] : rows) EXPECT_EQ(SEC_Shoid2DomType(id), type) << id;

    int32_t type = 0, user_type = 0;
    const char *domain = SEC_GetHostDomain(&type);
    EXPECT_TRUE(domain && !strcmp(domain, "CORP") && type == 3051);
    EXPECT_TRUE(SEC_GetUserDomain(&user_type) == domain && user_type == 3051);
    EXPECT_EQ(SEC_SetClientType(7), 7);

    const struct {
        uint32_t code;
        int32_t as, genu;
    } codes[] = {
        {AS_S_MULTIPLE, SEC_E_SETVALUE, SEC_E_FAILED}, {AS_S_CORRUPT, SEC_E_SETVALUE, SEC_E_FAILED},
        {AS_S_STALE, SEC_E_SETARG, SEC_E_FAILED},      {AS_S_NOMEM, SEC_E_NOMEM, SEC_E_FAILED},
        {AS_S_BADHANDLE, SEC_E_FAILED, SEC_E_FAILED},  {GEN_S_NOMEM, SEC_E_FAILED, SEC_E_NOMEM}};
    for (const auto &c : codes) {
        StatusList st;
        STF_AddStatus(st, c.code, 0);
        EXPECT_EQ(SEC__ASerror(st), c.as) << std::hex << c.code;
        EXPECT_EQ(SEC__GENUerror(st), c.genu) << std::hex << c.code;
    }
    EXPECT_EQ(SEC__ASerror(nullptr), SEC_E_FAILED);
}

} // namespace
