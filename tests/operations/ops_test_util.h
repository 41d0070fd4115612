// Helpers of the operation tests: a status list that cleans up, random
// valid values of the packable syntaxes, and the attributes that carry them.
#pragma once

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "encoding/ber_values.h"
#include "random_value.h"
#include "vrcore/genu.h"

namespace vrtest_ops {

struct Status {
    STF_List *list = STF_CreateList(nullptr);
    Status() = default;
    Status(const Status &) = delete;
    Status &operator=(const Status &) = delete;
    ~Status() { STF_DeleteList(list); }
    uint32_t code() const { return STF_GetStatus(list); }
};

// A random valid value of a syntax in a buffer big enough for any; texts
// point into the strings kept here.
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
        if (!made) return;
        STF_List *st = STF_CreateList(nullptr);
        made_desc.del(st, made, &genu_ossAllocator[0]);
        STF_DeleteList(st);
        made = nullptr;
    }
    // The value's address.
    const void *data() const { return made ? made : bytes; }

    std::string Printable(std::mt19937 &rng, size_t min, size_t max) {
        std::string s(min + rng() % (max - min + 1), 'a');
        for (auto &c : s) c = static_cast<char>(0x20 + rng() % 0x5f);
        return s;
    }

    template <class T>
    void Put(const T &v) {
        static_assert(sizeof(T) <= sizeof bytes);
        memcpy(bytes, &v, sizeof v);
    }

    // False for a syntax this generator does not know.
    bool Fill(uint32_t syntax, std::mt19937 &rng) {
        Release();
        memset(bytes, 0, sizeof bytes);
        auto real = [&] {
            return std::ldexp(static_cast<double>(rng() % 1000000), static_cast<int>(rng() % 40) - 20);
        };
        switch (syntax) {
        case 0: Put<GEN_Boolean>(static_cast<GEN_Boolean>(rng() % 2)); return true;
        case 1: case 4: case 22: Put<uint32_t>(static_cast<uint32_t>(rng())); return true;
        case 12: case 15: case 21: case 24: case 44: case 68: Put<int32_t>(static_cast<int32_t>(rng())); return true;
        case 26: Put<uint16_t>(static_cast<uint16_t>(rng())); return true;
        case 71: case 75: Put<int16_t>(static_cast<int16_t>(rng())); return true;
        case 23: case 62: Put<double>(real()); return true;
        case 25: case 63: case 57: Put(GEN_RealRange{real(), real()}); return true;
        case 2: Put(GEN_CardinalRange{static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng())}); return true;
        case 31: Put(GEN_Cardinal64{static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng())}); return true;
        case 32:
            Put(GEN_Cardinal64Range{{static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng())},
                                    {static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng())}});
            return true;
        case 14: {
            GEN_JobIdentifier j{};
            std::string s = Printable(rng, 1, 255);
            memcpy(j.value, s.data(), s.size());
            Put(j);
            return true;
        }
        case 5: case 16: case 28: {
            GEN_Text t{};
            t.kind = static_cast<int32_t>(1 + rng() % 5);
            text = Printable(rng, 1, rng() % 8 ? 60 : 4095);
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
        case 27: case 40: {
            GEN_SimpleName n{};
            n.kind = static_cast<int32_t>(1 + rng() % 5);
            std::string s = Printable(rng, 1, 255);
            if (n.kind <= GEN_KIND_STRING) {
                memcpy(n.u.string, s.data(), s.size());
            } else {
                n.u.counted.length = static_cast<uint16_t>(s.size());
                memcpy(n.u.counted.value, s.data(), s.size());
            }
            Put(n);
            return true;
        }
        case 20: {
            octets.resize(1 + rng() % 200);
            for (auto &c : octets) c = static_cast<unsigned char>(rng());
            Put(GEN_OctetString{static_cast<int32_t>(octets.size()), octets.data()});
            return true;
        }
        case 48: {
            GEN_GeneralizedTime t{};
            t.utc = static_cast<int32_t>(rng() % 2);
            t.year = static_cast<int16_t>(t.utc ? 70 + rng() % 100 : 1970 + rng() % 100);
            t.month = static_cast<int16_t>(1 + rng() % 12);
            t.day = static_cast<int16_t>(1 + rng() % 28);
            t.hour = static_cast<int16_t>(rng() % 24);
            t.minute = static_cast<int16_t>(rng() % 60);
            t.second = static_cast<int16_t>(rng() % 60);
            t.millisecond = static_cast<int16_t>(rng() % 1000);
            t.mindiff = static_cast<int16_t>(t.utc ? 0 : static_cast<int>(rng() % 1441) - 720);
            Put(t);
            return true;
        }
        default: {
            // The library-shaped syntaxes come from the shared generator.
            int pdu = GENU_TypeToPDU(syntax);
            const GENU_ValueDescriptor *d = GENU_AVT2Descriptor(syntax);
            if (pdu < 0 || !d || !vrber::ValuePduType(pdu)) return false;
            vrtest::RandomValues gen(static_cast<uint32_t>(rng()));
            gen.single_set_elements = true;
            made = gen.Make(pdu);
            made_desc = *d;
            return made != nullptr;
        }
        }
    }
};

// The built-in attributes whose registry syntax both packs and has a
// random generator here.
inline std::vector<GENU_ShortOID> PackableAttributes() {
    std::vector<GENU_ShortOID> ids;
    STF_List *st = STF_CreateList(nullptr);
    std::mt19937 rng(1);
    auto consider = [&](GENU_ShortOID id) {
        if (strncmp(GENU_ShortOIDToAscii(id), "id-att-", 7) != 0) return;
        int32_t type = -1;
        if (GENU_AttrIdToType(st, id, &type) || type < 0) return;
        RandomValue v;
        if (GENU_TypeToPDU(static_cast<uint32_t>(type)) < 0 || !v.Fill(static_cast<uint32_t>(type), rng)) return;
        ids.push_back(id);
    };
    for (GENU_ShortOID id = 1; id <= 1092; ++id) consider(id);
    for (GENU_ShortOID id = 3000; id <= 3562; ++id) consider(id);
    STF_DeleteList(st);
    return ids;
}

} // namespace vrtest_ops
