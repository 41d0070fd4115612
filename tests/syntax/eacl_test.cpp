// Extended access-control entries: the text form and the conversions to
// and from the list form.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "failalloc.h"
#include "syntax/eacl.h"
#include "valuegen.h"

namespace {

using namespace vrtest;

std::string Code(uint32_t code) { return "code " + std::to_string(code); }

// An entry as "name|domain|syntax|name type|privilege level".
std::string Show(const GEN_ExtACL *e) {
    StatusList st;
    char *name = nullptr, *domain = nullptr;
    GENU_ShortOID syntax = 0;
    if (GENU_ExtractSimpleName(st, &name, &e->name, nullptr) ||
        GENU_ExtractDistNameString(st, &domain, &syntax, &e->domain, nullptr))
        return "<unreadable>";
    std::string r = std::string(name) + "|" + domain + "|" + std::to_string(syntax) + "|" +
                    std::to_string(e->name_type) + "|" + std::to_string(e->privilege_level);
    GENU__CoveredFree(name);
    GENU__CoveredFree(domain);
    return r;
}

// The entry of a text as `then` shows it; "invalid" or the code when the
// text is refused (and no entry made).
template <typename F> std::string FromText(const char *text, F &&then) {
    StatusList st;
    GEN_ExtACL *e = reinterpret_cast<GEN_ExtACL *>(1);
    if (GENU_eACLFromText(st, &e, text) != 0) {
        EXPECT_EQ(e, nullptr);
        return st.code() == GEN_S_INVALID ? "invalid" : Code(st.code());
    }
    std::string r = then(e);
    GEN_DeleteExtACL(st.fresh(), e, nullptr);
    return r;
}
std::string FromText(const char *text) { return FromText(text, Show); }

TEST(EACLText, Accepted) {
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
    };
    for (const auto &[text, want] : cases) EXPECT_EQ(FromText(text.c_str()), want) << text;
}

TEST(EACLText, EveryErrorIsInvalidWithoutEntry) {
    for (const char *text :
         {"name=bob name=bob", "NAME=a name=b", "domain=bogus:x", "domain=:x", "name", "name=", "name bob", "=bob",
          "name==bob", "name=bob extra", "owner=bob", "name-type=admin", "privilege-level=user", "name=:",
          "name = : x", "name=a\x01b", "name=bob ;", "domain=winnt : CORP", "name=bob privilege-level", "name-type="})
        EXPECT_EQ(FromText(text), "invalid") << text;
    EXPECT_EQ(FromText(("name=" + std::string(256, 'n')).c_str()), "invalid");
    EXPECT_EQ(FromText(nullptr), Code(GEN_S_NULLARG));
}

TEST(EACLText, AllocationFailuresLeaveNothing) {
    const GENU_Allocator fail = {FailMalloc, FailFree};
    StatusList st;
    GEN_ExtACL *e = nullptr;
    SweepFailures(
        [&] {
            if (vrsyn::EACLFromText(st, &e, "name=bob domain=dns:x.y", &fail) != 0) {
                EXPECT_EQ(st.code(), GEN_S_NOMEM);
                return false;
            }
            EXPECT_EQ(Show(e), "bob|x.y|3045|2|1");
            GEN_DeleteExtACL(st.fresh(), e, &fail);
            return true;
        },
        [&] { EXPECT_EQ(e, nullptr); });
}

// A list-form entry: a name (choice 1) without numbers, or bytes (choice 2)
// with a name type and privilege level.
struct ListEntry {
    GEN_PSISAccessControlList e{};
    int32_t nt = 1, pl = 3;
    explicit ListEntry(const char *name, bool octets = false) {
        e.choice = octets ? 2 : 1;
        if (!octets) {
            e.u.simple_name = Name(5, name);
            return;
        }
        e.u.octets = {static_cast<int32_t>(std::strlen(name)), reinterpret_cast<unsigned char *>(const_cast<char *>(name))};
        e.name_type = &nt;
        e.privilege_level = &pl;
    }
};

std::string FromList(const ListEntry &l) {
    StatusList st;
    GEN_ExtACL *e = nullptr;
    if (GENU_ACLFromPSIS(st, &e, &l.e) != 0) return Code(st.code());
    std::string r = Show(e);
    GEN_DeleteExtACL(st.fresh(), e, nullptr);
    return r;
}

// The list-form name of an extended entry, or the failure code.
std::string ToList(const GEN_ExtACL *e) {
    StatusList st;
    auto *l = reinterpret_cast<GEN_PSISAccessControlList *>(1);
    if (GENU_ACLToPSIS(st, &l, e) != 0) {
        EXPECT_EQ(l, nullptr);
        return Code(st.code());
    }
    EXPECT_EQ(l->choice, 1);
    EXPECT_EQ(*l->name_type, GEN_ACL_GROUP);
    EXPECT_EQ(*l->privilege_level, GEN_ACL_END_USER);
    char *name = nullptr;
    GENU_ExtractSimpleName(st, &name, &l->u.simple_name, nullptr);
    std::string r(name);
    GENU__CoveredFree(name);
    GEN_DeletePSISAccessControlList(st.fresh(), l, nullptr);
    return r;
}

TEST(EACLList, FromListForm) {
    EXPECT_EQ(FromList(ListEntry("bob@host.example")), "bob|host.example|3045|2|1");
    EXPECT_EQ(FromList(ListEntry("bob@<local>")), "bob|<local>|3047|2|1");
    ListEntry numbered("bob@office");
    numbered.e.name_type = &numbered.nt;
    numbered.e.privilege_level = &numbered.pl;
    EXPECT_EQ(FromList(numbered), "bob|office|3044|1|3");
    EXPECT_EQ(FromList(ListEntry("bob", true)), "bob||0|2|1"); // choice 2: defaults
    EXPECT_EQ(FromList(ListEntry("@")), "||3055|0|1");
    EXPECT_EQ(FromList(ListEntry("a@b@c.d")), "a|b@c.d|3045|2|1");
    ListEntry bad("x");
    bad.e.choice = 3;
    EXPECT_EQ(FromList(bad), Code(GEN_S_INVALID));
}

TEST(EACLList, ToListFormAndBack) {
    EXPECT_EQ(FromText("name=bob domain=nisplus:org name-type=user", ToList), "bob@org");
    EXPECT_EQ(FromText("name=bob domain=winnt:CORP privilege-level=operator", ToList), "CORP\\bob");
    EXPECT_EQ(FromText("name=bob", ToList), "bob");
    EXPECT_EQ(FromText("name=bob domain=any:x", ToList), Code(GEN_S_NOTSUPP));
    EXPECT_EQ(FromText("name=bob domain=nosyntax", ToList), Code(GEN_S_NOTSUPP));
    EXPECT_EQ(FromText(("name=" + std::string(250, 'n') + " domain=dns:a.b.c").c_str(), ToList), Code(GEN_S_INVALID));
    // A list-form name survives the way there and back.
    for (const char *name : {"bob@host.example", "bob@<local>", "bob@office", "bob"}) {
        StatusList st;
        GEN_ExtACL *e = nullptr;
        ListEntry l(name);
        ASSERT_EQ(GENU_ACLFromPSIS(st, &e, &l.e), 0);
        EXPECT_EQ(ToList(e), name);
        GEN_DeleteExtACL(st.fresh(), e, nullptr);
    }
}

} // namespace
