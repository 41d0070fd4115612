// Random operations checked against an ordered map.
#include "vrbm_fixture.h"

#include <map>
#include <algorithm>
#include <random>

using namespace vrbmtest;

namespace {

enum class Order { kRandom, kAscending, kDescending };

class Model : public DbTest {
  protected:
    void Run(Order order, unsigned ops, unsigned seed) {
        std::mt19937 rng(seed);
        VRBM_Db *db = Create();
        ASSERT_NE(db, nullptr);
        std::map<std::string, std::string> model;
        long counter = order == Order::kDescending ? 2000000 : 1000000; // seven digits
        auto random_key = [&]() {
            std::string k;
            if (order != Order::kRandom) {
                k = Num("", order == Order::kAscending ? counter++ : counter--) +
                    std::string(rng() % 40, char('a' + rng() % 26));
            } else {
                // Short keys over a small alphabet collide often; some long ones.
                unsigned len = rng() % 8 == 0 ? rng() % (VRBM_MAX_KEY + 1) : rng() % 6;
                for (unsigned i = 0; i < len; i++) k += char("ab-\0\xff"[rng() % 5]);
            }
            return k;
        };
        auto existing_key = [&]() {
            auto it = model.begin();
            std::advance(it, rng() % model.size());
            return it->first;
        };
        for (unsigned op = 0; op < ops; op++) {
            unsigned what = rng() % 10;
            if (what < 5 || model.empty()) {
                std::string k = model.empty() || order == Order::kRandom || rng() % 4
                                    ? random_key()
                                    : existing_key();
                unsigned room = VRBM_MAX_ITEM - unsigned(k.size());
                std::string d(rng() % 3 == 0 ? room : rng() % (room + 1), char('A' + op % 26));
                int replace = int(rng() % 3); // only 1 means replace
                uint32_t rc = Store(db, k, d, replace);
                if (model.count(k) && replace != 1) {
                    ASSERT_EQ(rc, VRBM_E_EXISTS) << "op " << op;
                } else {
                    ASSERT_EQ(rc, 0u) << "op " << op << " key size " << k.size();
                    model[k] = d;
                }
            } else if (what < 7) {
                std::string k = rng() % 3 ? existing_key() : random_key();
                uint32_t rc = Delete(db, k);
                ASSERT_EQ(rc, model.erase(k) ? 0u : VRBM_E_NOTFOUND) << "op " << op;
            } else {
                std::string k = rng() % 3 ? existing_key() : random_key();
                auto it = model.find(k);
                ASSERT_EQ(Fetch(db, k), it == model.end() ? "<absent>" : it->second) << "op " << op;
            }
            if (op % 97 == 0) {
                ASSERT_EQ(Check(db), "") << "op " << op;
            }
            if (rng() % 300 == 0) {
                VRBM_close(db);
                db = OpenRw();
                ASSERT_NE(db, nullptr);
            }
        }
        ASSERT_EQ(Check(db), "");
        VRBM_close(db);
        db = OpenRo();
        ASSERT_EQ(Check(db), "");
        EXPECT_TRUE(Walk(db) == ItemList(model.begin(), model.end())); // once each, in key order
        VRBM_close(db);
        // Emptied again in random order, which merges up to the root.
        db = OpenRw();
        std::vector<std::string> keys;
        for (auto &kv : model) keys.push_back(kv.first);
        std::shuffle(keys.begin(), keys.end(), rng);
        for (size_t i = 0; i < keys.size(); i++) {
            ASSERT_EQ(Delete(db, keys[i]), 0u) << i;
            if (i % 101 == 0) {
                ASSERT_EQ(Check(db), "") << i;
            }
        }
        ASSERT_EQ(Check(db), "");
        EXPECT_TRUE(Walk(db).empty());
        ASSERT_EQ(Store(db, "again", "x"), 0u);
        EXPECT_EQ(Fetch(db, "again"), "x");
        VRBM_close(db);
    }
};

TEST_F(Model, RandomKeys) { Run(Order::kRandom, 6000, 1); }
TEST_F(Model, AscendingKeys) { Run(Order::kAscending, 5000, 2); }
TEST_F(Model, DescendingKeys) { Run(Order::kDescending, 5000, 3); }

} // namespace
