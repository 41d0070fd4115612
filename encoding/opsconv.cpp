// The operation tables, the document description of the print operations,
// and the results of the operations as library values.
#include <cstring>

#include "encoding/codes.h"
#include "encoding/opsutil.h"
#include "encoding/value_types.h"
#include "system/guard.h"
#include "vrcore/log.h"
#include "vrcore/odp.h"
#include "vrcore/odpops.h"

using vrcore::encoding::Fail;
using vrcore::encoding::HeapZero;
using vrcore::encoding::kCheckpointType;
using vrcore::encoding::kDocumentContentType;
using vrcore::encoding::kMessageType;
using vrcore::encoding::kObjectIdentType;
using vrcore::encoding::kTimeType;
using vrcore::encoding::Quiet;
using vrcore::encoding::Unpacked;

namespace {

constexpr uint32_t kNoMem = GEN_S_NOMEM;
constexpr uint32_t kNullFree = GEN_S_NULLDELETE;
constexpr uint32_t kPrintSet = GENU_S_CONV_PRINTSET;
constexpr uint32_t kObjectSet = GENU_S_CONV_OBJECTSET;
constexpr uint32_t kContent = GENU_S_CONV_CONTENT;
constexpr uint32_t kMessage = GENU_S_CONV_MESSAGE;
constexpr uint32_t kInvalid = GEN_S_INVALID;
constexpr uint32_t kObjectIdent = GENU_S_CONV_RESULTIDENT;
constexpr uint32_t kBadOid = GENU_S_CONV_OID;
constexpr uint32_t kCheckpoint = GENU_S_CONV_CHECKPOINT;
constexpr uint32_t kTime = GENU_S_CONV_TIME;

struct OpRow {
    int arg;
    int res;
};
// Indexed by the operation code.
const OpRow kOps[30] = {
    {146, 148}, {158, 164}, {210, 211}, {219, 220}, {232, 233}, {146, 148}, {146, 148}, {158, 164},
    {158, 164}, {158, 164}, {158, 164}, {158, 164}, {158, 164}, {216, 217}, {150, 153}, {155, 156},
    {168, 169}, {171, 172}, {174, 175}, {177, 178}, {204, 205}, {235, 237}, {239, 240}, {225, 226},
    {213, 214}, {222, 223}, {229, 230}, {0, 0},     {207, 208}, {0, 0},
};

int CopyJobId(STF_List *st, const ODP_BerJobId &in, GEN_JobIdentifier *out) {
    size_t n = strnlen(in, sizeof(ODP_BerJobId));
    if (n >= sizeof(ODP_BerJobId)) return Fail(st, kInvalid);
    memcpy(out->value, in, n + 1);
    return 0;
}

int OidToShort(STF_List *st, const GENU_BerOID &o, GENU_ShortOID *out) {
    if (GENU_BerToShortOID(st, &o, out)) return Fail(st, kBadOid);
    return 0;
}

void DestroySet(STF_List *st, AS_SetHandle *set) {
    if (*set) AS_Destroy(st, set);
}

void DestroySetCell(STF_List *st, AS_SetHandle *cell) {
    if (!cell) return;
    DestroySet(st, cell);
    GENU__CoveredFree(cell);
}

void FreeObjectResults(STF_List *st, ODP_ObjectResult *r) {
    while (r) {
        ODP_ObjectResult *next = r->next;
        GEN_DeepDeleteObjectIdent(st, &r->object_identification, nullptr);
        DestroySet(st, &r->attribute_set);
        GENU__CoveredFree(r);
        r = next;
    }
}

int ObjectResultToGen(STF_List *st, const ODP_BerObjectResult &b, ODP_ObjectResult *r) {
    if (Unpacked<GEN_ObjectIdent>(
            st, b.object_identification, kObjectIdentType, &r->object_identification,
            [](STF_List *s, GEN_ObjectIdent *o, const GEN_ObjectIdent *v) {
                return GEN_DeepCopyObjectIdent(s, o, v, nullptr);
            },
            kObjectIdent))
        return 1;
    if (ToGEN_AS(st, b.attribute_set, &r->attribute_set)) return Fail(st, kObjectSet);
    return OidToShort(st, b.object_class, &r->object_class);
}

int ObjectResultsToGen(STF_List *st, const ODP_BerObjectResult *ber, ODP_ObjectResult **out) {
    ODP_ObjectResult *head = nullptr, **tail = &head;
    for (const ODP_BerObjectResult *b = ber; b; b = b->next) {
        auto *r = static_cast<ODP_ObjectResult *>(HeapZero(sizeof(ODP_ObjectResult)));
        if (!r) {
            Quiet(st, [&](STF_List *q) { FreeObjectResults(q, head); });
            return Fail(st, kNoMem);
        }
        *tail = r;
        tail = &r->next;
        if (ObjectResultToGen(st, *b, r)) {
            Quiet(st, [&](STF_List *q) { FreeObjectResults(q, head); });
            return 1;
        }
    }
    *out = head;
    return 0;
}

void FreeCheckpoints(STF_List *st, ODP_CheckpointList *c) {
    while (c) {
        ODP_CheckpointList *next = c->next;
        GEN_DeepDeleteCheckpoint(st, &c->checkpoint, nullptr);
        GENU__CoveredFree(c);
        c = next;
    }
}

// Common entry of the result conversions: null structure, null record.
template <class R> bool Begin(STF_List *st, R **out, int *rc) {
    if (!st) {
        *rc = 1;
        return false;
    }
    STF_ClearStatus(st);
    if (!out) {
        *rc = Fail(st, kInvalid);
        return false;
    }
    *out = nullptr;
    return true;
}

} // namespace

extern "C" {

int ODP_ArgumentPDU(int32_t operation) try {
    return operation >= 0 && operation < 30 ? kOps[operation].arg : 0;
}
VR_CATCH_RETURN(0)
int ODP_ResultPDU(int32_t operation) try {
    return operation >= 0 && operation < 30 ? kOps[operation].res : 0;
}
VR_CATCH_RETURN(0)

int ToBER_docDescription(STF_List *status, ODP_BerDocDescription *out,
                         const ODP_DocDescription *in) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!out || !in) return Fail(status, kInvalid);
    memset(out, 0, sizeof *out);
    ODP_BerDocDescription d{};
    if (in->transfer_method) {
        if (GENU_ShortToBerOID(status, *in->transfer_method, &d.transfer_method))
            return Fail(status, kBadOid);
        d.bit_mask |= 0x80;
    }
    if (in->document_type) {
        if (GENU_ShortToBerOID(status, *in->document_type, &d.document_type))
            return Fail(status, kBadOid);
        d.bit_mask |= 0x20;
    }
    if (in->content) {
        if (ODP_PackAV(status, kDocumentContentType, in->content, &d.content))
            return Fail(status, kContent);
        d.bit_mask |= 0x40;
    }
    if (in->attributes) {
        if (ToBER_AS(status, &d.attributes, in->attributes, ODP_AS_MODE_EXTENDED_ACL)) {
            _GENU__MyFree(d.content.value);
            return Fail(status, kObjectSet);
        }
        d.bit_mask |= 0x10;
    }
    STF_ClearStatus(status);
    *out = d;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeBER_docDescription(STF_List *status, ODP_BerDocDescription *ber) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber) return Fail(status, kNullFree);
    _GENU__MyFree(ber->content.value);
    FreeBER_AS(status, ber->attributes);
    memset(ber, 0, sizeof *ber);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeGEN_printResult(STF_List *status, ODP_PrintResult *r, const GENU_Allocator *) try {
    if (!status) return 1;
    if (!r) return 0;
    GENU__CoveredFree(r->oid);
    if (r->server_message) {
        GEN_DeepDeleteMessage(status, r->server_message, nullptr);
        GENU__CoveredFree(r->server_message);
    }
    DestroySetCell(status, r->document_status);
    DestroySet(status, &r->job_status);
    GENU__CoveredFree(r);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_printResult(STF_List *status, const ODP_BerPrintRes *ber, ODP_PrintResult **out) try {
    int rc = 0;
    if (!Begin(status, out, &rc)) return rc;
    if (!ber) return 0;
    auto *r = static_cast<ODP_PrintResult *>(HeapZero(sizeof(ODP_PrintResult)));
    if (!r) return Fail(status, kNoMem);
    auto fail = [&] {
        Quiet(status, [&](STF_List *q) { FreeGEN_printResult(q, r, nullptr); });
        return 1;
    };
    if (CopyJobId(status, ber->job_identification, &r->job_identification)) return fail();
    if (ber->bit_mask & 0x80) {
        r->oid = static_cast<GENU_ShortOID *>(HeapZero(sizeof(GENU_ShortOID)));
        if (!r->oid) return Fail(status, kNoMem), fail();
        if (OidToShort(status, ber->oid, r->oid)) return fail();
    }
    if (ber->bit_mask & 0x40) {
        r->server_message = static_cast<GEN_Message *>(HeapZero(sizeof(GEN_Message)));
        if (!r->server_message) return Fail(status, kNoMem), fail();
        if (Unpacked<GEN_Text>(
                status, ber->server_message, kMessageType, r->server_message,
                [](STF_List *s, GEN_Text *o, const GEN_Text *v) {
                    return GEN_DeepCopyMessage(s, o, v, nullptr);
                },
                kMessage)) {
            GENU__CoveredFree(r->server_message);
            r->server_message = nullptr;
            return fail();
        }
    }
    if (ber->bit_mask & 0x20) {
        if (MallocAStoGEN(status, ber->document_status, &r->document_status))
            return Fail(status, kPrintSet), fail();
    }
    if (ToGEN_AS(status, ber->job_status, &r->job_status)) return Fail(status, kPrintSet), fail();
    STF_ClearStatus(status);
    *out = r;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_objectResult(STF_List *status, const ODP_BerObjectResult *ber,
                       ODP_ObjectResult **out) try {
    int rc = 0;
    if (!Begin(status, out, &rc)) return rc;
    if (!ber) return 0;
    auto *r = static_cast<ODP_ObjectResult *>(HeapZero(sizeof(ODP_ObjectResult)));
    if (!r) return Fail(status, kNoMem);
    if (ObjectResultToGen(status, *ber, r)) {
        Quiet(status, [&](STF_List *q) { FreeObjectResults(q, r); });
        return 1;
    }
    STF_ClearStatus(status);
    *out = r;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_setOfObjectResult(STF_List *status, const ODP_BerObjectResult *ber,
                            ODP_ObjectResult **out) try {
    int rc = 0;
    if (!Begin(status, out, &rc)) return rc;
    if (ObjectResultsToGen(status, ber, out)) return 1;
    STF_ClearStatus(status);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeGEN_setOfObjectResult(STF_List *status, ODP_ObjectResult *value,
                              const GENU_Allocator *) try {
    if (!status) return 1;
    FreeObjectResults(status, value);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeGEN_listResult(STF_List *status, ODP_ListResult *r, const GENU_Allocator *) try {
    if (!status) return 1;
    if (!r) return 0;
    if (r->continuation) {
        GEN_DeepDeleteOctetString(status, r->continuation, nullptr);
        GENU__CoveredFree(r->continuation);
    }
    GENU__CoveredFree(r->limit_encountered);
    FreeObjectResults(status, r->result_set);
    GENU__CoveredFree(r);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_listResult(STF_List *status, const ODP_BerListRes *ber, ODP_ListResult **out) try {
    int rc = 0;
    if (!Begin(status, out, &rc)) return rc;
    if (!ber) return 0;
    if ((ber->bit_mask & 0x40) && (ber->limit_encountered < 0 || ber->limit_encountered > 2))
        return Fail(status, kInvalid);
    auto *r = static_cast<ODP_ListResult *>(HeapZero(sizeof(ODP_ListResult)));
    if (!r) return Fail(status, kNoMem);
    auto fail = [&] {
        Quiet(status, [&](STF_List *q) { FreeGEN_listResult(q, r, nullptr); });
        return 1;
    };
    if (Unpacked<GEN_GeneralizedTime>(
            status, ber->answer_time, kTimeType, &r->answer_time,
            [](STF_List *, GEN_GeneralizedTime *o, const GEN_GeneralizedTime *v) {
                *o = *v;
                return 0;
            },
            kTime))
        return fail();
    if (ber->bit_mask & 0x80) {
        r->continuation = static_cast<GEN_OctetString *>(HeapZero(sizeof(GEN_OctetString)));
        if (!r->continuation) return Fail(status, kNoMem), fail();
        if (ToGEN_listContext(status, &ber->continuation, r->continuation, nullptr)) {
            GENU__CoveredFree(r->continuation);
            r->continuation = nullptr;
            return fail();
        }
    }
    if (ber->bit_mask & 0x40) {
        r->limit_encountered = static_cast<int32_t *>(HeapZero(sizeof(int32_t)));
        if (!r->limit_encountered) return Fail(status, kNoMem), fail();
        *r->limit_encountered = ber->limit_encountered;
    }
    if (ObjectResultsToGen(status, ber->result_set, &r->result_set)) return fail();
    STF_ClearStatus(status);
    *out = r;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeGEN_pauseJobResult(STF_List *status, ODP_PauseJobResult *r, const GENU_Allocator *) try {
    if (!status) return 1;
    if (!r) return 0;
    FreeCheckpoints(status, r->checkpoint);
    DestroySet(status, &r->job_status);
    GENU__CoveredFree(r);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_pauseJobResult(STF_List *status, const ODP_BerPauseJobRes *ber,
                         ODP_PauseJobResult **out) try {
    int rc = 0;
    if (!Begin(status, out, &rc)) return rc;
    if (!ber) return 0;
    auto *r = static_cast<ODP_PauseJobResult *>(HeapZero(sizeof(ODP_PauseJobResult)));
    if (!r) return Fail(status, kNoMem);
    auto fail = [&] {
        Quiet(status, [&](STF_List *q) { FreeGEN_pauseJobResult(q, r, nullptr); });
        return 1;
    };
    if (CopyJobId(status, ber->paused_job_identifier, &r->paused_job_identifier)) return fail();
    ODP_CheckpointList **tail = &r->checkpoint;
    for (const ODP_BerValueList *v = ber->checkpoint; v; v = v->next) {
        auto *c = static_cast<ODP_CheckpointList *>(HeapZero(sizeof(ODP_CheckpointList)));
        if (!c) return Fail(status, kNoMem), fail();
        if (Unpacked<GEN_Checkpoint>(
                status, v->value, kCheckpointType, &c->checkpoint,
                [](STF_List *s, GEN_Checkpoint *o, const GEN_Checkpoint *x) {
                    return GEN_DeepCopyCheckpoint(s, o, x, nullptr);
                },
                kCheckpoint)) {
            GENU__CoveredFree(c);
            return fail();
        }
        *tail = c;
        tail = &c->next;
    }
    if ((ber->bit_mask & 0x80) && ToGEN_AS(status, ber->job_status, &r->job_status))
        return Fail(status, kPrintSet), fail();
    STF_ClearStatus(status);
    *out = r;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeGEN_interruptJobResult(STF_List *status, ODP_InterruptJobResult *r,
                               const GENU_Allocator *) try {
    if (!status) return 1;
    if (!r) return 0;
    DestroySet(status, &r->job_status);
    GENU__CoveredFree(r);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_interruptJobResult(STF_List *status, const ODP_BerInterruptJobRes *ber,
                             ODP_InterruptJobResult **out) try {
    int rc = 0;
    if (!Begin(status, out, &rc)) return rc;
    if (!ber) return 0;
    auto *r = static_cast<ODP_InterruptJobResult *>(HeapZero(sizeof(ODP_InterruptJobResult)));
    if (!r) return Fail(status, kNoMem);
    if (CopyJobId(status, ber->interrupted_job_identifier, &r->interrupted_job_identifier) ||
        (ToGEN_AS(status, ber->job_status, &r->job_status) && Fail(status, kPrintSet))) {
        Quiet(status, [&](STF_List *q) { FreeGEN_interruptJobResult(q, r, nullptr); });
        return 1;
    }
    STF_ClearStatus(status);
    *out = r;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeGEN_ResubmitJobResult(STF_List *status, ODP_ObjectStatusList *list,
                              const GENU_Allocator *) try {
    if (!status) return 1;
    while (list) {
        ODP_ObjectStatusList *next = list->next;
        DestroySetCell(status, list->set);
        GENU__CoveredFree(list);
        list = next;
    }
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int _ToGEN_ResubmitJobResult(STF_List *status, const ODP_BerObjectStatus *ber,
                             ODP_ObjectStatusList **out) try {
    int rc = 0;
    if (!Begin(status, out, &rc)) return rc;
    ODP_ObjectStatusList *head = nullptr, **tail = &head;
    for (const ODP_BerObjectStatus *b = ber; b; b = b->next) {
        auto *n = static_cast<ODP_ObjectStatusList *>(HeapZero(sizeof(ODP_ObjectStatusList)));
        if (!n) {
            Quiet(status, [&](STF_List *q) { FreeGEN_ResubmitJobResult(q, head, nullptr); });
            return Fail(status, kNoMem);
        }
        if (!head)
            LOG_CondMessage(7, __FILE__, __LINE__, "ToGEN_SeqOfObjectStatus: head = %p\n",
                            static_cast<void *>(n));
        *tail = n;
        tail = &n->next;
        if ((b->bit_mask & 0x80) && MallocAStoGEN(status, b->attribute_set, &n->set)) {
            Quiet(status, [&](STF_List *q) { FreeGEN_ResubmitJobResult(q, head, nullptr); });
            return Fail(status, kObjectSet);
        }
    }
    STF_ClearStatus(status);
    *out = head;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_objectOpResult(STF_List *status, const ODP_BerObjectOpRes *ber, AS_SetHandle **out) try {
    int rc = 0;
    if (!Begin(status, out, &rc)) return rc;
    if (!ber || (!(ber->bit_mask & 0x80) && !ber->attribute_set)) return 0;
    if (MallocAStoGEN(status, ber->attribute_set, out)) return Fail(status, kObjectSet);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
