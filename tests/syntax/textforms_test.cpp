// Access-control entries in text and list form; mail addresses in O/R names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "failalloc.h"
#include "syntax/eacl.h"
#include "syntax/textforms.h"
#include "valuegen.h"

namespace {

using namespace vrtest;

// An entry as "name|domain|syntax|name type|privilege level".
std::string Show(const GEN_ExtACL *e) {
    GENU_ShortOID syntax = 0;
    std::string domain = STR(GENU_ExtractDistNameString(st, s, &syntax, &e->domain, nullptr));
    return STR(GENU_ExtractSimpleName(st, s, &e->name, nullptr)) + "|" + domain + "|" +
           std::to_string(syntax) + "|" + std::to_string(e->name_type) + "|" +
           std::to_string(e->privilege_level);
}

// The entry of a text as `then` shows it; "invalid" or the code when refused.
template <typename F> std::string FromText(const char *text, F &&then) {
    StatusList st;
    GEN_ExtACL *e = reinterpret_cast<GEN_ExtACL *>(1);
    if (GENU_eACLFromText(st, &e, text) != 0) {
        EXPECT_EQ(e, nullptr);
        return st.Code() == GEN_S_INVALID ? "invalid" : Code(st.Code());
    }
    std::string r = then(e);
    GEN_DeleteExtACL(st.Fresh(), e, nullptr);
    return r;
}
std::string FromText(const char *text) { return FromText(text, Show); }

TEST(EACLText, AcceptedAndRefused) {
    const std::pair<std::string, std::string> cases[] = {
        {"name=bob name-type=user privilege-level=operator", "bob||0|1|2"},
        {"  NAME =  bob\tName-Type= USER PRIVILEGE-LEVEL =Administrator ", "bob||0|1|3"},
        {"domain=winnt:CORP name=bob", "bob|CORP|3050|2|1"},
        {"domain = DNS:a.b:c name = x", "x|a.b:c|3045|2|1"},
        {"domain=plain", "|plain|0|0|1"}, // no name: all users
        {"name=bob domain=any:", "bob||3055|2|1"},
        {" \t ", "||0|0|1"},
        {"name=user name-type=all-users", "user||0|0|1"},
        {"name=gr\xc3\xbcn", "gr\xc3\xbcn||0|2|1"},
        {"name=" + std::string(255, 'n'), std::string(255, 'n') + "||0|2|1"},
        {"name=bob name=bob", "invalid"},
        {"name=" + std::string(256, 'n'), "invalid"},
    };
    for (const auto &[text, want] : cases) EXPECT_EQ(FromText(text.c_str()), want) << text;
    EXPECT_EQ(FromText(nullptr), Code(GEN_S_NULLARG));
}

// A name (choice 1) without numbers, or bytes (choice 2) with type and level.
struct ListEntry {
    GEN_PSISAccessControlList e{};
    int32_t nt = 1, pl = 3;
    explicit ListEntry(const char *name, bool octets = false) {
        e.choice = octets ? 2 : 1;
        if (!octets) {
            e.u.simple_name = Name(5, name);
            return;
        }
        e.u.octets = {static_cast<int32_t>(std::strlen(name)),
                      reinterpret_cast<unsigned char *>(const_cast<char *>(name))};
        e.name_type = &nt, e.privilege_level = &pl;
    }
};

// The entry of a list-form entry as `then` shows it, or the failure code.
template <typename F> std::string FromList(const ListEntry &l, F &&then) {
    StatusList st;
    GEN_ExtACL *e = nullptr;
    if (GENU_ACLFromPSIS(st, &e, &l.e) != 0) return Code(st.Code());
    std::string r = then(e);
    GEN_DeleteExtACL(st.Fresh(), e, nullptr);
    return r;
}

// The list-form name of an extended entry, or the failure code.
std::string ToList(const GEN_ExtACL *e) {
    StatusList st;
    auto *l = reinterpret_cast<GEN_PSISAccessControlList *>(1);
    if (GENU_ACLToPSIS(st, &l, e) != 0) {
        EXPECT_EQ(l, nullptr);
        return Code(st.Code());
    }
    EXPECT_EQ(l->choice, 1);
    EXPECT_EQ(*l->name_type, GEN_ACL_GROUP);
    EXPECT_EQ(*l->privilege_level, GEN_ACL_END_USER);
    std::string r = STR(GENU_ExtractSimpleName(st, s, &l->u.simple_name, nullptr));
    GEN_DeletePSISAccessControlList(st.Fresh(), l, nullptr);
    return r;
}

TEST(EACLList, FromListFormAndBack) {
    // The way back names the entry as it was, except an entry of any syntax.
    const struct {
        const char *name, *want;
        std::string back;
    } cases[] = {{"bob@host.example", "bob|host.example|3045|2|1", "bob@host.example"},
                 {"bob@<local>", "bob|<local>|3047|2|1", "bob@<local>"},
                 {"bob@office", "bob|office|3044|2|1", "bob@office"},
                 {"bob", "bob||0|2|1", "bob"},
                 {"@", "||3055|0|1", Code(GEN_S_NOTSUPP)},
                 {"a@b@c.d", "a|b@c.d|3045|2|1", "a@b@c.d"}};
    for (const auto &c : cases) {
        EXPECT_EQ(FromList(ListEntry(c.name), Show), c.want);
        EXPECT_EQ(FromList(ListEntry(c.name), ToList), c.back);
    }
    ListEntry numbered("bob@office"), octets("bob", true), bad("x");
    numbered.e.name_type = &numbered.nt;
    numbered.e.privilege_level = &numbered.pl;
    EXPECT_EQ(FromList(numbered, Show), "bob|office|3044|1|3");
    EXPECT_EQ(FromList(octets, Show), "bob||0|2|1"); // choice 2: defaults
    bad.e.choice = 3;
    EXPECT_EQ(FromList(bad, Show), Code(GEN_S_INVALID));
}

TEST(EACLList, ToListForm) {
    EXPECT_EQ(FromText("name=bob domain=nisplus:org name-type=user", ToList), "bob@org");
    EXPECT_EQ(FromText("name=bob domain=winnt:CORP privilege-level=operator", ToList), "CORP\\bob");
    EXPECT_EQ(FromText("name=bob domain=nosyntax", ToList), Code(GEN_S_NOTSUPP));
    EXPECT_EQ(FromText(("name=" + std::string(250, 'n') + " domain=dns:a.b.c").c_str(), ToList),
              Code(GEN_S_INVALID));
}

std::string Encode(const std::string &s) {
    char buf[4096];
    long n = vrcore::syntax::EncodePrintable(s.c_str(), buf, sizeof buf);
    return n < 0 ? "error " + std::to_string(n) : std::string(buf, static_cast<size_t>(n));
}

std::string Decode(const std::string &s) {
    std::string out(s.size() + 1, '\xff');
    size_t n = vrcore::syntax::DecodePrintable(s.data(), s.size(), out.data());
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
    for (const char *s :
         {"a(a)b(z)", "(200)", "(0)", "x(12", "x(", "x(a", "(1234)", "()", "(a(a)", "(99999)"})
        EXPECT_EQ(Decode(s), s) << s;
    // Encoding refuses what it cannot carry.
    EXPECT_EQ(Encode("caf\xc3\xa9"), "error -1");
    char small[6];
    EXPECT_EQ(vrcore::syntax::EncodePrintable("ab@", small, 5), -2); // needs 6 with the NUL
    EXPECT_EQ(vrcore::syntax::EncodePrintable("ab@", small, sizeof small), 5);
    EXPECT_EQ(vrcore::syntax::EncodePrintable("ab@c", small, sizeof small), -2);
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
std::string Read(Reader fn, const GEN_DeliveryAddress *a) { return STR(fn(st, s, a, nullptr)); }

const std::string kNotSupp = Code(GEN_S_NOTSUPP), kInvalid = Code(GEN_S_INVALID);

TEST(MailAddress, ReadersFindTheirTypeAndRefuseHostileLists) {
    OrName both({{"X-OTHER", "x"}, {"ms-mail", "ms(l)1(r)"}, {"rfc-822", "a(a)b.c"}}),
        other({{"X-OTHER", "x"}}), ms({{"MS-Mail", "NET(47)PO(47)bob(u)smith"}}),
        long_name({{"RFC-822", std::string(128, 'a').c_str()}});
    EXPECT_EQ(Read(GEN_X400ToInternetMailAddress, &both.address), "a@b.c");
    EXPECT_EQ(Read(GEN_X400ToMSMailAddress, &both.address), "ms(1)");
    EXPECT_EQ(Read(GEN_X400ToStringAddress, &both.address), "ms(1)");
    EXPECT_EQ(Read(GEN_X400ToMSMailAddress, &ms.address), "NET/PO/bob_smith");
    EXPECT_EQ(Read(GEN_X400ToInternetMailAddress, &long_name.address), std::string(128, 'a'));
    GEN_DeliveryAddress bare{};
    for (Reader fn :
         {GEN_X400ToInternetMailAddress, GEN_X400ToMSMailAddress, GEN_X400ToStringAddress}) {
        EXPECT_EQ(Read(fn, &bare), kNotSupp);
        EXPECT_EQ(Read(fn, &other.address), kNotSupp);
    }
    OrName many({{"RFC-822", "x"}});
    many.attrs.count = 5;
    EXPECT_EQ(Read(GEN_X400ToStringAddress, &many.address), kInvalid);

    // Out of memory shows as an invalid value over the memory failure.
    const GENU_Allocator fail = {FailMalloc, FailFree};
    StatusList st;
    char *out = nullptr;
    SweepFailures(
        [&] {
            if (GEN_X400ToStringAddress(st, &out, &both.address, &fail) != 0) {
                EXPECT_EQ(st.Codes(), (std::vector<uint32_t>{GEN_S_INVALID, GEN_S_NOMEM}));
                return false;
            }
            FailFree(out);
            return true;
        },
        [&] { EXPECT_EQ(out, nullptr); });
}

} // namespace
