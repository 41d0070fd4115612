// Shared helpers of the B-tree database tests.
#pragma once

#include "btree/vrbm_internal.h"

#include <gtest/gtest.h>

#include "scratch.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vrbmtest {

// Through snprintf: GCC 12 reports a false overlap in an inlined string concatenation.
inline std::string Num(const char *prefix, long n) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%ld", prefix, n);
    return buf;
}

class DbTest : public ::testing::Test {
  protected:
    std::string Path(const std::string &name = "db") const { return (dir_ / name).string(); }
    std::string File(const std::string &name = "db") const { return Path(name) + ".dbm"; }

    std::vector<uint8_t> ReadFile(const std::string &name = "db") const {
        std::ifstream in(File(name), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    void WriteFile(const std::vector<uint8_t> &bytes, const std::string &name = "db") const {
        std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    }
    VRBM_Db *Create(const std::string &name = "db") {
        return VRBM_open(Path(name).c_str(), VRBM_RDWR | VRBM_CREAT, 0644, 0);
    }
    VRBM_Db *OpenRw(const std::string &name = "db") {
        return VRBM_open(Path(name).c_str(), VRBM_RDWR, 0, 0);
    }
    VRBM_Db *OpenRo(const std::string &name = "db", int whole = 0) {
        return VRBM_open(Path(name).c_str(), VRBM_RDONLY, 0, whole);
    }

    vrtest::ScratchDir scratch_{"vrbm"};
    std::filesystem::path dir_ = scratch_.Path();
};

inline uint32_t Store(VRBM_Db *db, const std::string &k, const std::string &d, int replace = 0) {
    return VRBM_store(db, k.data(), int32_t(k.size()), d.data(), int32_t(d.size()), replace);
}
inline uint32_t Delete(VRBM_Db *db, const std::string &k) {
    return VRBM_delete(db, k.data(), int32_t(k.size()));
}
// The data under k, or "<absent>" / "<error len>".
inline std::string Fetch(VRBM_Db *db, const std::string &k) {
    VRBM_Datum d = VRBM_fetch(db, k.data(), int32_t(k.size()));
    if (!d.ptr) return d.len == 0 ? "<absent>" : "<error " + std::to_string(d.len) + ">";
    return std::string(d.ptr, size_t(d.len));
}
inline std::string Check(VRBM_Db *db) { return vrcore::btree::CheckTree(db); }
// Every item in the order of the in-order walk.
using ItemList = std::vector<std::pair<std::string, std::string>>;
inline ItemList Walk(VRBM_Db *db) {
    ItemList seen;
    EXPECT_EQ(vrcore::btree::ForEach(
                  db,
                  [](void *ctx, const uint8_t *k, unsigned kl, const uint8_t *d, unsigned dl) {
                      static_cast<ItemList *>(ctx)->emplace_back(std::string(k, k + kl),
                                                                 std::string(d, d + dl));
                      return true;
                  },
                  &seen),
              0u);
    return seen;
}

inline uint16_t U16(const std::vector<uint8_t> &f, size_t off) {
    return uint16_t(f[off] | f[off + 1] << 8);
}

} // namespace vrbmtest
