// The ONC request records: wire bytes against the RPC library's character
// routine (the transport against a real server is in odp_ops_test.cpp).
#include <algorithm>
#include <cstring>
#include <rpc/rpc.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "client/transport.h"
#include "onc_live.h"
#include "vrcore/odpcli.h"
#include "vrcore/odpops.h"

namespace {

namespace client = vrcore::client;
using vrtest::Proc;
using Bytes = std::vector<unsigned char>;

Bytes Pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 7 + 0x80);
    return b;
}

Bytes Words(std::initializer_list<uint32_t> words) {
    Bytes out;
    for (uint32_t w : words)
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<unsigned char>(w >> s));
    return out;
}

// A reply as kind (one word), result and error.
void Parts(uint32_t kind, const void *result, size_t rn, const void *error, size_t en,
           Bytes out[3]) {
    auto *r = static_cast<const unsigned char *>(result),
         *e = static_cast<const unsigned char *>(error);
    out[0] = Words({kind}), out[1] = Bytes(r, r + rn), out[2] = Bytes(e, e + en);
}
void Parts(const ODP_result_t &r, Bytes out[3]) {
    Parts(uint32_t(r.error_kind), r.result.encodePacket_val, r.result.encodePacket_len,
          r.error.encodePacket_val, r.error.encodePacket_len, out);
}

// An argument record by the bulk routine, or by the RPC library's
// xdr_array of xdr_char.
Bytes Argument(int op, const unsigned char *bytes, size_t n, bool reference = false) {
    Bytes out(8 + n * 4), copy(bytes, bytes + n);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(out.data()), u_int(out.size()), XDR_ENCODE);
    ODP_argument_t a{op, {u_int(n), const_cast<char *>(reinterpret_cast<const char *>(bytes))}};
    char *p = reinterpret_cast<char *>(copy.data());
    EXPECT_TRUE(reference ? xdr_int(&x, &op) && xdr_array(&x, &p, &a.request.encodePacket_len, ~0u,
                                                          1, Proc(xdr_char))
                          : xdr_ODP_argument_t(&x, &a));
    return out;
}

// Reads a reply record into its parts; frees it in any case.
bool ReadReply(Bytes wire, Bytes out[3]) {
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(wire.data()), u_int(wire.size()), XDR_DECODE);
    ODP_result_t r{};
    bool ok = xdr_ODP_result_t(&x, &r);
    if (ok) Parts(r, out);
    xdr_free(Proc(xdr_ODP_result_t), reinterpret_cast<char *>(&r));
    EXPECT_EQ(r.result.encodePacket_val, nullptr);
    return ok;
}

const unsigned char kReadOnly[] = {0x00, 0x7F, 0x80, 0xFF};

TEST(OncXdr, PacketsMatchTheCharacterRoutineByteForByte) {
    // Blocks of the bulk routine meet the count at, around and past 1024.
    for (size_t n : {0, 1, 5, 1023, 1024, 1025, 5000}) {
        Bytes bytes = Pattern(n), ours = Argument(9, bytes.data(), n);
        ASSERT_EQ(ours, Argument(9, bytes.data(), n, true)) << n;
        // A reply of the reference's packets reads back.
        Bytes reply = Words({12}), got[3];
        for (int i = 0; i < 2; ++i) reply.insert(reply.end(), ours.begin() + 4, ours.end());
        ASSERT_TRUE(ReadReply(reply, got)) << n;
        EXPECT_EQ(got[0], Words({12}));
        EXPECT_TRUE(got[1] == bytes && got[2] == bytes) << n;
    }
    // Encoding only reads (read-only memory is fine); high bytes travel
    // sign-extended.
    EXPECT_EQ(Argument(1, kReadOnly, 4), Words({1, 4, 0, 0x7F, 0xFFFFFF80u, 0xFFFFFFFFu}));
}

TEST(OncXdr, FailedRequestDumpLayout) {
    EXPECT_EQ(client::HexDump(nullptr, 0), "\n");
    Bytes b(23);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 11);
    EXPECT_EQ(client::HexDump(b.data(), uint32_t(b.size())),
              "\n0\t000B16212C37424D5863  6E79848F9AA5B0BBC6D1\n20\tDCE7F2\n");
}

} // namespace
