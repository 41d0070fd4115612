// Random valid values of every described structure and a canonical text
// dump of a value, for the copy and delete tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <span>
#include <string>

#include <gtest/gtest.h>

#include "status_list.h"
#include "syntax/gentype.h"
#include "vrcore/genu.h"

namespace vrtest {

// While one lives, values come from small domains and often share components:
// strings of 'a' and 'b', numbers 0..2, texts and names of the given kind.
class NarrowValues {
  public:
    explicit NarrowValues(int32_t kind);
    ~NarrowValues();
    NarrowValues(const NarrowValues &) = delete;
    NarrowValues &operator=(const NarrowValues &) = delete;
};

// Every exported descriptor with the structure it copies and deletes.
struct Described {
    const char *name;
    const GENU_ValueDescriptor *desc;
    const vrcore::syntax::TypeInfo *type;
};
std::span<const Described> DescribedTypes();
// The structure of a value type's values; null for a type without one.
const vrcore::syntax::TypeInfo *TypeOfValueType(uint32_t type);

// Values pointing at the caller's bytes: a text of any kind (`n` bytes of a counted
// kind, all of `s` by default), a simple name, a name-or-identifier of either choice.
inline GEN_Text Txt(int32_t kind, const char *s, size_t n = SIZE_MAX, GENU_ShortOID charset = 0) {
    GEN_Text t{};
    t.kind = kind;
    t.charset = charset;
    if (kind <= GEN_KIND_STRING) {
        t.u.string = const_cast<char *>(s);
    } else if ((t.u.octets.length = static_cast<int32_t>(n == SIZE_MAX ? std::strlen(s) : n))) {
        t.u.octets.value = reinterpret_cast<unsigned char *>(const_cast<char *>(s));
    }
    return t;
}
inline GEN_SimpleName Name(int32_t kind, const char *s) {
    GEN_SimpleName n{};
    n.kind = kind;
    size_t len = std::strlen(s);
    if (kind <= GEN_KIND_STRING) {
        std::memcpy(n.u.string, s, len + 1);
    } else {
        n.u.counted.length = static_cast<uint16_t>(len);
        std::memcpy(n.u.counted.value, s, len);
    }
    return n;
}
inline GEN_NameOrOID Oid(GENU_ShortOID oid) { return {GEN_NOID_OID, {.oid = oid}}; }
inline GEN_NameOrOID Named(int32_t kind, const char *s) {
    return {GEN_NOID_NAME, {.name = Name(kind, s)}};
}

inline std::string Code(uint32_t code) { return "code " + std::to_string(code); }
// What a call making a new string at `s` gave: the string, or the failure's code.
template <typename F> std::string Made(F &&call) {
    StatusList st;
    char *s = reinterpret_cast<char *>(1);
    if (call(st.list, &s) != 0) {
        EXPECT_EQ(s, nullptr);
        return Code(st.Code());
    }
    std::string r(s);
    GENU__CoveredFree(s);
    return r;
}
#define STR(call) vrtest::Made([&](STF_List *st, char **s) { return call; })

// A new malloc'ed block holding a random value of `t`.
void *NewRandomValue(std::mt19937 &rng, const vrcore::syntax::TypeInfo &t);
// The value's content, addresses left out: equal dumps mean equal values.
std::string Dump(const vrcore::syntax::TypeInfo &t, const void *v);

} // namespace vrtest
