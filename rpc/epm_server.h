// The endpoint mapper: a table of (object, interface, endpoint) entries
// that servers on this host register and clients on any host consult, and
// the handlers that serve it.
//
// Answers besides kOk and kNotRegistered (no entry, or no more): a change
// asked by a caller that is not on this host, kAccessDenied; an entry whose
// tower is not one of TCP/IP, kProtseqNotSupported; a malformed tower,
// kBadStubData; a full table, kOutOfMemory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "rpc/idl_epm.h"
#include "rpc/runtime.h"
#include "rpc/stubs.h"
#include "rpc/tower.h"

namespace vrcore::rpc::epm {

// Whether a caller at `peer` may change the table: an address of the
// loopback network or one of `own`, this host's addresses (IPv4, the
// bytes in network order read as one number).
bool MayChange(uint32_t peer, std::span<const uint32_t> own);
// This host's IPv4 addresses, in the form MayChange takes.
std::vector<uint32_t> OwnAddresses();

class Mapper {
  public:
    explicit Mapper(size_t max_entries = 4096);
    Mapper(const Mapper &) = delete;
    Mapper &operator=(const Mapper &) = delete;

    // What a server's AddInterface takes to serve the mapper.
    ServedInterface Served() const { return Serve(&stubs_); }
    size_t Size() const;

    // The procedures. The caller's address and the address it reached come
    // from CurrentCall().
    uint32_t Insert(const InsertIn &in, StatusOut *out);
    uint32_t Delete(const DeleteIn &in, StatusOut *out);
    uint32_t Lookup(const LookupIn &in, LookupOut *out, ndr::Arena *arena);
    uint32_t Map(const MapIn &in, MapOut *out, ndr::Arena *arena);

  private:
    struct Record {
        Uuid object;
        TcpTower tower;
        std::string annotation;
        uint64_t seq; // order of registration, the resume point of an enumeration
    };
    // Where an enumeration resumes: the first record at or after this.
    struct Position {
        uint8_t phase = 0;
        uint64_t seq = 0;
    };
    bool MayChangeTable(const char *what) const;
    bool ReadHandle(const ContextHandle &handle, Position *at) const;
    ContextHandle MakeHandle(Position at) const;
    uint32_t Decode(const Entry &entry, Record *out) const;

    size_t max_entries_;
    uint8_t tag_[7]; // marks the handles this mapper made
    StubServer stubs_;
    mutable std::mutex mutex_;
    std::vector<Record> records_; // in registration order
    uint64_t next_seq_ = 1;
};

} // namespace vrcore::rpc::epm
