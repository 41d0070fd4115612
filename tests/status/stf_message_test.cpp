// Status entries rendered as text through the message catalogs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "failalloc.h"
#include "status/stf_internal.h"
#include "vrcore/msg.h"

namespace {

struct Messages : ::testing::Test {
    STF_List *list = nullptr;
    void SetUp() override {
        setenv("NLSPATH", VRCORE_BINARY_DIR "/nls/%N", 1);
        ASSERT_EQ(MSG_UsageBegin("TST"), 0u);
        list = STF_CreateList(nullptr);
        // Newest first: 0xC0050067, 0xC0010005 (2, text), errno 2.
        STF_ConvertErrno(list, 2, "open of spool");
        STF_AddStatus(list, 0xC0050067u, 0);
    }
    void TearDown() override {
        STF_DeleteList(list);
        MSG_UsageEnd();
        unsetenv("NLSPATH");
    }
    std::string Get(uint32_t index, uint32_t flags, uint32_t *rc = nullptr, uint32_t size = 256,
                    uint32_t *len = nullptr) {
        std::vector<char> buf(size + 1, 'Z');
        uint32_t l = 0, r = STF_GetMessage(list, index, flags, nullptr, size, &l, buf.data());
        if (rc) *rc = r;
        if (len) *len = l;
        EXPECT_EQ(buf[size], 'Z') << "written past the buffer";
        return size ? std::string(buf.data()) : std::string();
    }
};

struct Seen {
    std::vector<std::string> texts;
    std::vector<int32_t> positions;
    int stop_after = 0;
};

int Collect(const char *text, uint32_t length, int32_t position, void *arg) {
    auto *s = static_cast<Seen *>(arg);
    EXPECT_EQ(length, std::strlen(text) + 1);
    s->texts.push_back(text);
    s->positions.push_back(position);
    return s->stop_after && static_cast<int>(s->texts.size()) == s->stop_after ? 42 : 0;
}

const std::string kSys = "An operating-system call failed with error 2: open of spool";

} // namespace

// Headers as the flags choose; unknown flags build flags 0's message and say so.
TEST_F(Messages, HeadersAndFlags) {
    const struct {
        uint32_t index, flags;
        std::string want;
        uint32_t rc;
    } cases[] = {
        {2, 0, "-TST:STF.STF, " + kSys, 0},
        {2, STF_MSG_NO_PREFIX, "-:STF.STF, " + kSys, 0},
        {2, STF_MSG_NO_KIND | STF_MSG_NO_FACILITY, "-TST, " + kSys, 0},
        {2, 7, kSys, 0},
        {1, 0x8, "%TST:STF.FT, The document transfer failed", STF_S_BADFLAGS},
        {4, 0, "", STF_S_NOENTRY},
    };
    for (const auto &c : cases) {
        uint32_t rc = 1;
        EXPECT_EQ(Get(c.index, c.flags, &rc), c.want) << c.index << " " << c.flags;
        EXPECT_EQ(rc, c.rc) << c.index << " " << c.flags;
    }
    char b[8];
    EXPECT_EQ(STF_GetMessage(nullptr, 1, 0, nullptr, sizeof b, nullptr, b), STF_S_NULLLIST);
    // A text ending in a newline gets no second one.
    STF_ConvertErrno(STF_ClearStatus(list), 5, "line ends here\n");
    EXPECT_EQ(Get(1, 7 | STF_MSG_NEWLINE),
              "An operating-system call failed with error 5: line ends here\n");
}

// Cut to the buffer, the needed length reported; a newline counts and stays.
TEST_F(Messages, CutMessagesAndNeededLength) {
    const std::string full = "-TST:STF.STF, " + kSys;
    const uint32_t n = static_cast<uint32_t>(full.size()) + 1;
    const struct {
        uint32_t flags, size;
        std::string want;
        uint32_t rc, len;
    } cases[] = {
        {0, 1, "", STF_S_TRUNCATED, n},
        {0, 6, "-TST:", STF_S_TRUNCATED, n}, // the header alone does not fit
        {0, n, full, 0, n},
        {0, n - 1, full.substr(0, full.size() - 1), STF_S_TRUNCATED, n},
        {STF_MSG_NEWLINE, 20, full.substr(0, 18) + "\n", STF_S_TRUNCATED, n + 1},
        {STF_MSG_NEWLINE, n + 1, full + "\n", 0, n + 1},
    };
    for (const auto &c : cases) {
        uint32_t rc = 1, len = 0;
        EXPECT_EQ(Get(2, c.flags, &rc, c.size, &len), c.want) << c.size;
        EXPECT_EQ(rc, c.rc) << c.size;
        EXPECT_EQ(len, c.len) << c.size;
    }
}

// Each entry to the callback until it returns non-zero; a long one cut without memory.
TEST_F(Messages, PutMessagesWalksTheList) {
    Seen seen, stopped{{}, {}, 2}, none, cut;
    EXPECT_EQ(STF_PutMessages(list, STF_MSG_NEWLINE, nullptr, Collect, &seen), 0u);
    EXPECT_EQ(seen.positions, (std::vector<int32_t>{1, 2, -3}));
    EXPECT_EQ(seen.texts[1], "-TST:STF.STF, " + kSys + "\n");
    EXPECT_EQ(STF_PutMessages(list, 0, nullptr, Collect, &stopped), 42u);
    EXPECT_EQ(stopped.texts.size(), 2u);
    EXPECT_EQ(STF_PutMessages(nullptr, 0, nullptr, Collect, &none), STF_S_NULLLIST);

    std::string long_text(600, 'w');
    STF_ConvertErrno(STF_ClearStatus(list), 2, long_text.c_str());
    STF_AddStatus(list, 0xC0050067u, 0);
    seen = {};
    EXPECT_EQ(STF_PutMessages(list, 0, nullptr, Collect, &seen), 0u);
    ASSERT_EQ(seen.texts.size(), 3u);
    EXPECT_EQ(seen.texts[1],
              "-TST:STF.STF, An operating-system call failed with error 2: " + long_text);
    {
        vrtest::FailModule fail(vrcore::system::seam::Module::Status, -1);
        EXPECT_EQ(STF_PutMessages(list, 0, nullptr, Collect, &cut), STF_S_NOMEM);
    }
    ASSERT_EQ(cut.texts.size(), 3u);
    EXPECT_EQ(cut.texts[1].size(), 199u);
    EXPECT_EQ(cut.texts[2], "-TST:ERRNO, No such file or directory");
}
