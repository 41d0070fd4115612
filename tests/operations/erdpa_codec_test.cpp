// Error PDUs: every kind built by the builders travels and comes back
// equal; wire kinds, problem forms and hostile input behave.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "encoding/codes.h"
#include "ops_test_util.h"
#include "vrcore/erdpa.h"

namespace {

using vrtest_ops::Status;

bool ObjectsPack() { return GENU_TypeToPDU(64) >= 0; }

struct Fixture {
    GEN_ObjectIdent *object = nullptr;
    GEN_ErrorMessage text{}, octets{};
    AS_SetHandle set = AS_nullSetHandle;
    AS_AttrHandle attr = AS_nullAttrHandle;
    Fixture() {
        Status st;
        GEN_SimpleName n{};
        n.kind = GEN_KIND_IRV;
        strcpy(n.u.string, "printer-7");
        EXPECT_EQ(GENU_MakeObjectIdent_SimpleName(st.list, &object, &n, nullptr), 0);
        GEN_Text t{};
        EXPECT_EQ(GENU_MakeEmbeddedText(st.list, &t, "out of toner", nullptr), 0);
        EXPECT_EQ(GENU_MakeEmbeddedErrorMsg(st.list, &text, &t, nullptr, nullptr), 0);
        GEN_DeepDeleteText(st.list, &t, nullptr);
        GEN_OctetString o{4, reinterpret_cast<unsigned char *>(const_cast<char *>("\x01\x02\x03\x04"))};
        EXPECT_EQ(GENU_MakeEmbeddedErrorMsg(st.list, &octets, nullptr, &o, nullptr), 0);
        GENU_ShortOID id = 0;
        EXPECT_EQ(GENU_AsciiToShortOID(st.list, "id-att-job-name", &id), 0);
        EXPECT_EQ(AS_Create(st.list, &set, nullptr, 0), 0);
        GEN_SimpleName v{};
        v.kind = GEN_KIND_STRING;
        strcpy(v.u.string, "quarterly report");
        EXPECT_EQ(AS_AddAttrValM(st.list, set, id, 27, &v, &GENU_SimpleNameDesc, &attr), 0);
    }
    ~Fixture() {
        Status st;
        GEN_DeleteObjectIdent(st.list, object, nullptr);
        GEN_DeepDeleteErrorMessage(st.list, &text, nullptr);
        GEN_DeepDeleteErrorMessage(st.list, &octets, nullptr);
        AS_FreeAttrHandle(st.list, &attr);
        AS_Destroy(st.list, &set);
    }
};

// Two problems of the kind (one only where the kind keeps one).
ERDPA_ErrorResult *Build(const Fixture &f, uint32_t kind) {
    Status st;
    ERDPA_ErrorResult *r = nullptr;
    for (uint32_t code : {1u, 2u}) {
        const GEN_ErrorMessage *m = code == 1 ? &f.text : &f.octets;
        int rc = 0;
        switch (kind) {
        case ERDPA_UPDATE: rc = ERDPA_Update(st.list, &r, code, f.object, m); break;
        case ERDPA_ATTRIBUTE: rc = ERDPA_Attribute(st.list, &r, code + 1, f.attr, ObjectsPack() ? f.object : nullptr, m); break;
        case ERDPA_DOCUMENT_ACCESS: rc = ERDPA_DocumentAccess(st.list, &r, code, f.object, m); break;
        case ERDPA_SELECTION: rc = ERDPA_Selection(st.list, &r, code, code == 1 ? f.set : AS_nullSetHandle, f.object, m); break;
        case ERDPA_PRINTER: rc = ERDPA_Printer(st.list, &r, code, f.object, m); break;
        case ERDPA_ACCESS: rc = ERDPA_Access(st.list, &r, code, f.object, m); break;
        case ERDPA_SERVICE: rc = ERDPA_Service(st.list, &r, code, f.set, f.object, m); break;
        default: rc = ERDPA_Security(st.list, &r, code, m); break;
        }
        EXPECT_EQ(rc, 0) << kind << std::hex << " " << st.code();
    }
    return r;
}

void ExpectSameMessage(const GEN_ErrorMessage &a, const GEN_ErrorMessage &b) {
    Status st;
    ASSERT_EQ(a.choice, b.choice);
    int32_t cmp = 1;
    if (a.choice == GEN_ERRMSG_TEXT)
        ASSERT_EQ(GEN_CompareText(st.list, &a.u.text, &b.u.text, &cmp), 0);
    else
        ASSERT_EQ(GEN_CompareOctetString(st.list, &a.u.octets, &b.u.octets, &cmp), 0);
    EXPECT_EQ(cmp, 0);
}

void ExpectSameObject(const GEN_ObjectIdent *a, const GEN_ObjectIdent *b) {
    ASSERT_EQ(a == nullptr, b == nullptr);
    if (!a) return;
    Status st;
    int32_t cmp = 1;
    ASSERT_EQ(GEN_CompareObjectIdent(st.list, a, b, &cmp), 0);
    EXPECT_EQ(cmp, 0);
}

// Number of attributes of a set (0 for the null handle).
uint32_t Attrs(AS_SetHandle s) {
    if (!s) return 0;
    Status st;
    uint32_t n = 0;
    AS_GetCount(st.list, s, &n);
    return n;
}

void ExpectSameResults(const ERDPA_ErrorResult *a, const ERDPA_ErrorResult *b) {
    ASSERT_EQ(a->kind, b->kind);
    switch (a->kind) {
    case ERDPA_UPDATE:
    case ERDPA_DOCUMENT_ACCESS:
    case ERDPA_PRINTER: {
        auto *x = static_cast<ERDPA_ObjectProblem *>(a->data), *y = static_cast<ERDPA_ObjectProblem *>(b->data);
        EXPECT_EQ(x->problem_form, y->problem_form);
        EXPECT_EQ(x->problem_code, y->problem_code);
        ExpectSameObject(&x->object, &y->object);
        ExpectSameMessage(x->message, y->message);
        break;
    }
    case ERDPA_SECURITY: {
        auto *x = static_cast<ERDPA_SecurityProblem *>(a->data), *y = static_cast<ERDPA_SecurityProblem *>(b->data);
        EXPECT_EQ(x->problem_form, y->problem_form);
        EXPECT_EQ(x->problem_code, y->problem_code);
        ExpectSameMessage(x->message, y->message);
        break;
    }
    case ERDPA_ACCESS: {
        auto *x = static_cast<ERDPA_AccessProblem *>(a->data), *y = static_cast<ERDPA_AccessProblem *>(b->data);
        for (; x && y; x = x->next, y = y->next) {
            EXPECT_EQ(x->problem_code, y->problem_code);
            ExpectSameObject(&x->object, &y->object);
            ExpectSameMessage(x->message, y->message);
        }
        EXPECT_EQ(x, y); // both lists ended
        break;
    }
    case ERDPA_ATTRIBUTE: {
        auto *hx = static_cast<ERDPA_AttributeError *>(a->data), *hy = static_cast<ERDPA_AttributeError *>(b->data);
        ExpectSameObject(hx->object, hy->object);
        auto *x = hx->problems, *y = hy->problems;
        for (; x && y; x = x->next, y = y->next) {
            EXPECT_EQ(x->problem_code, y->problem_code);
            EXPECT_EQ(Attrs(x->attribute), 1u);
            EXPECT_EQ(Attrs(y->attribute), 1u);
            ExpectSameMessage(x->message, y->message);
        }
        EXPECT_EQ(x, y);
        break;
    }
    default: {
        auto *x = static_cast<ERDPA_SelectionProblem *>(a->data), *y = static_cast<ERDPA_SelectionProblem *>(b->data);
        for (; x && y; x = x->next, y = y->next) {
            EXPECT_EQ(x->problem_code, y->problem_code);
            EXPECT_EQ(x->set != nullptr, y->set != nullptr);
            if (x->set && y->set) {
                EXPECT_EQ(Attrs(*x->set), Attrs(*y->set));
            }
            ExpectSameObject(&x->object, &y->object);
            ExpectSameMessage(x->message, y->message);
        }
        EXPECT_EQ(x, y);
    }
    }
}

TEST(ErrorPdus, EveryKindRoundTripsUnderItsWireKindAndUnderKindZero) {
    Fixture f;
    Status st;
    // The messages alone, as the PDUs carry them; a released structure
    // holds no message.
    for (const GEN_ErrorMessage *m : {&f.text, &f.octets}) {
        ERDPA_BerErrorMessage ber{};
        ASSERT_EQ(ToBER_errorMessage(st.list, &ber, m), 0) << std::hex << st.code();
        GEN_ErrorMessage back{};
        ASSERT_EQ(ToGEN_errorMessage(st.list, &ber, &back, nullptr), 0) << std::hex << st.code();
        ExpectSameMessage(*m, back);
        EXPECT_EQ(FreeGEN_errorMessage(st.list, &back, nullptr), 0);
        EXPECT_EQ(FreeBER_errorMessage(st.list, &ber), 0);
        EXPECT_EQ(ToGEN_errorMessage(st.list, &ber, &back, nullptr), 1);
        EXPECT_EQ(st.code(), GENU_S_CONV_MESSAGE);
    }
    const int32_t wire[] = {0, 4, 1, 11, 13, 12, 3, 10, 9};
    for (uint32_t kind = 1; kind <= 8; ++kind) {
        bool needs_object = kind != ERDPA_SECURITY && kind != ERDPA_ATTRIBUTE;
        if (needs_object && !ObjectsPack()) continue;
        ERDPA_ErrorResult *r = Build(f, kind);
        ASSERT_NE(r, nullptr);
        int32_t w = -1;
        GENU_Buffer bytes{};
        ASSERT_EQ(ERDPA_EncodeError(st.list, r, &w, &bytes), 0) << kind << std::hex << " " << st.code();
        EXPECT_EQ(w, wire[kind]);
        EXPECT_EQ(ERDPA_WireKind(kind), wire[kind]);
        for (int32_t as : {w, 0}) {
            ERDPA_ErrorResult *back = nullptr;
            ASSERT_EQ(ERDPA_DecodeError(st.list, as, bytes.value, bytes.length, &back), 0)
                << kind << " as " << as << std::hex << " " << st.code();
            ExpectSameResults(r, back);
            ERDPA_FreeError(st.list, back);
        }
        // Under another kind's number the bytes do not decode.
        ERDPA_ErrorResult *wrong = reinterpret_cast<ERDPA_ErrorResult *>(&f);
        int32_t other = wire[kind % 8 + 1];
        EXPECT_EQ(ERDPA_DecodeError(st.list, other, bytes.value, bytes.length, &wrong), 1) << kind;
        EXPECT_EQ(st.code(), ODP_S_DECODE);
        EXPECT_EQ(wrong, nullptr);
        _GENU__MyFree(bytes.value);
        ERDPA_FreeError(st.list, r);
    }
}

TEST(ErrorPdus, ProblemForms) {
    Fixture f;
    Status st;
    ERDPA_ErrorResult *r = nullptr;
    ASSERT_EQ(ERDPA_Security(st.list, &r, 3, &f.text), 0);
    auto *p = static_cast<ERDPA_SecurityProblem *>(r->data);
    GENU_ShortOID ext = 0;
    ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-job-name", &ext), 0);
    struct Case {
        int32_t form;
        uint32_t code;
        uint32_t decode_status; // 0: decodes
    } cases[] = {{ERDPA_EXTENDED_PROBLEM, ext, 0}, {ERDPA_STANDARD_PROBLEM, 4, 0},
                 {ERDPA_STANDARD_PROBLEM, 5, ODP_S_SLOT}, {ERDPA_STANDARD_PROBLEM, 0, ODP_S_SLOT}};
    for (const Case &c : cases) {
        p->problem_form = c.form;
        p->problem_code = c.code;
        int32_t w = 0;
        GENU_Buffer bytes{};
        ASSERT_EQ(ERDPA_EncodeError(st.list, r, &w, &bytes), 0);
        ERDPA_ErrorResult *back = nullptr;
        int rc = ERDPA_DecodeError(st.list, w, bytes.value, bytes.length, &back);
        if (c.decode_status) {
            EXPECT_EQ(rc, 1) << c.code;
            EXPECT_EQ(st.code(), c.decode_status);
            EXPECT_EQ(back, nullptr);
        } else {
            ASSERT_EQ(rc, 0) << std::hex << st.code();
            auto *q = static_cast<ERDPA_SecurityProblem *>(back->data);
            EXPECT_EQ(q->problem_form, c.form);
            EXPECT_EQ(q->problem_code, c.code);
            char *s = ErrorResult2String(back);
            EXPECT_STREQ(s, c.form == ERDPA_EXTENDED_PROBLEM ? "Extended Problem" : "out of toner");
            GENU__CoveredFree(s);
            ERDPA_FreeError(st.list, back);
        }
        _GENU__MyFree(bytes.value);
    }
    // A form the wire cannot carry is refused by the encoder.
    p->problem_form = 7;
    int32_t w = 0;
    GENU_Buffer bytes{};
    EXPECT_EQ(ERDPA_EncodeError(st.list, r, &w, &bytes), 1);
    EXPECT_EQ(bytes.value, nullptr);
    ERDPA_FreeError(st.list, r);
}

TEST(ErrorPdus, HostileInputAndUnknownKinds) {
    Status st;
    const unsigned char junk[] = {0x30, 0x05, 0xa8, 0x03, 0x80, 0x01, 0x01};
    ERDPA_ErrorResult *out = nullptr;
    for (int32_t kind : {2, 5, 8, 14, -1}) {
        EXPECT_EQ(ERDPA_DecodeError(st.list, kind, junk, sizeof junk, &out), 1) << kind;
        EXPECT_EQ(st.code(), ODP_S_DECODE);
    }
    EXPECT_EQ(ERDPA_WireKindToPDU(2), -1);
    EXPECT_EQ(ERDPA_WireKindToPDU(0), 0);
    // A security error whose message is missing, and truncated bytes.
    EXPECT_EQ(ERDPA_DecodeError(st.list, 9, junk, sizeof junk, &out), 1);
    EXPECT_EQ(ERDPA_DecodeError(st.list, 9, junk, 3, &out), 1);
    EXPECT_EQ(ERDPA_DecodeError(st.list, 9, nullptr, 0, &out), 1);
    EXPECT_EQ(out, nullptr);
    ERDPA_ErrorResult odd{99, nullptr};
    int32_t w = 0;
    GENU_Buffer bytes{};
    EXPECT_EQ(ERDPA_EncodeError(st.list, &odd, &w, &bytes), 1);
}

} // namespace
