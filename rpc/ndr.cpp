#include "rpc/ndr.h"

#include <cstring>
#include <utility>

#include "system/seam.h"

namespace vrcore::rpc::ndr {

namespace seam = vrcore::system::seam;

void Writer::Align(size_t n) {
    while ((out_->size() - base_) % n) out_->push_back(0);
}

void Writer::U16(uint16_t v) {
    Align(2);
    out_->push_back(uint8_t(v));
    out_->push_back(uint8_t(v >> 8));
}

void Writer::U32(uint32_t v) {
    Align(4);
    for (int i = 0; i < 4; ++i) out_->push_back(uint8_t(v >> (8 * i)));
}

void Writer::Bytes(const void *p, size_t n) {
    const auto *b = static_cast<const uint8_t *>(p);
    out_->insert(out_->end(), b, b + n);
}

void Writer::PutUuid(const Uuid &u) {
    Align(4);
    Bytes(u.bytes, sizeof u.bytes);
}

bool Reader::Align(size_t n) {
    size_t pad = (n - pos_ % n) % n;
    if (pad > Remaining()) return false;
    pos_ += pad;
    return true;
}

bool Reader::U8(uint8_t *v) {
    if (Remaining() < 1) return false;
    *v = data_[pos_++];
    return true;
}

bool Reader::U16(uint16_t *v) {
    size_t at = pos_;
    if (!Align(2) || Remaining() < 2) {
        pos_ = at;
        return false;
    }
    const uint8_t *p = data_ + pos_;
    *v = big_ ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
    pos_ += 2;
    return true;
}

bool Reader::U32(uint32_t *v) {
    size_t at = pos_;
    if (!Align(4) || Remaining() < 4) {
        pos_ = at;
        return false;
    }
    const uint8_t *p = data_ + pos_;
    uint32_t r = 0;
    for (int i = 0; i < 4; ++i) r |= uint32_t(p[big_ ? i : 3 - i]) << (8 * (3 - i));
    *v = r;
    pos_ += 4;
    return true;
}

bool Reader::Bytes(void *p, size_t n) {
    if (Remaining() < n) return false;
    if (n) memcpy(p, data_ + pos_, n);
    pos_ += n;
    return true;
}

bool Reader::GetUuid(Uuid *u) {
    size_t at = pos_;
    if (!Align(4) || Remaining() < 16) {
        pos_ = at;
        return false;
    }
    Bytes(u->bytes, 16);
    if (big_) {
        // The first three fields arrived most significant byte first.
        std::swap(u->bytes[0], u->bytes[3]);
        std::swap(u->bytes[1], u->bytes[2]);
        std::swap(u->bytes[4], u->bytes[5]);
        std::swap(u->bytes[6], u->bytes[7]);
    }
    return true;
}

struct Arena::Chunk {
    Chunk *next;
    size_t size;
    size_t used;
    alignas(std::max_align_t) unsigned char data[1];
};

namespace {
constexpr size_t kChunkBytes = 8192;
constexpr size_t kAlign = alignof(std::max_align_t);
} // namespace

void *Arena::Alloc(size_t n) {
    if (n > SIZE_MAX / 2) return nullptr;
    n = (n + kAlign - 1) / kAlign * kAlign;
    if (n == 0) n = kAlign;
    if (!head_ || head_->size - head_->used < n) {
        size_t size = n > kChunkBytes ? n : kChunkBytes;
        auto *c = static_cast<Chunk *>(seam::Alloc(seam::Module::Rpc, sizeof(Chunk) + size));
        if (!c) return nullptr;
        c->size = size;
        c->used = 0;
        // A big block goes behind the current chunk, whose free room stays
        // in use.
        if (head_ && size > kChunkBytes) {
            c->next = head_->next;
            head_->next = c;
        } else {
            c->next = head_;
            head_ = c;
        }
        c->used = n;
        used_ += n;
        memset(c->data, 0, n);
        return c->data;
    }
    void *p = head_->data + head_->used;
    head_->used += n;
    used_ += n;
    memset(p, 0, n);
    return p;
}

void Arena::Clear() {
    while (head_) {
        Chunk *next = head_->next;
        seam::Release(seam::Module::Rpc, head_);
        head_ = next;
    }
    used_ = 0;
}

} // namespace vrcore::rpc::ndr
