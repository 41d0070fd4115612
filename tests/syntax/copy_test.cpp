// Deep copy and deletion of every value syntax and component.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "failalloc.h"
#include "syntax/gentype.h"
#include "valuegen.h"
#include "vrcore/genu.h"

namespace {

using namespace vrtest;

const GENU_Allocator kFail = {FailMalloc, FailFree};

// The first rounds under failing allocations; a copy equals and outlives its original.
TEST(CopyDelete, RandomValuesThroughDescriptors) {
    StatusList st;
    for (const Described &c : DescribedTypes()) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(0x5eed + static_cast<unsigned>(std::strlen(c.name)));
        for (int round = 0; round < 40; ++round) {
            void *orig = NewRandomValue(rng, *c.type), *copy = nullptr;
            std::string before = Dump(*c.type, orig);
            if (round < 4) {
                SweepFailures(
                    [&] {
                        copy = reinterpret_cast<void *>(1);
                        long live = FailAlloc::Live();
                        if (c.desc->copy(st.Fresh(), &copy, orig, &kFail) != 0) {
                            EXPECT_EQ(copy, nullptr);
                            EXPECT_EQ(st.Code(), GEN_S_NOMEM);
                            return false;
                        }
                        EXPECT_EQ(Dump(*c.type, copy), before);
                        EXPECT_EQ(c.desc->del(st.Fresh(), copy, &kFail), 0);
                        EXPECT_EQ(FailAlloc::Live(), live);
                        return true;
                    },
                    [&] { EXPECT_EQ(Dump(*c.type, orig), before); });
            }
            ASSERT_EQ(c.desc->copy(st.Fresh(), &copy, orig, nullptr), 0) << before;
            EXPECT_EQ(c.desc->del(st.Fresh(), orig, nullptr), 0);
            EXPECT_EQ(Dump(*c.type, copy), before);
            EXPECT_EQ(c.desc->del(st.Fresh(), copy, nullptr), 0);
        }
    }
}

// However deep the fault: outputs stay null, nothing leaks; the longest valid ones copy.
TEST(CopyDelete, InvalidValuesRefused) {
    GEN_Text text = Txt(6, "");
    GEN_OctetString neg{-1, nullptr}, dangling{3, nullptr};
    GEN_SimpleName counted256 = Name(GEN_KIND_OCTETS, ""), counted255 = counted256,
                   unterminated = Name(1, ""), inline255 = unterminated;
    counted256.u.counted.length = 256;
    counted255.u.counted.length = 255;
    std::memset(unterminated.u.string, 'x', sizeof unterminated.u.string); // no NUL within 256
    std::memset(inline255.u.string, 'x', 255);
    GEN_JobIdentifier job;
    std::memset(job.value, 'j', sizeof job.value);
    GEN_DomainDefinedAttrs dda{5, {}};
    // A bad choice deep inside, after blocks were already copied.
    GEN_Text comment = Txt(1, "comment");
    GEN_NameOrOID bin{3, {}};
    uint32_t copies = 2;
    GEN_ResultsProfile profile{nullptr, &comment, nullptr, &copies, &bin};
    GEN_ObjectIdent ident{8, {}};
    using namespace vrcore::syntax;
    const struct {
        const char *what;
        const GENU_ValueDescriptor &desc;
        const TypeInfo &type;
        const void *value;
        uint32_t code;
    } cases[] = {
        {"text kind", GENU_TextDesc, T_Text, &text, GEN_S_INVALID},
        {"negative length", GENU_OctetStringDesc, T_OctetString, &neg, GEN_S_INVALID},
        {"bytes without address", GENU_OctetStringDesc, T_OctetString, &dangling, GEN_S_INVALID},
        {"counted name of 256", GENU_SimpleNameDesc, T_SimpleName, &counted256, GEN_S_INVALID},
        {"counted name of 255", GENU_SimpleNameDesc, T_SimpleName, &counted255, 0},
        {"inline name without NUL", GENU_SimpleNameDesc, T_SimpleName, &unterminated,
         GEN_S_INVALID},
        {"inline name of 255", GENU_SimpleNameDesc, T_SimpleName, &inline255, 0},
        {"job identifier without NUL", GENU_JobIdentifierDesc, T_JobIdentifier, &job,
         GEN_S_INVALID},
        {"attribute count", GENU_DomainDefinedAttrsDesc, T_DomainDefinedAttrs, &dda, GEN_S_INVALID},
        {"deep choice", GENU_ResultsProfileDesc, T_ResultsProfile, &profile, GEN_S_INVALID},
        {"object identification choice", GENU_ObjectIdentDesc, T_ObjectIdent, &ident,
         GEN_S_INVALID},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        StatusList st;
        void *out = reinterpret_cast<void *>(1);
        long live = FailAlloc::Live();
        int rc = c.desc.copy(st, &out, c.value, &kFail);
        EXPECT_EQ(st.Failed(rc), c.code ? c.code : ~0u);
        EXPECT_EQ(rc ? "" : Dump(c.type, out), rc ? "" : Dump(c.type, c.value));
        EXPECT_EQ(rc ? 0 : c.desc.del(st, out, &kFail), 0);
        EXPECT_EQ(out == nullptr, rc != 0);
        EXPECT_EQ(FailAlloc::Live(), live);
    }
}

TEST(CopyDelete, EdgeCasesOfTheRepresentations) {
    StatusList st;
    // An empty octet string copies to no address; counted bytes keep a NUL after them.
    unsigned char ab[2] = {'a', 'b'};
    GEN_OctetString empty{0, ab}, two{2, ab}, *out = nullptr;
    ASSERT_EQ(GEN_CopyOctetString(st, reinterpret_cast<void **>(&out), &empty, nullptr), 0);
    EXPECT_TRUE(out->length == 0 && !out->value);
    GEN_DeleteOctetString(st, out, nullptr);
    ASSERT_EQ(GEN_CopyOctetString(st, reinterpret_cast<void **>(&out), &two, nullptr), 0);
    EXPECT_EQ(out->value[2], 0);
    GEN_DeleteOctetString(st, out, nullptr);

    // No descriptor beyond the table; a null value; an allocator without its free.
    EXPECT_TRUE(!GENU_AVT2Descriptor(95) && !GENU_AVT2Descriptor(0xFFFFFFFFu));
    void *v = nullptr;
    EXPECT_EQ(st.Failed(GEN_DeleteText(st, nullptr, nullptr)), GEN_S_NULLDELETE);
    GEN_Text t = Txt(1, "");
    GENU_Allocator half = {FailMalloc, nullptr};
    EXPECT_EQ(st.Failed(GEN_CopyText(st, &v, &t, &half)), GEN_S_INVALID);

    // Deleting a value with a bad choice reports it and still clears it.
    GEN_NameOrOID bad{9, {5}};
    EXPECT_EQ(st.Failed(GEN_DeepDeleteNameOrOID(st, &bad, nullptr)), GEN_S_INVALID);
    EXPECT_TRUE(bad.choice == 0 && bad.u.oid == 0u);
}

// Filters nest themselves; a copy refuses nesting beyond the bound.
TEST(CopyDelete, NestingIsBounded) {
    StatusList st;
    // Each level is one filter; the innermost holds its item in place.
    std::vector<GEN_Filter> chain(GEN_MAX_NESTING);
    chain[0].choice = GEN_FILTER_ITEM, chain[0].u.item.choice = GEN_ITEM_PRESENT;
    chain[0].u.item.u.present = 649;
    for (size_t i = 1; i < chain.size(); ++i)
        chain[i].choice = GEN_FILTER_NOT, chain[i].u.not_filter = &chain[i - 1];
    void *copy = nullptr;
    ASSERT_EQ(GEN_CopyFilter(st.Fresh(), &copy, &chain[GEN_MAX_NESTING - 2], &kFail), 0);
    EXPECT_EQ(GEN_DeleteFilter(st.Fresh(), copy, &kFail), 0);
    long live = FailAlloc::Live();
    EXPECT_EQ(st.Failed(GEN_CopyFilter(st.Fresh(), &copy, &chain.back(), &kFail)), GEN_S_INVALID);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(FailAlloc::Live(), live);
}

// A byte no field covers can only be padding (under 8 bytes), not a field left out.
TEST(Descriptions, CoverEveryStructure) {
    using vrcore::syntax::FieldKind;
    auto extent = [](const vrcore::syntax::Field &f) -> uint32_t {
        switch (f.kind) {
        case FieldKind::Flat:
        case FieldKind::CharArray:
        case FieldKind::ValueType: return f.size;
        case FieldKind::Octets: return sizeof(GEN_OctetString);
        case FieldKind::Text: return sizeof(GEN_Text);
        case FieldKind::SimpleName: return sizeof(GEN_SimpleName);
        case FieldKind::Inline: return f.type->size;
        case FieldKind::Choice: return 4;
        case FieldKind::CountedArray: return 2;
        default: return sizeof(void *);
        }
    };
    for (size_t i = 0; i < vrcore::syntax::kAllTypesCount; ++i) {
        const vrcore::syntax::TypeInfo &t = *vrcore::syntax::kAllTypes[i];
        std::vector<bool> covered(t.size, false);
        auto mark = [&](uint32_t off, uint32_t n) {
            ASSERT_LE(off + n, t.size) << t.name;
            std::fill(covered.begin() + off, covered.begin() + off + n, true);
        };
        if (t.list) mark(0, sizeof(void *));
        for (const vrcore::syntax::Field &f : std::span(t.fields, t.nfields)) {
            mark(f.offset, extent(f));
            for (uint32_t a = 0; a < f.nalts; ++a)
                mark(f.alts[a].field.offset, extent(f.alts[a].field));
            if (f.kind == FieldKind::CountedArray) mark(f.elem_offset, f.max * f.type->size);
        }
        for (uint32_t b = 0, gap = 0; b < t.size; ++b) {
            gap = covered[b] ? 0 : gap + 1;
            EXPECT_LT(gap, 8u) << t.name << ": the bytes up to offset " << b
                               << " belong to no field";
        }
    }
}

} // namespace
