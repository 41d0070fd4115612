#include "rpc/string_binding.h"

#include "rpc/rpc_status.h"
#include "rpc/uuid.h"

namespace vrcore::rpc {
namespace {

bool IsProtseqChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The protocol sequence's syntax and support, then the endpoint's.
uint32_t Check(const StringBinding &b) {
    Uuid u;
    if (!b.object_uuid.empty() && !ParseUuid(b.object_uuid, &u)) return kInvalidStringUuid;
    if (b.protseq.empty()) return kInvalidStringBinding;
    for (char c : b.protseq) {
        if (!IsProtseqChar(c)) return kInvalidStringBinding;
    }
    if (b.protseq != kProtseqTcp) return kProtseqNotSupported;
    if (b.endpoint.empty()) return kOk;
    if (b.endpoint.size() > 5) return kInvalidEndpointFormat;
    unsigned port = 0;
    for (char c : b.endpoint) {
        if (c < '0' || c > '9') return kInvalidEndpointFormat;
        port = port * 10 + unsigned(c - '0');
    }
    return port >= 1 && port <= 65535 ? kOk : kInvalidEndpointFormat;
}

void Escaped(std::string *out, std::string_view part, std::string_view special) {
    for (char c : part) {
        if (c == '\\' || special.find(c) != std::string_view::npos) out->push_back('\\');
        out->push_back(c);
    }
}

// Reads up to the first unescaped character of `stops` (or the end),
// unescaping; *stop gets that character or '\0'. False on a dangling
// backslash.
bool Until(std::string_view text, size_t *pos, std::string_view stops, std::string *part,
           char *stop) {
    part->clear();
    while (*pos < text.size()) {
        char c = text[(*pos)++];
        if (c == '\\') {
            if (*pos == text.size()) return false;
            part->push_back(text[(*pos)++]);
        } else if (stops.find(c) != std::string_view::npos) {
            *stop = c;
            return true;
        } else {
            part->push_back(c);
        }
    }
    *stop = '\0';
    return true;
}

} // namespace

uint32_t ComposeStringBinding(const StringBinding &parts, std::string *out) {
    uint32_t st = Check(parts);
    if (st != kOk) return st;
    std::string s;
    if (!parts.object_uuid.empty()) s = parts.object_uuid + "@";
    s += parts.protseq;
    s += ':';
    Escaped(&s, parts.network_address, "[@");
    if (!parts.endpoint.empty() || !parts.options.empty()) {
        s += '[';
        s += parts.endpoint;
        if (!parts.options.empty()) {
            s += ',';
            Escaped(&s, parts.options, "]");
        }
        s += ']';
    }
    *out = std::move(s);
    return kOk;
}

uint32_t ParseStringBinding(std::string_view text, StringBinding *out) {
    StringBinding b;
    size_t pos = 0;
    char stop;
    std::string first;
    if (!Until(text, &pos, "@:", &first, &stop) || !stop) return kInvalidStringBinding;
    if (stop == '@') {
        if (first.empty()) return kInvalidStringBinding;
        b.object_uuid = first;
        if (!Until(text, &pos, ":", &b.protseq, &stop) || !stop) return kInvalidStringBinding;
    } else {
        b.protseq = first;
    }
    if (!Until(text, &pos, "[", &b.network_address, &stop)) return kInvalidStringBinding;
    if (stop == '[') {
        if (!Until(text, &pos, ",]", &b.endpoint, &stop) || !stop) return kInvalidStringBinding;
        if (stop == ',' && (!Until(text, &pos, "]", &b.options, &stop) || !stop))
            return kInvalidStringBinding;
        if (pos != text.size()) return kInvalidStringBinding;
    }
    uint32_t st = Check(b);
    if (st == kOk || st == kProtseqNotSupported) *out = std::move(b);
    return st;
}

} // namespace vrcore::rpc
