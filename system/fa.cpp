// Portable paths: classification and conversion to and from the native
// notation, walking the text as multibyte characters of the current locale.

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include <atomic>

#include "system/guard.h"
#include "system/seam.h"
#include "vrcore/fa.h"

namespace vrcore::system::fa {
namespace {

void *Allocate(size_t n) {
    return vrcore::system::seam::Alloc(vrcore::system::seam::Module::Paths, n);
}

// Calls `each(offset, bytes, wide)` for every character of the first
// `size` bytes of `text`. Fails with FA_S_BADCHAR on an invalid or
// incomplete multibyte sequence.
template <class Each> uint32_t Walk(const char *text, size_t size, Each each) {
    std::mbstate_t state{};
    size_t at = 0;
    while (at < size) {
        wchar_t wc = 0;
        size_t n = std::mbrtowc(&wc, text + at, size - at, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) return FA_S_BADCHAR;
        // Wide characters are UCS-4; beyond U+10FFFF is no character (the
        // old 5- and 6-byte UTF-8 forms decode there).
        if (static_cast<uint32_t>(wc) > 0x10FFFF) return FA_S_BADCHAR;
        if (n == 0) n = 1; // cannot happen before the end: size stops at the NUL
        if (!each(at, n, wc)) break;
        at += n;
    }
    return 0;
}

// The text of a path: up to its NUL, never beyond the length given.
size_t TextSize(const char *path, size_t length) { return strnlen(path, length); }

bool IsDriveLetter(wchar_t wc) { return (wc >= L'a' && wc <= L'z') || (wc >= L'A' && wc <= L'Z'); }

// Copies a path, replacing the single-byte character `from` by `to`.
uint32_t Map(const char *path, size_t length, char **out, size_t *out_length, uint32_t no_out,
             char from, char to) {
    if (!path) return FA_S_NOPATH;
    if (length == 0) return FA_S_ZEROLENGTH;
    if (!out || !out_length) return no_out;
    size_t size = TextSize(path, length);
    char *copy = static_cast<char *>(Allocate(size + 1));
    if (!copy) return FA_S_NOMEM;
    uint32_t rc = Walk(path, size, [&](size_t at, size_t n, wchar_t) {
        if (n == 1 && path[at] == from)
            copy[at] = to;
        else
            std::memcpy(copy + at, path + at, n);
        return true;
    });
    if (rc != 0) {
        FA_FreeFilePath(copy);
        return rc;
    }
    copy[size] = '\0';
    *out = copy;
    *out_length = size + 1;
    return 0;
}

} // namespace

} // namespace vrcore::system::fa

using namespace vrcore::system::fa;

extern "C" {

VR_EXPORT uint32_t FA_CheckFilePath(const char *path, size_t length, int *path_class) try {
    if (!path_class) return FA_S_NORESULT;
    if (!path) return FA_S_NOPATH;
    if (length == 0) return FA_S_ZEROLENGTH;
    wchar_t first[3] = {0, 0, 0};
    const char *bytes[3] = {nullptr, nullptr, nullptr};
    size_t lens[3] = {0, 0, 0};
    int seen = 0;
    uint32_t rc = Walk(path, TextSize(path, length), [&](size_t at, size_t n, wchar_t wc) {
        if (seen == 0 && std::iswspace(static_cast<wint_t>(wc))) return true;
        if (seen < 3) {
            first[seen] = wc;
            bytes[seen] = path + at;
            lens[seen] = n;
            ++seen;
        }
        return true; // the rest is walked to validate it
    });
    if (rc != 0) return rc;
    if (seen == 0) return FA_S_BADCHAR; // nothing but white space
    auto is = [&](int i, char c) { return i < seen && lens[i] == 1 && *bytes[i] == c; };
    if (is(0, '/'))
        *path_class = FA_PATH_ABSOLUTE;
    else if (IsDriveLetter(first[0]) && lens[0] == 1 && is(1, '|'))
        *path_class = is(2, '/') ? FA_PATH_ABSOLUTE : FA_PATH_DRIVE_RELATIVE;
    else
        *path_class = FA_PATH_RELATIVE;
    return 0;
}
VR_CATCH_CODE(FA_S_NOMEM, FA_S_INTERNAL)

VR_EXPORT uint32_t FA_ConvertFilePath(const char *path, size_t length, char **converted,
                                      size_t *converted_length) try {
    return Map(path, length, converted, converted_length, FA_S_NOCONVOUT, '|', ':');
}
VR_CATCH_CODE(FA_S_NOMEM, FA_S_INTERNAL)

VR_EXPORT uint32_t FA_RevertFilePath(const char *path, size_t length, char **converted,
                                     size_t *converted_length) try {
    return Map(path, length, converted, converted_length, FA_S_NOREVOUT, ':', '|');
}
VR_CATCH_CODE(FA_S_NOMEM, FA_S_INTERNAL)

VR_EXPORT void FA_FreeFilePath(char *path) try {
    if (!path) return;
    vrcore::system::seam::Release(vrcore::system::seam::Module::Paths, path);
}
VR_CATCH_VOID

} // extern "C"
