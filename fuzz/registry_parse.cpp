// Registry-file parser: hostile text never crashes it, an unedited
// document renders back byte for byte, and every value read survives being
// written into a fresh document and read again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "system/config.h"

using namespace vrcore::system::cfg;

namespace {

bool same(const RegValue &a, const RegValue &b) {
    return a.type == b.type && a.text == b.text && a.dword == b.dword;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string_view text(reinterpret_cast<const char *>(data), size);
    RegDocument doc = RegDocument::parse(text, "fuzz");
    if (doc.render() != text) std::abort();

    RegDocument fresh;
    for (const std::string &key : doc.keys()) {
        for (const RegValue &v : doc.values(key)) {
            const RegValue *found = doc.find(key, v.name);
            if (!found || !same(*found, v)) std::abort();
            if (v.type == RegType::ExpandString && v.text.size() < 4096) (void)expand_env(v.text);
            if (v.type != RegType::Other)
                (void)fresh.set(key, v); // refused when it holds control bytes
        }
    }
    RegDocument again = RegDocument::parse(fresh.render(), "fuzz");
    if (again.malformed() != 0) std::abort();
    for (const std::string &key : fresh.keys())
        for (const RegValue &v : fresh.values(key)) {
            const RegValue *back = again.find(key, v.name);
            if (!back || !same(*back, v)) std::abort();
        }

    // Edits of the hostile document itself read back as written.
    RegValue probe;
    probe.name = "probe";
    probe.type = RegType::String;
    probe.text = "a\\\"b";
    std::string key = doc.keys().empty() ? "Software\\Fuzz" : doc.keys().front();
    if (!doc.set(key, probe)) std::abort();
    RegDocument edited = RegDocument::parse(doc.render(), "fuzz");
    const RegValue *p = edited.find(key, "probe");
    if (!p || !same(*p, probe)) std::abort();
    edited.erase_key(key);
    if (edited.find(key, "probe")) std::abort();
    return 0;
}
