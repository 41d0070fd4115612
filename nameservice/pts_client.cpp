// The PTS client and its cache.
#include "nameservice/pts_client.h"

#include <chrono>
#include <map>
#include <mutex>
#include <strings.h>

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

struct Cache {
    std::mutex mutex;
    int call_seconds = 20;
    Clock::duration keep = std::chrono::seconds(60);
    std::map<std::string, Clock::time_point, NoCase> unreachable;
    std::map<std::string, Cached> answers;
};
Cache g_cache;

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

// One call of procedure `proc` on `host`; false when the client cannot be
// made (setting *pmap when the port mapper failed) or the call fails.
template <class In, class Out> bool Call(const char *host, rpcproc_t proc, xdrproc_t in_proc,
                                         In *in, xdrproc_t out_proc, Out *out,
                                         bool *pmap = nullptr) {
    timeval tv = CallTime();
    CLIENT *cl = clnt_create_timed(host, kProgram, kVersion, "udp", &tv);
    if (!cl) {
        if (pmap) *pmap = PortMapperFailed(rpc_createerr.cf_stat);
        return false;
    }
    clnt_stat st = clnt_call(cl, proc, in_proc, reinterpret_cast<char *>(in), out_proc,
                             reinterpret_cast<char *>(out), tv);
    clnt_destroy(cl);
    return st == RPC_SUCCESS;
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
}

void ClientStop() {
    std::lock_guard<std::mutex> g(g_cache.mutex);
    g_cache.unreachable.clear();
    g_cache.answers.clear();
}

bool Lookup(const std::string &host, const std::string &name, Binding &out) {
    if (int hit = FromCache(host, name, out)) return hit > 0;
    ObjectName in;
    if (!SetName(in, name)) return false;
    Binding b;
    bool pmap = false;
    bool ok = Call(host.c_str(), kGet, Proc(XdrObjectName), &in, Proc(XdrBinding), &b, &pmap);
    std::lock_guard<std::mutex> g(g_cache.mutex);
    Clock::time_point expiry = Clock::now() + g_cache.keep;
    if (!ok) {
        if (pmap) g_cache.unreachable[host] = expiry;
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
