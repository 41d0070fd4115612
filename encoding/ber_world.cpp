// The encoding frame: per-thread contexts and the four entry points.
#include "encoding/ber_world.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "system/guard.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"
#include "vrcore/thr.h"

using vrcore::ber::World;

extern "C" {
int32_t GENU__printPDU = 0;
int32_t GENU__ossdbg = 0;
}

namespace {

THR_ThreadKey g_key;
uint32_t g_key_status = 0;
THR_OnceFlag g_once = THR_ONCE_INIT;

// The calling thread's context once found: it lives until the thread ends,
// when DestroyWorld runs in that same thread.
thread_local World *t_world = nullptr;

void HeapFree(void *p) { free(p); }
void *HeapAlloc(size_t n) { return malloc(n ? n : 1); }

void DestroyWorld(void *p) {
    auto *w = static_cast<World *>(p);
    if (!w || w->magic != vrcore::ber::kWorldMagic) return;
    if (t_world == w) t_world = nullptr;
    w->magic = 0;
    free(w);
}

void InitKey() {
    g_key_status = THR_InitThreadKey(&g_key, DestroyWorld);
    if (g_key_status)
        LOG_CondMessage(5, __FILE__, __LINE__, "GENU__OssInit: InitKey failed, code=%d\n",
                        static_cast<int>(g_key_status));
}

World *MakeWorld() {
    auto *w = static_cast<World *>(calloc(1, sizeof(World)));
    if (!w) {
        LOG_CondMessage(5, __FILE__, __LINE__, "GENU__MakeWorld, SetKey failed, code=%d\n", 0);
        return nullptr;
    }
    w->alloc = HeapAlloc;
    w->free = HeapFree;
    w->magic = vrcore::ber::kWorldMagic;
    w->decode_budget = vrcore::ber::kDefaultDecodeBudget;
    if (uint32_t rc = THR_SetThreadKeyValue(g_key, w)) {
        LOG_CondMessage(5, __FILE__, __LINE__, "GENU__MakeWorld, SetKey failed, code=%d\n",
                        static_cast<int>(rc));
        free(w);
        return nullptr;
    }
    return w;
}

World *CurrentWorld() { return static_cast<World *>(GENU_GetWorld()); }

void SetError(World *w, const std::string &text) {
    snprintf(w->error, sizeof w->error, "%s", text.c_str());
}

} // namespace

namespace vrcore::ber {

World *ThisWorld() { return CurrentWorld(); }

int EncodeIn(World *w, int pdu, const void *structure, GENU_Buffer *buffer) {
    buffer->length = 0;
    buffer->value = nullptr;
    if (!w) return kNoMemory;
    const Type *t = PduType(pdu);
    std::string err;
    int rc;
    if (!t) {
        char text[48];
        snprintf(text, sizeof text, "unknown PDU number %d", pdu);
        err = text;
        rc = kBadArg;
    } else {
        rc = Encode(HooksOf(w), *t, structure, &buffer->length, &buffer->value, &err);
    }
    if (rc) {
        SetError(w, err);
        LOG_CondMessage(5, __FILE__, __LINE__, "GENU_OssEncode failed: %s\n", w->error);
    }
    return rc;
}

int DecodeIn(World *w, int *pdu, const GENU_Buffer *buffer, void **structure) {
    *structure = nullptr;
    if (!w) return kNoMemory;
    std::string err;
    int rc;
    const Type *t = pdu ? PduType(*pdu) : nullptr;
    if (!t) {
        err = "unknown PDU number";
        rc = kBadArg;
    } else if (!buffer) {
        err = "no input";
        rc = kBadData;
    } else {
        rc = Decode(HooksOf(w), *t, buffer->value, buffer->length, structure, w->decode_budget,
                    &err);
    }
    if (rc) {
        SetError(w, err);
        LOG_CondMessage(5, __FILE__, __LINE__, "GENU_OssDecode failed: %s\n", w->error);
    }
    return rc;
}

} // namespace vrcore::ber

extern "C" {

void *GENU_GetWorld(void) try {
    if (t_world) return t_world;
    if (uint32_t rc = THR_Once(&g_once, InitKey)) {
        LOG_CondMessage(5, __FILE__, __LINE__, "GENU_GetWorld: THR_Once failed, code=%d\n",
                        static_cast<int>(rc));
        return nullptr;
    }
    if (g_key_status) return nullptr;
    void *value = nullptr;
    if (uint32_t rc = THR_GetThreadKeyValue(g_key, &value)) {
        LOG_CondMessage(5, __FILE__, __LINE__,
                        "GENU_GetWorld: THR_GetThreadKeyValue failed, code=%d\n",
                        static_cast<int>(rc));
        value = nullptr;
    }
    if (!value) value = MakeWorld();
    t_world = static_cast<World *>(value);
    return value;
}
VR_CATCH_RETURN(nullptr)

void *_GENU__MyMalloc(size_t size) try {
    World *w = CurrentWorld();
    return w ? w->alloc(size) : malloc(size ? size : 1);
}
VR_CATCH_RETURN(nullptr)

void _GENU__MyFree(void *p) try {
    if (!p) return;
    World *w = CurrentWorld();
    if (w)
        w->free(p);
    else
        free(p);
}
VR_CATCH_VOID

const GENU_Allocator genu_ossAllocator[2] = {{_GENU__MyMalloc, _GENU__MyFree},
                                             {HeapAlloc, HeapFree}};

int GENU_OssEncode(void *, int pdu, const void *structure, GENU_Buffer *buffer) try {
    if (!buffer) return vrcore::ber::kBadArg;
    return vrcore::ber::EncodeIn(CurrentWorld(), pdu, structure, buffer);
}
VR_CATCH_CODE(vrcore::ber::kNoMemory, vrcore::ber::kInternal)

int GENU_OssDecode(void *, int *pdu, const GENU_Buffer *buffer, void **structure) try {
    if (!structure) return vrcore::ber::kBadArg;
    return vrcore::ber::DecodeIn(CurrentWorld(), pdu, buffer, structure);
}
VR_CATCH_CODE(vrcore::ber::kNoMemory, vrcore::ber::kInternal)

int GENU_OssPrintPDU(void *, int pdu, const void *structure) try {
    const vrcore::ber::Type *t = vrcore::ber::PduType(pdu);
    if (!t) return vrcore::ber::kBadArg;
    std::string out;
    vrcore::ber::Print(*t, structure, out);
    LOG_CondMessage(8, __FILE__, __LINE__, "%s\n", out.c_str());
    return 0;
}
VR_CATCH_CODE(vrcore::ber::kNoMemory, vrcore::ber::kInternal)

int GENU_OssFreePDU(void *, int pdu, void *structure) try {
    if (!structure) return 0;
    World *w = CurrentWorld();
    const vrcore::ber::Type *t = vrcore::ber::PduType(pdu);
    if (!w || !t) return vrcore::ber::kBadArg;
    vrcore::ber::FreeTree(vrcore::ber::HooksOf(w), *t, structure);
    return 0;
}
VR_CATCH_CODE(vrcore::ber::kNoMemory, vrcore::ber::kInternal)

int FreeBER_void(STF_List *, void *p) try {
    _GENU__MyFree(p);
    return 0;
}
VR_CATCH_RETURN(0)

int FreeGEN_void(STF_List *, void *p, const GENU_Allocator *alloc) try {
    if (!p) return 0;
    if (alloc && alloc->free)
        alloc->free(p);
    else
        GENU__CoveredFree(p);
    return 0;
}
VR_CATCH_RETURN(0)

int FreeBER_Multiple(STF_List *status, ...) try {
    va_list ap;
    va_start(ap, status);
    int result = 0;
    for (;;) {
        auto fn = va_arg(ap, GENU_FreeBERFn);
        if (!fn) break;
        void *obj = va_arg(ap, void *);
        if (obj && fn(status, obj)) result = 1;
    }
    va_end(ap);
    return result;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

int FreeGEN_Multiple(STF_List *status, const GENU_Allocator *alloc, ...) try {
    if (!alloc) alloc = &genu_ossAllocator[1];
    va_list ap;
    va_start(ap, alloc);
    int result = 0;
    for (;;) {
        auto fn = va_arg(ap, GENU_FreeGENFn);
        if (!fn) break;
        void *obj = va_arg(ap, void *);
        if (obj && fn(status, obj, alloc)) result = 1;
    }
    va_end(ap);
    return result;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
