// vrdpad: the DPA print server. Clients submit jobs, list and cancel them;
// each finished job is printed by its printer's backend.
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

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

// Printing runs on a thread of its own, so that a long print holds up
// neither the request loop (new connections) nor, while its backend runs,
// the requests. The request loop only says that there may be work.
class Printing {
  public:
    Printing(dpad::Service &service, std::mutex &gate) : service_(service), gate_(gate) {
        thread_ = std::thread([this] { Run(); });
    }
    ~Printing() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            stop_ = true;
        }
        due_changed_.notify_one();
        thread_.join();
    }
    static void Poke(void *self) {
        auto *p = static_cast<Printing *>(self);
        {
            std::lock_guard<std::mutex> hold(p->mutex_);
            p->due_ = true;
        }
        p->due_changed_.notify_one();
    }

  private:
    void Run() {
        for (std::unique_lock<std::mutex> wait(mutex_);;) {
            due_changed_.wait(wait, [this] { return due_ || stop_; });
            if (stop_) return;
            due_ = false;
            wait.unlock();
            {
                std::lock_guard<std::mutex> hold(gate_);
                service_.PrintPending();
            }
            wait.lock();
        }
    }
    dpad::Service &service_;
    std::mutex &gate_;
    std::mutex mutex_;
    std::condition_variable due_changed_;
    bool due_ = true; // the jobs found pending at start
    bool stop_ = false;
    std::thread thread_;
};

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
    int sig = 0;
    {
        Printing printing(service, gate.lock);
        dpad::NameOnc(config, true);
        sig = dpad::ServeOnc(&gate, stop_fd, Printing::Poke, &printing);
        LOG_CondMessage(6, kSource, __LINE__, "stopping on signal %d\n", sig);
        service.StopTransfers(); // and the printing after the job it prints
    }
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
