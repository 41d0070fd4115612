// Portable path classification and conversion.

#include <clocale>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "failalloc.h"
#include "scratch.h"
#include "vrcore/fa.h"

namespace {

// LC_CTYPE set to `name` while it lives.
struct CtypeLocale {
    explicit CtypeLocale(const char *name) : ok(std::setlocale(LC_CTYPE, name) != nullptr) {}
    ~CtypeLocale() { std::setlocale(LC_CTYPE, saved.c_str()); }
    std::string saved = std::setlocale(LC_CTYPE, nullptr);
    bool ok;
};

// The class of a path, or 1000 + the low part of the status.
int Class(const std::string &path) {
    int cls = -1;
    uint32_t rc = FA_CheckFilePath(path.c_str(), path.size() + 1, &cls);
    return rc == 0 ? cls : static_cast<int>(rc & 0xFFFF) + 1000;
}

// The converted (or reverted) path; the length given back counts the NUL.
std::string Convert(const std::string &path, bool revert = false) {
    char *out = nullptr;
    size_t len = 0;
    if ((revert ? FA_RevertFilePath : FA_ConvertFilePath)(path.c_str(), path.size() + 1, &out,
                                                          &len) != 0)
        return "<error>";
    std::string s(out);
    EXPECT_EQ(len, s.size() + 1);
    FA_FreeFilePath(out);
    return s;
}

// The tests of a UTF-8 code set.
struct Fa : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(loc_.ok); }
    CtypeLocale loc_{"C.UTF-8"};
};

TEST_F(Fa, Classes) {
    // A drive is an ASCII letter; the native form is not portable; wide white
    // space is skipped; a cut or invalid multibyte character is refused.
    constexpr int kAbs = FA_PATH_ABSOLUTE, kRel = FA_PATH_RELATIVE, kDrive = FA_PATH_DRIVE_RELATIVE,
                  kBad = 1000 + 0x6B;
    for (auto [path, cls] : {std::pair{"/Tessaril/spool", kAbs},
                             {"C|/Tessaril", kAbs},
                             {" \t C|/Tessaril", kAbs},
                             {"spool/jobs", kRel},
                             {"C|spool", kDrive},
                             {"C|", kDrive},
                             {"1|/x", kRel},
                             {"\xC3\xA9|/x", kRel},
                             {"C:/x", kRel},
                             {"\xE3\x80\x80/x", kAbs},
                             {" \t ", kBad},
                             {"", kBad},
                             {"dir/\xC3", kBad}})
        EXPECT_EQ(Class(path), cls) << path;
}

TEST_F(Fa, RoundTripAndLengths) {
    EXPECT_EQ(Convert("C|/Tessaril/spool"), "C:/Tessaril/spool");
    EXPECT_EQ(Convert("C:/Tessaril/spool", true), "C|/Tessaril/spool");
    // Invalid multibyte text is refused and nothing is given back.
    for (bool revert : {false, true}) {
        char *out = reinterpret_cast<char *>(1);
        size_t len = 77;
        EXPECT_EQ((revert ? FA_RevertFilePath : FA_ConvertFilePath)("C|/\xC3", 5, &out, &len),
                  FA_S_BADCHAR);
        EXPECT_TRUE(out == reinterpret_cast<char *>(1) && len == 77u);
    }
    char *out = nullptr;
    size_t len = 0;
    int cls;
    EXPECT_EQ(FA_CheckFilePath("/x", 3, nullptr), FA_S_NORESULT);
    EXPECT_EQ(FA_CheckFilePath(nullptr, 3, &cls), FA_S_NOPATH);
    EXPECT_EQ(FA_CheckFilePath("/x", 0, &cls), FA_S_ZEROLENGTH);
    EXPECT_EQ(FA_ConvertFilePath(nullptr, 3, &out, &len), FA_S_NOPATH);
    EXPECT_EQ(FA_ConvertFilePath("a", 0, &out, &len), FA_S_ZEROLENGTH);
    EXPECT_EQ(FA_ConvertFilePath("a", 2, nullptr, &len), FA_S_NOCONVOUT);
    EXPECT_EQ(FA_RevertFilePath("a", 2, &out, nullptr), FA_S_NOREVOUT);
}

TEST_F(Fa, AllocationFailureLeavesNothing) {
    vrtest::FailModule fail(vrcore::system::seam::Module::Paths);
    char *out = nullptr;
    size_t len = 0;
    long points = vrtest::SweepFailures(
        [&] {
            uint32_t rc = FA_ConvertFilePath("C|/a/b", 7, &out, &len);
            EXPECT_TRUE(rc == 0 || rc == FA_S_NOMEM) << rc;
            bool ok = rc == 0 && std::strcmp(out, "C:/a/b") == 0;
            if (rc == 0) FA_FreeFilePath(out), out = nullptr;
            return ok;
        },
        [&] { EXPECT_EQ(out, nullptr); });
    EXPECT_EQ(points, 1);
}

// A double-byte character whose second byte is that of "|" passes unchanged (the
// locale is compiled for the test where the system can).
TEST_F(Fa, DoubleByteCharactersAreNotSplit) {
    vrtest::ScratchDir dir("vrfa-locale");
    int built = std::system(
        ("localedef -f BIG5 -i zh_TW " + dir.Path() + "/zh_TW.BIG5 >/dev/null 2>&1").c_str());
    const char *old = std::getenv("LOCPATH");
    std::string saved = old ? old : "";
    setenv("LOCPATH", dir.Path().c_str(), 1);
    bool ran = false;
    if (CtypeLocale loc("zh_TW.BIG5"); (ran = built == 0 && loc.ok)) {
        // "\xA4\x7C" is one character whose second byte is that of "|".
        EXPECT_EQ(Convert("C|/\xA4\x7C/x|y"), "C:/\xA4\x7C/x:y");
        EXPECT_EQ(Convert("C:/\xA4\x7C/x:y", true), "C|/\xA4\x7C/x|y");
        EXPECT_EQ(Class("\xA4\x7C/x"), FA_PATH_RELATIVE);
        EXPECT_EQ(Class("C|/\xA4"), 1000 + 0x6B) << "first byte of a pair alone";
    }
    old ? setenv("LOCPATH", saved.c_str(), 1) : unsetenv("LOCPATH");
    if (!ran) GTEST_SKIP() << "no BIG5 locale can be built here";
}

} // namespace
