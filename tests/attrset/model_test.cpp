// Random operations on a set mirrored by a plain model.
#include <random>
#include <string>

#include "as_test_util.h"

using namespace astest;

namespace {

struct MAttr {
    GENU_ShortOID id;
    uint32_t type;
    std::string chars;
    std::vector<int> vals;
    bool operator==(const MAttr &) const = default;
};

std::vector<MAttr> Snapshot(AS_SetHandle h) {
    std::vector<MAttr> out;
    for (auto *a = static_cast<vrcore::attrset::Set *>(h->obj)->first; a; a = a->next) {
        out.push_back(
            {a->id, a->type, std::string(static_cast<const char *>(a->chars), a->chars_size), {}});
        for (auto *v = a->first; v; v = v->next)
            out.back().vals.push_back(*static_cast<int *>(v->value));
    }
    return out;
}

TEST(AttrSetModel, RandomOperationsMatchTheModel) {
    for (uint32_t seed = 1; seed <= 30 && !HasFailure(); ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        auto R = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
        Status st;
        AS_SetHandle set = nullptr;
        ASSERT_EQ(AS_Create(st, &set, &kFailAlloc, 0), 0);
        bool dups = false;
        std::vector<MAttr> model;
        for (int step = 0, next_value = 0; step < 300 && !HasFailure(); ++step) {
            SCOPED_TRACE("step " + std::to_string(step));
            // Few identifiers make duplicates; many make an indexed set.
            auto id = static_cast<GENU_ShortOID>(1 + R(seed % 2 ? 5 : 40));
            uint32_t type = R(8) ? kIntType : kOtherType, expect = 0; // the expected top code
            bool taken = false;
            int op = R(10), rc = 0;
            // Caller values; those the set does not take over are freed after.
            std::vector<int *> vals;
            std::vector<int> ints;
            for (int k = op == 3 ? R(4) : 1; k > 0; --k, ++next_value)
                vals.push_back(MakeInt(next_value)), ints.push_back(next_value);
            // The attribute the identifier names, or the code looking it up fails with.
            int found = -1, named = 0;
            for (size_t i = 0; i < model.size(); ++i)
                if (model[i].id == id && named++ == 0) found = static_cast<int>(i);
            uint32_t missing = !named ? AS_S_NOATTR : dups && named > 1 ? AS_S_MULTIPLE : 0;
            found = missing ? -1 : found;
            switch (op) {
            case 0: // add an attribute, or copy one within the set
            case 8:
                rc = op ? AS_CopyAttr(st, set, set, id, nullptr)
                        : AS_AddAttr(st, set, id, type, nullptr);
                if (!dups && named)
                    expect = AS_S_PRESENT;
                else if (!op || found >= 0)
                    model.push_back(op ? model[found] : MAttr{id, type, "", {}});
                break;
            case 1:
            case 2:
            case 3: { // add or replace one value, or add a list
                AS_ValueList l{static_cast<uint32_t>(vals.size()),
                               reinterpret_cast<void **>(vals.data())};
                rc = op == 1 ? AS_AddAttrVal(st, set, id, type, vals[0], &kIntDesc, nullptr)
                     : op == 2
                         ? AS_ReplaceAllAttrVals(st, set, id, type, vals[0], &kIntDesc, nullptr)
                         : AS_AddAttrValList(st, set, id, type, &l, &kIntDesc, nullptr);
                if (missing == AS_S_MULTIPLE) {
                    expect = AS_S_MULTIPLE;
                } else if (found < 0) {
                    model.push_back({id, type, "", ints});
                } else if (model[found].type != type) {
                    expect = AS_S_WRONGTYPE;
                } else {
                    auto &v = model[found].vals;
                    if (op == 2) v.clear();
                    v.insert(v.end(), ints.begin(), ints.end());
                }
                taken = rc == 0;
                break;
            }
            case 4:
            case 5: // delete an attribute, or all its values
                rc = op == 4 ? AS_DeleteAttr(st, set, id) : AS_DeleteAllAttrVals(st, set, id);
                if (found >= 0 && op == 4) model.erase(model.begin() + found);
                if (found >= 0 && op == 5) model[found].vals.clear();
                break;
            case 6: {
                std::string c(static_cast<size_t>(R(4)), static_cast<char>('a' + R(26)));
                rc = AS_SetAttrCharacteristics(st, set, id, c.data(),
                                               static_cast<uint32_t>(c.size()));
                if (found >= 0) model[found].chars = c;
                break;
            }
            case 7:
                dups = R(2);
                rc = dups ? AS_AllowDuplicates(st, set) : AS_DisallowDuplicates(st, set);
                break;
            case 9: { // delete the j-th value of the i-th attribute by handles
                if (model.empty()) break;
                size_t i = static_cast<size_t>(R(static_cast<int>(model.size())));
                AS_AttrHandle ah = nullptr;
                ASSERT_EQ(AS_FindFirstAttr(st, set, &ah, nullptr), 0);
                for (size_t k = 0; k < i; ++k) ASSERT_EQ(AS_FindNextAttrR(st, &ah, nullptr), 0);
                auto &v = model[i].vals;
                if (!v.empty()) {
                    size_t j = static_cast<size_t>(R(static_cast<int>(v.size())));
                    AS_AttrValHandle vh = nullptr;
                    ASSERT_EQ(AS_FindFirstAttrValR(st, ah, &vh, nullptr), 0);
                    for (size_t k = 0; k < j; ++k)
                        ASSERT_EQ(AS_FindNextAttrValVR(st, &vh, nullptr), 0);
                    rc = AS_DeleteAttrValVR(st, &vh);
                    v.erase(v.begin() + static_cast<long>(j));
                }
                ASSERT_EQ(AS_FreeAttrHandle(st, &ah), 0);
                break;
            }
            }
            // Operations on one named attribute fail as its lookup does.
            if (op >= 4 && op != 7 && op != 9 && !expect) expect = missing;
            for (int *p : vals) taken ? void() : FreeInt(p);
            ASSERT_EQ(rc != 0, expect != 0) << "op " << op << std::hex << " top " << st.Code();
            EXPECT_EQ(expect ? st.Code() : 0, expect) << "op " << op;
            EXPECT_EQ(Snapshot(set), model) << "op " << op;
            ExpectConsistent(set);
        }
        IntSyntax::fail_delete = 0;
        ASSERT_EQ(AS_Destroy(st, &set), 0);
        EXPECT_EQ(IntSyntax::live, 0);
    }
}

} // namespace
