// NTLM security contexts: message layout, the responses and keys.
#include "rpc/ntlm.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <ctime>
#include <cwctype>
#include <locale.h>
#include <new>
#include <nettle/arcfour.h>
#include <nettle/des.h>
#include <nettle/hmac.h>
#include <nettle/md4.h>
#include <nettle/md5.h>
#include <random>
#include <sys/random.h>

#include "rpc/rpc_status.h"
#include "system/config.h"
#include "vrcore/log.h"

namespace vrcore::rpc {
namespace {

constexpr const char *kSource = "rpc_ntlm";

// Message types and the flags this side uses.
constexpr uint32_t kNegotiateType = 1, kChallengeType = 2, kAuthenticateType = 3;
constexpr uint32_t kUnicode = 0x00000001;
constexpr uint32_t kOem = 0x00000002;
constexpr uint32_t kRequestTarget = 0x00000004;
constexpr uint32_t kSign = 0x00000010;
constexpr uint32_t kSeal = 0x00000020;
constexpr uint32_t kNtlm = 0x00000200;
constexpr uint32_t kAnonymous = 0x00000800;
constexpr uint32_t kAlwaysSign = 0x00008000;
constexpr uint32_t kTargetTypeServer = 0x00020000;
constexpr uint32_t kEss = 0x00080000;
constexpr uint32_t kTargetInfo = 0x00800000;
constexpr uint32_t kVersion = 0x02000000;
constexpr uint32_t k128 = 0x20000000;
constexpr uint32_t kKeyExchange = 0x40000000;
constexpr uint32_t k56 = 0x80000000;
constexpr uint32_t kClientFlags = kUnicode | kOem | kRequestTarget | kNtlm | kAlwaysSign | kEss |
                                  kVersion | k128 | kKeyExchange | k56;
// The flags a server echoes when the client asks for them.
constexpr uint32_t kEchoed =
    kAlwaysSign | kEss | kVersion | k128 | kKeyExchange | k56 | kSign | kSeal;

// Target information pairs.
constexpr uint16_t kAvEol = 0, kAvNbComputer = 1, kAvNbDomain = 2, kAvDnsComputer = 3,
                   kAvDnsDomain = 4, kAvFlags = 6, kAvTimestamp = 7;
constexpr uint32_t kAvFlagMic = 2;

// The AUTHENTICATE's fixed part: the six fields and the flags, the
// version, the MIC; its payload follows.
constexpr size_t kAuthFixed = 64, kMicAt = 72, kAuthPayload = 88;
constexpr size_t kChallengeFixed = 48;
constexpr uint8_t kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};
// This side's version: the library's, revision 15 of the protocol.
constexpr uint8_t kOwnVersion[8] = {0, 1, 0, 0, 0, 0, 0, 15};

using Bytes = std::vector<uint8_t>;
using View = std::span<const uint8_t>;

uint16_t Get16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t *p) { return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16; }
uint64_t Get64(const uint8_t *p) { return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32; }
void Put16(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t *p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}
void Add16(Bytes &b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Add32(Bytes &b, uint32_t v) {
    Add16(b, v);
    Add16(b, v >> 16);
}
void Append(Bytes &b, View v) { b.insert(b.end(), v.begin(), v.end()); }

void FillRandom(uint8_t *p, size_t n) {
    while (n > 0) {
        ssize_t got = getrandom(p, n, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            std::random_device source; // no getrandom: the library's other source
            for (; n > 0; --n) *p++ = static_cast<uint8_t>(source());
            return;
        }
        p += got;
        n -= static_cast<size_t>(got);
    }
}

// Differences anywhere, in time independent of where.
bool Same(View a, View b) {
    if (a.size() != b.size()) return false;
    uint8_t diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= a[i] ^ b[i];
    return diff == 0;
}

// 100-ns ticks since 1601.
uint64_t FileTimeNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return (static_cast<uint64_t>(ts.tv_sec) + 11644473600ull) * 10000000ull +
           static_cast<uint64_t>(ts.tv_nsec) / 100;
}

char32_t Capital(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    return loc ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc)) : c;
}

// One code point from UTF-8; a byte that starts no valid sequence is
// taken as Latin-1.
char32_t NextCodePoint(std::string_view s, size_t *at) {
    auto b = static_cast<uint8_t>(s[*at]);
    size_t extra = b >= 0xF0 && b < 0xF5   ? 3
                   : b >= 0xE0 && b < 0xF0 ? 2
                   : b >= 0xC2 && b < 0xE0 ? 1
                                           : 0;
    if (extra == 0 || *at + extra >= s.size()) {
        ++*at;
        return b;
    }
    char32_t c = b & (0x3F >> extra);
    for (size_t i = 1; i <= extra; ++i) {
        auto next = static_cast<uint8_t>(s[*at + i]);
        if ((next & 0xC0) != 0x80) {
            ++*at;
            return b;
        }
        c = c << 6 | (next & 0x3F);
    }
    static constexpr char32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
    if (c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
        ++*at;
        return b;
    }
    *at += extra + 1;
    return c;
}

void AppendUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | c >> 18));
        out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// A string field as UTF-8: UTF-16LE (an unpaired surrogate becomes
// U+FFFD) or, in OEM messages, Latin-1.
std::string Text(View v, bool unicode) {
    std::string out;
    if (!unicode) {
        for (uint8_t b : v) AppendUtf8(out, b);
        return out;
    }
    for (size_t i = 0; i + 1 < v.size(); i += 2) {
        char32_t c = Get16(&v[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < v.size()) {
            char32_t low = Get16(&v[i + 2]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        AppendUtf8(out, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
    }
    return out;
}

// A string field's bytes: UTF-16LE, or Latin-1 ("?" for what it lacks).
Bytes Field(std::string_view utf8, bool unicode) {
    if (unicode) return ntlm::Utf16(utf8);
    Bytes out;
    for (size_t at = 0; at < utf8.size();) {
        char32_t c = NextCodePoint(utf8, &at);
        out.push_back(c < 0x100 ? static_cast<uint8_t>(c) : '?');
    }
    return out;
}

// A message received: its fields read with every offset and length
// checked against its size.
struct Message {
    View bytes;
    bool Has(size_t end) const { return end <= bytes.size(); }
    uint32_t U32(size_t at) const { return Get32(&bytes[at]); }
    // The payload field whose descriptor is at `at`; false when the
    // descriptor or the data lie beyond the message.
    bool Field(size_t at, View *out) const {
        if (!Has(at + 8)) return false;
        size_t len = Get16(&bytes[at]);
        size_t off = Get32(&bytes[at + 4]);
        if (len == 0) {
            *out = {};
            return true;
        }
        if (off > bytes.size() || len > bytes.size() - off) return false;
        *out = bytes.subspan(off, len);
        return true;
    }
    bool Is(uint32_t type) const {
        return Has(12) && memcmp(bytes.data(), kSignature, 8) == 0 && U32(8) == type;
    }
};

// Target information: pairs of id, length, value, ending with the end
// pair. False when a pair overruns the list or the end pair is missing.
template <class F> bool ForEachPair(View list, F &&visit) {
    for (size_t at = 0; at + 4 <= list.size();) {
        uint16_t id = Get16(&list[at]);
        size_t len = Get16(&list[at + 2]);
        if (len > list.size() - at - 4) return false;
        if (id == kAvEol) return true;
        visit(id, list.subspan(at + 4, len));
        at += 4 + len;
    }
    return false;
}

void AddPair(Bytes &b, uint16_t id, View value) {
    Add16(b, id);
    Add16(b, static_cast<uint32_t>(value.size()));
    Append(b, value);
}

// Lays out a message: the fixed part, then each field's data in turn,
// its descriptor written where the fixed part keeps it.
struct Builder {
    Bytes bytes;
    explicit Builder(size_t fixed, uint32_t type) : bytes(fixed) {
        memcpy(bytes.data(), kSignature, 8);
        Put32(&bytes[8], type);
    }
    void Field(size_t at, View data) {
        Put16(&bytes[at], static_cast<uint32_t>(data.size()));
        Put16(&bytes[at + 2], static_cast<uint32_t>(data.size()));
        Put32(&bytes[at + 4], static_cast<uint32_t>(bytes.size()));
        Append(bytes, data);
    }
};

// The key exchange key and session base key of the responses computed.
struct Keys {
    NtHash base{};
    NtHash exchange{};
};

uint32_t Deny(const char *why, const std::string &who = std::string()) {
    LOG_CondMessage(2, kSource, __LINE__, "NTLM logon refused%s%s: %s\n",
                    who.empty() ? "" : " for ", who.c_str(), why);
    return kAccessDenied;
}

std::string HostFact(int (*get)(std::string &)) {
    std::string s;
    return get(s) == 0 ? s : std::string();
}

std::string Capitals(std::string_view s) {
    std::string out;
    for (size_t at = 0; at < s.size();) AppendUtf8(out, Capital(NextCodePoint(s, &at)));
    return out;
}

} // namespace

// ---- The computations ------------------------------------------------------

namespace ntlm {

std::vector<uint8_t> Utf16(std::string_view utf8, bool upper) {
    Bytes out;
    out.reserve(utf8.size() * 2);
    for (size_t at = 0; at < utf8.size();) {
        char32_t c = NextCodePoint(utf8, &at);
        if (upper) c = Capital(c);
        if (c >= 0x10000) {
            c -= 0x10000;
            Add16(out, 0xD800 + (c >> 10));
            c = 0xDC00 + (c & 0x3FF);
        }
        Add16(out, c);
    }
    return out;
}

NtHash NtOwfV1(std::string_view password) {
    Bytes text = Utf16(password);
    md4_ctx ctx;
    md4_init(&ctx);
    md4_update(&ctx, text.size(), text.data());
    NtHash h;
    md4_digest(&ctx, h.size(), h.data());
    return h;
}

NtHash HmacMd5(View key, View a, View b) {
    hmac_md5_ctx ctx;
    hmac_md5_set_key(&ctx, key.size(), key.data());
    hmac_md5_update(&ctx, a.size(), a.data());
    hmac_md5_update(&ctx, b.size(), b.data());
    NtHash h;
    hmac_md5_digest(&ctx, h.size(), h.data());
    return h;
}

NtHash NtOwfV2(const NtHash &nt_hash, std::string_view user, std::string_view domain) {
    return HmacMd5(nt_hash, Utf16(user, true), Utf16(domain));
}

std::array<uint8_t, 24> DesL(const NtHash &key, const uint8_t data[8]) {
    uint8_t padded[21] = {};
    memcpy(padded, key.data(), key.size());
    std::array<uint8_t, 24> out;
    for (int i = 0; i < 3; ++i) {
        // Seven key bytes spread over eight, each with a parity bit.
        const uint8_t *k = padded + 7 * i;
        uint8_t wide[8];
        wide[0] = k[0];
        for (int j = 1; j < 7; ++j) wide[j] = static_cast<uint8_t>(k[j - 1] << (8 - j) | k[j] >> j);
        wide[7] = static_cast<uint8_t>(k[6] << 1);
        des_fix_parity(8, wide, wide);
        des_ctx ctx;
        des_set_key(&ctx, wide); // a weak key still encrypts
        des_encrypt(&ctx, 8, &out[8 * i], data);
    }
    return out;
}

std::array<uint8_t, 8> EssChallenge(const uint8_t server[8], const uint8_t client[8]) {
    md5_ctx ctx;
    md5_init(&ctx);
    md5_update(&ctx, 8, server);
    md5_update(&ctx, 8, client);
    uint8_t digest[MD5_DIGEST_SIZE];
    md5_digest(&ctx, sizeof digest, digest);
    std::array<uint8_t, 8> out;
    memcpy(out.data(), digest, 8);
    return out;
}

std::vector<uint8_t> V2Blob(uint64_t filetime, const uint8_t client[8], View target_info) {
    Bytes b = {1, 1, 0, 0, 0, 0, 0, 0};
    Add32(b, static_cast<uint32_t>(filetime));
    Add32(b, static_cast<uint32_t>(filetime >> 32));
    Append(b, View(client, 8));
    Add32(b, 0);
    Append(b, target_info);
    Add32(b, 0);
    return b;
}

NtHash Rc4(const NtHash &key, const NtHash &data) {
    arcfour_ctx ctx;
    arcfour_set_key(&ctx, key.size(), key.data());
    NtHash out;
    arcfour_crypt(&ctx, out.size(), out.data(), data.data());
    return out;
}

} // namespace ntlm

// ---- The user table ----------------------------------------------------------

const NtlmUser *NtlmUserTable::Find(std::string_view domain, std::string_view name) const {
    std::string want_name = Capitals(name), want_domain = Capitals(domain);
    const NtlmUser *any_domain = nullptr;
    for (const NtlmUser &u : users_) {
        if (Capitals(u.name) != want_name) continue;
        if (u.domain.empty()) {
            if (!any_domain) any_domain = &u;
        } else if (Capitals(u.domain) == want_domain) {
            return &u;
        }
    }
    return any_domain;
}

// ---- The client ----------------------------------------------------------------

NtlmClientContext::NtlmClientContext(NtlmIdentity identity, std::string workstation)
    : identity_(std::move(identity)), workstation_(std::move(workstation)) {}

std::string NtlmClientContext::Peer() const {
    return identity_.user.empty() ? std::string() : identity_.domain + "\\" + identity_.user;
}

uint32_t NtlmClientContext::Step(const std::vector<uint8_t> &in, std::vector<uint8_t> *out) try {
    out->clear();
    if (state_ == State::Start && in.empty()) {
        Builder m(40, kNegotiateType); // domain and workstation fields left empty
        Put32(&m.bytes[12], kClientFlags);
        Put32(&m.bytes[20], 40);
        Put32(&m.bytes[28], 40);
        memcpy(&m.bytes[32], kOwnVersion, 8);
        negotiate_ = m.bytes;
        *out = std::move(m.bytes);
        state_ = State::Negotiated;
        return kOk;
    }
    if (state_ != State::Negotiated) {
        state_ = State::Failed;
        return kProtocolError;
    }
    uint32_t rc = Authenticate(in, out);
    state_ = rc == kOk ? State::Done : State::Failed;
    if (rc != kOk) out->clear();
    return rc;
} catch (const std::bad_alloc &) {
    state_ = State::Failed;
    return kOutOfMemory;
}

uint32_t NtlmClientContext::Authenticate(const std::vector<uint8_t> &challenge,
                                         std::vector<uint8_t> *out) {
    Message m{challenge};
    View target_name, target_info;
    if (!m.Is(kChallengeType) || !m.Has(32) || !m.Field(12, &target_name)) {
        return Deny("the server's challenge is malformed");
    }
    uint32_t offered = m.U32(20);
    const uint8_t *server_challenge = &challenge[24];
    if ((offered & kTargetInfo) && m.Has(kChallengeFixed) && !m.Field(40, &target_info)) {
        return Deny("the server's target information lies beyond its challenge");
    }
    if (!(offered & kTargetInfo)) target_info = {};

    bool anonymous = identity_.user.empty();
    bool unicode = (offered & kUnicode) || !(offered & kOem);
    uint32_t flags = (offered & kClientFlags & ~(kUnicode | kOem)) | (unicode ? kUnicode : kOem) |
                     kNtlm | kVersion | (anonymous ? kAnonymous : 0);
    Bytes lm, nt;
    Keys keys;
    bool mic = false;
    if (anonymous) {
        lm.assign(1, 0);
    } else if (!target_info.empty()) {
        // NTLMv2 over the server's target information, with the flags pair
        // announcing the MIC when the server sent its time.
        uint64_t time = FileTimeNow();
        uint32_t pair_flags = 0;
        bool has_flags = false;
        Bytes pairs;
        bool ok = ForEachPair(target_info, [&](uint16_t id, View value) {
            if (id == kAvTimestamp && value.size() == 8) {
                time = Get64(value.data());
                mic = true;
            }
            if (id == kAvFlags && value.size() == 4) {
                pair_flags = Get32(value.data());
                has_flags = true;
            } else {
                AddPair(pairs, id, value);
            }
        });
        if (!ok) return Deny("the server's target information is malformed");
        if (mic || has_flags) {
            uint8_t value[4];
            Put32(value, pair_flags | (mic ? kAvFlagMic : 0));
            AddPair(pairs, kAvFlags, value);
        }
        AddPair(pairs, kAvEol, {});
        uint8_t client[8];
        FillRandom(client, sizeof client);
        NtHash owf =
            ntlm::NtOwfV2(ntlm::NtOwfV1(identity_.password), identity_.user, identity_.domain);
        Bytes blob = ntlm::V2Blob(time, client, pairs);
        NtHash proof = ntlm::HmacMd5(owf, View(server_challenge, 8), blob);
        nt.assign(proof.begin(), proof.end());
        Append(nt, blob);
        if (mic) {
            lm.assign(24, 0);
        } else {
            NtHash lm_proof = ntlm::HmacMd5(owf, View(server_challenge, 8), View(client, 8));
            lm.assign(lm_proof.begin(), lm_proof.end());
            Append(lm, View(client, 8));
        }
        keys.base = ntlm::HmacMd5(owf, proof);
        keys.exchange = keys.base;
        used_v2_ = true;
    } else {
        NtHash hash = ntlm::NtOwfV1(identity_.password);
        md4_ctx ctx;
        md4_init(&ctx);
        md4_update(&ctx, hash.size(), hash.data());
        md4_digest(&ctx, keys.base.size(), keys.base.data());
        if (offered & kEss) {
            uint8_t client[8];
            FillRandom(client, sizeof client);
            lm.assign(client, client + 8);
            lm.resize(24, 0);
            auto essc = ntlm::EssChallenge(server_challenge, client);
            auto r = ntlm::DesL(hash, essc.data());
            nt.assign(r.begin(), r.end());
            keys.exchange = ntlm::HmacMd5(keys.base, View(server_challenge, 8), View(client, 8));
        } else {
            auto r = ntlm::DesL(hash, server_challenge);
            nt.assign(r.begin(), r.end());
            lm = nt;
            keys.exchange = keys.base;
        }
    }

    NtHash encrypted{};
    bool exchange = offered & kKeyExchange;
    if (exchange) {
        FillRandom(session_key_.data(), session_key_.size());
        encrypted = ntlm::Rc4(keys.exchange, session_key_);
    } else {
        session_key_ = keys.exchange;
    }

    Builder a(kAuthPayload, kAuthenticateType);
    a.Field(28, Field(identity_.domain, unicode));
    a.Field(36, Field(identity_.user, unicode));
    a.Field(44, Field(workstation_, unicode));
    a.Field(12, lm);
    a.Field(20, nt);
    a.Field(52, exchange ? View(encrypted) : View());
    Put32(&a.bytes[60], flags);
    memcpy(&a.bytes[64], kOwnVersion, 8);
    if (mic) {
        hmac_md5_ctx ctx;
        hmac_md5_set_key(&ctx, session_key_.size(), session_key_.data());
        hmac_md5_update(&ctx, negotiate_.size(), negotiate_.data());
        hmac_md5_update(&ctx, challenge.size(), challenge.data());
        hmac_md5_update(&ctx, a.bytes.size(), a.bytes.data());
        hmac_md5_digest(&ctx, 16, &a.bytes[kMicAt]);
    }
    *out = std::move(a.bytes);
    return kOk;
}

// ---- The server ----------------------------------------------------------------

NtlmServerContext::NtlmServerContext(std::shared_ptr<const NtlmUserTable> users,
                                     NtlmServerOptions options)
    : users_(std::move(users)), options_(std::move(options)) {
    if (options_.computer.empty())
        options_.computer = Capitals(HostFact(system::cfg::HostComputerName));
    if (options_.domain.empty()) options_.domain = options_.computer;
    if (options_.dns_computer.empty())
        options_.dns_computer = HostFact(system::cfg::HostOfficialName);
    if (options_.dns_domain.empty()) options_.dns_domain = HostFact(system::cfg::HostDnsDomain);
}

uint32_t NtlmServerContext::Step(const std::vector<uint8_t> &in, std::vector<uint8_t> *out) try {
    out->clear();
    uint32_t rc = kProtocolError;
    if (state_ == State::Start) {
        rc = Challenge(in, out);
        state_ = rc == kOk ? State::Challenged : State::Failed;
    } else if (state_ == State::Challenged) {
        rc = Verify(in);
        state_ = rc == kOk ? State::Done : State::Failed;
    } else {
        state_ = State::Failed;
    }
    return rc;
} catch (const std::bad_alloc &) {
    state_ = State::Failed;
    return kOutOfMemory;
}

uint32_t NtlmServerContext::Challenge(const std::vector<uint8_t> &negotiate,
                                      std::vector<uint8_t> *out) {
    Message m{negotiate};
    View unused;
    if (!m.Is(kNegotiateType) || !m.Has(16) ||
        (m.Has(32) && (!m.Field(16, &unused) || !m.Field(24, &unused)))) {
        return Deny("the client's negotiation is malformed");
    }
    uint32_t asked = m.U32(12);
    bool unicode = (asked & kUnicode) || !(asked & kOem);
    flags_ = (unicode ? kUnicode : kOem) | kRequestTarget | kNtlm | kTargetTypeServer |
             kTargetInfo | (asked & kEchoed);
    FillRandom(server_challenge_, sizeof server_challenge_);

    Bytes info;
    AddPair(info, kAvNbComputer, ntlm::Utf16(options_.computer));
    AddPair(info, kAvNbDomain, ntlm::Utf16(options_.domain));
    if (!options_.dns_computer.empty())
        AddPair(info, kAvDnsComputer, ntlm::Utf16(options_.dns_computer));
    if (!options_.dns_domain.empty()) AddPair(info, kAvDnsDomain, ntlm::Utf16(options_.dns_domain));
    uint8_t now[8];
    uint64_t t = FileTimeNow();
    Put32(now, static_cast<uint32_t>(t));
    Put32(now + 4, static_cast<uint32_t>(t >> 32));
    AddPair(info, kAvTimestamp, now);
    AddPair(info, kAvEol, {});

    Builder c(kChallengeFixed + 8, kChallengeType);
    Put32(&c.bytes[20], flags_);
    memcpy(&c.bytes[24], server_challenge_, 8);
    memcpy(&c.bytes[48], kOwnVersion, 8);
    c.Field(12, Field(options_.computer, unicode));
    c.Field(40, info);
    negotiate_ = negotiate;
    challenge_ = c.bytes;
    *out = std::move(c.bytes);
    return kOk;
}

uint32_t NtlmServerContext::Verify(const std::vector<uint8_t> &auth) {
    Message m{auth};
    View lm, nt, domain_f, user_f, host_f, key_f;
    if (!m.Is(kAuthenticateType) || !m.Has(kAuthFixed) || !m.Field(12, &lm) || !m.Field(20, &nt) ||
        !m.Field(28, &domain_f) || !m.Field(36, &user_f) || !m.Field(44, &host_f) ||
        !m.Field(52, &key_f)) {
        return Deny("the client's authentication is malformed");
    }
    uint32_t flags = m.U32(60);
    bool unicode = (flags & kUnicode) ? true : (flags & kOem) ? false : (flags_ & kUnicode);
    if (unicode && (domain_f.size() % 2 || user_f.size() % 2)) return Deny("a name of odd length");
    std::string user = Text(user_f, unicode), domain = Text(domain_f, unicode);
    std::string who = domain + "\\" + user;
    const uint8_t *sc = server_challenge_;

    Keys keys;
    bool mic = false;
    if (user.empty()) {
        if (!nt.empty() || lm.size() > 1 || (lm.size() == 1 && lm[0] != 0))
            return Deny("responses without a user");
        if (!options_.allow_anonymous) return Deny("anonymous logons are not allowed");
        peer_.clear();
    } else {
        const NtlmUser *entry = users_ ? users_->Find(domain, user) : nullptr;
        if (!entry) return Deny("unknown user", who);
        if (nt.size() > 24) {
            View proof = nt.first(16), blob = nt.subspan(16);
            if (blob.size() < 28 || blob[0] != 1 || blob[1] != 1)
                return Deny("a malformed NTLMv2 response", who);
            bool ok = false;
            NtHash owf{};
            for (std::string_view dom : {std::string_view(domain), std::string_view()}) {
                owf = ntlm::NtOwfV2(entry->nt_hash, user, dom);
                if ((ok = Same(ntlm::HmacMd5(owf, View(sc, 8), blob), proof))) break;
                if (domain.empty()) break;
            }
            if (!ok) return Deny("wrong password", who);
            bool well_formed = ForEachPair(blob.subspan(28), [&](uint16_t id, View value) {
                if (id == kAvFlags && value.size() == 4 && (Get32(value.data()) & kAvFlagMic))
                    mic = true;
            });
            if (!well_formed) return Deny("malformed names in the NTLMv2 response", who);
            keys.base = ntlm::HmacMd5(owf, proof);
            keys.exchange = keys.base;
        } else if (nt.size() == 24) {
            if (!(flags & kEss) || !(flags_ & kEss) || lm.size() != 24)
                return Deny("NTLMv1 without extended session security", who);
            auto r = ntlm::DesL(entry->nt_hash, ntlm::EssChallenge(sc, lm.data()).data());
            if (!Same(r, nt)) return Deny("wrong password", who);
            md4_ctx ctx;
            md4_init(&ctx);
            md4_update(&ctx, entry->nt_hash.size(), entry->nt_hash.data());
            md4_digest(&ctx, keys.base.size(), keys.base.data());
            keys.exchange = ntlm::HmacMd5(keys.base, View(sc, 8), lm.first(8));
        } else {
            return Deny("no NT response", who);
        }
        peer_ = (entry->domain.empty() ? options_.domain : entry->domain) + "\\" + entry->name;
    }

    session_key_ = keys.exchange;
    if ((flags & kKeyExchange) && (flags_ & kKeyExchange) && !key_f.empty()) {
        if (key_f.size() != 16) return Deny("a session key of the wrong size", who);
        NtHash encrypted;
        memcpy(encrypted.data(), key_f.data(), 16);
        session_key_ = ntlm::Rc4(keys.exchange, encrypted);
    }
    if (mic) {
        if (!m.Has(kMicAt + 16)) return Deny("no room for the MIC", who);
        Bytes zeroed(auth);
        memset(&zeroed[kMicAt], 0, 16);
        hmac_md5_ctx ctx;
        hmac_md5_set_key(&ctx, session_key_.size(), session_key_.data());
        hmac_md5_update(&ctx, negotiate_.size(), negotiate_.data());
        hmac_md5_update(&ctx, challenge_.size(), challenge_.data());
        hmac_md5_update(&ctx, zeroed.size(), zeroed.data());
        NtHash want;
        hmac_md5_digest(&ctx, want.size(), want.data());
        if (!Same(want, m.bytes.subspan(kMicAt, 16))) return Deny("wrong MIC", who);
    }
    return kOk;
}

} // namespace vrcore::rpc
