// Message catalogs: naming, search path, cache, lookups, fallbacks, coverage of codes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "failalloc.h"
#include "messages/msg_catalog.h"
#include "scratch.h"
#include "vrcore/msg.h"

namespace fs = std::filesystem;
using namespace vrcore::messages;

namespace {

const std::string kBuiltCatalogs = std::string(VRCORE_BINARY_DIR) + "/nls";

void Gencat(const fs::path &file, const std::string &source) {
    fs::create_directories(file.parent_path());
    std::ofstream(file.string() + ".msg") << source;
    std::string cmd = "gencat '" + file.string() + "' '" + file.string() + ".msg'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

class Catalogs : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("NLSPATH", (kBuiltCatalogs + "/%N").c_str(), 1);
        ASSERT_EQ(MSG_UsageBegin("tst"), 0u);
    }
    void TearDown() override {
        MSG_UsageEnd();
        unsetenv("NLSPATH");
    }

    std::string Text(uint32_t kind, uint32_t code, uint32_t *rc = nullptr,
                     const char *loc = nullptr) {
        char buf[512];
        uint32_t len = 0;
        uint32_t r = MSG_GetUnformatted(kind, code, loc, sizeof buf, &len, buf);
        if (rc) *rc = r;
        EXPECT_EQ(len, std::strlen(buf) + 1);
        return buf;
    }
    // The OS-call failure text formatted into buf_.
    uint32_t Format(uint32_t size, std::vector<STF_ArgRecord> args, uint32_t flags = 0) {
        return MSG_GetFormattedByArray(1, 0xC0010005u, flags, nullptr, size, &len_, buf_,
                                       static_cast<uint32_t>(args.size()), args.data());
    }
    char buf_[128];
    uint32_t len_ = 0;
};

STF_ArgRecord IntArg(int v) { return {STF_ARG_INT, 4, {.i = v}}; }
STF_ArgRecord StrArg(const char *s) {
    return {STF_ARG_STRING, static_cast<uint32_t>(std::strlen(s) + 1), {.p = s}};
}

} // namespace

TEST(CatalogNames, SharedTableClassesAndTemplates) {
    const struct {
        unsigned n;
        const char *name;
    } table[] = {{0x00, "C000"},     {0x0C, "COOC"}, {0x0F, "CO0F"}, {0x13, "dpaapi"},
                 {0x8F, "CO8FC090"}, {0x90, "C091"}, {0xFE, "COFF"}, {0xFF, ""}},
      names[] = {{0xC00E, "COOE.mdl"},
                 {0x4012, "tst4012.mdl"},
                 {0x0012, "tst.mdl"},
                 {0x8001, ""},
                 {0xC1FF, ""}};
    for (const auto &t : table) EXPECT_EQ(SharedCatalogName(t.n), t.name) << t.n;
    for (const auto &t : names) EXPECT_EQ(CatalogName(uint16_t(t.n), "TsT"), t.name) << t.n;
    EXPECT_EQ(CatalogName(0x0012, ""), "");
    EXPECT_EQ(ExpandTemplate("/a/%L/%l/%t/%c/%N%x%", "C001.mdl", "de_AT.UTF-8@euro"),
              "/a/de_AT.UTF-8@euro/de/AT/UTF-8/C001.mdl%x%");
    EXPECT_EQ(ExpandTemplate("%l|%t|%c", "n", "C"), "C||");
}

TEST_F(Catalogs, TextsFormattingAndTruncation) {
    uint32_t rc = 1;
    EXPECT_TRUE(Text(1, 0xC0030073u, &rc) == "Invalid handle" && rc == 0);
    EXPECT_EQ(Text(1, 0), "No status");
    EXPECT_EQ(Text(1, 0xC00E0068u), "Not enough memory for the value");

    const std::vector<STF_ArgRecord> args = {IntArg(2), StrArg("open of spool file")};
    const std::string raw = "An operating-system call failed with error %1$d: %2$s",
                      want = "An operating-system call failed with error 2: open of spool file";
    EXPECT_EQ(Format(sizeof buf_, args), 0u);
    EXPECT_TRUE(buf_ == want && len_ == want.size() + 1);
    // One byte short: cut to size - 1, needed length out, truncation code.
    std::memset(buf_, 'Z', sizeof buf_);
    EXPECT_EQ(Format(len_ - 1, args), MSG_S_TRUNCATED);
    EXPECT_EQ(buf_ + std::to_string(len_) + buf_[want.size()],
              want.substr(0, want.size() - 1) + std::to_string(want.size() + 1) + 'Z');
    EXPECT_EQ(MSG_GetUnformatted(1, 0xC0010005u, nullptr, 0, &len_, nullptr), MSG_S_TRUNCATED);
    EXPECT_EQ(len_, raw.size() + 1);

    // Wide forms: the same text and rules in wide characters.
    wchar_t wide[128];
    EXPECT_EQ(
        MSG_GetFormattedByArrayWide(1, 0xC0010005u, 0, nullptr, 128, &len_, wide, 2, args.data()),
        0u);
    EXPECT_EQ(std::wstring(wide), std::wstring(want.begin(), want.end()));
    EXPECT_EQ(MSG_GetUnformattedWide(1, 0xC0030073u, nullptr, 8, &len_, wide), MSG_S_TRUNCATED);
    EXPECT_TRUE(std::wstring(wide) == L"Invalid" && len_ == 15u);

    // Arguments the text cannot take leave it unformatted.
    const struct {
        std::vector<STF_ArgRecord> args;
        uint32_t code;
    } unusable[] = {{{args[1], args[0]}, MSG_S_BADARGTYPE},
                    {{args[0], args[1], args[0], args[1], args[0]}, MSG_S_TOOMANYARGS},
                    {{{7, 4, {.i = 2}}}, MSG_S_BADARGTYPE}};
    for (const auto &u : unusable) {
        EXPECT_EQ(Format(sizeof buf_, u.args), u.code);
        EXPECT_EQ(buf_, raw);
    }
    EXPECT_EQ(Format(sizeof buf_, args, 3), MSG_S_RESERVED_FORMAT);
    EXPECT_EQ(buf_, want);
}

// No catalog, or one that does not check out: the fallback text.
TEST_F(Catalogs, FallbacksAndKinds) {
    std::string good = vrtest::ReadFile(kBuiltCatalogs + "/C003.mdl");
    EXPECT_TRUE(
        CatalogBytesValid(reinterpret_cast<const unsigned char *>(good.data()), good.size()));
    vrtest::ScratchDir dir("vrmsg");
    setenv("NLSPATH", (dir.Path() + "/%N").c_str(), 1);
    vrtest::WriteFile(dir.Path() + "/C003.mdl", good.substr(0, good.size() - 1)); // no final NUL
    uint32_t rc = 0;
    EXPECT_TRUE(Text(1, 0xC0030073u, &rc) == "c=c0030073 f=C003 cs=STF" && rc == MSG_S_NOTEXT);
    STF_ArgRecord args[4] = {
        IntArg(-4), StrArg("x"), {STF_ARG_DOUBLE, 8, {.d = 2.5}}, {STF_ARG_CHAR, 1, {.c = 'q'}}};
    EXPECT_EQ(
        MSG_GetFormattedByArray(2, 0xC0090067u, 0, nullptr, sizeof buf_, &len_, buf_, 4, args),
        MSG_S_NOTEXT);
    EXPECT_STREQ(buf_, "c=c0090067 f=C009 cs=MSG a=(-4,\"x\",2.500000,q)");

    const struct {
        uint32_t kind, code;
        const char *locale, *want;
        uint32_t rc;
    } cases[] = {{3, 2, nullptr, "No such file or directory", 0},
                 {3, 99999, nullptr, "c=0001869f cs=ERRNO", MSG_S_NOTEXT},
                 {7, 5, nullptr, "c=00000005 cs=0007", MSG_S_BADKIND},
                 {3, 2, "no_SUCH.locale", "No such file or directory", MSG_S_BADLOCALE}};
    for (const auto &c : cases) {
        EXPECT_EQ(Text(c.kind, c.code, &rc, c.locale), c.want);
        EXPECT_EQ(rc, c.rc) << c.want;
    }
}

TEST_F(Catalogs, SymbolicNames) {
    // Prefix, kind and facility names with the code, from buffers of the sizes given.
    auto names = [](uint32_t kind, uint32_t code, uint32_t psize, uint32_t ksize, uint32_t flags) {
        char prefix[9] = "", kname[11] = "", fac[11] = "";
        uint32_t rc = MSG_GetSymbolicNames(kind, code, psize, prefix, ksize, kname, 11, fac, flags);
        return std::string(prefix) + "|" + kname + "|" + fac + "|" + std::to_string(rc);
    };
    EXPECT_EQ(names(1, 0xC00E0068u, 9, 11, 0), "TST|STF|GENU|0");
    EXPECT_EQ(names(3, 2, 9, 11, 0), "TST|ERRNO||0");
    EXPECT_EQ(names(9, 2, 9, 11, 1), "TST|0009||" + std::to_string(MSG_S_RESERVED_NAMES));
    EXPECT_EQ(names(1, 0xC0030001u, 2, 3, 0), "T|ST|AS|" + std::to_string(MSG_S_TRUNCATED));
    // Status 1 of a facility numbered from 1 keeps its own text.
    EXPECT_EQ(Text(1, 0xC00C0001u), "Thread operation failed");
}

TEST(CatalogUsage, BeginAndEnd) {
    EXPECT_EQ(MSG_UsageEnd(), MSG_S_USAGE);
    for (const char *bad :
         {"ab", "abcdefghi", "1abc", "ab-c", "", static_cast<const char *>(nullptr)})
        EXPECT_EQ(MSG_UsageBegin(bad), MSG_S_BADPREFIX) << (bad ? bad : "null");
    setenv("NLSPATH", (kBuiltCatalogs + "/%N").c_str(), 1); // not in use: text and usage code
    char buf[64];
    uint32_t len;
    EXPECT_EQ(MSG_GetUnformatted(1, 0xC0030073u, nullptr, sizeof buf, &len, buf), MSG_S_USAGE);
    EXPECT_STREQ(buf, "Invalid handle");
    EXPECT_EQ(MSG_UsageBegin("Abc12345"), 0u);
    EXPECT_EQ(MSG_UsageBegin("Abc"), MSG_S_USAGE);
    EXPECT_EQ(MSG_UsageEnd(), 0u);
    EXPECT_EQ(CachedCatalogs(), 0);
    unsetenv("NLSPATH");
}

// Locale catalogs through %l and %c; the ten-catalog cache drops the least recently
// used, and no thread reads a text from a catalog another one has closed.
TEST_F(Catalogs, SearchPathLocalesAndTheCache) {
    vrtest::ScratchDir dir("vrmsg");
    char name[16]; // "tst4001.mdl"..., message 101 "text <i>"
    for (int i = 1; i <= 14; ++i) {
        std::snprintf(name, sizeof name, "tst%04X.mdl", 0x4000 + i);
        Gencat(fs::path(dir.Path()) / name, "$set 2\n101 text " + std::to_string(i) + "\n");
    }
    Gencat(fs::path(dir.Path()) / "C-utf8" / "C003.mdl", "$set 2\n115 Handle not valid\n");
    setenv("NLSPATH", (dir.Path() + "/%l-%c/%N:" + dir.Path() + "/%N").c_str(), 1);
    EXPECT_EQ(Text(1, 0xC0030073u, nullptr, "C.utf8"), "Handle not valid");

    MSG_UsageEnd();
    ASSERT_EQ(MSG_UsageBegin("tst"), 0u);
    for (int i = 1; i <= 10; ++i)
        EXPECT_EQ(Text(1, (0x4000u + i) << 16 | 101), "text " + std::to_string(i));
    EXPECT_EQ(CachedCatalogs(), 10);
    Text(1, 0x40010065u); // 1 is now the most recently used; 2 the least
    EXPECT_EQ(Text(1, 0x400B0065u), "text 11");
    EXPECT_TRUE(!CatalogCached("tst4002.mdl") && CatalogCached("tst4001.mdl") &&
                CatalogCached("tst400B.mdl"));
    EXPECT_EQ(Text(1, 0x40020065u), "text 2");

    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int k = 0; k < 300; ++k) {
                int i = 1 + (k * 5 + t * 3) % 14;
                char buf[32];
                uint32_t len;
                MSG_GetUnformatted(1, (0x4000u + i) << 16 | 101, t % 2 ? "C" : nullptr, sizeof buf,
                                   &len, buf);
                wrong += buf != "text " + std::to_string(i);
            }
        });
    for (auto &th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(CachedCatalogs(), 10);
}

TEST_F(Catalogs, AllocationFailureGivesTheUnformattedTextOrAll) {
    const char *kFormatted = "An operating-system call failed with error 5: caller text";
    Text(1, 0xC0010005u); // open the catalog and learn the facility name first
    vrtest::FailModule fail(vrcore::system::seam::Module::Messages);
    long points = vrtest::SweepFailures(
        [&] {
            uint32_t rc = Format(sizeof buf_, {IntArg(5), StrArg("caller text")});
            // Out of memory: the fallback, or the text unformatted.
            EXPECT_TRUE(rc == MSG_S_NOMEM
                            ? !std::strncmp(buf_, "c=c0010005", 10) || std::strstr(buf_, "%1$d")
                            : rc == 0 && !std::strcmp(buf_, kFormatted))
                << rc << " " << buf_;
            EXPECT_EQ(len_, std::strlen(buf_) + 1);
            return rc == 0;
        },
        [] {});
    EXPECT_GE(points, 2);
}

// Every 0xC0ffnnnn literal in the module directories and public headers (named
// constants where defined) has a text in the built catalogs.
TEST_F(Catalogs, EveryCodeTheLibraryReportsHasAText) {
    const std::set<unsigned> facilities = {0x01, 0x02, 0x03, 0x05, 0x09, 0x0A,
                                           0x0C, 0x0E, 0x10, 0x14, 0x15};
    const std::set<std::string> skip_dirs = {"tests", "fuzz", "bench", "build", ".git", "examples"};
    const std::regex literal("0[xX][cC]0([0-9a-fA-F]{2})([0-9a-fA-F]{4})(?![0-9a-fA-F])");
    std::map<uint32_t, std::string> codes;
    fs::path root = VRCORE_SOURCE_DIR;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (it->is_directory() && skip_dirs.count(it->path().filename().string())) {
            it.disable_recursion_pending();
            continue;
        }
        static const std::set<std::string> sources = {".cpp", ".h", ".c", ".hpp"};
        if (!it->is_regular_file() || !sources.count(it->path().extension().string())) continue;
        std::string text = vrtest::ReadFile(it->path());
        for (std::sregex_iterator m(text.begin(), text.end(), literal), end; m != end; ++m) {
            auto code = static_cast<uint32_t>(
                std::stoul("C0" + (*m)[1].str() + (*m)[2].str(), nullptr, 16));
            if (facilities.count(code >> 16 & 0xFF))
                codes.emplace(code, fs::relative(it->path(), root).string());
        }
    }
    EXPECT_TRUE(codes.count(0xC0010005u) && codes.count(0xC0020071u)) << "the scanner works";
    for (const auto &[code, file] : codes) {
        uint32_t rc = 0;
        std::string t = Text(1, code, &rc);
        EXPECT_EQ(rc, 0u) << std::hex << "0x" << code << " (in " << file
                          << ") has no text in messages/nls/: " << t;
    }
}
