// Hostile ONC RPC request arguments of the print server: the reader of the
// operation and its bytes (private to the transport's file, which is taken
// in whole) decodes the input as XDR, from memory (first byte even) or as
// the record-marked stream of a connection (odd), under a small limit or
// the default one (bit 1). It must take no more than the limit, keep no
// more bytes than arrived, and hold exactly the count it read on success.
#include "dpad_onc.cpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct Input {
    const uint8_t *data;
    size_t size, at = 0;
};

int ReadInput(void *handle, void *buf, int len) {
    auto *in = reinterpret_cast<Input *>(handle);
    size_t n = std::min(size_t(len), in->size - in->at);
    if (n == 0) return -1; // the peer closed the connection
    std::memcpy(buf, in->data + in->at, n);
    in->at += n;
    return int(n);
}

int WriteNothing(void *, void *, int) { return -1; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    using namespace vrcore::dpad;
    static int quiet = LOG_Init("/dev/null", nullptr); // refusals are reported
    (void)quiet;
    g_max_request = data[0] & 2 ? 64u << 20 : 4096;
    Input in{data + 1, size - 1};
    XDR xdrs{};
    if (data[0] & 1) {
        xdrrec_create(&xdrs, 0, 0, &in, ReadInput, WriteNothing);
        xdrs.x_op = XDR_DECODE;
        xdrrec_skiprecord(&xdrs);
    } else {
        xdrmem_create(&xdrs, reinterpret_cast<char *>(const_cast<uint8_t *>(in.data)),
                      u_int(in.size), XDR_DECODE);
    }
    Request r;
    bool ok = ReadRequest(&xdrs, &r);
    // Each byte of the argument came in a word of its own, after 8 bytes
    // of operation and count.
    size_t most = in.size < 8 ? 0 : (in.size - 8) / 4;
    if (r.bytes.size() > most || r.bytes.size() > g_max_request) std::abort();
    if (ok && !(data[0] & 1)) { // from memory: the count, then the words' low bytes
        const uint8_t *c = in.data + 4;
        if (r.bytes.size() != (size_t(c[0]) << 24 | size_t(c[1]) << 16 | size_t(c[2]) << 8 | c[3]))
            std::abort();
        for (size_t i = 0; i < r.bytes.size(); ++i)
            if (r.bytes[i] != in.data[8 + 4 * i + 3]) std::abort();
    }
    XDR_DESTROY(&xdrs);
    return 0;
}
