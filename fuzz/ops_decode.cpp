// Hostile bytes against the decoders of the attribute-set, argument,
// result and error PDUs: the first byte picks the PDU, the rest is decoded. What
// decodes must dump, re-encode to bytes that decode and re-encode the same,
// and convert into library values (sets, error results) that free cleanly.
// Error PDUs also go through the error decoder under their wire kind and
// under kind 0.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "encoding/ber_ops.h"
#include "encoding/ber_world.h"
#include "vrcore/erdpa.h"
#include "vrcore/odpas.h"
#include "vrcore/odpops.h"

namespace {

int32_t WireKindOf(int pdu) {
    for (int32_t w = 1; w <= 13; ++w)
        if (ERDPA_WireKindToPDU(w) == pdu) return w;
    return -1;
}

void Convert(STF_List *st, int pdu, void *value) {
    AS_SetHandle set = AS_nullSetHandle;
    AS_AttrHandle attr = AS_nullAttrHandle;
    switch (pdu) {
    case ODP_PDU_ATTRIBUTE_SET:
        if (!ToGEN_AS(st, *static_cast<ODP_BerAttrSet **>(value), &set)) AS_Destroy(st, &set);
        return;
    case ODP_PDU_MODIFICATION_SET:
        if (!ToGEN_ModOpAS(st, *static_cast<ODP_BerModAttrSet **>(value), &set))
            AS_Destroy(st, &set);
        return;
    case ODP_PDU_ATTRIBUTE:
        if (!ToGEN_AVA(st, static_cast<ODP_BerAttribute *>(value), &attr)) break;
        return;
    case ODP_PDU_SINGLE_VALUE:
        if (!ToGEN_IfwAVA(st, static_cast<ODP_BerSingleValue *>(value), &attr)) break;
        return;
    case ODP_PDU_PRINT_RES: {
        ODP_PrintResult *r = nullptr;
        if (!ToGEN_printResult(st, static_cast<ODP_BerPrintRes *>(value), &r))
            FreeGEN_printResult(st, r, nullptr);
        return;
    }
    case ODP_PDU_LIST_RES: {
        ODP_ListResult *r = nullptr;
        if (!ToGEN_listResult(st, static_cast<ODP_BerListRes *>(value), &r))
            FreeGEN_listResult(st, r, nullptr);
        return;
    }
    case ODP_PDU_PAUSE_JOB_RES: {
        ODP_PauseJobResult *r = nullptr;
        if (!ToGEN_pauseJobResult(st, static_cast<ODP_BerPauseJobRes *>(value), &r))
            FreeGEN_pauseJobResult(st, r, nullptr);
        return;
    }
    case ODP_PDU_INTERRUPT_JOB_RES: {
        ODP_InterruptJobResult *r = nullptr;
        if (!ToGEN_interruptJobResult(st, static_cast<ODP_BerInterruptJobRes *>(value), &r))
            FreeGEN_interruptJobResult(st, r, nullptr);
        return;
    }
    case ODP_PDU_RESUBMIT_JOB_RES: {
        ODP_ObjectStatusList *r = nullptr;
        if (!_ToGEN_ResubmitJobResult(st, *static_cast<ODP_BerObjectStatus **>(value), &r))
            FreeGEN_ResubmitJobResult(st, r, nullptr);
        return;
    }
    case ODP_PDU_LIST_ARG: {
        auto *a = static_cast<ODP_BerListArg *>(value);
        GEN_Selector sel{};
        if (a->choice == 2 && (a->u.new_list.bit_mask & 0x40) &&
            !ToGEN_selector(st, &a->u.new_list.selector, &sel)) {
            // What converted builds again.
            ODP_BerSelector again{};
            if (!ToBER_selector(st, &again, &sel)) FreeBER_selector(st, &again);
            GEN_DeepDeleteSelector(st, &sel, nullptr);
        }
        return;
    }
    case ODP_PDU_PRINT_ARG:
    case ODP_PDU_PAUSE_RES: return;
    default: {
        // Every other result of an operation carries an optional set.
        bool result = false;
        for (int32_t op = 0; op < 30; ++op) result = result || ODP_ResultPDU(op) == pdu;
        if (!result) return;
        AS_SetHandle *cell = nullptr;
        if (!ToGEN_objectOpResult(st, static_cast<ODP_BerObjectOpRes *>(value), &cell) && cell) {
            AS_Destroy(st, cell);
            GENU__CoveredFree(cell);
        }
        return;
    }
    }
    if (!AS_GetAttrSetR(st, attr, &set)) AS_Destroy(st, &set);
    AS_FreeAttrHandle(st, &attr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    int pdu = vrcore::ber::OpsPduAt(data[0] % vrcore::ber::OpsPduCount());
    STF_List *st = STF_CreateList(nullptr);
    if (!st) return 0;
    int32_t wire = WireKindOf(pdu);
    if (wire > 0) {
        for (int32_t kind : {wire, 0}) {
            ERDPA_ErrorResult *r = nullptr;
            if (!ERDPA_DecodeError(st, kind, data + 1, static_cast<uint32_t>(size - 1), &r)) {
                char *text = ErrorResult2String(r);
                if (!text) abort();
                GENU__CoveredFree(text);
                GENU_Buffer again{};
                int32_t w = 0;
                // What decoded encodes again (extended problems may name
                // identifiers only the registry knows, so this may fail).
                if (!ERDPA_EncodeError(st, r, &w, &again) && w != ERDPA_WireKind(r->kind)) abort();
                _GENU__MyFree(again.value);
                if (ERDPA_FreeError(st, r)) abort();
            } else if (r) {
                abort();
            }
        }
    }
    GENU_Buffer in{static_cast<uint32_t>(size - 1), const_cast<unsigned char *>(data + 1)};
    void *value = nullptr;
    if (GENU_OssDecode(nullptr, &pdu, &in, &value)) {
        STF_DeleteList(st);
        return 0;
    }
    std::string dump;
    vrcore::ber::Print(*vrcore::ber::PduType(pdu), value, dump);
    GENU_Buffer first{};
    if (GENU_OssEncode(nullptr, pdu, value, &first)) abort();
    Convert(st, pdu, value);
    GENU_OssFreePDU(nullptr, pdu, value);
    void *again = nullptr;
    if (GENU_OssDecode(nullptr, &pdu, &first, &again)) abort();
    GENU_Buffer second{};
    if (GENU_OssEncode(nullptr, pdu, again, &second)) abort();
    if (first.length != second.length || memcmp(first.value, second.value, first.length)) abort();
    GENU_OssFreePDU(nullptr, pdu, again);
    _GENU__MyFree(first.value);
    _GENU__MyFree(second.value);
    STF_DeleteList(st);
    return 0;
}
