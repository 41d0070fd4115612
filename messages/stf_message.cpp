// Status entries as text: a symbolic header and the entry's message,
// formatted with its arguments, both from the message catalogs.
#include <cstring>

#include "system/guard.h"
#include "status/stf_alloc.h"
#include "vrcore/msg.h"
#include "vrcore/stf.h"

namespace {

constexpr uint32_t kAllHeaderFlags = STF_MSG_NO_PREFIX | STF_MSG_NO_KIND | STF_MSG_NO_FACILITY;
constexpr uint32_t kKnownFlags = kAllHeaderFlags | STF_MSG_NEWLINE;
constexpr uint32_t kStackBuffer = 200;
constexpr uint32_t kMaxIndex = 2046;

// Records `code` when nothing is recorded yet.
void NoteFirst(uint32_t &result, uint32_t code) {
    if (result == 0) result = code;
}

// The header: "%" (index 1) or "-", prefix, ":" kind, "." facility, ", ".
size_t BuildHeader(const STF_ObjectInfo &info, uint32_t index, uint32_t flags, char *out,
                   uint32_t &result) {
    if ((flags & kAllHeaderFlags) == kAllHeaderFlags) {
        out[0] = '\0';
        return 0;
    }
    char prefix[9] = {}, kind[11] = {}, facility[11] = {};
    NoteFirst(result, MSG_GetSymbolicNames(info.kind, info.code, sizeof prefix, prefix, sizeof kind,
                                           kind, sizeof facility, facility, 0));
    size_t n = 0;
    auto put = [&](const char *s) {
        size_t k = std::strlen(s);
        std::memcpy(out + n, s, k);
        n += k;
    };
    put(index == 1 ? "%" : "-");
    if (!(flags & STF_MSG_NO_PREFIX)) put(prefix);
    if (!(flags & STF_MSG_NO_KIND)) {
        put(":");
        put(kind);
    }
    // Operating-system errors have no facility: no empty name after a dot.
    if (!(flags & STF_MSG_NO_FACILITY) && facility[0]) {
        put(".");
        put(facility);
    }
    put(", ");
    out[n] = '\0';
    return n;
}

} // namespace

extern "C" {

VR_EXPORT uint32_t STF_GetMessage(const STF_List *list, uint32_t index, uint32_t flags,
                                  const char *locale, uint32_t size, uint32_t *length_out,
                                  char *buffer) try {
    if (!list) return STF_S_NULLLIST;
    if (!buffer) size = 0;
    if (length_out) *length_out = 0;
    if (size > 0) buffer[0] = '\0';
    STF_ObjectInfo info;
    if (STF_GetObjectInfo(list, index, &info) != 0) return STF_S_NOENTRY;

    uint32_t result = 0;
    if (flags & ~kKnownFlags) {
        flags = 0;
        result = STF_S_BADFLAGS;
    }
    char header[100];
    size_t hlen = BuildHeader(info, index, flags, header, result);
    if (size > 0) {
        size_t k = hlen < size - 1 ? hlen : size - 1;
        std::memcpy(buffer, header, k);
        buffer[k] = '\0';
    }
    if (hlen >= size) NoteFirst(result, MSG_S_TRUNCATED);

    uint32_t remaining = hlen < size ? size - static_cast<uint32_t>(hlen) : 0;
    uint32_t text_len = 0;
    uint32_t rc =
        MSG_GetFormattedByArray(info.kind, info.code, 0, locale, remaining, &text_len,
                                remaining ? buffer + hlen : nullptr, info.arg_count, info.args);
    if (rc != 0 && (result == 0 || result == MSG_S_TRUNCATED)) result = rc;
    if (text_len == 0) text_len = 1; // at least the NUL
    uint64_t total = hlen + text_len;

    if (flags & STF_MSG_NEWLINE) {
        bool ends_in_newline = total <= size && total >= 2 && buffer[total - 2] == '\n';
        if (!ends_in_newline) {
            if (total < size) {
                buffer[total - 1] = '\n';
                buffer[total] = '\0';
            } else {
                if (size >= 2) buffer[size - 2] = '\n';
                NoteFirst(result, MSG_S_TRUNCATED);
            }
            ++total;
        }
    }
    if (result == MSG_S_TRUNCATED) result = STF_S_TRUNCATED;
    if (length_out) *length_out = static_cast<uint32_t>(total);
    return result;
}
VR_CATCH_CODE(STF_S_NOMEM, STF_S_INTERNAL)

VR_EXPORT uint32_t STF_PutMessages(const STF_List *list, uint32_t flags, const char *locale,
                                   STF_MessageSink sink, void *arg) try {
    if (!list) return STF_S_NULLLIST;
    char stack[kStackBuffer];
    char *buf = stack;
    uint32_t size = kStackBuffer;
    uint32_t remembered = 0;
    for (uint32_t index = 1; index <= kMaxIndex; ++index) {
        uint32_t needed = 0;
        uint32_t rc = STF_GetMessage(list, index, flags, locale, size, &needed, buf);
        for (int attempt = 1; rc == STF_S_TRUNCATED && attempt < 2 && needed > size; ++attempt) {
            char *bigger =
                static_cast<char *>(_STF__Malloc(needed, vrcore::status::kTagMessageBuffer));
            if (!bigger) break;
            if (buf != stack) _STF__Free(buf);
            buf = bigger;
            size = needed;
            rc = STF_GetMessage(list, index, flags, locale, size, &needed, buf);
        }
        if (rc == STF_S_NOENTRY) break;
        if (rc != 0) {
            if (rc == STF_S_TRUNCATED) rc = STF_S_NOMEM;
            if (remembered == 0 || remembered == STF_S_NOMEM) remembered = rc;
        }
        bool last = STF_GetObjectInfo(list, index + 1, nullptr) != 0;
        int32_t position = last ? -static_cast<int32_t>(index) : static_cast<int32_t>(index);
        if (sink) {
            int stop = sink(buf, static_cast<uint32_t>(std::strlen(buf) + 1), position, arg);
            if (stop != 0) {
                remembered = static_cast<uint32_t>(stop);
                break;
            }
        }
    }
    if (buf != stack) _STF__Free(buf);
    return remembered;
}
VR_CATCH_CODE(STF_S_NOMEM, STF_S_INTERNAL)

} // extern "C"
