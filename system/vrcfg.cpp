// The C interface of the registry file and the installation paths.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "system/guard.h"
#include "system/config.h"
#include "vrcore/vrcfg.h"

using namespace vrcore::system::cfg;

namespace {

long CopyOut(const std::string &s, char *buf, size_t size) {
    if (size > 0) {
        size_t n = s.size() < size - 1 ? s.size() : size - 1;
        std::memcpy(buf, s.data(), n);
        buf[n] = '\0';
    }
    return static_cast<long>(s.size());
}

const char *OrEmpty(const char *s) { return s ? s : ""; }

int SetText(const char *key, const char *name, const char *value, bool expandable) {
    if (!key || !value) return EINVAL;
    return Registry().SetString(key, OrEmpty(name), value, expandable);
}

} // namespace

extern "C" {

VR_EXPORT uint32_t VR_RegGetDword(const char *key, const char *name, uint32_t dflt) try {
    if (!key) return dflt;
    return Registry().GetDword(key, OrEmpty(name), dflt);
}
VR_CATCH_RETURN(dflt)

VR_EXPORT long VR_RegGetString(const char *key, const char *name, const char *dflt, char *buf,
                               size_t size) try {
    if (!key || (!buf && size > 0)) {
        if (buf && size > 0) *buf = '\0';
        return -1;
    }
    try {
        RegValue v;
        std::string text;
        if (Registry().Query(key, OrEmpty(name), v) && v.type == RegType::String)
            text = std::move(v.text);
        else if (v.type == RegType::ExpandString)
            text = ExpandEnv(v.text);
        else if (dflt)
            text = dflt;
        else {
            CopyOut(text, buf, size);
            return -1;
        }
        return CopyOut(text, buf, size);
    } catch (const std::bad_alloc &) {
        if (size > 0) *buf = '\0';
        return -1;
    }
}
VR_CATCH_RETURN(-1)

VR_EXPORT long VR_RegEnumKey(const char *key, uint32_t index, char *buf, size_t size) try {
    if (buf && size > 0) *buf = '\0';
    if (!key || (!buf && size > 0)) return -1;
    std::string parent = NormalizeKey(key);
    RegDocument doc;
    if (parent.empty() || Registry().Load(doc) != 0) return -1;
    parent += '\\';
    auto lower = [](std::string s) {
        for (char &c : s)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return s;
    };
    std::string lparent = lower(parent);
    std::vector<std::string> seen;
    for (const std::string &k : doc.Keys()) {
        if (k.size() <= parent.size() || lower(k.substr(0, parent.size())) != lparent) continue;
        std::string child = k.substr(parent.size(), k.find('\\', parent.size()) - parent.size());
        if (std::find(seen.begin(), seen.end(), lower(child)) != seen.end()) continue;
        if (seen.size() == index) return CopyOut(child, buf, size);
        seen.push_back(lower(child));
    }
    return -1;
}
VR_CATCH_RETURN(-1)

VR_EXPORT int VR_RegSetString(const char *key, const char *name, const char *value) try {
    return SetText(key, name, value, false);
}
VR_CATCH_CODE(ENOMEM, EIO)

VR_EXPORT int VR_RegSetExpandString(const char *key, const char *name, const char *value) try {
    return SetText(key, name, value, true);
}
VR_CATCH_CODE(ENOMEM, EIO)

VR_EXPORT int VR_RegSetDword(const char *key, const char *name, uint32_t value) try {
    if (!key) return EINVAL;
    return Registry().SetDword(key, OrEmpty(name), value);
}
VR_CATCH_CODE(ENOMEM, EIO)

VR_EXPORT int VR_RegDeleteValue(const char *key, const char *name) try {
    if (!key) return EINVAL;
    return Registry().DeleteValue(key, OrEmpty(name));
}
VR_CATCH_CODE(ENOMEM, EIO)

VR_EXPORT long VR_GetPath(VR_PathKind which, char *buf, size_t size) try {
    if (!buf && size > 0) return -1;
    try {
        std::string p;
        switch (which) {
        case VR_PATH_ROOT: p = RootDir(); break;
        case VR_PATH_ETC: p = EtcDir(); break;
        case VR_PATH_WINDIR: p = Windir(); break;
        case VR_PATH_DATA: p = DataDir(); break;
        case VR_PATH_CATALOG: p = CatalogDir(); break;
        case VR_PATH_LOCK: p = LockDir(); break;
        case VR_PATH_SPOOL: p = SpoolDir(); break;
        case VR_PATH_REGISTRY: p = RegistryPath(); break;
        default:
            if (size > 0) *buf = '\0';
            return -1;
        }
        return CopyOut(p, buf, size);
    } catch (const std::bad_alloc &) {
        if (size > 0) *buf = '\0';
        return -1;
    }
}
VR_CATCH_RETURN(-1)

} // extern "C"
