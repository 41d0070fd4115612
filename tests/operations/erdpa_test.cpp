// Error results: precedence between kinds, merging within a kind, failed
// builders leaving the result alone, release and the text forms.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ops_test_util.h"
#include "vrcore/erdpa.h"

namespace {

using vrtest_ops::Status;

// An object identification naming a job, and a text message.
struct Parts {
    GEN_ObjectIdent *object = nullptr;
    GEN_ErrorMessage message{};
    explicit Parts(const char *job, const char *text = "went wrong") {
        Status st;
        EXPECT_EQ(GENU_MakeObjectIdent_JobId(st.list, &object, job, nullptr), 0);
        GEN_Text t{};
        EXPECT_EQ(GENU_MakeEmbeddedText(st.list, &t, text, nullptr), 0);
        EXPECT_EQ(GENU_MakeEmbeddedErrorMsg(st.list, &message, &t, nullptr, nullptr), 0);
        GEN_DeepDeleteText(st.list, &t, nullptr);
    }
    ~Parts() {
        Status st;
        GEN_DeleteObjectIdent(st.list, object, nullptr);
        GEN_DeepDeleteErrorMessage(st.list, &message, nullptr);
    }
    Parts(const Parts &) = delete;
    Parts &operator=(const Parts &) = delete;
};

// One attribute in a set of its own.
struct OneAttr {
    AS_SetHandle set = AS_nullSetHandle;
    AS_AttrHandle attr = AS_nullAttrHandle;
    OneAttr() {
        Status st;
        GENU_ShortOID id = 0;
        EXPECT_EQ(GENU_AsciiToShortOID(st.list, "id-att-copy-count", &id), 0);
        EXPECT_EQ(AS_Create(st.list, &set, nullptr, 0), 0);
        GEN_Cardinal c = 3;
        EXPECT_EQ(AS_AddAttrValM(st.list, set, id, 1, &c, &GENU_CardinalDesc, &attr), 0);
    }
    ~OneAttr() {
        Status st;
        AS_FreeAttrHandle(st.list, &attr);
        AS_Destroy(st.list, &set);
    }
};

// Reports one problem of the kind into *r.
int Report(STF_List *st, ERDPA_ErrorResult **r, uint32_t kind, uint32_t code, const Parts &p,
           const GEN_ObjectIdent *attr_object = nullptr) {
    static OneAttr attr;
    switch (kind) {
    case ERDPA_UPDATE: return ERDPA_Update(st, r, code, p.object, &p.message);
    case ERDPA_ATTRIBUTE: return ERDPA_Attribute(st, r, code, attr.attr, attr_object, &p.message);
    case ERDPA_DOCUMENT_ACCESS: return ERDPA_DocumentAccess(st, r, code, p.object, &p.message);
    case ERDPA_SELECTION: return ERDPA_Selection(st, r, code, attr.set, p.object, &p.message);
    case ERDPA_PRINTER: return ERDPA_Printer(st, r, code, p.object, &p.message);
    case ERDPA_ACCESS: return ERDPA_Access(st, r, code, p.object, &p.message);
    case ERDPA_SERVICE: return ERDPA_Service(st, r, code, AS_nullSetHandle, p.object, &p.message);
    default: return ERDPA_Security(st, r, code, &p.message);
    }
}

// Problem codes of the result, in order.
std::vector<uint32_t> Codes(const ERDPA_ErrorResult *r) {
    std::vector<uint32_t> out;
    switch (r->kind) {
    case ERDPA_UPDATE:
    case ERDPA_DOCUMENT_ACCESS:
    case ERDPA_PRINTER: out.push_back(static_cast<ERDPA_ObjectProblem *>(r->data)->problem_code); break;
    case ERDPA_SECURITY: out.push_back(static_cast<ERDPA_SecurityProblem *>(r->data)->problem_code); break;
    case ERDPA_ACCESS:
        for (auto *p = static_cast<ERDPA_AccessProblem *>(r->data); p; p = p->next) out.push_back(p->problem_code);
        break;
    case ERDPA_ATTRIBUTE:
        for (auto *p = static_cast<ERDPA_AttributeError *>(r->data)->problems; p; p = p->next)
            out.push_back(p->problem_code);
        break;
    default:
        for (auto *p = static_cast<ERDPA_SelectionProblem *>(r->data); p; p = p->next) out.push_back(p->problem_code);
    }
    return out;
}

TEST(ErrorResults, HighestKindSurvivesWhateverTheOrder) {
    Status st;
    Parts p("job-1");
    for (uint32_t first = 1; first <= 8; ++first) {
        for (uint32_t second = 1; second <= 8; ++second) {
            ERDPA_ErrorResult *r = nullptr;
            ASSERT_EQ(Report(st.list, &r, first, 1, p), 0) << first << std::hex << " " << st.code();
            ASSERT_EQ(Report(st.list, &r, second, 2, p), 0) << second;
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(r->kind, std::max(first, second));
            std::vector<uint32_t> codes = Codes(r);
            if (first != second) {
                EXPECT_EQ(codes, std::vector<uint32_t>{first > second ? 1u : 2u}) << first << " " << second;
            } else if (first == ERDPA_ACCESS || first == ERDPA_SELECTION || first == ERDPA_SERVICE ||
                       first == ERDPA_ATTRIBUTE) {
                EXPECT_EQ(codes, (std::vector<uint32_t>{1, 2})) << first; // appended
            } else {
                EXPECT_EQ(codes, std::vector<uint32_t>{1}) << first; // the first stays
            }
            EXPECT_EQ(ERDPA_FreeError(st.list, r), 0);
        }
    }
}

TEST(ErrorResults, AttributeProblemsMergeOnlyForTheSameObject) {
    Status st;
    Parts p("job-1"), same("job-1"), other("job-2");
    struct Case {
        const GEN_ObjectIdent *first, *second;
        size_t problems;
    } cases[] = {{p.object, same.object, 2}, {p.object, other.object, 1}, {nullptr, nullptr, 2},
                 {p.object, nullptr, 1},     {nullptr, p.object, 1}};
    for (const Case &c : cases) {
        ERDPA_ErrorResult *r = nullptr;
        ASSERT_EQ(Report(st.list, &r, ERDPA_ATTRIBUTE, 5, p, c.first), 0);
        ASSERT_EQ(Report(st.list, &r, ERDPA_ATTRIBUTE, 7, p, c.second), 0);
        EXPECT_EQ(Codes(r).size(), c.problems);
        auto *h = static_cast<ERDPA_AttributeError *>(r->data);
        EXPECT_EQ(h->object != nullptr, c.first != nullptr);
        // The problem holds a copy of the attribute, not the caller's set.
        GEN_Cardinal *v = nullptr;
        GENU_ShortOID id = 0;
        ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-copy-count", &id), 0);
        ASSERT_EQ(AS_GetAttrVal(st.list, h->problems->attribute, id, reinterpret_cast<void **>(&v)), 0);
        EXPECT_EQ(*v, 3u);
        ERDPA_FreeError(st.list, r);
    }
}

TEST(ErrorResults, FailedBuildersLeaveTheResultAlone) {
    Status st;
    Parts p("job-1");
    ERDPA_ErrorResult *r = nullptr;
    ASSERT_EQ(ERDPA_Access(st.list, &r, 2, p.object, &p.message), 0);
    ERDPA_ErrorResult *const before = r;
    EXPECT_EQ(ERDPA_Security(st.list, &r, 1, nullptr), 1);
    EXPECT_EQ(st.code(), ERDPA_S_ARG1);
    EXPECT_EQ(ERDPA_Printer(st.list, &r, 1, p.object, nullptr), 1);
    EXPECT_EQ(st.code(), ERDPA_S_ARG2);
    EXPECT_EQ(ERDPA_Service(st.list, &r, 1, AS_nullSetHandle, nullptr, &p.message), 1);
    EXPECT_EQ(st.code(), ERDPA_S_ARG2);
    EXPECT_EQ(ERDPA_Selection(st.list, &r, 1, AS_nullSetHandle, p.object, nullptr), 1);
    EXPECT_EQ(st.code(), ERDPA_S_ARG3);
    EXPECT_EQ(ERDPA_Attribute(st.list, &r, 1, AS_nullAttrHandle, nullptr, &p.message), 1);
    EXPECT_EQ(st.code(), ERDPA_S_ATTRCOPY);
    EXPECT_EQ(ERDPA_Access(st.list, nullptr, 1, p.object, &p.message), 1);
    EXPECT_EQ(st.code(), ERDPA_S_NORESULT);
    EXPECT_EQ(r, before);
    EXPECT_EQ(r->kind, static_cast<uint32_t>(ERDPA_ACCESS));
    EXPECT_EQ(Codes(r), std::vector<uint32_t>{2});
    ERDPA_FreeError(st.list, r);
}

TEST(ErrorResults, CopiesAreTheResultsOwn) {
    Status st;
    ERDPA_ErrorResult *r = nullptr;
    OneAttr attr;
    {
        Parts p("job-9", "printer jammed");
        ASSERT_EQ(ERDPA_Selection(st.list, &r, 2, attr.set, p.object, &p.message), 0);
    }
    // The caller's values are gone; the result's copies remain.
    auto *s = static_cast<ERDPA_SelectionProblem *>(r->data);
    EXPECT_STREQ(s->object.u.job_id.value, "job-9");
    ASSERT_NE(s->set, nullptr);
    EXPECT_NE(*s->set, attr.set);
    uint32_t count = 0;
    ASSERT_EQ(AS_GetCount(st.list, *s->set, &count), 0);
    EXPECT_EQ(count, 1u);
    char *text = ErrorResult2String(r);
    EXPECT_STREQ(text, "printer jammed");
    GENU__CoveredFree(text);
    ERDPA_FreeError(st.list, r);
}

TEST(ErrorResults, TextForms) {
    Status st;
    Parts p("job-1", "no paper");
    auto str = [](const ERDPA_ErrorResult *r) {
        char *s = ErrorResult2String(r);
        std::string out = s ? s : "<null>";
        GENU__CoveredFree(s);
        return out;
    };
    EXPECT_EQ(str(nullptr), "Null Error Result");
    ERDPA_ErrorResult odd{42, nullptr};
    EXPECT_EQ(str(&odd), "Unknown Error Type");
    const char *corrupted[] = {"Update Error corrupted",  "Attribute Error corrupted", "Document Access Error corrupted",
                               "Selection Error corrupted", "Printer Error corrupted", "Access Error corrupted",
                               "Service Error corrupted", "Security Error Corrupted)"};
    for (uint32_t k = 1; k <= 8; ++k) {
        ERDPA_ErrorResult empty{k, nullptr};
        EXPECT_EQ(str(&empty), corrupted[k - 1]);
    }

    ERDPA_ErrorResult *r = nullptr;
    ASSERT_EQ(ERDPA_Access(st.list, &r, 1, p.object, &p.message), 0);
    EXPECT_EQ(str(r), "no paper");
    auto *a = static_cast<ERDPA_AccessProblem *>(r->data);
    a->problem_form = ERDPA_EXTENDED_PROBLEM;
    EXPECT_EQ(str(r), "Extended Problem");
    a->problem_form = ERDPA_STANDARD_PROBLEM;
    // An octet-string message is extracted; another form is corrupt.
    GEN_DeepDeleteErrorMessage(st.list, &a->message, nullptr);
    GEN_OctetString o{5, reinterpret_cast<unsigned char *>(const_cast<char *>("bytes"))};
    ASSERT_EQ(GENU_MakeEmbeddedErrorMsg(st.list, &a->message, nullptr, &o, nullptr), 0);
    EXPECT_EQ(str(r), "bytes");
    int32_t saved = a->message.choice;
    a->message.choice = 9;
    EXPECT_EQ(str(r), "Error Message corrupted");
    a->message.choice = saved;
    ERDPA_FreeError(st.list, r);

    // Codes outside a kind's table, including the gaps inside it.
    EXPECT_STREQ(ToAscii_AttributeProblem(1), "unknown Attribute error type");
    EXPECT_STREQ(ToAscii_UpdateProblem(3), "unknown Update error type");
    EXPECT_STREQ(ToAscii_ServiceProblem(16), "unknown Service error type");
    EXPECT_STREQ(ToAscii_PrinterProblem(0), "unknown Printer error type");
}

TEST(ErrorResults, FreeingAnUnknownKind) {
    Status st;
    EXPECT_EQ(ERDPA_FreeError(st.list, nullptr), 0);
    auto *r = static_cast<ERDPA_ErrorResult *>(GENU__CoveredMalloc(sizeof(ERDPA_ErrorResult)));
    r->kind = 77;
    r->data = nullptr;
    EXPECT_EQ(ERDPA_FreeError(st.list, r), 1);
    EXPECT_EQ(st.code(), ERDPA_S_BADKIND);
}

} // namespace
