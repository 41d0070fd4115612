// Operation arguments and results: every PDU round-trips with exactly the
// presence bits it was given; results convert into library values; the
// document description builds and releases cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "encoding/codes.h"
#include "ops_op_samples.h"

namespace {

using vrtest_ops::Arena;
using vrtest_ops::Status;

std::vector<unsigned char> Bytes(int pdu, const void *s) {
    GENU_Buffer b{};
    EXPECT_EQ(GENU_OssEncode(nullptr, pdu, s, &b), 0) << pdu;
    std::vector<unsigned char> out(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    return out;
}

void *Decode(int pdu, std::vector<unsigned char> &bytes) {
    GENU_Buffer in{static_cast<uint32_t>(bytes.size()), bytes.data()};
    void *back = nullptr;
    EXPECT_EQ(GENU_OssDecode(nullptr, &pdu, &in, &back), 0) << pdu;
    return back;
}

// The structures that begin with their presence octet.
bool StartsWithPresence(int pdu) {
    return pdu != ODP_PDU_PRINT_ARG && pdu != ODP_PDU_LIST_ARG && pdu != ODP_PDU_INTERRUPT_JOB_RES &&
           pdu != ODP_PDU_PAUSE_RES && pdu != ODP_PDU_RESUBMIT_JOB_RES && pdu != ODP_PDU_CREATE_RES;
}

TEST(OperationPdus, EveryArgumentAndResultRoundTripsWithItsPresenceBits) {
    std::mt19937 rng(2026);
    auto pdus = vrtest_ops::OperationPdus();
    EXPECT_EQ(pdus.size(), 40u);
    for (int round = 0; round < 25; ++round) {
        Arena a(rng);
        for (int pdu : pdus) {
            void *s = vrtest_ops::RandomOperationPdu(a, pdu);
            auto first = Bytes(pdu, s);
            void *back = Decode(pdu, first);
            ASSERT_NE(back, nullptr) << pdu;
            if (StartsWithPresence(pdu)) {
                EXPECT_EQ(*static_cast<uint8_t *>(back), *static_cast<uint8_t *>(s)) << pdu;
            }
            EXPECT_EQ(Bytes(pdu, back), first) << pdu;
            GENU_OssFreePDU(nullptr, pdu, back);
        }
    }
    // The choices keep their alternative and its presence bits.
    Arena a(rng);
    for (int i = 0; i < 20; ++i) {
        auto *p = static_cast<ODP_BerPrintArg *>(vrtest_ops::RandomOperationPdu(a, ODP_PDU_PRINT_ARG));
        auto bytes = Bytes(ODP_PDU_PRINT_ARG, p);
        auto *q = static_cast<ODP_BerPrintArg *>(Decode(ODP_PDU_PRINT_ARG, bytes));
        ASSERT_EQ(q->choice, p->choice);
        uint8_t want = p->choice == 1 ? p->u.create_job.bit_mask
                       : p->choice == 2 ? p->u.add_document.bit_mask
                                        : p->u.close_job.bit_mask;
        uint8_t got = q->choice == 1 ? q->u.create_job.bit_mask
                      : q->choice == 2 ? q->u.add_document.bit_mask
                                       : q->u.close_job.bit_mask;
        EXPECT_EQ(got, want);
        GENU_OssFreePDU(nullptr, ODP_PDU_PRINT_ARG, q);
    }
}

TEST(OperationPdus, UnusedOperationCodesHaveNoPdus) {
    for (int32_t unused : {27, 29, 30, -1}) {
        EXPECT_EQ(ODP_ArgumentPDU(unused), 0);
        EXPECT_EQ(ODP_ResultPDU(unused), 0);
    }
}

GENU_Buffer PackText(const char *s, uint32_t type = 16) {
    Status st;
    GEN_Text t{};
    t.kind = GEN_KIND_IRV;
    t.u.string = const_cast<char *>(s);
    GENU_Buffer b{};
    EXPECT_EQ(ODP_PackAV(st.list, type, &t, &b), 0);
    return b;
}

uint32_t Count(AS_SetHandle s) {
    Status st;
    uint32_t n = 0;
    EXPECT_EQ(AS_GetCount(st.list, s, &n), 0);
    return n;
}

TEST(OperationResults, PrintResultBecomesLibraryValues) {
    std::mt19937 rng(8);
    Arena a(rng);
    Status st;
    GENU_ShortOID id = 0;
    ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-job-name", &id), 0);
    ODP_BerPrintRes r{};
    strcpy(r.job_identification, "job-42");
    r.bit_mask = 0xE0;
    ASSERT_EQ(GENU_ShortToBerOID(st.list, id, &r.oid), 0);
    r.server_message = PackText("accepted");
    r.document_status = a.Set();
    r.job_status = a.Set();
    auto bytes = Bytes(ODP_PDU_PRINT_RES, &r);
    auto *back = static_cast<ODP_BerPrintRes *>(Decode(ODP_PDU_PRINT_RES, bytes));
    ODP_PrintResult *g = nullptr;
    ASSERT_EQ(ToGEN_printResult(st.list, back, &g), 0) << std::hex << st.code();
    EXPECT_STREQ(g->job_identification.value, "job-42");
    ASSERT_NE(g->oid, nullptr);
    EXPECT_EQ(*g->oid, id);
    ASSERT_NE(g->server_message, nullptr);
    char *text = nullptr;
    ASSERT_EQ(GENU_ExtractText(st.list, &text, g->server_message, nullptr), 0);
    EXPECT_STREQ(text, "accepted");
    GENU__CoveredFree(text);
    ASSERT_NE(g->document_status, nullptr);
    uint32_t n = 0;
    for (ODP_BerAttrSet *s = r.job_status; s; s = s->next) ++n;
    EXPECT_EQ(Count(g->job_status), n);
    FreeGEN_printResult(st.list, g, nullptr);

    // Absent parts stay null; a null structure gives a null record.
    back->bit_mask = 0;
    ASSERT_EQ(ToGEN_printResult(st.list, back, &g), 0);
    EXPECT_EQ(g->oid, nullptr);
    EXPECT_EQ(g->server_message, nullptr);
    EXPECT_EQ(g->document_status, nullptr);
    FreeGEN_printResult(st.list, g, nullptr);
    back->bit_mask = 0xE0;
    EXPECT_EQ(ToGEN_printResult(st.list, nullptr, &g), 0);
    EXPECT_EQ(g, nullptr);
    GENU_OssFreePDU(nullptr, ODP_PDU_PRINT_RES, back);
    _GENU__MyFree(r.server_message.value);
}

TEST(OperationResults, ListResultAndItsLimit) {
    Status st;
    std::mt19937 rng(9);
    vrtest_ops::RandomValue time;
    time.Fill(48, rng);
    ODP_BerListRes r{};
    ASSERT_EQ(ODP_PackAV(st.list, 48, time.bytes, &r.answer_time), 0);
    unsigned char ctx[] = {9, 8, 7};
    r.continuation = GENU_Buffer{sizeof ctx, ctx};
    r.bit_mask = 0xC0;
    for (int32_t limit : {0, 1, 2, 3, -1}) {
        r.limit_encountered = limit;
        auto bytes = Bytes(ODP_PDU_LIST_RES, &r);
        auto *back = static_cast<ODP_BerListRes *>(Decode(ODP_PDU_LIST_RES, bytes));
        ODP_ListResult *g = nullptr;
        int rc = ToGEN_listResult(st.list, back, &g);
        if (limit < 0 || limit > 2) {
            EXPECT_EQ(rc, 1) << limit;
            EXPECT_EQ(g, nullptr);
        } else {
            ASSERT_EQ(rc, 0) << std::hex << st.code();
            EXPECT_EQ(*g->limit_encountered, limit);
            ASSERT_NE(g->continuation, nullptr);
            EXPECT_EQ(g->continuation->length, 3);
            EXPECT_EQ(memcmp(g->continuation->value, ctx, 3), 0);
            EXPECT_EQ(g->result_set, nullptr);
            int32_t cmp = 1;
            ASSERT_EQ(GEN_CompareGeneralizedTime(st.list, &g->answer_time,
                                                 reinterpret_cast<GEN_GeneralizedTime *>(time.bytes), &cmp),
                      0);
            EXPECT_EQ(cmp, 0);
            FreeGEN_listResult(st.list, g, nullptr);
        }
        GENU_OssFreePDU(nullptr, ODP_PDU_LIST_RES, back);
    }
    _GENU__MyFree(r.answer_time.value);
}

TEST(OperationResults, ObjectResultsNeedTheirIdentification) {
    if (GENU_TypeToPDU(64) < 0) GTEST_SKIP() << "object identifications cannot be packed yet";
    Status st;
    std::mt19937 rng(10);
    Arena a(rng);
    GEN_ObjectIdent *obj = nullptr;
    ASSERT_EQ(GENU_MakeObjectIdent_JobId(st.list, &obj, "job-7", nullptr), 0);
    ODP_BerObjectResult second{nullptr, {}, a.Set(), a.Oid()};
    ODP_BerObjectResult first{&second, {}, a.Set(), a.Oid()};
    ASSERT_EQ(ODP_PackAV(st.list, 64, obj, &first.object_identification), 0);
    second.object_identification = first.object_identification;
    ODP_ObjectResult *g = nullptr;
    ASSERT_EQ(ToGEN_setOfObjectResult(st.list, &first, &g), 0) << std::hex << st.code();
    ASSERT_NE(g, nullptr);
    ASSERT_NE(g->next, nullptr);
    EXPECT_EQ(g->next->next, nullptr);
    int32_t cmp = 1;
    GEN_CompareObjectIdent(st.list, &g->next->object_identification, obj, &cmp);
    EXPECT_EQ(cmp, 0);
    FreeGEN_setOfObjectResult(st.list, g, nullptr);
    _GENU__MyFree(first.object_identification.value);
    GEN_DeleteObjectIdent(st.list, obj, nullptr);
}

TEST(OperationResults, JobAndStatusResults) {
    Status st;
    std::mt19937 rng(11);
    Arena a(rng);
    ODP_BerInterruptJobRes ir{};
    strcpy(ir.interrupted_job_identifier, "job-3");
    ir.job_status = a.Set();
    ODP_InterruptJobResult *ig = nullptr;
    ASSERT_EQ(ToGEN_interruptJobResult(st.list, &ir, &ig), 0) << std::hex << st.code();
    EXPECT_STREQ(ig->interrupted_job_identifier.value, "job-3");
    EXPECT_GT(Count(ig->job_status), 0u);
    FreeGEN_interruptJobResult(st.list, ig, nullptr);

    ODP_BerPauseJobRes pr{};
    strcpy(pr.paused_job_identifier, "job-4");
    ODP_PauseJobResult *pg = nullptr;
    ASSERT_EQ(ToGEN_pauseJobResult(st.list, &pr, &pg), 0);
    EXPECT_STREQ(pg->paused_job_identifier.value, "job-4");
    EXPECT_EQ(pg->checkpoint, nullptr);
    EXPECT_EQ(pg->job_status, AS_nullSetHandle);
    FreeGEN_pauseJobResult(st.list, pg, nullptr);

    ODP_BerObjectStatus s3{nullptr, 0, nullptr};
    ODP_BerObjectStatus s2{&s3, 0x80, a.Set()};
    ODP_BerObjectStatus s1{&s2, 0x80, nullptr};
    ODP_ObjectStatusList *list = nullptr;
    ASSERT_EQ(_ToGEN_ResubmitJobResult(st.list, &s1, &list), 0);
    ASSERT_NE(list, nullptr);
    ASSERT_NE(list->set, nullptr);
    EXPECT_EQ(Count(*list->set), 0u); // present and empty
    ASSERT_NE(list->next, nullptr);
    EXPECT_GT(Count(*list->next->set), 0u);
    ASSERT_NE(list->next->next, nullptr);
    EXPECT_EQ(list->next->next->set, nullptr); // absent
    FreeGEN_ResubmitJobResult(st.list, list, nullptr);

    ODP_BerObjectOpRes none{0, nullptr}, some{0x80, a.Set()};
    AS_SetHandle *cell = reinterpret_cast<AS_SetHandle *>(&st);
    ASSERT_EQ(ToGEN_objectOpResult(st.list, &none, &cell), 0);
    EXPECT_EQ(cell, nullptr);
    ASSERT_EQ(ToGEN_objectOpResult(st.list, &some, &cell), 0);
    ASSERT_NE(cell, nullptr);
    EXPECT_GT(Count(*cell), 0u);
    AS_Destroy(st.list, cell);
    GENU__CoveredFree(cell);
}

TEST(DocumentDescription, BuildsWhatIsGivenAndNothingOnFailure) {
    Status st;
    std::mt19937 rng(12);
    auto ids = vrtest_ops::PackableAttributes();
    AS_SetHandle set = vrtest_ops::MakeRandomSet(rng, ids, 3);
    GENU_ShortOID method = 0, unknown = 0x7fff0000u;
    ASSERT_EQ(GENU_AsciiToShortOID(st.list, "id-att-job-name", &method), 0);
    ODP_DocDescription in{&method, nullptr, &method, &set};
    ODP_BerDocDescription out{};
    ASSERT_EQ(ToBER_docDescription(st.list, &out, &in), 0) << std::hex << st.code();
    EXPECT_EQ(out.bit_mask, 0xB0);
    EXPECT_NE(out.attributes, nullptr);
    EXPECT_EQ(FreeBER_docDescription(st.list, &out), 0);
    EXPECT_EQ(out.bit_mask, 0);

    ODP_DocDescription empty{};
    ASSERT_EQ(ToBER_docDescription(st.list, &out, &empty), 0);
    EXPECT_EQ(out.bit_mask, 0);

    ODP_DocDescription bad{&method, nullptr, &unknown, &set};
    EXPECT_EQ(ToBER_docDescription(st.list, &out, &bad), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_OID);
    EXPECT_EQ(out.bit_mask, 0);
    EXPECT_EQ(FreeBER_docDescription(st.list, nullptr), 1);
    EXPECT_EQ(st.code(), GEN_S_NULLDELETE);

    if (GENU_TypeToPDU(7) >= 0) {
        GEN_DocumentContent content{};
        ODP_DocDescription with_content{nullptr, &content, nullptr, nullptr};
        // An empty content is not a valid value: the failure is reported.
        if (ToBER_docDescription(st.list, &out, &with_content)) {
            EXPECT_EQ(st.code(), GENU_S_CONV_CONTENT);
        } else {
            FreeBER_docDescription(st.list, &out);
        }
    }
    AS_Destroy(st.list, &set);
}

} // namespace
