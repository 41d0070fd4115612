// Making values from strings and components, extracting strings, the
// name-syntax table and repertoire conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "failalloc.h"
#include "valuegen.h"
#include "vrcore/genu.h"

namespace {

using vrtest::StatusList;

const GENU_Allocator kFail = {vrtest::FailMalloc, vrtest::FailFree};

std::string Extracted(STF_List *st, const GEN_Text *t) {
    char *s = nullptr;
    if (GENU_ExtractText(st, &s, t, nullptr) != 0) return "<failed>";
    std::string r(s);
    GENU__CoveredFree(s);
    return r;
}

TEST(Make, TextLimitsAndForm) {
    StatusList st;
    std::string s4095(4095, 'a'), s4096(4096, 'a');
    GEN_Text *t = reinterpret_cast<GEN_Text *>(1);
    EXPECT_EQ(st.failed(GENU_MakeText(st, &t, s4096.c_str(), nullptr)), GEN_S_INVALID);
    EXPECT_EQ(t, nullptr);
    ASSERT_EQ(GENU_MakeText(st, &t, s4095.c_str(), nullptr), 0);
    EXPECT_EQ(t->kind, GEN_KIND_CODESET);
    EXPECT_EQ(t->charset, 0u);
    EXPECT_EQ(t->u.octets.length, 4095);
    EXPECT_EQ(t->u.octets.value[4095], 0); // the copy keeps its NUL
    EXPECT_EQ(Extracted(st, t), s4095);
    EXPECT_EQ(GEN_DeleteText(st.fresh(), t, nullptr), 0);

    GEN_Text e;
    ASSERT_EQ(GENU_MakeEmbeddedText(st, &e, nullptr, nullptr), 0);
    EXPECT_EQ(e.kind, GEN_KIND_CODESET);
    EXPECT_EQ(e.u.octets.length, 0);
    EXPECT_EQ(e.u.octets.value, nullptr);
    EXPECT_EQ(Extracted(st, &e), "");

    GEN_OctetString os;
    ASSERT_EQ(GENU_MakeEmbeddedString(st, &os, "abc", nullptr), 0);
    EXPECT_EQ(os.length, 3);
    EXPECT_EQ(std::memcmp(os.value, "abc", 4), 0);
    EXPECT_EQ(GEN_DeepDeleteOctetString(st.fresh(), &os, nullptr), 0);
}

TEST(Make, SimpleNameLimitsAndForm) {
    StatusList st;
    GEN_SimpleName n;
    ASSERT_EQ(GENU_MakeEmbeddedSimpleName(st, &n, nullptr, nullptr), 0);
    EXPECT_EQ(n.kind, GEN_KIND_CODESET);
    EXPECT_EQ(n.u.counted.length, 0);

    std::string s255(255, 'n'), s256(256, 'n');
    ASSERT_EQ(GENU_MakeEmbeddedSimpleName(st, &n, s255.c_str(), nullptr), 0);
    EXPECT_EQ(n.u.counted.length, 255);
    char *back = nullptr;
    ASSERT_EQ(GENU_ExtractSimpleName(st, &back, &n, nullptr), 0);
    EXPECT_EQ(std::string(back), s255);
    GENU__CoveredFree(back);

    EXPECT_EQ(st.failed(GENU_MakeEmbeddedSimpleName(st, &n, s256.c_str(), nullptr)), GEN_S_INVALID);
    EXPECT_EQ(n.kind, 0);
    GEN_SimpleName *p = reinterpret_cast<GEN_SimpleName *>(1);
    EXPECT_EQ(GENU_MakeSimpleName(st, &p, s256.c_str(), nullptr), 1);
    EXPECT_EQ(p, nullptr);
}

TEST(Extract, KindsAndBounds) {
    StatusList st;
    unsigned char ab[2] = {'a', 'b'};
    GEN_Text t{};
    t.kind = GEN_KIND_OCTETS;
    t.u.octets = {2, ab};
    EXPECT_EQ(Extracted(st, &t), "ab");
    t = vrtest::Irv("irv");
    EXPECT_EQ(Extracted(st, &t), "irv");
    t.kind = 6;
    char *s = reinterpret_cast<char *>(1);
    EXPECT_EQ(st.failed(GENU_ExtractText(st, &s, &t, nullptr)), GEN_S_INVALID);
    EXPECT_EQ(s, nullptr);
    t.kind = GEN_KIND_CODESET;
    t.u.octets = {-2, ab};
    EXPECT_EQ(GENU_ExtractText(st, &s, &t, nullptr), 1);

    GEN_SimpleName n{};
    n.kind = GEN_KIND_STRING; // empty inline string
    ASSERT_EQ(GENU_ExtractSimpleName(st, &s, &n, nullptr), 0);
    EXPECT_STREQ(s, "");
    GENU__CoveredFree(s);
    std::memset(n.u.string, 'q', sizeof n.u.string);
    EXPECT_EQ(st.failed(GENU_ExtractSimpleName(st, &s, &n, nullptr)), GEN_S_INVALID);
    EXPECT_EQ(GENU_ExtractOctet255(st, &s, 256, ab, nullptr), 1);
    EXPECT_EQ(GENU_ExtractOctet255(st, &s, 2, nullptr, nullptr), 1);

    GEN_OctetString os{2, ab};
    ASSERT_EQ(GENU_ExtractOctetString(st, &s, &os, nullptr), 0);
    EXPECT_STREQ(s, "ab");
    GENU__CoveredFree(s);
}

TEST(Extract, DistNameStringSyntaxes) {
    StatusList st;
    GEN_DistNameString *d = nullptr;
    ASSERT_EQ(GENU_MakeDistNameString2(st, &d, "CORP\\bob", 0, nullptr), 0);
    EXPECT_EQ(d->syntax, nullptr);
    char *s = nullptr;
    GENU_ShortOID syn = 123;
    ASSERT_EQ(GENU_ExtractDistNameString(st, &s, &syn, d, nullptr), 0);
    EXPECT_STREQ(s, "CORP\\bob");
    EXPECT_EQ(syn, 0u);
    GENU__CoveredFree(s);

    // A syntax given by name, in capitals.
    GEN_NameOrOID named{};
    named.choice = GEN_NOID_NAME;
    named.u.name.kind = GEN_KIND_IRV;
    std::strcpy(named.u.name.u.string, "WINNT");
    d->syntax = &named;
    ASSERT_EQ(GENU_ExtractDistNameString(st, &s, &syn, d, nullptr), 0);
    EXPECT_EQ(syn, 3050u);
    GENU__CoveredFree(s);
    std::strcpy(named.u.name.u.string, "no-such-syntax");
    ASSERT_EQ(GENU_ExtractDistNameString(st, &s, &syn, d, nullptr), 0);
    EXPECT_EQ(syn, GENU_NAME_SYNTAX_UNKNOWN);
    GENU__CoveredFree(s);
    named.u.name.kind = 9; // the syntax's name cannot be read
    EXPECT_EQ(GENU_ExtractDistNameString(st, &s, &syn, d, nullptr), 1);
    EXPECT_EQ(syn, 0u);
    EXPECT_EQ(s, nullptr);
    named.choice = 3;
    EXPECT_EQ(st.failed(GENU_ExtractDistNameString(st, &s, &syn, d, nullptr)), GEN_S_INVALID);
    EXPECT_EQ(named.choice, 3); // the value is never changed
    d->syntax = nullptr;
    GEN_DeleteDistNameString(st.fresh(), d, nullptr);

    ASSERT_EQ(GENU_MakeDistNameString2(st, &d, "host.example", 3045, nullptr), 0);
    ASSERT_NE(d->syntax, nullptr);
    EXPECT_EQ(d->syntax->choice, GEN_NOID_OID);
    ASSERT_EQ(GENU_ExtractDistNameString(st, &s, &syn, d, nullptr), 0);
    EXPECT_EQ(syn, 3045u);
    GENU__CoveredFree(s);
    GEN_DeleteDistNameString(st.fresh(), d, nullptr);

    EXPECT_EQ(GENU_NameSyntaxToShortOID("NIS+"), 3048u);
    EXPECT_EQ(GENU_NameSyntaxToShortOID(""), GENU_NAME_SYNTAX_UNKNOWN);
}

TEST(Make, ObjectIdentificationsCopyTheirAlternatives) {
    StatusList st;
    GEN_ObjectIdent *oi = nullptr;
    std::string job255(255, 'j'), job256(256, 'j');
    ASSERT_EQ(GENU_MakeObjectIdent_JobId(st, &oi, job255.c_str(), nullptr), 0);
    EXPECT_EQ(oi->choice, GEN_OBJID_JOB_ID);
    EXPECT_EQ(std::string(oi->u.job_id.value), job255);
    GEN_DeleteObjectIdent(st.fresh(), oi, nullptr);
    EXPECT_EQ(GENU_MakeObjectIdent_JobId(st, &oi, job256.c_str(), nullptr), 1);
    EXPECT_EQ(st.code(), GEN_S_INVALID);
    EXPECT_EQ(oi, nullptr);

    // A document identifier: the document number is a new block.
    GEN_DocumentIdentifier doc{};
    std::strcpy(doc.job.value, "job-7");
    uint32_t number = 3;
    doc.document_number = &number;
    ASSERT_EQ(GENU_MakeObjectIdent_DocId(st, &oi, &doc, nullptr), 0);
    EXPECT_EQ(oi->choice, GEN_OBJID_DOCUMENT_ID);
    ASSERT_NE(oi->u.document_id.document_number, &number);
    EXPECT_EQ(*oi->u.document_id.document_number, 3u);
    GEN_DeleteObjectIdent(st.fresh(), oi, nullptr);

    // A distinguished name whose source is deleted before the copy is read.
    GEN_DistNameString *d = nullptr;
    ASSERT_EQ(GENU_MakeDistNameString2(st, &d, "printer-1", 3044, nullptr), 0);
    ASSERT_EQ(GENU_MakeObjectIdent_DistName(st, &oi, d, nullptr), 0);
    GEN_DeleteDistNameString(st.fresh(), d, nullptr);
    EXPECT_EQ(Extracted(st, &oi->u.dist_name.name), "printer-1");
    EXPECT_EQ(oi->u.dist_name.syntax->u.oid, 3044u);
    GEN_DeleteObjectIdent(st.fresh(), oi, nullptr);

    GEN_NameOrOID bad{};
    bad.choice = 5;
    EXPECT_EQ(st.failed(GENU_MakeObjectIdent_NameOrOID(st, &oi, &bad, nullptr)), GEN_S_INVALID);
    EXPECT_EQ(st.failed(GENU_MakeObjectIdent_SimpleName(st, &oi, nullptr, nullptr)), GEN_S_NULLARG);
}

// The remaining makers deep-copy their components: the sources are
// destroyed before the results are read.
TEST(Make, ComponentsAreCopied) {
    StatusList st;
    GEN_SimpleName *sn = nullptr;
    ASSERT_EQ(GENU_MakeSimpleName(st, &sn, "A4", nullptr), 0);
    GEN_NameOrOID *medium = nullptr;
    GEN_NameOrOID noid{};
    noid.choice = GEN_NOID_NAME;
    noid.u.name = *sn;
    ASSERT_EQ(GEN_CopyNameOrOID(st.fresh(), reinterpret_cast<void **>(&medium), &noid, nullptr), 0);
    GEN_MediaConsumed *mc = nullptr;
    ASSERT_EQ(GENU_MakeMediaConsumed(st, &mc, medium, 12, nullptr), 0);
    GEN_DeleteNameOrOID(st.fresh(), medium, nullptr);
    EXPECT_EQ(mc->count, 12u);
    EXPECT_EQ(mc->medium.choice, GEN_NOID_NAME);
    EXPECT_EQ(std::memcmp(mc->medium.u.name.u.counted.value, "A4", 2), 0);
    GEN_DeleteMediaConsumed(st.fresh(), mc, nullptr);

    GEN_FontReference font{};
    font.choice = GEN_FONT_SIMPLE_NAME;
    font.u.simple_name = *sn;
    GEN_ObjectIdent *oi = nullptr;
    ASSERT_EQ(GENU_MakeObjectIdent_FontRef(st, &oi, &font, nullptr), 0);
    EXPECT_EQ(oi->choice, GEN_OBJID_FONT_REF);
    EXPECT_EQ(oi->u.font_ref.u.simple_name.u.counted.length, 2);
    GEN_DeleteObjectIdent(st.fresh(), oi, nullptr);
    ASSERT_EQ(GENU_MakeObjectIdent_SimpleName(st, &oi, sn, nullptr), 0);
    EXPECT_EQ(oi->choice, GEN_OBJID_SIMPLE_NAME);
    GEN_DeleteObjectIdent(st.fresh(), oi, nullptr);
    ASSERT_EQ(GENU_MakeObjectIdent_NameOrOID(st, &oi, &noid, nullptr), 0);
    EXPECT_EQ(oi->choice, GEN_OBJID_NAME_OR_OID);
    GEN_DeleteObjectIdent(st.fresh(), oi, nullptr);
    GEN_DeleteSimpleName(st.fresh(), sn, nullptr);

    GEN_Text *text = nullptr;
    ASSERT_EQ(GENU_MakeText(st, &text, "lp0", nullptr), 0);
    GEN_NameOrOID syntax{};
    syntax.choice = GEN_NOID_OID;
    syntax.u.oid = 886;
    GEN_DistNameString *d = nullptr;
    ASSERT_EQ(GENU_MakeDistNameString(st, &d, text, &syntax, nullptr), 0);
    GEN_DeleteText(st.fresh(), text, nullptr);
    EXPECT_EQ(Extracted(st, &d->name), "lp0");
    ASSERT_NE(d->syntax, &syntax);
    EXPECT_EQ(d->syntax->u.oid, 886u);
    GEN_DeleteDistNameString(st.fresh(), d, nullptr);
    EXPECT_EQ(st.failed(GENU_MakeDistNameString(st, &d, nullptr, &syntax, nullptr)), GEN_S_NULLARG);

    GEN_DistNameString embedded;
    ASSERT_EQ(GENU_MakeEmbeddedDistNameString2(st, &embedded, "x", 0, nullptr), 0);
    EXPECT_EQ(embedded.syntax, nullptr);
    EXPECT_EQ(Extracted(st, &embedded.name), "x");
    GEN_DeepDeleteDistNameString(st.fresh(), &embedded, nullptr);
}

TEST(Make, AddressesAndAccessEntries) {
    StatusList st;
    GEN_RPCAddress *a = nullptr;
    ASSERT_EQ(GENU_MakeONCRPCAddress(st, &a, "spooler", nullptr, 2, 105004, "root", nullptr), 0);
    EXPECT_EQ(a->choice, GEN_RPC_ONC);
    EXPECT_EQ(Extracted(st, &a->u.onc.host), "spooler");
    EXPECT_EQ(Extracted(st, &a->u.onc.auth_name), "root");
    EXPECT_EQ(a->u.onc.version, 2u);
    EXPECT_EQ(a->u.onc.program, 105004u);
    EXPECT_EQ(a->u.onc.procedure, 0u);
    GEN_DeleteRPCAddress(st.fresh(), a, nullptr);
    ASSERT_EQ(GENU_MakeNameRPCAddress(st, &a, "/.:/servers/lp", nullptr), 0);
    EXPECT_EQ(a->choice, GEN_RPC_NAME);
    EXPECT_EQ(Extracted(st, &a->u.name), "/.:/servers/lp");
    GEN_DeleteRPCAddress(st.fresh(), a, nullptr);

    GEN_ExtACL *e = nullptr;
    int32_t user = GEN_ACL_USER, op = GEN_ACL_OPERATOR;
    ASSERT_EQ(GENU_MakeACL(st, &e, nullptr, nullptr, 0, &user, nullptr, nullptr), 0);
    EXPECT_EQ(e->name.u.counted.length, 0);
    EXPECT_EQ(e->name_type, GEN_ACL_ALL_USERS); // no name: all users, whatever was passed
    EXPECT_EQ(e->privilege_level, GEN_ACL_END_USER);
    EXPECT_EQ(e->domain.syntax, nullptr);
    GEN_DeleteExtACL(st.fresh(), e, nullptr);
    ASSERT_EQ(GENU_MakeACL(st, &e, "bob", "CORP", 3050, nullptr, &op, nullptr), 0);
    EXPECT_EQ(e->name_type, GEN_ACL_GROUP);
    EXPECT_EQ(e->privilege_level, GEN_ACL_OPERATOR);
    EXPECT_EQ(Extracted(st, &e->domain.name), "CORP");
    EXPECT_EQ(e->domain.syntax->u.oid, 3050u);
    GEN_DeleteExtACL(st.fresh(), e, nullptr);
    std::string long_name(256, 'b');
    e = reinterpret_cast<GEN_ExtACL *>(1);
    EXPECT_EQ(GENU_MakeACL(st, &e, long_name.c_str(), "CORP", 3050, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(st.code(), GEN_S_INVALID);
    EXPECT_EQ(e, nullptr);

    GEN_PSISAccessControlList *p = nullptr;
    ASSERT_EQ(GENU_MakeONCACL(st, &p, "alice@host", &user, nullptr, nullptr), 0);
    EXPECT_EQ(p->choice, 2);
    EXPECT_EQ(p->u.octets.length, 10);
    ASSERT_NE(p->name_type, nullptr);
    EXPECT_EQ(*p->name_type, GEN_ACL_USER);
    EXPECT_EQ(p->privilege_level, nullptr);
    GEN_DeletePSISAccessControlList(st.fresh(), p, nullptr);

    GEN_ErrorMessage *m = nullptr;
    GEN_Text t = vrtest::Irv("paper jam");
    GEN_OctetString os{2, reinterpret_cast<unsigned char *>(const_cast<char *>("xy"))};
    EXPECT_EQ(st.failed(GENU_MakeErrorMsg(st, &m, nullptr, nullptr, nullptr)), GEN_S_NULLARG);
    EXPECT_EQ(st.failed(GENU_MakeErrorMsg(st, &m, &t, &os, nullptr)), GEN_S_INVALID);
    ASSERT_EQ(GENU_MakeErrorMsg(st, &m, &t, nullptr, nullptr), 0);
    EXPECT_EQ(m->choice, GEN_ERRMSG_TEXT);
    EXPECT_NE(m->u.text.u.string, t.u.string);
    EXPECT_EQ(Extracted(st, &m->u.text), "paper jam");
    GEN_DeleteErrorMessage(st.fresh(), m, nullptr);
    GEN_ErrorMessage em;
    ASSERT_EQ(GENU_MakeEmbeddedErrorMsg(st, &em, nullptr, &os, nullptr), 0);
    EXPECT_EQ(em.choice, GEN_ERRMSG_OCTETS);
    EXPECT_EQ(em.u.octets.length, 2);
    GEN_DeepDeleteErrorMessage(st.fresh(), &em, nullptr);
}

// Every maker either completes or leaves nothing behind and a null output
// (the distinguished name and text makers run inside these).
TEST(Make, FailingAllocatorSweeps) {
    StatusList st;
    GEN_Text name = vrtest::Irv("driver"), path{};
    path.kind = GEN_KIND_CODESET;
    path.u.octets = {4, reinterpret_cast<unsigned char *>(const_cast<char *>("/lib"))};
    GEN_SeqOfStrings files2{nullptr, const_cast<char *>("b.dll")};
    GEN_SeqOfStrings files1{&files2, const_cast<char *>("a.dll")};
    GEN_SimpleName pname{};
    pname.kind = GEN_KIND_IRV;
    std::strcpy(pname.u.string, "pre");

    struct Maker {
        std::function<int(void **)> make;
        const GENU_ValueDescriptor *desc;
    };
    const Maker makers[] = {
        {[&](void **o) {
            return GENU_MakeONCRPCAddress(st, reinterpret_cast<GEN_RPCAddress **>(o), "h", nullptr,
                                          1, 2, "auth", &kFail);
         },
         &GENU_RPCAddressDesc},
        {[&](void **o) {
            return GENU_MakeACL(st, reinterpret_cast<GEN_ExtACL **>(o), "bob", "dom", 3044,
                                nullptr, nullptr, &kFail);
         },
         &GENU_ExtACLDesc},
        {[&](void **o) {
            return GENU_MakeDriverInfo(st, reinterpret_cast<GEN_DriverInfo **>(o), &name, 7, &path,
                                       &path, nullptr, &path, &files1, &kFail);
         },
         &GENU_DriverInfoDesc},
        {[&](void **o) {
            return GENU_MakePreprocessorDefinition(
                st, reinterpret_cast<GEN_PreprocessorDefinition **>(o), &pname, 1, 2, &path,
                &files1, &kFail);
         },
         &GENU_PreprocessorDefinitionDesc},
    };
    for (const Maker &m : makers) {
        long points = vrtest::SweepFailures(
            [&] {
                void *out = reinterpret_cast<void *>(1);
                if (m.make(&out) != 0) {
                    EXPECT_EQ(out, nullptr);
                    EXPECT_EQ(st.code(), GEN_S_NOMEM);
                    return false;
                }
                long live = vrtest::FailAlloc::Live();
                EXPECT_EQ(m.desc->del(st.fresh(), out, &kFail), 0);
                EXPECT_LT(vrtest::FailAlloc::Live(), live);
                return true;
            },
            [] {});
        EXPECT_GE(points, 1);
    }
}

TEST(Repertoire, IrvToLatin1) {
    StatusList st;
    GEN_Text irv = vrtest::Irv("abc");
    GEN_Text *l = nullptr;
    ASSERT_EQ(GEN_Text2IsoLatin1(st, &l, &irv, nullptr), 0);
    EXPECT_EQ(l->kind, GEN_KIND_LATIN1);
    EXPECT_EQ(l->u.octets.length, 3);
    EXPECT_EQ(std::memcmp(l->u.octets.value, "abc", 3), 0);
    GEN_Text *l2 = nullptr;
    ASSERT_EQ(GEN_Text2IsoLatin1(st, &l2, l, nullptr), 0); // kind 3 is copied
    EXPECT_NE(l2->u.octets.value, l->u.octets.value);
    GEN_DeleteText(st.fresh(), l2, nullptr);
    GEN_DeleteText(st.fresh(), l, nullptr);
    for (int kind : {GEN_KIND_STRING, GEN_KIND_OCTETS, GEN_KIND_CODESET}) {
        GEN_Text t{};
        t.kind = kind;
        EXPECT_EQ(st.failed(GEN_Text2IsoLatin1(st, &l, &t, nullptr)), GEN_S_NOTSUPP);
        EXPECT_EQ(l, nullptr);
    }
    EXPECT_EQ(st.failed(GEN_Text2IsoLatin1(st, &l, nullptr, nullptr)), GEN_S_NULLARG);
    EXPECT_EQ(st.failed(GEN_Text2Unicode(st, &l, &irv, nullptr)), GEN_S_NOTSUPP);

    GEN_SimpleName n{};
    n.kind = GEN_KIND_IRV;
    std::strcpy(n.u.string, "name");
    GEN_SimpleName *ln = nullptr;
    ASSERT_EQ(GEN_SimpleName2IsoLatin1(st, &ln, &n, nullptr), 0);
    EXPECT_EQ(ln->kind, GEN_KIND_LATIN1);
    EXPECT_EQ(ln->u.counted.length, 4);
    EXPECT_EQ(std::memcmp(ln->u.counted.value, "name", 4), 0);
    GEN_DeleteSimpleName(st.fresh(), ln, nullptr);
    n.kind = GEN_KIND_CODESET;
    EXPECT_EQ(st.failed(GEN_SimpleName2IsoLatin1(st, &ln, &n, nullptr)), GEN_S_NOTSUPP);
}

} // namespace
