// Random valid values of every described structure and a canonical text
// dump of a value, for the copy and delete tests.
#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <string>

#include "status_list.h"
#include "syntax/gentype.h"
#include "vrcore/genu.h"

namespace vrtest {

// While one lives, generated values come from small domains, so that
// values often share components: strings of at most two of the letters
// 'a' and 'b', plain numbers 0..2, every text and name of the given kind
// and code set 0.
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
    const vrsyn::TypeInfo *type;
};
std::span<const Described> DescribedTypes();
// The structure of a value type's values; null for a type without one.
const vrsyn::TypeInfo *TypeOfValueType(uint32_t type);

// A kind-1 text pointing at the caller's string.
inline GEN_Text Irv(const char *s) {
    GEN_Text t{};
    t.kind = GEN_KIND_IRV;
    t.u.string = const_cast<char *>(s);
    return t;
}

// Fills the zeroed structure `v` with a random valid value; owned blocks
// come from malloc (the library's default allocator).
void GenValue(std::mt19937 &rng, const vrsyn::TypeInfo &t, void *v, int depth = 0);
// A new malloc'ed block holding a random value of `t`.
void *NewRandomValue(std::mt19937 &rng, const vrsyn::TypeInfo &t);
// The value's content, addresses left out: equal dumps mean equal values.
// Numbers show in decimal and printable bytes as quoted text, so a test can
// state a whole value.
std::string Dump(const vrsyn::TypeInfo &t, const void *v);

} // namespace vrtest
