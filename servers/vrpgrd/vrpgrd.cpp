// vrpgrd: the name server of one domain. Servers of the domain register
// themselves, their printers, queues and groups here; clients on any host
// of the domain look them up.
#include <unistd.h>

#include <arpa/inet.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "nameservice/ns_host.h"
#include "nameservice/ns_store.h"
#include "nameservice/pgr_server.h"
#include "rpc/epm_client.h"
#include "rpc/rpc_auth.h"
#include "rpc/rpc_status.h"
#include "rpc/runtime.h"
#include "rpc/uuid.h"
#include "vrcore/log.h"

namespace {

namespace ns = vrcore::nameservice;
namespace rpc = vrcore::rpc;

constexpr const char *kSource = "vrpgrd";

const char kUsageText[] =
    "usage: vrpgrd [--domain D] [--port N] [--address A] [--store DIR]\n"
    "              [--peers FILE] [--peer DOMAIN=HOST]... [--users FILE] [--log DEST]\n"
    "\n"
    "Serves the name server of one domain until SIGTERM or SIGINT, registered\n"
    "with this host's endpoint mapper.\n"
    "\n"
    "options:\n"
    "  --domain D         the domain served (default: this computer's LAN group)\n"
    "  --port N           the TCP port (default: one the system chooses)\n"
    "  --address A        the IPv4 address to listen on (default: every address)\n"
    "  --store DIR        the name-object store's directory (default: the one\n"
    "                     local-file mode uses, the registry string\n"
    "                     \"LocalFileDirectory\" under Software\\Halvane\\Tessaril\\pgr)\n"
    "  --peers FILE       the name servers of other domains, \"DOMAIN=HOST\" a line\n"
    "  --peer DOMAIN=HOST one more of them (repeatable)\n"
    "  --users FILE       NTLM users; with them, registrations and deletions need\n"
    "                     an authenticated caller (default: VRCORE_USERS, else the\n"
    "                     registry string \"UserFile\" under Software\\Halvane\\Tessaril\\odp)\n"
    "  --log DEST         stderr (default), stdout, syslog or a log file's base path;\n"
    "                     LOG_FILE_PATH and LOG_SEVERITY override it\n"
    "  -h, --help         this text\n"
    "\n"
    "environment: MSRPC_EPUUID, the object identifier registered with the\n"
    "endpoint mapper (default: a fresh one)\n"
    "\n"
    "exit status: 0 stopped by a signal, 1 cannot start, 2 usage error\n";

int UsageError(const char *what, const char *arg) {
    std::fprintf(stderr, "vrpgrd: %s: %s\nTry 'vrpgrd --help'.\n", what, arg);
    return 2;
}

int Fail(const char *fmt, const std::string &a, const std::string &b = "") {
    std::fprintf(stderr, "vrpgrd: ");
    std::fprintf(stderr, fmt, a.c_str(), b.c_str());
    std::fputc('\n', stderr);
    return 1;
}

} // namespace

int main(int argc, char **argv) {
    uint32_t port = 0;
    std::string address, store_dir, users, log = "stderr";
    ns::PgrServerConfig config;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "-h" || flag == "--help") {
            std::fputs(kUsageText, stdout);
            return 0;
        }
        if (flag != "--domain" && flag != "--port" && flag != "--address" && flag != "--store" &&
            flag != "--peers" && flag != "--peer" && flag != "--users" && flag != "--log")
            return UsageError("unknown option", argv[i]);
        if (i + 1 == argc) return UsageError("missing value of", argv[i]);
        const char *value = argv[++i];
        if (flag == "--port") {
            char *end = nullptr;
            errno = 0;
            unsigned long v = std::strtoul(value, &end, 10);
            if (!*value || *end || errno || v > 65535)
                return UsageError("not a port number (0-65535)", value);
            port = uint32_t(v);
        } else if (flag == "--address") {
            in_addr a{};
            if (::inet_pton(AF_INET, value, &a) != 1)
                return UsageError("not an IPv4 address", value);
            address = value;
        } else if (flag == "--domain") {
            if (!ns::ValidLine(value)) return UsageError("not a domain name", value);
            config.domain = value;
        } else if (flag == "--store") {
            store_dir = value;
        } else if (flag == "--peer") {
            if (ns::ParsePeers(value, &config.peers) != 0 || !std::strchr(value, '='))
                return UsageError("not DOMAIN=HOST", value);
        } else if (flag == "--peers") {
            std::ifstream in(value);
            std::stringstream text;
            text << in.rdbuf();
            if (!in) return UsageError("cannot read the peers file", value);
            if (int line = ns::ParsePeers(text.str(), &config.peers))
                return UsageError("a line of the peers file is not DOMAIN=HOST",
                                  (std::string(value) + ":" + std::to_string(line)).c_str());
        } else if (flag == "--users") {
            users = value;
        } else {
            log = value;
        }
    }
    LOG_Init(log.c_str(), "EWAXI");
    if (config.domain.empty() &&
        (ns::host::LocalDomain(config.domain) != 0 || config.domain.empty()))
        return Fail("cannot find this computer's LAN group; name the domain with --domain%s", "");
    if (store_dir.empty()) store_dir = ns::host::StoreDir();

    rpc::ServerOptions options;
    if (users.empty()) users = rpc::DefaultUserFile();
    if (!users.empty()) {
        if (uint32_t st = rpc::ServerNtlm(users, {}, &options.security); st != rpc::kOk)
            return Fail("cannot read the user file %s (status %s)", users, std::to_string(st));
        config.writes_need_user = true;
    }

    rpc::Uuid object{};
    const char *epuuid = std::getenv("MSRPC_EPUUID");
    if (epuuid && *epuuid) {
        if (!rpc::ParseUuid(epuuid, &object)) return Fail("MSRPC_EPUUID is not a UUID: %s", epuuid);
    } else {
        object = rpc::NewUuid();
    }

    // The stop signals are taken by sigwait alone: blocked before the
    // server's threads start, which inherit the mask.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    ns::Store store;
    if (int rc = store.Init(store_dir))
        return Fail("cannot open the store in %s (result %s)", store_dir, std::to_string(rc));
    ns::PgrServer pgr(&store, config);
    rpc::Server server(options);
    server.AddInterface(pgr.Served());
    if (server.Listen(address, uint16_t(port)) != rpc::kOk)
        return Fail("cannot listen on port %s of %s", std::to_string(port),
                    address.empty() ? "every address" : address);
    uint16_t bound = server.Port();
    // Registered for the object and for any object: a client that knows
    // no object identifier asks with the nil one.
    const rpc::SyntaxId &iface = rpc::pgr::kInterface.id;
    const rpc::Uuid *const objects[] = {&object, nullptr};
    bool registered = true;
    for (const rpc::Uuid *o : objects) {
        uint32_t st = rpc::RegisterEndpoint(iface, o, bound, "name server");
        if (st != rpc::kOk) {
            registered = false;
            LOG_CondMessage(2, kSource, __LINE__,
                            "cannot register with the endpoint mapper (status %u); clients "
                            "must be given port %u\n",
                            st, bound);
            break;
        }
    }
    LOG_CondMessage(6, kSource, __LINE__,
                    "the name server of domain %s listens on port %u, store %s, object %s\n",
                    config.domain.c_str(), bound, store_dir.c_str(),
                    rpc::FormatUuid(object).c_str());
    int sig = 0;
    while (sigwait(&stop, &sig) != 0) {}
    LOG_CondMessage(6, kSource, __LINE__, "stopping on signal %d\n", sig);
    if (registered)
        for (const rpc::Uuid *o : objects) rpc::UnregisterEndpoint(iface, o, bound, 2000);
    server.Stop();
    store.Term();
    LOG_Term();
    return 0;
}
