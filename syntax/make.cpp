// Making values from strings, numbers and components.
#include <cstring>

#include "system/guard.h"
#include "syntax/gentype.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace vrcore::syntax {

MakeTrace::MakeTrace(const char *name) : name_(name) {
    LOG_CondMessage(7, "genmk.c", __LINE__, "Entering: %s\n", name_);
}
MakeTrace::~MakeTrace() { LOG_CondMessage(7, "genmk.c", __LINE__, "Exiting: %s\n", name_); }

namespace {

// Kind-5 text of a string (null: empty).
uint32_t FillText(Ctx &ctx, GEN_Text &text, const char *string) {
    std::memset(&text, 0, sizeof text);
    text.kind = GEN_KIND_CODESET;
    if (!string) return 0;
    size_t n = std::strlen(string);
    if (n > GEN_TEXT_MAX) {
        Report(ctx, GEN_S_INVALID);
        std::memset(&text, 0, sizeof text);
        return GEN_S_INVALID;
    }
    if (n == 0) return 0;
    auto *p = static_cast<unsigned char *>(ctx.alloc(n + 1));
    if (!p) {
        Report(ctx, GEN_S_NOMEM);
        std::memset(&text, 0, sizeof text);
        return GEN_S_NOMEM;
    }
    std::memcpy(p, string, n + 1);
    text.u.octets.length = static_cast<int32_t>(n);
    text.u.octets.value = p;
    return 0;
}

uint32_t FillSimpleName(Ctx &ctx, GEN_SimpleName &name, const char *string) {
    std::memset(&name, 0, sizeof name);
    size_t n = string ? std::strlen(string) : 0;
    if (n > GEN_SIMPLE_NAME_MAX) {
        Report(ctx, GEN_S_INVALID);
        return GEN_S_INVALID;
    }
    name.kind = GEN_KIND_CODESET;
    name.u.counted.length = static_cast<uint16_t>(n);
    if (n) std::memcpy(name.u.counted.value, string, n);
    return 0;
}

uint32_t FillDistName2(Ctx &ctx, GEN_DistNameString &value, const char *string,
                       GENU_ShortOID syntax) {
    std::memset(&value, 0, sizeof value);
    if (uint32_t r = FillText(ctx, value.name, string)) return r;
    if (syntax == 0) return 0;
    auto *noid = static_cast<GEN_NameOrOID *>(ctx.alloc(sizeof(GEN_NameOrOID)));
    if (!noid) {
        Report(ctx, GEN_S_NOMEM);
        DeleteValue(ctx, T_DistNameString, &value);
        return GEN_S_NOMEM;
    }
    std::memset(noid, 0, sizeof *noid);
    noid->choice = GEN_NOID_OID;
    noid->u.oid = syntax;
    value.syntax = noid;
    return 0;
}

// A new block of `t` filled by `fill`; on failure the block is freed and
// *out stays null.
template <typename T, typename Fill>
int MakeNew(STF_List *status, T **out, const GENU_Allocator *alloc, const TypeInfo &t, Fill fill) {
    if (out) *out = nullptr;
    Ctx ctx;
    if (!Begin(status, alloc, ctx)) return 1;
    if (!out) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    auto *block = static_cast<T *>(ctx.alloc(t.size));
    if (!block) {
        Report(ctx, GEN_S_NOMEM);
        return 1;
    }
    std::memset(block, 0, t.size);
    if (fill(ctx, *block)) {
        ctx.quiet = true;
        DeleteValue(ctx, t, block);
        ctx.free(block);
        return 1;
    }
    *out = block;
    return 0;
}

// A new deep copy of a value put together from the caller's components.
template <typename T> int CopyOf(STF_List *status, T **out, const T &src,
                                 const GENU_Allocator *alloc, const TypeInfo &t) {
    return CopyNew(status, reinterpret_cast<void **>(out), &src, alloc, t);
}

// Refuses a call before any work: *out cleared, the list holds `code`.
template <typename T> int Refuse(STF_List *status, T **out, uint32_t code) {
    if (out) *out = nullptr;
    if (!status) return 1;
    STF_ClearStatus(status);
    STF_AddStatus(status, code, 0);
    return 1;
}

} // namespace

} // namespace vrcore::syntax

using namespace vrcore::syntax;

extern "C" {

VR_EXPORT int GENU_MakeEmbeddedString(STF_List *status, GEN_OctetString *octets, const char *string,
                                      const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeEmbeddedString");
    Ctx ctx;
    bool ok = Begin(status, alloc, ctx);
    if (octets) std::memset(octets, 0, sizeof *octets);
    if (!ok) return 1;
    if (!octets) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    if (!string) return 0;
    size_t n = std::strlen(string);
    if (n > INT32_MAX - 1) {
        Report(ctx, GEN_S_INVALID);
        return 1;
    }
    auto *p = static_cast<unsigned char *>(ctx.alloc(n + 1));
    if (!p) {
        Report(ctx, GEN_S_NOMEM);
        return 1;
    }
    std::memcpy(p, string, n + 1);
    octets->length = static_cast<int32_t>(n);
    octets->value = p;
    return 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeEmbeddedText(STF_List *status, GEN_Text *text, const char *string,
                                    const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeEmbeddedText");
    Ctx ctx;
    bool ok = Begin(status, alloc, ctx);
    if (text) std::memset(text, 0, sizeof *text);
    if (!ok) return 1;
    if (!text) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    return FillText(ctx, *text, string) ? 1 : 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeText(STF_List *status, GEN_Text **out, const char *string,
                            const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeText");
    return MakeNew(status, out, alloc, T_Text,
                   [&](Ctx &ctx, GEN_Text &t) { return FillText(ctx, t, string); });
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeEmbeddedSimpleName(STF_List *status, GEN_SimpleName *name,
                                          const char *string, const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeEmbeddedSimpleName");
    Ctx ctx;
    bool ok = Begin(status, alloc, ctx);
    if (name) std::memset(name, 0, sizeof *name);
    if (!ok) return 1;
    if (!name) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    return FillSimpleName(ctx, *name, string) ? 1 : 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeSimpleName(STF_List *status, GEN_SimpleName **out, const char *string,
                                  const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeSimpleName");
    return MakeNew(status, out, alloc, T_SimpleName,
                   [&](Ctx &ctx, GEN_SimpleName &n) { return FillSimpleName(ctx, n, string); });
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeDistNameString(STF_List *status, GEN_DistNameString **out,
                                      const GEN_Text *text, const GEN_NameOrOID *syntax,
                                      const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeDistNameString");
    if (!text) return Refuse(status, out, GEN_S_NULLARG);
    GEN_DistNameString src{*text, const_cast<GEN_NameOrOID *>(syntax)};
    return CopyOf(status, out, src, alloc, T_DistNameString);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeEmbeddedDistNameString2(STF_List *status, GEN_DistNameString *value,
                                               const char *string, GENU_ShortOID syntax,
                                               const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeEmbeddedDistNameString2");
    Ctx ctx;
    bool ok = Begin(status, alloc, ctx);
    if (value) std::memset(value, 0, sizeof *value);
    if (!ok) return 1;
    if (!value) {
        Report(ctx, GEN_S_NULLARG);
        return 1;
    }
    return FillDistName2(ctx, *value, string, syntax) ? 1 : 0;
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeDistNameString2(STF_List *status, GEN_DistNameString **out,
                                       const char *string, GENU_ShortOID syntax,
                                       const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeDistNameString2");
    return MakeNew(status, out, alloc, T_DistNameString, [&](Ctx &ctx, GEN_DistNameString &v) {
        return FillDistName2(ctx, v, string, syntax);
    });
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeObjectIdent_JobId(STF_List *status, GEN_ObjectIdent **out,
                                         const char *job_id, const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeObjectIdent_JobId");
    if (!job_id) return Refuse(status, out, GEN_S_NULLARG);
    GEN_ObjectIdent src{};
    src.choice = GEN_OBJID_JOB_ID;
    size_t n = strnlen(job_id, GEN_JOB_ID_MAX + 1);
    if (n > GEN_JOB_ID_MAX) return Refuse(status, out, GEN_S_INVALID);
    std::memcpy(src.u.job_id.value, job_id, n);
    return CopyOf(status, out, src, alloc, T_ObjectIdent);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

#define VRSYN_MAKE_OBJID(Suffix, Choice, Type, member)                                             \
    VR_EXPORT int GENU_MakeObjectIdent_##Suffix(STF_List *status, GEN_ObjectIdent **out,           \
                                                const Type *value,                                 \
                                                const GENU_Allocator *alloc) try {                 \
        MakeTrace trace("GENU_MakeObjectIdent_" #Suffix);                                          \
        if (!value) return Refuse(status, out, GEN_S_NULLARG);                                     \
        GEN_ObjectIdent src{};                                                                     \
        src.choice = Choice;                                                                       \
        src.u.member = *value;                                                                     \
        return CopyOf(status, out, src, alloc, T_ObjectIdent);                                     \
    }                                                                                              \
    VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VRSYN_MAKE_OBJID(DocId, GEN_OBJID_DOCUMENT_ID, GEN_DocumentIdentifier, document_id)
VRSYN_MAKE_OBJID(DistName, GEN_OBJID_DIST_NAME, GEN_DistNameString, dist_name)
VRSYN_MAKE_OBJID(FontRef, GEN_OBJID_FONT_REF, GEN_FontReference, font_ref)
VRSYN_MAKE_OBJID(NameOrOID, GEN_OBJID_NAME_OR_OID, GEN_NameOrOID, name_or_oid)
VRSYN_MAKE_OBJID(SimpleName, GEN_OBJID_SIMPLE_NAME, GEN_SimpleName, simple_name)

VR_EXPORT int GENU_MakeObjectIdent_Oid(STF_List *status, GEN_ObjectIdent **out, GENU_ShortOID oid,
                                       const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeObjectIdent_Oid");
    GEN_ObjectIdent src{};
    src.choice = GEN_OBJID_OID;
    src.u.oid = oid;
    return CopyOf(status, out, src, alloc, T_ObjectIdent);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeNameRPCAddress(STF_List *status, GEN_RPCAddress **out, const char *name,
                                      const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeNameRPCAddress");
    return MakeNew(status, out, alloc, T_RPCAddress, [&](Ctx &ctx, GEN_RPCAddress &a) {
        if (uint32_t r = FillText(ctx, a.u.name, name)) return r;
        a.choice = GEN_RPC_NAME;
        return 0u;
    });
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeONCRPCAddress(STF_List *status, GEN_RPCAddress **out, const char *host,
                                     const void *unused, uint32_t version, uint32_t program,
                                     const char *auth_name, const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeONCRPCAddress");
    (void)unused;
    return MakeNew(status, out, alloc, T_RPCAddress, [&](Ctx &ctx, GEN_RPCAddress &a) {
        // The choice is set first so that a failure deletes what was made.
        a.choice = GEN_RPC_ONC;
        a.u.onc.host.kind = a.u.onc.auth_name.kind = GEN_KIND_CODESET;
        if (uint32_t r = FillText(ctx, a.u.onc.host, host)) return r;
        if (uint32_t r = FillText(ctx, a.u.onc.auth_name, auth_name)) return r;
        a.u.onc.version = version;
        a.u.onc.program = program;
        a.u.onc.procedure = 0;
        return 0u;
    });
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

namespace {
// The error message put together from exactly one component.
int ErrorMsgSource(STF_List *status, GEN_ErrorMessage &src, const GEN_Text *text,
                   const GEN_OctetString *octets) {
    std::memset(&src, 0, sizeof src);
    if (!text && !octets) return Refuse<void>(status, nullptr, GEN_S_NULLARG);
    if (text && octets) return Refuse<void>(status, nullptr, GEN_S_INVALID);
    if (text) {
        src.choice = GEN_ERRMSG_TEXT;
        src.u.text = *text;
    } else {
        src.choice = GEN_ERRMSG_OCTETS;
        src.u.octets = *octets;
    }
    return 0;
}
} // namespace

VR_EXPORT int GENU_MakeEmbeddedErrorMsg(STF_List *status, GEN_ErrorMessage *msg,
                                        const GEN_Text *text, const GEN_OctetString *octets,
                                        const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeEmbeddedErrorMsg");
    if (msg) std::memset(msg, 0, sizeof *msg);
    GEN_ErrorMessage src;
    if (ErrorMsgSource(status, src, text, octets)) return 1;
    return DeepCopy(status, msg, &src, alloc, T_ErrorMessage);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeErrorMsg(STF_List *status, GEN_ErrorMessage **out, const GEN_Text *text,
                                const GEN_OctetString *octets, const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeErrorMsg");
    if (out) *out = nullptr;
    GEN_ErrorMessage src;
    if (ErrorMsgSource(status, src, text, octets)) return 1;
    return CopyOf(status, out, src, alloc, T_ErrorMessage);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeACL(STF_List *status, GEN_ExtACL **out, const char *name,
                           const char *domain_name, GENU_ShortOID domain_syntax,
                           const int32_t *name_type, const int32_t *privilege_level,
                           const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeACL");
    return MakeNew(status, out, alloc, T_ExtACL, [&](Ctx &ctx, GEN_ExtACL &e) {
        // Kinds valid from the start, so that a failure deletes cleanly.
        e.name.kind = GEN_KIND_CODESET;
        e.domain.name.kind = GEN_KIND_CODESET;
        bool named = name && *name;
        if (uint32_t r = FillSimpleName(ctx, e.name, named ? name : nullptr)) return r;
        e.name_type = named ? (name_type ? *name_type : GEN_ACL_GROUP) : GEN_ACL_ALL_USERS;
        e.privilege_level = privilege_level ? *privilege_level : GEN_ACL_END_USER;
        const char *domain = domain_name && *domain_name ? domain_name : nullptr;
        return FillDistName2(ctx, e.domain, domain, domain_syntax);
    });
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeONCACL(STF_List *status, GEN_PSISAccessControlList **out, const char *name,
                              const int32_t *name_type, const int32_t *privilege_level,
                              const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeONCACL");
    GEN_PSISAccessControlList src{};
    src.choice = 2;
    if (name) {
        size_t n = std::strlen(name);
        if (n > INT32_MAX - 1) return Refuse(status, out, GEN_S_NULLARG);
        src.u.octets.length = static_cast<int32_t>(n);
        src.u.octets.value = reinterpret_cast<unsigned char *>(const_cast<char *>(name));
    }
    src.name_type = const_cast<int32_t *>(name_type);
    src.privilege_level = const_cast<int32_t *>(privilege_level);
    return CopyOf(status, out, src, alloc, T_PSISAccessControlList);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeMediaConsumed(STF_List *status, GEN_MediaConsumed **out,
                                     const GEN_NameOrOID *medium, uint32_t count,
                                     const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeMediaConsumed");
    if (!medium) return Refuse(status, out, GEN_S_NULLARG);
    GEN_MediaConsumed src{*medium, count};
    return CopyOf(status, out, src, alloc, T_MediaConsumed);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakePreprocessorDefinition(STF_List *status, GEN_PreprocessorDefinition **out,
                                              const GEN_SimpleName *name, GENU_ShortOID type,
                                              GENU_ShortOID exec_type, const GEN_Text *command,
                                              const GEN_SeqOfStrings *arguments,
                                              const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakePreprocessorDefinition");
    GEN_PreprocessorDefinition src{};
    if (name)
        src.name = *name;
    else
        src.name.kind = GEN_KIND_CODESET;
    src.type = type;
    src.exec_type = exec_type;
    if (command)
        src.command = *command;
    else
        src.command.kind = GEN_KIND_CODESET;
    src.arguments = const_cast<GEN_SeqOfStrings *>(arguments);
    return CopyOf(status, out, src, alloc, T_PreprocessorDefinition);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

VR_EXPORT int GENU_MakeDriverInfo(STF_List *status, GEN_DriverInfo **out, const GEN_Text *name,
                                  GENU_ShortOID environment, const GEN_Text *driver_path,
                                  const GEN_Text *data_file, const GEN_Text *config_file,
                                  const GEN_Text *help_file,
                                  const GEN_SeqOfStrings *dependent_files,
                                  const GENU_Allocator *alloc) try {
    MakeTrace trace("GENU_MakeDriverInfo");
    GEN_DriverInfo src{};
    if (name)
        src.name = *name;
    else
        src.name.kind = GEN_KIND_CODESET;
    src.environment = environment;
    src.driver_path = const_cast<GEN_Text *>(driver_path);
    src.data_file = const_cast<GEN_Text *>(data_file);
    src.config_file = const_cast<GEN_Text *>(config_file);
    src.help_file = const_cast<GEN_Text *>(help_file);
    src.dependent_files = const_cast<GEN_SeqOfStrings *>(dependent_files);
    return CopyOf(status, out, src, alloc, T_DriverInfo);
}
VR_CATCH_STATUS(status, GEN_S_NOMEM, GENU_S_INTERNAL)

} // extern "C"
