// Comparison of values: the rule of each value type, texts and names of
// every kind, the binary forms and equality tests, encoded identifiers, and
// properties (antisymmetry, transitivity, arguments untouched) of the
// ordered syntaxes on random values.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "syntax/gentype.h"
#include "valuegen.h"
#include "vrcore/genu.h"

namespace {

using namespace vrtest;

GEN_OctetString Oct(const char *s) {
    auto n = static_cast<int32_t>(std::strlen(s));
    return {n, n ? reinterpret_cast<unsigned char *>(const_cast<char *>(s)) : nullptr};
}

using AnyCompare = int (*)(STF_List *, const void *, const void *, int32_t *);
template <typename T, int (*F)(STF_List *, const T *, const T *, int32_t *)>
int Erased(STF_List *s, const void *a, const void *b, int32_t *r) {
    return F(s, static_cast<const T *>(a), static_cast<const T *>(b), r);
}
// The exported comparison of one syntax, by name.
#define BY(N, T) Erased<GEN_##T, GEN_##N>

struct RuleCase {
    const char *what;
    uint32_t type;
    const void *a, *b;
    int32_t want;      // the result, when code is 0
    uint32_t code = 0; // the failure expected
    bool binary = false;
    AnyCompare fn = nullptr; // an exported comparison that must agree
};

void RunCase(const RuleCase &c) {
    SCOPED_TRACE(c.what);
    StatusList st;
    int32_t r = 12345;
    for (int pass = 0; pass < (c.fn ? 2 : 1); ++pass) {
        auto by_type = c.binary ? GEN_BinCompareAttrValue : GEN_CompareAttrValue;
        int rc = pass ? c.fn(st, c.a, c.b, &r) : by_type(st, c.type, c.a, c.b, &r);
        if (c.code) {
            EXPECT_EQ(st.failed(rc), c.code) << pass;
        } else {
            EXPECT_EQ(rc, 0) << std::hex << st.code() << " " << pass;
            EXPECT_EQ(r, c.want) << pass;
        }
    }
    if (c.fn) {
        EXPECT_EQ(st.failed(c.fn(st, c.a, nullptr, &r)), GEN_S_NULLARG);
    }
}

TEST(CompareRules, NumbersAndRanges) {
    static const GEN_Boolean yes = 1, yes2 = 7, no = 0;
    static const GEN_Cardinal c1 = 1, cmax = 0xFFFFFFFFu;
    static const GEN_Integer im = -1, ip = 1;
    static const GEN_Edge e3 = 3, e1 = 1, emin = INT32_MIN, emax = INT32_MAX;
    static const GEN_Percent p1 = -5, p2 = 10;
    static const GEN_Sides s1 = 1, s2 = 2;
    static const GEN_Real r20 = 2.0, r29 = 2.9, r30 = 3.0, big = 1e300, nbig = -1e300, nan = std::nan("");
    static const GEN_CardinalRange cr1{1, 2}, cr2{1, 3};
    static const GEN_RealRange rr1{1.0, 2.0}, rr2{1.0, 2.5};
    static const GEN_Cardinal64 c64a{1, 0}, c64b{0, 0xFFFFFFFFu};
    static const GEN_Cardinal64Range c64r1{{0, 1}, {0, 2}}, c64r2{{0, 1}, {0, 3}};
    static const unsigned char area1[32] = {1}, area2[32] = {1, 0x80};
    const RuleCase cases[] = {
        {"booleans are equality only", 0, &no, &yes, 1},
        {"any non-zero boolean is true", 0, &yes, &yes2, 0},
        {"cardinals are unsigned", 1, &c1, &cmax, -1},
        {"integers are signed", 12, &im, &ip, -1},
        {"edges give the difference", 44, &e3, &e1, 2},
        {"a difference beyond 32 bits keeps its sign", 44, &emin, &emax, INT32_MIN},
        {"percent gives the 16-bit difference", 71, &p1, &p2, -15},
        {"sides are equality only", 26, &s2, &s1, 1},
        {"reals less than 1 apart are equal", 23, &r20, &r29, 0},
        {"reals 1 apart", 23, &r20, &r30, -1},
        {"real difference beyond 32 bits", 62, &big, &nbig, INT32_MAX},
        {"a real that is not a number", 23, &nan, &r20, 0, GEN_S_INVALID},
        {"cardinal ranges are equality only", 2, &cr2, &cr1, 1},
        {"real ranges are equality only", 25, &rr1, &rr2, 1},
        {"cardinal 64 by both words", 31, &c64a, &c64b, 1},
        {"cardinal 64 ranges are equality only", 32, &c64r1, &c64r2, 1},
        {"areas as unsigned bytes", 29, &area2, &area1, 1},
        {"types beyond the table have no rule", 95, &c1, &c1, 0, GEN_S_NOTSUPP},
        {"a null value", 1, nullptr, &c1, 0, GEN_S_NULLARG},
    };
    for (const RuleCase &c : cases) RunCase(c);
}

TEST(CompareRules, TextsNamesAndStrings) {
    static const GEN_Text irv = Txt(1, "abc"), latin = Txt(3, "abc"), str = Txt(2, "abc"), empty3 = Txt(3, ""),
                          a3 = Txt(3, "a"), ab3 = Txt(3, "ab"), empty1 = Txt(1, ""), a1 = Txt(1, "a"),
                          bad = Txt(6, "x"), nul1 = Txt(4, "a\0b", 3), nul2 = Txt(4, "a\0c", 3),
                          k5a = Txt(5, "a"), k5b = Txt(5, "b"), k5x = Txt(5, "a", 1, 17u),
                          k5nul1 = Txt(5, "a\0b", 3), k5nul2 = Txt(5, "a\0c", 3), k5short = Txt(5, "a\0", 2);
    static const GEN_SimpleName n1 = Name(1, "abc"), n3 = Name(3, "abc"), n4 = Name(4, "abd"), ne3 = Name(3, ""),
                                na3 = Name(3, "a"), n5e = Name(5, ""), n5a = Name(5, "a");
    static GEN_SimpleName toolong = Name(3, "x"), unterminated = Name(1, "x");
    toolong.u.counted.length = 256;
    std::memset(unterminated.u.string, 'x', sizeof unterminated.u.string);
    static const GEN_OctetString oe = Oct(""), oa = Oct("a"), neg = {-1, nullptr};
    static const GEN_JobIdentifier high{"a\xe9"}, low{"ab"};
    static const GEN_Identifier small{3}, large{0x80000000u};
    const RuleCase cases[] = {
        {"kind 1 meets kind 3 in Latin-1", 28, &irv, &latin, 0, 0, false, BY(CompareText, Text)},
        {"kind 2 does not meet kind 3", 28, &str, &latin, 0, GEN_S_NOTSUPP},
        {"a kind out of range", 28, &bad, &latin, 0, GEN_S_INVALID},
        {"an empty kind-3 text sorts last", 28, &empty3, &a3, 1},
        {"a prefix sorts first", 28, &a3, &ab3, -1},
        {"an empty kind-1 text sorts first", 28, &empty1, &a1, -1},
        {"an empty kind-1 text meets kind 3: last", 28, &empty1, &a3, 1},
        {"bytes after a zero byte count", 28, &nul1, &nul2, -1},
        {"kind 5 collates", 28, &k5b, &k5a, 1},
        {"kind 5 of other code sets", 28, &k5a, &k5x, 0, GEN_S_NOTSUPP},
        {"kind 5 after an embedded zero", 28, &k5nul1, &k5nul2, -1},
        {"kind 5 with a trailing zero sorts after", 28, &k5short, &k5a, 1},
        {"binary: empty sorts first", 28, &empty3, &a3, -1, 0, true, BY(BinCompareText, Text)},
        {"binary: kinds 1 and 3 mix", 28, &irv, &latin, 0, 0, true},
        {"binary: kinds 2 and 3 do not", 28, &str, &latin, 0, GEN_S_NOTSUPP, true},
        {"names: kind 1 meets kind 3", 27, &n1, &n3, 0, 0, false, BY(CompareSimpleName, SimpleName)},
        {"names: kinds 3 and 4 do not meet", 40, &n3, &n4, 0, GEN_S_NOTSUPP},
        {"names: empty kind 3 sorts last", 27, &ne3, &na3, 1},
        {"names: empty kind 5 sorts first", 27, &n5e, &n5a, -1},
        {"names: a length over 255", 27, &toolong, &na3, 0, GEN_S_INVALID},
        {"names: no NUL in the inline string", 27, &unterminated, &n1, 0, GEN_S_INVALID},
        {"names: binary empty first", 40, &ne3, &na3, -1, 0, true, BY(BinCompareSimpleName, SimpleName)},
        {"octets: empty sorts last", 20, &oe, &oa, 1, 0, false, BY(CompareOctetString, OctetString)},
        {"octets: a negative length", 20, &neg, &oa, 0, GEN_S_INVALID},
        {"job identifiers as unsigned bytes", 14, &high, &low, 1, 0, false, BY(CompareJobIdentifier, JobIdentifier)},
        {"identifiers are unsigned", 10, &small, &large, -1, 0, false, BY(CompareIdentifier, Identifier)},
    };
    for (const RuleCase &c : cases) RunCase(c);
}

TEST(CompareRules, ChoicesDistNamesAndSequences) {
    static GEN_NameOrOID winnt = Oid(3050), dce = Oid(3042), o5 = Oid(5), named = Named(1, "winnt"),
                         badchoice{3, {1}}, empty_name = Named(3, ""), a_name = Named(3, "a");
    static const GEN_DistNameString nt_lower{Txt(1, "joe"), &winnt}, nt_upper{Txt(1, "JOE"), &winnt},
        dce_lower{Txt(1, "joe"), &dce}, dce_upper{Txt(1, "JOE"), &dce}, bare{Txt(1, "joe"), nullptr},
        by_name_lower{Txt(3, "joe"), &named}, by_name_upper{Txt(3, "JOE"), &named};
    static GEN_NameOrOidSeq s2{nullptr, Oid(2)}, s1{&s2, Oid(1)}, t3{nullptr, Oid(3)}, t1{&t3, Oid(1)},
        u1{nullptr, Oid(1)};
    static const GEN_ObjectIdent ident_oid{GEN_OBJID_OID, {}}, ident_job{GEN_OBJID_JOB_ID, {.job_id = {"z"}}};
    static const GEN_FontReference font_empty{GEN_FONT_SIMPLE_NAME, {.simple_name = Name(4, "")}},
        font_b{GEN_FONT_SIMPLE_NAME, {.simple_name = Name(4, "b")}};
    static GEN_DistNameStringSeq dq2{nullptr, bare}, dq1{&dq2, bare}, dq0{nullptr, bare};
    static uint32_t one = 1, two = 2;
    static const GEN_ResultsProfile rp_none{}, rp_one{nullptr, nullptr, nullptr, &one, nullptr},
        rp_two{nullptr, nullptr, nullptr, &two, nullptr};
    static GENU_ShortOID m1 = 1;
    static const GEN_OidCardinalMap map_bare{nullptr, 4}, map_oid{&m1, 4};
    static const GEN_RPCAddress onc1{GEN_RPC_ONC, {.onc = {Txt(1, "h"), 100, 0, 0, Txt(1, "")}}},
        onc2{GEN_RPC_ONC, {.onc = {Txt(1, "h"), 200, 0, 0, Txt(1, "")}}};
    static const GEN_InputTrayMedium itm1{Oid(1), Oid(9)}, itm2{Oid(2), Oid(0)};
    const RuleCase cases[] = {
        {"name or OID: a smaller choice first", 18, &o5, &named, -1},
        {"name or OID: a choice out of range", 18, &badchoice, &o5, 0, GEN_S_INVALID},
        {"name or OID: an empty name sorts last", 18, &empty_name, &a_name, 1, 0, false, BY(CompareNameOrOID, NameOrOID)},
        {"binary name or OID: an empty name first", 18, &empty_name, &a_name, -1, 0, true, BY(BinCompareNameOrOID, NameOrOID)},
        {"winnt names ignore case", 6, &nt_lower, &nt_upper, 0, 0, false, BY(CompareDistNameString, DistNameString)},
        {"dce names do not", 6, &dce_lower, &dce_upper, 1},
        {"a syntax named by name ignores case", 6, &by_name_lower, &by_name_upper, 0},
        {"a name with a syntax sorts after one without", 6, &nt_lower, &bare, 1},
        {"the syntaxes decide first", 6, &dce_upper, &nt_lower, -1},
        {"binary: the names decide first", 6, &dce_upper, &nt_lower, -1, 0, true, BY(BinCompareDistNameString, DistNameString)},
        {"binary: winnt names keep their case", 6, &nt_lower, &nt_upper, 1, 0, true},
        {"sequences differing in their second elements", 60, &s1, &t1, -1},
        {"the shorter sequence first", 60, &u1, &s1, -1},
        {"object identification: choices first", 64, &ident_job, &ident_oid, -1, 0, false, BY(CompareObjectIdent, ObjectIdent)},
        {"fonts: an empty name sorts last", 9, &font_empty, &font_b, 1, 0, false, BY(CompareFontReference, FontReference)},
        {"binary fonts: an empty name first", 9, &font_empty, &font_b, -1, 0, true, BY(BinCompareFontReference, FontReference)},
        {"sequences of names: the shorter first", 42, &dq0, &dq1, -1, 0, false, BY(CompareDistNameStringSeq, DistNameStringSeq)},
        {"results profile: absent copies count as 1", 81, &rp_none, &rp_one, 0},
        {"results profile: copies first", 81, &rp_two, &rp_none, 1},
        {"cardinal map: one identifier absent", 33, &map_oid, &map_bare, 1},
        {"RPC addresses are equality only", 86, &onc1, &onc2, 1},
        {"input tray medium: the tray first", 49, &itm1, &itm2, -1},
    };
    for (const RuleCase &c : cases) RunCase(c);
}

// Attributes compare equal when their values pair off, in any order.
class AttributeRule : public ::testing::Test {
  protected:
    ~AttributeRule() override {
        for (AS_SetHandle &s : sets_) AS_Destroy(st_, &s);
    }
    AS_AttrHandle Attr(GENU_ShortOID id, uint32_t type, std::vector<uint32_t> values) {
        AS_AttrHandle attr = nullptr;
        AS_Create(st_, &sets_.emplace_back(), nullptr, 0);
        AS_AddAttr(st_, sets_.back(), id, type, &attr);
        for (uint32_t v : values)
            AS_AddAttrValM(st_, sets_.back(), id, type, &v, GENU_AVT2Descriptor(type), nullptr);
        return attr;
    }
    int32_t Compare(AS_AttrHandle a, AS_AttrHandle b, uint32_t want_code = 0) {
        GEN_Criteria x{a, 0}, y{b, 0};
        int32_t r = 99;
        EXPECT_EQ(GEN_CompareAttrValue(st_, 37, &x, &y, &r), want_code ? 1 : 0);
        EXPECT_EQ(st_.code(), want_code);
        return r;
    }
    StatusList st_;
    std::vector<AS_SetHandle> sets_;
};

TEST_F(AttributeRule, PairsValuesInAnyOrder) {
    EXPECT_EQ(Compare(Attr(5, 1, {1, 2, 2}), Attr(5, 1, {2, 1, 2})), 0);
    EXPECT_EQ(Compare(Attr(5, 1, {1, 2, 2}), Attr(5, 1, {2, 1, 1})), 1);
    EXPECT_EQ(Compare(Attr(5, 1, {1, 2}), Attr(5, 1, {1, 2, 3})), 1);
    EXPECT_EQ(Compare(Attr(5, 1, {1}), Attr(6, 1, {1})), 1);
    EXPECT_EQ(Compare(Attr(5, 1, {}), Attr(5, 1, {})), 0);
    Compare(Attr(5, 1, {1}), Attr(5, 12, {1}), GEN_S_INVALID);
    // An ignored attribute compares its document number after.
    uint32_t n = 3;
    GEN_IgnoredAttribute x{Attr(5, 1, {1}), nullptr}, y{Attr(5, 1, {1}), &n};
    int32_t r = 0;
    ASSERT_EQ(GEN_CompareAttrValue(st_, 11, &x, &y, &r), 0);
    EXPECT_EQ(r, -1);
}

// Criteria whose attribute holds criteria, nested beyond the bound: the
// walk stops with an invalid value instead of exhausting the stack.
TEST(CompareNesting, IsBounded) {
    StatusList st;
    auto nest = [&](int depth) {
        auto *c = static_cast<GEN_Criteria *>(std::calloc(1, sizeof(GEN_Criteria)));
        for (int i = 0; i < depth; ++i) {
            AS_SetHandle set = nullptr;
            AS_AttrHandle attr = nullptr;
            AS_Create(st, &set, nullptr, 0);
            AS_AddAttrVal(st, set, 9, 37, c, &GENU_CriteriaDesc, &attr);
            AS_FreeSetHandle(st, &set);
            c = static_cast<GEN_Criteria *>(std::calloc(1, sizeof(GEN_Criteria)));
            c->attribute = attr;
        }
        return c;
    };
    for (int depth : {20, GEN_MAX_NESTING + 10}) {
        GEN_Criteria *a = nest(depth), *b = nest(depth);
        int32_t r = 99;
        EXPECT_EQ(st.failed(GEN_CompareAttrValue(st, 37, a, b, &r)), depth < GEN_MAX_NESTING ? ~0u : GEN_S_INVALID);
        EXPECT_EQ(r, depth < GEN_MAX_NESTING ? 0 : 99);
        GEN_DeleteCriteria(st.fresh(), a, nullptr);
        GEN_DeleteCriteria(st.fresh(), b, nullptr);
    }
}

// The result of a comparison or equality test that must succeed; 99 when
// it fails.
template <typename T>
int32_t Result(int (*fn)(STF_List *, const T *, const T *, int32_t *), const T &a, const T &b) {
    StatusList st;
    int32_t r = 99;
    return fn(st, &a, &b, &r) == 0 ? r : 99;
}

// The forms with no comparison by value type.
TEST(CompareForms, CaseInsensitiveEqualityAndDocuments) {
    StatusList st;
    int32_t r = 99;
    GEN_Text up = Txt(1, "ABC"), low = Txt(1, "abc"), up3 = Txt(3, "ABC"), low3 = Txt(3, "abc");
    EXPECT_EQ(Result(GEN_ICompareText, up, low), 0);
    EXPECT_EQ(Result(GEN_CompareText, up, low), -1);
    EXPECT_EQ(Result(GEN_ICompareText, up3, low3), 0);
    GEN_SimpleName nu = Name(3, "Tray"), nl = Name(3, "tray");
    EXPECT_EQ(Result(GEN_ICompareSimpleName, nu, nl), 0);
    EXPECT_EQ(Result(GEN_ICompareOctetString, Oct("AB"), Oct("abc")), -1);

    // Equality tests answer 1 for equal.
    GEN_Text e3 = Txt(3, ""), e1 = Txt(1, ""), k4 = Txt(4, "abc"), c1 = Txt(5, "x", 1, 1u), c2 = Txt(5, "x", 1, 2u);
    EXPECT_EQ(Result(GEN_EqualText, low, low3), 1);
    EXPECT_EQ(Result(GEN_EqualText, e3, e1), 1);
    EXPECT_EQ(Result(GEN_EqualText, up3, low3), 0);
    EXPECT_EQ(st.failed(GEN_EqualText(st, &low3, &k4, &r)), GEN_S_NOTSUPP);
    EXPECT_EQ(GEN_EqualText(st, &c1, &c2, &r), 1);
    EXPECT_EQ(Result(GEN_EqualSimpleName, nu, nl), 0);
    EXPECT_EQ(st.failed(GEN_EqualSimpleName(st, &nu, nullptr, &r)), GEN_S_NULLARG);
    EXPECT_EQ(GEN_CompareText(nullptr, &up, &low, &r), 1);

    uint32_t n = 2; // an absent document number sorts first
    GEN_DocumentIdentifier with{{"a"}, &n}, without{{"a"}, nullptr};
    EXPECT_EQ(Result(GEN_CompareDocumentIdentifier, with, without), 1);
}

TEST(CompareObjectID, SubidentifiersByValue) {
    auto cmp = [](std::vector<unsigned char> a, std::vector<unsigned char> b) {
        GEN_ObjectID x{static_cast<uint16_t>(a.size()), a.data()}, y{static_cast<uint16_t>(b.size()), b.data()};
        int32_t r = 99;
        GEN_CompareObjectID(&x, &y, &r);
        return r;
    };
    EXPECT_EQ(cmp({0x2B, 6, 1}, {0x2B, 6, 1}), 0);
    EXPECT_EQ(cmp({0x2B, 6}, {0x2B, 6, 1}), -1);
    EXPECT_EQ(cmp({0x2B, 7}, {0x2B, 6, 1}), 1);
    // 16384 (three bytes) is larger than 16383 (two bytes), though its first
    // byte is smaller.
    EXPECT_EQ(cmp({0x2B, 0x81, 0x80, 0x00}, {0x2B, 0xFF, 0x7F}), 1);
    EXPECT_EQ(cmp({0x2B, 0x7F}, {0x2B, 0x81, 0x00}), -1);
    // A missing or empty identifier sorts after every other one.
    EXPECT_EQ(cmp({}, {0x2B}), 1);
    EXPECT_EQ(cmp({0x2B}, {}), -1);
    EXPECT_EQ(cmp({}, {}), 0);
    int32_t r = 99;
    GEN_ObjectID x{1, nullptr}, y{0, nullptr};
    GEN_CompareObjectID(&x, nullptr, &r);
    EXPECT_EQ(r, 0);
    GEN_CompareObjectID(&y, &x, nullptr); // no result: nothing done
}

// ---- Properties on random values ----------------------------------------

// The value types whose rule is a total order (equality-only rules,
// truncated reals and values holding attributes are left out).
const uint32_t kOrdered[] = {1,  12, 21, 71, 31, 48, 55, 28, 27, 20, 14, 18, 6,  42, 60, 64, 9, 34, 35, 72,
                             61, 43, 8,  39, 81, 45, 46, 49, 67, 69, 74, 76, 85, 87, 88, 89, 91, 92, 94};

// Compares, both ways, every pair of some random values and a copy of the
// first: failures agree, results are antisymmetric, the copy equals its
// original and no value changes. Kind 0 draws values of any kind, which
// may fail to compare (and kinds that meet need not be transitive); a
// narrow kind draws values that often share components, and every
// comparison must succeed and be transitive.
void CheckOrder(uint32_t type, std::mt19937 &rng, int32_t kind) {
    const vrsyn::TypeInfo &info = *TypeOfValueType(type);
    const GENU_ValueDescriptor *desc = GENU_AVT2Descriptor(type);
    std::optional<NarrowValues> narrow;
    if (kind) narrow.emplace(kind);
    std::vector<void *> v;
    std::vector<std::string> dumps;
    for (int i = 0; i < 14; ++i) {
        v.push_back(NewRandomValue(rng, info));
        dumps.push_back(Dump(info, v.back()));
    }
    void *copy = nullptr;
    StatusList st;
    ASSERT_EQ(desc->copy(st, &copy, v[0], nullptr), 0);
    v.push_back(copy);
    dumps.push_back(dumps[0]);
    const size_t n = v.size();
    std::vector<int64_t> s(n * n); // the sign of each result, or 2 + the failure's code
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j) {
            int32_t r = 0;
            int rc = GEN_CompareAttrValue(st, type, v[i], v[j], &r);
            s[i * n + j] = rc ? 2 + int64_t{st.code()} : (r > 0) - (r < 0);
            ASSERT_TRUE(!kind || rc == 0) << std::hex << st.code();
        }
    auto at = [&](size_t i, size_t j) { return s[i * n + j]; };
    EXPECT_TRUE(at(0, n - 1) > 1 || at(0, n - 1) == 0) << "copy";
    for (size_t i = 0; i < n; ++i) {
        EXPECT_TRUE(at(i, i) > 1 || at(i, i) == 0) << i;
        for (size_t j = 0; j < n; ++j) {
            ASSERT_EQ(at(i, j), at(i, j) > 1 ? at(j, i) : -at(j, i)) << i << " " << j;
            for (size_t k = 0; kind && k < n; ++k)
                if (at(i, j) <= 0 && at(j, k) <= 0) {
                    ASSERT_LE(at(i, k), 0) << i << " " << j << " " << k;
                }
        }
    }
    for (size_t i = 0; i < n; ++i) {
        EXPECT_EQ(Dump(info, v[i]), dumps[i]) << "argument modified";
        desc->del(st, v[i], nullptr);
    }
}

TEST(CompareProperties, OrderedSyntaxesAreAntisymmetricAndTransitive) {
    std::mt19937 rng(20261206);
    for (int32_t kind : {0, GEN_KIND_IRV, GEN_KIND_LATIN1, GEN_KIND_CODESET})
        for (uint32_t type : kOrdered) {
            SCOPED_TRACE(std::to_string(type) + " kind " + std::to_string(kind));
            for (int round = 0; round < 3; ++round) CheckOrder(type, rng, kind);
        }
}

} // namespace
