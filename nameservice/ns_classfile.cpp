// The class files of the local store: their text syntax, reading and
// writing, and how entries match a request.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstdint>

#include "nameservice/ns_store.h"
#include "vrcore/ns.h"

namespace vrcore::nameservice {

namespace {

const char *const kClassNames[] = {"lp",    "pp",   "any-prn", "spooler", "superv", "any-svr",
                                   "queue", "ntfy", "group",   "backup",  "none"};

// Reads the lines of a text one by one, skipping empty lines and comments
// wherever they occur.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool Next(std::string_view &line) {
        while (pos_ < text_.size()) {
            size_t end = text_.find('\n', pos_);
            if (end == std::string_view::npos) end = text_.size();
            std::string_view l = text_.substr(pos_, end - pos_);
            pos_ = end + 1;
            if (l.empty() || l.front() == '#') continue;
            line = l;
            return true;
        }
        return false;
    }

  private:
    std::string_view text_;
    size_t pos_ = 0;
};

// A decimal count of at least 1; false for anything else.
bool ParseCount(std::string_view s, size_t &out) {
    if (s.empty() || s.size() > 9) return false;
    size_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<size_t>(c - '0');
    }
    if (v == 0) return false;
    out = v;
    return true;
}

// A decimal 32-bit word, signed or unsigned.
bool ParseWord(std::string_view s, uint32_t &out) {
    std::string t(s);
    if (t.empty()) return false;
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(t.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > static_cast<long long>(UINT32_MAX))
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

// Decimal text of a number (std::to_string would export its digit table).
std::string Decimal(uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(v));
    return buf;
}

} // namespace

const char *ClassName(int32_t cls) {
    return cls >= NS_CLASS_LP && cls <= NS_CLASS_NONE ? kClassNames[cls] : nullptr;
}

int32_t ClassNumber(std::string_view name) {
    for (int32_t i = NS_CLASS_LP; i <= NS_CLASS_NONE; ++i)
        if (name == kClassNames[i]) return i;
    return -1;
}

Handler HandlerOf(int32_t cls) {
    switch (cls) {
    case NS_CLASS_LP:
    case NS_CLASS_PP:
    case NS_CLASS_QUEUE: return Handler::Association;
    case NS_CLASS_SPOOLER:
    case NS_CLASS_SUPERV:
    case NS_CLASS_NTFY: return Handler::Server;
    case NS_CLASS_GROUP:
    case NS_CLASS_BACKUP: return Handler::Group;
    default: return Handler::None;
    }
}

bool SameDomain(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool EntryMatches(const Entry &e, std::string_view name, std::string_view domain) {
    return e.name == name && SameDomain(e.domain, domain);
}

bool ValidLine(std::string_view text) {
    return !text.empty() && text.front() != '#' &&
           text.find_first_of("\r\n") == std::string_view::npos;
}

int ParseClassFile(std::string_view text, int32_t cls, std::vector<Entry> &out) {
    out.clear();
    Handler h = HandlerOf(cls);
    if (h == Handler::None) return NS_E_CLASS;
    LineReader rd(text);
    std::string_view line;
    auto need = [&](std::string &dst) {
        if (!rd.Next(line)) return false;
        dst.assign(line);
        return true;
    };
    Entry e;
    while (rd.Next(line)) {
        e = Entry{};
        e.name.assign(line);
        if (!need(e.domain)) return NS_E_SYSTEM;
        std::string tmp;
        size_t count = 0;
        switch (h) {
        case Handler::Server:
            if (!need(tmp) || !ParseCount(tmp, count)) return NS_E_SYSTEM;
            for (size_t i = 0; i < count; ++i) {
                if (!need(tmp)) return NS_E_SYSTEM;
                e.bindings.push_back(std::move(tmp));
            }
            if (!need(e.host) || !need(tmp) || !ParseWord(tmp, e.info)) return NS_E_SYSTEM;
            break;
        case Handler::Association:
            if (!need(tmp)) return NS_E_SYSTEM;
            e.server_class = ClassNumber(tmp);
            if (e.server_class < 0) return NS_E_CLASS;
            if (!need(e.server_name) || !need(e.server_domain)) return NS_E_SYSTEM;
            break;
        case Handler::Group:
            if (!need(tmp) || !ParseCount(tmp, count)) return NS_E_SYSTEM;
            for (size_t i = 0; i < count; ++i) {
                Identity m;
                if (!need(tmp)) return NS_E_SYSTEM;
                m.cls = ClassNumber(tmp);
                if (m.cls < 0) return NS_E_CLASS;
                if (!need(m.name) || !need(m.domain)) return NS_E_SYSTEM;
                e.members.push_back(std::move(m));
            }
            break;
        case Handler::None: break;
        }
        out.push_back(std::move(e));
    }
    return 0;
}

std::string RenderClassFile(int32_t cls, const std::vector<Entry> &entries,
                            std::string_view stamp) {
    const char *cn = ClassName(cls);
    std::string s;
    s.append("# V1.11:recovery file for ").append(cn).append("\n");
    s.append("# last modified ").append(stamp).append("\n");
    Handler h = HandlerOf(cls);
    for (const Entry &e : entries) {
        s.append("# ").append(e.domain).append("\\").append(e.name);
        s.append("(").append(cn).append(")\n");
        s.append(e.name).append("\n").append(e.domain).append("\n");
        switch (h) {
        case Handler::Server:
            s.append(Decimal(e.bindings.size())).append("\n");
            for (const auto &b : e.bindings) s.append(b).append("\n");
            s.append(e.host).append("\n").append(Decimal(e.info)).append("\n");
            break;
        case Handler::Association:
            s.append(ClassName(e.server_class)).append("\n");
            s.append(e.server_name).append("\n").append(e.server_domain).append("\n");
            break;
        case Handler::Group:
            s.append(Decimal(e.members.size())).append("\n");
            for (const auto &m : e.members) {
                s.append(ClassName(m.cls)).append("\n");
                s.append(m.name).append("\n").append(m.domain).append("\n");
            }
            break;
        case Handler::None: break;
        }
        s.append("\n");
    }
    return s;
}

} // namespace vrcore::nameservice
