// The registry file's text. (GCC 12 -O3 reports a false -Wrestrict overlap.)
#pragma GCC diagnostic ignored "-Wrestrict"
#include <gtest/gtest.h>

#include "system/config.h"

using namespace vrcore::system::cfg;

namespace {

const char kPgr[] = "Software\\Halvane\\Tessaril\\pgr";

RegValue Value(const char *name, RegType type, const char *text, uint32_t dword = 0) {
    RegValue v;
    v.name = name;
    v.type = type;
    v.text = text;
    v.dword = dword;
    return v;
}

// Each type and escape, hive files' doubled separators and times, the last duplicate.
TEST(RegistryText, ReadsEachTypeAndForm) {
    struct Want {
        const char *key, *name;
        RegType type;
        const char *text;
        uint32_t dword;
    };
    struct Doc {
        const char *text;
        std::vector<Want> want;
    };
    const Doc docs[] = {
        {"REGEDIT4\n"
         "\n"
         "; a comment\n"
         "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril\\pgr]\n"
         "\"ServerAddress\"=\"10.0.0.7\"\n"
         "\"LocalFileDirectory\"=str(2):\"%windir%\\pgr\"\n"
         "\"CallMaxRetry\"=dword:0000000a\n"
         "\"Quoted\"=\"say \\\"hi\\\" \\\\\\\\host\\share\"\n"
         "@=\"default\"\n"
         "\"Bin\"=hex:01,02,\\\n"
         "  03,04\n"
         "\"Short\"=dword:A\n",
         {{"software/halvane/tessaril/pgr", "serveraddress", RegType::String, "10.0.0.7", 0},
          {"HKLM\\Software\\Halvane\\Tessaril\\pgr\\", "ServerAddress", RegType::String, "10.0.0.7",
           0},
          {kPgr, "LocalFileDirectory", RegType::ExpandString, "%windir%\\pgr",
           0}, // a lone backslash stays
          {kPgr, "CallMaxRetry", RegType::Dword, nullptr, 10},
          {kPgr, "Quoted", RegType::String, "say \"hi\" \\\\host\\share", 0},
          {kPgr, "", RegType::String, "default", 0},
          {kPgr, "Bin", RegType::Other, nullptr, 0},
          {kPgr, "Short", RegType::Dword, nullptr, 10}}},
        {"WINE REGISTRY Version 2\n"
         ";; All keys relative to \\\\Machine\n"
         "\n"
         "[Software\\\\Halvane\\\\Tessaril\\\\odp] 1700000000\n"
         "#time=1d9e3c3b1a2b3c4\n"
         "\"PingTry\"=dword:00000005\r\n",
         {{"Software\\Halvane\\Tessaril\\odp", "PingTry", RegType::Dword, nullptr, 5}}},
        {"[Software\\A]\n\"v\"=\"1\"\n[Software\\B]\n\"v\"=\"b\"\n[software\\a]\n\"V\"=dword:"
         "00000002\n",
         {{"Software\\A", "v", RegType::Dword, nullptr, 2},
          {"Software\\B", "v", RegType::String, "b", 0}}},
    };
    for (const Doc &d : docs) {
        auto doc = RegDocument::Parse(d.text);
        EXPECT_EQ(doc.Malformed(), 0u);
        for (const Want &w : d.want) {
            SCOPED_TRACE(w.name);
            const RegValue *v = doc.Find(w.key, w.name);
            ASSERT_TRUE(v);
            EXPECT_EQ(v->type, w.type);
            EXPECT_EQ(v->text, w.text ? w.text : v->text);
            EXPECT_EQ(v->dword, w.type == RegType::Dword ? w.dword : v->dword);
        }
    }
    EXPECT_EQ(RegDocument::Parse(docs[2].text).Values("Software\\A").size(), 1u);
    auto doc = RegDocument::Parse(docs[0].text); // neither another hive nor the parent key
    EXPECT_FALSE(doc.Find("HKEY_CURRENT_USER\\Software\\Halvane\\Tessaril\\pgr", "Short"));
    EXPECT_FALSE(doc.Find("Software\\Halvane\\Tessaril", "Short"));
}

// A bad line is skipped; values under a bad key header are not filed under the one before.
TEST(RegistryText, MalformedLinesAreSkippedNotFatal) {
    auto doc = RegDocument::Parse("\"Orphan\"=\"before any key\"\n"
                                  "[Software\\A]\n"
                                  "garbage line\n"
                                  "\"Unterminated\"=\"abc\n"
                                  "\"Deleted\"=-\n"
                                  "\"Good\"=dword:ffffffff\n"
                                  "[Software\\B\n"
                                  "\"InBadKey\"=\"x\"\n");
    EXPECT_EQ(doc.Malformed(), 6u);
    EXPECT_EQ(doc.Find("Software\\A", "Good")->dword, 0xffffffffu);
    EXPECT_FALSE(doc.Find("Software\\A", "Unterminated") || doc.Find("Software\\A", "Deleted"));
    EXPECT_EQ(doc.Keys(), (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\Software\\A"}));
}

TEST(RegistryText, EditsKeepEverythingElse) {
    const std::string original = "REGEDIT4\n"
                                 "; keep me\n"
                                 "[Software\\A]\n"
                                 "\"x\"=\"1\"\n"
                                 "what is this\n"
                                 "\"bin\"=hex:00\n"
                                 "\n"
                                 "[Software\\B]\n"
                                 "\"y\"=\"2\"";
    auto doc = RegDocument::Parse(original);
    // In place, key spelling kept; then after the key's last line; then a new key at the end.
    ASSERT_TRUE(doc.Set("software\\a", Value("x", RegType::Dword, "", 7)));
    ASSERT_TRUE(doc.Set("Software\\A", Value("new", RegType::ExpandString, "%HOME%\\a \"q\"")));
    ASSERT_TRUE(doc.Set("Software\\C\\D", Value("z", RegType::String, "3")));
    EXPECT_EQ(doc.Render(), "REGEDIT4\n"
                            "; keep me\n"
                            "[Software\\A]\n"
                            "\"x\"=dword:00000007\n"
                            "what is this\n"
                            "\"bin\"=hex:00\n"
                            "\"new\"=str(2):\"%HOME%\\\\a \\\"q\\\"\"\n"
                            "\n"
                            "[Software\\B]\n"
                            "\"y\"=\"2\"\n"
                            "\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\C\\D]\n"
                            "\"z\"=\"3\"\n");

    // A binary value left open by a trailing "\" does not swallow a value added after it.
    doc = RegDocument::Parse("[Software\\A]\n\"bin\"=hex:01,\\\n");
    ASSERT_TRUE(doc.Set("Software\\A", Value("next", RegType::String, "x")));
    auto again = RegDocument::Parse(doc.Render());
    const RegValue *next = again.Find("Software\\A", "next");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->text, "x");
}

TEST(RegistryText, SetCollapsesDuplicatesRefusesUnwritableAndErases) {
    auto doc = RegDocument::Parse("[Software\\A]\n\"v\"=\"1\"\n\"V\"=\"2\"\n");
    RegValue v = Value("v", RegType::String, "3");
    ASSERT_TRUE(doc.Set("Software\\A", v));
    EXPECT_EQ(doc.Render(), "[Software\\A]\n\"v\"=\"3\"\n");

    // What the text form cannot hold is refused.
    std::string before = doc.Render();
    for (const auto &[key, bad] :
         {std::pair{"Software\\A", Value("v", RegType::String, "line\nbreak")},
          {"Software\\A]x", v},
          {"Software\\A\x01", v},
          {"Software\\A", Value("tab\there", RegType::String, "ok")},
          {"Software\\A", Value("n", RegType::Other, "ok")}})
        EXPECT_FALSE(doc.Set(key, bad)) << key << " " << bad.name;
    EXPECT_EQ(doc.Render(), before);

    // Erasing a value, and a key with its subkeys but not its siblings.
    doc = RegDocument::Parse("[Software\\A]\n\"v\"=\"1\"\n\"w\"=\"2\"\n"
                             "[Software\\A\\Sub]\n\"s\"=\"3\"\n[Software\\AB]\n\"ab\"=\"4\"\n");
    EXPECT_TRUE(doc.EraseValue("Software\\A", "V"));
    EXPECT_FALSE(doc.EraseValue("Software\\A", "v"));
    EXPECT_EQ(doc.Find("Software\\A", "w")->text, "2");
    EXPECT_TRUE(doc.EraseKey("software\\a"));
    EXPECT_FALSE(doc.EraseKey("Software\\A"));
    EXPECT_FALSE(doc.Find("Software\\A\\Sub", "s"));
    EXPECT_EQ(doc.Render(), "[Software\\AB]\n\"ab\"=\"4\"\n");
}

} // namespace
