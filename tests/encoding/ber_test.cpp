// The BER runtime and the encoding frame: exact bytes where they matter,
// any valid BER on input, hostile input, allocation failures, contexts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "encoding/ber_types.h"
#include "encoding/ber_world.h"
#include "failalloc.h"
#include "vrcore/genu.h"

using namespace vrber;
using Bytes = std::vector<unsigned char>;

namespace {

World *Me() { return static_cast<World *>(GENU_GetWorld()); }

Bytes Enc(int pdu, const void *v) {
    GENU_Buffer b{};
    EXPECT_EQ(GENU_OssEncode(nullptr, pdu, v, &b), 0);
    Bytes out(b.value, b.value + b.length);
    _GENU__MyFree(b.value);
    return out;
}

// Decodes, returns 0 and the structure, or the result with a null output.
int Dec(int pdu, const Bytes &in, void **out) {
    GENU_Buffer b{static_cast<uint32_t>(in.size()), const_cast<unsigned char *>(in.data())};
    int rc = GENU_OssDecode(nullptr, &pdu, &b, out);
    if (rc) {
        EXPECT_EQ(*out, nullptr);
    }
    return rc;
}

TEST(BerEncode, IntegersAreMinimalTwosComplement) {
    struct {
        int32_t v;
        Bytes want;
    } cases[] = {{0, {2, 1, 0}},           {127, {2, 1, 0x7f}},          {128, {2, 2, 0, 0x80}},
                 {-128, {2, 1, 0x80}},     {-129, {2, 2, 0xff, 0x7f}},   {256, {2, 2, 1, 0}},
                 {INT32_MIN, {2, 4, 0x80, 0, 0, 0}}};
    for (auto &c : cases) EXPECT_EQ(Enc(kPduInteger, &c.v), c.want) << c.v;
    uint32_t big = UINT32_MAX;
    EXPECT_EQ(Enc(kPduCardinal, &big), (Bytes{2, 5, 0, 0xff, 0xff, 0xff, 0xff}));
    uint64_t huge = UINT64_MAX;
    EXPECT_EQ(Enc(kPduCardinal64, &huge), (Bytes{2, 9, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}));
    void *out;
    ASSERT_EQ(Dec(kPduCardinal64, Enc(kPduCardinal64, &huge), &out), 0);
    EXPECT_EQ(*static_cast<uint64_t *>(out), UINT64_MAX);
    GENU_OssFreePDU(nullptr, kPduCardinal64, out);
    // A negative number or one too wide for its field is refused.
    EXPECT_NE(Dec(kPduCardinal, {2, 1, 0xff}, &out), 0);
    EXPECT_NE(Dec(kPduCardinal, {2, 5, 1, 0, 0, 0, 0}, &out), 0);
    EXPECT_NE(Dec(kPduPercent, {2, 3, 1, 0, 0}, &out), 0);
    EXPECT_NE(Dec(kPduInteger, {2, 2, 0, 1}, &out), 0); // not minimal
}

TEST(BerEncode, RealsRoundTripIncludingSpecialValues) {
    const double values[] = {0.0, -0.0, 1.0, -1.5, 0.1, 1e300, -1e-300, 5e-324, HUGE_VAL, -HUGE_VAL};
    for (double d : values) {
        Bytes b = Enc(kPduReal, &d);
        void *out;
        ASSERT_EQ(Dec(kPduReal, b, &out), 0) << d;
        double got = *static_cast<double *>(out);
        EXPECT_EQ(std::memcmp(&got, &d, sizeof d), 0) << d;
        GENU_OssFreePDU(nullptr, kPduReal, out);
    }
    EXPECT_EQ(Enc(kPduReal, &values[0]), (Bytes{9, 0}));
    // Decimal form: "1.5" in NR2.
    void *out;
    ASSERT_EQ(Dec(kPduReal, {9, 4, 0x02, '1', ',', '5'}, &out), 0);
    EXPECT_EQ(*static_cast<double *>(out), 1.5);
    GENU_OssFreePDU(nullptr, kPduReal, out);
}

TEST(BerEncode, LongContentsTakeTheLongLengthForm) {
    BerText t{};
    t.choice = 1;
    memset(t.u.string, 'a', 300);
    Bytes b = Enc(kPduText, &t);
    ASSERT_EQ(b.size(), 304u);
    EXPECT_EQ(b[0], 0x80);
    EXPECT_EQ(b[1], 0x82);
    EXPECT_EQ(b[2], 0x01);
    EXPECT_EQ(b[3], 0x2c);
    t.u.string[4095] = 'x'; // no terminating zero within the field
    GENU_Buffer buf{7, reinterpret_cast<unsigned char *>(&t)};
    memset(t.u.string, 'a', sizeof t.u.string);
    EXPECT_NE(GENU_OssEncode(nullptr, kPduText, &t, &buf), 0);
    EXPECT_EQ(buf.length, 0u);
    EXPECT_EQ(buf.value, nullptr);
    EXPECT_NE(std::string(Me()->error), "");
}

TEST(BerDecode, AcceptsIndefiniteLengthsAndConstructedStrings) {
    // Text choice 5: [4] { octets (constructed, in two segments), code set }
    // with indefinite lengths at both levels.
    Bytes in = {0xa4, 0x80,                         // [4] indefinite
                0x24, 0x80,                         // OCTET STRING constructed, indefinite
                0x04, 0x02, 'a', 'b', 0x24, 0x03, 0x04, 0x01, 'c', 0x00, 0x00,
                0x06, 0x03, 0x2b, 0x06, 0x01,       // code set 1.3.6.1
                0x00, 0x00};
    void *out;
    ASSERT_EQ(Dec(kPduText, in, &out), 0) << Me()->error;
    auto *t = static_cast<BerText *>(out);
    EXPECT_EQ(t->choice, 5);
    EXPECT_EQ(t->u.other.octets.length, 3);
    EXPECT_EQ(std::memcmp(t->u.other.octets.value, "abc", 3), 0);
    EXPECT_TRUE(t->u.other.bit_mask & kCodeSetPresent);
    EXPECT_EQ(t->u.other.code_set.length, 3u);
    std::string dump;
    Print(*PduType(kPduText), t, dump);
    EXPECT_NE(dump.find("{1 3 6 1}"), std::string::npos) << dump;
    GENU_OssFreePDU(nullptr, kPduText, out);
    // Non-minimal definite length forms are valid BER as well.
    ASSERT_EQ(Dec(kPduCardinal, {0x02, 0x82, 0x00, 0x01, 0x05}, &out), 0);
    EXPECT_EQ(*static_cast<uint32_t *>(out), 5u);
    GENU_OssFreePDU(nullptr, kPduCardinal, out);
}

TEST(BerDecode, RefusesHostileInput) {
    void *out;
    const Bytes bad[] = {
        {},                                       // nothing
        {0x02},                                   // no length
        {0x02, 0x05, 0x01},                       // length beyond the input
        {0x02, 0x84, 0xff, 0xff, 0xff, 0xff, 1},  // huge length
        {0x02, 0x01, 0x01, 0x00},                 // trailing byte
        {0x02, 0x80, 0x01, 0x00, 0x00},           // indefinite primitive
        {0x30, 0x80, 0x02, 0x01, 0x01},           // missing end of contents
        {0x04, 0x01, 0x00},                       // wrong tag
        {0x80, 0x03, 'a', 0, 'b'},                // zero byte in a string
        {0x1f, 0x80, 0x01, 0x00},                 // padded high tag number
        {0x01, 0x02, 0xff, 0xff},                 // long boolean
    };
    for (size_t i = 0; i < std::size(bad); ++i) {
        int pdu = bad[i].size() > 1 && bad[i][0] == 0x80 ? kPduText : kPduCardinal;
        EXPECT_NE(Dec(pdu, bad[i], &out), 0) << i;
    }
    EXPECT_NE(Dec(kPduBoolean, {0x01, 0x02, 0xff, 0xff}, &out), 0);
    // Deeply nested constructed segments stop at the depth limit.
    Bytes deep;
    for (int i = 0; i < 5000; ++i) deep.insert(deep.end(), {0x24, 0x80});
    for (int i = 0; i < 5000; ++i) deep.insert(deep.end(), {0x00, 0x00});
    EXPECT_EQ(Dec(kPduOctetString, deep, &out), kTooDeep);
    // A value beyond its type's capacity.
    Bytes name = {0x82, 0x82, 0x01, 0x00};
    name.resize(4 + 256, 'x');
    EXPECT_EQ(Dec(kPduSimpleName, name, &out), kLimit);
    // Unknown PDU numbers fail both ways.
    GENU_Buffer b{};
    uint32_t v = 1;
    EXPECT_NE(GENU_OssEncode(nullptr, 0, &v, &b), 0);
    EXPECT_NE(GENU_OssEncode(nullptr, 100000, &v, &b), 0);
    EXPECT_NE(Dec(-1, {2, 1, 0}, &out), 0);
}

TEST(BerDecode, AllocationBudgetBoundsTheTree) {
    World *w = Me();
    size_t saved = w->decode_budget;
    w->decode_budget = 100;
    Bytes in = {0x04, 0x82, 0x01, 0x00};
    in.resize(4 + 256, 'x');
    void *out;
    EXPECT_EQ(Dec(kPduOctetString, in, &out), kNoMemory);
    w->decode_budget = saved;
    ASSERT_EQ(Dec(kPduOctetString, in, &out), 0);
    EXPECT_EQ(static_cast<BerOctets *>(out)->length, 256u);
    GENU_OssFreePDU(nullptr, kPduOctetString, out);
}

TEST(BerFrame, FailingHooksLeaveNothingBehind) {
    World *w = Me();
    auto saved_alloc = w->alloc;
    auto saved_free = w->free;
    w->alloc = vrtest::FailMalloc;
    w->free = vrtest::FailFree;
    BerText t{};
    t.choice = 5;
    t.u.other.octets.length = 3000;
    Bytes enc;
    vrtest::SweepFailures(
        [&] {
            GENU_Buffer b{};
            if (GENU_OssEncode(nullptr, kPduText, &t, &b)) {
                EXPECT_EQ(b.value, nullptr);
                return false;
            }
            enc.assign(b.value, b.value + b.length);
            _GENU__MyFree(b.value);
            return true;
        },
        [] {});
    Bytes in = {0xa4, 0x80, 0x24, 0x80, 0x04, 0x01, 'a', 0x04, 0x01, 'b', 0x00, 0x00,
                0x06, 0x01, 0x2b, 0x00, 0x00};
    vrtest::SweepFailures(
        [&] {
            void *out;
            if (Dec(kPduText, in, &out)) return false;
            GENU_OssFreePDU(nullptr, kPduText, out);
            return true;
        },
        [] {});
    w->alloc = saved_alloc;
    w->free = saved_free;
    EXPECT_EQ(enc.size(), 3008u);
}

TEST(BerFrame, OneContextPerThread) {
    void *mine = GENU_GetWorld();
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(GENU_GetWorld(), mine);
    void *theirs = nullptr;
    std::thread th([&] {
        theirs = GENU_GetWorld();
        uint32_t v = 7;
        GENU_Buffer b{};
        EXPECT_EQ(GENU_OssEncode(nullptr, kPduCardinal, &v, &b), 0);
        _GENU__MyFree(b.value);
    });
    th.join();
    EXPECT_NE(theirs, nullptr);
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(GENU_OssFreePDU(nullptr, 99999, nullptr), 0);
}

TEST(BerFrame, ReleaseHelpersSkipNullObjects) {
    STF_List *st = STF_CreateList(nullptr);
    void *a = _GENU__MyMalloc(10);
    void *b = GENU__CoveredMalloc(10);
    EXPECT_EQ(FreeBER_Multiple(st, FreeBER_void, a, FreeBER_void, nullptr, nullptr), 0);
    EXPECT_EQ(FreeGEN_Multiple(st, nullptr, FreeGEN_void, nullptr, FreeGEN_void, b, nullptr), 0);
    STF_DeleteList(st);
}

} // namespace
