#include "rpc/ndr_stub.h"

#include <cstring>
#include <map>
#include <new>
#include <utility>

#include "rpc/rpc_status.h"

namespace vrcore::rpc::ndr {

const Type kSmallType{.kind = Kind::kSmall, .size = 1};
const Type kShortType{.kind = Kind::kShort, .size = 2};
const Type kEnum16Type{.kind = Kind::kEnum16, .size = 2};
const Type kLongType{.kind = Kind::kLong, .size = 4};
const Type kUuidType{.kind = Kind::kUuid, .size = sizeof(Uuid)};
const Type kStringType{.kind = Kind::kString, .size = sizeof(char *)};
const Type kUniqueStringType{
    .kind = Kind::kPointer, .size = sizeof(char *), .ptr = Ptr::kUnique, .inner = &kStringType};

const Procedure *Interface::Find(uint16_t opnum) const {
    for (const Procedure &p : procedures) {
        if (p.opnum == opnum) return &p;
    }
    return nullptr;
}

namespace {

template <class T> T Load(const uint8_t *p) {
    T v;
    memcpy(&v, p, sizeof v);
    return v;
}
template <class T> void Store(uint8_t *p, T v) { memcpy(p, &v, sizeof v); }

// Arrays and strings keep a pointer to their elements in their slot, so a
// pointer to one shares the slot.
bool Indirect(const Type &t) {
    return t.kind == Kind::kConfArray || t.kind == Kind::kConfVaryingArray ||
           t.kind == Kind::kString || t.kind == Kind::kVaryingString;
}

const Field *ConformantMember(const Type &t) {
    if (t.kind != Kind::kStruct || t.field_count == 0) return nullptr;
    const Field *last = &t.fields[t.field_count - 1];
    return last->type->kind == Kind::kConfArray ? last : nullptr;
}

size_t Alignment(const Type &t) {
    switch (t.kind) {
    case Kind::kSmall: return 1;
    case Kind::kShort:
    case Kind::kEnum16: return 2;
    case Kind::kStruct: {
        size_t a = ConformantMember(t) ? 4 : 1;
        for (uint8_t i = 0; i < t.field_count; ++i) {
            const Type &f = *t.fields[i].type;
            size_t fa = f.kind == Kind::kConfArray ? Alignment(*f.inner) : Alignment(f);
            if (fa > a) a = fa;
        }
        return a;
    }
    default: return 4;
    }
}

// The fewest bytes one value takes on the wire, padding aside (never 0):
// what a count of elements is checked against before anything is allocated.
size_t MinWire(const Type &t) {
    switch (t.kind) {
    case Kind::kSmall: return 1;
    case Kind::kShort:
    case Kind::kEnum16: return 2;
    case Kind::kUuid: return 16;
    case Kind::kStruct: {
        size_t n = 0;
        for (uint8_t i = 0; i < t.field_count; ++i) {
            const Type &f = *t.fields[i].type;
            n += f.kind == Kind::kConfArray ? 4 : MinWire(f);
        }
        return n ? n : 1;
    }
    case Kind::kConfVaryingArray: return 12;
    case Kind::kString: return 13;
    case Kind::kVaryingString: return 9;
    default: return 4;
    }
}

class Marshaller {
  public:
    explicit Marshaller(std::vector<uint8_t> *out) : w_(out) {}

    uint32_t Params(std::span<const Field> fields, const uint8_t *args) {
        for (const Field &f : fields) {
            std::vector<Deferred> d;
            const uint8_t *slot = args + f.offset;
            const Type *t = f.type;
            if (t->kind == Kind::kPointer && t->ptr == Ptr::kRef) {
                const uint8_t *target = Load<const uint8_t *>(slot);
                if (!target) return kNullRefPointer;
                t = t->inner;
                if (!Indirect(*t)) slot = target;
            }
            if (uint32_t st = Inline(*t, slot, args, &d)) return st;
            if (uint32_t st = Flush(d)) return st;
        }
        return kOk;
    }

  private:
    struct Deferred {
        const Type *type;
        const uint8_t *slot;
        const uint8_t *base;
    };

    uint32_t Flush(const std::vector<Deferred> &d) {
        for (const Deferred &p : d) {
            std::vector<Deferred> inner;
            if (uint32_t st = Inline(*p.type, p.slot, p.base, &inner)) return st;
            if (uint32_t st = Flush(inner)) return st;
        }
        return kOk;
    }

    uint32_t Elements(const Type &elem, const uint8_t *elems, uint32_t n, const uint8_t *base,
                      std::vector<Deferred> *d) {
        if (n && !elems) return kNullRefPointer;
        if (elem.kind == Kind::kSmall) {
            w_.Bytes(elems, n);
            return kOk;
        }
        for (uint32_t i = 0; i < n; ++i) {
            if (uint32_t st = Inline(elem, elems + size_t(i) * elem.size, base, d)) return st;
        }
        return kOk;
    }

    uint32_t Chars(const char *s, size_t bound, bool conformant) {
        if (!s) s = "";
        size_t n = strlen(s) + 1;
        if (n > bound) return kInvalidBound;
        if (conformant) w_.U32(uint32_t(n));
        w_.U32(0);
        w_.U32(uint32_t(n));
        w_.Bytes(s, n);
        return kOk;
    }

    uint32_t Inline(const Type &t, const uint8_t *slot, const uint8_t *base,
                    std::vector<Deferred> *d) {
        switch (t.kind) {
        case Kind::kSmall: w_.U8(*slot); return kOk;
        case Kind::kShort: w_.U16(Load<uint16_t>(slot)); return kOk;
        case Kind::kEnum16: {
            uint16_t v = Load<uint16_t>(slot);
            if (v > 0x7fff) return kEnumValueOutOfRange;
            w_.U16(v);
            return kOk;
        }
        case Kind::kLong: w_.U32(Load<uint32_t>(slot)); return kOk;
        case Kind::kUuid: w_.PutUuid(Load<Uuid>(slot)); return kOk;
        case Kind::kStruct: {
            const Field *conf = ConformantMember(t);
            if (conf) w_.U32(Load<uint32_t>(slot + conf->type->count_at));
            w_.Align(Alignment(t));
            for (uint8_t i = 0; i < t.field_count; ++i) {
                const Field &f = t.fields[i];
                uint32_t st = &f == conf
                                  ? Elements(*f.type->inner, Load<const uint8_t *>(slot + f.offset),
                                             Load<uint32_t>(slot + f.type->count_at), slot, d)
                                  : Inline(*f.type, slot + f.offset, slot, d);
                if (st) return st;
            }
            return kOk;
        }
        case Kind::kPointer: {
            const uint8_t *target = Load<const uint8_t *>(slot);
            if (!target) {
                if (t.ptr == Ptr::kRef) return kNullRefPointer;
                w_.U32(0);
                return kOk;
            }
            if (t.ptr == Ptr::kFull) {
                auto [it, fresh] = full_.try_emplace({target, t.inner}, next_id_);
                w_.U32(it->second);
                if (!fresh) return kOk;
            } else {
                w_.U32(next_id_);
            }
            next_id_ += 4;
            d->push_back({t.inner, Indirect(*t.inner) ? slot : target, base});
            return kOk;
        }
        case Kind::kConfArray: {
            uint32_t n = Load<uint32_t>(base + t.count_at);
            w_.U32(n);
            return Elements(*t.inner, Load<const uint8_t *>(slot), n, base, d);
        }
        case Kind::kConfVaryingArray: {
            uint32_t max = Load<uint32_t>(base + t.count_at);
            uint32_t n = Load<uint32_t>(base + t.length_at);
            if (n > max) return kInvalidBound;
            w_.U32(max);
            w_.U32(0);
            w_.U32(n);
            return Elements(*t.inner, Load<const uint8_t *>(slot), n, base, d);
        }
        case Kind::kString:
            if (!Load<const char *>(slot)) return kNullRefPointer;
            return Chars(Load<const char *>(slot), UINT32_MAX, true);
        case Kind::kVaryingString: return Chars(Load<const char *>(slot), t.bound, false);
        }
        return kInvalidBound;
    }

    Writer w_;
    std::map<std::pair<const void *, const Type *>, uint32_t> full_;
    uint32_t next_id_ = 0x00020000;
};

class Unmarshaller {
  public:
    Unmarshaller(std::span<const uint8_t> bytes, bool big_endian, Arena *arena)
        : r_(bytes, big_endian), arena_(arena) {}

    uint32_t Params(std::span<const Field> fields, uint8_t *args) {
        for (const Field &f : fields) {
            std::vector<Deferred> d;
            uint8_t *slot = args + f.offset;
            const Type *t = f.type;
            if (t->kind == Kind::kPointer && t->ptr == Ptr::kRef) {
                t = t->inner;
                if (!Indirect(*t)) {
                    void *target = arena_->Alloc(t->size);
                    if (!target) return kOutOfMemory;
                    Store(slot, target);
                    slot = static_cast<uint8_t *>(target);
                }
            }
            if (uint32_t st = Inline(*t, slot, args, &d)) return st;
            if (uint32_t st = Flush(d)) return st;
        }
        if (r_.Remaining() >= 16) return kBadStubData;
        for (const auto &[slot, first] : aliases_) Store(slot, Load<void *>(first));
        return kOk;
    }

  private:
    struct Deferred {
        const Type *type;
        uint8_t *slot;
        uint8_t *base;
    };

    uint32_t Flush(const std::vector<Deferred> &d) {
        for (const Deferred &p : d) {
            std::vector<Deferred> inner;
            if (uint32_t st = Inline(*p.type, p.slot, p.base, &inner)) return st;
            if (uint32_t st = Flush(inner)) return st;
        }
        return kOk;
    }

    // `n` elements into fresh arena memory whose address goes to `slot`.
    uint32_t Elements(const Type &elem, uint32_t n, uint8_t *slot, uint8_t *base,
                      std::vector<Deferred> *d) {
        if (n == 0) return kOk;
        if (n > r_.Remaining() / MinWire(elem)) return kBadStubData;
        auto *mem = static_cast<uint8_t *>(arena_->Alloc(size_t(n) * elem.size));
        if (!mem) return kOutOfMemory;
        Store(slot, mem);
        if (elem.kind == Kind::kSmall) return r_.Bytes(mem, n) ? kOk : kBadStubData;
        for (uint32_t i = 0; i < n; ++i) {
            if (uint32_t st = Inline(elem, mem + size_t(i) * elem.size, base, d)) return st;
        }
        return kOk;
    }

    // A NUL-terminated string: offset 0, the NUL last and nowhere before.
    uint32_t Chars(uint8_t *slot, uint32_t max) {
        uint32_t offset, n;
        if (!r_.U32(&offset) || !r_.U32(&n) || offset != 0 || n == 0 || n > max)
            return kBadStubData;
        const uint8_t *p = r_.Peek(n);
        if (!p || p[n - 1] != 0 || memchr(p, 0, n - 1)) return kBadStubData;
        void *s = arena_->Alloc(n);
        if (!s) return kOutOfMemory;
        r_.Bytes(s, n);
        Store(slot, s);
        return kOk;
    }

    uint32_t Inline(const Type &t, uint8_t *slot, uint8_t *base, std::vector<Deferred> *d) {
        switch (t.kind) {
        case Kind::kSmall: return r_.U8(slot) ? kOk : kBadStubData;
        case Kind::kShort:
        case Kind::kEnum16: {
            uint16_t v;
            if (!r_.U16(&v) || (t.kind == Kind::kEnum16 && v > 0x7fff)) return kBadStubData;
            Store(slot, v);
            return kOk;
        }
        case Kind::kLong: {
            uint32_t v;
            if (!r_.U32(&v)) return kBadStubData;
            Store(slot, v);
            return kOk;
        }
        case Kind::kUuid: {
            Uuid u;
            if (!r_.GetUuid(&u)) return kBadStubData;
            Store(slot, u);
            return kOk;
        }
        case Kind::kStruct: {
            const Field *conf = ConformantMember(t);
            uint32_t max = 0;
            if (conf && !r_.U32(&max)) return kBadStubData;
            if (!r_.Align(Alignment(t))) return kBadStubData;
            for (uint8_t i = 0; i < t.field_count; ++i) {
                const Field &f = t.fields[i];
                uint32_t st;
                if (&f == conf) {
                    if (Load<uint32_t>(slot + f.type->count_at) != max) return kBadStubData;
                    st = Elements(*f.type->inner, max, slot + f.offset, slot, d);
                } else {
                    st = Inline(*f.type, slot + f.offset, slot, d);
                }
                if (st) return st;
            }
            return kOk;
        }
        case Kind::kPointer: {
            uint32_t id;
            if (!r_.U32(&id)) return kBadStubData;
            if (id == 0) return t.ptr == Ptr::kRef ? kBadStubData : kOk;
            if (t.ptr == Ptr::kFull) {
                // The same referent id of the same type is the same object:
                // its value follows once, at its first occurrence.
                auto [it, fresh] = full_.try_emplace({id, t.inner}, slot);
                if (!fresh) {
                    aliases_.emplace_back(slot, it->second);
                    return kOk;
                }
            }
            uint8_t *target = slot;
            if (!Indirect(*t.inner)) {
                target = static_cast<uint8_t *>(arena_->Alloc(t.inner->size));
                if (!target) return kOutOfMemory;
                Store(slot, target);
            }
            d->push_back({t.inner, target, base});
            return kOk;
        }
        case Kind::kConfArray: {
            uint32_t n;
            if (!r_.U32(&n) || n != Load<uint32_t>(base + t.count_at)) return kBadStubData;
            return Elements(*t.inner, n, slot, base, d);
        }
        case Kind::kConfVaryingArray: {
            // The maximum is stored where the description keeps it; the
            // actual count must agree with the count read before.
            uint32_t max, offset, n;
            if (!r_.U32(&max) || !r_.U32(&offset) || !r_.U32(&n) || offset != 0 || n > max ||
                n != Load<uint32_t>(base + t.length_at))
                return kBadStubData;
            Store(base + t.count_at, max);
            return Elements(*t.inner, n, slot, base, d);
        }
        case Kind::kString: {
            uint32_t max;
            if (!r_.U32(&max)) return kBadStubData;
            return Chars(slot, max);
        }
        case Kind::kVaryingString: return Chars(slot, t.bound);
        }
        return kBadStubData;
    }

    Reader r_;
    Arena *arena_;
    std::map<std::pair<uint32_t, const Type *>, uint8_t *> full_;
    std::vector<std::pair<uint8_t *, uint8_t *>> aliases_;
};

uint32_t Marshal(std::span<const Field> fields, const void *args, std::vector<uint8_t> *out) {
    size_t start = out->size();
    uint32_t st;
    try {
        Marshaller m(out);
        st = m.Params(fields, static_cast<const uint8_t *>(args));
    } catch (const std::bad_alloc &) {
        st = kOutOfMemory;
    }
    if (st != kOk) out->resize(start);
    return st;
}

uint32_t Unmarshal(std::span<const Field> fields, size_t size, std::span<const uint8_t> bytes,
                   uint8_t drep0, void *args, Arena *arena) {
    memset(args, 0, size);
    if ((drep0 & 0x0f) != 0 || (drep0 >> 4) > 1) return kBadStubData; // ASCII only
    try {
        Unmarshaller u(bytes, (drep0 >> 4) == 0, arena);
        return u.Params(fields, static_cast<uint8_t *>(args));
    } catch (const std::bad_alloc &) {
        return kOutOfMemory;
    }
}

} // namespace

uint32_t MarshalRequest(const Procedure &proc, const void *in_args, std::vector<uint8_t> *out) {
    return Marshal(proc.in, in_args, out);
}

uint32_t MarshalResponse(const Procedure &proc, const void *out_args, std::vector<uint8_t> *out) {
    return Marshal(proc.out, out_args, out);
}

uint32_t UnmarshalRequest(const Procedure &proc, std::span<const uint8_t> bytes, uint8_t drep0,
                          void *in_args, Arena *arena) {
    return Unmarshal(proc.in, proc.in_size, bytes, drep0, in_args, arena);
}

uint32_t UnmarshalResponse(const Procedure &proc, std::span<const uint8_t> bytes, uint8_t drep0,
                           void *out_args, Arena *arena) {
    return Unmarshal(proc.out, proc.out_size, bytes, drep0, out_args, arena);
}

} // namespace vrcore::rpc::ndr
