// Attribute sets, modification sets and attribute assertions to and from
// the runtime's structures.
#include <cstring>

#include "encoding/codes.h"
#include "encoding/opsutil.h"
#include "system/guard.h"
#include "syntax/eacl.h"
#include "vrcore/log.h"
#include "vrcore/odpas.h"

using vrcore::encoding::Fail;
using vrcore::encoding::Quiet;

namespace {

constexpr uint32_t kNoMem = GEN_S_NOMEM;
constexpr uint32_t kNullFree = GEN_S_NULLDELETE;
constexpr uint32_t kSetAccess = GENU_S_CONV_ATTR;
constexpr uint32_t kInvalid = GEN_S_INVALID;
constexpr uint32_t kBadOid = GENU_S_CONV_OID;
constexpr uint32_t kNoValues = AS_S_NOVALUES;
constexpr uint32_t kNoAttrs = AS_S_NOATTR;
constexpr uint32_t kEndAttrs = AS_S_NOMOREATTRS;
constexpr uint32_t kEndValues = AS_S_NOMOREVALUES;
constexpr uint32_t kTypePsis = 85;
constexpr uint32_t kTypeExtAcl = 89;

void FreeValues(ODP_BerValueNode *v) {
    while (v) {
        ODP_BerValueNode *next = v->next;
        _GENU__MyFree(v->value.value);
        _GENU__MyFree(v);
        v = next;
    }
}

// The entry for everyone: no name, and a domain of any kind without a
// name, as the list form "@" arrives.
bool IsEveryone(STF_List *st, const GEN_ExtACL &e) {
    char *name = nullptr, *domain = nullptr;
    GENU_ShortOID syntax = 0;
    bool everyone = false;
    Quiet(st, [&](STF_List *q) {
        everyone = !GENU_ExtractSimpleName(q, &name, &e.name, nullptr) &&
                   !GENU_ExtractDistNameString(q, &domain, &syntax, &e.domain, nullptr) && !*name &&
                   !*domain && syntax == vrcore::syntax::kSyntaxAny;
    });
    GENU__CoveredFree(name);
    GENU__CoveredFree(domain);
    return everyone;
}

// Packs an extended entry in the list form, so that a list-form entry that
// arrived goes out as it came: the everyone entry as "@", and the entry's
// own name type and privilege level rather than the defaults.
int PackListForm(STF_List *st, const GEN_ExtACL &e, GENU_Buffer *out) {
    GEN_PSISAccessControlList *made = nullptr;
    GEN_PSISAccessControlList view{};
    if (GENU_ACLToPSIS(st, &made, &e) == 0) {
        view = *made;
    } else if (STF_GetStatus(st) == GEN_S_NOTSUPP && IsEveryone(st, e)) {
        view.choice = 1;
        if (GENU_MakeEmbeddedSimpleName(st, &view.u.simple_name, "@", nullptr)) return 1;
    } else {
        return 1;
    }
    int32_t name_type = e.name_type, level = e.privilege_level;
    view.name_type = &name_type;
    view.privilege_level = &level;
    int rc = ODP_PackAV(st, kTypePsis, &view, out);
    if (made)
        Quiet(st, [&](STF_List *q) {
            GENU_PSISAccessControlListDesc.del(q, made, &genu_ossAllocator[1]);
        });
    return rc;
}

// Packs one stored value under the attribute's type; an extended
// access-control value goes in list form when list_form is set.
int PackValue(STF_List *st, uint32_t type, const void *value, bool list_form, GENU_Buffer *out) {
    if (type == kTypeExtAcl && list_form)
        return PackListForm(st, *static_cast<const GEN_ExtACL *>(value), out);
    return ODP_PackAV(st, type, value, out);
}

// The identifier, values and (for the modification form) operator of one
// attribute. *values is null when the attribute has none.
int AttrToBer(STF_List *st, AS_AttrHandle attr, int32_t mode, const char *who, GENU_BerOID *type,
              ODP_BerValueNode **values, int32_t *op, uint8_t *bits) {
    *values = nullptr;
    if (!attr) return Fail(st, kInvalid);
    GENU_ShortOID id = 0;
    if (AS_GetAttrIDR(st, attr, &id) || GENU_ShortToBerOID(st, id, type)) return Fail(st, kBadOid);
    if (op) {
        int32_t o = 0;
        if (AS_GetAttrModifyOpR(st, attr, &o)) return Fail(st, kSetAccess);
        if (o >= AS_MODOP_ADD_VALUES && o <= AS_MODOP_SET_DEFAULT) {
            *op = o;
            *bits |= ODP_MODATTR_OPERATOR;
        }
    }
    uint32_t stored = 0;
    int32_t registered = 0;
    if (AS_GetAttrValTypeR(st, attr, &stored) || GENU_AttrIdToType(st, id, &registered))
        return Fail(st, kSetAccess);
    // An attribute of the list-form syntax holds its values in the extended
    // form (as the decoders hand them over) and sends them in list form.
    bool list_registered = registered == static_cast<int32_t>(kTypePsis) && stored == kTypeExtAcl;
    if (stored != static_cast<uint32_t>(registered) && !list_registered) {
        LOG_CondMessage(5, __FILE__, __LINE__,
                        "%s: Detect AS with inconsistent attr-Id and attr-value-type :\n", who);
        LOG_CondMessage(5, __FILE__, __LINE__,
                        "AS with shoid %lu was created with valType %lu, but should be %d\n",
                        static_cast<unsigned long>(id), static_cast<unsigned long>(stored),
                        registered);
        return Fail(st, kInvalid);
    }
    AS_AttrValHandle vh = nullptr;
    void *value = nullptr;
    if (AS_FindFirstAttrValR(st, attr, &vh, &value)) {
        if (STF_GetStatus(st) == kNoValues) {
            STF_ClearStatus(st);
            return 0;
        }
        return Fail(st, kSetAccess);
    }
    if (bits) *bits |= ODP_MODATTR_VALUES;
    ODP_BerValueNode *head = nullptr, **tail = &head;
    int rc = 0;
    for (;;) {
        auto *node = static_cast<ODP_BerValueNode *>(_GENU__MyMalloc(sizeof(ODP_BerValueNode)));
        if (!node) {
            rc = Fail(st, kNoMem);
            break;
        }
        memset(node, 0, sizeof *node);
        if (PackValue(st, stored, value, list_registered || mode != ODP_AS_MODE_EXTENDED_ACL,
                      &node->value)) {
            _GENU__MyFree(node);
            rc = 1;
            break;
        }
        *tail = node;
        tail = &node->next;
        if (AS_FindNextAttrValVR(st, &vh, &value)) {
            if (STF_GetStatus(st) != kEndValues) rc = Fail(st, kSetAccess);
            break;
        }
    }
    if (rc) {
        Quiet(st, [&](STF_List *q) { AS_FreeAttrValHandle(q, &vh); });
        FreeValues(head);
        if (bits) *bits &= static_cast<uint8_t>(~ODP_MODATTR_VALUES);
        return 1;
    }
    if (AS_FreeAttrValHandle(st, &vh)) {
        FreeValues(head);
        return Fail(st, kSetAccess);
    }
    STF_ClearStatus(st);
    *values = head;
    return 0;
}

// Walks the set's attributes; `add` encodes one into a new node.
template <class Node, class Add> int SetToBer(STF_List *st, Node **out, const AS_SetHandle *set,
                                              Add &&add, void (*free_list)(Node *)) {
    if (out) *out = nullptr;
    if (!set || !out) return Fail(st, kInvalid);
    if (*set == AS_nullSetHandle) return 0;
    AS_AttrHandle ah = nullptr;
    GENU_ShortOID id = 0;
    if (AS_FindFirstAttr(st, *set, &ah, &id)) {
        if (STF_GetStatus(st) == kNoAttrs) {
            STF_ClearStatus(st);
            return 0;
        }
        return Fail(st, kSetAccess);
    }
    Node *head = nullptr, **tail = &head;
    int rc = 0;
    for (;;) {
        auto *node = static_cast<Node *>(_GENU__MyMalloc(sizeof(Node)));
        if (!node) {
            rc = Fail(st, kNoMem);
            break;
        }
        memset(node, 0, sizeof *node);
        if (add(ah, node)) {
            _GENU__MyFree(node);
            rc = 1;
            break;
        }
        *tail = node;
        tail = &node->next;
        if (AS_FindNextAttrR(st, &ah, &id)) {
            if (STF_GetStatus(st) != kEndAttrs) rc = Fail(st, kSetAccess);
            break;
        }
    }
    Quiet(st, [&](STF_List *q) { AS_FreeAttrHandle(q, &ah); });
    if (rc) {
        free_list(head);
        return 1;
    }
    STF_ClearStatus(st);
    *out = head;
    return 0;
}

void FreeAttrList(ODP_BerAttrSet *s) {
    while (s) {
        ODP_BerAttrSet *next = s->next;
        FreeValues(s->attribute.values);
        _GENU__MyFree(s);
        s = next;
    }
}

void FreeModList(ODP_BerModAttrSet *s) {
    while (s) {
        ODP_BerModAttrSet *next = s->next;
        FreeValues(s->values);
        _GENU__MyFree(s);
        s = next;
    }
}

// Adds one decoded attribute with its values to the set and returns its
// handle. add_fail is the code for an attribute the set refuses.
int AddDecodedAttr(STF_List *st, AS_SetHandle set, const GENU_BerOID &type,
                   const ODP_BerValueNode *values, const int32_t *op, const char *who,
                   uint32_t add_fail, AS_AttrHandle *attr_out) {
    *attr_out = nullptr;
    GENU_ShortOID id = 0;
    int32_t vt = 0;
    if (GENU_BerToShortOID(st, &type, &id) || GENU_AttrIdToType(st, id, &vt) || vt < 0)
        return Fail(st, kBadOid);
    LOG_CondMessage(7, __FILE__, __LINE__, "%s: adding %s\n", who, GENU_ShortOIDToAscii(id));
    uint32_t stored =
        static_cast<uint32_t>(vt) == kTypePsis ? kTypeExtAcl : static_cast<uint32_t>(vt);
    AS_AttrHandle ah = nullptr;
    if (AS_AddAttr(st, set, id, stored, &ah)) return Fail(st, add_fail);
    auto fail = [&](uint32_t code) {
        Quiet(st, [&](STF_List *q) { AS_FreeAttrHandle(q, &ah); });
        return Fail(st, code);
    };
    if (op && *op >= AS_MODOP_ADD_VALUES && *op <= AS_MODOP_SET_DEFAULT) {
        LOG_CondMessage(7, __FILE__, __LINE__, "ModToGEN_AS: setting modify op\n");
        if (AS_SetAttrModifyOpR(st, ah, *op)) return fail(kSetAccess);
    }
    for (const ODP_BerValueNode *v = values; v; v = v->next) {
        if (!v->value.length || !v->value.value) continue;
        void *value = nullptr;
        GENU_ValueDescriptor desc{};
        if (ODP_UnpackAV(st, v->value.length, v->value.value, static_cast<uint32_t>(vt), &value,
                         &desc))
            return fail(kSetAccess);
        if (static_cast<uint32_t>(vt) == kTypePsis) {
            GEN_ExtACL *ext = nullptr;
            int rc = GENU_ACLFromPSIS(st, &ext, static_cast<GEN_PSISAccessControlList *>(value));
            Quiet(st, [&](STF_List *q) { desc.del(q, value, &genu_ossAllocator[0]); });
            if (rc) return fail(kSetAccess);
            value = ext;
            desc = GENU_ExtACLDesc;
        }
        if (AS_AddAttrValR(st, ah, stored, value, &desc)) {
            Quiet(st, [&](STF_List *q) { desc.del(q, value, &genu_ossAllocator[1]); });
            return fail(kSetAccess);
        }
    }
    STF_ClearStatus(st);
    *attr_out = ah;
    return 0;
}

void DestroySet(STF_List *st, AS_SetHandle *set) {
    Quiet(st, [&](STF_List *q) { AS_Destroy(q, set); });
}

// Decodes a list of attributes (Node: ODP_BerAttrSet or ODP_BerModAttrSet)
// into a new set.
template <class Node, class Parts>
int SetToGen(STF_List *st, const Node *list, AS_SetHandle *out, const char *who, Parts &&parts) {
    if (out) *out = AS_nullSetHandle;
    if (!out) return Fail(st, kInvalid);
    // The set allows duplicates: whatever identifiers arrive, each attribute
    // is kept, and lookups of identifiers that occur once work as usual.
    AS_SetHandle set = AS_nullSetHandle;
    if (AS_Create(st, &set, &genu_ossAllocator[1], 1)) return Fail(st, kNoMem);
    for (const Node *n = list; n; n = n->next) {
        const GENU_BerOID *type;
        const ODP_BerValueNode *values;
        const int32_t *op;
        parts(n, &type, &values, &op);
        AS_AttrHandle ah = nullptr;
        if (AddDecodedAttr(st, set, *type, values, op, who, kNoMem, &ah)) {
            DestroySet(st, &set);
            return 1;
        }
        if (AS_FreeAttrHandle(st, &ah)) {
            DestroySet(st, &set);
            return Fail(st, kSetAccess);
        }
    }
    STF_ClearStatus(st);
    *out = set;
    return 0;
}

// A fresh plain set holding one attribute; the set lives on behind the
// returned attribute handle.
int AttrToGen(STF_List *st, const GENU_BerOID *type, const ODP_BerValueNode *values,
              AS_AttrHandle *out) {
    if (out) *out = nullptr;
    if (!type || !out) return Fail(st, kInvalid);
    AS_SetHandle set = AS_nullSetHandle;
    if (AS_Create(st, &set, &genu_ossAllocator[1], 0)) return Fail(st, kNoMem);
    AS_AttrHandle ah = nullptr;
    if (AddDecodedAttr(st, set, *type, values, nullptr, "ToGEN_Attr", kBadOid, &ah)) {
        DestroySet(st, &set);
        return 1;
    }
    if (AS_FreeSetHandle(st, &set)) {
        AS_SetHandle owner = AS_nullSetHandle;
        Quiet(st, [&](STF_List *q) {
            if (!AS_GetAttrSetR(q, ah, &owner)) AS_Destroy(q, &owner);
            AS_FreeAttrHandle(q, &ah);
        });
        return Fail(st, kSetAccess);
    }
    STF_ClearStatus(st);
    *out = ah;
    return 0;
}

} // namespace

extern "C" {

int ToBER_Attr(STF_List *status, ODP_BerAttribute *out, AS_AttrHandle attr, int32_t mode) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!out) return Fail(status, kInvalid);
    memset(out, 0, sizeof *out);
    return AttrToBer(status, attr, mode, "ToBER_Attr", &out->type, &out->values, nullptr, nullptr);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToBER_AVA(STF_List *status, ODP_BerAttribute *out, AS_AttrHandle attr) try {
    return ToBER_Attr(status, out, attr, ODP_AS_MODE_EXTENDED_ACL);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeBER_Attr(STF_List *status, ODP_BerAttribute *attr) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!attr) return Fail(status, kNullFree);
    FreeValues(attr->values);
    attr->values = nullptr;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToBER_IfwAVA(STF_List *status, ODP_BerSingleValue *out, AS_AttrHandle attr) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!out) return Fail(status, kInvalid);
    memset(out, 0, sizeof *out);
    ODP_BerValueNode *values = nullptr;
    if (AttrToBer(status, attr, ODP_AS_MODE_EXTENDED_ACL, "ToBER_IfwAVA", &out->type, &values,
                  nullptr, nullptr))
        return 1;
    if (!values) {
        memset(out, 0, sizeof *out);
        return Fail(status, kInvalid);
    }
    out->value = values->value;
    values->value = GENU_Buffer{0, nullptr};
    FreeValues(values);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeBER_ifwAVA(STF_List *status, ODP_BerSingleValue *ava) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ava) return Fail(status, kNullFree);
    _GENU__MyFree(ava->value.value);
    ava->value = GENU_Buffer{0, nullptr};
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToBER_AS(STF_List *status, ODP_BerAttrSet **out, const AS_SetHandle *set, int32_t mode) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    return SetToBer<ODP_BerAttrSet>(
        status, out, set,
        [&](AS_AttrHandle ah, ODP_BerAttrSet *node) {
            return AttrToBer(status, ah, mode, "ToBER_Attr", &node->attribute.type,
                             &node->attribute.values, nullptr, nullptr);
        },
        FreeAttrList);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeBER_AS(STF_List *status, ODP_BerAttrSet *set) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    FreeAttrList(set);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToBER_ModOpAS(STF_List *status, ODP_BerModAttrSet **out, const AS_SetHandle *set,
                  int32_t mode) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    return SetToBer<ODP_BerModAttrSet>(
        status, out, set,
        [&](AS_AttrHandle ah, ODP_BerModAttrSet *node) {
            return AttrToBer(status, ah, mode, "ToBER_ModOpAttr", &node->type, &node->values,
                             &node->modify_operator, &node->bit_mask);
        },
        FreeModList);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeBER_ModOpAttr(STF_List *status, ODP_BerModAttrSet *node) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!node) return Fail(status, kNullFree);
    FreeValues(node->values);
    node->values = nullptr;
    node->bit_mask &= static_cast<uint8_t>(~ODP_MODATTR_VALUES);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeBER_ModOpAS(STF_List *status, ODP_BerModAttrSet *set) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    FreeModList(set);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_AS(STF_List *status, const ODP_BerAttrSet *set, AS_SetHandle *out) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    return SetToGen(status, set, out, "ToGEN_AS",
                    [](const ODP_BerAttrSet *n, const GENU_BerOID **type,
                       const ODP_BerValueNode **values, const int32_t **op) {
                        *type = &n->attribute.type;
                        *values = n->attribute.values;
                        *op = nullptr;
                    });
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int MallocAStoGEN(STF_List *status, const ODP_BerAttrSet *set, AS_SetHandle **out) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!out) return Fail(status, kInvalid);
    *out = nullptr;
    auto *cell = static_cast<AS_SetHandle *>(GENU__CoveredMalloc(sizeof(AS_SetHandle)));
    if (!cell) return Fail(status, kNoMem);
    if (ToGEN_AS(status, set, cell)) {
        GENU__CoveredFree(cell);
        return 1;
    }
    *out = cell;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_ModOpAS(STF_List *status, const ODP_BerModAttrSet *set, AS_SetHandle *out) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    return SetToGen(status, set, out, "ModToGEN_AS",
                    [](const ODP_BerModAttrSet *n, const GENU_BerOID **type,
                       const ODP_BerValueNode **values, const int32_t **op) {
                        *type = &n->type;
                        *values = (n->bit_mask & ODP_MODATTR_VALUES) ? n->values : nullptr;
                        *op = (n->bit_mask & ODP_MODATTR_OPERATOR) ? &n->modify_operator : nullptr;
                    });
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_Attr(STF_List *status, const GENU_BerOID *type, const ODP_BerValueNode *values,
               AS_AttrHandle *out) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    return AttrToGen(status, type, values, out);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_AVA(STF_List *status, const ODP_BerAttribute *attr, AS_AttrHandle *out) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!attr) {
        if (out) *out = nullptr;
        return Fail(status, kInvalid);
    }
    return AttrToGen(status, &attr->type, attr->values, out);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int ToGEN_IfwAVA(STF_List *status, const ODP_BerSingleValue *ava, AS_AttrHandle *out) try {
    if (!status) return 1;
    STF_ClearStatus(status);
    if (!ava) {
        if (out) *out = nullptr;
        return Fail(status, kInvalid);
    }
    ODP_BerValueNode one{nullptr, ava->value};
    return AttrToGen(status, &ava->type, &one, out);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
