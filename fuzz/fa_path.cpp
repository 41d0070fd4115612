// Portable paths from outside bytes: classification and both conversions
// never read past the given length, and a conversion changes nothing but
// the mapped characters.

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "vrcore/fa.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the locale the text is read in.
    std::setlocale(LC_CTYPE, (data[0] & 1) ? "C.UTF-8" : "C");
    const char *path = reinterpret_cast<const char *>(data + 1);
    size_t length = size - 1;
    int cls;
    uint32_t checked = FA_CheckFilePath(path, length, &cls);
    if (checked == 0 && (cls < 0 || cls > 2)) std::abort();
    char *native = nullptr, *back = nullptr;
    size_t native_len = 0, back_len = 0;
    uint32_t rc = FA_ConvertFilePath(path, length, &native, &native_len);
    if (rc != 0) return 0;
    size_t text = strnlen(path, length);
    if (native_len != text + 1 || native[text] != '\0') std::abort();
    for (size_t i = 0; i < text; ++i)
        if (native[i] != path[i] && !(path[i] == '|' && native[i] == ':')) std::abort();
    if (FA_RevertFilePath(native, native_len, &back, &back_len) != 0) std::abort();
    for (size_t i = 0; i < text; ++i)
        if (back[i] != path[i] && !(path[i] == ':' && back[i] == '|')) std::abort();
    FA_FreeFilePath(native);
    FA_FreeFilePath(back);
    return 0;
}
