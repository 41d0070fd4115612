// The client of the central name server: its settings in the registry, the
// import list of name servers, the search for a server that answers and
// calls with retries on the handle found.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rpc/runtime.h"

namespace vrcore::nameservice::pgr {

// Statuses of the import of name-server bindings.
inline constexpr uint32_t kEntryNotFound = 1761;          // no import list
inline constexpr uint32_t kNameServiceUnavailable = 1762; // the registry cannot be read
inline constexpr uint32_t kImportInternalError = 1766;    // out of memory while importing
inline constexpr uint32_t kNoMoreBindings = 1806;         // the list is spent

// The settings' key and the key of the import list.
inline constexpr char kKey[] = "Software\\Halvane\\Tessaril\\pgr";
inline constexpr char kImportKey[] = "Software\\Halvane\\Tessaril\\pgr\\Import";

// Each read or write below holds the named mutex of the value's name.
struct Settings {
    uint32_t call_max_retry = 10; // "CallMaxRetry"
    uint32_t import_max_try = 5;  // "ImportMaxTry"
};
Settings ReadSettings();
// "ServerAddress", "" when unset.
std::string ReadServerAddress();
// Writes "ServerAddress" as a plain string. 0 or an errno value.
int WriteServerAddress(const std::string &host);

// The import list: the string values under kImportKey whose names are
// decimal numbers, in the order of those numbers (other names are
// ignored). kOk (rpc), kEntryNotFound when the key holds none,
// kNameServiceUnavailable when the registry file cannot be read.
uint32_t ReadImportList(std::vector<std::string> *out);

// Waits `ms` milliseconds; tests count instead.
using Pause = std::function<void(uint32_t ms)>;

// Runs `attempt`, and again after a pause of factor × n² ms before retry n
// while it returns a status `retryable` accepts, at most `retries` times.
// The last status.
uint32_t WithRetries(uint32_t retries, uint32_t factor, bool (*retryable)(uint32_t status),
                     const std::function<uint32_t()> &attempt, const Pause &pause);

// A binding to one name server: its host and TCP port, and the connection
// the calls share.
struct Handle {
    std::string host;
    uint16_t port = 0;
    std::unique_ptr<rpc::ClientConnection> connection;
};

// One environment's client. Thread-safe: the current handle is read and
// replaced under its mutex, the import under another.
class Client {
  public:
    explicit Client(Pause pause = {});
    // Reads the settings.
    void Start();
    // A handle to the PGR server on `host`: its endpoint resolved with the
    // host's endpoint mapper (a busy mapper retried "ImportMaxTry" times),
    // or given in `endpoint`. Null when it cannot be resolved.
    std::shared_ptr<Handle> Bind(const std::string &host, const std::string &endpoint = {});
    // A call of the interface on a connection: an rpc status.
    using Call = std::function<uint32_t(rpc::ClientConnection &)>;
    // Searches handles (the current one, the server of "ServerAddress",
    // the import list) and makes `call` on each, retried "CallMaxRetry"
    // times while it fails, until one completes; that handle becomes
    // current and "ServerAddress" names it. The search is made twice when
    // the import list is spent without a handle. rpc kOk, the last failed
    // call's status, or 18 (no name server).
    uint32_t Run(const Call &call);
    // The call, retried, on one handle.
    uint32_t CallOn(Handle &h, const Call &call);
    std::shared_ptr<Handle> Current();
    void MakeCurrent(std::shared_ptr<Handle> h, bool remember);
    void Stop();

  private:
    uint32_t Search(const Call &call, bool *found);
    void Wait(uint32_t ms);
    Pause pause_;
    Settings settings_;
    std::mutex current_mutex_;
    std::shared_ptr<Handle> current_;
    std::mutex import_mutex_;
};

// Dotted IPv4 address of a host, "" when it has none.
std::string DottedAddress(const std::string &host);

} // namespace vrcore::nameservice::pgr
