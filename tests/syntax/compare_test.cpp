// Comparison rules by value type, and order properties on random values.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <deque>
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
// A value kept for the whole run, for tables of addresses.
template <typename T> T *P(T v) {
    static std::deque<T> kept;
    return &kept.emplace_back(v);
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
            EXPECT_EQ(st.Failed(rc), c.code) << pass;
        } else {
            EXPECT_EQ(rc, 0) << std::hex << st.Code() << " " << pass;
            EXPECT_EQ(r, c.want) << pass;
        }
    }
    if (c.fn) {
        EXPECT_EQ(st.Failed(c.fn(st, c.a, nullptr, &r)), GEN_S_NULLARG);
    }
}

TEST(CompareRules, NumbersAndRanges) {
    using Area = std::array<unsigned char, 32>;
    const RuleCase cases[] = {
        {"booleans are equality only", 0, P<GEN_Boolean>(0), P<GEN_Boolean>(1), 1},
        {"any non-zero boolean is true", 0, P<GEN_Boolean>(1), P<GEN_Boolean>(7), 0},
        {"cardinals are unsigned", 1, P<GEN_Cardinal>(1), P<GEN_Cardinal>(0xFFFFFFFFu), -1},
        {"integers are signed", 12, P<GEN_Integer>(-1), P<GEN_Integer>(1), -1},
        {"edges give the difference", 44, P<GEN_Edge>(3), P<GEN_Edge>(1), 2},
        {"a difference beyond 32 bits keeps its sign", 44, P<GEN_Edge>(INT32_MIN),
         P<GEN_Edge>(INT32_MAX), INT32_MIN},
        {"percent gives the 16-bit difference", 71, P<GEN_Percent>(-5), P<GEN_Percent>(10), -15},
        {"reals less than 1 apart are equal", 23, P(2.0), P(2.9), 0},
        {"reals 1 apart", 23, P(2.0), P(3.0), -1},
        {"real difference beyond 32 bits", 62, P(1e300), P(-1e300), INT32_MAX},
        {"a real that is not a number", 23, P(std::nan("")), P(2.0), 0, GEN_S_INVALID},
        {"cardinal ranges are equality only", 2, P(GEN_CardinalRange{1, 3}),
         P(GEN_CardinalRange{1, 2}), 1},
        {"cardinal 64 by both words", 31, P(GEN_Cardinal64{1, 0}),
         P(GEN_Cardinal64{0, 0xFFFFFFFFu}), 1},
        {"areas as unsigned bytes", 29, P(Area{1, 0x80}), P(Area{1}), 1},
        {"types beyond the table have no rule", 95, P(1), P(1), 0, GEN_S_NOTSUPP},
        {"a null value", 1, nullptr, P(1), 0, GEN_S_NULLARG},
    };
    for (const RuleCase &c : cases) RunCase(c);
}

TEST(CompareRules, TextsNamesAndStrings) {
    GEN_SimpleName toolong = Name(3, "x"), unterminated = Name(1, "x");
    toolong.u.counted.length = 256;
    std::memset(unterminated.u.string, 'x', sizeof unterminated.u.string);
    GEN_Text *irv = P(Txt(1, "abc")), *latin = P(Txt(3, "abc")), *str = P(Txt(2, "abc")),
             *empty3 = P(Txt(3, "")), *a3 = P(Txt(3, "a"));
    GEN_SimpleName *n1 = P(Name(1, "abc")), *n3 = P(Name(3, "abc")), *ne3 = P(Name(3, "")),
                   *na3 = P(Name(3, "a"));
    const RuleCase cases[] = {
        {"kind 1 meets kind 3 in Latin-1", 28, irv, latin, 0, 0, false, BY(CompareText, Text)},
        {"kind 2 does not meet kind 3", 28, str, latin, 0, GEN_S_NOTSUPP},
        {"a kind out of range", 28, P(Txt(6, "x")), latin, 0, GEN_S_INVALID},
        {"an empty kind-3 text sorts last", 28, empty3, a3, 1},
        {"a prefix sorts first", 28, a3, P(Txt(3, "ab")), -1},
        {"an empty kind-1 text sorts first", 28, P(Txt(1, "")), P(Txt(1, "a")), -1},
        {"an empty kind-1 text meets kind 3: last", 28, P(Txt(1, "")), a3, 1},
        {"bytes after a zero byte count", 28, P(Txt(4, "a\0b", 3)), P(Txt(4, "a\0c", 3)), -1},
        {"kind 5 collates", 28, P(Txt(5, "b")), P(Txt(5, "a")), 1},
        {"kind 5 of other code sets", 28, P(Txt(5, "a")), P(Txt(5, "a", 1, 17)), 0, GEN_S_NOTSUPP},
        {"kind 5 after an embedded zero", 28, P(Txt(5, "a\0b", 3)), P(Txt(5, "a\0c", 3)), -1},
        {"kind 5 with a trailing zero sorts after", 28, P(Txt(5, "a\0", 2)), P(Txt(5, "a")), 1},
        {"binary: empty sorts first", 28, empty3, a3, -1, 0, true, BY(BinCompareText, Text)},
        {"binary: kinds 1 and 3 mix", 28, irv, latin, 0, 0, true},
        {"binary: kinds 2 and 3 do not", 28, str, latin, 0, GEN_S_NOTSUPP, true},
        {"names: kind 1 meets kind 3", 27, n1, n3, 0, 0, false, BY(CompareSimpleName, SimpleName)},
        {"names: kinds 3 and 4 do not meet", 40, n3, P(Name(4, "abd")), 0, GEN_S_NOTSUPP},
        {"names: empty kind 3 sorts last", 27, ne3, na3, 1},
        {"names: empty kind 5 sorts first", 27, P(Name(5, "")), P(Name(5, "a")), -1},
        {"names: a length over 255", 27, &toolong, na3, 0, GEN_S_INVALID},
        {"names: no NUL in the inline string", 27, &unterminated, n1, 0, GEN_S_INVALID},
        {"names: binary empty first", 40, ne3, na3, -1, 0, true,
         BY(BinCompareSimpleName, SimpleName)},
        {"octets: empty sorts last", 20, P(Oct("")), P(Oct("a")), 1, 0, false,
         BY(CompareOctetString, OctetString)},
        {"octets: a negative length", 20, P(GEN_OctetString{-1, nullptr}), P(Oct("a")), 0,
         GEN_S_INVALID},
        {"job identifiers as unsigned bytes", 14, P(GEN_JobIdentifier{"a\xe9"}),
         P(GEN_JobIdentifier{"ab"}), 1, 0, false, BY(CompareJobIdentifier, JobIdentifier)},
        {"identifiers are unsigned", 10, P<GEN_Identifier>(3), P<GEN_Identifier>(0x80000000u), -1,
         0, false, BY(CompareIdentifier, Identifier)},
    };
    for (const RuleCase &c : cases) RunCase(c);
}

TEST(CompareRules, ChoicesDistNamesAndSequences) {
    GEN_NameOrOID *winnt = P(Oid(3050)), *dce = P(Oid(3042)), *named = P(Named(1, "winnt")),
                  *empty_name = P(Named(3, "")), *a_name = P(Named(3, "a"));
    auto dn = [](int32_t kind, const char *s, GEN_NameOrOID *syntax) {
        return P(GEN_DistNameString{Txt(kind, s), syntax});
    };
    GEN_DistNameString *nt_lower = dn(1, "joe", winnt), *bare = dn(1, "joe", nullptr),
                       *dce_upper = dn(1, "JOE", dce);
    auto seq = [](GENU_ShortOID a, GENU_ShortOID b) {
        return P(GEN_NameOrOidSeq{b ? P(GEN_NameOrOidSeq{nullptr, Oid(b)}) : nullptr, Oid(a)});
    };
    auto font = [](const char *s) {
        return P(GEN_FontReference{GEN_FONT_SIMPLE_NAME, {.simple_name = Name(4, s)}});
    };
    auto copies = [](uint32_t *n) {
        return P(GEN_ResultsProfile{nullptr, nullptr, nullptr, n, nullptr});
    };
    const RuleCase cases[] = {
        {"name or OID: a smaller choice first", 18, P(Oid(5)), named, -1},
        {"name or OID: a choice out of range", 18, P(GEN_NameOrOID{3, {1}}), P(Oid(5)), 0,
         GEN_S_INVALID},
        {"name or OID: an empty name sorts last", 18, empty_name, a_name, 1, 0, false,
         BY(CompareNameOrOID, NameOrOID)},
        {"binary name or OID: an empty name first", 18, empty_name, a_name, -1, 0, true,
         BY(BinCompareNameOrOID, NameOrOID)},
        {"winnt names ignore case", 6, nt_lower, dn(1, "JOE", winnt), 0, 0, false,
         BY(CompareDistNameString, DistNameString)},
        {"dce names do not", 6, dn(1, "joe", dce), dce_upper, 1},
        {"a syntax named by name ignores case", 6, dn(3, "joe", named), dn(3, "JOE", named), 0},
        {"a name with a syntax sorts after one without", 6, nt_lower, bare, 1},
        {"the syntaxes decide first", 6, dce_upper, nt_lower, -1},
        {"binary: the names decide first", 6, dce_upper, nt_lower, -1, 0, true,
         BY(BinCompareDistNameString, DistNameString)},
        {"binary: winnt names keep their case", 6, nt_lower, dn(1, "JOE", winnt), 1, 0, true},
        {"sequences differing in their second elements", 60, seq(1, 2), seq(1, 3), -1},
        {"the shorter sequence first", 60, seq(1, 0), seq(1, 2), -1},
        {"object identification: choices first", 64,
         P(GEN_ObjectIdent{GEN_OBJID_JOB_ID, {.job_id = {"z"}}}),
         P(GEN_ObjectIdent{GEN_OBJID_OID, {}}), -1, 0, false, BY(CompareObjectIdent, ObjectIdent)},
        {"fonts: an empty name sorts last", 9, font(""), font("b"), 1, 0, false,
         BY(CompareFontReference, FontReference)},
        {"binary fonts: an empty name first", 9, font(""), font("b"), -1, 0, true,
         BY(BinCompareFontReference, FontReference)},
        {"sequences of names: the shorter first", 42, P(GEN_DistNameStringSeq{nullptr, *bare}),
         P(GEN_DistNameStringSeq{P(GEN_DistNameStringSeq{nullptr, *bare}), *bare}), -1, 0, false,
         BY(CompareDistNameStringSeq, DistNameStringSeq)},
        {"results profile: absent copies count as 1", 81, copies(nullptr), copies(P(1u)), 0},
        {"results profile: copies first", 81, copies(P(2u)), copies(nullptr), 1},
        {"cardinal map: one identifier absent", 33, P(GEN_OidCardinalMap{P<GENU_ShortOID>(1), 4}),
         P(GEN_OidCardinalMap{nullptr, 4}), 1},
        {"input tray medium: the tray first", 49, P(GEN_InputTrayMedium{Oid(1), Oid(9)}),
         P(GEN_InputTrayMedium{Oid(2), Oid(0)}), -1},
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
        EXPECT_EQ(st_.Code(), want_code);
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

// Nested beyond the bound, the walk stops with an invalid value.
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
        EXPECT_EQ(st.Failed(GEN_CompareAttrValue(st, 37, a, b, &r)),
                  depth < GEN_MAX_NESTING ? ~0u : GEN_S_INVALID);
        EXPECT_EQ(r, depth < GEN_MAX_NESTING ? 0 : 99);
        GEN_DeleteCriteria(st.Fresh(), a, nullptr);
        GEN_DeleteCriteria(st.Fresh(), b, nullptr);
    }
}

// The result of a comparison or equality test; 99 when it fails.
template <typename T>
int32_t Result(int (*fn)(STF_List *, const T *, const T *, int32_t *), const T &a, const T &b) {
    StatusList st;
    int32_t r = 99;
    return fn(st, &a, &b, &r) == 0 ? r : 99;
}

// Equality tests answer 1 for equal; an absent document number sorts first.
TEST(CompareForms, CaseInsensitiveEqualityAndDocuments) {
    StatusList st;
    int32_t r = 99;
    uint32_t n = 2;
    GEN_Text low = Txt(1, "abc"), up3 = Txt(3, "ABC"), low3 = Txt(3, "abc"), k4 = Txt(4, "abc"),
             c1 = Txt(5, "x", 1, 1u), c2 = Txt(5, "x", 1, 2u);
    GEN_SimpleName nu = Name(3, "Tray");
    EXPECT_EQ(Result(GEN_ICompareText, Txt(1, "ABC"), low), 0);
    EXPECT_EQ(Result(GEN_ICompareText, up3, low3), 0);
    EXPECT_EQ(Result(GEN_ICompareOctetString, Oct("AB"), Oct("abc")), -1);
    EXPECT_EQ(Result(GEN_EqualText, low, low3), 1);
    EXPECT_EQ(Result(GEN_EqualText, Txt(3, ""), Txt(1, "")), 1);
    EXPECT_EQ(Result(GEN_EqualText, up3, low3), 0);
    EXPECT_EQ(st.Failed(GEN_EqualText(st, &low3, &k4, &r)), GEN_S_NOTSUPP);
    EXPECT_EQ(GEN_EqualText(st, &c1, &c2, &r), 1);
    EXPECT_EQ(Result(GEN_EqualSimpleName, nu, Name(3, "tray")), 0);
    EXPECT_EQ(st.Failed(GEN_EqualSimpleName(st, &nu, nullptr, &r)), GEN_S_NULLARG);
    EXPECT_EQ(Result(GEN_CompareDocumentIdentifier, GEN_DocumentIdentifier{{"a"}, &n},
                     GEN_DocumentIdentifier{{"a"}, nullptr}),
              1);
}

// By subidentifier value: 16384 (three bytes) is above 16383 (two bytes), though its
// first byte is smaller; a missing or empty identifier sorts last.
TEST(CompareObjectID, SubidentifiersByValue) {
    using Bytes = std::vector<unsigned char>;
    const struct {
        Bytes a, b;
        int32_t want;
    } cases[] = {{{0x2B, 6, 1}, {0x2B, 6, 1}, 0},
                 {{0x2B, 6}, {0x2B, 6, 1}, -1},
                 {{0x2B, 7}, {0x2B, 6, 1}, 1},
                 {{0x2B, 0x81, 0x80, 0x00}, {0x2B, 0xFF, 0x7F}, 1},
                 {{0x2B, 0x7F}, {0x2B, 0x81, 0x00}, -1},
                 {{}, {0x2B}, 1},
                 {{0x2B}, {}, -1},
                 {{}, {}, 0}};
    for (const auto &c : cases) {
        GEN_ObjectID x{static_cast<uint16_t>(c.a.size()), const_cast<unsigned char *>(c.a.data())},
            y{static_cast<uint16_t>(c.b.size()), const_cast<unsigned char *>(c.b.data())};
        int32_t r = 99;
        GEN_CompareObjectID(&x, &y, &r);
        EXPECT_EQ(r, c.want);
    }
    int32_t r = 99;
    GEN_ObjectID x{1, nullptr}, y{0, nullptr};
    GEN_CompareObjectID(&x, nullptr, &r);
    EXPECT_EQ(r, 0);
    GEN_CompareObjectID(&y, &x, nullptr); // no result: nothing done
}

// ---- Properties on random values ----------------------------------------

// The types whose rule is a total order (no equality-only rules, reals, attributes).
const uint32_t kOrdered[] = {1,  12, 21, 71, 31, 48, 55, 28, 27, 20, 14, 18, 6,
                             42, 60, 64, 9,  34, 35, 72, 61, 43, 8,  39, 81, 45,
                             46, 49, 67, 69, 74, 76, 85, 87, 88, 89, 91, 92, 94};

// Every pair of random values and a copy, both ways: antisymmetric, nothing changed;
// a narrow kind (not 0, any kind) shares components and must be transitive.
void CheckOrder(uint32_t type, std::mt19937 &rng, int32_t kind) {
    const vrcore::syntax::TypeInfo &info = *TypeOfValueType(type);
    const GENU_ValueDescriptor *desc = GENU_AVT2Descriptor(type);
    std::optional<NarrowValues> narrow;
    if (kind) narrow.emplace(kind);
    std::vector<void *> v(15);
    std::vector<std::string> dumps;
    for (int i = 0; i < 14; ++i) dumps.push_back(Dump(info, v[i] = NewRandomValue(rng, info)));
    StatusList st;
    ASSERT_EQ(desc->copy(st, &v[14], v[0], nullptr), 0);
    dumps.push_back(dumps[0]);
    const size_t n = v.size();
    std::vector<int64_t> s(n * n); // the sign of each result, or 2 + the failure's code
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j) {
            int32_t r = 0;
            int rc = GEN_CompareAttrValue(st, type, v[i], v[j], &r);
            s[i * n + j] = rc ? 2 + int64_t{st.Code()} : (r > 0) - (r < 0);
            ASSERT_TRUE(!kind || rc == 0) << std::hex << st.Code();
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
