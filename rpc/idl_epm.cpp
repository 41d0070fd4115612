#include "rpc/idl_epm.h"

#include <cstddef>

namespace vrcore::rpc::epm {

using ndr::Field;
using ndr::Kind;
using ndr::Ptr;
using ndr::Type;

namespace {

constexpr uint16_t kPtr = sizeof(void *);

const Type kOctets{.kind = Kind::kConfArray,
                   .size = 1,
                   .inner = &ndr::kSmallType,
                   .count_at = offsetof(Tower, length)};
const Field kTowerFields[] = {{offsetof(Tower, length), &ndr::kLongType},
                              {offsetof(Tower, octets), &kOctets}};
const Type kTower{
    .kind = Kind::kStruct, .size = sizeof(Tower), .fields = kTowerFields, .field_count = 2};
const Type kTowerPtr{.kind = Kind::kPointer, .size = kPtr, .ptr = Ptr::kFull, .inner = &kTower};

const Type kAnnotation{
    .kind = Kind::kVaryingString, .size = kPtr, .bound = uint16_t(kMaxAnnotation)};
const Field kEntryFields[] = {{offsetof(Entry, object), &ndr::kUuidType},
                              {offsetof(Entry, tower), &kTowerPtr},
                              {offsetof(Entry, annotation), &kAnnotation}};
const Type kEntry{
    .kind = Kind::kStruct, .size = sizeof(Entry), .fields = kEntryFields, .field_count = 3};

const Field kHandleFields[] = {{offsetof(ContextHandle, attributes), &ndr::kLongType},
                               {offsetof(ContextHandle, uuid), &ndr::kUuidType}};
const Type kHandle{.kind = Kind::kStruct,
                   .size = sizeof(ContextHandle),
                   .fields = kHandleFields,
                   .field_count = 2};

const Field kIfIdFields[] = {{offsetof(InterfaceId, uuid), &ndr::kUuidType},
                             {offsetof(InterfaceId, major), &ndr::kShortType},
                             {offsetof(InterfaceId, minor), &ndr::kShortType}};
const Type kIfId{
    .kind = Kind::kStruct, .size = sizeof(InterfaceId), .fields = kIfIdFields, .field_count = 3};
const Type kIfIdPtr{.kind = Kind::kPointer, .size = kPtr, .ptr = Ptr::kFull, .inner = &kIfId};
const Type kUuidPtr{
    .kind = Kind::kPointer, .size = kPtr, .ptr = Ptr::kFull, .inner = &ndr::kUuidType};

const Type kInsertEntries{.kind = Kind::kConfArray,
                          .size = sizeof(Entry),
                          .inner = &kEntry,
                          .count_at = offsetof(InsertIn, num_ents)};
const Type kDeleteEntries{.kind = Kind::kConfArray,
                          .size = sizeof(Entry),
                          .inner = &kEntry,
                          .count_at = offsetof(DeleteIn, num_ents)};
const Type kLookupEntries{.kind = Kind::kConfVaryingArray,
                          .size = sizeof(Entry),
                          .inner = &kEntry,
                          .count_at = offsetof(LookupOut, max_ents),
                          .length_at = offsetof(LookupOut, num_ents)};
const Type kMapTowers{.kind = Kind::kConfVaryingArray,
                      .size = kPtr,
                      .inner = &kTowerPtr,
                      .count_at = offsetof(MapOut, max_towers),
                      .length_at = offsetof(MapOut, num_towers)};

const Field kInsertIn[] = {{offsetof(InsertIn, num_ents), &ndr::kLongType},
                           {offsetof(InsertIn, entries), &kInsertEntries},
                           {offsetof(InsertIn, replace), &ndr::kLongType}};
const Field kDeleteIn[] = {{offsetof(DeleteIn, num_ents), &ndr::kLongType},
                           {offsetof(DeleteIn, entries), &kDeleteEntries}};
const Field kStatusOut[] = {{offsetof(StatusOut, status), &ndr::kLongType}};
const Field kLookupIn[] = {{offsetof(LookupIn, inquiry_type), &ndr::kLongType},
                           {offsetof(LookupIn, object), &kUuidPtr},
                           {offsetof(LookupIn, interface_id), &kIfIdPtr},
                           {offsetof(LookupIn, vers_option), &ndr::kLongType},
                           {offsetof(LookupIn, entry_handle), &kHandle},
                           {offsetof(LookupIn, max_ents), &ndr::kLongType}};
const Field kLookupOut[] = {{offsetof(LookupOut, entry_handle), &kHandle},
                            {offsetof(LookupOut, num_ents), &ndr::kLongType},
                            {offsetof(LookupOut, entries), &kLookupEntries},
                            {offsetof(LookupOut, status), &ndr::kLongType}};
const Field kMapIn[] = {{offsetof(MapIn, object), &kUuidPtr},
                        {offsetof(MapIn, map_tower), &kTowerPtr},
                        {offsetof(MapIn, entry_handle), &kHandle},
                        {offsetof(MapIn, max_towers), &ndr::kLongType}};
const Field kMapOut[] = {{offsetof(MapOut, entry_handle), &kHandle},
                         {offsetof(MapOut, num_towers), &ndr::kLongType},
                         {offsetof(MapOut, towers), &kMapTowers},
                         {offsetof(MapOut, status), &ndr::kLongType}};
const Field kHandleFreeIn[] = {{offsetof(HandleFreeIn, entry_handle), &kHandle}};
const Field kHandleFreeOut[] = {{offsetof(HandleFreeOut, entry_handle), &kHandle},
                                {offsetof(HandleFreeOut, status), &ndr::kLongType}};

const ndr::Procedure kProcedures[] = {
    {kInsert, "ept_insert", kInsertIn, kStatusOut, sizeof(InsertIn), sizeof(StatusOut)},
    {kDelete, "ept_delete", kDeleteIn, kStatusOut, sizeof(DeleteIn), sizeof(StatusOut)},
    {kLookup, "ept_lookup", kLookupIn, kLookupOut, sizeof(LookupIn), sizeof(LookupOut)},
    {kMap, "ept_map", kMapIn, kMapOut, sizeof(MapIn), sizeof(MapOut)},
    {kLookupHandleFree, "ept_lookup_handle_free", kHandleFreeIn, kHandleFreeOut,
     sizeof(HandleFreeIn), sizeof(HandleFreeOut)},
};

} // namespace

const ndr::Interface kInterface{{{{0x08, 0x83, 0xaf, 0xe1, 0x1f, 0x5d, 0xc9, 0x11, 0x91, 0xa4, 0x08,
                                   0x00, 0x2b, 0x14, 0xa0, 0xfa}},
                                 3,
                                 0},
                                "epmapper",
                                kProcedures};

} // namespace vrcore::rpc::epm
