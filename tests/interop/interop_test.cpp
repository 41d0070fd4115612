// Every encoding vrcore produces is decoded by the asn1c-generated codec,
// re-encoded there, and decoded again by vrcore into the same value (the
// same canonical encoding). Also checks that asn/pdus.txt and the control
// table agree.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <Boolean.h>
#include <Cardinal.h>
#include <Cardinal64.h>
#include <Cardinal64Range.h>
#include <CardinalRange.h>
#include <DeltaTime.h>
#include <DescriptiveName.h>
#include <Descriptor.h>
#include <Edge.h>
#include <Integer.h>
#include <JobIdentifier.h>
#include <MaximumInteger.h>
#include <MediumDimensions.h>
#include <Message.h>
#include <NonNegativeReal.h>
#include <NonNegativeRealRange.h>
#include <OctetString.h>
#include <PageIdType.h>
#include <PageOrderType.h>
#include <Percent.h>
#include <PositiveInteger.h>
#include <Priority.h>
#include <Real.h>
#include <RealRange.h>
#include <Realization.h>
#include <Sides.h>
#include <SimpleName.h>
#include <Text.h>
#include <Time.h>
#include <DistNameString.h>
#include <DistNameStringSeq.h>
#include <Identifier.h>
#include <NameOrOid.h>
#include <NameOrOidSeq.h>
#include <FontReference.h>
#include <CardinalOrOid.h>
#include <OidCardinalMap.h>
#include <CardinalOrNoid.h>
#include <PosIntOrOid.h>
#include <RPCAddress.h>
#include <DeliveryAddress.h>
#include <EventHandlingProfile.h>
#include <Privileges.h>
#include <Locale.h>
#include <ResultsProfile.h>
#include <PrintCheckpoint.h>
#include <NewJobIdentifier.h>
#include <MediaSelect.h>
#include <DocumentFormat.h>
#include <DocumentContent.h>
#include <InputTrayMedium.h>
#include <NumbersUpSupported.h>
#include <Finishing.h>
#include <ObjectIdentification.h>
#include <FastFilterDef.h>
#include <FileReference.h>
#include <PageSelectSeq.h>
#include <MediaConsumed.h>
#include <MediaConsumedSeq.h>
#include <PreprocessorDefinition.h>
#include <SequenceOfObjectIdentifier.h>
#include <DriverInfo.h>
#include <PSISAccessControlList.h>
#include <ExtACL.h>
#include <SocketAddress.h>
#include <IgnoredAttribute.h>
}

#include "encoding/ber_values.h"
#include "encoding/ber_world.h"
#include "random_value.h"
#include "vrcore/genu.h"

namespace {

using Bytes = std::vector<unsigned char>;

const std::map<std::string, asn_TYPE_descriptor_t *> kPeer = {
    {"Boolean", &asn_DEF_Boolean}, {"OctetString", &asn_DEF_OctetString}, {"Time", &asn_DEF_Time},
    {"Text", &asn_DEF_Text}, {"DescriptiveName", &asn_DEF_DescriptiveName},
    {"Descriptor", &asn_DEF_Descriptor}, {"Message", &asn_DEF_Message}, {"SimpleName", &asn_DEF_SimpleName},
    {"DeltaTime", &asn_DEF_DeltaTime}, {"Integer", &asn_DEF_Integer}, {"Cardinal", &asn_DEF_Cardinal},
    {"PositiveInteger", &asn_DEF_PositiveInteger}, {"CardinalRange", &asn_DEF_CardinalRange},
    {"MaximumInteger", &asn_DEF_MaximumInteger}, {"MediumDimensions", &asn_DEF_MediumDimensions}, {"Cardinal64", &asn_DEF_Cardinal64},
    {"Cardinal64Range", &asn_DEF_Cardinal64Range}, {"Real", &asn_DEF_Real},
    {"NonNegativeReal", &asn_DEF_NonNegativeReal}, {"RealRange", &asn_DEF_RealRange},
    {"NonNegativeRealRange", &asn_DEF_NonNegativeRealRange}, {"Percent", &asn_DEF_Percent},
    {"Realization", &asn_DEF_Realization}, {"Edge", &asn_DEF_Edge}, {"Priority", &asn_DEF_Priority},
    {"JobIdentifier", &asn_DEF_JobIdentifier}, {"Sides", &asn_DEF_Sides},
    {"PageOrderType", &asn_DEF_PageOrderType}, {"PageIdType", &asn_DEF_PageIdType},
    {"DistNameString", &asn_DEF_DistNameString},
    {"DistNameStringSeq", &asn_DEF_DistNameStringSeq},
    {"Identifier", &asn_DEF_Identifier},
    {"NameOrOid", &asn_DEF_NameOrOid},
    {"NameOrOidSeq", &asn_DEF_NameOrOidSeq},
    {"FontReference", &asn_DEF_FontReference},
    {"CardinalOrOid", &asn_DEF_CardinalOrOid},
    {"OidCardinalMap", &asn_DEF_OidCardinalMap},
    {"CardinalOrNoid", &asn_DEF_CardinalOrNoid},
    {"PosIntOrOid", &asn_DEF_PosIntOrOid},
    {"RPCAddress", &asn_DEF_RPCAddress},
    {"DeliveryAddress", &asn_DEF_DeliveryAddress},
    {"EventHandlingProfile", &asn_DEF_EventHandlingProfile},
    {"Privileges", &asn_DEF_Privileges},
    {"Locale", &asn_DEF_Locale},
    {"ResultsProfile", &asn_DEF_ResultsProfile},
    {"PrintCheckpoint", &asn_DEF_PrintCheckpoint},
    {"NewJobIdentifier", &asn_DEF_NewJobIdentifier},
    {"MediaSelect", &asn_DEF_MediaSelect},
    {"DocumentFormat", &asn_DEF_DocumentFormat},
    {"DocumentContent", &asn_DEF_DocumentContent},
    {"InputTrayMedium", &asn_DEF_InputTrayMedium},
    {"NumbersUpSupported", &asn_DEF_NumbersUpSupported},
    {"Finishing", &asn_DEF_Finishing},
    {"ObjectIdentification", &asn_DEF_ObjectIdentification},
    {"FastFilterDef", &asn_DEF_FastFilterDef},
    {"FileReference", &asn_DEF_FileReference},
    {"PageSelectSeq", &asn_DEF_PageSelectSeq},
    {"MediaConsumed", &asn_DEF_MediaConsumed},
    {"MediaConsumedSeq", &asn_DEF_MediaConsumedSeq},
    {"PreprocessorDefinition", &asn_DEF_PreprocessorDefinition},
    {"SequenceOfObjectIdentifier", &asn_DEF_SequenceOfObjectIdentifier},
    {"DriverInfo", &asn_DEF_DriverInfo},
    {"PSISAccessControlList", &asn_DEF_PSISAccessControlList},
    {"ExtACL", &asn_DEF_ExtACL},
    {"SocketAddress", &asn_DEF_SocketAddress},
    {"IgnoredAttribute", &asn_DEF_IgnoredAttribute},
};

struct Row {
    int pdu;
    std::string type;
    uint32_t syntax;
};

std::vector<Row> ReadTable() {
    std::ifstream in(std::string(VRCORE_SOURCE_DIR) + "/asn/pdus.txt");
    std::vector<Row> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        Row r;
        s >> r.pdu >> r.type >> r.syntax;
        rows.push_back(r);
    }
    return rows;
}

int Collect(const void *buffer, size_t size, void *key) {
    auto *out = static_cast<Bytes *>(key);
    const auto *p = static_cast<const unsigned char *>(buffer);
    out->insert(out->end(), p, p + size);
    return 0;
}

// A random library value of the syntax, in a buffer big enough for any.
struct RandomValue {
    alignas(8) unsigned char bytes[512] = {};
    std::string text;
    Bytes octets;
};

void Fill(uint32_t syntax, std::mt19937 &rng, RandomValue &v) {
    for (auto &c : v.bytes) c = static_cast<unsigned char>(rng());
    switch (syntax) {
    case 0: *reinterpret_cast<GEN_Boolean *>(v.bytes) = static_cast<GEN_Boolean>(rng() % 3); break;
    case 14: v.bytes[rng() % 256] = 0; break;
    case 23: case 62: case 25: case 63: case 57: {
        double d[2] = {std::ldexp(static_cast<double>(rng()), static_cast<int>(rng() % 2000) - 1000),
                       -static_cast<double>(rng()) / 3};
        if (rng() % 5 == 0) d[0] = 0.0;
        memcpy(v.bytes, d, sizeof d);
        break;
    }
    case 5: case 16: case 28: {
        GEN_Text t{};
        t.kind = static_cast<int32_t>(1 + rng() % 5);
        size_t n = rng() % (rng() % 4 ? 40 : 4096);
        v.text.assign(n, 'a');
        for (auto &c : v.text) c = static_cast<char>(0x20 + rng() % 0x5f);
        v.octets.assign(v.text.begin(), v.text.end());
        if (t.kind <= 2) {
            t.u.string = v.text.data();
        } else {
            t.u.octets.length = static_cast<int32_t>(n);
            t.u.octets.value = v.octets.data();
        }
        memcpy(v.bytes, &t, sizeof t);
        break;
    }
    case 27: case 40: {
        GEN_SimpleName n{};
        n.kind = static_cast<int32_t>(1 + rng() % 5);
        size_t len = rng() % 256;
        if (n.kind <= 2) {
            for (size_t i = 0; i < len; ++i) n.u.string[i] = static_cast<char>(0x20 + rng() % 0x5f);
        } else {
            n.u.counted.length = static_cast<uint16_t>(len);
            for (size_t i = 0; i < len; ++i) n.u.counted.value[i] = static_cast<unsigned char>(rng());
        }
        memcpy(v.bytes, &n, sizeof n);
        break;
    }
    case 20: {
        v.octets.resize(rng() % 300);
        for (auto &c : v.octets) c = static_cast<unsigned char>(rng());
        GEN_OctetString o{static_cast<int32_t>(v.octets.size()), v.octets.empty() ? nullptr : v.octets.data()};
        memcpy(v.bytes, &o, sizeof o);
        break;
    }
    case 48: {
        GEN_GeneralizedTime t{};
        t.utc = static_cast<int32_t>(rng() % 2);
        t.year = static_cast<int16_t>(t.utc ? rng() % 200 : 1900 + rng() % 200);
        t.month = static_cast<int16_t>(1 + rng() % 12);
        t.day = static_cast<int16_t>(1 + rng() % 28);
        t.hour = static_cast<int16_t>(rng() % 24);
        t.minute = static_cast<int16_t>(rng() % 60);
        t.second = static_cast<int16_t>(rng() % 60);
        t.millisecond = static_cast<int16_t>(rng() % 2 ? 0 : rng() % 1000);
        t.mindiff = static_cast<int16_t>(t.utc ? 0 : static_cast<int>(rng() % 1441) - 720);
        memcpy(v.bytes, &t, sizeof t);
        break;
    }
    default: break;
    }
}

// Milliseconds since 1970 in UTC.
int64_t Instant(const GEN_GeneralizedTime &t) {
    int64_t y = t.utc ? t.year + 1900 : t.year, m = t.month, d = t.day;
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400, yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    int64_t secs = days * 86400 + t.hour * 3600 + t.minute * 60 + t.second + (t.utc ? 0 : t.mindiff * 60);
    return secs * 1000 + t.millisecond;
}

TEST(Interop, TableAndModuleAgree) {
    auto rows = ReadTable();
    ASSERT_EQ(rows.size(), vrber::PduCount());
    for (const Row &r : rows) {
        EXPECT_NE(vrber::PduType(r.pdu), nullptr) << r.pdu;
        EXPECT_EQ(GENU_TypeToPDU(r.syntax), r.pdu) << r.type;
        EXPECT_TRUE(kPeer.count(r.type)) << r.type;
    }
}

TEST(Interop, PeerDecodesAndReencodesEveryValuePdu) {
    std::mt19937 rng(20261206);
    vrtest::RandomValues shaped(1206);
    shaped.single_set_elements = true;
    STF_List *st = STF_CreateList(nullptr);
    for (const Row &r : ReadTable()) {
        asn_TYPE_descriptor_t *def = kPeer.at(r.type);
        bool library_shaped = vrber::ValuePduType(r.pdu) != nullptr;
        for (int round = 0; round < 40; ++round) {
            RandomValue v;
            void *value = v.bytes;
            if (library_shaped)
                value = shaped.Make(r.pdu);
            else
                Fill(r.syntax, rng, v);
            GENU_Buffer ours{};
            ASSERT_EQ(ODP_PackAV(st, r.syntax, value, &ours), 0) << r.type << std::hex << " " << STF_GetStatus(st);
            void *peer = nullptr;
            asn_dec_rval_t dr = ber_decode(nullptr, def, &peer, ours.value, ours.length);
            ASSERT_EQ(dr.code, RC_OK) << r.type;
            EXPECT_EQ(dr.consumed, ours.length) << r.type;
            Bytes theirs;
            asn_enc_rval_t er = der_encode(def, peer, Collect, &theirs);
            ASSERT_NE(er.encoded, -1) << r.type;
            def->free_struct(def, peer, 0);
            // vrcore decodes the peer's bytes into the same value: the same
            // canonical encoding once unpacked and packed again.
            void *back = nullptr;
            GENU_ValueDescriptor d{};
            ASSERT_EQ(ODP_UnpackAV(st, static_cast<uint32_t>(theirs.size()), theirs.data(), r.syntax, &back, &d), 0)
                << r.type;
            GENU_Buffer again{};
            ASSERT_EQ(ODP_PackAV(st, r.syntax, back, &again), 0) << r.type;
            if (r.syntax == 48) {
                // The peer's canonical form states the same instant in UTC.
                EXPECT_EQ(Instant(*static_cast<GEN_GeneralizedTime *>(back)),
                          Instant(*reinterpret_cast<GEN_GeneralizedTime *>(v.bytes)));
            } else {
                ASSERT_EQ(again.length, ours.length) << r.type;
                EXPECT_EQ(memcmp(again.value, ours.value, ours.length), 0) << r.type;
            }
            if (library_shaped) {
                int32_t cmp = -2;
                if (GEN_CompareAttrValue(st, r.syntax, value, back, &cmp) == 0) {
                    EXPECT_EQ(cmp, 0) << r.type;
                }
                d.del(st, value, &genu_ossAllocator[0]);
            }
            d.del(st, back, &genu_ossAllocator[0]);
            _GENU__MyFree(ours.value);
            _GENU__MyFree(again.value);
        }
    }
    STF_DeleteList(st);
}

} // namespace
