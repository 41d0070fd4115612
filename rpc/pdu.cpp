#include "rpc/pdu.h"

#include <cstring>

#include "rpc/rpc_status.h"

namespace vrcore::rpc::pdu {

namespace {

constexpr uint8_t kLittleEndianAscii = 0x10;

// A bounded little-endian reader: every read past the end fails and stays
// failed, so a decoder checks once at the end of a run of reads.
class Reader {
  public:
    Reader(const uint8_t *p, size_t n, size_t at = 0) : p_(p), n_(n), at_(at) {}
    bool Ok() const { return ok_; }
    size_t At() const { return at_; }
    size_t Left() const { return ok_ && at_ <= n_ ? n_ - at_ : 0; }
    const uint8_t *Here() const { return p_ + at_; }
    bool Need(size_t k) {
        if (!ok_ || k > n_ - at_) ok_ = false;
        return ok_;
    }
    uint8_t U8() { return Need(1) ? p_[at_++] : 0; }
    uint16_t U16() {
        if (!Need(2)) return 0;
        uint16_t v = uint16_t(p_[at_] | p_[at_ + 1] << 8);
        at_ += 2;
        return v;
    }
    uint32_t U32() {
        uint32_t lo = U16();
        return lo | uint32_t(U16()) << 16;
    }
    void Skip(size_t k) {
        if (Need(k)) at_ += k;
    }
    void Align4() { Skip((4 - at_ % 4) % 4); }
    void Bytes(uint8_t *out, size_t k) {
        if (!Need(k)) return;
        std::memcpy(out, p_ + at_, k);
        at_ += k;
    }
    SyntaxId Syntax() {
        SyntaxId s;
        Bytes(s.uuid.bytes, 16);
        s.major = U16();
        s.minor = U16();
        return s;
    }

  private:
    const uint8_t *p_;
    size_t n_;
    size_t at_;
    bool ok_ = true;
};

void Put8(std::vector<uint8_t> *o, uint8_t v) { o->push_back(v); }
void Put16(std::vector<uint8_t> *o, uint16_t v) {
    o->push_back(uint8_t(v));
    o->push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t> *o, uint32_t v) {
    Put16(o, uint16_t(v));
    Put16(o, uint16_t(v >> 16));
}
void PutSyntax(std::vector<uint8_t> *o, const SyntaxId &s) {
    o->insert(o->end(), s.uuid.bytes, s.uuid.bytes + 16);
    Put16(o, s.major);
    Put16(o, s.minor);
}
void Set16(std::vector<uint8_t> *o, size_t at, uint16_t v) {
    (*o)[at] = uint8_t(v);
    (*o)[at + 1] = uint8_t(v >> 8);
}

// The context list of bind and alter_context. Each element takes at
// least 24 bytes and each transfer syntax 20, checked before any storage.
bool ReadContexts(Reader &r, std::vector<ContextElem> *out) {
    size_t count = r.U8();
    r.Skip(3);
    if (!r.Ok() || count * 24 > r.Left()) return false;
    out->resize(count);
    for (auto &c : *out) {
        c.id = r.U16();
        size_t transfers = r.U8();
        r.Skip(1);
        c.abstract = r.Syntax();
        if (!r.Ok() || transfers * 20 > r.Left()) return false;
        c.transfers.resize(transfers);
        for (auto &t : c.transfers) t = r.Syntax();
    }
    return r.Ok();
}

bool ReadResults(Reader &r, std::vector<ContextResult> *out) {
    size_t count = r.U8();
    r.Skip(3);
    if (!r.Ok() || count * 24 > r.Left()) return false;
    out->resize(count);
    for (auto &c : *out) {
        c.result = r.U16();
        c.reason = r.U16();
        c.transfer = r.Syntax();
    }
    return r.Ok();
}

} // namespace

const SyntaxId &Ndr20() {
    static const SyntaxId ndr = [] {
        SyntaxId s;
        ParseUuid("8a885d04-1ceb-11c9-9fe8-08002b104860", &s.uuid);
        s.major = 2;
        return s;
    }();
    return ndr;
}

bool IsFeatureNegotiation(const SyntaxId &syntax) {
    static const uint8_t prefix[8] = {0x2c, 0x1c, 0xb7, 0x6c, 0x12, 0x98, 0x40, 0x45};
    return std::memcmp(syntax.uuid.bytes, prefix, 8) == 0;
}

SyntaxId FeatureNegotiation(uint64_t bits) {
    SyntaxId s;
    ParseUuid("6cb71c2c-9812-4540-0000-000000000000", &s.uuid);
    for (int i = 0; i < 8; ++i) s.uuid.bytes[8 + i] = uint8_t(bits >> (8 * i));
    s.major = 1;
    return s;
}

uint32_t PeekLength(const uint8_t *h, size_t max_frag, size_t *frag_length) {
    if (h[0] != 5 || h[1] > 1 || (h[4] & 0xf0) != kLittleEndianAscii) return kProtocolError;
    size_t len = size_t(h[8] | h[9] << 8);
    size_t auth = size_t(h[10] | h[11] << 8);
    if (len < kHeaderSize || len > max_frag) return kProtocolError;
    if (auth != 0 && auth + kTrailerSize > len - kHeaderSize) return kProtocolError;
    *frag_length = len;
    return kOk;
}

uint32_t Decode(const uint8_t *p, size_t n, size_t max_frag, Pdu *out) {
    size_t len = 0;
    if (n < kHeaderSize || PeekLength(p, max_frag, &len) != kOk || len != n) return kProtocolError;
    Pdu &d = *out;
    d = Pdu{};
    d.type = Type(p[2]);
    d.flags = p[3];
    Reader h(p, n, 10);
    size_t auth_len = h.U16();
    d.call_id = h.U32();
    // The body ends where the verifier starts; the verifier is the last
    // auth_length bytes and the 8 before them.
    size_t body_end = n;
    if (auth_len != 0) {
        body_end = n - auth_len - kTrailerSize;
        Reader t(p, n, body_end);
        d.has_auth = true;
        d.auth.type = t.U8();
        d.auth.level = t.U8();
        d.auth.pad = t.U8();
        t.Skip(1);
        d.auth.context_id = t.U32();
        d.auth.value.assign(p + n - auth_len, p + n);
    }
    Reader r(p, body_end, kHeaderSize);
    auto stub_rest = [&](size_t pad) {
        if (!r.Ok() || pad > r.Left()) return false;
        d.stub = r.Here();
        d.stub_size = r.Left() - pad;
        return true;
    };
    switch (d.type) {
    case Type::kBind:
    case Type::kAlterContext:
        d.max_xmit_frag = r.U16();
        d.max_recv_frag = r.U16();
        d.assoc_group = r.U32();
        if (!ReadContexts(r, &d.contexts)) return kProtocolError;
        break;
    case Type::kBindAck:
    case Type::kAlterContextResp: {
        d.max_xmit_frag = r.U16();
        d.max_recv_frag = r.U16();
        d.assoc_group = r.U32();
        size_t addr = r.U16();
        if (!r.Need(addr)) return kProtocolError;
        const char *a = reinterpret_cast<const char *>(r.Here());
        d.sec_addr.assign(a, addr > 0 && a[addr - 1] == 0 ? addr - 1 : addr);
        r.Skip(addr);
        r.Align4();
        if (!ReadResults(r, &d.results)) return kProtocolError;
        break;
    }
    case Type::kBindNak: d.reject_reason = r.U16(); break;
    case Type::kRequest:
        d.alloc_hint = r.U32();
        d.context_id = r.U16();
        d.opnum = r.U16();
        if (d.flags & kObjectUuid) r.Bytes(d.object.bytes, 16);
        if (!stub_rest(d.has_auth ? d.auth.pad : 0)) return kProtocolError;
        break;
    case Type::kResponse:
    case Type::kFault:
        d.alloc_hint = r.U32();
        d.context_id = r.U16();
        d.cancel_count = r.U8();
        r.Skip(1);
        if (d.type == Type::kFault) {
            d.status = r.U32();
            r.Skip(4);
        }
        if (!stub_rest(d.has_auth ? d.auth.pad : 0)) return kProtocolError;
        break;
    case Type::kAuth3:
    case Type::kShutdown:
    case Type::kCoCancel:
    case Type::kOrphaned: break;
    default: return kProtocolError;
    }
    return r.Ok() ? kOk : kProtocolError;
}

uint32_t Encode(const Pdu &d, std::vector<uint8_t> *o) {
    size_t start = o->size();
    Put8(o, 5);
    Put8(o, 0);
    Put8(o, uint8_t(d.type));
    uint8_t flags = d.flags;
    if (d.type == Type::kRequest) {
        flags = uint8_t((flags & ~kObjectUuid) | (d.object.IsNil() ? 0 : kObjectUuid));
    }
    Put8(o, flags);
    Put32(o, kLittleEndianAscii);
    Put16(o, 0); // frag_length, below
    Put16(o, d.has_auth ? uint16_t(d.auth.value.size()) : 0);
    Put32(o, d.call_id);
    auto stub = [&] {
        if (d.stub_size) o->insert(o->end(), d.stub, d.stub + d.stub_size);
    };
    switch (d.type) {
    case Type::kBind:
    case Type::kAlterContext:
        Put16(o, d.max_xmit_frag);
        Put16(o, d.max_recv_frag);
        Put32(o, d.assoc_group);
        Put32(o, uint32_t(d.contexts.size() & 0xff));
        for (auto &c : d.contexts) {
            Put16(o, c.id);
            Put16(o, uint16_t(c.transfers.size() & 0xff));
            PutSyntax(o, c.abstract);
            for (auto &t : c.transfers) PutSyntax(o, t);
        }
        break;
    case Type::kBindAck:
    case Type::kAlterContextResp:
        Put16(o, d.max_xmit_frag);
        Put16(o, d.max_recv_frag);
        Put32(o, d.assoc_group);
        if (d.sec_addr.empty()) {
            Put16(o, 0);
        } else {
            Put16(o, uint16_t(d.sec_addr.size() + 1));
            o->insert(o->end(), d.sec_addr.begin(), d.sec_addr.end());
            Put8(o, 0);
        }
        while ((o->size() - start) % 4) Put8(o, 0);
        Put32(o, uint32_t(d.results.size() & 0xff));
        for (auto &c : d.results) {
            Put16(o, c.result);
            Put16(o, c.reason);
            PutSyntax(o, c.transfer);
        }
        break;
    case Type::kBindNak:
        Put16(o, d.reject_reason);
        Put8(o, 1); // the one version offered: 5.0
        Put8(o, 5);
        Put8(o, 0);
        break;
    case Type::kRequest:
        Put32(o, d.alloc_hint);
        Put16(o, d.context_id);
        Put16(o, d.opnum);
        if (!d.object.IsNil()) o->insert(o->end(), d.object.bytes, d.object.bytes + 16);
        stub();
        break;
    case Type::kResponse:
    case Type::kFault:
        Put32(o, d.alloc_hint);
        Put16(o, d.context_id);
        Put8(o, d.cancel_count);
        Put8(o, 0);
        if (d.type == Type::kFault) {
            Put32(o, d.status);
            Put32(o, 0);
        }
        stub();
        break;
    case Type::kAuth3:
        Put16(o, d.max_xmit_frag);
        Put16(o, d.max_recv_frag);
        break;
    default: break;
    }
    if (d.has_auth) {
        uint8_t pad = uint8_t((4 - (o->size() - start) % 4) % 4);
        o->insert(o->end(), pad, 0);
        Put8(o, d.auth.type);
        Put8(o, d.auth.level);
        Put8(o, pad);
        Put8(o, 0);
        Put32(o, d.auth.context_id);
        o->insert(o->end(), d.auth.value.begin(), d.auth.value.end());
    }
    size_t len = o->size() - start;
    if (len > 0xffff || (d.has_auth && d.auth.value.size() > 0xffff)) {
        o->resize(start);
        return kProtocolError;
    }
    Set16(o, start + 8, uint16_t(len));
    return kOk;
}

uint32_t Reassembly::Add(const Pdu &pdu, const char **why) {
    if (!active_) {
        if (!(pdu.flags & kFirstFrag)) {
            *why = "a fragment without a first one";
            return kProtocolError;
        }
        if (pdu.alloc_hint > max_size_) {
            *why = "a call announcing more bytes than allowed";
            return kProtocolError;
        }
        Reset();
        active_ = true;
        call_id_ = pdu.call_id;
        first_ = pdu;
        first_.stub = nullptr;
        first_.stub_size = 0;
    } else if (pdu.call_id != call_id_ || (pdu.flags & kFirstFrag) || pdu.type != first_.type) {
        *why = "a fragment of another call inside a call";
        return kProtocolError;
    }
    if (++fragments_ > max_fragments_) {
        *why = "too many fragments";
        return kProtocolError;
    }
    if (pdu.stub_size > max_size_ - data_.size()) {
        *why = "a call larger than allowed";
        return kProtocolError;
    }
    data_.insert(data_.end(), pdu.stub, pdu.stub + pdu.stub_size);
    if (pdu.flags & kLastFrag) complete_ = true;
    return kOk;
}

void Reassembly::Reset() {
    active_ = false;
    complete_ = false;
    fragments_ = 0;
    data_.clear();
    first_ = Pdu{};
}

} // namespace vrcore::rpc::pdu
