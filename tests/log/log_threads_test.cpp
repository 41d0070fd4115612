// Concurrent writers and the system-log destination.
#include <syslog.h>

#include <mutex>
#include <thread>

#include "log_test_util.h"

using namespace logtest;

namespace {

using Lines = std::vector<std::string>;

Lines SplitLines(const std::string &text) {
    Lines out;
    size_t pos = 0;
    for (size_t end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        out.push_back(text.substr(pos, end - pos));
    EXPECT_EQ(pos, text.size()) << "line without CR LF";
    return out;
}

// Messages "T<t> M<m> L0..L2", every third with a second line spanning text chunks;
// checks each arrives whole and in order per thread; returns how many arrived.
const std::string pad(1500, 'p');
int CheckMessages(const Lines &lines, std::vector<int> &next) {
    int count = 0;
    for (size_t i = 0; i < lines.size(); i += 3) {
        int t = -1, m = -1;
        size_t bar = lines[i].find(" | ");
        if (i + 2 >= lines.size() || bar == std::string::npos ||
            std::sscanf(lines[i].c_str() + bar, " | T%d M%d L0", &t, &m) != 2 || t < 0 ||
            t >= int(next.size())) {
            ADD_FAILURE() << "message cut, or not a first line: " << lines[i];
            break;
        }
        EXPECT_EQ(m, next[t]) << "thread " << t;
        next[t] = m + 1;
        for (int l = 1; l < 3; ++l) {
            std::string want =
                " | T" + std::to_string(t) + " M" + std::to_string(m) + " L" + std::to_string(l);
            EXPECT_EQ(lines[i + l].substr(0, 8), lines[i].substr(0, 8));
            EXPECT_EQ(lines[i + l].substr(lines[i + l].find(" | ")),
                      want + (l == 1 && m % 3 == 0 ? " " + pad : ""));
        }
        ++count;
    }
    return count;
}

void Writers(int threads, int messages) {
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([t, messages] {
            for (int m = 0; m < messages; ++m) {
                const char *p = m % 3 == 0 ? pad.c_str() : "";
                if (m % 2) {
                    const char *f = "T%d M%d L0\nT%d M%d L1%s%s\nT%d M%d L2";
                    LOG_CondMessage(16, "w.c", t, f, t, m, t, m, *p ? " " : "", p, t, m);
                    continue;
                }
                LOG_StartMessage(16, "w.c", t, nullptr); // built in pieces
                for (int l = 0; l < 3; ++l) {
                    LOG_CondAdd("T%d M%d L%d", t, m, l);
                    if (l == 1 && *p) LOG_CondAdd(" %s", p);
                    if (l < 2) LOG_AddText("\n");
                }
                LOG_EndMessage();
            }
        });
    for (auto &th : pool) th.join();
}

std::mutex g_captured_mutex;
std::vector<std::pair<int, std::string>> g_captured;
void Capture(int priority, const char *text) {
    std::lock_guard<std::mutex> g(g_captured_mutex);
    g_captured.emplace_back(priority, text);
}

} // namespace

class Concurrent : public LogTest {};

// In one file with the state kept, and across files of at most 8000 bytes without.
TEST_F(Concurrent, MultiLineMessagesArriveWholeAcrossRotation) {
    for (bool rotate : {false, true}) {
        SCOPED_TRACE(rotate);
        ASSERT_EQ(LOG_Init((dir_ / (rotate ? "rot.log" : "app.log")).c_str(), "g"), 0);
        LOG_SetLogSize(rotate ? 8000 : 0);
        LOG_SetUseOnce(rotate);
        const int kThreads = rotate ? 4 : 8, kMessages = rotate ? 150 : 300;
        Writers(kThreads, kMessages);
        auto files = Files(dir_, rotate ? "rot.log" : "app.log");
        EXPECT_GT(files.size(), rotate ? 10u : 0u);
        std::vector<int> next(kThreads, 0);
        int total = 0;
        for (const auto &f : files) {
            std::string text = ReadFile(dir_ / f);
            EXPECT_LE(text.size(), rotate ? 8000u : text.size()) << f;
            total += CheckMessages(SplitLines(text), next);
        }
        EXPECT_EQ(total, kThreads * kMessages);
    }
}

TEST_F(Concurrent, SystemLogPrioritiesAndText) {
    g_captured.clear();
    _SL__SetSink(Capture);
    ASSERT_EQ(LOG_Syslog("EWADXIFMSx", "a-rather-long-program-name", LOG_PID, LOG_USER), 0);
    for (int s = 1; s <= 9; ++s) LOG_CondMessage(s, "a.c", s, "sev %d", s);
    LOG_CondMessage(32, "a.c", 32, "two\nlines\n");
    const std::string id = "a-rather-long-pr: ";
    ASSERT_EQ(g_captured.size(), 10u);
    std::vector<int> priorities;
    for (auto &c : g_captured) priorities.push_back(c.first);
    EXPECT_EQ(priorities, (std::vector<int>{51, 52, 54, 54, 55, 55, 55, 55, 55, 55}));
    // No wall clock or elapsed time: the system log has its own.
    EXPECT_EQ(g_captured[0].second, id + Prefix('E') + " | sev 1");
    EXPECT_EQ(g_captured[5].second, id + Prefix('I') + "       a.c:6     | sev 6");
    EXPECT_EQ(g_captured[9].second, id + Prefix('x') + "       a.c:32    | two\n" + Prefix('x') +
                                        std::string(16, ' ') + " | lines");

    // Levels filtered by the mask; the text is cut at 1024 bytes in all.
    g_captured.clear();
    EXPECT_EQ(SL_setlogmask(0x7f), 0xff); // no debug level
    EXPECT_EQ(SL_setlogmask(0), 0x7f);
    LOG_CondMessage(6, "a.c", 1, "dropped");
    LOG_CondMessage(1, "a.c", 1, "%s", std::string(3000, 'z').c_str());
    SL_setlogmask(0xff);
    SL_syslog(LOG_LPR | LOG_ERR, "direct %d", 5);
    ASSERT_EQ(g_captured.size(), 2u);
    EXPECT_EQ(std::pair(g_captured[0].first, g_captured[0].second.size()),
              std::pair(51, size_t{1023}));
    EXPECT_EQ(g_captured[1].second, id + "direct 5");

    // A new identity takes effect when the destination is set again.
    LOG_Syslog(nullptr, "tsl", 0, LOG_USER);
    LOG_CondMessage(2, "a.c", 1, "w");
    EXPECT_EQ(g_captured.back().second, "tsl: " + Prefix('W') + " | w");
}
