// Hostile bytes on a server connection: the first byte sets the size of
// the pieces the rest arrives in (and, in its top bit, whether requests
// must be authenticated); the pieces go through one connection's protocol
// state (framing, bind negotiation, authentication, reassembly, dispatch)
// with a clock that advances with every piece. A bind whose token is an
// NTLM message is authenticated by the NTLM server context, any other by a
// context that takes any token. The whole input is also
// decoded as one packet, and what decodes must encode to a packet that
// decodes the same.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "rpc/ntlm.h"
#include "rpc/rpc_status.h"
#include "rpc/runtime.h"
#include "vrcore/log.h"

namespace {

using namespace vrcore::rpc;

// Takes any first token, refuses an empty second one.
class AnyToken : public SecurityContext {
  public:
    uint32_t Step(const std::vector<uint8_t> &in, std::vector<uint8_t> *out) override {
        if (++steps_ == 2 && in.empty()) return kAccessDenied;
        out->assign(in.begin(), in.end());
        return kOk;
    }
    bool Done() const override { return steps_ >= 2; }
    std::string Peer() const override { return ""; }

  private:
    int steps_ = 0;
};

// NTLM for a first token that is an NTLM message, else AnyToken.
class FirstTokenDecides : public SecurityContext {
  public:
    uint32_t Step(const std::vector<uint8_t> &in, std::vector<uint8_t> *out) override {
        if (!inner_) {
            static const auto users = [] {
                auto t = std::make_shared<NtlmUserTable>();
                t->Add({"", "alice", ntlm::NtOwfV1("Secret1")});
                return t;
            }();
            static const uint8_t kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};
            if (in.size() >= 8 && std::equal(kSignature, kSignature + 8, in.begin()))
                inner_ = std::make_unique<NtlmServerContext>(
                    users, NtlmServerOptions{"HOST", "DOM", "host.dom", "dom", false});
            else
                inner_ = std::make_unique<AnyToken>();
        }
        return inner_->Step(in, out);
    }
    bool Done() const override { return inner_ && inner_->Done(); }
    std::string Peer() const override { return inner_ ? inner_->Peer() : ""; }

  private:
    std::unique_ptr<SecurityContext> inner_;
};

uint32_t Echo(void *, uint16_t op, const Uuid *, const uint8_t *in, size_t n,
              std::vector<uint8_t> *out) {
    if (op == 1) return 0x1c00000d;
    out->assign(in, in + n);
    return kOk;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::vector<ServedInterface> served = [] {
        ServedInterface i;
        ParseUuid("3f0c9a52-6d1e-4b7a-8c25-41e0d9b7a613", &i.id.uuid);
        i.id.major = 1;
        i.operation_count = 2;
        i.dispatch = Echo;
        return std::vector<ServedInterface>{i};
    }();
    static const int kQuiet = LOG_SetEnabled(0); // every refusal is logged
    (void)kQuiet;
    static ServerOptions options[2];
    for (int k = 0; k < 2; ++k) {
        options[k].max_request = 1 << 16;
        options[k].max_fragments = 64;
        options[k].receive_timeout_ms = 1000;
        options[k].require_auth = k == 1;
        options[k].security = [] { return std::make_unique<FirstTokenDecides>(); };
    }
    if (size == 0) return 0;
    ServerSession session(&served, &options[data[0] >> 7], "135");
    size_t piece = (data[0] & 0x7f) * 16 + 1;
    std::vector<uint8_t> out;
    int64_t now = 0;
    for (size_t at = 1; at < size; at += piece) {
        now += 50;
        if (!session.Receive(data + at, std::min(piece, size - at), now, &out)) break;
        if (out.size() > (1u << 20)) out.clear();
    }
    pdu::Pdu packet, again;
    std::vector<uint8_t> wire, rewired;
    if (pdu::Decode(data, size, 65535, &packet) == kOk && pdu::Encode(packet, &wire) == kOk) {
        if (pdu::Decode(wire.data(), wire.size(), 65535, &again) != kOk) abort();
        pdu::Encode(again, &rewired);
        if (rewired != wire) abort();
    }
    return 0;
}
