// Builders for the control-table descriptions: one place that knows how a
// scalar, string, constructed or list type and a tagged or plain member
// fill the runtime's records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "encoding/ber_runtime.h"

#define VRBER_COUNT(a) static_cast<uint32_t>(sizeof(a) / sizeof((a)[0]))

namespace vrcore::ber::build {

constexpr Type Scalar(const char *name, Kind k, uint8_t width, uint8_t flags, uint32_t size) {
    return Type{name, k, flags, width, 0, size, 0, nullptr, 0, nullptr, 0, 0};
}
constexpr Type Str(const char *name, Kind k, uint8_t univ, uint32_t size, uint32_t max) {
    return Type{name, k, 0, 0, univ, size, max, nullptr, 0, nullptr, 0, 0};
}
constexpr Type Cons(const char *name, Kind k, uint32_t size, const Member *m, uint32_t n) {
    return Type{name, k, 0, 0, 0, size, 0, m, n, nullptr, 0, 0};
}
// A list field: the address of the first node; each node holds the next
// node's address first and the element at elem_offset.
constexpr Type List(const char *name, const Type *elem, size_t elem_offset, size_t node_size) {
    return Type{name,
                Kind::SeqOf,
                0,
                0,
                0,
                sizeof(void *),
                0,
                nullptr,
                0,
                elem,
                static_cast<uint32_t>(elem_offset),
                static_cast<uint32_t>(node_size)};
}
// A member with an implicit context tag [n].
constexpr Member Ctx(const char *name, const Type *t, size_t off, uint32_t tag,
                     uint8_t presence = 0, uint16_t choice = 0) {
    return Member{
        name,  t,     static_cast<uint32_t>(off), TagMode::Implicit, kContext, tag, presence,
        false, choice};
}
constexpr Member Plain(const char *name, const Type *t, size_t off, uint8_t presence = 0,
                       uint16_t choice = 0) {
    return Member{name,  t,     static_cast<uint32_t>(off), TagMode::None, 0, 0, presence,
                  false, choice};
}

} // namespace vrcore::ber::build
