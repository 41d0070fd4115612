// NTLM at connect level: the client and server security contexts of an
// association's bind, and the computations they are made of.
//
// The client answers its first step with a NEGOTIATE message, the server's
// CHALLENGE with an AUTHENTICATE message. It answers with NTLMv2 when the
// CHALLENGE offers it, that is when it carries target information (the
// NEGOTIATE_TARGET_INFO flag and a non-empty list); otherwise with NTLMv1,
// using extended session security when the CHALLENGE offers it, else
// plain NTLMv1 (the NT response in both response fields). When the target
// information carries a timestamp, the client uses that timestamp, sends
// an empty LMv2 response (24 zero bytes) and protects the three messages
// with a MIC, announced by bit 2 of the flags pair of its response. An
// identity without a user logs on anonymously: empty user, empty NT
// response, an LM response of one zero byte, the anonymous flag. The
// session key is derived in every case (a random one, sent encrypted with
// the key-exchange key, when both sides offer key exchange), though connect
// level signs nothing with it.
//
// The server answers the NEGOTIATE with a CHALLENGE (a random server
// challenge, the NetBIOS computer name as target, and target information:
// NetBIOS and DNS names and a timestamp) and checks the AUTHENTICATE
// against its user table: NTLMv2, or NTLMv1 with extended session security
// (plain NTLMv1 is refused: the server always offers the extension); the
// MIC when the response announces one; the anonymous logon when allowed.
// A wrong password, an unknown user, a refused anonymous logon, a message
// that is malformed or truncated anywhere: kAccessDenied, with the reason
// logged. A step out of its order fails with kProtocolError.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rpc/security.h"

namespace vrcore::rpc {

using NtHash = std::array<uint8_t, 16>;

// The client's identity. Strings are UTF-8.
struct NtlmIdentity {
    std::string user; // empty: an anonymous logon
    std::string domain;
    std::string password;
};

// One user the server knows: the NT hash (MD4 of the UTF-16LE password).
struct NtlmUser {
    std::string domain; // empty: the user of whatever domain the client names
    std::string name;
    NtHash nt_hash{};
};

// The server's users. Names and domains compare without regard to case.
class NtlmUserTable {
  public:
    void Add(NtlmUser user) { users_.push_back(std::move(user)); }
    // The first entry for the user in that domain, else the first one for
    // the user without a domain; null when there is none.
    const NtlmUser *Find(std::string_view domain, std::string_view name) const;
    size_t size() const { return users_.size(); }

  private:
    std::vector<NtlmUser> users_;
};

class NtlmClientContext final : public SecurityContext {
  public:
    // `workstation`: the name the AUTHENTICATE gives for this host ("" for
    // none).
    explicit NtlmClientContext(NtlmIdentity identity, std::string workstation = {});
    uint32_t Step(const std::vector<uint8_t> &in, std::vector<uint8_t> *out) override;
    bool Done() const override { return state_ == State::Done; }
    // The identity as "DOMAIN\user" ("" when anonymous).
    std::string Peer() const override;
    // Once done: the exported session key, and whether NTLMv2 was used.
    const NtHash &SessionKey() const { return session_key_; }
    bool UsedV2() const { return used_v2_; }

  private:
    enum class State { Start, Negotiated, Done, Failed };
    uint32_t Authenticate(const std::vector<uint8_t> &challenge, std::vector<uint8_t> *out);
    NtlmIdentity identity_;
    std::string workstation_;
    State state_ = State::Start;
    std::vector<uint8_t> negotiate_;
    NtHash session_key_{};
    bool used_v2_ = false;
};

struct NtlmServerOptions {
    std::string computer;     // NetBIOS computer name; "": the host's, in capitals
    std::string domain;       // NetBIOS domain; "": the computer name
    std::string dns_computer; // "": the host's official name
    std::string dns_domain;   // "": the host's DNS domain (left out when unknown)
    bool allow_anonymous = false;
};

class NtlmServerContext final : public SecurityContext {
  public:
    NtlmServerContext(std::shared_ptr<const NtlmUserTable> users, NtlmServerOptions options = {});
    uint32_t Step(const std::vector<uint8_t> &in, std::vector<uint8_t> *out) override;
    bool Done() const override { return state_ == State::Done; }
    std::string Peer() const override { return peer_; }
    const NtHash &SessionKey() const { return session_key_; }

  private:
    enum class State { Start, Challenged, Done, Failed };
    uint32_t Challenge(const std::vector<uint8_t> &negotiate, std::vector<uint8_t> *out);
    uint32_t Verify(const std::vector<uint8_t> &auth);
    std::shared_ptr<const NtlmUserTable> users_;
    NtlmServerOptions options_;
    State state_ = State::Start;
    std::vector<uint8_t> negotiate_, challenge_;
    uint8_t server_challenge_[8] = {};
    uint32_t flags_ = 0; // of the CHALLENGE
    std::string peer_;
    NtHash session_key_{};
};

// The computations, with all their inputs given.
namespace ntlm {

// The text as UTF-16LE (bytes not forming UTF-8 count as Latin-1), in
// capitals when `upper`.
std::vector<uint8_t> Utf16(std::string_view utf8, bool upper = false);
// MD4 of the UTF-16LE password.
NtHash NtOwfV1(std::string_view password);
// HMAC-MD5 keyed with the NT hash of the capitalised user and the domain.
NtHash NtOwfV2(const NtHash &nt_hash, std::string_view user, std::string_view domain);
NtHash HmacMd5(std::span<const uint8_t> key, std::span<const uint8_t> a,
               std::span<const uint8_t> b = {});
// The three DES encryptions of the 8 bytes by the 16-byte key padded to 21.
std::array<uint8_t, 24> DesL(const NtHash &key, const uint8_t data[8]);
// The 8 bytes an NTLMv1 response with extended session security encrypts.
std::array<uint8_t, 8> EssChallenge(const uint8_t server[8], const uint8_t client[8]);
// The NTLMv2 client challenge ("temp") around the target information.
std::vector<uint8_t> V2Blob(uint64_t filetime, const uint8_t client[8],
                            std::span<const uint8_t> target_info);
// ARCFOUR of 16 bytes.
NtHash Rc4(const NtHash &key, const NtHash &data);

} // namespace ntlm
} // namespace vrcore::rpc
