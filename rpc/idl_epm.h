// The endpoint mapper's interface: servers register (object, interface,
// endpoint) entries as protocol towers; clients ask for the endpoint of an
// object and interface.
#pragma once

#include <cstdint>

#include "rpc/ndr_stub.h"
#include "rpc/uuid.h"

namespace vrcore::rpc::epm {

// A protocol tower in its encoded form (see rpc/tower.h).
struct Tower {
    uint32_t length;
    uint8_t *octets;
};

inline constexpr uint32_t kMaxAnnotation = 64; // bytes, the NUL included

struct Entry {
    Uuid object;
    Tower *tower;
    char *annotation; // null is sent as ""
};

// The 20 bytes of a context handle: the enumeration state of a look-up.
struct ContextHandle {
    uint32_t attributes;
    Uuid uuid;
};

struct InterfaceId {
    Uuid uuid;
    uint16_t major;
    uint16_t minor;
};

enum Opnum : uint16_t { kInsert = 0, kDelete = 1, kLookup = 2, kMap = 3, kLookupHandleFree = 4 };

// Look-up inquiry types and version options.
inline constexpr uint32_t kInquiryAll = 0;
inline constexpr uint32_t kInquiryInterface = 1;
inline constexpr uint32_t kInquiryObject = 2;
inline constexpr uint32_t kInquiryBoth = 3;
inline constexpr uint32_t kVersionAll = 1;
inline constexpr uint32_t kVersionCompatible = 2;
inline constexpr uint32_t kVersionExact = 3;
inline constexpr uint32_t kVersionMajorOnly = 4;
inline constexpr uint32_t kVersionUpTo = 5;

// Status numbers of the mapper's answers.
inline constexpr uint32_t kNotRegistered = 0x16c9a0d6; // no (more) entries

struct InsertIn { // ept_delete takes the same minus `replace`
    uint32_t num_ents;
    Entry *entries;
    uint32_t replace;
};
struct DeleteIn {
    uint32_t num_ents;
    Entry *entries;
};
struct StatusOut {
    uint32_t status;
};

// ept_lookup_handle_free: the resume handle of a lookup or map given back.
struct HandleFreeIn {
    ContextHandle entry_handle;
};
struct HandleFreeOut {
    ContextHandle entry_handle; // nil: the handle is gone
    uint32_t status;
};

struct LookupIn {
    uint32_t inquiry_type;
    Uuid *object;              // may be null
    InterfaceId *interface_id; // may be null
    uint32_t vers_option;
    ContextHandle entry_handle;
    uint32_t max_ents;
};
struct LookupOut {
    ContextHandle entry_handle;
    uint32_t num_ents;
    Entry *entries;
    uint32_t max_ents; // the array's capacity: the request's max_ents
    uint32_t status;
};

struct MapIn {
    Uuid *object; // may be null
    Tower *map_tower;
    ContextHandle entry_handle;
    uint32_t max_towers;
};
struct MapOut {
    ContextHandle entry_handle;
    uint32_t num_towers;
    Tower **towers;
    uint32_t max_towers; // the array's capacity: the request's max_towers
    uint32_t status;
};

extern const ndr::Interface kInterface; // e1af8308-5d1f-11c9-91a4-08002b14a0fa v3.0

} // namespace vrcore::rpc::epm
