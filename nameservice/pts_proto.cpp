// The PTS protocol's XDR routines.
#include "nameservice/pts_proto.h"

#include <cstring>

namespace vrcore::nameservice::pts {

bool SetName(ObjectName &o, std::string_view name) {
    if (name.size() > kMaxName || name.find('\0') != std::string_view::npos) return false;
    std::memcpy(o.name, name.data(), name.size());
    o.name[name.size()] = '\0';
    return true;
}

bool_t XdrObjectName(XDR *xdrs, ObjectName *o) {
    u_int len = 0;
    if (xdrs->x_op == XDR_ENCODE) len = static_cast<u_int>(strnlen(o->name, kMaxName + 1));
    if (!xdr_u_int(xdrs, &len) || len > kMaxName) return FALSE;
    if (xdrs->x_op != XDR_FREE) {
        if (!xdr_opaque(xdrs, o->name, len)) return FALSE;
        if (xdrs->x_op == XDR_DECODE) {
            if (std::memchr(o->name, '\0', len)) return FALSE;
            o->name[len] = '\0';
        }
    }
    return xdr_int(xdrs, &o->type);
}

bool_t XdrBinding(XDR *xdrs, Binding *b) {
    return XdrObjectName(xdrs, &b->object) && xdr_int(xdrs, &b->program) &&
           xdr_int(xdrs, &b->version);
}

} // namespace vrcore::nameservice::pts
