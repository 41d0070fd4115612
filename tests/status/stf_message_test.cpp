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
        uint32_t l = 0;
        uint32_t r = STF_GetMessage(list, index, flags, nullptr, size, &l, buf.data());
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

TEST_F(Messages, HeadersAndFlags) {
    uint32_t rc = 1;
    EXPECT_EQ(Get(1, 0, &rc), "%TST:STF.FT, The document transfer failed");
    EXPECT_EQ(rc, 0u);
    EXPECT_EQ(Get(2, 0), "-TST:STF.STF, " + kSys);
    EXPECT_EQ(Get(3, 0), "-TST:ERRNO, No such file or directory");
    EXPECT_EQ(Get(2, STF_MSG_NO_PREFIX), "-:STF.STF, " + kSys);
    EXPECT_EQ(Get(2, STF_MSG_NO_KIND | STF_MSG_NO_FACILITY), "-TST, " + kSys);
    EXPECT_EQ(Get(2, 7), kSys);
    EXPECT_EQ(Get(2, 7 | STF_MSG_NEWLINE), kSys + "\n");
    // Unknown flags: built as with flags 0, reported.
    EXPECT_EQ(Get(1, 0x8, &rc), "%TST:STF.FT, The document transfer failed");
    EXPECT_EQ(rc, STF_S_BADFLAGS);
    EXPECT_EQ(Get(0, 0, &rc), "");
    EXPECT_EQ(rc, STF_S_NOENTRY);
    EXPECT_EQ(Get(4, 0, &rc), "");
    EXPECT_EQ(rc, STF_S_NOENTRY);
    char b[8];
    EXPECT_EQ(STF_GetMessage(nullptr, 1, 0, nullptr, sizeof b, nullptr, b), STF_S_NULLLIST);
}

TEST_F(Messages, CutMessagesAndNeededLength) {
    const std::string full = "-TST:STF.STF, " + kSys;
    uint32_t rc, len;
    EXPECT_EQ(Get(2, 0, &rc, 1, &len), "");
    EXPECT_EQ(rc, STF_S_TRUNCATED);
    EXPECT_EQ(len, full.size() + 1);
    // The header alone does not fit.
    EXPECT_EQ(Get(2, 0, &rc, 6, &len), "-TST:");
    EXPECT_EQ(rc, STF_S_TRUNCATED);
    EXPECT_EQ(len, full.size() + 1);
    EXPECT_EQ(Get(2, 0, &rc, len, &len), full);
    EXPECT_EQ(rc, 0u);
    EXPECT_EQ(Get(2, 0, &rc, len - 1, &len), full.substr(0, full.size() - 1));
    EXPECT_EQ(rc, STF_S_TRUNCATED);
    // The newline counts; a cut message still ends in one.
    EXPECT_EQ(Get(2, STF_MSG_NEWLINE, &rc, 20, &len), full.substr(0, 18) + "\n");
    EXPECT_EQ(rc, STF_S_TRUNCATED);
    EXPECT_EQ(len, full.size() + 2);
    EXPECT_EQ(Get(2, STF_MSG_NEWLINE, &rc, len, &len), full + "\n");
    EXPECT_EQ(rc, 0u);
}

TEST_F(Messages, NoSecondNewline) {
    STF_ClearStatus(list);
    STF_ConvertErrno(list, 5, "line ends here\n");
    uint32_t len;
    EXPECT_EQ(Get(1, 7 | STF_MSG_NEWLINE, nullptr, 256, &len),
              "An operating-system call failed with error 5: line ends here\n");
    EXPECT_EQ(len, std::strlen("An operating-system call failed with error 5: line ends here\n") + 1);
}

TEST_F(Messages, PutMessagesWalksTheList) {
    Seen seen;
    EXPECT_EQ(STF_PutMessages(list, STF_MSG_NEWLINE, nullptr, Collect, &seen), 0u);
    EXPECT_EQ(seen.positions, (std::vector<int32_t>{1, 2, -3}));
    EXPECT_EQ(seen.texts[1], "-TST:STF.STF, " + kSys + "\n");

    Seen stopped;
    stopped.stop_after = 2;
    EXPECT_EQ(STF_PutMessages(list, 0, nullptr, Collect, &stopped), 42u);
    EXPECT_EQ(stopped.texts.size(), 2u);

    Seen none;
    STF_ClearStatus(list);
    EXPECT_EQ(STF_PutMessages(list, 0, nullptr, Collect, &none), 0u);
    EXPECT_TRUE(none.texts.empty());
    EXPECT_EQ(STF_PutMessages(nullptr, 0, nullptr, Collect, &none), STF_S_NULLLIST);
}

TEST_F(Messages, LongMessagesGetABuffer) {
    std::string long_text(600, 'w');
    STF_ClearStatus(list);
    STF_ConvertErrno(list, 2, long_text.c_str());
    STF_AddStatus(list, 0xC0050067u, 0);
    Seen seen;
    EXPECT_EQ(STF_PutMessages(list, 0, nullptr, Collect, &seen), 0u);
    ASSERT_EQ(seen.texts.size(), 3u);
    EXPECT_EQ(seen.texts[1], "-TST:STF.STF, An operating-system call failed with error 2: " + long_text);

    // Without memory for a larger buffer the message is passed on cut.
    Seen cut;
    {
        vrtest::FailModule fail(vrcore::seam::Module::Status, -1);
        EXPECT_EQ(STF_PutMessages(list, 0, nullptr, Collect, &cut), STF_S_NOMEM);
    }
    ASSERT_EQ(cut.texts.size(), 3u);
    EXPECT_EQ(cut.texts[1].size(), 199u);
    EXPECT_EQ(cut.texts[2], "-TST:ERRNO, No such file or directory");
}
