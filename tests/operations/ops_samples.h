// Random attribute-set, error and operation PDUs and their encodings.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "encoding/ber_ops.h"
#include "ops_test_util.h"
#include "vrcore/odpops.h"

namespace vrtest_ops {

struct Sample {
    int pdu;
    Bytes bytes;
};

// Operation PDUs from the shared walker; the arena owns what it made.
class Arena : public vrtest::RandomValues {
  public:
    explicit Arena(std::mt19937 &rng)
        : RandomValues(static_cast<uint32_t>(rng())), ids_(PackableAttributes()) {}
    ~Arena() override {
        for (auto &f : undo_) f();
    }

    void *Make(int pdu) {
        const vrcore::ber::Type *t = vrcore::ber::OpsPduType(pdu);
        void *v = Alloc(t->size);
        Fill(*t, v, "", "", 0);
        return v;
    }
    // One complete encoding of a random value of the syntax.
    GENU_Buffer Value(uint32_t type) {
        Status st;
        RandomValue v;
        v.Fill(type, rng_);
        if (type == 48) {
            // Canonical (UTC, whole seconds), which a peer re-encodes byte for byte.
            auto *t = reinterpret_cast<GEN_GeneralizedTime *>(v.bytes);
            if (!t->utc) t->year = static_cast<int16_t>(t->year - 1900);
            t->utc = 1;
            t->mindiff = t->millisecond = 0;
        }
        GENU_Buffer b{};
        ODP_PackAV(st, type, v.data(), &b);
        undo_.push_back([p = b.value] { _GENU__MyFree(p); });
        return b;
    }
    GENU_BerOID BerOid() {
        Status st;
        GENU_BerOID o{};
        GENU_ShortToBerOID(st, ids_[Below(static_cast<uint32_t>(ids_.size()))], &o);
        return o;
    }
    ODP_BerAttrSet *Set() { return static_cast<ODP_BerAttrSet *>(MakeSet(false)); }

  protected:
    void *Alloc(size_t n) override {
        void *p = calloc(1, n ? n : 1);
        undo_.push_back([p] { free(p); });
        return p;
    }
    // The messages are texts.
    void Open(GEN_OctetString *o, const std::string &parent, const std::string &member) override {
        static const std::map<std::string, uint32_t> syntax = {{"printer-name", 27},
                                                               {"printer", 27},
                                                               {"document-content", 7},
                                                               {"object-instance", 64},
                                                               {"initial-value-object", 64},
                                                               {"object-identification", 64},
                                                               {"event", 18},
                                                               {"checkpoint", 74},
                                                               {"answer-time", 48}};
        auto it = syntax.find(member);
        uint32_t type = parent == "ResubmitJobArgument" && member == "printer" ? 6
                        : it == syntax.end()                                   ? 16
                                                                               : it->second;
        GENU_Buffer b = Value(type);
        o->length = static_cast<int32_t>(b.length);
        o->value = b.value;
    }
    bool Whole(const vrcore::ber::Type &t, void *v) override {
        std::string name = t.name;
        if (name != "AttrSet" && name != "ModAttrSet") return false;
        *static_cast<void **>(v) = MakeSet(name == "ModAttrSet");
        return true;
    }

  private:
    // The encoding structure of a random set, plain or of modifications.
    void *MakeSet(bool mod) {
        Status st;
        AS_SetHandle s = MakeRandomSet(rng_, ids_, 4);
        ODP_BerAttrSet *plain = nullptr;
        ODP_BerModAttrSet *changes = nullptr;
        if (mod)
            ToBER_ModOpAS(st, &changes, &s, ODP_AS_MODE_EXTENDED_ACL);
        else
            ToBER_AS(st, &plain, &s, ODP_AS_MODE_EXTENDED_ACL);
        AS_Destroy(st, &s);
        undo_.push_back([=] { FreeBER_AS(Status(), plain), FreeBER_ModOpAS(Status(), changes); });
        return mod ? static_cast<void *>(changes) : plain;
    }

    std::vector<GENU_ShortOID> ids_;
    std::vector<std::function<void()>> undo_;
};

// The PDU numbers of the attribute sets and of every argument and result.
inline std::vector<int> OperationPdus() {
    std::vector<int> pdus = {ODP_PDU_ATTRIBUTE_SET, ODP_PDU_MODIFICATION_SET, ODP_PDU_ATTRIBUTE,
                             ODP_PDU_SINGLE_VALUE};
    for (int32_t op = 0; op < 30; ++op)
        for (int pdu : {ODP_ArgumentPDU(op), ODP_ResultPDU(op)})
            if (pdu && std::find(pdus.begin(), pdus.end(), pdu) == pdus.end()) pdus.push_back(pdu);
    return pdus;
}

// Set, operation and error PDUs of every kind; false when one could not be built.
inline bool Samples(std::mt19937 &rng, int rounds, std::vector<Sample> &out) {
    Status st;
    for (int r = 0; r < rounds; ++r) {
        Arena a(rng);
        for (int pdu : OperationPdus()) out.push_back(Sample{pdu, Encode(pdu, a.Make(pdu))});
        Parts parts(("job-" + std::to_string(rng() % 1000)).c_str());
        for (uint32_t kind = 1; kind <= 8; ++kind) {
            if (!ObjectsPack() && kind != ERDPA_SECURITY && kind != ERDPA_ATTRIBUTE) continue;
            ERDPA_ErrorResult *e = TwoProblems(parts, kind);
            if (!e) return false;
            if (kind == ERDPA_SECURITY && rng() % 2) {
                auto *p = static_cast<ERDPA_SecurityProblem *>(e->data);
                p->problem_form = ERDPA_EXTENDED_PROBLEM;
                p->problem_code = parts.id;
            }
            int32_t wire = 0;
            GENU_Buffer b{};
            bool ok = !ERDPA_EncodeError(st, e, &wire, &b);
            if (ok)
                out.push_back(
                    Sample{ERDPA_WireKindToPDU(wire), Bytes(b.value, b.value + b.length)});
            _GENU__MyFree(b.value);
            ERDPA_FreeError(st, e);
            if (!ok) return false;
        }
    }
    return true;
}

} // namespace vrtest_ops
