// The built-in identifier table and its two sorted indexes, generated at
// build time from builtin_oids.txt.
#pragma once

#include <cstdint>

namespace vrcore::oid {

// The BER form of an identifier: the content octets of its encoding.
struct BerForm {
    uint32_t length;
    const unsigned char *value;
};

struct BuiltinRow {
    const char *name;
    BerForm ber;                 // {0, nullptr} for rows without a value
    const unsigned char *binary; // 0x06, length octet, content; or nullptr
    uint32_t syntax;
};

struct IndexEntry {
    const BuiltinRow *row;
    uint32_t number;
};

inline constexpr uint32_t kRowCount = 1656;   // rows with data; a terminator follows
inline constexpr uint32_t kLowRows = 1093;    // rows 0..1092 carry their own number
inline constexpr uint32_t kHighBase = 3000;   // rows 1093.. carry 3000..
inline constexpr uint32_t kHighOffset = 1907; // short identifier - row number
inline constexpr uint32_t kDynamicBase = 0x80000000u;

extern const BuiltinRow kBuiltinRows[kRowCount + 1];
extern const IndexEntry kByValue[kRowCount];
extern const IndexEntry kByName[kRowCount];

} // namespace vrcore::oid
