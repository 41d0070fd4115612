#include "rpc/tower.h"

#include <cstring>

#include "rpc/rpc_status.h"

namespace vrcore::rpc {

const SyntaxId kNdrSyntax{{{0x04, 0x5d, 0x88, 0x8a, 0xeb, 0x1c, 0xc9, 0x11, 0x9f, 0xe8, 0x08, 0x00,
                            0x2b, 0x10, 0x48, 0x60}},
                          2,
                          0};

namespace {

constexpr uint8_t kUuidFloor = 0x0d;
constexpr uint8_t kConnectionOriented = 0x0b;
constexpr uint8_t kTcpPort = 0x07;
constexpr uint8_t kIpAddress = 0x09;

void Put16(std::vector<uint8_t> *out, uint16_t v) {
    out->push_back(uint8_t(v));
    out->push_back(uint8_t(v >> 8));
}

void Floor(std::vector<uint8_t> *out, std::span<const uint8_t> lhs, std::span<const uint8_t> rhs) {
    Put16(out, uint16_t(lhs.size()));
    out->insert(out->end(), lhs.begin(), lhs.end());
    Put16(out, uint16_t(rhs.size()));
    out->insert(out->end(), rhs.begin(), rhs.end());
}

void SyntaxFloor(std::vector<uint8_t> *out, const SyntaxId &id) {
    uint8_t lhs[19] = {kUuidFloor};
    memcpy(lhs + 1, id.uuid.bytes, 16);
    lhs[17] = uint8_t(id.major);
    lhs[18] = uint8_t(id.major >> 8);
    uint8_t rhs[2] = {uint8_t(id.minor), uint8_t(id.minor >> 8)};
    Floor(out, lhs, rhs);
}

struct FloorView {
    std::span<const uint8_t> lhs, rhs;
};

bool Take16(std::span<const uint8_t> *in, uint16_t *v) {
    if (in->size() < 2) return false;
    *v = uint16_t((*in)[0] | (*in)[1] << 8);
    *in = in->subspan(2);
    return true;
}

bool TakeFloor(std::span<const uint8_t> *in, FloorView *f) {
    uint16_t n;
    if (!Take16(in, &n) || n == 0 || n > in->size()) return false;
    f->lhs = in->first(n);
    *in = in->subspan(n);
    if (!Take16(in, &n) || n > in->size()) return false;
    f->rhs = in->first(n);
    *in = in->subspan(n);
    return true;
}

bool ReadSyntax(const FloorView &f, SyntaxId *id) {
    if (f.lhs.size() != 19 || f.rhs.size() != 2) return false;
    memcpy(id->uuid.bytes, f.lhs.data() + 1, 16);
    id->major = uint16_t(f.lhs[17] | f.lhs[18] << 8);
    id->minor = uint16_t(f.rhs[0] | f.rhs[1] << 8);
    return true;
}

} // namespace

std::vector<uint8_t> EncodeTower(const TcpTower &tower) {
    std::vector<uint8_t> out;
    Put16(&out, 5);
    SyntaxFloor(&out, tower.interface);
    SyntaxFloor(&out, tower.transfer);
    const uint8_t rpc[1] = {kConnectionOriented};
    const uint8_t minor[2] = {uint8_t(tower.protocol_minor), uint8_t(tower.protocol_minor >> 8)};
    Floor(&out, rpc, minor);
    const uint8_t tcp[1] = {kTcpPort};
    const uint8_t port[2] = {uint8_t(tower.port >> 8), uint8_t(tower.port)};
    Floor(&out, tcp, port);
    const uint8_t ip[1] = {kIpAddress};
    Floor(&out, ip, tower.address);
    return out;
}

uint32_t DecodeTower(std::span<const uint8_t> bytes, TcpTower *out) {
    uint16_t count;
    if (!Take16(&bytes, &count) || count < 3) return kBadStubData;
    FloorView f[5];
    uint16_t known = count < 5 ? count : 5;
    for (uint16_t i = 0; i < count; ++i) {
        FloorView any;
        if (!TakeFloor(&bytes, i < known ? &f[i] : &any)) return kBadStubData;
    }
    TcpTower t;
    if (f[0].lhs[0] != kUuidFloor || f[1].lhs[0] != kUuidFloor || !ReadSyntax(f[0], &t.interface) ||
        !ReadSyntax(f[1], &t.transfer))
        return kBadStubData;
    if (count < 5 || f[2].lhs.size() != 1 || f[2].lhs[0] != kConnectionOriented ||
        f[3].lhs.size() != 1 || f[3].lhs[0] != kTcpPort || f[4].lhs.size() != 1 ||
        f[4].lhs[0] != kIpAddress)
        return kProtseqNotSupported;
    if (f[2].rhs.size() != 2 || f[3].rhs.size() != 2 || f[4].rhs.size() != 4) return kBadStubData;
    t.protocol_minor = uint16_t(f[2].rhs[0] | f[2].rhs[1] << 8);
    t.port = uint16_t(f[3].rhs[0] << 8 | f[3].rhs[1]);
    memcpy(t.address, f[4].rhs.data(), 4);
    *out = t;
    return kOk;
}

} // namespace vrcore::rpc
