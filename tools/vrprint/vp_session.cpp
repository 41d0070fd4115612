// The session with the server: the library's modules, the binding of the
// thread, and how failures are told to the user.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <vrcore/genu.h>
#include <vrcore/msg.h>
#include <vrcore/ns.h>
#include <vrcore/odpcli.h>
#include <vrcore/vrcfg.h>

#include "vrprint.h"

namespace vrprint {
namespace {

// Codes of the client that mean the server was not found or not reached.
constexpr uint32_t kUnreachable[] = {
    0xC009006Cu, // no usable binding: no TCP binding, no answer, no endpoint
    0xC009007Cu, // the name is not in the name service
    0xC0090087u, // the program or version is not served there
    0xC0090088u, // the connection failed
    0xC009008Au, // no reply in time
    0xC0090098u, // the name service is not running
};

int Sink(const char *text, uint32_t, int32_t, void *arg) {
    std::fprintf(stderr, "  %s", text);
    (void)arg;
    return 0;
}

const char *NsText(int32_t rc) {
    switch (rc) {
    case NS_E_NOTFOUND: return "no such server in the name service";
    case NS_E_ENV: return "the name service's ONC environment is not available";
    case NS_E_UNREACHABLE: return "no name server answers";
    case NS_E_NOTINIT: return "the name service is not initialised";
    case NS_E_NOMEM: return "out of memory";
    case NS_E_DOMAIN: return "no domain is configured (LanGroup)";
    case NS_E_SYSTEM:
        return "this host's domain is unknown or its name-service files failed; a host "
               "without a NIS or DNS domain needs one set: vrreg set "
               "Software/Halvane/Tessaril LanGroup NAME";
    default: return "name service failure";
    }
}

// "HOST:PROGRAM[:VERSION]": an ONC server given by its address.
bool ParseOncAddress(const std::string &text, std::string &host, long &program, long &version) {
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = text.substr(0, colon);
    std::string rest = text.substr(colon + 1);
    size_t second = rest.find(':');
    std::string prog = rest.substr(0, second);
    std::string vers = second == std::string::npos ? "1" : rest.substr(second + 1);
    char *end = nullptr;
    program = std::strtol(prog.c_str(), &end, 10);
    if (prog.empty() || *end || program <= 0) return false;
    version = std::strtol(vers.c_str(), &end, 10);
    return !vers.empty() && !*end && version > 0;
}

} // namespace

Status::Status() : list_(STF_CreateList(nullptr)) {
    if (!list_) {
        std::fputs("vrprint: out of memory\n", stderr);
        std::exit(kExitLocal);
    }
}

Status::~Status() { STF_DeleteList(list_); }

void Status::Print(const std::string &what) const {
    std::fprintf(stderr, "vrprint: %s:\n", what.c_str());
    STF_PutMessages(list_, STF_MSG_NEWLINE, nullptr, Sink, nullptr);
}

int ExitFor(uint32_t code) {
    for (uint32_t c : kUnreachable)
        if (c == code) return kExitUnreachable;
    return (code >> 16) == 0xC009u || (code >> 16) == 0xC010u ? kExitRefused : kExitLocal;
}

// The exit code of a failed call: unreachable when any entry says so.
int ExitForList(STF_List *list) {
    STF_ObjectInfo info{};
    int exit = ExitFor(STF_GetStatus(list));
    for (uint32_t i = 1; exit != kExitUnreachable && STF_GetObjectInfo(list, i, &info) == 0; ++i)
        if (ExitFor(info.code) == kExitUnreachable) exit = kExitUnreachable;
    return exit;
}

void Complain(const std::string &text) { std::fprintf(stderr, "vrprint: %s\n", text.c_str()); }

void PrintDpaError(const std::string &what, ERDPA_ErrorResult *error) {
    char *text = ErrorResult2String(error);
    Complain(what + ": the server refused: " + (text ? text : "(no text)"));
    GENU__CoveredFree(text);
    Status st;
    ERDPA_FreeError(st, error);
}

Session::~Session() {
    if (bound_) {
        Status st;
        ODP_Terminate(st);
    }
    if (names_) NS_Term();
    if (messages_) MSG_UsageEnd();
}

int Session::Start(const Options &options, bool bind) {
    messages_ = MSG_UsageBegin("VRPRINT") == 0;
    if (!bind) return kExitOk;
    // Without a name server configured, the name service is the local files
    // the print server registers itself in.
    const char *pgr = "Software\\Halvane\\Tessaril\\pgr";
    char address[256];
    if (!std::getenv("NS_MS_LF") && VR_RegGetDword(pgr, "EnableLocalFile", 2) == 2 &&
        VR_RegGetString(pgr, "ServerAddress", nullptr, address, sizeof address) < 0)
        setenv("NS_MS_LF", "1", 1);
    int32_t rc = NS_Init(nullptr, NS_CLASS_NONE);
    if (rc != NS_OK && !(options.onc && options.server.find(':') != std::string::npos)) {
        Complain("cannot start the name service: " + std::string(NsText(rc)) + " (code " +
                 std::to_string(rc) + ")");
        return kExitUnreachable;
    }
    names_ = rc == NS_OK;
    return Bind(options);
}

// Binds the thread: over DCE/RPC by the server's (or else the printer's)
// name; over ONC RPC to the record the name service's environment 0 holds
// for the server, or to an address given as HOST:PROGRAM[:VERSION].
int Session::Bind(const Options &options) {
    Status st;
    std::string name = options.server.empty() ? options.printer : options.server;
    if (name.empty()) {
        Complain("no server: give -s SERVER or set VRPRINT_SERVER");
        return kExitUsage;
    }
    std::string where = "cannot bind to " + name;
    if (!options.onc) {
        GEN_ObjectIdent ident{};
        ident.choice = GEN_OBJID_SIMPLE_NAME;
        if (!MakeSimpleName(ident.u.simple_name, name)) {
            Complain("not a usable server name: " + name);
            return kExitUsage;
        }
        int32_t cls = options.server.empty() ? NS_CLASS_ANY_PRN : NS_CLASS_ANY_SVR;
        if (ODP_Initialize(st, cls, ident) != 0) {
            st.Print(where);
            if (options.printer_defaulted && options.server.empty() && st.Code() == 0xC009007Cu)
                Complain("no printer was named: give -p PRINTER, or set PRINTER or VRPRINT_SERVER");
            return ExitForList(st);
        }
    } else {
        NS_Object *found = nullptr;
        NS_Object given{};
        std::string host;
        long program = 0, version = 0;
        if (ParseOncAddress(name, host, program, version)) {
            given.env = NS_ENV_ONC;
            given.objClass = given.serverClass = NS_CLASS_SPOOLER;
            given.name = given.serverName = host.data();
            given.onc.host = host.data();
            given.onc.program = static_cast<int32_t>(program);
            given.onc.version = static_cast<int32_t>(version);
            given.onc.auth = NS_AUTH_SYS;
        } else {
            NS_DomainHandle domain = nullptr;
            int32_t rc = NS_CreateDomainHandle(&domain);
            if (rc == NS_OK) rc = NS_SetDomain(NS_ENV_ONC, nullptr, domain);
            int32_t cls = options.server.empty() ? NS_CLASS_ANY_PRN : NS_CLASS_ANY_SVR;
            if (rc == NS_OK) rc = NS_GetObject(cls, name.c_str(), domain, &found);
            if (domain) NS_FreeDomainHandle(domain);
            if (rc != NS_OK) {
                Complain(where + ": " + NsText(rc));
                return rc == NS_E_NOMEM ? kExitLocal : kExitUnreachable;
            }
        }
        int failed = ODP_Initialize2(st, found ? found : &given);
        if (found) NS_FreeObject(found);
        if (failed) {
            st.Print(where);
            return ExitForList(st);
        }
    }
    bound_ = true;
    if (options.timeout > 0) {
        int32_t seconds = static_cast<int32_t>(options.timeout);
        if (ODP_ClientControl(st, ODP_CONTROL_TIMEOUT, &seconds) != 0) {
            st.Print("cannot set the time-out");
            return kExitLocal;
        }
    }
    return kExitOk;
}

} // namespace vrprint
