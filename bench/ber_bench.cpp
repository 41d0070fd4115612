// Packing and unpacking typical attribute values with vrcore's BER runtime
// beside the asn1c-generated codec of the same ASN.1 module, on the same
// bytes. Items are values; bytes are encoded octets.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "encoding/ber_world.h"
#include "vrcore/genu.h"

#ifdef VRCORE_HAVE_ASN1C
extern "C" {
#include <Boolean.h>
#include <Cardinal.h>
#include <CardinalRange.h>
#include <DocumentFormat.h>
#include <NameOrOid.h>
#include <Integer.h>
#include <OctetString.h>
#include <Real.h>
#include <SimpleName.h>
#include <Text.h>
#include <Time.h>
}
#endif

namespace {

struct Value {
    uint32_t syntax;
    std::vector<unsigned char> storage; // the library value
    std::string text;
    std::vector<unsigned char> octets;
    std::vector<unsigned char> encoded;
    // Parts a document format points to.
    std::shared_ptr<GEN_Text> format_text;
    std::shared_ptr<GEN_SimpleName> format_name;
#ifdef VRCORE_HAVE_ASN1C
    asn_TYPE_descriptor_t *peer = nullptr;
#endif
};

Value MakeText(uint32_t syntax, const char *s) {
    Value v;
    v.syntax = syntax;
    v.text = s;
    GEN_Text t{};
    t.kind = 1;
    v.storage.resize(sizeof t);
    t.u.string = nullptr;
    memcpy(v.storage.data(), &t, sizeof t);
    return v;
}

template <typename T> Value MakeFlat(uint32_t syntax, const T &x) {
    Value v;
    v.syntax = syntax;
    v.storage.resize(sizeof x);
    memcpy(v.storage.data(), &x, sizeof x);
    return v;
}

Value MakeName(const char *s) {
    GEN_SimpleName n{};
    n.kind = 1;
    strncpy(n.u.string, s, 255);
    return MakeFlat(27, n);
}

GENU_ShortOID Id(const char *name) {
    STF_List *st = STF_CreateList(nullptr);
    GENU_ShortOID id = 0;
    if (GENU_AsciiToShortOID(st, name, &id)) abort();
    STF_DeleteList(st);
    return id;
}

Value MakeNoid(const char *name_or_oid, bool is_oid) {
    GEN_NameOrOID n{};
    n.choice = is_oid ? GEN_NOID_OID : GEN_NOID_NAME;
    if (is_oid) {
        n.u.oid = Id(name_or_oid);
    } else {
        n.u.name.kind = 1;
        strncpy(n.u.name.u.string, name_or_oid, 255);
    }
    return MakeFlat(18, n);
}

// A document format with its name and a describing text.
Value MakeFormat(const char *format, const char *name, const char *text) {
    GEN_DocumentFormat f{};
    f.format = Id(format);
    Value v = MakeFlat(43, f);
    if (name) {
        v.format_name = std::make_shared<GEN_SimpleName>();
        v.format_name->kind = 1;
        strncpy(v.format_name->u.string, name, 255);
    }
    if (text) {
        v.format_text = std::make_shared<GEN_Text>();
        v.format_text->kind = 1;
        v.text = text;
    }
    return v;
}

// Fixes up pointers into the value's own storage and encodes it once.
void Prepare(Value &v) {
    if (v.syntax == 28 || v.syntax == 5 || v.syntax == 16) {
        auto *t = reinterpret_cast<GEN_Text *>(v.storage.data());
        t->u.string = v.text.data();
    }
    if (v.syntax == 43) {
        auto *f = reinterpret_cast<GEN_DocumentFormat *>(v.storage.data());
        f->name = v.format_name.get();
        f->text = v.format_text.get();
        if (f->text) f->text->u.string = v.text.data();
    }
    if (v.syntax == 20) {
        auto *o = reinterpret_cast<GEN_OctetString *>(v.storage.data());
        o->value = v.octets.data();
        o->length = static_cast<int32_t>(v.octets.size());
    }
    STF_List *st = STF_CreateList(nullptr);
    GENU_Buffer b{};
    if (ODP_PackAV(st, v.syntax, v.storage.data(), &b)) abort();
    v.encoded.assign(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    STF_DeleteList(st);
#ifdef VRCORE_HAVE_ASN1C
    switch (v.syntax) {
    case 0: v.peer = &asn_DEF_Boolean; break;
    case 1: v.peer = &asn_DEF_Cardinal; break;
    case 2: v.peer = &asn_DEF_CardinalRange; break;
    case 12: v.peer = &asn_DEF_Integer; break;
    case 18: v.peer = &asn_DEF_NameOrOid; break;
    case 43: v.peer = &asn_DEF_DocumentFormat; break;
    case 20: v.peer = &asn_DEF_OctetString; break;
    case 23: v.peer = &asn_DEF_Real; break;
    case 27: v.peer = &asn_DEF_SimpleName; break;
    case 28: v.peer = &asn_DEF_Text; break;
    case 48: v.peer = &asn_DEF_Time; break;
    default: abort();
    }
#endif
}

std::vector<Value> Set(const char *which) {
    std::vector<Value> out;
    std::string w = which;
    if (w == "text") out.push_back(MakeText(28, "Quarterly report, draft 3, for review"));
    if (w == "name-or-oid") {
        out.push_back(MakeNoid("id-val-medium-iso-a4-white", true));
        out.push_back(MakeNoid("tray-2-letterhead", false));
    }
    if (w == "document-format")
        out.push_back(MakeFormat("id-val-document-format-pdf", "PDF 1.4", "portable document"));
    if (w == "job") {
        // The values of a 20-attribute job set.
        out.push_back(MakeText(28, "Quarterly report, draft 3, for review"));
        out.push_back(MakeText(28, "Deliver to room 4.12 before noon"));
        out.push_back(MakeText(28, "accounting"));
        out.push_back(MakeText(28, "job submitted from the web gateway"));
        out.push_back(MakeName("printer-3rd-floor-east"));
        out.push_back(MakeName("alice"));
        out.push_back(MakeName("report.pdf"));
        out.push_back(MakeNoid("id-val-medium-iso-a4-white", true));
        out.push_back(MakeNoid("tray-2-letterhead", false));
        out.push_back(MakeFormat("id-val-document-format-postscript", nullptr, nullptr));
        for (uint32_t c : {1u, 3u, 42u}) out.push_back(MakeFlat<GEN_Cardinal>(1, c));
        out.push_back(MakeFlat<GEN_Integer>(12, -7));
        out.push_back(MakeFlat<GEN_Boolean>(0, 1));
        out.push_back(MakeFlat<GEN_Boolean>(0, 0));
        out.push_back(MakeFlat(48, GEN_GeneralizedTime{126, 12, 6, 20, 35, 0, 0, 0, 1}));
        Value o = MakeFlat(20, GEN_OctetString{});
        o.octets.assign(100, 0x5a);
        out.push_back(o);
        out.push_back(MakeFlat(2, GEN_CardinalRange{1, 10}));
        out.push_back(MakeFlat<GEN_Real>(23, 0.75));
    }
    for (auto &v : out) Prepare(v);
    return out;
}

const char *const kSets[] = {"text", "name-or-oid", "document-format", "job"};

void Account(benchmark::State &state, const std::vector<Value> &vals) {
    size_t bytes = 0;
    for (auto &v : vals) bytes += v.encoded.size();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * vals.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.SetLabel(kSets[state.range(0)]);
}

void BM_vrcore_Pack(benchmark::State &state) {
    auto vals = Set(kSets[state.range(0)]);
    STF_List *st = STF_CreateList(nullptr);
    for (auto _ : state) {
        for (auto &v : vals) {
            GENU_Buffer b{};
            if (ODP_PackAV(st, v.syntax, v.storage.data(), &b)) abort();
            benchmark::DoNotOptimize(b.value);
            _GENU__MyFree(b.value);
        }
    }
    STF_DeleteList(st);
    Account(state, vals);
}

void BM_vrcore_Unpack(benchmark::State &state) {
    auto vals = Set(kSets[state.range(0)]);
    STF_List *st = STF_CreateList(nullptr);
    for (auto _ : state) {
        for (auto &v : vals) {
            void *out;
            GENU_ValueDescriptor d;
            if (ODP_UnpackAV(st, static_cast<uint32_t>(v.encoded.size()), v.encoded.data(),
                             v.syntax, &out, &d))
                abort();
            d.del(st, out, &genu_ossAllocator[0]);
        }
    }
    STF_DeleteList(st);
    Account(state, vals);
}

#ifdef VRCORE_HAVE_ASN1C
void BM_asn1c_Encode(benchmark::State &state) {
    auto vals = Set(kSets[state.range(0)]);
    std::vector<void *> structs;
    for (auto &v : vals) {
        void *p = nullptr;
        if (ber_decode(nullptr, v.peer, &p, v.encoded.data(), v.encoded.size()).code != RC_OK)
            abort();
        structs.push_back(p);
    }
    for (auto _ : state) {
        for (size_t i = 0; i < vals.size(); ++i) {
            // Into a fresh buffer, as the runtime hands out its encodings.
            std::vector<unsigned char> buf(vals[i].encoded.size() + 16);
            asn_enc_rval_t r =
                der_encode_to_buffer(vals[i].peer, structs[i], buf.data(), buf.size());
            if (r.encoded < 0) abort();
            benchmark::DoNotOptimize(buf.data());
        }
    }
    for (size_t i = 0; i < vals.size(); ++i) vals[i].peer->free_struct(vals[i].peer, structs[i], 0);
    Account(state, vals);
}

void BM_asn1c_Decode(benchmark::State &state) {
    auto vals = Set(kSets[state.range(0)]);
    for (auto _ : state) {
        for (auto &v : vals) {
            void *p = nullptr;
            if (ber_decode(nullptr, v.peer, &p, v.encoded.data(), v.encoded.size()).code != RC_OK)
                abort();
            v.peer->free_struct(v.peer, p, 0);
        }
    }
    Account(state, vals);
}
BENCHMARK(BM_asn1c_Encode)->DenseRange(0, 3);
BENCHMARK(BM_asn1c_Decode)->DenseRange(0, 3);
#endif

// The runtime alone, without the value conversions: encode and decode of
// the runtime structures.
void BM_vrcore_Encode(benchmark::State &state) {
    auto vals = Set(kSets[state.range(0)]);
    std::vector<std::pair<int, void *>> structs;
    for (auto &v : vals) {
        int pdu = GENU_TypeToPDU(v.syntax);
        GENU_Buffer in{static_cast<uint32_t>(v.encoded.size()), v.encoded.data()};
        void *p = nullptr;
        if (GENU_OssDecode(nullptr, &pdu, &in, &p)) abort();
        structs.emplace_back(pdu, p);
    }
    for (auto _ : state) {
        for (auto &[pdu, p] : structs) {
            GENU_Buffer b{};
            if (GENU_OssEncode(nullptr, pdu, p, &b)) abort();
            _GENU__MyFree(b.value);
        }
    }
    for (auto &[pdu, p] : structs) GENU_OssFreePDU(nullptr, pdu, p);
    Account(state, vals);
}

void BM_vrcore_Decode(benchmark::State &state) {
    auto vals = Set(kSets[state.range(0)]);
    for (auto _ : state) {
        for (auto &v : vals) {
            int pdu = GENU_TypeToPDU(v.syntax);
            GENU_Buffer in{static_cast<uint32_t>(v.encoded.size()), v.encoded.data()};
            void *p = nullptr;
            if (GENU_OssDecode(nullptr, &pdu, &in, &p)) abort();
            GENU_OssFreePDU(nullptr, pdu, p);
        }
    }
    Account(state, vals);
}

BENCHMARK(BM_vrcore_Pack)->DenseRange(0, 3);
BENCHMARK(BM_vrcore_Unpack)->DenseRange(0, 3);
BENCHMARK(BM_vrcore_Encode)->DenseRange(0, 3);
BENCHMARK(BM_vrcore_Decode)->DenseRange(0, 3);

} // namespace

BENCHMARK_MAIN();
