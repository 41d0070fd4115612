// DPA address records: their text and its parser.
#include "nameservice/onc_addr.h"

#include <charconv>

namespace vrcore::nameservice::onc {

namespace {

constexpr const char *kFlavours[] = {"none", "sys", "des", "kerb"};
// Class codes by class 0..7; a code reads back as the first class that has it.
constexpr const char *kClassCodes[] = {"lp", "pp", "lp", "sl", "sv", "sl", "qu", "nf"};

template <size_t N> int32_t IndexOf(const char *const (&names)[N], std::string_view s) {
    for (size_t i = 0; i < N; ++i)
        if (s == names[i]) return static_cast<int32_t>(i);
    return 0;
}

bool Number(std::string_view s, int32_t &out) {
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

} // namespace

const char *KeyOfClass(int32_t cls) {
    switch (cls) {
    case 0:
    case 1:
    case 2: return "paddr";
    case 3:
    case 4:
    case 5:
    case 7: return "saddr";
    case 6: return "qaddr";
    default: return nullptr;
    }
}

int32_t StoredClass(int32_t cls) {
    return cls >= 0 && cls <= 7 ? IndexOf(kClassCodes, kClassCodes[cls]) : 0;
}

std::string FormatAddress(const Address &a) {
    const char *flavour = a.auth >= 0 && a.auth <= 3 ? kFlavours[a.auth] : kFlavours[0];
    const char *code = a.cls >= 0 && a.cls <= 7 ? kClassCodes[a.cls] : kClassCodes[0];
    std::string out = a.host;
    out.append(",").append(std::to_string(a.program)).append(",");
    out.append(std::to_string(a.version)).append(",").append(flavour).append(",").append(code);
    return out.append(",").append(a.server).append(",").append(std::to_string(a.dynamic));
}

bool ParseAddress(std::string_view text, Address &out) {
    std::string_view f[7];
    size_t n = 0;
    for (size_t start = 0;; ++n) {
        size_t comma = text.find(',', start);
        if (n == 7) return false;
        f[n] = text.substr(start, comma == std::string_view::npos ? comma : comma - start);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (n != 6) return false;
    Address a;
    if (!Number(f[1], a.program) || !Number(f[2], a.version) || !Number(f[6], a.dynamic))
        return false;
    a.host = f[0];
    a.auth = IndexOf(kFlavours, f[3]);
    a.cls = IndexOf(kClassCodes, f[4]);
    a.server = f[5];
    out = std::move(a);
    return true;
}

bool ValidObjectName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_'))
            return false;
    return true;
}

} // namespace vrcore::nameservice::onc
