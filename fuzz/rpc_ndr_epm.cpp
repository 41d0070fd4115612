// Hostile stub data of the endpoint mapper's interface, both directions;
// every tower that arrives is decoded, and what decodes encodes to a tower
// that decodes to the same fields.
#include <cstdlib>
#include <cstring>

#include "rpc/idl_epm.h"
#include "rpc/tower.h"
#include "rpc_ndr.h"

namespace {

using namespace vrcore::rpc;

void Tower(const epm::Tower *t) {
    if (!t) return;
    TcpTower a, b;
    if (DecodeTower({t->octets, t->length}, &a) != kOk) return;
    std::vector<uint8_t> bytes = EncodeTower(a);
    if (DecodeTower(bytes, &b) != kOk || !(a.interface == b.interface) ||
        !(a.transfer == b.transfer) || a.port != b.port || a.protocol_minor != b.protocol_minor ||
        memcmp(a.address, b.address, 4))
        abort();
}

void Entries(uint32_t n, const epm::Entry *e) {
    for (uint32_t i = 0; e && i < n; ++i) Tower(e[i].tower);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzndr::Run(epm::kInterface, data, size,
                 [](const ndr::Procedure &proc, bool out, const void *args) {
                     switch (proc.opnum * 2 + out) {
                     case epm::kInsert * 2: {
                         auto *a = static_cast<const epm::InsertIn *>(args);
                         Entries(a->num_ents, a->entries);
                         break;
                     }
                     case epm::kDelete * 2: {
                         auto *a = static_cast<const epm::DeleteIn *>(args);
                         Entries(a->num_ents, a->entries);
                         break;
                     }
                     case epm::kLookup * 2 + 1: {
                         auto *a = static_cast<const epm::LookupOut *>(args);
                         Entries(a->num_ents, a->entries);
                         break;
                     }
                     case epm::kMap * 2:
                         Tower(static_cast<const epm::MapIn *>(args)->map_tower);
                         break;
                     case epm::kMap * 2 + 1: {
                         auto *a = static_cast<const epm::MapOut *>(args);
                         for (uint32_t i = 0; a->towers && i < a->num_towers; ++i)
                             Tower(a->towers[i]);
                         break;
                     }
                     }
                 });
    return 0;
}
