// Trace rendering of values and sets, captured through a string sink.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "syntax/render.h"
#include "valuegen.h"
#include "vrcore/genu.h"

namespace {

using vrtest::Irv;
using vrtest::StatusList;

struct StringSink : vrsyn::Sink {
    std::string text;
    void Write(const char *p, size_t n) override { text.append(p, n); }
};

template <typename T> std::string Line(uint32_t type, const T &value, const char *prefix = ">") {
    StringSink s;
    vrsyn::RenderValue(s, prefix, &value, type);
    return s.text;
}

GEN_SimpleName Name(const char *s) {
    StatusList st;
    GEN_SimpleName n;
    GENU_MakeEmbeddedSimpleName(st, &n, s, nullptr);
    return n;
}

TEST(RenderValue, Numbers) {
    EXPECT_EQ(Line<int32_t>(0, 7), ">TRUE\n");
    EXPECT_EQ(Line<int32_t>(0, 0), ">FALSE\n");
    EXPECT_EQ(Line<uint32_t>(1, 4294967295u), ">4294967295\n");
    EXPECT_EQ(Line<int32_t>(12, -5), ">-5\n");
    EXPECT_EQ(Line<uint16_t>(26, 2), ">2\n");
    EXPECT_EQ(Line<double>(23, 1.5), ">1.500000\n");
    EXPECT_EQ(Line(25, GEN_RealRange{1, 2.25}), ">1.000000 - 2.250000\n");
    EXPECT_EQ(Line<uint32_t>(4, 86400 + 3600 + 61), ">1 day 01:01:01 (90061)\n");
    EXPECT_EQ(Line<uint32_t>(4, 2 * 86400), ">2 days 00:00:00 (172800)\n");
}

TEST(RenderValue, NamesAndTextsAreCut) {
    std::string s80(80, 'x'), s60(60, 'x');
    EXPECT_EQ(Line(27, Name(s80.c_str())), ">" + s60 + "\n");
    GEN_Text bad{};
    bad.kind = 9;
    EXPECT_EQ(Line(16, bad), ">unknown simple name choice\n");
    GEN_JobIdentifier job;
    std::memset(job.value, 'j', sizeof job.value); // no NUL: shown up to its end
    EXPECT_EQ(Line(14, job), ">" + std::string(256, 'j') + "\n");

    GEN_NameOrOID syntax{};
    syntax.choice = GEN_NOID_NAME;
    syntax.u.name = Name("winnt");
    GEN_DistNameString dn{Irv("CORP"), nullptr};
    EXPECT_EQ(Line(6, dn), ">CORP No Syntax\n");
    dn.syntax = &syntax;
    EXPECT_EQ(Line(6, dn), ">CORP Syntax=winnt\n");
    EXPECT_EQ(Line(18, syntax), ">local:winnt\n");
    GEN_FontReference font{};
    font.choice = GEN_FONT_GLOBAL_NAME;
    EXPECT_EQ(Line(9, font), ">font reference not a simple name\n");
}

TEST(RenderValue, ChoicesAndPlaceholders) {
    GEN_NumbersUpSupported up{};
    up.choice = 1;
    up.u.cardinal = 4;
    EXPECT_EQ(Line(19, up), ">Cardinal = 4\n"); // one newline, not two
    up.choice = 3;
    up.u.range = {1, 2};
    EXPECT_EQ(Line(19, up), ">CardinalRange = 1 - 2\n");
    up.choice = 9;
    EXPECT_EQ(Line(19, up), ">Bad NumbersUp Choice\n");
    EXPECT_EQ(Line<int32_t>(21, 2), ">alphanumeric\n");
    EXPECT_EQ(Line<int32_t>(21, 7), ">unknown=7\n");
    EXPECT_EQ(Line<int32_t>(44, 3), ">Left edge\n");
    EXPECT_EQ(Line<int32_t>(44, 4), ">\n");
    EXPECT_EQ(Line<int32_t>(90, 0), ">unknown value type\n");
}

TEST(RenderValue, StructuredValuesPrefixEveryLine) {
    StatusList st;
    GEN_DeliveryAddress *mail = nullptr;
    ASSERT_EQ(GEN_InternetMailToX400Address(st, &mail, "ann@print.example", nullptr), 0);
    uint32_t copies = 3;
    GEN_Text comment = Irv("done");
    GEN_ResultsProfile rp{nullptr, &comment, mail, &copies, nullptr};
    EXPECT_EQ(Line(81, rp, "\t"),
              "\tdelivery method = <not specified>\n\tresults set comment = done\n"
              "\tdelivery address = ann@print.example\n\tjob copies = 3\n"
              "\toutput bin = <not specified>\n");
    GEN_ResultsProfile empty{};
    EXPECT_EQ(Line(81, empty, "\t"),
              "\tdelivery method = <not specified>\n\tresults set comment = <not specified>\n"
              "\tdelivery address = <not specified>\n\tjob copies = <default = 1>\n"
              "\toutput bin = <not specified>\n");
    GEN_EventHandlingProfile ep{};
    ep.delivery_address = mail;
    EXPECT_EQ(Line(8, ep, "\t"), "\tmhs-address = ann@print.example\n");
    GEN_DeleteDeliveryAddress(st.fresh(), mail, nullptr);
}

TEST(RenderValue, AccessControlEntries) {
    int32_t nt = GEN_ACL_USER, pl = GEN_ACL_OPERATOR;
    GEN_PSISAccessControlList list{};
    list.choice = 1;
    list.u.simple_name = Name("bob");
    EXPECT_EQ(Line(85, list), ">end user: group: bob\n");
    list.name_type = &nt;
    list.privilege_level = &pl;
    EXPECT_EQ(Line(85, list), ">op: user: bob\n");
    nt = 9;
    EXPECT_EQ(Line(85, list), ">Invalid: bob (name type 9, privilege level 2)\n");
    list.choice = 4;
    EXPECT_EQ(Line(85, list), ">Bad ACL choice\n");

    StatusList st;
    GEN_ExtACL *e = nullptr;
    ASSERT_EQ(GENU_eACLFromText(st, &e, "name=bob domain=winnt:CORP privilege-level=administrator"),
              0);
    EXPECT_EQ(Line(89, *e), ">administrator: group: bob, domain winnt:CORP\n");
    StringSink s;
    EXPECT_EQ(vrsyn::RendereACL(s, e), 0);
    EXPECT_EQ(s.text, "ExtAccessControlList Name: bob\nExtAccessControlList Name Type: group\n"
                      "ExtAccessControlList Domain: winnt:CORP\n"
                      "ExtAccessControlList Privilege Level: administrator\n");
    GEN_DeleteExtACL(st.fresh(), e, nullptr);
}

TEST(RenderSingle, TextsAndBytes) {
    StringSink s;
    GEN_Text t = Irv("as is");
    EXPECT_EQ(vrsyn::RenderText(s, &t), 0);
    std::string bytes(70, 'b');
    bytes[0] = '\x01';
    t.kind = GEN_KIND_LATIN1;
    t.u.octets = {70, reinterpret_cast<unsigned char *>(bytes.data())};
    EXPECT_EQ(vrsyn::RenderText(s, &t), 0);
    t.kind = GEN_KIND_OCTETS;
    t.u.octets.length = 2;
    EXPECT_EQ(vrsyn::RenderText(s, &t), 0);
    t.kind = 0;
    EXPECT_EQ(vrsyn::RenderText(s, &t), 1);
    EXPECT_EQ(s.text, "as is\nLength = 70\nValue=<." + std::string(59, 'b') +
                          "...>\nLength = 2\nValue=<0162>\nunknown simple name choice\n");

    s.text.clear();
    unsigned char num[] = {1, 0};
    GEN_OctetString o{2, num};
    vrsyn::RenderOctetStringInt(s, &o);
    GEN_Cardinal64 c{1, 5};
    vrsyn::RenderCardinal64(s, &c);
    EXPECT_EQ(s.text, "Length = 2\nValue=<256>\nCard-64: 4294967301\n");
}

TEST(RenderSingle, ObjectIdentificationAndTime) {
    StringSink s;
    EXPECT_EQ(vrsyn::RenderObjectIdent(s, nullptr), 0);
    GEN_ObjectIdent id{};
    id.choice = GEN_OBJID_DOCUMENT_ID;
    std::strcpy(id.u.document_id.job.value, "srv:42");
    uint32_t doc = 3;
    id.u.document_id.document_number = &doc;
    EXPECT_EQ(vrsyn::RenderObjectIdent(s, &id), 0);
    id.choice = GEN_OBJID_SIMPLE_NAME;
    id.u.simple_name = Name("lp1");
    EXPECT_EQ(vrsyn::RenderObjectIdent(s, &id), 0);
    id.choice = 8;
    EXPECT_EQ(vrsyn::RenderObjectIdent(s, &id), 1);
    EXPECT_EQ(s.text, "\t\tNULL object identification\n\t\tjob-identifier = srv:42\n"
                      "\t\tdocument-number = 3\n\t\tsimple name = lp1\n"
                      "\t\tunknown object identification choice\n");

    GEN_GeneralizedTime t{1999, 3, 7, 14, 5, 9, 45, -60, 0};
    char buf[80];
    EXPECT_STREQ(vrsyn::GeneralizedTimeToAscii(t, buf, sizeof buf),
                 "7/03/1999 14:05:09.045 diff=-60 Not UTC");
    s.text.clear();
    t.utc = 1;
    vrsyn::RenderGeneralizedTime(s, &t);
    EXPECT_EQ(s.text, "\t\tyear = 1999\n\t\tmonth = 3\n\t\tday = 7\n\t\thour = 14\n"
                      "\t\tminute = 5\n\t\tsecond = 9\n\t\tmillisecond = 45\n\t\tmindiff = -60\n"
                      "\t\tutc = TRUE\n");
}

} // namespace
