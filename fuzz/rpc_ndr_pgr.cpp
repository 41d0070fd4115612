// Hostile stub data of the name-server interface, both directions; the
// string bindings that arrive are parsed, and what parses composes to a
// text that parses to the same parts.
#include <cstdlib>

#include "rpc/idl_pgr.h"
#include "rpc/string_binding.h"
#include "rpc_ndr.h"

namespace {

using namespace vrcore::rpc;

void Binding(const char *text) {
    if (!text) return;
    StringBinding b, again;
    if (ParseStringBinding(text, &b) != kOk) return;
    std::string composed;
    if (ComposeStringBinding(b, &composed) != kOk || ParseStringBinding(composed, &again) != kOk)
        abort();
    if (!(again == b)) abort();
}

void Bindings(uint32_t n, char **texts) {
    for (uint32_t i = 0; texts && i < n; ++i) Binding(texts[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzndr::Run(pgr::kInterface, data, size,
                 [](const ndr::Procedure &proc, bool out, const void *args) {
                     if (out && proc.opnum == pgr::kGetObject) {
                         auto *a = static_cast<const pgr::GetObjectOut *>(args);
                         Bindings(a->bindings.count, a->bindings.strings);
                     } else if (!out && proc.opnum == pgr::kCreateObject) {
                         auto *a = static_cast<const pgr::CreateIn *>(args);
                         Bindings(a->info.count, a->info.bindings);
                     }
                 });
    return 0;
}
