// Log file families: rotation, trimming, failures.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "failalloc.h"
#include "log_test_util.h"

using namespace logtest;

namespace {

class LogFiles : public LogTest {
  protected:
    void SetUp() override {
        LogTest::SetUp();
        _LOG__SetClock(FixedClock); // every file gets the same time stamp
    }
    // One message of severity g; all have the same length.
    static void Message(int i) { LOG_CondMessage(16, "a.c", 1, "message %03d", i); }
    static std::string Line(int i) {
        const char *zeros = i < 10 ? "00" : "0";
        return Prefix('g') + "       a.c:1    18367.089123 | message " + zeros + std::to_string(i) +
               "\r\n";
    }
    void Touch(const std::string &name, time_t mtime) {
        std::ofstream(dir_ / name) << "old";
        struct timespec t[2] = {{mtime, 0}, {mtime, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (dir_ / name).c_str(), t, 0), 0);
    }
};

} // namespace

TEST_F(LogFiles, RotationBySizeStartsNewFilesAndKeepsTheNewest) {
    const std::string base = (dir_ / "app.log").string();
    ASSERT_EQ(LOG_Init(base.c_str(), "g"), 0);
    const int len = static_cast<int>(Line(0).size());
    LOG_SetLogSize(3 * len + 5);
    for (int i = 0; i < 10; ++i) Message(i);
    // Begun within one millisecond, the files take consecutive ones.
    EXPECT_EQ(Files(dir_),
              (std::vector<std::string>{"app.log.0304-050607-089", "app.log.0304-050607-090",
                                        "app.log.0304-050607-091", "app.log.0304-050607-092"}));
    for (int f = 0; f < 4; ++f)
        EXPECT_EQ(ReadFile(dir_ / Files(dir_)[f]),
                  Line(3 * f) + (f < 3 ? Line(3 * f + 1) + Line(3 * f + 2) : ""))
            << f;

    // A message larger than the limit gets a file of its own, whole.
    std::string big(4 * len, 'x');
    LOG_CondMessage(16, "a.c", 1, "%s", big.c_str());
    Message(10);
    auto files = Files(dir_);
    ASSERT_EQ(files.size(), 6u);
    EXPECT_NE(ReadFile(dir_ / files[4]).find(big + "\r\n"), std::string::npos);
    EXPECT_EQ(ReadFile(dir_ / files[5]), Line(10));

    // Lowering the number of logs trims at once, oldest first.
    LOG_SetMaxNoOfLogs(2);
    EXPECT_EQ(Files(dir_),
              (std::vector<std::string>{"app.log.0304-050607-093", "app.log.0304-050607-094"}));
    // Names stay in order even when older names have become free again.
    for (int i = 11; i < 15; ++i) Message(i);
    EXPECT_EQ(Files(dir_),
              (std::vector<std::string>{"app.log.0304-050607-094", "app.log.0304-050607-095"}));
    EXPECT_EQ(ReadFile(dir_ / "app.log.0304-050607-095"), Line(13) + Line(14));
}

TEST_F(LogFiles, TrimmingDeletesOnlyTheOldestOfTheFamily) {
    const time_t t0 = kFixedSeconds - 1000;
    Touch("app.log.0101-000000-000", t0);
    Touch("app.log.1231-235959-999", t0); // same second, the year before
    Touch("app.log.0301-000000-000", t0 + 10);
    const std::vector<std::string> strangers = {"app.log", "app.log.bak", "app.log.0304-056007-089",
                                                "app.log.0304-050607-08",
                                                "app.logs.0101-000000-000"};
    for (const auto &s : strangers) Touch(s, t0 - 5000);

    ASSERT_EQ(LOG_Init((dir_ / "app.log").c_str(), "g"), 0);
    LOG_SetMaxNoOfLogs(3);
    Message(1);
    auto with_strangers = [&](std::vector<std::string> v) {
        v.insert(v.end(), strangers.begin(), strangers.end());
        return std::sort(v.begin(), v.end()), v;
    };
    // The one of the year before goes; then all but the file being written.
    EXPECT_EQ(Files(dir_), with_strangers({"app.log.0101-000000-000", "app.log.0301-000000-000",
                                           "app.log.0304-050607-089"}));
    LOG_SetMaxNoOfLogs(1);
    EXPECT_EQ(Files(dir_), with_strangers({"app.log.0304-050607-089"}));
    for (auto [t1, n1, t2, n2, older] :
         {std::tuple{5, "1231-235959-999", 6, "0101-000000-000", true},
          {6, "0101-000000-000", 6, "1231-235959-999", false},
          {7, "0304-050607-089", 6, "0304-050607-090", false}})
        EXPECT_EQ(vrcore::log::OlderLog(t1, n1, t2, n2), older) << n1 << " " << n2;
}

TEST_F(LogFiles, UnopenableFileDropsTheMessageAndRetries) {
    ASSERT_EQ(LOG_Init((dir_ / "later" / "app.log").c_str(), "g"), 0);
    Message(1); // no directory yet: dropped
    EXPECT_FALSE(fs::exists(dir_ / "later"));
    fs::create_directories(dir_ / "later");
    Message(2);
    auto files = Files(dir_ / "later");
    ASSERT_EQ(files.size(), 1u);
    // Another destination that cannot be opened: a path through a file.
    ASSERT_EQ(LOG_Init((dir_ / "later" / files[0] / "x").c_str(), "g"), 0);
    Message(3);
    EXPECT_EQ(ReadFile(dir_ / "later" / files[0]), Line(2));
}

TEST_F(LogFiles, FullDiskLeavesNoPartialMessage) {
    // A file size limit makes writes fail as on a full disk.
    ASSERT_EQ(LOG_Init((dir_ / "app.log").c_str(), "g"), 0);
    Message(1);
    struct rlimit old, tight;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto *old_handler = signal(SIGXFSZ, SIG_IGN);
    tight = {Line(1).size() + 10, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    Message(2);
    LOG_CondMessage(16, "a.c", 1, "%s", std::string(5000, 'y').c_str());
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    signal(SIGXFSZ, old_handler);
    Message(3);
    EXPECT_EQ(Only(), Line(1) + Line(3));
}

TEST_F(LogFiles, AllocationFailureDropsTheWholeMessage) {
    ASSERT_EQ(LOG_Init((dir_ / "app.log").c_str(), "g"), 0);
    LOG_SetUseOnce(1);
    Message(0); // the file exists, the thread's state is gone
    const auto file = dir_ / Files(dir_)[0];
    vrtest::FailModule fail(vrcore::system::seam::Module::Log);
    // Longer than the formatting buffer and than several text chunks.
    std::string text;
    for (int i = 0; i < 300; ++i) text += "word " + std::to_string(i) + (i % 20 ? "" : "\n");
    std::string before;
    long points = vrtest::SweepFailures(
        [&] {
            before = ReadFile(file);
            return LOG_CondMessage(16, "a.c", 1, "%s", text.c_str()) == 1 &&
                   ReadFile(file).size() > before.size();
        },
        [&] { EXPECT_EQ(ReadFile(file), before); });
    EXPECT_GE(points, 4);
    EXPECT_EQ(vrtest::FailAlloc::Live(), 0);
}
