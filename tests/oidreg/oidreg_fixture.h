// Shared pieces of the registry tests.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "btree/vrbm_internal.h"
#include "oid/registry_internal.h"
#include "scratch.h"
#include "status_list.h"
#include "vrcore/genu.h"

namespace oidtest {

using Status = vrtest::StatusList;

inline std::string Bin(const char *dotted) {
    Status st;
    unsigned char b[OID_MAX_BINFORM];
    uint32_t len = sizeof b;
    EXPECT_EQ(OID_ConvertDecToBin(st, dotted, nullptr, &len, b), 0u) << dotted;
    return std::string(reinterpret_cast<char *>(b), len);
}
inline const unsigned char *U(const std::string &s) {
    return reinterpret_cast<const unsigned char *>(s.data());
}

using Items = std::map<std::string, std::string>;
inline Items Dump(VRBM_Db *db) {
    Items items;
    auto add = [](void *ctx, const uint8_t *k, unsigned kl, const uint8_t *d, unsigned dl) {
        (*static_cast<Items *>(ctx))[std::string(reinterpret_cast<const char *>(k), kl)].assign(
            reinterpret_cast<const char *>(d), dl);
        return true;
    };
    EXPECT_EQ(vrcore::btree::ForEach(db, add, &items), 0u);
    return items;
}

// Every registry file not open in this process passes the checker.
inline void CheckFilesOnDisk(const std::string &dir) {
    for (const char *f : {"DPAOIDs", "DPAOIDs_C", "DPAOIDs_l", "oid_cvrt"}) {
        VRBM_Db *db = VRBM_open((dir + "/" + f).c_str(), VRBM_RDONLY, 0, 0);
        ASSERT_NE(db, nullptr) << f;
        EXPECT_EQ(vrcore::btree::CheckTree(db), "") << f;
        VRBM_close(db);
    }
}

// A fresh registry made as the registry tool makes it.
class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = scratch_.Path() + "/reg";
        ASSERT_EQ(vrcore::oid::CreateRegistry(st_, dir_.c_str()), 0u) << std::hex << st_.Code();
    }
    void TearDown() override { Close(); }
    void Open(int mode = OID_READWRITE, const char *locale = "C") {
        ASSERT_EQ(OID_Init(st_, dir_.c_str(), mode), 0u) << std::hex << st_.Code();
        ASSERT_EQ(OID_OpenDb(st_, dir_.c_str(), locale, mode, &h_), 0u);
    }
    void Close() {
        if (h_) OID_CloseDb(st_, h_);
        h_ = nullptr;
        OID_Term();
    }
    // The main, default locale and dynamic identifier files as the registry sees them.
    std::map<std::string, Items> Snapshot() {
        std::map<std::string, Items> s;
        vrcore::oid::FileUse u(st_, h_, vrcore::oid::kMain | vrcore::oid::kLocale);
        EXPECT_EQ(u.Status(), 0u);
        s["main"] = Dump(u.Main());
        s["locale"] = Dump(u.Locale());
        s["cvrt"] = Dump(GENU_GetCvrtHandle());
        for (VRBM_Db *db : {u.Main(), u.Locale(), GENU_GetCvrtHandle()})
            EXPECT_EQ(vrcore::btree::CheckTree(db), "");
        return s;
    }
    vrtest::ScratchDir scratch_{"oidreg"};
    Status st_;
    std::string dir_;
    OID_Db *h_ = nullptr;
};

} // namespace oidtest
