// The PTS client, its cache and its kept clients.
#include "nameservice/pts_client.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <strings.h>
#include <vector>

namespace vrcore::nameservice::pts {

namespace {

using Clock = std::chrono::steady_clock;

struct NoCase {
    bool operator()(const std::string &a, const std::string &b) const {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

struct Cached {
    Clock::time_point expiry;
    Binding binding;
};

// A client kept between calls to a host, and the process that made it (a
// child after fork makes its own: the socket would be shared).
struct Kept {
    std::string host;
    CLIENT *client;
    pid_t pid;
};
constexpr size_t kMaxKept = 8;

struct Cache {
    std::mutex mutex;
    int call_seconds = 20;
    Clock::duration keep = std::chrono::seconds(60);
    std::map<std::string, Clock::time_point, NoCase> unreachable;
    std::map<std::string, Cached> answers;
    std::vector<Kept> kept; // idle clients, the most recently used last
    ~Cache() {
        for (Kept &k : kept) clnt_destroy(k.client);
    }
};
Cache g_cache;

// The kept clients of a host (or of every host, or those another process
// made) are destroyed. Under the mutex.
void DropKept(const char *host) {
    pid_t self = getpid();
    auto gone = [&](const Kept &k) {
        if (host && k.pid == self && strcasecmp(k.host.c_str(), host) != 0) return false;
        clnt_destroy(k.client);
        return true;
    };
    g_cache.kept.erase(std::remove_if(g_cache.kept.begin(), g_cache.kept.end(), gone),
                       g_cache.kept.end());
}

// A kept client of the host, taken out of the table for the caller alone;
// null when there is none.
CLIENT *TakeKept(const std::string &host) {
    std::lock_guard<std::mutex> g(g_cache.mutex);
    pid_t self = getpid();
    if (!g_cache.kept.empty() && g_cache.kept.front().pid != self) DropKept(nullptr);
    for (auto k = g_cache.kept.begin(); k != g_cache.kept.end(); ++k)
        if (strcasecmp(k->host.c_str(), host.c_str()) == 0) {
            CLIENT *cl = k->client;
            g_cache.kept.erase(k);
            return cl;
        }
    return nullptr;
}

// Puts a client that has just answered back in the table: one per host, the
// least recently used making room.
void Keep(const std::string &host, CLIENT *cl) {
    std::lock_guard<std::mutex> g(g_cache.mutex);
    DropKept(host.c_str());
    if (g_cache.kept.size() >= kMaxKept) {
        clnt_destroy(g_cache.kept.front().client);
        g_cache.kept.erase(g_cache.kept.begin());
    }
    g_cache.kept.push_back(Kept{host, cl, getpid()});
}

// Client creation failures that mean the host's port mapper did not answer.
// The RPC library reports a silent one as a time-out and a refusing one as
// a receive failure, besides the port-mapper failure itself.
bool PortMapperFailed(clnt_stat st) {
    return st == RPC_PMAPFAILURE || st == RPC_TIMEDOUT || st == RPC_CANTRECV || st == RPC_CANTSEND;
}

timeval CallTime() {
    std::lock_guard<std::mutex> g(g_cache.mutex);
    return timeval{g_cache.call_seconds, 0};
}

// One call of procedure `proc` on `host`, through the host's kept client or
// a new one; false when the client cannot be made (setting *pmap when the
// port mapper failed) or the call fails. A kept client that fails other than
// by a time-out may address a service since restarted on another port: a
// new client tries once more.
template <class In, class Out> bool Call(const std::string &host, rpcproc_t proc, xdrproc_t in_proc,
                                         In *in, xdrproc_t out_proc, Out *out,
                                         bool *pmap = nullptr) {
    timeval tv = CallTime();
    CLIENT *cl = TakeKept(host);
    for (bool kept = cl != nullptr;; kept = false) {
        if (!cl && !(cl = clnt_create_timed(host.c_str(), kProgram, kVersion, "udp", &tv))) {
            if (pmap) *pmap = PortMapperFailed(rpc_createerr.cf_stat);
            return false;
        }
        clnt_stat st = clnt_call(cl, proc, in_proc, reinterpret_cast<char *>(in), out_proc,
                                 reinterpret_cast<char *>(out), tv);
        if (st == RPC_SUCCESS) {
            Keep(host, cl);
            return true;
        }
        clnt_destroy(cl);
        cl = nullptr;
        if (!kept || st == RPC_TIMEDOUT) return false;
    }
}

// The cached answer for a name, with the host's unreachable mark checked
// first; expired entries are dropped. 1 answered, 0 ask, -1 no answer.
int FromCache(const std::string &host, const std::string &name, Binding &out) {
    std::lock_guard<std::mutex> g(g_cache.mutex);
    Clock::time_point now = Clock::now();
    if (auto h = g_cache.unreachable.find(host); h != g_cache.unreachable.end()) {
        if (now < h->second) return -1;
        g_cache.unreachable.erase(h);
    }
    if (auto a = g_cache.answers.find(name); a != g_cache.answers.end()) {
        if (now < a->second.expiry) {
            out = a->second.binding;
            return 1;
        }
        g_cache.answers.erase(a);
    }
    return 0;
}

void Forget(const std::string &name) {
    std::lock_guard<std::mutex> g(g_cache.mutex);
    g_cache.answers.erase(name);
}

} // namespace

void ClientStart(int call_seconds, int cache_seconds) {
    std::lock_guard<std::mutex> g(g_cache.mutex);
    g_cache.call_seconds = call_seconds;
    g_cache.keep = std::chrono::seconds(cache_seconds);
    g_cache.unreachable.clear();
    g_cache.answers.clear();
    DropKept(nullptr);
}

void ClientStop() {
    std::lock_guard<std::mutex> g(g_cache.mutex);
    g_cache.unreachable.clear();
    g_cache.answers.clear();
    DropKept(nullptr);
}

bool Lookup(const std::string &host, const std::string &name, Binding &out) {
    if (int hit = FromCache(host, name, out)) return hit > 0;
    ObjectName in;
    if (!SetName(in, name)) return false;
    Binding b;
    bool pmap = false;
    bool ok = Call(host, kGet, Proc(XdrObjectName), &in, Proc(XdrBinding), &b, &pmap);
    std::lock_guard<std::mutex> g(g_cache.mutex);
    Clock::time_point expiry = Clock::now() + g_cache.keep;
    if (!ok) {
        if (pmap) g_cache.unreachable[host] = expiry, DropKept(host.c_str());
        return false;
    }
    if (!b.object.name[0]) return false;
    g_cache.answers[name] = Cached{expiry, b};
    out = b;
    return true;
}

// This process's own changes replace what it remembered of the name.
int32_t Add(const Binding &b) {
    Forget(b.object.name);
    Binding in = b;
    int32_t status = kFailed;
    return Call("localhost", kAdd, Proc(XdrBinding), &in, Proc(xdr_int), &status) ? status
                                                                                  : kFailed;
}

int32_t Delete(const std::string &name) {
    Forget(name);
    ObjectName in;
    if (!SetName(in, name)) return kBadName;
    int32_t status = kFailed;
    return Call("localhost", kDelete, Proc(XdrObjectName), &in, Proc(xdr_int), &status) ? status
                                                                                        : kFailed;
}

} // namespace vrcore::nameservice::pts
