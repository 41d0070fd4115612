// The endpoint mapper's client.
#include "rpc/epm_client.h"

#include <vector>

#include "rpc/idl_epm.h"
#include "rpc/rpc_status.h"
#include "rpc/runtime.h"
#include "rpc/stubs.h"
#include "rpc/tower.h"
#include "system/config.h"
#include "vrcore/log.h"

namespace vrcore::rpc {
namespace {

constexpr const char *kSource = "rpc_epm";
constexpr const char *kKey = "Software\\Halvane\\Tessaril\\odp";
constexpr uint32_t kDefaultMapperPort = 135;
constexpr uint32_t kMaxTowers = 4;
// The mapper's status for "no such entry" in the system's own numbering,
// which some mappers answer instead of the interface's.
constexpr uint32_t kNotRegisteredNative = 1753;

uint32_t MapperStatus(uint32_t status) {
    if (status == epm::kNotRegistered || status == kNotRegisteredNative)
        return kEndpointNotRegistered;
    return status;
}

epm::Tower TowerOf(std::vector<uint8_t> &bytes) {
    return {static_cast<uint32_t>(bytes.size()), bytes.data()};
}

uint32_t Change(uint16_t opnum, const SyntaxId &iface, const Uuid *object, uint16_t port,
                const char *annotation, int timeout_ms) {
    TcpTower t;
    t.interface = iface;
    t.transfer = kNdrSyntax;
    t.port = port;
    std::vector<uint8_t> bytes = EncodeTower(t);
    epm::Tower tower = TowerOf(bytes);
    std::string note(annotation ? annotation : "");
    if (note.size() >= epm::kMaxAnnotation) note.resize(epm::kMaxAnnotation - 1);
    epm::Entry entry{object ? *object : Uuid{}, &tower, note.data()};
    ClientOptions options;
    options.timeout_ms = timeout_ms;
    ClientConnection c("127.0.0.1", static_cast<uint16_t>(MapperPort()), epm::kInterface.id,
                       options);
    epm::StatusOut out{};
    ndr::Arena arena;
    uint32_t status;
    if (opnum == epm::kInsert) {
        epm::InsertIn in{1, &entry, 1};
        status = CallProcedure(c, epm::kInterface, opnum, nullptr, &in, &out, &arena);
    } else {
        epm::DeleteIn in{1, &entry};
        status = CallProcedure(c, epm::kInterface, opnum, nullptr, &in, &out, &arena);
    }
    if (status == kOk) status = MapperStatus(out.status);
    LOG_CondMessage(status == kOk ? 6 : 2, kSource, __LINE__, "%s of %s v%u.%u port %u: %u\n",
                    opnum == epm::kInsert ? "registration" : "removal",
                    FormatUuid(iface.uuid).c_str(), iface.major, iface.minor, port, status);
    return status;
}

} // namespace

uint32_t MapperPort() {
    system::cfg::Registry reg;
    uint32_t port = reg.GetDword(kKey, "EndpointMapperPort", kDefaultMapperPort);
    return port == 0 || port > 65535 ? kDefaultMapperPort : port;
}

uint32_t ResolveEndpoint(const std::string &host, const SyntaxId &iface, const Uuid *object,
                         int timeout_ms, uint16_t *port) {
    TcpTower query;
    query.interface = iface;
    query.transfer = kNdrSyntax;
    std::vector<uint8_t> bytes = EncodeTower(query);
    epm::Tower tower = TowerOf(bytes);
    Uuid nil;
    epm::MapIn in{const_cast<Uuid *>(object ? object : &nil), &tower, {}, kMaxTowers};
    epm::MapOut out{};
    ndr::Arena arena;
    ClientOptions options;
    options.timeout_ms = timeout_ms;
    ClientConnection c(host, static_cast<uint16_t>(MapperPort()), epm::kInterface.id, options);
    uint32_t status = CallProcedure(c, epm::kInterface, epm::kMap, nullptr, &in, &out, &arena);
    if (status == kOk) status = MapperStatus(out.status);
    if (status == kOk && out.num_towers == 0) status = kEndpointNotRegistered;
    if (status == kOk) {
        status = kProtocolError;
        for (uint32_t i = 0; i < out.num_towers && status != kOk; ++i) {
            TcpTower t;
            const epm::Tower *w = out.towers[i];
            if (w && DecodeTower({w->octets, w->length}, &t) == kOk && t.port != 0) {
                *port = t.port;
                status = kOk;
            }
        }
    }
    LOG_CondMessage(status == kOk ? 6 : 3, kSource, __LINE__, "endpoint of %s v%u.%u on %s: %u\n",
                    FormatUuid(iface.uuid).c_str(), iface.major, iface.minor, host.c_str(),
                    status == kOk ? *port : status);
    return status;
}

uint32_t RegisterEndpoint(const SyntaxId &iface, const Uuid *object, uint16_t port,
                          const std::string &annotation, int timeout_ms) {
    return Change(epm::kInsert, iface, object, port, annotation.c_str(), timeout_ms);
}

uint32_t UnregisterEndpoint(const SyntaxId &iface, const Uuid *object, uint16_t port,
                            int timeout_ms) {
    return Change(epm::kDelete, iface, object, port, nullptr, timeout_ms);
}

} // namespace vrcore::rpc
