// Sample encodings of the operation PDUs made by vrcore from random
// library values: the input of the cross-check with the independent codec
// and of the fuzz corpus.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "ops_test_util.h"
#include "vrcore/erdpa.h"
#include "vrcore/odpas.h"

namespace vrtest_ops {

struct Sample {
    int pdu;
    std::vector<unsigned char> bytes;
};

// A random set of packable built-in attributes (some without values, with
// random modify operators).
inline AS_SetHandle MakeRandomSet(std::mt19937 &rng, const std::vector<GENU_ShortOID> &ids, size_t max_attrs = 8) {
    Status st;
    AS_SetHandle set = AS_nullSetHandle;
    if (AS_Create(st.list, &set, nullptr, 0)) return set;
    size_t n = 1 + rng() % max_attrs;
    for (size_t i = 0; i < n; ++i) {
        GENU_ShortOID id = ids[rng() % ids.size()];
        int present = 0;
        AS_IsAttrPresent(st.list, set, id, &present);
        if (present) continue;
        int32_t type = 0;
        GENU_AttrIdToType(st.list, id, &type);
        AS_AttrHandle ah = nullptr;
        if (AS_AddAttr(st.list, set, id, static_cast<uint32_t>(type), &ah)) continue;
        size_t values = rng() % 5 == 0 ? 0 : 1 + rng() % 3;
        for (size_t k = 0; k < values; ++k) {
            RandomValue v;
            if (v.Fill(static_cast<uint32_t>(type), rng))
                AS_AddAttrValMR(st.list, ah, static_cast<uint32_t>(type), v.data(),
                                GENU_AVT2Descriptor(static_cast<uint32_t>(type)));
        }
        AS_SetAttrModifyOpR(st.list, ah, static_cast<int32_t>(rng() % 6) - 1);
        AS_FreeAttrHandle(st.list, &ah);
    }
    return set;
}

inline bool Encode(int pdu, const void *structure, std::vector<Sample> &out) {
    GENU_Buffer b{};
    if (GENU_OssEncode(nullptr, pdu, structure, &b)) return false;
    out.push_back(Sample{pdu, std::vector<unsigned char>(b.value, b.value + b.length)});
    _GENU__MyFree(b.value);
    return true;
}

// Samples of the set PDUs; false when vrcore could not build one.
inline bool SetSamples(std::mt19937 &rng, int rounds, std::vector<Sample> &out) {
    auto ids = PackableAttributes();
    Status st;
    for (int r = 0; r < rounds; ++r) {
        AS_SetHandle set = MakeRandomSet(rng, ids);
        ODP_BerAttrSet *plain = nullptr;
        ODP_BerModAttrSet *mod = nullptr;
        bool ok = !ToBER_AS(st.list, &plain, &set, ODP_AS_MODE_EXTENDED_ACL) &&
                  !ToBER_ModOpAS(st.list, &mod, &set, ODP_AS_MODE_EXTENDED_ACL) &&
                  Encode(ODP_PDU_ATTRIBUTE_SET, &plain, out) && Encode(ODP_PDU_MODIFICATION_SET, &mod, out) &&
                  Encode(ODP_PDU_ATTRIBUTE, &plain->attribute, out);
        ODP_BerSingleValue ava{};
        for (ODP_BerAttrSet *a = plain; ok && a; a = a->next) {
            if (!a->attribute.values) continue;
            ava.type = a->attribute.type;
            ava.value = a->attribute.values->value;
            ok = Encode(ODP_PDU_SINGLE_VALUE, &ava, out);
            break;
        }
        FreeBER_AS(st.list, plain);
        FreeBER_ModOpAS(st.list, mod);
        AS_Destroy(st.list, &set);
        if (!ok) return false;
    }
    return true;
}

// Whether object identifications can be packed (the error kinds other
// than security and attribute need them).
inline bool ObjectsPack() { return GENU_TypeToPDU(64) >= 0; }

// Samples of the error PDUs: every kind that can be built, with text and
// octet messages, standard and extended problems.
inline bool ErrorSamples(std::mt19937 &rng, int rounds, std::vector<Sample> &out) {
    auto ids = PackableAttributes();
    Status st;
    for (int r = 0; r < rounds; ++r) {
        GEN_ObjectIdent *object = nullptr;
        std::string job = "job-" + std::to_string(rng() % 1000);
        if (GENU_MakeObjectIdent_JobId(st.list, &object, job.c_str(), nullptr)) return false;
        GEN_Text t{};
        GEN_ErrorMessage text{}, octets{};
        GENU_MakeEmbeddedText(st.list, &t, job.c_str(), nullptr);
        GENU_MakeEmbeddedErrorMsg(st.list, &text, &t, nullptr, nullptr);
        GEN_OctetString o{static_cast<int32_t>(job.size()), reinterpret_cast<unsigned char *>(job.data())};
        GENU_MakeEmbeddedErrorMsg(st.list, &octets, nullptr, &o, nullptr);
        AS_SetHandle set = MakeRandomSet(rng, ids, 2);
        AS_AttrHandle attr = nullptr;
        GENU_ShortOID id = 0;
        AS_FindFirstAttr(st.list, set, &attr, &id);
        bool ok = true;
        for (uint32_t kind = 1; ok && kind <= 8; ++kind) {
            if (!ObjectsPack() && kind != ERDPA_SECURITY && kind != ERDPA_ATTRIBUTE) continue;
            ERDPA_ErrorResult *e = nullptr;
            for (int k = 0; k < 2; ++k) {
                const GEN_ErrorMessage *m = rng() % 2 ? &text : &octets;
                uint32_t code = 1 + rng() % 3;
                switch (kind) {
                case ERDPA_UPDATE: ERDPA_Update(st.list, &e, code, object, m); break;
                case ERDPA_ATTRIBUTE:
                    ERDPA_Attribute(st.list, &e, code + 1, attr, ObjectsPack() ? object : nullptr, m);
                    break;
                case ERDPA_DOCUMENT_ACCESS: ERDPA_DocumentAccess(st.list, &e, code, object, m); break;
                case ERDPA_SELECTION: ERDPA_Selection(st.list, &e, code, k ? set : AS_nullSetHandle, object, m); break;
                case ERDPA_PRINTER: ERDPA_Printer(st.list, &e, code, object, m); break;
                case ERDPA_ACCESS: ERDPA_Access(st.list, &e, code, object, m); break;
                case ERDPA_SERVICE: ERDPA_Service(st.list, &e, code, set, object, m); break;
                default: ERDPA_Security(st.list, &e, code, m); break;
                }
            }
            if (!e) {
                ok = false;
                break;
            }
            if (kind == ERDPA_SECURITY && rng() % 2) {
                auto *p = static_cast<ERDPA_SecurityProblem *>(e->data);
                p->problem_form = ERDPA_EXTENDED_PROBLEM;
                p->problem_code = id;
            }
            int32_t wire = 0;
            GENU_Buffer b{};
            ok = !ERDPA_EncodeError(st.list, e, &wire, &b);
            if (ok) {
                out.push_back(Sample{ERDPA_WireKindToPDU(wire), std::vector<unsigned char>(b.value, b.value + b.length)});
                _GENU__MyFree(b.value);
            }
            ERDPA_FreeError(st.list, e);
        }
        AS_FreeAttrHandle(st.list, &attr);
        AS_Destroy(st.list, &set);
        GEN_DeleteObjectIdent(st.list, object, nullptr);
        GEN_DeepDeleteText(st.list, &t, nullptr);
        GEN_DeepDeleteErrorMessage(st.list, &text, nullptr);
        GEN_DeepDeleteErrorMessage(st.list, &octets, nullptr);
        if (!ok) return false;
    }
    return true;
}

} // namespace vrtest_ops
