// Encode and send: the argument of an operation to the thread's server (or
// encoded and decoded again in local-only mode), the reply decoded.
#include <unistd.h>

#include "client/binding.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace vrcore::client {
namespace {

constexpr const char *kSource = "c_supprt.onc";

int Fail(STF_List *status, uint32_t code) {
    STF_AddStatus(status, code, 0);
    return 1;
}

int Tid() { return static_cast<int>(gettid()); }

// Decodes `length` bytes as the PDU; null on failure.
void *Decode(int pdu, const unsigned char *bytes, uint32_t length) {
    GENU_Buffer in{length, const_cast<unsigned char *>(bytes)};
    void *value = nullptr;
    int number = pdu;
    if (GENU_OssDecode(nullptr, &number, &in, &value) != 0) return nullptr;
    return value;
}

} // namespace

int EncodeAndSend(STF_List *status, int32_t operation, const void *argument, void **result,
                  ERDPA_ErrorResult **error) {
    *result = nullptr;
    *error = nullptr;
    ClientHandle *h = CurrentHandle();
    if (!h) return Fail(status, ODP_S_BADARG);
    int arg_pdu = ODP_ArgumentPDU(operation), res_pdu = ODP_ResultPDU(operation);
    if (arg_pdu <= 0) return Fail(status, ODP_S_BADARG);
    if (ODP__printPDU) {
        LOG_CondMessage(6, kSource, __LINE__, "BerEncodeAndSend: printing PDU...\n");
        GENU_OssPrintPDU(nullptr, arg_pdu, argument);
    }
    LOG_CondMessage(6, kSource, __LINE__,
                    "BerEncodeAndSend: encoding... ArgPDU=%d, ResPDU=%d, tid=%d\n", arg_pdu,
                    res_pdu, Tid());
    GENU_Buffer encoded{};
    if (GENU_OssEncode(nullptr, arg_pdu, argument, &encoded) != 0) {
        LOG_CondMessage(5, kSource, __LINE__, "BerEncodeAndSend: Encode failed on thread %d\n",
                        Tid());
        return Fail(status, ODP_S_ENCODE);
    }
    LOG_CondMessage(6, kSource, __LINE__, "BerEncodeAndSend: encoded okay, length = %u\n",
                    encoded.length);
    // A connection that failed a call or that the server closed (it
    // restarted, say) is made again before the next; a failed call itself
    // is not repeated.
    if (h->server && (h->broken || (h->transport && !h->transport->Alive()))) {
        if (uint32_t code = Reconnect(h)) {
            _GENU__MyFree(encoded.value);
            return Fail(status, code);
        }
    }
    if (!h->transport) {
        LOG_CondMessage(6, kSource, __LINE__, "local_only: decoding, length = %u...\n",
                        encoded.length);
        void *again = Decode(arg_pdu, encoded.value, encoded.length);
        _GENU__MyFree(encoded.value);
        if (!again) return Fail(status, ODP_S_DECODE);
        GENU_OssFreePDU(nullptr, arg_pdu, again);
        LOG_CondMessage(6, kSource, __LINE__, "local_only: decoded okay, pdunum=%d\n", arg_pdu);
        return 0;
    }
    Reply reply;
    uint32_t code = h->transport->Call(operation, encoded.value, encoded.length, &reply);
    _GENU__MyFree(encoded.value);
    if (code == ODP_S_COMM || code == ODP_S_TIMEOUT) h->broken = true;
    if (code) return Fail(status, code);
    if (reply.result_length > 0) {
        LOG_CondMessage(6, kSource, __LINE__, "BerEncodeAndSend: decoding result, pdunum=%d...\n",
                        res_pdu);
        *result = Decode(res_pdu, reply.result, reply.result_length);
        if (!*result) {
            LOG_CondMessage(5, kSource, __LINE__,
                            "BerEncodeAndSend: Decode result failed on thread %d\n", Tid());
            h->transport->FreeReply(&reply);
            return Fail(status, ODP_S_DECODE);
        }
        LOG_CondMessage(6, kSource, __LINE__, "BerEncodeAndSend: result decoded okay, pdunum=%d\n",
                        res_pdu);
        if (ODP__printPDU) {
            LOG_CondMessage(6, kSource, __LINE__, "BerEncodeAndSend: printing result PDU...\n");
            GENU_OssPrintPDU(nullptr, res_pdu, *result);
        }
    }
    if (reply.error_length > 0) {
        StatusScratch scratch;
        if (ERDPA_DecodeError(scratch, reply.error_kind, reply.error, reply.error_length, error)) {
            LOG_CondMessage(5, kSource, __LINE__,
                            "BerEncodeAndSend: Decode error failed on thread %d\n", Tid());
            h->transport->FreeReply(&reply);
            ReleaseResult(*result, operation);
            *result = nullptr;
            *error = nullptr;
            return Fail(status, ODP_S_DECODE);
        }
    }
    h->transport->FreeReply(&reply);
    return 0;
}

void ReleaseResult(void *result, int32_t operation) {
    if (result) GENU_OssFreePDU(nullptr, ODP_ResultPDU(operation), result);
}

} // namespace vrcore::client
