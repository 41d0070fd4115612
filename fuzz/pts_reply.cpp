// The result of a PTS get, decoded from hostile bytes. A binding that
// decodes must encode to bytes that decode to the same binding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "nameservice/pts_proto.h"

using namespace vrcore::nameservice::pts;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<char> in(data, data + size);
    XDR x;
    xdrmem_create(&x, in.data(), static_cast<u_int>(in.size()), XDR_DECODE);
    Binding b, c;
    if (!XdrBinding(&x, &b)) return 0;
    char out[kMaxName + 64];
    xdrmem_create(&x, out, sizeof out, XDR_ENCODE);
    if (!XdrBinding(&x, &b)) abort();
    u_int len = xdr_getpos(&x);
    xdrmem_create(&x, out, len, XDR_DECODE);
    if (!XdrBinding(&x, &c) || std::strcmp(b.object.name, c.object.name) != 0 ||
        b.object.type != c.object.type || b.program != c.program || b.version != c.version)
        abort();
    return 0;
}
