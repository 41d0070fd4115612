// Random sequences of operations on a set, mirrored by a plain C++ model
// and compared after every step. Some steps run with an allocation failure
// injected; a step that fails that way must leave the set as the model was.
#include <random>
#include <string>

#include "as_test_util.h"

using namespace astest;

namespace {

struct MAttr {
    GENU_ShortOID id;
    uint32_t type;
    int32_t modop = 0;
    std::string chars;
    std::vector<int> vals;
    bool operator==(const MAttr &) const = default;
};

struct Model {
    bool dups = false;
    std::vector<MAttr> attrs;

    // The lookup by identifier: an index, or the code it fails with.
    std::pair<int, uint32_t> Find(GENU_ShortOID id) const {
        int found = -1, n = 0;
        for (size_t i = 0; i < attrs.size(); ++i) {
            if (attrs[i].id != id) continue;
            if (found < 0) found = static_cast<int>(i);
            ++n;
        }
        if (found < 0) return {-1, AS_S_NOATTR};
        if (dups && n > 1) return {-1, AS_S_MULTIPLE};
        return {found, 0};
    }
    bool Present(GENU_ShortOID id) const {
        for (const auto &a : attrs)
            if (a.id == id) return true;
        return false;
    }
};

std::vector<MAttr> Snapshot(AS_SetHandle h) {
    std::vector<MAttr> out;
    auto *s = static_cast<vr::as::Set *>(h->obj);
    for (auto *a = s->first; a; a = a->next) {
        MAttr m{a->id,
                a->type,
                a->modop,
                std::string(static_cast<const char *>(a->chars), a->chars_size),
                {}};
        for (auto *v = a->first; v; v = v->next)
            m.vals.push_back(*static_cast<int *>(v->value));
        out.push_back(m);
    }
    return out;
}

class Runner {
  public:
    explicit Runner(uint32_t seed) : rng_(seed) {}

    void Run(int steps) {
        Status st;
        ASSERT_EQ(AS_Create(st, &set_, &kFailAlloc, 0), 0);
        for (int i = 0; i < steps; ++i) {
            Step(i);
            if (::testing::Test::HasFailure()) break;
        }
        IntSyntax::fail_delete = 0;
        ASSERT_EQ(AS_Destroy(st, &set_), 0);
        EXPECT_EQ(IntSyntax::live, 0);
    }

  private:
    std::mt19937 rng_;
    AS_SetHandle set_ = nullptr;
    Model m_;
    int next_value_ = 0;

    int R(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

    void Step(int step) {
        SCOPED_TRACE("step " + std::to_string(step));
        Status st;
        Model want = m_;
        GENU_ShortOID id = static_cast<GENU_ShortOID>(1 + R(5));
        uint32_t type = R(8) ? kIntType : kOtherType;
        bool inject = R(4) == 0;
        uint32_t expect = 0; // expected top code, 0 for success
        int op = R(11);
        // Caller values, made before any failure is armed; those not taken
        // over by the set are freed after the step.
        std::vector<int *> vals;
        std::vector<int> ints;
        for (int i = 0, k = op == 3 ? R(4) : 1; i < k; ++i) {
            vals.push_back(MakeInt(next_value_));
            ints.push_back(next_value_++);
        }
        bool taken = false;

        if (inject) vrtest::FailAlloc::Arm(1 + R(6));
        int rc = 0;
        auto lookup = want.Find(id);
        switch (op) {
        case 0: { // AddAttr
            rc = AS_AddAttr(st, set_, id, type, nullptr);
            if (!want.dups && want.Present(id))
                expect = AS_S_PRESENT;
            else
                want.attrs.push_back(MAttr{id, type, 0, "", {}});
            break;
        }
        case 1:
        case 2:
        case 3: { // add or replace one value or a list
            bool replace = op == 2;
            AS_ValueList l{static_cast<uint32_t>(vals.size()),
                           reinterpret_cast<void **>(vals.data())};
            rc = op == 1   ? AS_AddAttrVal(st, set_, id, type, vals[0], &kIntDesc, nullptr)
                 : replace ? AS_ReplaceAllAttrVals(st, set_, id, type, vals[0], &kIntDesc, nullptr)
                           : AS_AddAttrValList(st, set_, id, type, &l, &kIntDesc, nullptr);
            if (lookup.second == AS_S_MULTIPLE) {
                expect = AS_S_MULTIPLE;
            } else if (lookup.first < 0) {
                want.attrs.push_back(MAttr{id, type, 0, "", ints});
            } else if (want.attrs[lookup.first].type != type) {
                expect = AS_S_WRONGTYPE;
            } else {
                auto &v = want.attrs[lookup.first].vals;
                if (replace) v.clear();
                v.insert(v.end(), ints.begin(), ints.end());
            }
            taken = rc == 0;
            break;
        }
        case 4: // delete attribute
            rc = AS_DeleteAttr(st, set_, id);
            if (lookup.first < 0)
                expect = lookup.second;
            else
                want.attrs.erase(want.attrs.begin() + lookup.first);
            break;
        case 5: // delete its values
            rc = AS_DeleteAllAttrVals(st, set_, id);
            if (lookup.first < 0)
                expect = lookup.second;
            else
                want.attrs[lookup.first].vals.clear();
            break;
        case 6: { // modify operation
            int32_t mop = R(6) - 2;
            rc = AS_SetAttrModifyOp(st, set_, id, mop);
            if (mop < -1 || mop > 3)
                expect = AS_S_BADARG3;
            else if (lookup.first < 0)
                expect = lookup.second;
            else
                want.attrs[lookup.first].modop = mop;
            break;
        }
        case 7: { // characteristics
            std::string c(static_cast<size_t>(R(4)), static_cast<char>('a' + R(26)));
            rc = AS_SetAttrCharacteristics(st, set_, id, c.data(), static_cast<uint32_t>(c.size()));
            if (lookup.first < 0)
                expect = lookup.second;
            else
                want.attrs[lookup.first].chars = c;
            break;
        }
        case 8: // duplicates flag
            want.dups = R(2);
            rc = want.dups ? AS_AllowDuplicates(st, set_) : AS_DisallowDuplicates(st, set_);
            break;
        case 9: // copy an attribute within the set
            rc = AS_CopyAttr(st, set_, set_, id, nullptr);
            if (!want.dups && want.Present(id))
                expect = AS_S_PRESENT;
            else if (lookup.first < 0)
                expect = lookup.second;
            else
                want.attrs.push_back(want.attrs[lookup.first]);
            break;
        case 10: { // delete the j-th value of the i-th attribute by handles
            vrtest::FailAlloc::Disarm();
            inject = false;
            if (want.attrs.empty()) break;
            size_t i = static_cast<size_t>(R(static_cast<int>(want.attrs.size())));
            AS_AttrHandle ah = nullptr;
            ASSERT_EQ(AS_FindFirstAttr(st, set_, &ah, nullptr), 0);
            for (size_t k = 0; k < i; ++k)
                ASSERT_EQ(AS_FindNextAttrR(st, &ah, nullptr), 0);
            auto &vals = want.attrs[i].vals;
            if (!vals.empty()) {
                size_t j = static_cast<size_t>(R(static_cast<int>(vals.size())));
                AS_AttrValHandle vh = nullptr;
                ASSERT_EQ(AS_FindFirstAttrValR(st, ah, &vh, nullptr), 0);
                for (size_t k = 0; k < j; ++k)
                    ASSERT_EQ(AS_FindNextAttrValVR(st, &vh, nullptr), 0);
                rc = AS_DeleteAttrValVR(st, &vh);
                vals.erase(vals.begin() + static_cast<long>(j));
            }
            ASSERT_EQ(AS_FreeAttrHandle(st, &ah), 0);
            break;
        }
        }
        bool fired = vrtest::FailAlloc::Fired();
        vrtest::FailAlloc::Disarm();
        if (!taken)
            for (int *p : vals)
                FreeInt(p);

        if (inject && fired && rc) {
            // The set's allocator failed, or a value copy made with it.
            EXPECT_TRUE(st.code() == AS_S_NOMEM || st.code() == AS_S_COPYFAILED) << st.code();
            want = m_; // an injected failure changes nothing
        } else {
            EXPECT_EQ(rc != 0, expect != 0) << "op " << op << std::hex << " top " << st.code();
            if (expect) {
                EXPECT_EQ(st.code(), expect) << "op " << op;
            }
        }
        if (rc && !expect && !(inject && fired)) return; // already reported
        m_ = want;
        EXPECT_EQ(Snapshot(set_), m_.attrs) << "op " << op;
        ExpectConsistent(set_);
    }
};

} // namespace

TEST(AttrSetModel, RandomOperationsMatchTheModel) {
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Runner(seed).Run(300);
        if (::testing::Test::HasFailure()) break;
    }
}
