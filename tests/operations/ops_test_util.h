// Helpers of the operation tests.
#pragma once

#include <cstring>
#include <random>
#include <vector>

#include "pack_sweep.h"
#include "random_value.h"
#include "status_list.h"
#include "vrcore/erdpa.h"
#include "vrcore/odpas.h"

namespace vrtest_ops {

using Status = vrtest::StatusList;
using vrtest::RandomValue;
using Bytes = std::vector<unsigned char>;

inline GEN_SimpleName Name(const char *s) {
    GEN_SimpleName n{GEN_KIND_IRV, {}, 0};
    strcpy(n.u.string, s);
    return n;
}
inline GENU_ShortOID Id(const char *name) {
    GENU_ShortOID id = 0;
    EXPECT_EQ(GENU_AsciiToShortOID(Status(), name, &id), 0) << name;
    return id;
}

// The built-in attributes whose syntax packs and has a random generator.
inline std::vector<GENU_ShortOID> PackableAttributes() {
    std::vector<GENU_ShortOID> ids;
    Status st;
    std::mt19937 rng(1);
    for (GENU_ShortOID id = 1; id <= 3562; id = id == 1092 ? 3000 : id + 1) {
        int32_t type = -1;
        RandomValue v;
        if (!strncmp(GENU_ShortOIDToAscii(id), "id-att-", 7) && !GENU_AttrIdToType(st, id, &type) &&
            type >= 0 && GENU_TypeToPDU(static_cast<uint32_t>(type)) >= 0 &&
            v.Fill(static_cast<uint32_t>(type), rng))
            ids.push_back(id);
    }
    return ids;
}

// Packable built-in attributes, some without values, each with a random operator.
inline AS_SetHandle MakeRandomSet(std::mt19937 &rng, const std::vector<GENU_ShortOID> &ids,
                                  size_t max_attrs = 8) {
    Status st;
    AS_SetHandle set = AS_nullSetHandle;
    EXPECT_EQ(AS_Create(st, &set, nullptr, 0), 0);
    for (size_t n = 1 + rng() % max_attrs; n > 0; --n) {
        GENU_ShortOID id = ids[rng() % ids.size()];
        int present = 0;
        int32_t type = 0;
        AS_AttrHandle ah = nullptr;
        if (AS_IsAttrPresent(st, set, id, &present) || present) continue;
        GENU_AttrIdToType(st, id, &type);
        auto syntax = static_cast<uint32_t>(type);
        EXPECT_EQ(AS_AddAttr(st, set, id, syntax, &ah), 0);
        for (size_t k = rng() % 5 == 0 ? 0 : 1 + rng() % 3; k > 0; --k) {
            RandomValue v;
            EXPECT_TRUE(v.Fill(syntax, rng)) << type;
            EXPECT_EQ(AS_AddAttrValMR(st, ah, syntax, v.data(), GENU_AVT2Descriptor(syntax)), 0)
                << std::hex << st.Code();
        }
        AS_SetAttrModifyOpR(st, ah, static_cast<int32_t>(rng() % 6) - 1);
        AS_FreeAttrHandle(st, &ah);
    }
    return set;
}

inline Bytes Encode(int pdu, const void *structure) {
    GENU_Buffer b{};
    EXPECT_EQ(GENU_OssEncode(nullptr, pdu, structure, &b), 0) << pdu;
    Bytes out(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    return out;
}

inline void *Decode(int pdu, Bytes bytes) {
    GENU_Buffer in{static_cast<uint32_t>(bytes.size()), bytes.data()};
    void *back = nullptr;
    EXPECT_EQ(GENU_OssDecode(nullptr, &pdu, &in, &back), 0) << pdu;
    return back;
}

// Encodes a structure under a PDU and decodes it again.
inline void *Wire(int pdu, const void *structure) { return Decode(pdu, Encode(pdu, structure)); }

// Whether object identifications pack (all error kinds but security and attribute).
inline bool ObjectsPack() { return GENU_TypeToPDU(64) >= 0; }

// Selection and service problems name `set`; the attribute one `attr` of `attr_object`.
inline int Report(STF_List *st, ERDPA_ErrorResult **r, uint32_t kind, uint32_t code,
                  const GEN_ObjectIdent *object, const GEN_ErrorMessage *m, AS_SetHandle set,
                  AS_AttrHandle attr, const GEN_ObjectIdent *attr_object) {
    switch (kind) {
    case ERDPA_UPDATE: return ERDPA_Update(st, r, code, object, m);
    case ERDPA_ATTRIBUTE: return ERDPA_Attribute(st, r, code, attr, attr_object, m);
    case ERDPA_DOCUMENT_ACCESS: return ERDPA_DocumentAccess(st, r, code, object, m);
    case ERDPA_SELECTION: return ERDPA_Selection(st, r, code, set, object, m);
    case ERDPA_PRINTER: return ERDPA_Printer(st, r, code, object, m);
    case ERDPA_ACCESS: return ERDPA_Access(st, r, code, object, m);
    case ERDPA_SERVICE: return ERDPA_Service(st, r, code, set, object, m);
    default: return ERDPA_Security(st, r, code, m);
    }
}

// A job's identification, a text and an octet message, and a set of one attribute.
struct Parts {
    GEN_ObjectIdent *object = nullptr;
    GEN_ErrorMessage message{}, octets{};
    AS_SetHandle set = AS_nullSetHandle;
    AS_AttrHandle attr = AS_nullAttrHandle;
    GENU_ShortOID id = 0;
    explicit Parts(const char *job, const char *text = "went wrong") {
        Status st;
        GEN_Text t{};
        GEN_OctetString o{
            4, reinterpret_cast<unsigned char *>(const_cast<char *>("\x01\x02\x03\x04"))};
        GEN_Cardinal c = 3;
        EXPECT_EQ(GENU_MakeObjectIdent_JobId(st, &object, job, nullptr), 0);
        EXPECT_EQ(GENU_MakeEmbeddedText(st, &t, text, nullptr), 0);
        EXPECT_EQ(GENU_MakeEmbeddedErrorMsg(st, &message, &t, nullptr, nullptr), 0);
        EXPECT_EQ(GENU_MakeEmbeddedErrorMsg(st, &octets, nullptr, &o, nullptr), 0);
        id = Id("id-att-copy-count");
        EXPECT_EQ(AS_Create(st, &set, nullptr, 0), 0);
        EXPECT_EQ(AS_AddAttrValM(st, set, id, 1, &c, &GENU_CardinalDesc, &attr), 0);
        GEN_DeepDeleteText(st, &t, nullptr);
    }
    ~Parts() {
        Status st;
        GEN_DeleteObjectIdent(st, object, nullptr);
        GEN_DeepDeleteErrorMessage(st, &message, nullptr);
        GEN_DeepDeleteErrorMessage(st, &octets, nullptr);
        AS_FreeAttrHandle(st, &attr);
        AS_Destroy(st, &set);
    }
    Parts(const Parts &) = delete;
    Parts &operator=(const Parts &) = delete;
    int Report(STF_List *st, ERDPA_ErrorResult **r, uint32_t kind, uint32_t code,
               const GEN_ObjectIdent *attr_object = nullptr,
               const GEN_ErrorMessage *m = nullptr) const {
        return vrtest_ops::Report(st, r, kind, code, object, m ? m : &message, set, attr,
                                  attr_object);
    }
};

// Two problems (one where the kind keeps one): the text message, then the octet one
// (for a selection without a set).
inline ERDPA_ErrorResult *TwoProblems(const Parts &p, uint32_t kind) {
    Status st;
    ERDPA_ErrorResult *r = nullptr;
    const GEN_ObjectIdent *attr_object = ObjectsPack() ? p.object : nullptr;
    EXPECT_EQ(p.Report(st, &r, kind, 1 + (kind == ERDPA_ATTRIBUTE), attr_object), 0) << kind;
    EXPECT_EQ(Report(st, &r, kind, 2 + (kind == ERDPA_ATTRIBUTE), p.object, &p.octets,
                     kind == ERDPA_SELECTION ? AS_nullSetHandle : p.set, p.attr, attr_object),
              0)
        << kind;
    return r;
}

} // namespace vrtest_ops
