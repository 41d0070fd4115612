// What the encoder, the decoder and the release and print walks share:
// the shapes of the string fields, the universal tags, choice numbers,
// integer fields of any width and the wire block of a Map field.
#pragma once

#include "encoding/ber_runtime.h"

#include <cstring>

namespace vrcore::ber {

struct OctetsField {
    uint32_t length;
    unsigned char *value;
};
struct OctetsInField {
    uint16_t length;
    unsigned char value[1];
};

inline uint32_t UniversalTag(const Type &t) {
    switch (t.kind) {
    case Kind::Bool: return 1;
    case Kind::Int: return 2;
    case Kind::Enum: return 10;
    case Kind::Real: return 9;
    case Kind::Null: return 5;
    case Kind::Octets:
    case Kind::OctetsIn:
    case Kind::StringIn: return t.univ ? t.univ : 4;
    case Kind::Oid: return 6;
    case Kind::Seq:
    case Kind::SeqOf: return 16;
    case Kind::Set:
    case Kind::SetOf: return 17;
    default: return 0;
    }
}

inline bool IsConstructed(const Type &t) {
    switch (t.kind) {
    case Kind::Seq:
    case Kind::Set:
    case Kind::SeqOf:
    case Kind::SetOf: return true;
    default: return false;
    }
}

inline uint32_t GetChoice(const Type &t, const void *v) {
    if (t.flags & kChoice32) return *static_cast<const uint32_t *>(v);
    return *static_cast<const uint16_t *>(v);
}

inline int64_t ReadInt(const void *p, uint8_t width, bool is_unsigned) {
    switch (width) {
    case 1:
        if (is_unsigned) return *static_cast<const uint8_t *>(p);
        return *static_cast<const int8_t *>(p);
    case 2:
        if (is_unsigned) return *static_cast<const uint16_t *>(p);
        return *static_cast<const int16_t *>(p);
    case 4:
        if (is_unsigned) return *static_cast<const uint32_t *>(p);
        return *static_cast<const int32_t *>(p);
    default: {
        int64_t v;
        memcpy(&v, p, sizeof v);
        return v;
    }
    }
}

// Releases what `v` owns (not the block); defined with the free walk.
void FreeIn(const Hooks &h, const Type &t, void *v, int depth);

// Wire blocks up to this size live on the stack.
constexpr size_t kLocalWire = 512;

// The wire block of a Map field while it is encoded or printed.
class WireBlock {
  public:
    WireBlock(const Hooks &h, const Type &t) : h_(h), t_(t) {}
    ~WireBlock() {
        if (!p_) return;
        if (built_ && t_.map->wire_release) t_.map->wire_release(h_, p_);
        if (p_ != local_) h_.free(p_);
    }
    WireBlock(const WireBlock &) = delete;
    WireBlock &operator=(const WireBlock &) = delete;
    // 0, kNoMemory, or kBadArg with the conversion's code in *code.
    int Build(const void *field, uint32_t *code) {
        p_ = t_.elem->size <= kLocalWire ? local_ : h_.alloc(t_.elem->size);
        if (!p_) return kNoMemory;
        memset(p_, 0, t_.elem->size);
        *code = t_.map->to_wire(h_, field, p_);
        built_ = true;
        if (*code == t_.map->no_memory) return kNoMemory;
        return *code ? kBadArg : kOk;
    }
    const void *Get() const { return p_; }

  private:
    const Hooks &h_;
    const Type &t_;
    void *p_ = nullptr;
    bool built_ = false;
    alignas(16) unsigned char local_[kLocalWire];
};

} // namespace vrcore::ber
