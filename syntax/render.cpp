// Trace text of values and attribute sets. Rendering is lossy on purpose:
// long texts are cut, and syntaxes without a renderer are named only.
#include "syntax/render.h"
#include "vrcore/genu.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "syntax/eacl.h"
#include "syntax/textforms.h"

namespace vrcore::syntax {

void Sink::Str(const char *s) {
    if (s) Write(s, std::strlen(s));
}

void Sink::Cut(const char *s, size_t max) {
    if (s) Write(s, strnlen(s, max));
}

void Sink::Printf(const char *format, ...) {
    char small[256];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(small, sizeof small, format, ap);
    va_end(ap);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        Write(small, static_cast<size_t>(n));
        return;
    }
    // Only numbers are formatted here, so this is rare; without memory the
    // text is cut rather than lost.
    char *big = static_cast<char *>(std::malloc(static_cast<size_t>(n) + 1));
    if (!big) {
        Write(small, sizeof small - 1);
        return;
    }
    va_start(ap, format);
    std::vsnprintf(big, static_cast<size_t>(n) + 1, format, ap);
    va_end(ap);
    Write(big, static_cast<size_t>(n));
    std::free(big);
}

namespace {

// Lines of one value: the prefix before each, one newline at the end.
class Lines : public Sink {
  public:
    Lines(Sink &out, const char *prefix) : out_(out), prefix_(prefix ? prefix : "") {}
    void Write(const char *p, size_t n) override {
        while (n) {
            if (at_start_) {
                out_.Str(prefix_);
                at_start_ = false;
            }
            const char *nl = static_cast<const char *>(std::memchr(p, '\n', n));
            size_t k = nl ? static_cast<size_t>(nl - p) + 1 : n;
            out_.Write(p, k);
            at_start_ = nl != nullptr;
            wrote_ = true;
            p += k;
            n -= k;
        }
    }
    void Finish() {
        if (!wrote_) out_.Str(prefix_);
        if (!wrote_ || !at_start_) out_.Write("\n", 1);
    }

  private:
    Sink &out_;
    const char *prefix_;
    bool at_start_ = true;
    bool wrote_ = false;
};

// The visible bytes of a text or name: up to its length and its first NUL.
struct Bytes {
    const char *p = "";
    size_t n = 0;
    bool ok = true;
};

Bytes Counted(const unsigned char *value, size_t length) {
    Bytes b;
    if (length == 0) return b;
    if (!value) {
        b.ok = false;
        return b;
    }
    b.p = reinterpret_cast<const char *>(value);
    b.n = strnlen(b.p, length);
    return b;
}

Bytes TextBytes(const GEN_Text &t) {
    switch (t.kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING: {
        Bytes b;
        if (t.u.string) {
            b.p = t.u.string;
            b.n = std::strlen(t.u.string);
        }
        return b;
    }
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
    case GEN_KIND_CODESET:
        if (t.u.octets.length < 0) return Bytes{"", 0, false};
        return Counted(t.u.octets.value, static_cast<size_t>(t.u.octets.length));
    default: return Bytes{"", 0, false};
    }
}

Bytes NameBytes(const GEN_SimpleName &s) {
    switch (s.kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING: {
        const void *nul = std::memchr(s.u.string, 0, GEN_SIMPLE_NAME_MAX + 1);
        if (!nul) return Bytes{"", 0, false};
        return Bytes{s.u.string, static_cast<size_t>(static_cast<const char *>(nul) - s.u.string),
                     true};
    }
    case GEN_KIND_LATIN1:
    case GEN_KIND_OCTETS:
    case GEN_KIND_CODESET:
        if (s.u.counted.length > GEN_SIMPLE_NAME_MAX) return Bytes{"", 0, false};
        return Counted(s.u.counted.value, s.u.counted.length);
    default: return Bytes{"", 0, false};
    }
}

const char kBadKind[] = "unknown simple name choice";

// Writes the bytes, at most max of them; false (and the kind complaint)
// when they cannot be read.
bool Put(Sink &sink, const Bytes &b, size_t max = SIZE_MAX) {
    if (!b.ok) {
        sink.Str(kBadKind);
        return false;
    }
    sink.Write(b.p, b.n < max ? b.n : max);
    return true;
}

void JobId(Sink &sink, const GEN_JobIdentifier &job) { sink.Cut(job.value, sizeof job.value); }

bool NameOrOIDText(Sink &sink, const GEN_NameOrOID &v, size_t max) {
    switch (v.choice) {
    case GEN_NOID_OID: sink.Str(OidName(v.u.oid)); return true;
    case GEN_NOID_NAME: return Put(sink, NameBytes(v.u.name), max);
    default: sink.Str("unknown name or oid choice"); return false;
    }
}

bool DistNameText(Sink &sink, const GEN_DistNameString &v) {
    bool ok = Put(sink, TextBytes(v.name), kShownMax);
    if (!v.syntax) {
        sink.Str(" No Syntax");
        return ok;
    }
    sink.Str(" Syntax=");
    return NameOrOIDText(sink, *v.syntax, kShownMax) && ok;
}

void DeltaTime(Sink &sink, uint32_t n) {
    uint32_t d = n / 86400, h = n % 86400 / 3600, m = n % 3600 / 60, s = n % 60;
    if (d > 0)
        sink.Printf("%u day%s %02u:%02u:%02u (%u)", d, d == 1 ? "" : "s", h, m, s, n);
    else if (h > 0)
        sink.Printf("%02u:%02u:%02u (%u)", h, m, s, n);
    else
        sink.Printf("%02u:%02u (%u)", m, s, n);
}

void MailAddress(Sink &sink, const GEN_DeliveryAddress &a) {
    char text[130];
    if (MailAddressOf(a, kInternetMail, kMsMail, text) == 0)
        sink.Str(text);
    else
        sink.Str("<not a mail address>");
}

void EventProfile(Sink &sink, const GEN_EventHandlingProfile &p) {
    for (const GEN_SetOfObjId *e = p.events; e; e = e->next)
        sink.Printf("event = %s\n", OidName(e->oid));
    if (p.delivery_method) sink.Printf("method = %s\n", OidName(*p.delivery_method));
    if (p.delivery_address) {
        sink.Str("mhs-address = ");
        MailAddress(sink, *p.delivery_address);
        sink.Str("\n");
    }
}

void ResultsProfile(Sink &sink, const GEN_ResultsProfile &p) {
    const char *none = "<not specified>";
    sink.Printf("delivery method = %s\n", p.delivery_method ? OidName(*p.delivery_method) : none);
    sink.Str("results set comment = ");
    if (p.results_set_comment)
        Put(sink, TextBytes(*p.results_set_comment), kShownMax);
    else
        sink.Str(none);
    sink.Str("\ndelivery address = ");
    if (p.delivery_address)
        MailAddress(sink, *p.delivery_address);
    else
        sink.Str(none);
    if (p.job_copies)
        sink.Printf("\njob copies = %u\n", *p.job_copies);
    else
        sink.Str("\njob copies = <default = 1>\n");
    sink.Str("output bin = ");
    if (p.output_bin)
        NameOrOIDText(sink, *p.output_bin, kShownMax);
    else
        sink.Str(none);
    sink.Str("\n");
}

// Labels of access-control entries.
const char *const kNameTypeLabel[] = {"all-users: ", "user: ", "group: ", "netgroup: "};
const char *const kListLevelLabel[] = {"end user: ", "op: ", "admin: "};
const char *const kExtLevelLabel[] = {"end-user: ", "operator: ", "administrator: "};
const char *const kNameTypeWord[] = {"all-users", "user", "group", "netgroup"};
const char *const kExtLevelWord[] = {"end-user", "operator", "administrator"};

bool ValidEntry(int32_t name_type, int32_t level) {
    return name_type >= 0 && name_type <= 3 && level >= 1 && level <= 3;
}

// "<level>: <name type>: <name>", or "Invalid: " with the numbers.
void EntryLine(Sink &sink, const Bytes &name, int32_t name_type, int32_t level,
               const char *const (&levels)[3]) {
    if (!ValidEntry(name_type, level)) {
        sink.Str("Invalid: ");
        Put(sink, name, kShownMax);
        sink.Printf(" (name type %d, privilege level %d)", name_type, level);
        return;
    }
    sink.Str(levels[level - 1]);
    sink.Str(kNameTypeLabel[name_type]);
    Put(sink, name, kShownMax);
}

// The domain as the text form writes it: "winnt:CORP", or the name of an
// unlisted syntax before the colon.
void Domain(Sink &sink, const GEN_DistNameString &d) {
    if (d.syntax) {
        if (d.syntax->choice == GEN_NOID_OID) {
            static const struct {
                GENU_ShortOID oid;
                const char *word;
            } words[] = {{kSyntaxNis, "nis"},
                         {kSyntaxDns, "dns"},
                         {kSyntaxNisPlus, "nisplus"},
                         {kSyntaxFile, "file"},
                         {kSyntaxWin95, "win95"},
                         {kSyntaxWinNT, "winnt"},
                         {kSyntaxNtSecurity, "ntsecurity"},
                         {kSyntaxAny, "any"}};
            const char *word = nullptr;
            for (const auto &w : words)
                if (w.oid == d.syntax->u.oid) word = w.word;
            sink.Str(word ? word : OidName(d.syntax->u.oid));
        } else {
            NameOrOIDText(sink, *d.syntax, kShownMax);
        }
        sink.Str(":");
    }
    Put(sink, TextBytes(d.name), kShownMax);
}

bool HasDomain(const GEN_DistNameString &d) {
    Bytes b = TextBytes(d.name);
    return d.syntax || !b.ok || b.n > 0;
}

int ListEntryLine(Sink &sink, const GEN_PSISAccessControlList &e) {
    Bytes name;
    switch (e.choice) {
    case 1: name = NameBytes(e.u.simple_name); break;
    case 2:
        // The octet-string form is the DCE one.
        sink.Str("DCE ACL ");
        if (e.u.octets.length < 0)
            name.ok = false;
        else
            name = Counted(e.u.octets.value, static_cast<size_t>(e.u.octets.length));
        break;
    default: sink.Str("Bad ACL choice"); return 1;
    }
    EntryLine(sink, name, e.name_type ? *e.name_type : GEN_ACL_GROUP,
              e.privilege_level ? *e.privilege_level : GEN_ACL_END_USER, kListLevelLabel);
    return name.ok && ValidEntry(e.name_type ? *e.name_type : GEN_ACL_GROUP,
                                 e.privilege_level ? *e.privilege_level : GEN_ACL_END_USER)
               ? 0
               : 1;
}

void ExtEntryLine(Sink &sink, const GEN_ExtACL &e) {
    EntryLine(sink, NameBytes(e.name), e.name_type, e.privilege_level, kExtLevelLabel);
    if (HasDomain(e.domain)) {
        sink.Str(", domain ");
        Domain(sink, e.domain);
    }
}

template <typename T> const T &As(const void *v) { return *static_cast<const T *>(v); }

void ValueText(Sink &sink, const void *v, uint32_t type) {
    switch (type) {
    case 0: sink.Str(As<GEN_Boolean>(v) ? "TRUE" : "FALSE"); return;
    case 1:
    case 22: sink.Printf("%u", As<uint32_t>(v)); return;
    case 12:
    case 15: sink.Printf("%d", As<int32_t>(v)); return;
    case 26: sink.Printf("%d", As<GEN_Sides>(v)); return;
    case 23: sink.Printf("%f", As<GEN_Real>(v)); return;
    case 25: sink.Printf("%f - %f", As<GEN_RealRange>(v).lower, As<GEN_RealRange>(v).upper); return;
    case 4: DeltaTime(sink, As<GEN_DeltaTime>(v)); return;
    case 10: sink.Str(OidName(As<GENU_ShortOID>(v))); return;
    case 14: JobId(sink, As<GEN_JobIdentifier>(v)); return;
    case 16:
    case 28: Put(sink, TextBytes(As<GEN_Text>(v)), kShownMax); return;
    case 27: Put(sink, NameBytes(As<GEN_SimpleName>(v)), kShownMax); return;
    case 6: DistNameText(sink, As<GEN_DistNameString>(v)); return;
    case 18: {
        const auto &n = As<GEN_NameOrOID>(v);
        if (n.choice == GEN_NOID_OID)
            sink.Printf("global:%s", OidName(n.u.oid));
        else if (n.choice == GEN_NOID_NAME) {
            sink.Str("local:");
            Put(sink, NameBytes(n.u.name), kShownMax);
        } else
            sink.Str("unknown name or oid choice");
        return;
    }
    case 19: {
        const auto &n = As<GEN_NumbersUpSupported>(v);
        if (n.choice == 1)
            sink.Printf("Cardinal = %u\n", n.u.cardinal);
        else if (n.choice == 3)
            sink.Printf("CardinalRange = %u - %u\n", n.u.range.lower, n.u.range.upper);
        else if (n.choice == 2) {
            sink.Str("NameOrOid = ");
            NameOrOIDText(sink, n.u.name_or_oid, kShownMax);
        } else
            sink.Str("Bad NumbersUp Choice");
        return;
    }
    case 21: {
        static const char *const names[] = {"numeric", "alphanumeric", "tag"};
        int32_t t = As<GEN_PageIdType>(v);
        if (t >= 1 && t <= 3)
            sink.Str(names[t - 1]);
        else
            sink.Printf("unknown=%d\n", t);
        return;
    }
    case 44: {
        static const char *const names[] = {"Bottom edge", "Right edge", "Top edge", "Left edge"};
        int32_t e = As<GEN_Edge>(v);
        if (e >= 0 && e <= 3) sink.Str(names[e]);
        return;
    }
    case 8: EventProfile(sink, As<GEN_EventHandlingProfile>(v)); return;
    case 9: {
        const auto &f = As<GEN_FontReference>(v);
        if (f.choice == GEN_FONT_SIMPLE_NAME)
            Put(sink, NameBytes(f.u.simple_name), kShownMax);
        else if (f.choice == GEN_FONT_GLOBAL_NAME)
            sink.Str("font reference not a simple name");
        else
            sink.Str("unknown font reference choice");
        return;
    }
    case 81: ResultsProfile(sink, As<GEN_ResultsProfile>(v)); return;
    case 85: ListEntryLine(sink, As<GEN_PSISAccessControlList>(v)); return;
    case 89: ExtEntryLine(sink, As<GEN_ExtACL>(v)); return;
    case 86: sink.Str("RPC-address"); return;
    case 87: sink.Str("Socket-address"); return;
    case 88: sink.Str("not supported"); return;
    default:
        if (type > 89) {
            sink.Str("unknown value type");
            return;
        }
        sink.Str(TypeName(type));
        sink.Str(" not implemented");
        return;
    }
}

// Text of a counted byte string: "Length = n", then the bytes between
// "<" and ">", each by `one`, the first kShownMax of them.
template <typename One> void ShowBytes(Sink &sink, const GEN_OctetString &o, One one) {
    sink.Printf("Length = %d\nValue=<", o.length);
    size_t n = o.length > 0 && o.value ? static_cast<size_t>(o.length) : 0;
    for (size_t i = 0; i < n && i < kShownMax; ++i) one(o.value[i], i);
    if (n > kShownMax) sink.Str("...");
    sink.Str(">\n");
}

void Printable(Sink &sink, const GEN_OctetString &o) {
    ShowBytes(sink, o, [&](unsigned char c, size_t) {
        char ch = c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '.';
        sink.Write(&ch, 1);
    });
}

} // namespace

const char *TypeName(uint32_t type) {
    static const char *const names[90] = {"boolean",
                                          "cardinal",
                                          "cardinal range",
                                          "colorant set",
                                          "delta time",
                                          "descriptor",
                                          "distinguished name string",
                                          "document content",
                                          "event handling profile",
                                          "font reference",
                                          "object identifier",
                                          "ignored attribute",
                                          "integer",
                                          "integer range",
                                          "job identifier",
                                          "maximum integer",
                                          "message",
                                          "minimum integer",
                                          "name or oid",
                                          "numbers up supported",
                                          "octet string",
                                          "page id type",
                                          "positive integer",
                                          "real",
                                          "realization",
                                          "real range",
                                          "sides",
                                          "simple name",
                                          "text",
                                          "area",
                                          "area sequence",
                                          "cardinal 64",
                                          "cardinal 64 range",
                                          "cardinal map",
                                          "cardinal or name or oid",
                                          "cardinal or oid",
                                          "category set",
                                          "criteria",
                                          "default delivery addresses",
                                          "delivery address",
                                          "descriptive name",
                                          "dimension",
                                          "distinguished name string sequence",
                                          "document format",
                                          "edge",
                                          "file reference",
                                          "finishing",
                                          "font substitution",
                                          "generalized time",
                                          "input tray medium",
                                          "integer sequence",
                                          "job categories",
                                          "job level",
                                          "job password",
                                          "level range",
                                          "locale",
                                          "locations",
                                          "medium dimensions",
                                          "medium source size",
                                          "medium substitution",
                                          "name or oid sequence",
                                          "new job identifier",
                                          "non negative real",
                                          "non negative real range",
                                          "object identification",
                                          "object identifier sequence",
                                          "output bin characteristics",
                                          "page media select",
                                          "page order type",
                                          "page select",
                                          "page size",
                                          "percent",
                                          "positive integer or oid",
                                          "presentation direction",
                                          "print checkpoint",
                                          "priority",
                                          "privileges",
                                          "rdn sequence",
                                          "real sequence",
                                          "resource",
                                          "resource context",
                                          "results profile",
                                          "size unit type",
                                          "translator type",
                                          "dimensions",
                                          "access control list",
                                          "RPC address",
                                          "socket address",
                                          nullptr,
                                          "ext access control list"};
    if (type >= 90 || !names[type]) return "unknown value type";
    return names[type];
}

const char *ModifyOpName(int32_t op) {
    switch (op) {
    case AS_MODOP_NOOP: return "NoOp";
    case AS_MODOP_NONE: return " ";
    case AS_MODOP_ADD_VALUES: return "AddValues";
    case AS_MODOP_DELETE_VALUES: return "DeleteVals";
    case AS_MODOP_SET_DEFAULT: return "SetDefault";
    default: return "BadOp";
    }
}

const char *OidName(GENU_ShortOID id) { return GENU_ShortOIDToAscii(id); }

void RenderValue(Sink &sink, const char *prefix, const void *value, uint32_t type) {
    Lines lines(sink, prefix);
    if (value)
        ValueText(lines, value, type);
    else
        lines.Str("NULL value");
    lines.Finish();
}

namespace {

// Releases an attribute or value handle taken while walking a set.
class Held {
  public:
    Held(STF_List *status, AS_Handle &h, int (*release)(STF_List *, AS_Handle *))
        : status_(status), h_(h), release_(release) {}
    ~Held() {
        if (!h_) return;
        // The caller's list keeps what it holds; the release reports to
        // a list of its own.
        STF_List *own = STF_CreateList(nullptr);
        release_(own ? own : status_, &h_);
        if (own) STF_DeleteList(own);
    }
    Held(const Held &) = delete;
    Held &operator=(const Held &) = delete;

  private:
    STF_List *status_;
    AS_Handle &h_;
    int (*release_)(STF_List *, AS_Handle *);
};

int RenderValues(Sink &sink, STF_List *status, AS_AttrHandle attr, uint32_t type) {
    uint32_t count = 0;
    if (AS_GetAttrValCountR(status, attr, &count)) return 1;
    if (count == 0) {
        sink.Str("\t\t\tno values\n");
        return 0;
    }
    AS_AttrValHandle val = nullptr;
    Held held(status, val, AS_FreeAttrValHandle);
    void *value = nullptr;
    if (AS_FindFirstAttrValR(status, attr, &val, &value)) return 1;
    for (;;) {
        RenderValue(sink, "\t\t\t", value, type);
        if (AS_FindNextAttrValVR(status, &val, &value)) break;
    }
    if (STF_GetStatus(status) != AS_S_NOMOREVALUES) return 1;
    STF_ClearStatus(status);
    return 0;
}

} // namespace

int RenderSet(Sink &sink, STF_List *status, AS_SetHandle set) {
    uint32_t count = 0;
    if (AS_GetCount(status, set, &count)) return 1;
    if (count == 0) {
        sink.Str("\t\tno attributes\n");
        return 0;
    }
    AS_AttrHandle attr = nullptr;
    Held held(status, attr, AS_FreeAttrHandle);
    GENU_ShortOID id = 0;
    if (AS_FindFirstAttr(status, set, &attr, &id)) return 1;
    for (;;) {
        uint32_t type = 0;
        int32_t op = 0;
        if (AS_GetAttrValTypeR(status, attr, &type)) return 1;
        const char *op_name =
            AS_GetAttrModifyOpR(status, attr, &op) ? "GetFailed" : ModifyOpName(op);
        sink.Printf("\t\t%s ", OidName(id));
        sink.Printf("(%s)", TypeName(type));
        sink.Printf(" %s\n", op_name);
        if (RenderValues(sink, status, attr, type)) return 1;
        if (AS_FindNextAttrR(status, &attr, &id)) break;
    }
    if (STF_GetStatus(status) != AS_S_NOMOREATTRS) return 1;
    STF_ClearStatus(status);
    return 0;
}

int RenderText(Sink &sink, const GEN_Text *text) {
    switch (text->kind) {
    case GEN_KIND_IRV:
    case GEN_KIND_STRING:
    case GEN_KIND_CODESET:
        if (!Put(sink, TextBytes(*text))) break;
        sink.Str("\n");
        return 0;
    case GEN_KIND_LATIN1: Printable(sink, text->u.octets); return 0;
    case GEN_KIND_OCTETS: RenderOctetString(sink, &text->u.octets); return 0;
    default: sink.Str(kBadKind); break;
    }
    sink.Str("\n");
    return 1;
}

int RenderSimpleName(Sink &sink, const GEN_SimpleName *name) {
    bool ok = Put(sink, NameBytes(*name));
    sink.Str("\n");
    return ok ? 0 : 1;
}

int RenderNameOrOID(Sink &sink, const GEN_NameOrOID *value) {
    bool ok = NameOrOIDText(sink, *value, GEN_SIMPLE_NAME_MAX);
    sink.Str("\n");
    return ok ? 0 : 1;
}

int RenderDistNameString(Sink &sink, const GEN_DistNameString *value) {
    bool ok = DistNameText(sink, *value);
    sink.Str("\n");
    return ok ? 0 : 1;
}

int RenderObjectIdent(Sink &sink, const GEN_ObjectIdent *v) {
    if (!v) {
        sink.Str("\t\tNULL object identification\n");
        return 0;
    }
    bool ok = true;
    switch (v->choice) {
    case GEN_OBJID_JOB_ID:
        sink.Str("\t\tjob-identifier = ");
        JobId(sink, v->u.job_id);
        break;
    case GEN_OBJID_DOCUMENT_ID:
        sink.Str("\t\tjob-identifier = ");
        JobId(sink, v->u.document_id.job);
        if (v->u.document_id.document_number)
            sink.Printf("\n\t\tdocument-number = %u", *v->u.document_id.document_number);
        break;
    case GEN_OBJID_OID: sink.Printf("\t\tobject-identifier = %s", OidName(v->u.oid)); break;
    case GEN_OBJID_DIST_NAME:
        sink.Str("\t\tobject-name = ");
        ok = DistNameText(sink, v->u.dist_name);
        break;
    case GEN_OBJID_FONT_REF:
        sink.Str("\t\tfont-reference = ");
        if (v->u.font_ref.choice == GEN_FONT_SIMPLE_NAME)
            ok = Put(sink, NameBytes(v->u.font_ref.u.simple_name));
        else if (v->u.font_ref.choice == GEN_FONT_GLOBAL_NAME)
            sink.Str(OidName(v->u.font_ref.u.global_name));
        else {
            sink.Str("unknown font reference choice");
            ok = false;
        }
        break;
    case GEN_OBJID_NAME_OR_OID:
        sink.Str("\t\tname-or-oid = ");
        ok = NameOrOIDText(sink, v->u.name_or_oid, GEN_SIMPLE_NAME_MAX);
        break;
    case GEN_OBJID_SIMPLE_NAME:
        sink.Str("\t\tsimple name = ");
        ok = Put(sink, NameBytes(v->u.simple_name));
        break;
    default: sink.Str("\t\tunknown object identification choice\n"); return 1;
    }
    sink.Str("\n");
    return ok ? 0 : 1;
}

const char *GeneralizedTimeToAscii(const GEN_GeneralizedTime &t, char *buffer, size_t size) {
    if (size == 0) return buffer;
    std::snprintf(buffer, size, "%d/%02d/%d %d:%02d:%02d.%03d diff=%d %s", t.day, t.month, t.year,
                  t.hour, t.minute, t.second, t.millisecond, t.mindiff,
                  t.utc == 1 ? "UTC" : "Not UTC");
    return buffer;
}

void RenderGeneralizedTime(Sink &sink, const GEN_GeneralizedTime *t) {
    sink.Printf("\t\tyear = %d\n\t\tmonth = %d\n\t\tday = %d\n", t->year, t->month, t->day);
    sink.Printf("\t\thour = %d\n\t\tminute = %d\n\t\tsecond = %d\n", t->hour, t->minute, t->second);
    sink.Printf("\t\tmillisecond = %d\n\t\tmindiff = %d\n", t->millisecond, t->mindiff);
    sink.Str(t->utc == 1 ? "\t\tutc = TRUE\n" : "\t\tutc = FALSE\n");
}

void RenderCheckpoint(Sink &sink, const GEN_Checkpoint *c) {
    sink.Printf("\t\tcheckpoint format = %s\n", OidName(c->format));
    if (c->document_number)
        sink.Printf("\t\tdocument number = %u\n", *c->document_number);
    else
        sink.Str("\t\tdocument number = <not specified>\n");
    sink.Str("\t\tpage = ");
    if (!c->page)
        sink.Str("<not specified>");
    else if (c->page->choice == 1)
        sink.Printf("%u", c->page->u.number);
    else if (c->page->choice == 2)
        Put(sink, NameBytes(c->page->u.name), kShownMax);
    else if (c->page->choice == 3)
        sink.Printf("tag of length %d", c->page->u.tag.length);
    else
        sink.Str("unknown page identifier choice");
    sink.Printf("\n\t\tcheckpoint data length = %d\n", c->data.length);
}

int RenderExternal(Sink &sink, const GEN_External *e) {
    const char *none = "<not specified>";
    sink.Printf("\t\tdirect-reference = %s\n",
                e->direct_reference ? OidName(*e->direct_reference) : none);
    if (e->indirect_reference)
        sink.Printf("\t\tindirect-reference = %d\n", *e->indirect_reference);
    else
        sink.Printf("\t\tindirect-reference = %s\n", none);
    sink.Str("\t\tdata-value-descriptor = ");
    sink.Cut(e->data_value_descriptor ? e->data_value_descriptor : none, kShownMax);
    int rc = 0;
    switch (e->encoding) {
    case GEN_EXTERNAL_SINGLE_ASN1: sink.Str("\n\t\tencoding = single-ASN1-type\n"); break;
    case GEN_EXTERNAL_OCTET_ALIGNED: sink.Str("\n\t\tencoding = octet-aligned\n"); break;
    case GEN_EXTERNAL_ARBITRARY:
        sink.Printf("\n\t\tencoding = arbitrary (%u unused bits)\n", e->unused_bits);
        break;
    default:
        sink.Printf("\n\t\tencoding = unknown (%d)\n", e->encoding);
        rc = 1;
        break;
    }
    sink.Printf("\t\tdata length = %d\n", e->data.length);
    return rc;
}

void RenderOctetString(Sink &sink, const GEN_OctetString *o) {
    ShowBytes(sink, *o, [&](unsigned char c, size_t) { sink.Printf("%02x", c); });
}

void RenderOctetStringInt(Sink &sink, const GEN_OctetString *o) {
    // Up to eight bytes read as an unsigned number, most significant first.
    if (o->length < 1 || o->length > 8 || !o->value) {
        RenderOctetString(sink, o);
        return;
    }
    unsigned long long n = 0;
    for (int32_t i = 0; i < o->length; ++i) n = n << 8 | o->value[i];
    sink.Printf("Length = %d\nValue=<%llu>\n", o->length, n);
}

void RenderShortOID(Sink &sink, GENU_ShortOID id) {
    sink.Str(OidName(id));
    sink.Str("\n");
}

int RenderErrorMessage(Sink &sink, const GEN_ErrorMessage *m) {
    switch (m->choice) {
    case GEN_ERRMSG_TEXT: return RenderText(sink, &m->u.text);
    case GEN_ERRMSG_OCTETS: RenderOctetString(sink, &m->u.octets); return 0;
    default: sink.Str("unknown error message choice\n"); return 1;
    }
}

void RenderLimitEncountered(Sink &sink, const int32_t *limit) {
    static const char *const names[] = {"time limit", "count limit", "administrative limit"};
    if (*limit >= 0 && *limit <= 2)
        sink.Printf("%s\n", names[*limit]);
    else
        sink.Printf("unknown (%d)\n", *limit);
}

void RenderCardinal64(Sink &sink, const GEN_Cardinal64 *c) {
    sink.Printf("Card-64: %llu\n", static_cast<unsigned long long>(c->high) << 32 |
                                       static_cast<unsigned long long>(c->low));
}

int RenderACL(Sink &sink, const GEN_PSISAccessControlList *entry) {
    int rc = ListEntryLine(sink, *entry);
    sink.Str("\n");
    return rc;
}

int RendereACL(Sink &sink, const GEN_ExtACL *e) {
    Bytes name = NameBytes(e->name);
    sink.Str("ExtAccessControlList Name: ");
    Put(sink, name, kShownMax);
    sink.Str("\nExtAccessControlList Name Type: ");
    if (e->name_type >= 0 && e->name_type <= 3)
        sink.Str(kNameTypeWord[e->name_type]);
    else
        sink.Printf("Invalid: %d", e->name_type);
    sink.Str("\nExtAccessControlList Domain: ");
    Domain(sink, e->domain);
    sink.Str("\nExtAccessControlList Privilege Level: ");
    if (e->privilege_level >= 1 && e->privilege_level <= 3)
        sink.Str(kExtLevelWord[e->privilege_level - 1]);
    else
        sink.Printf("Invalid: %d", e->privilege_level);
    sink.Str("\n");
    return name.ok && ValidEntry(e->name_type, e->privilege_level) ? 0 : 1;
}

} // namespace vrcore::syntax
