// NTLM contexts fed hostile messages: the client a CHALLENGE; the server a
// NEGOTIATE and an AUTHENTICATE, or our client's NEGOTIATE and a hostile
// AUTHENTICATE. Nothing crashes, and a context is done exactly when its
// last step succeeded.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "rpc/ntlm.h"
#include "rpc/rpc_status.h"
#include "vrcore/log.h"

using namespace vrcore::rpc;

namespace {

std::shared_ptr<const NtlmUserTable> Users() {
    static auto table = [] {
        auto t = std::make_shared<NtlmUserTable>();
        t->Add({"", "alice", ntlm::NtOwfV1("Secret1")});
        t->Add({"DOM", "bob", ntlm::NtOwfV1("")});
        return t;
    }();
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const int kQuiet = LOG_SetEnabled(0); // every refusal is logged
    (void)kQuiet;
    if (size < 3) return 0;
    uint8_t mode = data[0];
    size_t split = std::min<size_t>(data[1] | data[2] << 8, size - 3);
    std::vector<uint8_t> first(data + 3, data + 3 + split), rest(data + 3 + split, data + size),
        out;
    NtlmServerOptions options{"HOST", "DOM", "host.dom", "dom", (mode & 4) != 0};
    if (mode % 3 == 0) {
        NtlmClientContext client({mode & 8 ? "" : "alice", "DOM", "Secret1"}, "WS");
        if (client.Step({}, &out) != kOk) std::abort();
        uint32_t rc = client.Step(rest, &out);
        if ((rc == kOk) != client.Done() || (rc != kOk && !out.empty())) std::abort();
        return 0;
    }
    NtlmServerContext server(Users(), options);
    if (mode % 3 == 2) {
        NtlmClientContext client({"alice", "", "Secret1"});
        (void)client.Step({}, &first);
    }
    if (server.Step(first, &out) != kOk) return 0;
    uint32_t rc = server.Step(rest, &out);
    if ((rc == kOk) != server.Done() || !out.empty()) std::abort();
    return 0;
}
