// The stub engine against an independent NDR (tests/rpc/ndr_peer.py) in both directions,
// then aliasing full pointers, big-endian data, hostile bytes and unsendable values.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "rpc/idl_dpa.h"
#include "rpc/idl_epm.h"
#include "rpc/idl_pgr.h"
#include "rpc/rpc_status.h"
#include "rpc/tower.h"
#include "failalloc.h"
#include "scratch.h"

namespace {

using namespace vrcore::rpc;
using Bytes = std::vector<uint8_t>;

std::string RunPeer(const std::string &args) {
    bool ok = false;
    std::string out = vrtest::RunCommand(
        "timeout 60 /usr/bin/python3 " VRCORE_SOURCE_DIR "/tests/rpc/ndr_peer.py " + args, &ok);
    EXPECT_TRUE(ok) << args;
    return out;
}
using vrtest::Hex;
using vrtest::Unhex;

// Reads `wire` as one direction of `proc`; on success writes the values
// again into *out. The arena's use is checked against the bytes read.
uint32_t Reencode(const ndr::Procedure &proc, bool in, const Bytes &wire, Bytes *out,
                  uint8_t drep = ndr::kDrepLittleEndian) {
    ndr::Arena arena;
    alignas(16) uint8_t args[256];
    uint32_t st = in ? ndr::UnmarshalRequest(proc, wire, drep, args, &arena)
                     : ndr::UnmarshalResponse(proc, wire, drep, args, &arena);
    EXPECT_LE(arena.Used(), 64 * wire.size());
    out->clear();
    if (st != kOk) return st;
    return in ? ndr::MarshalRequest(proc, args, out) : ndr::MarshalResponse(proc, args, out);
}

TEST(Ndr, EveryProcedureRoundTripsThroughThePeer) {
    const std::map<std::string, const ndr::Interface *> interfaces = {
        {"dpa", &dpa::kInterface}, {"pgr", &pgr::kInterface}, {"epm", &epm::kInterface}};
    std::map<std::string, int> seen;
    for (const auto &[name, iface] : interfaces)
        for (const ndr::Procedure &p : iface->procedures)
            seen[name + " " + std::to_string(p.opnum)] = 0;
    std::istringstream lines(RunPeer(""));
    std::string ours;
    Bytes tower;
    size_t rows = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream f(line);
        std::string iface, op, way, hex;
        f >> iface >> op >> way >> hex;
        if (iface == "tower") {
            tower = Unhex(op);
            continue;
        }
        SCOPED_TRACE(line.substr(0, 12));
        const ndr::Procedure *proc = interfaces.at(iface)->Find(uint16_t(std::stoi(op)));
        ASSERT_NE(proc, nullptr);
        seen[iface + " " + op] |= way == "in" ? 1 : 2;
        Bytes mine, again;
        ASSERT_EQ(Reencode(*proc, way == "in", Unhex(hex), &mine), kOk);
        // Our form is canonical: reading and writing it changes nothing,
        ASSERT_EQ(Reencode(*proc, way == "in", mine, &again), kOk);
        EXPECT_EQ(Hex(again), Hex(mine));
        // and it ends in data, not pad: every shorter prefix is refused.
        for (size_t n = 0; n < mine.size(); ++n)
            ASSERT_EQ(
                Reencode(*proc, way == "in", Bytes(mine.begin(), mine.begin() + long(n)), &again),
                kBadStubData)
                << n;
        ours += iface + " " + op + " " + way + " " + (mine.empty() ? "" : Hex(mine)) + "\n";
        ++rows;
    }
    for (const auto &[proc, ways] : seen) EXPECT_EQ(ways, 3) << proc << " lacks a direction";
    // The peer reads our bytes as the values it wrote.
    vrtest::ScratchDir dir("ndr");
    vrtest::WriteFile(dir.Path() + "/ours", ours);
    std::string verdict = RunPeer(dir.Path() + "/ours");
    EXPECT_EQ(verdict.find("bad"), std::string::npos) << verdict;
    EXPECT_EQ(size_t(std::count(verdict.begin(), verdict.end(), '\n')), rows) << verdict;

    // The tower the peer built from its floor classes is ours, byte for byte.
    TcpTower t;
    ASSERT_EQ(DecodeTower(tower, &t), kOk);
    EXPECT_TRUE(t.interface == pgr::kInterface.id && t.transfer == kNdrSyntax && t.port == 2001 &&
                Hex(Bytes(t.address, t.address + 4)) == "0a000005");
    EXPECT_EQ(Hex(EncodeTower(t)), Hex(tower));
    for (size_t n = 0; n < tower.size(); ++n)
        EXPECT_EQ(DecodeTower(Bytes(tower.begin(), tower.begin() + long(n)), &t), kBadStubData)
            << n;
    tower[2 + 25 + 25 + 7 + 2] = 0x0f; // the fourth floor names a pipe, not a port
    EXPECT_EQ(DecodeTower(tower, &t), kProtseqNotSupported);
}

TEST(Ndr, ArenaExhaustionFailsTheCallAndLeavesNothing) {
    // A 100 KiB request packet behind a small one takes two blocks.
    Bytes big(100 << 10, 0x55), out;
    dpa::Packet p{uint32_t(big.size()), big.data()};
    dpa::TransferIn in{1, &p};
    const ndr::Procedure &proc = *dpa::kInterface.Find(0);
    ASSERT_EQ(ndr::MarshalRequest(proc, &in, &out), kOk);
    vrtest::FailModule fail(vrcore::system::seam::Module::Rpc);
    long points = vrtest::SweepFailures(
        [&] {
            Bytes again;
            uint32_t st = Reencode(proc, true, out, &again);
            EXPECT_TRUE(st == kOk || st == kOutOfMemory);
            return st == kOk && again == out;
        },
        [] {});
    EXPECT_GE(points, 2);
}

TEST(Ndr, FullPointersToOneValueTravelOnce) {
    uint8_t ber[] = {0x30, 0x00};
    dpa::Packet both{2, ber};
    dpa::TransferOut out{&both, &both, 3, 0};
    const ndr::Procedure &proc = *dpa::kInterface.Find(dpa::kTransferRequest);
    Bytes wire;
    ASSERT_EQ(ndr::MarshalResponse(proc, &out, &wire), kOk);
    EXPECT_EQ(wire, Unhex("00000200 02000000 02000000 3000 0000 00000200 0300 0000 00000000"));
    ndr::Arena arena;
    ASSERT_EQ(ndr::UnmarshalResponse(proc, wire, ndr::kDrepLittleEndian, &out, &arena), kOk);
    EXPECT_TRUE(out.result && out.result == out.error && out.result->length == 2 &&
                out.error_kind == 3);
}

TEST(Ndr, BigEndianDataIsRead) {
    const ndr::Procedure &lookup = *epm::kInterface.Find(epm::kLookup);
    Bytes mine, wire = Unhex("000e0000 00000005 00000005 3003020107");
    ASSERT_EQ(Reencode(*dpa::kInterface.Find(0), true, wire, &mine, ndr::kDrepBigEndian), kOk);
    EXPECT_EQ(mine, Unhex("0e000000 05000000 05000000 3003020107"));
    wire = Unhex(
        "00000001 00000000 00000000 00000001 00000002 6c1f3a520d3e4b8e9a615e2f7c9d0a14 00000004");
    ASSERT_EQ(Reencode(lookup, true, wire, &mine, ndr::kDrepBigEndian), kOk);
    EXPECT_EQ(mine, Unhex("01000000 00000000 00000000 01000000 02000000 "
                          "523a1f6c3e0d8e4b9a615e2f7c9d0a14 04000000"));
    EXPECT_EQ(Reencode(lookup, true, wire, &mine, 0x11), kBadStubData); // EBCDIC
}

TEST(Ndr, HostileBytesAndUnsendableValuesAreRefused) {
    const ndr::Procedure *domain = pgr::kInterface.Find(pgr::kGetDomain),
                         *list = pgr::kInterface.Find(pgr::kListObjects),
                         *transfer = dpa::kInterface.Find(0);
    struct Row {
        const char *what;
        const ndr::Procedure *proc;
        bool in;
        const char *hex;
    } rows[] = {
        {"string without its NUL", domain, false,
         "01000000 02000000 00000000 02000000 6869 0000 00000000"},
        {"NUL inside a string", domain, false,
         "01000000 03000000 00000000 03000000 680069 00 00000000"},
        {"string offset not 0", domain, false,
         "01000000 02000000 01000000 01000000 00 000000 00000000"},
        {"actual count above maximum", domain, false,
         "01000000 01000000 00000000 02000000 6800 0000 00000000"},
        {"empty string (no NUL)", domain, false, "01000000 00000000 00000000 00000000 00000000"},
        {"count claims 2^32-1 identities", list, false,
         "ffffffff 01000000 ffffffff 00000000 00000000"},
        {"array count differs from its size member", list, false,
         "01000000 01000000 02000000 01000000 00000000 00000000 00000000"},
        {"conformant structure's counts differ", transfer, true,
         "0100 0000 03000000 02000000 616263"},
        {"enumeration above 0x7fff", transfer, true, "0080 0000 00000000 00000000"},
        {"sixteen bytes after the last parameter", transfer, true,
         "0100 0000 00000000 00000000 00000000000000000000000000000000"},
    };
    Bytes out;
    for (const Row &r : rows)
        EXPECT_EQ(Reencode(*r.proc, r.in, Unhex(r.hex), &out), kBadStubData) << r.what;

    dpa::TransferIn no_packet{1, nullptr};
    EXPECT_EQ(ndr::MarshalRequest(*transfer, &no_packet, &out), kNullRefPointer);
    dpa::Packet p{0, nullptr};
    dpa::TransferIn big_enum{0x8000, &p};
    EXPECT_EQ(ndr::MarshalRequest(*transfer, &big_enum, &out), kEnumValueOutOfRange);
    std::string note(epm::kMaxAnnotation, 'x'); // the NUL makes one byte too many
    epm::Entry e{{}, nullptr, note.data()};
    epm::InsertIn insert{1, &e, 0};
    EXPECT_EQ(ndr::MarshalRequest(*epm::kInterface.Find(epm::kInsert), &insert, &out),
              kInvalidBound);
    epm::MapOut too_many{{}, 3, nullptr, 2, 0};
    EXPECT_EQ(ndr::MarshalResponse(*epm::kInterface.Find(epm::kMap), &too_many, &out),
              kInvalidBound);
}

} // namespace
