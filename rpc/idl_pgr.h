// The interface of the name server: registration and look-up of named
// objects (servers, printers, queues, groups) of a domain. Every
// procedure returns a 32-bit result code of the name service.
#pragma once

#include <cstdint>

#include "rpc/ndr_stub.h"

namespace vrcore::rpc::pgr {

// Strings are NUL-terminated; a null string is sent as a null pointer.
struct Identity {
    uint16_t object_class; // a 16-bit enumeration
    char *name;
    char *domain;
};

struct StringList {
    uint32_t count;
    char **strings; // `count` strings, or null
};

struct ServerInfo {
    uint32_t count;
    char **bindings; // `count` string bindings, or null
    char *host;
    uint32_t info;
};

struct IdentityList {
    uint32_t count;
    Identity *items; // `count` identities, or null
};

enum Opnum : uint16_t {
    kGetDomain = 0,
    kDeleteObject = 1,
    kCreateObject = 2,
    kGetObject = 3,
    kListObjects = 4,
    kGetHost = 5,
    kListDomains = 6,
    kHello = 7,
};

// The parameters of each procedure, in wire order.
struct NoIn {};
struct IdentityIn {
    Identity id;
};
struct DomainIn {
    char *domain;
};
struct CreateIn {
    Identity id;
    Identity server;
    uint32_t force;
    ServerInfo info;
    IdentityList members;
};

struct ResultOut {
    uint32_t result;
};
struct StringOut { // get domain (the domain), get host and hello (a host)
    char *text;
    uint32_t result;
};
struct CreateOut {
    uint32_t replaced;
    uint32_t result;
};
struct GetObjectOut {
    Identity server;
    StringList bindings;
    uint32_t info;
    uint16_t found_class;
    uint32_t result;
};
struct IdentityListOut {
    IdentityList list;
    uint32_t result;
};
struct StringListOut {
    StringList list;
    uint32_t result;
};

extern const ndr::Interface kInterface; // b1da8d70-4984-11d0-b98c-00a0248df91a v1.1

} // namespace vrcore::rpc::pgr
