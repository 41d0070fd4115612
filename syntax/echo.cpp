// The exported trace renderers: each appends to the calling thread's open
// log message and writes nothing when none is open. They never clear the
// caller's status list (they are called while a failure is being
// reported); a failure to read a set or a value adds its code to it.
#include <cstring>

#include "system/guard.h"
#include "syntax/render.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace vrcore::syntax {

namespace {

// The open log message, fed in pieces the logging module accepts whole.
class LogSink : public Sink {
  public:
    void Write(const char *p, size_t n) override {
        char chunk[512];
        while (n) {
            size_t k = n < sizeof chunk - 1 ? n : sizeof chunk - 1;
            std::memcpy(chunk, p, k);
            chunk[k] = 0;
            LOG_CondAdd("%s", chunk);
            p += k;
            n -= k;
        }
    }
};

// Runs a renderer when a message is open: 1 for a null status list, 0 when
// nothing is open, else what the renderer gives (a null value renders as
// "NULL value").
template <typename T, typename Fn> int Echo(STF_List *status, const T *value, Fn fn) {
    if (!status) return 1;
    if (!LOG_InMessage()) return 0;
    LogSink sink;
    if (!value) {
        sink.Str("NULL value\n");
        return 0;
    }
    return fn(sink, value);
}

// Adds the failure a private list recorded to the caller's list.
void Carry(STF_List *status, STF_List *own) {
    uint32_t code = own ? STF_GetStatus(own) : GEN_S_NOMEM;
    STF_AddStatus(status, code ? code : GEN_S_INVALID, 0);
}

// A status list of the function's own, so that the caller's keeps its
// entries.
class OwnList {
  public:
    OwnList() : list_(STF_CreateList(nullptr)) {}
    ~OwnList() {
        if (list_) STF_DeleteList(list_);
    }
    OwnList(const OwnList &) = delete;
    OwnList &operator=(const OwnList &) = delete;
    STF_List *Get() const { return list_; }

  private:
    STF_List *list_;
};

template <typename Fn> auto Void(Fn fn) {
    return [fn](Sink &sink, const auto *value) {
        fn(sink, value);
        return 0;
    };
}

} // namespace

} // namespace vrcore::syntax

using namespace vrcore::syntax;

extern "C" {

VR_EXPORT int GEN_EchoAS(STF_List *status, AS_SetHandle set) try {
    if (!status) return 1;
    if (!LOG_InMessage()) return 0;
    OwnList own;
    if (!own.Get()) {
        Carry(status, nullptr);
        return 1;
    }
    LogSink sink;
    if (RenderSet(sink, own.Get(), set) == 0) return 0;
    Carry(status, own.Get());
    return 1;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int _GENU_EchoAttrValue(STF_List *status, const char *prefix, const void *value,
                                  uint32_t type) try {
    if (!status) return 1;
    if (!LOG_InMessage()) return 0;
    LogSink sink;
    RenderValue(sink, prefix, value, type);
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoText(STF_List *status, const GEN_Text *text) try {
    return Echo(status, text, RenderText);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoMessage(STF_List *status, const GEN_Message *message) try {
    return Echo(status, message, RenderText);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoSimpleName(STF_List *status, const GEN_SimpleName *name) try {
    return Echo(status, name, RenderSimpleName);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoNameOrOID(STF_List *status, const GEN_NameOrOID *value) try {
    return Echo(status, value, RenderNameOrOID);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoDistNameString(STF_List *status, const GEN_DistNameString *value) try {
    return Echo(status, value, RenderDistNameString);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoObjectIdent(STF_List *status, const GEN_ObjectIdent *value) try {
    if (!status) return 1;
    if (!LOG_InMessage()) return 0;
    LogSink sink;
    return RenderObjectIdent(sink, value); // a null value has its own line
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoGeneralizedTime(STF_List *status, const GEN_GeneralizedTime *value) try {
    return Echo(status, value, Void(RenderGeneralizedTime));
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoCheckpoint(STF_List *status, const GEN_Checkpoint *value) try {
    return Echo(status, value, Void(RenderCheckpoint));
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoExternal(STF_List *status, const GEN_External *value) try {
    return Echo(status, value, RenderExternal);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoOctetString(STF_List *status, const GEN_OctetString *value) try {
    return Echo(status, value, Void(RenderOctetString));
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoOctetStringInt(STF_List *status, const GEN_OctetString *value) try {
    return Echo(status, value, Void(RenderOctetStringInt));
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoShortOID(STF_List *status, GENU_ShortOID id) try {
    return Echo(status, &id,
                Void([](Sink &sink, const GENU_ShortOID *v) { RenderShortOID(sink, *v); }));
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoErrorMessage(STF_List *status, const GEN_ErrorMessage *value) try {
    return Echo(status, value, RenderErrorMessage);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GEN_EchoLimitEncountered(STF_List *status, const int32_t *limit) try {
    return Echo(status, limit, Void(RenderLimitEncountered));
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int _GENU__EchoCardinal64(STF_List *status, const GEN_Cardinal64 *value) try {
    return Echo(status, value, Void(RenderCardinal64));
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int _GENU__EchoACL(STF_List *status, const GEN_PSISAccessControlList *entry) try {
    return Echo(status, entry, RenderACL);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int _GENU__EchoeACL(STF_List *status, const GEN_ExtACL *entry) try {
    return Echo(status, entry, RendereACL);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT const char *_GENU__TypeToAscii(STF_List *status, uint32_t type) try {
    (void)status;
    return TypeName(type);
}
VR_CATCH_RETURN("unknown")

VR_EXPORT const char *_GENU__ModifyOpAscii(STF_List *status, AS_AttrHandle attr) try {
    OwnList own;
    int32_t op = 0;
    if (!own.Get() || AS_GetAttrModifyOpR(own.Get(), attr, &op) != 0) {
        if (status) Carry(status, own.Get());
        return "GetFailed";
    }
    return ModifyOpName(op);
}
VR_CATCH_RETURN("GetFailed")

VR_EXPORT const char *_GENU__GeneralizedTimeToAscii(STF_List *status,
                                                    const GEN_GeneralizedTime *value, char *buffer,
                                                    size_t size) try {
    if (!buffer || size == 0) {
        if (status) STF_AddStatus(status, GEN_S_NULLARG, 0);
        return "";
    }
    if (!value) {
        if (status) STF_AddStatus(status, GEN_S_NULLARG, 0);
        buffer[0] = 0;
        return buffer;
    }
    return GeneralizedTimeToAscii(*value, buffer, size);
}
VR_CATCH_RETURN("")

} // extern "C"
