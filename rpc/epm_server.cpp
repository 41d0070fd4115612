// The endpoint mapper's table and handlers.
#include "rpc/epm_server.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "rpc/rpc_status.h"
#include "vrcore/log.h"

namespace vrcore::rpc::epm {
namespace {

constexpr const char *kSource = "rpc_epmd";

// The interface of a record answers a query for `want`: the same
// identifier and major version, a minor version at least the one asked.
bool Compatible(const SyntaxId &have, const SyntaxId &want) {
    return have.uuid == want.uuid && have.major == want.major && have.minor >= want.minor;
}

bool VersionMatches(const SyntaxId &have, const InterfaceId &want, uint32_t option) {
    if (have.uuid != want.uuid) return false;
    switch (option) {
    case kVersionAll: return true;
    case kVersionExact: return have.major == want.major && have.minor == want.minor;
    case kVersionMajorOnly: return have.major == want.major;
    case kVersionUpTo:
        return have.major < want.major || (have.major == want.major && have.minor <= want.minor);
    default: return have.major == want.major && have.minor >= want.minor; // compatible
    }
}

template <class T> T *AllocArray(ndr::Arena *arena, size_t n) {
    auto *p = static_cast<T *>(arena->Alloc(n ? n * sizeof(T) : 1));
    if (!p) throw std::bad_alloc();
    return p;
}

// The record's tower as the caller sees it: at the address the caller
// reached when that is known.
Tower *AnswerTower(const TcpTower &registered, ndr::Arena *arena) {
    TcpTower t = registered;
    const CallInfo *call = CurrentCall();
    static const uint8_t kNone[4] = {};
    if (call && std::memcmp(call->local_address, kNone, 4) != 0)
        std::memcpy(t.address, call->local_address, 4);
    std::vector<uint8_t> bytes = EncodeTower(t);
    auto *tower = AllocArray<Tower>(arena, 1);
    tower->length = static_cast<uint32_t>(bytes.size());
    tower->octets = AllocArray<uint8_t>(arena, bytes.size());
    std::memcpy(tower->octets, bytes.data(), bytes.size());
    return tower;
}

std::string Describe(const Uuid &object, const TcpTower &t) {
    return FormatUuid(t.interface.uuid) + " v" + std::to_string(t.interface.major) + "." +
           std::to_string(t.interface.minor) + " object " + FormatUuid(object) + " port " +
           std::to_string(t.port);
}

uint32_t InsertHandler(void *ctx, const Uuid *, const void *in, void *out, ndr::Arena *) {
    return static_cast<Mapper *>(ctx)->Insert(*static_cast<const InsertIn *>(in),
                                              static_cast<StatusOut *>(out));
}
uint32_t DeleteHandler(void *ctx, const Uuid *, const void *in, void *out, ndr::Arena *) {
    return static_cast<Mapper *>(ctx)->Delete(*static_cast<const DeleteIn *>(in),
                                              static_cast<StatusOut *>(out));
}
uint32_t LookupHandler(void *ctx, const Uuid *, const void *in, void *out, ndr::Arena *arena) {
    return static_cast<Mapper *>(ctx)->Lookup(*static_cast<const LookupIn *>(in),
                                              static_cast<LookupOut *>(out), arena);
}
uint32_t MapHandler(void *ctx, const Uuid *, const void *in, void *out, ndr::Arena *arena) {
    return static_cast<Mapper *>(ctx)->Map(*static_cast<const MapIn *>(in),
                                           static_cast<MapOut *>(out), arena);
}
// Resume handles hold no state of the mapper's: giving one back frees
// nothing and answers the nil handle.
uint32_t HandleFreeHandler(void *, const Uuid *, const void *, void *out, ndr::Arena *) {
    *static_cast<HandleFreeOut *>(out) = HandleFreeOut{};
    return kOk;
}
const Handler kHandlers[] = {InsertHandler, DeleteHandler, LookupHandler, MapHandler,
                             HandleFreeHandler};

} // namespace

bool MayChange(uint32_t peer, std::span<const uint32_t> own) {
    if ((ntohl(peer) >> 24) == 127) return true;
    if (peer == 0) return false; // unknown
    return std::find(own.begin(), own.end(), peer) != own.end();
}

std::vector<uint32_t> OwnAddresses() {
    std::vector<uint32_t> own;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0) return own;
    for (ifaddrs *i = list; i; i = i->ifa_next) {
        if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET)
            own.push_back(reinterpret_cast<const sockaddr_in *>(i->ifa_addr)->sin_addr.s_addr);
    }
    ::freeifaddrs(list);
    return own;
}

Mapper::Mapper(size_t max_entries)
    : max_entries_(max_entries), stubs_{&kInterface, kHandlers, this} {
    Uuid random = NewUuid();
    std::memcpy(tag_, random.bytes + 9, sizeof tag_);
    tag_[0] |= 1; // never the nil handle
}

size_t Mapper::Size() const {
    std::lock_guard lock(mutex_);
    return records_.size();
}

bool Mapper::MayChangeTable(const char *what) const {
    const CallInfo *call = CurrentCall();
    uint32_t peer = 0;
    if (call) std::memcpy(&peer, call->peer_address, 4);
    if (MayChange(peer, OwnAddresses())) return true;
    char text[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &peer, text, sizeof text);
    LOG_CondMessage(2, kSource, __LINE__, "%s refused to %s: not a caller on this host\n", what,
                    text);
    return false;
}

bool Mapper::ReadHandle(const ContextHandle &handle, Position *at) const {
    *at = {};
    if (handle.uuid.IsNil()) return true;
    if (std::memcmp(handle.uuid.bytes + 9, tag_, sizeof tag_) != 0) return false;
    at->phase = handle.uuid.bytes[8];
    for (int i = 7; i >= 0; --i) at->seq = (at->seq << 8) | handle.uuid.bytes[i];
    return true;
}

ContextHandle Mapper::MakeHandle(Position at) const {
    ContextHandle h{};
    for (int i = 0; i < 8; ++i) h.uuid.bytes[i] = uint8_t(at.seq >> (8 * i));
    h.uuid.bytes[8] = at.phase;
    std::memcpy(h.uuid.bytes + 9, tag_, sizeof tag_);
    return h;
}

uint32_t Mapper::Decode(const Entry &entry, Record *out) const {
    if (!entry.tower) return kBadStubData;
    uint32_t status = DecodeTower({entry.tower->octets, entry.tower->length}, &out->tower);
    if (status != kOk) return status;
    out->object = entry.object;
    out->annotation = entry.annotation ? entry.annotation : "";
    return kOk;
}

uint32_t Mapper::Insert(const InsertIn &in, StatusOut *out) try {
    if (!MayChangeTable("a registration")) return out->status = kAccessDenied, kOk;
    std::vector<Record> adding(in.num_ents);
    for (uint32_t i = 0; i < in.num_ents; ++i)
        if ((out->status = Decode(in.entries[i], &adding[i])) != kOk) return kOk;
    std::lock_guard lock(mutex_);
    auto same = [](const Record &a, const Record &b, bool port) {
        return a.object == b.object && a.tower.interface == b.tower.interface &&
               (!port || a.tower.port == b.tower.port);
    };
    std::vector<Record> table = records_;
    for (Record &r : adding) {
        auto old = std::find_if(table.begin(), table.end(),
                                [&](const Record &t) { return same(t, r, !in.replace); });
        if (in.replace) {
            std::erase_if(table, [&](const Record &t) { return same(t, r, false); });
        } else if (old != table.end()) {
            old->annotation = r.annotation;
            continue;
        }
        if (table.size() >= max_entries_) {
            LOG_CondMessage(2, kSource, __LINE__, "registration refused: the table is full\n");
            return out->status = kOutOfMemory, kOk;
        }
        r.seq = next_seq_++;
        table.push_back(r);
        LOG_CondMessage(6, kSource, __LINE__, "registered %s\n",
                        Describe(r.object, r.tower).c_str());
    }
    records_.swap(table);
    out->status = kOk;
    return kOk;
} catch (const std::bad_alloc &) {
    return kOutOfMemory;
}

uint32_t Mapper::Delete(const DeleteIn &in, StatusOut *out) try {
    if (!MayChangeTable("a removal")) return out->status = kAccessDenied, kOk;
    std::vector<Record> removing(in.num_ents);
    for (uint32_t i = 0; i < in.num_ents; ++i)
        if ((out->status = Decode(in.entries[i], &removing[i])) != kOk) return kOk;
    std::lock_guard lock(mutex_);
    std::vector<Record> table = records_;
    for (const Record &r : removing) {
        size_t before = table.size();
        std::erase_if(table, [&](const Record &t) {
            return t.object == r.object && t.tower.interface == r.tower.interface &&
                   t.tower.port == r.tower.port;
        });
        if (table.size() == before) return out->status = kNotRegistered, kOk;
        LOG_CondMessage(6, kSource, __LINE__, "removed %s\n", Describe(r.object, r.tower).c_str());
    }
    records_.swap(table);
    out->status = kOk;
    return kOk;
} catch (const std::bad_alloc &) {
    return kOutOfMemory;
}

uint32_t Mapper::Lookup(const LookupIn &in, LookupOut *out, ndr::Arena *arena) try {
    out->max_ents = in.max_ents;
    out->status = kNotRegistered;
    Position at;
    if (!ReadHandle(in.entry_handle, &at)) return kOk;
    bool by_interface = in.inquiry_type == kInquiryInterface || in.inquiry_type == kInquiryBoth;
    bool by_object = in.inquiry_type == kInquiryObject || in.inquiry_type == kInquiryBoth;
    if (in.inquiry_type > kInquiryBoth || (by_interface && !in.interface_id)) return kOk;
    Uuid object = in.object ? *in.object : Uuid{};
    std::lock_guard lock(mutex_);
    std::vector<const Record *> found;
    for (const Record &r : records_) {
        if (r.seq < at.seq) continue;
        if (by_object && r.object != object) continue;
        if (by_interface && !VersionMatches(r.tower.interface, *in.interface_id, in.vers_option))
            continue;
        if (found.size() == in.max_ents) {
            out->entry_handle = MakeHandle({0, r.seq});
            break;
        }
        found.push_back(&r);
    }
    if (found.empty()) {
        out->entry_handle = {};
        return kOk;
    }
    out->entries = AllocArray<Entry>(arena, found.size());
    for (const Record *r : found) {
        Entry &e = out->entries[out->num_ents++];
        e.object = r->object;
        e.tower = AnswerTower(r->tower, arena);
        e.annotation = AllocArray<char>(arena, r->annotation.size() + 1);
        std::memcpy(e.annotation, r->annotation.c_str(), r->annotation.size() + 1);
    }
    out->status = kOk;
    return kOk;
} catch (const std::bad_alloc &) {
    return kOutOfMemory;
}

uint32_t Mapper::Map(const MapIn &in, MapOut *out, ndr::Arena *arena) try {
    out->max_towers = in.max_towers;
    out->status = kNotRegistered;
    Position at;
    TcpTower want;
    if (!ReadHandle(in.entry_handle, &at) || !in.map_tower ||
        DecodeTower({in.map_tower->octets, in.map_tower->length}, &want) != kOk)
        return kOk;
    Uuid object = in.object ? *in.object : Uuid{};
    // The entries of the object come first (phase 0), then those registered
    // for any object (phase 1); a nil object asks for the latter alone.
    uint8_t first_phase = object.IsNil() ? 1 : 0;
    if (at.phase < first_phase) at = {first_phase, 0};
    std::lock_guard lock(mutex_);
    std::vector<const Record *> found;
    for (uint8_t phase = at.phase; phase <= 1; ++phase) {
        Uuid wanted = phase == 0 ? object : Uuid{};
        bool more = false;
        for (const Record &r : records_) {
            if ((phase == at.phase && r.seq < at.seq) || r.object != wanted ||
                !Compatible(r.tower.interface, want.interface) || r.tower.transfer != want.transfer)
                continue;
            if (found.size() == in.max_towers) {
                out->entry_handle = MakeHandle({phase, r.seq});
                more = true;
                break;
            }
            found.push_back(&r);
        }
        if (more) break;
    }
    if (found.empty()) {
        out->entry_handle = {};
        return kOk;
    }
    out->towers = AllocArray<Tower *>(arena, found.size());
    for (const Record *r : found) out->towers[out->num_towers++] = AnswerTower(r->tower, arena);
    out->status = kOk;
    return kOk;
} catch (const std::bad_alloc &) {
    return kOutOfMemory;
}

} // namespace vrcore::rpc::epm
