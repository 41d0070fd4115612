// The name server's procedures over the local name-object store.
#include "nameservice/pgr_server.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "rpc/rpc_status.h"
#include "system/fileio.h"
#include "vrcore/log.h"

namespace vrcore::nameservice {

namespace pgr = rpc::pgr;

namespace {

using system::fileio::TrimBlanks;

constexpr const char *kSource = "pgr_server";

template <class T> T *AllocArray(rpc::ndr::Arena *arena, size_t n) {
    auto *p = static_cast<T *>(arena->Alloc(n ? n * sizeof(T) : 1));
    if (!p) throw std::bad_alloc();
    return p;
}

char *Dup(rpc::ndr::Arena *arena, std::string_view s) {
    char *p = AllocArray<char>(arena, s.size() + 1);
    std::memcpy(p, s.data(), s.size());
    p[s.size()] = '\0';
    return p;
}

// The address the caller reached, else this computer's name.
std::string OwnHost() {
    const rpc::CallInfo *call = rpc::CurrentCall();
    static const uint8_t kNone[4] = {};
    if (call && std::memcmp(call->local_address, kNone, 4) != 0) {
        char text[INET_ADDRSTRLEN];
        if (::inet_ntop(AF_INET, call->local_address, text, sizeof text)) return text;
    }
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

template <class In, class Out, auto Proc>
uint32_t Call(void *ctx, const rpc::Uuid *, const void *in, void *out, rpc::ndr::Arena *) {
    return (static_cast<PgrServer *>(ctx)->*Proc)(*static_cast<const In *>(in),
                                                  static_cast<Out *>(out));
}

template <class In, class Out, auto Proc> uint32_t
CallArena(void *ctx, const rpc::Uuid *, const void *in, void *out, rpc::ndr::Arena *arena) {
    return (static_cast<PgrServer *>(ctx)->*Proc)(*static_cast<const In *>(in),
                                                  static_cast<Out *>(out), arena);
}

uint32_t GetDomainHandler(void *ctx, const rpc::Uuid *, const void *, void *out,
                          rpc::ndr::Arena *arena) {
    return static_cast<PgrServer *>(ctx)->GetDomain(static_cast<pgr::StringOut *>(out), arena);
}

uint32_t ListDomainsHandler(void *ctx, const rpc::Uuid *, const void *, void *out,
                            rpc::ndr::Arena *arena) {
    return static_cast<PgrServer *>(ctx)->ListDomains(static_cast<pgr::StringListOut *>(out),
                                                      arena);
}

const rpc::Handler kHandlers[] = {
    GetDomainHandler,
    Call<pgr::IdentityIn, pgr::ResultOut, &PgrServer::Delete>,
    Call<pgr::CreateIn, pgr::CreateOut, &PgrServer::Create>,
    CallArena<pgr::IdentityIn, pgr::GetObjectOut, &PgrServer::Get>,
    CallArena<pgr::IdentityIn, pgr::IdentityListOut, &PgrServer::List>,
    CallArena<pgr::IdentityIn, pgr::StringOut, &PgrServer::GetHost>,
    ListDomainsHandler,
    CallArena<pgr::DomainIn, pgr::StringOut, &PgrServer::Hello>,
};

} // namespace

int ParsePeers(std::string_view text, std::vector<PgrPeer> *out) {
    int line_no = 0;
    while (!text.empty()) {
        ++line_no;
        size_t nl = text.find('\n');
        std::string_view line = TrimBlanks(text.substr(0, nl));
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (line.empty() || line.front() == '#') continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) return line_no;
        std::string_view domain = TrimBlanks(line.substr(0, eq)),
                         host = TrimBlanks(line.substr(eq + 1));
        if (domain.empty() || host.empty()) return line_no;
        out->push_back(PgrPeer{std::string(domain), std::string(host)});
    }
    return 0;
}

PgrServer::PgrServer(Store *store, PgrServerConfig config)
    : store_(store), config_(std::move(config)), stubs_{&pgr::kInterface, kHandlers, this} {}

std::string PgrServer::DomainOf(const char *domain) const {
    return domain && *domain ? std::string(domain) : config_.domain;
}

bool PgrServer::MayWrite(const char *what) const {
    if (!config_.writes_need_user) return true;
    const rpc::CallInfo *call = rpc::CurrentCall();
    if (call && call->authenticated && !call->user.empty()) return true;
    LOG_CondMessage(4, kSource, __LINE__, "%s refused to a caller that did not authenticate\n",
                    what);
    return false;
}

uint32_t PgrServer::GetDomain(pgr::StringOut *out, rpc::ndr::Arena *arena) const try {
    out->text = Dup(arena, config_.domain);
    out->result = NS_OK;
    return rpc::kOk;
} catch (const std::bad_alloc &) {
    return rpc::kOutOfMemory;
}

uint32_t PgrServer::Delete(const pgr::IdentityIn &in, pgr::ResultOut *out) try {
    const pgr::Identity &id = in.id;
    std::string domain = DomainOf(id.domain);
    if (!MayWrite("a deletion"))
        out->result = NS_E_NOTPERMITTED;
    else if (!id.name || !*id.name)
        out->result = NS_E_NAME;
    else if (!SameDomain(domain, config_.domain))
        out->result = NS_E_DOMAIN;
    else
        out->result = uint32_t(store_->Remove(Identity{id.object_class, id.name, domain}));
    if (out->result == NS_OK)
        LOG_CondMessage(6, kSource, __LINE__, "deleted %s %s of %s\n", ClassName(id.object_class),
                        id.name, domain.c_str());
    return rpc::kOk;
} catch (const std::bad_alloc &) {
    out->result = NS_E_NOMEM;
    return rpc::kOk;
}

uint32_t PgrServer::Create(const pgr::CreateIn &in, pgr::CreateOut *out) try {
    const pgr::Identity &id = in.id;
    Entry e;
    e.domain = DomainOf(id.domain);
    if (!MayWrite("a registration")) {
        out->result = NS_E_NOTPERMITTED;
        return rpc::kOk;
    }
    if (!id.name || !*id.name) {
        out->result = NS_E_NAME;
        return rpc::kOk;
    }
    if (!SameDomain(e.domain, config_.domain)) {
        out->result = NS_E_DOMAIN;
        return rpc::kOk;
    }
    e.name = id.name;
    switch (HandlerOf(id.object_class)) {
    case Handler::Server:
        for (uint32_t i = 0; in.info.bindings && i < in.info.count; ++i)
            if (in.info.bindings[i]) e.bindings.emplace_back(in.info.bindings[i]);
        if (in.info.host) e.host = in.info.host;
        e.info = in.info.info;
        break;
    case Handler::Association:
        e.server_class = in.server.object_class;
        if (in.server.name) e.server_name = in.server.name;
        e.server_domain = e.domain;
        break;
    case Handler::Group:
        for (uint32_t i = 0; in.members.items && i < in.members.count; ++i) {
            const pgr::Identity &m = in.members.items[i];
            if (!m.name) {
                out->result = NS_E_NAME;
                return rpc::kOk;
            }
            e.members.push_back(Identity{m.object_class, m.name, DomainOf(m.domain)});
        }
        break;
    case Handler::None: out->result = NS_E_CLASS; return rpc::kOk;
    }
    uint32_t flags = 0;
    out->result = uint32_t(store_->Create(id.object_class, e, in.force != 0, &flags));
    out->replaced = out->result == NS_OK && (flags & NS_FLAG_REPLACED) ? 1 : 0;
    if (out->result == NS_OK)
        LOG_CondMessage(6, kSource, __LINE__, "%s %s %s of %s\n",
                        out->replaced ? "replaced" : "registered", ClassName(id.object_class),
                        id.name, e.domain.c_str());
    return rpc::kOk;
} catch (const std::bad_alloc &) {
    out->result = NS_E_NOMEM;
    return rpc::kOk;
}

uint32_t PgrServer::Get(const pgr::IdentityIn &in, pgr::GetObjectOut *out,
                        rpc::ndr::Arena *arena) try {
    const pgr::Identity &id = in.id;
    if (!id.name || !*id.name) {
        out->result = NS_E_NAME;
        return rpc::kOk;
    }
    Found f;
    int rc = store_->Get(Identity{id.object_class, id.name, DomainOf(id.domain)}, f);
    out->found_class = uint16_t(id.object_class);
    out->server.object_class = NS_CLASS_NONE;
    if (rc == 0) {
        out->found_class = uint16_t(f.id.cls);
        out->server.object_class = uint16_t(f.server_class);
        if (!f.server_name.empty()) out->server.name = Dup(arena, f.server_name);
        out->server.domain = Dup(arena, f.id.domain);
        out->bindings.count = uint32_t(f.bindings.size());
        out->bindings.strings = AllocArray<char *>(arena, f.bindings.size());
        for (size_t i = 0; i < f.bindings.size(); ++i)
            out->bindings.strings[i] = Dup(arena, f.bindings[i]);
        out->info = f.info;
    }
    out->result = uint32_t(rc);
    return rpc::kOk;
} catch (const std::bad_alloc &) {
    return rpc::kOutOfMemory;
}

uint32_t PgrServer::List(const pgr::IdentityIn &in, pgr::IdentityListOut *out,
                         rpc::ndr::Arena *arena) try {
    const pgr::Identity &id = in.id;
    std::string domain = DomainOf(id.domain);
    std::vector<Identity> found;
    int rc = id.name && *id.name
                 ? store_->ListMembers(Identity{id.object_class, id.name, domain}, found)
                 : store_->List(id.object_class, domain, found);
    out->result = uint32_t(rc);
    if (rc != 0) return rpc::kOk;
    out->list.count = uint32_t(found.size());
    out->list.items = AllocArray<pgr::Identity>(arena, found.size());
    for (size_t i = 0; i < found.size(); ++i) {
        out->list.items[i].object_class = uint16_t(found[i].cls);
        out->list.items[i].name = Dup(arena, found[i].name);
        out->list.items[i].domain = Dup(arena, found[i].domain);
    }
    return rpc::kOk;
} catch (const std::bad_alloc &) {
    return rpc::kOutOfMemory;
}

uint32_t PgrServer::GetHost(const pgr::IdentityIn &in, pgr::StringOut *out,
                            rpc::ndr::Arena *arena) try {
    const pgr::Identity &id = in.id;
    if (!id.name || !*id.name) {
        out->result = NS_E_NAME;
        return rpc::kOk;
    }
    std::string host;
    int rc = store_->GetHost(Identity{id.object_class, id.name, DomainOf(id.domain)}, host);
    if (rc == 0) out->text = Dup(arena, host);
    out->result = uint32_t(rc);
    return rpc::kOk;
} catch (const std::bad_alloc &) {
    return rpc::kOutOfMemory;
}

// This server's domain, then its peers', then any other the store holds;
// each once, compared ignoring case.
uint32_t PgrServer::ListDomains(pgr::StringListOut *out, rpc::ndr::Arena *arena) const try {
    std::vector<std::string> names{config_.domain};
    auto add = [&names](const std::string &d) {
        for (const std::string &n : names)
            if (SameDomain(n, d)) return;
        names.push_back(d);
    };
    for (const PgrPeer &p : config_.peers) add(p.domain);
    std::vector<std::string> stored;
    if (int rc = store_->ListDomains(stored)) {
        out->result = uint32_t(rc);
        return rpc::kOk;
    }
    for (const std::string &d : stored) add(d);
    out->list.count = uint32_t(names.size());
    out->list.strings = AllocArray<char *>(arena, names.size());
    for (size_t i = 0; i < names.size(); ++i) out->list.strings[i] = Dup(arena, names[i]);
    out->result = NS_OK;
    return rpc::kOk;
} catch (const std::bad_alloc &) {
    return rpc::kOutOfMemory;
}

// The name server of the asked domain when a peer serves it, else this one.
uint32_t PgrServer::Hello(const pgr::DomainIn &in, pgr::StringOut *out,
                          rpc::ndr::Arena *arena) const try {
    std::string host;
    if (in.domain && !SameDomain(in.domain, config_.domain))
        for (const PgrPeer &p : config_.peers)
            if (SameDomain(p.domain, in.domain)) {
                host = p.host;
                break;
            }
    if (host.empty()) host = OwnHost();
    out->text = Dup(arena, host);
    out->result = NS_OK;
    return rpc::kOk;
} catch (const std::bad_alloc &) {
    return rpc::kOutOfMemory;
}

} // namespace vrcore::nameservice
