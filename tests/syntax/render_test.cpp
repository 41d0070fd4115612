// Trace rendering of values and sets.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

#include "log_file.h"
#include "scratch.h"
#include "syntax/render.h"
#include "valuegen.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace {

using namespace vrtest;

struct StringSink : vrcore::syntax::Sink {
    std::string text;
    void Write(const char *p, size_t n) override { text.append(p, n); }
};

template <typename T> std::string Line(uint32_t type, const T &value, const char *prefix = ">") {
    StringSink s;
    vrcore::syntax::RenderValue(s, prefix, &value, type);
    return s.text;
}

// Names cut to 60; a job identifier without its NUL shown whole; an unknown type.
TEST(RenderValue, Lines) {
    std::string s80(80, 'x');
    GEN_JobIdentifier job;
    std::memset(job.value, 'j', sizeof job.value);
    EXPECT_EQ(Line(27, Name(5, s80.c_str())), ">" + std::string(60, 'x') + "\n");
    EXPECT_EQ(Line(14, job), ">" + std::string(256, 'j') + "\n");
    EXPECT_EQ(Line<int32_t>(90, 0), ">unknown value type\n");
}

TEST(RenderValue, StructuredValuesPrefixEveryLine) {
    StatusList st;
    GEN_DeliveryAddress *mail = nullptr;
    ASSERT_EQ(GEN_InternetMailToX400Address(st, &mail, "ann@print.example", nullptr), 0);
    uint32_t copies = 3;
    GEN_Text comment = Txt(1, "done");
    // Absent parts are named so.
    GEN_ResultsProfile rp{nullptr, &comment, mail, &copies, nullptr};
    EXPECT_EQ(Line(81, rp, "\t"),
              "\tdelivery method = <not specified>\n\tresults set comment = done\n"
              "\tdelivery address = ann@print.example\n\tjob copies = 3\n\toutput bin = <not "
              "specified>\n");
    GEN_DeleteDeliveryAddress(st.Fresh(), mail, nullptr);
}

TEST(RenderSingle, TextsAndBytes) {
    StringSink s;
    GEN_Text t = Txt(1, "as is");
    EXPECT_EQ(vrcore::syntax::RenderText(s, &t), 0);
    std::string bytes(70, 'b');
    bytes[0] = '\x01';
    t.kind = GEN_KIND_LATIN1;
    t.u.octets = {70, reinterpret_cast<unsigned char *>(bytes.data())};
    EXPECT_EQ(vrcore::syntax::RenderText(s, &t), 0);
    t.kind = GEN_KIND_OCTETS;
    t.u.octets.length = 2;
    EXPECT_EQ(vrcore::syntax::RenderText(s, &t), 0);
    t.kind = 0;
    EXPECT_EQ(vrcore::syntax::RenderText(s, &t), 1);
    EXPECT_EQ(s.text, "as is\nLength = 70\nValue=<." + std::string(59, 'b') +
                          "...>\nLength = 2\nValue=<0162>\nunknown simple name choice\n");
}

TEST(EchoLog, SetAndValuesGoIntoTheOpenMessage) {
    LogFile log;
    StatusList st;
    AS_SetHandle set = nullptr, empty = nullptr;
    ASSERT_EQ(AS_Create(st, &set, nullptr, 0) + AS_Create(st, &empty, nullptr, 0), 0);
    uint32_t seconds = 61, hour = 3600;
    std::string long_text(80, 'c');
    GEN_Text comment = Txt(1, long_text.c_str());
    ASSERT_EQ(AS_AddAttrValM(st, set, 900, 4, &seconds, &GENU_DeltaTimeDesc, nullptr), 0);
    ASSERT_EQ(AS_AddAttrValM(st, set, 900, 4, &hour, &GENU_DeltaTimeDesc, nullptr), 0);
    ASSERT_EQ(AS_AddAttrValM(st, set, 901, 28, &comment, &GENU_TextDesc, nullptr), 0);
    ASSERT_EQ(AS_SetAttrModifyOp(st, set, 901, AS_MODOP_SET_DEFAULT), 0);
    ASSERT_EQ(AS_AddAttr(st, set, 902, 12, nullptr), 0);

    ASSERT_EQ(LOG_StartMessage(6, "render", 1, nullptr), 1);
    LOG_AddText("set:\n");
    EXPECT_EQ(GEN_EchoAS(st, set), 0);
    EXPECT_EQ(GEN_EchoAS(st, empty), 0);
    EXPECT_EQ(_GENU_EchoAttrValue(st, "\t", nullptr, 1), 0);
    EXPECT_EQ(_GENU_EchoAttrValue(st, "\t", &seconds, 95), 0);
    EXPECT_EQ(GEN_EchoShortOID(st, 900), 0);
    LOG_EndMessage();

    std::string n900 = vrcore::syntax::OidName(900), n901 = vrcore::syntax::OidName(901),
                n902 = vrcore::syntax::OidName(902);
    EXPECT_EQ(log.Text(),
              "set:\n\t\t" + n900 + " (delta time)  \n\t\t\t01:01 (61)\n" +
                  "\t\t\t01:00:00 (3600)\n\t\t" + n901 + " (text) SetDefault\n\t\t\t" +
                  std::string(60, 'c') + "\n\t\t" + n902 + " (integer)  \n\t\t\tno values\n" +
                  "\t\tno attributes\n\tNULL value\n\tunknown value type\n" + n900 + "\n");
    AS_Destroy(st, &set);
    AS_Destroy(st, &empty);
}

// Writes only into an open message; a failure goes below what the caller's list held.
TEST(EchoLog, WritesOnlyIntoAnOpenMessageAndReportsFailures) {
    LogFile log;
    StatusList st;
    GEN_Text t = Txt(1, "never"), bad{};
    bad.kind = 7;
    EXPECT_EQ(GEN_EchoAS(st, reinterpret_cast<AS_SetHandle>(16)), 0); // not even looked at
    EXPECT_EQ(GEN_EchoText(st, &t), 0);
    EXPECT_EQ(_GENU_EchoAttrValue(st, "", &t, 28), 0);
    ASSERT_EQ(LOG_StartMessage(9, "render", 1, nullptr), 0); // severity not enabled
    EXPECT_EQ(GEN_EchoText(st, &t), 0);
    LOG_EndMessage();
    EXPECT_EQ(GEN_EchoText(nullptr, &t), 1);

    STF_AddStatus(st, 0xC0090067u, 0); // what the caller was reporting
    AS_SetHandle set = nullptr;
    ASSERT_EQ(AS_Create(StatusList(), &set, nullptr, 0), 0);
    AS_SetHandle stale = set;
    ASSERT_EQ(AS_Destroy(StatusList(), &set), 0);
    ASSERT_EQ(LOG_StartMessage(6, "render", 1, nullptr), 1);
    EXPECT_EQ(GEN_EchoAS(st, stale), 1);
    EXPECT_EQ(GEN_EchoText(st, &bad), 1);
    LOG_EndMessage();
    ASSERT_GE(st.Codes().size(), 2u);
    EXPECT_EQ(st.Codes()[1], 0xC0090067u); // kept, below the set's code
    EXPECT_EQ(log.Text(), "unknown simple name choice\n");
}

} // namespace
