// The ONC request records and transport: wire bytes against the RPC
// library's character routine, hostile replies, and a real server behind
// its own rpcbind.
#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <rpc/rpc.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "client/transport.h"
#include "scratch.h"
#include "system/seam.h"
#include "vrcore/odpcli.h"
#include "vrcore/odpops.h"

namespace {

// An XDR routine as the RPC library's calls take it.
template <class F> xdrproc_t Proc(F *f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

namespace client = vrcore::client;
namespace seam = vrcore::system::seam;
using Bytes = std::vector<unsigned char>;

// Largest single allocation the library made while it lives.
class PeakAlloc {
  public:
    PeakAlloc() {
        peak_ = 0;
        seam::SetAllocator(&table_);
    }
    ~PeakAlloc() { seam::SetAllocator(nullptr); }
    size_t Peak() const { return peak_; }

  private:
    static void *Alloc(seam::Module, size_t n) {
        if (n > peak_) peak_ = n;
        return malloc(n);
    }
    static void Release(seam::Module, void *p) { free(p); }
    static inline std::atomic<size_t> peak_{0};
    seam::Allocator table_{Alloc, Release};
};

Bytes AllByteValues(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 7 + 0x80);
    return b;
}

// The argument record as the reference routines put it.
Bytes ReferenceArgument(int op, Bytes bytes) {
    Bytes out(16 + bytes.size() * 4);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(out.data()), u_int(out.size()), XDR_ENCODE);
    char *p = reinterpret_cast<char *>(bytes.data());
    u_int n = u_int(bytes.size());
    EXPECT_TRUE(xdr_int(&x, &op) && xdr_array(&x, &p, &n, ~0u, 1, Proc(xdr_char)));
    out.resize(xdr_getpos(&x));
    return out;
}

Bytes OurArgument(int op, const unsigned char *bytes, size_t n) {
    Bytes out(16 + n * 4);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(out.data()), u_int(out.size()), XDR_ENCODE);
    ODP_argument_t a{op, {u_int(n), const_cast<char *>(reinterpret_cast<const char *>(bytes))}};
    EXPECT_TRUE(xdr_ODP_argument_t(&x, &a));
    out.resize(xdr_getpos(&x));
    return out;
}

// Decodes a reply record from `wire`; frees it and returns its packets.
bool DecodeResult(Bytes wire, int *kind, Bytes *result, Bytes *error) {
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char *>(wire.data()), u_int(wire.size()), XDR_DECODE);
    ODP_result_t r{};
    bool ok = xdr_ODP_result_t(&x, &r);
    if (ok) {
        *kind = r.error_kind;
        auto *rv = reinterpret_cast<unsigned char *>(r.result.encodePacket_val);
        auto *ev = reinterpret_cast<unsigned char *>(r.error.encodePacket_val);
        result->assign(rv, rv + r.result.encodePacket_len);
        error->assign(ev, ev + r.error.encodePacket_len);
    }
    xdr_free(Proc(xdr_ODP_result_t), reinterpret_cast<char *>(&r));
    EXPECT_EQ(r.result.encodePacket_val, nullptr);
    return ok;
}

Bytes Words(std::initializer_list<uint32_t> words) {
    Bytes out;
    for (uint32_t w : words)
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<unsigned char>(w >> s));
    return out;
}

// The argument of a close-job request (operation 6), as the library
// encodes it.
Bytes CloseJobArgument() {
    ODP_BerPrintArg a{};
    a.choice = 3;
    strcpy(a.u.close_job.existing_job, "job-17");
    GENU_Buffer buf{};
    EXPECT_EQ(GENU_OssEncode(nullptr, ODP_PDU_PRINT_ARG, &a, &buf), 0);
    Bytes out(buf.value, buf.value + buf.length);
    _GENU__MyFree(buf.value);
    return out;
}

const unsigned char kReadOnly[] = {0x00, 0x7F, 0x80, 0xFF};

TEST(OncXdr, PacketsMatchTheCharacterRoutineByteForByte) {
    // Blocks of the bulk routine meet the count at, around and past 1024.
    for (size_t n : {0, 1, 5, 1023, 1024, 1025, 5000}) {
        Bytes bytes = AllByteValues(n);
        Bytes ours = OurArgument(9, bytes.data(), n);
        ASSERT_EQ(ours, ReferenceArgument(9, bytes)) << n;
        // The reply direction reads the reference's packets back.
        Bytes reply = Words({12});
        Bytes packet(ours.begin() + 4, ours.end());
        reply.insert(reply.end(), packet.begin(), packet.end());
        reply.insert(reply.end(), packet.begin(), packet.end());
        int kind = 0;
        Bytes result, error;
        ASSERT_TRUE(DecodeResult(reply, &kind, &result, &error)) << n;
        EXPECT_EQ(kind, 12);
        EXPECT_EQ(result, bytes);
        EXPECT_EQ(error, bytes);
    }
    // Encoding reads the bytes only: read-only memory is fine. High bytes
    // travel sign-extended.
    EXPECT_EQ(OurArgument(1, kReadOnly, 4), Words({1, 4, 0, 0x7F, 0xFFFFFF80u, 0xFFFFFFFFu}));
}

TEST(OncXdr, HostileRepliesFailWithinTheBytesReceived) {
    struct Case {
        const char *what;
        Bytes wire;
    } cases[] = {
        {"count 2^31 and eight bytes", Words({0, 0x80000000u, 1, 2, 3, 4, 5, 6, 7, 8})},
        {"count 2^32-1, nothing", Words({0, 0xFFFFFFFFu})},
        {"result cut short", Words({0, 3, 1, 2})},
        {"error count missing", Words({4, 1, 0x41})},
        {"no kind", Bytes{0, 0}},
    };
    for (const Case &c : cases) {
        PeakAlloc peak;
        int kind = 0;
        Bytes result, error;
        EXPECT_FALSE(DecodeResult(c.wire, &kind, &result, &error)) << c.what;
        EXPECT_LE(peak.Peak(), 16u * 1024) << c.what;
    }
    // A large honest packet grows with the data, up to its count only.
    Bytes big = AllByteValues(100000);
    Bytes wire = Words({0});
    Bytes packet = OurArgument(0, big.data(), big.size());
    wire.insert(wire.end(), packet.begin() + 4, packet.end());
    Bytes tail = Words({0});
    wire.insert(wire.end(), tail.begin(), tail.end());
    PeakAlloc peak;
    int kind = 1;
    Bytes result, error;
    ASSERT_TRUE(DecodeResult(wire, &kind, &result, &error));
    EXPECT_EQ(result, big);
    EXPECT_EQ(peak.Peak(), big.size());
}

TEST(OncXdr, FailedRequestDumpLayout) {
    EXPECT_EQ(client::HexDump(nullptr, 0), "\n");
    Bytes b(23);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 11);
    EXPECT_EQ(client::HexDump(b.data(), uint32_t(b.size())),
              "\n0\t000B16212C37424D5863  6E79848F9AA5B0BBC6D1"
              "\n20\tDCE7F2\n");
}

// ---- Against a real server ------------------------------------------------

constexpr uint32_t kProgram = 0x20271027;
constexpr uint32_t kVersion = 1;

std::string PeerUnavailable() {
    if (geteuid() != 0) return "not running as root";
    for (std::string tool : {"unshare", "rpcbind", "rpcinfo", "ip"})
        if (system(("command -v " + tool + " >/dev/null 2>&1").c_str()) != 0)
            return tool + " is not installed";
    if (system("unshare --net --mount true >/dev/null 2>&1") != 0)
        return "private network and mount namespaces are not allowed here";
    return "";
}

TEST(OncLive, TransportAgainstARealServer) {
    std::string why = PeerUnavailable();
    if (!why.empty()) GTEST_SKIP() << "ONC server test skipped: " << why;
    vrtest::ScratchDir dir("vronc");
    std::string self = std::filesystem::read_symlink("/proc/self/exe");
    std::string out = dir.Path() + "/out.log";
    std::string cmd = "unshare --net --mount --propagation private /bin/sh '" VRCORE_SOURCE_DIR
                      "/tests/client/onc_env.sh' '" +
                      self + "' '" ODP_TEST_SERVER "' " + std::to_string(kProgram) + " " +
                      std::to_string(kVersion) + " 'OncInside.*' >'" + out + "' 2>&1";
    int rc = system(cmd.c_str());
    std::string log = vrtest::ReadFile(out);
    EXPECT_EQ(rc, 0) << log;
    EXPECT_NE(log.find("[  PASSED  ] 3 tests"), std::string::npos) << log;
}

// A client of the test server's control procedures.
class OncInside : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(getenv("ODP_TEST_PROGRAM"), nullptr) << "runs only inside onc_env.sh";
        control_ = clnt_create("127.0.0.1", kProgram, kVersion, "tcp");
        ASSERT_NE(control_, nullptr);
        Bind(nullptr);
    }
    void TearDown() override {
        transport_.reset();
        if (control_) clnt_destroy(control_);
    }
    void Bind(client::OncCredentials credentials) {
        transport_.reset();
        client::OncTarget t{"127.0.0.1", kProgram, kVersion, credentials, nullptr};
        ASSERT_EQ(client::BindOnc(t, &transport_), 0u);
    }
    void Script(const std::string &lines) {
        const char *text = lines.c_str();
        timeval wait{5, 0};
        ASSERT_EQ(clnt_call(control_, 2, Proc(xdr_wrapstring), reinterpret_cast<char *>(&text),
                            Proc(xdr_void), nullptr, wait),
                  RPC_SUCCESS);
    }
    struct Arrived {
        int operation = -1, sign_extended = 0, decoded = 0;
        Bytes bytes;
    };
    static bool_t ReadArrived(XDR *x, Arrived *a) {
        char *p = nullptr;
        u_int n = 0;
        if (!xdr_int(x, &a->operation) || !xdr_int(x, &a->sign_extended) ||
            !xdr_int(x, &a->decoded) || !xdr_bytes(x, &p, &n, ~0u))
            return FALSE;
        a->bytes.assign(p, p + n);
        free(p);
        return TRUE;
    }
    Arrived Last() {
        Arrived a;
        timeval wait{5, 0};
        EXPECT_EQ(clnt_call(control_, 3, Proc(xdr_void), nullptr, Proc(ReadArrived),
                            reinterpret_cast<char *>(&a), wait),
                  RPC_SUCCESS);
        return a;
    }
    // One request; the reply's packets, or the status code.
    uint32_t Call(int op, const Bytes &request, int *kind = nullptr, Bytes *result = nullptr,
                  Bytes *error = nullptr) {
        client::Reply r;
        uint32_t code = transport_->Call(op, request.data(), uint32_t(request.size()), &r);
        if (kind) *kind = r.error_kind;
        if (result) result->assign(r.result, r.result + r.result_length);
        if (error) error->assign(r.error, r.error + r.error_length);
        transport_->FreeReply(&r);
        return code;
    }

    CLIENT *control_ = nullptr;
    std::unique_ptr<client::Transport> transport_;
};

TEST_F(OncInside, RequestsAndRepliesTravelIntact) {
    // A real argument PDU decodes on the server; every byte value arrives
    // sign-extended and comes back unchanged.
    struct Case {
        int op;
        Bytes request;
        int decodes;
    } cases[] = {
        {6, CloseJobArgument(), 1}, {3, AllByteValues(256), 0}, {0, AllByteValues(70000), 0}};
    for (const Case &c : cases) {
        Bytes result;
        int kind = -1;
        ASSERT_EQ(Call(c.op, c.request, &kind, &result), 0u);
        EXPECT_EQ(kind, 0);
        EXPECT_EQ(result, c.request);
        Arrived a = Last();
        EXPECT_EQ(a.operation, c.op);
        EXPECT_TRUE(a.sign_extended);
        EXPECT_EQ(a.bytes, c.request);
        EXPECT_EQ(a.decoded, c.decodes) << c.request.size();
    }
    // Error kinds and empty packets pass as they are, undefined kinds too.
    Script("reply 12 - 8081FF\nreply 0 - -\nreply 14 0102 -\n");
    int kind = 0;
    Bytes result, error;
    ASSERT_EQ(Call(1, {1}, &kind, &result, &error), 0u);
    EXPECT_EQ(kind, 12);
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(error, (Bytes{0x80, 0x81, 0xFF}));
    ASSERT_EQ(Call(1, {}, &kind, &result, &error), 0u);
    EXPECT_TRUE(result.empty() && error.empty());
    ASSERT_EQ(Call(1, {}, &kind, &result, &error), 0u);
    EXPECT_EQ(kind, 14);
    EXPECT_EQ(result, (Bytes{1, 2}));
    uint32_t seconds = 0;
    ASSERT_EQ(transport_->GetTimeout(&seconds), 0u);
    EXPECT_EQ(seconds, client::kOncCallSeconds);
}

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
    ASSERT_EQ(transport_->SetTimeout(1), 0u);
    for (const Case &c : cases) {
        Script(c.script);
        PeakAlloc peak;
        EXPECT_EQ(Call(2, {0x80}), c.code) << c.script;
        EXPECT_LE(peak.Peak(), 16u * 1024) << c.script;
        if (c.code == client::ODP_S_TIMEOUT) sleep(2); // the late reply is passed over
        Bytes result;
        EXPECT_EQ(Call(2, {0x81}, nullptr, &result), 0u) << "after " << c.script;
        EXPECT_EQ(result, Bytes{0x81});
    }
}

uint32_t UnixCredentials(void *, CLIENT *c) {
    auth_destroy(c->cl_auth);
    c->cl_auth = authunix_create_default();
    return 0;
}
uint32_t RefusedCredentials(void *, CLIENT *) { return client::ODP_S_CREDENTIALS; }

TEST_F(OncInside, BindingAndCredentials) {
    // A program rpcbind does not know fails at the bind; so does the hook.
    client::OncTarget unknown{"127.0.0.1", kProgram + 1, kVersion, nullptr, nullptr};
    std::unique_ptr<client::Transport> t;
    EXPECT_EQ(client::BindOnc(unknown, &t), client::ODP_S_NOBINDING);
    client::OncTarget refused{"127.0.0.1", kProgram, kVersion, RefusedCredentials, nullptr};
    EXPECT_EQ(client::BindOnc(refused, &t), client::ODP_S_CREDENTIALS);
    EXPECT_EQ(t, nullptr);
    // The hook's credential travels; the server may refuse it.
    Bind(UnixCredentials);
    Script("refuse-auth-sys");
    EXPECT_EQ(Call(5, {1}), client::ODP_S_ACCESS);
    Bind(nullptr);
    Script("refuse-auth-sys");
    EXPECT_EQ(Call(5, {1}), 0u);
}

} // namespace
