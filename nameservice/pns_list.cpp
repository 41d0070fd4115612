// Null-terminated pointer lists and the memory the printer service hands out.
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "nameservice/pns_internal.h"
#include "system/guard.h"

namespace vrcore::nameservice::pns {
void *GiveAlloc(size_t n) { return system::seam::Alloc(system::seam::Module::PrinterNames, n); }

void GiveFree(void *p) {
    if (p) system::seam::Release(system::seam::Module::PrinterNames, p);
}

// A realloc that works with any allocator: copies old_n bytes.
void *GiveRealloc(void *p, size_t old_n, size_t new_n) {
    if (&system::seam::CurrentAllocator() == &system::seam::Heap()) return std::realloc(p, new_n);
    void *q = GiveAlloc(new_n);
    if (!q) return nullptr;
    if (p) {
        std::memcpy(q, p, old_n < new_n ? old_n : new_n);
        GiveFree(p);
    }
    return q;
}

char *GiveStrdup(std::string_view s) {
    char *p = static_cast<char *>(GiveAlloc(s.size() + 1));
    if (!p) return nullptr;
    std::memcpy(p, s.data(), s.size());
    p[s.size()] = '\0';
    return p;
}

} // namespace vrcore::nameservice::pns

using namespace vrcore::nameservice::pns;

namespace {
constexpr size_t kGrowth = 32;

size_t Count(void **list) {
    size_t n = 0;
    if (list)
        while (list[n]) ++n;
    return n;
}
} // namespace

// Room is allocated in steps of 32 entries; a list of n elements always has
// room for ceil((n + 1) / 32) * 32 entries, so the size is known from n.
VR_EXPORT void **list_append(void **list, void *item) try {
    if (!item) return list;
    size_t n = Count(list);
    size_t room = (n / kGrowth + 1) * kGrowth; // entries the list has now
    if (!list) room = 0;
    if (n + 2 > room) {
        size_t new_room = room + kGrowth;
        void **grown = static_cast<void **>(
            GiveRealloc(list, room * sizeof(void *), new_room * sizeof(void *)));
        if (!grown) return nullptr;
        list = grown;
    }
    list[n] = item;
    list[n + 1] = nullptr;
    return list;
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT void *list_locate(void **list, int (*compare)(void *, void *), void *item) try {
    if (!list || !compare) return nullptr;
    for (size_t i = 0; list[i]; ++i)
        if (compare(list[i], item) == 0) return list[i];
    return nullptr;
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT void **list_concatenate(void **first, void **second) try {
    if (!first) return second;
    if (!second) return first;
    size_t a = Count(first), b = Count(second);
    size_t room = ((a + b) / kGrowth + 1) * kGrowth;
    void **out = static_cast<void **>(GiveAlloc(room * sizeof(void *)));
    if (!out) return nullptr;
    std::memcpy(out, first, a * sizeof(void *));
    std::memcpy(out + a, second, b * sizeof(void *));
    out[a + b] = nullptr;
    return out;
}
VR_CATCH_RETURN(nullptr)

VR_EXPORT int list_iterate(void **list, int (*fn)(void *, va_list), ...) try {
    if (!list || !fn) return 0;
    int sum = 0;
    va_list args;
    va_start(args, fn);
    for (size_t i = 0; list[i]; ++i) {
        va_list copy;
        va_copy(copy, args);
        sum += fn(list[i], copy);
        va_end(copy);
    }
    va_end(args);
    return sum;
}
VR_CATCH_RETURN(-1)

VR_EXPORT char **strsplit(char *text, const char *delimiters) try {
    if (!text) return nullptr;
    if (!delimiters) delimiters = "";
    char **list = nullptr;
    char *save = nullptr;
    for (char *tok = strtok_r(text, delimiters, &save); tok;
         tok = strtok_r(nullptr, delimiters, &save)) {
        char **grown = reinterpret_cast<char **>(list_append(reinterpret_cast<void **>(list), tok));
        if (!grown) {
            GiveFree(list);
            return nullptr;
        }
        list = grown;
    }
    return list;
}
VR_CATCH_RETURN(nullptr)
