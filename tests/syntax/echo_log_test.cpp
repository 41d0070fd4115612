// The exported renderers write into the thread's open log message, here
// a log file read back after the message ends.
#include <gtest/gtest.h>
#include <dirent.h>
#include <stdlib.h>

#include <cstring>
#include <sstream>
#include <string>

#include "scratch.h"
#include "syntax/render.h"
#include "valuegen.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace {

using vrtest::Irv;
using vrtest::StatusList;

// A log file in a directory of its own; Text() gives what was written
// after each line's " | " column, newlines as "\n".
class LogFile {
  public:
    LogFile() {
        for (const char *v : {"LOG_FILE_PATH", "LOG_SEVERITY", "LOG_SIZE", "LOG_MAX_LOGS",
                              "LOG_ENABLED", "ODP_TRACE"})
            unsetenv(v);
        LOG_Term();
        LOG_Init((dir_.path() + "/trace").c_str(), "EWADXIF");
    }
    ~LogFile() { LOG_Term(); }
    std::string Text() const {
        std::string out;
        DIR *d = opendir(dir_.path().c_str());
        while (dirent *e = d ? readdir(d) : nullptr) {
            if (e->d_name[0] == '.') continue;
            std::istringstream in(vrtest::ReadFile(dir_.path() + "/" + e->d_name));
            std::string line;
            while (std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                size_t bar = line.find(" | ");
                out += (bar == std::string::npos ? line : line.substr(bar + 3)) + "\n";
            }
        }
        if (d) closedir(d);
        return out;
    }

  private:
    vrtest::ScratchDir dir_{"vrrender"};
};

TEST(EchoLog, SetAndValuesGoIntoTheOpenMessage) {
    LogFile log;
    StatusList st;
    AS_SetHandle set = nullptr, empty = nullptr;
    ASSERT_EQ(AS_Create(st, &set, nullptr, 0), 0);
    ASSERT_EQ(AS_Create(st, &empty, nullptr, 0), 0);
    uint32_t seconds = 61;
    std::string long_text(80, 'c');
    GEN_Text comment = Irv(long_text.c_str());
    uint32_t hour = 3600;
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
    GEN_Text t = Irv("never");
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
    STF_ObjectInfo info;
    ASSERT_EQ(STF_GetObjectInfo(st, 2, &info), 0);
    EXPECT_EQ(info.code, 0xC0090067u); // kept, below the set's code
    EXPECT_NE(st.code(), 0xC0090067u);
    EXPECT_EQ(log.Text(), "unknown simple name choice\n");
}

} // namespace
