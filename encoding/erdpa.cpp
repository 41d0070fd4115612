// Error results: the builders with their precedence, release, and the
// texts of errors and problems.
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "encoding/erdpa_internal.h"
#include "encoding/opsutil.h"
#include "system/guard.h"
#include "vrcore/log.h"

using vrcore::encoding::Fail;
using vrcore::encoding::HeapZero;
using vrcore::encoding::Quiet;

namespace {

constexpr uint32_t kUnknownKind = ERDPA_S_BADKIND;

// ---- Problem texts ------------------------------------------------------

const char *const kAccess[] = {"inappropriate object class", "insufficient access rights",
                               "cannot interrupt job", "inappropriate object state"};
const char *const kAttribute[] = {nullptr,
                                  "invalid attribute syntax",
                                  "undefined attribute type",
                                  "inappropriate matching",
                                  "constraint violation",
                                  "unsupported attribute type",
                                  "illegal modification",
                                  "inconsistent with other attributes",
                                  "undefined attribute value",
                                  "unsupported attribute value",
                                  "invalid non compulsory attribute modification",
                                  "per job attribute inadmissible",
                                  "not multi valued",
                                  "mandatory attribute omitted",
                                  "attribute illegal for object class"};
const char *const kDocumentAccess[] = {"document not available", "referent modified",
                                       "access denied", "unknown document", "no documents in job"};
const char *const kPrinter[] = {"printer error", "printer needs attention",
                                "printer needs key operator"};
const char *const kSecurity[] = {"inappropriate authentication", "invalid credentials",
                                 "insufficient operation rights", "invalid pac"};
const char *const kSelection[] = {"invalid identification", "unknown identification",
                                  "object already exists"};
const char *const kService[] = {"server busy",
                                "server unavailable",
                                "operation too complex",
                                "resource limit exceeded",
                                "unclassified server error",
                                "too many items in list",
                                "compulsory resource not available",
                                "cancel document unsupported",
                                "modify document unsupported",
                                "print multiple documents unsupported",
                                "unsupported parameter value",
                                "invalid checkpoint",
                                "invalid continuation context",
                                "pause limit exceeded",
                                "unsupported operation"};
const char *const kUpdate[] = {"no modifications allowed", "insufficient update rights", nullptr,
                               "previous operation incomplete", "cancellation not possible"};

template <size_t N>
const char *Lookup(const char *const (&table)[N], uint32_t code, const char *unknown) {
    if (code >= 1 && code <= N && table[code - 1]) return table[code - 1];
    return unknown;
}

// ---- Problems -------------------------------------------------------------

// Deep copies of the object identification and the message; on failure
// nothing stays allocated.
int CopyParts(STF_List *st, GEN_ObjectIdent *obj_out, const GEN_ObjectIdent *obj,
              GEN_ErrorMessage *msg_out, const GEN_ErrorMessage *msg) {
    if (obj && GEN_DeepCopyObjectIdent(st, obj_out, obj, nullptr)) return Fail(st, ERDPA_S_NOMEM);
    if (GEN_DeepCopyErrorMessage(st, msg_out, msg, nullptr)) {
        if (obj) Quiet(st, [&](STF_List *q) { GEN_DeepDeleteObjectIdent(q, obj_out, nullptr); });
        return Fail(st, ERDPA_S_NOMEM);
    }
    return 0;
}

void DeleteParts(STF_List *st, GEN_ObjectIdent *obj, GEN_ErrorMessage *msg) {
    if (obj) GEN_DeepDeleteObjectIdent(st, obj, nullptr);
    GEN_DeepDeleteErrorMessage(st, msg, nullptr);
}

void FreeAccessList(STF_List *st, ERDPA_AccessProblem *p) {
    while (p) {
        ERDPA_AccessProblem *next = p->next;
        DeleteParts(st, &p->object, &p->message);
        GENU__CoveredFree(p);
        p = next;
    }
}

void FreeAttributeProblems(STF_List *st, ERDPA_AttributeProblem *p) {
    while (p) {
        ERDPA_AttributeProblem *next = p->next;
        if (p->attribute) AS_Destroy(st, &p->attribute);
        DeleteParts(st, nullptr, &p->message);
        GENU__CoveredFree(p);
        p = next;
    }
}

void FreeSelectionList(STF_List *st, ERDPA_SelectionProblem *p) {
    while (p) {
        ERDPA_SelectionProblem *next = p->next;
        if (p->set) {
            if (*p->set) AS_Destroy(st, p->set);
            GENU__CoveredFree(p->set);
        }
        DeleteParts(st, &p->object, &p->message);
        GENU__CoveredFree(p);
        p = next;
    }
}

// What a builder contributes: a fresh problem (and, for attribute errors,
// the object identification the problem belongs to).
struct NewProblem {
    uint32_t kind;
    void *problem = nullptr;
    GEN_ObjectIdent *attr_object = nullptr; // attribute errors: owned copy or null
};

void FreeNew(STF_List *st, NewProblem &n) {
    Quiet(st, [&](STF_List *q) {
        switch (n.kind) {
        case ERDPA_UPDATE:
        case ERDPA_DOCUMENT_ACCESS:
        case ERDPA_PRINTER: {
            auto *p = static_cast<ERDPA_ObjectProblem *>(n.problem);
            if (p) DeleteParts(q, &p->object, &p->message);
            break;
        }
        case ERDPA_SECURITY: {
            auto *p = static_cast<ERDPA_SecurityProblem *>(n.problem);
            if (p) DeleteParts(q, nullptr, &p->message);
            break;
        }
        case ERDPA_ACCESS:
            FreeAccessList(q, static_cast<ERDPA_AccessProblem *>(n.problem));
            n.problem = nullptr;
            break;
        case ERDPA_ATTRIBUTE:
            FreeAttributeProblems(q, static_cast<ERDPA_AttributeProblem *>(n.problem));
            n.problem = nullptr;
            if (n.attr_object) {
                GEN_DeepDeleteObjectIdent(q, n.attr_object, nullptr);
                GENU__CoveredFree(n.attr_object);
            }
            break;
        default:
            FreeSelectionList(q, static_cast<ERDPA_SelectionProblem *>(n.problem));
            n.problem = nullptr;
            break;
        }
    });
    GENU__CoveredFree(n.problem);
    n.problem = nullptr;
}

// A new standard problem of type P holding its code and copies of the
// message and, where P names an object, of the object; null with a code in
// the list when memory is short.
template <class P> P *StandardProblem(STF_List *st, uint32_t code, const GEN_ObjectIdent *obj,
                                      const GEN_ErrorMessage *msg) {
    auto *p = static_cast<P *>(HeapZero(sizeof(P)));
    if (!p) {
        Fail(st, ERDPA_S_NOMEM);
        return nullptr;
    }
    p->problem_form = ERDPA_STANDARD_PROBLEM;
    p->problem_code = code;
    GEN_ObjectIdent *obj_out = nullptr;
    if constexpr (requires { p->object.choice; }) obj_out = &p->object;
    if (CopyParts(st, obj_out, obj_out ? obj : nullptr, &p->message, msg)) {
        GENU__CoveredFree(p);
        return nullptr;
    }
    return p;
}

int MakeObjectProblem(STF_List *st, NewProblem &n, uint32_t code, const GEN_ObjectIdent *obj,
                      const GEN_ErrorMessage *msg) {
    n.problem = StandardProblem<ERDPA_ObjectProblem>(st, code, obj, msg);
    return n.problem ? 0 : 1;
}

// Copies a set into a new one of the heap; the null handle stays null.
int CopySet(STF_List *st, AS_SetHandle set, AS_SetHandle **cell_out) {
    *cell_out = nullptr;
    if (!set) return 0;
    auto *cell = static_cast<AS_SetHandle *>(HeapZero(sizeof(AS_SetHandle)));
    if (!cell) return Fail(st, ERDPA_S_NOMEM);
    if (AS_Copy(st, cell, set, nullptr)) {
        GENU__CoveredFree(cell);
        return Fail(st, ERDPA_S_NOMEM);
    }
    *cell_out = cell;
    return 0;
}

// Frees the contents of a result's record and the record; 1 for an
// unknown kind.
int FreeData(STF_List *st, uint32_t kind, void *data) {
    switch (kind & 0xffffu) {
    case ERDPA_UPDATE:
    case ERDPA_DOCUMENT_ACCESS:
    case ERDPA_PRINTER:
        if (auto *p = static_cast<ERDPA_ObjectProblem *>(data))
            DeleteParts(st, &p->object, &p->message);
        GENU__CoveredFree(data);
        return 0;
    case ERDPA_SECURITY:
        if (auto *p = static_cast<ERDPA_SecurityProblem *>(data))
            DeleteParts(st, nullptr, &p->message);
        GENU__CoveredFree(data);
        return 0;
    case ERDPA_ACCESS: FreeAccessList(st, static_cast<ERDPA_AccessProblem *>(data)); return 0;
    case ERDPA_SELECTION:
    case ERDPA_SERVICE:
        FreeSelectionList(st, static_cast<ERDPA_SelectionProblem *>(data));
        return 0;
    case ERDPA_ATTRIBUTE:
        if (auto *h = static_cast<ERDPA_AttributeError *>(data)) {
            FreeAttributeProblems(st, h->problems);
            if (h->object) {
                GEN_DeepDeleteObjectIdent(st, h->object, nullptr);
                GENU__CoveredFree(h->object);
            }
        }
        GENU__CoveredFree(data);
        return 0;
    default:
        LOG_CondMessage(5, __FILE__, __LINE__,
                        "FreeError: unkown error type - don't know how to free\n");
        return 1;
    }
}

template <class P> void Append(P **head, P *p) {
    while (*head) head = &(*head)->next;
    *head = p;
}

bool SameObject(STF_List *st, const GEN_ObjectIdent *a, const GEN_ObjectIdent *b) {
    if (!a || !b) return !a && !b;
    int32_t cmp = 1;
    bool same = false;
    Quiet(st, [&](STF_List *q) { same = !GEN_CompareObjectIdent(q, a, b, &cmp) && cmp == 0; });
    return same;
}

// Applies the precedence rules to the caller's result with a built problem
// (which this takes over, whatever happens).
int Merge(STF_List *st, ERDPA_ErrorResult **result, NewProblem &n) {
    ERDPA_ErrorResult *r = *result;
    if (r) {
        uint32_t existing = r->kind & 0xffffu;
        if (existing > n.kind) {
            FreeNew(st, n);
            return 0;
        }
        if (existing == n.kind) {
            switch (n.kind) {
            case ERDPA_ACCESS:
                Append(reinterpret_cast<ERDPA_AccessProblem **>(&r->data),
                       static_cast<ERDPA_AccessProblem *>(n.problem));
                n.problem = nullptr;
                return 0;
            case ERDPA_SELECTION:
            case ERDPA_SERVICE:
                Append(reinterpret_cast<ERDPA_SelectionProblem **>(&r->data),
                       static_cast<ERDPA_SelectionProblem *>(n.problem));
                n.problem = nullptr;
                return 0;
            case ERDPA_ATTRIBUTE: {
                auto *h = static_cast<ERDPA_AttributeError *>(r->data);
                if (h && SameObject(st, h->object, n.attr_object)) {
                    Append(&h->problems, static_cast<ERDPA_AttributeProblem *>(n.problem));
                    n.problem = nullptr;
                }
                FreeNew(st, n);
                return 0;
            }
            default: FreeNew(st, n); return 0;
            }
        }
    }
    // A new result of the builder's kind, then the old one goes.
    auto *fresh = static_cast<ERDPA_ErrorResult *>(HeapZero(sizeof(ERDPA_ErrorResult)));
    void *data = n.problem;
    if (fresh && n.kind == ERDPA_ATTRIBUTE) {
        auto *h = static_cast<ERDPA_AttributeError *>(HeapZero(sizeof(ERDPA_AttributeError)));
        if (h) {
            h->object = n.attr_object;
            h->problems = static_cast<ERDPA_AttributeProblem *>(n.problem);
            n.attr_object = nullptr;
        } else {
            GENU__CoveredFree(fresh);
            fresh = nullptr;
        }
        data = h;
    }
    if (!fresh) {
        FreeNew(st, n);
        return Fail(st, ERDPA_S_NOMEM);
    }
    fresh->kind = n.kind;
    fresh->data = data;
    n.problem = nullptr;
    if (r) Quiet(st, [&](STF_List *q) { ERDPA_FreeError(q, r); });
    *result = fresh;
    return 0;
}

// Common entry: the status list and the result address.
int Enter(STF_List *st, ERDPA_ErrorResult **result) {
    if (!st) return 1;
    STF_ClearStatus(st);
    if (!result) return Fail(st, ERDPA_S_NORESULT);
    return 0;
}

int SingleObjectError(STF_List *st, ERDPA_ErrorResult **result, uint32_t kind, uint32_t code,
                      const GEN_ObjectIdent *obj, const GEN_ErrorMessage *msg) {
    if (Enter(st, result)) return 1;
    if (!obj) return Fail(st, ERDPA_S_ARG1);
    if (!msg) return Fail(st, ERDPA_S_ARG2);
    NewProblem n{kind};
    if (MakeObjectProblem(st, n, code, obj, msg)) return 1;
    return Merge(st, result, n);
}

int SelectionError(STF_List *st, ERDPA_ErrorResult **result, uint32_t kind, uint32_t code,
                   AS_SetHandle set, const GEN_ObjectIdent *obj, const GEN_ErrorMessage *msg) {
    if (Enter(st, result)) return 1;
    if (!obj) return Fail(st, ERDPA_S_ARG2);
    if (!msg) return Fail(st, ERDPA_S_ARG3);
    auto *p = StandardProblem<ERDPA_SelectionProblem>(st, code, obj, msg);
    if (!p) return 1;
    NewProblem n{kind, p};
    if (CopySet(st, set, &p->set)) {
        FreeNew(st, n);
        return 1;
    }
    return Merge(st, result, n);
}

// Text of an error message, or null when its form is unknown.
char *MessageText(const GEN_ErrorMessage &m) {
    STF_List *st = STF_CreateList(nullptr);
    if (!st) return nullptr;
    char *out = nullptr;
    int rc = 1;
    if (m.choice == GEN_ERRMSG_TEXT)
        rc = GENU_ExtractText(st, &out, &m.u.text, nullptr);
    else if (m.choice == GEN_ERRMSG_OCTETS)
        rc = GENU_ExtractOctetString(st, &out, &m.u.octets, nullptr);
    STF_DeleteList(st);
    return rc ? nullptr : out;
}

char *Dup(const char *s) {
    size_t n = strlen(s) + 1;
    auto *p = static_cast<char *>(GENU__CoveredMalloc(n));
    if (p) memcpy(p, s, n);
    return p;
}

char *ProblemString(int32_t form, const GEN_ErrorMessage &m) {
    if (form != ERDPA_STANDARD_PROBLEM) return Dup("Extended Problem");
    if (m.choice != GEN_ERRMSG_TEXT && m.choice != GEN_ERRMSG_OCTETS)
        return Dup("Error Message corrupted");
    if (char *s = MessageText(m)) return s;
    return Dup("Error Message corrupted");
}

} // namespace

namespace vrcore::encoding {

const char *ProblemText(uint32_t kind, uint32_t code) {
    switch (kind) {
    case ERDPA_ACCESS: return ToAscii_AccessProblem(code);
    case ERDPA_ATTRIBUTE: return ToAscii_AttributeProblem(code);
    case ERDPA_DOCUMENT_ACCESS: return ToAscii_DocumentAccessProblem(code);
    case ERDPA_PRINTER: return ToAscii_PrinterProblem(code);
    case ERDPA_SECURITY: return ToAscii_SecurityProblem(code);
    case ERDPA_SELECTION: return ToAscii_SelectionProblem(code);
    case ERDPA_SERVICE: return ToAscii_ServiceProblem(code);
    case ERDPA_UPDATE: return ToAscii_UpdateProblem(code);
    default: return nullptr;
    }
}

bool IsStandardProblem(uint32_t kind, uint32_t code) {
    const char *unknown = "";
    switch (kind) {
    case ERDPA_ACCESS: return Lookup(kAccess, code, unknown) != unknown;
    case ERDPA_ATTRIBUTE: return Lookup(kAttribute, code, unknown) != unknown;
    case ERDPA_DOCUMENT_ACCESS: return Lookup(kDocumentAccess, code, unknown) != unknown;
    case ERDPA_PRINTER: return Lookup(kPrinter, code, unknown) != unknown;
    case ERDPA_SECURITY: return Lookup(kSecurity, code, unknown) != unknown;
    case ERDPA_SELECTION: return Lookup(kSelection, code, unknown) != unknown;
    case ERDPA_SERVICE: return Lookup(kService, code, unknown) != unknown;
    case ERDPA_UPDATE: return Lookup(kUpdate, code, unknown) != unknown;
    default: return false;
    }
}

} // namespace vrcore::encoding

extern "C" {

const char *ToAscii_AccessProblem(uint32_t p) try {
    return Lookup(kAccess, p, "unknown Access error type");
}
VR_CATCH_RETURN("unknown")
const char *ToAscii_AttributeProblem(uint32_t p) try {
    return Lookup(kAttribute, p, "unknown Attribute error type");
}
VR_CATCH_RETURN("unknown")
const char *ToAscii_DocumentAccessProblem(uint32_t p) try {
    return Lookup(kDocumentAccess, p, "unknown DocumentAccess error type");
}
VR_CATCH_RETURN("unknown")
const char *ToAscii_PrinterProblem(uint32_t p) try {
    return Lookup(kPrinter, p, "unknown Printer error type");
}
VR_CATCH_RETURN("unknown")
const char *ToAscii_SecurityProblem(uint32_t p) try {
    return Lookup(kSecurity, p, "unknown Security error type");
}
VR_CATCH_RETURN("unknown")
const char *ToAscii_SelectionProblem(uint32_t p) try {
    return Lookup(kSelection, p, "unknown Selection error type");
}
VR_CATCH_RETURN("unknown")
const char *ToAscii_ServiceProblem(uint32_t p) try {
    return Lookup(kService, p, "unknown Service error type");
}
VR_CATCH_RETURN("unknown")
const char *ToAscii_UpdateProblem(uint32_t p) try {
    return Lookup(kUpdate, p, "unknown Update error type");
}
VR_CATCH_RETURN("unknown")

int ERDPA_Update(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                 const GEN_ObjectIdent *object, const GEN_ErrorMessage *message) try {
    return SingleObjectError(status, result, ERDPA_UPDATE, problem, object, message);
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

int ERDPA_DocumentAccess(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                         const GEN_ObjectIdent *object, const GEN_ErrorMessage *message) try {
    return SingleObjectError(status, result, ERDPA_DOCUMENT_ACCESS, problem, object, message);
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

int ERDPA_Printer(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                  const GEN_ObjectIdent *object, const GEN_ErrorMessage *message) try {
    return SingleObjectError(status, result, ERDPA_PRINTER, problem, object, message);
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

int ERDPA_Access(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                 const GEN_ObjectIdent *object, const GEN_ErrorMessage *message) try {
    if (Enter(status, result)) return 1;
    if (!object) return Fail(status, ERDPA_S_ARG1);
    if (!message) return Fail(status, ERDPA_S_ARG2);
    auto *p = StandardProblem<ERDPA_AccessProblem>(status, problem, object, message);
    if (!p) return 1;
    NewProblem n{ERDPA_ACCESS, p};
    return Merge(status, result, n);
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

int ERDPA_Selection(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                    AS_SetHandle set, const GEN_ObjectIdent *object,
                    const GEN_ErrorMessage *message) try {
    return SelectionError(status, result, ERDPA_SELECTION, problem, set, object, message);
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

int ERDPA_Service(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem, AS_SetHandle set,
                  const GEN_ObjectIdent *object, const GEN_ErrorMessage *message) try {
    return SelectionError(status, result, ERDPA_SERVICE, problem, set, object, message);
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

int ERDPA_Security(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                   const GEN_ErrorMessage *message) try {
    if (Enter(status, result)) return 1;
    if (!message) return Fail(status, ERDPA_S_ARG1);
    auto *p = StandardProblem<ERDPA_SecurityProblem>(status, problem, nullptr, message);
    if (!p) return 1;
    NewProblem n{ERDPA_SECURITY, p};
    return Merge(status, result, n);
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

int ERDPA_Attribute(STF_List *status, ERDPA_ErrorResult **result, uint32_t problem,
                    AS_AttrHandle attribute, const GEN_ObjectIdent *object,
                    const GEN_ErrorMessage *message) try {
    if (Enter(status, result)) return 1;
    if (!message) return Fail(status, ERDPA_S_ARG3);
    auto *p = StandardProblem<ERDPA_AttributeProblem>(status, problem, nullptr, message);
    if (!p) return 1;
    NewProblem n{ERDPA_ATTRIBUTE, p};
    AS_AttrHandle copied = nullptr;
    if (AS_Create(status, &p->attribute, nullptr, 0) ||
        AS_CopyAttrR(status, p->attribute, attribute, &copied)) {
        FreeNew(status, n);
        return Fail(status, ERDPA_S_ATTRCOPY);
    }
    Quiet(status, [&](STF_List *q) { AS_FreeAttrHandle(q, &copied); });
    if (object) {
        n.attr_object = static_cast<GEN_ObjectIdent *>(HeapZero(sizeof(GEN_ObjectIdent)));
        if (!n.attr_object || GEN_DeepCopyObjectIdent(status, n.attr_object, object, nullptr)) {
            GENU__CoveredFree(n.attr_object);
            n.attr_object = nullptr;
            FreeNew(status, n);
            return Fail(status, ERDPA_S_NOMEM);
        }
    }
    return Merge(status, result, n);
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

int ERDPA_FreeError(STF_List *status, ERDPA_ErrorResult *result) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!result) return 0;
    int rc = 0;
    Quiet(status, [&](STF_List *q) { rc = FreeData(q, result->kind, result->data); });
    GENU__CoveredFree(result);
    if (rc) return Fail(status, kUnknownKind);
    return 0;
}
VR_CATCH_STATUS(status, ERDPA_S_NOMEM, ERDPA_S_INTERNAL)

char *ErrorResult2String(const ERDPA_ErrorResult *r) try {
    if (!r) return Dup("Null Error Result");
    const void *d = r->data;
    switch (r->kind & 0xffffu) {
    case ERDPA_ACCESS: {
        if (!d) return Dup("Access Error corrupted");
        auto *p = static_cast<const ERDPA_AccessProblem *>(d);
        return ProblemString(p->problem_form, p->message);
    }
    case ERDPA_ATTRIBUTE: {
        auto *h = static_cast<const ERDPA_AttributeError *>(d);
        if (!h || !h->problems) return Dup("Attribute Error corrupted");
        return ProblemString(h->problems->problem_form, h->problems->message);
    }
    case ERDPA_DOCUMENT_ACCESS:
    case ERDPA_PRINTER:
    case ERDPA_UPDATE: {
        if (!d) {
            uint32_t k = r->kind & 0xffffu;
            return Dup(k == ERDPA_PRINTER  ? "Printer Error corrupted"
                       : k == ERDPA_UPDATE ? "Update Error corrupted"
                                           : "Document Access Error corrupted");
        }
        auto *p = static_cast<const ERDPA_ObjectProblem *>(d);
        return ProblemString(p->problem_form, p->message);
    }
    case ERDPA_SECURITY: {
        if (!d) return Dup("Security Error Corrupted)");
        auto *p = static_cast<const ERDPA_SecurityProblem *>(d);
        return ProblemString(p->problem_form, p->message);
    }
    case ERDPA_SELECTION:
    case ERDPA_SERVICE: {
        if (!d)
            return Dup((r->kind & 0xffffu) == ERDPA_SERVICE ? "Service Error corrupted"
                                                            : "Selection Error corrupted");
        auto *p = static_cast<const ERDPA_SelectionProblem *>(d);
        return ProblemString(p->problem_form, p->message);
    }
    default: return Dup("Unknown Error Type");
    }
}
VR_CATCH_RETURN(nullptr)

} // extern "C"
