// Shared helpers of the logging tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "log_file.h"
#include "system/log_internal.h"

namespace logtest {

namespace fs = std::filesystem;

// 2026-03-04 05:06:07.089123 UTC, a Wednesday.
inline constexpr time_t kFixedSeconds = 1772600767;
inline constexpr long kFixedNanos = 89123456;
inline void FixedClock(struct timespec *ts) { *ts = {kFixedSeconds, kFixedNanos}; }

// "%c %-5d " for the calling thread.
inline std::string Prefix(char letter) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c %-5d ", letter, static_cast<int>(syscall(SYS_gettid)));
    return buf;
}

using vrtest::ReadFile;

// Files of `dir` whose names start with `stem`, sorted by name.
inline std::vector<std::string> Files(const fs::path &dir, const std::string &stem = "") {
    std::vector<std::string> out;
    for (const auto &e : fs::directory_iterator(dir)) {
        std::string n = e.path().filename().string();
        if (n.rfind(stem, 0) == 0) out.push_back(n);
    }
    std::sort(out.begin(), out.end());
    return out;
}

using vrtest::ClearLogEnv;

class LogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        ClearLogEnv();
        Reset();
    }
    void TearDown() override {
        Reset();
        _LOG__SetClock(nullptr);
        _SL__SetSink(nullptr);
        ClearLogEnv();
    }
    // Back to the settings of a fresh process, without logging anything.
    static void Reset() {
        LOG_Term();
        LOG_Init("stderr", "");
        LOG_SetUseOnce(0);
        LOG_SetLogSize(0);
        LOG_SetMaxNoOfLogs(0);
        LOG_SetEnabled(1);
        LOG_Term();
    }
    // The one log file of the family `name` in the scratch directory.
    std::string Only(const std::string &name = "app.log") {
        auto files = Files(dir_, name);
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? "" : ReadFile(dir_ / files[0]);
    }
    vrtest::ScratchDir scratch_{"vrlog"};
    fs::path dir_ = scratch_.Path();
};

} // namespace logtest
