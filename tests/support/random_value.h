// Random valid values: RandomValues walks the encoding's type descriptions (a
// subclass changes where blocks come from and what open members hold);
// RandomValue holds a value of any packable syntax.
#pragma once

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "encoding/ber_runtime.h"
#include "encoding/ber_values.h"
#include "encoding/ber_world.h"
#include "status_list.h"
#include "vrcore/genu.h"

namespace vrtest {

class RandomValues {
  public:
    explicit RandomValues(uint32_t seed) : rng_(seed) {}
    virtual ~RandomValues() = default;
    RandomValues(const RandomValues &) = delete;
    RandomValues &operator=(const RandomValues &) = delete;
    // Sets of at most one element keep a peer's canonical re-encoding in order.
    bool single_set_elements = false;

    // A new value of a library-shaped PDU; a list PDU gives its first node (never none).
    void *Make(int pdu) {
        const vrcore::ber::Type *t = vrcore::ber::PduType(pdu);
        if (!t) return nullptr;
        if (t->kind == vrcore::ber::Kind::SeqOf || t->kind == vrcore::ber::Kind::SetOf) {
            void *head = nullptr;
            do {
                List(*t, &head, "", "", 0);
            } while (!head);
            return head;
        }
        void *v = Alloc(t->size);
        Fill(*t, v, "", "", 0);
        return v;
    }

    uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>(rng_() % n) : 0; }

    // An identifier with an encoded form that names it alone (the table
    // holds a few aliases of one value, which come back as the first).
    GENU_ShortOID Oid() {
        StatusList st;
        for (;;) {
            GENU_ShortOID id = 1 + Below(1092), back = 0;
            GENU_BerOID b{};
            if (!GENU_ShortToBerOID(st, id, &b) && b.length && !GENU_BerToShortOID(st, &b, &back) &&
                back == id)
                return id;
        }
    }

  protected:
    virtual void *Alloc(size_t n) {
        void *p = _GENU__MyMalloc(n ? n : 1);
        memset(p, 0, n ? n : 1);
        return p;
    }
    // An open member of a `parent` type: here one encoded short octet string.
    virtual void Open(GEN_OctetString *o, const std::string & /*parent*/,
                      const std::string & /*member*/) {
        uint32_t n = Below(20);
        o->length = static_cast<int32_t>(n + 2);
        o->value = static_cast<unsigned char *>(Alloc(n + 3));
        o->value[0] = 0x04;
        o->value[1] = static_cast<unsigned char>(n);
        for (uint32_t i = 0; i < n; ++i) o->value[2 + i] = static_cast<unsigned char>(rng_());
    }
    // True when the named type was filled as a whole.
    virtual bool Whole(const vrcore::ber::Type & /*t*/, void * /*v*/) { return false; }

    void Fill(const vrcore::ber::Type &t, void *v, const std::string &parent,
              const std::string &member, int depth) {
        using vrcore::ber::Kind;
        auto *base = static_cast<unsigned char *>(v);
        if (Whole(t, v)) return;
        switch (t.kind) {
        case Kind::Bool: *base = static_cast<unsigned char>(Below(2)); return;
        case Kind::Int:
        case Kind::Enum: {
            uint64_t x = (static_cast<uint64_t>(rng_()) << 32) | rng_();
            if (Below(3) == 0) x &= 0xff;
            memcpy(v, &x, t.width);
            return;
        }
        case Kind::Real: {
            double d = std::ldexp(static_cast<double>(rng_()), static_cast<int>(Below(200)) - 100);
            memcpy(v, &d, sizeof d);
            return;
        }
        case Kind::Null: return;
        case Kind::Oid:
            GENU_ShortToBerOID(StatusList(), Oid(), static_cast<GENU_BerOID *>(v));
            return;
        case Kind::Octets: {
            auto *o = static_cast<GEN_OctetString *>(v);
            uint32_t n = Below(24);
            if (!n) return;
            o->length = static_cast<int32_t>(n);
            o->value = static_cast<unsigned char *>(Alloc(n + 1));
            for (uint32_t i = 0; i < n; ++i) o->value[i] = static_cast<unsigned char>(rng_());
            return;
        }
        case Kind::Open: Open(static_cast<GEN_OctetString *>(v), parent, member); return;
        case Kind::StringIn: Chars(static_cast<char *>(v), t.max, t.univ); return;
        case Kind::Seq:
        case Kind::Set:
            for (uint32_t i = 0; i < t.nmembers; ++i) {
                const vrcore::ber::Member &m = t.members[i];
                // Members that are never sent stay absent.
                bool never = !strcmp(m.name, "reserved") || (!strcmp(t.name, "ResumeJobArgument") &&
                                                             !strcmp(m.name, "checkpoint"));
                if ((m.presence || m.ptr_optional) && (never || depth > 6 || Below(2))) continue;
                base[0] |= m.presence;
                Fill(*m.type, base + m.offset, t.name, m.name, depth + 1);
            }
            return;
        case Kind::Choice: {
            // Deep filters are items.
            const vrcore::ber::Member &m = t.members[depth > 6 ? 0 : Below(t.nmembers)];
            if (t.flags & vrcore::ber::kChoice32)
                *static_cast<uint32_t *>(v) = m.choice;
            else
                *static_cast<uint16_t *>(v) = m.choice;
            Fill(*m.type, base + m.offset, t.name, m.name, depth + 1);
            return;
        }
        case Kind::SeqOf:
        case Kind::SetOf: List(t, v, parent, member, depth); return;
        case Kind::Ptr: {
            void *p = Alloc(t.elem->size);
            *static_cast<void **>(v) = p;
            Fill(*t.elem, p, parent, member, depth + 1);
            return;
        }
        case Kind::Map: Map(t, v); return;
        default: ADD_FAILURE() << "no generator for " << t.name; return;
        }
    }

    std::mt19937 rng_;

  private:
    char Char(uint8_t univ) {
        static const char digits[] = "0123456789 ";
        static const char printable[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 '()+,-./:=?";
        if (univ == 18) return digits[Below(sizeof digits - 1)];
        if (univ == 19) return printable[Below(sizeof printable - 1)];
        return static_cast<char>(0x20 + Below(0x5f));
    }
    void Chars(char *dst, size_t max, uint8_t univ) {
        size_t n = Below(static_cast<uint32_t>(max) + 1);
        for (size_t i = 0; i < n; ++i) dst[i] = Char(univ);
        dst[n] = 0;
    }

    void Text(GEN_Text *t) {
        t->kind = static_cast<int32_t>(1 + Below(5));
        size_t n = Below(Below(8) ? 30 : 4096);
        if (t->kind <= 2) {
            if (!n) return;
            t->u.string = static_cast<char *>(Alloc(n + 1));
            for (size_t i = 0; i < n; ++i) t->u.string[i] = Char(22);
            return;
        }
        if (t->kind == 5 && Below(2)) t->charset = Oid();
        if (!n) return;
        t->u.octets.length = static_cast<int32_t>(n);
        t->u.octets.value = static_cast<unsigned char *>(Alloc(n + 1));
        for (size_t i = 0; i < n; ++i)
            t->u.octets.value[i] = static_cast<unsigned char>(t->kind == 4 ? rng_() : Char(22));
    }

    void Name(GEN_SimpleName *n) {
        n->kind = static_cast<int32_t>(1 + Below(5));
        size_t len = Below(256);
        if (n->kind <= 2) {
            for (size_t i = 0; i < len; ++i) n->u.string[i] = Char(22);
            return;
        }
        if (n->kind == 5 && Below(2)) n->charset = Oid();
        n->u.counted.length = static_cast<uint16_t>(len);
        for (size_t i = 0; i < len; ++i)
            n->u.counted.value[i] = static_cast<unsigned char>(n->kind == 4 ? rng_() : Char(22));
    }

    void Map(const vrcore::ber::Type &t, void *v) {
        std::string name = t.name;
        if (name == "ObjectIdentifier") {
            *static_cast<GENU_ShortOID *>(v) = Oid();
        } else if (name == "Text") {
            Text(static_cast<GEN_Text *>(v));
        } else if (name == "SimpleName") {
            Name(static_cast<GEN_SimpleName *>(v));
        } else if (name == "GraphicString") {
            char *s = static_cast<char *>(Alloc(41));
            Chars(s, 40, 22);
            *static_cast<char **>(v) = s;
        } else if (name == "PersonalName") {
            auto *p = static_cast<GEN_PersonalName *>(v);
            Chars(p->surname, 40, 19);
            Chars(p->given_name, 16, 19);
            Chars(p->initials, 5, 19);
            Chars(p->generation_qualifier, 3, 19);
        } else if (name == "BuiltInDomainDefinedAttributes") {
            auto *a = static_cast<GEN_DomainDefinedAttrs *>(v);
            a->count = static_cast<uint16_t>(Below(GEN_DDA_MAX + 1));
            for (uint16_t i = 0; i < a->count; ++i) {
                Chars(a->attrs[i].type, 8, 19);
                Chars(a->attrs[i].value, 128, 19);
            }
        } else if (name == "Locale") {
            auto *l = static_cast<GEN_Locale *>(v);
            l->language_length = static_cast<uint16_t>(Below(3));
            l->territory_length = static_cast<uint16_t>(Below(3));
            for (int i = 0; i < l->language_length; ++i)
                l->language[i] = static_cast<char>('a' + Below(26));
            for (int i = 0; i < l->territory_length; ++i)
                l->territory[i] = static_cast<char>('A' + Below(26));
            if (Below(2)) l->code_set = Oid();
        } else if (name == "ExtensionAttributeType") {
            *static_cast<int32_t *>(v) = static_cast<int32_t>(1 + Below(23));
        } else if (name == "Attribute") {
            // An attribute of its own set: a job name with one to three
            // names, or a priority.
            StatusList st;
            AS_SetHandle set = nullptr;
            AS_Create(st, &set, nullptr, 0);
            bool names = Below(2);
            GENU_ShortOID id = 0;
            GENU_AsciiToShortOID(st, names ? "id-att-job-name" : "id-att-job-priority", &id);
            AS_AttrHandle attr = nullptr;
            uint32_t n = names ? 1 + Below(3) : 1;
            for (uint32_t i = 0; i < n; ++i) {
                if (names) {
                    GEN_SimpleName name_value{};
                    Name(&name_value);
                    AS_AddAttrValM(st, set, id, 27, &name_value, &GENU_SimpleNameDesc, nullptr);
                } else {
                    GEN_Priority p = static_cast<GEN_Priority>(Below(100));
                    AS_AddAttrValM(st, set, id, 75, &p, &GENU_PriorityDesc, nullptr);
                }
            }
            AS_FindAttr(st, set, id, &attr);
            AS_FreeSetHandle(st, &set);
            *static_cast<AS_AttrHandle *>(v) = attr;
        } else {
            ADD_FAILURE() << "no generator for " << name;
        }
    }

    void List(const vrcore::ber::Type &t, void *field, const std::string &parent,
              const std::string &member, int depth) {
        uint32_t n = depth > 6 ? 0 : Below(4);
        if (t.kind == vrcore::ber::Kind::SetOf && single_set_elements && n > 1) n = 1;
        void **link = static_cast<void **>(field);
        for (uint32_t i = 0; i < n; ++i) {
            void *node = Alloc(t.node_size);
            *link = node;
            link = static_cast<void **>(node);
            Fill(*t.elem, static_cast<unsigned char *>(node) + t.elem_offset, parent, member,
                 depth + 1);
        }
    }
};

// A value of a packable syntax; texts point into the strings kept here. `wide`
// reaches a codec's edges: empty texts and octets, zero, negative and huge reals,
// booleans other than 0 and 1, any bytes in fixed-size strings, times from 1900.
struct RandomValue {
    alignas(8) unsigned char bytes[512] = {};
    std::string text;
    std::vector<unsigned char> octets;
    void *made = nullptr; // a value of a library-shaped syntax
    GENU_ValueDescriptor made_desc{};

    RandomValue() = default;
    RandomValue(const RandomValue &) = delete;
    RandomValue &operator=(const RandomValue &) = delete;
    ~RandomValue() { Release(); }
    void Release() {
        if (made) made_desc.del(StatusList(), made, &genu_ossAllocator[0]);
        made = nullptr;
    }
    // The value's address.
    const void *data() const { return made ? made : bytes; }

    std::string Printable(std::mt19937 &rng, size_t min, size_t max) {
        std::string s(min + rng() % (max - min + 1), 'a');
        for (auto &c : s) c = static_cast<char>(0x20 + rng() % 0x5f);
        return s;
    }

    template <class T> void Put(const T &v) {
        static_assert(sizeof(T) <= sizeof bytes);
        memcpy(bytes, &v, sizeof v);
    }

    // False for a syntax this generator does not know.
    bool Fill(uint32_t syntax, std::mt19937 &rng, bool wide = false) {
        Release();
        for (auto &c : bytes) c = wide ? static_cast<unsigned char>(rng()) : 0;
        auto u32 = [&] { return static_cast<uint32_t>(rng()); };
        auto real = [&](bool second) {
            if (!wide)
                return std::ldexp(static_cast<double>(rng() % 1000000),
                                  static_cast<int>(rng() % 40) - 20);
            if (second) return -static_cast<double>(rng()) / 3;
            return rng() % 5 == 0 ? 0.0
                                  : std::ldexp(static_cast<double>(rng()),
                                               static_cast<int>(rng() % 2000) - 1000);
        };
        // Plain numbers of 32 or 16 bits (the low bytes of a random word).
        for (uint32_t plain : {1, 4, 22, 12, 15, 21, 24, 44, 68, 26, 71, 75})
            if (syntax == plain) return Put(u32()), true;
        switch (syntax) {
        case 0: Put<GEN_Boolean>(static_cast<GEN_Boolean>(rng() % (wide ? 3 : 2))); return true;
        case 23:
        case 62: Put<double>(real(false)); return true;
        case 25:
        case 63:
        case 57: Put(GEN_RealRange{real(false), real(true)}); return true;
        case 2: Put(GEN_CardinalRange{u32(), u32()}); return true;
        case 31: Put(GEN_Cardinal64{u32(), u32()}); return true;
        case 32: Put(GEN_Cardinal64Range{{u32(), u32()}, {u32(), u32()}}); return true;
        case 14: {
            GEN_JobIdentifier j{};
            if (wide) {
                for (auto &c : j.value) c = static_cast<char>(rng());
                j.value[rng() % 256] = 0;
            } else {
                std::string s = Printable(rng, 1, 255);
                memcpy(j.value, s.data(), s.size());
            }
            Put(j);
            return true;
        }
        case 5:
        case 16:
        case 28: {
            GEN_Text t{};
            t.kind = static_cast<int32_t>(1 + rng() % 5);
            text = wide ? Printable(rng, 0, rng() % 4 ? 39 : 4095)
                        : Printable(rng, 1, rng() % 8 ? 60 : 4095);
            octets.assign(text.begin(), text.end());
            if (t.kind <= GEN_KIND_STRING) {
                t.u.string = text.data();
            } else {
                t.u.octets.length = static_cast<int32_t>(octets.size());
                t.u.octets.value = octets.data();
            }
            Put(t);
            return true;
        }
        case 27:
        case 40: {
            GEN_SimpleName n{};
            n.kind = static_cast<int32_t>(1 + rng() % 5);
            std::string s = Printable(rng, wide ? 0 : 1, 255);
            if (n.kind <= GEN_KIND_STRING) {
                memcpy(n.u.string, s.data(), s.size());
            } else {
                n.u.counted.length = static_cast<uint16_t>(s.size());
                for (size_t i = 0; i < s.size(); ++i)
                    n.u.counted.value[i] =
                        wide ? static_cast<unsigned char>(rng()) : static_cast<unsigned char>(s[i]);
            }
            Put(n);
            return true;
        }
        case 20: {
            octets.resize(wide ? rng() % 300 : 1 + rng() % 200);
            for (auto &c : octets) c = static_cast<unsigned char>(rng());
            Put(GEN_OctetString{static_cast<int32_t>(octets.size()),
                                octets.empty() ? nullptr : octets.data()});
            return true;
        }
        case 48: {
            GEN_GeneralizedTime t{};
            t.utc = static_cast<int32_t>(rng() % 2);
            uint32_t first = wide ? 0 : 70, years = wide ? 200 : 100;
            t.year = static_cast<int16_t>((t.utc ? first : 1900 + first) + rng() % years);
            t.month = static_cast<int16_t>(1 + rng() % 12);
            t.day = static_cast<int16_t>(1 + rng() % 28);
            t.hour = static_cast<int16_t>(rng() % 24);
            t.minute = static_cast<int16_t>(rng() % 60);
            t.second = static_cast<int16_t>(rng() % 60);
            t.millisecond = static_cast<int16_t>(wide && rng() % 2 ? 0 : rng() % 1000);
            t.mindiff = static_cast<int16_t>(t.utc ? 0 : static_cast<int>(rng() % 1441) - 720);
            Put(t);
            return true;
        }
        default: {
            int pdu = GENU_TypeToPDU(syntax);
            const GENU_ValueDescriptor *d = GENU_AVT2Descriptor(syntax);
            if (pdu < 0 || !d || !vrcore::ber::ValuePduType(pdu)) return false;
            RandomValues gen(static_cast<uint32_t>(rng()));
            gen.single_set_elements = true;
            made = gen.Make(pdu);
            made_desc = *d;
            return made != nullptr;
        }
        }
    }
};

} // namespace vrtest
