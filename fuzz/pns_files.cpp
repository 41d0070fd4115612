// The printers file and the per-user file: the first byte picks the form,
// the rest is the file. Every entry that converts to a record must write
// back to a text that reads as the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "nameservice/pns_internal.h"

using namespace vrcore::nameservice::pns;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Lookups made while converting "list" values find no files.
    setenv("PRINTERS_CONF", "/nonexistent/printers.cnf", 1);
    setenv("HOME", "/nonexistent", 1);
    unsetenv("HOMEDRIVE");
    return 0;
}

static std::string written(const ns_printer_t *p, bool user_form) {
    std::string out;
    if (!(user_form ? UserEntryText(p, out) : PrintersEntryText(p, out))) return "<refused>";
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    bool user_form = data[0] & 1;
    std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);
    auto entries = user_form ? SplitUserText(bytes) : SplitPrintersText(bytes);
    Entry e, again;
    for (const auto &text : entries) {
        if (!(user_form ? ParseUserEntry(text, e) : ParsePrintersEntry(text, e))) continue;
        ns_printer_t *p = RecordFromEntry(e, user_form ? "user" : "etc", user_form);
        if (!p) abort();
        std::string t1 = written(p, user_form);
        ns_printer_destroy(p);
        if (t1 == "<refused>" || t1.empty()) continue;
        auto back = user_form ? SplitUserText(t1) : SplitPrintersText(t1);
        if (back.size() != 1 ||
            !(user_form ? ParseUserEntry(back[0], again) : ParsePrintersEntry(back[0], again)))
            abort();
        ns_printer_t *q = RecordFromEntry(again, "etc", user_form);
        if (!q || written(q, user_form) != t1) abort();
        ns_printer_destroy(q);
    }
    return 0;
}
