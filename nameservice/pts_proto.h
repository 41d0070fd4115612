// The PTS service's protocol: ONC RPC program 105004 version 1 over UDP. A host's PTS
// service maps object names to the program numbers and versions registered there now.
//   add    (1): binding      -> int status (0 success)
//   delete (2): object name  -> int status
//   get    (3): object name  -> binding (an empty name: none registered)
// An object name is an XDR string followed by an integer type; a binding is an object name
// followed by the program number and the version. The routines work on fixed buffers, so a
// hostile datagram allocates nothing: a name longer than kMaxName fails to decode.
#pragma once

#include <cstdint>
#include <rpc/rpc.h>
#include <string_view>

namespace vrcore::nameservice::pts {

constexpr rpcprog_t kProgram = 105004;
constexpr rpcvers_t kVersion = 1;
constexpr rpcproc_t kAdd = 1;
constexpr rpcproc_t kDelete = 2;
constexpr rpcproc_t kGet = 3;
// The type the name service gives every object it registers.
constexpr int32_t kObjectType = 5;
constexpr size_t kMaxName = 255;

// Status answers of add and delete besides 0.
constexpr int32_t kFailed = 1;      // the call itself failed (client side)
constexpr int32_t kNotFound = 2;    // delete of a name not in the map
constexpr int32_t kRefused = 3;     // add or delete from another host
constexpr int32_t kBadName = 4;     // an empty name
constexpr int32_t kFull = 5;        // the map holds its limit of entries
constexpr int32_t kStoreFailed = 6; // the map could not be written

struct ObjectName {
    char name[kMaxName + 1] = {};
    int32_t type = kObjectType;
};

struct Binding {
    ObjectName object;
    int32_t program = 0;
    int32_t version = 0;
};

// Sets the name; false when it is longer than kMaxName or holds a NUL.
bool SetName(ObjectName &o, std::string_view name);

bool_t XdrObjectName(XDR *xdrs, ObjectName *o);
bool_t XdrBinding(XDR *xdrs, Binding *b);

// An XDR routine as the RPC library's calls take it.
template <class F> xdrproc_t Proc(F *f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

} // namespace vrcore::nameservice::pts
