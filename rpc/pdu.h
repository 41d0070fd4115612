// The packets of connection-oriented DCE/RPC, version 5.0: their common
// header, the bodies of every type the runtime sends or takes, the
// authentication verifier that may close them, and the reassembly of a
// call's fragments. Decoding reads one whole packet from a buffer and
// checks every length against the bytes present; the stub of a request,
// response or fault is a view into that buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rpc/uuid.h"

namespace vrcore::rpc::pdu {

enum class Type : uint8_t {
    kRequest = 0,
    kResponse = 2,
    kFault = 3,
    kBind = 11,
    kBindAck = 12,
    kBindNak = 13,
    kAlterContext = 14,
    kAlterContextResp = 15,
    kAuth3 = 16,
    kShutdown = 17,
    kCoCancel = 18,
    kOrphaned = 19,
};

// Flags of the common header.
inline constexpr uint8_t kFirstFrag = 0x01;
inline constexpr uint8_t kLastFrag = 0x02;
inline constexpr uint8_t kPendingCancel = 0x04;
inline constexpr uint8_t kConcMpx = 0x10;
inline constexpr uint8_t kDidNotExecute = 0x20;
inline constexpr uint8_t kMaybe = 0x40;
inline constexpr uint8_t kObjectUuid = 0x80;

inline constexpr size_t kHeaderSize = 16;
inline constexpr size_t kTrailerSize = 8;        // the verifier's fixed part
inline constexpr size_t kRequestHeaderSize = 24; // common header, alloc_hint, context, opnum
inline constexpr size_t kResponseHeaderSize = 24;
inline constexpr uint16_t kDefaultFragSize = 5840;
inline constexpr uint16_t kMinFragSize = 1432; // the least a peer must accept

// Results of a presentation context in bind_ack and alter_context_resp.
inline constexpr uint16_t kAcceptance = 0;
inline constexpr uint16_t kUserRejection = 1;
inline constexpr uint16_t kProviderRejection = 2;
inline constexpr uint16_t kNegotiateAck = 3;
// Reasons of a provider rejection.
inline constexpr uint16_t kAbstractSyntaxNotSupported = 1;
inline constexpr uint16_t kTransferSyntaxesNotSupported = 2;

// Reasons of a bind_nak.
inline constexpr uint16_t kNakNotSpecified = 0;
inline constexpr uint16_t kNakTemporaryCongestion = 1;
inline constexpr uint16_t kNakLocalLimitExceeded = 2;
inline constexpr uint16_t kNakProtocolVersion = 4;
inline constexpr uint16_t kNakAuthTypeNotRecognized = 8;
inline constexpr uint16_t kNakInvalidChecksum = 9;

// Fault statuses the runtime itself sends or maps.
inline constexpr uint32_t kNcaOpRangeError = 0x1c010002;
inline constexpr uint32_t kNcaUnknownInterface = 0x1c010003;
inline constexpr uint32_t kNcaProtoError = 0x1c01000b;
inline constexpr uint32_t kNcaServerTooBusy = 0x1c010014;
inline constexpr uint32_t kNcaFaultCancel = 0x1c00000d;
inline constexpr uint32_t kNcaAccessDenied = 5;

// NDR 2.0, and the bind-time feature negotiation syntax (its last eight
// bytes carry the feature bits the client offers).
const SyntaxId &Ndr20();
bool IsFeatureNegotiation(const SyntaxId &syntax);
SyntaxId FeatureNegotiation(uint64_t bits);

struct ContextElem {
    uint16_t id = 0;
    SyntaxId abstract;
    std::vector<SyntaxId> transfers;
};

struct ContextResult {
    uint16_t result = 0;
    uint16_t reason = 0;
    SyntaxId transfer;
};

struct AuthVerifier {
    uint8_t type = 0;
    uint8_t level = 0;
    uint8_t pad = 0; // bytes the stub was padded with to align the verifier
    uint32_t context_id = 0;
    std::vector<uint8_t> value;
};

// One packet. Which members count depends on the type.
struct Pdu {
    Type type = Type::kRequest;
    uint8_t flags = kFirstFrag | kLastFrag;
    uint32_t call_id = 0;
    // bind, alter_context, bind_ack, alter_context_resp (and auth3 carries
    // the two sizes as padding)
    uint16_t max_xmit_frag = kDefaultFragSize;
    uint16_t max_recv_frag = kDefaultFragSize;
    uint32_t assoc_group = 0;
    std::vector<ContextElem> contexts;  // bind, alter_context
    std::string sec_addr;               // bind_ack: the port, without its NUL
    std::vector<ContextResult> results; // bind_ack, alter_context_resp
    uint16_t reject_reason = 0;         // bind_nak
    // request, response, fault
    uint32_t alloc_hint = 0;
    uint16_t context_id = 0;
    uint16_t opnum = 0;       // request
    uint8_t cancel_count = 0; // response, fault
    Uuid object;              // request with kObjectUuid
    uint32_t status = 0;      // fault
    const uint8_t *stub = nullptr;
    size_t stub_size = 0;
    bool has_auth = false;
    AuthVerifier auth;
};

// From the first kHeaderSize bytes of a packet: its frag_length, checked
// (version 5.0 or 5.1, little-endian integers, at least a header, at most
// max_frag). kOk or kProtocolError.
uint32_t PeekLength(const uint8_t *header, size_t max_frag, size_t *frag_length);

// Decodes exactly one packet of n bytes (n its frag_length). kOk, or
// kProtocolError for anything malformed; *out then holds no view beyond p.
uint32_t Decode(const uint8_t *p, size_t n, size_t max_frag, Pdu *out);

// Appends the packet to *out, with its lengths filled in and the stub
// padded to 4 before a verifier. kOk, or kProtocolError when it would not
// fit a frag_length.
uint32_t Encode(const Pdu &pdu, std::vector<uint8_t> *out);

// The fragments of one request or response, gathered with limits on
// their count, the bytes they carry and what the first announces.
class Reassembly {
  public:
    Reassembly(size_t max_size, size_t max_fragments)
        : max_size_(max_size), max_fragments_(max_fragments) {}
    bool Active() const { return active_; }
    uint32_t CallId() const { return call_id_; }
    // Adds a fragment of a request or response. kOk; else kProtocolError
    // with *why set (a fragment out of order, over a limit).
    uint32_t Add(const Pdu &pdu, const char **why);
    bool Complete() const { return complete_; }
    std::vector<uint8_t> &Data() { return data_; }
    const Pdu &First() const { return first_; }
    void Reset();

  private:
    size_t max_size_;
    size_t max_fragments_;
    bool active_ = false;
    bool complete_ = false;
    uint32_t call_id_ = 0;
    size_t fragments_ = 0;
    Pdu first_;
    std::vector<uint8_t> data_;
};

} // namespace vrcore::rpc::pdu
