#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "failalloc.h"
#include "oid/shortoid_internal.h"
#include "oidreg_fixture.h"

using namespace oidtest;
using namespace vrcore::oid;

namespace {

TEST_F(Registry, InitHandlesAndTheirErrors) {
    Status st;
    OID_Db *h = nullptr;
    unsigned char bin[OID_MAX_BINARY];
    EXPECT_EQ(OID_Init(nullptr, dir_.c_str(), 0), 1u);
    EXPECT_EQ(OID_OpenDb(st, dir_.c_str(), "C", 0, &h), OID_S_NOTINIT);
    EXPECT_EQ(OID_Init(st, dir_.c_str(), 1), OID_S_BADMODE);
    EXPECT_EQ(OID_Init(st, nullptr, 0), OID_S_BADPATH);
    EXPECT_EQ(OID_Init(st, "/nonexistent-dir", 0), OID_S_NOLOCKFILE);
    ASSERT_EQ(OID_Init(st, dir_.c_str(), OID_READONLY), 0u);
    EXPECT_EQ(OID_Init(st, dir_.c_str(), OID_READONLY), OID_S_INITIALISED);
    EXPECT_EQ(OID_OpenDb(st, "/tmp", "C", OID_READONLY, &h), OID_S_PATHDIFF);
    EXPECT_EQ(OID_OpenDb(st, dir_.c_str(), "C", OID_READWRITE, &h), OID_S_MODEDIFF);
    EXPECT_EQ(OID_OpenDb(st, dir_.c_str(), "", OID_READONLY, &h), OID_S_BADLOCALE);
    // A trailing slash names the same directory.
    ASSERT_EQ(OID_OpenDb(st, (dir_ + "/").c_str(), "C", OID_READONLY, &h), 0u);
    EXPECT_EQ(OID_LookupName(st, nullptr, "id-att-job-name", bin, nullptr), OID_S_NULLHANDLE);
    EXPECT_EQ(OID_LookupName(st, h, "id-att-job-name", bin, nullptr), 0u);
    // A read-only registry refuses adds but answers mode-1 checks.
    std::string b = Bin("1.2.3.4.5");
    EXPECT_EQ(OID_AddOID(st, h, U(b), "new-name", nullptr, 1), 0u);
    EXPECT_EQ(OID_AddOID(st, h, U(b), "new-name", nullptr, 0), OID_S_ADDFAILED);
    ASSERT_EQ(OID_CloseDb(st, h), 0u);
    EXPECT_EQ(OID_CloseDb(st, h), OID_S_NULLHANDLE);
    EXPECT_EQ(OID_LookupName(st, h, "id-att-job-name", bin, nullptr), OID_S_NULLHANDLE);
    // A handle outliving OID_Term fails until it is closed.
    ASSERT_EQ(OID_OpenDb(st, dir_.c_str(), "C", OID_READONLY, &h), 0u);
    OID_Term();
    EXPECT_EQ(OID_LookupName(st, h, "id-att-job-name", bin, nullptr), OID_S_NOTINIT);
    ASSERT_EQ(OID_Init(st, dir_.c_str(), OID_READONLY), 0u);
    EXPECT_EQ(OID_LookupName(st, h, "id-att-job-name", bin, nullptr), OID_S_NOTINIT);
    EXPECT_EQ(OID_CloseDb(st, h), 0u);
    OID_Term();
    // A registry without its main file.
    std::filesystem::rename(dir_ + "/DPAOIDs.dbm", dir_ + "/moved.dbm");
    Open(OID_READONLY);
    EXPECT_EQ(OID_LookupName(st, h_, "id-att-job-name", bin, nullptr), OID_S_BADPATH);
}

TEST_F(Registry, LocalesFallBackToTheDefaultFile) {
    Open(OID_READONLY, "de_DE.UTF-8");
    unsigned char bin[OID_MAX_BINARY];
    EXPECT_EQ(OID_LookupName(st_, h_, "id-att-job-name", bin, nullptr), 0u);
    EXPECT_EQ(OID_SetLocale(st_, h_, "../../etc/passwd"), 0u); // not a file name: default
    EXPECT_EQ(OID_LookupName(st_, h_, "id-att-job-name", bin, nullptr), 0u);
    EXPECT_EQ(OID_SetLocale(st_, h_, ""), OID_S_BADLOCALE);
    EXPECT_EQ(OID_SetLocale(st_, h_, nullptr), 0u); // the process's locale
    EXPECT_EQ(OID_LookupName(st_, h_, "id-att-job-name", bin, nullptr), 0u);
    Close();
    // A locale file of its own: the default one's copy naming the same index anew.
    std::filesystem::copy_file(dir_ + "/DPAOIDs_C.dbm", dir_ + "/fr_FR.dbm");
    Open(OID_READWRITE, "fr_FR");
    ASSERT_EQ(OID_LookupName(st_, h_, "id-att-job-name", bin, nullptr), 0u);
    std::string index;
    ASSERT_TRUE(FetchCopy(FileUse(st_, h_, kMain | kLocale).Locale(), "id-att-job-name", index));
    ASSERT_EQ(StoreRecord(st_, h_, kLocale, "id-att-nom-du-travail", index), 0u);
    ASSERT_EQ(StoreRecord(st_, h_, kLocale, index.c_str(), {"id-att-nom-du-travail", 22}), 0u);
    char name[OID_MAX_NAME + 1];
    ASSERT_EQ(OID_LookupBinary(st_, h_, bin, name, nullptr), 0u);
    EXPECT_STREQ(name, "id-att-nom-du-travail");
    // The name caches keep locales apart.
    ASSERT_EQ(OID_SetLocale(st_, h_, "C"), 0u);
    ASSERT_EQ(OID_LookupBinary(st_, h_, bin, name, nullptr), 0u);
    EXPECT_STREQ(name, "id-att-job-name");
}

// Found by name, value and short identifier with the characteristics of its kind.
TEST_F(Registry, EveryBuiltinIdentifierIsRegistered) {
    Open();
    unsigned char bin[OID_MAX_BINARY], out[OID_MAX_BINARY], vc_bin[OID_MAX_BINARY];
    char name[OID_MAX_NAME + 1];
    const std::pair<const char *, int> kinds[] = {{"id-att-", OID_KIND_ATTRIBUTE},
                                                  {"id-val-", OID_KIND_VALUE},
                                                  {"id-vc-", OID_KIND_VALUE_CLASS},
                                                  {"id-syn-", OID_KIND_SYNTAX}};
    for (uint32_t r = 0; r < kRowCount; r++) {
        const BuiltinRow &row = kBuiltinRows[r];
        if (!row.binary) continue;
        OID_Characteristics c{};
        ASSERT_EQ(OID_LookupName(st_, h_, row.name, bin, &c), 0u) << row.name;
        ASSERT_TRUE(OID_EqualBinary(bin, row.binary)) << row.name;
        ASSERT_EQ(OID_LookupShort(st_, h_, ShortOfRow(r), name, nullptr), 0u) << row.name;
        // Two rows share a value; the name found is the first row's.
        const IndexEntry *e = FindByContent(row.binary + 2, row.binary[1]);
        ASSERT_EQ(OID_LookupBinary(st_, h_, row.binary, name, nullptr), 0u);
        EXPECT_TRUE(std::string(name) == row.name || e->row->binary[1] == row.binary[1]) << name;
        int want = OID_KIND_OBJECT_CLASS;
        for (const auto &[prefix, kind] : kinds)
            if (std::string(row.name).rfind(prefix, 0) == 0) want = kind;
        ASSERT_EQ(c.octets[1], want) << row.name;
        if (want != OID_KIND_ATTRIBUTE) continue;
        EXPECT_EQ(c.octets[4], row.syntax) << row.name;
        EXPECT_TRUE(OID_ValidForOp(&c, 0) && OID_ValidForOp(&c, 29)) << row.name;
    }
    // Derived places: job attributes belong to jobs, job states to their
    // value class, which the job-state attribute names.
    OID_Characteristics att{}, val{}, vc{};
    ASSERT_EQ(OID_LookupName(st_, h_, "id-att-job-name", bin, &att), 0u);
    EXPECT_TRUE(OID_ValidForObject(&att, 1) && !OID_ValidForObject(&att, 2));
    ASSERT_EQ(OID_LookupName(st_, h_, "id-att-current-job-state", bin, &att), 0u);
    ASSERT_EQ(OID_LookupName(st_, h_, "id-val-job-state-pending", bin, &val), 0u);
    ASSERT_EQ(OID_LookupName(st_, h_, "id-vc-job-state", vc_bin, &vc), 0u);
    EXPECT_NE(vc.octets[6], 0);
    EXPECT_EQ(att.octets[5] * 256 + att.octets[6], vc.octets[5] * 256 + vc.octets[6]);
    EXPECT_EQ(val.octets[5] * 256 + val.octets[6], vc.octets[5] * 256 + vc.octets[6]);
    // The value-class, syntax and object-class records.
    for (const char *cls : {"job-state", "id-vc-job-state"}) {
        ASSERT_EQ(OID_LookupValueClass(st_, h_, cls, out), 0u);
        EXPECT_TRUE(OID_EqualBinary(out, vc_bin));
    }
    EXPECT_EQ(OID_LookupValueClass(st_, h_, "no-such-class", out), OID_S_NOTFOUND);
    ASSERT_EQ(OID_LookupSyntax(st_, h_, 28, out), 0u);
    EXPECT_TRUE(OID_EqualBinary(out, RowOf(6)->binary)); // id-syn-text
    EXPECT_EQ(OID_LookupSyntax(st_, h_, 256, out), OID_S_BADSYNTAX);
    EXPECT_EQ(OID_LookupSyntax(st_, h_, 200, out), OID_S_NOTFOUND);
    ASSERT_EQ(OID_LookupObjectClass(st_, h_, 1, out), 0u);
    EXPECT_TRUE(OID_EqualBinary(out, RowOf(87)->binary)); // id-oc-job
    // The second name of a shared value leads to it.
    ASSERT_EQ(OID_LookupName(st_, h_, "id-val-boolean-true", out, nullptr), 0u);
    EXPECT_TRUE(OID_EqualBinary(out, RowOf(132)->binary));
    // A syntax record of another kind is refused.
    std::string rec = std::string(reinterpret_cast<const char *>(RowOf(6)->binary), 12) + '0' +
                      char(OID_KIND_VALUE);
    ASSERT_EQ(StoreRecord(st_, h_, kMain, "S0200", rec.append(OID_CHARS_LEN - 2, '\0')), 0u);
    EXPECT_EQ(OID_LookupSyntax(st_, h_, 200, out), OID_S_NOTSYNTAX);
}

TEST_F(Registry, AddLookupAndDelete) {
    Open();
    std::string b = Bin("1.2.840.147361.1.3.1.900"), b2 = Bin("1.2.840.147361.1.3.1.901");
    OID_Characteristics c{}, got{};
    uint32_t ops[] = {0, 5, 29}, classes[] = {1, 55};
    ASSERT_EQ(OID_SetAttrCharacteristics(1, 28, 3, ops, 2, classes, 7, 99, 8, &c), 0);
    auto before = Snapshot();
    // A check stores nothing; existing or malformed names and values change nothing.
    std::string too_long(129, 'x');
    ASSERT_EQ(OID_AddOID(st_, h_, U(b), "id-att-test-thing", &c, 1), 0u);
    EXPECT_EQ(OID_AddOID(st_, h_, U(b), "id-att-job-name", &c, 0), OID_S_NAMEEXISTS);
    EXPECT_EQ(OID_AddOID(st_, h_, RowOf(133)->binary, "id-att-test-thing", &c, 0),
              OID_S_VALUEEXISTS);
    for (const char *n : {"", "12345", "last-locale-index", too_long.c_str()})
        EXPECT_EQ(OID_AddOID(st_, h_, U(b), n, &c, 0), OID_S_INVALID) << n;
    EXPECT_TRUE(Snapshot() == before);

    ASSERT_EQ(OID_AddOID(st_, h_, U(b), "id-att-test-thing", &c, 0), 0u);
    unsigned char bin[OID_MAX_BINARY];
    char name[OID_MAX_NAME + 1];
    ASSERT_EQ(OID_LookupName(st_, h_, "id-att-test-thing", bin, &got), 0u);
    EXPECT_TRUE(OID_EqualBinary(bin, U(b)));
    EXPECT_EQ(std::memcmp(&got, &c, sizeof c), 0);
    ASSERT_EQ(OID_LookupBinary(st_, h_, U(b), name, nullptr), 0u);
    EXPECT_STREQ(name, "id-att-test-thing");
    // A second add takes the next index.
    ASSERT_EQ(OID_AddOID(st_, h_, U(b2), "id-att-test-other", nullptr, 0), 0u);
    ASSERT_EQ(OID_LookupName(st_, h_, "id-att-test-other", bin, &got), 0u);
    EXPECT_EQ(got.octets[0] | got.octets[1], 0); // stored without characteristics

    // Deleting forgets the identifier, even one the caches hold.
    ASSERT_EQ(OID_DeleteOID(st_, h_, U(b)), 0u);
    EXPECT_EQ(OID_LookupName(st_, h_, "id-att-test-thing", bin, nullptr), OID_S_NOTFOUND);
    EXPECT_EQ(OID_LookupBinary(st_, h_, U(b), name, nullptr), OID_S_NOTFOUND);
    EXPECT_EQ(OID_DeleteOID(st_, h_, U(b)), OID_S_NOTFOUND);
    ASSERT_EQ(OID_DeleteOID(st_, h_, U(b2)), 0u);
    auto after = Snapshot();
    before["locale"].erase(kLastIndexKey), after["locale"].erase(kLastIndexKey);
    EXPECT_TRUE(after == before);
    Close();
    CheckFilesOnDisk(dir_);
}

TEST_F(Registry, Abbreviations) {
    Open();
    unsigned char bin[OID_MAX_BINARY];
    VRBM_MatchNode *cand = nullptr;
    // "i-a-job-c" stands for several names.
    EXPECT_EQ(OID_LookupAbbrev_A(st_, h_, "i-a-job-c", bin, nullptr, &cand), OID_S_AMBIGUOUS);
    int n = 0;
    for (VRBM_MatchNode *m = cand; m; m = m->next, n++)
        EXPECT_EQ(std::string(m->name).rfind("id-att-job-c", 0), 0u);
    EXPECT_GE(n, 2);
    VRBM_freeMatchList(cand);
    // The index counter and the index numbers are no names.
    for (const char *abbrev : {"l-l-i", "1", "zz-top"})
        EXPECT_EQ(OID_LookupAbbrev(st_, h_, abbrev, bin, nullptr), OID_S_NOTFOUND) << abbrev;
    // A unique match hands its list back only when asked to.
    ASSERT_EQ(OID_LookupAbbrev_N(st_, h_, "i-a-job-nam", bin, nullptr, &cand, 0), 0u);
    EXPECT_EQ(cand, nullptr);
    ASSERT_EQ(OID_LookupAbbrev_N(st_, h_, "i-a-job-nam", bin, nullptr, &cand, 1), 0u);
    ASSERT_NE(cand, nullptr);
    EXPECT_STREQ(cand->name, "id-att-job-name");
    EXPECT_EQ(cand->next, nullptr);
    VRBM_freeMatchList(cand);
    EXPECT_TRUE(OID_EqualBinary(bin, RowOf(133)->binary));
    // Running out of memory collecting candidates is reported; nothing is left.
    vrtest::FailModule fail(vrcore::system::seam::Module::Btree);
    long points = vrtest::SweepFailures(
        [&] {
            uint32_t rc = OID_LookupAbbrev_A(st_, h_, "i-a-job-c", bin, nullptr, &cand);
            EXPECT_TRUE(rc == OID_S_AMBIGUOUS || (rc == OID_S_NOMEM && !cand)) << rc;
            if (rc == OID_S_NOMEM) return false;
            vrtest::FailAlloc::Disarm();
            VRBM_freeMatchList(cand);
            return true;
        },
        [] {});
    EXPECT_GE(points, 2);
}

// The caches keep at most 73 entries and never change an answer.
TEST_F(Registry, CachesAreBoundedAndNeverChangeAnAnswer) {
    Open(OID_READONLY);
    std::vector<const BuiltinRow *> rows;
    for (uint32_t r = 133; rows.size() < 80; r++)
        if (RowOf(r)->binary) rows.push_back(RowOf(r));
    unsigned char bin[OID_MAX_BINARY];
    for (int round = 0; round < 3; round++)
        for (const BuiltinRow *r : rows) {
            char name[OID_MAX_NAME + 1];
            ASSERT_EQ(OID_LookupName(st_, h_, r->name, bin, nullptr), 0u);
            ASSERT_TRUE(OID_EqualBinary(bin, r->binary)) << r->name;
            ASSERT_EQ(OID_LookupBinary(st_, h_, r->binary, name, nullptr), 0u);
            ASSERT_STREQ(name, r->name);
        }
    EXPECT_EQ(CacheCount(CacheKind::kName), 73u);
    EXPECT_EQ(CacheCount(CacheKind::kValue), 73u);
}

// Each failed add leaves every file with the items it had, and the tree whole.
TEST_F(Registry, FailedStoreInTheMiddleOfAnAddIsUndone) {
    Open();
    int countdown = 0;
    bool fail_rest = false; // also fail the undo
    auto fail = [&](auto...) {
        return (countdown > 0 && --countdown == 0) || (countdown == 0 && fail_rest);
    };
    // A dynamic add, its n-th page change failed until it succeeds (index counter aside).
    std::string d = Bin("1.2.840.147361.1.3.1.951");
    uint32_t id = 0;
    auto before = Snapshot();
    before["locale"].erase(kLastIndexKey);
    int n = 1;
    for (;; n++) {
        ASSERT_LT(n, 200) << "the add never succeeded";
        countdown = n;
        uint32_t rc = [&] {
            vrtest::FaultPoints points(fail);
            return AddDynamicIdentifier(st_, h_, U(d), "id-att-fault-dyn", 28, nullptr, &id);
        }();
        if (rc == 0) break;
        EXPECT_EQ(rc, OID_S_ADDFAILED) << n;
        auto now = Snapshot();
        now["locale"].erase(kLastIndexKey);
        EXPECT_TRUE(now == before) << "after failure " << n;
    }
    EXPECT_GE(n, 10);
    // An undo that fails too is reported as such.
    std::string e = Bin("1.2.840.147361.1.3.1.952");
    countdown = 4;
    fail_rest = true;
    {
        vrtest::FaultPoints points(fail);
        EXPECT_EQ(OID_AddOID(st_, h_, U(e), "id-att-fault-undo", nullptr, 0), OID_S_INCONSISTENT);
    }
    Close();
    CheckFilesOnDisk(dir_);
}

} // namespace
