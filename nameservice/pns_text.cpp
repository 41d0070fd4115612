// Text forms of the printers file and the per-user file.
//
// Printers file: one entry per logical line (a backslash at the end of a
// physical line continues it), "#" lines and empty lines skipped. An entry
// is "name|alias|...:key=value:key=value:" and is written with each
// attribute on a line of its own: the names, then per attribute colon,
// backslash, newline, tab, colon and "key=value", then a final colon.
// User file: one entry per line, the names joined with "|", a tab, a value.
#include <string>
#include <string_view>

#include "nameservice/pns_internal.h"

namespace vrcore::nameservice::pns {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

void Trim(std::string_view &s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
}

// Splits the bytes into physical lines without their "\n" (and "\r").
template <class F> void EachLine(std::string_view bytes, F &&f) {
    while (!bytes.empty()) {
        size_t nl = bytes.find('\n');
        std::string_view line = bytes.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        f(line);
        if (nl == std::string_view::npos) break;
        bytes.remove_prefix(nl + 1);
    }
}

bool IsCommentOrEmpty(std::string_view line) {
    Trim(line);
    return line.empty() || line.front() == '#';
}

bool SplitNames(std::string_view text, std::vector<std::string> &names) {
    while (true) {
        size_t bar = text.find('|');
        std::string_view n = text.substr(0, bar);
        Trim(n);
        if (!n.empty()) names.emplace_back(n);
        if (bar == std::string_view::npos) break;
        text.remove_prefix(bar + 1);
    }
    return !names.empty();
}

// A name the files can hold: not empty, no blank, control byte, "|" or ":",
// and not starting with "#".
bool WritableName(const char *s) {
    if (!s || !*s || *s == '#') return false;
    for (const char *c = s; *c; ++c) {
        unsigned char u = static_cast<unsigned char>(*c);
        if (u <= ' ' || u == 0x7f || u == '|' || u == ':') return false;
    }
    return true;
}

// A key or value the printers file can hold: no control byte and no ":";
// no blanks at either end (they would be lost on reading); keys also no
// "=" and no blank at all. The user file's values may hold ":".
bool WritableText(std::string_view s, bool key, bool colon_ok = false) {
    if (s.empty()) return !key;
    if (IsBlank(s.front()) || IsBlank(s.back())) return false;
    for (char ch : s) {
        unsigned char u = static_cast<unsigned char>(ch);
        if (u < ' ' || u == 0x7f || (ch == ':' && !colon_ok)) return false;
        if (key && (ch == '=' || ch == ' ')) return false;
    }
    return true;
}

bool NamesText(const ns_printer_t *p, std::string &out) {
    if (!WritableName(p->name)) return false;
    out = p->name;
    if (p->aliases)
        for (size_t i = 0; p->aliases[i]; ++i) {
            if (!WritableName(p->aliases[i])) return false;
            out.append("|").append(p->aliases[i]);
        }
    return true;
}

} // namespace

std::vector<std::string> SplitPrintersText(std::string_view bytes) {
    std::vector<std::string> out;
    std::string logical;
    bool continuing = false;
    auto finish = [&] {
        if (!IsCommentOrEmpty(logical)) out.push_back(logical);
        logical.clear();
    };
    EachLine(bytes, [&](std::string_view line) {
        bool cont = !line.empty() && line.back() == '\\';
        if (cont) line.remove_suffix(1);
        logical.append(line);
        continuing = cont;
        if (!cont) finish();
    });
    if (continuing) finish(); // a file that ends inside a continued entry
    return out;
}

bool ParsePrintersEntry(std::string_view text, Entry &out) {
    out.names.clear();
    out.fields.clear();
    size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    if (!SplitNames(text.substr(0, colon), out.names)) return false;
    text.remove_prefix(colon + 1);
    while (!text.empty()) {
        size_t c = text.find(':');
        std::string_view field = text.substr(0, c);
        size_t eq = field.find('=');
        if (eq != std::string_view::npos) {
            std::string_view key = field.substr(0, eq), value = field.substr(eq + 1);
            Trim(key);
            Trim(value);
            if (!key.empty()) out.fields.emplace_back(std::string(key), std::string(value));
        }
        if (c == std::string_view::npos) break;
        text.remove_prefix(c + 1);
    }
    return !out.fields.empty();
}

std::vector<std::string> SplitUserText(std::string_view bytes) {
    std::vector<std::string> out;
    EachLine(bytes, [&](std::string_view line) {
        if (!IsCommentOrEmpty(line)) out.emplace_back(line);
    });
    return out;
}

bool ParseUserEntry(std::string_view text, Entry &out) {
    out.names.clear();
    out.fields.clear();
    Trim(text);
    size_t sep = text.find_first_of(" \t");
    if (sep == std::string_view::npos) return false;
    std::string_view value = text.substr(sep);
    Trim(value);
    if (value.empty() || !SplitNames(text.substr(0, sep), out.names)) return false;
    out.fields.emplace_back(out.names[0] == "_all" ? "all" : "use", std::string(value));
    return true;
}

bool PrintersEntryText(const ns_printer_t *p, std::string &out) {
    out.clear();
    std::string names;
    if (!p || !NamesText(p, names)) return false;
    std::string text = names, value;
    bool any = false;
    if (p->attributes)
        for (size_t i = 0; p->attributes[i]; ++i) {
            const ns_kvp_t *kv = p->attributes[i];
            if (!kv->key || !kv->value) continue;
            if (!WritableText(kv->key, true) || !ValueText(kv->key, kv->value, value) ||
                !WritableText(value, false))
                return false;
            text.append(":\\\n\t:").append(kv->key).append("=").append(value);
            any = true;
        }
    if (any) out = text + ":";
    return true;
}

bool UserEntryText(const ns_printer_t *p, std::string &out) {
    out.clear();
    std::string names;
    if (!p || !NamesText(p, names)) return false;
    const char *key = std::string_view(p->name) == "_all" ? "all" : "use";
    const void *v = nullptr;
    if (p->attributes)
        for (size_t i = 0; p->attributes[i]; ++i)
            if (p->attributes[i]->key && std::string_view(p->attributes[i]->key) == key)
                v = p->attributes[i]->value;
    std::string value;
    if (!ValueText(key, v, value) || !WritableText(value, false, true)) return false;
    if (!value.empty()) out = names + "\t" + value;
    return true;
}

} // namespace vrcore::nameservice::pns
