// Hostile requests to the print server: the first byte picks the operation
// (past the highest one too), the rest is its encoded argument, answered by
// the server's request handling over a job store in a scratch directory
// with one printer that prints into a directory. Every request gets either
// a result that decodes as the operation's result or an error that
// decodes, and the printing pass runs after it as the main loop runs it.
// The store is begun afresh every few hundred inputs, so that it stays
// small however long the run.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "dpad_ops.h"
#include "vrcore/erdpa.h"
#include "vrcore/ft.h"
#include "dpad_scratch.h"
#include "vrcore/log.h"

namespace {

namespace dpad = vrcore::dpad;

constexpr int kOperations = 32; // the operations are 0 to 29: two unknown ones
constexpr unsigned kInputsPerStore = 300;

struct Server {
    std::string root;
    dpad::Config config;
    dpad::Store store;
    dpad::Notifier notifier{"fuzz", {}}; // no listeners: no events sent
    std::unique_ptr<dpad::Service> service;

    explicit Server(const std::string &dir) : root(dir) {
        config.root = root;
        config.name = "fuzz";
        config.printers.push_back(
            {"default", dpad::BackendKind::kDirectory, root + "/printed", ""});
        std::string why;
        if (!store.Open(root, &why)) std::abort();
        service = std::make_unique<dpad::Service>(config, store, notifier);
    }
    ~Server() {
        service.reset();
        store.Close();
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

// The process's stores, one after another in a directory of its own,
// with the registry file the printer settings go to.
struct Fixture {
    std::string dir = ScratchBase() + "/dpad_request_fuzz." + std::to_string(::getpid());
    std::unique_ptr<Server> server;
    unsigned inputs = 0, stores = 0;

    Fixture() {
        LOG_Init("/dev/null", nullptr); // refusals and store failures are reported
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        if (!std::filesystem::create_directories(dir, ec)) std::abort();
        ::setenv("VRCORE_REGISTRY", (dir + "/registry.reg").c_str(), 1);
        if (!dpad::Types().Find()) std::abort();
        FT_Init();
    }
    ~Fixture() {
        server.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    dpad::Service &Next() {
        if (!server || inputs++ == kInputsPerStore) {
            server.reset();
            server = std::make_unique<Server>(dir + "/" + std::to_string(stores++));
            inputs = 1;
        }
        return *server->service;
    }
};

// The reply is one of the two, each decoding as what it claims to be.
void CheckReply(int32_t operation, const dpad::Reply &r) {
    if (r.result.empty() == r.error.empty() || (r.kind != 0) != !r.error.empty()) std::abort();
    if (!r.error.empty()) {
        STF_List *st = STF_CreateList(nullptr);
        ERDPA_ErrorResult *e = nullptr;
        if (ERDPA_DecodeError(st, r.kind, reinterpret_cast<const unsigned char *>(r.error.data()),
                              uint32_t(r.error.size()), &e) != 0)
            std::abort();
        ERDPA_FreeError(st, e);
        STF_DeleteList(st);
        return;
    }
    int pdu = ODP_ResultPDU(operation);
    GENU_Buffer in{uint32_t(r.result.size()),
                   reinterpret_cast<unsigned char *>(const_cast<char *>(r.result.data()))};
    void *value = nullptr;
    if (pdu <= 0 || GENU_OssDecode(nullptr, &pdu, &in, &value) != 0) std::abort();
    GENU_OssFreePDU(nullptr, pdu, value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    static Fixture f;
    dpad::Service &service = f.Next();
    int32_t operation = data[0] % kOperations;
    CheckReply(operation, service.Handle(operation, data + 1, size - 1));
    service.PrintPending();
    return 0;
}
