// The formatter against the C library, its extensions and its strictness.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "messages/msg_format.h"
#include "vrcore/msg.h"

namespace {

// Calls with a format held in a variable so the compiler does not check it.
int Fmt(char *buf, size_t size, const char *f, ...) {
    va_list ap;
    va_start(ap, f);
    int n = MSG_vsnprintf(buf, size, f, ap);
    va_end(ap);
    return n;
}

// The differential test's fixed arguments; formats use them with matching conversions.
struct Args {
    int i0, i1, c;
    long l;
    long long ll;
    double d, d2;
    const char *s;
    void *p;
    long double ld;
};

enum Kind { kInt, kLong, kLLong, kDouble, kStr, kChar, kPtr, kLDouble };
constexpr Kind kKinds[10] = {kInt, kInt,  kLong, kLLong,   kDouble,
                             kStr, kChar, kPtr,  kLDouble, kDouble};

class Generator {
  public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    int Pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
    template <class T, size_t N> T Of(const T (&choices)[N]) { return choices[Pick(int(N))]; }

    // Specials, halfway cases, any finite bits, or a moderate number.
    double Double() {
        static const double special[] = {
            0.0,  -0.0, INFINITY, -INFINITY, NAN,     1e308,      4.9e-324, 1.0,
            0.5,  1.5,  2.5,      0.125,     0.375,   2.675,      999999.5, 9.9999996,
            1e15, 1e16, 1e22,     0.05,      -1e-300, 123456.789, -2.5e-7,  9.999999e22};
        uint64_t bits = rng_();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (Pick(4) == 0 && std::isfinite(d)) return d;
        return Pick(3) == 0 ? Of(special)
                            : std::uniform_real_distribution<double>(-10, 10)(rng_) *
                                  std::pow(10.0, Pick(40) - 20);
    }

    long long Integer() {
        static const long long special[] = {0,         1,         -1,  INT_MAX, INT_MIN,
                                            LLONG_MAX, LLONG_MIN, 255, 65535,   -32768};
        return Pick(3) == 0 ? Of(special) : static_cast<long long>(rng_()) >> Pick(63);
    }

    void Fill(Args &a) {
        static const char *strings[] = {"",          "x",     "hello world",
                                        "tab\there", nullptr, "\xc3\xa9t\xc3\xa9"};
        // The two ints double as '*' widths and precisions: keep them small.
        a = {Pick(41) - 20,
             Pick(41) - 20,
             32 + Pick(95),
             static_cast<long>(Integer()),
             Integer(),
             Double(),
             Double(),
             Of(strings),
             Pick(4) == 0 ? nullptr : reinterpret_cast<void *>(static_cast<uintptr_t>(rng_()) | 1),
             static_cast<long double>(Double()) * (Pick(2) ? 1e300L : 1.0L)};
    }

    std::string Conversion(Kind k, const std::string &pos, const std::string &width_star,
                           const std::string &prec_star) {
        std::string f = std::string("%") + pos, flags;
        for (const char *q = k == kStr || k == kChar || k == kPtr ? "-0" : "-+ #0"; *q; ++q)
            if (Pick(4) == 0) flags += *q;
        if (k == kPtr && Pick(3) == 0) flags += Pick(2) ? "+" : " ";
        // The C library pads a number on the right with zeros when a star
        // width is negative and '0' is given; that quirk is not copied.
        if (!width_star.empty()) std::erase(flags, '0');
        f += flags + (!width_star.empty() ? width_star : Pick(2) ? std::to_string(Pick(25)) : "");
        if (k != kChar && !prec_star.empty())
            f += std::string(".") + prec_star;
        else if (k != kChar && Pick(3) == 0)
            f += std::string(".") + (Pick(4) ? std::to_string(Pick(20)) : "");
        static const char *ints[] = {"d", "i", "o", "u", "x", "X"};
        static const char *floats[] = {"e", "E", "f", "F", "g", "G", "a", "A"};
        static const char *shorts[] = {"", "", "h", "hh"}, *longs[] = {"l", "z"};
        switch (k) {
        case kInt: return f + Of(shorts) + Of(ints);
        case kLong: return f + Of(longs) + Of(ints);
        case kLLong: return f + "ll" + Of(ints);
        case kDouble: return f + Of(floats);
        case kLDouble: return f + "L" + Of(floats);
        case kStr: return f + "s";
        case kChar: return f + "c";
        case kPtr: return f + "p";
        }
        return f;
    }

    std::string Literal() {
        static const char *lit[] = {"", " ", "abc", "%%", "[", "] ", "\xc3\xa9", "\t"};
        return Of(lit);
    }

    // Positions 1..m each at least once, in random order, stars from the int positions.
    std::string Positional() {
        int m = 1 + Pick(10);
        std::vector<int> order;
        for (int i = 1; i <= m; ++i) order.push_back(i);
        for (int extra = Pick(3); extra > 0; --extra) order.push_back(1 + Pick(m));
        std::shuffle(order.begin(), order.end(), rng_);
        auto star = [&] {
            return std::string("*").append(std::to_string(1 + Pick(m < 2 ? 1 : 2))).append("$");
        };
        std::string f = Literal();
        for (int pos : order) {
            std::string ws = Pick(5) == 0 ? star() : "", ps = Pick(6) == 0 ? star() : "";
            f += Conversion(kKinds[pos - 1], std::to_string(pos).append("$"), ws, ps) + Literal();
        }
        return f;
    }

    // Consumes positions in order; sometimes the two ints are a star width
    // and precision of the long that follows them.
    std::string Sequential() {
        int m = 1 + Pick(10), pos = 1;
        std::string f = Literal();
        if (m >= 3 && Pick(3) == 0) f += Conversion(kLong, "", "*", "*") + Literal(), pos = 4;
        for (; pos <= m; ++pos) f += Conversion(kKinds[pos - 1], "", "", "") + Literal();
        return f;
    }

  private:
    std::mt19937_64 rng_;
};

} // namespace

TEST(Formatter, AgreesWithTheCLibraryOnGeneratedFormats) {
    Generator g(20261206);
    char mine[256], theirs[256];
    // Floats round the exact binary value, halfway cases to even, in either
    // rounding mode.
    for (int iter = 0; iter < 12000; ++iter) {
        std::fesetround(iter % 4 == 3 ? FE_UPWARD : FE_TONEAREST);
        Args a;
        g.Fill(a);
        std::string f = iter % 2 ? g.Positional() : g.Sequential();
        size_t size = g.Pick(5) == 0 ? static_cast<size_t>(g.Pick(40)) : sizeof mine;
        std::memset(mine, 'Z', sizeof mine);
        std::memset(theirs, 'Z', sizeof theirs);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        int want = std::snprintf(theirs, size, f.c_str(), a.i0, a.i1, a.l, a.ll, a.d, a.s, a.c, a.p,
                                 a.ld, a.d2);
#pragma GCC diagnostic pop
        int got = Fmt(mine, size, f.c_str(), a.i0, a.i1, a.l, a.ll, a.d, a.s, a.c, a.p, a.ld, a.d2);
        ASSERT_EQ(got, want) << "format " << f;
        ASSERT_EQ(0, std::memcmp(mine, theirs, sizeof mine))
            << f << "\nmine:   " << mine << "\ntheirs: " << theirs;
    }
    std::fesetround(FE_TONEAREST);
}

// Malformed formats in general are the fuzz target's. Unnumbered conversions follow
// the highest numbered argument.
TEST(Formatter, InvalidFormatsAndMixedPositions) {
    char buf[32];
    for (const char *bad : {"%y", "%1$d %1$s", "%2$d", static_cast<const char *>(nullptr)}) {
        std::memset(buf, 'Z', sizeof buf);
        EXPECT_LT(Fmt(buf, sizeof buf, bad, 1, 2), 0) << (bad ? bad : "null");
        EXPECT_STREQ(buf, "") << (bad ? bad : "null");
    }
    ASSERT_EQ(Fmt(buf, sizeof buf, "%2$s %s %1$s", "a", "b", "c"), 5);
    EXPECT_STREQ(buf, "b c a");
}

TEST(Formatter, BoundsLengthAndHugeFields) {
    char buf[8];
    std::memset(buf, 'a', sizeof buf);
    EXPECT_EQ(Fmt(buf, 0, "%d", 12345), 5);
    EXPECT_EQ(buf[0], 'a');
    EXPECT_EQ(MSG_snprintf(nullptr, 0, "%s", "xyz"), 3);
    // Widths and precisions are counted, not written, beyond the bound.
    EXPECT_EQ(Fmt(buf, sizeof buf, "%1000000000d", 1), 1000000000);
    EXPECT_STREQ(buf, "       ");
    EXPECT_EQ(Fmt(buf, sizeof buf, "%.1000000000d", 7), 1000000000);
    EXPECT_STREQ(buf, "0000000");
    EXPECT_EQ(Fmt(buf, sizeof buf, "%.100000f", 1.5), 100002);
    EXPECT_STREQ(buf, "1.50000");
    // More than INT_MAX characters is an error, as for the C library.
    EXPECT_LT(Fmt(buf, sizeof buf, "%2147483647d%d", 1, 2), 0);
    // %n stores nothing.
    int n = 77;
    EXPECT_EQ(Fmt(buf, sizeof buf, "ab%ncd", &n), 4);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(n, 77);
    // Streams take any length.
    std::FILE *f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::string big(3000, 'q'), back(4000, 0);
    EXPECT_EQ(MSG_fprintf(f, "%2$s-%1$05d-%3$s", 42, "x", big.c_str()), 3008);
    std::rewind(f);
    ASSERT_EQ(std::fread(back.data(), 1, back.size(), f), 3008u);
    EXPECT_EQ(back.substr(0, 10), "x-00042-qq");
    std::fclose(f);
}

TEST(Formatter, RecordsAreNeverReadBeyondTheirCount) {
    const char text[] = {'a', 'b', 'c', 'd'}; // not NUL-terminated
    STF_ArgRecord r[4] = {{STF_ARG_INT, 0, {.i = -12}},
                          {STF_ARG_COUNTED, 3, {.p = text}},
                          {STF_ARG_DOUBLE, 0, {.d = 2.5}},
                          {STF_ARG_CHAR, 0, {.c = 'Q'}}};
    char buf[64];
    using vrcore::messages::SnprintfRecords;
    EXPECT_EQ(SnprintfRecords(buf, sizeof buf, "%d|%s|%.1f|%c", 4, r), 13);
    EXPECT_STREQ(buf, "-12|abc|2.5|Q");
    EXPECT_GT(SnprintfRecords(buf, sizeof buf, "%4$c%3$Lg%2$.2s%1$ld%1$x", 4, r), 0);
    EXPECT_STREQ(buf, "Q2.5ab-12fffffff4");
    // Too few records; a record of the wrong class (the rest of what the
    // fuzz target finds).
    EXPECT_LT(SnprintfRecords(buf, sizeof buf, "%d %s %f %c %d", 4, r), 0);
    EXPECT_LT(SnprintfRecords(buf, sizeof buf, "%3$d", 4, r), 0);
    EXPECT_STREQ(buf, "");
    // Unused records are fine: a translation may drop an argument.
    EXPECT_EQ(SnprintfRecords(buf, sizeof buf, "%2$s", 2, r), 3);
}
