// A server of the test interface for peers in other processes: prints
// "port N" once it listens and serves until SIGTERM or SIGINT.
//   vrtest_rpc_server [--port N] [--users FILE (NTLM required, the users of FILE)]
//                     [--max-connections N] [--receive-timeout MS]
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rpc/rpc_auth.h"
#include "test_iface.h"

int main(int argc, char **argv) {
    vrcore::rpc::ServerOptions options;
    uint16_t port = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i];
        long v = std::atol(argv[i + 1]);
        if (flag == "--port") port = uint16_t(v);
        if (flag == "--max-connections") options.max_connections = size_t(v);
        if (flag == "--receive-timeout") options.receive_timeout_ms = int(v);
        if (flag == "--users") {
            if (vrcore::rpc::ServerNtlm(argv[i + 1], {}, &options.security)) return 2;
            options.require_auth = true;
        }
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    vrcore::rpc::Server server(options);
    server.AddInterface(vrtest::TestServed());
    if (server.Listen("127.0.0.1", port) != vrcore::rpc::kOk) return 1;
    std::printf("port %u\n", server.Port());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&stop, &sig);
    server.Stop();
    return 0;
}
