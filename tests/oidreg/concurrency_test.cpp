#include <atomic>
#include <thread>
#include <vector>

#include "oid/shortoid_internal.h"
#include "oidreg_fixture.h"
#include "scratch.h"

using namespace oidtest;
using namespace vrcore::oid;

namespace {

std::string NameOf(int who, int i) {
    return "id-att-conc-" + std::to_string(who) + "-" + std::to_string(i);
}
std::string BinOf(int who, int i) {
    return Bin(("1.2.840.147361.1.3.9." + std::to_string(who) + "." + std::to_string(i)).c_str());
}

// Adds identifier `i` of writer `who`, dynamic of the syntax or plain.
uint32_t AddNumbered(STF_List *st, OID_Db *h, int who, int i, bool dynamic, uint32_t syntax) {
    std::string b = BinOf(who, i), name = NameOf(who, i);
    uint32_t id = 0;
    return dynamic ? AddDynamicIdentifier(st, h, U(b), name.c_str(), syntax, nullptr, &id)
                   : OID_AddOID(st, h, U(b), name.c_str(), nullptr, 0);
}

// Each identifier of the writers is found by value; dynamic ones by short identifier.
void ExpectAdded(STF_List *st, OID_Db *h, int first, int writers, int adds,
                 bool (*dynamic)(int who, int i)) {
    for (int who = first; who < first + writers; who++)
        for (int i = 0; i < adds; i++) {
            char name[OID_MAX_NAME + 1], back[OID_MAX_NAME + 1];
            ASSERT_EQ(OID_LookupBinary(st, h, U(BinOf(who, i)), name, nullptr), 0u)
                << who << " " << i;
            EXPECT_EQ(name, NameOf(who, i));
            if (!dynamic(who, i)) continue;
            GENU_ShortOID id = 0;
            EXPECT_EQ(GENU_AsciiToShortOID(st, name, &id), 0) << name;
            EXPECT_EQ(OID_LookupShort(st, h, id, back, nullptr), 0u);
            EXPECT_STREQ(back, name);
        }
}

bool ThreadDynamic(int who, int i) { return who == 0 && i % 4 == 0; }
bool ProcessDynamic(int, int i) { return i % 5 == 0; }

// Writers on two handles add identifiers while readers look up old and new ones.
TEST_F(Registry, ThreadsSharingAHandle) {
    Open();
    OID_Db *second = nullptr;
    ASSERT_EQ(OID_OpenDb(st_, dir_.c_str(), nullptr, OID_READWRITE, &second), 0u);
    constexpr int kWriters = 4, kReaders = 3, kAdds = 40;
    std::atomic<int> errors{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; w++)
        threads.emplace_back([&, w] {
            Status st;
            OID_Db *h = w % 2 ? second : h_;
            for (int i = 0; i < kAdds; i++) {
                unsigned char bin[OID_MAX_BINARY];
                errors += AddNumbered(st, h, w, i, ThreadDynamic(w, i), 28) != 0;
                errors += OID_LookupName(st, h, NameOf(w, i).c_str(), bin, nullptr) != 0 ||
                          !OID_EqualBinary(bin, U(BinOf(w, i)));
            }
        });
    for (int r = 0; r < kReaders; r++)
        threads.emplace_back([&, r] {
            Status st;
            OID_Db *h = r % 2 ? second : h_;
            for (int i = 0; i < 600; i++) {
                const BuiltinRow *b = RowOf(100 + uint32_t((i * 7 + r) % 900));
                unsigned char bin[OID_MAX_BINARY];
                if (!b->binary) continue;
                errors += OID_LookupName(st, h, b->name, bin, nullptr) != 0 ||
                          !OID_EqualBinary(bin, b->binary);
                // Identifiers of the writers, present or not yet.
                uint32_t rc = OID_LookupName(
                    st, h, NameOf(i % kWriters, (i / kWriters) % kAdds).c_str(), bin, nullptr);
                errors += rc != 0 && rc != OID_S_NOTFOUND;
            }
        });
    for (auto &t : threads) t.join();
    EXPECT_EQ(errors.load(), 0);
    ExpectAdded(st_, h_, 0, kWriters, kAdds, ThreadDynamic);
    Snapshot(); // checks the trees while open
    EXPECT_EQ(OID_CloseDb(st_, second), 0u);
    Close();
    CheckFilesOnDisk(dir_);
}

// Writers take turns through the lock file, readers wait for them.
TEST_F(Registry, ProcessesSharingADirectory) {
    constexpr int kWriters = 3, kReaders = 3, kAdds = 25;
    std::vector<pid_t> kids;
    for (int p = 0; p < kWriters + kReaders; p++) {
        kids.push_back(vrtest::Spawn([&, p] {
            bool writer = p < kWriters;
            int bad = 0, mode = writer ? OID_READWRITE : OID_READONLY;
            Status st;
            OID_Db *h = nullptr;
            if (OID_Init(st, dir_.c_str(), mode) != 0 ||
                OID_OpenDb(st, dir_.c_str(), "C", mode, &h) != 0)
                return 3;
            unsigned char bin[OID_MAX_BINARY];
            for (int i = 0; i < kAdds; i++) {
                bad += writer && AddNumbered(st, h, 10 + p, i, ProcessDynamic(10 + p, i), 27);
                bad += OID_LookupName(st, h, "id-att-job-name", bin, nullptr) != 0;
                uint32_t rc =
                    OID_LookupName(st, h, NameOf(10 + p % kWriters, i).c_str(), bin, nullptr);
                bad += rc != 0 && rc != OID_S_NOTFOUND;
            }
            OID_CloseDb(st, h);
            OID_Term();
            return bad ? 1 : 0;
        }));
        ASSERT_GT(kids.back(), 0);
    }
    for (pid_t pid : kids) EXPECT_EQ(vrtest::WaitStatus(pid), 0);
    CheckFilesOnDisk(dir_);
    Open(OID_READONLY);
    ExpectAdded(st_, h_, 10, kWriters, kAdds, ProcessDynamic);
}

} // namespace
