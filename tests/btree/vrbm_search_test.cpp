// Lookups by abbreviation and by name.
#include "vrbm_fixture.h"

#include <tuple>

using namespace vrbmtest;

namespace {

class Search : public DbTest {
  protected:
    void SetUp() override {
        db_ = Create();
        // Filler keys make the tree several levels deep around the names.
        for (int i = 0; i < 400; i++) Store(db_, Num("f", i) + "-x", std::string(120, 'f'));
        for (const char *k : {"abc-cde", "abx-cfg", "job-state", "job-state-reasons",
                              "printer-name", "Zebra", "apple", "Mango", "abc"})
            Store(db_, k, std::string("=") + k);
    }
    void TearDown() override { VRBM_close(db_); }
    VRBM_Datum Abbrev(const std::string &a, VRBM_MatchNode **list = nullptr, int keep = 0) {
        return VRBM_fetchAbbrev(db_, a.data(), int32_t(a.size()), list, keep);
    }
    static std::vector<std::string> Names(VRBM_MatchNode *l) {
        std::vector<std::string> v;
        for (; l; l = l->next) v.push_back(l->name);
        return v;
    }
    static std::string Data(VRBM_Datum d) { return d.ptr ? std::string(d.ptr, size_t(d.len)) : ""; }
    VRBM_Db *db_ = nullptr;
};

TEST_F(Search, AbbreviationOutcomes) {
    EXPECT_EQ(Data(Abbrev("job-state")), "=job-state"); // a whole key
    EXPECT_EQ(Data(Abbrev("j-s-r")), "=job-state-reasons");
    EXPECT_EQ(Data(Abbrev("abcx-cd")), "=abc-cde"); // components agree over the shorter
    EXPECT_EQ(Abbrev("job").len, VRBM_LEN_NOMATCH); // fewer components
    EXPECT_EQ(Abbrev("job-state-reasons-x").len, VRBM_LEN_NOMATCH);
    EXPECT_EQ(Abbrev("printer-names").len, VRBM_LEN_NOMATCH); // longer than the key
    EXPECT_EQ(Abbrev(std::string(129, 'a')).len, VRBM_LEN_NOMATCH);
    // Several matches: the list in key order, whatever the keep flag.
    VRBM_MatchNode *list = nullptr;
    EXPECT_EQ(Abbrev("ab-c", &list, 0).len, VRBM_LEN_AMBIGUOUS);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"abc-cde", "abx-cfg"}));
    VRBM_freeMatchList(list);
}

TEST_F(Search, Names) {
    // name, exact case, expected data ("" for no match)
    for (auto [n, exact, want] : {std::tuple{"abc", 0, "=abc"},
                                  {"Abc", 0, "=abc"},
                                  {"Abc", 1, ""},
                                  {"abc", 1, "=abc"},
                                  {"APPLE", 0, "=apple"}, // case variants far apart in byte order
                                  {"zEBRA", 0, "=Zebra"},
                                  {"mang", 0, ""}}) {
        VRBM_Datum d = VRBM_fetchName(db_, n, int32_t(strlen(n)), exact);
        EXPECT_EQ(Data(d), want) << n;
        EXPECT_TRUE(*want || (d.ptr == nullptr && d.len == 0)) << n;
    }
}

} // namespace
