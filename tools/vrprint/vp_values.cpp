// Attribute values as the user reads and writes them, and the output of
// rows as a table or as JSON.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <vrcore/gen.h>
#include <vrcore/genu.h>

#include "vrprint.h"

namespace vrprint {
namespace {

std::string Name(const char *oid_name, const char *prefix) {
    std::string n = oid_name;
    return n.rfind(prefix, 0) == 0 ? n.substr(std::strlen(prefix)) : n;
}

std::string TextOf(const GEN_Text &t) {
    if (t.kind == GEN_KIND_IRV || t.kind == GEN_KIND_STRING) return t.u.string ? t.u.string : "";
    if (!t.u.octets.value || t.u.octets.length <= 0) return "";
    return std::string(reinterpret_cast<const char *>(t.u.octets.value),
                       static_cast<size_t>(t.u.octets.length));
}

std::string SimpleNameOf(const GEN_SimpleName &n) {
    if (n.kind == GEN_KIND_IRV || n.kind == GEN_KIND_STRING)
        return std::string(n.u.string, strnlen(n.u.string, sizeof n.u.string));
    size_t length = n.u.counted.length < sizeof n.u.counted.value ? n.u.counted.length : 0;
    return std::string(reinterpret_cast<const char *>(n.u.counted.value), length);
}

// An identifier value: "id-val-job-state-pending" reads "pending".
std::string IdentifierText(GENU_ShortOID id) {
    std::string n = GENU_ShortOIDToAscii(id);
    if (n == "unknown") return std::to_string(id);
    static const char *const kPrefixes[] = {"id-val-job-state-",
                                            "id-val-printer-state-",
                                            "id-val-transfer-method-",
                                            "id-val-",
                                            "id-att-",
                                            "id-oc-"};
    for (const char *p : kPrefixes)
        if (n.rfind(p, 0) == 0) return n.substr(std::strlen(p));
    return n;
}

bool ParseLong(const std::string &text, long lo, long hi, long &out) {
    if (text.empty()) return false;
    char *end = nullptr;
    errno = 0;
    out = std::strtol(text.c_str(), &end, 10);
    return !*end && errno == 0 && out >= lo && out <= hi;
}

// A value in JSON: numbers and yes/no as JSON numbers and booleans, the
// rest as strings.
std::string JsonValue(uint32_t type, const std::string &text) {
    switch (type) {
    case GEN_VT_BOOLEAN: return text == "yes" ? "true" : "false";
    case GEN_VT_CARDINAL:
    case GEN_VT_DELTA_TIME:
    case GEN_VT_POSITIVE_INTEGER:
    case GEN_VT_INTEGER:
    case GEN_VT_MAXIMUM_INTEGER:
    case GEN_VT_MINIMUM_INTEGER:
    case GEN_VT_PRIORITY:
    case GEN_VT_CARDINAL64: return text;
    default: return JsonString(text);
    }
}

void JsonValues(const Field &f) {
    if (f.values.size() == 1) {
        std::fputs(JsonValue(f.type, f.values[0]).c_str(), stdout);
        return;
    }
    std::fputc('[', stdout);
    for (size_t i = 0; i < f.values.size(); ++i)
        std::printf("%s%s", i ? ", " : "", JsonValue(f.type, f.values[i]).c_str());
    std::fputc(']', stdout);
}

} // namespace

std::string AttrName(GENU_ShortOID id) {
    std::string n = GENU_ShortOIDToAscii(id);
    return n == "unknown" ? std::to_string(id) : Name(n.c_str(), "id-att-");
}

std::string ValueText(uint32_t type, const void *value) {
    if (!value) return "";
    char buf[64];
    switch (type) {
    case GEN_VT_BOOLEAN: return *static_cast<const GEN_Boolean *>(value) ? "yes" : "no";
    case GEN_VT_CARDINAL:
    case GEN_VT_DELTA_TIME:
    case GEN_VT_POSITIVE_INTEGER: return std::to_string(*static_cast<const uint32_t *>(value));
    case GEN_VT_INTEGER:
    case GEN_VT_MAXIMUM_INTEGER:
    case GEN_VT_MINIMUM_INTEGER: return std::to_string(*static_cast<const int32_t *>(value));
    case GEN_VT_PRIORITY: return std::to_string(*static_cast<const GEN_Priority *>(value));
    case GEN_VT_CARDINAL64: {
        const auto *c = static_cast<const GEN_Cardinal64 *>(value);
        return std::to_string((static_cast<uint64_t>(c->high) << 32) | c->low);
    }
    case GEN_VT_OBJECT_IDENTIFIER:
        return IdentifierText(*static_cast<const GENU_ShortOID *>(value));
    case GEN_VT_JOB_IDENTIFIER: {
        const auto *j = static_cast<const GEN_JobIdentifier *>(value);
        return std::string(j->value, strnlen(j->value, sizeof j->value));
    }
    case GEN_VT_SIMPLE_NAME:
    case GEN_VT_DESCRIPTIVE_NAME: return SimpleNameOf(*static_cast<const GEN_SimpleName *>(value));
    case GEN_VT_TEXT:
    case GEN_VT_DESCRIPTOR:
    case GEN_VT_MESSAGE: return TextOf(*static_cast<const GEN_Text *>(value));
    case GEN_VT_DIST_NAME_STRING:
        return TextOf(static_cast<const GEN_DistNameString *>(value)->name);
    case GEN_VT_NAME_OR_OID: {
        const auto *n = static_cast<const GEN_NameOrOID *>(value);
        return n->choice == GEN_NOID_OID ? IdentifierText(n->u.oid) : SimpleNameOf(n->u.name);
    }
    case GEN_VT_GENERALIZED_TIME: {
        const auto *t = static_cast<const GEN_GeneralizedTime *>(value);
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d%s", t->year, t->month, t->day,
                      t->hour, t->minute, t->second, t->utc ? "Z" : "");
        return buf;
    }
    case GEN_VT_OBJECT_IDENTIFICATION: {
        const auto *o = static_cast<const GEN_ObjectIdent *>(value);
        if (o->choice == GEN_OBJID_JOB_ID) return ValueText(GEN_VT_JOB_IDENTIFIER, &o->u.job_id);
        if (o->choice == GEN_OBJID_SIMPLE_NAME) return SimpleNameOf(o->u.simple_name);
        if (o->choice == GEN_OBJID_OID) return IdentifierText(o->u.oid);
        break;
    }
    case GEN_VT_SOCKET_ADDRESS: {
        const auto *s = static_cast<const GEN_SocketAddress *>(value);
        return TextOf(s->host) + ":" + std::to_string(s->port);
    }
    default: break;
    }
    std::snprintf(buf, sizeof buf, "(value of syntax %u)", type);
    return buf;
}

std::vector<Field> SetFields(AS_SetHandle set) {
    std::vector<Field> out;
    Status st;
    AS_AttrHandle attr = AS_nullAttrHandle;
    GENU_ShortOID id = 0;
    for (int rc = AS_FindFirstAttr(st, set, &attr, &id); rc == 0;
         rc = AS_FindNextAttrR(st, &attr, &id)) {
        Field f{AttrName(id), UINT32_MAX, {}};
        AS_GetAttrValTypeR(st, attr, &f.type);
        AS_AttrValHandle val = AS_nullAttrValHandle;
        void *value = nullptr;
        for (int vr = AS_FindFirstAttrValR(st, attr, &val, &value); vr == 0;
             vr = AS_FindNextAttrValVR(st, &val, &value))
            f.values.push_back(ValueText(f.type, value));
        AS_FreeAttrValHandle(st, &val);
        out.push_back(std::move(f));
    }
    AS_FreeAttrHandle(st, &attr);
    return out;
}

bool MakeSimpleName(GEN_SimpleName &name, const std::string &text) {
    Status st;
    return text.size() <= GEN_SIMPLE_NAME_MAX &&
           GENU_MakeEmbeddedSimpleName(st, &name, text.c_str(), nullptr) == 0;
}

bool AddValue(AS_SetHandle set, GENU_ShortOID id, uint32_t type, void *value) {
    Status st;
    return AS_AddAttrValM(st, set, id, type, value, GENU_AVT2Descriptor(type), nullptr) == 0;
}

bool AddAttribute(AS_SetHandle set, const std::string &assignment, std::string &error) {
    size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) {
        error = "an attribute is NAME=VALUE: " + assignment;
        return false;
    }
    std::string name = assignment.substr(0, eq), text = assignment.substr(eq + 1);
    Status st;
    GENU_ShortOID id = 0;
    int32_t type = -1;
    if (GENU_PrefixToShortOID(st, name.c_str(), "id-att-", &id) != 0 ||
        GENU_AttrIdToType(st, id, &type) != 0) {
        error = "unknown attribute: " + name;
        return false;
    }
    error = "not a value of " + name + ": " + text;
    long number = 0;
    switch (type) {
    case GEN_VT_BOOLEAN: {
        GEN_Boolean b = text == "yes" || text == "true" || text == "1";
        if (!b && text != "no" && text != "false" && text != "0") return false;
        return AddValue(set, id, type, &b);
    }
    case GEN_VT_CARDINAL:
    case GEN_VT_DELTA_TIME:
    case GEN_VT_POSITIVE_INTEGER: {
        if (!ParseLong(text, type == GEN_VT_POSITIVE_INTEGER ? 1 : 0, LONG_MAX, number) ||
            number > static_cast<long>(UINT32_MAX))
            return false;
        uint32_t c = static_cast<uint32_t>(number);
        return AddValue(set, id, type, &c);
    }
    case GEN_VT_INTEGER:
    case GEN_VT_MAXIMUM_INTEGER:
    case GEN_VT_MINIMUM_INTEGER: {
        if (!ParseLong(text, INT32_MIN, INT32_MAX, number)) return false;
        int32_t i = static_cast<int32_t>(number);
        return AddValue(set, id, type, &i);
    }
    case GEN_VT_PRIORITY: {
        if (!ParseLong(text, INT16_MIN, INT16_MAX, number)) return false;
        GEN_Priority p = static_cast<GEN_Priority>(number);
        return AddValue(set, id, type, &p);
    }
    case GEN_VT_OBJECT_IDENTIFIER: {
        GENU_ShortOID v = 0;
        if (GENU_PrefixToShortOID(st, text.c_str(), "id-val-", &v) != 0 &&
            GENU_AsciiToShortOID(st, text.c_str(), &v) != 0)
            return false;
        return AddValue(set, id, type, &v);
    }
    case GEN_VT_SIMPLE_NAME:
    case GEN_VT_DESCRIPTIVE_NAME: {
        GEN_SimpleName n{};
        return MakeSimpleName(n, text) && AddValue(set, id, type, &n);
    }
    case GEN_VT_TEXT:
    case GEN_VT_DESCRIPTOR:
    case GEN_VT_MESSAGE: {
        GEN_Text *t = nullptr;
        if (GENU_MakeText(st, &t, text.c_str(), nullptr) != 0) return false;
        if (AS_AddAttrVal(st, set, id, type, t, GENU_AVT2Descriptor(type), nullptr) == 0)
            return true;
        GENU_AVT2Descriptor(type)->del(st, t, nullptr);
        return false;
    }
    case GEN_VT_DIST_NAME_STRING: {
        GEN_DistNameString *d = nullptr;
        if (GENU_MakeDistNameString2(st, &d, text.c_str(), 0, nullptr) != 0) return false;
        if (AS_AddAttrVal(st, set, id, type, d, GENU_AVT2Descriptor(type), nullptr) == 0)
            return true;
        GENU_AVT2Descriptor(type)->del(st, d, nullptr);
        return false;
    }
    default: error = "the value of " + name + " cannot be given on the command line"; return false;
    }
}

std::string JsonString(const std::string &text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

const Field *Row::Find(const std::string &names) const {
    for (size_t start = 0; start <= names.size();) {
        size_t bar = names.find('|', start);
        if (bar == std::string::npos) bar = names.size();
        for (const Field &f : fields)
            if (names.compare(start, bar - start, f.name) == 0) return &f;
        start = bar + 1;
    }
    return nullptr;
}

void PrintRows(const std::vector<Row> &rows, const std::vector<std::string> &columns,
               const std::vector<std::string> &headings, bool json) {
    if (json) {
        std::fputs("[", stdout);
        for (size_t r = 0; r < rows.size(); ++r) {
            std::printf("%s\n  {", r ? "," : "");
            for (size_t i = 0; i < rows[r].fields.size(); ++i) {
                const Field &f = rows[r].fields[i];
                std::printf("%s%s: ", i ? ", " : "", JsonString(f.name).c_str());
                JsonValues(f);
            }
            std::fputs("}", stdout);
        }
        std::fputs(rows.empty() ? "]\n" : "\n]\n", stdout);
        return;
    }
    // Cells: a column's values joined with ","; widths from the longest.
    std::vector<std::vector<std::string>> cells;
    std::vector<size_t> width;
    for (const std::string &h : headings) width.push_back(h.size());
    for (const Row &row : rows) {
        std::vector<std::string> line;
        for (size_t c = 0; c < columns.size(); ++c) {
            std::string cell;
            if (const Field *f = row.Find(columns[c]))
                for (size_t i = 0; i < f->values.size(); ++i) {
                    if (i) cell += ',';
                    cell += f->values[i];
                }
            if (cell.empty()) cell.push_back('-');
            width[c] = std::max(width[c], cell.size());
            line.push_back(cell);
        }
        cells.push_back(std::move(line));
    }
    auto print = [&](const std::vector<std::string> &line) {
        std::string out;
        for (size_t c = 0; c < line.size(); ++c) {
            out += line[c];
            if (c + 1 < line.size()) out += std::string(width[c] - line[c].size() + 2, ' ');
        }
        std::printf("%s\n", out.c_str());
    };
    print(headings);
    for (const auto &line : cells) print(line);
}

} // namespace vrprint
