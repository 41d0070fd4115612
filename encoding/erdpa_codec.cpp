// Error results to and from their error PDUs.
#include <cstddef>
#include <cstring>

#include "encoding/ber_errors.h"
#include "encoding/ber_world.h"
#include "encoding/codes.h"
#include "encoding/erdpa_internal.h"
#include "encoding/opsutil.h"
#include "encoding/value_types.h"
#include "system/guard.h"
#include "vrcore/log.h"
#include "vrcore/odpas.h"

using namespace vrcore::ber;
using vrcore::encoding::CtxZero;
using vrcore::encoding::Fail;
using vrcore::encoding::HeapZero;
using vrcore::encoding::kObjectIdentType;
using vrcore::encoding::kTextType;
using vrcore::encoding::Quiet;
using vrcore::encoding::Unpacked;

extern "C" {
// Non-zero: every error PDU decoded is dumped to the log.
VR_EXPORT int32_t ODP__printPDU = 0;
}

// The exported form of the runtime's error message is the one the PDUs use.
static_assert(sizeof(ERDPA_BerErrorMessage) == sizeof(BerErrMessage) &&
              offsetof(ERDPA_BerErrorMessage, u.text) == offsetof(BerErrMessage, u.text) &&
              offsetof(ERDPA_BerErrorMessage, u.octets.value) ==
                  offsetof(BerErrMessage, u.octets.value));

namespace {

constexpr uint32_t kEncNoMem = GEN_S_NOMEM;
constexpr uint32_t kEncInvalid = GEN_S_INVALID;
constexpr uint32_t kEncOid = GENU_S_CONV_OID;
constexpr uint32_t kEncFailed = GENU_S_ENCODE;
constexpr uint32_t kMessageBack = GENU_S_CONV_MESSAGE;

constexpr uint32_t kDecCannot = ODP_S_DECODE;
constexpr uint32_t kDecAttr = ODP_S_ARGUMENT;
constexpr uint32_t kDecNoMem = ODP_S_NOMEM;
constexpr uint32_t kDecMessage = ODP_S_MESSAGE;
constexpr uint32_t kDecObject = ODP_S_OBJECTIDENT;
constexpr uint32_t kDecOid = ODP_S_OID;
constexpr uint32_t kDecProblem = ODP_S_SLOT;

struct KindRow {
    uint32_t kind;
    int32_t wire;
    int pdu;
    const char *line;
};

const KindRow kKinds[] = {
    {ERDPA_ATTRIBUTE, 1, ERDPA_PDU_ATTRIBUTE, "ODP_ErrorDecode: doing attribute error\n"},
    {ERDPA_ACCESS, 3, ERDPA_PDU_ACCESS, "ODP_ErrorDecode: doing access error\n"},
    {ERDPA_UPDATE, 4, ERDPA_PDU_UPDATE, "ODP_ErrorDecode: doing update error\n"},
    {ERDPA_SECURITY, 9, ERDPA_PDU_SECURITY, "ODP_ErrorDecode: doing security error\n"},
    {ERDPA_SERVICE, 10, ERDPA_PDU_SERVICE, "ODP_ErrorDecode: doing service error\n"},
    {ERDPA_DOCUMENT_ACCESS, 11, ERDPA_PDU_DOCUMENT_ACCESS,
     "ODP_ErrorDecode: doing document access error\n"},
    {ERDPA_PRINTER, 12, ERDPA_PDU_PRINTER, "ODP_ErrorDecode: doing printer error\n"},
    {ERDPA_SELECTION, 13, ERDPA_PDU_SELECTION, "ODP_ErrorDecode: doing selection error\n"},
};

const KindRow *ByKind(uint32_t kind) {
    for (const KindRow &r : kKinds)
        if (r.kind == kind) return &r;
    return nullptr;
}
const KindRow *ByPdu(int pdu) {
    for (const KindRow &r : kKinds)
        if (r.pdu == pdu) return &r;
    return nullptr;
}

// ---- To the runtime's structures ----------------------------------------

int ProblemToBer(STF_List *st, int32_t form, uint32_t code, BerProblem *b) {
    if (form == ERDPA_STANDARD_PROBLEM) {
        b->choice = 1;
        b->u.code = code;
        return 0;
    }
    if (form != ERDPA_EXTENDED_PROBLEM) return Fail(st, kEncInvalid);
    GENU_BerOID oid{};
    if (GENU_ShortToBerOID(st, code, &oid)) return Fail(st, kEncOid);
    b->choice = 2;
    b->u.oid = BerOid{oid.length, oid.value};
    return 0;
}

int MessageToBer(STF_List *st, const GEN_ErrorMessage &m, BerErrMessage *b) {
    if (m.choice == GEN_ERRMSG_TEXT) {
        b->choice = 1;
        return ODP_PackAV(st, kTextType, &m.u.text, &b->u.text);
    }
    if (m.choice != GEN_ERRMSG_OCTETS || m.u.octets.length < 0 ||
        (m.u.octets.length && !m.u.octets.value))
        return Fail(st, kEncInvalid);
    b->choice = 2;
    b->u.octets = BerOctets{static_cast<uint32_t>(m.u.octets.length), m.u.octets.value}; // borrowed
    return 0;
}

void FreeMessage(BerErrMessage &b) {
    if (b.choice == 1) _GENU__MyFree(b.u.text.value);
    b = BerErrMessage{};
}

int ObjectToBer(STF_List *st, const GEN_ObjectIdent &o, GENU_Buffer *b) {
    return ODP_PackAV(st, kObjectIdentType, &o, b);
}

// The first attribute of a set, or nothing for the null handle or an
// empty set.
int SetToBer(STF_List *st, AS_SetHandle set, ODP_BerAttribute *out, bool *present) {
    *present = false;
    if (!set) return 0;
    AS_AttrHandle ah = nullptr;
    GENU_ShortOID id = 0;
    if (AS_FindFirstAttr(st, set, &ah, &id)) {
        if (STF_GetStatus(st) == AS_S_NOATTR) {
            STF_ClearStatus(st);
            return 0;
        }
        return 1;
    }
    int rc = ToBER_AVA(st, out, ah);
    Quiet(st, [&](STF_List *q) { AS_FreeAttrHandle(q, &ah); });
    *present = rc == 0;
    return rc;
}

void FreeAttr(ODP_BerAttribute &a) {
    for (ODP_BerValueNode *v = a.values, *n; v; v = n) {
        n = v->next;
        _GENU__MyFree(v->value.value);
        _GENU__MyFree(v);
    }
    a.values = nullptr;
}

// Releases what an encoder built (never the decoder's structures).
void FreeBuilt(int pdu, void *ber) {
    if (!ber) return;
    switch (pdu) {
    case ERDPA_PDU_UPDATE:
    case ERDPA_PDU_DOCUMENT_ACCESS:
    case ERDPA_PDU_PRINTER: {
        auto *b = static_cast<BerObjectError *>(ber);
        _GENU__MyFree(b->object.value);
        FreeMessage(b->message);
        break;
    }
    case ERDPA_PDU_SECURITY: FreeMessage(static_cast<BerSecurityError *>(ber)->message); break;
    case ERDPA_PDU_ACCESS:
        for (BerAccessProblem *p = static_cast<BerAccessError *>(ber)->head, *n; p; p = n) {
            n = p->next;
            _GENU__MyFree(p->object.value);
            FreeMessage(p->message);
            _GENU__MyFree(p);
        }
        break;
    case ERDPA_PDU_ATTRIBUTE: {
        auto *b = static_cast<BerAttributeError *>(ber);
        _GENU__MyFree(b->object.value);
        for (BerAttributeProblem *p = b->problems, *n; p; p = n) {
            n = p->next;
            FreeAttr(p->attribute);
            FreeMessage(p->message);
            _GENU__MyFree(p);
        }
        break;
    }
    default:
        for (BerSelectionProblem *p = static_cast<BerSelectionError *>(ber)->head, *n; p; p = n) {
            n = p->next;
            FreeAttr(p->attribute);
            _GENU__MyFree(p->object.value);
            FreeMessage(p->message);
            _GENU__MyFree(p);
        }
        break;
    }
    _GENU__MyFree(ber);
}

size_t BerSize(int pdu) {
    switch (pdu) {
    case ERDPA_PDU_UPDATE:
    case ERDPA_PDU_DOCUMENT_ACCESS:
    case ERDPA_PDU_PRINTER: return sizeof(BerObjectError);
    case ERDPA_PDU_SECURITY: return sizeof(BerSecurityError);
    case ERDPA_PDU_ATTRIBUTE: return sizeof(BerAttributeError);
    default: return sizeof(void *);
    }
}

int ResultToBer(STF_List *st, const ERDPA_ErrorResult &r, int pdu, void *ber) {
    const void *d = r.data;
    if (!d) return Fail(st, kEncInvalid);
    switch (pdu) {
    case ERDPA_PDU_UPDATE:
    case ERDPA_PDU_DOCUMENT_ACCESS:
    case ERDPA_PDU_PRINTER: {
        auto *p = static_cast<const ERDPA_ObjectProblem *>(d);
        auto *b = static_cast<BerObjectError *>(ber);
        return ProblemToBer(st, p->problem_form, p->problem_code, &b->problem) ||
               ObjectToBer(st, p->object, &b->object) || MessageToBer(st, p->message, &b->message);
    }
    case ERDPA_PDU_SECURITY: {
        auto *p = static_cast<const ERDPA_SecurityProblem *>(d);
        auto *b = static_cast<BerSecurityError *>(ber);
        return ProblemToBer(st, p->problem_form, p->problem_code, &b->problem) ||
               MessageToBer(st, p->message, &b->message);
    }
    case ERDPA_PDU_ACCESS: {
        BerAccessProblem **tail = &static_cast<BerAccessError *>(ber)->head;
        for (auto *p = static_cast<const ERDPA_AccessProblem *>(d); p; p = p->next) {
            auto *n = static_cast<BerAccessProblem *>(CtxZero(sizeof(BerAccessProblem)));
            if (!n) return Fail(st, kEncNoMem);
            *tail = n;
            tail = &n->next;
            if (ObjectToBer(st, p->object, &n->object) ||
                ProblemToBer(st, p->problem_form, p->problem_code, &n->problem) ||
                MessageToBer(st, p->message, &n->message))
                return 1;
        }
        return 0;
    }
    case ERDPA_PDU_ATTRIBUTE: {
        auto *h = static_cast<const ERDPA_AttributeError *>(d);
        auto *b = static_cast<BerAttributeError *>(ber);
        if (h->object) {
            if (ObjectToBer(st, *h->object, &b->object)) return 1;
            b->bit_mask |= kErrObjectPresent;
        }
        BerAttributeProblem **tail = &b->problems;
        for (const ERDPA_AttributeProblem *p = h->problems; p; p = p->next) {
            auto *n = static_cast<BerAttributeProblem *>(CtxZero(sizeof(BerAttributeProblem)));
            if (!n) return Fail(st, kEncNoMem);
            *tail = n;
            tail = &n->next;
            bool present = false;
            if (ProblemToBer(st, p->problem_form, p->problem_code, &n->problem) ||
                SetToBer(st, p->attribute, &n->attribute, &present) ||
                MessageToBer(st, p->message, &n->message))
                return 1;
            if (!present) return Fail(st, kEncInvalid); // the attribute is mandatory here
        }
        return 0;
    }
    default: {
        BerSelectionProblem **tail = &static_cast<BerSelectionError *>(ber)->head;
        for (auto *p = static_cast<const ERDPA_SelectionProblem *>(d); p; p = p->next) {
            auto *n = static_cast<BerSelectionProblem *>(CtxZero(sizeof(BerSelectionProblem)));
            if (!n) return Fail(st, kEncNoMem);
            *tail = n;
            tail = &n->next;
            bool present = false;
            if (SetToBer(st, p->set ? *p->set : AS_nullSetHandle, &n->attribute, &present) ||
                ProblemToBer(st, p->problem_form, p->problem_code, &n->problem) ||
                ObjectToBer(st, p->object, &n->object) || MessageToBer(st, p->message, &n->message))
                return 1;
            if (present) n->bit_mask |= kErrAttributePresent;
        }
        return 0;
    }
    }
}

// ---- From the runtime's structures ----------------------------------------

int ProblemToGen(STF_List *st, uint32_t kind, const BerProblem &b, int32_t *form, uint32_t *code) {
    if (b.choice == 1) {
        if (!vrcore::encoding::IsStandardProblem(kind, b.u.code)) {
            LOG_CondMessage(5, __FILE__, __LINE__, "ODP_ErrorDecode: standard conversion failed\n");
            return Fail(st, kDecProblem);
        }
        LOG_CondMessage(7, __FILE__, __LINE__, "ODP_ErrorDecode: standard problem = %s\n",
                        vrcore::encoding::ProblemText(kind, b.u.code));
        *form = ERDPA_STANDARD_PROBLEM;
        *code = b.u.code;
        return 0;
    }
    if (b.choice == 2) {
        GENU_BerOID oid{b.u.oid.length, b.u.oid.value};
        GENU_ShortOID id = 0;
        if (GENU_BerToShortOID(st, &oid, &id)) return Fail(st, kDecOid);
        *form = ERDPA_EXTENDED_PROBLEM;
        *code = id;
        return 0;
    }
    LOG_CondMessage(5, __FILE__, __LINE__, "ODP_ErrorDecode: unknown problem type\n");
    return Fail(st, kDecProblem);
}

int ObjectToGen(STF_List *st, const GENU_Buffer &b, GEN_ObjectIdent *out) {
    return Unpacked<GEN_ObjectIdent>(
        st, b, kObjectIdentType, out,
        [](STF_List *s, GEN_ObjectIdent *o, const GEN_ObjectIdent *v) {
            return GEN_DeepCopyObjectIdent(s, o, v, nullptr);
        },
        kDecObject);
}

// The message with the allocator's blocks; any failure adds `code`.
int MessageToGen(STF_List *st, const BerErrMessage &b, GEN_ErrorMessage *out,
                 const GENU_Allocator *a, uint32_t code) {
    if (b.choice == 1) {
        if (Unpacked<GEN_Text>(
                st, b.u.text, kTextType, &out->u.text,
                [a](STF_List *s, GEN_Text *o, const GEN_Text *v) {
                    return GEN_DeepCopyText(s, o, v, a);
                },
                code))
            return 1;
        out->choice = GEN_ERRMSG_TEXT;
        return 0;
    }
    if (b.choice != 2 || b.u.octets.length > INT32_MAX - 1) return Fail(st, code);
    GEN_OctetString view{static_cast<int32_t>(b.u.octets.length), b.u.octets.value};
    if (GEN_DeepCopyOctetString(st, &out->u.octets, &view, a)) return Fail(st, code);
    out->choice = GEN_ERRMSG_OCTETS;
    return 0;
}

// A set holding the decoded attribute.
int AttrToSet(STF_List *st, const ODP_BerAttribute &a, AS_SetHandle *out) {
    AS_AttrHandle ah = nullptr;
    if (ToGEN_AVA(st, &a, &ah)) return Fail(st, kDecAttr);
    int rc = AS_GetAttrSetR(st, ah, out);
    if (rc) {
        Quiet(st, [&](STF_List *q) {
            AS_SetHandle owner = AS_nullSetHandle;
            if (!AS_GetAttrSetR(q, ah, &owner)) AS_Destroy(q, &owner);
        });
    }
    Quiet(st, [&](STF_List *q) { AS_FreeAttrHandle(q, &ah); });
    return rc ? Fail(st, kDecAttr) : 0;
}

// Builds the result's record from a decoded PDU; the record is attached
// to r as soon as it exists so that ERDPA_FreeError can undo a failure.
int BerToResult(STF_List *st, int pdu, const void *ber, ERDPA_ErrorResult *r) {
    switch (pdu) {
    case ERDPA_PDU_UPDATE:
    case ERDPA_PDU_DOCUMENT_ACCESS:
    case ERDPA_PDU_PRINTER: {
        auto *b = static_cast<const BerObjectError *>(ber);
        auto *p = static_cast<ERDPA_ObjectProblem *>(HeapZero(sizeof(ERDPA_ObjectProblem)));
        if (!p) return Fail(st, kDecNoMem);
        r->data = p;
        return ProblemToGen(st, r->kind, b->problem, &p->problem_form, &p->problem_code) ||
               ObjectToGen(st, b->object, &p->object) ||
               MessageToGen(st, b->message, &p->message, nullptr, kDecMessage);
    }
    case ERDPA_PDU_SECURITY: {
        auto *b = static_cast<const BerSecurityError *>(ber);
        auto *p = static_cast<ERDPA_SecurityProblem *>(HeapZero(sizeof(ERDPA_SecurityProblem)));
        if (!p) return Fail(st, kDecNoMem);
        r->data = p;
        return ProblemToGen(st, r->kind, b->problem, &p->problem_form, &p->problem_code) ||
               MessageToGen(st, b->message, &p->message, nullptr, kDecMessage);
    }
    case ERDPA_PDU_ACCESS: {
        auto **tail = reinterpret_cast<ERDPA_AccessProblem **>(&r->data);
        for (const BerAccessProblem *b = static_cast<const BerAccessError *>(ber)->head; b;
             b = b->next) {
            auto *p = static_cast<ERDPA_AccessProblem *>(HeapZero(sizeof(ERDPA_AccessProblem)));
            if (!p) return Fail(st, kDecNoMem);
            *tail = p;
            tail = &p->next;
            if (ObjectToGen(st, b->object, &p->object) ||
                ProblemToGen(st, r->kind, b->problem, &p->problem_form, &p->problem_code) ||
                MessageToGen(st, b->message, &p->message, nullptr, kDecMessage))
                return 1;
        }
        return 0;
    }
    case ERDPA_PDU_ATTRIBUTE: {
        auto *b = static_cast<const BerAttributeError *>(ber);
        auto *h = static_cast<ERDPA_AttributeError *>(HeapZero(sizeof(ERDPA_AttributeError)));
        if (!h) return Fail(st, kDecNoMem);
        r->data = h;
        if (b->bit_mask & kErrObjectPresent) {
            h->object = static_cast<GEN_ObjectIdent *>(HeapZero(sizeof(GEN_ObjectIdent)));
            if (!h->object) return Fail(st, kDecNoMem);
            if (ObjectToGen(st, b->object, h->object)) {
                GENU__CoveredFree(h->object);
                h->object = nullptr;
                return 1;
            }
        }
        ERDPA_AttributeProblem **tail = &h->problems;
        for (const BerAttributeProblem *q = b->problems; q; q = q->next) {
            auto *p =
                static_cast<ERDPA_AttributeProblem *>(HeapZero(sizeof(ERDPA_AttributeProblem)));
            if (!p) return Fail(st, kDecNoMem);
            *tail = p;
            tail = &p->next;
            if (ProblemToGen(st, r->kind, q->problem, &p->problem_form, &p->problem_code) ||
                AttrToSet(st, q->attribute, &p->attribute) ||
                MessageToGen(st, q->message, &p->message, nullptr, kDecMessage))
                return 1;
        }
        return 0;
    }
    default: {
        auto **tail = reinterpret_cast<ERDPA_SelectionProblem **>(&r->data);
        for (const BerSelectionProblem *b = static_cast<const BerSelectionError *>(ber)->head; b;
             b = b->next) {
            auto *p =
                static_cast<ERDPA_SelectionProblem *>(HeapZero(sizeof(ERDPA_SelectionProblem)));
            if (!p) return Fail(st, kDecNoMem);
            *tail = p;
            tail = &p->next;
            if (ProblemToGen(st, r->kind, b->problem, &p->problem_form, &p->problem_code) ||
                ObjectToGen(st, b->object, &p->object) ||
                MessageToGen(st, b->message, &p->message, nullptr, kDecMessage))
                return 1;
            if (b->bit_mask & kErrAttributePresent) {
                p->set = static_cast<AS_SetHandle *>(HeapZero(sizeof(AS_SetHandle)));
                if (!p->set) return Fail(st, kDecNoMem);
                if (AttrToSet(st, b->attribute, p->set)) return 1;
            }
        }
        return 0;
    }
    }
}

} // namespace

extern "C" {

int ToBER_errorMessage(STF_List *status, void *ber, const GEN_ErrorMessage *value) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber || !value) return Fail(status, kEncInvalid);
    auto *b = static_cast<BerErrMessage *>(ber);
    *b = BerErrMessage{};
    if (MessageToBer(status, *value, b)) {
        FreeMessage(*b);
        return 1;
    }
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeBER_errorMessage(STF_List *status, void *ber) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber) return Fail(status, kEncInvalid);
    FreeMessage(*static_cast<BerErrMessage *>(ber));
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_errorMessage(STF_List *status, const void *ber, GEN_ErrorMessage *value,
                       const GENU_Allocator *alloc) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ber || !value) return Fail(status, kEncInvalid);
    memset(value, 0, sizeof *value);
    return MessageToGen(status, *static_cast<const BerErrMessage *>(ber), value, alloc,
                        kMessageBack);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeGEN_errorMessage(STF_List *status, GEN_ErrorMessage *value,
                         const GENU_Allocator *alloc) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!value) return Fail(status, kEncInvalid);
    return GEN_DeepDeleteErrorMessage(status, value, alloc);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int32_t ERDPA_WireKind(uint32_t kind) try {
    const KindRow *r = ByKind(kind & 0xffffu);
    return r ? r->wire : 0;
}
VR_CATCH_RETURN(0)

int ERDPA_WireKindToPDU(int32_t wire_kind) try {
    if (wire_kind == 0) return 0;
    for (const KindRow &r : kKinds)
        if (r.wire == wire_kind) return r.pdu;
    return -1;
}
VR_CATCH_RETURN(-1)

int ERDPA_EncodeError(STF_List *status, const ERDPA_ErrorResult *result, int32_t *wire_kind,
                      GENU_Buffer *out) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (out) *out = GENU_Buffer{0, nullptr};
    if (wire_kind) *wire_kind = 0;
    if (!result || !wire_kind || !out) return Fail(status, kEncInvalid);
    const KindRow *row = ByKind(result->kind & 0xffffu);
    if (!row) return Fail(status, kEncInvalid);
    void *ber = CtxZero(BerSize(row->pdu));
    if (!ber) return Fail(status, kEncNoMem);
    if (ResultToBer(status, *result, row->pdu, ber)) {
        FreeBuilt(row->pdu, ber);
        return 1;
    }
    GENU_Buffer bytes{0, nullptr};
    int rc = GENU_OssEncode(nullptr, row->pdu, ber, &bytes);
    FreeBuilt(row->pdu, ber);
    if (rc) return Fail(status, kEncFailed);
    *wire_kind = row->wire;
    *out = bytes;
    return 0;
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

int ERDPA_DecodeError(STF_List *status, int32_t wire_kind, const unsigned char *bytes,
                      uint32_t length, ERDPA_ErrorResult **out) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!out) return Fail(status, kDecCannot);
    *out = nullptr;
    LOG_CondMessage(7, __FILE__, __LINE__, "ODP_ErrorDecode: decoding...\n");
    int pdu = ERDPA_WireKindToPDU(wire_kind);
    if (pdu < 0 || !bytes || !length) return Fail(status, kDecCannot);
    GENU_Buffer in{length, const_cast<unsigned char *>(bytes)};
    void *ber = nullptr;
    int rc = 1;
    if (pdu == 0) {
        // The PDU is whichever error decodes: their problems are tagged apart.
        for (const KindRow &r : kKinds) {
            int p = r.pdu;
            if (!GENU_OssDecode(nullptr, &p, &in, &ber)) {
                pdu = p;
                rc = 0;
                break;
            }
        }
    } else {
        rc = GENU_OssDecode(nullptr, &pdu, &in, &ber);
    }
    if (rc) {
        auto *w = static_cast<const World *>(GENU_GetWorld());
        LOG_CondMessage(5, __FILE__, __LINE__, "ODP_ErrorDecode: decode failed, %s\n",
                        w ? w->error : "no context");
        return Fail(status, kDecCannot);
    }
    LOG_CondMessage(7, __FILE__, __LINE__, "ODP_ErrorDecode: decoded okay, pdunum=%d:\n", pdu);
    if (ODP__printPDU) {
        GENU_OssPrintPDU(nullptr, pdu, ber);
        LOG_CondMessage(7, __FILE__, __LINE__, "ODP_ErrorDecode: done printing PDU\n");
    }
    const KindRow *row = ByPdu(pdu);
    if (!row) {
        LOG_CondMessage(5, __FILE__, __LINE__, "ODP_ErrorDecode: unrecognized error = %d\n", pdu);
        GENU_OssFreePDU(nullptr, pdu, ber);
        return Fail(status, kDecCannot);
    }
    auto *r = static_cast<ERDPA_ErrorResult *>(HeapZero(sizeof(ERDPA_ErrorResult)));
    if (!r) {
        GENU_OssFreePDU(nullptr, pdu, ber);
        return Fail(status, kDecNoMem);
    }
    LOG_CondMessage(7, __FILE__, __LINE__, "%s", row->line);
    r->kind = row->kind;
    rc = BerToResult(status, pdu, ber, r);
    GENU_OssFreePDU(nullptr, pdu, ber);
    if (rc) {
        Quiet(status, [&](STF_List *q) { ERDPA_FreeError(q, r); });
        return 1;
    }
    STF_ClearStatus(status);
    *out = r;
    return 0;
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

} // extern "C"
