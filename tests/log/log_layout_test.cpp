// Exact layout of the lines of a log file.
#include <regex>

#include "log_test_util.h"
#include "vrcore/msg.h"

using namespace logtest;

namespace {

// A continuation line's text starts in the column of the first line's text.
std::string Cont(char letter, size_t location = 16) {
    return Prefix(letter) + std::string(location + 12, ' ') + " | ";
}

class Layout : public LogTest {
  protected:
    void SetUp() override {
        LogTest::SetUp();
        _LOG__SetClock(FixedClock);
        ASSERT_EQ(LOG_Init((dir_ / "app.log").c_str(), "EWIFxg"), 0);
    }
};

} // namespace

TEST(LogSeverities, SourceLocationField) {
    char out[32];
    for (auto [file, line, want] : {std::tuple{"syntax_render.cpp", 12345, "syn~er.cpp:12345 "},
                                    {"/src/vrcore/system/thr.cpp", 5, "   thr.cpp:5    "},
                                    {"C:\\src\\syntax_render.cpp", 5, "syn~er.cpp:5    "},
                                    {"src/dir/", 7, "      dir/:7    "},
                                    {nullptr, 9, "               "}})
        EXPECT_EQ(std::string(out, vrcore::log::FormatLocation(out, file, line)), want)
            << (file ? file : "null");
}

// Continuations, time stamps with and without a user, a refused format, positions.
TEST_F(Layout, FirstContinuationAndTimeStampedLines) {
    EXPECT_EQ(LOG_CondMessage(6, "log.cpp", 42, "hello %s\n%d\n\nend", "world", 7), 1);
    EXPECT_EQ(LOG_CondMessage(6, "attrset_values.cpp", 3, "%2$s %1$s\n", "world", "hello"), 1);
    const char *bad = "bad %y format %d"; // not a valid format: written as it is
    EXPECT_EQ(LOG_CondMessage(6, "a.c", 2, bad, 1), 1);
    EXPECT_EQ(LOG_StartMessage(1, "log.cpp", 1, "bob"), 1);
    LOG_AddText("disk on fire\nreally");
    LOG_EndMessage();
    EXPECT_EQ(LOG_StartMessage(2, "log.cpp", 1, ""), 1);
    LOG_AddText("no user");
    LOG_EndMessage();
    const std::string e = Prefix('E') + "Wed Mar  4 05:06:07 2026, User=bob | ";
    EXPECT_EQ(Only(), Prefix('I') + "   log.cpp:42   18367.089123 | hello world\r\n" + Cont('I') +
                          "7\r\n" + Cont('I') + "\r\n" + Cont('I') + "end\r\n" + Prefix('I') +
                          "att~es.cpp:3    18367.089123 | hello world\r\n" + Prefix('I') +
                          "       a.c:2    18367.089123 | bad %y format %d\r\n" + e +
                          "disk on fire\r\n" + Prefix('E') + std::string(e.size() - 11, ' ') +
                          " | really\r\n" + Prefix('W') + "Wed Mar  4 05:06:07 2026 | no user\r\n");
}

// Pieces of one severity make one message, with and without the state kept.
TEST_F(Layout, MessagesBuiltInPiecesWithAndWithoutUseOnce) {
    for (int once : {0, 1}) {
        const std::string name = once ? "once.log" : "app.log";
        ASSERT_EQ(LOG_Init((dir_ / name).c_str(), "EWIFxg"), 0);
        LOG_SetUseOnce(once);
        EXPECT_EQ(LOG_InMessage(), 0);
        EXPECT_EQ(LOG_StartMessage(16, "ber.cpp", 5, nullptr), 1);
        EXPECT_EQ(LOG_InMessage(), 1);
        LOG_AddText("a");
        EXPECT_EQ(LOG_CondAdd("%d-%s", 1, "b"), 1);
        EXPECT_EQ(LOG_StartMessage(16, "other.cpp", 9, nullptr), 1);
        LOG_AddText("c\n");
        LOG_AddText("d");
        EXPECT_EQ(LOG_StartMessage(32, "x.cpp", 1, nullptr), 1);
        LOG_AddText("second");
        LOG_EndMessage();
        EXPECT_EQ(LOG_InMessage(), 0);
        EXPECT_EQ(LOG_CondAdd("dropped"), 0);
        LOG_AddText("dropped too");
        LOG_EndMessage();
        // A suppressed severity opens nothing.
        EXPECT_EQ(LOG_StartMessage(9, "x.cpp", 1, nullptr), 0);
        EXPECT_EQ(LOG_InMessage(), 0);
        EXPECT_EQ(LOG_CondMessage(0, "x.cpp", 1, "zero") +
                      LOG_CondMessage(33, "x.cpp", 1, "too high"),
                  0);
        LOG_SetUseOnce(0);
        EXPECT_EQ(std::regex_replace(Only(name), std::regex("[^\n]*LOG_SetUseOnce[^\n]*\n"), ""),
                  Prefix('g') + "   ber.cpp:5    18367.089123 | a1-bc\r\n" + Cont('g') + "d\r\n" +
                      Prefix('x') + "     x.cpp:1    18367.089123 | second\r\n");
    }
}

TEST_F(Layout, TracesAndCatalogMessages) {
    EXPECT_EQ(LOG_CondFuncTrace("AS_Create", "as.cpp", 10, 1, "set=%d", 4), 1);
    EXPECT_EQ(LOG_CondFuncTrace("AS_Create", "as.cpp", 20, 0, nullptr), 1);
    // A user message of the application's catalog, with its arguments.
    const fs::path cat = dir_ / "nls" / "lgt4001.mdl";
    fs::create_directories(cat.parent_path());
    std::ofstream(dir_ / "nls" / "lgt.msg") << "$set 1\n101 user text %2$s and %1$d\n";
    ASSERT_EQ(
        std::system(("gencat " + cat.string() + " " + (dir_ / "nls" / "lgt.msg").string()).c_str()),
        0);
    setenv("NLSPATH", (dir_ / "nls" / "%N").c_str(), 1);
    ASSERT_EQ(MSG_UsageBegin("lgt"), 0u);
    EXPECT_EQ(LOG_CondUserMessage(2, 0x40010065, 7, "seven"), 1);
    MSG_UsageEnd();
    unsetenv("NLSPATH");

    const std::string f = Prefix('F') + "    as.cpp:";
    EXPECT_EQ(Only(), f + "10   18367.089123 | Entering AS_Create set=4\r\n" + f +
                          "20   18367.089123 | Leaving AS_Create \r\n" + Prefix('W') +
                          "Wed Mar  4 05:06:07 2026 | user text seven and 7\r\n");
}
