// The per-thread code-set conversion context: the callbacks that tell the
// current locale and code-set names, and making a thread's converters.
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "messages/i18n_internal.h"
#include "messages/iconv_context.h"
#include "system/guard.h"
#include "vrcore/log.h"
#include "vrcore/stf.h"

namespace {

using vrcore::i18n::Begin;
using vrcore::i18n::Fail;

constexpr uint32_t kNameSize = 128;

std::atomic<ICONV_LocaleCallback> g_locale_cb{nullptr};
std::atomic<ICONV_CodesetNameCallback> g_name_cb{nullptr};

// The two code-set names through the slot-1 callback; the status code of
// a failure, else 0.
uint32_t Names(ICONV_CodesetNameCallback cb, GENU_ShortOID local, GENU_ShortOID peer,
               char (&local_name)[kNameSize], char (&peer_name)[kNameSize], GENU_ShortOID *failed) {
    STF_List *inner = STF_CreateList(nullptr);
    if (!inner) return ICONV_S_NOMEMORY;
    uint32_t code = 0;
    if (cb(inner, local, kNameSize, nullptr, local_name) != 0) {
        code = STF_GetStatus(inner);
        *failed = local;
    } else if (cb(inner, peer, kNameSize, nullptr, peer_name) != 0) {
        code = STF_GetStatus(inner);
        *failed = peer;
    }
    bool failed_without_code = *failed && !code;
    STF_DeleteList(inner);
    return failed_without_code ? ICONV_S_CONVERT : code;
}

} // namespace

extern "C" {

int ICONV_RegisterCallback(STF_List *status, int slot, ICONV_Callback function) try {
    if (status) STF_ClearStatus(status);
    switch (slot) {
    case ICONV_CALLBACK_LOCALE:
        g_locale_cb.store(reinterpret_cast<ICONV_LocaleCallback>(function));
        return 0;
    case ICONV_CALLBACK_CODESET_NAME:
        g_name_cb.store(reinterpret_cast<ICONV_CodesetNameCallback>(function));
        return 0;
    default:
        if (status) STF_AddStatus(status, ICONV_S_CONVERT, 0);
        return 1;
    }
}
VR_CATCH_STATUS(status, ICONV_S_NOMEMORY, ICONV_S_INTERNAL)

int ICONV_CreateContext(STF_List *status, GENU_ShortOID local, GENU_ShortOID peer,
                        ICONV_Context **context_out) try {
    if (!Begin(status)) return 1;
    if (!context_out) return Fail(status, ICONV_S_CONVERT);
    *context_out = nullptr;
    ICONV_CodesetNameCallback cb = g_name_cb.load();
    if (!cb) return Fail(status, ICONV_S_CONVERT);
    char local_name[kNameSize] = {0}, peer_name[kNameSize] = {0};
    GENU_ShortOID failed = 0;
    if (uint32_t code = Names(cb, local, peer, local_name, peer_name, &failed))
        return Fail(status, code == ICONV_S_NOMEMORY ? code : ICONV_S_CONVERT);
    int e = vrcore::i18n::Open(local_name, local, peer_name, peer, context_out);
    if (e == ENOMEM) return Fail(status, ICONV_S_NOMEMORY);
    if (e) return Fail(status, ICONV_S_CONVERT);
    return 0;
}
VR_CATCH_STATUS(status, ICONV_S_NOMEMORY, ICONV_S_INTERNAL)

int ICONV_ConfigureContext(STF_List *status, GENU_ShortOID peer) try {
    if (!Begin(status)) return 1;
    ICONV_LocaleCallback locale_cb = g_locale_cb.load();
    ICONV_CodesetNameCallback name_cb = g_name_cb.load();
    if (vrcore::i18n::Current() || !locale_cb) return 0;

    STF_List *inner = STF_CreateList(nullptr);
    if (!inner) return Fail(status, ICONV_S_NOMEMORY);
    GEN_Locale *here = nullptr;
    if (locale_cb(inner, &here) != 0 || !here) {
        LOG_CondMessage(6, __FILE__, __LINE__, "ERROR(%d):%s (no iconv conv for thread)",
                        static_cast<int>(STF_GetStatus(inner)), "I18N_GetCurrentDPALocale");
        STF_DeleteList(inner);
        return 0;
    }
    STF_DeleteList(inner);
    GENU_ShortOID local = here->code_set;
    free(here);
    if (local == peer) return 0;
    if (!name_cb) return 0;

    char local_name[kNameSize] = {0}, peer_name[kNameSize] = {0};
    GENU_ShortOID failed = 0;
    if (uint32_t code = Names(name_cb, local, peer, local_name, peer_name, &failed)) {
        if (code == ICONV_S_NOMEMORY) return Fail(status, code);
        LOG_CondMessage(6, __FILE__, __LINE__,
                        "ERROR(%d):%s charset = '%d' (no iconv conv for thread)",
                        static_cast<int>(code), "I18N_OIDToCodesetName", static_cast<int>(failed));
        return 0;
    }
    ICONV_Context *c = nullptr;
    int e = vrcore::i18n::Open(local_name, local, peer_name, peer, &c);
    if (e == EINVAL) {
        LOG_CondMessage(4, __FILE__, __LINE__,
                        "%s: %s failure no mapping from '%s' to '%s' (no thread conv)", "WARNING",
                        "I18N_OIDToCodesetName", local_name, peer_name);
        return 0;
    }
    if (e == ENOMEM) return Fail(status, ICONV_S_NOMEMORY);
    if (e) return Fail(status, ICONV_S_CONVERT);
    ICONV_SetContext(c);
    return 0;
}
VR_CATCH_STATUS(status, ICONV_S_NOMEMORY, ICONV_S_INTERNAL)

} // extern "C"
