// Portable path classification and conversion.

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "failalloc.h"
#include "scratch.h"
#include "vrcore/fa.h"

namespace {

// Runs the test body with LC_CTYPE set to `name`, restoring it afterwards.
class CtypeLocale {
  public:
    explicit CtypeLocale(const char *name) {
        saved_ = std::setlocale(LC_CTYPE, nullptr);
        ok_ = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~CtypeLocale() { std::setlocale(LC_CTYPE, saved_.c_str()); }
    bool ok() const { return ok_; }

  private:
    std::string saved_;
    bool ok_;
};

int Class(const std::string &path) {
    int cls = -1;
    uint32_t rc = FA_CheckFilePath(path.c_str(), path.size() + 1, &cls);
    return rc == 0 ? cls : static_cast<int>(rc & 0xFFFF) + 1000;
}

std::string Convert(const std::string &path, bool revert = false, uint32_t *rc_out = nullptr) {
    char *out = nullptr;
    size_t len = 0;
    uint32_t rc = revert ? FA_RevertFilePath(path.c_str(), path.size() + 1, &out, &len)
                         : FA_ConvertFilePath(path.c_str(), path.size() + 1, &out, &len);
    if (rc_out) *rc_out = rc;
    if (rc != 0) return "<error>";
    std::string s(out);
    EXPECT_EQ(len, s.size() + 1);
    FA_FreeFilePath(out);
    return s;
}

// The tests of a UTF-8 code set.
class Utf8 : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(loc_.ok()); }
    CtypeLocale loc_{"C.UTF-8"};
};
using FaCheck = Utf8;
using FaConvert = Utf8;

TEST_F(FaCheck, Classes) {
    EXPECT_EQ(Class("/Tessaril/spool"), FA_PATH_ABSOLUTE);
    EXPECT_EQ(Class("C|/Tessaril"), FA_PATH_ABSOLUTE);
    EXPECT_EQ(Class(" \t C|/Tessaril"), FA_PATH_ABSOLUTE);
    EXPECT_EQ(Class("spool/jobs"), FA_PATH_RELATIVE);
    EXPECT_EQ(Class("C|spool"), FA_PATH_DRIVE_RELATIVE);
    EXPECT_EQ(Class("C|"), FA_PATH_DRIVE_RELATIVE);
    EXPECT_EQ(Class("1|/x"), FA_PATH_RELATIVE) << "a drive is a letter";
    EXPECT_EQ(Class("\xC3\xA9|/x"), FA_PATH_RELATIVE) << "not an ASCII letter";
    EXPECT_EQ(Class("C:/x"), FA_PATH_RELATIVE) << "the native form is not portable";
    EXPECT_EQ(Class("\xE3\x80\x80/x"), FA_PATH_ABSOLUTE) << "wide white space skipped";
    EXPECT_EQ(Class(" \t "), 1000 + 0x6B);
    EXPECT_EQ(Class(""), 1000 + 0x6B);
    EXPECT_EQ(Class("dir/\xC3"), 1000 + 0x6B) << "cut multibyte character";
    EXPECT_EQ(Class("dir/\xFF/x"), 1000 + 0x6B);

    int cls;
    EXPECT_EQ(FA_CheckFilePath("/x", 3, nullptr), FA_S_NORESULT);
    EXPECT_EQ(FA_CheckFilePath(nullptr, 3, &cls), FA_S_NOPATH);
    EXPECT_EQ(FA_CheckFilePath("/x", 0, &cls), FA_S_ZEROLENGTH);
}

TEST_F(FaConvert, RoundTripAndLengths) {
    EXPECT_EQ(Convert("C|/Tessaril/spool"), "C:/Tessaril/spool");
    EXPECT_EQ(Convert("C:/Tessaril/spool", true), "C|/Tessaril/spool");
    EXPECT_EQ(Convert(" d|r\xC3\xA9pertoire/\xE2\x82\xAC"), " d:r\xC3\xA9pertoire/\xE2\x82\xAC");
    EXPECT_EQ(Convert(""), "");

    // Only the given length is read; the result is always terminated.
    const char raw[] = {'C', '|', '/', 'a', 'b'};
    char *out = nullptr;
    size_t len = 0;
    ASSERT_EQ(FA_ConvertFilePath(raw, sizeof raw, &out, &len), 0u);
    EXPECT_STREQ(out, "C:/ab");
    EXPECT_EQ(len, 6u);
    FA_FreeFilePath(out);
    // A length beyond the NUL stops at the NUL.
    ASSERT_EQ(FA_ConvertFilePath("a|b\0zzz", 8, &out, &len), 0u);
    EXPECT_STREQ(out, "a:b");
    EXPECT_EQ(len, 4u);
    FA_FreeFilePath(out);

    EXPECT_EQ(FA_ConvertFilePath(nullptr, 3, &out, &len), FA_S_NOPATH);
    EXPECT_EQ(FA_ConvertFilePath("a", 0, &out, &len), FA_S_ZEROLENGTH);
    EXPECT_EQ(FA_ConvertFilePath("a", 2, nullptr, &len), FA_S_NOCONVOUT);
    EXPECT_EQ(FA_RevertFilePath("a", 2, &out, nullptr), FA_S_NOREVOUT);
}

TEST_F(FaConvert, InvalidMultibyteIsRefusedAndNothingIsReturned) {
    for (const char *bad : {"C|/\xC3", "C|/\x80x", "a\xED\xA0\x80", "\xF8\x88\x80\x80\x80"}) {
        for (bool revert : {false, true}) {
            char *out = reinterpret_cast<char *>(1);
            size_t len = 77;
            uint32_t rc = revert ? FA_RevertFilePath(bad, strlen(bad) + 1, &out, &len)
                                 : FA_ConvertFilePath(bad, strlen(bad) + 1, &out, &len);
            EXPECT_EQ(rc, FA_S_BADCHAR) << bad;
            EXPECT_EQ(out, reinterpret_cast<char *>(1));
            EXPECT_EQ(len, 77u);
        }
    }
}

TEST_F(FaConvert, AllocationFailureLeavesNothing) {
    vrtest::FailModule fail(vrcore::seam::Module::Paths);
    char *out = nullptr;
    size_t len = 0;
    long points = vrtest::SweepFailures(
        [&] {
            uint32_t rc = FA_ConvertFilePath("C|/a/b", 7, &out, &len);
            if (rc != 0) {
                EXPECT_EQ(rc, FA_S_NOMEM);
                return false;
            }
            bool ok = std::strcmp(out, "C:/a/b") == 0;
            FA_FreeFilePath(out);
            out = nullptr;
            return ok;
        },
        [&] { EXPECT_EQ(out, nullptr); });
    EXPECT_EQ(points, 1);
}

// In a double-byte code set the second byte of a character may be the byte
// of "|"; such characters pass unchanged. The locale is compiled for
// the test when the system has the tools and sources to do so.
TEST_F(FaConvert, DoubleByteCharactersAreNotSplit) {
    vrtest::ScratchDir dir("vrfa-locale");
    int built = std::system(("localedef -f BIG5 -i zh_TW " + dir.path() + "/zh_TW.BIG5 >/dev/null 2>&1").c_str());
    const char *old = std::getenv("LOCPATH");
    std::string saved = old ? old : "";
    setenv("LOCPATH", dir.path().c_str(), 1);
    bool ran = false;
    {
        CtypeLocale loc("zh_TW.BIG5");
        if (built == 0 && loc.ok()) {
            ran = true;
            // "\xA4\x7C" is one character whose second byte is that of "|".
            const std::string path = "C|/\xA4\x7C/x|y";
            EXPECT_EQ(Convert(path), "C:/\xA4\x7C/x:y");
            EXPECT_EQ(Convert("C:/\xA4\x7C/x:y", true), path);
            EXPECT_EQ(Class("\xA4\x7C/x"), FA_PATH_RELATIVE);
            EXPECT_EQ(Class("C|/\xA4"), 1000 + 0x6B) << "first byte of a pair alone";
        }
    }
    old ? setenv("LOCPATH", saved.c_str(), 1) : unsetenv("LOCPATH");
    if (!ran) GTEST_SKIP() << "no BIG5 locale can be built here";
}

} // namespace
