// String bindings: composing and parsing, escapes, and the texts refused;
// binding handles made of them and calls over them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "rpc/binding.h"
#include "rpc/idl_dpa.h"
#include "rpc/rpc_status.h"
#include "rpc/string_binding.h"
#include "rpc/stubs.h"

namespace {

using namespace vrcore::rpc;

TEST(StringBinding, ComposedTextsParseBackToTheirParts) {
    struct Row {
        StringBinding parts;
        const char *text;
    } rows[] = {
        {{"", "ncacn_ip_tcp", "10.0.0.5", "", ""}, "ncacn_ip_tcp:10.0.0.5"},
        {{"6c1f3a52-0d3e-4b8e-9a61-5e2f7c9d0a14", "ncacn_ip_tcp", "host", "", ""},
         "6c1f3a52-0d3e-4b8e-9a61-5e2f7c9d0a14@ncacn_ip_tcp:host"},
        {{"", "ncacn_ip_tcp", "host", "135", ""}, "ncacn_ip_tcp:host[135]"},
        {{"", "ncacn_ip_tcp", "", "65535", "timeout=5,x=y"}, "ncacn_ip_tcp:[65535,timeout=5,x=y]"},
        {{"", "ncacn_ip_tcp", "host", "", "a=b"}, "ncacn_ip_tcp:host[,a=b]"},
        {{"", "ncacn_ip_tcp", "we[ir]d@h\\", "", "k=]v"},
         "ncacn_ip_tcp:we\\[ir]d\\@h\\\\[,k=\\]v]"},
        {{"", "ncacn_ip_tcp", "fe80::1", "2001", ""}, "ncacn_ip_tcp:fe80::1[2001]"},
    };
    for (const Row &r : rows) {
        std::string text;
        ASSERT_EQ(ComposeStringBinding(r.parts, &text), kOk) << r.text;
        EXPECT_EQ(text, r.text);
        StringBinding back;
        ASSERT_EQ(ParseStringBinding(text, &back), kOk) << r.text;
        EXPECT_TRUE(back == r.parts) << r.text;
    }
    // An escape of an ordinary character, and an empty endpoint between brackets.
    StringBinding b;
    ASSERT_EQ(ParseStringBinding("ncacn_ip_tcp:h\\ost[]", &b), kOk);
    EXPECT_TRUE(b.network_address == "host" && b.endpoint.empty());
}

TEST(StringBinding, MalformedTextsAreRefused) {
    struct Row {
        const char *text;
        uint32_t status;
    } rows[] = {
        {"", kInvalidStringBinding},
        {"ncacn_ip_tcp", kInvalidStringBinding},
        {"ncacn_ip_tcp:host[135", kInvalidStringBinding},
        {"ncacn_ip_tcp:host[135]x", kInvalidStringBinding},
        {"ncacn_ip_tcp:host[1,a]]", kInvalidStringBinding},
        {"ncacn_ip_tcp:host\\", kInvalidStringBinding},
        {"ncacn ip:host", kInvalidStringBinding},
        {"@ncacn_ip_tcp:host", kInvalidStringBinding},
        {"not-a-uuid@ncacn_ip_tcp:host", kInvalidStringUuid},
        {"ncacn_np:host[\\pipe\\x]", kProtseqNotSupported},
        {"ncacn_ip_tcp:host[0]", kInvalidEndpointFormat},
        {"ncacn_ip_tcp:host[65536]", kInvalidEndpointFormat},
        {"ncacn_ip_tcp:host[12a]", kInvalidEndpointFormat},
        {"ncacn_ip_tcp:host[000135]", kInvalidEndpointFormat},
    };
    for (const Row &r : rows) {
        StringBinding b{"keep", "", "", "", ""};
        EXPECT_EQ(ParseStringBinding(r.text, &b), r.status) << r.text;
        // Another protocol's binding is still taken apart.
        EXPECT_EQ(b.object_uuid == "keep", r.status != kProtseqNotSupported) << r.text;
    }
    std::string text = "unchanged";
    EXPECT_EQ(ComposeStringBinding({"", "ncacn_ip_tcp", "h", "http", ""}, &text),
              kInvalidEndpointFormat);
    EXPECT_EQ(ComposeStringBinding({"x", "ncacn_ip_tcp", "h", "", ""}, &text), kInvalidStringUuid);
    EXPECT_EQ(ComposeStringBinding({"", "", "h", "", ""}, &text), kInvalidStringBinding);
    EXPECT_EQ(text, "unchanged");
}

} // namespace

// ---- Binding handles --------------------------------------------------------

namespace {

using vrcore::rpc::Binding;
namespace dpa = vrcore::rpc::dpa;

TEST(BindingHandle, MadeOfTcpBindingsAndKnownOnlyWhileAlive) {
    std::unique_ptr<Binding> b;
    EXPECT_EQ(Binding::FromString("ncacn_np:host[\\pipe\\x]", &b), kProtseqNotSupported);
    EXPECT_EQ(Binding::FromString("ncacn_ip_tcp:[135]", &b), kInvalidStringBinding);
    EXPECT_FALSE(b);
    ASSERT_EQ(
        Binding::FromString("6c1f3a52-0d3e-4b8e-9a61-5e2f7c9d0a14@ncacn_ip_tcp:h[99,x=y]", &b),
        kOk);
    EXPECT_EQ(FormatUuid(b->Object()), "6c1f3a52-0d3e-4b8e-9a61-5e2f7c9d0a14");
    EXPECT_TRUE(b->Host() == "h" && b->Endpoint() == "99");
    // Levels and services beyond none and connect NTLM change nothing.
    EXPECT_EQ(b->SetAuthInfo(kAuthLevelConnect, 9), kUnknownAuthnService);
    EXPECT_EQ(b->SetAuthInfo(6, vrcore::rpc::kAuthnWinNt), kUnknownAuthnLevel);
    EXPECT_EQ(b->AuthLevel(), kAuthLevelNone);
    Binding *found = nullptr;
    int other = 0;
    EXPECT_EQ(Binding::Lookup(nullptr, &found), kInvalidBinding);
    EXPECT_EQ(Binding::Lookup(&other, &found), kWrongKindOfBinding);
    EXPECT_EQ(Binding::Lookup(b.get(), &found), kOk);
    EXPECT_EQ(found, b.get());
    const void *gone = b.get();
    b.reset();
    EXPECT_EQ(Binding::Lookup(gone, &found), kWrongKindOfBinding);
}

// The request operation answering the object and the operation number.
uint32_t Answer(void *, const Uuid *object, const void *in_args, void *out_args,
                vrcore::rpc::ndr::Arena *arena) {
    auto *out = static_cast<dpa::TransferOut *>(out_args);
    out->result = static_cast<dpa::Packet *>(arena->Alloc(sizeof(dpa::Packet)));
    out->result->length = object ? 16 : 0;
    out->result->bytes = const_cast<uint8_t *>(object ? object->bytes : nullptr);
    out->error_kind = static_cast<const dpa::TransferIn *>(in_args)->operation;
    return kOk;
}
const vrcore::rpc::Handler kAnswer[] = {Answer};
const vrcore::rpc::StubServer kAnswerStubs{&dpa::kInterface, kAnswer};

TEST(BindingHandle, CallsCarryTheObjectAndReachARestartedServer) {
    auto server = std::make_unique<Server>();
    server->AddInterface(Serve(&kAnswerStubs));
    ASSERT_EQ(server->Listen("127.0.0.1", 0), kOk);
    uint16_t port = server->Port();
    std::unique_ptr<Binding> b;
    std::string text =
        "6c1f3a52-0d3e-4b8e-9a61-5e2f7c9d0a14@ncacn_ip_tcp:127.0.0.1[" + std::to_string(port) + "]";
    ASSERT_EQ(Binding::FromString(text, &b), kOk);
    uint8_t byte = 7;
    dpa::Packet request{1, &byte};
    for (uint16_t op : {3, 4}) {
        dpa::TransferIn in{op, &request};
        dpa::TransferOut out{};
        vrcore::rpc::ndr::Arena arena;
        ASSERT_EQ(b->Call(dpa::kInterface, 0, &in, &out, &arena), kOk) << op;
        EXPECT_EQ(out.error_kind, op);
        ASSERT_TRUE(out.result && out.result->length == 16);
        EXPECT_EQ(memcmp(out.result->bytes, b->Object().bytes, 16), 0);
        // The server goes and another takes its port before the next call.
        server.reset(new Server);
        server->AddInterface(Serve(&kAnswerStubs));
        ASSERT_EQ(server->Listen("127.0.0.1", port), kOk);
    }
}

} // namespace
