// The interface the runtime's tests serve, and the NTLM users of their
// servers.
#pragma once

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "rpc/ntlm.h"
#include "rpc/rpc_status.h"
#include "rpc/runtime.h"

namespace vrtest {

namespace rpc = vrcore::rpc;

inline rpc::SyntaxId TestInterface() {
    rpc::SyntaxId s;
    rpc::ParseUuid("3f0c9a52-6d1e-4b7a-8c25-41e0d9b7a613", &s.uuid);
    s.major = 1;
    return s;
}

// Operations: 0 echoes, 1 faults with the status in its first 4 bytes, 2 sleeps
// that many ms, 3 answers that many bytes, 4 answers the object identifier.
enum TestOp : uint16_t { kEcho, kFault, kSleep, kAnswer, kObject, kTestOpCount };

inline uint32_t Word(const uint8_t *in, size_t n) {
    return n < 4 ? 0 : in[0] | in[1] << 8 | in[2] << 16 | uint32_t(in[3]) << 24;
}

inline uint32_t TestDispatch(void *, uint16_t op, const rpc::Uuid *object, const uint8_t *in,
                             size_t n, std::vector<uint8_t> *out) {
    switch (op) {
    case kEcho: out->assign(in, in + n); return rpc::kOk;
    case kFault: return Word(in, n);
    case kSleep:
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(Word(in, n), 10000u)));
        return rpc::kOk;
    case kAnswer:
        out->resize(std::min(Word(in, n), 16u << 20));
        for (size_t i = 0; i < out->size(); ++i) (*out)[i] = uint8_t(i * 7 + (i >> 8));
        return rpc::kOk;
    default:
        if (object) out->assign(object->bytes, object->bytes + 16);
        return rpc::kOk;
    }
}

inline rpc::ServedInterface TestServed() {
    return {TestInterface(), kTestOpCount, TestDispatch, nullptr};
}

// A server's options with NTLM: alice (Secret1) logs on in any domain.
inline rpc::ServerOptions NtlmOptions(bool require_auth, bool allow_anonymous = false) {
    auto users = std::make_shared<rpc::NtlmUserTable>();
    users->Add({"", "alice", rpc::ntlm::NtOwfV1("Secret1")});
    rpc::NtlmServerOptions n{"HOST", "DOM", "host.dom", "dom", allow_anonymous};
    rpc::ServerOptions o;
    o.security = [=] { return std::make_unique<rpc::NtlmServerContext>(users, n); };
    o.require_auth = require_auth;
    return o;
}

} // namespace vrtest
