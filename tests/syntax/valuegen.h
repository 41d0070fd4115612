// Random valid values of every described structure and a canonical text
// dump of a value, for the copy and delete tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "syntax/gentype.h"

namespace vrtest {

// A status list for one test, deleted at its end.
struct StatusList {
    STF_List *list = STF_CreateList(nullptr);
    ~StatusList() { STF_DeleteList(list); }
    operator STF_List *() const { return list; }
    uint32_t code() const { return STF_GetStatus(list); }
    // The code a call left that had to fail (rc 1); ~0 when it did not.
    uint32_t failed(int rc) const { return rc == 1 ? code() : 0xFFFFFFFFu; }
    // The list emptied, for the copy and delete family, which adds to a
    // list without clearing it.
    STF_List *fresh() const { return STF_ClearStatus(list); }
};

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

// Fills the zeroed structure `v` with a random valid value; owned blocks
// come from malloc (the library's default allocator).
void GenValue(std::mt19937 &rng, const vrsyn::TypeInfo &t, void *v, int depth = 0);
// A new malloc'ed block holding a random value of `t`.
void *NewRandomValue(std::mt19937 &rng, const vrsyn::TypeInfo &t);
// The value's content, addresses left out: equal dumps mean equal values.
std::string Dump(const vrsyn::TypeInfo &t, const void *v);

} // namespace vrtest
