// Client credentials: the transport credentials of a binding and the
// privilege record of the common arguments.
#include <arpa/inet.h>
#include <rpc/rpc.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

#include "client/sec_record.h"
#include "rpc/binding.h"
#include "rpc/rpc_status.h"
#include "rpc/security.h"
#include "system/config.h"
#include "system/guard.h"
#include "vrcore/as.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"
#include "vrcore/ns.h"
#include "vrcore/sec.h"
#include "vrcore/sysu.h"
#include "vrcore/thr.h"

namespace vrcore::client {

namespace {

namespace cfg = vrcore::system::cfg;

constexpr int kLogFailure = 5;
constexpr int kLogUnsupported = 18;
// The nobody identity of the ONC credentials.
constexpr uint32_t kNobody = 60001;
constexpr int32_t kHostDomainType = 3051;
constexpr size_t kDomainField = 1024;
constexpr size_t kNameField = 256;

// Fields of the record past the texts.
constexpr size_t kFormatAt = 0;
constexpr size_t kVersionAt = 4;

void PutWord(unsigned char *at, uint32_t value) {
    uint32_t net = htonl(value);
    std::memcpy(at, &net, sizeof net);
}

void PutText(unsigned char *at, std::string_view text, size_t field) {
    std::string_view fit = FitField(text, field);
    std::memcpy(at, fit.data(), fit.size()); // the rest of the field stays zero
}

// ---- Once-only facts of this computer ------------------------------------

THR_OnceFlag g_host_domain_once = THR_ONCE_INIT;
char g_host_domain[kDomainField];

void FillHostDomain() {
    try {
        std::string group;
        if (cfg::HostLanGroup(group) == 0) {
            std::string_view fit = FitField(group, sizeof g_host_domain);
            std::memcpy(g_host_domain, fit.data(), fit.size());
        }
    } catch (...) { // the domain stays empty
    }
}

THR_OnceFlag g_computer_once = THR_ONCE_INIT;
char g_computer_name[kNameField];
char g_computer_domain[kDomainField];

void FillComputer() {
    try {
        std::string name;
        if (cfg::HostComputerName(name) != 0) {
            LOG_CondMessage(kLogFailure, __FILE__, __LINE__,
                            "SEC_AddPAC_C: GetComputerName fails\n");
            return;
        }
        std::string_view fit = FitField(name, sizeof g_computer_name);
        std::memcpy(g_computer_name, fit.data(), fit.size());
        NS_DomainHandle handle = nullptr;
        if (NS_CreateDomainHandle(&handle) != NS_OK) {
            LOG_CondMessage(kLogFailure, __FILE__, __LINE__,
                            "SEC_AddPAC_C: NS_CreateDomainHandle fails\n");
            return;
        }
        char *domain = nullptr;
        if (NS_GetDomain(NS_ENV_MSRPC, handle, &domain) != NS_OK) {
            LOG_CondMessage(kLogFailure, __FILE__, __LINE__, "SEC_AddPAC_C: NS_GetDomaine fails\n");
        } else if (domain) {
            fit = FitField(domain, sizeof g_computer_domain);
            std::memcpy(g_computer_domain, fit.data(), fit.size());
        }
        NS_FreeString(domain);
        NS_FreeDomainHandle(handle);
    } catch (...) { // what was filled stays
    }
}

// ---- Putting the record into the set -------------------------------------

int32_t PutPrivileges(AS_SetHandle set, const unsigned char *bytes, size_t size) {
    STF_List *st = STF_CreateList(nullptr);
    if (!st) return SEC_E_NOMEM;
    GEN_SeqOfOctetString credential{
        nullptr, {static_cast<int32_t>(size), const_cast<unsigned char *>(bytes)}};
    GEN_Privileges value{nullptr, nullptr, &credential};
    int32_t rc = SEC_OK;
    if (AS_ReplaceAllAttrValsM(st, set, SEC_PRIVILEGES_ATTR, SEC_PRIVILEGES_TYPE, &value,
                               &GENU_PrivilegesDesc, nullptr) != 0)
        rc = SEC__ASerror(st);
    STF_DeleteList(st);
    return rc;
}

// The user, shared by both forms; SEC_E_FAILED when unknown. The name and
// the LAN group are looked up again only when the effective user changes:
// reading the password and registry files on every operation cost more
// than the rest of the operation.
std::mutex g_user_mutex;
uid_t g_user_uid = static_cast<uid_t>(-1);
std::string g_user_name, g_user_domain;

int32_t CallingUser(Identity &who) {
    std::lock_guard<std::mutex> lock(g_user_mutex);
    if (geteuid() != g_user_uid) {
        std::string name, domain;
        if (cfg::HostUserName(name) != 0) return SEC_E_FAILED;
        if (cfg::HostLanGroup(domain) != 0) domain.clear();
        g_user_name = std::move(name), g_user_domain = std::move(domain);
        g_user_uid = geteuid();
    }
    who.user_name = g_user_name;
    who.user_domain = g_user_domain;
    who.user_domain_type = SEC_DOMTYPE_NT;
    return SEC_OK;
}

int32_t AddPacOnc(AS_SetHandle set) {
    Identity who;
    if (int32_t rc = CallingUser(who)) return rc;
    std::string official;
    if (cfg::HostOfficialName(official) != 0 && cfg::HostComputerName(official) != 0)
        return SEC_E_FAILED;
    SplitOfficialName(official, who.user_domain_type, who);
    Record record = BuildRecord(who);
    return PutPrivileges(set, record.data(), record.size());
}

int32_t AddPacBinding(AS_SetHandle set) {
    Identity who;
    if (int32_t rc = CallingUser(who)) return rc;
    if (THR_Once(&g_computer_once, FillComputer) != 0) {
        LOG_CondMessage(kLogFailure, __FILE__, __LINE__, "SEC_GetAddPAC_C: THR_Once failed\n");
        return SEC_E_FAILED;
    }
    who.computer_name = g_computer_name;
    who.computer_domain = g_computer_domain;
    who.computer_domain_type = SEC_DOMTYPE_NT;
    WrappedRecord wrapped = WrapRecord(BuildRecord(who));
    return PutPrivileges(set, wrapped.data(), wrapped.size());
}

int32_t g_client_type = 0;

} // namespace

std::string_view FitField(std::string_view text, size_t field) {
    if (field == 0) return {};
    size_t n = text.find('\0');
    if (n == std::string_view::npos) n = text.size();
    if (n > field - 1) {
        n = field - 1;
        // Back to the first byte of a sequence: continuation bytes are
        // 10xxxxxx, and the sequence they belong to would be cut.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    return text.substr(0, n);
}

Record BuildRecord(const Identity &who) {
    Record r{};
    PutWord(&r[kFormatAt], SEC_PAC_FORMAT);
    PutWord(&r[kVersionAt], SEC_PAC_VERSION);
    PutText(&r[SEC_PAC_USER_NAME], who.user_name, kNameField);
    PutText(&r[SEC_PAC_USER_DOMAIN], who.user_domain, kDomainField);
    PutWord(&r[SEC_PAC_USER_DOMAIN_TYPE], static_cast<uint32_t>(who.user_domain_type));
    PutText(&r[SEC_PAC_COMPUTER_NAME], who.computer_name, kNameField);
    PutText(&r[SEC_PAC_COMPUTER_DOMAIN], who.computer_domain, kDomainField);
    PutWord(&r[SEC_PAC_COMPUTER_DOMAIN_TYPE], static_cast<uint32_t>(who.computer_domain_type));
    return r;
}

WrappedRecord WrapRecord(const Record &record) {
    WrappedRecord w{};
    PutWord(&w[0], SEC_PAC_FORMAT);
    PutWord(&w[4], SEC_PAC_VERSION);
    PutWord(&w[8], 0);
    std::memcpy(&w[12], record.data(), record.size());
    return w;
}

void SplitOfficialName(std::string_view official, int32_t default_type, Identity &who) {
    size_t dot = official.find('.');
    if (dot == std::string_view::npos) {
        who.computer_name = official;
        who.computer_domain.clear();
        who.computer_domain_type = default_type;
        return;
    }
    who.computer_name = official.substr(0, dot);
    who.computer_domain = official.substr(dot + 1);
    who.computer_domain_type = SEC_DOMTYPE_DNS;
}

} // namespace vrcore::client

using namespace vrcore::client;

extern "C" {

VR_EXPORT int32_t SEC_AddCredential_C(int32_t type, int32_t level, void *binding) try {
    if (type == SEC_TYPE_ONC) return SEC_AddCredential_C_ONC(type, level, binding);
    if (type != SEC_TYPE_DCE && type != SEC_TYPE_DCE_ALT) return SEC_E_UNSUPPORTED;
    if (level != SEC_LEVEL_NONE && level != SEC_LEVEL_CONNECT) return SEC_E_UNSUPPORTED;
    namespace rpc = vrcore::rpc;
    rpc::Binding *b = nullptr;
    uint32_t rc = rpc::Binding::Lookup(binding, &b);
    if (rc == rpc::kOk)
        rc = b->SetAuthInfo(level == SEC_LEVEL_CONNECT ? rpc::kAuthLevelConnect
                                                       : rpc::kAuthLevelNone,
                            rpc::kAuthnWinNt);
    if (rc == rpc::kOk) return SEC_OK;
    if (rc == rpc::kWrongKindOfBinding || rc == rpc::kInvalidBinding) return SEC_E_BINDING;
    return SEC_E_FAILED;
}
VR_CATCH_CODE(SEC_E_NOMEM, SEC_E_FAILED)

VR_EXPORT int32_t SEC_AddCredential_C_ONC(int32_t type, int32_t level, void *client) try {
    LOG_CondFuncTrace("SEC_AddCredential_C_ONC", __FILE__, __LINE__, 1, nullptr);
    int32_t status = SEC_OK;
    if (type != SEC_TYPE_ONC) {
        LOG_CondMessage(kLogUnsupported, __FILE__, __LINE__,
                        "SEC_AddCredential_C: Authorization type %d not supported\n", type);
        status = SEC_E_UNSUPPORTED;
    } else if (level != SEC_LEVEL_ONC_SYS) {
        status = SEC_E_UNSUPPORTED;
    } else {
        auto *cl = static_cast<CLIENT *>(client);
        struct utsname host;
        gid_t groups[1] = {kNobody};
        AUTH *auth = nullptr;
        if (cl && SYSU_Uname(&host) >= 0)
            auth = authsys_create(host.nodename, kNobody, kNobody, 1, groups);
        if (!auth) {
            status = SEC_E_FAILED;
        } else {
            if (cl->cl_auth) auth_destroy(cl->cl_auth);
            cl->cl_auth = auth;
        }
    }
    LOG_CondFuncTrace("SEC_AddCredential_C_ONC", __FILE__, __LINE__, 0, "status=%d", status);
    return status;
}
VR_CATCH_CODE(SEC_E_NOMEM, SEC_E_FAILED)

VR_EXPORT int32_t SEC_AddPAC_C(int32_t type, AS_SetHandle set) try {
    if (type == SEC_TYPE_ONC) return SEC_AddPAC_C_ONC(type, set);
    return AddPacBinding(set);
}
VR_CATCH_CODE(SEC_E_NOMEM, SEC_E_FAILED)

VR_EXPORT int32_t SEC_AddPAC_C_ONC(int32_t type, AS_SetHandle set) try {
    (void)type;
    return AddPacOnc(set);
}
VR_CATCH_CODE(SEC_E_NOMEM, SEC_E_FAILED)

VR_EXPORT const char *SEC_GetHostDomain(int32_t *type) try {
    if (THR_Once(&g_host_domain_once, FillHostDomain) != 0) {
        LOG_CondMessage(kLogFailure, __FILE__, __LINE__, "SEC__GetUserDomain: THR_Once failed\n");
        if (type) *type = 0;
        return nullptr;
    }
    if (type) *type = kHostDomainType;
    return g_host_domain;
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT const char *SEC_GetUserDomain(int32_t *type) try { return SEC_GetHostDomain(type); }
VR_CATCH_RETURN(nullptr)

VR_EXPORT int32_t SEC_Shoid2DomType(GENU_ShortOID id) try {
    static constexpr struct {
        GENU_ShortOID id;
        int32_t type;
    } kTable[] = {{3040, 10},  {3041, 9},   {3042, 8},  {3043, 7},  {3044, 1},  {3045, 3},
                  {3046, 200}, {3047, 0},   {3048, 2},  {3049, 4},  {3050, 5},  {3051, 6},
                  {3054, 11},  {3055, 255}, {3183, 12}, {3184, 13}, {3185, 14}, {3186, 15}};
    for (const auto &row : kTable)
        if (row.id == id) return row.type;
    return -1;
}
VR_CATCH_RETURN(-1)

VR_EXPORT int32_t SEC_SetClientType(int32_t value) try {
    g_client_type = value;
    return g_client_type;
}
VR_CATCH_RETURN(value)

VR_EXPORT int32_t SEC__GENUerror(STF_List *status) try {
    if (status && STF_GetStatus(status) == GEN_S_NOMEM) return SEC_E_NOMEM;
    return SEC_E_FAILED;
}
VR_CATCH_RETURN(SEC_E_FAILED)

VR_EXPORT int32_t SEC__ASerror(STF_List *status) try {
    switch (status ? STF_GetStatus(status) : 0) {
    case AS_S_MULTIPLE:
    case AS_S_WRONGTYPE:
    case AS_S_CORRUPT: return SEC_E_SETVALUE;
    case AS_S_BADARG1:
    case AS_S_STALE: return SEC_E_SETARG;
    case AS_S_NOMEM: return SEC_E_NOMEM;
    default: return SEC_E_FAILED;
    }
}
VR_CATCH_RETURN(SEC_E_FAILED)

} // extern "C"
