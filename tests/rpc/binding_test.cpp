// String bindings: composing and parsing, escapes, and the texts refused.
#include <gtest/gtest.h>

#include "rpc/rpc_status.h"
#include "rpc/string_binding.h"

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
