// The composite renderings of the operation trace: document descriptions,
// filters, selectors and the results of the operations, and the pieces
// every trace entry is made of.
#include <cstring>

#include "client/echo_trace.h"
#include "system/guard.h"
#include "vrcore/echo.h"
#include "vrcore/genu.h"
#include "vrcore/log.h"

namespace vrcore::client {

Scratch::Scratch() : list_(STF_CreateList(nullptr)) {}
Scratch::~Scratch() {
    if (list_) STF_DeleteList(list_);
}

bool Tracing() { return LOG_InMessage() != 0; }

void Put(const char *text) { LOG_AddText(text); }

void Absent(const char *label, bool required) {
    LOG_CondAdd(required ? "\t%s = NULL [ERROR]\n" : "\t%s = OPTION not specified\n", label);
}

namespace {

// A job identifier of at most 255 characters, whatever the field holds.
struct JobCopy {
    char text[GEN_JOB_ID_MAX + 1];
    explicit JobCopy(const char *job) {
        size_t n = 0;
        while (n < GEN_JOB_ID_MAX && job[n]) ++n;
        std::memcpy(text, job, n);
        text[n] = 0;
    }
};

// Runs a value renderer with the trace's own list; a value it cannot show
// gets the marker.
template <typename Fn> void Rendered(Fn render) {
    Scratch scratch;
    if (!scratch.Get() || render(scratch.Get()) != 0) Put("\t\t**ERROR** value cannot be shown\n");
}

constexpr int kFilterLevel = 6; // the level of a filter's root
constexpr int kIndentStep = 3;
constexpr int kIndentMax = (kFilterLevel + GEN_MAX_NESTING + 1) * kIndentStep;
char g_blanks[kIndentMax + 1];
const char *Indent(int level) {
    if (g_blanks[0] != ' ') std::memset(g_blanks, ' ', kIndentMax); // the last byte stays NUL
    int n = level * kIndentStep;
    if (n > kIndentMax) n = kIndentMax;
    return g_blanks + kIndentMax - n;
}

const char *ItemOperator(int32_t choice) {
    switch (choice) {
    case GEN_ITEM_EQUALITY: return "eq";
    case GEN_ITEM_GREATER_OR_EQUAL: return "ge";
    case GEN_ITEM_LESS_OR_EQUAL: return "le";
    case GEN_ITEM_SUBSET: return "sub";
    case GEN_ITEM_SUPERSET: return "sup";
    case GEN_ITEM_INTERSECTION: return "int";
    default: return nullptr;
    }
}

// "name op value", further values on lines of their own.
void ItemValues(STF_List *st, const GEN_FilterItem &item, const char *op, const char *indent) {
    GENU_ShortOID id = 0;
    if (AS_GetAttrIDR(st, item.u.attribute, &id) != 0) {
        LOG_CondAdd("%s <can't get attribute ID>\n", op);
        return;
    }
    LOG_CondAdd("%s %s ", GENU_ShortOIDToAscii(id), op);
    uint32_t type = 0, count = 0;
    if (AS_GetAttrValTypeR(st, item.u.attribute, &type) != 0) {
        Put("<can't get value type>\n");
        return;
    }
    if (AS_GetAttrValCountR(st, item.u.attribute, &count) != 0) {
        Put("<can't get value count>\n");
        return;
    }
    AS_ValueList list{0, nullptr};
    if (count == 0 || AS_GetAttrValListR(st, item.u.attribute, &list, nullptr) != 0 ||
        list.count == 0) {
        Put("<no values>\n");
        return;
    }
    for (uint32_t i = 0; i < list.count; ++i)
        _GENU_EchoAttrValue(st, i == 0 ? "" : indent, list.values[i], type);
    GENU__CoveredFree(list.values);
}

void SubstringValue(STF_List *st, const char *indent, const char *label, const void *value,
                    uint32_t type) {
    LOG_CondAdd("%s%s = ", indent, label);
    if (value)
        _GENU_EchoAttrValue(st, "", value, type);
    else
        Put("<not specified>\n");
}

void Substrings(STF_List *st, const GEN_Substrings &s, const char *indent) {
    static const char *const kMatch[] = {"exact", "insensitive", "same_letter", "approximate"};
    LOG_CondAdd("Substring, Attr Id = %s\n", GENU_ShortOIDToAscii(s.attribute_type));
    LOG_CondAdd("%sValue Type = %s\n", indent, _GENU__TypeToAscii(st, s.value_type));
    if (s.match >= 0 && s.match <= 3)
        LOG_CondAdd("%sMatch = %s\n", indent, kMatch[s.match]);
    else
        LOG_CondAdd("%sMatch = unknown (%d)\n", indent, s.match);
    SubstringValue(st, indent, "Initial String", s.initial, s.value_type);
    int shown = 0;
    for (const GEN_SeqOfValues *any = s.any; any && shown < GEN_MAX_NESTING;
         any = any->next, ++shown)
        SubstringValue(st, indent, "String", any->value, s.value_type);
    SubstringValue(st, indent, "Final String", s.final, s.value_type);
}

void Filter(STF_List *st, const GEN_Filter *f, int level) {
    const char *indent = Indent(level);
    Put(indent);
    if (!f) {
        Put("NULL FILTER\n");
        return;
    }
    if (level > kFilterLevel + GEN_MAX_NESTING) {
        Put("**ERROR** filter nested too deep\n");
        return;
    }
    switch (f->choice) {
    case GEN_FILTER_ITEM: {
        const GEN_FilterItem &item = f->u.item;
        if (const char *op = ItemOperator(item.choice))
            ItemValues(st, item, op, indent);
        else if (item.choice == GEN_ITEM_PRESENT)
            LOG_CondAdd("%s is\n", GENU_ShortOIDToAscii(item.u.present));
        else if (item.choice == GEN_ITEM_SUBSTRINGS)
            Substrings(st, item.u.substrings, indent);
        else
            LOG_CondAdd("**ERROR** unknown filter item (%d)\n", item.choice);
        return;
    }
    case GEN_FILTER_AND:
    case GEN_FILTER_OR: {
        Put(f->choice == GEN_FILTER_AND ? "and\n" : "or\n");
        int shown = 0;
        for (const GEN_SetOfFilter *m = f->choice == GEN_FILTER_AND ? f->u.and_set : f->u.or_set;
             m && shown < GEN_MAX_NESTING; m = m->next, ++shown)
            Filter(st, &m->filter, level + 1);
        return;
    }
    case GEN_FILTER_NOT:
        Put("not\n");
        Filter(st, f->u.not_filter, level + 1);
        return;
    default: LOG_CondAdd("**ERROR** unknown filter choice (%d)\n", f->choice); return;
    }
}

void OptionalOid(const char *label, const GENU_ShortOID *id) {
    if (id)
        Oid(label, *id);
    else
        Absent(label, false);
}

// "\t\t<label>:" and the set, or "\t\t<label> = <none>".
void ResultSet(const char *label, AS_SetHandle set, const char *none) {
    if (set) {
        LOG_CondAdd("\t\t%s:\n", label);
        SetLines(set);
    } else {
        LOG_CondAdd("\t\t%s = %s\n", label, none);
    }
}

} // namespace

void JobText(const char *label, const char *job, bool required) {
    if (!job) return Absent(label, required);
    JobCopy copy(job);
    LOG_CondAdd("\t%s = %s\n", label, copy.text);
}

void JobId(const char *label, const GEN_JobIdentifier &job) {
    JobCopy copy(job.value);
    LOG_CondAdd("\t\t%s = %s\n", label, copy.text);
}

void Message(const char *label, const GEN_Message *message) {
    if (!message) return Absent(label, false);
    LOG_CondAdd("\t%s = ", label);
    Rendered([&](STF_List *st) { return GEN_EchoMessage(st, message); });
}

void Oid(const char *label, GENU_ShortOID id) {
    LOG_CondAdd("\t%s = %s\n", label, GENU_ShortOIDToAscii(id));
}

void Number(const char *label, const int32_t *value) {
    if (!value) return Absent(label, false);
    LOG_CondAdd("\t%s = %d\n", label, *value);
}

void ObjectIdent(const char *label, const GEN_ObjectIdent *value, bool required) {
    if (!value) return Absent(label, required);
    LOG_CondAdd("\t%s:\n", label);
    Rendered([&](STF_List *st) { return GEN_EchoObjectIdent(st, value); });
}

void SetEntry(const char *label, const AS_SetHandle *set, bool required, const char *mark) {
    if (!set || !*set) return Absent(label, required);
    LOG_CondAdd("\t%s%s\n", label, mark);
    SetLines(*set);
}

void SetLines(AS_SetHandle set) {
    Scratch scratch;
    if (!scratch.Get() || GEN_EchoAS(scratch.Get(), set) != 0)
        Put("\t\t**ERROR** set cannot be read\n");
}

} // namespace vrcore::client

using namespace vrcore::client;

extern "C" {

VR_EXPORT int EchoDocumentDescription(STF_List *status, const ODP_DocDescription *d) try {
    (void)status;
    if (!Tracing()) return 0;
    if (!d) {
        Put("\tdocument description = NULL [ERROR]\n");
        return 0;
    }
    OptionalOid("transfer-method", d->transfer_method);
    if (d->content) {
        Put("\tdocument-content:\n");
        EchoDocumentContent(status, d->content);
    } else {
        Absent("document-content", false);
    }
    OptionalOid("document-type", d->document_type);
    SetEntry("document attributes", d->attributes, false, ":");
    return 0;
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoDocumentContent(STF_List *status, const GEN_DocumentContent *c) try {
    if (!Tracing()) return 0;
    if (!c) {
        Put("\t\tchoice = *ERROR* NULL\n");
        return 0;
    }
    switch (c->choice) {
    case GEN_CONTENT_INCLUDED:
        Put("\t\tchoice = included-document\n");
        Rendered([&](STF_List *st) { return GEN_EchoExternal(st, &c->u.included); });
        break;
    case GEN_CONTENT_REFERENCED:
        Put("\t\tchoice = referenced-document\n");
        EchoDOR(status, &c->u.referenced);
        break;
    default: Put("\t\tchoice = *ERROR* unknown\n"); break;
    }
    return 0;
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoDOR(STF_List *status, const GEN_FileReference *r) try {
    (void)status;
    if (!Tracing()) return 0;
    if (!r) {
        Put("\t\tdocument reference = NULL [ERROR]\n");
        return 0;
    }
    int32_t application = 0;
    if (r->application && r->application->locational_identifier) {
        const GEN_LocationalIdentifier &l = *r->application->locational_identifier;
        application = l.p_selector.length + l.s_selector.length + l.t_selector.length;
    }
    LOG_CondAdd("\t\tapplication length = %d\n", application);
    LOG_CondAdd("\t\tspecific reference length = %d\n", r->specific_reference.length);
    return 0;
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoFilter(STF_List *status, const GEN_Filter *filter) try {
    (void)status;
    if (!Tracing()) return 0;
    Scratch scratch;
    Filter(scratch.Get(), filter, kFilterLevel);
    return 0;
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoSelector(STF_List *status, const GEN_Selector *s) try {
    if (!Tracing()) return 0;
    if (!s) {
        Put("\t\tselector = NULL [ERROR]\n");
        return 0;
    }
    if (s->object_identifications) {
        Put("\t\tobject-identification:\n");
        int shown = 0;
        for (const GEN_SeqOfObjectIdent *i = s->object_identifications;
             i && shown < GEN_MAX_NESTING; i = i->next, ++shown)
            Rendered([&](STF_List *st) { return GEN_EchoObjectIdent(st, i->ident); });
    } else {
        Put("\t\tobject-identification = OPTION not specified\n");
    }
    if (s->filter) {
        Put("\t\tobject-filter:\n");
        EchoFilter(status, s->filter);
    } else {
        Put("\t\tobject-filter = OPTION not specified\n");
    }
    if (s->time_limit)
        LOG_CondAdd("\t\ttime-limit = %d\n", static_cast<int>(*s->time_limit));
    else
        Put("\t\ttime-limit = OPTION not specified\n");
    if (s->count_limit)
        LOG_CondAdd("\t\tcount-limit = %d\n", static_cast<int>(*s->count_limit));
    else
        Put("\t\tcount-limit = OPTION not specified\n");
    return 0;
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoJobOrPrinter(STF_List *status, const ODP_JobOrPrinter *job) try {
    (void)status;
    if (!Tracing()) return 0;
    if (!job) {
        Put("\t\tunknown ODP_jobOrPrinter_t choice\n");
    } else if (job->kind == ODP_JOB_OR_PRINTER_JOB) {
        JobId("job-identifier", job->u.job);
    } else {
        Put("\t\tprinter-name = ");
        Rendered([&](STF_List *st) { return GEN_EchoSimpleName(st, &job->u.printer); });
    }
    return 0;
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoPrintResult(STF_List *status, const ODP_PrintResult *r) try {
    (void)status;
    if (!Tracing() || !r) return 0;
    if (r->job_identification.value[0])
        JobId("job-identification", r->job_identification);
    else
        Put("\t\tjob-identification = NULL\n");
    LOG_CondAdd("\t\tserver-state = %s\n",
                r->oid ? GENU_ShortOIDToAscii(*r->oid) : "OPTION not specified");
    if (r->server_message) {
        Put("\t\tserver-message = ");
        Rendered([&](STF_List *st) { return GEN_EchoMessage(st, r->server_message); });
    } else {
        Put("\t\tserver-message = OPTION not specified\n");
    }
    ResultSet("document-status", r->document_status ? *r->document_status : nullptr,
              "OPTION not specified");
    ResultSet("job-status", r->job_status, "NULL");
    return 0;
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoListObjAttrsResult(STF_List *status, const ODP_ListResult *r) try {
    (void)status;
    if (!Tracing() || !r) return 0;
    Scratch scratch;
    char when[96];
    LOG_CondAdd("\t\tanswer-time: %s\n",
                _GENU__GeneralizedTimeToAscii(scratch.Get(), &r->answer_time, when, sizeof when));
    if (r->continuation) {
        Put("\t\tcontinuation = ");
        Rendered([&](STF_List *st) { return GEN_EchoOctetString(st, r->continuation); });
    } else {
        Put("\t\tcontinuation = OPTION not specifed\n");
    }
    if (r->limit_encountered) {
        Put("\t\tlimit-encountered = ");
        Rendered([&](STF_List *st) { return GEN_EchoLimitEncountered(st, r->limit_encountered); });
    } else {
        Put("\t\tlimit-encountered = OPTION not specifed\n");
    }
    if (!r->result_set) Put("\t\tresult-set = Empty\n");
    for (const ODP_ObjectResult *o = r->result_set; o; o = o->next) {
        Put("\t\tresult-set:\n");
        Rendered([&](STF_List *st) { return GEN_EchoObjectIdent(st, &o->object_identification); });
        LOG_CondAdd("\t\tobject-class = %s\n", GENU_ShortOIDToAscii(o->object_class));
        Put("\t\tattribute-set:\n");
        SetLines(o->attribute_set);
    }
    return 0;
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoPauseJobResult(STF_List *status, const ODP_PauseJobResult *r) try {
    (void)status;
    if (!Tracing() || !r) return 0;
    JobId("paused-job-identifier", r->paused_job_identifier);
    if (r->checkpoint) {
        Put("\t\tcheckpoint:\n");
        for (const ODP_CheckpointList *c = r->checkpoint; c; c = c->next)
            Rendered([&](STF_List *st) { return GEN_EchoCheckpoint(st, &c->checkpoint); });
    } else {
        Put("\t\tcheckpoint = NULL [ERROR]\n");
    }
    ResultSet("job-status", r->job_status, "OPTION not specified");
    return 0;
}
VR_CATCH_CODE(0, 0)

VR_EXPORT int EchoInterruptJobResult(STF_List *status, const ODP_InterruptJobResult *r) try {
    (void)status;
    if (!Tracing() || !r) return 0;
    JobId("interrupted-job-identifier", r->interrupted_job_identifier);
    ResultSet("job-status", r->job_status, "OPTION not specified");
    return 0;
}
VR_CATCH_CODE(0, 0)

} // extern "C"
