// vrepmd: the endpoint mapper of this host. Servers on this host register
// the ports of their interfaces; clients on any host ask for them.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "rpc/epm_client.h"
#include "rpc/epm_server.h"
#include "rpc/rpc_status.h"
#include "rpc/runtime.h"
#include "vrcore/log.h"

namespace {

constexpr const char *kSource = "vrepmd";

const char kUsageText[] =
    "usage: vrepmd [--port N] [--address A] [--log DEST]\n"
    "\n"
    "Serves the endpoint mapper of this host until SIGTERM or SIGINT.\n"
    "\n"
    "options:\n"
    "  --port N      the TCP port (default: the registry dword\n"
    "                \"EndpointMapperPort\" under Software\\Halvane\\Tessaril\\odp,\n"
    "                else 135)\n"
    "  --address A   the IPv4 address to listen on (default: every address)\n"
    "  --log DEST    stderr (default), stdout, syslog or a log file's base path;\n"
    "                LOG_FILE_PATH and LOG_SEVERITY override it\n"
    "  -h, --help    this text\n"
    "\n"
    "exit status: 0 stopped by a signal, 1 cannot listen, 2 usage error\n";

int UsageError(const char *what, const char *arg) {
    std::fprintf(stderr, "vrepmd: %s: %s\nTry 'vrepmd --help'.\n", what, arg);
    return 2;
}

// Why the listening socket could not be made, for the message.
int BindError(const std::string &address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (!address.empty() && ::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) return EINVAL;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return errno;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    int err = ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0 ? 0 : errno;
    ::close(fd);
    return err;
}

} // namespace

int main(int argc, char **argv) {
    uint32_t port = 0;
    bool port_given = false;
    std::string address;
    std::string log = "stderr";
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "-h" || flag == "--help") {
            std::fputs(kUsageText, stdout);
            return 0;
        }
        if (flag != "--port" && flag != "--address" && flag != "--log")
            return UsageError("unknown option", argv[i]);
        if (i + 1 == argc) return UsageError("missing value of", argv[i]);
        const char *value = argv[++i];
        if (flag == "--port") {
            char *end = nullptr;
            errno = 0;
            unsigned long v = std::strtoul(value, &end, 10);
            if (!*value || *end || errno || v == 0 || v > 65535)
                return UsageError("not a port number (1-65535)", value);
            port = uint32_t(v);
            port_given = true;
        } else if (flag == "--address") {
            in_addr a{};
            if (::inet_pton(AF_INET, value, &a) != 1)
                return UsageError("not an IPv4 address", value);
            address = value;
        } else {
            log = value;
        }
    }
    LOG_Init(log.c_str(), "EWAXI");
    if (!port_given) port = vrcore::rpc::MapperPort();

    // The stop signals are taken by sigwait alone: blocked before the
    // server's threads start, which inherit the mask.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    vrcore::rpc::epm::Mapper mapper;
    vrcore::rpc::Server server;
    server.AddInterface(mapper.Served());
    if (server.Listen(address, uint16_t(port)) != vrcore::rpc::kOk) {
        int err = BindError(address, uint16_t(port));
        const char *where = address.empty() ? "every address" : address.c_str();
        if (err == EACCES && port < 1024) {
            std::fprintf(stderr,
                         "vrepmd: cannot listen on port %u of %s: permission denied; ports "
                         "below 1024 need root or the capability CAP_NET_BIND_SERVICE "
                         "(setcap cap_net_bind_service=+ep, or AmbientCapabilities= in the "
                         "service unit), or choose another port with --port or the registry "
                         "value EndpointMapperPort\n",
                         port, where);
        } else {
            std::fprintf(stderr, "vrepmd: cannot listen on port %u of %s: %s\n", port, where,
                         err ? std::strerror(err) : "see the log");
        }
        LOG_CondMessage(1, kSource, __LINE__, "cannot listen on port %u of %s: %s\n", port, where,
                        err ? std::strerror(err) : "unknown error");
        return 1;
    }
    LOG_CondMessage(6, kSource, __LINE__, "the endpoint mapper listens on port %u\n",
                    server.Port());
    int sig = 0;
    while (sigwait(&stop, &sig) != 0) {}
    LOG_CondMessage(6, kSource, __LINE__, "stopping on signal %d with %zu entries\n", sig,
                    mapper.Size());
    server.Stop();
    LOG_Term();
    return 0;
}
