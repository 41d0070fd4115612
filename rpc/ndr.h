// NDR 2.0 primitives: the writer and the bounded reader of stub data, and
// the arena that holds what a call decodes.
//
// The writer always produces little-endian data with ASCII characters and
// zero pad bytes. The reader takes either integer byte order (the first
// byte of the packet's data representation says which), ignores the
// contents of pad bytes and never reads past the end of its bytes: every
// read reports whether the bytes were there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "rpc/uuid.h"

namespace vrcore::rpc::ndr {

// The first byte of a packet's data representation.
inline constexpr uint8_t kDrepLittleEndian = 0x10;
inline constexpr uint8_t kDrepBigEndian = 0x00;

class Writer {
  public:
    // Appends to `out`; alignment counts from its size at this point (the
    // start of the stub data).
    explicit Writer(std::vector<uint8_t> *out) : out_(out), base_(out->size()) {}
    // Zero bytes up to the next multiple of `n` (1, 2, 4 or 8).
    void Align(size_t n);
    void U8(uint8_t v) { out_->push_back(v); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    void Bytes(const void *p, size_t n);
    // Aligned to 4: the first three fields as little-endian integers.
    void PutUuid(const Uuid &u);

  private:
    std::vector<uint8_t> *out_;
    size_t base_;
};

class Reader {
  public:
    Reader(std::span<const uint8_t> bytes, bool big_endian = false)
        : data_(bytes.data()), size_(bytes.size()), big_(big_endian) {}
    // Each returns false (and consumes nothing) when the bytes run out.
    bool Align(size_t n);
    bool U8(uint8_t *v);
    bool U16(uint16_t *v);
    bool U32(uint32_t *v);
    bool Bytes(void *p, size_t n);
    bool GetUuid(Uuid *u);
    size_t Remaining() const { return size_ - pos_; }
    size_t Position() const { return pos_; }
    // The next `n` bytes in place, or nullptr when fewer remain.
    const uint8_t *Peek(size_t n) const { return n <= Remaining() ? data_ + pos_ : nullptr; }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
    bool big_;
};

// Memory for decoded values, owned by one call and released at once when
// the arena goes (or is cleared). Allocation failure gives nullptr.
class Arena {
  public:
    Arena() = default;
    Arena(const Arena &) = delete;
    Arena &operator=(const Arena &) = delete;
    ~Arena() { Clear(); }
    // `n` zeroed bytes aligned for any scalar type.
    void *Alloc(size_t n);
    void Clear();
    // Bytes handed out since the last clear.
    size_t Used() const { return used_; }

  private:
    struct Chunk;
    Chunk *head_ = nullptr;
    size_t used_ = 0;
};

} // namespace vrcore::rpc::ndr
