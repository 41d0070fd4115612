// Internal view of status lists: the block layout and the allocation
// wrappers, shared by the status module and the tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "status/stf_alloc.h"
#include "vrcore/stf.h"

namespace vrcore::status {

inline constexpr uint32_t kMinBlock = 71;
inline constexpr uint32_t kMaxBlock = 65535;
inline constexpr uint32_t kDefaultBlock = 1000;
inline constexpr uint32_t kDefaultMax = 5;
inline constexpr uint32_t kMaxEntries = 2046;
inline constexpr uint32_t kListFlagStatic = 0x1;

// The 32-byte block header. Everything inside the block is addressed by
// 32-bit offsets from the block start (0 = none); the links to other lists
// are real addresses.
struct ListHeader {
    uint32_t head;        // newest entry
    uint16_t max_entries; // 1..2046
    uint16_t flags;       // bit 0: static read-only list
    uint32_t block_size;  // 71..65535
    uint16_t area_start;  // first 8-byte boundary at or after 32
    uint16_t reserved;
    STF_List *subordinate;
    STF_List *parent;
};
static_assert(sizeof(ListHeader) == 32);

// The 28-byte entry header.
struct EntryHeader {
    uint32_t next; // next older entry
    uint32_t kind;
    uint32_t code;
    uint32_t flags;
    int32_t arg_count;  // -1: none recorded
    uint32_t args;      // offset of the first argument record
    uint32_t arg_bytes; // records plus copied data
};
static_assert(sizeof(EntryHeader) == 28);
static_assert(sizeof(STF_ArgRecord) == 16);

// The shared static list returned when memory cannot be had.
STF_List *FallbackList();

// Number of entries and bytes free in a list (tests and diagnostics).
uint32_t EntryCount(const STF_List *list);
uint32_t FreeSpace(const STF_List *list);
STF_List *Subordinate(const STF_List *list);
STF_List *Parent(const STF_List *list);

} // namespace vrcore::status
