// Values, sets and errors through the library's C interface.
#include "dpad_values.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "vrcore/gen.h"
#include "vrcore/gen_copy.h"
#include "vrcore/odpas.h"

namespace vrcore::dpad {

bool Types::Find() {
    struct {
        const GENU_ValueDescriptor *desc;
        uint32_t *type;
    } wanted[] = {{&GENU_BooleanDesc, &boolean},          {&GENU_CardinalDesc, &cardinal},
                  {&GENU_Cardinal64Desc, &cardinal64},    {&GENU_IdentifierDesc, &identifier},
                  {&GENU_JobIdentifierDesc, &job_id},     {&GENU_SimpleNameDesc, &simple_name},
                  {&GENU_ObjectIdentDesc, &object_ident}, {&GENU_DocumentContentDesc, &doc_content},
                  {&GENU_GeneralizedTimeDesc, &time}};
    bool all = true;
    for (auto &w : wanted) {
        uint32_t t = 0;
        while (t < 95 && GENU_AVT2Descriptor(t) != w.desc) ++t;
        *w.type = t;
        all = all && t < 95;
    }
    return all;
}

const Types &ValueTypes() {
    static Types types = [] {
        Types t;
        t.Find();
        return t;
    }();
    return types;
}

Set::Set() : set_(AS_nullSetHandle) { AS_Create(Status(), &set_, nullptr, 0); }
Set::~Set() {
    if (set_ != AS_nullSetHandle) AS_Destroy(Status(), &set_);
}

namespace {

bool Replace(AS_SetHandle set, GENU_ShortOID id, uint32_t type, const void *value) {
    return AS_ReplaceAllAttrValsM(Status(), set, id, type, value, GENU_AVT2Descriptor(type),
                                  nullptr) == 0;
}

} // namespace

bool Set::Name(GENU_ShortOID id, const std::string &text) {
    GEN_SimpleName name{};
    return GENU_MakeEmbeddedSimpleName(Status(), &name, text.c_str(), nullptr) == 0 &&
           Replace(set_, id, ValueTypes().simple_name, &name);
}

bool Set::JobId(GENU_ShortOID id, const std::string &text) {
    GEN_JobIdentifier job{};
    if (text.size() > GEN_JOB_ID_MAX) return false;
    std::memcpy(job.value, text.c_str(), text.size() + 1);
    return Replace(set_, id, ValueTypes().job_id, &job);
}

bool Set::Oid(GENU_ShortOID id, GENU_ShortOID value) {
    return Replace(set_, id, ValueTypes().identifier, &value);
}

bool Set::Cardinal(GENU_ShortOID id, uint32_t value) {
    return Replace(set_, id, ValueTypes().cardinal, &value);
}

bool Set::Bool(GENU_ShortOID id, bool value) {
    GEN_Boolean v = value ? 1 : 0;
    return Replace(set_, id, ValueTypes().boolean, &v);
}

bool Set::Cardinal64(GENU_ShortOID id, uint64_t value) {
    GEN_Cardinal64 v{uint32_t(value >> 32), uint32_t(value)};
    return Replace(set_, id, ValueTypes().cardinal64, &v);
}

bool Set::SocketAddress(GENU_ShortOID id, const std::string &host, uint32_t port) {
    int32_t type = 0;
    GEN_SocketAddress a{};
    a.port = port;
    if (GENU_AttrIdToType(Status(), id, &type) != 0 ||
        GENU_MakeEmbeddedText(Status(), &a.host, host.c_str(), nullptr) != 0)
        return false;
    bool ok = Replace(set_, id, uint32_t(type), &a);
    GEN_DeepDeleteText(Status(), &a.host, nullptr);
    return ok;
}

bool Set::DistName(GENU_ShortOID id, const std::string &text) {
    GEN_DistNameString name{};
    if (GENU_MakeEmbeddedDistNameString2(Status(), &name, text.c_str(), 0, nullptr) != 0)
        return false;
    bool ok = Replace(set_, id, GEN_VT_DIST_NAME_STRING, &name);
    GEN_DeepDeleteDistNameString(Status(), &name, nullptr);
    return ok;
}

bool Set::Time(GENU_ShortOID id, uint32_t seconds) {
    GEN_GeneralizedTime g = UtcTime(time_t(seconds));
    return Replace(set_, id, ValueTypes().time, &g);
}

bool Set::TextLike(GENU_ShortOID id, uint32_t type, const std::string &text) {
    if (type == GEN_VT_SIMPLE_NAME || type == GEN_VT_DESCRIPTIVE_NAME) {
        GEN_SimpleName name{};
        return GENU_MakeEmbeddedSimpleName(Status(), &name, text.c_str(), nullptr) == 0 &&
               Replace(set_, id, type, &name);
    }
    if (type == GEN_VT_DIST_NAME_STRING) return DistName(id, text);
    if (type != GEN_VT_TEXT && type != GEN_VT_DESCRIPTOR && type != GEN_VT_MESSAGE) return false;
    GEN_Text t{};
    if (GENU_MakeEmbeddedText(Status(), &t, text.c_str(), nullptr) != 0) return false;
    bool ok = Replace(set_, id, type, &t);
    GEN_DeepDeleteText(Status(), &t, nullptr);
    return ok;
}

bool Set::AddEncoded(const std::vector<unsigned char> &ber) {
    int pdu = ODP_PDU_ATTRIBUTE_SET;
    GENU_Buffer in{uint32_t(ber.size()), const_cast<unsigned char *>(ber.data())};
    void *decoded = nullptr;
    if (GENU_OssDecode(nullptr, &pdu, &in, &decoded) != 0) return false;
    AS_SetHandle got = AS_nullSetHandle;
    bool ok = ToGEN_AS(Status(), *static_cast<ODP_BerAttrSet **>(decoded), &got) == 0;
    GENU_OssFreePDU(nullptr, pdu, decoded);
    if (!ok) return false;
    AS_AttrHandle attr = AS_nullAttrHandle;
    GENU_ShortOID id = 0;
    Status st;
    for (int rc = AS_FindFirstAttr(st, got, &attr, &id); rc == 0 && attr != AS_nullAttrHandle;
         rc = AS_FindNextAttrR(st, &attr, &id)) {
        int present = 0;
        if (AS_IsAttrPresent(st, set_, id, &present) == 0 && !present)
            AS_CopyAttrR(st, set_, attr, nullptr);
    }
    if (attr != AS_nullAttrHandle) AS_FreeAttrHandle(st, &attr);
    AS_Destroy(st, &got);
    return true;
}

bool Set::Select(const std::vector<GENU_ShortOID> &ids, Set *out) {
    Status st;
    for (GENU_ShortOID id : ids) {
        int present = 0;
        if (AS_IsAttrPresent(st, set_, id, &present) == 0 && present &&
            AS_CopyAttr(st, out->set_, set_, id, nullptr) != 0)
            return false;
    }
    return true;
}

BerSet::~BerSet() {
    if (list_) FreeBER_AS(Status(), list_);
}

bool BerSet::From(Set &set) {
    return ToBER_AS(Status(), &list_, &set.Handle(), ODP_AS_MODE_EXTENDED_ACL) == 0;
}

bool Encode(int pdu, const void *structure, std::vector<char> *out) {
    GENU_Buffer b{};
    if (GENU_OssEncode(nullptr, pdu, structure, &b) != 0) return false;
    out->assign(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    return true;
}

bool EncodeSet(const ODP_BerAttrSet *list, std::vector<unsigned char> *out) {
    std::vector<char> bytes;
    if (!Encode(ODP_PDU_ATTRIBUTE_SET, &list, &bytes)) return false;
    out->assign(bytes.begin(), bytes.end());
    return true;
}

bool Pack(uint32_t type, const void *value, GENU_Buffer *out) {
    return ODP_PackAV(Status(), type, value, out) == 0;
}

bool NameText(const GEN_SimpleName &name, std::string *out) {
    if (name.kind == GEN_KIND_IRV || name.kind == GEN_KIND_STRING) {
        *out = std::string(name.u.string, strnlen(name.u.string, sizeof name.u.string));
        return true;
    }
    if (name.kind < GEN_KIND_LATIN1 || name.kind > GEN_KIND_CODESET ||
        name.u.counted.length > GEN_SIMPLE_NAME_MAX)
        return false;
    out->assign(reinterpret_cast<const char *>(name.u.counted.value), name.u.counted.length);
    return true;
}

bool ValueText(uint32_t type, const void *value, std::string *out) {
    if (type == GEN_VT_SIMPLE_NAME || type == GEN_VT_DESCRIPTIVE_NAME)
        return NameText(*static_cast<const GEN_SimpleName *>(value), out);
    const GEN_Text *t = type == GEN_VT_DIST_NAME_STRING
                            ? &static_cast<const GEN_DistNameString *>(value)->name
                        : type == GEN_VT_TEXT || type == GEN_VT_DESCRIPTOR || type == GEN_VT_MESSAGE
                            ? static_cast<const GEN_Text *>(value)
                            : nullptr;
    if (!t) return false;
    if (t->kind == GEN_KIND_IRV || t->kind == GEN_KIND_STRING) {
        *out = t->u.string ? t->u.string : "";
        return true;
    }
    if (t->kind < GEN_KIND_LATIN1 || t->kind > GEN_KIND_CODESET || t->u.octets.length < 0)
        return false;
    out->assign(reinterpret_cast<const char *>(t->u.octets.value), size_t(t->u.octets.length));
    return true;
}

GENU_ShortOID OidOf(const GENU_BerOID &ber) {
    GENU_ShortOID id = 0;
    return ToGEN_oid(Status(), &ber, &id) == 0 ? id : 0;
}

GEN_GeneralizedTime UtcTime(time_t seconds) {
    struct tm tm {};
    ::gmtime_r(&seconds, &tm);
    GEN_GeneralizedTime g{};
    g.year = int16_t(tm.tm_year), g.month = int16_t(tm.tm_mon + 1), g.day = int16_t(tm.tm_mday);
    g.hour = int16_t(tm.tm_hour), g.minute = int16_t(tm.tm_min), g.second = int16_t(tm.tm_sec);
    g.utc = 1;
    return g;
}

GEN_ObjectIdent JobObject(uint32_t id) {
    GEN_ObjectIdent o{};
    o.choice = GEN_OBJID_JOB_ID;
    std::snprintf(o.u.job_id.value, sizeof o.u.job_id.value, "%u", id);
    return o;
}

GEN_ObjectIdent NamedObject(const std::string &name) {
    GEN_ObjectIdent o{};
    o.choice = GEN_OBJID_SIMPLE_NAME;
    GENU_MakeEmbeddedSimpleName(Status(), &o.u.simple_name, name.substr(0, 255).c_str(), nullptr);
    return o;
}

Error::~Error() {
    if (result_) ERDPA_FreeError(Status(), result_);
}

namespace {

// A text error message, released when it goes.
struct Message {
    GEN_ErrorMessage m{};
    explicit Message(const std::string &text) {
        m.choice = GEN_ERRMSG_TEXT;
        GENU_MakeEmbeddedText(Status(), &m.u.text, text.substr(0, GEN_TEXT_MAX).c_str(), nullptr);
    }
    ~Message() { GEN_DeepDeleteText(Status(), &m.u.text, nullptr); }
};

} // namespace

void Error::Update(uint32_t code, const GEN_ObjectIdent &o, const std::string &text) {
    Message msg(text);
    ERDPA_Update(Status(), &result_, code, &o, &msg.m);
}
void Error::Attribute(uint32_t code, AS_AttrHandle attribute, const GEN_ObjectIdent &o,
                      const std::string &text) {
    Message msg(text);
    ERDPA_Attribute(Status(), &result_, code, attribute, &o, &msg.m);
}
void Error::DocumentAccess(uint32_t code, const GEN_ObjectIdent &o, const std::string &text) {
    Message msg(text);
    ERDPA_DocumentAccess(Status(), &result_, code, &o, &msg.m);
}
void Error::Selection(uint32_t code, const GEN_ObjectIdent &o, const std::string &text) {
    Message msg(text);
    ERDPA_Selection(Status(), &result_, code, AS_nullSetHandle, &o, &msg.m);
}
void Error::Access(uint32_t code, const GEN_ObjectIdent &o, const std::string &text) {
    Message msg(text);
    ERDPA_Access(Status(), &result_, code, &o, &msg.m);
}
void Error::Service(uint32_t code, const GEN_ObjectIdent &o, const std::string &text) {
    Message msg(text);
    ERDPA_Service(Status(), &result_, code, AS_nullSetHandle, &o, &msg.m);
}

bool Error::Encode(int32_t *kind, std::vector<char> *out) const {
    GENU_Buffer b{};
    if (!result_ || ERDPA_EncodeError(Status(), result_, kind, &b) != 0) return false;
    out->assign(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    return true;
}

std::string Error::Text() const {
    char *s = ErrorResult2String(result_);
    std::string text = s ? s : "";
    GENU__CoveredFree(s);
    return text;
}

} // namespace vrcore::dpad
