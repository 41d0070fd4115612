// Mail addresses carried in O/R names: the printable-string escapes and
// the six conversions.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "failalloc.h"
#include "syntax/textforms.h"
#include "valuegen.h"
#include "vrcore/gen.h"

namespace {

using namespace vrtest;

std::string Code(long code) { return "<" + std::to_string(code).append(">"); }

std::string Encode(const std::string &s) {
    char buf[4096];
    long n = vrsyn::EncodePrintable(s.c_str(), buf, sizeof buf);
    return n < 0 ? Code(n) : std::string(buf, static_cast<size_t>(n));
}

std::string Decode(const std::string &s) {
    std::string out(s.size() + 1, '\xff');
    size_t n = vrsyn::DecodePrintable(s.data(), s.size(), out.data());
    EXPECT_EQ(out[n], 0);
    return out.substr(0, n);
}

TEST(Printable, EscapesBothWays) {
    EXPECT_EQ(Encode("jo.smith@mail.example"), "jo.smith(a)mail.example");
    EXPECT_EQ(Encode("a-b c"), "a(45)b(32)c");
    EXPECT_EQ(Encode("!(%\")_"), "(b)(l)(p)(q)(r)(u)");
    EXPECT_EQ(Encode("\x01\x7f"), "(1)(127)");
    EXPECT_EQ(Decode("x(A)y(P)z(064)"), "x@y%z@");
    EXPECT_EQ(Decode("plain ) text"), "plain ) text");
    // What is not an escape leaves the whole string as it is.
    for (const char *s : {"a(a)b(z)", "(200)", "(0)", "x(12", "x(", "x(a", "(1234)", "()", "(a(a)", "(99999)"})
        EXPECT_EQ(Decode(s), s) << s;
    // Encoding refuses what it cannot carry.
    EXPECT_EQ(Encode("caf\xc3\xa9"), "<-1>");
    char small[6];
    EXPECT_EQ(vrsyn::EncodePrintable("ab@", small, 5), -2); // needs 6 with the NUL
    EXPECT_EQ(vrsyn::EncodePrintable("ab@", small, sizeof small), 5);
    EXPECT_EQ(vrsyn::EncodePrintable("ab@c", small, sizeof small), -2);
}

TEST(Printable, DecodingInvertsEncodingOnEveryAsciiString) {
    for (int c = 1; c < 128; ++c) EXPECT_EQ(Decode(Encode(std::string(3, static_cast<char>(c)))), std::string(3, c));
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
        std::string s(rng() % 41, ' ');
        for (char &c : s) c = static_cast<char>(1 + rng() % 127);
        ASSERT_EQ(Decode(Encode(s)), s);
    }
}

// An O/R name holding the given attributes.
struct OrName {
    GEN_DomainDefinedAttrs attrs{};
    GEN_DeliveryAddress address{};
    OrName(std::initializer_list<std::pair<const char *, const char *>> list) {
        for (auto &[type, value] : list) {
            std::strcpy(attrs.attrs[attrs.count].type, type);
            std::strcpy(attrs.attrs[attrs.count++].value, value);
        }
        address.domain_defined_attrs = &attrs;
    }
};

using Reader = int (*)(STF_List *, char **, const GEN_DeliveryAddress *, const GENU_Allocator *);
std::string Read(Reader fn, const GEN_DeliveryAddress *a) {
    StatusList st;
    char *out = reinterpret_cast<char *>(1);
    if (fn(st, &out, a, nullptr) != 0) {
        EXPECT_EQ(out, nullptr);
        return Code(st.code());
    }
    std::string r(out);
    GENU__CoveredFree(out);
    return r;
}

const std::string kNotSupp = Code(GEN_S_NOTSUPP), kInvalid = Code(GEN_S_INVALID);

TEST(MailAddress, ReadersFindTheirTypeAndRefuseHostileLists) {
    OrName both({{"X-OTHER", "x"}, {"ms-mail", "ms(l)1(r)"}, {"rfc-822", "a(a)b.c"}}), other({{"X-OTHER", "x"}});
    EXPECT_EQ(Read(GEN_X400ToInternetMailAddress, &both.address), "a@b.c");
    EXPECT_EQ(Read(GEN_X400ToMSMailAddress, &both.address), "ms(1)");
    EXPECT_EQ(Read(GEN_X400ToStringAddress, &both.address), "ms(1)");
    GEN_DeliveryAddress bare{};
    for (Reader fn : {GEN_X400ToInternetMailAddress, GEN_X400ToMSMailAddress, GEN_X400ToStringAddress}) {
        EXPECT_EQ(Read(fn, &bare), kNotSupp);
        EXPECT_EQ(Read(fn, &other.address), kNotSupp);
    }
    OrName a({{"RFC-822", "x"}});
    std::memset(a.attrs.attrs[0].value, 'v', sizeof a.attrs.attrs[0].value); // no NUL
    EXPECT_EQ(Read(GEN_X400ToStringAddress, &a.address), kInvalid);
    std::memset(a.attrs.attrs[0].type, 'T', sizeof a.attrs.attrs[0].type); // type without NUL
    EXPECT_EQ(Read(GEN_X400ToStringAddress, &a.address), kNotSupp);
    OrName many({{"RFC-822", "x"}});
    many.attrs.count = 5;
    EXPECT_EQ(Read(GEN_X400ToStringAddress, &many.address), kInvalid);
}

TEST(MailAddress, WritersBuildOneAttributeAndRoundTrip) {
    StatusList st;
    GEN_DeliveryAddress *a = nullptr;
    ASSERT_EQ(GEN_MsMailToX400Address(st, &a, "NET/PO/bob_smith", nullptr), 0);
    GEN_DeliveryAddress empty{};
    empty.domain_defined_attrs = a->domain_defined_attrs;
    EXPECT_EQ(std::memcmp(&empty, a, sizeof empty), 0); // nothing else is set
    ASSERT_EQ(a->domain_defined_attrs->count, 1);
    EXPECT_STREQ(a->domain_defined_attrs->attrs[0].type, "MS-Mail");
    EXPECT_STREQ(a->domain_defined_attrs->attrs[0].value, "NET(47)PO(47)bob(u)smith");
    EXPECT_EQ(Read(GEN_X400ToMSMailAddress, a), "NET/PO/bob_smith");
    EXPECT_EQ(Read(GEN_X400ToInternetMailAddress, a), kNotSupp);
    EXPECT_EQ(GEN_DeleteDeliveryAddress(st.fresh(), a, nullptr), 0);

    ASSERT_EQ(GEN_StringToX400Address(st, &a, "x@y", nullptr), 0);
    EXPECT_STREQ(a->domain_defined_attrs->attrs[0].type, "RFC-822");
    EXPECT_EQ(GEN_DeleteDeliveryAddress(st.fresh(), a, nullptr), 0);

    // 128 characters fit the value; one more escape does not.
    std::string fits(128, 'a'), over = std::string(126, 'a') + "@";
    ASSERT_EQ(GEN_InternetMailToX400Address(st, &a, fits.c_str(), nullptr), 0);
    EXPECT_EQ(Read(GEN_X400ToInternetMailAddress, a), fits);
    EXPECT_EQ(GEN_DeleteDeliveryAddress(st.fresh(), a, nullptr), 0);
    a = reinterpret_cast<GEN_DeliveryAddress *>(1);
    EXPECT_EQ(st.failed(GEN_InternetMailToX400Address(st, &a, over.c_str(), nullptr)), GEN_S_INVALID);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(st.failed(GEN_InternetMailToX400Address(st, &a, "b\xe9", nullptr)), GEN_S_INVALID);
}

TEST(MailAddress, AllocationFailuresLeaveNothing) {
    const GENU_Allocator fail = {FailMalloc, FailFree};
    StatusList st;
    GEN_DeliveryAddress *a = nullptr;
    SweepFailures(
        [&] {
            if (GEN_InternetMailToX400Address(st, &a, "u@h", &fail) != 0) {
                EXPECT_EQ(st.code(), GEN_S_NOMEM);
                return false;
            }
            GEN_DeleteDeliveryAddress(st.fresh(), a, &fail);
            return true;
        },
        [&] { EXPECT_EQ(a, nullptr); });

    OrName o({{"RFC-822", "u(a)h"}});
    char *out = nullptr;
    SweepFailures(
        [&] {
            if (GEN_X400ToStringAddress(st, &out, &o.address, &fail) != 0) {
                EXPECT_EQ(st.codes(), (std::vector<uint32_t>{GEN_S_INVALID, GEN_S_NOMEM}));
                return false;
            }
            FailFree(out);
            return true;
        },
        [&] { EXPECT_EQ(out, nullptr); });
}

} // namespace
