// The stub engine against an independent NDR (impacket, tests/rpc/ndr_peer.py):
// every procedure of the three interfaces, both directions, read from the
// peer's bytes (random referent ids, non-zero pad bytes), written again and
// read back by the peer. Then what the peer cannot show: aliasing full
// pointers, big-endian data, hostile bytes, values that cannot be sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "rpc/idl_dpa.h"
#include "rpc/idl_epm.h"
#include "rpc/idl_pgr.h"
#include "rpc/rpc_status.h"
#include "rpc/tower.h"
#include "scratch.h"

namespace {

using namespace vrcore::rpc;
using Bytes = std::vector<uint8_t>;

std::string RunPeer(const std::string &args) {
    std::string cmd =
        "timeout 60 /usr/bin/python3 " VRCORE_SOURCE_DIR "/tests/rpc/ndr_peer.py " + args;
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << cmd;
    return out;
}

Bytes FromHex(const std::string &hex) {
    Bytes b;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) b.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

std::string Hex(const Bytes &b) {
    std::string s;
    char x[3];
    for (uint8_t c : b) {
        snprintf(x, sizeof x, "%02x", c);
        s += x;
    }
    return s;
}

const std::map<std::string, const ndr::Interface *> kInterfaces = {
    {"dpa", &dpa::kInterface}, {"pgr", &pgr::kInterface}, {"epm", &epm::kInterface}};

// Reads `wire` as one direction of `proc` and writes the values again.
uint32_t Reencode(const ndr::Procedure &proc, bool in, const Bytes &wire, Bytes *out,
                  uint8_t drep = ndr::kDrepLittleEndian) {
    ndr::Arena arena;
    alignas(16) uint8_t args[256];
    uint32_t st = in ? ndr::UnmarshalRequest(proc, wire, drep, args, &arena)
                     : ndr::UnmarshalResponse(proc, wire, drep, args, &arena);
    if (st != kOk) return st;
    out->clear();
    return in ? ndr::MarshalRequest(proc, args, out) : ndr::MarshalResponse(proc, args, out);
}

struct PeerRow {
    std::string name; // "<interface> <opnum> <in|out>"
    const ndr::Procedure *proc;
    bool in;
    Bytes wire;
};

std::vector<PeerRow> PeerRows(Bytes *tower) {
    std::vector<PeerRow> rows;
    std::istringstream lines(RunPeer(""));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream f(line);
        std::string iface, way, hex;
        int op = 0;
        f >> iface;
        if (iface == "tower") {
            f >> hex;
            *tower = FromHex(hex);
            continue;
        }
        f >> op >> way >> hex;
        const ndr::Procedure *proc = kInterfaces.at(iface)->Find(uint16_t(op));
        EXPECT_NE(proc, nullptr) << line;
        if (proc) rows.push_back({iface + " " + std::to_string(op) + " " + way, proc, way == "in", FromHex(hex)});
    }
    return rows;
}

TEST(Ndr, EveryProcedureRoundTripsThroughThePeer) {
    Bytes tower;
    std::vector<PeerRow> rows = PeerRows(&tower);
    std::set<std::string> seen;
    vrtest::ScratchDir dir("ndr");
    std::string ours;
    for (const PeerRow &row : rows) {
        SCOPED_TRACE(row.name);
        seen.insert(row.name);
        Bytes mine, again;
        ASSERT_EQ(Reencode(*row.proc, row.in, row.wire, &mine), kOk);
        // Our form is canonical: reading and writing it changes nothing.
        ASSERT_EQ(Reencode(*row.proc, row.in, mine, &again), kOk);
        EXPECT_EQ(Hex(again), Hex(mine));
        // Every shorter prefix is refused (our form ends in data, not pad).
        for (size_t n = 0; n < mine.size(); ++n) {
            Bytes cut(mine.begin(), mine.begin() + long(n));
            ASSERT_EQ(Reencode(*row.proc, row.in, cut, &again), kBadStubData) << n;
        }
        ours += row.name + " " + Hex(mine) + "\n";
    }
    for (const auto &[name, iface] : kInterfaces) {
        for (const ndr::Procedure &p : iface->procedures) {
            for (const char *way : {" in", " out"})
                EXPECT_TRUE(seen.count(name + " " + std::to_string(p.opnum) + way)) << name << p.opnum << way;
        }
    }
    // The peer reads our bytes to the values it wrote.
    vrtest::WriteFile(dir.Path() + "/ours", ours);
    std::string verdict = RunPeer(dir.Path() + "/ours");
    EXPECT_EQ(verdict.find("bad"), std::string::npos) << verdict;
    EXPECT_EQ(size_t(std::count(verdict.begin(), verdict.end(), '\n')), rows.size()) << verdict;

    // The tower the peer built from its floor classes is ours, byte for byte.
    TcpTower t;
    ASSERT_EQ(DecodeTower(tower, &t), kOk);
    EXPECT_EQ(t.interface, pgr::kInterface.id);
    EXPECT_EQ(t.transfer, kNdrSyntax);
    EXPECT_EQ(t.port, 2001);
    EXPECT_EQ(Hex(Bytes(t.address, t.address + 4)), "0a000005");
    EXPECT_EQ(Hex(EncodeTower(t)), Hex(tower));
    for (size_t n = 0; n < tower.size(); ++n)
        EXPECT_EQ(DecodeTower(Bytes(tower.begin(), tower.begin() + long(n)), &t), kBadStubData) << n;
    tower[2 + 25 + 25 + 7 + 2] = 0x0f; // the fourth floor names a pipe, not a port
    EXPECT_EQ(DecodeTower(tower, &t), kProtseqNotSupported);
}

TEST(Ndr, FullPointersToOneValueTravelOnce) {
    uint8_t ber[] = {0x30, 0x00};
    dpa::Packet both{2, ber};
    dpa::TransferOut out{&both, &both, 3, 0};
    const ndr::Procedure &proc = *dpa::kInterface.Find(dpa::kTransferRequest);
    Bytes wire;
    ASSERT_EQ(ndr::MarshalResponse(proc, &out, &wire), kOk);
    EXPECT_EQ(Hex(wire), "00000200" "02000000" "02000000" "3000" "0000" "00000200" "0300" "0000" "00000000");
    ndr::Arena arena;
    dpa::TransferOut back;
    ASSERT_EQ(ndr::UnmarshalResponse(proc, wire, ndr::kDrepLittleEndian, &back, &arena), kOk);
    ASSERT_NE(back.result, nullptr);
    EXPECT_EQ(back.result, back.error);
    EXPECT_EQ(back.result->length, 2u);
    EXPECT_EQ(back.error_kind, 3);
}

TEST(Ndr, BigEndianDataIsRead) {
    // The request of operation 14 with a 5-byte packet, most significant
    // byte first; then a look-up handle and identifier in the same order.
    Bytes be = FromHex("000e0000000000050000000530030201");
    be.push_back(0x07);
    Bytes mine;
    ASSERT_EQ(Reencode(*dpa::kInterface.Find(0), true, be, &mine, ndr::kDrepBigEndian), kOk);
    EXPECT_EQ(Hex(mine), "0e0000000500000005000000300302010" "7");
    Bytes lookup = FromHex("00000001" "00000000" "00000000" "00000001"
                           "00000002" "6c1f3a520d3e4b8e9a615e2f7c9d0a14" "00000004");
    ASSERT_EQ(Reencode(*epm::kInterface.Find(epm::kLookup), true, lookup, &mine, ndr::kDrepBigEndian), kOk);
    EXPECT_EQ(Hex(mine), "01000000000000000000000001000000"
                         "02000000523a1f6c3e0d8e4b9a615e2f7c9d0a1404000000");
    EXPECT_EQ(Reencode(*epm::kInterface.Find(epm::kLookup), true, lookup, &mine, 0x11), kBadStubData);
}

TEST(Ndr, HostileBytesAreRefusedWithoutAllocatingForThem) {
    const ndr::Procedure &get_domain = *pgr::kInterface.Find(pgr::kGetDomain);
    const ndr::Procedure &list = *pgr::kInterface.Find(pgr::kListObjects);
    const ndr::Procedure &transfer = *dpa::kInterface.Find(0);
    struct Row {
        const char *what;
        const ndr::Procedure *proc;
        bool in;
        const char *hex;
    } rows[] = {
        {"string without its NUL", &get_domain, false, "01000000" "02000000" "00000000" "02000000" "6869" "00000000"},
        {"NUL inside a string", &get_domain, false, "01000000" "03000000" "00000000" "03000000" "680069" "00" "00000000"},
        {"string offset not 0", &get_domain, false, "01000000" "02000000" "01000000" "01000000" "00" "000000" "00000000"},
        {"actual count above maximum", &get_domain, false, "01000000" "01000000" "00000000" "02000000" "6800" "0000" "00000000"},
        {"empty string (no NUL)", &get_domain, false, "01000000" "00000000" "00000000" "00000000" "00000000"},
        {"count claims 2^32-1 identities", &list, false, "ffffffff" "01000000" "ffffffff" "00000000" "00000000"},
        {"array count differs from its size field", &list, false, "01000000" "01000000" "02000000" "0100" "0000" "00000000" "00000000" "00000000"},
        {"conformant structure counts differ", &transfer, true, "0100" "0000" "03000000" "02000000" "616263"},
        {"enumeration above 0x7fff", &transfer, true, "0080" "0000" "00000000" "00000000"},
        {"sixteen bytes after the last parameter", &transfer, true, "0100" "0000" "00000000" "00000000" "00000000000000000000000000000000"},
        {"request packet missing", &transfer, true, "0100"},
    };
    for (const Row &r : rows) {
        ndr::Arena arena;
        alignas(16) uint8_t args[256];
        Bytes wire = FromHex(r.hex);
        uint32_t st = r.in ? ndr::UnmarshalRequest(*r.proc, wire, ndr::kDrepLittleEndian, args, &arena)
                           : ndr::UnmarshalResponse(*r.proc, wire, ndr::kDrepLittleEndian, args, &arena);
        EXPECT_EQ(st, kBadStubData) << r.what;
        EXPECT_LE(arena.Used(), 64 * wire.size()) << r.what;
    }
}

TEST(Ndr, ValuesThatCannotBeSentAreRefused) {
    const ndr::Procedure &transfer = *dpa::kInterface.Find(0);
    const ndr::Procedure &insert = *epm::kInterface.Find(epm::kInsert);
    const ndr::Procedure &map = *epm::kInterface.Find(epm::kMap);
    Bytes wire;
    dpa::TransferIn no_packet{1, nullptr};
    EXPECT_EQ(ndr::MarshalRequest(transfer, &no_packet, &wire), kNullRefPointer);
    dpa::Packet p{0, nullptr};
    dpa::TransferIn big_enum{0x8000, &p};
    EXPECT_EQ(ndr::MarshalRequest(transfer, &big_enum, &wire), kEnumValueOutOfRange);
    std::string long_note(epm::kMaxAnnotation, 'x');
    epm::Entry e{{}, nullptr, long_note.data()};
    epm::InsertIn ins{1, &e, 0};
    EXPECT_EQ(ndr::MarshalRequest(insert, &ins, &wire), kInvalidBound);
    epm::MapOut too_many{{}, 3, nullptr, 2, 0};
    EXPECT_EQ(ndr::MarshalResponse(map, &too_many, &wire), kInvalidBound);
}

} // namespace
