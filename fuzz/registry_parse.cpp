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
    RegDocument doc = RegDocument::Parse(text, "fuzz");
    if (doc.Render() != text) std::abort();

    RegDocument fresh;
    for (const std::string &key : doc.Keys()) {
        for (const RegValue &v : doc.Values(key)) {
            const RegValue *found = doc.Find(key, v.name);
            if (!found || !same(*found, v)) std::abort();
            if (v.type == RegType::ExpandString && v.text.size() < 4096) (void)ExpandEnv(v.text);
            if (v.type != RegType::Other)
                (void)fresh.Set(key, v); // refused when it holds control bytes
        }
    }
    RegDocument again = RegDocument::Parse(fresh.Render(), "fuzz");
    if (again.Malformed() != 0) std::abort();
    for (const std::string &key : fresh.Keys())
        for (const RegValue &v : fresh.Values(key)) {
            const RegValue *back = again.Find(key, v.name);
            if (!back || !same(*back, v)) std::abort();
        }

    // Edits of the hostile document itself read back as written.
    RegValue probe;
    probe.name = "probe";
    probe.type = RegType::String;
    probe.text = "a\\\"b";
    std::string key = doc.Keys().empty() ? "Software\\Fuzz" : doc.Keys().front();
    if (!doc.Set(key, probe)) std::abort();
    RegDocument edited = RegDocument::Parse(doc.Render(), "fuzz");
    const RegValue *p = edited.Find(key, "probe");
    if (!p || !same(*p, probe)) std::abort();
    edited.EraseKey(key);
    if (edited.Find(key, "probe")) std::abort();
    return 0;
}
