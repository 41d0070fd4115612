// Deep copy and deletion of every value syntax and component: random
// values copied, the original deleted, the copy checked intact; failing
// allocations; invalid kinds, choices and lengths.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "failalloc.h"
#include "syntax/gentype.h"
#include "valuegen.h"
#include "vrcore/genu.h"

namespace {

using vrtest::StatusList;


const GENU_Allocator kFail = {vrtest::FailMalloc, vrtest::FailFree};

void *Random(std::mt19937 &rng, const vrsyn::TypeInfo &t) { return vrtest::NewRandomValue(rng, t); }

// Every descriptor the type map hands out is one the sweeps below cover.
TEST(Descriptors, EveryMappedDescriptorIsSwept) {
    for (uint32_t t = 0; t < 95; ++t)
        EXPECT_TRUE(!GENU_AVT2Descriptor(t) || vrtest::TypeOfValueType(t))
            << "type " << t << " has a descriptor the tests do not know";
    EXPECT_EQ(GENU_AVT2Descriptor(95), nullptr);
    EXPECT_EQ(GENU_AVT2Descriptor(0xFFFFFFFFu), nullptr);
}

// Random values copied, the first rounds under every failing allocation:
// a failed copy leaves a null result, nothing allocated and the source
// untouched; a copy equals its original, outlives the original's deletion
// and owns all its blocks (the sanitizer build reports any sharing), each
// from and back to the copy's allocator.
TEST(CopyDelete, RandomValuesThroughDescriptors) {
    StatusList st;
    for (const vrtest::Described &c : vrtest::DescribedTypes()) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(0x5eed + static_cast<unsigned>(std::strlen(c.name)));
        for (int round = 0; round < 40; ++round) {
            void *orig = Random(rng, *c.type);
            std::string before = vrtest::Dump(*c.type, orig);
            void *copy = nullptr;
            if (round < 4) {
                vrtest::SweepFailures(
                    [&] {
                        copy = reinterpret_cast<void *>(1);
                        long live = vrtest::FailAlloc::Live();
                        if (c.desc->copy(st.fresh(), &copy, orig, &kFail) != 0) {
                            EXPECT_EQ(copy, nullptr);
                            EXPECT_EQ(st.code(), GEN_S_NOMEM);
                            return false;
                        }
                        EXPECT_EQ(vrtest::Dump(*c.type, copy), before);
                        EXPECT_EQ(c.desc->del(st.fresh(), copy, &kFail), 0);
                        EXPECT_EQ(vrtest::FailAlloc::Live(), live);
                        return true;
                    },
                    [&] { EXPECT_EQ(vrtest::Dump(*c.type, orig), before); });
            }
            ASSERT_EQ(c.desc->copy(st.fresh(), &copy, orig, nullptr), 0) << before;
            EXPECT_EQ(c.desc->del(st.fresh(), orig, nullptr), 0);
            EXPECT_EQ(vrtest::Dump(*c.type, copy), before);
            EXPECT_EQ(c.desc->del(st.fresh(), copy, nullptr), 0);
        }
    }
}

// The deep forms fill a caller's structure and leave it cleared on failure.
TEST(CopyDelete, DeepCopyFailureLeavesDestinationCleared) {
    StatusList st;
    std::mt19937 rng(9);
    GEN_DeliveryAddress *orig = nullptr;
    // A well-filled address: retry until most parts are present.
    for (int i = 0; i < 50; ++i) {
        auto *a = static_cast<GEN_DeliveryAddress *>(Random(rng, vrsyn::T_DeliveryAddress));
        if (a->personal_name && a->organization_unit_names && a->directory_name &&
            a->extension_attrs) {
            orig = a;
            break;
        }
        GEN_DeleteDeliveryAddress(st.fresh(), a, nullptr);
    }
    ASSERT_NE(orig, nullptr);
    GEN_DeliveryAddress dst;
    static const GEN_DeliveryAddress zero{};
    long points = vrtest::SweepFailures(
        [&] {
            std::memset(&dst, 0xA5, sizeof dst);
            if (GEN_DeepCopyDeliveryAddress(st.fresh(), &dst, orig, &kFail) != 0) {
                EXPECT_EQ(std::memcmp(&dst, &zero, sizeof dst), 0);
                return false;
            }
            EXPECT_EQ(GEN_DeepDeleteDeliveryAddress(st.fresh(), &dst, &kFail), 0);
            EXPECT_EQ(std::memcmp(&dst, &zero, sizeof dst), 0);
            return true;
        },
        [] {});
    EXPECT_GT(points, 3);
    GEN_DeleteDeliveryAddress(st.fresh(), orig, nullptr);
}

// Invalid kinds, choices and lengths are refused, outputs stay null and
// nothing leaks, however deep the fault sits.
TEST(CopyDelete, InvalidValuesRefused) {
    StatusList st;
    void *out = reinterpret_cast<void *>(1);

    GEN_Text text{};
    text.kind = 6;
    EXPECT_EQ(st.failed(GEN_CopyText(st.fresh(), &out, &text, nullptr)), GEN_S_INVALID);
    EXPECT_EQ(out, nullptr);

    GEN_OctetString neg{-1, nullptr};
    EXPECT_EQ(st.failed(GEN_CopyOctetString(st.fresh(), &out, &neg, nullptr)), GEN_S_INVALID);
    GEN_OctetString dangling{3, nullptr};
    EXPECT_EQ(GEN_CopyOctetString(st.fresh(), &out, &dangling, nullptr), 1);

    GEN_SimpleName name{};
    name.kind = GEN_KIND_OCTETS;
    name.u.counted.length = 256;
    EXPECT_EQ(st.failed(GEN_CopySimpleName(st.fresh(), &out, &name, nullptr)), GEN_S_INVALID);
    name.u.counted.length = 255;
    ASSERT_EQ(GEN_CopySimpleName(st.fresh(), &out, &name, nullptr), 0);
    EXPECT_EQ(static_cast<GEN_SimpleName *>(out)->u.counted.length, 255);
    GEN_DeleteSimpleName(st.fresh(), out, nullptr);
    name.kind = GEN_KIND_IRV;
    std::memset(name.u.string, 'x', sizeof name.u.string); // no NUL within 256
    EXPECT_EQ(GEN_CopySimpleName(st.fresh(), &out, &name, nullptr), 1);
    name.u.string[255] = 0; // exactly 255 characters
    ASSERT_EQ(GEN_CopySimpleName(st.fresh(), &out, &name, nullptr), 0);
    EXPECT_EQ(std::strlen(static_cast<GEN_SimpleName *>(out)->u.string), 255u);
    GEN_DeleteSimpleName(st.fresh(), out, nullptr);

    GEN_JobIdentifier job;
    std::memset(job.value, 'j', sizeof job.value);
    EXPECT_EQ(GEN_CopyJobIdentifier(st.fresh(), &out, &job, nullptr), 1);
    EXPECT_EQ(out, nullptr);

    GEN_DomainDefinedAttrs dda{};
    dda.count = 5;
    EXPECT_EQ(GEN_CopyDomainDefinedAttrs(st.fresh(), &out, &dda, nullptr), 1);

    // A bad choice deep inside, after blocks were already copied: the
    // partial copy is undone (counted by the failing allocator's ledger).
    GEN_Text comment = vrtest::Irv("comment");
    GEN_NameOrOID bin{};
    bin.choice = 3;
    uint32_t copies = 2;
    GEN_ResultsProfile profile{};
    profile.results_set_comment = &comment;
    profile.job_copies = &copies;
    profile.output_bin = &bin;
    long live = vrtest::FailAlloc::Live();
    EXPECT_EQ(st.failed(GEN_CopyResultsProfile(st.fresh(), &out, &profile, &kFail)), GEN_S_INVALID);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(vrtest::FailAlloc::Live(), live);

    // An object identification of a choice outside 1..7.
    GEN_ObjectIdent oi{};
    oi.choice = 8;
    EXPECT_EQ(st.failed(GEN_CopyObjectIdent(st.fresh(), &out, &oi, nullptr)), GEN_S_INVALID);
}

TEST(CopyDelete, EdgeCasesOfTheRepresentations) {
    StatusList st;
    // An empty octet string copies to length 0 and no address, whatever
    // address it carried.
    unsigned char byte = 'z';
    GEN_OctetString empty{0, &byte};
    void *out = nullptr;
    ASSERT_EQ(GEN_CopyOctetString(st.fresh(), &out, &empty, nullptr), 0);
    EXPECT_EQ(static_cast<GEN_OctetString *>(out)->length, 0);
    EXPECT_EQ(static_cast<GEN_OctetString *>(out)->value, nullptr);
    GEN_DeleteOctetString(st.fresh(), out, nullptr);

    // Copies of counted bytes keep a NUL after the data.
    unsigned char ab[2] = {'a', 'b'};
    GEN_OctetString two{2, ab};
    ASSERT_EQ(GEN_CopyOctetString(st.fresh(), &out, &two, nullptr), 0);
    EXPECT_EQ(static_cast<GEN_OctetString *>(out)->value[2], 0);
    GEN_DeleteOctetString(st.fresh(), out, nullptr);

    // Null arguments.
    EXPECT_EQ(st.failed(GEN_DeleteText(st.fresh(), nullptr, nullptr)), GEN_S_NULLDELETE);
    EXPECT_EQ(st.failed(GEN_CopyText(st.fresh(), &out, nullptr, nullptr)), GEN_S_NULLARG);
    GEN_Text t{};
    EXPECT_EQ(GEN_CopyText(nullptr, &out, &t, nullptr), 1);
    GENU_Allocator half = {vrtest::FailMalloc, nullptr};
    t.kind = 1;
    EXPECT_EQ(st.failed(GEN_CopyText(st.fresh(), &out, &t, &half)), GEN_S_INVALID);

    // Deleting a value with a bad choice reports it and still clears it.
    GEN_NameOrOID bad{};
    bad.choice = 9;
    bad.u.oid = 5;
    EXPECT_EQ(st.failed(GEN_DeepDeleteNameOrOID(st.fresh(), &bad, nullptr)), GEN_S_INVALID);
    EXPECT_EQ(bad.choice, 0);
    EXPECT_EQ(bad.u.oid, 0u);
}


// Filters nest themselves; a copy refuses nesting beyond the bound
// instead of exhausting the stack, and undoes what it made.
TEST(CopyDelete, NestingIsBounded) {
    StatusList st;
    auto chain = [](int depth) {
        auto *leaf = new GEN_Filter{};
        leaf->choice = GEN_FILTER_ITEM;
        leaf->u.item.choice = GEN_ITEM_PRESENT;
        leaf->u.item.u.present = 649;
        GEN_Filter *top = leaf;
        for (int i = 1; i < depth; ++i) {
            auto *f = new GEN_Filter{};
            f->choice = GEN_FILTER_NOT;
            f->u.not_filter = top;
            top = f;
        }
        return top;
    };
    auto drop = [](GEN_Filter *f) {
        while (f) {
            GEN_Filter *next = f->choice == GEN_FILTER_NOT ? f->u.not_filter : nullptr;
            delete f;
            f = next;
        }
    };
    // Each level is one filter; the innermost holds its item in place.
    GEN_Filter *ok = chain(GEN_MAX_NESTING - 1);
    void *copy = nullptr;
    ASSERT_EQ(GEN_CopyFilter(st.fresh(), &copy, ok, &kFail), 0);
    EXPECT_EQ(GEN_DeleteFilter(st.fresh(), copy, &kFail), 0);
    GEN_Filter *deep = chain(GEN_MAX_NESTING);
    long live = vrtest::FailAlloc::Live();
    EXPECT_EQ(st.failed(GEN_CopyFilter(st.fresh(), &copy, deep, &kFail)), GEN_S_INVALID);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(vrtest::FailAlloc::Live(), live);
    drop(ok);
    drop(deep);
}


// Each description accounts for its whole structure: a byte no field
// covers can only be alignment padding (less than 8 bytes), so a field left
// out of a description shows up here instead of as a shallow copy.
TEST(Descriptions, CoverEveryStructure) {
    using vrsyn::Field;
    using vrsyn::FieldKind;
    auto extent = [](const Field &f) -> uint32_t {
        switch (f.kind) {
        case FieldKind::Flat:
        case FieldKind::CharArray:
        case FieldKind::ValueType:
            return f.size;
        case FieldKind::Octets:
            return sizeof(GEN_OctetString);
        case FieldKind::Text:
            return sizeof(GEN_Text);
        case FieldKind::SimpleName:
            return sizeof(GEN_SimpleName);
        case FieldKind::Inline:
            return f.type->size;
        case FieldKind::Choice:
            return 4;
        case FieldKind::CountedArray:
            return 2;
        default:
            return sizeof(void *);
        }
    };
    for (size_t i = 0; i < vrsyn::kAllTypesCount; ++i) {
        const vrsyn::TypeInfo &t = *vrsyn::kAllTypes[i];
        std::vector<bool> covered(t.size, false);
        auto mark = [&](uint32_t off, uint32_t n) {
            ASSERT_LE(off + n, t.size) << t.name;
            for (uint32_t b = off; b < off + n; ++b) covered[b] = true;
        };
        if (t.list) mark(0, sizeof(void *));
        for (uint32_t k = 0; k < t.nfields; ++k) {
            const Field &f = t.fields[k];
            mark(f.offset, extent(f));
            for (uint32_t a = 0; a < f.nalts; ++a)
                mark(f.alts[a].field.offset, extent(f.alts[a].field));
            if (f.kind == FieldKind::CountedArray) mark(f.elem_offset, f.max * f.type->size);
        }
        uint32_t gap = 0;
        for (uint32_t b = 0; b <= t.size; ++b) {
            if (b < t.size && !covered[b]) {
                ++gap;
                continue;
            }
            EXPECT_LT(gap, 8u) << t.name << ": " << gap << " bytes before offset " << b
                               << " belong to no field";
            gap = 0;
        }
    }
}

} // namespace
