#include "rpc/idl_pgr.h"

#include <cstddef>

namespace vrcore::rpc::pgr {

using ndr::Field;
using ndr::Kind;
using ndr::Ptr;
using ndr::Type;

namespace {

constexpr uint16_t kPtr = sizeof(void *);

const Field kIdentityFields[] = {{offsetof(Identity, object_class), &ndr::kEnum16Type},
                                 {offsetof(Identity, name), &ndr::kUniqueStringType},
                                 {offsetof(Identity, domain), &ndr::kUniqueStringType}};
const Type kIdentity{
    .kind = Kind::kStruct, .size = sizeof(Identity), .fields = kIdentityFields, .field_count = 3};

// A unique pointer to `count` unique string pointers, `count` being a
// member at `count_at` of the same structure.
constexpr Type StringArray(uint16_t count_at) {
    return {.kind = Kind::kConfArray,
            .size = kPtr,
            .inner = &ndr::kUniqueStringType,
            .count_at = count_at};
}
const Type kListStrings = StringArray(offsetof(StringList, count));
const Type kListStringsPtr{.kind = Kind::kPointer, .size = kPtr, .inner = &kListStrings};
const Field kStringListFields[] = {{offsetof(StringList, count), &ndr::kLongType},
                                   {offsetof(StringList, strings), &kListStringsPtr}};
const Type kStringList{.kind = Kind::kStruct,
                       .size = sizeof(StringList),
                       .fields = kStringListFields,
                       .field_count = 2};

const Type kInfoBindings = StringArray(offsetof(ServerInfo, count));
const Type kInfoBindingsPtr{.kind = Kind::kPointer, .size = kPtr, .inner = &kInfoBindings};
const Field kServerInfoFields[] = {{offsetof(ServerInfo, count), &ndr::kLongType},
                                   {offsetof(ServerInfo, bindings), &kInfoBindingsPtr},
                                   {offsetof(ServerInfo, host), &ndr::kUniqueStringType},
                                   {offsetof(ServerInfo, info), &ndr::kLongType}};
const Type kServerInfo{.kind = Kind::kStruct,
                       .size = sizeof(ServerInfo),
                       .fields = kServerInfoFields,
                       .field_count = 4};

const Type kIdentities{.kind = Kind::kConfArray,
                       .size = sizeof(Identity),
                       .inner = &kIdentity,
                       .count_at = offsetof(IdentityList, count)};
const Type kIdentitiesPtr{.kind = Kind::kPointer, .size = kPtr, .inner = &kIdentities};
const Field kIdentityListFields[] = {{offsetof(IdentityList, count), &ndr::kLongType},
                                     {offsetof(IdentityList, items), &kIdentitiesPtr}};
const Type kIdentityList{.kind = Kind::kStruct,
                         .size = sizeof(IdentityList),
                         .fields = kIdentityListFields,
                         .field_count = 2};

const Field kIdentityIn[] = {{offsetof(IdentityIn, id), &kIdentity}};
const Field kDomainIn[] = {{offsetof(DomainIn, domain), &ndr::kUniqueStringType}};
const Field kCreateIn[] = {{offsetof(CreateIn, id), &kIdentity},
                           {offsetof(CreateIn, server), &kIdentity},
                           {offsetof(CreateIn, force), &ndr::kLongType},
                           {offsetof(CreateIn, info), &kServerInfo},
                           {offsetof(CreateIn, members), &kIdentityList}};

const Field kResultOut[] = {{offsetof(ResultOut, result), &ndr::kLongType}};
const Field kStringOut[] = {{offsetof(StringOut, text), &ndr::kUniqueStringType},
                            {offsetof(StringOut, result), &ndr::kLongType}};
const Field kCreateOut[] = {{offsetof(CreateOut, replaced), &ndr::kLongType},
                            {offsetof(CreateOut, result), &ndr::kLongType}};
const Field kGetObjectOut[] = {{offsetof(GetObjectOut, server), &kIdentity},
                               {offsetof(GetObjectOut, bindings), &kStringList},
                               {offsetof(GetObjectOut, info), &ndr::kLongType},
                               {offsetof(GetObjectOut, found_class), &ndr::kEnum16Type},
                               {offsetof(GetObjectOut, result), &ndr::kLongType}};
const Field kIdentityListOut[] = {{offsetof(IdentityListOut, list), &kIdentityList},
                                  {offsetof(IdentityListOut, result), &ndr::kLongType}};
const Field kStringListOut[] = {{offsetof(StringListOut, list), &kStringList},
                                {offsetof(StringListOut, result), &ndr::kLongType}};

const ndr::Procedure kProcedures[] = {
    {kGetDomain, "get_domain", {}, kStringOut, sizeof(NoIn), sizeof(StringOut)},
    {kDeleteObject, "delete_object", kIdentityIn, kResultOut, sizeof(IdentityIn),
     sizeof(ResultOut)},
    {kCreateObject, "create_object", kCreateIn, kCreateOut, sizeof(CreateIn), sizeof(CreateOut)},
    {kGetObject, "get_object", kIdentityIn, kGetObjectOut, sizeof(IdentityIn),
     sizeof(GetObjectOut)},
    {kListObjects, "list_objects", kIdentityIn, kIdentityListOut, sizeof(IdentityIn),
     sizeof(IdentityListOut)},
    {kGetHost, "get_host", kIdentityIn, kStringOut, sizeof(IdentityIn), sizeof(StringOut)},
    {kListDomains, "list_domains", kDomainIn, kStringListOut, sizeof(DomainIn),
     sizeof(StringListOut)},
    {kHello, "hello", kDomainIn, kStringOut, sizeof(DomainIn), sizeof(StringOut)},
};

} // namespace

const ndr::Interface kInterface{{{{0x70, 0x8d, 0xda, 0xb1, 0x84, 0x49, 0xd0, 0x11, 0xb9, 0x8c, 0x00,
                                   0xa0, 0x24, 0x8d, 0xf9, 0x1a}},
                                 1,
                                 1},
                                "pgr",
                                kProcedures};

} // namespace vrcore::rpc::pgr
