// Sample encodings of the operation PDUs made by vrcore from random
// library values: the input of the cross-check with the independent codec
// and of the fuzz corpus.
#pragma once

#include <random>
#include <vector>

#include "ops_test_util.h"
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
                AS_AddAttrValMR(st.list, ah, static_cast<uint32_t>(type), v.bytes,
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

} // namespace vrtest_ops
