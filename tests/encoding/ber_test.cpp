// The BER runtime and the encoding frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "encoding/ber_types.h"
#include "encoding/ber_world.h"
#include "pack_sweep.h"
#include "vrcore/genu.h"

using namespace vrcore::ber;
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
    EXPECT_EQ(rc ? *out : nullptr, nullptr);
    return rc;
}

// The value of a scalar PDU decoded from `in`.
template <class T> T Scalar(int pdu, const Bytes &in) {
    void *out = nullptr;
    T v{};
    EXPECT_EQ(Dec(pdu, in, &out), 0) << Me()->error;
    if (out) memcpy(&v, out, sizeof v), GENU_OssFreePDU(nullptr, pdu, out);
    return v;
}

TEST(BerEncode, IntegersAreMinimalTwosComplement) {
    struct {
        int32_t v;
        Bytes want;
    } cases[] = {
        {0, {2, 1, 0}},       {127, {2, 1, 0x7f}},        {128, {2, 2, 0, 0x80}},
        {-128, {2, 1, 0x80}}, {-129, {2, 2, 0xff, 0x7f}}, {INT32_MIN, {2, 4, 0x80, 0, 0, 0}}};
    for (auto &c : cases) EXPECT_EQ(Enc(kPduInteger, &c.v), c.want) << c.v;
    uint32_t big = UINT32_MAX;
    EXPECT_EQ(Enc(kPduCardinal, &big), (Bytes{2, 5, 0, 0xff, 0xff, 0xff, 0xff}));
    uint64_t huge = UINT64_MAX;
    EXPECT_EQ(Enc(kPduCardinal64, &huge),
              (Bytes{2, 9, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}));
    void *out;
    // A negative number or one too wide for its field is refused.
    EXPECT_NE(Dec(kPduCardinal, {2, 1, 0xff}, &out), 0);
    EXPECT_NE(Dec(kPduCardinal, {2, 5, 1, 0, 0, 0, 0}, &out), 0);
}

// Ordinary reals round-trip in the interop suite; the special ones here.
TEST(BerEncode, SpecialRealsRoundTripBitForBit) {
    const double values[] = {0.0, -0.0, 5e-324, HUGE_VAL, -HUGE_VAL};
    for (double d : values) {
        double got = Scalar<double>(kPduReal, Enc(kPduReal, &d));
        EXPECT_EQ(std::memcmp(&got, &d, sizeof d), 0) << d;
    }
    EXPECT_EQ(Enc(kPduReal, &values[0]), (Bytes{9, 0}));
    EXPECT_EQ(Scalar<double>(kPduReal, {9, 4, 0x02, '1', ',', '5'}), 1.5); // decimal form NR2
}

TEST(BerEncode, LongContentsTakeTheLongLengthForm) {
    BerText t{};
    t.choice = 1;
    memset(t.u.string, 'a', 300);
    Bytes b = Enc(kPduText, &t);
    ASSERT_EQ(b.size(), 304u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 4), (Bytes{0x80, 0x82, 0x01, 0x2c}));
    GENU_Buffer buf{7, reinterpret_cast<unsigned char *>(&t)};
    memset(t.u.string, 'a', sizeof t.u.string); // no terminating zero within the field
    EXPECT_NE(GENU_OssEncode(nullptr, kPduText, &t, &buf), 0);
    EXPECT_EQ(buf.length, 0u);
    EXPECT_EQ(buf.value, nullptr);
    EXPECT_NE(std::string(Me()->error), "");
}

TEST(BerDecode, AcceptsIndefiniteLengthsAndConstructedStrings) {
    // Text choice 5: [4] { octets (constructed, in two segments), code set }
    // with indefinite lengths at both levels.
    Bytes in = {0xa4, 0x80, // [4] indefinite
                0x24, 0x80, // OCTET STRING constructed, indefinite
                0x04, 0x02, 'a',  'b',  0x24, 0x03, 0x04, 0x01,
                'c',  0x00, 0x00, 0x06, 0x03, 0x2b, 0x06, 0x01, // code set 1.3.6.1
                0x00, 0x00};
    void *out;
    ASSERT_EQ(Dec(kPduText, in, &out), 0) << Me()->error;
    auto *t = static_cast<BerText *>(out);
    EXPECT_EQ(t->choice, 5);
    EXPECT_EQ(Bytes(t->u.other.octets.value, t->u.other.octets.value + t->u.other.octets.length),
              (Bytes{'a', 'b', 'c'}));
    EXPECT_TRUE(t->u.other.bit_mask & kCodeSetPresent);
    std::string dump;
    Print(*PduType(kPduText), t, dump);
    EXPECT_NE(dump.find("{1 3 6 1}"), std::string::npos) << dump;
    GENU_OssFreePDU(nullptr, kPduText, out);
    // Non-minimal definite length forms are valid BER as well.
    EXPECT_EQ(Scalar<uint32_t>(kPduCardinal, {0x02, 0x82, 0x00, 0x01, 0x05}), 5u);
}

// Malformed input in general is the fuzz target's; these are the codes
// callers act on.
TEST(BerDecode, RefusesTooDeepTooLongAndUnknown) {
    Bytes deep(20000, 0), name = {0x82, 0x82, 0x01, 0x00};
    for (int i = 0; i < 10000; i += 2) deep[i] = 0x24, deep[i + 1] = 0x80;
    name.resize(4 + 256, 'x');
    void *out;
    EXPECT_EQ(Dec(kPduOctetString, deep, &out), kTooDeep);
    EXPECT_EQ(Dec(kPduSimpleName, name, &out), kLimit);
    EXPECT_NE(Dec(-1, {2, 1, 0}, &out), 0);
    GENU_Buffer b{};
    uint32_t v = 1;
    EXPECT_NE(GENU_OssEncode(nullptr, 100000, &v, &b), 0);
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
    EXPECT_EQ(Scalar<BerOctets>(kPduOctetString, in).length, 256u);
}

TEST(BerFrame, FailingHooksLeaveNothingBehind) {
    vrtest::FailingContext failing;
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
    Bytes in = {0xa4, 0x80, 0x24, 0x80, 0x04, 0x01, 'a',  0x04, 0x01,
                'b',  0x00, 0x00, 0x06, 0x01, 0x2b, 0x00, 0x00};
    vrtest::SweepFailures(
        [&] {
            void *out;
            if (Dec(kPduText, in, &out)) return false;
            GENU_OssFreePDU(nullptr, kPduText, out);
            return true;
        },
        [] {});
    EXPECT_EQ(enc.size(), 3008u);
}

TEST(BerFrame, OneContextPerThread) {
    void *mine = GENU_GetWorld(), *theirs = nullptr;
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(GENU_GetWorld(), mine);
    uint32_t v = 7;
    std::thread([&] { theirs = GENU_GetWorld(), Enc(kPduCardinal, &v); }).join();
    EXPECT_TRUE(theirs && theirs != mine);
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
