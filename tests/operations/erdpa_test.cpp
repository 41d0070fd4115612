// Error results and the error PDUs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ops_test_util.h"

namespace {

using vrtest_ops::Parts;
using vrtest_ops::Status;

// The problems of a result, in order.
struct Problem {
    int32_t form;
    uint32_t code;
    const GEN_ObjectIdent *object;
    const GEN_ErrorMessage *message;
    bool set; // an attribute or set comes with it
};
std::vector<Problem> Problems(const ERDPA_ErrorResult *r) {
    std::vector<Problem> out;
    switch (r->kind) {
    case ERDPA_UPDATE:
    case ERDPA_DOCUMENT_ACCESS:
    case ERDPA_PRINTER: {
        auto *p = static_cast<ERDPA_ObjectProblem *>(r->data);
        return {{p->problem_form, p->problem_code, &p->object, &p->message, false}};
    }
    case ERDPA_SECURITY: {
        auto *p = static_cast<ERDPA_SecurityProblem *>(r->data);
        return {{p->problem_form, p->problem_code, nullptr, &p->message, false}};
    }
    case ERDPA_ACCESS:
        for (auto *p = static_cast<ERDPA_AccessProblem *>(r->data); p; p = p->next)
            out.push_back({p->problem_form, p->problem_code, &p->object, &p->message, false});
        return out;
    case ERDPA_ATTRIBUTE:
        for (auto *p = static_cast<ERDPA_AttributeError *>(r->data)->problems; p; p = p->next)
            out.push_back({p->problem_form, p->problem_code,
                           static_cast<ERDPA_AttributeError *>(r->data)->object, &p->message,
                           p->attribute != AS_nullSetHandle});
        return out;
    default:
        for (auto *p = static_cast<ERDPA_SelectionProblem *>(r->data); p; p = p->next)
            out.push_back(
                {p->problem_form, p->problem_code, &p->object, &p->message, p->set != nullptr});
        return out;
    }
}

std::vector<uint32_t> Codes(const ERDPA_ErrorResult *r) {
    std::vector<uint32_t> out;
    for (const Problem &p : Problems(r)) out.push_back(p.code);
    return out;
}

std::string Text(const ERDPA_ErrorResult *r) {
    char *s = ErrorResult2String(r);
    std::string out = s ? s : "<null>";
    GENU__CoveredFree(s);
    return out;
}

TEST(ErrorResults, HighestKindSurvivesWhateverTheOrder) {
    Status st;
    Parts p("job-1");
    for (uint32_t first = 1; first <= 8; ++first) {
        for (uint32_t second = 1; second <= 8; ++second) {
            ERDPA_ErrorResult *r = nullptr;
            ASSERT_EQ(p.Report(st, &r, first, 1), 0) << first << std::hex << " " << st.Code();
            ASSERT_EQ(p.Report(st, &r, second, 2), 0) << second;
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(r->kind, std::max(first, second));
            // Another kind: the higher one alone; the same: a list, or the first stays.
            bool list = first == ERDPA_ACCESS || first == ERDPA_SELECTION ||
                        first == ERDPA_SERVICE || first == ERDPA_ATTRIBUTE;
            EXPECT_EQ(Codes(r), (first != second ? std::vector<uint32_t>{first > second ? 1u : 2u}
                                 : list          ? std::vector<uint32_t>{1, 2}
                                                 : std::vector<uint32_t>{1}))
                << first << " " << second;
            EXPECT_EQ(ERDPA_FreeError(st, r), 0);
        }
    }
}

TEST(ErrorResults, AttributeProblemsMergeOnlyForTheSameObject) {
    Status st;
    Parts p("job-1"), same("job-1"), other("job-2");
    struct Case {
        const GEN_ObjectIdent *first, *second;
        size_t problems;
    } cases[] = {{p.object, same.object, 2},
                 {p.object, other.object, 1},
                 {nullptr, nullptr, 2},
                 {p.object, nullptr, 1},
                 {nullptr, p.object, 1}};
    for (const Case &c : cases) {
        ERDPA_ErrorResult *r = nullptr;
        ASSERT_EQ(p.Report(st, &r, ERDPA_ATTRIBUTE, 5, c.first), 0);
        ASSERT_EQ(p.Report(st, &r, ERDPA_ATTRIBUTE, 7, c.second), 0);
        EXPECT_EQ(Codes(r).size(), c.problems);
        auto *h = static_cast<ERDPA_AttributeError *>(r->data);
        EXPECT_EQ(h->object != nullptr, c.first != nullptr);
        // The problem holds a copy of the attribute, not the caller's set.
        GEN_Cardinal *v = nullptr;
        EXPECT_NE(h->problems->attribute, p.set);
        ASSERT_EQ(AS_GetAttrVal(st, h->problems->attribute, p.id, reinterpret_cast<void **>(&v)),
                  0);
        EXPECT_EQ(*v, 3u);
        ERDPA_FreeError(st, r);
    }
}

TEST(ErrorResults, FailedBuildersLeaveTheResultAlone) {
    Status st;
    Parts p("job-1");
    ERDPA_ErrorResult *r = nullptr;
    ASSERT_EQ(ERDPA_Access(st, &r, 2, p.object, &p.message), 0);
    ERDPA_ErrorResult *const before = r;
    EXPECT_EQ(st.Failed(ERDPA_Security(st, &r, 1, nullptr)), ERDPA_S_ARG1);
    EXPECT_EQ(st.Failed(ERDPA_Printer(st, &r, 1, p.object, nullptr)), ERDPA_S_ARG2);
    EXPECT_EQ(st.Failed(ERDPA_Service(st, &r, 1, AS_nullSetHandle, nullptr, &p.message)),
              ERDPA_S_ARG2);
    EXPECT_EQ(st.Failed(ERDPA_Selection(st, &r, 1, AS_nullSetHandle, p.object, nullptr)),
              ERDPA_S_ARG3);
    EXPECT_EQ(st.Failed(ERDPA_Attribute(st, &r, 1, AS_nullAttrHandle, nullptr, &p.message)),
              ERDPA_S_ATTRCOPY);
    EXPECT_EQ(st.Failed(ERDPA_Access(st, nullptr, 1, p.object, &p.message)), ERDPA_S_NORESULT);
    EXPECT_EQ(r, before);
    EXPECT_EQ(r->kind, static_cast<uint32_t>(ERDPA_ACCESS));
    EXPECT_EQ(Codes(r), std::vector<uint32_t>{2});
    ERDPA_FreeError(st, r);
}

TEST(ErrorResults, TextFormsAndRelease) {
    Status st;
    EXPECT_EQ(Text(nullptr), "Null Error Result");
    EXPECT_STREQ(ToAscii_UpdateProblem(3), "unknown Update error type");
    EXPECT_EQ(ERDPA_FreeError(st, nullptr), 0);
    auto *unknown =
        static_cast<ERDPA_ErrorResult *>(GENU__CoveredMalloc(sizeof(ERDPA_ErrorResult)));
    *unknown = ERDPA_ErrorResult{77, nullptr};
    EXPECT_EQ(st.Failed(ERDPA_FreeError(st, unknown)), 0xC010006Cu);
}

// The same problems (attributes and sets compared through the bytes).
void ExpectSameResults(const ERDPA_ErrorResult *a, const ERDPA_ErrorResult *b) {
    ASSERT_EQ(a->kind, b->kind);
    auto pa = Problems(a), pb = Problems(b);
    ASSERT_EQ(pa.size(), pb.size());
    for (size_t i = 0; i < pa.size(); ++i) {
        EXPECT_EQ(std::tie(pa[i].form, pa[i].code, pa[i].set),
                  std::tie(pb[i].form, pb[i].code, pb[i].set));
        const GEN_ErrorMessage &ma = *pa[i].message, &mb = *pb[i].message;
        Status st;
        int32_t cmp = 1, same_object = 1;
        ASSERT_EQ(ma.choice, mb.choice);
        EXPECT_TRUE(!(ma.choice == GEN_ERRMSG_TEXT
                          ? GEN_CompareText(st, &ma.u.text, &mb.u.text, &cmp)
                          : GEN_CompareOctetString(st, &ma.u.octets, &mb.u.octets, &cmp)) &&
                    !cmp);
        ASSERT_EQ(!pa[i].object, !pb[i].object);
        EXPECT_TRUE(!pa[i].object ||
                    (!GEN_CompareObjectIdent(st, pa[i].object, pb[i].object, &same_object) &&
                     !same_object));
    }
}

// The parts are gone before the results are encoded: the results hold copies.
TEST(ErrorPdus, EveryKindRoundTripsUnderItsWireKindAndUnderKindZero) {
    Status st;
    const int32_t wire[] = {0, 4, 1, 11, 13, 12, 3, 10, 9};
    for (uint32_t kind = 1; kind <= 8; ++kind) {
        if (kind != ERDPA_SECURITY && kind != ERDPA_ATTRIBUTE && !vrtest_ops::ObjectsPack())
            continue;
        ERDPA_ErrorResult *r = vrtest_ops::TwoProblems(Parts("printer-7", "out of toner"), kind);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(Text(r), "out of toner");
        int32_t w = -1;
        GENU_Buffer bytes{};
        ASSERT_EQ(ERDPA_EncodeError(st, r, &w, &bytes), 0) << kind << std::hex << " " << st.Code();
        EXPECT_EQ(w, wire[kind]);
        for (int32_t as : {w, 0}) {
            ERDPA_ErrorResult *back = nullptr;
            ASSERT_EQ(ERDPA_DecodeError(st, as, bytes.value, bytes.length, &back), 0)
                << kind << " as " << as << std::hex << " " << st.Code();
            ExpectSameResults(r, back);
            GENU_Buffer again{};
            ASSERT_EQ(ERDPA_EncodeError(st, back, &w, &again), 0);
            EXPECT_TRUE(again.length == bytes.length &&
                        !memcmp(again.value, bytes.value, bytes.length))
                << kind;
            _GENU__MyFree(again.value);
            ERDPA_FreeError(st, back);
        }
        // Under another kind's number, or an unknown one, the bytes do not decode.
        for (int32_t as : {wire[kind % 8 + 1], 14}) {
            ERDPA_ErrorResult *wrong = r;
            EXPECT_EQ(st.Failed(ERDPA_DecodeError(st, as, bytes.value, bytes.length, &wrong)),
                      0xC009006Au);
            EXPECT_EQ(wrong, nullptr);
        }
        _GENU__MyFree(bytes.value);
        ERDPA_FreeError(st, r);
    }
}

TEST(ErrorPdus, ProblemForms) {
    Parts p("job-1", "out of toner");
    Status st;
    ERDPA_ErrorResult *r = nullptr;
    ASSERT_EQ(ERDPA_Security(st, &r, 3, &p.message), 0);
    auto *s = static_cast<ERDPA_SecurityProblem *>(r->data);
    GENU_ShortOID ext = vrtest_ops::Id("id-att-job-name");
    struct Case {
        int32_t form;
        uint32_t code;
        uint32_t decode_status; // 0: decodes
    } cases[] = {{ERDPA_EXTENDED_PROBLEM, ext, 0},
                 {ERDPA_STANDARD_PROBLEM, 4, 0},
                 {ERDPA_STANDARD_PROBLEM, 5, 0xC0090095u},
                 {ERDPA_STANDARD_PROBLEM, 0, 0xC0090095u}};
    for (const Case &c : cases) {
        s->problem_form = c.form;
        s->problem_code = c.code;
        int32_t w = 0;
        GENU_Buffer bytes{};
        ASSERT_EQ(ERDPA_EncodeError(st, r, &w, &bytes), 0);
        ERDPA_ErrorResult *back = nullptr;
        int rc = ERDPA_DecodeError(st, w, bytes.value, bytes.length, &back);
        _GENU__MyFree(bytes.value);
        if (c.decode_status) {
            EXPECT_EQ(st.Failed(rc), c.decode_status) << c.code;
            EXPECT_EQ(back, nullptr);
            continue;
        }
        ASSERT_EQ(rc, 0) << std::hex << st.Code();
        ExpectSameResults(r, back);
        EXPECT_EQ(Text(back),
                  c.form == ERDPA_EXTENDED_PROBLEM ? "Extended Problem" : "out of toner");
        ERDPA_FreeError(st, back);
    }
    // A form the wire cannot carry, or an unknown kind, is refused by the encoder.
    s->problem_form = 7;
    int32_t w = 0;
    GENU_Buffer bytes{};
    EXPECT_EQ(ERDPA_EncodeError(st, r, &w, &bytes), 1);
    EXPECT_EQ(bytes.value, nullptr);
    ERDPA_FreeError(st, r);
    ERDPA_ErrorResult odd{99, nullptr};
    EXPECT_EQ(ERDPA_EncodeError(st, &odd, &w, &bytes), 1);
}

} // namespace
