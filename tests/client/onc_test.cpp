// The ONC request records and transport: wire bytes against the RPC
// library's character routine, and hostile replies and large requests from
// a real server behind its own rpcbind.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <rpc/rpc.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "client/transport.h"
#include "onc_live.h"
#include "system/seam.h"
#include "vrcore/odpcli.h"
#include "vrcore/odpops.h"

namespace {

namespace client = vrcore::client;
using vrtest::Proc;
namespace seam = vrcore::system::seam;
using Bytes = std::vector<unsigned char>;

// The largest single allocation of the library while it lives.
struct PeakAlloc {
    static inline std::atomic<size_t> peak{0};
    static void *Alloc(seam::Module, size_t n) {
        return peak = std::max<size_t>(peak, n), malloc(n);
    }
    static void Release(seam::Module, void *p) { free(p); }
    seam::Allocator table{Alloc, Release};
    PeakAlloc() { peak = 0, seam::SetAllocator(&table); }
    ~PeakAlloc() { seam::SetAllocator(nullptr); }
};

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

// ---- Against a real server ------------------------------------------------

constexpr uint32_t kProgram = 0x20271027;
constexpr uint32_t kVersion = 1;

TEST(OncLive, TransportAgainstARealServer) {
    vrtest::RunInsideOncEnv(kProgram, kVersion, "OncInside.*", 1);
}

class OncInside : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getenv("ODP_TEST_PROGRAM"), nullptr) << "runs only inside onc_env.sh";
        control_ = clnt_create("127.0.0.1", kProgram, kVersion, "tcp");
        ASSERT_NE(control_, nullptr);
        ASSERT_EQ(client::BindOnc({"127.0.0.1", kProgram, kVersion, nullptr, nullptr}, &transport_),
                  0u);
    }
    void TearDown() override {
        transport_.reset();
        if (control_) clnt_destroy(control_);
    }
    // Appends lines to the server's script; the last request it took:
    // operation, bytes, {every byte sign-extended, decoded}.
    void Control(const std::string &script, Bytes last[3] = nullptr) {
        ODP_result_t r{};
        if (!vrtest::ControlServer(control_, script, &r)) return;
        if (last) Parts(r, last);
        xdr_free(Proc(xdr_ODP_result_t), reinterpret_cast<char *>(&r));
    }
    // One request: 0 and the reply's kind, result and error, or the code.
    uint32_t Call(int op, const Bytes &request, Bytes got[3] = nullptr) {
        client::Reply r;
        uint32_t code = transport_->Call(op, request.data(), uint32_t(request.size()), &r);
        if (got) Parts(r.error_kind, r.result, r.result_length, r.error, r.error_length, got);
        transport_->FreeReply(&r);
        return code;
    }

    CLIENT *control_ = nullptr;
    std::unique_ptr<client::Transport> transport_;
};

TEST_F(OncInside, FailuresMapToTheirCodesAndTheBindingStays) {
    struct Case {
        const char *script;
        uint32_t code;
    } cases[] = {
        {"noprog", client::ODP_S_PROGRAM},
        {"progvers", client::ODP_S_PROGRAM},
        {"delay 2500", client::ODP_S_TIMEOUT},
        {"words 00000000000000030000000100000002", client::ODP_S_COMM}, // cut short
        {"words 00000000800000000000000100000002", client::ODP_S_COMM}, // count 2^31
        {"words 0000000C00000000000000FF", client::ODP_S_COMM},         // no error packet
    };
    uint32_t seconds = 0;
    EXPECT_TRUE(!transport_->GetTimeout(&seconds) && seconds == client::kOncCallSeconds);
    ASSERT_EQ(transport_->SetTimeout(1), 0u);
    for (const Case &c : cases) {
        Control(c.script);
        PeakAlloc watch;
        EXPECT_EQ(Call(2, {0x80}), c.code) << c.script;
        EXPECT_LE(PeakAlloc::peak, 16u * 1024) << c.script;
        if (c.code == client::ODP_S_TIMEOUT) sleep(2); // the late reply is passed over
        // A large request still travels both ways, every byte sign-extended.
        Bytes got[3], last[3], big = Pattern(70000);
        EXPECT_EQ(Call(0, big, got), 0u) << "after " << c.script;
        EXPECT_TRUE(got[0] == Words({0}) && got[1] == big && got[2].empty());
        Control("", last);
        EXPECT_TRUE(last[0] == Words({0}) && last[1] == big && last[2] == (Bytes{1, 0}));
    }
}

} // namespace
