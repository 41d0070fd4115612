// The central name server's client: settings, the import list, the search
// for a server and calls with retries.
#include "nameservice/pgr_client.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <netdb.h>
#include <new>
#include <thread>

#include "rpc/credentials.h"
#include "rpc/epm_client.h"
#include "rpc/idl_pgr.h"
#include "rpc/rpc_auth.h"
#include "rpc/rpc_status.h"
#include "rpc/string_binding.h"
#include "system/config.h"
#include "vrcore/ns.h"

namespace vrcore::nameservice::pgr {

namespace {

constexpr int kTimeoutMs = 30000;

// Runs `f` holding the named mutex of the value `name`. Without the
// mutex (its lock file cannot be made) the access goes ahead: each read
// and write of the file is atomic by itself.
template <class F> auto UnderMutex(const char *name, F &&f) {
    system::cfg::NamedMutex m;
    bool held = m.Open(name) == 0 && m.Lock(kTimeoutMs) == 0;
    auto r = f();
    if (held) m.Unlock();
    return r;
}

uint32_t ReadDword(const char *name, uint32_t dflt) {
    return UnderMutex(name, [&] { return system::cfg::Registry().GetDword(kKey, name, dflt); });
}

bool ServerBusy(uint32_t st) { return st == rpc::kServerTooBusy; }
bool ImportRetryable(uint32_t st) {
    return st == kEntryNotFound || st == kNameServiceUnavailable || st == kImportInternalError;
}
bool CallFailed(uint32_t st) { return st != rpc::kOk; }

} // namespace

Settings ReadSettings() {
    Settings s;
    s.call_max_retry = ReadDword("CallMaxRetry", s.call_max_retry);
    s.import_max_try = ReadDword("ImportMaxTry", s.import_max_try);
    return s;
}

std::string ReadServerAddress() {
    return UnderMutex("ServerAddress",
                      [] { return system::cfg::Registry().GetString(kKey, "ServerAddress", ""); });
}

int WriteServerAddress(const std::string &host) {
    return UnderMutex("ServerAddress", [&] {
        return system::cfg::Registry().SetString(kKey, "ServerAddress", host);
    });
}

uint32_t ReadImportList(std::vector<std::string> *out) {
    return UnderMutex("Import", [&]() -> uint32_t {
        try {
            system::cfg::RegDocument doc;
            int rc = system::cfg::Registry().Load(doc);
            if (rc == ENOENT) return kEntryNotFound;
            if (rc) return kNameServiceUnavailable;
            std::vector<std::pair<unsigned long, std::string>> numbered;
            for (const auto &v : doc.Values(kImportKey)) {
                if (v.type != system::cfg::RegType::String &&
                    v.type != system::cfg::RegType::ExpandString)
                    continue;
                if (v.name.empty() || v.name.size() > 9 ||
                    !std::all_of(v.name.begin(), v.name.end(),
                                 [](char c) { return c >= '0' && c <= '9'; }))
                    continue;
                numbered.emplace_back(std::stoul(v.name), v.text);
            }
            if (numbered.empty()) return kEntryNotFound;
            std::stable_sort(numbered.begin(), numbered.end(),
                             [](const auto &a, const auto &b) { return a.first < b.first; });
            out->clear();
            for (auto &n : numbered) out->push_back(std::move(n.second));
            return rpc::kOk;
        } catch (const std::bad_alloc &) {
            return kImportInternalError;
        }
    });
}

uint32_t WithRetries(uint32_t retries, uint32_t factor, bool (*retryable)(uint32_t),
                     const std::function<uint32_t()> &attempt, const Pause &pause) {
    uint32_t st = attempt();
    for (uint32_t n = 1; n <= retries && retryable(st); ++n) {
        pause(factor * n * n);
        st = attempt();
    }
    return st;
}

std::string DottedAddress(const std::string &host) {
    in_addr a{};
    if (inet_pton(AF_INET, host.c_str(), &a) == 1) return host;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo *res = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return {};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr, text, sizeof text);
    freeaddrinfo(res);
    return text;
}

Client::Client(Pause pause) : pause_(std::move(pause)) {}

void Client::Start() { settings_ = ReadSettings(); }

void Client::Wait(uint32_t ms) {
    if (pause_)
        pause_(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::shared_ptr<Handle> Client::Bind(const std::string &host, const std::string &endpoint) {
    auto h = std::make_shared<Handle>();
    h->host = host;
    if (!endpoint.empty()) {
        unsigned long p = std::strtoul(endpoint.c_str(), nullptr, 10);
        if (p == 0 || p > 65535) return nullptr;
        h->port = static_cast<uint16_t>(p);
    } else {
        uint32_t st = WithRetries(
            settings_.import_max_try, 5, ServerBusy,
            [&] {
                return rpc::ResolveEndpoint(host, rpc::pgr::kInterface.id, nullptr, kTimeoutMs,
                                            &h->port);
            },
            [this](uint32_t ms) { Wait(ms); });
        if (st != rpc::kOk) return nullptr;
    }
    rpc::ClientOptions options;
    options.timeout_ms = kTimeoutMs;
    // A configured identity authenticates the connection; without one the
    // client binds unauthenticated (a server that asks for a user refuses
    // its registrations).
    rpc::NtlmIdentity identity;
    if (rpc::DefaultIdentity(&identity) == rpc::kOk && !identity.user.empty())
        options.security = rpc::ClientNtlm(std::move(identity));
    h->connection =
        std::make_unique<rpc::ClientConnection>(h->host, h->port, rpc::pgr::kInterface.id, options);
    return h;
}

uint32_t Client::CallOn(Handle &h, const Call &call) {
    return WithRetries(
        settings_.call_max_retry, 1, CallFailed, [&] { return call(*h.connection); },
        [this](uint32_t ms) { Wait(ms); });
}

std::shared_ptr<Handle> Client::Current() {
    std::lock_guard<std::mutex> lock(current_mutex_);
    return current_;
}

void Client::MakeCurrent(std::shared_ptr<Handle> h, bool remember) {
    if (remember) {
        std::string dotted = DottedAddress(h->host);
        std::string preset = ReadServerAddress();
        if (!dotted.empty() && (preset.empty() || DottedAddress(preset) != dotted))
            WriteServerAddress(dotted);
    }
    std::lock_guard<std::mutex> lock(current_mutex_);
    current_ = std::move(h);
}

uint32_t Client::Search(const Call &call, bool *found) {
    *found = false;
    uint32_t last = NS_E_UNREACHABLE;
    auto attempt = [&](const std::shared_ptr<Handle> &h, bool adopt) {
        if (!h) return false;
        *found = true;
        last = CallOn(*h, call);
        if (last != rpc::kOk) return false;
        if (adopt) MakeCurrent(h, true);
        return true;
    };
    if (attempt(Current(), false)) return rpc::kOk;
    std::string preset = ReadServerAddress();
    if (!preset.empty() && attempt(Bind(preset), true)) return rpc::kOk;

    // The import: one reader of the list at a time.
    std::vector<std::string> imported;
    {
        std::lock_guard<std::mutex> lock(import_mutex_);
        uint32_t st = WithRetries(
            settings_.import_max_try, 5, ImportRetryable, [&] { return ReadImportList(&imported); },
            [this](uint32_t ms) { Wait(ms); });
        if (st != rpc::kOk) return *found ? last : NS_E_UNREACHABLE;
    }
    for (const auto &text : imported) {
        rpc::StringBinding b;
        if (rpc::ParseStringBinding(text, &b) != rpc::kOk) continue;
        if (attempt(Bind(b.network_address, b.endpoint), true)) return rpc::kOk;
    }
    // The list is spent.
    return *found ? last : NS_E_END;
}

uint32_t Client::Run(const Call &call) {
    bool found = false;
    uint32_t st = Search(call, &found);
    if (st == NS_E_END && !found) st = Search(call, &found);
    if (!found) return NS_E_UNREACHABLE;
    return st;
}

void Client::Stop() {
    std::lock_guard<std::mutex> lock(current_mutex_);
    current_.reset();
}

} // namespace vrcore::nameservice::pgr
