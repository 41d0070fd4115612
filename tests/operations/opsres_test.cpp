// Operation arguments and results.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "ops_samples.h"

namespace {

using vrtest_ops::Arena;
using vrtest_ops::Status;

TEST(OperationPdus, EverySetArgumentAndResultRoundTripsWithItsMembers) {
    std::mt19937 rng(2026);
    auto pdus = vrtest_ops::OperationPdus();
    for (int round = 0; round < 25; ++round) {
        Arena a(rng);
        for (int pdu : pdus) {
            void *s = a.Make(pdu);
            auto first = vrtest_ops::Encode(pdu, s);
            void *back = vrtest_ops::Decode(pdu, first);
            ASSERT_NE(back, nullptr) << pdu;
            // The same members present with the same values.
            std::string sent, got;
            vrcore::ber::Print(*vrcore::ber::OpsPduType(pdu), s, sent);
            vrcore::ber::Print(*vrcore::ber::OpsPduType(pdu), back, got);
            EXPECT_EQ(got, sent) << pdu;
            EXPECT_EQ(vrtest_ops::Encode(pdu, back), first) << pdu;
            GENU_OssFreePDU(nullptr, pdu, back);
        }
    }
}

uint32_t Count(AS_SetHandle s) {
    Status st;
    uint32_t n = 0;
    EXPECT_EQ(AS_GetCount(st, s, &n), 0);
    return n;
}

TEST(OperationResults, PrintResultBecomesLibraryValues) {
    std::mt19937 rng(8);
    Arena a(rng);
    Status st;
    GENU_ShortOID id = vrtest_ops::Id("id-att-job-name");
    GEN_Text message{GEN_KIND_IRV, {}, 0};
    message.u.string = const_cast<char *>("accepted");
    ODP_BerPrintRes r{0xE0, "job-42", {}, {}, a.Set(), a.Set()};
    ASSERT_EQ(GENU_ShortToBerOID(st, id, &r.oid), 0);
    ASSERT_EQ(ODP_PackAV(st, 16, &message, &r.server_message), 0);
    auto *back = static_cast<ODP_BerPrintRes *>(vrtest_ops::Wire(ODP_PDU_PRINT_RES, &r));
    ODP_PrintResult *g = nullptr;
    ASSERT_EQ(ToGEN_printResult(st, back, &g), 0) << std::hex << st.Code();
    EXPECT_STREQ(g->job_identification.value, "job-42");
    ASSERT_TRUE(g->oid && g->server_message && g->document_status);
    EXPECT_EQ(*g->oid, id);
    int32_t cmp = 1;
    EXPECT_TRUE(!GEN_CompareText(st, g->server_message, &message, &cmp) && !cmp);
    uint32_t n = 0;
    for (ODP_BerAttrSet *s = r.job_status; s; s = s->next) ++n;
    EXPECT_EQ(Count(g->job_status), n);
    FreeGEN_printResult(st, g, nullptr);

    // Absent parts stay null.
    back->bit_mask = 0;
    ASSERT_EQ(ToGEN_printResult(st, back, &g), 0);
    EXPECT_TRUE(!g->oid && !g->server_message && !g->document_status);
    FreeGEN_printResult(st, g, nullptr);
    back->bit_mask = 0xE0;
    GENU_OssFreePDU(nullptr, ODP_PDU_PRINT_RES, back);
    _GENU__MyFree(r.server_message.value);
}

TEST(OperationResults, ListResultAndItsLimit) {
    Status st;
    std::mt19937 rng(9);
    vrtest_ops::RandomValue time;
    time.Fill(48, rng);
    unsigned char ctx[] = {9, 8, 7};
    ODP_BerListRes r{0xC0, {}, {sizeof ctx, ctx}, 0, nullptr};
    ASSERT_EQ(ODP_PackAV(st, 48, time.bytes, &r.answer_time), 0);
    for (int32_t limit : {0, 2, 3, -1}) {
        r.limit_encountered = limit;
        auto *back = static_cast<ODP_BerListRes *>(vrtest_ops::Wire(ODP_PDU_LIST_RES, &r));
        ODP_ListResult *g = nullptr;
        int rc = ToGEN_listResult(st, back, &g);
        if (limit < 0 || limit > 2) {
            EXPECT_EQ(rc, 1) << limit;
            EXPECT_EQ(g, nullptr);
        } else {
            ASSERT_EQ(rc, 0) << std::hex << st.Code();
            EXPECT_EQ(*g->limit_encountered, limit);
            ASSERT_NE(g->continuation, nullptr);
            EXPECT_EQ(vrtest_ops::Bytes(g->continuation->value,
                                        g->continuation->value + g->continuation->length),
                      vrtest_ops::Bytes(ctx, ctx + 3));
            EXPECT_EQ(g->result_set, nullptr);
            int32_t cmp = 1;
            ASSERT_EQ(
                GEN_CompareGeneralizedTime(
                    st, &g->answer_time, reinterpret_cast<GEN_GeneralizedTime *>(time.bytes), &cmp),
                0);
            EXPECT_EQ(cmp, 0);
            FreeGEN_listResult(st, g, nullptr);
        }
        GENU_OssFreePDU(nullptr, ODP_PDU_LIST_RES, back);
    }
    _GENU__MyFree(r.answer_time.value);
}

TEST(OperationResults, ObjectJobAndStatusResults) {
    Status st;
    std::mt19937 rng(11);
    Arena a(rng);
    if (vrtest_ops::ObjectsPack()) {
        GEN_ObjectIdent *obj = nullptr;
        ASSERT_EQ(GENU_MakeObjectIdent_JobId(st, &obj, "job-7", nullptr), 0);
        ODP_BerObjectResult second{nullptr, {}, a.Set(), a.BerOid()};
        ODP_BerObjectResult first{&second, {}, a.Set(), a.BerOid()};
        ASSERT_EQ(ODP_PackAV(st, 64, obj, &first.object_identification), 0);
        second.object_identification = first.object_identification;
        ODP_ObjectResult *g = nullptr;
        ASSERT_EQ(ToGEN_setOfObjectResult(st, &first, &g), 0) << std::hex << st.Code();
        ASSERT_TRUE(g && g->next && !g->next->next);
        int32_t cmp = 1;
        GEN_CompareObjectIdent(st, &g->next->object_identification, obj, &cmp);
        EXPECT_EQ(cmp, 0);
        FreeGEN_setOfObjectResult(st, g, nullptr);
        _GENU__MyFree(first.object_identification.value);
        GEN_DeleteObjectIdent(st, obj, nullptr);
    }

    ODP_BerInterruptJobRes ir{"job-3", a.Set()};
    ODP_InterruptJobResult *ig = nullptr;
    ASSERT_EQ(ToGEN_interruptJobResult(st, &ir, &ig), 0) << std::hex << st.Code();
    EXPECT_STREQ(ig->interrupted_job_identifier.value, "job-3");
    EXPECT_GT(Count(ig->job_status), 0u);
    FreeGEN_interruptJobResult(st, ig, nullptr);

    // Present and empty, present, absent.
    ODP_BerObjectStatus s3{nullptr, 0, nullptr}, s2{&s3, 0x80, a.Set()}, s1{&s2, 0x80, nullptr};
    ODP_ObjectStatusList *list = nullptr;
    ASSERT_EQ(_ToGEN_ResubmitJobResult(st, &s1, &list), 0);
    ASSERT_TRUE(list && list->set && list->next && list->next->next);
    EXPECT_EQ(Count(*list->set), 0u);
    EXPECT_GT(Count(*list->next->set), 0u);
    EXPECT_EQ(list->next->next->set, nullptr);
    FreeGEN_ResubmitJobResult(st, list, nullptr);

    ODP_BerObjectOpRes none{0, nullptr}, some{0x80, a.Set()};
    AS_SetHandle *cell = reinterpret_cast<AS_SetHandle *>(&st);
    ASSERT_EQ(ToGEN_objectOpResult(st, &none, &cell), 0);
    EXPECT_EQ(cell, nullptr);
    ASSERT_EQ(ToGEN_objectOpResult(st, &some, &cell), 0);
    ASSERT_NE(cell, nullptr);
    EXPECT_GT(Count(*cell), 0u);
    AS_Destroy(st, cell);
    GENU__CoveredFree(cell);
}

TEST(DocumentDescription, BuildsWhatIsGivenAndNothingOnFailure) {
    Status st;
    std::mt19937 rng(12);
    AS_SetHandle set = vrtest_ops::MakeRandomSet(rng, vrtest_ops::PackableAttributes(), 3);
    GENU_ShortOID method = vrtest_ops::Id("id-att-job-name"), unknown = 0x7fff0000u;
    ODP_DocDescription in{&method, nullptr, &method, &set}, empty{},
        bad{&method, nullptr, &unknown, &set};
    ODP_BerDocDescription out{};
    ASSERT_EQ(ToBER_docDescription(st, &out, &in), 0) << std::hex << st.Code();
    EXPECT_EQ(out.bit_mask, 0xB0);
    EXPECT_NE(out.attributes, nullptr);
    EXPECT_EQ(FreeBER_docDescription(st, &out), 0);
    EXPECT_EQ(out.bit_mask, 0);
    ASSERT_EQ(ToBER_docDescription(st, &out, &empty), 0);
    EXPECT_EQ(out.bit_mask, 0);
    EXPECT_EQ(ToBER_docDescription(st, &out, &bad), 1);
    EXPECT_EQ(st.Code(), 0xC00E00A5u);
    EXPECT_EQ(out.bit_mask, 0);
    EXPECT_EQ(FreeBER_docDescription(st, nullptr), 1);
    EXPECT_EQ(st.Code(), 0xC00E006Cu);
    AS_Destroy(st, &set);
}

} // namespace
