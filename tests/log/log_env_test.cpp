// Environment overrides and their precedence over the arguments.
#include <functional>
#include <regex>

#include "log_test_util.h"

using namespace logtest;

namespace {

class Env : public LogTest {
  protected:
    // What `body` writes to standard output.
    std::string Stdout(const std::function<void()> &body) {
        ::testing::internal::CaptureStdout();
        body();
        return ::testing::internal::GetCapturedStdout();
    }
    std::string Path(const char *name) { return (dir_ / name).string(); }
    static void Setenv(std::initializer_list<std::pair<const char *, std::string>> vars) {
        for (auto &[name, value] : vars) setenv(name, value.c_str(), 1);
    }
};

} // namespace

TEST_F(Env, FilePathAndSeveritiesWinOverArguments) {
    Setenv({{"LOG_FILE_PATH", Path("env.log")}, {"LOG_SEVERITY", "x"}});
    ASSERT_EQ(LOG_Init(Path("arg.log").c_str(), "g"), 0);
    EXPECT_EQ(LOG_CondMessage(16, "a.c", 1, "suppressed"), 0);
    EXPECT_EQ(LOG_CondMessage(32, "a.c", 1, "kept"), 1);
    ASSERT_EQ(LOG_Init(Path("other.log").c_str(), "E"), 0);
    EXPECT_EQ(LOG_CondMessage(32, "a.c", 1, "kept too"), 1);
    EXPECT_EQ(Files(dir_).size(), 1u); // neither arg.log nor other.log
    std::string text = Only("env.log.");
    EXPECT_NE(text.find("| kept\r\n" + Prefix('x')), std::string::npos);
    EXPECT_NE(text.find("| kept too\r\n"), std::string::npos);

    // Forgotten by LOG_Term; empty values count as absent.
    LOG_Term();
    Setenv({{"LOG_FILE_PATH", ""}, {"LOG_SEVERITY", ""}});
    ASSERT_EQ(LOG_Init(Path("arg.log").c_str(), "g"), 0);
    EXPECT_EQ(LOG_CondMessage(16, "a.c", 1, "now"), 1);
    EXPECT_EQ(Files(dir_, "arg.log").size(), 1u);
}

TEST_F(Env, LimitsReplaceTheArguments) {
    Setenv({{"LOG_SIZE", "1"}, {"LOG_MAX_LOGS", "2"}});
    _LOG__SetClock(FixedClock);
    ASSERT_EQ(LOG_Init(Path("app.log").c_str(), "g"), 0);
    EXPECT_EQ(std::vector<long>({LOG_SetLogSize(100000), LOG_SetLogSize(0), LOG_SetMaxNoOfLogs(0)}),
              std::vector<long>({1, 1, 2}));
    for (int i = 0; i < 4; ++i) LOG_CondMessage(16, "a.c", 1, "m%d", i);
    EXPECT_EQ(Files(dir_),
              (std::vector<std::string>{"app.log.0304-050607-091", "app.log.0304-050607-092"}));
}

// No address anywhere: standard output with E, W and S; ODP_TRACE adds A, D, I and X
// over the arguments; a real LOG_FILE_PATH beats the trace switch.
TEST_F(Env, DefaultsAndTraceSwitch) {
    using Row = std::tuple<const char *, const char *, const char *>;
    const std::pair<int, const char *> sevs[] = {{1, "E"},     {2, "W"}, {6, "I"}, {5, "A"},
                                                 {7, "trace"}, {9, "S"}, {16, "g"}};
    for (auto [trace, file, want] : {Row{nullptr, nullptr, "E|W|S|"},
                                     Row{"1", nullptr, "E|W|I|A|S|"}, Row{"1", "env.log", ""}}) {
        LOG_Term();
        trace ? setenv("ODP_TRACE", trace, 1) : unsetenv("ODP_TRACE");
        if (file) setenv("LOG_FILE_PATH", Path(file).c_str(), 1);
        const bool traced = trace != nullptr;
        std::string out = Stdout([&] {
            if (traced) LOG_Init(Path("arg.log").c_str(), "g");
            for (auto [s, text] : sevs) LOG_CondMessage(s, "a.c", 1, "%s", text);
        });
        EXPECT_EQ(std::regex_replace(out, std::regex("[^\n]*\\| ([^\r]*)\r\n"), "$1|"), want)
            << out;
        EXPECT_TRUE(Files(dir_, "arg.log").empty());
    }
    EXPECT_EQ(Files(dir_, "env.log").size(), 1u);
}
