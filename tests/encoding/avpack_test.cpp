// Packing and unpacking values: every supported syntax round-trips, the
// documented edge cases hold, and unsupported syntaxes fail both ways.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "encoding/ber_world.h"
#include "encoding/codes.h"
#include "failalloc.h"
#include "pack_sweep.h"
#include "vrcore/genu.h"

namespace {

struct Status {
    STF_List *list = STF_CreateList(nullptr);
    ~Status() { STF_DeleteList(list); }
    uint32_t code() const { return STF_GetStatus(list); }
};

// Packs and unpacks; returns the new value (null on failure).
void *RoundTrip(uint32_t type, const void *value, GENU_ValueDescriptor *desc) {
    Status st;
    GENU_Buffer b{};
    if (ODP_PackAV(st.list, type, value, &b)) {
        ADD_FAILURE() << "pack " << type << std::hex << " " << st.code();
        return nullptr;
    }
    void *out = nullptr;
    if (ODP_UnpackAV(st.list, b.length, b.value, type, &out, desc))
        ADD_FAILURE() << "unpack " << type << std::hex << " " << st.code();
    _GENU__MyFree(b.value);
    return out;
}

void Release(void *v, const GENU_ValueDescriptor &d) {
    Status st;
    d.del(st.list, v, &genu_ossAllocator[0]);
}

TEST(PackAV, FlatSyntaxesRoundTripBitForBit) {
    std::mt19937 rng(11);
    const uint32_t flat[] = {1, 2, 4, 12, 14, 15, 21, 22, 23, 24, 25, 26, 31, 32, 44, 57, 62, 63, 68, 71, 75};
    for (uint32_t type : flat) {
        for (int round = 0; round < 20; ++round) {
            unsigned char value[256];
            for (auto &c : value) c = static_cast<unsigned char>(rng());
            if (type == 14) value[rng() % 256] = 0; // job identifier
            bool reals = type == 23 || type == 62 || type == 25 || type == 63 || type == 57;
            if (reals) {
                double d[2] = {std::ldexp(static_cast<double>(rng()), static_cast<int>(rng() % 200) - 100),
                               -static_cast<double>(rng()) / 7};
                memcpy(value, d, sizeof d);
            }
            GENU_ValueDescriptor d{};
            void *out = RoundTrip(type, value, &d);
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(d.copy, GENU_AVT2Descriptor(type)->copy) << type;
            size_t n = type == 14 ? strlen(reinterpret_cast<char *>(value)) + 1
                       : type == 2 || type == 25 || type == 31 || type == 63 || type == 57 ? 16 - (type == 2 || type == 31) * 8
                       : type == 32 ? 16
                       : type == 26 || type == 71 || type == 75 ? 2
                       : type == 23 || type == 62 ? 8
                                                  : 4;
            EXPECT_EQ(memcmp(out, value, n), 0) << type;
            Release(out, d);
        }
    }
}

TEST(PackAV, BooleanIsTrueOnlyForOne) {
    for (GEN_Boolean b : {0, 1, 2, -1}) {
        GENU_ValueDescriptor d{};
        void *out = RoundTrip(0, &b, &d);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(*static_cast<GEN_Boolean *>(out), b == 1 ? 1 : 0);
        Release(out, d);
    }
}

TEST(PackAV, TextsAndNamesOfEveryKind) {
    std::string s4095(4095, 'q');
    unsigned char bytes[] = {0, 1, 0xff, 'x'};
    for (uint32_t type : {5u, 16u, 28u}) {
        GEN_Text texts[5] = {};
        texts[0].kind = 1;
        texts[0].u.string = const_cast<char *>("plain");
        texts[1].kind = 2;
        texts[1].u.string = s4095.data();
        texts[2].kind = 3;
        texts[2].u.octets = {4, bytes};
        texts[3].kind = 4;
        texts[3].u.octets = {0, nullptr};
        texts[4].kind = 5;
        texts[4].u.octets = {4, bytes};
        for (auto &t : texts) {
            GENU_ValueDescriptor d{};
            auto *out = static_cast<GEN_Text *>(RoundTrip(type, &t, &d));
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(out->kind, t.kind);
            if (t.kind <= 2) {
                EXPECT_STREQ(out->u.string, t.u.string);
            } else {
                ASSERT_EQ(out->u.octets.length, t.u.octets.length);
                if (t.u.octets.length) {
                    EXPECT_EQ(memcmp(out->u.octets.value, bytes, 4), 0);
                }
            }
            Release(out, d);
        }
    }
    // One character over the limit.
    std::string s4096(4096, 'q');
    GEN_Text over{};
    over.kind = 1;
    over.u.string = s4096.data();
    Status st;
    GENU_Buffer b{};
    EXPECT_EQ(ODP_PackAV(st.list, 28, &over, &b), 1);
    EXPECT_EQ(st.code(), GENU_S_CONV_TEXT);
    over.kind = 6;
    EXPECT_EQ(ODP_PackAV(st.list, 28, &over, &b), 1);
    for (uint32_t type : {27u, 40u}) {
        GEN_SimpleName n{};
        for (int kind = 1; kind <= 5; ++kind) {
            memset(&n, 0, sizeof n);
            n.kind = kind;
            if (kind <= 2) {
                memset(n.u.string, 'n', 255);
            } else {
                n.u.counted.length = static_cast<uint16_t>(kind == 4 ? 0 : 255);
                memset(n.u.counted.value, 0xab, n.u.counted.length);
            }
            GENU_ValueDescriptor d{};
            void *out = RoundTrip(type, &n, &d);
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(memcmp(out, &n, sizeof n), 0) << kind;
            Release(out, d);
        }
    }
}

TEST(PackAV, OctetStringsAndTimes) {
    unsigned char bytes[1000];
    for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(i * 7);
    GEN_OctetString o{1000, bytes};
    GENU_ValueDescriptor d{};
    auto *out = static_cast<GEN_OctetString *>(RoundTrip(20, &o, &d));
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->length, 1000);
    EXPECT_EQ(memcmp(out->value, bytes, 1000), 0);
    Release(out, d);
    GEN_GeneralizedTime times[] = {{99, 12, 31, 23, 59, 59, 0, 0, 1},
                                   {2026, 2, 3, 4, 5, 6, 789, -90, 0},
                                   {2026, 2, 3, 4, 5, 6, 0, 330, 0}};
    for (auto &t : times) {
        auto *got = static_cast<GEN_GeneralizedTime *>(RoundTrip(48, &t, &d));
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(memcmp(got, &t, sizeof t), 0);
        Release(got, d);
    }
}

TEST(PackAV, UnsupportedAndEmptyInput) {
    Status st;
    GENU_Buffer b{};
    uint32_t v = 0;
    void *out = &v;
    GENU_ValueDescriptor d{};
    for (uint32_t type : {3u, 13u, 95u, 1000u}) {
        EXPECT_EQ(ODP_PackAV(st.list, type, &v, &b), 1);
        EXPECT_EQ(st.code(), GEN_S_NOTSUPP);
        EXPECT_EQ(ODP_UnpackAV(st.list, 3, reinterpret_cast<const unsigned char *>("\x02\x01\x00"), type, &out, &d), 1);
        EXPECT_EQ(st.code(), GEN_S_NOTSUPP);
        EXPECT_EQ(GENU_TypeToPDU(type), -1);
    }
    EXPECT_EQ(ODP_UnpackAV(st.list, 0, reinterpret_cast<const unsigned char *>(""), 1, &out, &d), 1);
    EXPECT_EQ(st.code(), GENU_S_UNPACK_EMPTY);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ODP_UnpackAV(st.list, 2, reinterpret_cast<const unsigned char *>("\x04\x00"), 1, &out, &d), 1);
    EXPECT_EQ(st.code(), GENU_S_DECODE);
    EXPECT_EQ(ODP_PackAV(nullptr, 1, &v, &b), 1);
}

TEST(PackAV, AllocationFailuresLeaveNothingBehind) {
    auto *w = static_cast<vrber::World *>(GENU_GetWorld());
    auto saved_alloc = w->alloc;
    auto saved_free = w->free;
    w->alloc = vrtest::FailMalloc;
    w->free = vrtest::FailFree;
    Status st;
    for (uint32_t type : {28u, 20u, 27u}) {
        GEN_Text text{};
        text.kind = 2;
        text.u.string = const_cast<char *>("swept through every allocation");
        unsigned char bytes[40] = {1, 2, 3};
        GEN_OctetString octets{40, bytes};
        GEN_SimpleName name{};
        name.kind = 3;
        name.u.counted.length = 3;
        const void *value = type == 28 ? static_cast<const void *>(&text)
                            : type == 20 ? static_cast<const void *>(&octets)
                                         : static_cast<const void *>(&name);
        vrtest::SweepPackUnpack(st.list, type, value);
    }
    w->alloc = saved_alloc;
    w->free = saved_free;
}

} // namespace
