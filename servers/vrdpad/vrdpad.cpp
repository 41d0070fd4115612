// vrdpad: the DPA print server. Clients submit jobs, list and cancel them;
// each finished job is printed by its printer's backend.
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dpad_config.h"
#include "dpad_dce.h"
#include "dpad_onc.h"
#include "dpad_ops.h"
#include "dpad_store.h"
#include "vrcore/ft.h"
#include "vrcore/log.h"

namespace {

namespace dpad = vrcore::dpad;
constexpr const char *kSource = "vrdpad";

bool g_log_is_stderr = true;

// Reports why the server cannot start: on stderr, and in the log when it
// goes elsewhere.
int Fail(const std::string &why) {
    std::fprintf(stderr, "vrdpad: %s\n", why.c_str());
    if (!g_log_is_stderr) LOG_CondMessage(1, kSource, __LINE__, "%s\n", why.c_str());
    return dpad::kExitStart;
}

// A fresh random UUID, the object this server registers under.
std::string NewUuid() {
    std::string text;
    if (FILE *f = std::fopen("/proc/sys/kernel/random/uuid", "r")) {
        char buf[64] = {};
        if (std::fgets(buf, sizeof buf, f)) text.assign(buf, strnlen(buf, 36));
        std::fclose(f);
    }
    return text;
}

void PrintPending(void *service) { static_cast<dpad::Service *>(service)->PrintPending(); }

} // namespace

int main(int argc, char **argv) {
    dpad::Config config;
    if (int rc = dpad::ParseCommandLine(argc, argv, &config); rc >= 0) return rc;
    LOG_Init(config.log.c_str(), "EWAXI");
    const char *env_log = std::getenv("LOG_FILE_PATH");
    g_log_is_stderr = (env_log && *env_log ? std::string(env_log) : config.log) == "stderr";
    std::string why;
    if (!dpad::Types().Find()) return Fail("the library lacks a value type the server needs");
    if (!dpad::LoadPrinters(&config, &why)) return Fail(why);

    // The stop signals arrive through a descriptor the request loop polls.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    int stop_fd = signalfd(-1, &stop, SFD_CLOEXEC);
    if (stop_fd < 0) return Fail("cannot receive signals");

    dpad::Store store;
    if (!store.Open(config.root, &why)) return Fail(why);
    FT_Init();
    dpad::Notifier notifier(config.name, config.listeners);
    dpad::Service service(config, store, notifier);
    dpad::Gate gate{&service, {}, eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK), config.require_auth};
    if (gate.wake_fd < 0) return Fail("cannot make an event descriptor");
    service.Attach(&gate.lock, gate.wake_fd);
    if (config.name_service == "local") setenv("NS_MS_LF", "1", 0);
    if (!std::getenv("MSRPC_EPUUID")) setenv("MSRPC_EPUUID", NewUuid().c_str(), 1);
    RPCS_Server *dce = nullptr;
    if (!dpad::StartDce(config, &gate, &dce, &why)) return Fail(why);
    dpad::RegisterDce(config, dce); // before rpcbind knows the server: then it is complete
    if (config.onc_program &&
        !dpad::StartOnc(&gate, config.onc_program, config.onc_version, config.max_request)) {
        dpad::StopDce(config, dce);
        return Fail("cannot register ONC RPC program " + std::to_string(config.onc_program) +
                    " with rpcbind");
    }
    LOG_CondMessage(6, kSource, __LINE__,
                    "%s serves ONC RPC program %u, DCE/RPC port %u; %zu printers, %zu jobs, "
                    "root %s\n",
                    config.name.c_str(), config.onc_program, dce ? RPCS_Port(dce) : 0,
                    config.printers.size(), store.Jobs().size(), config.root.c_str());
    {
        std::lock_guard<std::mutex> hold(gate.lock);
        service.PrintPending();
    }
    dpad::NameOnc(config, true);
    int sig = dpad::ServeOnc(&gate, stop_fd, PrintPending, &service);
    LOG_CondMessage(6, kSource, __LINE__, "stopping on signal %d\n", sig);
    service.StopTransfers();
    dpad::NameOnc(config, false);
    if (config.onc_program) dpad::StopOnc(config.onc_program, config.onc_version);
    dpad::StopDce(config, dce);
    ::close(gate.wake_fd);
    FT_Shutdown();
    store.Close();
    LOG_Term();
    ::close(stop_fd);
    return dpad::kExitOk;
}
