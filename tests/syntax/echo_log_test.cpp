// The exported renderers write into the thread's open log message, here
// a log file read back after the message ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "scratch.h"
#include "syntax/render.h"
#include "valuegen.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace {

using namespace vrtest;

// A log file in a directory of its own; Text() gives what was written
// after each line's " | " column, newlines as "\n".
class LogFile {
  public:
    LogFile() {
        for (const char *v : {"LOG_FILE_PATH", "LOG_SEVERITY", "LOG_SIZE", "LOG_MAX_LOGS", "LOG_ENABLED", "ODP_TRACE"})
            unsetenv(v);
        LOG_Term();
        LOG_Init((dir_.path() + "/trace").c_str(), "EWADXIF");
    }
    ~LogFile() { LOG_Term(); }
    std::string Text() const {
        std::string out, line;
        for (const auto &file : std::filesystem::directory_iterator(dir_.path())) {
            std::istringstream in(ReadFile(file.path()));
            while (std::getline(in, line)) {
                if (line.ends_with('\r')) line.pop_back();
                size_t bar = line.find(" | ");
                out += (bar == std::string::npos ? line : line.substr(bar + 3)) + "\n";
            }
        }
        return out;
    }

  private:
    ScratchDir dir_{"vrrender"};
};

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

    std::string n900 = vrsyn::OidName(900), n901 = vrsyn::OidName(901), n902 = vrsyn::OidName(902);
    EXPECT_EQ(log.Text(), "set:\n\t\t" + n900 + " (delta time)  \n\t\t\t01:01 (61)\n" +
                              "\t\t\t01:00:00 (3600)\n\t\t" + n901 + " (text) SetDefault\n\t\t\t" +
                              std::string(60, 'c') + "\n\t\t" + n902 + " (integer)  \n\t\t\tno values\n" +
                              "\t\tno attributes\n\tNULL value\n\tunknown value type\n" + n900 + "\n");
    AS_Destroy(st, &set);
    AS_Destroy(st, &empty);
}

TEST(EchoLog, NothingIsWrittenWithoutAnOpenMessage) {
    LogFile log;
    StatusList st;
    GEN_Text t = Txt(1, "never");
    AS_SetHandle bogus = reinterpret_cast<AS_SetHandle>(16);
    EXPECT_EQ(GEN_EchoAS(st, bogus), 0); // not even looked at
    EXPECT_EQ(GEN_EchoText(st, &t), 0);
    EXPECT_EQ(_GENU_EchoAttrValue(st, "", &t, 28), 0);
    ASSERT_EQ(LOG_StartMessage(9, "render", 1, nullptr), 0); // severity not enabled
    EXPECT_EQ(GEN_EchoText(st, &t), 0);
    LOG_EndMessage();
    LOG_CondMessage(6, "render", 2, "marker\n");
    EXPECT_EQ(log.Text(), "marker\n");
    EXPECT_EQ(GEN_EchoText(nullptr, &t), 1);
}

TEST(EchoLog, FailuresAddToTheCallersList) {
    LogFile log;
    StatusList st;
    STF_AddStatus(st, 0xC0090067u, 0); // what the caller was reporting
    AS_SetHandle set = nullptr;
    ASSERT_EQ(AS_Create(StatusList(), &set, nullptr, 0), 0);
    AS_SetHandle stale = set;
    ASSERT_EQ(AS_Destroy(StatusList(), &set), 0);
    ASSERT_EQ(LOG_StartMessage(6, "render", 1, nullptr), 1);
    EXPECT_EQ(GEN_EchoAS(st, stale), 1);
    GEN_Text bad{};
    bad.kind = 7;
    EXPECT_EQ(GEN_EchoText(st, &bad), 1);
    LOG_EndMessage();
    ASSERT_GE(st.codes().size(), 2u);
    EXPECT_EQ(st.codes()[1], 0xC0090067u); // kept, below the set's code
    EXPECT_EQ(log.Text(), "unknown simple name choice\n");
}

} // namespace
